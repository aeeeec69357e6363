// LUMBREL.dll on Windows, loaded and resolved as a management application
// does it.
#include <windows.h>

#include <chrono>
#include <stdexcept>

#include "library.h"

namespace lumbrel::diag {
namespace {

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

}  // namespace

std::unique_ptr<Library> OpenLibrary(const LibraryOptions& options) {
  if (options.machineFile || options.traceFile) {
    throw std::runtime_error("--machine and --trace need the host build: on Windows the hardware is real");
  }
  return std::make_unique<WindowsLibrary>();
}

}  // namespace lumbrel::diag
