// The host window's own handling: which presentation path is in force as the display changes,
// and the few messages it answers itself.
#include "render/host_subclass.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include <vector>

namespace brim {
namespace {

// A windowless control that writes down the mouse messages it is given and, when told to,
// takes the mouse capture on a press as a button of the movie would.
class RecordingControl : public IOleInPlaceObjectWindowless {
 public:
  std::vector<UINT> messages;
  bool capturesPresses = false;
  HWND host = nullptr;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleInPlaceObjectWindowless) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override { return E_NOTIMPL; }
  STDMETHODIMP UIDeactivate() override { return E_NOTIMPL; }
  STDMETHODIMP SetObjectRects(LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP GetDropTarget(IDropTarget**) override { return E_NOTIMPL; }
  STDMETHODIMP OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT*) override {
    messages.push_back(message);
    if (message == WM_LBUTTONDOWN && capturesPresses) SetCapture(host);
    if (message == WM_LBUTTONUP && capturesPresses) ReleaseCapture();
    return S_OK;
  }
};

// The control's site as far as the host asks it: whether the control holds the capture.
class CaptureSite : public IOleInPlaceSiteWindowless {
 public:
  RecordingControl* control = nullptr;
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IOleInPlaceSiteWindowless ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetCapture() override {
    return control->capturesPresses && ::GetCapture() == control->host ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceActivate() override { return E_NOTIMPL; }
  STDMETHODIMP OnUIActivate() override { return E_NOTIMPL; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT, LPRECT,
                                LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceDeactivate() override { return E_NOTIMPL; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceActivateEx(BOOL*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP RequestUIActivate() override { return E_NOTIMPL; }
  STDMETHODIMP CanWindowlessActivate() override { return E_NOTIMPL; }
  STDMETHODIMP SetCapture(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetFocus() override { return E_NOTIMPL; }
  STDMETHODIMP SetFocus(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP AdjustRect(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
};

class FakeOwner : public HostOwner {
 public:
  HWND main = nullptr;
  RecordingControl* control = nullptr;
  CaptureSite* site = nullptr;
  bool clickToMove = true;
  HWND MainHandle() const override { return main; }
  IUnknown* Control() const override { return control; }
  int MovieWidth() const override { return 100; }
  int MovieHeight() const override { return 80; }
  bool QuerySpriteBound(SpriteBoundValues&) override { return false; }
  bool ClickToMove() const override { return clickToMove; }
  HMENU ContextMenu() const override { return nullptr; }
  IUnknown* ControlSite() const override { return site; }
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

TEST_F(HostSubclassTest, PressesOnTheBackgroundDragAndEveryReleaseReachesTheControl) {
  const struct {
    const char* name;
    bool controlCaptures;
    bool clickToMove;
    bool drags;
    bool moveFirst;  // else the travel comes with the release alone, as on a busy machine
  } cases[] = {
      {"background", false, true, true, true},
      {"background, moves folded into the release", false, true, true, false},
      {"a button of the movie", true, true, false, true},
      {"dragging switched off", false, false, false, true},
  };
  for (const auto& c : cases) {
    RecordingControl control;
    control.host = host_;
    control.capturesPresses = c.controlCaptures;
    CaptureSite site;
    site.control = &control;
    owner_.control = &control;
    owner_.site = &site;
    owner_.clickToMove = c.clickToMove;
    SetWindowPos(owner_.main, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetCursorPos(70, 70);

    SendMessageA(host_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_EQ(GetCapture() == host_, c.drags || c.controlCaptures) << c.name;
    SetCursorPos(100, 60);  // 30 right, 10 up
    // Each message's point is where the cursor is in the window as it stands then.
    if (c.moveFirst) SendMessageA(host_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, 0));
    const bool moved = c.moveFirst && c.drags;
    SendMessageA(host_, WM_LBUTTONUP, 0, moved ? MAKELPARAM(20, 10) : MAKELPARAM(50, 0));
    RECT r{};
    GetWindowRect(owner_.main, &r);
    EXPECT_EQ(r.left, c.drags ? 80 : 50) << c.name;
    EXPECT_EQ(r.top, c.drags ? 50 : 60) << c.name;
    EXPECT_EQ(GetCapture(), nullptr) << c.name;
    // The control hears of the release whoever held the capture (moves go to it through the
    // container, which this test does not have).
    EXPECT_EQ(control.messages, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP})) << c.name;
  }
  owner_.control = nullptr;
  owner_.site = nullptr;
}

}  // namespace
}  // namespace brim
