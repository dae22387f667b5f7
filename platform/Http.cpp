#include "platform/Http.h"

#include <mutex>

#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

quorl::HttpTransportFactory& FactoryOverride() {
  static quorl::HttpTransportFactory factory = nullptr;
  return factory;
}

quorl::HttpStallLimit& StallLimit() {
  static quorl::HttpStallLimit limit;
  return limit;
}

// Set by the agent's thread and read by every transport's: guarded.
std::mutex& TlsLock() {
  static std::mutex lock;
  return lock;
}
quorl::HttpTlsSettings& TlsSettings() {
  static quorl::HttpTlsSettings settings;
  return settings;
}

// Used when the transport could not tell the status line's own reason phrase.
const char* StandardReason(int code) {
  switch (code) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 402:
      return "Payment Required";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 406:
      return "Not Acceptable";
    case 407:
      return "Proxy Authentication Required";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 410:
      return "Gone";
    case 411:
      return "Length Required";
    case 412:
      return "Precondition Failed";
    case 413:
      return "Request Entity Too Large";
    case 414:
      return "Request-URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 416:
      return "Requested Range Not Satisfiable";
    case 417:
      return "Expectation Failed";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown Error";
  }
}

// The reason phrase comes from the peer: keep it short and printable so the
// message stays one clean line.
std::string CleanReason(const std::string& reason) {
  constexpr size_t kMaxReason = 200;
  std::string out;
  for (char c : reason) {
    if (out.size() >= kMaxReason) break;
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  return out;
}

// One form field. A line without '=' has no name/value split: it is sent as
// the encoded whole line with nothing after it, so no '=' is invented.
std::string EncodeFormLine(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return HTTPEncode(line);
  return HTTPEncode(std::string_view(line).substr(0, eq)) + '=' +
         HTTPEncode(std::string_view(line).substr(eq + 1));
}

}  // namespace

namespace quorl {

void SetHttpTransportFactory(HttpTransportFactory factory) { FactoryOverride() = factory; }

void SetHttpStallLimit(HttpStallLimit limit) {
  const HttpStallLimit defaults;
  StallLimit() = {limit.bytes >= 1 ? limit.bytes : defaults.bytes,
                  limit.seconds >= 1 ? limit.seconds : defaults.seconds};
}

HttpStallLimit GetHttpStallLimit() { return StallLimit(); }

void SetHttpTlsSettings(HttpTlsSettings settings) {
  std::lock_guard<std::mutex> lock(TlsLock());
  TlsSettings() = std::move(settings);
}

HttpTlsSettings GetHttpTlsSettings() {
  std::lock_guard<std::mutex> lock(TlsLock());
  return TlsSettings();
}

std::unique_ptr<HttpTransport> MakeHttpTransport() {
  if (HttpTransportFactory f = FactoryOverride()) return f();
  return std::make_unique<CurlHttpTransport>();
}

}  // namespace quorl

TIdHTTP::TIdHTTP() : transport_(quorl::MakeHttpTransport()) {}

TIdHTTP::TIdHTTP(std::unique_ptr<quorl::HttpTransport> transport) : transport_(std::move(transport)) {
  if (!transport_) transport_ = quorl::MakeHttpTransport();
}

TIdHTTP::~TIdHTTP() = default;

std::string TIdHTTP::Post(const std::string& url, const TStringList& lines) {
  std::string body;
  for (int i = 0; i < lines.Count(); ++i) {
    // An empty line is no field; sending it would put "&&" into the form.
    if (lines[i].empty()) continue;
    if (!body.empty()) body += '&';
    body += EncodeFormLine(lines[i]);
  }
  quorl::HttpRequest request;
  request.method = "POST";
  request.url = url;
  request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  request.body = std::move(body);
  return Exchange(std::move(request));
}

std::string TIdHTTP::Post(const std::string& url, const std::string& body, const std::string& contentType,
                          const std::vector<std::pair<std::string, std::string>>& extraHeaders) {
  quorl::HttpRequest request;
  request.method = "POST";
  request.url = url;
  if (!contentType.empty()) request.headers.emplace_back("Content-Type", contentType);
  request.headers.insert(request.headers.end(), extraHeaders.begin(), extraHeaders.end());
  request.body = body;
  return Exchange(std::move(request));
}

std::string TIdHTTP::Get(const std::string& url) {
  quorl::HttpRequest request;
  request.method = "GET";
  request.url = url;
  return Exchange(std::move(request));
}

std::string TIdHTTP::ResponseHeader(std::string_view name) const {
  for (const auto& [n, v] : responseHeaders_)
    if (quorl::SameTextAscii(n, name)) return v;
  return {};
}

std::string TIdHTTP::Exchange(quorl::HttpRequest request) {
  responseCode_ = 0;
  responseHeaders_.clear();
  quorl::HttpResponse response = transport_->Send(request);
  responseCode_ = response.status;
  responseHeaders_ = std::move(response.headers);
  if (response.status >= 400) {
    std::string reason = CleanReason(response.reason);
    if (reason.empty()) reason = StandardReason(response.status);
    throw EIdHTTPProtocolException("HTTP/1.1 " + std::to_string(response.status) + " " + reason,
                                   response.status, std::move(response.body));
  }
  return std::move(response.body);
}

std::string HTTPEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
        c == '.' || c == '_') {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}
