#include "sim/scsi/device_json.h"

#include <algorithm>
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

std::vector<std::uint8_t> HexField(ObjectReader& reader, const char* key) {
  try {
    return ParseHex(*reader.String(key));
  } catch (const std::invalid_argument& error) {
    reader.Fail(key, error.what());
  }
}

// A list of whole numbers from 0 to `max`.
std::vector<std::uint32_t> NumberList(ObjectReader& reader, const char* key, std::uint32_t max) {
  std::vector<std::uint32_t> numbers;
  const nlohmann::json* list = reader.Raw(key);
  const std::string what = "expected an array of whole numbers from 0 to " + std::to_string(max);
  if (!list->is_array()) reader.Fail(key, what);
  for (const auto& value : *list) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > max) reader.Fail(key, what);
    numbers.push_back(static_cast<std::uint32_t>(value.get<std::uint64_t>()));
  }
  return numbers;
}

FirmwareConfig ParseFirmware(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  FirmwareConfig firmware;
  if (reader.Has("modes")) {
    firmware.modes.clear();
    for (const std::uint32_t mode : NumberList(reader, "modes", 7)) {
      if (mode != 5 && mode != 7) reader.Fail("modes", "the download modes are 5 and 7");
      firmware.modes.push_back(static_cast<std::uint8_t>(mode));
    }
  }
  firmware.maxLength = reader.Uint("maxLength", FirmwareConfig::kLargestImage).value_or(FirmwareConfig::kLargestImage);
  if (reader.Has("revisionAfter")) firmware.revisionAfter = ByteField(reader, "revisionAfter", 4);
  reader.Finish();
  return firmware;
}

// The drive behaviours beyond INQUIRY, readiness and capacity.
void ParseBehaviour(ObjectReader& reader, DeviceConfig& device) {
  device.notReady = reader.Uint("notReady").value_or(0);
  device.restartNotReady = reader.Uint("restartNotReady").value_or(0);
  if (reader.Has("modePage0")) {
    device.modePage0 = HexField(reader, "modePage0");
    const auto& page = *device.modePage0;
    // With the 4-byte header and an 8-byte block descriptor the mode data must fit its length byte.
    if (page.size() < 2 || page.size() > 244) reader.Fail("modePage0", "expected 2 to 244 bytes");
    if ((page[0] & 0x3F) != 0) reader.Fail("modePage0", "the page code byte (bits 0-5) must name page 0");
    if (page[1] != page.size() - 2) reader.Fail("modePage0", "byte 1, the page length, must count the bytes after it");
  }
  if (reader.Has("modeSenseReply")) {
    device.modeSenseReply = HexField(reader, "modeSenseReply");
    if (device.modeSenseReply->size() > 255) reader.Fail("modeSenseReply", "expected at most 255 bytes");
  }
  device.rejectModeSelect = reader.Bool("rejectModeSelect").value_or(false);
  if (const nlohmann::json* unreadable = reader.Raw("unreadable"); unreadable != nullptr && unreadable->is_boolean()) {
    device.allUnreadable = unreadable->get<bool>();
  } else if (unreadable != nullptr) {
    device.unreadable = NumberList(reader, "unreadable", 0xFFFFFFFFu);
  }
  device.formatSeconds = reader.Uint("formatSeconds", 0xFFFFFFFFu / 1000).value_or(0);
  if (const nlohmann::json* firmware = reader.Raw("firmware")) device.firmware = ParseFirmware(*firmware, reader.PathOf("firmware"));
  if (reader.Has("logPages")) {
    device.logPages.emplace();
    for (const std::uint32_t page : NumberList(reader, "logPages", 63)) {
      device.logPages->push_back(static_cast<std::uint8_t>(page));
    }
  }
  if (reader.Has("logPage32")) {
    device.logPage32 = HexField(reader, "logPage32");
    if (device.logPage32.size() != DeviceConfig::kLogPage32Size) reader.Fail("logPage32", "expected 600 bytes");
    const auto& pages = device.logPages;
    if (!pages || std::find(pages->begin(), pages->end(), DeviceConfig::kLogPage32) == pages->end()) {
      reader.Fail("logPage32", "the drive offers page 0x32 only when logPages lists 50");
    }
  }
  if (reader.Has("logSenseReply")) {
    device.logSenseReply = HexField(reader, "logSenseReply");
    if (device.logSenseReply->size() > 0xFFFF) reader.Fail("logSenseReply", "expected at most 65535 bytes");
  }
  device.latencyMs = reader.Uint("latencyMs").value_or(0);
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
  if (reader.Has("inquiry")) {
    device.inquiry = HexField(reader, "inquiry");
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
  ParseBehaviour(reader, device);
  device.sg = reader.String("sg");
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
    // A logical drive's disk device shares the numbers of the devices'.
    for (std::size_t l = 0; l < port.logicalDrives.size(); ++l) {
      const auto& number = port.logicalDrives[l].physicalDrive;
      if (number && !numbers["physicalDrive"].insert(*number).second) {
        throw MachineFormatError(path + "[" + std::to_string(p) + "].logicalDrives[" + std::to_string(l) +
                                 "].physicalDrive: physicalDrive " + std::to_string(*number) + " is given to two devices");
      }
    }
  }
}

}  // namespace lumbrel::sim
