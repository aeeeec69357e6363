// LUMBREL.dll on Windows, loaded and resolved as a management application
// does it: on the real hardware, or (--machine, --trace) on the simulated
// machine of LUMBRELSIM.dll, which routes the DLL's device calls to it.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "library.h"

namespace lumbrel::diag {
namespace {

// The path and FileVersion of a loaded module, for --version.
std::string DescribeModule(HMODULE module) {
  char path[MAX_PATH] = {};
  if (GetModuleFileNameA(module, path, sizeof path) == 0) return "LUMBREL.dll (path unknown)";
  std::string text = path;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size != 0 && GetFileVersionInfoA(path, 0, size, data.data()) &&
      VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) && info != nullptr) {
    text += ", FileVersion " + std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
            std::to_string(LOWORD(info->dwFileVersionMS)) + "." + std::to_string(HIWORD(info->dwFileVersionLS)) +
            "." + std::to_string(LOWORD(info->dwFileVersionLS));
  } else {
    text += ", no FileVersion";
  }
  return text;
}

class WindowsLibrary : public Library {
 public:
  WindowsLibrary() {
    module_ = LoadLibraryA("LUMBREL.dll");
    if (module_ == nullptr) {
      throw std::runtime_error("cannot load LUMBREL.dll (Windows error " + std::to_string(GetLastError()) + ")");
    }
    LumbrelResolveExports(module_, &exports_);
  }

  ~WindowsLibrary() override { FreeLibrary(module_); }
  std::string Describe() const override { return DescribeModule(module_); }

  ClockFunction Clock() const override {
    return [] {
      return static_cast<std::uint64_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
    };
  }
  void Pause(std::uint32_t milliseconds) override { Sleep(milliseconds); }
  bool VirtualTime() const override { return false; }

  // The mark is not visible from outside the DLL: a few short pauses cover
  // the moment between a callback's return and the clearing of its mark.
  bool AwaitJobMarkClear(JobKind, int attempt) override {
    Sleep(1);
    return attempt < kMarkRetries;
  }

 private:
  static constexpr int kMarkRetries = 50;
  HMODULE module_ = nullptr;
};

// The same DLL on a simulated machine. LUMBRELSIM.dll is loaded at run
// time, so that the tool needs it only for --machine and --trace.
class SimulatedLibrary : public Library {
 public:
  explicit SimulatedLibrary(const LibraryOptions& options) {
    if (options.realtime) throw std::runtime_error("--realtime needs the host build");
    // The simulator reads both when it builds its machine, at the first load.
    if (options.machineFile) SetEnvironmentVariableA("LUMBREL_MACHINE", options.machineFile->c_str());
    if (options.traceFile) SetEnvironmentVariableA("LUMBREL_TRACE", options.traceFile->c_str());
    if (options.traceAllData) SetEnvironmentVariableA("LUMBREL_TRACE_DATA", "full");
    simulator_ = LoadLibraryA("LUMBRELSIM.dll");
    if (simulator_ == nullptr) {
      throw std::runtime_error("cannot load LUMBRELSIM.dll, the simulated machine (Windows error " +
                               std::to_string(GetLastError()) + ")");
    }
    Resolve(load_, "LumbrelSimLoadLibrary");
    Resolve(free_, "LumbrelSimFreeLibrary");
    Resolve(problem_, "LumbrelSimProblem");
    Resolve(elapsed_, "LumbrelSimElapsed");
    Resolve(sleep_, "LumbrelSimSleep");
    Resolve(catchUp_, "LumbrelSimCatchUp");
    Resolve(threadsUnderway_, "LumbrelSimThreadsUnderway");
    Resolve(describe_, "LumbrelSimDescribeMachine");
    s_elapsed = elapsed_;
    module_ = load_("LUMBREL.dll");
    if (module_ == nullptr) {
      const DWORD error = GetLastError();
      const std::string problem = problem_();
      throw std::runtime_error(!problem.empty() ? problem
                                                : "cannot load LUMBREL.dll (Windows error " + std::to_string(error) + ")");
    }
    LumbrelResolveExports(module_, &exports_);
  }

  // LUMBRELSIM.dll stays: a job that outlives the DLL's unload still calls it.
  ~SimulatedLibrary() override { free_(module_); }
  std::string Describe() const override { return DescribeModule(module_) + ", on the simulated machine of LUMBRELSIM.dll"; }

  std::optional<nlohmann::ordered_json> MachineView() override {
    std::string text(describe_(nullptr, 0), '\0');
    describe_(text.data(), static_cast<DWORD>(text.size()));
    text.pop_back();
    return nlohmann::ordered_json::parse(text);
  }

  ClockFunction Clock() const override { return [] { return s_elapsed(); }; }
  void Pause(std::uint32_t milliseconds) override { sleep_(milliseconds); }
  bool VirtualTime() const override { return true; }
  void CatchUp(std::uint64_t milliseconds) override { catchUp_(milliseconds); }

  // As on the real hardware: the mark is inside the DLL.
  bool AwaitJobMarkClear(JobKind, int attempt) override {
    Sleep(1);
    return attempt < kMarkRetries;
  }

  // On the virtual clock a stop that comes before the flash loop has begun
  // would be lost: waits (in real time, briefly) until the job's thread is
  // under way.
  void AwaitJobUnderway(JobKind kind, const std::function<bool()>& ended) override {
    if (kind != JobKind::Flash) return;
    for (int waited = 0; !threadsUnderway_() && !ended() && waited < kUnderwayLimitMs; ++waited) Sleep(1);
  }

 private:
  static constexpr int kMarkRetries = 50;
  static constexpr int kUnderwayLimitMs = 2000;

  template <typename Function>
  void Resolve(Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(simulator_, name)));
    if (function == nullptr) throw std::runtime_error(std::string("LUMBRELSIM.dll lacks ") + name);
  }

  using ElapsedFunction = std::uint64_t (*)();
  static inline ElapsedFunction s_elapsed = nullptr;

  HMODULE simulator_ = nullptr;
  HMODULE module_ = nullptr;
  HMODULE (*load_)(const char*) = nullptr;
  BOOL (*free_)(HMODULE) = nullptr;
  const char* (*problem_)() = nullptr;
  ElapsedFunction elapsed_ = nullptr;
  void (*sleep_)(DWORD) = nullptr;
  void (*catchUp_)(std::uint64_t) = nullptr;
  BOOL (*threadsUnderway_)() = nullptr;
  DWORD (*describe_)(char*, DWORD) = nullptr;
};

}  // namespace

std::unique_ptr<Library> OpenLibrary(const LibraryOptions& options) {
  if (options.machineFile || options.traceFile) return std::make_unique<SimulatedLibrary>(options);
  return std::make_unique<WindowsLibrary>();
}

}  // namespace lumbrel::diag
