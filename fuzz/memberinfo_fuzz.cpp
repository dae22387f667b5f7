// The member-info reader (SetXmlString + GetUserInfoList) and the
// check-ticket binding over arbitrary text: each must fail with an exception
// or read the text, never crash, hang or grow without bound.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

// Certificate names come from a host database; a temporary one with two
// types makes every record do the real look-up.
void SetUpCertificateTable() {
  static std::string folder;
  char pattern[] = "/tmp/quorl_memberinfo_fuzz_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) abort();
  folder = pattern;
  const std::string db = folder + "/host.db";
  quorl::CreateHostDatabase(db, false);
  quorl::ExecuteSqlScript(db,
                          "INSERT INTO QUORL_MEMBER_IDENTTYPE VALUES "
                          "(1, '身份证', '01', 'F1'), (2, '护照', '02', 'F1');");
  quorl::SetHostSession(quorl::MakeContextString("F1", "G1", db));
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpCertificateTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TMemberUserInfoXmlDM_ZEL dm;
  try {
    dm.SetXmlString(text);
  } catch (const Exception&) {
  }
  // Twice: the second list is read again from the document the module kept.
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    for (int k = 0; k < list->Count(); ++k)
      if (list->GetItems(k)->IsFeesMember.empty()) abort();
  }
  try {
    quorl::IntfPtr<IXMLDataType> view = LoadDataFromXML(quorl::GbkToUtf16(text));
    view->Get_Dataitem()->Get_MemberNum();
    view->Get_Book()->Get_Status();
  } catch (const Exception&) {
  }
  return 0;
}
