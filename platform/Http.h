// HTTP: the transport seam, the TIdHTTP client on top of it, and HTTPEncode.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Lists.h"
#include "platform/RtlExport.h"

namespace quorl {

/// A till must never hang forever on a dead server, yet a slow server that is
/// still answering must be let finish: a posting cut off after the server
/// committed it is reported as failed although it was charged. So there is no
/// deadline on the whole exchange, only on connecting and on stalling.
constexpr long kHttpConnectTimeoutSeconds = 10;

/// An exchange is given up when fewer than `bytes` bytes have moved (sent and
/// received together, headers included) within `seconds` seconds, counted
/// from its start and again from each moment `bytes` more had moved. Waiting
/// for the server to begin its answer counts as stalling.
struct QUORL_RTL_API HttpStallLimit {
  long bytes = 1024;                                       ///< at least this many bytes...
  long seconds = 60;                                       ///< ...within this many seconds
  bool operator==(const HttpStallLimit&) const = default;  ///< Member-wise comparison.
};

/// The process-wide stall limit, applied by every CurlHttpTransport from its
/// next exchange on. A value below 1 takes its default. The package sets it
/// from its configuration file each time it reads its service addresses.
QUORL_RTL_API void SetHttpStallLimit(HttpStallLimit limit);
QUORL_RTL_API HttpStallLimit GetHttpStallLimit();  ///< The stall limit in force.

/// How HTTPS exchanges prove who they talk to. The server's chain and host
/// name are always verified: there is deliberately no way to switch that off.
/// Empty CA settings mean the system's trusted CAs; either one given replaces
/// them. The client certificate and key are PEM files; a key's pass phrase is
/// read from passPhraseFile at each exchange (never kept in a setting, and
/// the file is refused when group or others may read it). minVersion is "1.2"
/// or "1.3". Every file is checked at the exchange, before anything is sent,
/// so a wrong setting is one EIdSocketError naming its configuration key
/// (the comments below) and the file.
struct QUORL_RTL_API HttpTlsSettings {
  std::string caFile;                                       ///< TLSCAFILE
  std::string caPath;                                       ///< TLSCAPATH
  std::string clientCert;                                   ///< TLSCLIENTCERT
  std::string clientKey;                                    ///< TLSCLIENTKEY
  std::string passPhraseFile;                               ///< TLSCLIENTKEYPASSFILE
  std::string minVersion = "1.2";                           ///< TLSMINVERSION
  bool operator==(const HttpTlsSettings&) const = default;  ///< Member-wise comparison.
};

/// The process-wide TLS settings, applied by every CurlHttpTransport from its
/// next exchange on; set like the stall limit, from the configuration file.
QUORL_RTL_API void SetHttpTlsSettings(HttpTlsSettings settings);
QUORL_RTL_API HttpTlsSettings GetHttpTlsSettings();  ///< The TLS settings in force.
/// Answers larger than this are refused: no unbounded memory from a peer.
constexpr size_t kHttpMaxBodyBytes = 64u * 1024u * 1024u;

/// One request a transport sends.
struct QUORL_RTL_API HttpRequest {
  std::string method;                                        ///< "GET" or "POST"
  std::string url;                                           ///< absolute http or https URL
  std::vector<std::pair<std::string, std::string>> headers;  ///< extra header lines, name and value
  std::string body;                                          ///< bytes sent as the body (POST)
};

/// One answer a transport received.
struct QUORL_RTL_API HttpResponse {
  int status = 0;                                            ///< HTTP status code
  std::vector<std::pair<std::string, std::string>> headers;  ///< header lines, name and value, as received
  std::string body;                                          ///< body bytes as received
  std::string reason = {};  ///< the status line's reason phrase, as the server sent it
};

/// The HTTP seam. Send performs one exchange and returns whatever status the
/// server answered; it raises EIdSocketError (with the cause in the message)
/// when no answer arrives: refused, unresolved, timed out, body too large,
/// certificate refused.
class QUORL_RTL_API HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  /// Sends one request and returns the answer, whatever its status. EIdSocketError when no answer came.
  virtual HttpResponse Send(const HttpRequest& request) = 0;
};

/// libcurl, one easy handle per transport, so connections are reused. A
/// stalled exchange raises EIdSocketError "... timed out: fewer than N bytes
/// in T seconds".
class QUORL_RTL_API CurlHttpTransport : public HttpTransport {
 public:
  /// Gives up connecting after connectTimeoutSeconds.
  explicit CurlHttpTransport(long connectTimeoutSeconds = kHttpConnectTimeoutSeconds);
  ~CurlHttpTransport() override;
  CurlHttpTransport(const CurlHttpTransport&) = delete;
  CurlHttpTransport& operator=(const CurlHttpTransport&) = delete;
  /// See HttpTransport::Send; the stall limit and TLS settings in force apply.
  HttpResponse Send(const HttpRequest& request) override;

 private:
  void* handle_;
  long connectTimeoutSeconds_;
};

/// Creates the transport of each new TIdHTTP. Tests install a factory that
/// hands out fakes; nullptr restores curl.
using HttpTransportFactory = std::unique_ptr<HttpTransport> (*)();
/// Installs the transport factory; nullptr restores curl.
QUORL_RTL_API void SetHttpTransportFactory(HttpTransportFactory factory);
/// A new transport from the factory in force, owned by the caller.
QUORL_RTL_API std::unique_ptr<HttpTransport> MakeHttpTransport();

}  // namespace quorl

/// The platform's HTTP client. Every call raises EIdSocketError when the
/// connection fails and EIdHTTPProtocolException (status, body kept) when the
/// server answers with a status of 400 or above. Bodies are bytes as received.
class QUORL_RTL_API TIdHTTP {
 public:
  TIdHTTP();  ///< transport from quorl::MakeHttpTransport()
  explicit TIdHTTP(std::unique_ptr<quorl::HttpTransport> transport);  ///< Sends through transport (owned).
  ~TIdHTTP();

  /// URL-encoded HTML form: each "name=value" line becomes name=value with
  /// both sides encoded by HTTPEncode, joined by '&'. A line without '=' is
  /// sent as the encoded whole line; empty lines are skipped.
  std::string Post(const std::string& url, const TStringList& lines);
  /// A body with its content type and extra headers (the SOAP layer uses it).
  std::string Post(const std::string& url, const std::string& body, const std::string& contentType,
                   const std::vector<std::pair<std::string, std::string>>& extraHeaders = {});
  std::string Get(const std::string& url);  ///< GET; returns the body.

  int ResponseCode() const { return responseCode_; }  ///< Status of the last answer; 0 before the first.
  /// A header of the last answer, error answers included (name compared
  /// ignoring ASCII case; the first of several wins); empty when absent.
  std::string ResponseHeader(std::string_view name) const;
  quorl::HttpTransport& Transport() { return *transport_; }  ///< The transport, owned by the client.

 private:
  std::string Exchange(quorl::HttpRequest request);
  std::unique_ptr<quorl::HttpTransport> transport_;
  int responseCode_ = 0;
  std::vector<std::pair<std::string, std::string>> responseHeaders_;
};

/// Form encoding: letters, digits and "*-._" pass unchanged, a blank becomes
/// '+', every other byte becomes %XX (upper-case hex).
QUORL_RTL_API std::string HTTPEncode(std::string_view text);
