#include "scsi/scsi_adapter.h"

#include <algorithm>
#include <cstring>

#include "platform/runtime.h"
#include "result_codes.h"
#include "scsi/scsi_pass_through.h"

namespace lumbrel {
namespace {

// Where the base class finds sense data: the sense area of the
// SCSI_REQUEST_BLOCK layout, with its length taken from byte 20.
constexpr std::uint32_t kBaseSenseOffset = 64;
constexpr Field kBaseSenseLength{20, 1};

// The context bound on this thread, and the adapter it is bound to.
thread_local const ScsiAdapter* t_boundAdapter = nullptr;
thread_local CommandContext* t_boundContext = nullptr;

}  // namespace

CommandContext::~CommandContext() {
  targetDevice.Close();
  platform::ReleaseMemory(transferBuffer);
}

ContextBinding::ContextBinding(ScsiAdapter& adapter, CommandContext& context)
    : previousAdapter_(t_boundAdapter), previousContext_(t_boundContext) {
  t_boundAdapter = &adapter;
  t_boundContext = &context;
}

ContextBinding::~ContextBinding() {
  t_boundAdapter = previousAdapter_;
  t_boundContext = previousContext_;
}

std::uint8_t*& ScsiAdapter::TransferBuffer() {
  return t_boundAdapter == this ? t_boundContext->transferBuffer : transferBuffer;
}

DeviceHandle& ScsiAdapter::TargetDevice() { return t_boundAdapter == this ? t_boundContext->targetDevice : deviceHandle; }

std::uint16_t ScsiAdapter::PresentTargets(std::uint32_t bus) {
  if (bus >= busCount || bus >= kMaxBuses || buses[bus] == nullptr) return 0;
  platform::Locked locked(busLock_);
  return buses[bus]->presentTargets;
}

void* LibraryAllocated::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return platform::AllocateMemory(size);
}

void LibraryAllocated::operator delete(void* block) noexcept { platform::ReleaseMemory(block); }

void LibraryAllocated::operator delete(void* block, const std::nothrow_t&) noexcept {
  platform::ReleaseMemory(block);
}

std::uint32_t ScsiBus::ScanBus(std::uint16_t* newTargets) {
  std::uint16_t found = 0;
  std::uint32_t units = 0;
  std::uint32_t result = 0;
  for (std::uint32_t target = 0; target < adapter->targetCount && target < ScsiAdapter::kTargetCount; ++target) {
    if (target == adapter->initiatorId) continue;
    result = adapter->InquireTarget(busNumber, target);
    if (result == kBadBusOrClosedHandle) break;
    if (result != 0) continue;
    const std::uint8_t* data = adapter->GetDataBuffer(0);
    if (data == nullptr || (data[0] & kDeviceTypeMask) != kDirectAccessDevice) continue;
    const auto bit = static_cast<std::uint16_t>(1u << target);
    if ((found & bit) == 0) ++units;
    found |= bit;
  }
  // The records change at once, under the lock that a job reading the
  // masks takes; an aborted scan leaves what it found so far.
  platform::Locked locked(adapter->busLock_);
  previousTargets = presentTargets;
  presentTargets = found;
  unitCount = units;
  if (result == kBadBusOrClosedHandle) return result;
  if (newTargets != nullptr) *newTargets = static_cast<std::uint16_t>(presentTargets & ~previousTargets);
  return 0;
}

ScsiAdapter::ScsiAdapter(const AdapterSetup& setup)
    : adapterNumber(setup.adapterNumber),
      bufferSize(setup.bufferSize <= kBufferSizeUnit
                     ? kBufferSizeUnit
                     : (setup.bufferSize + kBufferSizeUnit - 1) / kBufferSizeUnit * kBufferSizeUnit),
      inPortTable(setup.port != nullptr) {
  std::uint32_t portBuses = 0;
  if (setup.port != nullptr) {
    classCode = setup.port->classCode;
    portBuses = setup.port->busCount;
  }
  // The port table keeps at most 8 buses per port; the cap here keeps the
  // records inside the table whatever a port entry says.
  if (portBuses > kMaxBuses) portBuses = kMaxBuses;
  for (std::uint32_t bus = 0; bus < portBuses; ++bus) {
    ScsiBus* record = new (std::nothrow) ScsiBus(this, bus);
    if (record == nullptr) break;
    buses[bus] = record;
    busCount = bus + 1;
  }
}

ScsiAdapter::~ScsiAdapter() { Release(); }

void ScsiAdapter::Release() {
  deviceHandle.Close();
  platform::ReleaseMemory(transferBuffer);
  transferBuffer = nullptr;
  for (std::uint32_t bus = 0; bus < busCount && bus < kMaxBuses; ++bus) {
    delete buses[bus];
    buses[bus] = nullptr;
  }
}

std::uint32_t ScsiAdapter::Open() { return kNotSupported; }

std::uint32_t ScsiAdapter::Close() { return kNotSupported; }

std::uint32_t ScsiAdapter::BeginTarget(std::uint32_t bus, std::uint32_t target) { return InquireTarget(bus, target); }

std::uint32_t ScsiAdapter::EndTarget() { return 0; }

std::uint8_t* ScsiAdapter::GetDataBuffer(std::uint32_t allocate) {
  return DataArea(allocate, scsi_pass_through::kDataOffset);
}

std::uint32_t ScsiAdapter::GetSenseData(SenseView* out) {
  if (TransferBuffer() == nullptr) return 0;
  if (out != nullptr) *out = SenseView{TransferBuffer() + kBaseSenseOffset, Get8(TransferBuffer(), kBaseSenseLength)};
  return 1;
}

std::uint32_t ScsiAdapter::ExecuteIn(std::uint8_t, std::uint8_t, const std::uint8_t*, std::uint32_t) {
  return kNotSupported;
}

std::uint32_t ScsiAdapter::ExecuteOut(std::uint8_t, std::uint8_t, const std::uint8_t*, std::uint32_t) {
  return kNotSupported;
}

std::uint32_t ScsiAdapter::TransferBufferSize() const { return maxTransfer + kTransferBufferExtra; }

std::uint8_t* ScsiAdapter::DataArea(std::uint32_t allocate, std::uint32_t dataOffset) {
  std::uint8_t*& buffer = TransferBuffer();
  if (allocate != 0 && buffer == nullptr) {
    buffer = static_cast<std::uint8_t*>(platform::AllocateMemory(TransferBufferSize()));
    // Cleared once, so that no stale heap bytes ever reach a driver; each
    // command clears only its own request block afterwards.
    if (buffer != nullptr) std::memset(buffer, 0, TransferBufferSize());
  }
  return buffer != nullptr ? buffer + dataOffset : nullptr;
}

std::uint8_t* ScsiAdapter::BufferFor(bool dataIn, std::uint32_t dataOffset) {
  return DataArea(dataIn ? 1 : 0, dataOffset) != nullptr ? TransferBuffer() : nullptr;
}

std::uint32_t ScsiAdapter::ExecuteInCleared(std::uint32_t bus, std::uint32_t target, const Cdb& command) {
  if (std::uint8_t* data = GetDataBuffer(1)) std::memset(data, 0, std::min(CdbTransferLength(command), maxTransfer));
  return ExecuteIn(bus, target, command);
}

std::uint32_t ScsiAdapter::InquireTarget(std::uint32_t bus, std::uint32_t target) {
  return ExecuteInCleared(bus, target, cdb::Inquiry());
}

std::uint32_t ScsiAdapter::RescanUnits(std::uint32_t* anyNew) {
  if (anyNew != nullptr) *anyNew = 0;
  for (std::uint32_t bus = 0; bus < busCount && bus < kMaxBuses; ++bus) {
    if (buses[bus] == nullptr) continue;
    std::uint16_t newTargets = 0;
    const std::uint32_t result = buses[bus]->ScanBus(&newTargets);
    if (result != 0) return result;
    if (anyNew != nullptr && newTargets != 0) *anyNew = 1;
  }
  return 0;
}

std::uint32_t CheckCommand(const ScsiAdapter& adapter, std::uint32_t cdbLength, std::uint32_t maxCdbLength,
                           std::uint32_t dataLength) {
  // Callers keep within these limits; a command outside them would make a
  // driver read or write past the transfer buffer, so it is refused here.
  if (cdbLength == 0 || cdbLength > maxCdbLength || dataLength > adapter.maxTransfer) return kInvalidParameter;
  return 0;
}

}  // namespace lumbrel
