// The default DirectSound device, opened at start-up because the program requires one.
#include "sound/sound.h"

#include "sound/win/platform_calls.h"
#include "sound/win/sound_device.h"
#include "window/win/multimedia.h"

static_assert(sizeof(void*) != 4 || sizeof(DSBUFFERDESC) == 36, "buffer description of DirectSound 7");

SoundDevice Sound;
SoundCalls SoundPlatform = {SYSTEM_LIBRARY_CALLS};
ObjectTable* SoundTable;

const uint32_t SoundTableStep = 64;

namespace {

// The walk already stands past each record it returns, so freeing it there is safe.
void FreeAllSounds() {
  ObjectNumber number = 0;
  ResetObjectIteration(SoundTable);
  while (NextObject(SoundTable, &number)) FreeSoundRecord(number);
}

// A device left half set up is dropped, so that a later open starts again instead of
// reporting success for a device without its cooperative level or primary buffer.
void DropSoundObject() {
  if (Sound.primary) {
    Sound.primary->Release();
    Sound.primary = nullptr;
  }
  if (Sound.object) {
    Sound.object->Release();
    Sound.object = nullptr;
  }
}

}  // namespace

ObjectTable* OpenSoundDevice() {
  if (SoundTable) FreeAllSounds();
  SoundTable = CreateObjectTable(sizeof(SoundRecord), SoundTableStep, FreeSoundRecord);
  if (!SoundTable) return nullptr;
  if (!CreateMultimediaWindow()) return nullptr;
  if (Sound.object) return SoundTable;

  if (!Sound.library) Sound.library = SoundPlatform.library.loadLibrary("DSOUND.DLL");
  if (!Sound.library) return nullptr;
  DirectSoundCreateRoutine create = LookUp<DirectSoundCreateRoutine>(SoundPlatform.library, Sound.library, "DirectSoundCreate");
  if (!create) return nullptr;

  IDirectSound* object = nullptr;
  if (create(nullptr, &object, nullptr) != 0 || !object) return nullptr;
  Sound.object = object;

  Sound.cooperationWindow = MultimediaWindow();
  if (Sound.object->SetCooperativeLevel(Sound.cooperationWindow, DSSCL_PRIORITY) != 0) {
    DropSoundObject();
    return nullptr;
  }
  DSBUFFERDESC description = {};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  description.dwBufferBytes = 0;
  description.lpwfxFormat = nullptr;
  IDirectSoundBuffer* primary = nullptr;
  if (Sound.object->CreateSoundBuffer(&description, &primary, nullptr) != 0 || !primary) {
    DropSoundObject();
    return nullptr;
  }
  Sound.primary = primary;
  return SoundTable;
}

void FreeSoundRecord(ObjectNumber number) {
  if (!SoundTable) return;
  SoundRecord* sound = static_cast<SoundRecord*>(LookupObject(SoundTable, number));
  if (!sound) return;
  if (sound->duplicates.header) {
    RewindList(&sound->duplicates);
    while (AdvanceList(&sound->duplicates)) {
      IDirectSoundBuffer** duplicate = CurrentData<IDirectSoundBuffer*>(sound->duplicates);
      if (*duplicate) (*duplicate)->Release();
      RemoveCurrentElement(&sound->duplicates, 0);
    }
    DestroyList(&sound->duplicates);
  }
  if (sound->streamDecoder && sound->freeStreamDecoder) sound->freeStreamDecoder(sound->streamDecoder);
  sound->streamDecoder = nullptr;
  if (sound->buffer) sound->buffer->Release();
  ReleaseObject(SoundTable, number);
}

void CloseSoundDevice() {
  if (SoundTable) FreeAllSounds();
  // The device's objects go before the library that holds their code.
  DropSoundObject();
  if (Sound.library) {
    SoundPlatform.library.freeLibrary(Sound.library);
    Sound.library = nullptr;
  }
}
