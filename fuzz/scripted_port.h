// A SCSI port device whose drives answer every command from a script: the
// harness sets the reply of an operation code, and the port, built once per
// process, serves it to every target. Commands without a reply end GOOD
// with no data; INQUIRY answers as a drive whose identity leaves log page
// support to the drive.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "discovery/port_table.h"
#include "fuzz_support.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"
#include "scsi/control_codes.h"
#include "scsi/scsi_commands.h"
#include "scsi/scsi_pass_through.h"
#include "sim/device.h"

namespace lumbrel::fuzz {

class ScriptedPort : public sim::Device {
 public:
  std::map<std::uint8_t, Bytes> replies;  // by operation code

  ScriptedPort() {
    Bytes inquiry(96, ' ');
    inquiry[0] = 0;
    inquiry[1] = 0;
    inquiry[2] = 2;
    inquiry[3] = 2;
    inquiry[4] = 91;
    std::memcpy(&inquiry[8], "SEAGATE ST39102LW       0340", 28);
    replies[scsi_op::kInquiry] = inquiry;
  }

  std::uint32_t Control(sim::ControlRequest& request) override {
    using namespace scsi_pass_through;
    if (request.ioctl != kIoctlScsiPassThrough || request.inputLength < kCdb.end()) return 87;
    std::uint8_t* block = request.buffer;
    const std::uint32_t length = Get32(block, kDataTransferLength);
    const bool dataIn = Get8(block, kDataIn) == kDataInValue;
    Put8(block, kScsiStatus, 0);
    request.bytesReturned = request.outputLength;
    const auto reply = replies.find(block[kCdb.offset]);
    if (!dataIn || reply == replies.end()) return 0;
    const std::size_t room = request.outputLength > kDataOffset ? request.outputLength - kDataOffset : 0;
    std::copy_n(reply->second.begin(), std::min({reply->second.size(), std::size_t{length}, room}),
                block + kDataOffset);
    return 0;
  }
};

// The port device of a machine with one SCSI port and one bus, built once.
inline ScriptedPort& InstallScriptedPort() {
  static ScriptedPort* const port = [] {
    sim::MachineConfig config;
    config.ports.push_back(DiskPort("aic78xx", 0));
    Install(config);
    auto device = std::make_shared<ScriptedPort>();
    sim::CurrentMachine().AddDevice("SCSI0:", device);
    return device.get();
  }();
  return *port;
}

// Runs `use` on the adapter of port 0, opened, over fresh library objects.
template <typename Use>
void WithAdapter(Use use) {
  struct Objects {
    PortTable ports;
    ScsiAddressCache addressCache;
    AdapterList adapters{ports, addressCache};
  };
  {
    const auto objects = std::make_unique<Objects>();
    if (objects->adapters.BuildAdapterList() == 0 && objects->adapters.GetAdapterCount() > 0) {
      ScsiAdapter& adapter = *objects->adapters.GetAdapter(0);
      if (adapter.Open() == 0) {
        use(adapter);
        adapter.Close();
      }
    }
  }
  CheckNothingLeft();
}

}  // namespace lumbrel::fuzz
