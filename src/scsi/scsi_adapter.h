// The host adapter object: one per SCSI port. It owns the device handle and
// the transfer buffer through which commands reach the drives of the port,
// the port's bus records with the direct-access targets found on each, and
// offers one command interface to the rest of the library. The base class
// does what every driver family shares and answers 1200 (not supported)
// where a family must act; the five variants fill in the rest.
//
// How the library drives an adapter: take it from the adapter list with
// OpenAdapter (Open has succeeded); for a sequence of commands to one drive
// hold a TargetSession (BeginTarget, then EndTarget in every case); a single
// command may be sent without one. For an output command write the data into
// GetDataBuffer(1) first; after an input command read it from
// GetDataBuffer(0). After a result of 2, GetSenseData holds the sense data.
#pragma once

#include <cstdint>
#include <new>

#include "discovery/port_table.h"
#include "platform/lock.h"
#include "scsi/command_request.h"
#include "scsi/device_handle.h"
#include "scsi/scsi_commands.h"

namespace lumbrel {

class ScsiAdapter;

// What an adapter is built from: its port number, the size its owner asks
// for, and the port's entry in the port table (class code and bus count).
struct AdapterSetup {
  std::uint32_t adapterNumber = 0;
  std::uint32_t bufferSize = 0;
  const PortEntry* port = nullptr;  // null: the port is not in the table
};

// Objects of the adapter layer live in library memory, so that running out
// of it can be injected and every block is accounted for at unload. Only the
// non-throwing new is offered: `new (std::nothrow) T(...)`, null on failure.
struct LibraryAllocated {
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, const std::nothrow_t&) noexcept;
  static void* operator new(std::size_t size) = delete;
};

// What one caller uses for its commands on an adapter: the transfer buffer
// (request block and data area) and, for the adapters that open a device
// per target, that device. The caller's thread uses the adapter's own
// (`deviceHandle`, `transferBuffer`); each job binds one of its own, so that
// jobs and exports on one adapter never share a request block, a data area
// or a target's device.
struct CommandContext {
  CommandContext() = default;
  ~CommandContext();  // closes the device, frees the buffer
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  DeviceHandle targetDevice;
  std::uint8_t* transferBuffer = nullptr;
};

// One SCSI bus (path) of an adapter and the targets its last scan found.
struct ScsiBus : LibraryAllocated {
  ScsiBus(ScsiAdapter* owner, std::uint32_t number) : adapter(owner), busNumber(number) {}

  // INQUIRY to every target id but the adapter's own; records the
  // direct-access devices. 55 (handle not open) ends the scan at once and is
  // returned; every other failure just leaves the target out. `newTargets`,
  // when given, receives the targets that were not present before.
  std::uint32_t ScanBus(std::uint16_t* newTargets);
  bool IsTargetPresent(std::uint32_t target) const { return target < 16 && ((presentTargets >> target) & 1) != 0; }

  std::uint32_t unitCount = 0;
  std::uint16_t presentTargets = 0;
  std::uint16_t previousTargets = 0;
  ScsiAdapter* adapter;
  std::uint32_t busNumber;
};

class ScsiAdapter : public LibraryAllocated {
 public:
  static constexpr std::uint32_t kMaxBuses = 8;
  static constexpr std::uint32_t kTargetCount = 16;
  static constexpr std::uint32_t kDefaultInitiatorId = 7;
  static constexpr std::uint32_t kNoInitiatorId = 254;  // the scan skips no id
  static constexpr std::uint32_t kMaxTransfer = 32768;
  static constexpr std::uint32_t kBufferSizeUnit = 512;

  // Takes the port's class code and bus count from its entry (both 0 when
  // there is none) and creates the bus records; an allocation failure keeps
  // the buses created so far.
  explicit ScsiAdapter(const AdapterSetup& setup);
  ScsiAdapter(const ScsiAdapter&) = delete;
  ScsiAdapter& operator=(const ScsiAdapter&) = delete;

  // The nine operations, in this slot order.
  virtual ~ScsiAdapter();
  // Makes the adapter usable and scans its buses; 0 = ready. Succeeds
  // without reopening when the adapter is open already.
  virtual std::uint32_t Open();
  virtual std::uint32_t Close();
  // Prepares one target for a sequence of commands (base: an INQUIRY). The
  // port-device variants open the target's device here; call EndTarget
  // before the next BeginTarget.
  virtual std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target);
  virtual std::uint32_t EndTarget();
  // The data area of the transfer buffer, allocating the buffer first when
  // `allocate` is nonzero; null when there is no buffer.
  virtual std::uint8_t* GetDataBuffer(std::uint32_t allocate);
  // 1 and the sense area of the last command when the buffer exists, else 0.
  virtual std::uint32_t GetSenseData(SenseView* out);
  // Runs the CDB; its data is read from the device into the data area.
  virtual std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                  std::uint32_t cdbLength);
  // Runs the CDB; its data is taken from the data area.
  virtual std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                   std::uint32_t cdbLength);

  std::uint32_t ExecuteIn(std::uint32_t bus, std::uint32_t target, const Cdb& command) {
    return ExecuteIn(static_cast<std::uint8_t>(bus), static_cast<std::uint8_t>(target), command.bytes,
                     command.length);
  }
  std::uint32_t ExecuteOut(std::uint32_t bus, std::uint32_t target, const Cdb& command) {
    return ExecuteOut(static_cast<std::uint8_t>(bus), static_cast<std::uint8_t>(target), command.bytes,
                      command.length);
  }

  // Runs a data-in command into a data area cleared for the bytes it asks
  // for, so that what a device does not send reads as zeros, never as the
  // leftovers of an earlier command (of this or another drive).
  std::uint32_t ExecuteInCleared(std::uint32_t bus, std::uint32_t target, const Cdb& command);
  // INQUIRY (allocation length 240) into the zeroed data area; a caller
  // that gets 0 reads the inquiry data from GetDataBuffer(0).
  std::uint32_t InquireTarget(std::uint32_t bus, std::uint32_t target);
  // Scans every bus; a nonzero scan result ends the rescan and is returned.
  // `anyNew`, when given, becomes 1 when some bus found a new target.
  std::uint32_t RescanUnits(std::uint32_t* anyNew);

  // The size of the transfer buffer: the largest transfer plus the room for
  // the request block in front of the data.
  std::uint32_t TransferBufferSize() const;

  // The direct-access targets that the bus's last scan found (0 for a bus
  // the adapter lacks); safe beside a rescan on another thread.
  std::uint16_t PresentTargets(std::uint32_t bus);

  DeviceHandle deviceHandle;
  std::uint32_t busCount = 0;
  std::uint32_t targetCount = kTargetCount;
  std::uint32_t initiatorId = kDefaultInitiatorId;
  std::uint32_t adapterNumber;
  std::uint32_t classCode = 0;
  ScsiBus* buses[kMaxBuses] = {};
  std::uint32_t isOpen = 0;
  std::uint32_t bufferSize;
  std::uint8_t* transferBuffer = nullptr;
  std::uint32_t maxTransfer = kMaxTransfer;
  bool inPortTable;  // built from a port entry

 protected:
  friend class ContextBinding;
  friend struct ScsiBus;

  // The context of the calling thread: a job's while it is bound, else the
  // adapter's own. The operations send through these only.
  std::uint8_t*& TransferBuffer();
  DeviceHandle& TargetDevice();

  // Closes the handle, frees the transfer buffer and the bus records.
  void Release();
  // The data area at `dataOffset` of the transfer buffer, allocated first
  // when `allocate` is nonzero and there is none yet.
  std::uint8_t* DataArea(std::uint32_t allocate, std::uint32_t dataOffset);
  // The transfer buffer and data area for a command, or null (result 8):
  // allocated for input, only when already there for output.
  std::uint8_t* BufferFor(bool dataIn, std::uint32_t dataOffset);

 private:
  platform::Lock busLock_;  // the bus records' target masks
};

// Makes a job's context the one that an adapter's operations use on the
// calling thread, for the binding's lifetime.
class ContextBinding {
 public:
  ContextBinding(ScsiAdapter& adapter, CommandContext& context);
  ~ContextBinding();
  ContextBinding(const ContextBinding&) = delete;
  ContextBinding& operator=(const ContextBinding&) = delete;

 private:
  const ScsiAdapter* previousAdapter_;
  CommandContext* previousContext_;
};

// One target of an adapter held for a sequence of commands: BeginTarget
// when the session starts, EndTarget when it ends, whatever happened between.
class TargetSession {
 public:
  TargetSession(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target)
      : adapter_(adapter), result_(adapter.BeginTarget(bus, target)) {}
  ~TargetSession() { adapter_.EndTarget(); }
  TargetSession(const TargetSession&) = delete;
  TargetSession& operator=(const TargetSession&) = delete;

  // BeginTarget's result: 0 when the target is ready for commands.
  std::uint32_t result() const { return result_; }

 private:
  ScsiAdapter& adapter_;
  std::uint32_t result_;
};

// Checks that the variants share: a CDB that its format can carry and a
// transfer that fits the data area. 0, or 87 (nothing may be sent).
std::uint32_t CheckCommand(const ScsiAdapter& adapter, std::uint32_t cdbLength, std::uint32_t maxCdbLength,
                           std::uint32_t dataLength);

}  // namespace lumbrel
