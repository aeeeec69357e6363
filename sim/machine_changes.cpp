#include "sim/machine_changes.h"

#include <algorithm>
#include <stdexcept>

#include "sim/json_reader.h"
#include "sim/machine.h"
#include "sim/text_util.h"

namespace lumbrel::sim {

std::vector<MachineChange> ParseChanges(const nlohmann::json* array, const std::string& path) {
  std::vector<MachineChange> changes;
  ForEach(array, path, [&](const nlohmann::json& json, const std::string& itemPath) {
    ObjectReader reader(json, itemPath);
    MachineChange change;
    const auto at = reader.Uint("at");
    const auto port = reader.Uint("port");
    if (!at || !port) reader.Fail(!at ? "at" : "port", "every change needs its time and port");
    change.at = *at;
    change.port = *port;
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
    const bool containerChange = change.type || change.state || change.members;
    if (containerChange && !change.container) reader.Fail("container", "a container change names its container");
    if (change.inquiry.has_value() == change.container.has_value()) {
      reader.Fail("inquiry", "a change replaces either a drive's INQUIRY data or a container's fields");
    }
    reader.Finish();
    changes.push_back(std::move(change));
  });
  std::stable_sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
  return changes;
}

namespace {

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

}  // namespace

void ApplyChangesDue(Machine& machine, std::vector<MachineChange>& pending) {
  const std::uint64_t now = machine.clock().ElapsedMilliseconds();
  std::size_t applied = 0;
  for (; applied < pending.size() && pending[applied].at <= now; ++applied) {
    const MachineChange& change = pending[applied];
    if (change.inquiry) {
      if (ScsiDrive* drive = machine.scsi().Drive(change.port, change.bus.value_or(0), *change.target)) {
        drive->ReplaceInquiryData(*change.inquiry);
      }
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
