// The sound device against Wine's own DirectSound: with ALSA's null device as the default (the
// test HOME's .asoundrc), and in a child process whose HOME has no ALSA configuration at all.
#include <gtest/gtest.h>

#include <string>

#include "input/tests/win/unix_command.h"
#include "sound/sound.h"
#include "sound/win/platform_calls.h"
#include "sound/win/sound_device.h"
#include "window/win/multimedia.h"

namespace {

int libraryFrees = 0;
BOOL WINAPI CountingFreeLibrary(HMODULE module) {
  ++libraryFrees;
  return FreeLibrary(module);
}

class RealSound : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    Sound = SoundDevice{};
    SoundTable = nullptr;
    SoundPlatform.library = {LoadLibraryA, GetProcAddress, CountingFreeLibrary};
    libraryFrees = 0;
  }
  void TearDown() override {
    CloseSoundDevice();
    SoundPlatform.library = SYSTEM_LIBRARY_CALLS;
  }
};

TEST_F(RealSound, OpensOnTheMultimediaWindowWithAPrimaryBuffer) {
  ObjectTable* table = OpenSoundDevice();
  ASSERT_NE(nullptr, table) << "DirectSound did not open with the null ALSA device";
  ASSERT_NE(nullptr, Sound.object);
  ASSERT_NE(nullptr, Sound.primary);
  ASSERT_NE(nullptr, MultimediaWindow());
  EXPECT_EQ(MultimediaWindow(), Sound.cooperationWindow);
  char className[64] = "";
  GetClassNameA(Sound.cooperationWindow, className, sizeof className);
  EXPECT_STREQ("MultimediaBase Class", className);

  DSBCAPS caps = {};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(DS_OK, Sound.primary->GetCaps(&caps));
  EXPECT_TRUE(caps.dwFlags & DSBCAPS_PRIMARYBUFFER);

  IDirectSound* object = Sound.object;
  EXPECT_NE(nullptr, OpenSoundDevice());
  EXPECT_EQ(object, Sound.object);

  CloseSoundDevice();
  EXPECT_EQ(1, libraryFrees);
  EXPECT_EQ(nullptr, Sound.object);
  EXPECT_EQ(nullptr, Sound.library);
  CloseSoundDevice();
  EXPECT_EQ(1, libraryFrees);
}

TEST_F(RealSound, OpensAgainAfterAClose) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  CloseSoundDevice();
  ASSERT_NE(nullptr, OpenSoundDevice());
  EXPECT_NE(nullptr, Sound.primary);
}

const int ChildPassed = 77;

TEST(SoundWithoutDevice, OpenFailsCleanly) {
  char self[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameA(nullptr, self, MAX_PATH));
  std::string script = std::string("d=$(mktemp -d) && HOME=$d ${WINE:-/usr/lib/wine/wine64} '") + self +
                       "' --gtest_also_run_disabled_tests --gtest_filter=SoundWithoutDevice.DISABLED_Child"
                       " >/dev/null 2>&1; rc=$?; rm -rf $d; (exit $rc)";
  EXPECT_EQ(ChildPassed, RunShell(script, 60000));
}

// Run only by the test above, in a process whose HOME has no .asoundrc.
TEST(SoundWithoutDevice, DISABLED_Child) {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  EXPECT_EQ(nullptr, OpenSoundDevice());
  EXPECT_EQ(nullptr, Sound.object);
  EXPECT_EQ(nullptr, Sound.primary);
  EXPECT_NE(nullptr, Sound.library);   // DSOUND.DLL itself is there
  CloseSoundDevice();
  EXPECT_EQ(nullptr, Sound.library);
  if (!HasFailure()) ExitProcess(ChildPassed);
}

}  // namespace
