// Driver image files are untrusted: the search for the version text must
// stay inside the file, whatever it holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "discovery/adapter_info_report.h"
#include "sim/simulator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  auto machine = std::make_unique<sim::Machine>();
  machine->files().Create("C:\\driver.sys")->data.assign(data, data + size);
  sim::InstallMachine(std::move(machine));
  char version[kVersionTextSize];
  std::memset(version, 0x7F, sizeof version);
  ReadFileVersionString("C:\\driver.sys", "FileVersion", version, sizeof version);
  if (std::memchr(version, 0, sizeof version) == nullptr) std::abort();  // the text is always terminated
  if (sim::CurrentMachine().OpenHandleCount() != 0) std::abort();
  return 0;
}
