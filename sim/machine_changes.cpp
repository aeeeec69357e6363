#include "sim/machine_changes.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "sim/json_reader.h"
#include "sim/machine.h"
#include "sim/machine_description.h"
#include "sim/text_util.h"
#include "sim/volume_device.h"
#include "sim/volume_json.h"

namespace lumbrel::sim {
namespace {

char ReadLetter(ObjectReader& reader, const char* key) {
  const auto text = reader.String(key);
  if (!text) return 0;
  if (text->size() != 1 || !std::isalpha(static_cast<unsigned char>((*text)[0]))) reader.Fail(key, "a drive letter, A to Z");
  return static_cast<char>(std::toupper(static_cast<unsigned char>((*text)[0])));
}

MachineChange ParseChange(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  MachineChange change;
  const auto at = reader.Uint("at");
  if (!at) reader.Fail("at", "every change needs its time");
  change.at = *at;
  const auto port = reader.Uint("port");
  change.port = port.value_or(0);
  change.bus = reader.Uint("bus", 255);
  change.target = reader.Uint("target", 255);
  if (const auto hex = reader.String("inquiry")) {
    try {
      change.inquiry = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail("inquiry", error.what());
    }
    if (change.inquiry->empty() || change.inquiry->size() > 255) reader.Fail("inquiry", "1 to 255 bytes");
    if (!change.target) reader.Fail("target", "an INQUIRY change names its drive");
  }
  change.container = reader.Uint("container", 255);
  change.type = reader.Uint("type");
  change.state = reader.Uint("state");
  if (const nlohmann::json* members = reader.Raw("members")) {
    change.members.emplace();
    ForEach(members, reader.PathOf("members"), [&](const nlohmann::json& member, const std::string& memberPath) {
      if (!member.is_array() || member.size() != 2 || !member[0].is_number_unsigned() ||
          !member[1].is_number_unsigned() || member[0].get<std::uint32_t>() > 255 ||
          member[1].get<std::uint32_t>() > 255) {
        throw MachineFormatError(memberPath + ": expected [bus, target]");
      }
      change.members->emplace_back(member[0].get<std::uint8_t>(), member[1].get<std::uint8_t>());
    });
  }
  change.logicalDrive = reader.Uint("logicalDrive", 255);
  if (const auto level = reader.Uint("level", 255)) change.level = static_cast<std::uint8_t>(*level);
  if (const nlohmann::json* spans = reader.Raw("spans")) change.spans = ParseSpans(*spans, reader.PathOf("spans"));
  if (const char volume = ReadLetter(reader, "volume")) change.volume = volume;
  if (const char letter = ReadLetter(reader, "letter")) change.letter = letter;
  if (const nlohmann::json* extents = reader.Raw("extents")) {
    change.extents = ParseDiskNumbers(*extents, reader.PathOf("extents"));
  }

  // One kind of change, and only its own fields.
  const int kinds = change.inquiry.has_value() + change.container.has_value() + change.logicalDrive.has_value() +
                    change.volume.has_value();
  if (kinds != 1) {
    throw MachineFormatError(path + ": a change names one of: a drive's \"inquiry\", a \"container\", a "
                                    "\"logicalDrive\", a \"volume\"");
  }
  const auto only = [&](bool kind, std::initializer_list<std::pair<const char*, bool>> fields) {
    for (const auto& [key, given] : fields) {
      if (given && !kind) reader.Fail(key, "not a field of this kind of change");
    }
  };
  only(change.inquiry.has_value(), {{"bus", change.bus.has_value()}, {"target", change.target.has_value()}});
  only(change.container.has_value(), {{"type", change.type.has_value()}, {"members", change.members.has_value()}});
  only(change.container || change.logicalDrive, {{"state", change.state.has_value()}});
  only(change.logicalDrive.has_value(), {{"level", change.level.has_value()}, {"spans", change.spans.has_value()}});
  only(change.volume.has_value(), {{"letter", change.letter.has_value()}, {"extents", change.extents.has_value()}});
  if (change.volume.has_value() == port.has_value()) {
    reader.Fail("port", change.volume ? "a volume change names no port" : "every change but a volume's needs its port");
  }
  if (change.logicalDrive && change.state && *change.state > 255) reader.Fail("state", "a logical drive's state is 0 to 255");
  reader.Finish();
  return change;
}

const PortConfig* FindPortConfig(const MachineConfig& machine, std::uint32_t number) {
  for (const PortConfig& port : machine.ports) {
    if (port.number == number) return &port;
  }
  return nullptr;
}

// What a change names must exist when it comes; volumes are followed
// through the letter changes before it.
void CheckChange(const MachineConfig& machine, const MachineChange& change, std::vector<char>& letters,
                 const std::string& path) {
  const auto fail = [&](const std::string& what) { throw MachineFormatError(path + ": " + what); };
  if (change.volume) {
    const auto it = std::find(letters.begin(), letters.end(), *change.volume);
    if (it == letters.end()) fail(std::string("no volume ") + *change.volume + ": at this time");
    if (change.letter && *change.letter != *it) {
      if (std::count(letters.begin(), letters.end(), *change.letter) != 0) {
        fail(std::string("the letter ") + *change.letter + ": is taken at this time");
      }
      *it = *change.letter;
    }
    return;
  }
  const PortConfig* port = FindPortConfig(machine, change.port);
  if (port == nullptr) fail("no port " + std::to_string(change.port));
  if (change.inquiry) {
    const std::uint32_t bus = change.bus.value_or(0);
    const bool exists = bus < port->buses.size() &&
                        std::any_of(port->buses[bus].devices.begin(), port->buses[bus].devices.end(),
                                    [&](const DeviceConfig& device) { return device.target == *change.target; });
    if (!exists) fail("no device at bus " + std::to_string(bus) + ", target " + std::to_string(*change.target));
  } else if (change.container) {
    const bool exists = std::any_of(port->containers.begin(), port->containers.end(),
                                    [&](const ContainerConfig& container) { return container.number == *change.container; });
    if (port->family != PortFamily::Qzv || !exists) fail("the port has no container " + std::to_string(*change.container));
  } else {
    const bool array = port->family == PortFamily::MegaRaid || port->family == PortFamily::Hhba5100;
    if (!array || *change.logicalDrive >= port->logicalDrives.size()) {
      fail("the port has no logical drive " + std::to_string(*change.logicalDrive));
    }
    if (change.spans) {
      LogicalDriveConfig edited = port->logicalDrives[*change.logicalDrive];
      edited.spans = *change.spans;
      CheckLogicalDrive(*port, edited, path);
    }
  }
}

ContainerConfig* FindContainer(Machine& machine, std::uint32_t port, std::uint32_t number) {
  SimArrayLibrary& library = machine.arrayLibrary();
  for (std::uint32_t index = 0; index < machine.scsi().ports().size(); ++index) {
    if (library.PortOf(index) != port) continue;
    for (ContainerConfig& container : *library.Containers(index)) {
      if (container.number == number) return &container;
    }
  }
  return nullptr;
}

void ChangeLogicalDrive(Machine& machine, const MachineChange& change) {
  ScsiPort* port = machine.scsi().Port(change.port);
  if (port == nullptr || *change.logicalDrive >= port->logicalDrives().size()) return;
  std::vector<LogicalDriveConfig> drives = port->logicalDrives();
  LogicalDriveConfig& drive = drives[*change.logicalDrive];
  if (change.level) drive.level = *change.level;
  if (change.state) drive.state = static_cast<std::uint8_t>(*change.state);
  if (change.spans) drive.spans = *change.spans;
  port->SetLogicalDrives(std::move(drives));  // the controller's next configuration reply shows them
}

void ChangeVolume(Machine& machine, const MachineChange& change) {
  const VolumeConfig* found = machine.FindVolume(*change.volume);
  if (found == nullptr) return;
  VolumeConfig volume = *found;
  if (change.extents) volume.extents = *change.extents;
  if (change.letter && *change.letter != volume.letter) {
    const std::string from(1, volume.letter), to(1, *change.letter);
    for (const auto& [path, file] : machine.files().Files()) {
      if (!EqualsIgnoreCase(std::string_view(path).substr(0, 3), from + ":\\")) continue;
      *machine.files().Create(to + path.substr(1)) = *file;
      machine.files().Remove(path);
    }
    machine.RemoveVolume(volume.letter);
    machine.RemoveDevice(from + ":");
    volume.letter = *change.letter;
  }
  machine.AddVolume(volume);
  machine.AddDevice(std::string(1, volume.letter) + ":", std::make_shared<VolumeDevice>(volume));
}

}  // namespace

std::vector<MachineChange> ParseChanges(const nlohmann::json* array, const std::string& path,
                                        const MachineConfig& machine) {
  std::vector<std::pair<MachineChange, std::string>> parsed;
  ForEach(array, path, [&](const nlohmann::json& json, const std::string& itemPath) {
    parsed.emplace_back(ParseChange(json, itemPath), itemPath);
  });
  std::stable_sort(parsed.begin(), parsed.end(), [](const auto& a, const auto& b) { return a.first.at < b.first.at; });
  std::vector<char> letters;
  for (const VolumeConfig& volume : machine.volumes) letters.push_back(volume.letter);
  std::vector<MachineChange> changes;
  for (auto& [change, itemPath] : parsed) {
    CheckChange(machine, change, letters, itemPath);
    changes.push_back(std::move(change));
  }
  return changes;
}

void ApplyChangesDue(Machine& machine, std::vector<MachineChange>& pending) {
  const std::uint64_t now = machine.clock().ElapsedMilliseconds();
  std::size_t applied = 0;
  for (; applied < pending.size() && pending[applied].at <= now; ++applied) {
    const MachineChange& change = pending[applied];
    if (change.inquiry) {
      if (ScsiDrive* drive = machine.scsi().Drive(change.port, change.bus.value_or(0), *change.target)) {
        drive->ReplaceInquiryData(*change.inquiry);
      }
    } else if (change.logicalDrive) {
      ChangeLogicalDrive(machine, change);
    } else if (change.volume) {
      ChangeVolume(machine, change);
    } else if (ContainerConfig* container = FindContainer(machine, change.port, *change.container)) {
      if (change.type) container->type = *change.type;
      if (change.state) container->state = *change.state;
      if (change.members) container->members = *change.members;
      if (change.members) container->memberCount.reset();
    }
  }
  pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(applied));
}

}  // namespace lumbrel::sim
