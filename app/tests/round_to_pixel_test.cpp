#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "app/pattern.h"

// The fast rounding agrees with nearbyint (ties to even) wherever the result fits 32 bits: on
// quarter steps around zero, around the screen sizes and near the ends of the range.
TEST(RoundToPixel, AgreesWithNearbyintInRange) {
  for (int32_t i = -40000; i <= 40000; ++i) {
    const float value = static_cast<float>(i) * 0.25f;
    ASSERT_EQ(RoundToPixel(value), static_cast<int32_t>(std::nearbyint(value))) << value;
  }
  for (float value : {0.49999997f, -0.49999997f, 0.5f, 1.5f, 2.5f, -2.5f, 8388607.5f, -8388607.5f, 16777217.0f,
                      2147483520.0f, -2147483520.0f, -2147483648.0f, 1e-30f, -1e-30f})
    EXPECT_EQ(RoundToPixel(value), static_cast<int32_t>(std::nearbyint(value))) << value;
  EXPECT_EQ(RoundToPixel(2147483648.0f), INT32_MAX);
}
