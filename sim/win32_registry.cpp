// Registry services of the simulated platform. Unlike the kernel calls they
// return their Windows error code directly.
#include <cstring>
#include <string>

#include "platform/host/win32_subset.h"
#include "sim/simulator.h"

using lumbrel::sim::CurrentMachine;
using lumbrel::sim::Machine;
using lumbrel::sim::Registry;
using lumbrel::sim::RegistryKey;
using lumbrel::sim::TraceRecord;

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
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  RegistryKey* parent = KeyOf(machine, key);
  const std::string fullPath = Joined(parent, subKey);
  TraceRecord trace(machine.trace(), "RegOpenKeyExA");
  trace.Set("key", fullPath);
  LSTATUS status = ERROR_SUCCESS;
  RegistryKey* opened = nullptr;
  const std::string below = fullPath.substr(std::min(fullPath.size(), std::strlen(Registry::kLocalMachineName) + 1));
  if (result == nullptr) {
    status = ERROR_INVALID_PARAMETER;
  } else if (parent == nullptr) {
    status = ERROR_INVALID_HANDLE;
  } else if (const auto fault = machine.faults().Check("RegOpenKeyExA", {{"key", below}})) {
    trace.Injected();
    status = static_cast<LSTATUS>(*fault);
  } else if (opened = parent->Find(subKey != nullptr ? subKey : ""); opened == nullptr) {
    status = ERROR_FILE_NOT_FOUND;
  } else {
    *result = static_cast<HKEY>(machine.AddKey(opened));
  }
  trace.Finish(static_cast<std::uint32_t>(status));
  return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  RegistryKey* owner = KeyOf(machine, key);
  const std::string name = valueName != nullptr ? valueName : "";
  TraceRecord trace(machine.trace(), "RegQueryValueExA");
  trace.Set("key", owner != nullptr ? FullPath(*owner) : std::string("?")).Set("value", name);
  auto finish = [&](LSTATUS status) {
    trace.Finish(static_cast<std::uint32_t>(status));
    return status;
  };
  if (owner == nullptr) return finish(ERROR_INVALID_HANDLE);
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return finish(ERROR_INVALID_PARAMETER);
  if (const auto fault = machine.faults().Check("RegQueryValueExA", {{"key", owner->path()}, {"value", name}})) {
    trace.Injected();
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
  trace.SetHex("data", value->data.data(), size);
  return finish(ERROR_SUCCESS);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "RegCloseKey");
  RegistryKey* owner = KeyOf(machine, key);
  trace.Set("key", owner != nullptr ? FullPath(*owner) : std::string("?"));
  LSTATUS status = ERROR_SUCCESS;
  if (key != HKEY_LOCAL_MACHINE && !machine.RemoveKey(key)) status = ERROR_INVALID_HANDLE;
  trace.Finish(static_cast<std::uint32_t>(status));
  return status;
}

}  // extern "C"
