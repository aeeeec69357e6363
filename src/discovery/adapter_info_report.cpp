#include "discovery/adapter_info_report.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "platform/win32.h"

namespace lumbrel {
namespace {

// Copies text into a record field, zero-padded, its last byte always 0.
void PutText(std::uint8_t* field, std::uint32_t size, const char* text) {
  CopyPadded(reinterpret_cast<char*>(field), size, text);
  field[size - 1] = 0;
}

// The whole file in library memory, or the Windows error that prevented it.
struct FileBytes {
  std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  ~FileBytes() { platform::ReleaseMemory(data); }
};

// The size of an open file, from its directory entry.
bool FileSize(const char* path, std::uint32_t* size) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(path, &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  if (entry.nFileSizeHigh != 0) return false;  // no driver image is 4 GB
  *size = entry.nFileSizeLow;
  return true;
}

// Whether `key` lies at `p` as UTF-16LE.
bool KeyAt(const std::uint8_t* data, std::uint32_t p, const char* key, std::uint32_t keyLength) {
  for (std::uint32_t i = 0; i < keyLength; ++i) {
    if (LoadLe16(data + p + 2 * i) != static_cast<std::uint8_t>(key[i])) return false;
  }
  return true;
}

}  // namespace

std::uint32_t ReadFileVersionString(const char* path, const char* key, char* out, std::uint32_t outSize) {
  if (out != nullptr && outSize != 0) out[0] = '\0';
  // The file is read through the platform's file calls, like every other
  // file the library touches, shared for reading and writing as a plain
  // binary read opens it: a driver image that an installer holds open for
  // writing is still read.
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();

  FileBytes bytes;
  std::uint32_t result = 0;
  std::uint32_t size = 0;
  if (!FileSize(path, &size)) size = 0;
  if (size != 0) {
    bytes.data = static_cast<std::uint8_t*>(platform::AllocateMemory(size));
    if (bytes.data == nullptr) {
      CloseHandle(file);
      return 0;  // no memory: no version, and no error to report
    }
  }
  DWORD read = 0;
  if (size == 0 || !ReadFile(file, bytes.data, size, &read, nullptr) || read == 0) {
    result = GetLastError();
  } else {
    bytes.size = read;
  }
  CloseHandle(file);
  if (result != 0 || bytes.size == 0 || out == nullptr || outSize == 0 || key == nullptr) return result;

  const auto keyLength = static_cast<std::uint32_t>(std::strlen(key));
  const std::uint32_t keyBytes = 2 * keyLength;
  for (std::uint32_t p = 0; keyBytes <= bytes.size && p <= bytes.size - keyBytes; ++p) {
    if (!KeyAt(bytes.data, p, key, keyLength)) continue;
    // The value follows the key's terminator and one unit of padding.
    std::uint64_t at = static_cast<std::uint64_t>(p) + keyBytes + 4;
    std::uint32_t n = 0;
    while (n + 1 < outSize && at + 2 <= bytes.size) {
      const std::uint16_t unit = LoadLe16(bytes.data + at);
      if (unit == 0) break;
      out[n++] = static_cast<char>(unit & 0xFF);
      at += 2;
    }
    out[n] = '\0';
    break;
  }
  return 0;
}

std::uint32_t ReportAdapterInfo(PortTable& ports, std::uint32_t adapterCount, std::uint8_t* records) {
  if (const std::uint32_t error = ports.ScanPorts(); error != 0) return error;
  const std::uint32_t count = adapterCount;
  if (records == nullptr) return 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    PortDescription description{};
    ports.GetPortDescription(i, &description);
    char path[kDriverPathSize] = {};
    char version[kVersionTextSize] = {};
    if (ports.GetDriverFilePath(i, path, sizeof path) && path[0] != '\0') {
      ReadFileVersionString(path, "FileVersion", version, sizeof version);
    }
    std::uint8_t* record = records + static_cast<std::size_t>(kAdapterInfoRecordSize) * i;
    StoreLe32(record + adapter_info::kAdapterNumber, i);
    StoreLe32(record + adapter_info::kClassCode, description.classCode);
    // The port description's fields may fill their arrays unterminated.
    char vendor[sizeof description.vendorName + 1] = {};
    char driver[sizeof description.driverName + 1] = {};
    std::memcpy(vendor, description.vendorName, sizeof description.vendorName);
    std::memcpy(driver, description.driverName, sizeof description.driverName);
    PutText(record + adapter_info::kVendorName, adapter_info::kVendorNameSize, vendor);
    PutText(record + adapter_info::kDriverName, adapter_info::kDriverNameSize, driver);
    PutText(record + adapter_info::kDriverVersion, adapter_info::kDriverVersionSize, version);
  }
  return 0;
}

}  // namespace lumbrel
