// Registry services of the simulated platform. Unlike the kernel calls they
// return their Windows error code directly.
#include <cstring>
#include <string>

#include "platform/host/win32_subset.h"
#include "sim/platform_call.h"

using lumbrel::sim::Machine;
using lumbrel::sim::PlatformCall;
using lumbrel::sim::Registry;
using lumbrel::sim::RegistryKey;

namespace {

// The key behind a handle: the predefined HKEY_LOCAL_MACHINE or an open key.
RegistryKey* KeyOf(Machine& machine, HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return &machine.registry().localMachine();
  return machine.FindKey(key);
}

std::string FullPath(const RegistryKey& key) {
  return key.path().empty() ? std::string(Registry::kLocalMachineName)
                            : std::string(Registry::kLocalMachineName) + "\\" + key.path();
}

std::string Joined(const RegistryKey* parent, const char* subKey) {
  std::string path = parent != nullptr ? FullPath(*parent) : std::string("?");
  if (subKey != nullptr && *subKey != '\0') path += "\\" + std::string(subKey);
  return path;
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  PlatformCall call("RegOpenKeyExA");
  RegistryKey* parent = KeyOf(call.machine(), key);
  const std::string fullPath = Joined(parent, subKey);
  call.trace().Set("key", fullPath);
  auto finish = [&](LSTATUS status) { return static_cast<LSTATUS>(call.Finish(static_cast<std::uint32_t>(status))); };
  if (result == nullptr) return finish(ERROR_INVALID_PARAMETER);
  if (parent == nullptr) return finish(ERROR_INVALID_HANDLE);
  const std::string below = fullPath.substr(std::min(fullPath.size(), std::strlen(Registry::kLocalMachineName) + 1));
  if (const auto fault = call.Fault({{"key", below}})) return finish(static_cast<LSTATUS>(*fault));
  RegistryKey* opened = parent->Find(subKey != nullptr ? subKey : "");
  if (opened == nullptr) return finish(ERROR_FILE_NOT_FOUND);
  *result = static_cast<HKEY>(call.machine().AddKey(opened));
  return finish(ERROR_SUCCESS);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  PlatformCall call("RegQueryValueExA");
  RegistryKey* owner = KeyOf(call.machine(), key);
  const std::string name = valueName != nullptr ? valueName : "";
  call.trace().Set("key", owner != nullptr ? FullPath(*owner) : std::string("?")).Set("value", name);
  auto finish = [&](LSTATUS status) { return static_cast<LSTATUS>(call.Finish(static_cast<std::uint32_t>(status))); };
  if (owner == nullptr) return finish(ERROR_INVALID_HANDLE);
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return finish(ERROR_INVALID_PARAMETER);
  if (const auto fault = call.Fault({{"key", owner->path()}, {"value", name}})) {
    return finish(static_cast<LSTATUS>(*fault));
  }
  const lumbrel::sim::RegistryValue* value = owner->Value(name);
  if (value == nullptr) return finish(ERROR_FILE_NOT_FOUND);
  if (type != nullptr) *type = value->type;
  const auto size = static_cast<DWORD>(value->data.size());
  if (data == nullptr) {
    if (dataSize != nullptr) *dataSize = size;
    return finish(ERROR_SUCCESS);
  }
  if (*dataSize < size) {
    *dataSize = size;
    return finish(ERROR_MORE_DATA);
  }
  if (size != 0) std::memcpy(data, value->data.data(), size);
  *dataSize = size;
  call.trace().SetHex("data", value->data.data(), size);
  return finish(ERROR_SUCCESS);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  PlatformCall call("RegCloseKey");
  RegistryKey* owner = KeyOf(call.machine(), key);
  call.trace().Set("key", owner != nullptr ? FullPath(*owner) : std::string("?"));
  const bool closed = key == HKEY_LOCAL_MACHINE || call.machine().RemoveKey(key);
  return static_cast<LSTATUS>(call.Finish(closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE));
}

}  // extern "C"
