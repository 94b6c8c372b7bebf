// 3D sprites: sprites with the texture flag drawn as screen-aligned, textured quads, blended with
// the back buffer and faded by an alpha value (Direct3D 7 in display/win/, OpenGL in display/x11/).
// The library owns no pixels; on Windows its one device lives on the screen's back buffer and is
// released by the screen when it closes. The records are the backend's (its sprites3d.h).
#pragma once
#include <cstdint>

#include "runtime/memory.h"

struct Sprite3DRecord;

// Under AutoNumber the record's address is the 3D sprite's number. None when the sprite does not
// exist or was not made with SpriteTexture (the number is then free).
Sprite3DRecord* MakeSprite3D(ObjectNumber number, ObjectNumber spriteNumber);

// 1 when the Direct3D 7 interface was had from the screen's DirectDraw object, else 0.
int32_t Sprite3DLibraryInit();
void ReleaseSprite3D(ObjectNumber number);
void ReleaseAllSprites3D();
// Gives the Direct3D interface back after every 3D sprite; Sprite3DLibraryInit may follow again.
void CloseSprite3DLibrary();

// 1 when a scene is open on the device (created on the back buffer when there is none).
int32_t BeginSprite3DScene();
void EndSprite3DScene();
// D3DBLEND values for the source and the destination; the scene start resets them.
void SetSprite3DBlendFactors(int32_t source, int32_t destination);
void SetSprite3DFiltering(int32_t mode);
// The 3D sprite with its top-left corner at (x, y), its colours weighted by alpha (only the low
// 8 bits count). The form of the pattern's trail routine: 3D sprite numbers that fit 32 bits.
void DrawSprite3DFaded(int32_t number, int32_t x, int32_t y, int32_t alpha);
// The same for any number, including the address of an AutoNumber 3D sprite.
void DrawSprite3DFadedObject(ObjectNumber number, int32_t x, int32_t y, int32_t alpha);
