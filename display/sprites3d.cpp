// The 3D-sprite table's part that needs no platform.
#include "display/sprites3d.h"

#include "display/sprites3d_table.h"

void* AllocateSprite3D(ObjectNumber number, bool textureSprite) {
  ObjectTable* table = Sprite3DTable();
  if (!table) return nullptr;
  void* record = AllocateObject(table, number);
  if (!record || textureSprite) return record;
  // Nobody could name an empty AutoNumber record again.
  if (number == AutoNumber) ReleaseObject(table, reinterpret_cast<ObjectNumber>(record));
  return nullptr;
}

void ReleaseSprite3D(ObjectNumber number) {
  ObjectTable* table = Sprite3DTable();
  if (table && LookupObject(table, number)) ReleaseObject(table, number);
}

void ReleaseAllSprites3D() {
  ObjectTable* table = Sprite3DTable();
  if (!table) return;
  ResetObjectIteration(table);
  ObjectNumber number;
  while (NextObject(table, &number)) ReleaseSprite3D(number);
}
