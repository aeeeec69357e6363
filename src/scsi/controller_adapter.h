// The adapters that reach the drives behind a controller through a request
// format of the controller's driver, on one device that stays open from Open
// to Close: MegaRaidAdapter (format C on "\\.\SCSI%d:"), Dac960Adapter
// (format D on "\\.\SCSI%d:") and QzvAdapter (format B on the maker's
// "\\.\QZV%d"). BeginTarget and EndTarget keep the base behaviour.
#pragma once

#include "scsi/scsi_adapter.h"

namespace lumbrel {

class ControllerAdapter : public ScsiAdapter {
 public:
  std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                          std::uint32_t cdbLength) override;
  std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                           std::uint32_t cdbLength) override;

 protected:
  using ScsiAdapter::ScsiAdapter;
  // Opens the controller device for reading and writing and scans the buses;
  // a failure closes the handle again and is returned.
  std::uint32_t OpenAndScan(const char* name);
  // Fills the format's request block for a command (the buffer exists and
  // the command passed CheckCommand), sends it and interprets its status.
  virtual std::uint32_t Send(const ScsiCommand& command) = 0;
  virtual std::uint32_t MaxCdbLength() const = 0;
  virtual std::uint32_t DataOffset() const = 0;

 private:
  std::uint32_t Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb, std::uint32_t cdbLength,
                        bool dataIn);
};

class MegaRaidAdapter : public ControllerAdapter {
 public:
  MegaRaidAdapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  ~MegaRaidAdapter() override;
  std::uint32_t Open() override;
  std::uint32_t Close() override;
  std::uint8_t* GetDataBuffer(std::uint32_t allocate) override;
  std::uint32_t GetSenseData(SenseView* out) override;

 protected:
  std::uint32_t Send(const ScsiCommand& command) override;
  std::uint32_t MaxCdbLength() const override;
  std::uint32_t DataOffset() const override;
};

class Dac960Adapter : public ControllerAdapter {
 public:
  static constexpr std::uint32_t kNotNumbered = 255;
  static constexpr std::uint32_t kMaxTransfer = 4096;
  static constexpr std::uint8_t kProbeSendOpcode = 0xA0;
  static constexpr std::uint8_t kProbeReceiveOpcode = 0x3D;
  static constexpr std::uint32_t kProbeLength = 64;

  Dac960Adapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  ~Dac960Adapter() override;
  // Numbers the controller among the DAC960 controllers open, probes it
  // (the outcome is ignored), scans it.
  std::uint32_t Open() override;
  // Releases the controller's number.
  std::uint32_t Close() override;
  std::uint8_t* GetDataBuffer(std::uint32_t allocate) override;
  std::uint32_t GetSenseData(SenseView* out) override;

  // One controller command (no DCDB): `data` (at most 4096 bytes) goes to
  // the controller for opcode 0xA0, and comes back for every opcode when
  // the controller reports status 0. 0, the Control error or the status.
  std::uint32_t ControllerCommand(std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                                  std::uint8_t* data, std::uint32_t dataLength);

  std::uint32_t controllerOrdinal = kNotNumbered;

 protected:
  std::uint32_t Send(const ScsiCommand& command) override;
  std::uint32_t MaxCdbLength() const override;
  std::uint32_t DataOffset() const override;
};

class QzvAdapter : public ControllerAdapter {
 public:
  QzvAdapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  ~QzvAdapter() override;
  // Opens "\\.\QZV%d", numbered by the maker's controllers on lower ports.
  std::uint32_t Open() override;
  std::uint32_t Close() override;
  std::uint8_t* GetDataBuffer(std::uint32_t allocate) override;
  std::uint32_t GetSenseData(SenseView* out) override;

 protected:
  std::uint32_t Send(const ScsiCommand& command) override;
  std::uint32_t MaxCdbLength() const override;
  std::uint32_t DataOffset() const override;
};

}  // namespace lumbrel
