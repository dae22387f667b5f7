#include "host/QuorlContext.h"

#include "platform/Text.h"

namespace {

// The host sets the session once at start-up, before the package is loaded;
// the package runs on one thread, so a plain variable is enough.
std::string& SessionString() {
  static std::string session;
  return session;
}

constexpr const char* kNodeKey = "NODE";
constexpr const char* kGroupKey = "GROUP";
constexpr const char* kDatabaseKey = "DB";

// Only the three separators and the escape byte itself need escaping. GBK
// trail bytes are 0x40 and above, so escaping byte by byte never splits a
// character.
std::string Escape(const std::string& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    if (c == '%' || c == ';' || c == '=') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A '%' not followed by two hexadecimal digits stays as written.
std::string Unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      const int hi = HexValue(value[i + 1]);
      const int lo = HexValue(value[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += value[i];
  }
  return out;
}

std::string UpperTrimmedKey(std::string_view key) { return quorl::ToUpperAscii(quorl::TrimView(key)); }

}  // namespace

namespace quorl {

void SetHostSession(const std::string& contextString) { SessionString() = contextString; }

std::string HostSession() { return SessionString(); }

std::string MakeContextString(const std::string& node, const std::string& group,
                              const std::string& databaseLocation) {
  return std::string(kNodeKey) + "=" + Escape(node) + ";" + kGroupKey + "=" + Escape(group) + ";" +
         kDatabaseKey + "=" + Escape(databaseLocation);
}

ContextValues ParseContextString(const std::string& contextString) {
  ContextValues values;
  std::string_view rest(contextString);
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const size_t eq = part.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key = UpperTrimmedKey(part.substr(0, eq));
    const std::string_view value = part.substr(eq + 1);
    if (key == kNodeKey) {
      values.node = Unescape(value);
    } else if (key == kGroupKey) {
      values.group = Unescape(value);
    } else if (key == kDatabaseKey) {
      values.databaseLocation = Unescape(value);
    }
  }
  return values;
}

}  // namespace quorl

TQuorlContext::TQuorlContext(void* /*owner*/) { SetAsString(quorl::HostSession()); }

TQuorlContext::~TQuorlContext() = default;

HRESULT TQuorlContext::QueryInterface(const TGUID& iid, void** obj) {
  if (obj == nullptr) return E_NOINTERFACE;
  if (iid == IGroupCodeProvider::IID) {
    *obj = static_cast<IGroupCodeProvider*>(this);
    return S_OK;
  }
  if (iid == IInterface::IID) {
    *obj = static_cast<IInterface*>(this);
    return S_OK;
  }
  *obj = nullptr;
  return E_NOINTERFACE;
}

std::string TQuorlContext::GetAsString() const {
  return quorl::MakeContextString(nodeCode_, groupCode_, databaseLocation_);
}

void TQuorlContext::SetAsString(const std::string& contextString) {
  quorl::ContextValues v = quorl::ParseContextString(contextString);
  nodeCode_ = std::move(v.node);
  groupCode_ = std::move(v.group);
  databaseLocation_ = std::move(v.databaseLocation);
}
