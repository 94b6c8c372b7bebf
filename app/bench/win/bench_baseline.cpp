// The bare platform doing the saver's kind of frame, with none of the project's code: its own
// DirectDraw 7 full-screen flip chain at the desktop's size, a system-memory frame (colour fill,
// 100 blends of a 1 x 2 white sprite, one lock) blitted to the back buffer, one Direct3D 7 scene
// of 2,020 textured 16 x 16 quads with the render and texture-stage states the saver's 3D sprites
// set for each quad, and the flip, uncapped. It is what the saver's frame is measured against.
// Prints the same figures as bench_saver: frames per second, the parts' shares, CPU time (from
// Linux's /proc, as Wine's GetProcessTimes misses Wine's own threads), peak memory, and the time
// from process creation to the first flip.
// Run: tests/wine/run.sh BUILD bench_baseline.exe [frames] [warm-up frames]
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/bench/win/bench_support.h"

namespace {

const int QuadsPerFrame = 2020;
const int StarsPerFrame = 100;
const int TextureCount = 9;
const int TextureSide = 16;

// ---- the platform objects ----
IDirectDraw7* directDraw;
IDirectDrawSurface7* primary;
IDirectDrawSurface7* backBuffer;
IDirectDrawSurface7* frame;      // system memory
IDirect3D7* direct3D;
IDirect3DDevice7* device;
IDirectDrawSurface7* textures[TextureCount];
// Our own copies: the program links no DirectX import library.
const GUID DirectDraw7Id = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
const GUID Direct3D7Id = {0xF5049E77, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
GUID deviceGuid = {0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};  // RGB
int width, height;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(nullptr);
      return TRUE;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HRESULT CALLBACK RememberDevice(char*, char*, D3DDEVICEDESC7* description, void*) {
  deviceGuid = description->deviceGUID;  // the last one reported wins, as in the saver
  return D3DENUMRET_OK;
}

void Zero(DDSURFACEDESC2& description) {
  memset(&description, 0, sizeof description);
  description.dwSize = sizeof description;
}

IDirectDrawSurface7* MakeSurface(DWORD caps, int w, int h) {
  DDSURFACEDESC2 description;
  Zero(description);
  description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  description.dwWidth = static_cast<DWORD>(w);
  description.dwHeight = static_cast<DWORD>(h);
  description.ddsCaps.dwCaps = caps;
  IDirectDrawSurface7* surface = nullptr;
  return directDraw->CreateSurface(&description, &surface, nullptr) == 0 ? surface : nullptr;
}

// A round glow of one of nine hues on black (black is the colour key).
bool FillTexture(IDirectDrawSurface7* texture, int hue) {
  DDSURFACEDESC2 lock;
  Zero(lock);
  if (texture->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) != 0) return false;
  const bool bits32 = lock.ddpfPixelFormat.dwRGBBitCount == 32;
  for (int y = 0; y < TextureSide; ++y) {
    uint8_t* row = static_cast<uint8_t*>(lock.lpSurface) + y * lock.lPitch;
    for (int x = 0; x < TextureSide; ++x) {
      const int dx = 2 * x - 15, dy = 2 * y - 15, r2 = dx * dx + dy * dy;
      const int level = r2 >= 225 ? 0 : 255 - r2 * 255 / 225;
      const int red = level * (hue % 3 + 1) / 3, green = level * ((hue / 3) % 3 + 1) / 3, blue = level;
      if (bits32) reinterpret_cast<uint32_t*>(row)[x] = static_cast<uint32_t>(red << 16 | green << 8 | blue);
      else reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
    }
  }
  texture->Unlock(nullptr);
  DDCOLORKEY key = {0, 0};
  texture->SetColorKey(DDCKEY_SRCBLT, &key);
  return true;
}

bool OpenScreen(HWND window) {
  HMODULE ddraw = LoadLibraryA("DDRAW.DLL");
  typedef HRESULT(WINAPI * CreateEx)(GUID*, void**, REFIID, IUnknown*);
  CreateEx create = ddraw ? reinterpret_cast<CreateEx>(reinterpret_cast<void*>(GetProcAddress(ddraw, "DirectDrawCreateEx"))) : nullptr;
  if (!create || create(nullptr, reinterpret_cast<void**>(&directDraw), DirectDraw7Id, nullptr) != 0) return false;
  if (directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) != 0) return false;
  if (directDraw->SetDisplayMode(width, height, 32, 0, 0) != 0) return false;
  DDSURFACEDESC2 description;
  Zero(description);
  description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  description.dwBackBufferCount = 1;
  description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  if (directDraw->CreateSurface(&description, &primary, nullptr) != 0) return false;
  DDSCAPS2 caps = {};
  caps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
  if (primary->GetAttachedSurface(&caps, &backBuffer) != 0) return false;
  frame = MakeSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, width, height);
  if (!frame) return false;
  for (int i = 0; i < TextureCount; ++i) {
    textures[i] = MakeSurface(DDSCAPS_TEXTURE, TextureSide, TextureSide);
    if (!textures[i] || !FillTexture(textures[i], i)) return false;
  }
  if (directDraw->QueryInterface(Direct3D7Id, reinterpret_cast<void**>(&direct3D)) != 0) return false;
  direct3D->EnumDevices(RememberDevice, nullptr);
  return direct3D->CreateDevice(deviceGuid, backBuffer, &device) == 0;
}

// Additive-style star blend on 32-bit pixels through a product table, as a saver would do it.
int blendTable[256][256];
struct Star {
  int x, y, speed, intensity;
};
std::vector<Star> stars;

// Time of the colour fill, the lock with the blends, and the blit, of each frame. With Wine's
// command stream on, the fill is where the program waits for the previous frame's 3D scene.
std::vector<double> fillTimes, blendTimes, blitTimes;

void SoftwareFrame() {
  const double t0 = Now();
  DDBLTFX fill;
  memset(&fill, 0, sizeof fill);
  fill.dwSize = sizeof fill;
  fill.dwFillColor = 0;
  frame->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);
  const double t1 = Now();
  DDSURFACEDESC2 lock;
  Zero(lock);
  if (frame->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) == 0) {
    for (Star& star : stars) {
      star.y = star.y + star.speed >= height - 1 ? 0 : star.y + star.speed;
      for (int row = 0; row < 2; ++row) {
        uint32_t* p = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lock.lpSurface) + (star.y + row) * lock.lPitch) + star.x;
        const uint32_t d = *p;
        uint32_t result = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const int v = blendTable[255][star.intensity] + blendTable[(d >> shift) & 0xFF][256 - star.intensity];
          result |= static_cast<uint32_t>(v > 255 ? 255 : v) << shift;
        }
        *p = result;
      }
    }
    frame->Unlock(nullptr);
  }
  const double t2 = Now();
  backBuffer->Blt(nullptr, frame, nullptr, DDBLT_WAIT, nullptr);
  const double t3 = Now();
  fillTimes.push_back(t1 - t0);
  blendTimes.push_back(t2 - t1);
  blitTimes.push_back(t3 - t2);
}

struct Quad {
  float x, y;
  DWORD alpha;
  int texture;
};
std::vector<Quad> quads;

void Scene() {
  if (device->BeginScene() != 0) return;
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  for (const Quad& q : quads) {
    const D3DCOLOR colour = q.alpha << 24 | 0xFFFFFF;
    D3DTLVERTEX v[4] = {};
    const float s = static_cast<float>(TextureSide);
    const float xs[4] = {0, s, 0, s}, ys[4] = {0, 0, s, s};
    for (int i = 0; i < 4; ++i) {
      v[i].sx = q.x + xs[i];
      v[i].sy = q.y + ys[i];
      v[i].rhw = 1.0f;
      v[i].color = colour;
      v[i].tu = xs[i] / s;
      v[i].tv = ys[i] / s;
    }
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_POINT);
    device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
    device->SetTexture(0, textures[q.texture]);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, v, 4, 0);
  }
  device->EndScene();
}

void Flip() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  primary->Flip(nullptr, DDFLIP_WAIT);
}

// Trail-like positions: twenty rosette arms of 101 points around the centre, ages fading. As in
// the saver, all emitters lay the same sprite, which changes about every 51 frames, so a frame's
// quads use one or two textures in long runs.
void MakeQuads(int frameNumber) {
  quads.clear();
  for (int i = 0; i < QuadsPerFrame; ++i) {
    const int emitter = i % 20, age = i / 20;
    const double angle = (emitter * 18 + age * 2 + frameNumber) * 3.14159265 / 180;
    const double radius = (height / 3.0) * (0.3 + 0.7 * ((age * 7 + emitter) % 101) / 100.0);
    quads.push_back({static_cast<float>(width / 2 + radius * cos(angle) - 8), static_cast<float>(height / 2 + radius * sin(angle) - 8),
                     static_cast<DWORD>(age * 255 / 100), ((frameNumber - age + 5100) / 51) % TextureCount});
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 600;
  const int warmUp = argc > 2 ? std::max(0, atoi(argv[2])) : 150;
  const char* csmt = getenv("WINE_D3D_CONFIG");
  const double sinceCreationAtMain = SinceCreation();
  const std::string procDir = FindOwnProcess();
  const double start = Now();

  width = GetSystemMetrics(SM_CXSCREEN);
  height = GetSystemMetrics(SM_CYSCREEN);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "BaselineWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "BaselineWindow", "Baseline", WS_POPUP, 0, 0, width, height, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (!window) {
    printf("the window could not be made\n");
    return 1;
  }
  ShowWindow(window, SW_SHOWMAXIMIZED);
  ShowCursor(FALSE);
  if (!OpenScreen(window)) {
    printf("the full screen or its Direct3D device could not be opened at %d x %d\n", width, height);
    return 1;
  }
  for (int v = 0; v < 256; ++v)
    for (int k = 0; k < 256; ++k) blendTable[v][k] = (v * 256) / (65280 / (k + 1));
  for (int i = 0; i < StarsPerFrame; ++i)
    stars.push_back({(i * 7919) % width, (i * 104729) % (height - 2), 1 + i % 3, std::min(255, 43 + (i % 10) * 22)});
  MakeQuads(0);
  const double openTime = Now() - start;

  // The first frame, and with it Direct3D's first draw.
  SoftwareFrame();
  Scene();
  Flip();
  const double firstFlip = Now() - start;
  const double firstFlipSinceCreation = SinceCreation();
  const double firstFlipUnix = UnixNow();

  printf("desktop %d x %d x 32, WINE_D3D_CONFIG=%s\n", width, height, csmt ? csmt : "(unset)");
  std::string load = ReadLinuxFile("/proc/loadavg");
  printf("machine load before: %s", load.empty() ? "(unknown)\n" : load.c_str());
  printf("process creation to main %.0f ms; set-up (window, DirectDraw, surfaces, Direct3D device) %.0f ms; first "
         "flip %.0f ms after main, %.0f ms after process creation\n",
         sinceCreationAtMain * 1000, openTime * 1000, firstFlip * 1000, firstFlipSinceCreation * 1000);

  std::vector<double> parts[3];
  const char* names[3] = {"software frame (clear, stars, blit)", "3D scene (2,020 quads)", "flip"};
  for (int i = 0; i < warmUp; ++i) {
    MakeQuads(i);
    SoftwareFrame();
    Scene();
    Flip();
  }
  fillTimes.clear();
  blendTimes.clear();
  blitTimes.clear();
  const long long ticksBefore = ProcessTicks(procDir);
  const double wallStart = Now();
  for (int i = 0; i < frames; ++i) {
    MakeQuads(warmUp + i);
    const double t0 = Now();
    SoftwareFrame();
    const double t1 = Now();
    Scene();
    const double t2 = Now();
    Flip();
    const double t3 = Now();
    parts[0].push_back(t1 - t0);
    parts[1].push_back(t2 - t1);
    parts[2].push_back(t3 - t2);
  }
  const double wall = Now() - wallStart;
  const long long ticksAfter = ProcessTicks(procDir);

  const double fps = frames / wall;
  printf("%d frames after %d warm-up frames, %d quads per frame: %.1f frames/s (%.2f ms a frame)\n", frames, warmUp,
         QuadsPerFrame, fps, wall * 1000 / frames);
  for (int p = 0; p < 3; ++p)
    printf("  %-45s %5.1f %%  mean %7.2f ms  median %7.2f ms\n", names[p], 100 * Sum(parts[p]) / wall,
           Sum(parts[p]) * 1000 / frames, Median(parts[p]) * 1000);
  printf("    of which: colour fill median %.2f ms, lock + 100 blends + unlock %.2f ms, blit %.2f ms\n",
         Median(fillTimes) * 1000, Median(blendTimes) * 1000, Median(blitTimes) * 1000);
  double cores = -1;
  if (ticksBefore >= 0 && ticksAfter >= 0) {
    const double cpu = (ticksAfter - ticksBefore) / 100.0;
    cores = cpu / wall;
    printf("CPU time of the process over the measured frames: %.2f s in %.2f s (%.2f cores)\n", cpu, wall, cores);
  }
  load = ReadLinuxFile("/proc/loadavg");
  printf("machine load after: %s", load.empty() ? "(unknown)\n" : load.c_str());
  long long peak = -1;
  if (!procDir.empty()) {
    const std::string status = ReadLinuxFile(procDir + "/status");
    peak = StatusKilobytes(status, "VmHWM:");
    printf("memory: peak resident %lld KiB (VmHWM)\n", peak);
  }
  // One line for scripts.
  printf("RESULT fps=%.2f first_flip_unix=%.6f first_flip_since_creation=%.4f cores=%.2f peak_kib=%lld\n", fps,
         firstFlipUnix, firstFlipSinceCreation, cores, peak);
  fflush(stdout);

  device->Release();
  direct3D->Release();
  for (IDirectDrawSurface7* t : textures) t->Release();
  frame->Release();
  backBuffer->Release();
  primary->Release();
  directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
  directDraw->Release();
  return 0;
}
