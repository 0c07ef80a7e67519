// The host window's own handling: which presentation path is in force as the display changes,
// and the few messages it answers itself.
#include "render/host_subclass.h"

#include <gtest/gtest.h>

namespace brim {
namespace {

class FakeOwner : public HostOwner {
 public:
  HWND main = nullptr;
  HWND MainHandle() const override { return main; }
  IUnknown* Control() const override { return nullptr; }
  int MovieWidth() const override { return 100; }
  int MovieHeight() const override { return 80; }
  bool QuerySpriteBound(SpriteBoundValues&) override { return false; }
};

class HostSubclassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.main = CreateWindowExA(WS_EX_LAYERED, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80,
                                  nullptr, nullptr, nullptr, nullptr);
    host_ = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 80, owner_.main,
                            nullptr, nullptr, nullptr);
    subclass_.Attach(host_, &owner_);
  }
  void TearDown() override {
    subclass_.Detach();
    DestroyWindow(owner_.main);
  }
  bool MainLayered() const {
    return (GetWindowLongA(owner_.main, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
  }

  FakeOwner owner_;
  HWND host_ = nullptr;
  HostSubclass subclass_;
};

TEST_F(HostSubclassTest, DisplayDepthDecidesThePath) {
  if (!subclass_.IsLayeredCapable()) GTEST_SKIP() << "display without layered windows";
  ASSERT_TRUE(subclass_.LayeredActive());
  const struct {
    int bits;
    bool layered;
  } steps[] = {{16, true}, {8, false}, {8, false}, {32, true}, {24, true}};
  for (const auto& step : steps) {
    EXPECT_EQ(SendMessageA(host_, WM_DISPLAYCHANGE, step.bits, 0), 0);
    EXPECT_EQ(subclass_.LayeredActive(), step.layered) << step.bits;
    EXPECT_EQ(MainLayered(), step.layered) << step.bits;
  }
  EXPECT_TRUE(subclass_.SetLayeredMode(false));
  EXPECT_FALSE(MainLayered());
  EXPECT_TRUE(subclass_.SetLayeredMode(false)) << "already off: still a success";
  EXPECT_TRUE(subclass_.SetLayeredMode(true));
  EXPECT_TRUE(MainLayered());
}

TEST_F(HostSubclassTest, AnswersEraseAndTheCloseCommand) {
  EXPECT_EQ(SendMessageA(host_, WM_ERASEBKGND, 0, 0), 1);
  MSG msg;
  while (PeekMessageA(&msg, owner_.main, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
  }
  EXPECT_EQ(SendMessageA(host_, WM_COMMAND, 32773, 0), 0);
  ASSERT_TRUE(PeekMessageA(&msg, owner_.main, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, owner_.main);

  // Detaching gives the host its own window procedure back.
  subclass_.Detach();
  EXPECT_EQ(SendMessageA(host_, WM_COMMAND, 32773, 0), 0);
  EXPECT_FALSE(PeekMessageA(&msg, owner_.main, WM_CLOSE, WM_CLOSE, PM_REMOVE));
}

}  // namespace
}  // namespace brim
