// Fault injection over the whole program against the recording fakes: start-up, the saver's set-up
// and two frames or the preview's set-up and two loop turns, then the exit path. A clean run counts
// the calls that can fail (COM methods, the creators, the run-time loader); then, for every N, a
// run of its own, in a process of its own, makes the N-th of them fail. Every run must end on the
// exit path with exit code 0, show no box or the start-up box for a device, release every object
// the fakes handed out and leave no listed object behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/saver.h"
#include "app/preview.h"
#include "app/win/startup.h"
#include "app/state.h"
#include "app/win/platform_calls.h"
#include "desktop/win/platform_calls.h"
#include "display/tests/win/display_support.h"
#include "display/tests/win/fake_d3d.h"
#include "display/win/platform_calls.h"
#include "input/tests/win/fake_dinput.h"
#include "input/win/platform_calls.h"
#include "runtime/memory.h"
#include "runtime/tests/win/fault_points.h"
#include "runtime/win/platform_calls.h"
#include "sound/tests/win/fake_dsound.h"
#include "sound/win/platform_calls.h"

namespace {

const char* const DeviceBox = "Error|Can't open DirectX 7 or later, mouse-, input- or sound-device";
const char* const Sprite3DBox = "Error|Can't open DirectX 7 or later (initsprite)";

// ---- the child: one run of the program ----------------------------------------------------

struct World {
  FakeDirectDraw* dd = new FakeDirectDraw;   // never freed: the process ends with the run
  FakeClipper clipper;
  FakeDirect3D d3d;
  FakeDevice devices[4];
  fake::Input input;
  fakesound::Device sound;
  int ddHanded = 0, inputHanded = 0, soundHanded = 0;
  std::vector<std::string> boxes;
  const char* report = nullptr;
};
World* world;

HRESULT WINAPI HandOutDirectDraw(GUID* device, void** object, REFIID id, IUnknown* outer) {
  const HRESULT result = FakeDirectDrawCreateEx(device, object, id, outer);
  if (result == DD_OK) ++world->ddHanded;
  return result;
}
HRESULT WINAPI HandOutInput(HINSTANCE instance, DWORD version, REFIID id, LPVOID* object, LPUNKNOWN outer) {
  const HRESULT result = fake::CreateFake(instance, version, id, object, outer);
  if (result == 0) ++world->inputHanded;
  return result;
}
HRESULT WINAPI HandOutSound(LPCGUID device, LPDIRECTSOUND* object, LPUNKNOWN outer) {
  const HRESULT result = fakesound::CreateFake(device, object, outer);
  if (result == 0) ++world->soundHanded;
  return result;
}
BOOL WINAPI RegisterSession(HWND, DWORD) { return FailHere("WTSRegisterSessionNotification") ? FALSE : TRUE; }

template <class Routine> FARPROC Entry(Routine routine) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(routine));
}

// The real modules are loaded (all exist under Wine); the DirectX creators are the fakes'.
HMODULE WINAPI LoadModule(LPCSTR name) {
  if (FailHere((std::string("LoadLibraryA(") + name + ")").c_str())) return nullptr;
  return LoadLibraryA(name);
}
FARPROC WINAPI FindEntry(HMODULE module, LPCSTR name) {
  if (FailHere((std::string("GetProcAddress(") + name + ")").c_str())) return nullptr;
  const std::string n = name;
  if (n == "DirectDrawCreateEx") return Entry(HandOutDirectDraw);
  if (n == "DirectInputCreateEx") return Entry(HandOutInput);
  if (n == "DirectSoundCreate") return Entry(HandOutSound);
  if (n == "WTSRegisterSessionNotification") return Entry(RegisterSession);
  return GetProcAddress(module, name);
}

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT) {
  world->boxes.push_back(std::string(caption) + "|" + text);
  return IDOK;
}

void Expect(std::string* leaks, const char* what, LONG references, LONG expected) {
  if (references == expected) return;
  *leaks += std::string(what) + " holds " + std::to_string(references) + " references, not " +
            std::to_string(expected) + "; ";
}

// The end of every run: what the exit path left, for the parent to judge.
void WINAPI FinishRun(UINT code) {
  World& w = *world;
  std::string leaks;
  Expect(&leaks, "DirectDraw", w.dd->references, 1 - w.ddHanded);
  for (const auto& surface : w.dd->surfaces)
    Expect(&leaks, surface->name.c_str(), surface->references, surface->name == "back" ? 1 : 0);   // the chain's own
  Expect(&leaks, "clipper", w.clipper.references, 1);
  Expect(&leaks, "Direct3D", w.d3d.references, 1);
  for (FakeDevice& device : w.devices) {
    bool handed = true;
    for (FakeDevice* waiting : w.d3d.nextDevices) handed = handed && waiting != &device;
    Expect(&leaks, "3D device", device.references, handed ? 0 : 1);
  }
  Expect(&leaks, "DirectInput", w.input.references, 1 - w.inputHanded);
  Expect(&leaks, "keyboard", w.input.keyboard.references, 1 - w.input.keyboardsCreated);
  Expect(&leaks, "mouse", w.input.mouse.references, 1 - w.input.miceCreated);
  Expect(&leaks, "DirectSound", w.sound.references, 1 - w.soundHanded);
  Expect(&leaks, "primary sound buffer", w.sound.primary.references,
         1 - static_cast<LONG>(std::count(fakesound::Log.begin(), fakesound::Log.end(), "sound.CreateSoundBuffer")));
  size_t listed = 0, bytes = 0;
  if (ListedObjectHeap) HeapUsage(ListedObjectHeap, &listed, &bytes);
  if (listed) leaks += std::to_string(listed) + " listed objects left; ";

  FaultPoints& f = Faults();
  if (FILE* out = std::fopen(w.report, "w")) {
    std::fprintf(out, "calls %ld\ncode %u\nfailed %s\nphase %s\nleaks %s\n", f.calls, code, f.failed.c_str(),
                 f.failedPhase, leaks.c_str());
    for (const std::string& box : w.boxes) std::fprintf(out, "box %s\n", box.c_str());
    std::fprintf(out, "names\n%s", f.names.c_str());
    std::fclose(out);
  }
  ExitProcess(code);
}

void InstallFakes() {
  world = new World;
  World& w = *world;
  w.dd->clipper = &w.clipper;
  w.dd->direct3D = &w.d3d;
  for (FakeDevice& device : w.devices) w.d3d.nextDevices.push_back(&device);
  CurrentFakeDirectDraw() = w.dd;
  fake::Dll.input = &w.input;
  fakesound::Dll.device = &w.sound;

  const LibraryCalls loader = {LoadModule, FindEntry, FreeLibrary};
  DisplayPlatform.library = loader;
  InputPlatform.library = loader;
  SoundPlatform.library = loader;
  DesktopPlatform.library = loader;
  RuntimePlatform.messageBox = RecordBox;
  AppPlatform.exitProcess = FinishRun;
}

HWND MakeHost() {
  return CreateWindowA("STATIC", "preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 200, 150, nullptr,
                       nullptr, GetModuleHandleA(nullptr), nullptr);
}

[[noreturn]] void RunChild(const std::string& scenario, long failAt, const char* report) {
  InstallFakes();
  world->report = report;
  Faults().failAt = failAt;
  Faults().recording = failAt == 0;
  HWND host = scenario == "preview" ? MakeHost() : nullptr;

  Faults().phase = "start-up";
  StartUp();
  if (scenario == "saver") {
    Faults().phase = "saver-set-up";
    SaverSetUp();
    for (int frame = 0; frame < 2; ++frame) {
      Faults().phase = "saver-frame";
      DrawBackground();
      DrawPattern();
      ShowFrame();
      AdvanceAndReadInput();
    }
  } else {
    char handle[32];
    std::snprintf(handle, sizeof handle, "%lld", static_cast<long long>(reinterpret_cast<intptr_t>(host)));
    AssignStringVariable(&App.ModeArgument, handle);
    Faults().phase = "preview-set-up";
    SetUpPreview();
    Faults().phase = "preview-turn";
    for (int turn = 0; turn < 2; ++turn) ShowPreviewFrame();
  }
  Faults().phase = "exit";
  ExitProgram();
}

// ---- the parent: the runs and their judgement ----------------------------------------------

struct RunResult {
  bool finished = false;   // ended by itself and wrote its report
  DWORD exitCode = 0;
  long calls = 0;
  std::string failed, phase, leaks;
  std::vector<std::string> boxes;
  std::vector<std::string> names;   // "phase call", clean run only
};

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

std::string ReportPath(const std::string& scenario, long failAt) {
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + "vorlune_fault_" + scenario + "_" + std::to_string(failAt) + "_" +
         std::to_string(GetCurrentProcessId()) + ".txt";
}

struct Child {
  PROCESS_INFORMATION process = {};
  std::string report;
};

bool StartChild(const std::string& scenario, long failAt, Child* child) {
  child->report = ReportPath(scenario, failAt);
  DeleteFileA(child->report.c_str());
  std::string line = "\"" + ProgramPath() + "\" --fault-child " + scenario + " " + std::to_string(failAt) + " \"" +
                     child->report + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::vector<char> text(line.begin(), line.end());
  text.push_back(0);
  return CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child->process) != 0;
}

RunResult FinishChild(Child* child) {
  RunResult result;
  // Generous: a run takes well under a second; one that does not end is a hang.
  if (WaitForSingleObject(child->process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(child->process.hProcess, 99);
    WaitForSingleObject(child->process.hProcess, 5000);
  }
  GetExitCodeProcess(child->process.hProcess, &result.exitCode);
  CloseHandle(child->process.hProcess);
  CloseHandle(child->process.hThread);
  std::ifstream in(child->report);
  std::string line;
  bool names = false;
  while (std::getline(in, line)) {
    if (names) {
      result.names.push_back(line);
      continue;
    }
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "calls") { result.calls = std::atol(value.c_str()); result.finished = true; }
    else if (key == "failed") result.failed = value;
    else if (key == "phase") result.phase = value;
    else if (key == "leaks") result.leaks = value;
    else if (key == "box") result.boxes.push_back(value);
    else if (key == "names") names = true;
  }
  in.close();
  DeleteFileA(child->report.c_str());
  return result;
}

RunResult RunOnce(const std::string& scenario, long failAt) {
  Child child;
  if (!StartChild(scenario, failAt, &child)) return RunResult();
  return FinishChild(&child);
}

// What a run with the N-th call failing must show; empty when it did.
std::string Judge(const RunResult& run) {
  if (!run.finished) return "did not reach the exit path (exit status " + std::to_string(run.exitCode) + ")";
  if (run.exitCode != 0) return "exit code " + std::to_string(run.exitCode);
  if (!run.leaks.empty()) return run.leaks;
  if (run.boxes.size() > 1) return "more than one box";
  if (run.boxes.size() == 1) {
    if (run.boxes[0] != DeviceBox && run.boxes[0] != Sprite3DBox) return "unexpected box " + run.boxes[0];
    if (run.phase != "start-up") return "a start-up box for a failure in " + run.phase;
  }
  return "";
}

class FaultInjection : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultInjection, EveryFailingCallEndsOnTheExitPath) {
  const std::string scenario = GetParam();
  const RunResult clean = RunOnce(scenario, 0);
  ASSERT_TRUE(clean.finished) << "the clean run ended with status " << clean.exitCode;
  ASSERT_EQ("", Judge(clean));
  EXPECT_TRUE(clean.boxes.empty());
  ASSERT_GT(clean.calls, 30) << "the fakes saw too few calls for a whole run";
  ASSERT_EQ(static_cast<size_t>(clean.calls), clean.names.size());

  // Several runs at a time: most of a run is Wine waiting (hiding the full-screen window takes it
  // two seconds), not work.
  const long Batch = 32;
  long injected = 0, boxes = 0, missed = 0;
  std::vector<std::string> problems;
  for (long first = 1; first <= clean.calls; first += Batch) {
    const long count = std::min(Batch, clean.calls - first + 1);
    std::vector<Child> children(static_cast<size_t>(count));
    std::vector<bool> started(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) started[i] = StartChild(scenario, first + i, &children[i]);
    for (long i = 0; i < count; ++i) {
      const long failAt = first + i;
      const std::string expected = clean.names[static_cast<size_t>(failAt - 1)];
      if (!started[i]) {
        problems.push_back(std::to_string(failAt) + " (" + expected + "): could not start the run");
        continue;
      }
      const RunResult run = FinishChild(&children[i]);
      if (run.finished && run.failed.empty()) {
        ++missed;   // the run took another path and made fewer calls
        continue;
      }
      ++injected;
      if (!run.boxes.empty()) ++boxes;
      const std::string problem = Judge(run);
      if (!problem.empty())
        problems.push_back(std::to_string(failAt) + " (" + (run.failed.empty() ? expected : run.phase + " " + run.failed) +
                           "): " + problem);
    }
  }
  std::printf("%s: %ld calls that can fail, %ld failures injected, %ld ended with a start-up box, %ld not reached\n",
              scenario.c_str(), clean.calls, injected, boxes, missed);
  EXPECT_GE(injected, clean.calls * 9 / 10) << "most runs must reach the call they were to fail";
  for (const std::string& p : problems) ADD_FAILURE() << p;
}

INSTANTIATE_TEST_SUITE_P(Program, FaultInjection, ::testing::Values("saver", "preview"));

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--fault-child") == 0) RunChild(argv[2], std::atol(argv[3]), argv[4]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
