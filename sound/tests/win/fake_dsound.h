// Recording fakes of IDirectSound and IDirectSoundBuffer (the real vtables, through the
// interface declarations of dsound.h) and of the DSOUND.DLL loader.
#pragma once
#include "runtime/tests/win/fault_points.h"
#include <cstring>
#include <string>
#include <vector>

#include "sound/win/sound_device.h"
#include "tests/win/fake_com.h"

namespace fakesound {

inline std::vector<std::string> Log;
inline void Note(const std::string& call) { Log.push_back(call); }

#define FAKE_UNUSED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { Note(this->name_ + "." #name); return E_NOTIMPL; }

struct Buffer : IDirectSoundBuffer {
  std::string name_;
  LONG references = 1;
  explicit Buffer(const std::string& name) : name_(name) {}
  FAKE_IUNKNOWN(Note(name_ + ".Release"))
  FAKE_UNUSED(GetCaps, LPDSBCAPS)
  FAKE_UNUSED(GetCurrentPosition, LPDWORD, LPDWORD)
  FAKE_UNUSED(GetFormat, LPWAVEFORMATEX, DWORD, LPDWORD)
  FAKE_UNUSED(GetVolume, LPLONG)
  FAKE_UNUSED(GetPan, LPLONG)
  FAKE_UNUSED(GetFrequency, LPDWORD)
  FAKE_UNUSED(GetStatus, LPDWORD)
  FAKE_UNUSED(Initialize, LPDIRECTSOUND, LPCDSBUFFERDESC)
  FAKE_UNUSED(Lock, DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD)
  FAKE_UNUSED(Play, DWORD, DWORD, DWORD)
  FAKE_UNUSED(SetCurrentPosition, DWORD)
  FAKE_UNUSED(SetFormat, LPCWAVEFORMATEX)
  FAKE_UNUSED(SetVolume, LONG)
  FAKE_UNUSED(SetPan, LONG)
  FAKE_UNUSED(SetFrequency, DWORD)
  FAKE_UNUSED(Stop)
  FAKE_UNUSED(Unlock, LPVOID, DWORD, LPVOID, DWORD)
  FAKE_UNUSED(Restore)
};

struct Device : IDirectSound {
  std::string name_ = "sound";
  LONG references = 1;
  HRESULT cooperativeResult = 0, bufferResult = 0;
  HWND cooperativeWindow = nullptr;
  DWORD cooperativeLevel = 0;
  DSBUFFERDESC description = {};
  bool descriptionGiven = false;
  IUnknown* bufferOuter = reinterpret_cast<IUnknown*>(1);
  Buffer primary{"primary"};

  FAKE_IUNKNOWN(Note("sound.Release"))
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC d, LPLPDIRECTSOUNDBUFFER out, IUnknown* outer) override {
    FAULT_POINT_OUT("sound.CreateSoundBuffer", out);
    Note("sound.CreateSoundBuffer");
    descriptionGiven = d != nullptr;
    if (d) memcpy(&description, d, d->dwSize < sizeof description ? d->dwSize : sizeof description);
    bufferOuter = outer;
    if (bufferResult != 0) return bufferResult;
    *out = &primary;
    return 0;
  }
  FAKE_UNUSED(GetCaps, LPDSCAPS)
  FAKE_UNUSED(DuplicateSoundBuffer, LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER)
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override {
    FAULT_POINT("sound.SetCooperativeLevel");
    Note("sound.SetCooperativeLevel");
    cooperativeWindow = window;
    cooperativeLevel = level;
    return cooperativeResult;
  }
  FAKE_UNUSED(Compact)
  FAKE_UNUSED(GetSpeakerConfig, LPDWORD)
  FAKE_UNUSED(SetSpeakerConfig, DWORD)
  FAKE_UNUSED(Initialize, LPCGUID)
};
#undef FAKE_UNUSED

struct Loader : FakeDllOffer {
  static constexpr const char* Library = "dsound";
  static constexpr const char* Routine = "DirectSoundCreate";
  static void Note(const std::string& call) { fakesound::Note(call); }
  const GUID* deviceId = reinterpret_cast<const GUID*>(1);
  IUnknown* outer = reinterpret_cast<IUnknown*>(1);
  Device* device = nullptr;
};
inline Loader Dll;
inline HRESULT WINAPI CreateFake(LPCGUID device, LPDIRECTSOUND* object, LPUNKNOWN outer) {
  Note("DirectSoundCreate");
  FAULT_POINT_OUT("DirectSoundCreate", object);
  Dll.deviceId = device;
  Dll.outer = outer;
  if (Dll.createResult != 0) return Dll.createResult;
  *object = Dll.device;
  return 0;
}
using DllLoader = FakeLoader<Loader, Dll, CreateFake>;

}  // namespace fakesound
