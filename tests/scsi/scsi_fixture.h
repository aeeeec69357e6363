// Adapters against scripted drivers: a machine with ports of chosen
// drivers, devices whose answers a test decides, and what reached them.
#pragma once

#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "api/module_state.h"
#include "scsi/dac960_direct_cdb.h"
#include "scsi/fake_driver.h"
#include "scsi/megaraid_direct_cdb.h"
#include "scsi/scsi_adapter.h"
#include "scsi/scsi_pass_through.h"
#include "scsi/scsi_request_block.h"
#include "support/module_fixture.h"

namespace lumbrel::test {

// CDBs that the adapter tests send through every variant.
inline constexpr std::uint8_t kWrite1Block[6] = {0x0A, 0, 0, 0, 1, 0};                // WRITE(6) of block 0
inline constexpr std::uint8_t kRead10[10] = {0x28, 0, 0, 0, 0x10, 0, 0, 0, 0x08, 0};  // READ(10) of 8 blocks at 16

// The drives that a scripted driver answers for: (bus * 16 + target) to the
// first INQUIRY byte (peripheral qualifier and device type).
using Drives = std::map<int, std::uint8_t>;
inline int At(int bus, int target) { return bus * 16 + target; }

class ScsiTest : public ModuleTest {
 protected:
  AdapterList& Adapters() { return Module().adapterList; }
  ScsiAddressCache& AddressCache() { return Module().addressCache; }
  // How the list builds the adapter of `port` (no entry past the port table).
  AdapterSetup Setup(std::uint32_t port, std::uint32_t bufferSize = AdapterList::kAdapterBufferSize) {
    return AdapterSetup{port, bufferSize, Module().portTable.GetPortEntry(port)};
  }

  // An adapter that lives until the test ends, before the library unloads.
  template <class Adapter, class... Args>
  Adapter& Make(Args&&... args) {
    auto* adapter = new (std::nothrow) Adapter(std::forward<Args>(args)...);
    made_.emplace_back(adapter);
    return *adapter;
  }
  void TearDown() override {
    made_.clear();
    ModuleTest::TearDown();
  }

  // Ports with these drivers, each with `buses` buses.
  void LoadPorts(std::vector<std::string> drivers, int buses = 1, const std::string& extra = "") {
    std::string json = R"({"ports":[)";
    for (const std::string& driver : drivers) {
      json += (json.back() == '[' ? "{" : ",{") + std::string(R"("driver":")") + driver + R"(","buses":[)";
      for (int bus = 0; bus < buses; ++bus) json += bus == 0 ? "{}" : ",{}";
      json += "]}";
    }
    Load(json + "]" + extra + "}");
  }
  // The names that CreateFileA was asked to open, and CloseHandle to close, in order.
  std::vector<std::string> Opened() { return Names("CreateFileA"); }
  std::vector<std::string> Closed() { return Names("CloseHandle"); }
  std::vector<std::string> Names(const std::string& call) {
    std::vector<std::string> names;
    for (const auto& record : Calls(call)) names.push_back(record["name"]);
    return names;
  }
  // The caller's memory that an address field of the request designates.
  static std::uint8_t* UserData(const sim::ControlRequest& request, Field address) {
    return static_cast<std::uint8_t*>(sim::CurrentMachine().Resolve(Get32(request.buffer, address), 1));
  }
  static const std::uint8_t* UserBlock(const sim::ControlRequest& request) {
    return static_cast<const std::uint8_t*>(request.userInput);
  }

  // SCSI_PASS_THROUGH on a port or class device; `wrapped`: the drive is
  // named in byte 3 of an HHBA5100 CDB, the operation code moved to byte 2.
  // Absent drives make the port driver refuse.
  static FakeDriver::Answer PassThroughDrives(const Drives& drives, bool wrapped = false) {
    namespace block = scsi_pass_through;
    return [drives, wrapped](sim::ControlRequest& r) -> std::uint32_t {
      const std::uint8_t* cdb = r.buffer + block::kCdb.offset;
      const int address = wrapped ? At(cdb[3] >> 4, cdb[3] & 15)
                                  : At(Get8(r.buffer, block::kPathId), Get8(r.buffer, block::kTargetId));
      const auto drive = drives.find(address);
      if (r.ioctl != kIoctlScsiPassThrough || drive == drives.end()) return 87;
      if ((wrapped ? cdb[2] : cdb[0]) == scsi_op::kInquiry) r.buffer[block::kDataOffset] = drive->second;
      return 0;
    };
  }
  // The MegaRAID direct CDB: data through the data area, status 0xF0 where
  // nobody answers.
  static FakeDriver::Answer MegaRaidDrives(const Drives& drives) {
    namespace block = megaraid_direct_cdb;
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != kIoctlScsiMiniport || UserData(r, block::kDataAddress) != UserBlock(r) + block::kDataOffset) {
        return 87;
      }
      const auto drive = drives.find(At(Get8(r.buffer, block::kChannel), Get8(r.buffer, block::kTarget)));
      Put8(r.buffer, block::kCommandStatus, drive == drives.end() ? block::kStatusNoDevice : 0);
      if (drive != drives.end() && Get8(r.buffer, block::kCdb) == scsi_op::kInquiry) {
        r.buffer[block::kDataOffset] = drive->second;
      }
      return 0;
    };
  }
  // The DAC960 direct CDB (status 14 where nobody answers); controller
  // commands succeed with status 0.
  static FakeDriver::Answer Dac960Drives(const Drives& drives) {
    namespace block = dac960_direct_cdb;
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != kIoctlScsiMiniport) return 87;
      if (Get8(r.buffer, block::kCommand) != block::kDirectCdb) return 0;
      if (UserData(r, block::kDataAddress) != UserBlock(r) + block::kDataOffset) return 87;
      const std::uint8_t device = Get8(r.buffer, block::kDevice);
      const auto drive = drives.find(At(device >> 4, device & 15));
      Put16(r.buffer, block::kControllerStatus, drive == drives.end() ? block::kStatusNoDevice : 0);
      if (drive != drives.end() && Get8(r.buffer, block::kCdb) == scsi_op::kInquiry) {
        r.buffer[block::kDataOffset] = drive->second;
      }
      return 0;
    };
  }
  // SCSI_REQUEST_BLOCK: data straight into the caller's data area, SRB
  // status 0x0A where nobody answers.
  static FakeDriver::Answer SrbDrives(const Drives& drives) {
    namespace block = scsi_request_block;
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != kIoctlQzvExecuteSrb || r.inputLength != block::kBlockSize ||
          UserData(r, block::kDataBuffer) != UserBlock(r) + block::kDataOffset) {
        return 87;
      }
      const auto drive = drives.find(At(Get8(r.buffer, block::kPathId), Get8(r.buffer, block::kTargetId)));
      Put8(r.buffer, block::kSrbStatus, drive == drives.end() ? block::kStatusSelectionTimeout : block::kStatusSuccess);
      if (drive != drives.end() && Get8(r.buffer, block::kCdb) == scsi_op::kInquiry) {
        UserData(r, block::kDataBuffer)[0] = drive->second;
      }
      return 0;
    };
  }

 private:
  std::vector<std::unique_ptr<ScsiAdapter>> made_;
};

}  // namespace lumbrel::test
