#include "MemberDataTestEnv.h"

#include <gtest/gtest.h>

#include "host/HostDatabase.h"
#include "host/QuorlContext.h"

namespace quorl::test {

namespace {

class CertificateTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = new TempFolder("quorl-mdata-");
    const std::string db = folder_->File("host.db");
    quorl::CreateHostDatabase(db, false);
    quorl::ExecuteSqlScript(db,
                            "INSERT INTO QUORL_MEMBER_IDENTTYPE "
                            "(IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE, NODECODE) VALUES "
                            "(2, '身份证', '01', 'N9'), (1, '护照', '02', 'N9'),"
                            "(3, '军官证', '01', 'N9'), (1, '别的', '01', 'N8');");
    quorl::SetHostSession(quorl::MakeContextString("N9", "G1", db));
  }
  void TearDown() override { delete folder_; }

 private:
  TempFolder* folder_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CertificateTableEnvironment);

}  // namespace
}  // namespace quorl::test
