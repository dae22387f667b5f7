#include <gtest/gtest.h>

#include "host/QuorlContext.h"
#include "platform/CodePage.h"

using quorl::MakeContextString;
using quorl::ParseContextString;

namespace {

struct SessionGuard {
  std::string saved = quorl::HostSession();
  ~SessionGuard() { quorl::SetHostSession(saved); }
};

}  // namespace

TEST(ContextString, RoundTripsHostileValues) {
  const std::string chinese = quorl::Utf8ToGbk("星光影城;分=店%");
  const std::string values[] = {
      "",
      "N001",
      ";",
      "=",
      "%",
      "%3B",
      "%%;;==",
      "a=b;c=d",
      "DB=/x;NODE=y",
      " lead and trail ",
      "/tmp/a;b=c%d/host.db",
      chinese,
      std::string("\x01\x7f\xff", 3),
  };
  for (const std::string& v : values) {
    SCOPED_TRACE(v);
    const auto parsed = ParseContextString(MakeContextString(v, v + "g", "db" + v));
    EXPECT_EQ(parsed.node, v);
    EXPECT_EQ(parsed.group, v + "g");
    EXPECT_EQ(parsed.databaseLocation, "db" + v);
  }
}

TEST(ContextString, ParsingIsTolerant) {
  struct Case {
    std::string text, node, group, db;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {";;;", "", "", ""},
      {"garbage", "", "", ""},
      {"NODE=N1;COLOR=red;GROUP=G1", "N1", "G1", ""},
      {"node=N1; group =G1;db=/a.db", "N1", "G1", "/a.db"},  // key case and blanks
      {"NODE=N1;NODE=N2", "N2", "", ""},                     // last one wins
      {"=x;NODE", "", "", ""},
      {"NODE=a=b", "a=b", "", ""},        // only the first '=' splits
      {"NODE=%zz%4%", "%zz%4%", "", ""},  // bad escapes stay
      {"DB=%2Ftmp%2fx.db", "", "", "/tmp/x.db"},
      {"NODE=N1;", "N1", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto v = ParseContextString(c.text);
    EXPECT_EQ(v.node, c.node);
    EXPECT_EQ(v.group, c.group);
    EXPECT_EQ(v.databaseLocation, c.db);
  }
}

TEST(QuorlContext, LoadsTheHostSessionWhenCreated) {
  SessionGuard guard;
  quorl::SetHostSession(MakeContextString("N002", "G02", "/data/host.db"));
  TQuorlContext* ctx = new TQuorlContext(nullptr);
  EXPECT_EQ(ctx->NodeCode(), "N002");
  EXPECT_EQ(ctx->GroupCode(), "G02");
  EXPECT_EQ(ctx->DatabaseLocation(), "/data/host.db");
  EXPECT_EQ(ParseContextString(ctx->GetAsString()).databaseLocation, "/data/host.db");

  // Later session changes do not reach an existing object.
  quorl::SetHostSession(MakeContextString("N009", "", ""));
  EXPECT_EQ(ctx->NodeCode(), "N002");
  delete ctx;
}

TEST(QuorlContext, SetAsStringReplacesEveryValue) {
  SessionGuard guard;
  quorl::SetHostSession("");
  TQuorlContext ctx(nullptr);
  ctx.SetNodeCode("N1");
  ctx.SetGroupCode("G1");
  ctx.SetDatabaseLocation("/x.db");
  ctx.SetAsString("NODE=N2");
  EXPECT_EQ(ctx.NodeCode(), "N2");
  EXPECT_EQ(ctx.GroupCode(), "");
  EXPECT_EQ(ctx.DatabaseLocation(), "");

  // Its own string loads back to the same values, as the type tables do it.
  ctx.SetGroupCode("G;=%");
  ctx.SetAsString(ctx.GetAsString());
  EXPECT_EQ(ctx.NodeCode(), "N2");
  EXPECT_EQ(ctx.GroupCode(), "G;=%");
}

TEST(QuorlContext, AnswersGroupCodeProviderByQuery) {
  SessionGuard guard;
  quorl::SetHostSession(MakeContextString("N001", "G01", ""));
  TQuorlContext ctx(nullptr);

  void* out = nullptr;
  ASSERT_EQ(ctx.QueryInterface(IGroupCodeProvider::IID, &out), S_OK);
  EXPECT_EQ(static_cast<IGroupCodeProvider*>(out)->GetGroupCode(), "G01");
  ASSERT_EQ(ctx.QueryInterface(IInterface::IID, &out), S_OK);
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(ctx.QueryInterface(TGUID::Parse("{00000000-0000-0000-0000-000000000001}"), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ctx.QueryInterface(IGroupCodeProvider::IID, nullptr), E_NOINTERFACE);

  // Reference counting is off: holding and dropping interface pointers
  // must leave the object alive.
  {
    quorl::IntfPtr<IGroupCodeProvider> p = quorl::Supports<IGroupCodeProvider>(&ctx);
    ASSERT_TRUE(p);
    ctx.SetGroupCode("G02");
    EXPECT_EQ(p->GetGroupCode(), "G02");
  }
  EXPECT_EQ(ctx.AddRef(), -1);
  EXPECT_EQ(ctx.Release(), -1);
  EXPECT_EQ(ctx.GetGroupCode(), "G02");
}
