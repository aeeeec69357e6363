// One simulated SCSI device (LUN 0 of a target): its INQUIRY identity, its
// state and the commands it answers.
//
// Commands are dispatched through a table by operation code; each entry
// names its handler and whether the medium must be ready. New commands (mode
// pages, FORMAT UNIT, WRITE BUFFER, log pages, ...) are one table row and one
// handler each, with whatever state they keep added to DriveState.
//
// Time: a drive spends its `latencyMs` on the machine's virtual clock for
// every command it runs, and a FORMAT UNIT answers at once and then keeps
// the drive formatting until the clock has passed its `formatSeconds`.
// Nothing else a drive does moves the clock, so a job's timing is the
// library's own waits plus these.
//
// A firmware download is the run of WRITE BUFFER commands up to the next
// other command: that command finds the drive restarted with the image.
//
// View() is what an operator sees of a drive (the CLI's `machine` command,
// ScsiWorld::Views for all of them). Drives change under worker threads,
// so take the machine's mutex around it while a job may run.
//
// A drive whose configuration names a real device (`sg`) keeps only its
// address and command log: the device answers every command, and its
// INQUIRY data is the drive's identity.
#pragma once

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sim/scsi/command_log.h"
#include "sim/scsi/data_phase.h"
#include "sim/scsi/device_config.h"
#include "sim/scsi/firmware_image.h"
#include "sim/scsi/scsi_codes.h"
#include "sim/scsi/sg_device.h"
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
  std::uint32_t milliseconds = 0;  // the virtual time the command took
  bool fromDevice = false;         // a real device answered (DeviceConfig::sg)
  bool unanswered = false;         // the real device did not complete the command
};

// Everything a drive remembers between commands.
struct DriveState {
  bool ready = true;
  std::uint32_t blocks = DeviceConfig::kDefaultBlocks;
  std::optional<scsi::Sense> pendingSense;  // after CHECK CONDITION, until the next command
  std::unordered_map<std::uint32_t, std::array<std::uint8_t, scsi::kBlockSize>> written;  // by block address
  std::uint32_t notReadyLeft = 0;  // TEST UNIT READY and reads still to answer NOT READY 04/01
  std::uint64_t readsServed = 0;   // read commands answered with GOOD
  bool allUnreadable = false;
  std::unordered_set<std::uint32_t> unreadable;
  std::optional<std::uint64_t> formatEndsAt;  // the clock's elapsed milliseconds when the running format ends
  bool formatted = false;                     // blocks not written since then read as zeros
  std::vector<std::uint8_t> modePage0;        // current values, page code byte first; empty: no page 0
  std::vector<std::uint8_t> savedModePage0;
  FirmwareImage download;                     // the download under way
  std::vector<std::uint8_t> firmwareImage;    // the image of the last completed download
  std::vector<std::uint8_t> logPage32;        // the three 200-byte parameters of log page 0x32
  std::array<std::uint8_t, 3> logControls{};  // their parameter control bytes
};

// What an operator sees of one drive, at one moment.
struct DriveView {
  ScsiAddress address;
  // INQUIRY bytes 8-15, 16-31 and 32-35 as the drive reports them now
  // (the revision changes with a firmware download).
  std::string vendor, product, revision;
  bool ready = true;                 // false: NOT READY until a START UNIT
  std::uint32_t notReadyLeft = 0;    // NOT READY 04/01 answers still to come
  std::uint64_t commands = 0;        // commands received
  std::uint64_t readsServed = 0;     // read commands answered with GOOD
  std::uint64_t blocksRead = 0;
  std::uint64_t blocksWritten = 0;
  bool formatting = false;
  std::uint64_t formatRemainingMs = 0;  // while formatting
  bool formatted = false;               // a FORMAT UNIT has completed
  std::vector<std::uint8_t> firmwareImage;  // the image held since the last completed download; its size is its length
  std::uint32_t downloadLength = 0;         // bytes of a download not yet completed
  std::vector<std::uint8_t> modePage0;      // current values; empty: no mode page 0
  std::vector<std::uint8_t> logPages;       // the supported log pages; empty: none
  std::vector<std::uint8_t> logPage32;      // the 600 bytes of page 0x32; empty when not offered
};

class ScsiDrive {
 public:
  ScsiDrive(const DeviceConfig& config, ScsiAddress address, VirtualClock& clock);

  const ScsiAddress& address() const { return address_; }
  const DeviceConfig& config() const { return config_; }
  const std::vector<std::uint8_t>& inquiryData() const { return inquiry_; }
  // The drive answers INQUIRY with other data from now on.
  void ReplaceInquiryData(std::vector<std::uint8_t> data) { inquiry_ = std::move(data); }
  // Peripheral device type: the low 5 bits of INQUIRY byte 0.
  std::uint8_t peripheralType() const { return inquiry_.empty() ? 0 : inquiry_[0] & 0x1F; }

  // The machine's time, as the drive sees it pass.
  const VirtualClock& clock() const { return clock_; }
  DriveView View() const;
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
  static void PatternBlocks(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);

 private:
  using Handler = CommandResult (ScsiDrive::*)(std::span<const std::uint8_t> cdb, DataPhase& data);
  struct Command {
    Handler run = nullptr;
    bool needsReady = false;
    bool duringFormat = false;  // answered while a format runs
  };
  static const std::array<Command, 256>& Commands();

  CommandResult Check(const scsi::Sense& sense);
  // The real device behind the drive (scsi_drive_device.cpp).
  void AttachDevice(const std::string& path);
  CommandResult RunOnDevice(std::span<const std::uint8_t> cdb, DataPhase& data);
  std::uint32_t TakeDeviceSense(std::span<std::uint8_t> out);
  // Ends a format whose time has passed.
  void SettleFormat();
  bool Formatting() const;
  // The restart that a command other than WRITE BUFFER finds after a download.
  void FinishDownload();
  // Counts down `notReady`: true while the drive is still becoming ready.
  bool BecomingReady();
  bool Unreadable(std::uint32_t lba, std::uint32_t count, std::uint32_t* first) const;
  bool OffersLogPage(std::uint8_t page) const;

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
  CommandResult FormatUnit(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult ModeSense6(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult ModeSelect6(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult WriteBuffer(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult LogSense(std::span<const std::uint8_t> cdb, DataPhase& data);
  CommandResult LogSelect(std::span<const std::uint8_t> cdb, DataPhase& data);

  DeviceConfig config_;
  ScsiAddress address_;
  VirtualClock& clock_;
  std::vector<std::uint8_t> inquiry_;
  DriveState state_;
  CommandLog log_;
  std::unique_ptr<SgDevice> device_;
  std::vector<std::uint8_t> deviceSense_;  // the real device's sense data, until the next command
};

// The INQUIRY data a device configuration describes.
std::vector<std::uint8_t> BuildInquiryData(const DeviceConfig& config);

}  // namespace lumbrel::sim
