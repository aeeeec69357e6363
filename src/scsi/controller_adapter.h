// The adapters that reach the drives behind a controller through a request
// block of the controller's driver, on one device that stays open from Open
// to Close: MegaRaidAdapter (the MegaRAID direct CDB on "\\.\SCSI%d:"),
// Dac960Adapter (the DAC960 direct CDB on "\\.\SCSI%d:") and QzvAdapter
// (SCSI_REQUEST_BLOCK on the maker's "\\.\QZV%d"). BeginTarget and
// EndTarget keep the base behaviour.
#pragma once

#include "scsi/scsi_adapter.h"

namespace lumbrel {

// What a controller's request block fixes for its adapter: the longest CDB
// that the block carries, where the data area starts in the transfer
// buffer, and where the driver leaves the sense data.
struct ControllerFormat {
  std::uint32_t maxCdbLength;
  std::uint32_t dataOffset;
  SenseView (*sense)(const std::uint8_t* block);
};

class ControllerAdapter : public ScsiAdapter {
 public:
  using ScsiAdapter::ExecuteIn;  // the Cdb forms
  using ScsiAdapter::ExecuteOut;
  // Opens the controller's device for reading and writing and scans the
  // buses; nothing when it is open already. A failure closes the device
  // again and is returned.
  std::uint32_t Open() override;
  // Closes the device; its result.
  std::uint32_t Close() override;
  std::uint8_t* GetDataBuffer(std::uint32_t allocate) override;
  std::uint32_t GetSenseData(SenseView* out) override;
  std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                          std::uint32_t cdbLength) override;
  std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                           std::uint32_t cdbLength) override;

 protected:
  ControllerAdapter(const AdapterSetup& setup, const ControllerFormat& format);
  // The name of the controller's device (kDeviceNameBufferSize bytes).
  virtual void DeviceName(char* name) = 0;
  // Fills the request block for a command (the buffer exists and
  // the command passed CheckCommand), sends it and interprets its status.
  virtual std::uint32_t Send(const CommandRequest& command) = 0;

 private:
  std::uint32_t Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb, std::uint32_t cdbLength,
                        bool dataIn);

  const ControllerFormat& format_;
};

class MegaRaidAdapter : public ControllerAdapter {
 public:
  explicit MegaRaidAdapter(const AdapterSetup& setup);

 protected:
  void DeviceName(char* name) override;  // "\\.\SCSI%d:" of the port
  std::uint32_t Send(const CommandRequest& command) override;
};

// Numbers the DAC960 controllers in the order in which they are opened: the
// count of those open now is the number of the next one.
class Dac960Numbering {
 public:
  std::uint32_t Next() const { return open_; }
  void Opened() { ++open_; }
  void Closed() {
    if (open_ != 0) --open_;
  }

 private:
  std::uint32_t open_ = 0;
};

class Dac960Adapter : public ControllerAdapter {
 public:
  static constexpr std::uint32_t kNotNumbered = 255;
  static constexpr std::uint32_t kMaxTransfer = 4096;
  static constexpr std::uint8_t kProbeSendOpcode = 0xA0;
  static constexpr std::uint8_t kProbeReceiveOpcode = 0x3D;
  static constexpr std::uint32_t kProbeLength = 64;

  Dac960Adapter(const AdapterSetup& setup, Dac960Numbering& numbering);
  // Gives the controller's number back.
  ~Dac960Adapter() override;
  // Numbers the controller among the DAC960 controllers open, probes it
  // (the outcome is ignored), scans it.
  std::uint32_t Open() override;
  // Releases the controller's number.
  std::uint32_t Close() override;

  // One controller command (no DCDB): `data` (at most 4096 bytes) goes to
  // the controller for opcode 0xA0, and comes back for every opcode when
  // the controller reports status 0. 0, the Control error or the status.
  std::uint32_t ControllerCommand(std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                                  std::uint8_t* data, std::uint32_t dataLength);

  std::uint32_t controllerOrdinal = kNotNumbered;

 protected:
  void DeviceName(char* name) override;  // "\\.\SCSI%d:" of the port
  std::uint32_t Send(const CommandRequest& command) override;

 private:
  Dac960Numbering& numbering_;
};

class QzvAdapter : public ControllerAdapter {
 public:
  // `controllerNumber`: the maker's controllers on lower ports, which
  // numbers the device.
  QzvAdapter(const AdapterSetup& setup, std::uint32_t controllerNumber);

 protected:
  void DeviceName(char* name) override;  // "\\.\QZV%d"
  std::uint32_t Send(const CommandRequest& command) override;

 private:
  std::uint32_t controllerNumber_;
};

}  // namespace lumbrel
