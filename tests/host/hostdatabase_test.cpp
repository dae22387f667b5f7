#include <gtest/gtest.h>

#include "HostTestSupport.h"
#include "host/DBPipe.h"
#include "platform/ClientDataSet.h"

using quorl::test::Gbk;
using quorl::test::HostDb;
using quorl::test::TempFolder;

namespace {

const char* const kTables[] = {"QUORL_SOAPSERVER_ADDRESS", "QUORL_MEMBER_IDENTTYPE",
                               "QUORL_MEMBER_GROUP",       "QUORL_MEMBER_CLASS",
                               "QUORL_CARD_CLASS",         "QUORL_MEMBER",
                               "QUORL_MEMBER_CARD",        "QUORL_CONSUMPTION",
                               "QUORL_PENDING_ORDER",      "QUORL_USERS"};

std::string Counts(const HostDb& db) {
  std::string out;
  for (const char* t : kTables)
    out += std::string(t) + "=" + db.Scalar(std::string("SELECT count(*) FROM ") + t) + " ";
  return out;
}

}  // namespace

TEST(CreateHostDatabase, IsIdempotentWithAndWithoutSeed) {
  HostDb db(false);
  EXPECT_EQ(db.Scalar("SELECT count(*) FROM QUORL_MEMBER"), "0");
  quorl::CreateHostDatabase(db.path, false);
  quorl::CreateHostDatabase(db.path, true);
  const std::string seeded = Counts(db);
  EXPECT_EQ(db.Scalar("SELECT count(*) FROM QUORL_MEMBER"), "6");
  quorl::CreateHostDatabase(db.path, true);
  quorl::CreateHostDatabase(db.path, false);
  EXPECT_EQ(Counts(db), seeded);
}

TEST(CreateHostDatabase, SeedServesTheAddressAndTypeQueries) {
  HostDb db;
  TCADBPipe pipe;
  TClientDataSet ds;
  // The address look-up's own query text, trailing blank included.
  ds.SetData(pipe.GetData(db.Context(),
                          "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from "
                          "QUORL_SOAPSERVER_ADDRESS where NODECODE = 'N001' and ADDRESSTYPE = 'H' and "
                          "ISDEFAULT = 'Y' "));
  ASSERT_EQ(ds.RecordCount(), 1);
  const std::string commercial = ds.FieldByName("COMMERCIAL")->AsString();
  EXPECT_NE(commercial.find('|'), std::string::npos);
  EXPECT_FALSE(ds.FieldByName("PASSWORDKEY")->AsString().empty());
  EXPECT_EQ(ds.FieldByName("SOAP_ADDR")->AsString().rfind("http://127.0.0.1:", 0), 0u);

  ds.SetData(pipe.GetData(db.Context(),
                          "select IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE from "
                          "QUORL_MEMBER_IDENTTYPE where NODECODE = 'N002' order by IDENTTYPEID"));
  ASSERT_GE(ds.RecordCount(), 3);
  ds.First();
  EXPECT_EQ(ds.FieldByName("IDENTTYPENAME")->AsString(), Gbk("身份证"));
  EXPECT_EQ(ds.FieldByName("IDENTTYPEID")->DataType(), TFieldType::ftInteger);

  ds.SetData(pipe.GetData(db.Context(), "select UserCode, CNAME from QUORL_USERS"));
  EXPECT_GE(ds.RecordCount(), 2);
  EXPECT_TRUE(ds.Locate("UserCode", Variant("1001")));
  EXPECT_EQ(ds.FieldByName("CNAME")->AsString(), Gbk("王小明"));
}

TEST(ExecuteSqlScript, KeepsNothingOfAFailingScript) {
  HostDb db(false);
  EXPECT_THROW(quorl::ExecuteSqlScript(db.path,
                                       "INSERT INTO QUORL_USERS VALUES ('9', 'x');"
                                       "INSERT INTO NOPE VALUES (1);"),
               EDatabaseError);
  EXPECT_EQ(db.Scalar("SELECT count(*) FROM QUORL_USERS"), "0");
  // Foreign keys are enforced: a card of an unknown member is refused.
  EXPECT_THROW(quorl::ExecuteSqlScript(db.path,
                                       "INSERT INTO QUORL_MEMBER_CARD (MEMBER_CARD_NO, MEMBER_ID) "
                                       "VALUES ('1', 424242)"),
               EDatabaseError);
}

TEST(CreateHostDatabase, FailsClearlyWhereNoFileCanBe) {
  TempFolder dir;
  EXPECT_THROW(quorl::CreateHostDatabase(dir.File("no/such/folder/host.db"), true), EDatabaseError);
  EXPECT_THROW(quorl::CreateHostDatabase("", true), EDatabaseError);
}
