#include "sim/volume_json.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/win32.h"
#include "sim/json_reader.h"
#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

std::optional<std::uint32_t> DriveTypeFromName(const std::string& name) {
  static const std::pair<const char*, std::uint32_t> kTypes[] = {
      {"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED}, {"remote", DRIVE_REMOTE},
      {"cdrom", DRIVE_CDROM},         {"ramdisk", DRIVE_RAMDISK}};
  for (const auto& [text, type] : kTypes) {
    if (name == text) return type;
  }
  return std::nullopt;
}

VolumeConfig ParseVolume(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  VolumeConfig volume;
  const auto letter = reader.String("letter");
  if (!letter || letter->size() != 1 || !std::isalpha(static_cast<unsigned char>((*letter)[0]))) {
    reader.Fail("letter", "every volume needs its drive letter, A to Z");
  }
  volume.letter = static_cast<char>(std::toupper(static_cast<unsigned char>((*letter)[0])));
  if (const auto type = reader.String("type")) {
    const auto named = DriveTypeFromName(*type);
    if (!named) reader.Fail("type", "expected fixed, removable, cdrom, remote or ramdisk");
    volume.type = *named;
  }
  if (const nlohmann::json* extents = reader.Raw("extents")) volume.extents = ParseDiskNumbers(*extents, reader.PathOf("extents"));
  if (const nlohmann::json* address = reader.Raw("scsiAddress")) {
    const bool valid = address->is_array() && address->size() == 3 &&
                       std::all_of(address->begin(), address->end(), [](const nlohmann::json& byte) {
                         return byte.is_number_unsigned() && byte.get<std::uint64_t>() <= 255;
                       });
    if (!valid) reader.Fail("scsiAddress", "expected [port, bus, target], each 0 to 255");
    volume.scsiAddress = {(*address)[0].get<std::uint8_t>(), (*address)[1].get<std::uint8_t>(),
                          (*address)[2].get<std::uint8_t>()};
  }
  volume.extentsFail = reader.Bool("extentsFail").value_or(false);
  for (auto [key, reply] : {std::pair{"extentsReply", &volume.extentsReply},
                            std::pair{"scsiAddressReply", &volume.scsiAddressReply}}) {
    const auto text = reader.String(key);
    if (!text) continue;
    try {
      *reply = ParseHex(*text);
    } catch (const std::invalid_argument& error) {
      reader.Fail(key, error.what());
    }
  }
  volume.readOnly = reader.Bool("readOnly").value_or(false);
  volume.full = reader.Bool("full").value_or(false);
  if (const nlohmann::json* files = reader.Raw("files")) {
    if (!files->is_object()) reader.Fail("files", "expected an object of file names and hex contents");
    for (const auto& [name, contents] : files->items()) {
      const std::string filePath = reader.PathOf("files") + "." + name;
      if (name.empty() || name.find('\\') != std::string::npos) {
        throw MachineFormatError(filePath + ": a file name in the volume's root, without backslashes");
      }
      if (!contents.is_string()) throw MachineFormatError(filePath + ": expected the contents as hex digits");
      try {
        volume.files.emplace_back(ReadText(nlohmann::json(name), filePath), ParseHex(ReadText(contents, filePath)));
      } catch (const std::invalid_argument& error) {
        throw MachineFormatError(filePath + ": " + error.what());
      }
    }
  }
  reader.Finish();
  return volume;
}

}  // namespace

std::vector<std::uint32_t> ParseDiskNumbers(const nlohmann::json& array, const std::string& path) {
  std::vector<std::uint32_t> disks;
  ForEach(&array, path, [&](const nlohmann::json& disk, const std::string& diskPath) {
    if (!disk.is_number_unsigned() || disk.get<std::uint64_t>() > 255) {
      throw MachineFormatError(diskPath + ": expected a physical drive number, 0 to 255");
    }
    disks.push_back(disk.get<std::uint32_t>());
  });
  return disks;
}

std::vector<VolumeConfig> ParseVolumes(const nlohmann::json* volumes, const std::string& path) {
  std::vector<VolumeConfig> parsed;
  std::set<char> letters;
  ForEach(volumes, path, [&](const nlohmann::json& json, const std::string& volumePath) {
    VolumeConfig volume = ParseVolume(json, volumePath);
    if (!letters.insert(volume.letter).second) {
      throw MachineFormatError(volumePath + ".letter: " + std::string(1, volume.letter) + ": is described twice");
    }
    parsed.push_back(std::move(volume));
  });
  return parsed;
}

DiskInformationConfig ParseDiskInformation(const nlohmann::json* value, bool present, const std::string& path) {
  DiskInformationConfig config;
  if (!present) return config;
  if (value == nullptr || value->is_null()) {
    config.source = DiskInformationConfig::Source::None;
    return config;
  }
  if (!value->is_string()) throw MachineFormatError(path + ": expected hex digits or null");
  config.source = DiskInformationConfig::Source::Given;
  try {
    config.value = ParseHex(ReadText(*value, path));
  } catch (const std::invalid_argument& error) {
    throw MachineFormatError(path + ": " + error.what());
  }
  return config;
}

}  // namespace lumbrel::sim
