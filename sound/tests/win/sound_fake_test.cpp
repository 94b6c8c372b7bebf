// The sound device against recording fakes of DirectSound.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "sound/sound.h"
#include "sound/tests/win/fake_dsound.h"
#include "sound/win/platform_calls.h"
#include "window/tests/win/plain_window.h"
#include "window/win/multimedia.h"

using Strings = std::vector<std::string>;

namespace {

int decodersFreed = 0;
void FreeDecoder(void* decoder) {
  fakesound::Note("decoder.Free");
  ++decodersFreed;
  EXPECT_EQ(&decodersFreed, decoder);
}

class SoundFake : public ::testing::Test {
 protected:
  std::unique_ptr<fakesound::Device> device;
  MultimediaWindowState savedMultimedia;
  std::vector<std::unique_ptr<fakesound::Buffer>> buffers;

  void SetUp() override {
    if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
    if (!ListedObjectHeap) ListedObjectHeap = HeapCreate(0, 1024, 0);
    fakesound::Log.clear();
    fakesound::Dll = fakesound::Loader{};
    device = std::make_unique<fakesound::Device>();
    fakesound::Dll.device = device.get();
    SoundPlatform.library = fakesound::DllLoader::Calls();
    Sound = SoundDevice{};
    SoundTable = nullptr;
    savedMultimedia = Multimedia;
    Multimedia.window = PlainTestWindow();
    Multimedia.baseCreated = TRUE;
    decodersFreed = 0;
  }
  void TearDown() override {
    Sound = SoundDevice{};
    SoundTable = nullptr;
    SoundPlatform.library = SYSTEM_LIBRARY_CALLS;
    Multimedia = savedMultimedia;
  }
  Strings Calls() const { return fakesound::Log; }
  static int CountOf(const std::string& call) {
    return (int)std::count(fakesound::Log.begin(), fakesound::Log.end(), call);
  }
  void Clear() { fakesound::Log.clear(); }
  // An open that fails and leaves no device; the calls it made.
  Strings FailedOpenCalls() const {
    EXPECT_EQ(nullptr, OpenSoundDevice());
    EXPECT_EQ(nullptr, Sound.object);
    return Calls();
  }

  fakesound::Buffer* NewBuffer(const std::string& name) {
    buffers.push_back(std::make_unique<fakesound::Buffer>(name));
    return buffers.back().get();
  }
  // A sound as a loader would leave it: its buffer, duplicates, maybe a stream decoder.
  SoundRecord* MakeSound(ObjectNumber number, const std::string& name, int duplicates, bool decoder) {
    SoundRecord* sound = static_cast<SoundRecord*>(AllocateObject(SoundTable, number));
    EXPECT_NE(nullptr, sound);
    if (!sound) return nullptr;
    sound->buffer = NewBuffer(name);
    CreateList(&sound->duplicates, sizeof(IDirectSoundBuffer*), nullptr, 0);
    for (int i = 0; i < duplicates; ++i) {
      InsertAfterCurrent(&sound->duplicates);
      *CurrentData<IDirectSoundBuffer*>(sound->duplicates) = NewBuffer(name + ".copy" + std::to_string(i + 1));
    }
    if (decoder) {
      sound->streamDecoder = &decodersFreed;
      sound->freeStreamDecoder = FreeDecoder;
    }
    return sound;
  }
};

TEST_F(SoundFake, OpensTheDefaultDeviceWithPriorityAndAPrimaryBuffer) {
  ObjectTable* table = OpenSoundDevice();
  ASSERT_NE(nullptr, table);
  EXPECT_EQ(SoundTable, table);
  EXPECT_EQ((Strings{"LoadLibraryA(DSOUND.DLL)", "GetProcAddress(DirectSoundCreate)", "DirectSoundCreate",
                     "sound.SetCooperativeLevel", "sound.CreateSoundBuffer"}),
            Calls());
  EXPECT_EQ(nullptr, fakesound::Dll.deviceId);
  EXPECT_EQ(nullptr, fakesound::Dll.outer);
  EXPECT_EQ(PlainTestWindow(), device->cooperativeWindow);
  EXPECT_EQ(PlainTestWindow(), Sound.cooperationWindow);
  EXPECT_EQ(2u, device->cooperativeLevel);

  ASSERT_TRUE(device->descriptionGiven);
  EXPECT_EQ(sizeof(DSBUFFERDESC), device->description.dwSize);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(36u, device->description.dwSize);
  }
  EXPECT_EQ(1u, device->description.dwFlags);
  EXPECT_EQ(0u, device->description.dwBufferBytes);
  EXPECT_EQ(nullptr, device->description.lpwfxFormat);
  EXPECT_EQ(nullptr, device->bufferOuter);
  EXPECT_EQ(static_cast<IDirectSoundBuffer*>(&device->primary), Sound.primary);

  EXPECT_EQ(sizeof(SoundRecord), table->recordSize);
  EXPECT_EQ(64u, table->growthStep);
  EXPECT_EQ(64u, table->capacity);
  EXPECT_EQ(&FreeSoundRecord, table->release);
}

TEST_F(SoundFake, SecondOpenMakesNoSecondDevice) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  Clear();
  EXPECT_NE(nullptr, OpenSoundDevice());
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(static_cast<IDirectSound*>(device.get()), Sound.object);
}

TEST_F(SoundFake, MissingLibraryOrEntryPointFails) {
  fakesound::Dll.libraryPresent = false;
  EXPECT_EQ((Strings{"LoadLibraryA(DSOUND.DLL)"}), FailedOpenCalls());

  Clear();
  fakesound::Dll.libraryPresent = true;
  fakesound::Dll.createPresent = false;
  EXPECT_EQ((Strings{"LoadLibraryA(DSOUND.DLL)", "GetProcAddress(DirectSoundCreate)"}), FailedOpenCalls());

  // The library found the first time is not loaded again.
  Clear();
  EXPECT_EQ((Strings{"GetProcAddress(DirectSoundCreate)"}), FailedOpenCalls());
  Clear();
  CloseSoundDevice();
  EXPECT_EQ((Strings{"FreeLibrary(dsound)"}), Calls());
}

TEST_F(SoundFake, NoDeviceFails) {
  fakesound::Dll.createResult = DSERR_NODRIVER;
  EXPECT_EQ(nullptr, OpenSoundDevice());
  EXPECT_EQ(nullptr, Sound.object);
  EXPECT_EQ(0, CountOf(("sound.SetCooperativeLevel")));
}

TEST_F(SoundFake, RefusedCooperationOrPrimaryBufferFailAndALaterOpenStartsAgain) {
  device->cooperativeResult = DSERR_INVALIDPARAM;
  EXPECT_EQ((Strings{"LoadLibraryA(DSOUND.DLL)", "GetProcAddress(DirectSoundCreate)", "DirectSoundCreate",
                     "sound.SetCooperativeLevel", "sound.Release"}),
            FailedOpenCalls());

  Clear();
  device->cooperativeResult = 0;
  device->bufferResult = DSERR_OUTOFMEMORY;
  EXPECT_EQ((Strings{"GetProcAddress(DirectSoundCreate)", "DirectSoundCreate", "sound.SetCooperativeLevel",
                     "sound.CreateSoundBuffer", "sound.Release"}),
            FailedOpenCalls());
  EXPECT_EQ(nullptr, Sound.primary);

  Clear();
  device->bufferResult = 0;
  EXPECT_NE(nullptr, OpenSoundDevice());
  EXPECT_EQ(1, CountOf(("sound.CreateSoundBuffer")));
}

TEST_F(SoundFake, NoMultimediaWindowFailsBeforeLoadingAnything) {
  // The window library reports that its popup could not be made.
  Multimedia.baseCreated = FALSE;
  Multimedia.window = PlainTestWindow();
  EXPECT_EQ(nullptr, OpenSoundDevice());
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SoundFake, CloseWithNoSoundsReleasesTheDeviceThenTheLibrary) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  Clear();
  CloseSoundDevice();
  EXPECT_EQ((Strings{"primary.Release", "sound.Release", "FreeLibrary(dsound)"}), Calls());
  Clear();
  CloseSoundDevice();
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SoundFake, CloseWithoutOpenDoesNothing) {
  CloseSoundDevice();
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SoundFake, FreeingASoundReleasesDuplicatesDecoderAndBuffer) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  SoundRecord* sound = MakeSound(5, "five", 2, true);
  ASSERT_NE(nullptr, sound);
  ASSERT_EQ(sound, LookupObject(SoundTable, 5));
  Clear();
  FreeSoundRecord(5);
  EXPECT_EQ((Strings{"five.copy1.Release", "five.copy2.Release", "decoder.Free", "five.Release"}), Calls());
  EXPECT_EQ(nullptr, LookupObject(SoundTable, 5));
  EXPECT_EQ(1, decodersFreed);

  Clear();
  FreeSoundRecord(5);    // gone already
  FreeSoundRecord(63);   // never there
  FreeSoundRecord(500);  // beyond the slots: not a listed record either
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SoundFake, ReusingANumberFreesTheSoundThatHeldIt) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  MakeSound(2, "old", 1, false);
  Clear();
  SoundRecord* fresh = static_cast<SoundRecord*>(AllocateObject(SoundTable, 2));
  ASSERT_NE(nullptr, fresh);
  EXPECT_EQ(nullptr, fresh->buffer);
  EXPECT_EQ((Strings{"old.copy1.Release", "old.Release"}), Calls());
}

TEST_F(SoundFake, CloseFreesEverySoundBeforeTheDevice) {
  ASSERT_NE(nullptr, OpenSoundDevice());
  MakeSound(3, "three", 0, false);
  MakeSound(AutoNumber, "listed", 1, false);
  MakeSound(70, "seventy", 0, false);   // grows the table
  Clear();
  CloseSoundDevice();
  EXPECT_EQ((Strings{"three.Release", "seventy.Release", "listed.copy1.Release", "listed.Release",
                     "primary.Release", "sound.Release", "FreeLibrary(dsound)"}),
            Calls());
  EXPECT_EQ(nullptr, LookupObject(SoundTable, 3));
  EXPECT_EQ(nullptr, LookupObject(SoundTable, 70));
}

TEST_F(SoundFake, ReopeningFreesTheSoundsOfTheOldTable) {
  ObjectTable* first = OpenSoundDevice();
  ASSERT_NE(nullptr, first);
  MakeSound(1, "one", 0, false);
  Clear();
  ObjectTable* second = OpenSoundDevice();
  ASSERT_NE(nullptr, second);
  EXPECT_EQ((Strings{"one.Release"}), Calls());
  EXPECT_EQ(nullptr, LookupObject(second, 1));
}

}  // namespace
