#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/win/platform_calls.h"

namespace {

struct FakeDevice {
  const char* name;
  DWORD flags;
  bool settingsReadable;
  DWORD width, height, bits, frequency;
  bool attachedOnSecondPass;  // for a display that goes away between the two passes
};

const DWORD Attached = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
const DWORD Primary = DISPLAY_DEVICE_PRIMARY_DEVICE;

std::vector<FakeDevice> devices;
int devicePasses;  // calls with index 0
std::vector<std::string> problems;
int createCalls, deleteCalls;
int createResult;
int fallbackFrequency;
HDC const FakeDC = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x5150));

BOOL WINAPI FakeEnumDevices(LPCSTR device, DWORD index, DISPLAY_DEVICEA* info, DWORD flags) {
  if (device) problems.push_back("device name given");
  if (info->cb != 424) problems.push_back("display-device record size " + std::to_string(info->cb));
  if (flags) problems.push_back("flags given");
  if (index == 0) ++devicePasses;
  if (index >= devices.size()) return FALSE;
  const FakeDevice& d = devices[index];
  std::strncpy(info->DeviceName, d.name, sizeof(info->DeviceName) - 1);
  info->StateFlags = d.flags;
  if (devicePasses > 1 && !d.attachedOnSecondPass) info->StateFlags &= ~Attached;
  return TRUE;
}

BOOL WINAPI FakeEnumSettings(LPCSTR name, DWORD mode, DEVMODEA* settings) {
  if (mode != ENUM_CURRENT_SETTINGS) problems.push_back("not the current settings");
  if (settings->dmSize != 148) problems.push_back("mode record size " + std::to_string(settings->dmSize));
  if (settings->dmDriverExtra != 0) problems.push_back("driver extra");
  for (const FakeDevice& d : devices) {
    if (std::strcmp(d.name, name) != 0) continue;
    if (!d.settingsReadable) return FALSE;
    settings->dmPelsWidth = d.width;
    settings->dmPelsHeight = d.height;
    settings->dmBitsPerPel = d.bits;
    settings->dmDisplayFrequency = d.frequency;
    return TRUE;
  }
  problems.push_back(std::string("settings of unknown device ") + name);
  return FALSE;
}

HDC WINAPI FakeCreateDC(LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA* settings) {
  ++createCalls;
  if (!driver || std::strcmp(driver, "DISPLAY") != 0) problems.push_back("device context not for DISPLAY");
  return createResult ? FakeDC : nullptr;
}

int WINAPI FakeSystemMetrics(int index) { return index == SM_CXSCREEN ? 800 : index == SM_CYSCREEN ? 600 : -1; }

int WINAPI FakeDeviceCaps(HDC dc, int index) {
  if (dc != FakeDC) problems.push_back("caps of another device context");
  return index == BITSPIXEL ? 16 : index == VREFRESH ? fallbackFrequency : -1;
}

BOOL WINAPI FakeDeleteDC(HDC dc) {
  if (dc != FakeDC) problems.push_back("deleted another device context");
  ++deleteCalls;
  return TRUE;
}

HMODULE const FakeUser32 = reinterpret_cast<HMODULE>(0x5500);
bool enumDevicesExported = true;

HMODULE WINAPI FakeLoadLibrary(LPCSTR name) {
  if (std::strcmp(name, "User32.DLL") != 0) problems.push_back(std::string("loaded ") + name);
  return FakeUser32;
}
FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  if (module != FakeUser32 || std::strcmp(name, "EnumDisplayDevicesA") != 0) problems.push_back(std::string("looked up ") + name);
  return enumDevicesExported ? reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeEnumDevices)) : nullptr;
}
BOOL WINAPI FakeFreeLibrary(HMODULE module) {
  if (module != FakeUser32) problems.push_back("freed another module");
  return TRUE;
}

// ExamineDisplays against the fakes; without EnumDisplayDevicesA when withEnumDevices is false.
int32_t ExamineFakeDisplays(bool withEnumDevices = true) {
  CloseDisplayLibrary();
  enumDevicesExported = withEnumDevices;
  DesktopPlatform = {{FakeLoadLibrary, FakeGetProcAddress, FakeFreeLibrary}, FakeEnumSettings, FakeCreateDC,
                     FakeSystemMetrics, FakeDeviceCaps, FakeDeleteDC};
  const int32_t count = ExamineDisplays();
  CloseDisplayLibrary();
  DesktopPlatform = SYSTEM_DESKTOP_CALLS;
  return count;
}

class DisplaysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    devices.clear();
    problems.clear();
    devicePasses = createCalls = deleteCalls = 0;
    createResult = 1;
    fallbackFrequency = 1;
  }
  void TearDown() override {
    EXPECT_TRUE(problems.empty()) << problems.front();
    ReplaceDesktopRecords(nullptr, 0);
  }
};

TEST_F(DisplaysTest, PrimaryEnumeratedSecondGoesToIndexZero) {
  devices = {{"\\\\.\\DISPLAY1", Attached, true, 1280, 1024, 16, 75, true},
             {"\\\\.\\DISPLAY2", Attached | Primary, true, 1920, 1080, 32, 60, true}};
  EXPECT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_EQ(DisplayCount(), 2);
  EXPECT_EQ(DisplayWidth(0), 1920);
  EXPECT_EQ(DisplayHeight(0), 1080);
  EXPECT_EQ(DisplayDepth(0), 32);
  EXPECT_EQ(DisplayFrequency(0), 60);
  EXPECT_STREQ(DisplayRecord(0)->name, "\\\\.\\DISPLAY2");
  EXPECT_EQ(DisplayWidth(1), 1280);
  EXPECT_EQ(DisplayDepth(1), 16);
  EXPECT_EQ(DisplayFrequency(1), 75);
  EXPECT_STREQ(DisplayRecord(1)->name, "\\\\.\\DISPLAY1");
  EXPECT_EQ(DisplayWidth(-1), 0);
  EXPECT_EQ(DisplayWidth(2), 0);
  EXPECT_EQ(createCalls, 0);
}

TEST_F(DisplaysTest, DetachedDisplaysAreNeitherCountedNorStored) {
  devices = {{"\\\\.\\DISPLAY1", Attached | Primary, true, 1024, 768, 32, 60, true},
             {"\\\\.\\DISPLAY2", 0, true, 999, 999, 8, 1, true},
             {"\\\\.\\DISPLAY3", Attached, true, 800, 600, 16, 0, true},
             {"\\\\.\\DISPLAY4", Primary, true, 777, 777, 8, 1, true}};
  EXPECT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_STREQ(DisplayRecord(0)->name, "\\\\.\\DISPLAY1");
  EXPECT_STREQ(DisplayRecord(1)->name, "\\\\.\\DISPLAY3");
  EXPECT_EQ(DisplayWidth(1), 800);
}

TEST_F(DisplaysTest, OthersFollowInEnumerationOrder) {
  devices = {{"A", Attached, true, 100, 100, 8, 0, true},
             {"B", Attached, true, 200, 200, 8, 0, true},
             {"P", Attached | Primary, true, 300, 300, 8, 0, true},
             {"C", Attached, true, 400, 400, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 4);
  EXPECT_EQ(DisplayWidth(0), 300);
  EXPECT_EQ(DisplayWidth(1), 100);
  EXPECT_EQ(DisplayWidth(2), 200);
  EXPECT_EQ(DisplayWidth(3), 400);
}

TEST_F(DisplaysTest, WithoutAPrimaryTheFirstAttachedTakesIndexZero) {
  devices = {{"A", Attached, true, 100, 100, 8, 0, true}, {"B", Attached, true, 200, 200, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_EQ(DisplayWidth(0), 100);
  EXPECT_EQ(DisplayWidth(1), 200);
}

TEST_F(DisplaysTest, TwoDevicesMarkedPrimaryStillFillOneRecordEach) {
  devices = {{"A", Attached | Primary, true, 100, 100, 8, 0, true},
             {"B", Attached | Primary, true, 200, 200, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_EQ(DisplayWidth(0), 100);
  EXPECT_EQ(DisplayWidth(1), 200);
}

TEST_F(DisplaysTest, UnreadableSettingsKeepTheDisplaysPlaceWithZeroMetrics) {
  devices = {{"A", Attached, false, 100, 100, 8, 0, true},
             {"P", Attached | Primary, true, 300, 300, 32, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_EQ(DisplayWidth(0), 300);
  EXPECT_EQ(DisplayWidth(1), 0);
  EXPECT_EQ(DisplayDepth(1), 0);
  EXPECT_STREQ(DisplayRecord(1)->name, "A");
}

TEST_F(DisplaysTest, APrimaryWithUnreadableSettingsGetsTheDesktopsMetrics) {
  devices = {{"A", Attached, true, 100, 100, 8, 0, true},
             {"P", Attached | Primary, false, 300, 300, 32, 0, true}};
  fallbackFrequency = 60;
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_STREQ(DisplayRecord(0)->name, "P");
  EXPECT_EQ(DisplayWidth(0), 800);
  EXPECT_EQ(DisplayHeight(0), 600);
  EXPECT_EQ(DisplayDepth(0), 16);
  EXPECT_EQ(DisplayFrequency(0), 60);
  EXPECT_EQ(DisplayWidth(1), 100);
  EXPECT_EQ(deleteCalls, createCalls);
  // Without even a device context the primary keeps zero metrics rather than anything made up.
  createResult = 0;
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  EXPECT_EQ(DisplayWidth(0), 0);
  EXPECT_EQ(DisplayWidth(1), 100);
}

TEST_F(DisplaysTest, DisplaysGoneBeforeTheSecondPassLeaveNoEmptyRecords) {
  devices = {{"A", Attached, true, 100, 100, 8, 0, true},
             {"P", Attached | Primary, true, 300, 300, 32, 0, false},
             {"B", Attached, true, 200, 200, 8, 0, false}};
  ASSERT_EQ(ExamineFakeDisplays(), 1);
  EXPECT_EQ(DisplayCount(), 1);
  EXPECT_EQ(DisplayWidth(0), 100);
  EXPECT_EQ(DisplayWidth(1), 0);
}

TEST_F(DisplaysTest, WithoutEnumDisplayDevicesTheScreenMetricsAreUsed) {
  ASSERT_EQ(ExamineFakeDisplays(false), 1);
  EXPECT_EQ(DisplayWidth(0), 800);
  EXPECT_EQ(DisplayHeight(0), 600);
  EXPECT_EQ(DisplayDepth(0), 16);
  EXPECT_EQ(DisplayFrequency(0), 0);  // 1, the hardware default, is stored as 0
  EXPECT_STREQ(DisplayRecord(0)->name, "");
  EXPECT_EQ(createCalls, 1);
  EXPECT_EQ(deleteCalls, 1);
  EXPECT_EQ(devicePasses, 0);

  fallbackFrequency = 72;
  ASSERT_EQ(ExamineFakeDisplays(false), 1);
  EXPECT_EQ(DisplayFrequency(0), 72);
}

TEST_F(DisplaysTest, NoAttachedDisplayFallsBackToTheDeviceContext) {
  devices = {{"A", 0, true, 100, 100, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 1);
  EXPECT_EQ(DisplayWidth(0), 800);
  EXPECT_EQ(createCalls, 1);
}

TEST_F(DisplaysTest, NothingExaminableGivesNoDisplays) {
  devices = {{"A", Attached | Primary, true, 100, 100, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 1);
  createResult = 0;
  EXPECT_EQ(ExamineFakeDisplays(false), 0);  // the earlier array is gone too
  EXPECT_EQ(DisplayCount(), 0);
  EXPECT_EQ(DisplayWidth(0), 0);
  EXPECT_EQ(DisplayHeight(0), 0);
  EXPECT_EQ(DisplayDepth(0), 0);
  EXPECT_EQ(deleteCalls, 0);
}

TEST_F(DisplaysTest, ASecondExaminationReplacesTheFirst) {
  devices = {{"A", Attached, true, 100, 100, 8, 0, true}, {"P", Attached | Primary, true, 300, 300, 8, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 2);
  devices = {{"Q", Attached | Primary, true, 640, 480, 16, 0, true}};
  ASSERT_EQ(ExamineFakeDisplays(), 1);
  EXPECT_EQ(DisplayWidth(0), 640);
  EXPECT_EQ(DisplayWidth(1), 0);
}

TEST_F(DisplaysTest, TheRealDesktop) {
  // The test display is 1024 x 768 at 24 bits; Wine reports 24 or 32 bits per pixel.
  ASSERT_GE(ExamineDisplays(), 1);
  EXPECT_EQ(DisplayWidth(0), 1024);
  EXPECT_EQ(DisplayHeight(0), 768);
  EXPECT_TRUE(DisplayDepth(0) == 24 || DisplayDepth(0) == 32) << DisplayDepth(0);
  EXPECT_NE(DisplayRecord(0)->name[0], 0);  // named, so EnumDisplayDevicesA was found
  CloseDisplayLibrary();
  ASSERT_GE(ExamineDisplays(), 1);  // loads the library again
  EXPECT_EQ(DisplayWidth(0), 1024);
  CloseDisplayLibrary();
  CloseDisplayLibrary();  // harmless twice
}

}  // namespace
