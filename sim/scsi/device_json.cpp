#include "sim/scsi/device_json.h"

#include <map>
#include <set>
#include <stdexcept>

#include "sim/json_reader.h"
#include "sim/machine_description.h"
#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

std::string ByteField(ObjectReader& reader, const char* key, std::size_t maxBytes) {
  std::string bytes = reader.String(key).value_or("");
  if (bytes.size() > maxBytes) reader.Fail(key, "at most " + std::to_string(maxBytes) + " bytes");
  return bytes;
}

}  // namespace

DeviceConfig ParseDevice(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  DeviceConfig device;
  const auto target = reader.Uint("target", 15);
  if (!target) reader.Fail("target", "every device needs its target id, 0 to 15");
  device.target = *target;
  device.type = reader.Uint("type", 31).value_or(0);
  device.qualifier = reader.Uint("qualifier", 7).value_or(0);
  device.vendor = ByteField(reader, "vendor", 8);
  device.product = ByteField(reader, "product", 16);
  device.revision = ByteField(reader, "revision", 4);
  device.serial = ByteField(reader, "serial", 200);
  device.removable = reader.Bool("removable");
  if (const auto hex = reader.String("inquiry")) {
    try {
      device.inquiry = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail("inquiry", error.what());
    }
    if (device.inquiry->empty() || device.inquiry->size() > 255) reader.Fail("inquiry", "expected 1 to 255 bytes");
  }
  device.ready = reader.Bool("ready").value_or(true);
  device.blocks = reader.Uint("blocks").value_or(DeviceConfig::kDefaultBlocks);
  device.physicalDrive = reader.Uint("physicalDrive", 255);
  device.scanner = reader.Uint("scanner", 255);
  device.cdRom = reader.Uint("cdRom", 255);
  if (static_cast<int>(device.physicalDrive.has_value()) + static_cast<int>(device.scanner.has_value()) +
          static_cast<int>(device.cdRom.has_value()) > 1) {
    reader.Fail("physicalDrive", "one class driver claims a device: give one of physicalDrive, scanner, cdRom");
  }
  reader.Finish();
  return device;
}

void CheckDevices(const std::vector<PortConfig>& ports, const std::string& path) {
  std::map<std::string, std::set<std::uint32_t>> numbers;
  for (std::size_t p = 0; p < ports.size(); ++p) {
    const PortConfig& port = ports[p];
    for (std::size_t b = 0; b < port.buses.size(); ++b) {
      std::set<std::uint32_t> targets;
      for (std::size_t d = 0; d < port.buses[b].devices.size(); ++d) {
        const DeviceConfig& device = port.buses[b].devices[d];
        const std::string where = path + "[" + std::to_string(p) + "].buses[" + std::to_string(b) + "].devices[" +
                                  std::to_string(d) + "]";
        if (!targets.insert(device.target).second) {
          throw MachineFormatError(where + ".target: two devices at target " + std::to_string(device.target));
        }
        if (device.claimed() && DrivesBehindController(port.family)) {
          throw MachineFormatError(where + ": drives behind a " + std::string(FamilyName(port.family)) +
                                   " controller are not seen by Windows' class drivers");
        }
        const std::pair<const char*, std::optional<std::uint32_t>> classDevices[] = {
            {"physicalDrive", device.physicalDrive}, {"scanner", device.scanner}, {"cdRom", device.cdRom}};
        for (const auto& [key, number] : classDevices) {
          if (number && !numbers[key].insert(*number).second) {
            throw MachineFormatError(where + "." + key + ": " + key + " " + std::to_string(*number) +
                                     " is given to two devices");
          }
        }
      }
    }
  }
}

}  // namespace lumbrel::sim
