// Software blending on DirectDraw surfaces and the system-memory software frame.
#include <windows.h>
#include <ddraw.h>

#include <cstring>

#include "display/blend.h"
#include "display/blending.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"

namespace {

DDSURFACEDESC2 scratchLock;

void ZeroDescription(DDSURFACEDESC2& description) {
  memset(&description, 0, sizeof(description));
  description.dwSize = sizeof(description);
}

// A lock whose pixels have the given depth and reach at least to column right and row bottom, so
// that the rows can be walked without checks.
bool Covers(const DDSURFACEDESC2& lock, int32_t depth, int32_t right, int32_t bottom) {
  return lock.lpSurface && lock.ddpfPixelFormat.dwRGBBitCount == static_cast<DWORD>(depth) &&
         static_cast<int64_t>(lock.dwWidth) >= right && static_cast<int64_t>(lock.dwHeight) >= bottom &&
         lock.lPitch >= static_cast<LONG>(lock.dwWidth) * (depth / 8);
}

// Locks the whole surface; kept locked only when the lock covers the area.
bool LockCovering(IDirectDrawSurface7* surface, DDSURFACEDESC2& lock, int32_t depth, int32_t right, int32_t bottom) {
  ZeroDescription(lock);
  if (surface->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) != 0) return false;
  if (Covers(lock, depth, right, bottom)) return true;
  surface->Unlock(nullptr);
  return false;
}

// Inside a software frame the scratch surface and the sprite last blended into it stay locked from
// one blend to the next. Under Wine every lock and unlock waits for Direct3D's command thread to
// catch up, and four of them per star cost more than the rest of the frame. ReleaseBlendLocks
// ends them before anything else uses the surfaces.
struct HeldLocks {
  IDirectDrawSurface7* sprite;
  IDirectDrawSurface7* target;
};
HeldLocks held;

uint8_t* PixelAt(const DDSURFACEDESC2& lock, int32_t x, int32_t y, int32_t bytesPerPixel) {
  return static_cast<uint8_t*>(lock.lpSurface) + static_cast<ptrdiff_t>(y) * lock.lPitch +
         static_cast<ptrdiff_t>(x) * bytesPerPixel;
}

void BlendAtDepth(const BlendRows& rows, const BlendMode& mode, int32_t depth) {
  if (depth == 16) BlendRows16(rows, mode);
  else BlendRows32(rows, mode);
}

}  // namespace

void ReleaseBlendLocks() {
  // Locks on a scratch surface that is no longer the screen's ended with it.
  if (held.target && held.target == Screen.scratchSurface) {
    held.target->Unlock(nullptr);
    if (held.sprite) held.sprite->Unlock(nullptr);
  }
  held.target = nullptr;
  held.sprite = nullptr;
}

int32_t EnsureScratchSurface() {
  if (Screen.scratchSurface && Screen.scratchWidth == Screen.outputWidth && Screen.scratchHeight == Screen.outputHeight)
    return 1;
  ReleaseBlendLocks();
  if (Screen.scratchSurface) {
    // Never leave the draw target on a released surface.
    if (Screen.drawTarget == Screen.scratchSurface) Screen.drawTarget = Screen.savedDrawTarget;
    Screen.scratchSurface->Release();
    Screen.scratchSurface = nullptr;
  }
  Screen.scratchWidth = Screen.outputWidth;
  Screen.scratchHeight = Screen.outputHeight;
  // No output (no screen yet): nothing to stand in for.
  if (!Screen.directDraw || Screen.scratchWidth <= 0 || Screen.scratchHeight <= 0) return 0;
  DDSURFACEDESC2 description;
  ZeroDescription(description);
  description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  description.dwWidth = static_cast<DWORD>(Screen.scratchWidth);
  description.dwHeight = static_cast<DWORD>(Screen.scratchHeight);
  description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  IDirectDrawSurface7* surface = nullptr;
  if (Screen.directDraw->CreateSurface(&description, &surface, nullptr) != 0 || !surface) return 0;
  Screen.scratchSurface = surface;
  return 1;
}

int32_t BeginSoftwareFrame() {
  ReleaseBlendLocks();
  Screen.softwareFrame = FALSE;
  if (EnsureScratchSurface()) {
    // A second start without an end keeps the real target, so the frame still reaches it.
    if (Screen.drawTarget != Screen.scratchSurface) Screen.savedDrawTarget = Screen.drawTarget;
    Screen.softwareFrame = TRUE;
    Screen.drawTarget = Screen.scratchSurface;
  }
  return Screen.softwareFrame ? 1 : 0;
}

void EndSoftwareFrame() {
  ReleaseBlendLocks();
  if (!Screen.softwareFrame) return;
  Screen.drawTarget = Screen.savedDrawTarget;
  if (Screen.drawTarget && Screen.scratchSurface)
    Screen.drawTarget->Blt(nullptr, Screen.scratchSurface, nullptr, DDBLT_WAIT, nullptr);
}

void BlendSprite(ObjectNumber number, int32_t x, int32_t y, int32_t intensity) {
  SpriteRecord* sprite = LookupSprite(number);
  if (!sprite || sprite->depth == MemorySpriteDepth) return;
  const BlendMode mode = BlendModeFor(intensity);
  BlendArea area;
  if (!ClipBlendArea(x, y, sprite->displayWidth, sprite->displayHeight, Screen.outputWidth, Screen.outputHeight, &area))
    return;
  if (!EnsureScratchSurface() && !Screen.softwareFrame) return;
  const int32_t depth = Screen.screenDepth;
  IDirectDrawSurface7* target = Screen.drawTarget;
  if ((depth != 16 && depth != 32) || !target) return;
  const int32_t bytes = depth / 8;
  const int32_t sourceX = sprite->sourceX + area.skipX, sourceY = sprite->sourceY + area.skipY;
  const int32_t right = area.x + area.width, bottom = area.y + area.height;
  DDSURFACEDESC2& spriteLock = SpriteEngine.spriteLock;
  DDSURFACEDESC2& targetLock = SpriteEngine.targetLock;
  // Straight into the scratch surface of a software frame: the locks are kept for the next blend.
  const bool hold = Screen.softwareFrame && target == Screen.scratchSurface;
  if (hold && held.sprite == sprite->surface && held.target == target) {
    if (!Covers(spriteLock, depth, sourceX + area.width, sourceY + area.height) ||
        !Covers(targetLock, depth, right, bottom))
      return;
  } else {
    ReleaseBlendLocks();
    if (!LockCovering(sprite->surface, spriteLock, depth, sourceX + area.width, sourceY + area.height)) return;
    if (!LockCovering(target, targetLock, depth, right, bottom)) {
      sprite->surface->Unlock(nullptr);
      return;
    }
    if (hold) {
      held.sprite = sprite->surface;
      held.target = target;
    }
  }
  BlendRows rows = {PixelAt(spriteLock, sourceX, sourceY, bytes), spriteLock.lPitch,
                    PixelAt(targetLock, area.x, area.y, bytes),   targetLock.lPitch,
                    nullptr,                                      0,
                    area.width,                                   area.height};
  if (Screen.softwareFrame) {
    rows.output = rows.target;
    rows.outputPitch = rows.targetPitch;
    BlendAtDepth(rows, mode, depth);
  } else if (Screen.scratchSurface && LockCovering(Screen.scratchSurface, scratchLock, depth, right, bottom)) {
    // Outside a software frame the blend is made in the scratch surface and the touched pixels
    // are copied to the target.
    rows.output = PixelAt(scratchLock, area.x, area.y, bytes);
    rows.outputPitch = scratchLock.lPitch;
    BlendAtDepth(rows, mode, depth);
    CopyBlendedPixels(rows, bytes);
    Screen.scratchSurface->Unlock(nullptr);
  }
  if (hold) return;
  target->Unlock(nullptr);
  sprite->surface->Unlock(nullptr);
}
