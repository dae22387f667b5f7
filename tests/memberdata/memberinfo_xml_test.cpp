#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "MemberDataTestEnv.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Exception.h"

using quorl::test::Gbk;
using Rec = TMemberUserInfoRecord_ZEL;

namespace {

// Counts the items read, to tell "parsed" from "left alone".
class CountingModule : public TMemberUserInfoXmlDM_ZEL {
 public:
  using TMemberUserInfoXmlDM_ZEL::TMemberUserInfoXmlDM_ZEL;
  int itemsRead = 0;
  TMemberUserInfoRecord_ZEL* ExtractFromDataItemNode() override {
    ++itemsRead;
    return TMemberUserInfoXmlDM_ZEL::ExtractFromDataItemNode();
  }
};

std::unique_ptr<TMemberUserInfoList_ZEL> Read(const std::string& xml) {
  TMemberUserInfoXmlDM_ZEL dm;
  dm.SetXmlString(xml);
  return std::unique_ptr<TMemberUserInfoList_ZEL>(dm.GetUserInfoList());
}

// One member read from a "dataitem" with the given attribute markup.
Rec ReadOne(const std::string& attributes) {
  auto list = Read("<data><dataitem " + attributes + "/></data>");
  EXPECT_EQ(list->Count(), 1);
  return *list->GetItems(0);
}

std::string FlagText(bool b) { return b ? "true" : "false"; }

struct MappingCase {
  std::string attributes;
  std::function<std::string(const Rec&)> field;
  std::string expected;
};

}  // namespace

TEST(MemberInfoXml, MapsEveryAttributeByItsRule) {
  auto id = [](const Rec& r) { return r.MemberID; };
  auto valid = [](const Rec& r) { return FlagText(r.MemberValid); };
  auto fees = [](const Rec& r) { return r.IsFeesMember; };
  auto oneCard = [](const Rec& r) { return FlagText(r.IsOneCard); };
  const MappingCase cases[] = {
      {R"(memberID="12")", id, "12"},
      {R"(memberID="0012")", id, "0012"},
      {R"(memberID="+7")", id, "+7"},
      {R"(memberID="-2147483648")", id, "-2147483648"},
      {R"(memberID="2147483647")", id, "2147483647"},
      {R"(memberID="000000000000002147483647")", id, "000000000000002147483647"},
      {R"(memberID="2147483648")", id, "-1"},
      {R"(memberID="-2147483649")", id, "-1"},
      {R"(memberID="99999999999999999999999")", id, "-1"},
      {R"(memberID="12a")", id, "-1"},
      {R"(memberID=" 12")", id, "-1"},
      {R"(memberID="1.5")", id, "-1"},
      {R"(memberID="-")", id, "-1"},
      {R"(memberID="")", id, "-1"},
      {R"(memberNum="1")", id, "-1"},
      {R"(memberValid="1")", valid, "true"},
      {R"(memberValid="01")", valid, "false"},
      {R"(memberValid="true")", valid, "false"},
      {R"(memberNum="1")", valid, "false"},
      {R"(isfeesmember="1")", fees, "Y"},
      {R"(isfeesmember="0")", fees, "N"},
      {R"(isfeesmember="Y")", fees, "N"},
      {R"(memberNum="1")", fees, "N"},
      {R"(IsOneCard="1")", oneCard, "true"},
      {R"(IsOneCard="t")", oneCard, "false"},
      {R"(memberNum="1")", oneCard, "false"},
      {R"(memberNum="M-1")", [](const Rec& r) { return r.MemberNum; }, "M-1"},
      {R"(memberName="n")", [](const Rec& r) { return r.MemberName; }, "n"},
      {R"(memberType="t")", [](const Rec& r) { return r.MemberType; }, "t"},
      {R"(memberTypeName="tn")", [](const Rec& r) { return r.MemberTypeName; }, "tn"},
      {R"(cardType="c")", [](const Rec& r) { return r.CardType; }, "c"},
      {R"(cardTypeName="cn")", [](const Rec& r) { return r.CardTypeName; }, "cn"},
      {R"(certificateNum="cn1")", [](const Rec& r) { return r.CertificateNum; }, "cn1"},
      {R"(phoneNum="p")", [](const Rec& r) { return r.PhoneNum; }, "p"},
      {R"(mobileNum="m")", [](const Rec& r) { return r.MobileNum; }, "m"},
      {R"(sAddress="a")", [](const Rec& r) { return r.Address; }, "a"},
      {R"(sEmail="e")", [](const Rec& r) { return r.Email; }, "e"},
      {R"(cardstatus="2")", [](const Rec& r) { return r.CardStatus; }, "2"},
      {R"(memberBalance="10.50")", [](const Rec& r) { return r.MemberBalance; }, "10.50"},
      {R"(Points="30")", [](const Rec& r) { return r.Points; }, "30"},
      {R"(memberGroupcode="G7")", [](const Rec& r) { return r.MemberGroupCode; }, "G7"},
      {R"(PayPassword="pw")", [](const Rec& r) { return r.PayPassword; }, "pw"},
      {R"(ConsumePoints="3")", [](const Rec& r) { return r.ConsumePoints; }, "3"},
      {R"(ConsumeMoney="4")", [](const Rec& r) { return r.ConsumeMoney; }, "4"},
      // Names match with their exact letter case only.
      {R"(MemberNum="x")", [](const Rec& r) { return r.MemberNum; }, ""},
      {R"(memberGroupCode="G7")", [](const Rec& r) { return r.MemberGroupCode; }, ""},
      {R"(points="30")", [](const Rec& r) { return r.Points; }, ""},
      // Escapes resolve; character references become GBK.
      {R"(memberName="a&amp;b&lt;c&gt;&quot;&apos;")", [](const Rec& r) { return r.MemberName; },
       "a&b<c>\"'"},
      {R"(memberName="&#20013;&#x6587;")", [](const Rec& r) { return r.MemberName; }, Gbk("中文")},
      {R"(memberName="&#128512;")", [](const Rec& r) { return r.MemberName; }, "?"},
      {R"(memberName="&undeclared;&#0;&#xD800;&#;&")", [](const Rec& r) { return r.MemberName; },
       "&undeclared;&#0;&#xD800;&#;&"},
      // Attribute values are normalised as XML requires (tab becomes a blank).
      {"memberName=\"a\tb\"", [](const Rec& r) { return r.MemberName; }, "a b"},
      {"memberName=\"a&#9;b\"", [](const Rec& r) { return r.MemberName; }, "a\tb"},
      // GBK bytes pass through unchanged, a declared encoding notwithstanding.
      {"memberName=\"" + Gbk("张三") + "\"", [](const Rec& r) { return r.MemberName; }, Gbk("张三")},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.attributes);
    EXPECT_EQ(c.field(ReadOne(c.attributes)), c.expected);
  }
}

TEST(MemberInfoXml, LooksUpTheCertificateNameOfTheCode) {
  const struct {
    const char* attributes;
    std::string code, name;
  } cases[] = {
      {R"(certificateType="01")", "01", Gbk("身份证")},  // the lower IDENTTYPEID of two "01" rows
      {R"(certificateType="02")", "02", Gbk("护照")},
      {R"(certificateType="1")", "1", ""},
      {R"(certificateType="99")", "99", ""},
      {R"(memberNum="1")", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    const Rec r = ReadOne(c.attributes);
    EXPECT_EQ(r.CertificateType.Code, c.code);
    EXPECT_EQ(r.CertificateType.Name, c.name);
    EXPECT_EQ(r.Reserved, "");
  }
}

TEST(MemberInfoXml, ReadsItemsInDocumentOrderSkippingWhitespaceCommentsAndInstructions) {
  auto list = Read(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- answer -->\n<data>\n  <dataitem memberID=\"1\"/>\n  <!-- between -->\n"
      "  <?marker x?>\n  <dataitem memberID=\"2\">ignored content<inner/></dataitem>\r\n"
      "  <dataitem memberID=\"3\"></dataitem>\n</data>\n");
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->GetItems(0)->MemberID, "1");
  EXPECT_EQ(list->GetItems(1)->MemberID, "2");
  EXPECT_EQ(list->GetItems(2)->MemberID, "3");
  EXPECT_EQ(Read("<data/>")->Count(), 0);
  EXPECT_EQ(Read("<data>\n</data>")->Count(), 0);
}

TEST(MemberInfoXml, RejectsDocumentsOfAnotherShapeWithTheFormatMessage) {
  const char* invalid[] = {
      "<Data/>",
      "<datas><dataitem/></datas>",
      "<data><item/></data>",
      "<data><dataitem/><DataItem/></data>",
      "<data>text</data>",
      "<data><dataitem/>text</data>",
      "<data><![CDATA[x]]></data>",
  };
  for (const char* xml : invalid) {
    SCOPED_TRACE(xml);
    TMemberUserInfoXmlDM_ZEL dm;
    try {
      dm.SetXmlString(xml);
      ADD_FAILURE() << "no error";
    } catch (const EXMLDocError& e) {
      EXPECT_EQ(e.Message(), "Parse Error: Invalid XML Format!");
      EXPECT_EQ(e.Message(), _SE_InvalidXMLFormat_ZEL);
    }
  }
}

TEST(MemberInfoXml, RejectsTextThatIsNotXmlWithTheParserMessage) {
  const char* broken[] = {"not xml",
                          "<data>",
                          "<data><dataitem memberID=\"1></data>",
                          "<data/><data/>",
                          "<data><dataitem a='1' a=/></data>",
                          "   "};
  for (const char* xml : broken) {
    SCOPED_TRACE(xml);
    TMemberUserInfoXmlDM_ZEL dm;
    try {
      dm.SetXmlString(xml);
      ADD_FAILURE() << "no error";
    } catch (const EXMLDocError& e) {
      EXPECT_NE(e.Message(), _SE_InvalidXMLFormat_ZEL);
      EXPECT_NE(e.Message().find("XML parse error"), std::string::npos) << e.Message();
    }
  }
}

TEST(MemberInfoXml, SameTextTwiceParsesOnce) {
  CountingModule dm;
  const std::string xml = "<data><dataitem memberID=\"1\"/><dataitem memberID=\"2\"/></data>";
  dm.SetXmlString(xml);
  dm.SetXmlString(xml);
  EXPECT_EQ(dm.itemsRead, 2);
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  EXPECT_EQ(list->Count(), 2);
  dm.SetXmlString("<data><dataitem memberID=\"3\"/></data>");
  EXPECT_EQ(dm.itemsRead, 3);
}

TEST(MemberInfoXml, EmptyTextOnANewModuleChangesNothing) {
  CountingModule dm;
  dm.SetXmlString("");
  EXPECT_EQ(dm.itemsRead, 0);
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  EXPECT_EQ(list->Count(), 0);
}

TEST(MemberInfoXml, ConstructorParsesANonEmptyText) {
  TMemberUserInfoXmlDM_ZEL dm("<data><dataitem memberID=\"5\"/></data>");
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetItems(0)->MemberID, "5");
  EXPECT_THROW(TMemberUserInfoXmlDM_ZEL("<other/>"), EXMLDocError);
}

TEST(MemberInfoXml, AFailedTextDoesNotBecomeCurrent) {
  const std::string good = "<data><dataitem memberID=\"1\"/><dataitem memberID=\"2\"/></data>";
  const std::string badChild = "<data><dataitem memberID=\"9\"/><bad/></data>";
  const std::string badRoot = "<other/>";
  const std::string notXml = "<data";
  for (const std::string& bad : {badChild, badRoot, notXml}) {
    SCOPED_TRACE(bad);
    CountingModule dm;
    dm.SetXmlString(good);
    EXPECT_THROW(dm.SetXmlString(bad), EXMLDocError);
    EXPECT_EQ(dm.GetXmlText(), good);
    // Handing the failed text in again fails again instead of passing as "unchanged".
    EXPECT_THROW(dm.SetXmlString(bad), EXMLDocError);
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetItems(1)->MemberID, "2");
    // The good text is still current, so it is not parsed again.
    const int before = dm.itemsRead;
    dm.SetXmlString(good);
    EXPECT_EQ(dm.itemsRead, before);
    dm.RefreshList();  // the document kept is the good one
    std::unique_ptr<TMemberUserInfoList_ZEL> again(dm.GetUserInfoList());
    EXPECT_EQ(again->Count(), 2);
  }
}

TEST(MemberInfoXml, ReturnedListsOwnTheirRecords) {
  auto dm = std::make_unique<TMemberUserInfoXmlDM_ZEL>();
  dm->SetXmlString("<data><dataitem memberID=\"1\" memberName=\"a\"/></data>");
  std::unique_ptr<TMemberUserInfoList_ZEL> first(dm->GetUserInfoList());
  std::unique_ptr<TMemberUserInfoList_ZEL> second(dm->GetUserInfoList());
  ASSERT_EQ(first->Count(), 1);
  EXPECT_NE(first->GetItems(0), second->GetItems(0));
  // A new text and the module's end leave the caller's records alive
  // (AddressSanitizer reports any use after free here).
  dm->SetXmlString("<data/>");
  EXPECT_EQ(first->GetItems(0)->MemberName, "a");
  dm.reset();
  EXPECT_EQ(second->GetItems(0)->MemberID, "1");
  first.reset();
  EXPECT_EQ(second->GetItems(0)->MemberName, "a");
}

TEST(MemberInfoXml, EveryListOfTheSameTextHoldsAllItsMembers) {
  CountingModule dm;
  dm.SetXmlString("<data><dataitem memberID=\"1\"/><dataitem memberID=\"2\"/></data>");
  for (int round = 0; round < 3; ++round) {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetItems(1)->MemberID, "2");
    // A failing text in between changes nothing.
    EXPECT_THROW(dm.SetXmlString("<data><x/></data>"), EXMLDocError);
  }
  EXPECT_EQ(dm.itemsRead, 2 + 2 * 2);  // read once, then again for each further list
}

TEST(MemberInfoXml, HostileInputFailsCleanlyOrReadsSafely) {
  // Entity declarations are never expanded: references stay as written.
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE data [<!ENTITY l0 \"lol\">";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><data><dataitem memberName=\"&l9;\"/></data>";
  auto list = Read(laughs);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetItems(0)->MemberName, "&l9;");

  // External entities are not fetched either.
  list = Read(
      "<!DOCTYPE data [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<data><dataitem memberName=\"&x;\"/></data>");
  EXPECT_EQ(list->GetItems(0)->MemberName, "&x;");

  // A huge attribute is read whole.
  const std::string big(4 << 20, 'x');
  list = Read("<data><dataitem memberName=\"" + big + "\"/></data>");
  EXPECT_EQ(list->GetItems(0)->MemberName.size(), big.size());

  // Many attributes per item and deep nesting inside an item.
  std::string many = "<data><dataitem";
  for (int i = 0; i < 5000; ++i) many += " a" + std::to_string(i) + "=\"v\"";
  many += " memberNum=\"N\"/><dataitem memberNum=\"M\"/></data>";
  list = Read(many);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->GetItems(0)->MemberNum, "N");
  EXPECT_EQ(list->GetItems(1)->MemberNum, "M");

  std::string deep = "<data><dataitem memberNum=\"D\">";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  deep += "</dataitem></data>";
  EXPECT_EQ(Read(deep)->GetItems(0)->MemberNum, "D");

  // Truncations of a valid answer never crash.
  const std::string answer = "<data><dataitem memberID=\"1\" memberName=\"a&amp;b\"/></data>";
  for (size_t n = 0; n < answer.size(); ++n) {
    TMemberUserInfoXmlDM_ZEL dm;
    try {
      dm.SetXmlString(answer.substr(0, n));
    } catch (const Exception&) {
    }
  }
}
