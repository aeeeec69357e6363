// The adapters that send SCSI_PASS_THROUGH requests and open a device only
// for the work on one target: ScsiPortAdapter (generic SCSI miniports and
// IDE) and Hhba5100Adapter. Each request goes to the class-driver device
// (disk or scanner) that owns the drive's SCSI address when there is one,
// else to the port device "\\.\SCSI%d:" (see ScsiAddressCache).
#pragma once

#include "scsi/scsi_adapter.h"

namespace lumbrel {

// What the two variants share: Open validates the port and scans, Close and
// EndTarget close the per-target device, the sense data is that of the
// SCSI_PASS_THROUGH block.
class PortDeviceAdapter : public ScsiAdapter {
 public:
  std::uint32_t Open() override;
  std::uint32_t Close() override;
  std::uint32_t EndTarget() override;
  std::uint32_t GetSenseData(SenseView* out) override;

 protected:
  PortDeviceAdapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  // Opens `name` for reading and writing; "not found" becomes 130.
  std::uint32_t OpenTargetDevice(const char* name);
  // Fills and sends one SCSI_PASS_THROUGH request through the open handle;
  // the Control error or the SCSI status.
  std::uint32_t SendPassThrough(const ScsiCommand& command);
  // Whether a failed Open closes the handle too (the HHBA5100 variant does).
  virtual bool ClosesHandleWhenOpenFails() const { return false; }
};

class ScsiPortAdapter : public PortDeviceAdapter {
 public:
  // Refreshes the SCSI address cache.
  ScsiPortAdapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  ~ScsiPortAdapter() override;

  // Opens the device of (this port, bus, target).
  std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target) override;
  std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                          std::uint32_t cdbLength) override;
  std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                           std::uint32_t cdbLength) override;

 private:
  std::uint32_t Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb, std::uint32_t cdbLength,
                        bool dataIn);
};

class Hhba5100Adapter : public PortDeviceAdapter {
 public:
  Hhba5100Adapter(std::uint32_t adapterNumber, std::uint32_t bufferSize);
  ~Hhba5100Adapter() override;

  // Opens the first class-driver device of the port, else the port device:
  // the drive is named inside the wrapped CDB, so bus and target are unused.
  std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target) override;
  std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                          std::uint32_t cdbLength) override;
  std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                           std::uint32_t cdbLength) override;

 protected:
  bool ClosesHandleWhenOpenFails() const override { return true; }

 private:
  std::uint32_t Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb, std::uint32_t cdbLength,
                        bool dataIn);
};

}  // namespace lumbrel
