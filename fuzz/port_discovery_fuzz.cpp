// The registry is untrusted: Driver and ImagePath values of any length and
// content (with or without a terminator) must be read within their buffers,
// and every key opened must be closed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "api/host_loader.h"
#include "api/module_state.h"
#include "platform/host/win32_subset.h"
#include "sim/simulator.h"

namespace {

// The input is a list of values separated by 0x00 0xFF: Driver of port 0,
// ImagePath of its service, Driver of port 1, ...
std::vector<std::vector<std::uint8_t>> Split(const std::uint8_t* data, std::size_t size) {
  std::vector<std::vector<std::uint8_t>> parts(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (i + 1 < size && data[i] == 0x00 && data[i + 1] == 0xFF) {
      parts.emplace_back();
      ++i;
    } else {
      parts.back().push_back(data[i]);
    }
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  auto machine = std::make_unique<sim::Machine>();
  sim::RegistryKey& root = machine->registry().localMachine();
  const auto parts = Split(data, size);
  for (std::size_t i = 0; i < parts.size() && i / 2 < 12; i += 2) {
    char name[64];
    std::snprintf(name, sizeof name, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %zu", i / 2);
    sim::RegistryKey& port = root.Create(name);
    port.SetValue("Driver", sim::RegistryValue{REG_SZ, parts[i]});
    for (std::size_t bus = 0; bus < parts[i].size() % 11; ++bus) port.Create("Scsi Bus " + std::to_string(bus));
    if (i + 1 < parts.size()) {
      const std::string service(parts[i].begin(), parts[i].end());
      if (!service.empty() && service.find('\0') == std::string::npos) {
        root.Create("SYSTEM\\CurrentControlSet\\Services\\" + service)
            .SetValue("ImagePath", sim::RegistryValue{REG_EXPAND_SZ, parts[i + 1]});
      }
    }
  }
  sim::InstallMachine(std::move(machine));

  host::LoadModule();
  PortTable& table = Module().portTable;
  for (std::uint32_t port = 0; port <= PortTable::kCapacity; ++port) {
    PortDescription description;
    table.GetPortDescription(port, &description);
    char path[260];
    table.GetDriverFilePath(port, path, sizeof path);
    char small[7];
    table.GetDriverFilePath(port, small, sizeof small);
  }
  host::UnloadModule();
  if (sim::CurrentMachine().OpenKeyCount() != 0 || sim::CurrentMachine().LiveAllocationCount() != 0) std::abort();
  return 0;
}
