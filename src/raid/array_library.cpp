#include "raid/array_library.h"

#include <cstddef>
#include <initializer_list>

namespace lumbrel {

template <typename Function>
Function ArrayLibrary::Resolved(Row row) const {
  // Through void(*)(): the one function type that converts to any other
  // without a warning; the library's own table gives the real type.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entryPoints_[row].address));
}

std::uint32_t ArrayLibrary::EnsureArrayLibrary() {
  if (module_ != nullptr) return 0;
  const DWORD ticks = GetTickCount();
  // At most one load every 3 s, and none in the first 3 s after start-up.
  if (ticks - lastLoadAttempt_ < kLoadInterval) return ERROR_MOD_NOT_FOUND;

  // The library is tried only where its companion file is installed.
  constexpr UINT kPathLength = 256;
  char directory[kPathLength + 1] = {};
  const UINT length = GetSystemDirectoryA(directory, sizeof directory);
  // A system directory that cannot be had (or does not fit) hides the probe
  // file as well; like a missing file, this is no load attempt.
  if (length == 0 || length > kPathLength) return ERROR_MOD_NOT_FOUND;
  char path[kPathLength + 1];
  std::size_t at = 0;  // the directory and the file name, cut to 256 characters in all
  for (const char* part : {static_cast<const char*>(directory), array_api::kProbeFile}) {
    for (const char* c = part; *c != '\0' && at < kPathLength; ++c) path[at++] = *c;
  }
  path[at] = '\0';
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return ERROR_MOD_NOT_FOUND;
  FindClose(search);

  lastLoadAttempt_ = ticks;
  module_ = LoadLibraryA(array_api::kLibraryName);
  if (module_ == nullptr) return GetLastError();

  // Every name is tried; a missing one leaves its row empty and the library loaded.
  std::uint32_t result = 0;
  for (EntryPoint* entry = entryPoints_; entry->name != nullptr; ++entry) {
    entry->address = GetProcAddress(module_, entry->name);
    if (entry->address == nullptr) result = GetLastError();
  }
  return result;
}

std::uint32_t ArrayLibrary::ReleaseArrayLibrary() {
  if (module_ == nullptr) return 0;
  const std::uint32_t result = FreeLibrary(module_) ? 0 : GetLastError();
  module_ = nullptr;
  lastLoadAttempt_ = 0;
  for (EntryPoint* entry = entryPoints_; entry->name != nullptr; ++entry) entry->address = nullptr;
  return result;
}

std::uint32_t ArrayLibrary::ArrayOpenAdapter(const char* name, std::uint32_t a2, std::uint32_t a3, std::uint32_t a4,
                                             std::uint32_t* handle, std::uint32_t a6) {
  const std::uint32_t loaded = EnsureArrayLibrary();
  const auto function = Resolved<array_api::OpenAdapter>(kOpenAdapter);
  return function != nullptr ? function(name, a2, a3, a4, handle, a6) : loaded;
}

std::uint32_t ArrayLibrary::ArrayCloseAdapter(std::uint32_t handle) {
  const std::uint32_t loaded = EnsureArrayLibrary();
  const auto function = Resolved<array_api::CloseAdapter>(kCloseAdapter);
  const std::uint32_t result = function != nullptr ? function(handle) : loaded;
  ReleaseArrayLibrary();  // after every use, whatever the close answered
  return result;
}

std::uint32_t ArrayLibrary::ArrayGetGeneralInformation(std::uint32_t handle, std::uint8_t* information) {
  const std::uint32_t loaded = EnsureArrayLibrary();
  const auto function = Resolved<array_api::GetGeneralInformation>(kGetGeneralInformation);
  return function != nullptr ? function(handle, information) : loaded;
}

std::uint32_t ArrayLibrary::ArrayGetContainerList(std::uint32_t handle, std::uint32_t* configurationId,
                                                  std::uint32_t bufferSize, std::uint32_t* count,
                                                  std::uint8_t* buffer) {
  const std::uint32_t loaded = EnsureArrayLibrary();
  const auto function = Resolved<array_api::GetContainerList>(kGetContainerList);
  return function != nullptr ? function(handle, configurationId, bufferSize, count, buffer) : loaded;
}

std::uint32_t ArrayLibrary::ArrayGetContainerInfo(std::uint32_t handle, std::uint32_t mode,
                                                  const std::uint8_t* previous, std::uint8_t* buffer,
                                                  std::uint32_t bufferSize) {
  const std::uint32_t loaded = EnsureArrayLibrary();
  const auto function = Resolved<array_api::GetContainerInfo>(kGetContainerInfo);
  return function != nullptr ? function(handle, mode, previous, buffer, bufferSize) : loaded;
}

}  // namespace lumbrel
