// Recording fakes of IDirectDraw7 and IDirectDrawSurface7 (the real interfaces, so the real vtable
// layout), with surfaces that keep pixels in memory. Every call of interest is appended to
// FakeLog as text, e.g. "dd.SetCooperativeLevel(mm,0x11)" or "primary.Flip(0,0x1)".
#pragma once
#include "runtime/tests/win/fault_points.h"
#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "display/win/screen.h"
#include "tests/win/fake_com.h"

struct FakeLog {
  std::vector<std::string> calls;
  void Add(const std::string& call) { calls.push_back(call); }
  void Clear() { calls.clear(); }
  // Calls that start with the prefix, in order.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls)
      if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    return out;
  }
  int Count(const std::string& prefix) const { return static_cast<int>(With(prefix).size()); }
  // Position of the first call equal to text at or after from; -1 when absent.
  int Find(const std::string& text, int from = 0) const {
    for (size_t i = static_cast<size_t>(from); i < calls.size(); ++i)
      if (calls[i] == text) return static_cast<int>(i);
    return -1;
  }
};

inline FakeLog& Log() {
  static FakeLog log;
  return log;
}

inline std::string Hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof(text), "0x%X", v);
  return text;
}

inline std::string WindowName(HWND window) {
  if (!window) return "0";
  if (window == Screen.baseWindow) return "mm";
  return "hwnd";
}

struct FakePixelFormat {
  uint32_t bits = 32;
  uint32_t red = 0xFF0000, green = 0xFF00, blue = 0xFF, alpha = 0;
};

inline FakePixelFormat FormatForDepth(uint32_t bits, bool fiveFiveFive = false) {
  FakePixelFormat f;
  f.bits = bits;
  if (bits == 16) {
    f.red = fiveFiveFive ? 0x7C00 : 0xF800;
    f.green = fiveFiveFive ? 0x3E0 : 0x7E0;
    f.blue = 0x1F;
  } else if (bits == 8) {
    f.red = f.green = f.blue = 0;
  }
  return f;
}

class FakeSurface final : public IDirectDrawSurface7 {
 public:
  std::string name;
  DDSURFACEDESC2 created = {};   // as given to CreateSurface
  FakePixelFormat format;
  int32_t width = 0, height = 0, pitch = 0;
  std::vector<uint8_t> pixels;
  LONG references = 1;
  FakeSurface* attached = nullptr;
  // Scripted results.
  std::deque<HRESULT> flipResults;   // front first; empty: DD_OK
  HRESULT lockResult = DD_OK;
  HRESULT getDCResult = DD_OK;
  HRESULT isLostResult = DD_OK;
  HRESULT bltResult = DD_OK;
  HRESULT setClipperResult = DD_OK;
  bool locked = false;
  IDirectDrawPalette* palette = nullptr;
  DDCOLORKEY colourKey = {0xFFFFFFFF, 0xFFFFFFFF};
  bool colourKeySet = false;
  HDC heldDC = nullptr;

  FakeSurface(const std::string& n, int32_t w, int32_t h, const FakePixelFormat& f) : name(n), format(f), width(w), height(h) {
    pitch = (w * static_cast<int32_t>(f.bits) / 8 + 7) & ~7;   // rows padded, as drivers do
    pixels.assign(static_cast<size_t>(pitch) * h, 0xCD);
  }
  int32_t BytesPerPixel() const { return static_cast<int32_t>(format.bits / 8); }
  uint8_t* At(int32_t x, int32_t y) { return pixels.data() + static_cast<size_t>(y) * pitch + x * BytesPerPixel(); }
  uint32_t Pixel(int32_t x, int32_t y) {
    uint32_t v = 0;
    memcpy(&v, At(x, y), static_cast<size_t>(BytesPerPixel()));
    return v;
  }
  void SetPixel(int32_t x, int32_t y, uint32_t v) { memcpy(At(x, y), &v, static_cast<size_t>(BytesPerPixel())); }
  void Fill(uint32_t v) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) SetPixel(x, y, v);
  }
  void Add(const std::string& call) { Log().Add(name + "." + call); }

  // IUnknown
  FAKE_IUNKNOWN(Add("Release"))
  // IDirectDrawSurface7
  STDMETHOD(AddAttachedSurface)(LPDIRECTDRAWSURFACE7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(AddOverlayDirtyRect)(LPRECT) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(Blt)(LPRECT destination, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx) override {
    FAULT_POINT("surface.Blt");
    std::string call = "Blt(" + std::string(destination ? "rect" : "0") + "," +
                       (source ? static_cast<FakeSurface*>(source)->name : "0") + "," + (sourceRect ? "rect" : "0") +
                       "," + Hex(flags);
    if (fx) call += ",fx" + std::string(fx->dwSize == sizeof(DDBLTFX) ? "" : "(bad size)") + "=" + Hex(fx->dwFillColor);
    Add(call + ")");
    if (bltResult != DD_OK) return bltResult;
    if ((flags & DDBLT_COLORFILL) && fx) {
      Fill(fx->dwFillColor);
    } else if (source) {
      FakeSurface* from = static_cast<FakeSurface*>(source);
      for (int32_t y = 0; y < height && y < from->height; ++y)
        memcpy(At(0, y), from->At(0, y), static_cast<size_t>(std::min(width, from->width) * BytesPerPixel()));
    }
    return DD_OK;
  }
  STDMETHOD(BltBatch)(LPDDBLTBATCH, DWORD, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(BltFast)(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 source, LPRECT rect, DWORD flags) override {
    FAULT_POINT("surface.BltFast");
    FakeSurface* from = static_cast<FakeSurface*>(source);
    Add("BltFast(" + std::to_string(x) + "," + std::to_string(y) + "," + (from ? from->name : "0") + ",{" +
        (rect ? std::to_string(rect->left) + "," + std::to_string(rect->top) + "," + std::to_string(rect->right) +
                    "," + std::to_string(rect->bottom)
              : std::string("all")) +
        "}," + Hex(flags) + ")");
    return DD_OK;
  }
  STDMETHOD(DeleteAttachedSurface)(DWORD, LPDIRECTDRAWSURFACE7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(EnumAttachedSurfaces)(LPVOID, LPDDENUMSURFACESCALLBACK7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(EnumOverlayZOrders)(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(Flip)(LPDIRECTDRAWSURFACE7 target, DWORD flags) override {
    FAULT_POINT("surface.Flip");
    Add("Flip(" + std::string(target ? "target" : "0") + "," + Hex(flags) + ")");
    if (flipResults.empty()) return DD_OK;
    HRESULT result = flipResults.front();
    flipResults.pop_front();
    return result;
  }
  STDMETHOD(GetAttachedSurface)(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* out) override {
    FAULT_POINT_OUT("surface.GetAttachedSurface", out);
    Add("GetAttachedSurface(" + Hex(caps->dwCaps) + ")");
    if (!attached) return DDERR_NOTFOUND;
    attached->AddRef();
    *out = attached;
    return DD_OK;
  }
  STDMETHOD(GetBltStatus)(DWORD) override { FAULT_POINT("surface.GetBltStatus"); return DD_OK; }
  STDMETHOD(GetCaps)(LPDDSCAPS2 caps) override { FAULT_POINT("surface.GetCaps"); *caps = created.ddsCaps; return DD_OK; }
  STDMETHOD(GetClipper)(LPDIRECTDRAWCLIPPER*) override { return DDERR_NOCLIPPERATTACHED; }
  STDMETHOD(GetColorKey)(DWORD, LPDDCOLORKEY key) override { FAULT_POINT("surface.GetColorKey"); *key = colourKey; return colourKeySet ? DD_OK : DDERR_NOCOLORKEY; }
  STDMETHOD(GetDC)(HDC* out) override {
    FAULT_POINT_OUT("surface.GetDC", out);
    Add("GetDC");
    if (getDCResult != DD_OK) return getDCResult;
    heldDC = CreateCompatibleDC(nullptr);
    *out = heldDC;
    return DD_OK;
  }
  STDMETHOD(GetFlipStatus)(DWORD) override { FAULT_POINT("surface.GetFlipStatus"); return DD_OK; }
  STDMETHOD(GetOverlayPosition)(LPLONG, LPLONG) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetPalette)(LPDIRECTDRAWPALETTE* out) override {
    FAULT_POINT_OUT("surface.GetPalette", out);
    Add("GetPalette");
    *out = palette;
    if (palette) palette->AddRef();
    return palette ? DD_OK : DDERR_NOPALETTEATTACHED;
  }
  STDMETHOD(GetPixelFormat)(LPDDPIXELFORMAT) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetSurfaceDesc)(LPDDSURFACEDESC2) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(Initialize)(LPDIRECTDRAW, LPDDSURFACEDESC2) override { return DDERR_ALREADYINITIALIZED; }
  STDMETHOD(IsLost)() override {
    FAULT_POINT("surface.IsLost");
    Add("IsLost");
    return isLostResult;
  }
  STDMETHOD(Lock)(LPRECT rect, LPDDSURFACEDESC2 description, DWORD flags, HANDLE) override {
    FAULT_POINT("surface.Lock");
    Add("Lock(" + std::string(rect ? "rect" : "0") + "," + Hex(flags) + ")");
    if (description->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;   // as Wine
    if (lockResult != DD_OK) return lockResult;
    if (locked) return DDERR_SURFACEBUSY;
    locked = true;
    description->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    description->dwWidth = static_cast<DWORD>(width);
    description->dwHeight = static_cast<DWORD>(height);
    description->lPitch = pitch;
    description->lpSurface = pixels.data();
    DDPIXELFORMAT& pf = description->ddpfPixelFormat;
    pf.dwSize = sizeof(pf);
    pf.dwFlags = format.bits == 8 ? DDPF_PALETTEINDEXED8 | DDPF_RGB : DDPF_RGB;
    pf.dwRGBBitCount = format.bits;
    pf.dwRBitMask = format.red;
    pf.dwGBitMask = format.green;
    pf.dwBBitMask = format.blue;
    pf.dwRGBAlphaBitMask = format.alpha;
    return DD_OK;
  }
  STDMETHOD(ReleaseDC)(HDC dc) override {
    FAULT_POINT("surface.ReleaseDC");
    Add("ReleaseDC");
    if (!heldDC || dc != heldDC) return DDERR_NODC;
    DeleteDC(heldDC);
    heldDC = nullptr;
    return DD_OK;
  }
  STDMETHOD(Restore)() override {
    FAULT_POINT("surface.Restore");
    Add("Restore");
    isLostResult = DD_OK;
    return DD_OK;
  }
  STDMETHOD(SetClipper)(LPDIRECTDRAWCLIPPER clipper) override {
    FAULT_POINT("surface.SetClipper");
    Add(std::string("SetClipper(") + (clipper ? "clipper" : "0") + ")");
    return setClipperResult;
  }
  STDMETHOD(SetColorKey)(DWORD flags, LPDDCOLORKEY key) override {
    FAULT_POINT("surface.SetColorKey");
    Add("SetColorKey(" + Hex(flags) + "," + Hex(key->dwColorSpaceLowValue) + "," + Hex(key->dwColorSpaceHighValue) + ")");
    colourKey = *key;
    colourKeySet = true;
    return DD_OK;
  }
  STDMETHOD(SetOverlayPosition)(LONG, LONG) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetPalette)(LPDIRECTDRAWPALETTE p) override {
    FAULT_POINT("surface.SetPalette");
    Add(std::string("SetPalette(") + (p ? "palette" : "0") + ")");
    return DD_OK;
  }
  STDMETHOD(Unlock)(LPRECT) override {
    FAULT_POINT("surface.Unlock");
    Add("Unlock");
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
  }
  STDMETHOD(UpdateOverlay)(LPRECT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD, LPDDOVERLAYFX) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(UpdateOverlayDisplay)(DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(UpdateOverlayZOrder)(DWORD, LPDIRECTDRAWSURFACE7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetDDInterface)(LPVOID*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(PageLock)(DWORD) override { FAULT_POINT("surface.PageLock"); return DD_OK; }
  STDMETHOD(PageUnlock)(DWORD) override { FAULT_POINT("surface.PageUnlock"); return DD_OK; }
  STDMETHOD(SetSurfaceDesc)(LPDDSURFACEDESC2, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetPrivateData)(REFGUID, LPVOID, DWORD, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetPrivateData)(REFGUID, LPVOID, LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(FreePrivateData)(REFGUID) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetUniquenessValue)(LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(ChangeUniquenessValue)() override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetPriority)(DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetPriority)(LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetLOD)(DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetLOD)(LPDWORD) override { return DDERR_UNSUPPORTED; }
};

class FakePalette final : public IDirectDrawPalette {
 public:
  LONG references = 1;
  FAKE_IUNKNOWN(Log().Add("palette.Release"))
  STDMETHOD(GetCaps)(LPDWORD) override { FAULT_POINT("palette.GetCaps"); return DD_OK; }
  STDMETHOD(GetEntries)(DWORD, DWORD, DWORD, LPPALETTEENTRY) override { FAULT_POINT("palette.GetEntries"); return DD_OK; }
  STDMETHOD(Initialize)(LPDIRECTDRAW, DWORD, LPPALETTEENTRY) override { FAULT_POINT("palette.Initialize"); return DD_OK; }
  STDMETHOD(SetEntries)(DWORD, DWORD, DWORD, LPPALETTEENTRY) override { FAULT_POINT("palette.SetEntries"); return DD_OK; }
};

// Handed out by FakeDirectDraw::CreateClipper when a test gives one.
class FakeClipper final : public IDirectDrawClipper {
 public:
  LONG references = 1;
  HRESULT setWindowResult = DD_OK;
  FAKE_IUNKNOWN(Log().Add("clipper.Release"))
  STDMETHOD(GetClipList)(LPRECT, LPRGNDATA, LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetHWnd)(HWND*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(Initialize)(LPDIRECTDRAW, DWORD) override { return DDERR_ALREADYINITIALIZED; }
  STDMETHOD(IsClipListChanged)(WINBOOL*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetClipList)(LPRGNDATA, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(SetHWnd)(DWORD flags, HWND window) override {
    FAULT_POINT("clipper.SetHWnd");
    Log().Add("clipper.SetHWnd(" + Hex(flags) + "," + WindowName(window) + ")");
    return setWindowResult;
  }
};

class FakeDirectDraw final : public IDirectDraw7 {
 public:
  LONG references = 1;
  FakePixelFormat display;          // the display mode's format
  bool fiveFiveFive = false;        // 16-bit modes are 5-5-5
  std::vector<std::unique_ptr<FakeSurface>> surfaces;
  FakeSurface* primary = nullptr;
  FakeSurface* back = nullptr;
  // Scripted results.
  HRESULT cooperativeResult = DD_OK;
  HRESULT displayModeResult = DD_OK;
  HRESULT createSurfaceResult = DD_OK;   // for every CreateSurface
  HRESULT newBltResult = DD_OK;          // given to every new off-screen surface
  HRESULT newLockResult = DD_OK;
  int surfacesCreated = 0;
  DWORD monitorFrequency = 0;
  std::deque<std::pair<HRESULT, DWORD>> scanLines;   // empty: fails (vertical blank)
  IDirectDrawClipper* clipper = nullptr;             // handed out by CreateClipper; none: refused
  HRESULT newSetClipperResult = DD_OK;               // given to every new primary surface
  IUnknown* direct3D = nullptr;   // handed out for IID_IDirect3D7 when set
  FakeSurface* lastSurface() { return surfaces.empty() ? nullptr : surfaces.back().get(); }

  void Add(const std::string& call) { Log().Add("dd." + call); }

  STDMETHOD_(HRESULT, QueryInterface)(REFIID id, void** out) override {
    static const GUID Direct3D7 = {0xF5049E77, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
    *out = nullptr;
    if (!direct3D || !IsEqualGUID(id, Direct3D7)) return E_NOINTERFACE;
    FAULT_POINT_OUT("dd.QueryInterface", out);
    direct3D->AddRef();
    *out = direct3D;
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++references); }
  STDMETHOD_(ULONG, Release)() override {
    Add("Release");
    return static_cast<ULONG>(--references);
  }
  STDMETHOD(Compact)() override { FAULT_POINT("dd.Compact"); return DD_OK; }
  STDMETHOD(CreateClipper)(DWORD flags, LPDIRECTDRAWCLIPPER* out, IUnknown*) override {
    FAULT_POINT_OUT("dd.CreateClipper", out);
    Add("CreateClipper(" + Hex(flags) + ")");
    if (!clipper) return DDERR_UNSUPPORTED;
    clipper->AddRef();
    *out = clipper;
    return DD_OK;
  }
  STDMETHOD(CreatePalette)(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(CreateSurface)(LPDDSURFACEDESC2 d, LPDIRECTDRAWSURFACE7* out, IUnknown* outer) override {
    FAULT_POINT_OUT("dd.CreateSurface", out);
    std::string call = "CreateSurface(size=" + std::string(d->dwSize == sizeof(DDSURFACEDESC2) ? "ok" : std::to_string(d->dwSize)) +
                       ",flags=" + Hex(d->dwFlags) + ",caps=" + Hex(d->ddsCaps.dwCaps);
    if (d->dwFlags & DDSD_WIDTH) call += ",w=" + std::to_string(d->dwWidth);
    if (d->dwFlags & DDSD_HEIGHT) call += ",h=" + std::to_string(d->dwHeight);
    if (d->dwFlags & DDSD_BACKBUFFERCOUNT) call += ",back=" + std::to_string(d->dwBackBufferCount);
    if (d->dwFlags & DDSD_PIXELFORMAT) {
      const DDPIXELFORMAT& pf = d->ddpfPixelFormat;
      call += ",pf=" + Hex(pf.dwFlags) + "/" + std::to_string(pf.dwRGBBitCount) + "/" + Hex(pf.dwRBitMask) + "/" +
              Hex(pf.dwGBitMask) + "/" + Hex(pf.dwBBitMask) + "/" + Hex(pf.dwRGBAlphaBitMask);
    }
    Add(call + (outer ? ",outer)" : ")"));
    const int number = surfacesCreated++;
    if (createSurfaceResult != DD_OK) return createSurfaceResult;
    if (d->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    FakePixelFormat format = display;
    if (d->dwFlags & DDSD_PIXELFORMAT) {
      format.bits = d->ddpfPixelFormat.dwRGBBitCount;
      format.red = d->ddpfPixelFormat.dwRBitMask;
      format.green = d->ddpfPixelFormat.dwGBitMask;
      format.blue = d->ddpfPixelFormat.dwBBitMask;
      format.alpha = d->ddpfPixelFormat.dwRGBAlphaBitMask;
    }
    if (d->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) {
      const int32_t w = static_cast<int32_t>(Screen.screenWidth), h = static_cast<int32_t>(Screen.screenHeight);
      surfaces.emplace_back(new FakeSurface("primary", w, h, format));
      primary = surfaces.back().get();
      if (d->dwFlags & DDSD_BACKBUFFERCOUNT) {
        surfaces.emplace_back(new FakeSurface("back", w, h, format));
        back = surfaces.back().get();
        primary->attached = back;
      }
      primary->created = *d;
      primary->setClipperResult = newSetClipperResult;
      *out = primary;
      return DD_OK;
    }
    surfaces.emplace_back(new FakeSurface("surface" + std::to_string(number), static_cast<int32_t>(d->dwWidth),
                                          static_cast<int32_t>(d->dwHeight), format));
    surfaces.back()->created = *d;
    surfaces.back()->bltResult = newBltResult;
    surfaces.back()->lockResult = newLockResult;
    *out = surfaces.back().get();
    return DD_OK;
  }
  STDMETHOD(DuplicateSurface)(LPDIRECTDRAWSURFACE7, LPDIRECTDRAWSURFACE7*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(EnumDisplayModes)(DWORD, LPDDSURFACEDESC2, LPVOID, LPDDENUMMODESCALLBACK2) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(EnumSurfaces)(DWORD, LPDDSURFACEDESC2, LPVOID, LPDDENUMSURFACESCALLBACK7) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(FlipToGDISurface)() override { FAULT_POINT("dd.FlipToGDISurface"); return DD_OK; }
  STDMETHOD(GetCaps)(LPDDCAPS, LPDDCAPS) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetDisplayMode)(LPDDSURFACEDESC2) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetFourCCCodes)(LPDWORD, LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetGDISurface)(LPDIRECTDRAWSURFACE7*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetMonitorFrequency)(LPDWORD frequency) override {
    FAULT_POINT("dd.GetMonitorFrequency");
    Add("GetMonitorFrequency");
    *frequency = monitorFrequency;
    return monitorFrequency ? DD_OK : DDERR_UNSUPPORTED;
  }
  STDMETHOD(GetScanLine)(LPDWORD line) override {
    FAULT_POINT("dd.GetScanLine");
    Add("GetScanLine");
    if (scanLines.empty()) return DDERR_VERTICALBLANKINPROGRESS;
    std::pair<HRESULT, DWORD> next = scanLines.front();
    scanLines.pop_front();
    *line = next.second;
    return next.first;
  }
  STDMETHOD(GetVerticalBlankStatus)(WINBOOL*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(Initialize)(GUID*) override { return DDERR_ALREADYINITIALIZED; }
  STDMETHOD(RestoreDisplayMode)() override { FAULT_POINT("dd.RestoreDisplayMode"); return DD_OK; }
  STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override {
    FAULT_POINT("dd.SetCooperativeLevel");
    Add("SetCooperativeLevel(" + WindowName(window) + "," + Hex(flags) + ")");
    return cooperativeResult;
  }
  STDMETHOD(SetDisplayMode)(DWORD w, DWORD h, DWORD bits, DWORD refresh, DWORD flags) override {
    FAULT_POINT("dd.SetDisplayMode");
    Add("SetDisplayMode(" + std::to_string(w) + "," + std::to_string(h) + "," + std::to_string(bits) + "," +
        std::to_string(refresh) + "," + Hex(flags) + ")");
    if (displayModeResult == DD_OK) display = FormatForDepth(bits, fiveFiveFive);
    return displayModeResult;
  }
  STDMETHOD(WaitForVerticalBlank)(DWORD, HANDLE) override { FAULT_POINT("dd.WaitForVerticalBlank"); return DD_OK; }
  STDMETHOD(GetAvailableVidMem)(LPDDSCAPS2, LPDWORD, LPDWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(GetSurfaceFromDC)(HDC, LPDIRECTDRAWSURFACE7*) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(RestoreAllSurfaces)() override {
    FAULT_POINT("dd.RestoreAllSurfaces");
    Add("RestoreAllSurfaces");
    return DD_OK;
  }
  STDMETHOD(TestCooperativeLevel)() override { FAULT_POINT("dd.TestCooperativeLevel"); return DD_OK; }
  STDMETHOD(GetDeviceIdentifier)(LPDDDEVICEIDENTIFIER2, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(StartModeTest)(LPSIZE, DWORD, DWORD) override { return DDERR_UNSUPPORTED; }
  STDMETHOD(EvaluateMode)(DWORD, DWORD*) override { return DDERR_UNSUPPORTED; }
};
