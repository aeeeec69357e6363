#include "reports/drive_readiness.h"

#include "drives/activity_flash.h"
#include "drives/unit_ready.h"
#include "platform/win32.h"
#include "result_codes.h"
#include "scsi/scsi_adapter.h"

namespace lumbrel {
namespace {

constexpr std::uint8_t kPeripheralTypeMask = 0x1F;
constexpr std::uint8_t kDirectAccess = 0;

// The array states under which a file may be written to the drive's volume.
bool AllowsFileTest(std::uint32_t status) { return status == 3 || status == 4 || status == 5; }

}  // namespace

std::uint32_t DriveReadiness::GetDriveReadiness(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t bus,
                                                std::uint32_t target, std::uint32_t* readiness) {
  std::uint32_t level = 0;
  const auto finish = [&](std::uint32_t result) {
    if (readiness != nullptr) *readiness = level;
    return result;
  };
  if (readiness != nullptr) *readiness = 0;
  if (const std::uint32_t result = adapters_.BuildAdapterList(); result != 0) return result;
  std::uint32_t index = 0;
  if (adapters_.FindAdapterIndex(classCode, ordinal, &index) == 0) return kNotSupported;
  ScsiAdapter* adapter = adapters_.OpenAdapter(AdapterClassBase, index);
  if (adapter == nullptr) return finish(kNotSupported);

  if (const std::uint32_t result = adapter->InquireTarget(bus, target); result != 0) return finish(result);
  level = 1;
  const std::uint8_t* inquiry = adapter->GetDataBuffer(0);
  const bool directAccess = inquiry != nullptr && (inquiry[0] & kPeripheralTypeMask) == kDirectAccess;
  const bool readTest = directAccess && adapter->classCode != AdapterClassAtapi;

  if (const std::uint32_t result = TestUnitReadyRetry(*adapter, bus, target); result != 0) return finish(result);
  level = 2;
  if (readTest) {
    if (const std::uint32_t result = FlashReadTarget(*adapter, bus, target); result != 0) return finish(result);
    level = 3;
  }

  const DriveAddress address{static_cast<std::uint8_t>(target), static_cast<std::uint8_t>(bus),
                             static_cast<std::uint8_t>(index)};
  const std::uint32_t letters = letters_.GetDriveLetterMask(address);
  if (letters == 0) return finish(0);
  level = 4;

  std::uint32_t status = 0;
  if (const std::uint32_t result = raidConfigs_.FindArrayStatus(address, &status); result != 0) return finish(result);
  if (AllowsFileTest(status)) {
    if (const std::uint32_t result = RunFileTest(letters); result != 0) return finish(result);
    level = 5;
  }
  return finish(0);
}

std::uint32_t DriveReadiness::RunFileTest(std::uint32_t letterMask) {
  std::uint32_t lowest = 0;
  while (lowest < 31 && ((letterMask >> lowest) & 1) == 0) ++lowest;
  testFilePath_[0] = static_cast<char>('A' + lowest);

  HANDLE file = CreateFileA(testFilePath_, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD moved = 0;
  if (GetLastError() != ERROR_ALREADY_EXISTS) {
    for (std::uint32_t i = 0; i < kTestFileSize; ++i) testData_[i] = static_cast<std::uint8_t>(i % 256);
    if (WriteFile(file, testData_, kTestFileSize, &moved, nullptr) == FALSE) {
      const std::uint32_t error = GetLastError();
      CloseHandle(file);  // the file stays; the next test reads it instead
      return error;
    }
    CloseHandle(file);
    DeleteFileA(testFilePath_);
    return 0;
  }
  // A test file left from before: read it and leave it in place.
  const std::uint32_t result = ReadFile(file, testData_, kTestFileSize, &moved, nullptr) == FALSE ? GetLastError() : 0;
  CloseHandle(file);
  return result;
}

}  // namespace lumbrel
