#include "reports/disk_config_report.h"

#include <cstring>

#include "result_codes.h"
#include "scsi/drive_address.h"

namespace lumbrel {
namespace {

// Where the serial number lies in the INQUIRY data, by vendor.
struct SerialField {
  std::uint32_t offset;
  std::uint32_t length;
};

SerialField SerialFieldOf(std::uint32_t vendorNumber) {
  switch (vendorNumber) {
    case VendorSeagate: return {36, 8};
    case VendorIbm: return {36, 10};
    default: return {44, 12};
  }
}

inline constexpr std::uint32_t kVendorProductOffset = 8;
inline constexpr std::uint32_t kVendorProductLength = 24;
inline constexpr std::uint32_t kRevisionCodeRoom = sizeof(DiskConfigRecord::revisionCode) - 1;
static_assert(sizeof(kDiskDescription) <= sizeof(DiskConfigRecord::description));
static_assert(kVendorProductLength < sizeof(DiskConfigRecord::vendorProduct));
static_assert(44 + 12 <= kInquiryViewSize, "the serial numbers lie inside every data area");

}  // namespace

std::uint32_t FillDriveIdentity(const DriveIdentifier& identifier, ScsiAdapter& adapter, std::uint32_t bus,
                                std::uint32_t target, const DriveIdentityTexts& out) {
  DriveIdentity identity;
  const std::uint32_t identified = identifier.IdentifyDrive(adapter, bus, target, &identity);
  if (identified != 0 && identified != kOperationRefused) return identified;
  const std::uint8_t* inquiry = adapter.GetDataBuffer(0);
  if (inquiry == nullptr) return kNoMemory;  // the INQUIRY just read into it: cannot happen

  const std::uint32_t vendorNumber = (inquiry[0] & 0x1F) != 0 ? kVendorNotDirectAccess : identity.vendorNumber;
  if (out.vendorNumber != nullptr) *out.vendorNumber = vendorNumber;
  if (out.revisionCode != nullptr) {
    // Revision codes are four characters; a longer one is cut to the field.
    const char* code = identity.revisionCode != nullptr ? identity.revisionCode : "";
    const std::size_t length = strnlen(code, kRevisionCodeRoom);
    std::memcpy(out.revisionCode, code, length);
    out.revisionCode[length] = '\0';
  }
  if (out.description != nullptr) std::memcpy(out.description, kDiskDescription, sizeof kDiskDescription);
  if (out.serialNumber != nullptr) {
    const SerialField field = SerialFieldOf(vendorNumber);
    std::memcpy(out.serialNumber, inquiry + field.offset, field.length);
    out.serialNumber[field.length] = '\0';
  }
  if (out.vendorProduct != nullptr) {
    std::memcpy(out.vendorProduct, inquiry + kVendorProductOffset, kVendorProductLength);
    out.vendorProduct[kVendorProductLength] = '\0';
  }
  return 0;
}

bool DiskConfigReport::FillRecord(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target,
                                  DiskConfigRecord& record) {
  const DriveAddress address{static_cast<std::uint8_t>(target), static_cast<std::uint8_t>(bus),
                             static_cast<std::uint8_t>(adapter.adapterNumber)};
  record.adapterNumber = adapter.adapterNumber;
  record.bus = bus;
  record.target = target;
  record.driveLetters = letters_.GetDriveLetterMask(address);
  std::uint32_t level = kRaidLevelNone;
  record.raidLevel = raidConfigs_.FindRaidLevel(address, &level) == 0 ? static_cast<std::uint8_t>(level)
                                                                       : kRaidLevelNoArray;
  const DriveIdentityTexts texts{record.revisionCode, &record.vendorNumber, record.description,
                                 record.serialNumber, record.vendorProduct};
  return FillDriveIdentity(identifier_, adapter, bus, target, texts) == 0;
}

std::uint32_t DiskConfigReport::GetAllDiskConfigInfo(DiskConfigRecord* records, std::uint32_t capacity) {
  if (capacity == 0 || records == nullptr) return 0;
  std::memset(records, 0, static_cast<std::size_t>(capacity) * sizeof(DiskConfigRecord));
  std::uint32_t count = 0;
  for (std::uint32_t index = 0; index < adapters_.GetAdapterCount(); ++index) {
    ScsiAdapter* adapter = adapters_.GetAdapter(index);
    if (adapter == nullptr) continue;
    const bool wasOpen = adapter->deviceHandle.IsOpen();
    if (!wasOpen && adapter->Open() != 0) continue;  // an adapter that cannot be opened is left as it is
    for (std::uint32_t bus = 0; bus < adapter->busCount; ++bus) {
      const std::uint16_t present = adapter->PresentTargets(bus);
      for (std::uint32_t target = 0; target < ScsiAdapter::kTargetCount && count < capacity; ++target) {
        if (((present >> target) & 1) == 0) continue;
        DiskConfigRecord& record = records[count];
        if (FillRecord(*adapter, bus, target, record)) {
          ++count;
        } else {
          std::memset(&record, 0, sizeof record);  // the next drive found takes its place
        }
      }
    }
    if (!wasOpen) adapter->Close();
  }
  return 0;
}

}  // namespace lumbrel
