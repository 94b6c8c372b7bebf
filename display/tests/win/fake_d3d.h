// Recording fakes of IDirect3D7 and IDirect3DDevice7 (the real interfaces, so the real vtable
// layout). Calls go to the shared FakeLog, e.g. "d3d.CreateDevice(RGB,back)",
// "device.SetRenderState(27,1)", "device.SetTextureStageState(0,16,1)", "device.DrawPrimitive(5,0x1C4,4,0x0)".
#pragma once
#include "runtime/tests/win/fault_points.h"
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "display/tests/win/fake_ddraw.h"
#include "tests/win/fake_com.h"

namespace fake3d {

const GUID TnLHalDevice = {0xF5049E78, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
const GUID HalDevice = {0x84E63DE0, 0x46AA, 0x11CF, {0x81, 0x6F, 0x00, 0x00, 0xC0, 0x20, 0x15, 0x6E}};
const GUID RgbDevice = {0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

inline std::string GuidName(const GUID& id) {
  if (IsEqualGUID(id, TnLHalDevice)) return "TnLHAL";
  if (IsEqualGUID(id, HalDevice)) return "HAL";
  if (IsEqualGUID(id, RgbDevice)) return "RGB";
  if (IsEqualGUID(id, GUID{})) return "null";
  return "other";
}

inline std::string SurfaceName(IDirectDrawSurface7* surface) {
  return surface ? static_cast<FakeSurface*>(surface)->name : "0";
}

}  // namespace fake3d

class FakeDevice final : public IDirect3DDevice7 {
 public:
  LONG references = 1;
  std::string name = "device";
  IDirectDrawSurface7* target = nullptr;
  HRESULT beginSceneResult = D3D_OK;
  bool inScene = false;
  std::vector<std::vector<D3DTLVERTEX>> drawn;   // the vertices of every DrawPrimitive

  void Add(const std::string& call) { Log().Add(name + "." + call); }

  FAKE_IUNKNOWN(Add("Release"))
  STDMETHOD(GetCaps)(D3DDEVICEDESC7*) override { return E_NOTIMPL; }
  STDMETHOD(EnumTextureFormats)(LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return E_NOTIMPL; }
  STDMETHOD(BeginScene)() override {
    FAULT_POINT("device.BeginScene");
    Add("BeginScene");
    if (beginSceneResult != D3D_OK) return beginSceneResult;
    if (inScene) return D3DERR_SCENE_IN_SCENE;
    inScene = true;
    return D3D_OK;
  }
  STDMETHOD(EndScene)() override {
    FAULT_POINT("device.EndScene");
    Add("EndScene");
    if (!inScene) return D3DERR_SCENE_NOT_IN_SCENE;
    inScene = false;
    return D3D_OK;
  }
  STDMETHOD(GetDirect3D)(IDirect3D7**) override { return E_NOTIMPL; }
  STDMETHOD(SetRenderTarget)(IDirectDrawSurface7*, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(GetRenderTarget)(IDirectDrawSurface7**) override { return E_NOTIMPL; }
  STDMETHOD(Clear)(DWORD, D3DRECT*, DWORD, D3DCOLOR, D3DVALUE, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  STDMETHOD(SetViewport)(D3DVIEWPORT7*) override { return E_NOTIMPL; }
  STDMETHOD(MultiplyTransform)(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  STDMETHOD(GetViewport)(D3DVIEWPORT7*) override { return E_NOTIMPL; }
  STDMETHOD(SetMaterial)(D3DMATERIAL7*) override { return E_NOTIMPL; }
  STDMETHOD(GetMaterial)(D3DMATERIAL7*) override { return E_NOTIMPL; }
  STDMETHOD(SetLight)(DWORD, D3DLIGHT7*) override { return E_NOTIMPL; }
  STDMETHOD(GetLight)(DWORD, D3DLIGHT7*) override { return E_NOTIMPL; }
  STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE state, DWORD value) override {
    FAULT_POINT("device.SetRenderState");
    Add("SetRenderState(" + std::to_string(state) + "," + std::to_string(value) + ")");
    return D3D_OK;
  }
  STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE, LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(BeginStateBlock)() override { return E_NOTIMPL; }
  STDMETHOD(EndStateBlock)(LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(PreLoad)(IDirectDrawSurface7*) override { return E_NOTIMPL; }
  STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD count, DWORD flags) override {
    FAULT_POINT("device.DrawPrimitive");
    Add("DrawPrimitive(" + std::to_string(type) + "," + Hex(fvf) + "," + std::to_string(count) + "," + Hex(flags) + ")");
    const D3DTLVERTEX* v = static_cast<const D3DTLVERTEX*>(vertices);
    drawn.emplace_back(v, v + count);
    return D3D_OK;
  }
  STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE, DWORD, void*, DWORD, WORD*, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetClipStatus)(D3DCLIPSTATUS*) override { return E_NOTIMPL; }
  STDMETHOD(GetClipStatus)(D3DCLIPSTATUS*) override { return E_NOTIMPL; }
  STDMETHOD(DrawPrimitiveStrided)(D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, DWORD) override {
    FAULT_POINT("device.DrawPrimitiveStrided");
    return E_NOTIMPL;
  }
  STDMETHOD(DrawIndexedPrimitiveStrided)(D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, WORD*, DWORD,
                                         DWORD) override {
    return E_NOTIMPL;
  }
  STDMETHOD(DrawPrimitiveVB)(D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(DrawIndexedPrimitiveVB)(D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, WORD*, DWORD, DWORD) override {
    FAULT_POINT("device.DrawIndexedPrimitiveVB");
    return E_NOTIMPL;
  }
  STDMETHOD(ComputeSphereVisibility)(D3DVECTOR*, D3DVALUE*, DWORD, DWORD, DWORD*) override { return E_NOTIMPL; }
  STDMETHOD(GetTexture)(DWORD, IDirectDrawSurface7**) override { return E_NOTIMPL; }
  STDMETHOD(SetTexture)(DWORD stage, IDirectDrawSurface7* surface) override {
    FAULT_POINT("device.SetTexture");
    Add("SetTexture(" + std::to_string(stage) + "," + fake3d::SurfaceName(surface) + ")");
    return D3D_OK;
  }
  STDMETHOD(GetTextureStageState)(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(SetTextureStageState)(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override {
    FAULT_POINT("device.SetTextureStageState");
    Add("SetTextureStageState(" + std::to_string(stage) + "," + std::to_string(state) + "," + std::to_string(value) + ")");
    return D3D_OK;
  }
  STDMETHOD(ValidateDevice)(LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(ApplyStateBlock)(DWORD) override { return E_NOTIMPL; }
  STDMETHOD(CaptureStateBlock)(DWORD) override { return E_NOTIMPL; }
  STDMETHOD(DeleteStateBlock)(DWORD) override { return E_NOTIMPL; }
  STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE, LPDWORD) override { return E_NOTIMPL; }
  STDMETHOD(Load)(IDirectDrawSurface7*, POINT*, IDirectDrawSurface7*, RECT*, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(LightEnable)(DWORD, WINBOOL) override { return E_NOTIMPL; }
  STDMETHOD(GetLightEnable)(DWORD, WINBOOL*) override { return E_NOTIMPL; }
  STDMETHOD(SetClipPlane)(DWORD, D3DVALUE*) override { return E_NOTIMPL; }
  STDMETHOD(GetClipPlane)(DWORD, D3DVALUE*) override { return E_NOTIMPL; }
  STDMETHOD(GetInfo)(DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
};

class FakeDirect3D final : public IDirect3D7 {
 public:
  LONG references = 1;
  // The devices EnumDevices reports, in order, and its result.
  std::vector<GUID> devices = {fake3d::TnLHalDevice, fake3d::HalDevice, fake3d::RgbDevice};
  HRESULT enumResult = D3D_OK;
  HRESULT createResult = D3D_OK;
  std::deque<FakeDevice*> nextDevices;   // handed out by CreateDevice, front first

  FAKE_IUNKNOWN(Log().Add("d3d.Release"))
  STDMETHOD(EnumDevices)(LPD3DENUMDEVICESCALLBACK7 callback, void* context) override {
    FAULT_POINT("d3d.EnumDevices");
    Log().Add("d3d.EnumDevices");
    if (enumResult != D3D_OK) return enumResult;
    for (const GUID& id : devices) {
      D3DDEVICEDESC7 description;
      memset(&description, 0, sizeof(description));
      description.deviceGUID = id;
      char text[] = "fake device";
      if (callback(text, text, &description, context) != D3DENUMRET_OK) break;
    }
    return D3D_OK;
  }
  STDMETHOD(CreateDevice)(REFCLSID type, IDirectDrawSurface7* surface, IDirect3DDevice7** device) override {
    FAULT_POINT_OUT("d3d.CreateDevice", device);
    Log().Add("d3d.CreateDevice(" + fake3d::GuidName(type) + "," + fake3d::SurfaceName(surface) + ")");
    if (createResult != D3D_OK || nextDevices.empty()) {
      *device = nullptr;
      return createResult != D3D_OK ? createResult : DDERR_GENERIC;
    }
    FakeDevice* next = nextDevices.front();
    nextDevices.pop_front();
    next->target = surface;
    *device = next;
    return D3D_OK;
  }
  STDMETHOD(CreateVertexBuffer)(D3DVERTEXBUFFERDESC*, IDirect3DVertexBuffer7**, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(EnumZBufferFormats)(REFCLSID, LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return E_NOTIMPL; }
  STDMETHOD(EvictManagedTextures)() override { return E_NOTIMPL; }
};
