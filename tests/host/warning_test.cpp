#include <gtest/gtest.h>

#include "fakes/FakeWarningHandler.h"
#include "host/WarningMessage.h"
#include "platform/CodePage.h"

TEST(ShowWarningMessage, DefaultWritesOneUtf8LineToStderr) {
  quorl::SetWarningHandler(nullptr);
  ::testing::internal::CaptureStderr();
  ShowWarningMessage(quorl::Utf8ToGbk("会员校验失败，请与管理员联系"), quorl::Utf8ToGbk("警告"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "警告: 会员校验失败，请与管理员联系\n");
}

TEST(ShowWarningMessage, InstalledHandlerGetsGbkTextAndEmptyRestoresDefault) {
  {
    quorl::test::FakeWarningHandler fake;
    ::testing::internal::CaptureStderr();
    ShowWarningMessage(quorl::Utf8ToGbk("保存失败"), quorl::Utf8ToGbk("警告"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_EQ(fake.shown[0].message, quorl::Utf8ToGbk("保存失败"));
    EXPECT_EQ(fake.shown[0].caption, quorl::Utf8ToGbk("警告"));
  }
  ::testing::internal::CaptureStderr();
  ShowWarningMessage("m", "c");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "c: m\n");
}

TEST(ShowWarningMessage, HandlerMayReplaceItselfWhileShowing) {
  int first = 0, second = 0;
  quorl::SetWarningHandler([&](const std::string&, const std::string&) {
    ++first;
    quorl::SetWarningHandler([&](const std::string&, const std::string&) { ++second; });
  });
  ShowWarningMessage("a", "b");
  ShowWarningMessage("a", "b");
  quorl::SetWarningHandler(nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}
