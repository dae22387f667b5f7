#include "sim/huitouke/SimProtocol.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace quorl::htksim {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX becomes its byte; a '%' not followed by two hex digits stays as written.
std::string Decode(std::string_view s, bool plusIsBlank) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += (plusIsBlank && s[i] == '+') ? ' ' : s[i];
  }
  return out;
}

ParamList ParsePairs(std::string_view text, bool plusIsBlank) {
  ParamList params;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(start, end - start);
    if (!part.empty()) {
      const size_t eq = part.find('=');
      if (eq == std::string_view::npos)
        params.emplace_back(Decode(part, plusIsBlank), std::string());
      else
        params.emplace_back(Decode(part.substr(0, eq), plusIsBlank),
                            Decode(part.substr(eq + 1), plusIsBlank));
    }
    start = end + 1;
  }
  return params;
}

// The printed MD5 of text, from OpenSSL rather than the package's own unit:
// the client signs with that unit, and a fault in it must show up here as a
// refused signature instead of agreeing with itself.
std::string Md5Hex(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1)
    throw std::runtime_error("MD5 is not available");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 0x0F];
  }
  return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

ParamList ParseFormBody(std::string_view body) { return ParsePairs(body, true); }

ParamList ParseRawQuery(std::string_view target) {
  const size_t q = target.find('?');
  if (q == std::string_view::npos) return {};
  std::string_view query = target.substr(q + 1);
  if (const size_t hash = query.find('#'); hash != std::string_view::npos) query = query.substr(0, hash);
  return ParsePairs(query, false);
}

std::optional<std::string> Find(const ParamList& params, std::string_view name) {
  for (const auto& [n, v] : params)
    if (n == name) return v;
  return std::nullopt;
}

bool SignatureValid(const ParamList& params, const std::string& key) {
  if (params.empty() || params.back().first != "sign") return false;
  std::string signedText;
  for (size_t i = 0; i + 1 < params.size(); ++i) {
    if (params[i].first == "sign") return false;
    signedText += params[i].second;
  }
  signedText += key;
  return EqualIgnoringCase(Md5Hex(signedText), params.back().second);
}

std::string Rc4(std::string_view key, std::string_view bytes) {
  if (key.empty()) return std::string(bytes);
  std::array<uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + static_cast<uint8_t>(key[i % key.size()]));
    std::swap(s[i], s[j]);
  }
  std::string out(bytes);
  uint8_t x = 0, y = 0;
  for (char& c : out) {
    x = static_cast<uint8_t>(x + 1);
    y = static_cast<uint8_t>(y + s[x]);
    std::swap(s[x], s[y]);
    c = static_cast<char>(static_cast<uint8_t>(c) ^ s[static_cast<uint8_t>(s[x] + s[y])]);
  }
  return out;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]);
    const int lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::optional<int64_t> ParseMoney(std::string_view text) {
  constexpr int64_t kMaxCents = 100000000000;  // 1e9 yuan
  if (text.empty()) return std::nullopt;
  int64_t cents = 0;
  size_t i = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits >= 10) return std::nullopt;
    cents = cents * 10 + (text[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  cents *= 100;
  if (i < text.size()) {
    if (text[i] != '.') return std::nullopt;
    ++i;
    const size_t fraction = text.size() - i;
    if (fraction == 0 || fraction > 2) return std::nullopt;
    int64_t part = 0;
    for (size_t k = 0; k < fraction; ++k) {
      const char c = text[i + k];
      if (c < '0' || c > '9') return std::nullopt;
      part = part * 10 + (c - '0');
    }
    cents += fraction == 1 ? part * 10 : part;
  }
  if (cents > kMaxCents) return std::nullopt;
  return cents;
}

std::string FormatMoney(int64_t cents) {
  const bool negative = cents < 0;
  const int64_t v = negative ? -cents : cents;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", negative ? "-" : "", static_cast<long long>(v / 100),
                static_cast<long long>(v % 100));
  return buf;
}

std::optional<int64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v > 1000000000) return std::nullopt;
  return v;
}

}  // namespace quorl::htksim
