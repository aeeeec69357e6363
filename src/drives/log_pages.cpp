#include "drives/log_pages.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

constexpr std::uint8_t kSupportedPagesPage = 0x00;
constexpr std::uint16_t kReplyLength = log_parameter::kSize;

// The supported-pages reply: a 4-byte header, then one page code a byte,
// the first of them page 0x00 itself.
constexpr std::uint32_t kPageListStart = 5;

bool ListsStoragePage(const std::uint8_t* reply) {
  const std::uint32_t pageLength = LoadBe16(reply + log_parameter::kPageLength.offset);
  if (pageLength + 4 <= kPageListStart) return false;
  // The drive's page length is not trusted past the bytes it was asked for.
  const std::uint32_t end = std::min<std::uint32_t>(pageLength + 4, kReplyLength);
  return std::find(reply + kPageListStart, reply + end, kStoragePage) != reply + end;
}

}  // namespace

std::uint32_t CheckLogPageSupport(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                                  std::uint32_t target) {
  DriveIdentity identity;
  const std::uint32_t identified = identifier.IdentifyDrive(adapter, bus, target, &identity);
  if (identified != 0 && identified != kOperationRefused) return identified;
  if ((identity.capabilities & capability::kLogPage32) != 0) return 0;
  if ((identity.capabilities & capability::kNoLogPage32) != 0) return kNoLogPage;
  const Cdb supportedPages = cdb::LogSense(kCumulativeValues, kSupportedPagesPage, 0, kReplyLength);
  if (const std::uint32_t result = adapter.ExecuteInCleared(bus, target, supportedPages); result != 0) return result;
  const std::uint8_t* reply = adapter.GetDataBuffer(0);
  if (reply == nullptr) return kNoMemory;
  return ListsStoragePage(reply) ? 0 : kNoLogPage;
}

std::uint32_t ReadLogPage(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                          std::uint32_t target, std::uint8_t* buffer, std::uint32_t size) {
  if (const std::uint32_t result = CheckLogPageSupport(adapter, identifier, bus, target); result != 0) return result;
  std::uint8_t staging[kLogPageDataSize];
  for (std::uint32_t k = 0; k < kLogParameterCount; ++k) {
    const Cdb read = cdb::LogSense(kCumulativeValues, kStoragePage, static_cast<std::uint16_t>(k), kReplyLength);
    if (const std::uint32_t result = adapter.ExecuteInCleared(bus, target, read); result != 0) return result;
    const std::uint8_t* reply = adapter.GetDataBuffer(0);
    if (reply == nullptr) return kNoMemory;
    std::memcpy(staging + kLogParameterSize * k, reply + log_parameter::kData.offset, kLogParameterSize);
  }
  if (buffer != nullptr) std::memcpy(buffer, staging, std::min(size, kLogPageDataSize));
  return 0;
}

std::uint32_t WriteLogPage(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                           std::uint32_t target, const std::uint8_t* data, std::uint32_t length, std::uint32_t mode) {
  using namespace log_parameter;
  if (mode == LogWriteNothing) return kNoLogPage;
  if (mode != LogWriteChecked && mode != LogWriteUnchecked) return kInvalidParameter;
  if (mode == LogWriteChecked) {
    if (const std::uint32_t result = CheckLogPageSupport(adapter, identifier, bus, target); result != 0) return result;
  }
  std::uint8_t* list = adapter.GetDataBuffer(1);
  if (list == nullptr) return kNoMemory;
  for (std::uint32_t k = 0; k < kLogParameterCount; ++k) {
    std::memset(list, 0, kSize);
    Put8(list, kPageCode, kStoragePage);
    StoreBe16(list + kPageLength.offset, kPageLengthValue);
    StoreBe16(list + kParameterCode.offset, static_cast<std::uint16_t>(k));
    Put8(list, kControl, kControlValue);
    Put8(list, kParameterLength, static_cast<std::uint8_t>(kLogParameterSize));
    const std::uint32_t from = kLogParameterSize * k;
    if (data != nullptr && length > from) {
      std::memcpy(list + kData.offset, data + from, std::min(kLogParameterSize, length - from));
    }
    const Cdb write = cdb::LogSelect(true, kCumulativeValues, kSize);
    if (const std::uint32_t result = adapter.ExecuteOut(bus, target, write); result != 0) return result;
  }
  return 0;
}

}  // namespace lumbrel
