// Opening and closing the default DirectSound device. No sound is played; the record layout is
// kept only so far as freeing a sound needs it.
#pragma once
#include <cstdint>

#include "runtime/lists.h"
#include "runtime/memory.h"

struct IDirectSoundBuffer;

struct SoundRecord {
  IDirectSoundBuffer* buffer;     // non-null while the record is live
  ListVariable duplicates;        // elements hold one IDirectSoundBuffer* each
  int32_t pan, frequency, volume;
  void* streamDecoder;            // or null
  void (*freeStreamDecoder)(void* decoder);
  int32_t reserved[2];
};

ObjectTable* OpenSoundDevice();   // the sound table on success, null on failure
void CloseSoundDevice();
void FreeSoundRecord(ObjectNumber number);

extern ObjectTable* SoundTable;
