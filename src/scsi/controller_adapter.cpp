#include "scsi/controller_adapter.h"

#include <algorithm>
#include <cstring>

#include "api/module_state.h"
#include "api/result_codes.h"
#include "scsi/cdb.h"

namespace lumbrel {
namespace {

// Formats C, D and B as their adapters see them.
constexpr ControllerFormat kMegaRaidFormat{megaraid::kCdb.size, megaraid::kDataOffset, MegaRaidSense};
constexpr ControllerFormat kDac960Format{dac960::kCdb.size, dac960::kDataOffset, Dac960Sense};
constexpr ControllerFormat kSrbFormat{srb::kCdb.size, srb::kDataOffset, SrbSense};

}  // namespace

// ---- shared --------------------------------------------------------------------

ControllerAdapter::ControllerAdapter(std::uint32_t number, std::uint32_t size, const ControllerFormat& format)
    : ScsiAdapter(number, size), format_(format) {
  targetCount = kTargetCount;
}

ControllerAdapter::~ControllerAdapter() {
  ControllerAdapter::Close();
  Release();
}

std::uint32_t ControllerAdapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameSize];
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
  if (transferBuffer == nullptr) return 0;
  if (out != nullptr) *out = format_.sense(transferBuffer);
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
  return Send(ScsiCommand{bus, target, cdb, cdbLength, dataIn, dataLength});
}

// ---- MegaRAID ------------------------------------------------------------------

MegaRaidAdapter::MegaRaidAdapter(std::uint32_t number, std::uint32_t size)
    : ControllerAdapter(number, size, kMegaRaidFormat) {}

void MegaRaidAdapter::DeviceName(char* name) { FormatPortDeviceName(name, adapterNumber); }

std::uint32_t MegaRaidAdapter::Send(const ScsiCommand& command) {
  const std::uint32_t length = FillMegaRaid(transferBuffer, command, maxTransfer);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, transferBuffer, length, DeviceHandle::kSendReceive);
  return result != 0 ? result : MegaRaidResult(transferBuffer);
}

// ---- DAC960 --------------------------------------------------------------------

Dac960Adapter::Dac960Adapter(std::uint32_t number, std::uint32_t size)
    : ControllerAdapter(number, size, kDac960Format) {
  initiatorId = kNoInitiatorId;
  maxTransfer = std::min(maxTransfer, kMaxTransfer);
}

Dac960Adapter::~Dac960Adapter() {
  Dac960Adapter::Close();
  Release();
}

void Dac960Adapter::DeviceName(char* name) { FormatPortDeviceName(name, adapterNumber); }

std::uint32_t Dac960Adapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameSize];
  DeviceName(name);
  std::uint32_t result = deviceHandle.Open(name, DeviceHandle::kReadWrite);
  if (result != 0) {
    deviceHandle.Close();
    return result;
  }
  std::uint32_t& openControllers = Module().openDac960Count;
  controllerOrdinal = openControllers;
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
  ++openControllers;
  return 0;
}

std::uint32_t Dac960Adapter::Close() {
  const std::uint32_t result = deviceHandle.Close();
  // adapterNumber is kept, so that the list can open the controller again.
  std::uint32_t& openControllers = Module().openDac960Count;
  if (result == 0 && controllerOrdinal != kNotNumbered && openControllers != 0) --openControllers;
  controllerOrdinal = kNotNumbered;
  return result;
}

std::uint32_t Dac960Adapter::Send(const ScsiCommand& command) {
  // An input command clears the whole buffer first, so that nothing of an
  // earlier command can be mistaken for this one's data.
  if (command.dataIn) std::memset(transferBuffer, 0, TransferBufferSize());
  const std::uint32_t length = FillDac960(transferBuffer, command);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, transferBuffer, length, DeviceHandle::kSendReceive);
  return result != 0 ? result : Dac960Result(transferBuffer);
}

std::uint32_t Dac960Adapter::ControllerCommand(std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                                               std::uint8_t* data, std::uint32_t dataLength) {
  dataLength = std::min(dataLength, dac960::command::kMaxData);
  if (GetDataBuffer(1) == nullptr) return kNoMemory;
  const std::uint32_t length = FillDac960Command(transferBuffer, opcode, parameter1, parameter2, data, dataLength);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, transferBuffer, length, DeviceHandle::kSendReceive);
  if (result != 0) return result;
  if (const std::uint16_t status = Dac960CommandStatus(transferBuffer); status != 0) return status;
  if (data != nullptr && dataLength != 0) {
    std::memcpy(data, transferBuffer + dac960::command::kDataOffset, dataLength);
  }
  return 0;
}

// ---- the maker's controller ------------------------------------------------------

QzvAdapter::QzvAdapter(std::uint32_t number, std::uint32_t size) : ControllerAdapter(number, size, kSrbFormat) {}

void QzvAdapter::DeviceName(char* name) {
  FormatControllerDeviceName(name, Module().portTable.CountPortsOfClassBelow(AdapterClassQzv, adapterNumber));
}

std::uint32_t QzvAdapter::Send(const ScsiCommand& command) {
  FillSrb(transferBuffer, command);
  const std::uint32_t result =
      deviceHandle.Control(kIoctlQzvExecuteSrb, transferBuffer, srb::kBlockSize, srb::kBlockSize);
  return result != 0 ? result : SrbResult(transferBuffer);
}

}  // namespace lumbrel
