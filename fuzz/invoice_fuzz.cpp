// GetStoredConsumeData over arbitrary answer bodies: the bytes come back from
// a fake HTTP transport as the platform's answer to "view_invoice", for the
// first two pages (later pages find no answer and fail the query). The query
// must neither crash nor hang nor leak, and always give the eleven-field table.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/uCoreMemberSys_ZEL.h"
#include "host/QuorlClientDataSet.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/ClientDataSet.h"
#include "tests/fakes/FakeHttpTransport.h"

namespace {

quorl::test::ScopedFakeHttp& Http() {
  static quorl::test::ScopedFakeHttp http;
  return http;
}

TQuorlClientDataSet& Users() {
  static TQuorlClientDataSet users;
  if (users.FieldCount() == 0) {
    users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
    users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
    users.CreateDataSet();
    for (const char* code : {"1001", "abc"}) {
      users.Append();
      users.FieldByName("UserCode")->SetAsString(code);
      users.FieldByName("CNAME")->SetAsString("operator");
      users.Post();
    }
  }
  return users;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  _MemberSysSoapURL_ZEL = "http://platform.invalid/api/";
  _MemberCommercial_ZEL = "FUZZ-SBS|FUZZ-STORE";
  _MemberPassWordKey_ZEL = "fuzz-key";
  Http();
  Users();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorl::test::FakeHttpServer& server = Http().server;
  server.requests.clear();
  server.queued.clear();
  const std::string body(reinterpret_cast<const char*>(data), size);
  server.Respond(200, body);
  server.Respond(200, body);

  THuiTouKe_ZEL client;
  const Variant packet = client.GetStoredConsumeData("8600000001", "0", "2024-01-01", "2024-03-31", &Users());
  TClientDataSet table;
  table.SetData(packet);
  if (table.FieldCount() != 11) std::abort();
  if (server.requests.size() > 3) std::abort();  // two answers, then one failed page at most
  for (table.First(); !table.Eof(); table.Next())
    for (int i = 0; i < table.FieldCount(); ++i) table.Fields(i)->Value();
  return 0;
}
