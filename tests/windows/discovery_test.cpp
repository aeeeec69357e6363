// Port discovery through the real registry: SCSI port keys and service keys
// written before LUMBREL.dll loads, driver images with real version
// resources in the Windows directory.
#include <cstring>
#include <string>

#include "check.h"
#include "session.h"

namespace {

using wine_tests::Library;

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

bool AddPort(unsigned number, const char* driver, unsigned buses) {
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

// A service key; with `imagePath` null it has no ImagePath value.
bool AddService(const char* name, const char* imagePath) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kServicesKey) + name).c_str());
  HKEY key = nullptr;
  if (!CreateKey(std::string(kServicesKey) + name, REG_OPTION_NON_VOLATILE, &key)) return false;
  const bool ok = imagePath == nullptr || SetText(key, "ImagePath", imagePath, REG_EXPAND_SZ);
  RegCloseKey(key);
  return ok;
}

// Places a driver image built next to this program as
// <Windows directory>\System32\drivers\NAME.sys.
bool PlaceDriverImage(const char* name) {
  char windows[MAX_PATH] = {};
  if (GetWindowsDirectoryA(windows, sizeof windows) == 0) return false;
  const std::string drivers = std::string(windows) + "\\System32\\drivers\\";
  CreateDirectoryA(drivers.c_str(), nullptr);
  const std::string source = wine_tests::ProgramDirectory() + name + ".sys";
  return CopyFileA(source.c_str(), (drivers + name + ".sys").c_str(), FALSE) != 0;
}

std::string Text(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

void ExpectRecord(const AdapterInfoRecord& record, std::uint32_t number, std::uint32_t classCode, const char* vendor,
                  const char* driver, const char* version) {
  EXPECT_EQ(record.adapterNumber, number);
  EXPECT_EQ(record.classCode, classCode);
  EXPECT_EQ(Text(record.vendorName, sizeof record.vendorName), std::string(vendor));
  EXPECT_EQ(Text(record.driverName, sizeof record.driverName), std::string(driver));
  EXPECT_EQ(Text(record.driverVersion, sizeof record.driverVersion), std::string(version));
}

}  // namespace

WINE_TEST(discovery, ports_drivers_and_file_versions) {
  REQUIRE_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScsiKey);  // whatever the prefix recorded itself
  REQUIRE_TRUE(AddPort(0, "aic78xx", 2) && AddPort(1, "qzvscsi", 1) && AddPort(2, "lumbrelx", 1));
  REQUIRE_TRUE(AddService("aic78xx", "System32\\drivers\\aic78xx.sys"));
  REQUIRE_TRUE(AddService("qzvscsi", nullptr));  // the default image path
  REQUIRE_TRUE(AddService("lumbrelx", "\\SystemRoot\\System32\\drivers\\lumbrelx.sys"));  // no such file
  REQUIRE_TRUE(PlaceDriverImage("aic78xx") && PlaceDriverImage("qzvscsi"));

  Library lumbrel;
  REQUIRE_TRUE(lumbrel->CountAdapterUnits && lumbrel->GetAllAdapterInfo);
  std::uint32_t units = 77;
  std::uint32_t adapters = 77;
  EXPECT_EQ(lumbrel->CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(adapters, 3u);
  EXPECT_EQ(units, 0u);  // no SCSI device answers under Wine
  EXPECT_EQ(lumbrel->CountAdapterUnits(nullptr, nullptr), 0u);

  AdapterInfoRecord records[4];
  std::memset(records, 0xEE, sizeof records);
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(records), 0u);
  ExpectRecord(records[0], 0, LUMBREL_CLASS_SCSIPORT, "Adaptec", "aic78xx", "6.0.1.0");
  ExpectRecord(records[1], 1, LUMBREL_CLASS_QZV, "Adaptec", "qzvscsi", "2.1-3 REL");
  ExpectRecord(records[2], 2, LUMBREL_CLASS_SCSIPORT, "???", "lumbrelx", "");
  EXPECT_EQ(records[3].adapterNumber, 0xEEEEEEEEu);
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(nullptr), 0u);

  // The ports are read at load: without them a new load finds none.
  lumbrel.Unload();
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kScsiKey);
  REQUIRE_TRUE(lumbrel.Load());
  EXPECT_EQ(lumbrel->CountAdapterUnits(&units, &adapters), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(records), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}
