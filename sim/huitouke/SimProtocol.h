// The wire rules of the HuiTouKe platform as the simulator applies them:
// parameter lists in the order sent, the signature check, the RC4 password
// cipher and money texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorl::htksim {

// Parameters in the order the client sent them; values are the raw 8-bit
// bytes after decoding (GBK from the package).
using ParamList = std::vector<std::pair<std::string, std::string>>;

// An application/x-www-form-urlencoded body: '&'-separated name=value pairs,
// %XX decoded and '+' read as a blank (the client's form encoder writes a
// blank as '+').
ParamList ParseFormBody(std::string_view body);

// The query string of a request target ("/path?a=1&b=2"). The client puts its
// values into the address unencoded and only bytes a URL cannot carry arrive
// as %XX, so '+' stays a plus sign here.
ParamList ParseRawQuery(std::string_view target);

// First value of `name`, if present.
std::optional<std::string> Find(const ParamList& params, std::string_view name);

// Checks the signing rule: "sign" must be the last parameter and equal (in
// either case) the MD5 digest of every other value in order followed by key.
bool SignatureValid(const ParamList& params, const std::string& key);

// RC4 of bytes under key (enciphers and deciphers alike).
std::string Rc4(std::string_view key, std::string_view bytes);
// Lowercase or uppercase hexadecimal to bytes; nullopt when malformed.
std::optional<std::string> FromHex(std::string_view hex);

// "12.30" style amounts: up to 2 decimals, non-negative, at most
// 1 000 000 000.00; nullopt otherwise. Returns cents.
std::optional<int64_t> ParseMoney(std::string_view text);
std::string FormatMoney(int64_t cents);  // 1230 gives "12.30"
// Non-negative whole number up to 1e9; nullopt otherwise.
std::optional<int64_t> ParseCount(std::string_view text);

}  // namespace quorl::htksim
