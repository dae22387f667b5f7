#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "platform/Exception.h"
#include "tests/agent/CoreFixture.h"

namespace {

using quorl::test::CoreFixture;

// GBK of 会员, 用户, 普通购票者.
const std::string kMember = "\xBB\xE1\xD4\xB1";
const std::string kUser = "\xD3\xC3\xBB\xA7";
const std::string kTicketBuyer = "\xC6\xD5\xCD\xA8\xB9\xBA\xC6\xB1\xD5\xDF";

std::string IdentRow(int id, const std::string& name, const std::string& code, const std::string& node) {
  return "INSERT INTO QUORL_MEMBER_IDENTTYPE (IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE, NODECODE) VALUES "
         "(" +
         std::to_string(id) + ",'" + name + "','" + code + "','" + node + "');\n";
}

std::vector<std::pair<std::string, std::string>> Rows(const TCertificateTypeInfoArr_ZEL& table) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& r : table) out.emplace_back(r.Code, r.Name);
  return out;
}

size_t CountIdentQueries(const std::vector<std::string>& queries) {
  size_t n = 0;
  for (const auto& q : queries)
    if (q.find("QUORL_MEMBER_IDENTTYPE") != std::string::npos) ++n;
  return n;
}

class TypeTables : public CoreFixture {};

TEST_F(TypeTables, CustomerTypesAreTheThreeFixedRows) {
  const TCustomerTypeInfoArr_ZEL& table = _GetCustomerTypeInfoArr_ZEL();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].Code, "1");
  EXPECT_EQ(table[0].Name, kMember);
  EXPECT_EQ(table[1].Code, "2");
  EXPECT_EQ(table[1].Name, kUser);
  EXPECT_EQ(table[2].Code, "3");
  EXPECT_EQ(table[2].Name, kTicketBuyer);
}

TEST_F(TypeTables, CustomerDisplayNameMatchesWholeCodesOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"1", kMember}, {"2", kUser}, {"3", kTicketBuyer}, {"03", ""}, {" 3", ""},
      {"3 ", ""},     {"", ""},     {"4", ""},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(GetCustomerTypeDisplayName(code), name) << code;
}

TEST_F(TypeTables, CertificatesInIdentTypeIdOrderOfThisNode) {
  Sql(IdentRow(2, "A", "01", "N001") + IdentRow(1, "B", "02", "N001") + IdentRow(0, "other", "09", "N002") +
      IdentRow(10, "C", "03", "N001"));
  EXPECT_EQ(Rows(_GetCertificateTypeInfoArr_ZEL()),
            (std::vector<std::pair<std::string, std::string>>{{"02", "B"}, {"01", "A"}, {"03", "C"}}));
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "A");
  EXPECT_EQ(GetCertificateTypeDisplayName("09"), "");
  EXPECT_EQ(GetCertificateTypeDisplayName("1"), "");
  EXPECT_EQ(_GetCertificateTypeInfoArr_ZEL()[0].Spare, 0);
}

TEST_F(TypeTables, DuplicateCodeGivesTheLowerIdsName) {
  Sql(IdentRow(7, "later", "01", "N001") + IdentRow(3, "earlier", "01", "N001"));
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "earlier");
}

TEST_F(TypeTables, SendsTheQueryOfTheContextsNode) {
  UseSession("N'7", "G01");
  Sql(IdentRow(1, "quoted", "01", "N''7"));
  TakeQueries();
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "quoted");
  EXPECT_EQ(TakeQueries(), (std::vector<std::string>{
                               "select IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE from "
                               "QUORL_MEMBER_IDENTTYPE where NODECODE = 'N''7' order by IDENTTYPEID"}));
}

TEST_F(TypeTables, EmptyResultIsQueriedAgainUntilRowsAppear) {
  TakeQueries();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetCertificateTypeDisplayName("01"), "");
  EXPECT_EQ(CountIdentQueries(TakeQueries()), 3u);

  Sql(IdentRow(1, "ID card", "01", "N001"));
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "ID card");
  EXPECT_EQ(CountIdentQueries(TakeQueries()), 1u);

  // Loaded once it has rows: later changes are not seen until the next load.
  Sql("UPDATE QUORL_MEMBER_IDENTTYPE SET IDENTTYPENAME = 'changed';");
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "ID card");
  EXPECT_EQ(_GetCertificateTypeInfoArr_ZEL().size(), 1u);
  EXPECT_EQ(CountIdentQueries(TakeQueries()), 0u);
}

TEST_F(TypeTables, FailingQueryRaisesAndTheNextCallTriesAgain) {
  // The host's reference is the package's own table: it sees every change.
  const TCertificateTypeInfoArr_ZEL& held = _GetCertificateTypeInfoArr_ZEL();
  EXPECT_TRUE(held.empty());

  Sql("DROP TABLE QUORL_MEMBER_IDENTTYPE;");
  EXPECT_THROW(_GetCertificateTypeInfoArr_ZEL(), Exception);
  EXPECT_THROW(GetCertificateTypeDisplayName("01"), Exception);
  EXPECT_TRUE(held.empty());

  Sql("CREATE TABLE QUORL_MEMBER_IDENTTYPE (IDENTTYPEID INTEGER, IDENTTYPENAME VARCHAR(40),"
      " CERTIFICATETYPE VARCHAR(10), NODECODE VARCHAR(20));" +
      IdentRow(1, "back", "01", "N001"));
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "back");
  EXPECT_EQ(&_GetCertificateTypeInfoArr_ZEL(), &held);
  EXPECT_EQ(Rows(held), (std::vector<std::pair<std::string, std::string>>{{"01", "back"}}));
}

TEST_F(TypeTables, UnloadEmptiesBothTablesAndFreesThePipe) {
  Sql(IdentRow(1, "ID", "01", "N001"));
  TCustomerTypeInfoArr_ZEL& customers = _GetCustomerTypeInfoArr_ZEL();
  TCertificateTypeInfoArr_ZEL& certificates = _GetCertificateTypeInfoArr_ZEL();
  EXPECT_EQ(customers.size(), 3u);
  EXPECT_EQ(certificates.size(), 1u);
  EXPECT_TRUE(quorl::HasTypeTablePipe());

  quorl::uCoreMemberSys_ZEL_Finalize();
  EXPECT_TRUE(customers.empty());
  EXPECT_TRUE(certificates.empty());
  EXPECT_FALSE(quorl::HasTypeTablePipe());

  // A fresh load reads the database again.
  UseSession("N001", "G01");
  Sql("UPDATE QUORL_MEMBER_IDENTTYPE SET IDENTTYPENAME = 'renamed';");
  EXPECT_EQ(GetCertificateTypeDisplayName("01"), "renamed");
  EXPECT_EQ(GetCustomerTypeDisplayName("1"), kMember);
}

}  // namespace
