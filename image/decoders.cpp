// The image-decoder registry: a fixed table of decoders asked in registration order.
#include "image/decoders.h"

#include "runtime/platform.h"

namespace {

struct RegistryState {
  const ImageDecoder* decoders[ImageDecoderCapacity];
  int count;
  const ImageDecoder* current;
  FILE* openFile;
};

RegistryState registry;

void CloseOpenFile() {
  if (registry.openFile) {
    fclose(registry.openFile);
    registry.openFile = nullptr;
  }
}

}  // namespace

void ResetImageDecoders() {
  CloseOpenFile();
  registry = RegistryState();
}

int RegisterImageDecoder(const ImageDecoder* decoder) {
  if (!decoder || registry.count >= ImageDecoderCapacity) return 0;
  registry.decoders[registry.count++] = decoder;
  return 1;
}

int ImageDecoderRegistered(const ImageDecoder* decoder) {
  for (int i = 0; i < registry.count; i++)
    if (registry.decoders[i] == decoder) return 1;
  return 0;
}

int FindImageDecoder(intptr_t value, const void* memory) {
  // A stream left by a probe that was never decoded is closed, not leaked; and an earlier success
  // must not be decoded after this search fails.
  CloseOpenFile();
  registry.current = nullptr;

  if (memory) {
    for (int i = 0; i < registry.count; i++) {
      int result = registry.decoders[i]->probe(nullptr, memory, value);
      if (result) {
        registry.current = registry.decoders[i];
        return result;
      }
    }
    return 0;
  }

  const char* path = reinterpret_cast<const char*>(value);
  if (!path) return 0;
  FILE* file = fopen(path, "rb");
  if (!file) return 0;
  for (int i = 0; i < registry.count; i++) {
    if (fseek(file, 0, SEEK_SET) != 0) break;
    int result = registry.decoders[i]->probe(file, nullptr, value);
    if (result) {
      registry.current = registry.decoders[i];
      registry.openFile = file;
      return result;
    }
  }
  fclose(file);
  return 0;
}

uint32_t CurrentImageWidth() { return registry.current ? registry.current->width() : 0; }

uint32_t CurrentImageHeight() { return registry.current ? registry.current->height() : 0; }

int DecodeCurrentImage(void* destination, int32_t pitch, intptr_t value) {
  int result = registry.current ? registry.current->decode(destination, pitch, value) : 0;
  CloseOpenFile();
  return result;
}
