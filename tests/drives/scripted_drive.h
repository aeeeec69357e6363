// Drives behind one SCSI port that a test scripts: each target answers the
// SCSI_PASS_THROUGH requests sent to the port device with its INQUIRY data,
// a status per command and the data a handler gives, and records every
// CDB and every block of data it was sent.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "scsi/fake_driver.h"
#include "scsi/scsi_commands.h"
#include "scsi/scsi_pass_through.h"
#include "api/module_state.h"
#include "support/module_fixture.h"

namespace lumbrel::test {

using Bytes = std::vector<std::uint8_t>;

struct ScriptedTarget {
  // Standard INQUIRY data: direct-access, vendor, product and revision.
  static Bytes Inquiry(const std::string& vendor, const std::string& product, const std::string& revision) {
    Bytes data(96, 0);
    data[4] = 91;  // additional length
    auto put = [&](std::size_t at, std::size_t size, const std::string& text) {
      for (std::size_t i = 0; i < size; ++i) data[at + i] = i < text.size() ? text[i] : ' ';
    };
    put(8, 8, vendor);
    put(16, 16, product);
    put(32, 4, revision);
    return data;
  }

  // The answer to one command: its SCSI status and the data it returns.
  struct Reply {
    std::uint8_t status = 0;
    Bytes data;
  };
  using Handler = std::function<Reply(const Bytes& cdb, const Bytes& dataOut)>;

  Bytes inquiry = Inquiry("SEAGATE", "ST39102LW", "0340");
  std::map<std::uint8_t, Handler> handlers;  // by operation code; none: GOOD, no data
  std::vector<Bytes> cdbs;                   // every command received, in order
  std::vector<Bytes> dataOut;                // the data of every output command
};

class DriveTest : public ModuleTest {
 protected:
  static constexpr std::uint32_t kPort = 0;

  // One SCSI port with `driver`, the given targets on bus 0.
  void LoadDrives(std::map<int, ScriptedTarget*> targets, const std::string& driver = "aic78xx") {
    Load(R"({"ports":[{"driver":")" + driver + R"(","buses":[{}]}]})");
    targets_ = std::move(targets);
    port_ = AddFakeDevice("SCSI0:");
    port_->answer = [this](sim::ControlRequest& request) { return Serve(request); };
  }

  // The CDBs of one operation code that a target received.
  static std::vector<Bytes> Commands(const ScriptedTarget& target, std::uint8_t opcode) {
    std::vector<Bytes> found;
    for (const Bytes& cdb : target.cdbs) {
      if (cdb[0] == opcode) found.push_back(cdb);
    }
    return found;
  }
  static Bytes Built(const Cdb& command) { return Bytes(command.bytes, command.bytes + command.length); }

 private:
  std::uint32_t Serve(sim::ControlRequest& request) {
    using namespace scsi_pass_through;
    std::lock_guard lock(mutex_);
    std::uint8_t* block = request.buffer;
    const auto found = targets_.find(Get8(block, kTargetId));
    if (request.ioctl != kIoctlScsiPassThroughCode || found == targets_.end()) return 87;
    ScriptedTarget& target = *found->second;
    const Bytes cdb(block + kCdb.offset, block + kCdb.offset + Get8(block, kCdbLength));
    const std::uint32_t length = Get32(block, kDataTransferLength);
    const bool dataIn = Get8(block, kDataIn) == kDataInValue;
    target.cdbs.push_back(cdb);
    Bytes out;
    if (!dataIn) {
      out.assign(block + kDataOffset, block + kDataOffset + length);
      target.dataOut.push_back(out);
    }
    ScriptedTarget::Reply reply;
    if (const auto handler = target.handlers.find(cdb[0]); handler != target.handlers.end()) {
      reply = handler->second(cdb, out);
    } else if (cdb[0] == scsi_op::kInquiry) {
      reply.data = target.inquiry;
    }
    Put8(block, kScsiStatus, reply.status);
    if (dataIn && !reply.data.empty()) {
      std::memcpy(block + kDataOffset, reply.data.data(), std::min<std::size_t>(reply.data.size(), length));
    }
    return 0;
  }

  static constexpr std::uint32_t kIoctlScsiPassThroughCode = 0x0004D004;
  std::mutex mutex_;
  std::map<int, ScriptedTarget*> targets_;
  std::shared_ptr<FakeDriver> port_;
};

}  // namespace lumbrel::test
