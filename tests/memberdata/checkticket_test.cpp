#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MemberDataTestEnv.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

using quorl::IntfPtr;

namespace {

struct DataitemProperty {
  const char16_t* attribute;
  std::u16string (IXMLDataitemType::*get)();
  void (IXMLDataitemType::*set)(const std::u16string&);
};

const DataitemProperty kDataitem[] = {
    {u"memberID", &IXMLDataitemType::Get_MemberID, &IXMLDataitemType::Set_MemberID},
    {u"memberNum", &IXMLDataitemType::Get_MemberNum, &IXMLDataitemType::Set_MemberNum},
    {u"memberValid", &IXMLDataitemType::Get_MemberValid, &IXMLDataitemType::Set_MemberValid},
    {u"memberName", &IXMLDataitemType::Get_MemberName, &IXMLDataitemType::Set_MemberName},
    {u"memberType", &IXMLDataitemType::Get_MemberType, &IXMLDataitemType::Set_MemberType},
    {u"certificateType", &IXMLDataitemType::Get_CertificateType, &IXMLDataitemType::Set_CertificateType},
    {u"certificateNum", &IXMLDataitemType::Get_CertificateNum, &IXMLDataitemType::Set_CertificateNum},
    {u"phoneNum", &IXMLDataitemType::Get_PhoneNum, &IXMLDataitemType::Set_PhoneNum},
    {u"mobileNum", &IXMLDataitemType::Get_MobileNum, &IXMLDataitemType::Set_MobileNum},
    {u"sAddress", &IXMLDataitemType::Get_SAddress, &IXMLDataitemType::Set_SAddress},
    {u"sEmail", &IXMLDataitemType::Get_SEmail, &IXMLDataitemType::Set_SEmail},
    {u"memberBalance", &IXMLDataitemType::Get_memberBalance, &IXMLDataitemType::Set_memberBalance},
    {u"surplusCount", &IXMLDataitemType::Get_SurplusCount, &IXMLDataitemType::Set_SurplusCount},
    {u"iEntryNumber", &IXMLDataitemType::Get_iEntryNumber, &IXMLDataitemType::Set_iEntryNumber},
    {u"sImageType", &IXMLDataitemType::Get_SImageType, &IXMLDataitemType::Set_SImageType},
    {u"Base64Image", &IXMLDataitemType::Get_Base64Image, &IXMLDataitemType::Set_Base64Image},
};

struct BookProperty {
  const char16_t* element;
  std::u16string (IXMLBookType::*get)();
  void (IXMLBookType::*set)(const std::u16string&);
};

const BookProperty kBook[] = {
    {u"activity_name", &IXMLBookType::Get_Activity_name, &IXMLBookType::Set_Activity_name},
    {u"date_start", &IXMLBookType::Get_Date_start, &IXMLBookType::Set_Date_start},
    {u"status", &IXMLBookType::Get_Status, &IXMLBookType::Set_Status},
    {u"date_check", &IXMLBookType::Get_Date_check, &IXMLBookType::Set_Date_check},
};

std::u16string U(const std::string& utf8) { return quorl::Utf8ToUtf16(utf8); }

}  // namespace

TEST(CheckTicketBinding, InterfacesCarryTheirIdentifiers) {
  EXPECT_EQ(IXMLDataType::IID.ToString(), "{6B00E90C-ED36-4ECE-AA07-D05DDF3A9CEF}");
  EXPECT_EQ(IXMLDataitemType::IID.ToString(), "{03CC92B8-B8D5-4B31-A390-C6E485388D20}");
  EXPECT_EQ(IXMLBookType::IID.ToString(), "{96B96089-9B73-41F3-B219-24D8AB732599}");
  IntfPtr<IXMLDataType> data = Newdata();
  EXPECT_TRUE(quorl::Supports<IXMLNode>(data.get()));
  EXPECT_TRUE(quorl::Supports<IXMLDataType>(data.get()));
  EXPECT_FALSE(quorl::Supports<IXMLBookType>(data.get()));
  EXPECT_TRUE(quorl::Supports<IXMLDataitemType>(data->Get_Dataitem().get()));
  EXPECT_TRUE(quorl::Supports<IXMLBookType>(data->Get_Book().get()));
}

TEST(CheckTicketBinding, ReadsEveryDataitemAttributeAndBookElement) {
  std::u16string xml = u"<data><dataitem";
  for (const auto& p : kDataitem) xml += u" " + std::u16string(p.attribute) + u"=\"v-" + p.attribute + u"\"";
  xml += u"/><book>";
  for (const auto& p : kBook)
    xml += u"<" + std::u16string(p.element) + u">t-" + p.element + u"</" + p.element + u">";
  xml += u"</book></data>";
  IntfPtr<IXMLDataType> data = LoadDataFromXML(xml);
  IntfPtr<IXMLDataitemType> item = data->Get_Dataitem();
  for (const auto& p : kDataitem) EXPECT_EQ(((*item).*(p.get))(), u"v-" + std::u16string(p.attribute));
  IntfPtr<IXMLBookType> book = data->Get_Book();
  for (const auto& p : kBook) EXPECT_EQ(((*book).*(p.get))(), u"t-" + std::u16string(p.element));
}

TEST(CheckTicketBinding, AbsentValuesReadEmptyAndReadingAddsNothing) {
  const std::u16string xml =
      u"<data><dataitem memberNum=\"8001\" surplusCount=\"3\" MemberID=\"wrong case\"/></data>";
  IntfPtr<IXMLDataType> data = LoadDataFromXML(xml);
  IntfPtr<IXMLDataitemType> item = data->Get_Dataitem();
  for (const auto& p : kDataitem) {
    const std::u16string attr = p.attribute;
    const std::u16string expected = attr == u"memberNum" ? u"8001" : attr == u"surplusCount" ? u"3" : u"";
    EXPECT_EQ(((*item).*(p.get))(), expected) << quorl::Utf16ToUtf8(attr);
  }
  IntfPtr<IXMLBookType> book = data->Get_Book();
  for (const auto& p : kBook) EXPECT_EQ(((*book).*(p.get))(), u"");
  EXPECT_FALSE(book->IsInDocument());
  EXPECT_EQ(data->OwnerDocument()->XML(), xml);
}

TEST(CheckTicketBinding, WritingCreatesWhatIsMissing) {
  IntfPtr<IXMLDataType> data = Newdata();
  EXPECT_EQ(data->OwnerDocument()->Version(), u"1.0");
  data->Get_Dataitem()->Set_MemberNum(u"M1");
  data->Get_Book()->Set_Status(u"ok");
  EXPECT_EQ(data->OwnerDocument()->XML(),
            u"<?xml version=\"1.0\"?><data><dataitem "
            u"memberNum=\"M1\"/><book><status>ok</status></book></data>");

  // Writes replace existing values; texts are escaped and read back unchanged.
  IntfPtr<IXMLDataitemType> item = data->Get_Dataitem();
  for (const auto& p : kDataitem) ((*item).*(p.set))(u"<&\"" + std::u16string(p.attribute));
  item->Set_MemberNum(U("号 2"));
  IntfPtr<IXMLBookType> book = data->Get_Book();
  for (const auto& p : kBook) ((*book).*(p.set))(u"a&b<" + std::u16string(p.element));
  book->Set_Status(u"again");
  IntfPtr<IXMLDataType> reread = LoadDataFromXML(data->OwnerDocument()->XML());
  for (const auto& p : kDataitem) {
    const std::u16string expected =
        std::u16string(p.attribute) == u"memberNum" ? U("号 2") : u"<&\"" + std::u16string(p.attribute);
    EXPECT_EQ(((*reread->Get_Dataitem()).*(p.get))(), expected);
  }
  for (const auto& p : kBook) {
    const std::u16string expected =
        std::u16string(p.element) == u"status" ? u"again" : u"a&b<" + std::u16string(p.element);
    EXPECT_EQ(((*reread->Get_Book()).*(p.get))(), expected);
  }
  EXPECT_EQ(reread->ChildElementCount(), 2);
}

TEST(CheckTicketBinding, EntryPointsRejectWrongDocuments) {
  EXPECT_THROW(LoadDataFromXML(u"<Data/>"), EXMLDocError);
  EXPECT_THROW(LoadDataFromXML(u"<data><dataitem></data>"), EXMLDocError);
  EXPECT_THROW(LoadDataFromXML(u""), EXMLDocError);
  EXPECT_THROW(Getdata(IntfPtr<IXMLDocument>()), EXMLDocError);
  quorl::test::TempFolder folder;
  try {
    Loaddata(U(folder.File("missing.xml")));
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("missing.xml"), std::string::npos);
  }
  // Getdata of an empty document gives it the element "data".
  IntfPtr<IXMLDocument> doc = quorl::NewXmlDocument();
  EXPECT_EQ(Getdata(doc)->NodeName(), u"data");
  EXPECT_EQ(doc->DocumentElement()->NodeName(), u"data");
}

TEST(CheckTicketBinding, LoaddataReadsTheSampleAnswerAndGbkFiles) {
  IntfPtr<IXMLDataType> data =
      Loaddata(U(quorl::test::SourceDir() + "/tests/data/memberdata_checkticket.xml"));
  EXPECT_EQ(data->Get_Dataitem()->Get_MemberName(), U("王五"));
  EXPECT_EQ(data->Get_Dataitem()->Get_SurplusCount(), u"4");
  EXPECT_EQ(data->Get_Book()->Get_Activity_name(), U("周末观影会"));

  quorl::test::TempFolder folder;
  const std::string path = folder.File("gbk.xml");
  quorl::test::WriteFile(path, "<?xml version=\"1.0\" encoding=\"GB2312\"?><data><dataitem memberName=\"" +
                                   quorl::test::Gbk("赵六") + "\"/></data>");
  EXPECT_EQ(Loaddata(U(path))->Get_Dataitem()->Get_MemberName(), U("赵六"));
}

TEST(CheckTicketBinding, ViewsKeepTheirDocumentAlive) {
  IntfPtr<IXMLDataitemType> item;
  IntfPtr<IXMLBookType> pendingBook;
  {
    IntfPtr<IXMLDataType> data = LoadDataFromXML(u"<data><dataitem memberNum=\"K\"/></data>");
    item = data->Get_Dataitem();
    pendingBook = data->Get_Book();
  }
  EXPECT_EQ(item->Get_MemberNum(), u"K");
  pendingBook->Set_Date_check(u"2024-01-01");
  EXPECT_EQ(item->OwnerDocument()->XML(),
            u"<data><dataitem memberNum=\"K\"/><book><date_check>2024-01-01</date_check></book></data>");
}
