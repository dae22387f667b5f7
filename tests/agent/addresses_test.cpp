#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/uCoreMemberSys_ZEL.h"
#include "platform/Exception.h"
#include "platform/Http.h"
#include "tests/agent/CoreFixture.h"

namespace {

using quorl::test::CoreFixture;

std::array<std::string, 5> Current() {
  return {_MemberSysSoapURL_ZEL, _MemberSysWSDLURL_ZEL, _MemberCommercial_ZEL, _MemberPassWordKey_ZEL,
          _MemberConnectUmnByDB_ZEL};
}

void SetAddresses(const std::string& value) {
  _MemberSysSoapURL_ZEL = _MemberSysWSDLURL_ZEL = _MemberCommercial_ZEL = _MemberPassWordKey_ZEL =
      _MemberConnectUmnByDB_ZEL = value;
}

// One address row; SOAP_ADDR names it so tests can tell which row won.
std::string Row(const std::string& node, const std::string& type, const std::string& group,
                const std::string& isDefault, const std::string& soap) {
  return "INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR,"
         " WSDL_ADDR, COMMERCIAL, PASSWORDKEY, CONNECTUMNBYDB) VALUES ('" +
         node + "','" + type + "','" + group + "','" + isDefault + "','" + soap + "','w-" + soap +
         "','M|S','key','N');\n";
}

class Addresses : public CoreFixture {};

TEST_F(Addresses, GroupRowWinsOverDefaultRow) {
  Sql(Row("N001", "G", "", "Y", "default") + Row("N001", "G", "G01", "N", "group") +
      Row("N001", "G", "G02", "N", "other-group") + Row("N002", "G", "G01", "N", "other-node"));
  _GetMemberSysWSURL();
  EXPECT_EQ(Current(), (std::array<std::string, 5>{"group", "w-group", "M|S", "key", "N"}));
}

TEST_F(Addresses, DefaultRowWhenTheGroupHasNone) {
  Sql(Row("N001", "G", "G02", "N", "other-group") + Row("N001", "G", "", "Y", "default") +
      Row("N001", "H", "", "Y", "other-type"));
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "default");
  EXPECT_EQ(_MemberSysWSDLURL_ZEL, "w-default");
}

TEST_F(Addresses, NoRowEmptiesAllFiveWithoutError) {
  Sql(Row("N001", "G", "G02", "N", "other-group") + Row("N001", "G", "", "N", "not-default"));
  SetAddresses("old");
  EXPECT_NO_THROW(_GetMemberSysWSURL());
  EXPECT_EQ(Current(), (std::array<std::string, 5>{}));
}

TEST_F(Addresses, SendsBothQueriesExactlyAndOnlyWhenNeeded) {
  const std::string first =
      "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
      "where NODECODE = 'N001' and ADDRESSTYPE = 'G' and GROUPCODE = 'G01' ";
  const std::string second =
      "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
      "where NODECODE = 'N001' and ADDRESSTYPE = 'G' and ISDEFAULT = 'Y' ";
  TakeQueries();
  _GetMemberSysWSURL();
  EXPECT_EQ(TakeQueries(), (std::vector<std::string>{first, second}));

  Sql(Row("N001", "G", "G01", "N", "group"));
  _GetMemberSysWSURL();
  EXPECT_EQ(TakeQueries(), (std::vector<std::string>{first}));
}

// Which row is chosen for each INI file: rows exist for the types G, P and
// the empty type, so the result names the address type that was read.
TEST_F(Addresses, AddressTypeFromTheIniFile) {
  Sql(Row("N001", "G", "G01", "N", "type-G") + Row("N001", "P", "G01", "N", "type-P") +
      Row("N001", "", "G01", "N", "type-empty"));
  struct Case {
    const char* what;
    const char* ini;  // nullptr: no file
    const char* expected;
  };
  const Case cases[] = {
      {"no file", nullptr, "type-G"},
      {"empty file", "", "type-G"},
      {"plain", "[WSDLCONFIGURE]\nADDRESSTYPE=P\n", "type-P"},
      {"empty value is not the default", "[WSDLCONFIGURE]\nADDRESSTYPE=\n", "type-empty"},
      {"other section", "[OTHER]\nADDRESSTYPE=P\n", "type-G"},
      {"key missing", "[WSDLCONFIGURE]\nSOMETHING=P\n", "type-G"},
      {"names ignore case, CR LF", "[wsdlconfigure]\r\naddresstype=P\r\n", "type-P"},
      {"odd lines around",
       "garbage line\n[broken\n;ADDRESSTYPE=G\n[WSDLCONFIGURE]\nno equals\nADDRESSTYPE = P \n", "type-P"},
      {"unknown type", "[WSDLCONFIGURE]\nADDRESSTYPE=Z\n", ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir_ + "/" + quorl::kAddressIniFileName);
    if (c.ini != nullptr) WriteIni(c.ini);
    _GetMemberSysWSURL();
    EXPECT_EQ(_MemberSysSoapURL_ZEL, c.expected) << c.what;
  }
}

TEST_F(Addresses, TrimsTheLastThreeColumnsOnly) {
  Sql("INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR,"
      " WSDL_ADDR, COMMERCIAL, PASSWORDKEY, CONNECTUMNBYDB) VALUES ('N001','G','G01','N',"
      "'http://soap/ ',' http://wsdl ','  M1|S1  ',char(9)||'key'||char(13)||char(10),' Y ');");
  _GetMemberSysWSURL();
  EXPECT_EQ(Current(), (std::array<std::string, 5>{"http://soap/ ", " http://wsdl ", "M1|S1", "key", "Y"}));
}

TEST_F(Addresses, NullColumnsGiveEmptyText) {
  Sql("INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, SOAP_ADDR)"
      " VALUES ('N001','G','G01','http://soap/');");
  SetAddresses("old");
  _GetMemberSysWSURL();
  EXPECT_EQ(Current(), (std::array<std::string, 5>{"http://soap/", "", "", "", ""}));
}

// Values go into the SQL text escaped: an apostrophe matches literally and
// cannot change which rows the query selects.
TEST_F(Addresses, ApostrophesInValuesAreEscaped) {
  Sql(Row("N''1", "G", "G''1", "N", "quoted-group") + Row("N''1", "G", "", "Y", "quoted-default") +
      Row("N001", "G", "G01", "N", "plain-group") + Row("N001", "G", "", "Y", "plain-default"));

  UseSession("N'1", "G'1");
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "quoted-group");

  WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=G'\n");
  EXPECT_NO_THROW(_GetMemberSysWSURL());
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "");

  // Unescaped, this group code would turn the first query into "any group".
  std::filesystem::remove(dir_ + "/" + quorl::kAddressIniFileName);
  UseSession("N001", "x' or '1'='1");
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "plain-default");
}

TEST_F(Addresses, FailureLeavesTheStringsAsTheyWere) {
  Sql(Row("N001", "G", "G01", "N", "group"));
  _GetMemberSysWSURL();
  const auto before = Current();
  Sql("DROP TABLE QUORL_SOAPSERVER_ADDRESS;");
  EXPECT_THROW(_GetMemberSysWSURL(), Exception);
  EXPECT_EQ(Current(), before);

  // A table missing a column the lookup reads fails the same way.
  Sql("CREATE TABLE QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR,"
      " WSDL_ADDR, COMMERCIAL, PASSWORDKEY);");
  EXPECT_THROW(_GetMemberSysWSURL(), Exception);
  EXPECT_EQ(Current(), before);
}

TEST_F(Addresses, EachRunRereadsTheFileAndTheTable) {
  Sql(Row("N001", "G", "G01", "N", "first") + Row("N001", "P", "G01", "N", "type-P"));
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "first");
  Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = 'changed' WHERE SOAP_ADDR = 'first';");
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "changed");
  WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=P\n");
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "type-P");
}

// The HTTP stall limit comes from the same section on every run; a value
// that is no whole number of at least 1 keeps its default rather than
// switching the time-out off.
TEST_F(Addresses, StallLimitFromTheIniFile) {
  const quorl::HttpStallLimit defaults;
  struct Case {
    const char* what;
    const char* ini;  // nullptr: no file
    quorl::HttpStallLimit expected;
  };
  const Case cases[] = {
      {"both set", "[WSDLCONFIGURE]\nHTTPSTALLBYTES=256\nHTTPSTALLSECONDS=20\n", {256, 20}},
      {"no file", nullptr, defaults},
      {"seconds only, any case", "[wsdlconfigure]\nhttpstallseconds = 90\n", {defaults.bytes, 90}},
      {"zero and negative", "[WSDLCONFIGURE]\nHTTPSTALLBYTES=0\nHTTPSTALLSECONDS=-5\n", defaults},
      {"not numbers", "[WSDLCONFIGURE]\nHTTPSTALLBYTES=1k\nHTTPSTALLSECONDS=ten\n", defaults},
      {"empty", "[WSDLCONFIGURE]\nHTTPSTALLBYTES=\nHTTPSTALLSECONDS=\n", defaults},
      {"too large", "[WSDLCONFIGURE]\nHTTPSTALLSECONDS=99999999999999999999999\n", defaults},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir_ + "/" + quorl::kAddressIniFileName);
    if (c.ini != nullptr) WriteIni(c.ini);
    quorl::SetHttpStallLimit({7, 7});
    _GetMemberSysWSURL();
    EXPECT_EQ(quorl::GetHttpStallLimit(), c.expected) << c.what;
  }
  quorl::SetHttpStallLimit({});
}

TEST_F(Addresses, GbkTextArrivesAsGbk) {
  Sql("INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR,"
      " WSDL_ADDR, COMMERCIAL, PASSWORDKEY, CONNECTUMNBYDB) VALUES ('N001','G','G01','N','s','w',"
      "'商户|门店','k','N');");
  _GetMemberSysWSURL();
  EXPECT_EQ(_MemberCommercial_ZEL, "\xC9\xCC\xBB\xA7|\xC3\xC5\xB5\xEA");
}

}  // namespace
