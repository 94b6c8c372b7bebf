// 3D sprites over Direct3D 7, reached through the screen's DirectDraw 7 object (nothing of
// Direct3D is imported).
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstring>

#include "display/blending.h"
#include "display/sprites3d_table.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/sprites3d.h"

#ifndef _WIN64
static_assert(sizeof(D3DTLVERTEX) == 32, "D3DTLVERTEX layout");
#endif
static_assert(D3DFVF_TLVERTEX == 0x1C4, "transformed and lit vertices");

Sprite3DState Sprites3D;

ObjectTable* Sprite3DTable() { return Sprites3D.table; }

namespace {

// Spelled out so that no import library is needed.
const GUID Direct3D7Id = {0xF5049E77, 0x4861, 0x11D2, {0xA4, 0x07, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};
const GUID RgbDeviceId = {0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

HRESULT CALLBACK RememberDevice(char*, char*, D3DDEVICEDESC7* description, void* found) {
  if (description) {
    Sprites3D.deviceGuid = description->deviceGUID;
    *static_cast<bool*>(found) = true;
  }
  return D3DENUMRET_OK;   // go on: the device reported last wins
}

void SetVertex(D3DTLVERTEX& vertex, float x, float y, float u, float v) {
  vertex.sx = x;
  vertex.sy = y;
  vertex.sz = 0.0f;
  vertex.rhw = 1.0f;
  vertex.color = 0xFFFFFFFF;
  vertex.specular = 0;
  vertex.tu = u;
  vertex.tv = v;
}

void SetColourKey(IDirect3DDevice7* device, BOOL enabled) {
  if (Sprites3D.colourKeyEnabled == enabled) return;
  device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, enabled);
  Sprites3D.colourKeyEnabled = enabled;
}

}  // namespace

int32_t Sprite3DLibraryInit() {
  if (!Sprites3D.table) Sprites3D.table = CreateObjectTable(sizeof(Sprite3DRecord), 64, ReleaseSprite3D);
  if (Sprites3D.direct3D) {
    Sprites3D.direct3D->Release();
    Sprites3D.direct3D = nullptr;
  }
  if (Screen.directDraw) {
    void* direct3D = nullptr;
    if (Screen.directDraw->QueryInterface(Direct3D7Id, &direct3D) == 0)
      Sprites3D.direct3D = static_cast<IDirect3D7*>(direct3D);
  }
  Sprites3D.sceneOpen = FALSE;
  return Sprites3D.table && Sprites3D.direct3D ? 1 : 0;
}

Sprite3DRecord* MakeSprite3D(ObjectNumber number, ObjectNumber spriteNumber) {
  const SpriteRecord* sprite = LookupSprite(spriteNumber);
  // A memory sprite holds a pixel block, not a surface, whatever its flags say.
  Sprite3DRecord* record = static_cast<Sprite3DRecord*>(AllocateSprite3D(
      number, sprite && sprite->depth != MemorySpriteDepth && (sprite->flags & SpriteTexture)));
  if (!record) return nullptr;
  const float w = static_cast<float>(sprite->width), h = static_cast<float>(sprite->height);
  SetVertex(record->vertices[0], 0.0f, 0.0f, 0.0f, 0.0f);
  SetVertex(record->vertices[1], w, 0.0f, 1.0f, 0.0f);
  SetVertex(record->vertices[2], 0.0f, h, 0.0f, 1.0f);
  SetVertex(record->vertices[3], w, h, 1.0f, 1.0f);
  record->width = sprite->width;
  record->height = sprite->height;
  record->flags = sprite->flags;
  record->sprite = spriteNumber;
  record->texture = sprite->surface;
  return record;
}

void CloseSprite3DLibrary() {
  ReleaseAllSprites3D();
  if (Sprites3D.direct3D) Sprites3D.direct3D->Release();
  Sprites3D.direct3D = nullptr;
  Sprites3D.sceneOpen = FALSE;
}

int32_t BeginSprite3DScene() {
  ReleaseBlendLocks();
  if (!Screen.device3D) {
    if (!Sprites3D.direct3D || !Screen.backBuffer) return 0;
    bool found = false;
    // No device reported is treated as a failed enumeration: the software rasteriser is always there.
    if (Sprites3D.direct3D->EnumDevices(RememberDevice, &found) != 0 || !found) Sprites3D.deviceGuid = RgbDeviceId;
    IDirect3DDevice7* device = nullptr;
    if (Sprites3D.direct3D->CreateDevice(Sprites3D.deviceGuid, Screen.backBuffer, &device) != 0 || !device) return 0;
    Screen.device3D = device;
  }
  IDirect3DDevice7* device = Screen.device3D;
  if (device->BeginScene() != 0) return 0;
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, TRUE);
  Sprites3D.colourKeyEnabled = TRUE;
  Sprites3D.sceneOpen = TRUE;
  return 1;
}

void EndSprite3DScene() {
  if (!Sprites3D.sceneOpen) return;
  // The screen may have closed (and released the device) inside the scene.
  if (Screen.device3D) Screen.device3D->EndScene();
  Sprites3D.sceneOpen = FALSE;
}

void SetSprite3DFiltering(int32_t mode) { Sprites3D.filtering = mode; }

void SetSprite3DBlendFactors(int32_t source, int32_t destination) {
  IDirect3DDevice7* device = Screen.device3D;
  if (!device) return;
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, static_cast<DWORD>(source));
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, static_cast<DWORD>(destination));
}

void DrawSprite3DFaded(int32_t number, int32_t x, int32_t y, int32_t alpha) {
  DrawSprite3DFadedObject(number, x, y, alpha);
}

void DrawSprite3DFadedObject(ObjectNumber number, int32_t x, int32_t y, int32_t alpha) {
  if (!Sprites3D.table) return;
  const Sprite3DRecord* record = static_cast<const Sprite3DRecord*>(LookupObject(Sprites3D.table, number));
  IDirect3DDevice7* device = Screen.device3D;
  if (!record || !device) return;
  // The texture belongs to the sprite; once that sprite is freed (or replaced) it is not used.
  const SpriteRecord* sprite = LookupSprite(record->sprite);
  if (!sprite || sprite->surface != record->texture || sprite->depth == MemorySpriteDepth) return;

  D3DTLVERTEX vertices[4];
  memcpy(vertices, record->vertices, sizeof(vertices));
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  const DWORD mask = static_cast<DWORD>(alpha) << 24 | 0x00FFFFFF;
  for (D3DTLVERTEX& vertex : vertices) {
    vertex.color &= mask;
    vertex.sx += fx;
    vertex.sy += fy;
  }
  const bool point = Sprites3D.filtering == 0;
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, point ? D3DTFG_POINT : D3DTFG_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, point ? D3DTFN_POINT : D3DTFN_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  device->SetTexture(0, record->texture);
  if (record->flags & SpriteAlpha) {
    SetColourKey(device, FALSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  } else {
    SetColourKey(device, TRUE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
  }
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, vertices, 4, 0);
}
