// The containers of the maker's controller in a machine file: the
// "logicalDrives" array of a qzv port.
#include "sim/json_reader.h"
#include "sim/machine_format_error.h"
#include "sim/scsi/logical_drive_config.h"
#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

ContainerConfig ParseContainer(const nlohmann::json& json, const std::string& path, std::uint32_t index) {
  ObjectReader reader(json, path);
  ContainerConfig container;
  container.type = reader.Uint("type").value_or(0);
  container.state = reader.Uint("state").value_or(0);
  container.number = reader.Uint("number", 0xFF).value_or(index);
  if (const nlohmann::json* size = reader.Raw("sizeBytes")) {
    if (!size->is_number_unsigned()) reader.Fail("sizeBytes", "expected a whole number of bytes");
    container.sizeBytes = size->get<std::uint64_t>();
  }
  container.qualifierA = reader.Uint("qualifierA").value_or(0);
  container.qualifierB = reader.Uint("qualifierB").value_or(0);
  ForEach(reader.Raw("members"), reader.PathOf("members"), [&](const nlohmann::json& member, const std::string& at) {
    if (!member.is_array() || member.size() != 2 || !member[0].is_number_unsigned() ||
        !member[1].is_number_unsigned() || member[0].get<std::uint64_t>() > 0xFF ||
        member[1].get<std::uint64_t>() > 0xFF) {
      throw MachineFormatError(at + ": expected [bus, target], each 0 to 255");
    }
    container.members.emplace_back(member[0].get<std::uint8_t>(), member[1].get<std::uint8_t>());
  });
  container.memberCount = reader.Uint("memberCount");
  container.skipped = reader.Bool("skipped").value_or(false);
  container.physicalDrive = reader.Uint("physicalDrive");
  if (const auto hex = reader.String("record")) {
    try {
      container.record = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail("record", error.what());
    }
  }
  reader.Finish();
  return container;
}

}  // namespace

std::vector<ContainerConfig> ParseContainers(const nlohmann::json& array, const std::string& path) {
  std::vector<ContainerConfig> containers;
  ForEach(&array, path, [&](const nlohmann::json& json, const std::string& at) {
    containers.push_back(ParseContainer(json, at, static_cast<std::uint32_t>(containers.size())));
  });
  return containers;
}

}  // namespace lumbrel::sim
