// The eight-pointed sparkle of the pattern sprites: one brightness layout, nine hue palettes.
#include <algorithm>
#include <cmath>

#include "pictures.h"

namespace {

// Per sprite: the colour of the glow halfway out and the colour of the brightest pixel.
const Rgb MidGlow[9] = {
    {0x17, 0x5A, 0xBF}, {0x18, 0xB8, 0xBE}, {0x18, 0xBE, 0x66}, {0x62, 0xBE, 0x18}, {0xB8, 0xBE, 0x18},
    {0xBE, 0x76, 0x18}, {0xBE, 0x18, 0x28}, {0xBE, 0x18, 0x99}, {0x72, 0x18, 0xBE},
};
const Rgb Brightest[9] = {
    {0xF9, 0xFB, 0xFF}, {0xF9, 0xFE, 0xFF}, {0xF9, 0xFF, 0xFC}, {0xFB, 0xFF, 0xF9}, {0xFF, 0xFF, 0xF9},
    {0xFF, 0xFD, 0xF9}, {0xFF, 0xF9, 0xF9}, {0xFF, 0xF9, 0xFD}, {0xFD, 0xF9, 0xFF},
};

// The level that carries the mid-glow colour exactly.
const int MidLevel = 62;

// Brightness of the sparkle at (dx, dy) pixels from its centre, `scale` pixels per sprite
// pixel: 1 at the centre, falling through a round glow, with the two straight rays stronger
// and longer than the two diagonal ones.
double Brightness(double dx, double dy, double scale) {
  dx /= scale;
  dy /= scale;
  double r2 = dx * dx + dy * dy;
  double r = std::sqrt(r2);
  double glow = std::exp(-r2 / (2 * 1.1 * 1.1)) + 0.22 * std::exp(-r2 / (2 * 2.4 * 2.4));
  double width = 0.42;
  double across = 2 * width * width;
  double rays = 0.75 * std::exp(-dy * dy / across) * std::exp(-std::fabs(dx) / 3.4) +
                0.75 * std::exp(-dx * dx / across) * std::exp(-std::fabs(dy) / 3.4);
  double d1 = (dx - dy) / std::sqrt(2.0), d2 = (dx + dy) / std::sqrt(2.0);
  double diagonals = 0.5 * (std::exp(-d1 * d1 / across) + std::exp(-d2 * d2 / across)) *
                     std::exp(-r / 3.0);
  double sum = glow + rays + diagonals;
  // Strong light saturates towards white rather than growing without bound.
  const double exposure = 2.2;
  double centre = 1.0 + 0.22 + 1.5 + 1.0;
  return (1 - std::exp(-exposure * sum)) / (1 - std::exp(-exposure * centre));
}

double Mix(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

Rgb SparkleColour(int sprite, double level) {
  const Rgb& mid = MidGlow[sprite - 1];
  const Rgb& top = Brightest[sprite - 1];
  double r, g, b;
  if (level <= MidLevel) {
    // Darkening towards black, a little faster than linear.
    double t = std::pow(level / MidLevel, 1.25);
    r = mid.r * t;
    g = mid.g * t;
    b = mid.b * t;
  } else {
    // Towards the near-white core.
    double t = std::pow((level - MidLevel) / double(SparkleLevels - MidLevel), 1.4);
    r = Mix(mid.r, top.r, t);
    g = Mix(mid.g, top.g, t);
    b = Mix(mid.b, top.b, t);
  }
  Rgb c = {uint8_t(std::lround(r)), uint8_t(std::lround(g)), uint8_t(std::lround(b))};
  // Any lit level stays visibly distinct from the black the sprites are keyed on.
  if (level > 0 && c.r == 0 && c.g == 0 && c.b == 0) {
    if (mid.b >= mid.r && mid.b >= mid.g) c.b = 1;
    else if (mid.g >= mid.r) c.g = 1;
    else c.r = 1;
  }
  return c;
}

std::vector<Rgb> SparklePalette(int sprite) {
  std::vector<Rgb> palette;
  palette.push_back({0, 0, 0});  // transparent, used by no pixel
  palette.push_back({0, 0, 0});  // opaque black
  for (int level = 1; level <= SparkleLevels; ++level) palette.push_back(SparkleColour(sprite, level));
  return palette;
}

Bytes SparkleIndices() {
  Bytes pixels(16 * 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      int level = 0;
      if (y < 15) {
        level = int(std::lround(Brightness(x - 8, y - 7, 1.0) * SparkleLevels));
        // Only the centre reaches full brightness.
        if (!(x == 8 && y == 7)) level = std::min(level, SparkleLevels - 1);
      }
      pixels[y * 16 + x] = uint8_t(level == 0 ? 1 : level + 1);
    }
  }
  return pixels;
}

Bytes SparkleIcon(int size, int sprite) {
  // The same sparkle, centred on the picture; its light is its opacity.
  Bytes out(size_t(size) * size * 4);
  double scale = size / 16.0;
  double cx = 8.5 * scale, cy = 7.5 * scale;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double sum = 0;
      // Four samples a pixel keep the thin rays even at the larger sizes.
      for (int s = 0; s < 4; ++s) {
        double sx = x + 0.25 + 0.5 * (s & 1), sy = y + 0.25 + 0.5 * (s >> 1);
        sum += Brightness(sx - cx, sy - cy, scale);
      }
      double level = std::min(1.0, sum / 4) * SparkleLevels;
      // Below the mid-glow the sprite darkens towards black; the icon fades out instead, so
      // over black it looks the same and over anything else it stays clean.
      Rgb c = SparkleColour(sprite, std::max(level, double(MidLevel)));
      double alpha = level >= MidLevel ? 1.0 : std::pow(level / MidLevel, 1.25);
      uint8_t* p = &out[(size_t(y) * size + x) * 4];
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
      p[3] = uint8_t(std::lround(alpha * 255));
    }
  }
  return out;
}
