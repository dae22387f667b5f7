// Text that is not well-formed XML is refused by every reader of outside
// answers here (member info, the check-ticket binding from text and from a
// file), also where the XML parser alone would let it through; near-twins
// that are well-formed still read.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "MemberDataTestEnv.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

std::u16string U(const std::string& utf8) { return quorl::Utf8ToUtf16(utf8); }

std::string ManyAttributes(int count) {
  std::string markup;
  for (int i = 0; i < count; ++i) markup += " a" + std::to_string(i) + "=\"v\"";
  return markup;
}

struct Case {
  const char* what;
  std::string xml;
};

const Case kIllFormed[] = {
    {"duplicate attribute", "<data><dataitem memberNum=\"1\" memberNum=\"2\"/></data>"},
    {"duplicate, other quotes and spacing",
     "<data><dataitem memberNum = '1'\n memberNum=\"1\"></dataitem></data>"},
    {"duplicate on the document element", "<data a=\"1\" b=\"2\" a=\"1\"><dataitem/></data>"},
    {"duplicate among many attributes",
     "<data><dataitem memberNum=\"1\"" + ManyAttributes(60) + " memberNum=\"1\"/></data>"},
    {"'<' in a value", "<data><dataitem memberName=\"a<b\"/></data>"},
    {"'<' in a single-quoted value", "<data><dataitem memberName='<dataitem/>'/></data>"},
    {"text after the document element", "<data><dataitem/></data>\nx"},
    {"reference after the document element", "<data><dataitem/></data>&amp;"},
    {"CDATA after the document element", "<data><dataitem/></data><![CDATA[x]]>"},
    {"text before the document element", "x<data><dataitem/></data>"},
    {"NUL after the document element", std::string("<data><dataitem/></data>\0<x/>", 29)},
    {"DOCTYPE after the document element", "<data><dataitem/></data><!DOCTYPE data>"},
    {"second DOCTYPE", "<!DOCTYPE data><!DOCTYPE data><data><dataitem/></data>"},
    {"declaration after whitespace", " <?xml version=\"1.0\"?><data><dataitem/></data>"},
    {"declaration after the document element", "<data><dataitem/></data><?xml version=\"1.0\"?>"},
    {"declaration inside the document element", "<data><?XML version=\"1.0\"?><dataitem/></data>"},
};

// Each reads as one member whose card number is "1".
const Case kWellFormed[] = {
    {"names that differ in case or length",
     "<data><dataitem memberNum=\"1\" MemberNum=\"2\" memberNum2=\"3\" memberNu=\"4\"/></data>"},
    {"many distinct attributes", "<data><dataitem memberNum=\"1\"" + ManyAttributes(60) + "/></data>"},
    {"escaped '<', raw '>', other quote in a value",
     "<data><dataitem memberNum=\"1\" memberName=\"a&lt;b>c'\" sAddress='say \"hi\"'/></data>"},
    {"whitespace everywhere markup allows it",
     "<data\n>\t<dataitem\r\nmemberNum\t=\n\"1\"\t/>\n</data >\r\n"},
    {"prolog and epilog",
     "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- answer -->\n"
     "<!DOCTYPE data [<!ENTITY e \"<x>]>\"> <!-- ]> --> <?pi ]>?>]>\n"
     "<data><dataitem memberNum=\"1\"/></data>\n<!-- end --><?done?>\n"},
    {"an instruction whose target only begins with xml",
     "<data><?xml-stylesheet href=\"a\"?><dataitem memberNum=\"1\"/></data>"},
};

void ExpectParseError(const std::function<void()>& read, const char* reader) {
  SCOPED_TRACE(reader);
  try {
    read();
    ADD_FAILURE() << "accepted";
  } catch (const EXMLDocError& e) {
    EXPECT_EQ(e.Message().rfind("XML parse error: ", 0), 0u) << e.Message();
  }
}

std::string ReadMemberNum(const std::string& xml) {
  TMemberUserInfoXmlDM_ZEL dm;
  dm.SetXmlString(xml);
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
  if (list->Count() != 1) return "count " + std::to_string(list->Count());
  return list->GetItems(0)->MemberNum;
}

}  // namespace

TEST(WellFormedXml, EveryReaderRefusesWhatXmlForbids) {
  quorl::test::TempFolder folder;
  const std::string path = folder.File("answer.xml");
  for (const Case& c : kIllFormed) {
    SCOPED_TRACE(c.what);
    ExpectParseError([&] { ReadMemberNum(c.xml); }, "member info");
    ExpectParseError([&] { LoadDataFromXML(U(c.xml)); }, "check-ticket text");
    quorl::test::WriteFile(path, c.xml);
    ExpectParseError([&] { Loaddata(U(path)); }, "check-ticket file");
  }
}

TEST(WellFormedXml, EveryReaderReadsWellFormedNearTwins) {
  quorl::test::TempFolder folder;
  const std::string path = folder.File("answer.xml");
  for (const Case& c : kWellFormed) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadMemberNum(c.xml), "1");
    EXPECT_EQ(LoadDataFromXML(U(c.xml))->Get_Dataitem()->Get_MemberNum(), u"1");
    quorl::test::WriteFile(path, c.xml);
    EXPECT_EQ(Loaddata(U(path))->Get_Dataitem()->Get_MemberNum(), u"1");
  }
}

// The check sees a file's markup whatever encoding the parser read it in;
// names outside ASCII stay distinct.
TEST(WellFormedXml, CheckTicketFilesAreCheckedInEveryEncodingTheyAreReadIn) {
  const std::string good = "<data><dataitem memberNum=\"1\" 名=\"王\" 姓=\"五\"/></data>";
  const std::string bad = "<data><dataitem memberNum=\"1\" 名=\"王\" 名=\"五\"/></data>";
  const auto wide = [](const std::string& utf8, int width, bool big, bool bom) {
    std::u16string units = (bom ? u"\uFEFF" : u"") + quorl::Utf8ToUtf16(utf8);
    std::string bytes;
    for (char16_t u : units)
      for (int k = 0; k < width; ++k) {
        const int shift = 8 * (big ? width - 1 - k : k);
        bytes.push_back(shift < 16 ? static_cast<char>((u >> shift) & 0xFF) : '\0');
      }
    return bytes;
  };
  const struct {
    const char* what;
    std::function<std::string(const std::string&)> encode;
  } encodings[] = {
      {"UTF-8 with BOM", [](const std::string& s) { return "\xEF\xBB\xBF" + s; }},
      {"GB2312 declared",
       [](const std::string& s) {
         return "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + quorl::test::Gbk(s);
       }},
      {"UTF-16LE with BOM", [&](const std::string& s) { return wide(s, 2, false, true); }},
      {"UTF-16BE without BOM", [&](const std::string& s) { return wide(s, 2, true, false); }},
      {"UTF-32LE with BOM", [&](const std::string& s) { return wide(s, 4, false, true); }},
  };
  quorl::test::TempFolder folder;
  const std::string path = folder.File("answer.xml");
  for (const auto& e : encodings) {
    SCOPED_TRACE(e.what);
    quorl::test::WriteFile(path, e.encode(good));
    EXPECT_EQ(Loaddata(U(path))->Get_Dataitem()->GetAttribute(U("姓")), U("五"));
    quorl::test::WriteFile(path, e.encode(bad));
    ExpectParseError([&] { Loaddata(U(path)); }, "check-ticket file");
  }
}
