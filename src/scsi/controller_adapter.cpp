#include "scsi/controller_adapter.h"

#include <algorithm>
#include <cstring>

#include "api/module_state.h"
#include "api/result_codes.h"
#include "scsi/cdb.h"

namespace lumbrel {

// ---- shared --------------------------------------------------------------------

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
  if (const std::uint32_t refused = CheckCommand(*this, cdbLength, MaxCdbLength(), dataLength)) return refused;
  if (BufferFor(dataIn, DataOffset()) == nullptr) return kNoMemory;
  return Send(ScsiCommand{bus, target, cdb, cdbLength, dataIn, dataLength});
}

std::uint32_t ControllerAdapter::OpenAndScan(const char* name) {
  std::uint32_t result = deviceHandle.Open(name, DeviceHandle::kReadWrite);
  if (result == 0) result = RescanUnits(nullptr);
  if (result != 0) deviceHandle.Close();
  return result;
}

// ---- MegaRAID ------------------------------------------------------------------

MegaRaidAdapter::MegaRaidAdapter(std::uint32_t number, std::uint32_t size) : ControllerAdapter(number, size) {
  targetCount = kTargetCount;
}

MegaRaidAdapter::~MegaRaidAdapter() {
  MegaRaidAdapter::Close();
  Release();
}

std::uint32_t MegaRaidAdapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameSize];
  FormatPortDeviceName(name, adapterNumber);
  return OpenAndScan(name);
}

std::uint32_t MegaRaidAdapter::Close() { return deviceHandle.Close(); }

std::uint8_t* MegaRaidAdapter::GetDataBuffer(std::uint32_t allocate) { return DataArea(allocate, DataOffset()); }

std::uint32_t MegaRaidAdapter::GetSenseData(SenseView* out) {
  if (transferBuffer == nullptr) return 0;
  if (out != nullptr) *out = MegaRaidSense(transferBuffer);
  return 1;
}

std::uint32_t MegaRaidAdapter::Send(const ScsiCommand& command) {
  const std::uint32_t length = FillMegaRaid(transferBuffer, command, maxTransfer);
  const std::uint32_t result =
      deviceHandle.Transfer(kIoctlScsiMiniport, transferBuffer, length, DeviceHandle::kSendReceive);
  return result != 0 ? result : MegaRaidResult(transferBuffer);
}

std::uint32_t MegaRaidAdapter::MaxCdbLength() const { return megaraid::kCdb.size; }

std::uint32_t MegaRaidAdapter::DataOffset() const { return megaraid::kDataOffset; }

// ---- DAC960 --------------------------------------------------------------------

Dac960Adapter::Dac960Adapter(std::uint32_t number, std::uint32_t size) : ControllerAdapter(number, size) {
  targetCount = kTargetCount;
  initiatorId = kNoInitiatorId;
  maxTransfer = std::min(maxTransfer, kMaxTransfer);
}

Dac960Adapter::~Dac960Adapter() {
  Dac960Adapter::Close();
  Release();
}

std::uint32_t Dac960Adapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameSize];
  FormatPortDeviceName(name, adapterNumber);
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

std::uint8_t* Dac960Adapter::GetDataBuffer(std::uint32_t allocate) { return DataArea(allocate, DataOffset()); }

std::uint32_t Dac960Adapter::GetSenseData(SenseView* out) {
  if (transferBuffer == nullptr) return 0;
  if (out != nullptr) *out = Dac960Sense(transferBuffer);
  return 1;
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
  if (DataArea(1, DataOffset()) == nullptr) return kNoMemory;
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

std::uint32_t Dac960Adapter::MaxCdbLength() const { return dac960::kCdb.size; }

std::uint32_t Dac960Adapter::DataOffset() const { return dac960::kDataOffset; }

// ---- the maker's controller ------------------------------------------------------

QzvAdapter::QzvAdapter(std::uint32_t number, std::uint32_t size) : ControllerAdapter(number, size) {
  targetCount = kTargetCount;
}

QzvAdapter::~QzvAdapter() {
  QzvAdapter::Close();
  Release();
}

std::uint32_t QzvAdapter::Open() {
  if (deviceHandle.IsOpen()) return 0;
  char name[kDeviceNameSize];
  FormatControllerDeviceName(name, Module().portTable.CountPortsOfClassBelow(AdapterClassQzv, adapterNumber));
  return OpenAndScan(name);
}

std::uint32_t QzvAdapter::Close() { return deviceHandle.Close(); }

std::uint8_t* QzvAdapter::GetDataBuffer(std::uint32_t allocate) { return DataArea(allocate, DataOffset()); }

std::uint32_t QzvAdapter::GetSenseData(SenseView* out) {
  if (transferBuffer == nullptr) return 0;
  if (out != nullptr) *out = SrbSense(transferBuffer);
  return 1;
}

std::uint32_t QzvAdapter::Send(const ScsiCommand& command) {
  FillSrb(transferBuffer, command);
  const std::uint32_t result =
      deviceHandle.Control(kIoctlQzvExecuteSrb, transferBuffer, srb::kBlockSize, srb::kBlockSize);
  return result != 0 ? result : SrbResult(transferBuffer);
}

std::uint32_t QzvAdapter::MaxCdbLength() const { return srb::kCdb.size; }

std::uint32_t QzvAdapter::DataOffset() const { return srb::kDataOffset; }

}  // namespace lumbrel
