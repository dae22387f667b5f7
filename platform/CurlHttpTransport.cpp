#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/Exception.h"
#include "platform/Http.h"
#include "platform/Text.h"

namespace {

// Response headers are bounded as the body is: a peer sending header lines
// forever must not grow our memory.
constexpr size_t kMaxHeaderBytes = 1024 * 1024;

struct Exchange {
  quorl::HttpResponse response;
  size_t headerBytes = 0;
  bool bodyTooLarge = false;
  bool headersTooLarge = false;
  // Stall watch: bytes moved and the time when `mark` bytes had moved.
  quorl::HttpStallLimit stallLimit;
  curl_off_t received = 0;
  curl_off_t mark = 0;
  std::chrono::steady_clock::time_point markTime = std::chrono::steady_clock::now();
  bool stalled = false;
};

// libcurl calls this about once a second even while nothing moves, so a
// stall is noticed within a second of its limit. Its own low-speed check
// averages a rate instead, which lets a peer trickle a byte at a time.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* ex = static_cast<Exchange*>(user);
  const curl_off_t moved = ex->received + sent;
  const auto now = std::chrono::steady_clock::now();
  if (moved - ex->mark >= ex->stallLimit.bytes) {
    ex->mark = moved;
    ex->markTime = now;
    return 0;
  }
  if (now - ex->markTime >= std::chrono::seconds(ex->stallLimit.seconds)) {
    ex->stalled = true;
    return 1;  // aborts the transfer
  }
  return 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t n = size * count;
  ex->received += static_cast<curl_off_t>(n);
  if (ex->response.body.size() + n > quorl::kHttpMaxBodyBytes) {
    ex->bodyTooLarge = true;
    return 0;  // anything but n aborts the transfer
  }
  ex->response.body.append(data, n);
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t n = size * count;
  ex->received += static_cast<curl_off_t>(n);
  ex->headerBytes += n;
  if (ex->headerBytes > kMaxHeaderBytes) {
    ex->headersTooLarge = true;
    return 0;
  }
  const std::string_view line = quorl::TrimView(std::string_view(data, n));
  if (line.substr(0, 5) == "HTTP/") {
    // A new status line (after "100 Continue", for instance): earlier headers
    // belonged to an interim answer.
    ex->response.headers.clear();
    ex->response.reason.clear();
    const size_t sp1 = line.find(' ');
    if (sp1 != std::string_view::npos) {
      const size_t sp2 = line.find(' ', sp1 + 1);
      if (sp2 != std::string_view::npos)
        ex->response.reason = std::string(quorl::TrimView(line.substr(sp2 + 1)));
    }
    return n;
  }
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos && colon > 0)
    ex->response.headers.emplace_back(std::string(quorl::TrimView(line.substr(0, colon))),
                                      std::string(quorl::TrimView(line.substr(colon + 1))));
  return n;
}

// libcurl refuses addresses with blanks and other bytes that may not appear in
// a URL, yet callers build query strings from raw values (dates with a blank,
// GBK text). Such bytes are percent-encoded here; everything else, '%'
// included, is left as the caller wrote it.
std::string EscapeUnsafeUrlBytes(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unsafe = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
                        c == '`' || c == '{' || c == '|' || c == '}';
    if (unsafe) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

[[noreturn]] void RaiseFailure(const std::string& url, const std::string& cause, bool requestSent = true) {
  throw EIdSocketError("HTTP request to " + url + " failed: " + cause, requestSent);
}

// Whether any of the request may have reached the server. libcurl stamps the
// pre-transfer time just before it writes the request; a failure without that
// stamp ended while resolving or connecting.
bool RequestMayHaveLeft(CURL* curl) {
  curl_off_t pretransfer = 0;
  if (curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) != CURLE_OK) return true;
  return pretransfer > 0;
}

// One line of libcurl's own words, with its detailed reason (OpenSSL's, for
// a refused certificate) when it gave one.
std::string FailureReason(CURLcode rc, const char* detail) {
  std::string reason = curl_easy_strerror(rc);
  const std::string more(quorl::TrimView(detail));
  if (!more.empty() && more != reason) reason += ": " + more;
  for (char& c : reason)
    if (c == '\n' || c == '\r') c = ' ';
  return reason;
}

// A file named by a TLS setting, checked before the exchange so a wrong
// setting says which key and which file instead of a handshake failure.
std::string CheckFile(const char* key, const std::string& path, bool folder = false) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    return std::string(key) + ": cannot use " + path + ": " + std::strerror(errno);
  if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))
    return std::string(key) + ": " + path + (folder ? " is not a folder" : " is not a file");
  if (access(path.c_str(), folder ? (R_OK | X_OK) : R_OK) != 0)
    return std::string(key) + ": cannot read " + path + ": " + std::strerror(errno);
  return {};
}

// Everything wrong with the settings, as one message (empty when sound).
std::string CheckTlsSettings(const quorl::HttpTlsSettings& tls) {
  if (tls.minVersion != "1.2" && tls.minVersion != "1.3")
    return "TLSMINVERSION: \"" + tls.minVersion + "\" is not 1.2 or 1.3";
  const std::pair<const char*, const std::string*> files[] = {{"TLSCAFILE", &tls.caFile},
                                                              {"TLSCLIENTCERT", &tls.clientCert},
                                                              {"TLSCLIENTKEY", &tls.clientKey},
                                                              {"TLSCLIENTKEYPASSFILE", &tls.passPhraseFile}};
  for (const auto& [key, path] : files)
    if (!path->empty())
      if (std::string problem = CheckFile(key, *path); !problem.empty()) return problem;
  if (!tls.caPath.empty())
    if (std::string problem = CheckFile("TLSCAPATH", tls.caPath, true); !problem.empty()) return problem;
  if (tls.clientCert.empty() && !tls.clientKey.empty()) return "TLSCLIENTKEY is set without TLSCLIENTCERT";
  if (tls.clientKey.empty() && tls.clientCert.empty() && !tls.passPhraseFile.empty())
    return "TLSCLIENTKEYPASSFILE is set without TLSCLIENTCERT";
  if (!tls.passPhraseFile.empty()) {
    struct stat st {};
    stat(tls.passPhraseFile.c_str(), &st);
    // A pass phrase anyone on the till can read protects nothing.
    if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0)
      return "TLSCLIENTKEYPASSFILE: " + tls.passPhraseFile +
             " is readable by group or others; it must be readable by its owner only";
  }
  return {};
}

// The first line of the pass-phrase file, without its line end.
std::string ReadPassPhrase(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Overwritten before it is freed, so the pass phrase does not linger in
// memory that is reused.
struct Secret {
  std::string text;
  ~Secret() {
    volatile char* p = text.data();
    for (size_t i = 0; i < text.size(); ++i) p[i] = 0;
  }
};

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
      throw EIdSocketError("HTTP client could not be initialised");
  });
}

class HeaderList {
 public:
  ~HeaderList() { curl_slist_free_all(list_); }
  void Add(const std::string& line) {
    curl_slist* next = curl_slist_append(list_, line.c_str());
    if (next == nullptr) throw EIdSocketError("HTTP client out of memory");
    list_ = next;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace

namespace quorl {

CurlHttpTransport::CurlHttpTransport(long connectTimeoutSeconds)
    : handle_(nullptr), connectTimeoutSeconds_(connectTimeoutSeconds) {
  GlobalInitOnce();
  handle_ = curl_easy_init();
  if (handle_ == nullptr) throw EIdSocketError("HTTP client could not be initialised");
}

CurlHttpTransport::~CurlHttpTransport() { curl_easy_cleanup(static_cast<CURL*>(handle_)); }

HttpResponse CurlHttpTransport::Send(const HttpRequest& request) {
  CURL* curl = static_cast<CURL*>(handle_);
  // Reset drops the previous request's options but keeps the open
  // connections, so the next exchange with the same server reuses them.
  curl_easy_reset(curl);

  const std::string url = EscapeUnsafeUrlBytes(request.url);
  HeaderList headers;
  for (const auto& [name, value] : request.headers) headers.Add(name + ": " + value);
  // libcurl would otherwise wait for "100 Continue" before sending a large body.
  headers.Add("Expect:");

  Exchange ex;
  ex.stallLimit = GetHttpStallLimit();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // Only HTTP: an address from the database must not read local files or
  // speak other protocols.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // The package reads no environment, and libcurl takes its proxy from
  // http_proxy and friends unless told not to.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  // The host owns signal handling; time-outs must not use SIGALRM.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds_);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kHttpMaxBodyBytes));

  if (request.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    if (request.method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  // Verification is set explicitly, not left to libcurl's defaults.
  const HttpTlsSettings tls = GetHttpTlsSettings();
  if (std::string problem = CheckTlsSettings(tls); !problem.empty())
    RaiseFailure(request.url, problem, false);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(
      curl, CURLOPT_SSLVERSION,
      static_cast<long>(tls.minVersion == "1.3" ? CURL_SSLVERSION_TLSv1_3 : CURL_SSLVERSION_TLSv1_2) |
          static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
  if (!tls.caFile.empty() || !tls.caPath.empty()) {
    // The site's CAs replace the system's: a null option drops libcurl's
    // built-in bundle or folder.
    curl_easy_setopt(curl, CURLOPT_CAINFO, tls.caFile.empty() ? nullptr : tls.caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_CAPATH, tls.caPath.empty() ? nullptr : tls.caPath.c_str());
  }
  Secret passPhrase;
  if (!tls.clientCert.empty()) {
    curl_easy_setopt(curl, CURLOPT_SSLCERT, tls.clientCert.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLCERTTYPE, "PEM");
    curl_easy_setopt(curl, CURLOPT_SSLKEY, tls.clientKey.empty() ? nullptr : tls.clientKey.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLKEYTYPE, "PEM");
    if (!tls.passPhraseFile.empty()) {
      passPhrase.text = ReadPassPhrase(tls.passPhraseFile);
      curl_easy_setopt(curl, CURLOPT_KEYPASSWD, passPhrase.text.c_str());
    }
  }
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode rc = curl_easy_perform(curl);
  // These options point at locals of this call; clear them so nothing dangles
  // (libcurl keeps its own copy of the pass phrase until the next reset).
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_KEYPASSWD, nullptr);

  if (ex.bodyTooLarge || rc == CURLE_FILESIZE_EXCEEDED) RaiseFailure(request.url, "answer too large");
  if (ex.headersTooLarge) RaiseFailure(request.url, "answer headers too large");
  // A server that demands a client certificate refuses the connection during
  // its handshake and reads no request, even when TLS 1.3 let ours go out
  // before its alert arrived.
  const bool refusedForNoCertificate =
      rc == CURLE_SSL_CLIENTCERT || std::strstr(errorText, "alert certificate required") != nullptr;
  const bool sent = !refusedForNoCertificate && RequestMayHaveLeft(curl);
  if (ex.stalled)
    RaiseFailure(request.url,
                 "timed out: fewer than " + std::to_string(ex.stallLimit.bytes) + " bytes in " +
                     std::to_string(ex.stallLimit.seconds) + " seconds",
                 sent);
  if (rc != CURLE_OK) RaiseFailure(request.url, FailureReason(rc, errorText), sent);

  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  ex.response.status = static_cast<int>(status);
  return std::move(ex.response);
}

}  // namespace quorl
