// A program that ends itself while a job of the shipping DLL runs, for the
// jobs checks: lumbrel-wine-exit.exe MODE EXITCODE. MODE is
//   none        no job;
//   flash-loop  a flash of the adapter's own id, whose loop only pauses;
//   flash, format, firmware
//               a job for a drive that is not there, whose callback holds
//               its worker inside the DLL.
// It writes "exiting" just before ExitProcess, and "callback after exit"
// should a callback run once the exit has begun. The SCSI port is the one
// that the calling check put in the registry.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lumbrel_exports.h"

namespace {

HANDLE g_held = nullptr;  // set by a callback that holds its worker
volatile LONG g_exiting = 0;

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void __stdcall Hold(std::uint32_t) {
  if (g_exiting != 0) Say("callback after exit\n");
  SetEvent(g_held);
  Sleep(INFINITE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const char* mode = argv[1];
  const UINT code = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
  g_held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HMODULE module = LoadLibraryA("LUMBREL.dll");
  if (module == nullptr) return 3;
  LumbrelExports e{};
  LumbrelResolveExports(module, &e);
  e.SetActivityCallback(Hold);
  e.SetFormatCallback(Hold);
  e.SetFirmwareCallback(Hold);
  static const std::uint8_t image[512] = {};
  std::uint32_t started = 0;
  bool held = true;
  if (std::strcmp(mode, "flash-loop") == 0) {
    started = e.FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 7, 1);
    held = false;
  } else if (std::strcmp(mode, "flash") == 0) {
    started = e.FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 1, 1);
  } else if (std::strcmp(mode, "format") == 0) {
    started = e.DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 1);
  } else if (std::strcmp(mode, "firmware") == 0) {
    started = e.UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, 1, image, sizeof image);
  } else {
    held = false;
  }
  if (started != 0) return 4;
  if (held && WaitForSingleObject(g_held, 60000) != WAIT_OBJECT_0) return 5;
  InterlockedExchange(&g_exiting, 1);
  Say("exiting\n");
  ExitProcess(code);
}
