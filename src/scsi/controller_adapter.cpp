#include "scsi/controller_adapter.h"

#include <algorithm>
#include <cstring>

#include "result_codes.h"
#include "scsi/control_codes.h"
#include "scsi/dac960_direct_cdb.h"
#include "scsi/device_names.h"
#include "scsi/megaraid_direct_cdb.h"
#include "scsi/scsi_request_block.h"

namespace lumbrel {
namespace {

constexpr ControllerFormat kMegaRaidFormat{megaraid_direct_cdb::kCdb.size, megaraid_direct_cdb::kDataOffset,
                                          megaraid_direct_cdb::Sense};
constexpr ControllerFormat kDac960Format{dac960_direct_cdb::kCdb.size, dac960_direct_cdb::kDataOffset,
                                         dac960_direct_cdb::Sense};
constexpr ControllerFormat kSrbFormat{scsi_request_block::kCdb.size, scsi_request_block::kDataOffset,
                                      scsi_request_block::Sense};

}  // namespace

// ---- shared --------------------------------------------------------------------

ControllerAdapter::ControllerAdapter(const AdapterSetup& setup, const ControllerFormat& format)
    : ScsiAdapter(setup), format_(format) {}

std::uint32_t ControllerAdapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameBufferSize];
  DeviceName(name);
  std::uint32_t result = deviceHandle.Open(name, DeviceHandle::kReadWrite);
  if (result == 0) result = RescanUnits(nullptr);
  if (result != 0) deviceHandle.Close();
  return result;
}

std::uint32_t ControllerAdapter::Close() { return deviceHandle.Close(); }

std::uint8_t* ControllerAdapter::GetDataBuffer(std::uint32_t allocate) {
  return DataArea(allocate, format_.dataOffset);
}

std::uint32_t ControllerAdapter::GetSenseData(SenseView* out) {
  if (TransferBuffer() == nullptr) return 0;
  if (out != nullptr) *out = format_.sense(TransferBuffer());
  return 1;
}

std::uint32_t ControllerAdapter::ExecuteIn(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                           std::uint32_t cdbLength) {
  return Execute(bus, target, cdb, cdbLength, true);
}

std::uint32_t ControllerAdapter::ExecuteOut(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                            std::uint32_t cdbLength) {
  return Execute(bus, target, cdb, cdbLength, false);
}

std::uint32_t ControllerAdapter::Execute(std::uint8_t bus, std::uint8_t target, const std::uint8_t* cdb,
                                         std::uint32_t cdbLength, bool dataIn) {
  const std::uint32_t dataLength = CdbTransferLength(cdb, cdbLength);
  if (const std::uint32_t refused = CheckCommand(*this, cdbLength, format_.maxCdbLength, dataLength)) return refused;
  if (BufferFor(dataIn, format_.dataOffset) == nullptr) return kNoMemory;
  return Send(CommandRequest{bus, target, cdb, cdbLength, dataIn, dataLength});
}

// ---- MegaRAID ------------------------------------------------------------------

MegaRaidAdapter::MegaRaidAdapter(const AdapterSetup& setup) : ControllerAdapter(setup, kMegaRaidFormat) {}

void MegaRaidAdapter::DeviceName(char* name) { FormatPortDeviceName(name, adapterNumber); }

std::uint32_t MegaRaidAdapter::Send(const CommandRequest& command) {
  const std::uint32_t length = megaraid_direct_cdb::Fill(TransferBuffer(), command, maxTransfer);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, TransferBuffer(), length, DeviceHandle::kSendReceive);
  return result != 0 ? result : megaraid_direct_cdb::Result(TransferBuffer());
}

// ---- DAC960 --------------------------------------------------------------------

Dac960Adapter::Dac960Adapter(const AdapterSetup& setup, Dac960Numbering& numbering)
    : ControllerAdapter(setup, kDac960Format), numbering_(numbering) {
  initiatorId = kNoInitiatorId;
  maxTransfer = std::min(maxTransfer, kMaxTransfer);
}

Dac960Adapter::~Dac960Adapter() { Dac960Adapter::Close(); }

void Dac960Adapter::DeviceName(char* name) { FormatPortDeviceName(name, adapterNumber); }

std::uint32_t Dac960Adapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameBufferSize];
  DeviceName(name);
  std::uint32_t result = deviceHandle.Open(name, DeviceHandle::kReadWrite);
  if (result != 0) {
    deviceHandle.Close();
    return result;
  }
  controllerOrdinal = numbering_.Next();
  // The probe tells the controller its number; what it answers is not used.
  std::uint8_t probe[kProbeLength] = {};
  probe[0] = static_cast<std::uint8_t>(controllerOrdinal);
  if (ControllerCommand(kProbeSendOpcode, 0, 0, probe, sizeof probe) == 0) {
    std::memset(probe, 0, sizeof probe);
    ControllerCommand(kProbeReceiveOpcode, 0, 0, probe, sizeof probe);
  }
  result = RescanUnits(nullptr);
  if (result != 0) {
    deviceHandle.Close();
    // The number was not taken: forget it, so that a later Close does not
    // give back a number that this controller never held.
    controllerOrdinal = kNotNumbered;
    return result;
  }
  numbering_.Opened();
  return 0;
}

std::uint32_t Dac960Adapter::Close() {
  const std::uint32_t result = deviceHandle.Close();
  // adapterNumber is kept, so that the list can open the controller again.
  if (result == 0 && controllerOrdinal != kNotNumbered) numbering_.Closed();
  controllerOrdinal = kNotNumbered;
  return result;
}

std::uint32_t Dac960Adapter::Send(const CommandRequest& command) {
  // An input command clears the whole buffer first, so that nothing of an
  // earlier command can be mistaken for this one's data.
  if (command.dataIn) std::memset(TransferBuffer(), 0, TransferBufferSize());
  const std::uint32_t length = dac960_direct_cdb::Fill(TransferBuffer(), command);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, TransferBuffer(), length, DeviceHandle::kSendReceive);
  return result != 0 ? result : dac960_direct_cdb::Result(TransferBuffer());
}

std::uint32_t Dac960Adapter::ControllerCommand(std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                                               std::uint8_t* data, std::uint32_t dataLength) {
  dataLength = std::min(dataLength, dac960_controller_command::kMaxData);
  if (GetDataBuffer(1) == nullptr) return kNoMemory;
  const std::uint32_t length = dac960_controller_command::Fill(TransferBuffer(), opcode, parameter1, parameter2, data, dataLength);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, TransferBuffer(), length, DeviceHandle::kSendReceive);
  if (result != 0) return result;
  if (const std::uint16_t status = dac960_controller_command::Status(TransferBuffer()); status != 0) return status;
  if (data != nullptr && dataLength != 0) {
    std::memcpy(data, TransferBuffer() + dac960_controller_command::kDataOffset, dataLength);
  }
  return 0;
}

// ---- the maker's controller ------------------------------------------------------

QzvAdapter::QzvAdapter(const AdapterSetup& setup, std::uint32_t controllerNumber)
    : ControllerAdapter(setup, kSrbFormat), controllerNumber_(controllerNumber) {}

void QzvAdapter::DeviceName(char* name) { FormatControllerDeviceName(name, controllerNumber_); }

std::uint32_t QzvAdapter::Send(const CommandRequest& command) {
  using namespace scsi_request_block;
  Fill(TransferBuffer(), command);
  const std::uint32_t result = deviceHandle.Control(kIoctlQzvExecuteSrb, TransferBuffer(), kBlockSize, kBlockSize);
  return result != 0 ? result : Result(TransferBuffer());
}

}  // namespace lumbrel
