// The SOAP answer reader and the WSDL binding on arbitrary bytes: they must
// return or throw an Exception, never crash, hang or leak.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Exception.h"
#include "soap/SoapAnswerReader.h"
#include "soap/WsdlBinding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  static const quorl::SoapMethod text{"getUserInfo2", {}, quorl::SoapType::String};
  static const quorl::SoapMethod number{"ComsumeInfoPost", {}, quorl::SoapType::Int};
  const bool strict = size > 0 && (data[0] & 1);
  try {
    quorl::SoapAnswerReader::Read(body, text, strict);
  } catch (const Exception&) {
  }
  try {
    quorl::SoapAnswerReader::Read(body, number, !strict);
  } catch (const Exception&) {
  }
  try {
    quorl::SoapAnswerReader::RaiseIfFault(body);
  } catch (const Exception&) {
  }
  try {
    quorl::WsdlBinding::FindEndpoint(body, "http://fuzz/wsdl", strict ? "" : "TicketManageService",
                                     "TicketManage");
  } catch (const Exception&) {
  }
  return 0;
}
