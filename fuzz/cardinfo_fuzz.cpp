// GetCardInfo over arbitrary answer bodies: the bytes come back from a fake
// HTTP transport as the platform's answer to "get_card_list". The lookup must
// neither crash nor hang nor leak, and always give the sixteen-field table.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/uCoreMemberSys_ZEL.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/ClientDataSet.h"
#include "tests/fakes/FakeHttpTransport.h"

namespace {

quorl::test::ScopedFakeHttp& Http() {
  static quorl::test::ScopedFakeHttp http;
  return http;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  _MemberSysSoapURL_ZEL = "http://platform.invalid/api/";
  _MemberCommercial_ZEL = "FUZZ-SBS|FUZZ-STORE";
  _MemberPassWordKey_ZEL = "fuzz-key";
  Http();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the kind of search key, which decides which
  // password members are read; the rest is the answer body.
  if (size == 0) return 0;
  static const char* const kKeys[] = {"13800000001", "member@example.com", "8600000001"};
  const char* key = kKeys[data[0] % 3];
  quorl::test::FakeHttpServer& server = Http().server;
  server.requests.clear();
  server.queued.clear();
  server.Respond(200, std::string(reinterpret_cast<const char*>(data + 1), size - 1));

  THuiTouKe_ZEL client;
  const Variant packet = client.GetCardInfo(key, "123456");
  TClientDataSet table;
  table.SetData(packet);
  if (table.FieldCount() != 16) std::abort();
  for (table.First(); !table.Eof(); table.Next())
    for (int i = 0; i < table.FieldCount(); ++i) table.Fields(i)->Value();
  return 0;
}
