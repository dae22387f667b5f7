// The member-info reader against its document reader on the same text: the
// data module reads a plain answer in one pass, and a module of a derived
// type (DocumentReader) always builds the document and reads it item by
// item. Both must give the same list, record for record and field for
// field, or fail with the same exception type and message. The one-pass
// reader on its own must never accept a text the document reader refuses.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "fuzz/CertificateTable.h"
#include "memberdata/MemberInfoReader.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Exception.h"

namespace {

class DocumentReader : public TMemberUserInfoXmlDM_ZEL {};

// Every field of every record, in one text per record.
std::vector<std::string> Flatten(const TMemberUserInfoList_ZEL& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) {
    const TMemberUserInfoRecord_ZEL& r = *list.GetItems(i);
    std::string f;
    for (const std::string* s : {&r.MemberID,
                                 &r.MemberNum,
                                 &r.MemberName,
                                 &r.MemberType,
                                 &r.MemberTypeName,
                                 &r.CardType,
                                 &r.CardTypeName,
                                 &r.CertificateType.Code,
                                 &r.CertificateType.Name,
                                 &r.CertificateNum,
                                 &r.PhoneNum,
                                 &r.MobileNum,
                                 &r.Address,
                                 &r.Email,
                                 &r.CardStatus,
                                 &r.MemberBalance,
                                 &r.IsFeesMember,
                                 &r.Points,
                                 &r.MemberGroupCode,
                                 &r.PayPassword,
                                 &r.ConsumePoints,
                                 &r.ConsumeMoney,
                                 &r.Reserved}) {
      f += *s;
      f += '\x1F';
    }
    f += r.MemberValid ? '1' : '0';
    f += r.IsOneCard ? '1' : '0';
    out.push_back(std::move(f));
  }
  return out;
}

// "ok" and the records, or the exception's type and message.
std::vector<std::string> Outcome(TMemberUserInfoXmlDM_ZEL& dm, const std::string& text) {
  try {
    dm.SetXmlString(text);
  } catch (const Exception& e) {
    return {typeid(e).name(), e.Message()};
  }
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  std::vector<std::string> out = Flatten(*list);
  out.insert(out.begin(), "ok");
  // Asked again, the module reads the current text anew.
  std::unique_ptr<TMemberUserInfoList_ZEL> again(dm.GetUserInfoList());
  if (Flatten(*again) != std::vector<std::string>(out.begin() + 1, out.end())) abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quorl::fuzz::SetUpCertificateTable("memberinfo_diff_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TMemberUserInfoXmlDM_ZEL streaming;
  DocumentReader document;
  const std::vector<std::string> expected = Outcome(document, text);
  if (Outcome(streaming, text) != expected) abort();

  TMemberUserInfoList_ZEL list;
  std::vector<signed char> hints;
  if (quorl::memberinfo::ReadMemberListStreaming(text, list, hints)) {
    if (expected.empty() || expected[0] != "ok") abort();
    quorl::memberinfo::FillCertificateNames(list);
    if (Flatten(list) != std::vector<std::string>(expected.begin() + 1, expected.end())) abort();
  }
  return 0;
}
