#include "raid/qzv_config.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "discovery/driver_table.h"
#include "raid/container_record.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

namespace record = container_record;

// Container type -> RAID level.
constexpr std::uint32_t kNoLevel = kRaidLevelNone;
constexpr std::uint32_t ContainerTypeTable[] = {
    kNoLevel, 1, 0, kNoLevel, 5, kNoLevel, kNoLevel, 5, 5, 4, 4, 3, 3,
    1, 0, 1, kNoLevel, 0, 3, 5, kNoLevel, kNoLevel, kNoLevel, 1, 1, 1};
static_assert(std::size(ContainerTypeTable) == 26);

// Container state code -> array status.
constexpr std::uint32_t ContainerStateTable[] = {0, 5, 4, 5, 3, 6};
static_assert(std::size(ContainerStateTable) == 6);

// Version suffix index -> text.
constexpr const char* VersionSuffixTable[] = {"", " INT", " ALP", " BET", " REL", ""};
static_assert(std::size(VersionSuffixTable) == 6);

// Types 5 and 6 are containers the host does not see as logical drives.
constexpr std::uint32_t kHiddenTypeA = 5;
constexpr std::uint32_t kHiddenTypeB = 6;
constexpr std::uint8_t kContainerBus = 5;  // the bus the controller presents containers on

// The arguments the library expects for an open, and the mode that walks
// the containers one after another.
constexpr std::uint32_t kOpenAccess = 3951;
constexpr std::uint32_t kEnumerateNext = 1;

bool IsSkipped(ByteView view) {
  const std::uint32_t type = view.Le32(record::kType.offset);
  return view.Le32(record::kHidden.offset) != 0 || view.Le32(record::kValid.offset) == 0 || type == kHiddenTypeA ||
         type == kHiddenTypeB;
}

}  // namespace

std::uint32_t ContainerRaidLevel(std::uint32_t type) {
  return type < std::size(ContainerTypeTable) ? ContainerTypeTable[type] : kRaidLevelNone;
}

std::uint32_t MapContainerStatus(ByteView view, std::uint32_t raidLevel) {
  const std::uint32_t state = view.Le32(record::kState.offset);
  const std::uint32_t status = state < std::size(ContainerStateTable) ? ContainerStateTable[state] : kArrayStatusNone;
  if (raidLevel != 5) return status;
  const bool qualifierA = view.Le32(record::kQualifierA.offset) != 0;
  const bool qualifierB = view.Le32(record::kQualifierB.offset) != 0;
  if (status == 0) return qualifierA ? 4 : 3;
  if (status == 3) return (!qualifierB || qualifierA) ? 4 : 3;
  return status;
}

QzvConfig::QzvConfig(PortTable& ports, ArrayLibrary& library)
    : RaidConfig(std::max(kRequestedBufferSize, kMinimumBufferSize)), ports_(ports), library_(library) {}

std::uint32_t QzvConfig::Refresh() {
  std::uint32_t now = 0;
  if (RefreshedRecently(&now)) return 0;
  if (adapter == nullptr) return kNotSupported;  // refreshed only once attached

  char name[24];
  std::snprintf(name, sizeof name, "\\\\.\\QZV%u",
                static_cast<unsigned>(ports_.CountPortsOfClassBelow(AdapterClassQzv, adapter->adapterNumber)));
  std::uint32_t handle = 0;
  std::uint32_t status = library_.ArrayOpenAdapter(name, 0, kOpenAccess, 0, &handle, 0);
  if (status == array_api::kStatusSuccess) status = ReadContainers(handle, now);
  if (status == array_api::kStatusSuccess) status = 0;
  // The close also releases the library; an open that gave no handle is not closed.
  if (handle != 0) library_.ArrayCloseAdapter(handle);
  return status;
}

std::uint32_t QzvConfig::ReadContainers(std::uint32_t handle, std::uint32_t now) {
  if (EnsureBuffer() != 0) return kNoMemory;
  if (firmwareVersion[0] == '\0') ReadVersion(handle);

  std::uint32_t id = 0;
  std::uint32_t count = 0;
  std::uint32_t status = library_.ArrayGetContainerList(handle, &id, bufferSize, &count, buffer);
  if (status != array_api::kStatusSuccess) return status;
  if (id == configurationId) return status;  // nothing changed; lastRefresh stays, so the next call asks again

  count = std::min(count, kMaxContainers);
  if (SetLogicalDriveCount(count) != 0) return kNoMemory;
  const ByteView view(buffer, bufferSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    status = library_.ArrayGetContainerInfo(handle, kEnumerateNext, i == 0 ? nullptr : buffer, buffer, bufferSize);
    // Status 4 ends the walk early, yet the refresh is committed; the 4
    // still reaches the caller, who treats it as a failure.
    if (status == array_api::kStatusNoMoreContainers) break;
    if (status != array_api::kStatusSuccess) return status;
    if (!IsSkipped(view)) FillRecord(i, view);  // a skipped container keeps its initialised record
  }
  lastRefresh = now;
  configurationId = id;
  return status;
}

void QzvConfig::ReadVersion(std::uint32_t handle) {
  namespace info = general_information;
  std::uint8_t block[info::kSize] = {};
  library_.ArrayGetGeneralInformation(handle, block);  // its status is not examined
  const ByteView view(block, sizeof block);
  const std::uint8_t suffix = view.U8(info::kSuffix.offset);
  std::snprintf(firmwareVersion, sizeof firmwareVersion, "%u.%u-%u%s", view.U8(info::kMajor.offset),
                view.U8(info::kMinor.offset), view.U8(info::kBuild.offset),
                suffix < std::size(VersionSuffixTable) ? VersionSuffixTable[suffix] : "");
}

void QzvConfig::FillRecord(std::uint32_t index, ByteView view) {
  LogicalDrive& drive = logicalDrives[index];
  drive.raidLevel = ContainerRaidLevel(view.Le32(record::kType.offset));
  drive.status = MapContainerStatus(view, drive.raidLevel);
  drive.capacity = static_cast<std::uint32_t>(view.Le64(record::kSizeBytes.offset) >> 9);
  const auto port = static_cast<std::uint8_t>(adapter->adapterNumber);
  drive.address = DriveAddress{view.U8(record::kNumber.offset), kContainerBus, port};
  // Only the members that lie inside the buffer are read; once the record
  // is full, every further member would be dropped anyway.
  const std::uint32_t members =
      view.Fit(view.Le32(record::kMemberCount.offset), record::kMembers.offset, record::kMemberStride);
  for (std::uint32_t m = 0; m < members; ++m) {
    const ByteView member = view.Sub(record::kMembers.offset + m * record::kMemberStride, record::kMemberStride);
    const DriveAddress address{member.U8(record::member::kTarget.offset), member.U8(record::member::kBus.offset), port};
    if (AddMember(index, address) == 0) break;
  }
}

}  // namespace lumbrel
