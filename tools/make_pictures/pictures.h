// The generator of the embedded pictures and the program's icon.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

struct Rgb {
  uint8_t r, g, b;
};

// An indexed (colour type 3) or true-colour (colour type 2) picture and its ancillary data.
struct PngPicture {
  int width = 0;
  int height = 0;
  int colourType = 3;          // 3: one palette index a pixel; 2: red, green, blue
  std::vector<Rgb> palette;    // colour type 3 only
  Bytes transparency;          // tRNS entries; empty for none
  Bytes pixels;                // rows top-down, no filter bytes
  std::string creationTime;    // tEXt "Creation Time"
  int year = 2026, month = 12, day = 7, hour = 5, minute = 0, second = 0;  // tIME
};

// How the image data is compressed: one filter type per row and the deflate settings.
struct IdatChoice {
  std::vector<uint8_t> filters;
  int level = 9;
  int strategy = 0;    // zlib strategy
  int memLevel = 8;
};

// zlib stream of the filtered rows.
Bytes CompressRows(const PngPicture& picture, const IdatChoice& choice);
// The whole file with the given compressed image data.
Bytes EncodePng(const PngPicture& picture, const Bytes& idat);
// Searches filter and deflate choices, in a fixed order, for image data of exactly `target`
// bytes. Returns false when none of the tried choices fits.
bool FitIdat(const PngPicture& picture, size_t target, Bytes* idat, IdatChoice* found);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// The sparkle: palette indices of the shared 16 x 16 layout (index 1 black, 2..114 rising
// brightness), the nine hue palettes (115 entries each), and the same sparkle drawn at any size
// with straight alpha for the icon (blue-green-red-alpha, rows top-down).
const int SparkleLevels = 113;
Bytes SparkleIndices();
std::vector<Rgb> SparklePalette(int sprite);
Rgb SparkleColour(int sprite, double level);
Bytes SparkleIcon(int size, int sprite);

Bytes MakeIcon(const std::vector<int>& sizes, int sprite);

// The preview still: 400 x 320 true colour of a pattern drawn with the nine sprites.
struct PreviewStill {
  int width = 400, height = 320;
  std::vector<Rgb> pixels;
  int colours = 0;  // distinct sprite hues among the drawn trail points
};
PreviewStill RenderPreview(uint32_t seed, int frames);
// Reduces a true-colour picture to at most 256 colours with pure black kept exact.
void QuantisePreview(const PreviewStill& still, std::vector<Rgb>* palette, Bytes* indices);
