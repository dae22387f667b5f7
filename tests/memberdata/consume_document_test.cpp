#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "MemberDataTestEnv.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

using quorl::test::Gbk;

namespace {

const std::vector<std::string> kValueNames = {
    "MC_Time",      "MC_PriceSum",  "MC_CostType",    "MC_Cost",          "MC_MemberID",
    "MC_Discount",  "MC_bPost",     "MC_Address",     "MC_UserName",      "MC_PhoneNumber",
    "MC_PostMemo",  "MC_Creater",   "MC_WareCode",    "MC_WareName",      "MC_WareTime",
    "MC_PlaceName", "MC_OrderCode", "MC_OrderSource", "MC_SaleClassName", "MC_InvoiceHead",
    "MC_Isonecard", "MC_Group",     "MC_ProduceGroup"};

// Points the application folder at a temporary one with a print folder.
class ConsumeDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    quorl::SetApplicationDirectory(app_.path() + "/");
    std::filesystem::create_directory(PrintFolder());
  }
  void TearDown() override { quorl::SetApplicationDirectory(""); }

  std::string PrintFolder() const { return app_.File("MemberPrint_vrisk/"); }
  std::string PrintFile() const { return PrintFolder() + "Print.xml"; }

  // Every field holds its own name, so a value shows where it came from.
  static TMemberInfoRecord_VRISK Named(TTicketInfoRecordList_VRISK* tickets) {
    TMemberInfoRecord_VRISK r;
    TMemberInfoRecord_VRISK* p = &r;
    std::string* fields[] = {&p->MC_Time,      &p->MC_PriceSum,    &p->MC_CostType,      &p->MC_Cost,
                             &p->MC_MemberID,  &p->MC_Discount,    &p->MC_bPost,         &p->MC_Address,
                             &p->MC_UserName,  &p->MC_PhoneNumber, &p->MC_PostMemo,      &p->MC_Creater,
                             &p->MC_WareCode,  &p->MC_WareName,    &p->MC_WareTime,      &p->MC_PlaceName,
                             &p->MC_OrderCode, &p->MC_OrderSource, &p->MC_SaleClassName, &p->MC_InvoiceHead,
                             &p->MC_Isonecard, &p->MC_Group,       &p->MC_ProduceGroup};
    for (size_t i = 0; i < kValueNames.size(); ++i) *fields[i] = "v:" + kValueNames[i];
    r.Tickets = tickets;
    return r;
  }

  static pugi::xml_node ParseRoot(pugi::xml_document& doc, const std::string& utf8) {
    EXPECT_TRUE(doc.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8));
    return doc.document_element();
  }

  quorl::test::TempFolder app_{"quorl-mdata-"};
  TTicketInfoRecordList_VRISK tickets_;
  TMemberUserInfoXmlDM_ZEL dm_;
};

}  // namespace

TEST_F(ConsumeDocument, WritesTheNamedValuesInDocumentOrderAndNoConsumeWithoutTickets) {
  const TMemberInfoRecord_VRISK r = Named(&tickets_);
  const std::u16string text = dm_.SaveToXmlString(r);
  const std::string utf8 = quorl::Utf16ToUtf8(text);
  EXPECT_EQ(utf8.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << utf8;
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc, utf8);
  EXPECT_STREQ(root.name(), "MemberConsume");
  std::vector<std::string> names;
  for (pugi::xml_node c : root.children()) {
    names.push_back(c.name());
    EXPECT_EQ(std::string(c.child_value()), "v:" + std::string(c.name()));
    EXPECT_FALSE(c.first_attribute());
  }
  EXPECT_EQ(names, kValueNames);
}

TEST_F(ConsumeDocument, WritesOneConsumePerTicketLineInListOrder) {
  TTicketInfoRecord_VRISK t[3];
  for (int i = 0; i < 3; ++i) {
    t[i] = {"L" + std::to_string(i), "P" + std::to_string(i), "N" + std::to_string(i),
            "S" + std::to_string(i)};
    tickets_.Add(&t[i]);
  }
  const std::string utf8 = quorl::Utf16ToUtf8(dm_.SaveToXmlString(Named(&tickets_)));
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc, utf8);
  int index = 0, position = 0;
  for (pugi::xml_node c : root.children()) {
    if (position++ < 23) {
      EXPECT_STRNE(c.name(), "Consume");
      continue;
    }
    ASSERT_STREQ(c.name(), "Consume");
    const std::string n = std::to_string(index++);
    std::vector<std::string> got;
    for (pugi::xml_node v : c.children()) got.push_back(std::string(v.name()) + "=" + v.child_value());
    EXPECT_EQ(got, (std::vector<std::string>{"CL_PriceLevel=L" + n, "CL_WarePrice=P" + n, "CL_WareNum=N" + n,
                                             "CL_CostSum=S" + n}));
  }
  EXPECT_EQ(index, 3);
}

TEST_F(ConsumeDocument, EscapesMarkupAndKeepsEmptyValues) {
  TMemberInfoRecord_VRISK r = Named(&tickets_);
  r.MC_PostMemo = "a & b < c > d \"e\"";
  r.MC_Discount = "";
  TTicketInfoRecord_VRISK t{"<1>", "&", "", ""};
  tickets_.Add(&t);
  const std::string utf8 = quorl::Utf16ToUtf8(dm_.SaveToXmlString(r));
  EXPECT_NE(utf8.find("a &amp; b &lt; c"), std::string::npos) << utf8;
  pugi::xml_document doc;
  pugi::xml_node root = ParseRoot(doc, utf8);
  EXPECT_EQ(std::string(root.child_value("MC_PostMemo")), r.MC_PostMemo);
  ASSERT_TRUE(root.child("MC_Discount"));
  EXPECT_STREQ(root.child_value("MC_Discount"), "");
  EXPECT_STREQ(root.child("Consume").child_value("CL_PriceLevel"), "<1>");
  EXPECT_STREQ(root.child("Consume").child_value("CL_WarePrice"), "&");
  ASSERT_TRUE(root.child("Consume").child("CL_CostSum"));
}

// A value must come back from both texts as written: a carriage return as
// itself (a raw one would reach the reader as a line feed), tab and line
// feed unchanged, and the control characters XML 1.0 cannot carry dropped,
// neither raw nor as references, which strict readers refuse.
TEST_F(ConsumeDocument, ControlCharactersInValuesKeepBothTextsWellFormed) {
  struct Case {
    std::string value;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a\rb", "a\rb"},     {"a\r\nb\r", "a\r\nb\r"},       {"a\tb", "a\tb"},
      {"a\nb", "a\nb"},     {std::string("a\0b", 3), "ab"}, {"a\x01\x08z", "az"},
      {"a\x0B\x0Cz", "az"}, {"a\x0E\x1Fz", "az"},           {"\x1B" + Gbk("张") + "\x07", Gbk("张")},
  };
  // Every control character left in the markup is a raw tab or line feed,
  // and the only character reference is the carriage return's.
  const auto wellFormed = [](const std::string& markup) {
    for (size_t i = 0; i < markup.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(markup[i]);
      if (c < 0x20 && c != '\t' && c != '\n') return false;
      if (markup.compare(i, 2, "&#") == 0 && markup.compare(i, 5, "&#13;") != 0) return false;
    }
    return true;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.value));
    TTicketInfoRecordList_VRISK tickets;
    TTicketInfoRecord_VRISK ticket{c.value, "", "", ""};
    tickets.Add(&ticket);
    TMemberInfoRecord_VRISK r = Named(&tickets);
    r.MC_PostMemo = c.value;
    const std::string text = quorl::Utf16ToUtf8(dm_.SaveToXmlString(r));
    const std::string file = quorl::GbkToUtf8(quorl::test::ReadFile(PrintFile()));
    for (const std::string& markup : {text, file}) {
      EXPECT_TRUE(wellFormed(markup)) << testing::PrintToString(markup);
      pugi::xml_document doc;
      pugi::xml_node root = ParseRoot(doc, markup);
      EXPECT_EQ(std::string(root.child_value("MC_PostMemo")), quorl::GbkToUtf8(c.expected));
      EXPECT_EQ(std::string(root.child("Consume").child_value("CL_PriceLevel")),
                quorl::GbkToUtf8(c.expected));
    }
  }
}

TEST_F(ConsumeDocument, PrintFileIsGbkDeclaredGb2312WithTheSameContent) {
  TMemberInfoRecord_VRISK r = Named(&tickets_);
  r.MC_UserName = Gbk("张三");
  r.MC_PlaceName = Gbk("一号厅 & 二号厅");
  const std::u16string text = dm_.SaveToXmlString(r);
  EXPECT_NE(text.find(u"张三"), std::u16string::npos);

  const std::string file = quorl::test::ReadFile(PrintFile());
  EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"GB2312\"?>", 0), 0u) << file;
  EXPECT_NE(file.find("\xD5\xC5\xC8\xFD"), std::string::npos);  // 张三 in code page 936
  EXPECT_NE(file.find(Gbk("一号厅 &amp; 二号厅")), std::string::npos);
  // Apart from the declaration, the file is the returned text in GBK.
  std::string fromText = quorl::Utf16ToGbk(text);
  const size_t at = fromText.find("UTF-8");
  fromText.replace(at, 5, "GB2312");
  EXPECT_EQ(file, fromText);
}

TEST_F(ConsumeDocument, ReplacesThePrintFileAtomically) {
  TMemberInfoRecord_VRISK first = Named(&tickets_);
  first.MC_OrderCode = "ORDER-1";
  TMemberInfoRecord_VRISK second = Named(&tickets_);
  second.MC_OrderCode = "ORDER-2";
  dm_.SaveToXmlString(first);
  dm_.SaveToXmlString(second);
  const std::string file = quorl::test::ReadFile(PrintFile());
  EXPECT_EQ(file.find("ORDER-1"), std::string::npos);
  EXPECT_NE(file.find("ORDER-2"), std::string::npos);
  std::vector<std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(PrintFolder()))
    entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"Print.xml"});  // no temporary file left
  const auto perms = std::filesystem::status(PrintFile()).permissions();
  EXPECT_NE(perms & std::filesystem::perms::others_read, std::filesystem::perms::none);
}

TEST_F(ConsumeDocument, AMissingPrintFolderRaisesNamingThePath) {
  std::filesystem::remove(PrintFolder());
  try {
    dm_.SaveToXmlString(Named(&tickets_));
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(PrintFile()), std::string::npos) << e.Message();
  }
}

TEST_F(ConsumeDocument, ABuildFailureStillWritesWhatWasBuilt) {
  TMemberInfoRecord_VRISK noList = Named(nullptr);
  EXPECT_THROW(dm_.SaveToXmlString(noList), Exception);
  std::string file = quorl::test::ReadFile(PrintFile());
  EXPECT_NE(file.find("<MC_ProduceGroup>v:MC_ProduceGroup</MC_ProduceGroup>"), std::string::npos);
  EXPECT_NE(file.find("GB2312"), std::string::npos);

  TTicketInfoRecord_VRISK t{"L0", "", "", ""};
  tickets_.Add(&t);
  tickets_.Add(nullptr);
  EXPECT_THROW(dm_.SaveToXmlString(Named(&tickets_)), Exception);
  file = quorl::test::ReadFile(PrintFile());
  EXPECT_NE(file.find("<CL_PriceLevel>L0</CL_PriceLevel>"), std::string::npos) << file;
}

TEST_F(ConsumeDocument, GetNativeXmlFromListRenamesAnExistingDocumentElement) {
  pugi::xml_document doc;
  doc.append_child("root");
  dm_.GetNativeXmlFromList(Named(&tickets_), doc);
  EXPECT_STREQ(doc.document_element().name(), "MemberConsume");
  EXPECT_STREQ(doc.first_child().attribute("encoding").value(), "UTF-8");
  EXPECT_EQ(std::distance(doc.document_element().begin(), doc.document_element().end()), 23);
}
