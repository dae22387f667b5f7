// Reads the answer envelope of one RPC-style call. The body comes from the
// network and is treated as hostile: the reader never crashes, follows a
// bounded number of references, rejects a DOCTYPE, and fails with a clear
// message.
//
// Accepted shapes (SOAP 1.1): an optional byte-order mark; the response
// wrapper as the first Body element not marked soapenc:root="0", under any
// name; the result as the wrapper's first child element, under any name;
// the result given directly or through href="#id" to an element with that id
// anywhere in the Body (multiRef); xsi:type present or absent; xsi:nil for
// empty text; an integer result as text with surrounding blanks.
#pragma once

#include <string>

#include "soap/InvokeRegistry.h"

namespace quorl {

// The most href hops followed from the result before giving up; cycles and
// absurd chains end here.
inline constexpr int kSoapMaxReferenceHops = 16;

class SoapAnswerReader {
 public:
  // The result of method from body (the bytes of the HTTP answer).
  //  - a SOAP Fault raises ERemotableException with faultcode and faultstring
  //    converted from UTF-8 to GBK;
  //  - a body that is not a SOAP 1.1 envelope (not XML, another document
  //    element, no Body) or whose result is missing, unresolvable, a
  //    structure or (with strictTypes) of an unfitting xsi:type raises
  //    ESOAPDomConvertError;
  //  - an integer result that is not a 32-bit decimal number, or is nil,
  //    raises EConvertError.
  static SoapValue Read(std::string body, const SoapMethod& method, bool strictTypes);

  // Raises ERemotableException when body is a SOAP envelope carrying a
  // Fault; returns normally for anything else (no envelope, no fault).
  static void RaiseIfFault(std::string body);
};

}  // namespace quorl
