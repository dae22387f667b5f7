#include "host/DBPipe.h"

#include <gtest/gtest.h>

#include "HostTestSupport.h"
#include "fakes/FakeDatabase.h"
#include "platform/ClientDataSet.h"

using quorl::DbValue;
using quorl::QueryResult;
using quorl::test::FakeDatabase;
using quorl::test::Gbk;
using quorl::test::TempFolder;

namespace {

const std::string kFakeContext = quorl::MakeContextString("N001", "G01", "fake.db");

void Load(TClientDataSet& ds, const Variant& packet) { ds.SetData(packet); }

QueryResult OneColumn(const std::string& name, const std::string& type, std::vector<DbValue> cells) {
  QueryResult r;
  r.columns.push_back({name, type});
  for (DbValue& v : cells) r.rows.push_back({std::move(v)});
  return r;
}

}  // namespace

TEST(ResultToPacket, FieldTypesFollowDeclaredTypesAndValues) {
  struct Case {
    const char* label;
    std::string declared;
    std::vector<DbValue> cells;
    TFieldType type;
    int size;  // text fields only
  };
  const int64_t wide = 9007199254740993LL;  // 2^53 + 1: a double would round it
  const Case cases[] = {
      {"INTEGER", "INTEGER", {int64_t{7}, int64_t{-2147483648LL}}, TFieldType::ftInteger, 0},
      {"BIGINT by affinity", "BIGINT", {int64_t{1}}, TFieldType::ftInteger, 0},
      {"REAL", "REAL", {1.5, int64_t{2}}, TFieldType::ftFloat, 0},
      {"NUMERIC", "numeric(12,2)", {int64_t{3}}, TFieldType::ftFloat, 0},
      {"DOUBLE", "DOUBLE PRECISION", {0.25}, TFieldType::ftFloat, 0},
      {"DECIMAL", "DECIMAL", {}, TFieldType::ftFloat, 0},
      {"VARCHAR(n)", "VARCHAR(20)", {std::string("abc")}, TFieldType::ftString, 20},
      {"CHAR(n)", "CHAR(1)", {std::string("Y")}, TFieldType::ftString, 1},
      {"VARCHAR grows to its longest value", "VARCHAR(2)", {std::string("abcdef")}, TFieldType::ftString, 6},
      {"TEXT sized by longest GBK value",
       "TEXT",
       {std::string("张伟"), std::string("abc")},
       TFieldType::ftString,
       4},
      {"expression without rows", "", {}, TFieldType::ftString, 255},
      {"VARCHAR without rows", "VARCHAR(12)", {}, TFieldType::ftString, 12},
      {"only nulls", "TEXT", {std::monostate{}}, TFieldType::ftString, 1},
      {"integer beyond 32 bits becomes text", "INTEGER", {int64_t{1}, wide}, TFieldType::ftString, 16},
      {"text stored in an integer column", "INTEGER", {std::string("x12")}, TFieldType::ftString, 3},
      {"real stored in an integer column", "INTEGER", {int64_t{1}, 2.5}, TFieldType::ftFloat, 0},
      {"text stored in a real column", "REAL", {std::string("n/a")}, TFieldType::ftString, 3},
      {"absurd declared size", "VARCHAR(99999999999)", {std::string("ab")}, TFieldType::ftString, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TClientDataSet ds;
    Load(ds, quorl::ResultToPacket(OneColumn("COL", c.declared, c.cells)));
    ASSERT_EQ(ds.FieldCount(), 1);
    EXPECT_EQ(ds.Fields(0)->DataType(), c.type);
    if (c.type == TFieldType::ftString) {
      EXPECT_EQ(ds.Fields(0)->Size(), c.size);
    }
    EXPECT_EQ(ds.RecordCount(), static_cast<int>(c.cells.size()));
  }
}

TEST(ResultToPacket, KeepsValuesNullsAndEveryDigit) {
  QueryResult r;
  r.columns = {{"ID", "INTEGER"}, {"NAME", "TEXT"}, {"AMOUNT", "REAL"}, {"BIG", "INTEGER"}};
  r.rows.push_back({int64_t{1}, std::string("张伟"), 12.5, int64_t{9007199254740993LL}});
  r.rows.push_back({std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}});
  TClientDataSet ds;
  Load(ds, quorl::ResultToPacket(r));
  ds.First();
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), Gbk("张伟"));
  EXPECT_DOUBLE_EQ(ds.FieldByName("AMOUNT")->AsFloat(), 12.5);
  EXPECT_EQ(ds.FieldByName("BIG")->AsString(), "9007199254740993");
  ds.Next();
  for (int i = 0; i < ds.FieldCount(); ++i) EXPECT_TRUE(ds.Fields(i)->IsNull()) << i;
}

TEST(ResultToPacket, GivesDuplicateAndEmptyColumnNamesUniqueNames) {
  QueryResult r;
  r.columns = {{"NAME", "TEXT"}, {"name", "TEXT"}, {"", "TEXT"}, {"NAME_1", "TEXT"}};
  r.rows.push_back({std::string("a"), std::string("b"), std::string("c"), std::string("d")});
  TClientDataSet ds;
  Load(ds, quorl::ResultToPacket(r));
  ASSERT_EQ(ds.FieldCount(), 4);
  EXPECT_EQ(ds.Fields(0)->FieldName(), "NAME");
  EXPECT_EQ(ds.Fields(1)->FieldName(), "name_1");
  EXPECT_EQ(ds.Fields(2)->FieldName(), "COLUMN3");
  EXPECT_EQ(ds.Fields(3)->FieldName(), "NAME_1_1");
  EXPECT_EQ(ds.FieldByName("name_1")->AsString(), "b");
}

TEST(DBPipe, SendsUtf8SqlAndKeepsOneConnectionPerLocation) {
  FakeDatabase fake;
  fake.Install();
  fake.nextResult = OneColumn("X", "INTEGER", {int64_t{1}});
  TCADBPipe pipe;
  pipe.GetData(kFakeContext, Gbk("select 1 where '张' = '张'"));
  pipe.GetData(kFakeContext, "select 2");
  ASSERT_EQ(fake.calls.size(), 2u);
  EXPECT_EQ(fake.calls[0].sql, "select 1 where '张' = '张'");
  EXPECT_EQ(fake.openedLocations.size(), 1u);

  pipe.GetData(quorl::MakeContextString("N001", "G01", "other.db"), "select 3");
  EXPECT_EQ(fake.openedLocations, (std::vector<std::string>{"fake.db", "other.db"}));
  EXPECT_EQ(fake.liveConnections, 1);
}

TEST(DBPipe, FailedQueryRaisesAndNextCallReopens) {
  FakeDatabase fake;
  fake.Install();
  TCADBPipe pipe;
  fake.failNextQuery = true;
  fake.failMessage = "disk I/O error";
  try {
    pipe.GetData(kFakeContext, "select 1");
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "disk I/O error");
  }
  fake.nextResult = OneColumn("X", "INTEGER", {int64_t{1}});
  TClientDataSet ds;
  Load(ds, pipe.GetData(kFakeContext, "select 1"));
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(fake.openedLocations.size(), 2u);

  fake.failNextOpen = true;
  EXPECT_THROW(pipe.GetData(quorl::MakeContextString("", "", "gone.db"), "select 1"), EDatabaseError);
}

TEST(DBPipe, ContextWithoutDatabaseRaises) {
  FakeDatabase fake;
  fake.Install();
  TCADBPipe pipe;
  for (const std::string& context : {std::string(), std::string("NODE=N001;GROUP=G01"), std::string("DB=")}) {
    try {
      pipe.GetData(context, "select 1");
      FAIL() << "no exception for " << context;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "No host database configured");
    }
  }
  EXPECT_TRUE(fake.openedLocations.empty());
}

class DBPipeSqlite : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("pipe.db");
    quorl::ExecuteSqlScript(path_,
                            "CREATE TABLE T (ID INTEGER, NAME VARCHAR(10), PRICE REAL, NOTE TEXT);"
                            "INSERT INTO T VALUES (1, '张伟', 35.5, '会员卡');"
                            "INSERT INTO T VALUES (2, 'Li', NULL, NULL);");
    context_ = quorl::MakeContextString("N001", "G01", path_);
  }
  TempFolder dir_;
  std::string path_;
  std::string context_;
  TCADBPipe pipe_;
};

TEST_F(DBPipeSqlite, ReturnsColumnsAndRowsInGbk) {
  TClientDataSet ds;
  Load(ds, pipe_.GetData(context_, "select ID, NAME, PRICE, NOTE from T order by ID"));
  ASSERT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.FieldByName("ID")->DataType(), TFieldType::ftInteger);
  EXPECT_EQ(ds.FieldByName("NAME")->Size(), 10);
  EXPECT_EQ(ds.FieldByName("NOTE")->Size(), 6);  // three GBK characters
  ds.First();
  EXPECT_EQ(ds.FieldByName("NAME")->AsString(), Gbk("张伟"));
  EXPECT_EQ(ds.FieldByName("NOTE")->AsString(), Gbk("会员卡"));
  EXPECT_DOUBLE_EQ(ds.FieldByName("PRICE")->AsFloat(), 35.5);
  ds.Next();
  EXPECT_TRUE(ds.FieldByName("PRICE")->IsNull());
}

TEST_F(DBPipeSqlite, GbkCriteriaMatchUtf8Text) {
  TClientDataSet ds;
  Load(ds, pipe_.GetData(context_, Gbk("select ID from T where NAME = '张伟'")));
  ASSERT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DBPipeSqlite, EmptyResultKeepsColumns) {
  TClientDataSet ds;
  Load(ds, pipe_.GetData(context_, "select ID, NAME, NOTE from T where ID = 99"));
  EXPECT_TRUE(ds.IsEmpty());
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_NE(ds.FindField("NAME"), nullptr);
  EXPECT_EQ(ds.FieldByName("NOTE")->Size(), 255);
}

TEST_F(DBPipeSqlite, SqlErrorsCarryTheDatabaseMessage) {
  const std::pair<std::string, std::string> cases[] = {
      {"select * from NOPE", "no such table: NOPE"},
      {"selec 1", "syntax error"},
      {"select 1; delete from T", "more than one statement"},
      {"", "no statement"},
      {"update T set NAME = 'x'", "Not a query"},
  };
  for (const auto& [sql, expected] : cases) {
    SCOPED_TRACE(sql);
    try {
      pipe_.GetData(context_, sql);
      FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(expected), std::string::npos) << e.Message();
    }
  }
  // Nothing of the refused statements ran.
  TClientDataSet ds;
  Load(ds, pipe_.GetData(context_, "select count(*) AS N, sum(NAME = 'x') AS X from T"));
  EXPECT_EQ(ds.FieldByName("N")->AsInteger(), 2);
  EXPECT_EQ(ds.FieldByName("X")->AsInteger(), 0);
}

TEST_F(DBPipeSqlite, UnopenableDatabaseRaises) {
  const std::string context = quorl::MakeContextString("", "", dir_.File("missing/dir/host.db"));
  EXPECT_THROW(pipe_.GetData(context, "select 1"), EDatabaseError);
}
