// The preview still: the program's own pattern model run for some frames, its trail points drawn
// the way the saver draws them (the sprite's colour times the fade alpha, added and clamped).
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "app/pattern.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "pictures.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/random.h"

namespace {

PreviewStill* target;
std::vector<Rgb> spriteColours[10];
Bytes spriteIndices;
std::set<int32_t> huesDrawn;

void DrawAdditive(int32_t sprite, int32_t x, int32_t y, int32_t alpha) {
  if (sprite < 1 || sprite > 9) return;
  huesDrawn.insert(sprite);
  alpha &= 0xFF;  // as the 3D sprites take it
  for (int sy = 0; sy < 16; ++sy) {
    for (int sx = 0; sx < 16; ++sx) {
      int px = x + sx, py = y + sy;
      if (px < 0 || py < 0 || px >= target->width || py >= target->height) continue;
      const Rgb& c = spriteColours[sprite][spriteIndices[sy * 16 + sx]];
      if (c.r == 0 && c.g == 0 && c.b == 0) continue;  // the colour key
      Rgb& d = target->pixels[size_t(py) * target->width + px];
      d.r = uint8_t(std::min(255, d.r + c.r * alpha / 256));
      d.g = uint8_t(std::min(255, d.g + c.g * alpha / 256));
      d.b = uint8_t(std::min(255, d.b + c.b * alpha / 256));
    }
  }
}

int Channel(const Rgb& c, int channel) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; }

// A box of colours for the median cut, with its extent and weight worked out once.
struct Box {
  std::vector<std::pair<Rgb, uint32_t>> colours;  // colour and pixel count
  int range[3] = {0, 0, 0};
  uint64_t pixels = 0;
  void Measure() {
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    pixels = 0;
    for (const auto& c : colours) {
      for (int ch = 0; ch < 3; ++ch) {
        lo[ch] = std::min(lo[ch], Channel(c.first, ch));
        hi[ch] = std::max(hi[ch], Channel(c.first, ch));
      }
      pixels += c.second;
    }
    for (int ch = 0; ch < 3; ++ch) range[ch] = colours.empty() ? 0 : hi[ch] - lo[ch];
  }
  int Widest() const { return range[1] > range[0] ? (range[2] > range[1] ? 2 : 1) : (range[2] > range[0] ? 2 : 0); }
};

uint32_t Key(const Rgb& c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

}  // namespace

PreviewStill RenderPreview(uint32_t seed, int frames) {
  PreviewStill still;
  still.pixels.assign(size_t(still.width) * still.height, Rgb{0, 0, 0});
  target = &still;
  spriteIndices = SparkleIndices();
  for (int n = 1; n <= 9; ++n) spriteColours[n] = SparklePalette(n);
  huesDrawn.clear();

  // The model's state as the saver sets it up, on a 400-pixel-wide desktop.
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  CreateList(&App.TrailPoints, sizeof(TrailPoint), nullptr, 7);
  CreateList(&App.Emitters, sizeof(Emitter), nullptr, 7);
  std::vector<int32_t> fade(FadeTableLast + 1, 0);
  App.FadeTable = fade.data();
  App.FadeLength = PatternFadeLength;
  App.EmitterCount = PatternEmitterCount;
  // Trail points are top-left corners; the sparkle's centre is 8 pixels in.
  App.CentreX = still.width / 2 - 8;
  App.CentreY = still.height / 2 - 7;
  App.SpriteCycle = 0;
  DesktopRecord desktop = {};
  desktop.width = 0;  // the smallest pattern radius, 50 pixels
  desktop.height = int16_t(still.height);
  desktop.depth = 32;
  ReplaceDesktopRecords(&desktop, 1);

  SeedRandom(seed);
  BuildFadeTable();
  NewPattern();
  for (int frame = 0; frame < frames; ++frame) {
    TrailPass(nullptr);
    StepEmitters();
    CycleEmitterColour();
  }
  TrailPass(DrawAdditive);

  DestroyList(&App.TrailPoints);
  DestroyList(&App.Emitters);
  App.FadeTable = nullptr;
  still.colours = int(huesDrawn.size());
  return still;
}

void QuantisePreview(const PreviewStill& still, std::vector<Rgb>* palette, Bytes* indices) {
  std::map<uint32_t, uint32_t> histogram;
  for (const Rgb& c : still.pixels) {
    if (Key(c) != 0) ++histogram[Key(c)];
  }
  // Median cut of the lit colours into 255 boxes; black keeps an entry of its own.
  std::vector<Box> boxes(1);
  for (const auto& h : histogram) {
    boxes[0].colours.push_back({Rgb{uint8_t(h.first >> 16), uint8_t(h.first >> 8), uint8_t(h.first)}, h.second});
  }
  boxes[0].Measure();
  while (boxes.size() < 255) {
    size_t pick = boxes.size();
    uint64_t bestScore = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].colours.size() < 2) continue;
      uint64_t score = uint64_t(boxes[i].range[boxes[i].Widest()]) * boxes[i].pixels;
      if (score > bestScore) {
        bestScore = score;
        pick = i;
      }
    }
    if (pick == boxes.size()) break;
    Box& box = boxes[pick];
    int channel = box.Widest();
    std::stable_sort(box.colours.begin(), box.colours.end(), [channel](const auto& a, const auto& b) {
      return Channel(a.first, channel) < Channel(b.first, channel);
    });
    uint64_t half = box.pixels / 2, seen = 0;
    size_t cut = 1;
    for (; cut < box.colours.size() - 1; ++cut) {
      seen += box.colours[cut - 1].second;
      if (seen >= half) break;
    }
    Box upper;
    upper.colours.assign(box.colours.begin() + cut, box.colours.end());
    box.colours.resize(cut);
    box.Measure();
    upper.Measure();
    boxes.push_back(upper);
  }
  palette->assign(1, Rgb{0, 0, 0});
  for (const Box& box : boxes) {
    if (box.colours.empty()) continue;
    uint64_t n = 0, r = 0, g = 0, b = 0;
    for (const auto& c : box.colours) {
      n += c.second;
      r += uint64_t(c.first.r) * c.second;
      g += uint64_t(c.first.g) * c.second;
      b += uint64_t(c.first.b) * c.second;
    }
    Rgb mean = {uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((b + n / 2) / n)};
    if (Key(mean) == 0) mean.b = 1;  // a lit pixel never turns black
    palette->push_back(mean);
  }
  // Dark to bright, so neighbouring pixels of a trail get neighbouring indices.
  std::stable_sort(palette->begin() + 1, palette->end(), [](const Rgb& a, const Rgb& b) {
    int la = 299 * a.r + 587 * a.g + 114 * a.b, lb = 299 * b.r + 587 * b.g + 114 * b.b;
    return la != lb ? la < lb : Key(a) < Key(b);
  });
  while (palette->size() < 256) palette->push_back(palette->back());

  // Floyd-Steinberg error diffusion among the lit pixels only: black stays exactly black, and a
  // lit pixel never becomes black.
  const int w = still.width, h = still.height;
  std::vector<float> error(size_t(w + 2) * 2 * 3, 0.0f);
  indices->assign(still.pixels.size(), 0);
  for (int y = 0; y < h; ++y) {
    float* here = &error[size_t(y & 1) * (w + 2) * 3];
    float* below = &error[size_t((y + 1) & 1) * (w + 2) * 3];
    std::fill(below, below + (w + 2) * 3, 0.0f);
    for (int x = 0; x < w; ++x) {
      const Rgb& c = still.pixels[size_t(y) * w + x];
      if (Key(c) == 0) continue;
      float want[3];
      for (int ch = 0; ch < 3; ++ch) {
        want[ch] = std::min(255.0f, std::max(0.0f, Channel(c, ch) + here[(x + 1) * 3 + ch]));
      }
      int best = 1;
      float bestDistance = -1;
      for (int i = 1; i < 256; ++i) {
        const Rgb& p = (*palette)[i];
        float d = 0;
        for (int ch = 0; ch < 3; ++ch) d += (want[ch] - Channel(p, ch)) * (want[ch] - Channel(p, ch));
        if (bestDistance < 0 || d < bestDistance) {
          bestDistance = d;
          best = i;
        }
      }
      (*indices)[size_t(y) * w + x] = uint8_t(best);
      for (int ch = 0; ch < 3; ++ch) {
        float e = want[ch] - Channel((*palette)[best], ch);
        here[(x + 2) * 3 + ch] += e * 7 / 16;
        below[x * 3 + ch] += e * 3 / 16;
        below[(x + 1) * 3 + ch] += e * 5 / 16;
        below[(x + 2) * 3 + ch] += e * 1 / 16;
      }
    }
  }
}
