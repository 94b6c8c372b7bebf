#include <gtest/gtest.h>

#include <climits>

#include "display/windowed_geometry.h"

namespace {

void ExpectRect(const ScreenRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(left, r.left);
  EXPECT_EQ(top, r.top);
  EXPECT_EQ(right, r.right);
  EXPECT_EQ(bottom, r.bottom);
}

// A framed window: 8 pixels of frame left, 30 of caption and frame on top, 12 right, 10 below,
// around a 640 x 400 client area at (18, 50).
const ScreenRect FramedWindow = {10, 20, 670, 460};
const ScreenRect FramedClient = {18, 50, 658, 450};

}  // namespace

TEST(WindowedGeometry, InsetsAreTheFramePlusTheOffsets) {
  const WindowInsets plain = InsetsFor(FramedWindow, FramedClient, 0, 0, 0, 0);
  EXPECT_EQ(8, plain.left);
  EXPECT_EQ(30, plain.top);
  EXPECT_EQ(12, plain.right);
  EXPECT_EQ(10, plain.bottom);
  const WindowInsets offset = InsetsFor(FramedWindow, FramedClient, 5, 6, 7, 8);
  EXPECT_EQ(13, offset.left);
  EXPECT_EQ(36, offset.top);
  EXPECT_EQ(19, offset.right);
  EXPECT_EQ(18, offset.bottom);
}

TEST(WindowedGeometry, StretchedFillsTheClientAreaLessTheOffsets) {
  ScreenRect source, destination;
  // A frameless child: window and client rectangles are the same.
  const ScreenRect child = {100, 50, 740, 450};
  PresentRectsFor(child, InsetsFor(child, child, 0, 0, 0, 0), true, 320, 200, &source, &destination);
  ExpectRect(source, 0, 0, 320, 200);
  ExpectRect(destination, 100, 50, 740, 450);   // 320 x 200 scaled to the 640 x 400 client area

  PresentRectsFor(FramedWindow, InsetsFor(FramedWindow, FramedClient, 0, 0, 0, 0), true, 320, 200, &source,
                  &destination);
  ExpectRect(destination, 18, 50, 658, 450);
  PresentRectsFor(FramedWindow, InsetsFor(FramedWindow, FramedClient, 5, 6, 7, 8), true, 320, 200, &source,
                  &destination);
  ExpectRect(destination, 23, 56, 651, 442);
  ExpectRect(source, 0, 0, 320, 200);
}

TEST(WindowedGeometry, UnstretchedKeepsThePictureSizeAtTheTopLeftPlusTheOffsets) {
  ScreenRect source, destination;
  const ScreenRect child = {100, 50, 740, 450};
  PresentRectsFor(child, InsetsFor(child, child, 13, 7, 0, 0), false, 320, 200, &source, &destination);
  ExpectRect(destination, 113, 57, 433, 257);
  ExpectRect(source, 0, 0, 320, 200);
  // Right and bottom offsets play no part without stretching.
  PresentRectsFor(FramedWindow, InsetsFor(FramedWindow, FramedClient, 13, 7, 99, 99), false, 320, 200, &source,
                  &destination);
  ExpectRect(destination, 31, 57, 351, 257);
  // A picture larger than the window is copied at its size (the clipper keeps it in the window).
  PresentRectsFor(child, InsetsFor(child, child, 0, 0, 0, 0), false, 1000, 900, &source, &destination);
  ExpectRect(destination, 100, 50, 1100, 950);
}

TEST(WindowedGeometry, WindowsPartlyOffTheDesktopAndEmptyPictures) {
  ScreenRect source, destination;
  const ScreenRect child = {-300, -100, 340, 300};
  PresentRectsFor(child, InsetsFor(child, child, 0, 0, 0, 0), true, 320, 200, &source, &destination);
  ExpectRect(destination, -300, -100, 340, 300);
  PresentRectsFor(child, InsetsFor(child, child, 0, 0, 0, 0), false, 0, 0, &source, &destination);
  ExpectRect(destination, -300, -100, -300, -100);
  ExpectRect(source, 0, 0, 0, 0);
  // Offsets larger than the window give an empty (inverted) destination, never a crash.
  PresentRectsFor(child, InsetsFor(child, child, 400, 300, 400, 300), true, 320, 200, &source, &destination);
  EXPECT_GT(destination.left, destination.right);
  EXPECT_GT(destination.top, destination.bottom);
}

TEST(WindowedGeometry, ExtremeOffsetsWrapInsteadOfOverflowing) {
  ScreenRect source, destination;
  const ScreenRect child = {100, 50, 740, 450};
  const WindowInsets insets = InsetsFor(child, child, INT_MAX, INT_MIN, INT_MAX, INT_MIN);
  EXPECT_EQ(INT_MAX, insets.left);
  PresentRectsFor(child, insets, true, INT_MAX, INT_MAX, &source, &destination);
  EXPECT_EQ(static_cast<int32_t>(100u + static_cast<uint32_t>(INT_MAX)), destination.left);
  PresentRectsFor(child, insets, false, INT_MAX, INT_MAX, &source, &destination);
  EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(destination.left) + static_cast<uint32_t>(INT_MAX)),
            destination.right);
}
