// An open registry key that closes itself, so that no path through an
// operation leaves a key open.
#pragma once

#include "platform/win32.h"

namespace lumbrel {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `subKey` of `parent` for reading (KEY_READ); a Windows error code.
  LONG Open(HKEY parent, const char* subKey) {
    Close();
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(parent, subKey, 0, KEY_READ, &opened);
    if (error == ERROR_SUCCESS) key_ = opened;
    return error;
  }

  // Reads a value into `data`; `size` is the buffer's size in and the value's
  // size out. No type check. A Windows error code (ERROR_MORE_DATA when the
  // value does not fit).
  LONG Query(const char* valueName, void* data, DWORD* size) const {
    return RegQueryValueExA(key_, valueName, nullptr, nullptr, static_cast<LPBYTE>(data), size);
  }

  HKEY handle() const { return key_; }

  void Close() {
    if (key_ != nullptr) {
      RegCloseKey(key_);
      key_ = nullptr;
    }
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace lumbrel
