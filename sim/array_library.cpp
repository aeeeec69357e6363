#include "sim/array_library.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "sim/array_library_layouts.h"
#include "sim/platform_call.h"
#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

namespace record = layout::container_record;
namespace info = layout::general_information;
using layout::Store;

constexpr std::uint32_t kStatusSuccess = 1;
constexpr std::uint32_t kEnumerateNext = 1;  // the one walk mode the library knows
constexpr std::string_view kDevicePrefix = "\\\\.\\QZV";

// The number n of "\\.\QZVn", if that is what `name` is.
std::optional<std::uint32_t> ControllerIndex(std::string_view name) {
  if (!StartsWithIgnoreCase(name, kDevicePrefix) || name.size() == kDevicePrefix.size()) return std::nullopt;
  std::uint32_t n = 0;
  for (const char c : name.substr(kDevicePrefix.size())) {
    if (c < '0' || c > '9' || n > 100000) return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return n;
}

// One container as the library writes it: the record with room for 32
// members, or for all of them when there are more, cut to the buffer.
std::vector<std::uint8_t> ContainerRecord(const ContainerConfig& container) {
  const std::size_t members = std::max<std::size_t>(container.members.size(), record::kRoomedMembers);
  std::vector<std::uint8_t> bytes(record::kMembers + members * record::kMemberStride, 0);
  std::uint8_t* p = bytes.data();
  Store(p, record::kNumber, container.number);
  Store(p, record::kType, container.type);
  Store(p, record::kState, container.state);
  Store(p, record::kHidden, container.skipped ? 1 : 0);
  Store(p, record::kValid, 1);
  StoreLe64(p + record::kSizeBytes, container.sizeBytes);
  Store(p, record::kQualifierA, container.qualifierA);
  Store(p, record::kQualifierB, container.qualifierB);
  Store(p, record::kMemberCount, container.memberCount.value_or(static_cast<std::uint32_t>(container.members.size())));
  for (std::size_t m = 0; m < container.members.size(); ++m) {
    std::uint8_t* member = p + record::kMembers + m * record::kMemberStride;
    Store(member, record::kMemberBus, container.members[m].first);
    Store(member, record::kMemberTarget, container.members[m].second);
  }
  return bytes;
}

template <typename Function>
FARPROC AsProc(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

std::uint32_t DerivedConfigurationId(const std::vector<ContainerConfig>& containers) {
  // FNV-1a over every field the library reports.
  std::uint32_t hash = 2166136261u;
  const auto mix = [&](std::uint64_t value) {
    for (int i = 0; i < 8; ++i) hash = (hash ^ static_cast<std::uint8_t>(value >> (8 * i))) * 16777619u;
  };
  for (const ContainerConfig& c : containers) {
    for (const std::uint64_t value : {std::uint64_t{c.number}, std::uint64_t{c.type}, std::uint64_t{c.state},
                                      c.sizeBytes, std::uint64_t{c.qualifierA}, std::uint64_t{c.qualifierB},
                                      std::uint64_t{c.skipped}, std::uint64_t{c.members.size()}}) {
      mix(value);
    }
    for (const auto& [bus, target] : c.members) mix((bus << 8) | target);
  }
  mix(containers.size());
  return hash == 0 ? 1 : hash;
}

void SimArrayLibrary::AddController(std::uint32_t index, std::uint32_t port, std::vector<ContainerConfig> containers,
                                    std::optional<std::uint32_t> configurationId) {
  controllers_[index] = Controller{port, std::move(containers), configurationId};
}

std::vector<ContainerConfig>* SimArrayLibrary::Containers(std::uint32_t index) {
  const auto it = controllers_.find(index);
  return it == controllers_.end() ? nullptr : &it->second.containers;
}

std::optional<std::uint32_t> SimArrayLibrary::PortOf(std::uint32_t index) const {
  const auto it = controllers_.find(index);
  if (it == controllers_.end()) return std::nullopt;
  return it->second.port;
}

HMODULE SimArrayLibrary::Load(std::string_view name) {
  if (!config.installed || !EqualsIgnoreCase(name, SimArrayLibrary::kName)) return nullptr;
  ++references_;
  ++loads_;
  return kModule;
}

bool SimArrayLibrary::Free(HMODULE module) {
  if (module != kModule || references_ == 0) return false;
  --references_;
  return true;
}

SimArrayLibrary::Controller* SimArrayLibrary::Opened(std::uint32_t handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return nullptr;
  const auto controller = controllers_.find(it->second);
  return controller == controllers_.end() ? nullptr : &controller->second;
}

std::uint32_t SimArrayLibrary::OpenAdapter(std::string_view name, std::uint32_t* handle) {
  if (config.openStatus != kStatusSuccess) return config.openStatus;
  const auto index = ControllerIndex(name);
  if (handle == nullptr || !index || controllers_.count(*index) == 0) return kStatusInvalid;
  *handle = nextHandle_;
  nextHandle_ += 4;
  open_[*handle] = *index;
  return kStatusSuccess;
}

std::uint32_t SimArrayLibrary::CloseAdapter(std::uint32_t handle) {
  return open_.erase(handle) != 0 ? kStatusSuccess : kStatusInvalid;
}

std::uint32_t SimArrayLibrary::GeneralInformation(std::uint32_t handle, std::uint8_t* information) {
  if (Opened(handle) == nullptr || information == nullptr) return kStatusInvalid;
  std::memset(information, 0, info::kSize);
  if (config.generalInformation) {
    std::memcpy(information, config.generalInformation->data(),
                std::min<std::size_t>(config.generalInformation->size(), info::kSize));
  } else {
    Store(information, info::kMajor, 3);
    Store(information, info::kMinor, 1);
    Store(information, info::kBuild, 25);
    Store(information, info::kSuffix, 4);
  }
  return config.infoStatus;
}

std::uint32_t SimArrayLibrary::ContainerList(std::uint32_t handle, std::uint32_t* configurationId,
                                             std::uint32_t* count) {
  const Controller* controller = Opened(handle);
  if (controller == nullptr || configurationId == nullptr || count == nullptr) return kStatusInvalid;
  if (config.listStatus != kStatusSuccess) return config.listStatus;
  *configurationId = controller->configurationId.value_or(
      config.configurationId.value_or(DerivedConfigurationId(controller->containers)));
  *count = config.containerCount.value_or(static_cast<std::uint32_t>(controller->containers.size()));
  return kStatusSuccess;
}

std::uint32_t SimArrayLibrary::ContainerInfo(std::uint32_t handle, std::uint32_t mode, const std::uint8_t* previous,
                                             std::uint8_t* buffer, std::uint32_t size,
                                             std::optional<std::uint32_t>* number) {
  const Controller* controller = Opened(handle);
  if (controller == nullptr || mode != kEnumerateNext || buffer == nullptr) return kStatusInvalid;
  const auto& containers = controller->containers;
  std::size_t next = 0;
  if (previous != nullptr) {
    const std::uint8_t last = previous[record::kNumber.offset];
    const auto it = std::find_if(containers.begin(), containers.end(),
                                 [&](const ContainerConfig& c) { return static_cast<std::uint8_t>(c.number) == last; });
    if (it == containers.end()) return kStatusInvalid;
    next = static_cast<std::size_t>(it - containers.begin()) + 1;
  }
  if (next >= containers.size()) return kStatusNoMoreContainers;
  const std::vector<std::uint8_t> bytes =
      containers[next].record ? *containers[next].record : ContainerRecord(containers[next]);
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), size), buffer);  // a given record may be empty
  *number = containers[next].number;
  return kStatusSuccess;
}

}  // namespace lumbrel::sim

// The entry points, with the types the library under test calls them by.
// External C names: the Windows build exports them, and its AfaApi.dll
// stand-in forwards to them.
using lumbrel::sim::PlatformCall;
using lumbrel::sim::SimArrayLibrary;

extern "C" {

std::uint32_t WINAPI FsaOpenAdapterA(const char* deviceName, std::uint32_t a2, std::uint32_t a3, std::uint32_t a4,
                                     std::uint32_t* handle, std::uint32_t a6) {
  PlatformCall call("FsaOpenAdapterA");
  const std::string name = deviceName != nullptr ? deviceName : "";
  call.trace().Set("name", name).Set("arguments", nlohmann::ordered_json::array({a2, a3, a4, a6}));
  const std::uint32_t status = call.machine().arrayLibrary().OpenAdapter(name, handle);
  if (status == 1) call.trace().Set("handle", *handle);
  return call.Finish(status);
}

std::uint32_t WINAPI FsaCloseAdapter(std::uint32_t handle) {
  PlatformCall call("FsaCloseAdapter");
  call.trace().Set("handle", handle);
  return call.Finish(call.machine().arrayLibrary().CloseAdapter(handle));
}

std::uint32_t WINAPI FsaGetGeneralInformation(std::uint32_t handle, std::uint8_t* information) {
  PlatformCall call("FsaGetGeneralInformation");
  call.trace().Set("handle", handle);
  return call.Finish(call.machine().arrayLibrary().GeneralInformation(handle, information));
}

std::uint32_t WINAPI FsaGetSmartDeviceInfo() {
  PlatformCall call("FsaGetSmartDeviceInfo");
  return call.Finish(SimArrayLibrary::kStatusInvalid);
}

std::uint32_t WINAPI FsaGetContainerList(std::uint32_t handle, std::uint32_t* configurationId,
                                         std::uint32_t bufferSize, std::uint32_t* count, std::uint8_t*) {
  PlatformCall call("FsaGetContainerList");
  call.trace().Set("handle", handle).Set("bufferSize", bufferSize);
  const std::uint32_t status = call.machine().arrayLibrary().ContainerList(handle, configurationId, count);
  if (status == 1) call.trace().Set("configurationId", *configurationId).Set("count", *count);
  return call.Finish(status);
}

std::uint32_t WINAPI FsaGetContainerInfo(std::uint32_t handle, std::uint32_t mode, const std::uint8_t* previous,
                                         std::uint8_t* buffer, std::uint32_t bufferSize) {
  PlatformCall call("FsaGetContainerInfo");
  call.trace().Set("handle", handle).Set("mode", mode).Set("bufferSize", bufferSize);
  if (previous != nullptr) call.trace().Set("previous", previous[0]);
  std::optional<std::uint32_t> number;
  const std::uint32_t status =
      call.machine().arrayLibrary().ContainerInfo(handle, mode, previous, buffer, bufferSize, &number);
  if (number) call.trace().Set("container", *number);
  return call.Finish(status);
}

}  // extern "C"

namespace lumbrel::sim {

FARPROC SimArrayLibrary::Resolve(HMODULE module, std::string_view name) const {
  if (module != kModule || references_ == 0) return nullptr;
  for (const std::string& missing : config.missingEntryPoints) {
    if (missing == name) return nullptr;
  }
  static const std::pair<std::string_view, FARPROC> kEntryPoints[] = {
      {"FsaOpenAdapterA", AsProc(&FsaOpenAdapterA)},         {"FsaCloseAdapter", AsProc(&FsaCloseAdapter)},
      {"FsaGetGeneralInformation", AsProc(&FsaGetGeneralInformation)}, {"FsaGetSmartDeviceInfo", AsProc(&FsaGetSmartDeviceInfo)},
      {"FsaGetContainerList", AsProc(&FsaGetContainerList)},     {"FsaGetContainerInfo", AsProc(&FsaGetContainerInfo)},
  };
  for (const auto& [entryName, address] : kEntryPoints) {
    if (entryName == name) return address;  // exported names are case-sensitive
  }
  return nullptr;
}

}  // namespace lumbrel::sim
