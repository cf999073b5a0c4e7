#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "message_test_support.h"
#include "platform/message_box.h"

namespace {

using platform_testing::Worker;

struct Shown {
  std::string text;
  std::thread::id thread;
};

class MessageBoxTest : public testing::Test {
 protected:
  void TearDown() override { SetMessageBoxPresenter({}); }

  void PresentHere() {
    SetMessageBoxPresenter([this](const std::string& text) { shown_.push_back({text, std::this_thread::get_id()}); });
  }

  std::vector<Shown> shown_;  // touched on the presenter's thread only
};

TEST_F(MessageBoxTest, BoxFromAWorkerIsShownOnThePresenterThreadBeforeItReturns) {
  PresentHere();
  size_t shownWhenReturned = 0;
  Worker worker([&] {
    ShowMessageBox("mpeg is not supported\n");
    shownWhenReturned = shown_.size();  // the presenter has returned, so no race
  });
  WaitWithMessages(worker.thread());

  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "mpeg is not supported\n");
  EXPECT_EQ(shown_[0].thread, std::this_thread::get_id());
  EXPECT_EQ(shownWhenReturned, 1u);
}

TEST_F(MessageBoxTest, BoxOnThePresenterThreadIsShownDirectly) {
  PresentHere();
  ShowMessageBox("direct");  // no dispatching needed
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "direct");
}

TEST_F(MessageBoxTest, WithoutPresenterTheTextGoesToStandardError) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {{"ends in a line feed\n", "ends in a line feed\n"}, {"no line feed", "no line feed\n"}};
  PresentHere();
  SetMessageBoxPresenter({});
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    ShowMessageBox(c.text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.written);
  }
  EXPECT_TRUE(shown_.empty());
}

TEST_F(MessageBoxTest, PresenterWhoseThreadEndedFallsBackToStandardError) {
  std::thread([] { SetMessageBoxPresenter([](const std::string&) {}); }).join();
  testing::internal::CaptureStderr();
  ShowMessageBox("still seen\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "still seen\n");
}

}  // namespace
