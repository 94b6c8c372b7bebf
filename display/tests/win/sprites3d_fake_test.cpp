// 3D sprites against recording fakes of Direct3D 7 over the DirectDraw fake: device choice,
// render and texture-stage states in their order, the colour-key cache, blend factors, the
// vertices handed to DrawPrimitive, and what happens without a device or a sprite.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/sprites3d.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/fake_d3d.h"
#include "display/tests/win/fake_ddraw.h"

using Calls = std::vector<std::string>;

namespace {

const Calls SceneStart = {
    "device.BeginScene",
    "device.SetRenderState(27,1)",   // alpha blending on
    "device.SetRenderState(19,5)",   // source: source alpha
    "device.SetRenderState(20,6)",   // destination: inverse source alpha
    "device.SetRenderState(41,1)",   // colour key on
};

Calls DrawCalls(const std::string& texture, int32_t filter, const Calls& transparency) {
  Calls calls = {
      "device.SetTextureStageState(0,16," + std::to_string(filter) + ")",
      "device.SetTextureStageState(0,17," + std::to_string(filter) + ")",
      "device.SetTextureStageState(0,12,3)",
      "device.SetTexture(0," + texture + ")",
  };
  calls.insert(calls.end(), transparency.begin(), transparency.end());
  calls.push_back("device.DrawPrimitive(5,0x1C4,4,0x0)");
  return calls;
}

const Calls Keyed = {"device.SetTextureStageState(0,4,3)"};
const Calls WithAlpha = {"device.SetTextureStageState(0,4,4)"};
const Calls KeyOff = {"device.SetRenderState(41,0)", "device.SetTextureStageState(0,4,4)"};
const Calls KeyOn = {"device.SetRenderState(41,1)", "device.SetTextureStageState(0,4,3)"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls out;
  for (const Calls& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

class FakeSprites3D : public FakeDisplayTest {
 protected:
  FakeDirect3D d3d;
  FakeDevice device;
  FakeDevice secondDevice;

  void SetUp() override {
    memset(&Sprites3D, 0, sizeof(Sprites3D));
    StartFakeDisplay();
    if (HasFatalFailure()) return;
    // The DirectDraw fake has no Direct3D: the library is initialised, then given the fake.
    EXPECT_EQ(0, Sprite3DLibraryInit());
    ASSERT_NE(nullptr, Sprites3D.table);
    Sprites3D.direct3D = &d3d;
    secondDevice.name = "device2";
    d3d.nextDevices = {&device, &secondDevice};
    ASSERT_EQ(1, OpenFullScreen(640, 480, 32, "Fake 3D"));
    ASSERT_NE(nullptr, NewSprite(1, 16, 8, SpriteTexture));
    ASSERT_NE(nullptr, NewSprite(2, 4, 4, SpriteTexture | SpriteAlpha));
    ASSERT_NE(nullptr, NewSprite(3, 4, 4, 0));
    Log().Clear();
  }

  void TearDown() override {
    EndScreen();
    ReleaseAllSprites3D();
    Sprites3D.direct3D = nullptr;
    ShutdownSpriteEngine();
    ForgetFakeDisplay();
  }

  std::string SurfaceName(ObjectNumber sprite) { return static_cast<FakeSurface*>(LookupSprite(sprite)->surface)->name; }

  Sprite3DRecord* Record(ObjectNumber number) {
    return static_cast<Sprite3DRecord*>(LookupObject(Sprites3D.table, number));
  }

  void BeginScene() {
    ASSERT_EQ(1, BeginSprite3DScene());
    Log().Clear();
  }
};

TEST_F(FakeSprites3D, InitNeedsDirectDrawThatGivesDirect3D) {
  // The fake's QueryInterface refuses IID_IDirect3D7 (as SetUp saw); without DirectDraw at all:
  Sprites3D.direct3D = nullptr;
  IDirectDraw7* directDraw = Screen.directDraw;
  Screen.directDraw = nullptr;
  EXPECT_EQ(0, Sprite3DLibraryInit());
  Screen.directDraw = directDraw;
  EXPECT_EQ(nullptr, Sprites3D.direct3D);
  EXPECT_FALSE(Sprites3D.sceneOpen);
  EXPECT_EQ(0, BeginSprite3DScene());   // nothing to make a device with
  EXPECT_EQ(Calls{}, Log().calls);
}

TEST_F(FakeSprites3D, MakeSprite3DStoresAQuadAtTheOrigin) {
  Sprite3DRecord* record = MakeSprite3D(5, 1);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(record, Record(5));
  EXPECT_EQ(LookupSprite(1)->surface, record->texture);
  EXPECT_EQ(16, record->width);
  EXPECT_EQ(8, record->height);
  EXPECT_EQ(SpriteTexture, record->flags);
  struct { float sx, sy, tu, tv; } expected[4] = {{0, 0, 0, 0}, {16, 0, 1, 0}, {0, 8, 0, 1}, {16, 8, 1, 1}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const D3DTLVERTEX& v = record->vertices[i];
    EXPECT_EQ(expected[i].sx, v.sx);
    EXPECT_EQ(expected[i].sy, v.sy);
    EXPECT_EQ(0.0f, v.sz);
    EXPECT_EQ(1.0f, v.rhw);
    EXPECT_EQ(0xFFFFFFFFu, v.color);
    EXPECT_EQ(0u, v.specular);
    EXPECT_EQ(expected[i].tu, v.tu);
    EXPECT_EQ(expected[i].tv, v.tv);
  }
  EXPECT_EQ(SpriteTexture | SpriteAlpha, MakeSprite3D(6, 2)->flags);
  // Nothing is asked of any surface: the texture is only referred to.
  EXPECT_EQ(Calls{}, Log().calls);
}

TEST_F(FakeSprites3D, MakingANumberTwiceKeepsTheSecondSprite) {
  ASSERT_NE(nullptr, MakeSprite3D(3, 1));
  ASSERT_NE(nullptr, MakeSprite3D(3, 2));
  EXPECT_EQ(LookupSprite(2)->surface, Record(3)->texture);
  int live = 0;
  ResetObjectIteration(Sprites3D.table);
  while (NextObject(Sprites3D.table, nullptr)) ++live;
  EXPECT_EQ(1, live);
}

TEST_F(FakeSprites3D, SpritesThatCannotBeTexturesMakeNothing) {
  ASSERT_NE(nullptr, MakeSprite3D(4, 1));
  EXPECT_EQ(nullptr, MakeSprite3D(4, 3));    // no SpriteTexture: the old record goes too
  EXPECT_EQ(nullptr, Record(4));
  EXPECT_EQ(nullptr, MakeSprite3D(4, 99));   // no such sprite
  EXPECT_EQ(nullptr, Record(4));
  // A memory sprite holds bytes, not a surface, whatever its flags.
  const std::vector<uint8_t> bitmap = [] {
    std::vector<uint8_t> b(58 + 4, 0);
    b[0] = 'B'; b[1] = 'M'; b[10] = 58; b[14] = 40; b[18] = 1; b[22] = 1; b[26] = 1; b[28] = 8;
    return b;
  }();
  ASSERT_NE(nullptr, LoadSpriteFromMemory(7, bitmap.data(), SpriteMemoryOnly | SpriteTexture, bitmap.size()));
  EXPECT_EQ(nullptr, MakeSprite3D(4, 7));
  // Under AutoNumber a failed record is not left behind.
  EXPECT_EQ(nullptr, MakeSprite3D(AutoNumber, 3));
  ResetObjectIteration(Sprites3D.table);
  EXPECT_EQ(nullptr, NextObject(Sprites3D.table, nullptr));

  BeginScene();
  DrawSprite3DFaded(4, 0, 0, 255);
  EXPECT_EQ(0, Log().Count("device.DrawPrimitive"));
}

TEST_F(FakeSprites3D, ReleasingLeavesTheSurfacesAlone) {
  MakeSprite3D(1, 1);
  MakeSprite3D(2, 2);
  Sprite3DRecord* automatic = MakeSprite3D(AutoNumber, 1);
  ASSERT_NE(nullptr, automatic);
  const ObjectNumber address = reinterpret_cast<ObjectNumber>(automatic);
  EXPECT_EQ(automatic, Record(address));
  ReleaseSprite3D(1);
  EXPECT_EQ(nullptr, Record(1));
  EXPECT_NE(nullptr, Record(2));
  ReleaseSprite3D(1);        // not live: nothing
  ReleaseSprite3D(12345);
  ReleaseAllSprites3D();
  EXPECT_EQ(nullptr, Record(2));
  EXPECT_EQ(nullptr, Record(address));
  EXPECT_EQ(0, Log().Count(SurfaceName(1) + ".Release"));
  EXPECT_EQ(0, Log().Count(SurfaceName(2) + ".Release"));
  EXPECT_NE(nullptr, LookupSprite(1));
}

TEST_F(FakeSprites3D, TheLastEnumeratedDeviceIsCreatedOnTheBackBuffer) {
  ASSERT_EQ(1, BeginSprite3DScene());
  const Calls expected = Join({{"d3d.EnumDevices", "d3d.CreateDevice(RGB,back)"}, SceneStart});
  EXPECT_EQ(expected, Log().calls);
  EXPECT_EQ(&device, Screen.device3D);
  EXPECT_EQ(dd->back, device.target);
  EXPECT_TRUE(Sprites3D.sceneOpen);
  EXPECT_TRUE(Sprites3D.colourKeyEnabled);

  // The device stays; the next scene only begins.
  EndSprite3DScene();
  Log().Clear();
  ASSERT_EQ(1, BeginSprite3DScene());
  EXPECT_EQ(SceneStart, Log().calls);
}

TEST_F(FakeSprites3D, DeviceChoiceFollowsTheEnumeration) {
  struct Case { std::vector<GUID> devices; HRESULT result; std::string created; } cases[] = {
      {{fake3d::RgbDevice, fake3d::HalDevice}, D3D_OK, "HAL"},
      {{fake3d::HalDevice, fake3d::RgbDevice, fake3d::TnLHalDevice}, D3D_OK, "TnLHAL"},
      {{fake3d::HalDevice}, DDERR_GENERIC, "RGB"},   // failed enumeration: the software rasteriser
      {{}, D3D_OK, "RGB"},                           // nothing reported: the same
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.created);
    FakeDevice made;
    d3d.devices = c.devices;
    d3d.enumResult = c.result;
    d3d.nextDevices = {&made};
    Log().Clear();
    ASSERT_EQ(1, BeginSprite3DScene());
    EXPECT_EQ("d3d.CreateDevice(" + c.created + ",back)", Log().calls.at(1));
    EndSprite3DScene();
    Screen.device3D = nullptr;   // as if the screen had closed
  }
}

TEST_F(FakeSprites3D, FailedCreationIsRetriedAtEverySceneStart) {
  d3d.createResult = DDERR_GENERIC;
  EXPECT_EQ(0, BeginSprite3DScene());
  EXPECT_EQ(nullptr, Screen.device3D);
  EXPECT_FALSE(Sprites3D.sceneOpen);
  EXPECT_EQ(0, Log().Count("device."));
  d3d.createResult = D3D_OK;
  Log().Clear();
  EXPECT_EQ(1, BeginSprite3DScene());
  EXPECT_EQ(1, Log().Count("d3d.CreateDevice"));
  EXPECT_EQ(&device, Screen.device3D);
}

TEST_F(FakeSprites3D, FailedBeginSceneSetsNothing) {
  device.beginSceneResult = DDERR_SURFACELOST;
  EXPECT_EQ(0, BeginSprite3DScene());
  EXPECT_EQ(Calls({"d3d.EnumDevices", "d3d.CreateDevice(RGB,back)", "device.BeginScene"}), Log().calls);
  EXPECT_FALSE(Sprites3D.sceneOpen);
  Log().Clear();
  EndSprite3DScene();   // no scene: nothing
  EXPECT_EQ(Calls{}, Log().calls);
  // The device was made and is kept; the next start only begins the scene.
  device.beginSceneResult = D3D_OK;
  EXPECT_EQ(1, BeginSprite3DScene());
  EXPECT_EQ(0, Log().Count("d3d.CreateDevice"));
}

TEST_F(FakeSprites3D, BlendFactorsPassThroughAndAreResetByTheSceneStart) {
  SetSprite3DBlendFactors(5, 2);   // no device yet: nothing
  EXPECT_EQ(Calls{}, Log().calls);
  BeginScene();
  SetSprite3DBlendFactors(5, 2);
  SetSprite3DBlendFactors(11, 9);
  EXPECT_EQ(Calls({"device.SetRenderState(19,5)", "device.SetRenderState(20,2)", "device.SetRenderState(19,11)",
                   "device.SetRenderState(20,9)"}),
            Log().calls);
  EndSprite3DScene();
  SetSprite3DBlendFactors(2, 2);   // set before the scene start: lost
  Log().Clear();
  ASSERT_EQ(1, BeginSprite3DScene());
  EXPECT_EQ(SceneStart, Log().calls);
}

TEST_F(FakeSprites3D, EveryDrawSetsItsTextureStatesInOrder) {
  MakeSprite3D(1, 1);
  BeginScene();
  DrawSprite3DFaded(1, 10, 20, 255);
  DrawSprite3DFaded(1, 30, 40, 128);
  const std::string texture = SurfaceName(1);
  EXPECT_EQ(Join({DrawCalls(texture, 1, Keyed), DrawCalls(texture, 1, Keyed)}), Log().calls);

  // Filtering takes effect at the next draw: bilinear for any value but 0.
  Log().Clear();
  SetSprite3DFiltering(7);
  EXPECT_EQ(Calls{}, Log().calls);
  DrawSprite3DFaded(1, 0, 0, 255);
  SetSprite3DFiltering(-1);
  DrawSprite3DFaded(1, 0, 0, 255);
  SetSprite3DFiltering(0);
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(Join({DrawCalls(texture, 2, Keyed), DrawCalls(texture, 2, Keyed), DrawCalls(texture, 1, Keyed)}),
            Log().calls);
  Log().Clear();
  EndSprite3DScene();
  EXPECT_EQ(Calls{"device.EndScene"}, Log().calls);
  EXPECT_FALSE(Sprites3D.sceneOpen);
}

TEST_F(FakeSprites3D, TheColourKeyStateIsWrittenOnlyWhenItChanges) {
  MakeSprite3D(1, 1);   // colour-keyed
  MakeSprite3D(2, 2);   // alpha
  BeginScene();
  for (int32_t number : {1, 2, 2, 1, 1, 2}) DrawSprite3DFaded(number, 0, 0, 200);
  const std::string keyed = SurfaceName(1), alpha = SurfaceName(2);
  EXPECT_EQ(Join({DrawCalls(keyed, 1, Keyed), DrawCalls(alpha, 1, KeyOff), DrawCalls(alpha, 1, WithAlpha),
                  DrawCalls(keyed, 1, KeyOn), DrawCalls(keyed, 1, Keyed), DrawCalls(alpha, 1, KeyOff)}),
            Log().calls);
  EXPECT_FALSE(Sprites3D.colourKeyEnabled);
  // The scene start switches the key on again, and the cache knows it.
  EndSprite3DScene();
  BeginScene();
  DrawSprite3DFaded(1, 0, 0, 200);
  DrawSprite3DFaded(2, 0, 0, 200);
  EXPECT_EQ(Join({DrawCalls(keyed, 1, Keyed), DrawCalls(alpha, 1, KeyOff)}), Log().calls);
}

TEST_F(FakeSprites3D, VerticesAreMovedAndFadedOnACopy) {
  Sprite3DRecord* record = MakeSprite3D(1, 1);
  D3DTLVERTEX stored[4];
  memcpy(stored, record->vertices, sizeof(stored));
  BeginScene();
  struct Case { int32_t x, y, alpha; uint32_t colour; } cases[] = {
      {100, 50, 255, 0xFFFFFFFF}, {-5, -7, 128, 0x80FFFFFF}, {0, 0, 0, 0x00FFFFFF},
      {3, 4, 256, 0x00FFFFFF},    // only the low 8 bits count
      {3, 4, 0x1FF, 0xFFFFFFFF},  {3, 4, -1, 0xFFFFFFFF}, {2000000, -2000000, 1, 0x01FFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alpha);
    device.drawn.clear();
    DrawSprite3DFaded(1, c.x, c.y, c.alpha);
    ASSERT_EQ(1u, device.drawn.size());
    const std::vector<D3DTLVERTEX>& v = device.drawn[0];
    ASSERT_EQ(4u, v.size());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(stored[i].sx + static_cast<float>(c.x), v[i].sx);
      EXPECT_EQ(stored[i].sy + static_cast<float>(c.y), v[i].sy);
      EXPECT_EQ(c.colour, v[i].color);
      EXPECT_EQ(stored[i].tu, v[i].tu);
      EXPECT_EQ(stored[i].tv, v[i].tv);
      EXPECT_EQ(1.0f, v[i].rhw);
    }
  }
  EXPECT_EQ(0, memcmp(stored, record->vertices, sizeof(stored)));
}

TEST_F(FakeSprites3D, NothingIsDrawnWithoutADeviceOrA3DSprite) {
  MakeSprite3D(1, 1);
  DrawSprite3DFaded(1, 0, 0, 255);   // no device yet
  EXPECT_EQ(Calls{}, Log().calls);
  BeginScene();
  DrawSprite3DFaded(9, 0, 0, 255);   // no such 3D sprite
  DrawSprite3DFaded(-1, 0, 0, 255);
  DrawSprite3DFadedObject(reinterpret_cast<ObjectNumber>(&device), 0, 0, 255);
  EXPECT_EQ(Calls{}, Log().calls);
  // An AutoNumber 3D sprite is drawn by its address.
  Sprite3DRecord* automatic = MakeSprite3D(AutoNumber, 1);
  DrawSprite3DFadedObject(reinterpret_cast<ObjectNumber>(automatic), 0, 0, 255);
  EXPECT_EQ(1, Log().Count("device.DrawPrimitive"));
}

TEST_F(FakeSprites3D, ATextureWhoseSpriteIsGoneIsNotDrawn) {
  MakeSprite3D(1, 1);
  MakeSprite3D(2, 2);
  BeginScene();
  ReleaseSprite(1);
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(0, Log().Count("device.DrawPrimitive"));
  // A new sprite under the old number has another surface: still not drawn from the old one.
  ASSERT_NE(nullptr, NewSprite(1, 16, 8, SpriteTexture));
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(0, Log().Count("device.DrawPrimitive"));
  // Made again, it draws the new sprite.
  MakeSprite3D(1, 1);
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(1, Log().Count("device.SetTexture(0," + SurfaceName(1) + ")"));
  EXPECT_EQ(1, Log().Count("device.DrawPrimitive"));
}

TEST_F(FakeSprites3D, ClosingTheScreenReleasesTheDeviceAndReopeningMakesANewOne) {
  MakeSprite3D(1, 1);
  ASSERT_EQ(1, BeginSprite3DScene());
  EndSprite3DScene();
  Log().Clear();
  EndScreen();
  EXPECT_EQ(1, Log().Count("device.Release"));
  EXPECT_EQ(0, device.references);
  EXPECT_EQ(nullptr, Screen.device3D);
  // The 3D sprite outlived its sprite (every sprite went with the screen): nothing drawn.
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(0, BeginSprite3DScene());   // no back buffer
  ASSERT_EQ(1, OpenFullScreen(320, 240, 32, "Again"));
  FakeSurface* newBack = dd->back;
  Log().Clear();
  ASSERT_EQ(1, BeginSprite3DScene());
  EXPECT_EQ(Join({{"d3d.EnumDevices", "d3d.CreateDevice(RGB,back)"}, Calls(SceneStart)}).size(), Log().calls.size());
  EXPECT_EQ(&secondDevice, Screen.device3D);
  EXPECT_EQ(newBack, secondDevice.target);
  DrawSprite3DFaded(1, 0, 0, 255);
  EXPECT_EQ(0, Log().Count("device2.DrawPrimitive"));
}

TEST_F(FakeSprites3D, TheScreenClosingInsideASceneEndsItQuietly) {
  ASSERT_EQ(1, BeginSprite3DScene());
  EndScreen();
  Log().Clear();
  EndSprite3DScene();
  EXPECT_FALSE(Sprites3D.sceneOpen);
  EXPECT_EQ(Calls{}, Log().calls);
}
