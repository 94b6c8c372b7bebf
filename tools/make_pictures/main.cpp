// make_pictures: draws the nine sprite pictures, the preview picture and the icon.
//
//   make_pictures                 writes them into app/assets of this source tree
//   make_pictures DIR             writes them into DIR instead
//   make_pictures --sheet FILE    also writes an enlarged contact sheet of them to FILE
//   make_pictures --scan FIRST LAST FRAMES
//                                 lists candidate preview stills (seeds FIRST..LAST, after FRAMES)
//   make_pictures --still SEED FRAMES DIR
//                                 draws the preview from another still (for trying candidates)
//
// The output is a fixed function of this program (and zlib's deflate): running it again gives the
// same bytes, which the test suite checks against the committed files. The preview is drawn by
// the program's own pattern model, random numbers and lists, so a change to any of them that moves
// a trail point shows up there: run this again and commit the new preview.png.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pictures.h"

namespace {

const size_t SpriteFileSize = 782, SpriteIdatSize = 244;
const size_t PreviewFileSize = 16328, PreviewIdatSize = 15380;
const char CreationTime[] = "Mon, 07 Dec 2026 05:00:00 GMT";

// The pattern seed and the frame the still is taken at.
uint32_t PreviewSeed = 173;
int PreviewFrames = 300;

bool WriteFile(const std::string& path, const Bytes& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool Fail(const char* what) {
  std::fprintf(stderr, "make_pictures: %s\n", what);
  return false;
}

bool MakeSprites(std::vector<Bytes>* files) {
  PngPicture p;
  p.width = p.height = 16;
  p.pixels = SparkleIndices();
  p.transparency = {0};
  p.creationTime = CreationTime;
  // All nine share the pixels, so one search serves them all.
  Bytes idat;
  IdatChoice choice;
  if (!FitIdat(p, SpriteIdatSize, &idat, &choice)) return Fail("no sprite image data of the required size");
  for (int n = 1; n <= 9; ++n) {
    p.palette = SparklePalette(n);
    Bytes file = EncodePng(p, idat);
    if (file.size() != SpriteFileSize) return Fail("sprite file of the wrong size");
    files->push_back(file);
  }
  return true;
}

PngPicture PreviewPicture(uint32_t seed, int frames, PreviewStill* still) {
  *still = RenderPreview(seed, frames);
  PngPicture p;
  p.width = still->width;
  p.height = still->height;
  QuantisePreview(*still, &p.palette, &p.pixels);
  p.creationTime = CreationTime;
  return p;
}

bool MakePreview(std::vector<Bytes>* files) {
  PreviewStill still;
  PngPicture p = PreviewPicture(PreviewSeed, PreviewFrames, &still);
  Bytes idat;
  if (!FitIdat(p, PreviewIdatSize, &idat, nullptr)) return Fail("no preview image data of the required size");
  Bytes file = EncodePng(p, idat);
  if (file.size() != PreviewFileSize) return Fail("preview file of the wrong size");
  files->push_back(file);
  return true;
}

// Candidate stills, for choosing the seed and frame: share of black, size, hues, plain deflate.
void Scan(uint32_t firstSeed, uint32_t lastSeed, int frames) {
  for (uint32_t seed = firstSeed; seed <= lastSeed; ++seed) {
    PreviewStill still;
    PngPicture p = PreviewPicture(seed, frames, &still);
    size_t black = 0, white = 0;
    for (const Rgb& c : still.pixels) white += std::min({c.r, c.g, c.b}) >= 224;
    int left = p.width, right = -1, top = p.height, bottom = -1;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (p.pixels[size_t(y) * p.width + x] == 0) {
          ++black;
        } else {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
      }
    }
    IdatChoice plain;
    plain.filters.assign(p.height, 1);
    std::printf("seed %u frame %d: black %.1f %%, %d x %d at (%d, %d), %d hues, %.0f %% of the light white, "
                "idat %zu\n",
                seed, frames, 100.0 * black / p.pixels.size(), right - left + 1, bottom - top + 1, left, top,
                still.colours, 100.0 * white / std::max<size_t>(1, p.pixels.size() - black),
                CompressRows(p, plain).size());
  }
}

// Directory of this source tree's pictures, from this file's own path.
std::string AssetsDirectory() {
  std::string here = __FILE__;
  size_t cut = here.rfind("/tools/make_pictures/");
  if (cut == std::string::npos) return "app/assets";
  return here.substr(0, cut) + "/app/assets";
}

// Decodes a file with libpng into red-green-blue rows.
bool Decode(const Bytes& file, int* width, int* height, Bytes* rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr)) return false;
  *width = int(image.width);
  *height = int(image.height);
  return true;
}

bool WriteSheet(const std::string& path, const std::vector<Bytes>& files) {
  const int zoom = 8, gap = 8, cell = 16 * zoom;
  PngPicture sheet;
  sheet.colourType = 2;
  sheet.width = 9 * cell + 10 * gap;
  sheet.height = gap + cell + gap + (files.size() > 9 ? 640 + gap : 0);
  sheet.pixels.assign(size_t(sheet.width) * sheet.height * 3, 40);  // grey between the pictures
  sheet.creationTime = CreationTime;
  auto put = [&](int x, int y, const uint8_t* c) {
    std::memcpy(&sheet.pixels[(size_t(y) * sheet.width + x) * 3], c, 3);
  };
  for (size_t i = 0; i < files.size(); ++i) {
    int w, h;
    Bytes rgb;
    if (!Decode(files[i], &w, &h, &rgb)) return Fail("a picture does not decode");
    int scale = i < 9 ? zoom : 2;
    int left = i < 9 ? gap + int(i) * (cell + gap) : gap;
    int top = i < 9 ? gap : 2 * gap + cell;
    for (int y = 0; y < h * scale; ++y) {
      for (int x = 0; x < w * scale; ++x) {
        if (left + x < sheet.width) put(left + x, top + y, &rgb[(size_t(y / scale) * w + x / scale) * 3]);
      }
    }
  }
  IdatChoice plain;
  plain.filters.assign(sheet.height, 1);
  plain.level = 6;
  return WriteFile(path, EncodePng(sheet, CompressRows(sheet, plain))) || Fail("cannot write the sheet");
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = AssetsDirectory(), sheet;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) {
      sheet = argv[++i];
    } else if (std::strcmp(argv[i], "--still") == 0 && i + 2 < argc) {
      PreviewSeed = uint32_t(std::atol(argv[i + 1]));
      PreviewFrames = std::atoi(argv[i + 2]);
      i += 2;
    } else if (std::strcmp(argv[i], "--scan") == 0 && i + 3 < argc) {
      Scan(uint32_t(std::atol(argv[i + 1])), uint32_t(std::atol(argv[i + 2])), std::atoi(argv[i + 3]));
      return 0;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "usage: make_pictures [--sheet FILE] [--still SEED FRAMES] [DIR]\n"
                           "       make_pictures --scan FIRST LAST FRAMES\n");
      return 2;
    } else {
      dir = argv[i];
    }
  }

  std::vector<Bytes> files;
  if (!MakeSprites(&files) || !MakePreview(&files)) return 1;
  for (int n = 1; n <= 9; ++n) {
    std::string path = dir + "/sprite" + std::to_string(n) + ".png";
    if (!WriteFile(path, files[n - 1])) return Fail("cannot write a sprite file"), 1;
  }
  if (!WriteFile(dir + "/preview.png", files[9])) return Fail("cannot write the preview"), 1;
  if (!WriteFile(dir + "/vorlune.ico", MakeIcon({16, 32}, 1))) return Fail("cannot write the icon"), 1;
  if (!sheet.empty() && !WriteSheet(sheet, files)) return 1;
  std::printf("make_pictures: wrote the pictures into %s\n", dir.c_str());
  return 0;
}
