// Writes the request envelope of one RPC-style call: SOAP 1.1, parameters
// SOAP-encoded under the operation element in the interface's namespace.
#pragma once

#include <string>
#include <vector>

#include "soap/InvokeRegistry.h"
#include "soap/SoapConverter.h"

namespace quorl {

inline constexpr const char* kSoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kSoapEncodingNamespace = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";
inline constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

class SoapEnvelopeWriter {
 public:
  // The envelope as UTF-8 bytes, with an XML declaration naming UTF-8.
  // args must match method.params in number and kind (Exception otherwise).
  // Text holding a character that XML 1.0 cannot carry (a control character
  // other than tab, line feed and carriage return) raises EConvertError
  // naming the parameter; an unpaired surrogate is written as '?'.
  static std::string WriteRequest(const std::string& nameSpace, const SoapMethod& method,
                                  const std::vector<SoapValue>& args, const SoapConverter& converter);

  // Appends text (UTF-16) as escaped XML character data in UTF-8, or with
  // every non-ASCII character as a character reference when asciiOnly.
  // Returns false, leaving out nothing valid, when text holds a character
  // XML cannot carry; the caller decides how to report it.
  static bool AppendEscaped(std::string& out, std::u16string_view text, bool asciiOnly);
};

}  // namespace quorl
