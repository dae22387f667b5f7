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
//
// Encodings: a byte-order mark decides first; otherwise the charset of the
// HTTP Content-Type overrides the XML declaration's encoding; with neither
// the body is UTF-8 (or UTF-16 recognised by its first bytes). Known names,
// ignoring case: UTF-8 and US-ASCII; GBK and its aliases (CP936, GB2312,
// EUC-CN, ...); GB18030, whose four-byte characters (none of which the host
// code page has) each become '?'; ISO-8859-1; UTF-16, -LE and -BE.
#pragma once

#include <string>
#include <string_view>

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
  //    raises EConvertError;
  //  - an encoding that is not one of those above raises
  //    ESOAPDomConvertError naming it.
  // contentType is the answer's Content-Type header (empty when unknown).
  static SoapValue Read(std::string body, const SoapMethod& method, bool strictTypes,
                        std::string_view contentType = {});

  // Raises ERemotableException when body is a SOAP envelope carrying a
  // Fault; returns normally for anything else (no envelope, no fault, an
  // unreadable encoding).
  static void RaiseIfFault(std::string body, std::string_view contentType = {});
};

}  // namespace quorl
