// RAID views over the simulated server: the objects below the exports,
// built on a machine that a test describes, and what reached the drivers.
#pragma once

#include <memory>
#include <string>

#include "discovery/port_table.h"
#include "raid/array_library.h"
#include "raid/raid_config_list.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"
#include "support/module_fixture.h"

namespace lumbrel::test {

inline bool operator==(const DriveAddress& a, std::initializer_list<int> b) {
  const int* v = b.begin();
  return b.size() == 3 && a.target == v[0] && a.bus == v[1] && a.port == v[2];
}

class RaidTest : public ModuleTest {
 protected:
  // Builds the machine and, on it, the port table, adapters and views.
  void Build(const std::string& machineJson) {
    objects_.reset();
    Install(machineJson);
    objects_ = std::make_unique<Objects>();
  }
  // One port of `driver` with drives at bus 0, targets 0..drives-1, and
  // the given "logicalDrives" and further port keys.
  void BuildPort(const std::string& driver, int drives, const std::string& logicalDrives,
                 const std::string& extra = "") {
    std::string devices;
    for (int t = 0; t < drives; ++t) devices += (t ? "," : "") + std::string(R"({"target":)") + std::to_string(t) + "}";
    Build(R"({"ports":[{"driver":")" + driver + R"(","buses":[{"devices":[)" + devices + R"(]}],"logicalDrives":)" +
          logicalDrives + extra + "}]}");
  }

  RaidConfigList& Views() { return objects_->views; }
  AdapterList& Adapters() { return objects_->adapters; }
  RaidConfig& View(std::uint32_t port) {
    RaidConfig* config = nullptr;
    EXPECT_EQ(Views().GetRaidConfig(port, &config), 0u);
    return *config;
  }
  // The controller commands that the port's driver answered.
  std::size_t ControllerCommands() {
    std::size_t n = 0;
    for (const auto& record : Calls("DeviceIoControl")) n += record.contains("controllerCommand") ? 1 : 0;
    return n;
  }
  void AdvanceSeconds(std::uint64_t seconds) { machine().clock().Advance(seconds * 1000); }

  void TearDown() override {
    objects_.reset();
    ModuleTest::TearDown();
  }

 private:
  struct Objects {
    PortTable ports;
    ScsiAddressCache addressCache;
    AdapterList adapters{ports, addressCache};
    ArrayLibrary arrayLibrary;
    RaidConfigList views{ports, adapters, arrayLibrary};
  };
  std::unique_ptr<Objects> objects_;
};

}  // namespace lumbrel::test
