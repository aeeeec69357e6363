// The adapters that send SCSI_PASS_THROUGH requests and open a device only
// for the work on one target: ScsiPortAdapter (generic SCSI miniports and
// IDE) and Hhba5100Adapter. Each request goes to the class-driver device
// (disk or scanner) that owns the drive's SCSI address when there is one,
// else to the port device "\\.\SCSI%d:" (see ScsiAddressCache).
#pragma once

#include "scsi/address_cache.h"
#include "scsi/scsi_adapter.h"

namespace lumbrel {

// What the two variants share: Open validates the port and scans, Close and
// EndTarget close the per-target device, a command is one SCSI_PASS_THROUGH
// request through the device that BeginTarget opens (for that one command
// when it is not open), and the sense data is that of its block.
class PortDeviceAdapter : public ScsiAdapter {
 public:
  using ScsiAdapter::ExecuteIn;  // the Cdb forms
  using ScsiAdapter::ExecuteOut;
  std::uint32_t Open() override;
  std::uint32_t Close() override;
  std::uint32_t EndTarget() override;
  std::uint32_t GetSenseData(SenseView* out) override;
  std::uint32_t ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                          std::uint32_t cdbLength) override;
  std::uint32_t ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                           std::uint32_t cdbLength) override;

 protected:
  PortDeviceAdapter(const AdapterSetup& setup, ScsiAddressCache& addressCache);
  // Opens `name` for reading and writing; "not found" becomes 130.
  std::uint32_t OpenTargetDevice(const char* name);
  // Turns the caller's command into the request to send, with `cdbRoom` for
  // a rewritten CDB; 0, or the result when nothing may be sent.
  virtual std::uint32_t Readdress(CommandRequest& command, std::uint8_t (&cdbRoom)[kMaxCdbLength]);
  // The result of a request that was sent, as the caller sees it.
  virtual std::uint32_t Interpret(std::uint32_t result, std::uint8_t bus, std::uint8_t target);
  // Whether a failed Open closes the handle too (the HHBA5100 variant does).
  virtual bool ClosesHandleWhenOpenFails() const { return false; }

  // Which class-driver device sits at which address; shared by the adapters.
  ScsiAddressCache& addressCache_;

 private:
  std::uint32_t Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb, std::uint32_t cdbLength,
                        bool dataIn);
};

class ScsiPortAdapter : public PortDeviceAdapter {
 public:
  // Refreshes the SCSI address cache.
  ScsiPortAdapter(const AdapterSetup& setup, ScsiAddressCache& addressCache);

  // Opens the device of (this port, bus, target).
  std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target) override;

 protected:
  // A refusal with 87 is told apart: a class driver owns the address (4),
  // or nothing is there (130).
  std::uint32_t Interpret(std::uint32_t result, std::uint8_t bus, std::uint8_t target) override;
};

class Hhba5100Adapter : public PortDeviceAdapter {
 public:
  Hhba5100Adapter(const AdapterSetup& setup, ScsiAddressCache& addressCache);

  // Opens the first class-driver device of the port, else the port device:
  // the drive is named inside the wrapped CDB, so bus and target are unused.
  std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target) override;

 protected:
  // Wraps the CDB (87 when its operation code has no translation) and
  // addresses the request to the class-driver device it goes through.
  std::uint32_t Readdress(CommandRequest& command, std::uint8_t (&cdbRoom)[kMaxCdbLength]) override;
  bool ClosesHandleWhenOpenFails() const override { return true; }
};

}  // namespace lumbrel
