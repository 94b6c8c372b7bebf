// PNG files written chunk by chunk; deflate comes from zlib.
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "pictures.h"

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static uint32_t table[256];
  if (table[1] == 0) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

namespace {

void Put32(Bytes* out, uint32_t v) {
  out->push_back(uint8_t(v >> 24));
  out->push_back(uint8_t(v >> 16));
  out->push_back(uint8_t(v >> 8));
  out->push_back(uint8_t(v));
}

void Chunk(Bytes* out, const char type[5], const Bytes& data) {
  Put32(out, uint32_t(data.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  Put32(out, Crc32(out->data() + start, out->size() - start));
}

int BytesPerPixel(const PngPicture& p) { return p.colourType == 2 ? 3 : 1; }

uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  if (pb <= pc) return uint8_t(b);
  return uint8_t(c);
}

// Row y filtered with type f, the filter byte first.
Bytes FilterRow(const PngPicture& p, int y, int f) {
  int bpp = BytesPerPixel(p);
  size_t stride = size_t(p.width) * bpp;
  const uint8_t* row = p.pixels.data() + stride * y;
  const uint8_t* up = y > 0 ? row - stride : nullptr;
  Bytes out(stride + 1);
  out[0] = uint8_t(f);
  for (size_t i = 0; i < stride; ++i) {
    int a = i >= size_t(bpp) ? row[i - bpp] : 0;
    int b = up ? up[i] : 0;
    int c = (up && i >= size_t(bpp)) ? up[i - bpp] : 0;
    int predicted = 0;
    switch (f) {
      case 1: predicted = a; break;
      case 2: predicted = b; break;
      case 3: predicted = (a + b) / 2; break;
      case 4: predicted = Paeth(a, b, c); break;
    }
    out[i + 1] = uint8_t(row[i] - predicted);
  }
  return out;
}

Bytes Deflate(const Bytes& raw, const IdatChoice& choice) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (deflateInit2(&z, choice.level, Z_DEFLATED, 15, choice.memLevel, choice.strategy) != Z_OK) {
    std::abort();
  }
  Bytes out(deflateBound(&z, raw.size()));
  z.next_in = const_cast<Bytes::value_type*>(raw.data());
  z.avail_in = uInt(raw.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Every row filtered every way, so the search only reassembles.
struct FilteredRows {
  std::vector<Bytes> rows[5];
  Bytes Assemble(const std::vector<uint8_t>& filters) const {
    Bytes raw;
    for (size_t y = 0; y < filters.size(); ++y) {
      const Bytes& r = rows[filters[y]][y];
      raw.insert(raw.end(), r.begin(), r.end());
    }
    return raw;
  }
};

// The usual choice: per row, the filter with the smallest sum of absolute differences.
std::vector<uint8_t> HeuristicFilters(const FilteredRows& all, int height) {
  std::vector<uint8_t> filters(height);
  for (int y = 0; y < height; ++y) {
    long best = -1;
    for (int f = 0; f < 5; ++f) {
      long sum = 0;
      const Bytes& r = all.rows[f][y];
      for (size_t i = 1; i < r.size(); ++i) sum += r[i] < 128 ? r[i] : 256 - r[i];
      if (best < 0 || sum < best) {
        best = sum;
        filters[y] = uint8_t(f);
      }
    }
  }
  return filters;
}

}  // namespace

Bytes CompressRows(const PngPicture& picture, const IdatChoice& choice) {
  Bytes raw;
  for (int y = 0; y < picture.height; ++y) {
    Bytes r = FilterRow(picture, y, choice.filters[y]);
    raw.insert(raw.end(), r.begin(), r.end());
  }
  return Deflate(raw, choice);
}

Bytes EncodePng(const PngPicture& p, const Bytes& idat) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes out(signature, signature + 8);

  Bytes ihdr;
  Put32(&ihdr, uint32_t(p.width));
  Put32(&ihdr, uint32_t(p.height));
  ihdr.push_back(8);
  ihdr.push_back(uint8_t(p.colourType));
  ihdr.push_back(0);  // deflate
  ihdr.push_back(0);  // adaptive filtering
  ihdr.push_back(0);  // not interlaced
  Chunk(&out, "IHDR", ihdr);

  static const char keyword[] = "Creation Time";
  Bytes text(keyword, keyword + sizeof keyword);  // with its terminating zero
  text.insert(text.end(), p.creationTime.begin(), p.creationTime.end());
  Chunk(&out, "tEXt", text);

  Bytes time = {uint8_t(p.year >> 8), uint8_t(p.year), uint8_t(p.month), uint8_t(p.day),
                uint8_t(p.hour), uint8_t(p.minute), uint8_t(p.second)};
  Chunk(&out, "tIME", time);

  Bytes phys;
  Put32(&phys, 2834);  // 72 dots per inch
  Put32(&phys, 2834);
  phys.push_back(1);   // metres
  Chunk(&out, "pHYs", phys);

  Bytes gama;
  Put32(&gama, 45455);
  Chunk(&out, "gAMA", gama);

  if (p.colourType == 3) {
    Bytes plte;
    for (const Rgb& c : p.palette) {
      plte.push_back(c.r);
      plte.push_back(c.g);
      plte.push_back(c.b);
    }
    Chunk(&out, "PLTE", plte);
    if (!p.transparency.empty()) Chunk(&out, "tRNS", p.transparency);
  }
  Chunk(&out, "IDAT", idat);
  Chunk(&out, "IEND", Bytes());
  return out;
}

bool FitIdat(const PngPicture& p, size_t target, Bytes* idat, IdatChoice* found) {
  FilteredRows all;
  for (int f = 0; f < 5; ++f) {
    for (int y = 0; y < p.height; ++y) all.rows[f].push_back(FilterRow(p, y, f));
  }
  auto distance = [&](size_t size) { return size > target ? size - target : target - size; };

  // The deflate settings nearest the target with the usual filters, then single-row filter
  // changes that bring the size closer, then fixed pseudo-random jumps out of dead ends.
  IdatChoice choice;
  choice.filters = HeuristicFilters(all, p.height);
  size_t bestDistance = SIZE_MAX;
  IdatChoice start = choice;
  static const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE, Z_FIXED};
  for (int strategy : strategies) {
    for (int level = 9; level >= 1; --level) {
      IdatChoice c = choice;
      c.level = level;
      c.strategy = strategy;
      size_t d = distance(Deflate(all.Assemble(c.filters), c).size());
      if (d < bestDistance) {
        bestDistance = d;
        start = c;
      }
    }
  }
  choice = start;
  Bytes best = Deflate(all.Assemble(choice.filters), choice);
  uint32_t lcg = 12345;
  auto next = [&lcg]() {
    lcg = lcg * 1103515245u + 12345u;
    return lcg >> 16;
  };
  const int maxTries = p.height > 64 ? 6000 : 40000;
  int tries = 0;
  while (distance(best.size()) != 0 && tries < maxTries) {
    bool improved = false;
    for (int y = 0; y < p.height && distance(best.size()) != 0 && tries < maxTries; ++y) {
      for (int f = 0; f < 5 && distance(best.size()) != 0; ++f) {
        if (f == choice.filters[y]) continue;
        IdatChoice c = choice;
        c.filters[y] = uint8_t(f);
        Bytes z = Deflate(all.Assemble(c.filters), c);
        ++tries;
        if (distance(z.size()) < distance(best.size())) {
          choice = c;
          best = z;
          improved = true;
        }
      }
    }
    if (!improved) {
      for (int k = 0; k < 3; ++k) choice.filters[next() % p.height] = uint8_t(next() % 5);
      best = Deflate(all.Assemble(choice.filters), choice);
      ++tries;
    }
  }
  if (distance(best.size()) != 0) return false;
  *idat = best;
  if (found) *found = choice;
  return true;
}
