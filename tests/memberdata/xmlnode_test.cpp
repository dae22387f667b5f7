#include "platform/XmlNode.h"

#include <gtest/gtest.h>

#include <string>

#include "MemberDataTestEnv.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

using quorl::IntfPtr;

TEST(XmlNode, ReadsAttributesChildrenAndText) {
  IntfPtr<IXMLDocument> doc =
      quorl::LoadXmlData(u"<r a=\"1\" b=\"&lt;x&gt;\"><c>t1<![CDATA[<t2>]]></c><d/>tail<c>second</c></r>");
  IntfPtr<IXMLNode> r = doc->DocumentElement();
  EXPECT_EQ(r->NodeName(), u"r");
  EXPECT_TRUE(r->HasAttribute(u"a"));
  EXPECT_FALSE(r->HasAttribute(u"A"));
  EXPECT_EQ(r->GetAttribute(u"b"), u"<x>");
  EXPECT_EQ(r->GetAttribute(u"missing"), u"");
  EXPECT_EQ(r->ChildElementCount(), 3);
  EXPECT_EQ(r->ChildElement(1)->NodeName(), u"d");
  EXPECT_THROW(r->ChildElement(3), EListError);
  EXPECT_THROW(r->ChildElement(-1), EListError);
  EXPECT_EQ(r->FindNode(u"c")->Text(), u"t1<t2>");  // the first of that name
  EXPECT_FALSE(r->FindNode(u"none"));
  EXPECT_EQ(r->Text(), u"tail");
}

TEST(XmlNode, PendingNodesJoinTheDocumentOnFirstWriteOnly) {
  IntfPtr<IXMLDocument> doc = quorl::LoadXmlData(u"<r/>");
  IntfPtr<IXMLNode> r = doc->DocumentElement();
  IntfPtr<IXMLNode> leaf = r->ChildNodes(u"a")->ChildNodes(u"b")->ChildNodes(u"c");
  EXPECT_EQ(leaf->Text(), u"");
  EXPECT_EQ(leaf->GetAttribute(u"x"), u"");
  EXPECT_FALSE(leaf->IsInDocument());
  EXPECT_EQ(doc->XML(), u"<r/>");
  leaf->SetAttribute(u"x", u"1");
  EXPECT_TRUE(leaf->IsInDocument());
  // A second pending view of the same name finds the element now there.
  r->ChildNodes(u"a")->ChildNodes(u"b")->SetAttribute(u"y", u"2");
  EXPECT_EQ(doc->XML(), u"<r><a><b y=\"2\"><c x=\"1\"/></b></a></r>");
  r->AddChild(u"a");
  EXPECT_EQ(r->ChildElementCount(), 2);
}

TEST(XmlNode, RejectsUnsafeChanges) {
  IntfPtr<IXMLDocument> doc = quorl::LoadXmlData(u"<r><c/></r>");
  IntfPtr<IXMLNode> r = doc->DocumentElement();
  IntfPtr<IXMLNode> c = r->FindNode(u"c");
  // Text over child elements would drop them (and strand their views).
  EXPECT_THROW(r->SetText(u"x"), EXMLDocError);
  for (const char16_t* bad : {u"", u"1a", u"a b", u"a<b", u"a=b", u"-x"}) {
    EXPECT_THROW(r->SetAttribute(bad, u"v"), EXMLDocError);
    EXPECT_THROW(r->AddChild(bad), EXMLDocError);
  }
  // Views of replaced content fail cleanly instead of reading freed memory.
  doc->LoadFromXML(u"<other/>");
  EXPECT_THROW(c->NodeName(), EXMLDocError);
  EXPECT_THROW(r->SetAttribute(u"a", u"1"), EXMLDocError);
  EXPECT_EQ(doc->DocumentElement()->NodeName(), u"other");
  // A failed load keeps the content.
  EXPECT_THROW(doc->LoadFromXML(u"<broken"), EXMLDocError);
  EXPECT_EQ(doc->XML(), u"<other/>");
}

TEST(XmlNode, HostileTextFailsOrReadsBounded) {
  const std::u16string failing[] = {
      u"", u"<", u"<a></b>", u"<a/><b/>", u"<a x='1' x=>", u"<a>&#xFFFFFFFFFF;</a"};
  for (const std::u16string& text : failing) {
    try {
      quorl::LoadXmlData(text);
      ADD_FAILURE() << quorl::Utf16ToUtf8(text);
    } catch (const EXMLDocError& e) {
      EXPECT_FALSE(e.Message().empty());
    }
  }
  std::u16string laughs =
      u"<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
      u"<r v=\"&b;\">&b;&b;</r>";
  IntfPtr<IXMLNode> r = quorl::LoadXmlData(laughs)->DocumentElement();
  EXPECT_EQ(r->GetAttribute(u"v"), u"&b;");
  EXPECT_EQ(r->Text(), u"&b;&b;");
  std::u16string deep;
  for (int i = 0; i < 200000; ++i) deep += u"<a>";
  for (int i = 0; i < 200000; ++i) deep += u"</a>";
  EXPECT_EQ(quorl::LoadXmlData(deep)->DocumentElement()->ChildElementCount(), 1);
}

TEST(XmlNode, DeclarationAndFilesInUtf8OrGbk) {
  quorl::test::TempFolder folder;
  IntfPtr<IXMLDocument> doc = quorl::NewXmlDocument();
  EXPECT_EQ(doc->Version(), u"");
  doc->SetEncoding(u"GB2312");
  doc->GetDocBinding(u"r", &quorl::NodeClassOf<TXMLNode>)->SetText(u"中文");
  EXPECT_EQ(doc->Version(), u"1.0");
  const std::string gbkPath = folder.File("gbk.xml");
  doc->SaveToFile(quorl::Utf8ToUtf16(gbkPath));
  EXPECT_EQ(quorl::test::ReadFile(gbkPath),
            "<?xml version=\"1.0\" encoding=\"GB2312\"?><r>\xD6\xD0\xCE\xC4</r>");
  EXPECT_EQ(quorl::LoadXmlDocument(quorl::Utf8ToUtf16(gbkPath))->DocumentElement()->Text(), u"中文");

  doc->SetEncoding(u"UTF-8");
  const std::string utf8Path = folder.File("utf8.xml");
  doc->SaveToFile(quorl::Utf8ToUtf16(utf8Path));
  EXPECT_EQ(quorl::test::ReadFile(utf8Path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>中文</r>");
  EXPECT_EQ(quorl::LoadXmlDocument(quorl::Utf8ToUtf16(utf8Path))->DocumentElement()->Text(), u"中文");

  EXPECT_THROW(doc->GetDocBinding(u"other", &quorl::NodeClassOf<TXMLNode>), EXMLDocError);
  EXPECT_THROW(quorl::LoadXmlDocument(quorl::Utf8ToUtf16(folder.File("none.xml"))), EFOpenError);
  EXPECT_THROW(doc->SaveToFile(quorl::Utf8ToUtf16(folder.File("no/such/dir.xml"))), EFOpenError);
}
