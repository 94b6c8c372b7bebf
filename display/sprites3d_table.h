// What both backends' 3D-sprite libraries do with their object table the same way
// (display/sprites3d.cpp); each backend keeps the table in its own Sprite3DState.
#pragma once
#include "runtime/memory.h"

// The backend's 3D-sprite table; none before Sprite3DLibraryInit.
ObjectTable* Sprite3DTable();

// The record for a new 3D sprite under number (an older one there is freed first), when its
// sprite can be a texture; none otherwise, and then the number is free.
void* AllocateSprite3D(ObjectNumber number, bool textureSprite);
