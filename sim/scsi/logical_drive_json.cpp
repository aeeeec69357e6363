// Machine files: the logical drives of a MegaRAID or HHBA5100 port.
#include <string>

#include "sim/json_reader.h"
#include "sim/machine_description.h"
#include "sim/scsi/logical_drive_config.h"

namespace lumbrel::sim {
namespace {

SpanDriveConfig ParseSpanDrive(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  SpanDriveConfig drive;
  drive.bus = static_cast<std::uint8_t>(reader.Uint("bus", 255).value_or(0));
  const auto target = reader.Uint("target", 15);
  if (!target) reader.Fail("target", "every drive of a span needs its target");
  drive.target = static_cast<std::uint8_t>(*target);
  drive.blocks = reader.Uint("blocks").value_or(0);
  reader.Finish();
  return drive;
}

SpanConfig ParseSpan(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  SpanConfig span;
  ForEach(reader.Raw("drives"), reader.PathOf("drives"), [&](const nlohmann::json& drive, const std::string& at) {
    span.drives.push_back(ParseSpanDrive(drive, at));
  });
  if (const auto blocks = reader.Uint("blocks")) {
    span.blocks = *blocks;
  } else {
    std::uint64_t sum = 0;
    for (const SpanDriveConfig& drive : span.drives) sum += drive.blocks;
    if (sum > 0xFFFFFFFFu) reader.Fail("drives", "the drives' blocks add up to more than 32 bits hold");
    span.blocks = static_cast<std::uint32_t>(sum);
  }
  reader.Finish();
  return span;
}

LogicalDriveConfig ParseLogicalDrive(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  LogicalDriveConfig drive;
  drive.level = static_cast<std::uint8_t>(reader.Uint("level", 255).value_or(0));
  drive.state = static_cast<std::uint8_t>(reader.Uint("state", 255).value_or(0));
  if (const nlohmann::json* spans = reader.Raw("spans")) drive.spans = ParseSpans(*spans, reader.PathOf("spans"));
  if (const auto number = reader.Uint("physicalDrive")) drive.physicalDrive = *number;
  reader.Finish();
  return drive;
}

// What the controller's configuration reply has room for.
struct Room {
  std::size_t logicalDrives;
  std::size_t spans;
  std::size_t drivesPerSpan;
};
constexpr Room kMegaRaidRoom{19, 4, 8};   // 2048 bytes of entries of 104 at 4
constexpr Room kHhba5100Room{12, 8, 4};  // 5120 bytes of entries of 420 at 12

Room RoomOf(const PortConfig& port) { return port.family == PortFamily::MegaRaid ? kMegaRaidRoom : kHhba5100Room; }

}  // namespace

std::vector<LogicalDriveConfig> ParseLogicalDrives(const nlohmann::json& array, const std::string& path) {
  std::vector<LogicalDriveConfig> drives;
  ForEach(&array, path, [&](const nlohmann::json& drive, const std::string& at) {
    drives.push_back(ParseLogicalDrive(drive, at));
  });
  return drives;
}

std::vector<SpanConfig> ParseSpans(const nlohmann::json& array, const std::string& path) {
  std::vector<SpanConfig> spans;
  ForEach(&array, path, [&](const nlohmann::json& span, const std::string& at) { spans.push_back(ParseSpan(span, at)); });
  return spans;
}

void CheckLogicalDrives(const PortConfig& port, const std::string& path) {
  if (port.logicalDrives.empty()) return;
  const Room room = RoomOf(port);
  if (port.logicalDrives.size() > room.logicalDrives) {
    throw MachineFormatError(path + ": the controller's reply holds at most " + std::to_string(room.logicalDrives) +
                             " logical drives (replace the reply with \"configurationReply\" for more)");
  }
  for (std::size_t i = 0; i < port.logicalDrives.size(); ++i) {
    CheckLogicalDrive(port, port.logicalDrives[i], path + "[" + std::to_string(i) + "]");
  }
}

void CheckLogicalDrive(const PortConfig& port, const LogicalDriveConfig& drive, const std::string& at) {
  const Room room = RoomOf(port);
  if (drive.spans.size() > room.spans) {
    throw MachineFormatError(at + ".spans: at most " + std::to_string(room.spans) + " spans");
  }
  for (std::size_t s = 0; s < drive.spans.size(); ++s) {
    const SpanConfig& span = drive.spans[s];
    const std::string spanPath = at + ".spans[" + std::to_string(s) + "]";
    if (span.drives.size() > room.drivesPerSpan) {
      throw MachineFormatError(spanPath + ".drives: at most " + std::to_string(room.drivesPerSpan) +
                               " drives per span");
    }
    for (std::size_t d = 0; d < span.drives.size(); ++d) {
      const SpanDriveConfig& member = span.drives[d];
      bool exists = false;
      if (member.bus < port.buses.size()) {
        for (const DeviceConfig& device : port.buses[member.bus].devices) exists |= device.target == member.target;
      }
      if (!exists) {
        throw MachineFormatError(spanPath + ".drives[" + std::to_string(d) + "]: no device at bus " +
                                 std::to_string(member.bus) + ", target " + std::to_string(member.target));
      }
    }
  }
}

}  // namespace lumbrel::sim
