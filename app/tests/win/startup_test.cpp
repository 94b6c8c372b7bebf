#include <windows.h>

#include <gtest/gtest.h>

#include "app/win/startup.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/params.h"
#include "window/win/window.h"

namespace {

TEST(StartUp, InitialisationMakesTheStateTheSaverNeeds) {
  App.QuitRequested = 1;  // zeroed first
  App.SpriteCycle = 7;
  App.FadeLength = -3;
  InitialiseApplication();

  EXPECT_EQ(App.QuitRequested, 0);
  EXPECT_EQ(App.SpriteCycle, 0);
  EXPECT_EQ(App.instance, GetModuleHandleA(nullptr));
  EXPECT_EQ(ProgramInstance(), GetModuleHandleA(nullptr));   // the windows' module
  ASSERT_NE(App.mainHeap, nullptr);
  EXPECT_EQ(MainHeap, App.mainHeap);
  EXPECT_NE(StringHeap, nullptr);
  EXPECT_NE(ListedObjectHeap, nullptr);
  EXPECT_NE(Scratch.buffer, nullptr);
  EXPECT_NE(ProgramParameters(), nullptr);
  EXPECT_EQ(ParameterCursor(), 0);

  struct { ListVariable* list; int32_t dataSize; } lists[] = {
      {&App.TrailPoints, 16}, {&App.Emitters, 36}, {&App.Stars, 16}};
  for (auto& l : lists) {
    ASSERT_NE(l.list->header, nullptr);
    EXPECT_EQ(l.list->header->blockSize, l.dataSize + static_cast<int32_t>(sizeof(ElementLink)));
    EXPECT_EQ(l.list->header->count, 0);
    EXPECT_EQ(l.list->header->fieldDescriptor, nullptr);
    EXPECT_EQ(l.list->header->typeCode, 7);
    EXPECT_EQ(l.list->current, nullptr);
  }

  ASSERT_NE(App.FadeTable, nullptr);
  const ArrayHeader* header = reinterpret_cast<const ArrayHeader*>(App.FadeTable) - 1;
  EXPECT_EQ(header->elementSize, 4u);
  EXPECT_EQ(header->value, 0u);
  EXPECT_EQ(header->count, 1001u);
  EXPECT_EQ(header->typeCode, 5u);
  EXPECT_EQ(header->variable, reinterpret_cast<void**>(&App.FadeTable));
  for (int i = 0; i <= 1001; ++i) ASSERT_EQ(App.FadeTable[i], 0) << i;

  EXPECT_EQ(App.StarsVisible, 1);
  EXPECT_EQ(App.FadeLength, 100);
  EXPECT_EQ(App.EmitterCount, 20);

  // The displays are examined: the test display is 1024 x 768.
  EXPECT_GE(DisplayCount(), 1);
  EXPECT_EQ(DisplayWidth(0), 1024);
  EXPECT_EQ(DisplayHeight(0), 768);
}

}  // namespace
