#include "scsi/port_device_adapter.h"

#include "result_codes.h"
#include "scsi/control_codes.h"
#include "scsi/hhba5100_wrap.h"
#include "scsi/scsi_pass_through.h"

namespace lumbrel {

PortDeviceAdapter::PortDeviceAdapter(const AdapterSetup& setup, ScsiAddressCache& addressCache)
    : ScsiAdapter(setup), addressCache_(addressCache) {}

std::uint32_t PortDeviceAdapter::Open() {
  if (isOpen != 0) return 0;
  std::uint32_t result = 0;
  if (!inPortTable) {
    result = kNotSupported;
  } else if (busCount != 0) {
    // Each INQUIRY of the scan opens and closes its target's device.
    result = RescanUnits(nullptr);
  }
  if (result == 0) {
    isOpen = 1;
    return 0;
  }
  if (ClosesHandleWhenOpenFails()) TargetDevice().Close();
  return result;
}

std::uint32_t PortDeviceAdapter::Close() {
  isOpen = 0;
  return TargetDevice().Close();
}

std::uint32_t PortDeviceAdapter::EndTarget() { return TargetDevice().Close(); }

std::uint32_t PortDeviceAdapter::GetSenseData(SenseView* out) {
  if (TransferBuffer() == nullptr) return 0;
  if (out != nullptr) *out = scsi_pass_through::Sense(TransferBuffer());
  return 1;
}

std::uint32_t PortDeviceAdapter::OpenTargetDevice(const char* name) {
  const std::uint32_t result = TargetDevice().Open(name, DeviceHandle::kReadWrite);
  return result == ERROR_FILE_NOT_FOUND ? kNoDevice : result;
}

std::uint32_t PortDeviceAdapter::ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                           std::uint32_t cdbLength) {
  return Execute(bus, target, cdb, cdbLength, true);
}

std::uint32_t PortDeviceAdapter::ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                            std::uint32_t cdbLength) {
  return Execute(bus, target, cdb, cdbLength, false);
}

std::uint32_t PortDeviceAdapter::Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                         std::uint32_t cdbLength, bool dataIn) {
  const bool wasOpen = TargetDevice().IsOpen();
  const std::uint32_t dataLength = CdbTransferLength(cdb, cdbLength);
  if (const std::uint32_t refused = CheckCommand(*this, cdbLength, scsi_pass_through::kCdb.size, dataLength)) return refused;
  std::uint32_t result = kNoMemory;
  if (BufferFor(dataIn, scsi_pass_through::kDataOffset) != nullptr) {
    result = wasOpen ? 0 : BeginTarget(bus, target);
    CommandRequest command{bus, target, cdb, cdbLength, dataIn, dataLength};
    std::uint8_t cdbRoom[kMaxCdbLength];
    if (result == 0) result = Readdress(command, cdbRoom);
    if (result == 0) {
      const ControlLengths lengths = scsi_pass_through::Fill(TransferBuffer(), command);
      result = TargetDevice().Control(kIoctlScsiPassThrough, TransferBuffer(), lengths.input, lengths.output);
      result = Interpret(result != 0 ? result : scsi_pass_through::Status(TransferBuffer()), bus, target);
    }
  }
  // A device opened for this one command is closed again, whatever happened.
  if (!wasOpen) EndTarget();
  return result;
}

std::uint32_t PortDeviceAdapter::Readdress(CommandRequest&, std::uint8_t (&)[kMaxCdbLength]) { return 0; }

std::uint32_t PortDeviceAdapter::Interpret(std::uint32_t result, std::uint8_t, std::uint8_t) { return result; }

// ---- ScsiPortAdapter ----------------------------------------------------------

ScsiPortAdapter::ScsiPortAdapter(const AdapterSetup& setup, ScsiAddressCache& addressCache)
    : PortDeviceAdapter(setup, addressCache) {
  addressCache_.Refresh();
}

std::uint32_t ScsiPortAdapter::BeginTarget(std::uint32_t bus, std::uint32_t target) {
  char name[kDeviceNameBufferSize];
  addressCache_.BuildDeviceName(static_cast<std::uint8_t>(adapterNumber), static_cast<std::uint8_t>(bus),
                                static_cast<std::uint8_t>(target), name);
  return OpenTargetDevice(name);
}

std::uint32_t ScsiPortAdapter::Interpret(std::uint32_t result, std::uint8_t bus, std::uint8_t target) {
  // The port driver refuses a pass-through to an address that a class
  // driver has claimed: the device is there but must be reached through
  // its class driver. Anywhere else nothing answers.
  if (result != kInvalidParameter) return result;
  return addressCache_.Find(static_cast<std::uint8_t>(adapterNumber), bus, target, nullptr) ? 4 : kNoDevice;
}

// ---- Hhba5100Adapter ------------------------------------------------------------

Hhba5100Adapter::Hhba5100Adapter(const AdapterSetup& setup, ScsiAddressCache& addressCache)
    : PortDeviceAdapter(setup, addressCache) {
  initiatorId = kNoInitiatorId;
}

std::uint32_t Hhba5100Adapter::BeginTarget(std::uint32_t, std::uint32_t) {
  char name[kDeviceNameBufferSize];
  addressCache_.BuildDeviceName(static_cast<std::uint8_t>(adapterNumber), ScsiAddressCache::kAny,
                                ScsiAddressCache::kAny, name);
  return OpenTargetDevice(name);
}

std::uint32_t Hhba5100Adapter::Readdress(CommandRequest& command, std::uint8_t (&cdbRoom)[kMaxCdbLength]) {
  static_assert(kWrappedCdbLength <= kMaxCdbLength);
  if (!WrapCdb(command.cdb, command.cdbLength, cdbRoom, command.bus, command.target)) return kInvalidParameter;
  command.cdb = cdbRoom;
  command.cdbLength = kWrappedCdbLength;  // the data length stays that of the caller's CDB
  // The request is addressed to the class-driver device it goes through;
  // the drive itself is named in the wrapped CDB.
  std::uint8_t address[3];
  if (addressCache_.GetPortAddress(static_cast<std::uint8_t>(adapterNumber), address)) {
    command.target = address[0];
    command.bus = address[1];
  }
  return 0;
}

}  // namespace lumbrel
