// The mouse against recording fakes of DirectInput; the cursor calls are USER32's own.
#include "input/tests/win/input_fixture.h"

using Strings = std::vector<std::string>;

namespace {

DIDEVICEOBJECTDATA Record(DWORD offset, DWORD data) { return {offset, data, 0, 0}; }

int CursorCounter() {
  int counter = ShowCursor(TRUE) - 1;
  ShowCursor(FALSE);
  return counter;
}

class MouseFake : public FakeInputTest {
 protected:
  void Open() {
    ASSERT_EQ(1, OpenMouseDevice());
    Clear();
  }
  void Batch(HRESULT result, std::vector<DIDEVICEOBJECTDATA> records = {}) {
    input->mouse.batches.push_back({result, records});
  }
};

TEST_F(MouseFake, OpenCreatesTheMouseWithTheStandardFormat) {
  EXPECT_EQ(1, OpenMouseDevice());
  EXPECT_EQ((Strings{"LoadLibraryA(DINPUT.DLL)", "GetProcAddress(DirectInputCreateEx)", "DirectInputCreateEx",
                     "input.CreateDeviceEx(mouse)", "mouse.SetDataFormat"}),
            Calls());
  EXPECT_TRUE(input->lastInterface == fake::Device7A);
  EXPECT_EQ(nullptr, input->lastOuter);
  EXPECT_EQ(MouseCreated, MouseInput.state);
  EXPECT_TRUE(MouseInput.cursorShown);
  EXPECT_EQ(static_cast<IDirectInputDevice7A*>(&input->mouse), MouseDevice());

  const DIDATAFORMAT& format = input->mouse.format;
  EXPECT_EQ(sizeof(DIDATAFORMAT), format.dwSize);
  EXPECT_EQ(sizeof(DIOBJECTDATAFORMAT), format.dwObjSize);
  EXPECT_EQ(2u, format.dwFlags);
  EXPECT_EQ(16u, format.dwDataSize);
  ASSERT_EQ(7u, format.dwNumObjs);
  const GUID* guids[7] = {&fake::XAxis, &fake::YAxis, &fake::ZAxis, nullptr, nullptr, nullptr, nullptr};
  const DWORD offsets[7] = {0, 4, 8, 12, 13, 14, 15};
  const DWORD types[7] = {0x00FFFF03, 0x00FFFF03, 0x80FFFF03, 0x00FFFF0C, 0x00FFFF0C, 0x80FFFF0C, 0x80FFFF0C};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(guids[i] != nullptr, input->mouse.objectGuidPresent[i]) << i;
    if (guids[i]) {
      EXPECT_TRUE(input->mouse.objectGuids[i] == *guids[i]) << i;
    }
    EXPECT_EQ(offsets[i], input->mouse.objects[i].dwOfs) << i;
    EXPECT_EQ(types[i], input->mouse.objects[i].dwType) << i;
    EXPECT_EQ(0u, input->mouse.objects[i].dwFlags) << i;
  }
}

TEST_F(MouseFake, OpenFailures) {
  fake::Dll.libraryPresent = false;
  EXPECT_EQ(0, OpenMouseDevice());
  EXPECT_EQ(1, DirectInput.users);
  CloseMouseDevice();
  EXPECT_EQ(0, DirectInput.users);

  fake::Dll.libraryPresent = true;
  input->createMouseResult = DIERR_DEVICENOTREG;
  EXPECT_EQ(0, OpenMouseDevice());
  input->createMouseResult = 0;
  input->mouseComesBackNull = true;   // success code but no device
  EXPECT_EQ(0, OpenMouseDevice());
  EXPECT_EQ(nullptr, MouseDevice());
  input->mouseComesBackNull = false;
  input->mouse.setDataFormatResult = DIERR_INVALIDPARAM;
  EXPECT_EQ(0, OpenMouseDevice());
  EXPECT_EQ(nullptr, MouseDevice());   // released, so the window procedure finds none
  EXPECT_EQ(1, fake::CountOf("mouse.Release"));
}

TEST_F(MouseFake, FirstActiveReadConfiguresFullScreenExclusively) {
  Open();
  Batch(0);
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ((Strings{"mouse.SetCooperativeLevel", "mouse.SetProperty", "mouse.Acquire", "mouse.GetDeviceData"}),
            Calls());
  EXPECT_EQ(PlainTestWindow(), input->mouse.cooperativeWindow);
  EXPECT_EQ(5u, input->mouse.cooperativeFlags);
  EXPECT_EQ(reinterpret_cast<const GUID*>(1), input->mouse.propertyId);   // DIPROP_BUFFERSIZE
  EXPECT_EQ(sizeof(DIPROPDWORD), input->mouse.property.diph.dwSize);
  EXPECT_EQ(20u, input->mouse.property.diph.dwSize);
  EXPECT_EQ(16u, input->mouse.property.diph.dwHeaderSize);
  EXPECT_EQ(0u, input->mouse.property.diph.dwObj);
  EXPECT_EQ(0u, input->mouse.property.diph.dwHow);
  EXPECT_EQ(24u, input->mouse.property.dwData);
  EXPECT_EQ(16u, input->mouse.dataRecordSize);
  EXPECT_EQ(24u, input->mouse.dataCountIn);
  EXPECT_EQ(0u, input->mouse.dataFlags);
  EXPECT_EQ(MouseConfigured, MouseInput.state);

  Clear();
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ((Strings{"mouse.GetDeviceData"}), Calls());
}

TEST_F(MouseFake, FailedSetUpStepsStopTheChainAndAreRetried) {
  Open();
  input->mouse.cooperativeResult = E_FAIL;
  ReadMouse();
  EXPECT_EQ((Strings{"mouse.SetCooperativeLevel", "mouse.GetDeviceData"}), Calls());
  EXPECT_EQ(MouseCreated, MouseInput.state);

  Clear();
  input->mouse.cooperativeResult = 0;
  input->mouse.setPropertyResult = DIERR_INVALIDPARAM;
  ReadMouse();
  EXPECT_EQ((Strings{"mouse.SetCooperativeLevel", "mouse.SetProperty", "mouse.GetDeviceData"}), Calls());
  EXPECT_EQ(MouseCreated, MouseInput.state);

  Clear();
  input->mouse.setPropertyResult = 0;
  input->mouse.acquireResult = DIERR_OTHERAPPHASPRIO;
  ReadMouse();
  EXPECT_EQ((Strings{"mouse.SetCooperativeLevel", "mouse.SetProperty", "mouse.Acquire", "mouse.GetDeviceData"}),
            Calls());
  EXPECT_EQ(MouseCreated, MouseInput.state);

  Clear();
  input->mouse.acquireResult = 0;
  ReadMouse();
  EXPECT_EQ(MouseConfigured, MouseInput.state);
}

TEST_F(MouseFake, RecordsAreSummedClampedAndButtonsKept) {
  Open();
  Batch(0, {Record(0, 30), Record(4, (DWORD)-5), Record(0, 12), Record(8, 120), Record(12, 0x80), Record(15, 0x80)});
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(42, MouseStepX());
  EXPECT_EQ(-5, MouseStepY());
  EXPECT_EQ(42, MouseX());
  EXPECT_EQ(0, MouseY());
  EXPECT_EQ(1, MouseButtonIsDown(1));
  EXPECT_EQ(0, MouseButtonIsDown(2));

  Batch(0);   // an empty queue: a read with no movement
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(0, MouseStepY());
  EXPECT_EQ(1, MouseButtonIsDown(1));

  Batch(0, {Record(0, 5000), Record(4, 5000), Record(12, 0), Record(13, 0x80)});
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(639, MouseX());
  EXPECT_EQ(479, MouseY());
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(1, MouseButtonIsDown(2));
}

TEST_F(MouseFake, OverflowDropsTheRecordsAndReleasesButtons1And2) {
  Open();
  Batch(0, {Record(12, 0x80), Record(13, 0x80), Record(14, 0x80)});
  ReadMouse();
  Batch(DI_BUFFEROVERFLOW, {Record(0, 50)});
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(0, MouseX());
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(0, MouseButtonIsDown(2));
  EXPECT_EQ(1, MouseButtonIsDown(3));
}

TEST_F(MouseFake, LostOrUnacquiredDeviceIsAcquiredAgainOnly) {
  Open();
  Batch(0);
  ReadMouse();
  for (HRESULT lost : {DIERR_INPUTLOST, DIERR_NOTACQUIRED}) {
    Clear();
    Batch(lost, {Record(0, 50)});
    Mouse.stepX = 99;
    EXPECT_EQ(0, ReadMouse());
    EXPECT_EQ(0, MouseStepX());
    EXPECT_EQ((Strings{"mouse.GetDeviceData", "mouse.Acquire"}), Calls());
  }
  EXPECT_EQ(0x8007001E, (uint32_t)DIERR_INPUTLOST);
  EXPECT_EQ(0x8007000C, (uint32_t)DIERR_NOTACQUIRED);

  // Data flows again on the following read.
  Clear();
  Batch(0, {Record(0, 7)});
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(7, MouseStepX());
  EXPECT_EQ((Strings{"mouse.GetDeviceData"}), Calls());
}

TEST_F(MouseFake, LostDeviceIsNotAcquiredWhenTheScreenWentInactiveMeanwhile) {
  Open();
  Batch(0);
  ReadMouse();
  Clear();
  Batch(DIERR_INPUTLOST);
  input->mouse.onGetDeviceData = [] { TestScreen().active = 0; };
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ((Strings{"mouse.GetDeviceData"}), Calls());
}

TEST_F(MouseFake, OtherFailuresReadNothing) {
  Open();
  Batch(E_FAIL, {Record(0, 50), Record(12, 0x80)});
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(0, MouseButtonIsDown(1));
  EXPECT_EQ(0, fake::CountOf("mouse.Acquire") - 1);   // only the set-up's
}

TEST_F(MouseFake, InactiveScreenSuspendsAndKeepsTheButtons) {
  Open();
  Batch(0, {Record(12, 0x80)});
  ReadMouse();
  Clear();
  TestScreen().active = 0;
  Mouse.stepX = 12;
  Batch(0, {Record(0, 40), Record(12, 0)});
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ((Strings{"mouse.Unacquire"}), Calls());
  EXPECT_EQ(0, MouseStepX());
  EXPECT_EQ(1, MouseButtonIsDown(1));
  int counter = CursorCounter();
  RECT clip;
  GetClipCursor(&clip);
  ReadMouse();   // full screen: the cursor is not touched
  EXPECT_EQ(counter, CursorCounter());

  // Active again: no new set-up; the queue that waited is read now.
  Clear();
  TestScreen().active = 1;
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ((Strings{"mouse.GetDeviceData"}), Calls());
  EXPECT_EQ(40, MouseStepX());
  EXPECT_EQ(0, MouseButtonIsDown(1));
}

TEST_F(MouseFake, InactiveBeforeConfigurationConfiguresOnceActive) {
  Open();
  TestScreen().active = 0;
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ(MouseCreated, MouseInput.state);
  TestScreen().active = 1;
  Clear();
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(1, fake::CountOf("mouse.SetCooperativeLevel"));
  EXPECT_EQ(MouseConfigured, MouseInput.state);
}

TEST_F(MouseFake, ReadWithoutADeviceDoesNothing) {
  EXPECT_EQ(0, ReadMouse());
  Mouse.stepX = 5;
  input->createMouseResult = E_FAIL;
  OpenMouseDevice();
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ(0, MouseStepX());
  SuspendMouse();
}

TEST_F(MouseFake, CloseReleasesWithoutUnacquiringAndFreesTheConfinement) {
  Open();
  ReadMouse();
  RECT small = {10, 10, 20, 20};
  ClipCursor(&small);
  Clear();
  CloseMouseDevice();
  EXPECT_EQ((Strings{"mouse.Release", "input.Release", "FreeLibrary(dinput)"}), Calls());
  EXPECT_EQ(nullptr, MouseDevice());
  RECT clip;
  GetClipCursor(&clip);
  EXPECT_GT(clip.right - clip.left, 10);
  Clear();
  CloseMouseDevice();
  EXPECT_TRUE(Calls().empty());
}

TEST_F(MouseFake, KeyboardAndMouseShareOneObject) {
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_EQ(1, OpenMouseDevice());
  EXPECT_EQ(1, fake::CountOf("DirectInputCreateEx"));
  EXPECT_EQ(3, DirectInput.users);
  CloseMouseDevice();
  CloseKeyboardDevice();
  EXPECT_EQ(1, DirectInput.users);
  EXPECT_EQ(0, fake::CountOf("input.Release"));
}

// Windowed screen: the picture's area the screen reports, the real cursor.
class MouseWindowed : public MouseFake {
 protected:
  RECT window = {};
  void SetUp() override {
    MouseFake::SetUp();
    SetForegroundWindow(PlainTestWindow());
    GetWindowRect(PlainTestWindow(), &window);
    TestScreen().windowed = 1;
    TestScreen().width = 200;
    TestScreen().height = 150;
    ReportArea(window.left + 7, window.top + 30, window.left + 7 + 200, window.top + 30 + 150);
  }
  void TearDown() override {
    SuspendMouse();
    MouseFake::TearDown();
  }
  static void ReportArea(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TestScreen().left = left;
    TestScreen().top = top;
    TestScreen().right = right;
    TestScreen().bottom = bottom;
  }
};

TEST_F(MouseWindowed, CursorIsConfinedToTheScreenAndHiddenOnce) {
  if (GetForegroundWindow() != PlainTestWindow()) GTEST_SKIP() << "the test window cannot take the foreground";
  Open();
  int counter = CursorCounter();
  Batch(0, {Record(0, 20), Record(4, 10)});
  EXPECT_EQ(1, ReadMouse());
  EXPECT_EQ(6u, input->mouse.cooperativeFlags);
  RECT clip;
  GetClipCursor(&clip);
  EXPECT_EQ(window.left + 7, clip.left);
  EXPECT_EQ(window.top + 30, clip.top);
  EXPECT_EQ(window.left + 7 + 200, clip.right);
  EXPECT_EQ(window.top + 30 + 150, clip.bottom);
  POINT cursor;
  GetCursorPos(&cursor);
  EXPECT_EQ(clip.left + 20, cursor.x);
  EXPECT_EQ(clip.top + 10, cursor.y);
  EXPECT_EQ(counter - 1, CursorCounter());
  ReadMouse();
  ReadMouse();
  EXPECT_EQ(counter - 1, CursorCounter());   // hidden once, however many reads

  SuspendMouse();
  EXPECT_EQ(counter, CursorCounter());
  SuspendMouse();
  EXPECT_EQ(counter, CursorCounter());   // shown once per hide
  GetClipCursor(&clip);
  EXPECT_GT(clip.right - clip.left, 200);
}

TEST_F(MouseWindowed, ConfinementFollowsTheAreaTheScreenReports) {
  if (GetForegroundWindow() != PlainTestWindow()) GTEST_SKIP() << "the test window cannot take the foreground";
  Open();
  ReadMouse();
  // The window was stretched: the screen now reports a larger picture.
  ReportArea(window.left + 7, window.top + 30, window.right - 9, window.bottom - 11);
  ReadMouse();
  RECT clip;
  GetClipCursor(&clip);
  EXPECT_EQ(window.left + 7, clip.left);
  EXPECT_EQ(window.top + 30, clip.top);
  EXPECT_EQ(window.right - 9, clip.right);
  EXPECT_EQ(window.bottom - 11, clip.bottom);
}

TEST_F(MouseWindowed, ScreenWindowInTheBackgroundGivesTheMouseBack) {
  Open();
  ReadMouse();
  int counter = CursorCounter();
  TestScreen().active = 0;   // its window is no longer the foreground one
  Clear();
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ((Strings{"mouse.Unacquire"}), Calls());
  if (!MouseInput.cursorShown) ADD_FAILURE() << "cursor still hidden";
  EXPECT_LE(counter, CursorCounter());
}

TEST_F(MouseFake, WithoutAScreenTheMouseIsGivenBackAndNeverSetUp) {
  Open();
  SetMouseScreenQuery(nullptr);
  Batch(0, {Record(0, 40)});
  EXPECT_EQ(0, ReadMouse());
  EXPECT_EQ((Strings{"mouse.Unacquire"}), Calls());
  EXPECT_EQ(MouseCreated, MouseInput.state);
  EXPECT_EQ(0, MouseStepX());
}

}  // namespace
