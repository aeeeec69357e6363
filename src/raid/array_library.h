// The run-time binding of the array controller management library
// "AfaApi.dll", which serves the configuration of the maker's own
// controller. Nothing links against it: it is loaded on demand, its entry
// points are resolved by name, and it is released after each use.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace lumbrel {

// The entry points, as this library calls them (standard calling
// convention; an adapter handle is a 32-bit value, 0 for none). Status 1 is
// success; FsaGetContainerInfo answers 4 when no further container follows.
namespace array_api {
using OpenAdapter = std::uint32_t(WINAPI*)(const char* deviceName, std::uint32_t, std::uint32_t, std::uint32_t,
                                           std::uint32_t* handle, std::uint32_t);
using CloseAdapter = std::uint32_t(WINAPI*)(std::uint32_t handle);
using GetGeneralInformation = std::uint32_t(WINAPI*)(std::uint32_t handle, std::uint8_t* information);
using GetSmartDeviceInfo = std::uint32_t(WINAPI*)();  // resolved, never called
using GetContainerList = std::uint32_t(WINAPI*)(std::uint32_t handle, std::uint32_t* configurationId,
                                                std::uint32_t bufferSize, std::uint32_t* count, std::uint8_t* buffer);
using GetContainerInfo = std::uint32_t(WINAPI*)(std::uint32_t handle, std::uint32_t mode, const std::uint8_t* previous,
                                                std::uint8_t* buffer, std::uint32_t bufferSize);

inline constexpr std::uint32_t kStatusSuccess = 1;
inline constexpr std::uint32_t kStatusNoMoreContainers = 4;
inline constexpr std::uint32_t kGeneralInformationSize = 568;
inline constexpr const char* kLibraryName = "AfaApi.dll";
inline constexpr const char* kProbeFile = "\\AfaAppSe.dll";  // in the system directory
}  // namespace array_api

class ArrayLibrary {
 public:
  static constexpr std::uint32_t kLoadInterval = 3000;  // ms between load attempts

  ArrayLibrary() = default;
  ArrayLibrary(const ArrayLibrary&) = delete;
  ArrayLibrary& operator=(const ArrayLibrary&) = delete;

  // 0 when the library is loaded with every entry point, else a Windows error.
  std::uint32_t EnsureArrayLibrary();
  // 0, or the Windows error of the release.
  std::uint32_t ReleaseArrayLibrary();
  bool IsLoaded() const { return module_ != nullptr; }

  // The forwarding functions: the entry point's status, or the binding's
  // result when the entry point is not available.
  std::uint32_t ArrayOpenAdapter(const char* name, std::uint32_t a2, std::uint32_t a3, std::uint32_t a4,
                                 std::uint32_t* handle, std::uint32_t a6);
  // Closes, then releases the library in every case; the close's status.
  std::uint32_t ArrayCloseAdapter(std::uint32_t handle);
  std::uint32_t ArrayGetGeneralInformation(std::uint32_t handle, std::uint8_t* information);
  std::uint32_t ArrayGetContainerList(std::uint32_t handle, std::uint32_t* configurationId, std::uint32_t bufferSize,
                                      std::uint32_t* count, std::uint8_t* buffer);
  std::uint32_t ArrayGetContainerInfo(std::uint32_t handle, std::uint32_t mode, const std::uint8_t* previous,
                                      std::uint8_t* buffer, std::uint32_t bufferSize);

 private:
  // The rows of the entry-point table, in the order they are resolved.
  enum Row : std::uint32_t {
    kOpenAdapter,
    kCloseAdapter,
    kGetGeneralInformation,
    kGetSmartDeviceInfo,
    kGetContainerList,
    kGetContainerInfo,
    kRowCount
  };
  struct EntryPoint {
    const char* name;  // null ends the table
    FARPROC address;   // null while unresolved
  };

  // The entry point of `row` as its own type; null when it is not resolved.
  template <typename Function>
  Function Resolved(Row row) const;

  HMODULE module_ = nullptr;
  std::uint32_t lastLoadAttempt_ = 0;  // GetTickCount at the last load; 0 after a release
  EntryPoint entryPoints_[kRowCount + 1] = {
      {"FsaOpenAdapterA", nullptr},       {"FsaCloseAdapter", nullptr},     {"FsaGetGeneralInformation", nullptr},
      {"FsaGetSmartDeviceInfo", nullptr}, {"FsaGetContainerList", nullptr}, {"FsaGetContainerInfo", nullptr},
      {nullptr, nullptr}};
};

}  // namespace lumbrel
