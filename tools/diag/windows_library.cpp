// LUMBREL.dll on Windows, loaded and resolved as a management application
// does it.
#include <windows.h>

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

 private:
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
