// Adapters against scripted drivers: a machine with ports of chosen
// drivers, devices whose answers a test decides, and what reached them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "api/module_state.h"
#include "platform/byte_order.h"
#include "scsi/fake_driver.h"
#include "scsi/scsi_adapter.h"
#include "support/module_fixture.h"

namespace lumbrel::test {

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
  // The names that CreateFileA was asked to open, in order.
  std::vector<std::string> Opened() {
    std::vector<std::string> names;
    for (const auto& record : Calls("CreateFileA")) names.push_back(record["name"]);
    return names;
  }
  static std::uint8_t* UserData(const sim::ControlRequest& request, std::uint32_t addressOffset) {
    return static_cast<std::uint8_t*>(sim::CurrentMachine().Resolve(LoadLe32(request.buffer + addressOffset)));
  }
  static const std::uint8_t* UserBlock(const sim::ControlRequest& request) {
    return static_cast<const std::uint8_t*>(request.userInput);
  }

  // Format A on a port or class device; `wrapped`: the drive is named in
  // byte 3 of an HHBA5100 CDB. Absent drives make the port driver refuse.
  static FakeDriver::Answer PassThroughDrives(const Drives& drives, bool wrapped = false) {
    return [drives, wrapped](sim::ControlRequest& r) -> std::uint32_t {
      const std::uint8_t* cdb = r.buffer + 28;
      const int address = wrapped ? At(cdb[3] >> 4, cdb[3] & 15) : At(r.buffer[3], r.buffer[4]);
      const auto drive = drives.find(address);
      if (r.ioctl != 0x0004D004 || drive == drives.end()) return 87;
      if ((wrapped ? cdb[2] : cdb[0]) == 0x12) r.buffer[160] = drive->second;
      return 0;
    };
  }
  // Format C: data through the data area, 0xF0 where nobody answers.
  static FakeDriver::Answer MegaRaidDrives(const Drives& drives) {
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != 0x0004D008 || UserData(r, 88) != UserBlock(r) + 96) return 87;
      const auto drive = drives.find(At(r.buffer[38], r.buffer[39]));
      r.buffer[29] = drive == drives.end() ? 0xF0 : 0;
      if (drive != drives.end() && r.buffer[42] == 0x12) r.buffer[96] = drive->second;
      return 0;
    };
  }
  // Format D: direct CDBs (status 14 where nobody answers) and controller commands.
  static FakeDriver::Answer Dac960Drives(const Drives& drives) {
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != 0x0004D008) return 87;
      if (r.buffer[44] != 0x04) return 0;  // a controller command: status 0
      if (UserData(r, 64) != UserBlock(r) + 148) return 87;
      const auto drive = drives.find(At(r.buffer[60] >> 4, r.buffer[60] & 15));
      StoreLe16(r.buffer + 32, drive == drives.end() ? 14 : 0);
      if (drive != drives.end() && r.buffer[70] == 0x12) r.buffer[148] = drive->second;
      return 0;
    };
  }
  // Format B: data straight into the caller's data area, SRB status 0x0A
  // where nobody answers.
  static FakeDriver::Answer SrbDrives(const Drives& drives) {
    return [drives](sim::ControlRequest& r) -> std::uint32_t {
      if (r.ioctl != 0x0004204C || r.inputLength != 64 || UserData(r, 24) != UserBlock(r) + 96) return 87;
      const auto drive = drives.find(At(r.buffer[5], r.buffer[6]));
      r.buffer[3] = drive == drives.end() ? 0x0A : 0x01;
      if (drive != drives.end() && r.buffer[48] == 0x12) UserData(r, 24)[0] = drive->second;
      return 0;
    };
  }
};

}  // namespace lumbrel::test
