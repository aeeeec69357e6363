// One simulated SCSI device (LUN 0 of a target): its INQUIRY identity, its
// state and the commands it answers.
//
// Commands are dispatched through a table by operation code; each entry
// names its handler and whether the medium must be ready. New commands (mode
// pages, FORMAT UNIT, WRITE BUFFER, log pages, ...) are one table row and one
// handler each, with whatever state they keep added to DriveState. A
// command that takes time (FORMAT UNIT, the restart after a firmware
// download) measures it on the machine's virtual clock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "sim/scsi/command_log.h"
#include "sim/scsi/data_phase.h"
#include "sim/scsi/device_config.h"
#include "sim/scsi/scsi_codes.h"
#include "sim/virtual_clock.h"

namespace lumbrel::sim {

struct ScsiAddress {
  std::uint32_t port = 0;
  std::uint32_t bus = 0;
  std::uint32_t target = 0;
};

struct CommandResult {
  std::uint8_t status = scsi::kGood;
  std::uint32_t transferred = 0;  // data bytes moved
  bool phaseError = false;        // data moved against the declared direction, or too little to send
};

// Everything a drive remembers between commands.
struct DriveState {
  bool ready = true;
  std::uint32_t blocks = DeviceConfig::kDefaultBlocks;
  std::optional<scsi::Sense> pendingSense;  // after CHECK CONDITION, until the next command
  std::unordered_map<std::uint32_t, std::array<std::uint8_t, scsi::kBlockSize>> written;  // by block address
};

class ScsiDrive {
 public:
  ScsiDrive(const DeviceConfig& config, ScsiAddress address, const VirtualClock& clock);

  const ScsiAddress& address() const { return address_; }
  const DeviceConfig& config() const { return config_; }
  const std::vector<std::uint8_t>& inquiryData() const { return inquiry_; }
  // Peripheral device type: the low 5 bits of INQUIRY byte 0.
  std::uint8_t peripheralType() const { return inquiry_.empty() ? 0 : inquiry_[0] & 0x1F; }

  // The machine's time, as the drive sees it pass.
  const VirtualClock& clock() const { return clock_; }
  DriveState& state() { return state_; }
  const DriveState& state() const { return state_; }
  CommandLog& log() { return log_; }
  const CommandLog& log() const { return log_; }

  // Runs one command with the initiator's data phase.
  CommandResult Execute(std::span<const std::uint8_t> cdb, DataPhase& data);
  // Ends a command without running it: with `status`, and for CHECK
  // CONDITION with `sense` pending (an injected failure).
  CommandResult Refuse(std::span<const std::uint8_t> cdb, std::uint8_t status, const scsi::Sense& sense);
  // Automatic request sense: copies the pending sense data (at most
  // out.size() bytes), clears it and returns the count; 0 when none.
  std::uint32_t TakeSense(std::span<std::uint8_t> out);

  // The bytes a block holds: what was last written there, else a pattern of
  // its address.
  void ReadBlock(std::uint32_t lba, std::uint8_t* out) const;
  static void PatternBlock(std::uint32_t lba, std::uint8_t* out);

 private:
  using Handler = CommandResult (ScsiDrive::*)(std::span<const std::uint8_t> cdb, DataPhase& data);
  struct Command {
    Handler run = nullptr;
    bool needsReady = false;
  };
  static const std::array<Command, 256>& Commands();

  CommandResult Check(const scsi::Sense& sense);

  CommandResult TestUnitReady(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult RequestSense(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult Inquiry(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult StartStopUnit(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult ReadCapacity(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult Read6(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult Read10(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult Write6(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult Write10(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult ReadBlocks(std::uint32_t lba, std::uint32_t count, DataPhase& data);
  CommandResult WriteBlocks(std::uint32_t lba, std::uint32_t count, DataPhase& data);

  DeviceConfig config_;
  ScsiAddress address_;
  const VirtualClock& clock_;
  std::vector<std::uint8_t> inquiry_;
  DriveState state_;
  CommandLog log_;
};

// The INQUIRY data a device configuration describes.
std::vector<std::uint8_t> BuildInquiryData(const DeviceConfig& config);

}  // namespace lumbrel::sim
