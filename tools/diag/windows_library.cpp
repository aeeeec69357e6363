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
    Resolve(exports_.InitializeDiags, "InitializeDiags");
    Resolve(exports_.SFStartFlashPower, "SFStartFlashPower");
    Resolve(exports_.SFStopFlashPower, "SFStopFlashPower");
    Resolve(exports_.SFAdjustPowerLED, "SFAdjustPowerLED");
    Resolve(exports_.SetActivityCallback, "SetActivityCallback");
    Resolve(exports_.SetFormatCallback, "SetFormatCallback");
    Resolve(exports_.SetFirmwareCallback, "SetFirmwareCallback");
    Resolve(exports_.FlashDriveActivityLight, "FlashDriveActivityLight");
    Resolve(exports_.FlashActivityLightAllDrives, "FlashActivityLightAllDrives");
    Resolve(exports_.DeepFormatDrive, "DeepFormatDrive");
    Resolve(exports_.UpdateDriveFWImage, "_UpdateDriveFWImage@24");
    Resolve(exports_.GetRaidLevel, "GetRaidLevel");
    Resolve(exports_.GetAllDriveLetters, "GetAllDriveLetters");
    Resolve(exports_.CountAdapterUnits, "CountAdapterUnits");
    Resolve(exports_.GetAllDiskConfigInfo, "GetAllDiskConfigInfo");
    Resolve(exports_.GetAllAdapterInfo, "GetAllAdapterInfo");
    Resolve(exports_.ReadDriveLogPage, "ReadDriveLogPage");
    Resolve(exports_.WriteDriveLogPage, "WriteDriveLogPage");
    Resolve(exports_.GetDriveReadiness, "GetDriveReadiness");
  }

  ~WindowsLibrary() override { FreeLibrary(module_); }

 private:
  template <typename Pointer>
  void Resolve(Pointer& pointer, const char* name) {
    pointer = reinterpret_cast<Pointer>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

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
