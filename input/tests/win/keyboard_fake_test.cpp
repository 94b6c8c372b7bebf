// The shared DirectInput object and the keyboard, against recording fakes of DirectInput.
#include "input/tests/win/input_fixture.h"

using Strings = std::vector<std::string>;

namespace {

class DirectInputObject : public FakeInputTest {};

TEST_F(DirectInputObject, FirstUserLoadsAndCreatesLaterUsersOnlyCount) {
  IDirectInput7A* object = ObtainDirectInput();
  EXPECT_EQ(static_cast<IDirectInput7A*>(input.get()), object);
  EXPECT_EQ((Strings{"LoadLibraryA(DINPUT.DLL)", "GetProcAddress(DirectInputCreateEx)", "DirectInputCreateEx"}),
            Calls());
  EXPECT_EQ(GetModuleHandleA(nullptr), fake::Dll.instance);
  EXPECT_EQ(0x0700u, fake::Dll.version);
  EXPECT_TRUE(fake::Dll.interfaceId == fake::Input7A);
  EXPECT_EQ(nullptr, fake::Dll.outer);
  EXPECT_EQ(1, DirectInput.users);

  Clear();
  EXPECT_EQ(object, ObtainDirectInput());
  EXPECT_EQ(object, ObtainDirectInput());
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(3, DirectInput.users);
}

TEST_F(DirectInputObject, LastReleaseFreesObjectThenLibrary) {
  ObtainDirectInput();
  ObtainDirectInput();
  Clear();
  ReleaseDirectInput();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(1, DirectInput.users);
  ReleaseDirectInput();
  EXPECT_EQ((Strings{"input.Release", "FreeLibrary(dinput)"}), Calls());
  EXPECT_EQ(nullptr, DirectInput.object);
  EXPECT_EQ(0, DirectInput.users);

  // A new first user starts from scratch.
  Clear();
  EXPECT_NE(nullptr, ObtainDirectInput());
  EXPECT_EQ(1, fake::CountOf("DirectInputCreateEx"));
}

TEST_F(DirectInputObject, MissingLibraryStillCountsAUser) {
  fake::Dll.libraryPresent = false;
  EXPECT_EQ(nullptr, ObtainDirectInput());
  EXPECT_EQ(1, DirectInput.users);
  EXPECT_EQ(nullptr, ObtainDirectInput());   // tries again
  EXPECT_EQ(2, DirectInput.users);
  ReleaseDirectInput();
  ReleaseDirectInput();
  EXPECT_EQ(0, DirectInput.users);
  // Loaded neither time, so never freed.
  EXPECT_EQ((Strings{"LoadLibraryA(DINPUT.DLL)", "LoadLibraryA(DINPUT.DLL)"}), Calls());
}

TEST_F(DirectInputObject, MissingEntryPointKeepsTheLibrary) {
  fake::Dll.createPresent = false;
  EXPECT_EQ(nullptr, ObtainDirectInput());
  EXPECT_EQ(fake::DllLoader::Module(), DirectInput.library);
  EXPECT_EQ(0, fake::CountOf("DirectInputCreateEx"));
  ReleaseDirectInput();
  EXPECT_EQ(0, fake::CountOf("FreeLibrary(dinput)"));
}

TEST_F(DirectInputObject, FailedCreationLeavesNoObjectWhateverItWrote) {
  fake::Dll.createResult = E_FAIL;
  fake::Dll.createLeavesBehind = reinterpret_cast<void*>(static_cast<uintptr_t>(0xDEAD0000));
  EXPECT_EQ(nullptr, ObtainDirectInput());
  EXPECT_EQ(nullptr, DirectInput.object);
  ReleaseDirectInput();   // nothing to release, and no crash on the left-over value
  EXPECT_EQ(0, fake::CountOf("input.Release"));
}

class KeyboardFake : public FakeInputTest {};

TEST_F(KeyboardFake, OpenCreatesTheKeyboardWithTheStandardFormat) {
  EXPECT_NE(0, OpenKeyboardDevice());
  EXPECT_EQ((Strings{"LoadLibraryA(DINPUT.DLL)", "GetProcAddress(DirectInputCreateEx)", "DirectInputCreateEx",
                     "input.CreateDeviceEx(keyboard)", "keyboard.SetDataFormat"}),
            Calls());   // no cooperative level yet: the window may not exist
  EXPECT_TRUE(input->lastInterface == fake::Device7A);
  EXPECT_EQ(nullptr, input->lastOuter);
  EXPECT_EQ(KeyboardCreated, KeyboardState);

  const DIDATAFORMAT& format = input->keyboard.format;
  EXPECT_EQ(sizeof(DIDATAFORMAT), format.dwSize);
  EXPECT_EQ(sizeof(DIOBJECTDATAFORMAT), format.dwObjSize);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(24u, format.dwSize);
    EXPECT_EQ(16u, format.dwObjSize);
  }
  EXPECT_EQ(2u, format.dwFlags);
  EXPECT_EQ(256u, format.dwDataSize);
  ASSERT_EQ(256u, format.dwNumObjs);
  for (DWORD i = 0; i < 256; ++i) {
    const DIOBJECTDATAFORMAT& object = input->keyboard.objects[i];
    ASSERT_TRUE(input->keyboard.objectGuidPresent[i]);
    EXPECT_TRUE(input->keyboard.objectGuids[i] == fake::KeyObject) << i;
    EXPECT_EQ(i, object.dwOfs);
    EXPECT_EQ(0x8000000Cu | (i << 8), object.dwType) << i;
    EXPECT_EQ(0u, object.dwFlags);
  }
  EXPECT_EQ(0x80001C0Cu, input->keyboard.objects[28].dwType);   // Return
}

TEST_F(KeyboardFake, SecondOpenCountsAUserButCreatesNothing) {
  ASSERT_NE(0, OpenKeyboardDevice());
  DIOBJECTDATAFORMAT* table = Keyboard.objects;
  Clear();
  EXPECT_NE(0, OpenKeyboardDevice());
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(table, Keyboard.objects);
  EXPECT_EQ(1, input->keyboardsCreated);
  EXPECT_EQ(2, DirectInput.users);
}

TEST_F(KeyboardFake, OpenFailsWithoutDirectInputAndCloseStillReleasesTheUser) {
  fake::Dll.libraryPresent = false;
  EXPECT_EQ(0, OpenKeyboardDevice());
  EXPECT_EQ(KeyboardClosed, KeyboardState);
  EXPECT_EQ(1, DirectInput.users);
  CloseKeyboardDevice();
  EXPECT_EQ(0, DirectInput.users);
}

TEST_F(KeyboardFake, RefusedDeviceOrFormatFailsAndALaterOpenTriesAgain) {
  input->createKeyboardResult = DIERR_NOINTERFACE;
  EXPECT_EQ(0, OpenKeyboardDevice());
  EXPECT_EQ(KeyboardClosed, KeyboardState);
  EXPECT_EQ(0, fake::CountOf("keyboard.SetDataFormat"));

  input->createKeyboardResult = 0;
  input->keyboard.setDataFormatResult = DIERR_INVALIDPARAM;
  EXPECT_EQ(0, OpenKeyboardDevice());
  EXPECT_EQ(KeyboardClosed, KeyboardState);
  EXPECT_EQ(1, fake::CountOf("keyboard.Release"));   // not kept half made
  EXPECT_EQ(nullptr, Keyboard.device);

  input->keyboard.setDataFormatResult = 0;
  EXPECT_NE(0, OpenKeyboardDevice());
  EXPECT_EQ(KeyboardCreated, KeyboardState);
  EXPECT_EQ(3, DirectInput.users);
}

TEST_F(KeyboardFake, FirstReadSetsCooperationAndAcquiresLaterReadsOnlyRead) {
  ASSERT_NE(0, OpenKeyboardDevice());
  Clear();
  input->keyboard.state[KeyReturn] = 0x80;
  EXPECT_EQ(1, ReadKeyboard());
  EXPECT_EQ((Strings{"keyboard.SetCooperativeLevel", "keyboard.Acquire", "keyboard.GetDeviceState"}), Calls());
  EXPECT_EQ(PlainTestWindow(), input->keyboard.cooperativeWindow);
  EXPECT_EQ(0x16u, input->keyboard.cooperativeFlags);
  EXPECT_EQ(256u, input->keyboard.stateSize);
  EXPECT_EQ(KeyboardAcquired, KeyboardState);
  EXPECT_EQ(128, KeyIsDown(KeyReturn));
  EXPECT_EQ(1, KeyIsDown(AnyKey));

  Clear();
  input->keyboard.state[KeyReturn] = 0;
  EXPECT_EQ(1, ReadKeyboard());
  EXPECT_EQ((Strings{"keyboard.GetDeviceState"}), Calls());
  EXPECT_EQ(0, KeyIsDown(KeyReturn));
  EXPECT_EQ(0, KeyIsDown(AnyKey));
}

TEST_F(KeyboardFake, RefusedCooperationOrAcquireDoNotStopTheRead) {
  ASSERT_NE(0, OpenKeyboardDevice());
  input->keyboard.cooperativeResult = E_FAIL;
  input->keyboard.acquireResult = DIERR_OTHERAPPHASPRIO;
  input->keyboard.state[KeyS] = 0x80;
  EXPECT_EQ(1, ReadKeyboard());
  EXPECT_EQ(128, KeyIsDown(KeyS));
}

TEST_F(KeyboardFake, NothingIsDownBeforeTheFirstRead) {
  ASSERT_NE(0, OpenKeyboardDevice());
  memset(KeyStates, 0x80, sizeof KeyStates);
  EXPECT_EQ(0, KeyIsDown(AnyKey));
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
}

TEST_F(KeyboardFake, LostDeviceReadsNothingAndIsAcquiredAgainOnTheNextRead) {
  ASSERT_NE(0, OpenKeyboardDevice());
  input->keyboard.state[KeyEscape] = 0x80;
  ASSERT_EQ(1, ReadKeyboard());
  ASSERT_EQ(128, KeyIsDown(KeyEscape));

  Clear();
  input->keyboard.stateResults = {DIERR_INPUTLOST};
  EXPECT_EQ(0, ReadKeyboard());
  EXPECT_EQ((Strings{"keyboard.GetDeviceState"}), Calls());   // no retry within the read
  EXPECT_EQ(KeyboardCreated, KeyboardState);
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
  EXPECT_EQ(0, KeyIsDown(AnyKey));
  EXPECT_EQ(0x80, KeyStates[KeyEscape]);   // the table keeps the older snapshot
  EXPECT_EQ(0, KeyStates[KeyReturn]);

  Clear();
  input->keyboard.state[KeyEscape] = 0;
  input->keyboard.state[KeyReturn] = 0x80;
  EXPECT_EQ(1, ReadKeyboard());
  EXPECT_EQ((Strings{"keyboard.SetCooperativeLevel", "keyboard.Acquire", "keyboard.GetDeviceState"}), Calls());
  EXPECT_EQ(128, KeyIsDown(KeyReturn));
  EXPECT_EQ(0, KeyIsDown(KeyEscape));
}

TEST_F(KeyboardFake, ReadBeforeAnySuccessfulOpenDoesNothing) {
  EXPECT_EQ(0, ReadKeyboard());
  input->createKeyboardResult = E_FAIL;
  OpenKeyboardDevice();
  EXPECT_EQ(0, ReadKeyboard());
  EXPECT_EQ(0, fake::CountOf("keyboard.GetDeviceState"));
}

TEST_F(KeyboardFake, CloseUnacquiresReleasesAndDropsOneUser) {
  ASSERT_NE(0, OpenKeyboardDevice());
  ASSERT_NE(0, OpenKeyboardDevice());   // as the sprite engine and start-up both do
  ReadKeyboard();
  Clear();
  CloseKeyboardDevice();
  EXPECT_EQ((Strings{"keyboard.Unacquire", "keyboard.Release"}), Calls());
  EXPECT_EQ(nullptr, Keyboard.device);
  EXPECT_EQ(1, DirectInput.users);   // opened twice, closed once: the object lives on
  EXPECT_NE(nullptr, DirectInput.object);
  // until the end of the run, which takes it whatever users are left; once only.
  Clear();
  CloseDirectInput();
  CloseDirectInput();
  EXPECT_EQ((Strings{"input.Release", "FreeLibrary(dinput)"}), Calls());
  EXPECT_EQ(0, DirectInput.users);
  EXPECT_EQ(nullptr, DirectInput.object);
}

TEST_F(KeyboardFake, CloseWithoutOpenDoesNothingAndASecondCloseIsHarmless) {
  CloseKeyboardDevice();
  EXPECT_TRUE(Calls().empty());
  ASSERT_NE(0, OpenKeyboardDevice());
  Clear();
  CloseKeyboardDevice();
  EXPECT_EQ((Strings{"keyboard.Unacquire", "keyboard.Release", "input.Release", "FreeLibrary(dinput)"}), Calls());
  Clear();
  CloseKeyboardDevice();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(0, DirectInput.users);
}

}  // namespace
