// Exports of the RAID views, drive letters, readiness and the disk
// configuration report. They run on the caller's thread.
#include "api/module_state.h"
#include "result_codes.h"

extern "C" {

std::uint32_t LUMBREL_CALL GetRaidLevel(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t* level) {
  if (level != nullptr) *level = 65535;
  return lumbrel::kNotSupported;
}

std::uint32_t LUMBREL_CALL GetAllDriveLetters(std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }

std::uint32_t LUMBREL_CALL GetAllDiskConfigInfo(DiskConfigRecord*, std::uint32_t) { return 0; }

std::uint32_t LUMBREL_CALL GetDriveReadiness(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                             std::uint32_t* readiness) {
  if (readiness != nullptr) *readiness = 0;
  return lumbrel::kNotSupported;
}

}  // extern "C"
