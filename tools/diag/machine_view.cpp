#include "machine_view.h"

#include <algorithm>
#include <cstdio>

#include "sim/scsi/scsi_world.h"
#include "sim/text_util.h"
#include "text_output.h"

namespace lumbrel::diag {
namespace {

nlohmann::ordered_json DescribeCages(sim::Machine& machine) {
  std::vector<const sim::CageBoard*> cages;
  for (const sim::CageBoard& cage : machine.i2c().cages()) cages.push_back(&cage);
  std::sort(cages.begin(), cages.end(),
            [](const auto* a, const auto* b) { return a->wiring().position < b->wiring().position; });
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const sim::CageBoard* cage : cages) {
    nlohmann::ordered_json bays = nlohmann::ordered_json::array();
    for (int bay = 1; bay <= 3; ++bay) {
      bays.push_back({{"bay", bay},
                      {"occupied", cage->Occupied(bay)},
                      {"powerLed", cage->PowerLedFlashing(bay) ? "flashing" : "steady"}});
    }
    list.push_back({{"position", cage->wiring().position},
                    {"cageId", cage->portBAddress()},
                    {"portA", cage->latchA()},
                    {"portB", cage->latchB()},
                    {"bays", std::move(bays)}});
  }
  return list;
}

// What the services left on a drive, each shown only when there is
// something to see.
void DescribeDriveState(const sim::DriveView& view, nlohmann::ordered_json& device) {
  if (view.readsServed != device["reads"].get<std::uint64_t>()) device["readsServed"] = view.readsServed;
  if (view.notReadyLeft != 0) device["notReadyLeft"] = view.notReadyLeft;
  if (view.formatting) device["formattingMs"] = view.formatRemainingMs;
  if (view.formatted) device["formatted"] = true;
  if (!view.firmwareImage.empty()) {
    device["firmware"] = {{"length", view.firmwareImage.size()}, {"revision", JsonText(view.revision)}};
  }
  if (view.downloadLength != 0) device["downloading"] = view.downloadLength;
  if (!view.logPage32.empty()) device["logPage32"] = HexBytes(view.logPage32);
}

// The logical drives of a MegaRAID or HHBA5100 port: level, state and
// members ({bus, target}) as its controller reports them.
nlohmann::ordered_json DescribeLogicalDrives(const sim::ScsiPort& port) {
  nlohmann::ordered_json drives = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < port.logicalDrives().size(); ++i) {
    const sim::LogicalDriveConfig& drive = port.logicalDrives()[i];
    nlohmann::ordered_json members = nlohmann::ordered_json::array();
    for (const sim::SpanConfig& span : drive.spans) {
      for (const sim::SpanDriveConfig& member : span.drives) members.push_back({{"bus", member.bus}, {"target", member.target}});
    }
    nlohmann::ordered_json entry{{"number", i}, {"level", drive.level}, {"state", drive.state}, {"members", members}};
    if (drive.physicalDrive) entry["physicalDrive"] = *drive.physicalDrive;
    drives.push_back(std::move(entry));
  }
  return drives;
}

// What sits on each bus, and what each device has been sent: a drive's
// activity light blinks with its reads.
nlohmann::ordered_json DescribeScsi(sim::Machine& machine) {
  nlohmann::ordered_json ports = nlohmann::ordered_json::array();
  for (const auto& port : machine.scsi().ports()) {
    nlohmann::ordered_json buses = nlohmann::ordered_json::array();
    for (std::uint32_t bus = 0; bus < port->busCount(); ++bus) {
      nlohmann::ordered_json devices = nlohmann::ordered_json::array();
      for (std::uint32_t target = 0; target < sim::ScsiPort::kTargets; ++target) {
        const sim::ScsiDrive* drive = port->Drive(bus, target);
        if (drive == nullptr) continue;
        const sim::DeviceConfig& config = drive->config();
        const sim::CommandLog& log = drive->log();
        nlohmann::ordered_json device;
        device["target"] = target;
        device["type"] = drive->peripheralType();
        device["vendor"] = JsonText(config.vendor);
        device["product"] = JsonText(config.product);
        device["revision"] = JsonText(config.revision);
        device["ready"] = drive->state().ready;
        if (config.physicalDrive) device["physicalDrive"] = *config.physicalDrive;
        if (config.scanner) device["scanner"] = *config.scanner;
        if (config.cdRom) device["cdRom"] = *config.cdRom;
        device["commands"] = log.total();
        device["reads"] = log.count(0x08) + log.count(0x28);
        device["blocksRead"] = log.blocksRead();
        DescribeDriveState(drive->View(), device);
        devices.push_back(std::move(device));
      }
      buses.push_back({{"bus", bus}, {"devices", std::move(devices)}});
    }
    nlohmann::ordered_json entry{{"port", port->number()},
                                 {"family", sim::FamilyName(port->family())},
                                 {"present", port->present()},
                                 {"buses", std::move(buses)}};
    if (port->family() == sim::PortFamily::MegaRaid || port->family() == sim::PortFamily::Hhba5100) {
      entry["logicalDrives"] = DescribeLogicalDrives(*port);
    }
    ports.push_back(std::move(entry));
  }
  return ports;
}

const char* DriveTypeName(std::uint32_t type) {
  switch (type) {
    case 2: return "removable";
    case 3: return "fixed";
    case 4: return "remote";
    case 5: return "cdrom";
    case 6: return "ramdisk";
    default: return "unknown";
  }
}

// The drive letters, the disks they lie on, and a readiness test file left behind.
nlohmann::ordered_json DescribeVolumes(sim::Machine& machine) {
  nlohmann::ordered_json volumes = nlohmann::ordered_json::array();
  for (const sim::VolumeConfig* volume : machine.Volumes()) {
    nlohmann::ordered_json entry;
    entry["letter"] = std::string(1, volume->letter);
    entry["type"] = DriveTypeName(volume->type);
    entry["extents"] = volume->extents;
    if (const auto file = machine.files().Find(std::string(1, volume->letter) + ":\\$QZTest.dat")) {
      entry["testFile"] = file->data.size();
      char crc[9];
      std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(sim::Crc32(file->data.data(), file->data.size())));
      entry["testFileCrc32"] = crc;
    }
    volumes.push_back(std::move(entry));
  }
  return volumes;
}

// The containers that the management library serves, per controller.
nlohmann::ordered_json DescribeContainers(sim::Machine& machine) {
  sim::SimArrayLibrary& library = machine.arrayLibrary();
  nlohmann::ordered_json controllers = nlohmann::ordered_json::array();
  // Controllers are numbered among the qzv ports, present or not.
  for (std::uint32_t index = 0; index < machine.scsi().ports().size(); ++index) {
    const auto* containers = library.Containers(index);
    if (containers == nullptr) continue;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const sim::ContainerConfig& container : *containers) {
      nlohmann::ordered_json members = nlohmann::ordered_json::array();
      for (const auto& [bus, target] : container.members) members.push_back({bus, target});
      list.push_back({{"number", container.number},
                      {"type", container.type},
                      {"state", container.state},
                      {"members", std::move(members)}});
    }
    controllers.push_back(
        {{"device", "QZV" + std::to_string(index)}, {"port", *library.PortOf(index)}, {"containers", std::move(list)}});
  }
  return {{"installed", library.config.installed},
          {"loaded", library.LoadedCount() != 0},
          {"openAdapters", library.OpenAdapterCount()},
          {"controllers", std::move(controllers)}};
}

}  // namespace

nlohmann::ordered_json DescribeMachine(sim::Machine& machine) {
  std::lock_guard lock(machine.mutex());
  nlohmann::ordered_json view;
  view["cages"] = DescribeCages(machine);
  view["ports"] = DescribeScsi(machine);
  if (!machine.Volumes().empty()) view["volumes"] = DescribeVolumes(machine);
  view["arrayLibrary"] = DescribeContainers(machine);
  view["openHandles"] = machine.OpenHandleCount();
  view["openKeys"] = machine.OpenKeyCount();
  return view;
}

}  // namespace lumbrel::diag
