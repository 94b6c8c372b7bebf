// Inside the sound library: the device's state and the library loader that tests replace.
#pragma once
#include <windows.h>
#include <mmsystem.h>   // WAVEFORMATEX, left out by WIN32_LEAN_AND_MEAN
#include <dsound.h>

struct SoundDevice {
  IDirectSound* object;             // kept once opened
  IDirectSoundBuffer* primary;      // alive for the whole run, format untouched
  HMODULE library;                  // "DSOUND.DLL" as loaded
  HWND cooperationWindow;           // the multimedia window at open time
};
extern SoundDevice Sound;


typedef HRESULT(WINAPI* DirectSoundCreateRoutine)(LPCGUID device, LPDIRECTSOUND* object, LPUNKNOWN outer);
