// The maker's controller on the simulated server: the RAID views built on a
// machine with qzv ports and the array controller management library.
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

class QzvTest : public ModuleTest {
 protected:
  // One qzv port with these containers, and the "arrayLibrary" object.
  void Build(const std::string& containers, const std::string& library = R"({"installed": true})",
             const std::string& extraPorts = "", const std::string& top = "") {
    objects_.reset();
    Install(R"({"ports": [)" + extraPorts + R"({"driver": "qzvscsi", "buses": [{}], "logicalDrives": )" + containers +
            R"(}], "arrayLibrary": )" + library + top + "}");
    objects_ = std::make_unique<Objects>();
  }
  // The view of `port`: the first call attaches it and refreshes; its result.
  std::uint32_t Attach(std::uint32_t port = 0) {
    RaidConfig* view = nullptr;
    const std::uint32_t result = objects_->views.GetRaidConfig(port, &view);
    // A failed first refresh still attaches the view; asking again hands it out.
    if (result != 0) {
      EXPECT_EQ(objects_->views.GetRaidConfig(port, &view), 0u);
    }
    view_ = view;
    return result;
  }
  std::uint32_t Refresh() { return view_->Refresh(); }
  RaidConfig& View() { return *view_; }
  const LogicalDrive& Record(std::uint32_t i) { return view_->logicalDrives[i]; }
  ArrayLibrary& Library() { return objects_->arrayLibrary; }
  sim::SimArrayLibrary& SimLibrary() { return machine().arrayLibrary(); }
  void AdvanceMs(std::uint64_t ms) { machine().clock().Advance(ms); }
  std::size_t Count(const char* call) { return Calls(call).size(); }

  void TearDown() override {
    objects_.reset();
    EXPECT_EQ(SimLibrary().OpenAdapterCount(), 0u) << "an adapter of the library stayed open";
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
  RaidConfig* view_ = nullptr;
};

}  // namespace lumbrel::test
