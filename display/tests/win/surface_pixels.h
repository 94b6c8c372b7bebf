// Reading and writing a DirectDraw surface's pixels through a lock, for the Wine display tests.
#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <cstring>
#include <vector>

struct LockedPixels {
  int32_t width = 0, height = 0, bytes = 0;
  std::vector<uint32_t> values;
  uint32_t At(int32_t x, int32_t y) const { return values[static_cast<size_t>(y) * width + x]; }
};

inline bool ReadPixels(IDirectDrawSurface7* surface, LockedPixels* out) {
  DDSURFACEDESC2 d = {};
  d.dwSize = sizeof(d);
  if (!surface || surface->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return false;
  out->width = static_cast<int32_t>(d.dwWidth);
  out->height = static_cast<int32_t>(d.dwHeight);
  out->bytes = static_cast<int32_t>(d.ddpfPixelFormat.dwRGBBitCount / 8);
  out->values.assign(static_cast<size_t>(out->width) * out->height, 0);
  for (int32_t y = 0; y < out->height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch;
    for (int32_t x = 0; x < out->width; ++x)
      memcpy(&out->values[static_cast<size_t>(y) * out->width + x], row + x * out->bytes, static_cast<size_t>(out->bytes));
  }
  surface->Unlock(nullptr);
  return true;
}

// Writes values row by row from the top-left pixel (as many as fit).
inline bool WritePixels(IDirectDrawSurface7* surface, int32_t width, const std::vector<uint32_t>& values) {
  DDSURFACEDESC2 d = {};
  d.dwSize = sizeof(d);
  if (!surface || surface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  const int32_t bytes = static_cast<int32_t>(d.ddpfPixelFormat.dwRGBBitCount / 8);
  for (size_t i = 0; i < values.size(); ++i) {
    const int32_t x = static_cast<int32_t>(i) % width, y = static_cast<int32_t>(i) / width;
    if (x >= static_cast<int32_t>(d.dwWidth) || y >= static_cast<int32_t>(d.dwHeight)) continue;
    memcpy(static_cast<uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch + x * bytes, &values[i],
           static_cast<size_t>(bytes));
  }
  surface->Unlock(nullptr);
  return true;
}
