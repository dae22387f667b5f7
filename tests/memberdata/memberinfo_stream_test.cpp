// The one-pass member-info reader against the document reader: the plain
// answers must take the one pass (or the speed is gone), everything else
// must come out exactly as the document reader has it, list or error.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "MemberDataTestEnv.h"
#include "memberdata/MemberInfoReader.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Exception.h"

using quorl::test::Gbk;

namespace {

// A module of a derived type always reads through the document.
class DocumentReader : public TMemberUserInfoXmlDM_ZEL {};

std::vector<std::string> Fields(const TMemberUserInfoRecord_ZEL& r) {
  return {r.MemberID,
          r.MemberNum,
          r.MemberValid ? "1" : "0",
          r.MemberName,
          r.MemberType,
          r.MemberTypeName,
          r.CardType,
          r.CardTypeName,
          r.CertificateType.Code,
          r.CertificateType.Name,
          r.CertificateNum,
          r.PhoneNum,
          r.MobileNum,
          r.Address,
          r.Email,
          r.CardStatus,
          r.MemberBalance,
          r.IsFeesMember,
          r.Points,
          r.MemberGroupCode,
          r.PayPassword,
          r.IsOneCard ? "1" : "0",
          r.ConsumePoints,
          r.ConsumeMoney,
          r.Reserved};
}

// "ok" then every field of every record, or the exception's type and message.
std::vector<std::string> Outcome(TMemberUserInfoXmlDM_ZEL& dm, const std::string& text) {
  try {
    dm.SetXmlString(text);
  } catch (const Exception& e) {
    return {typeid(e).name(), e.Message()};
  }
  std::vector<std::string> out = {"ok"};
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  for (int i = 0; i < list->Count(); ++i)
    for (std::string& f : Fields(*list->GetItems(i))) out.push_back(std::move(f));
  return out;
}

bool Streams(const std::string& text) {
  TMemberUserInfoList_ZEL list;
  std::vector<signed char> hints;
  return quorl::memberinfo::ReadMemberListStreaming(text, list, hints);
}

const std::string kFull =
    "memberID=\"1\" memberNum=\"8801\" memberValid=\"1\" memberName=\"" + Gbk("张三") +
    "\" memberType=\"03\" memberTypeName=\"" + Gbk("金卡") +
    "\" cardType=\"A\" cardTypeName=\"B\" certificateType=\"01\" certificateNum=\"110\" phoneNum=\"010\" "
    "mobileNum=\"138\" sAddress=\"" +
    Gbk("北京") +
    "\" sEmail=\"a@b.c\" cardstatus=\"2\" memberBalance=\"5.00\" isfeesmember=\"1\" Points=\"12\" "
    "memberGroupcode=\"G01\" PayPassword=\"pw\" IsOneCard=\"1\" ConsumePoints=\"2\" ConsumeMoney=\"3.60\"";

}  // namespace

TEST(MemberInfoStream, SameListsAndErrorsAsTheDocumentReader) {
  struct Case {
    std::string text;
    bool streams;  // read in one pass (else left to the document reader)
  };
  std::string manyUnknown = "<data><dataitem";
  for (int i = 0; i < 20; ++i) manyUnknown += " u" + std::to_string(i) + "=\"v\"";
  manyUnknown += " memberNum=\"N\"/></data>";
  const std::vector<Case> cases = {
      // plain answers: one pass
      {"<data/>", true},
      {"<data></data>", true},
      {"<data >\r\n</data >\n", true},
      {"<?xml version=\"1.0\" encoding=\"GBK\"?>\n<data><dataitem " + kFull + "/></data>", true},
      {"<data><dataitem " + kFull + "/><dataitem " + kFull + "></dataitem>\n<dataitem/></data>", true},
      {"<data><dataitem memberID = '0012' memberName='a\"b>c' x:y=\"1\" u=\"2\"\n/></data>", true},
      {"<data><dataitem memberName=\"a&amp;b&#20013;&#x4E2D;&bogus;&\" memberID=\"&#49;2\"/></data>", true},
      {"<data><dataitem isfeesmember=\"&#49;\" IsOneCard=\"&#x31;\" memberValid=\"&#49;\"/></data>", true},
      {"<data><dataitem memberID=\"12a\" memberValid=\"true\" isfeesmember=\"0\"/></data>", true},
      {"<data><dataitem memberID=\"2147483648\"/><dataitem memberID=\"-2147483648\"/></data>", true},
      // well-formed but unusual: the document reader's
      {"<!-- c --><data><dataitem memberID=\"1\"/></data>", false},
      {"<data><!-- c --><dataitem memberID=\"1\"/><?pi x?></data>", false},
      {"<!DOCTYPE data><data><dataitem memberName=\"&x;\"/></data>", false},
      {"<data version=\"2\"><dataitem memberID=\"1\"/></data>", false},
      {"<data><dataitem memberID=\"1\">x<inner/></dataitem></data>", false},
      {"<data><dataitem memberName=\"a\tb\r\nc\"/></data>", false},
      {"<data><dataitem n\xD6\xD0=\"1\"/></data>", false},
      {manyUnknown, false},
      {"\xEF\xBB\xBF<data/>", false},
      // refused: the same error either way
      {"<data><dataitem memberID=\"1\" memberID=\"2\"/></data>", false},
      {"<data><dataitem u=\"1\" u=\"2\"/></data>", false},
      {"<data><dataitem memberName=\"a<b\"/></data>", false},
      {"<data><dataitem a=\"1\"b=\"2\"/></data>", false},
      {"<data><item/></data>", false},
      {"<data>text</data>", false},
      {"<Data/>", false},
      {"<data><dataitem/>", false},
      {"<data/><data/>", false},
      {"<data></datax>", false},
      {"<data><dataitem></dataitem ></data>", true},
      {std::string("<data/>\0x", 9), false},
      {" <?xml version=\"1.0\"?><data/>", false},
      {"<data><dataitem a=1/></data>", false},
      {"<data><dataitem memberID=\"1\" / ></data>", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(Streams(c.text), c.streams);
    TMemberUserInfoXmlDM_ZEL streaming;
    DocumentReader document;
    const std::vector<std::string> expected = Outcome(document, c.text);
    if (c.streams) {
      EXPECT_EQ(expected[0], "ok");
    }
    EXPECT_EQ(Outcome(streaming, c.text), expected);
  }
}

// The module keeps no document for a text read in one pass; asked again, or
// handed a text that needs the document after one that did not (and back),
// it answers from the current text, and a failing text changes nothing.
TEST(MemberInfoStream, SwitchingBetweenTheReadersKeepsTheCurrentText) {
  const std::string plain = "<data><dataitem memberNum=\"P1\"/><dataitem memberNum=\"P2\"/></data>";
  const std::string unusual = "<data><!-- c --><dataitem memberNum=\"U1\"/></data>";
  TMemberUserInfoXmlDM_ZEL dm(plain);
  auto numbers = [&dm] {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    std::string out;
    for (int i = 0; i < list->Count(); ++i) out += list->GetItems(i)->MemberNum + ";";
    return out;
  };
  EXPECT_EQ(numbers(), "P1;P2;");
  EXPECT_EQ(numbers(), "P1;P2;");
  dm.RefreshList();
  EXPECT_EQ(numbers(), "P1;P2;");
  dm.SetXmlString(unusual);
  EXPECT_EQ(numbers(), "U1;");
  EXPECT_THROW(dm.SetXmlString("<data><x/></data>"), EXMLDocError);
  EXPECT_EQ(numbers(), "U1;");
  dm.SetXmlString(plain);
  EXPECT_THROW(dm.SetXmlString("<data><dataitem a='1' a='2'/></data>"), EXMLDocError);
  EXPECT_EQ(dm.GetXmlText(), plain);
  EXPECT_EQ(numbers(), "P1;P2;");
  dm.LoadXmlFromString();
  dm.RefreshList();
  EXPECT_EQ(numbers(), "P1;P2;");
}
