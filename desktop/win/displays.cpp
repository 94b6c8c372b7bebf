#include <cstring>

#include "desktop/desktop.h"
#include "desktop/win/platform_calls.h"

DesktopCalls DesktopPlatform = SYSTEM_DESKTOP_CALLS;

namespace {

const DWORD AttachedToDesktop = 1;  // DISPLAY_DEVICE_ATTACHED_TO_DESKTOP
const DWORD PrimaryDevice = 4;      // DISPLAY_DEVICE_PRIMARY_DEVICE
const DWORD ClassicDevModeSize = 148;  // the mode record without the later panning fields
const DWORD MaxDeviceIndex = 1024;  // a broken enumeration that never ends still stops

struct DisplayLibrary {
  bool loaded;
  HMODULE user32;
  EnumDisplayDevicesRoutine enumDevices;
} library;

bool NextDevice(DWORD index, DISPLAY_DEVICEA* device) {
  if (index >= MaxDeviceIndex) return false;
  std::memset(device, 0, sizeof(*device));
  device->cb = sizeof(DISPLAY_DEVICEA);
  return library.enumDevices(nullptr, index, device, 0) != 0;
}

// The desktop's own metrics: the screen's size and the "DISPLAY" device context's depth and rate.
bool ReadDesktopMetrics(DesktopRecord* record) {
  HDC dc = DesktopPlatform.createDC("DISPLAY", nullptr, nullptr, nullptr);
  if (!dc) return false;
  record->width = static_cast<int16_t>(DesktopPlatform.systemMetrics(SM_CXSCREEN));
  record->height = static_cast<int16_t>(DesktopPlatform.systemMetrics(SM_CYSCREEN));
  record->depth = static_cast<int16_t>(DesktopPlatform.deviceCaps(dc, BITSPIXEL));
  int frequency = DesktopPlatform.deviceCaps(dc, VREFRESH);
  record->frequency = static_cast<int16_t>(frequency == 1 ? 0 : frequency);  // 1: hardware default
  DesktopPlatform.deleteDC(dc);
  return true;
}

void FillRecord(const DISPLAY_DEVICEA& device, DesktopRecord* record, bool primary) {
  std::memset(record, 0, sizeof(*record));
  std::memcpy(record->name, device.DeviceName, sizeof(record->name));
  record->name[sizeof(record->name) - 1] = 0;
  DEVMODEA mode;
  std::memset(&mode, 0, sizeof(mode));
  mode.dmSize = ClassicDevModeSize;
  mode.dmDriverExtra = 0;
  // A display whose settings cannot be read keeps its place with zero metrics; the primary one
  // is the desktop, whose own metrics are known (zero would open a 0 x 0 screen).
  if (!DesktopPlatform.enumSettings(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) {
    if (primary) ReadDesktopMetrics(record);
    return;
  }
  record->width = static_cast<int16_t>(mode.dmPelsWidth);
  record->height = static_cast<int16_t>(mode.dmPelsHeight);
  record->depth = static_cast<int16_t>(mode.dmBitsPerPel);
  record->frequency = static_cast<int16_t>(mode.dmDisplayFrequency);
}

int32_t ExamineAttachedDevices() {
  DISPLAY_DEVICEA device;
  int32_t count = 0;
  bool anyPrimary = false;
  for (DWORD i = 0; NextDevice(i, &device); ++i) {
    if (!(device.StateFlags & AttachedToDesktop)) continue;
    ++count;
    if (device.StateFlags & PrimaryDevice) anyPrimary = true;
  }
  if (count == 0) return 0;
  DesktopRecord* records = ReplaceDesktopRecords(nullptr, count);
  if (!records) return 0;

  // The primary goes to index 0 and the others follow in enumeration order. Without a device
  // marked primary the first attached one takes index 0; the array never grows past the count.
  bool primaryPlaced = false;
  int32_t next = 1;
  int32_t seen = 0;
  for (DWORD i = 0; seen < count && NextDevice(i, &device); ++i) {
    if (!(device.StateFlags & AttachedToDesktop)) continue;
    ++seen;
    int32_t slot;
    bool primary = anyPrimary ? (device.StateFlags & PrimaryDevice) != 0 : true;
    if (primary && !primaryPlaced) {
      slot = 0;
      primaryPlaced = true;
    } else if (next < count) {
      slot = next++;
    } else if (!primaryPlaced) {
      slot = 0;
      primaryPlaced = true;
    } else {
      continue;
    }
    FillRecord(device, &records[slot], slot == 0);
  }

  // Devices that went away between the two passes leave no empty records behind.
  int32_t filled = next - 1;
  if (!primaryPlaced && filled > 0) std::memmove(records, records + 1, filled * sizeof(DesktopRecord));
  if (primaryPlaced) ++filled;
  if (filled < count && !ReplaceDesktopRecords(records, filled)) return 0;
  return filled;
}

int32_t ExamineDisplayContext() {
  DesktopRecord record;
  std::memset(&record, 0, sizeof(record));
  if (!ReadDesktopMetrics(&record)) return 0;
  return ReplaceDesktopRecords(&record, 1) ? 1 : 0;
}

}  // namespace

namespace {

// EnumDisplayDevicesA is looked up once, until CloseDisplayLibrary.
void LoadDisplayLibrary() {
  if (library.loaded) return;
  library.loaded = true;
  library.user32 = DesktopPlatform.library.loadLibrary("User32.DLL");
  if (library.user32)
    library.enumDevices =
        LookUp<EnumDisplayDevicesRoutine>(DesktopPlatform.library, library.user32, "EnumDisplayDevicesA");
}

}  // namespace

int32_t ExamineDisplays() {
  LoadDisplayLibrary();
  ReplaceDesktopRecords(nullptr, 0);
  int32_t count = library.enumDevices ? ExamineAttachedDevices() : 0;
  if (count == 0) count = ExamineDisplayContext();
  return count;
}

void CloseDisplayLibrary() {
  if (library.user32) DesktopPlatform.library.freeLibrary(library.user32);
  library.user32 = nullptr;
  library.enumDevices = nullptr;
  library.loaded = false;
}
