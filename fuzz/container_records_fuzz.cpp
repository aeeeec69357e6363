// What the array controller management library writes is untrusted: the
// general information block and each container record (member counts,
// members, numbers) may be anything. The input is the general information
// block, then (each after 00 FF) up to four container records.
#include "raid_views.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  sim::MachineConfig config;
  config.ports.push_back(fuzz::DiskPort("qzvscsi", 0));
  config.arrayLibrary.installed = true;
  config.arrayLibrary.generalInformation = parts[0];
  config.arrayLibrary.generalInformation->resize(std::min<std::size_t>(parts[0].size(), general_information::kSize));
  for (std::size_t i = 1; i < parts.size() && i <= 4; ++i) {
    sim::ContainerConfig container;
    container.record = parts[i];
    // The library finds the next container by the number in the record it was given.
    container.number = parts[i].empty() ? static_cast<std::uint32_t>(i - 1) : parts[i][0];
    config.ports[0].containers.push_back(container);
  }
  fuzz::Install(config);
  fuzz::CheckViews();
  if (sim::CurrentMachine().arrayLibrary().OpenAdapterCount() != 0) std::abort();
  return 0;
}
