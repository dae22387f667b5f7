#include "platform/ClientDataSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "platform/Exception.h"

namespace {

const std::string kHuiYuan = "\xBB\xE1\xD4\xB1";  // 会员 in GBK

std::unique_ptr<TClientDataSet> AllTypes() {
  auto ds = std::make_unique<TClientDataSet>();
  ds->FieldDefs.Add("Name", TFieldType::ftString, 5);
  ds->FieldDefs.Add("Count", TFieldType::ftInteger);
  ds->FieldDefs.Add("Amount", TFieldType::ftFloat);
  ds->FieldDefs.Add("When", TFieldType::ftDateTime);
  ds->FieldDefs.Add("Flag", TFieldType::ftBoolean);
  ds->CreateDataSet();
  return ds;
}

void AddRow(TClientDataSet& ds, const Variant& name, const Variant& count) {
  ds.Append();
  ds.FieldByName("Name")->SetValue(name);
  ds.FieldByName("Count")->SetValue(count);
  ds.Post();
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(ClientDataSet, CutsTextAtFieldSizeInBytes) {
  auto ds = AllTypes();
  ds->Append();
  // "ab" + 会员 is 6 bytes; the cut at 5 falls inside the second character.
  ds->FieldByName("Name")->SetAsString("ab" + kHuiYuan);
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "ab\xBB\xE1\xD4");
  ds->FieldByName("Name")->SetValue(Variant(u"abcdefgh"));
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "abcde");
  ds->FieldByName("Name")->SetValue(Variant(123456.5));
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "12345");
  ds->Post();
  EXPECT_EQ(ds->FieldByName("name")->AsString(), "12345");
}

TEST(ClientDataSet, FindsFieldsIgnoringAsciiCase) {
  auto ds = AllTypes();
  EXPECT_EQ(ds->FieldByName("AMOUNT"), ds->Fields(2));
  EXPECT_EQ(ds->FieldByName("amount")->FieldName(), "Amount");
  EXPECT_EQ(ds->FindField("nope"), nullptr);
  EXPECT_EQ(MessageOf([&] { ds->FieldByName("Nope"); }), "Field 'Nope' not found");
  EXPECT_THROW(ds->Fields(5), EListError);
}

TEST(ClientDataSet, StoresAndConvertsEveryFieldType) {
  auto ds = AllTypes();
  ds->Append();
  ds->FieldByName("Count")->SetValue(Variant("12"));
  ds->FieldByName("Amount")->SetAsString("3.25");
  ds->FieldByName("When")->SetValue(Variant("2023-03-15 12:00:00"));
  ds->FieldByName("Flag")->SetAsString("true");
  ds->Post();
  EXPECT_EQ(ds->FieldByName("Count")->AsInteger(), 12);
  EXPECT_EQ(ds->FieldByName("Count")->AsString(), "12");
  EXPECT_EQ(ds->FieldByName("Amount")->AsString(), "3.25");
  EXPECT_EQ(ds->FieldByName("Amount")->Value(), Variant(3.25));
  EXPECT_DOUBLE_EQ(ds->FieldByName("When")->AsDateTime(), 45000.5);
  EXPECT_EQ(ds->FieldByName("When")->AsString(), "2023-03-15 12:00:00");
  EXPECT_EQ(ds->FieldByName("When")->Value().Type(), VarType::DateTime);
  EXPECT_TRUE(ds->FieldByName("Flag")->AsBoolean());
  EXPECT_EQ(ds->FieldByName("Flag")->AsString(), "True");
  EXPECT_TRUE(ds->FieldByName("Name")->IsNull());
  EXPECT_TRUE(ds->FieldByName("Name")->Value().IsNull());
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "");

  ds->Edit();
  EXPECT_THROW(ds->FieldByName("Count")->SetValue(Variant("abc")), EVariantError);
  EXPECT_THROW(ds->FieldByName("Count")->SetAsString("3.5"), EConvertError);
  EXPECT_THROW(ds->FieldByName("Count")->SetValue(Variant(3e9)), EVariantError);
  EXPECT_THROW(ds->FieldByName("When")->SetAsString("2023-02-30"), EConvertError);
  ds->FieldByName("Count")->SetAsString("");  // empty text clears a typed field
  EXPECT_TRUE(ds->FieldByName("Count")->IsNull());
  ds->FieldByName("Amount")->SetValue(Variant::Null());
  EXPECT_TRUE(ds->FieldByName("Amount")->IsNull());
  ds->Post();
  EXPECT_TRUE(ds->FieldByName("Count")->IsNull());
}

TEST(ClientDataSet, ReadsNullsOnAnEmptyTableAndRefusesWritesOutsideEditing) {
  auto ds = AllTypes();
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_EQ(ds->RecNo(), 0);
  EXPECT_TRUE(ds->FieldByName("Name")->IsNull());
  EXPECT_EQ(ds->FieldByName("Count")->AsInteger(), 0);
  EXPECT_TRUE(ds->FieldByName("Flag")->Value().IsNull());
  EXPECT_EQ(MessageOf([&] { ds->FieldByName("Name")->SetAsString("x"); }),
            "Dataset not in edit or insert mode");
  EXPECT_EQ(MessageOf([&] { ds->Post(); }), "Dataset not in edit or insert mode");
  EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(ClientDataSet, NavigatesAndEditsLikeThePlatform) {
  auto ds = AllTypes();
  AddRow(*ds, "a", 1);
  ds->Append();
  ds->FieldByName("Name")->SetAsString("b");
  ds->Append();  // stores "b" first
  ds->FieldByName("Name")->SetAsString("c");
  ds->Post();
  ASSERT_EQ(ds->RecordCount(), 3);

  std::string seen;
  for (ds->First(); !ds->Eof(); ds->Next()) seen += ds->FieldByName("Name")->AsString();
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(ds->RecNo(), 3);

  ds->First();
  ds->Edit();
  ds->FieldByName("Name")->SetAsString("A");
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "a");
  ds->Edit();
  ds->FieldByName("Name")->SetAsString("A");
  ds->Next();  // stores the edit
  ds->First();
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "A");

  ds->Append();
  ds->Cancel();
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "A");

  ds->Next();
  ds->Delete();  // "b"
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "c");
  ds->Delete();  // the last row: the cursor ends at the end
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "A");
  ds->EmptyDataSet();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Eof());
}

TEST(ClientDataSet, RequiredFieldMustHaveAValue) {
  TClientDataSet ds;
  ds.FieldDefs.Add("Code", TFieldType::ftString, 4, true);
  ds.CreateDataSet();
  ds.Append();
  EXPECT_EQ(MessageOf([&] { ds.Post(); }), "Field 'Code' must have a value");
  ds.FieldByName("Code")->SetAsString("x");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(ClientDataSet, LocatesExactValues) {
  auto ds = AllTypes();
  AddRow(*ds, "Abc", 1);
  AddRow(*ds, "abc", 2);
  AddRow(*ds, Variant::Null(), 3);
  AddRow(*ds, kHuiYuan, 40);

  EXPECT_TRUE(ds->Locate("name", Variant("abc")));
  EXPECT_EQ(ds->FieldByName("Count")->AsInteger(), 2);
  EXPECT_FALSE(ds->Locate("Name", Variant("ABC")));
  EXPECT_FALSE(ds->Locate("Name", Variant("ab")));
  EXPECT_EQ(ds->FieldByName("Count")->AsInteger(), 2);  // stays put
  EXPECT_TRUE(ds->Locate("Name", Variant(u"\u4F1A\u5458")));
  EXPECT_EQ(ds->RecNo(), 4);
  EXPECT_TRUE(ds->Locate("Count", Variant("3")));
  EXPECT_TRUE(ds->FieldByName("Name")->IsNull());
  EXPECT_TRUE(ds->Locate("Count", Variant(40.0)));
  EXPECT_FALSE(ds->Locate("Count", Variant(39.6)));
  EXPECT_FALSE(ds->Locate("Count", Variant("x")));
  EXPECT_TRUE(ds->Locate("Name", Variant::Null()));
  EXPECT_EQ(ds->RecNo(), 3);
  EXPECT_THROW(ds->Locate("Missing", Variant(1)), EDatabaseError);
}

TEST(ClientDataSetPacket, RoundTripsAllTypesAndNulls) {
  auto ds = AllTypes();
  ds->Append();
  ds->FieldByName("Name")->SetAsString(kHuiYuan);
  ds->FieldByName("Count")->SetAsInteger(-2147483647 - 1);
  ds->FieldByName("Amount")->SetAsFloat(-0.1);
  ds->FieldByName("When")->SetAsDateTime(45000.75);
  ds->FieldByName("Flag")->SetAsBoolean(false);
  ds->Post();
  ds->Append();  // all null
  ds->Post();
  ds->Append();
  ds->FieldByName("Name")->SetAsString("");
  ds->FieldByName("Amount")->SetAsFloat(std::nan(""));
  ds->FieldByName("Flag")->SetAsBoolean(true);
  ds->Post();

  const Variant packet = ds->Data();
  ASSERT_EQ(packet.Type(), VarType::Packet);
  TClientDataSet copy;
  copy.SetData(packet);
  ASSERT_EQ(copy.FieldDefs.Count(), 5);
  EXPECT_EQ(copy.FieldDefs[0].Size, 5);
  EXPECT_EQ(copy.FieldDefs[3].DataType, TFieldType::ftDateTime);
  ASSERT_EQ(copy.RecordCount(), 3);
  EXPECT_EQ(copy.RecNo(), 1);
  EXPECT_EQ(copy.FieldByName("Name")->AsString(), kHuiYuan);
  EXPECT_EQ(copy.FieldByName("Count")->AsInteger(), -2147483647 - 1);
  EXPECT_EQ(copy.FieldByName("Amount")->AsFloat(), -0.1);
  EXPECT_EQ(copy.FieldByName("When")->AsDateTime(), 45000.75);
  EXPECT_FALSE(copy.FieldByName("Flag")->IsNull());
  EXPECT_FALSE(copy.FieldByName("Flag")->AsBoolean());
  copy.Next();
  for (int i = 0; i < copy.FieldCount(); ++i) EXPECT_TRUE(copy.Fields(i)->IsNull()) << i;
  copy.Next();
  EXPECT_FALSE(copy.FieldByName("Name")->IsNull());  // empty text is not null
  EXPECT_TRUE(std::isnan(copy.FieldByName("Amount")->AsFloat()));
  EXPECT_TRUE(copy.FieldByName("Flag")->AsBoolean());
  EXPECT_EQ(*copy.Data().AsPacket(), *packet.AsPacket());
}

TEST(ClientDataSetPacket, DataStoresARowStillBeingAppended) {
  auto ds = AllTypes();
  ds->Append();
  ds->FieldByName("Name")->SetAsString("x");
  TClientDataSet copy;
  copy.SetData(ds->Data());
  EXPECT_EQ(copy.RecordCount(), 1);
  EXPECT_EQ(copy.FieldByName("Name")->AsString(), "x");
  EXPECT_EQ(ds->RecordCount(), 1);
}

TEST(ClientDataSetPacket, EmptyTableIsAValidPacket) {
  auto ds = AllTypes();
  TClientDataSet copy;
  copy.SetData(ds->Data());
  EXPECT_EQ(copy.FieldCount(), 5);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_TRUE(copy.Eof());
  EXPECT_TRUE(copy.FieldByName("Name")->IsNull());
}

TEST(ClientDataSetPacket, RejectsMissingAndForeignData) {
  TClientDataSet ds;
  EXPECT_EQ(MessageOf([&] { ds.SetData(Variant::Null()); }), "Missing data provider or data packet");
  EXPECT_EQ(MessageOf([&] { ds.SetData(Variant()); }), "Missing data provider or data packet");
  EXPECT_THROW(ds.SetData(Variant("not a packet")), EDatabaseError);
  EXPECT_TRUE(ds.Data().IsNull());  // closed
}

TEST(ClientDataSetPacket, EveryTruncationIsReportedAsCorrupt) {
  auto ds = AllTypes();
  AddRow(*ds, kHuiYuan, 7);
  ds->Append();
  ds->FieldByName("Amount")->SetAsFloat(1.5);
  ds->FieldByName("When")->SetAsDateTime(2.0);
  ds->FieldByName("Flag")->SetAsBoolean(true);
  ds->Post();
  const std::string bytes = *ds->Data().AsPacket();

  TClientDataSet target;
  for (size_t n = 0; n < bytes.size(); ++n) {
    const auto cut = std::make_shared<const std::string>(bytes.substr(0, n));
    const std::string msg = MessageOf([&] { target.SetData(Variant::FromPacket(cut)); });
    EXPECT_EQ(msg.rfind("Corrupt dataset packet: ", 0), 0u) << "cut at " << n << ": " << msg;
  }
  EXPECT_FALSE(target.Active());  // a failed load leaves the dataset as it was
}

TEST(ClientDataSetPacket, RejectsDamagedBytes) {
  auto ds = AllTypes();
  AddRow(*ds, "ab", 1);
  const std::string good = *ds->Data().AsPacket();
  // Layout: version(1) magic(4) count(4), first field: type(1) flags(1) size(4) nameLen(4) "Name".
  struct Case {
    const char* name;
    size_t offset;
    std::string bytes;
  };
  const Case cases[] = {
      {"version", 0, "\x02"},
      {"magic", 1, "X"},
      {"field count huge", 5, std::string("\xFF\xFF\xFF\x7F", 4)},
      {"field count zero", 5, std::string("\0\0\0\0", 4)},
      {"field type", 9, "\x09"},
      {"field flags", 10, "\x80"},
      {"text size zero", 11, std::string("\0\0\0\0", 4)},
      {"text size below the stored text", 11, std::string("\x01\0\0\0", 4)},
      {"name length huge", 15, std::string("\xFF\xFF\xFF\xFF", 4)},
  };
  TClientDataSet target;
  for (const auto& c : cases) {
    std::string bad = good;
    bad.replace(c.offset, c.bytes.size(), c.bytes);
    const std::string msg =
        MessageOf([&] { target.SetData(Variant::FromPacket(std::make_shared<const std::string>(bad))); });
    EXPECT_EQ(msg.rfind("Corrupt dataset packet: ", 0), 0u) << c.name << ": " << msg;
  }
  const std::string msg = MessageOf(
      [&] { target.SetData(Variant::FromPacket(std::make_shared<const std::string>(good + "x"))); });
  EXPECT_EQ(msg, "Corrupt dataset packet: trailing bytes after the last row");
}

TEST(ClientDataSetPacket, ReloadingTheSameShapeKeepsFieldObjects) {
  auto ds = AllTypes();
  AddRow(*ds, "a", 1);
  TField* name = ds->FieldByName("Name");
  ds->SetData(ds->Data());
  EXPECT_EQ(ds->FieldByName("Name"), name);
  EXPECT_EQ(name->AsString(), "a");
}

TEST(ClientDataSetPacket, LargeTableRoundTrips) {
  TClientDataSet ds;
  for (int f = 0; f < 24; ++f) {
    ds.FieldDefs.Add("F" + std::to_string(f), f % 2 ? TFieldType::ftFloat : TFieldType::ftString, 16);
  }
  ds.CreateDataSet();
  std::vector<TField*> fields;
  for (int f = 0; f < 24; ++f) fields.push_back(ds.Fields(f));
  for (int r = 0; r < 10000; ++r) {
    ds.Append();
    for (int f = 0; f < 24; ++f) {
      if (f % 2)
        fields[f]->SetAsFloat(r + f / 100.0);
      else
        fields[f]->SetAsString("row" + std::to_string(r));
    }
    ds.Post();
  }
  TClientDataSet copy;
  copy.SetData(ds.Data());
  ASSERT_EQ(copy.RecordCount(), 10000);
  copy.Last();
  EXPECT_EQ(copy.FieldByName("f0")->AsString(), "row9999");
  EXPECT_DOUBLE_EQ(copy.FieldByName("F23")->AsFloat(), 9999.23);
}

TEST(ClientDataSet, RefusesTextFieldsWithoutSize) {
  TClientDataSet ds;
  ds.FieldDefs.Add("Code", TFieldType::ftString, 0);
  EXPECT_THROW(ds.CreateDataSet(), EDatabaseError);
  TClientDataSet none;
  EXPECT_THROW(none.CreateDataSet(), EDatabaseError);
}

}  // namespace
