#include "scsi_ports.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "session.h"

namespace wine_tests {
namespace {

constexpr const char* kScsiKey = "HARDWARE\\DEVICEMAP\\Scsi";
constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";

// Keys under HARDWARE are volatile, as Windows keeps them.
bool CreateKey(const std::string& path, DWORD options, HKEY* key) {
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, key,
                         nullptr) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const char* name, const char* text, DWORD type = REG_SZ) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

}  // namespace

void RemoveScsiPorts() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScsiKey); }

bool AddScsiPort(unsigned number, const char* driver, unsigned buses) {
  const std::string port = std::string(kScsiKey) + "\\Scsi Port " + std::to_string(number);
  HKEY key = nullptr;
  if (!CreateKey(port, REG_OPTION_VOLATILE, &key)) return false;
  const bool ok = SetText(key, "Driver", driver);
  RegCloseKey(key);
  for (unsigned bus = 0; ok && bus < buses; ++bus) {
    if (!CreateKey(port + "\\Scsi Bus " + std::to_string(bus), REG_OPTION_VOLATILE, &key)) return false;
    RegCloseKey(key);
  }
  return ok;
}

bool AddService(const char* name, const char* imagePath) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kServicesKey) + name).c_str());
  HKEY key = nullptr;
  if (!CreateKey(std::string(kServicesKey) + name, REG_OPTION_NON_VOLATILE, &key)) return false;
  const bool ok = imagePath == nullptr || SetText(key, "ImagePath", imagePath, REG_EXPAND_SZ);
  RegCloseKey(key);
  return ok;
}

bool PlaceDriverImage(const char* name) {
  char windows[MAX_PATH] = {};
  if (GetWindowsDirectoryA(windows, sizeof windows) == 0) return false;
  const std::string drivers = std::string(windows) + "\\System32\\drivers\\";
  CreateDirectoryA(drivers.c_str(), nullptr);
  const std::string source = ProgramDirectory() + name + ".sys";
  return CopyFileA(source.c_str(), (drivers + name + ".sys").c_str(), FALSE) != 0;
}

}  // namespace wine_tests
