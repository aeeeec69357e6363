// Machine files: JSON in, a checked MachineConfig out.
#include <fstream>
#include <set>
#include <sstream>

#include "sim/cage_json.h"
#include "sim/fault_json.h"
#include "sim/json_reader.h"
#include "sim/machine_description.h"
#include "sim/scsi/device_json.h"
#include "sim/text_util.h"
#include "sim/volume_json.h"

namespace lumbrel::sim {
namespace {

ServiceConfig ParseService(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  ServiceConfig service;
  service.imagePath = reader.String("imagePath");
  service.fileVersion = reader.String("fileVersion");
  reader.Finish();
  return service;
}

// Raw controller replies that replace what the simulated controller would
// answer: "enquiryReply" (MegaRAID), "versionReply" (HHBA5100) and
// "configurationReply" (both), hex digits; and "mailboxStatus", the
// MegaRAID command status of those replies, and "configurationId", what the
// array library reports for a controller of the maker's.
void ParseReplyOverrides(ObjectReader& reader, PortConfig& port) {
  const bool megaRaid = port.family == PortFamily::MegaRaid;
  const bool hhba = port.family == PortFamily::Hhba5100;
  struct Key {
    const char* name;
    bool allowed;
    std::optional<std::vector<std::uint8_t>>* out;
  };
  const Key keys[] = {{"enquiryReply", megaRaid, &port.replies.enquiryReply},
                      {"configurationReply", megaRaid || hhba, &port.replies.configurationReply},
                      {"versionReply", hhba, &port.replies.versionReply}};
  if (const auto status = reader.Uint("mailboxStatus", 0xFF)) {
    if (!megaRaid) reader.Fail("mailboxStatus", "only a megaraid controller answers mailboxes");
    port.replies.mailboxStatus = static_cast<std::uint8_t>(*status);
  }
  if (const auto id = reader.Uint("configurationId")) {
    if (port.family != PortFamily::Qzv) reader.Fail("configurationId", "only the maker's controller has one");
    port.replies.configurationId = *id;
  }
  for (const Key& key : keys) {
    const auto hex = reader.String(key.name);
    if (!hex) continue;
    if (!key.allowed) reader.Fail(key.name, "not a reply of this port's controller");
    try {
      *key.out = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail(key.name, error.what());
    }
  }
}

PortConfig ParsePort(const nlohmann::json& json, const std::string& path, std::uint32_t index) {
  ObjectReader reader(json, path);
  PortConfig port;
  port.number = reader.Uint("number").value_or(index);
  port.driver = reader.String("driver");
  ForEach(reader.Raw("buses"), reader.PathOf("buses"), [&](const nlohmann::json& bus, const std::string& busPath) {
    ObjectReader busReader(bus, busPath);
    BusConfig busConfig;
    ForEach(busReader.Raw("devices"), busReader.PathOf("devices"),
            [&](const nlohmann::json& device, const std::string& devicePath) {
              busConfig.devices.push_back(ParseDevice(device, devicePath));
            });
    busReader.Finish();
    port.buses.push_back(std::move(busConfig));
  });
  port.family = port.driver ? FamilyOfDriver(*port.driver) : PortFamily::ScsiPort;
  if (const auto family = reader.String("family")) {
    const auto named = FamilyFromName(*family);
    if (!named) reader.Fail("family", "expected scsiport, ide, hhba5100, megaraid, dac960 or qzv");
    port.family = *named;
  }
  port.present = reader.Bool("present").value_or(true);
  if (const nlohmann::json* drives = reader.Raw("logicalDrives")) {
    const std::string drivesPath = reader.PathOf("logicalDrives");
    if (!drives->is_array()) throw MachineFormatError(drivesPath + ": expected an array");
    switch (port.family) {
      case PortFamily::MegaRaid:
      case PortFamily::Hhba5100: port.logicalDrives = ParseLogicalDrives(*drives, drivesPath); break;
      case PortFamily::Qzv: port.containers = ParseContainers(*drives, drivesPath); break;
      default: reader.Fail("logicalDrives", "only megaraid, hhba5100 and qzv ports have logical drives");
    }
    CheckLogicalDrives(port, drivesPath);
  }
  ParseReplyOverrides(reader, port);
  const nlohmann::json* service = reader.Raw("service");
  if (service == nullptr) {
    // Windows has a service key for every loaded driver.
    if (port.driver) port.service = ServiceConfig{};
  } else if (!service->is_null()) {
    if (!port.driver) reader.Fail("service", "a port without a driver has no service");
    port.service = ParseService(*service, reader.PathOf("service"));
  }
  reader.Finish();
  return port;
}

FileConfig ParseFile(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  FileConfig file;
  const auto filePath = reader.String("path");
  if (!filePath || filePath->empty()) reader.Fail("path", "every file needs its full path");
  file.path = *filePath;
  const auto text = reader.String("text");
  const auto hex = reader.String("hex");
  if (text && hex) reader.Fail("hex", "give either \"text\" or \"hex\", not both");
  if (text) file.data.assign(text->begin(), text->end());
  if (hex) {
    try {
      file.data = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail("hex", error.what());
    }
  }
  file.readOnly = reader.Bool("readOnly").value_or(false);
  reader.Finish();
  return file;
}

}  // namespace

MachineConfig ParseMachine(const nlohmann::json& document) {
  ObjectReader reader(document, "machine");
  MachineConfig config;
  reader.String("description");
  if (const auto windows = reader.String("windowsDirectory")) {
    config.settings.windowsDirectory = *windows;
    config.settings.systemDirectory = *windows + "\\System32";
  }
  if (const auto system = reader.String("systemDirectory")) config.settings.systemDirectory = *system;
  if (const nlohmann::json* clock = reader.Raw("clock")) {
    ObjectReader clockReader(*clock, reader.PathOf("clock"));
    config.settings.tickCount = clockReader.Uint("tickCount").value_or(config.settings.tickCount);
    config.settings.calendarTime = clockReader.Uint("calendarTime").value_or(config.settings.calendarTime);
    clockReader.Finish();
  }

  std::set<std::uint32_t> portNumbers;
  ForEach(reader.Raw("ports"), reader.PathOf("ports"), [&](const nlohmann::json& json, const std::string& path) {
    PortConfig port = ParsePort(json, path, static_cast<std::uint32_t>(config.ports.size()));
    if (!portNumbers.insert(port.number).second) {
      throw MachineFormatError(path + ".number: port " + std::to_string(port.number) + " is described twice");
    }
    config.ports.push_back(std::move(port));
  });
  CheckDevices(config.ports, reader.PathOf("ports"));

  config.cages = ParseCages(reader.Raw("cages"), reader.PathOf("cages"));
  config.faults = ParseFaults(reader.Raw("faults"), reader.PathOf("faults"));
  ForEach(reader.Raw("files"), reader.PathOf("files"), [&](const nlohmann::json& json, const std::string& path) {
    config.files.push_back(ParseFile(json, path));
  });
  config.volumes = ParseVolumes(reader.Raw("volumes"), reader.PathOf("volumes"));
  const bool diskInformation = reader.Has("diskInformation");
  config.diskInformation =
      ParseDiskInformation(reader.Raw("diskInformation"), diskInformation, reader.PathOf("diskInformation"));
  if (const nlohmann::json* library = reader.Raw("arrayLibrary")) {
    config.arrayLibrary = ParseArrayLibrary(*library, reader.PathOf("arrayLibrary"));
  }
  config.changes = ParseChanges(reader.Raw("changes"), reader.PathOf("changes"), config);
  reader.Finish();
  return config;
}

MachineConfig ReadMachineFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw MachineFormatError("cannot open the machine file " + path);
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text.str());
  } catch (const nlohmann::json::parse_error& error) {
    throw MachineFormatError(path + ": not valid JSON: " + error.what());
  }
  return ParseMachine(document);
}

MachineConfig DefaultMachine() { return ParseMachine(nlohmann::json::parse(DefaultMachineJson())); }

}  // namespace lumbrel::sim
