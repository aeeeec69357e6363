// Machine descriptions come from users' files: any bytes must either build a
// machine or be refused with a message, never crash the simulator.
#include <cstddef>
#include <cstdint>

#include "sim/machine_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto document = nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) return 0;
  try {
    const auto machine = lumbrel::sim::BuildMachine(lumbrel::sim::ParseMachine(document));
  } catch (const lumbrel::sim::MachineFormatError&) {
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
