// Exports of the RAID views, drive letters, readiness and the disk
// configuration report. They run on the caller's thread.
#include "api/module_state.h"

namespace {

lumbrel::DriveAddress AddressOf(std::uint32_t port, std::uint32_t bus, std::uint32_t target) {
  return {static_cast<std::uint8_t>(target), static_cast<std::uint8_t>(bus), static_cast<std::uint8_t>(port)};
}

}  // namespace

extern "C" {

std::uint32_t LUMBREL_CALL GetRaidLevel(std::uint32_t adapterNumber, std::uint32_t bus, std::uint32_t target,
                                        std::uint32_t* level) {
  const lumbrel::CallerTurn turn;
  std::uint32_t ignored = 0;  // a caller that passes no pointer still gets the result
  return lumbrel::Module().raidConfigs.FindRaidLevel(AddressOf(adapterNumber, bus, target),
                                                     level != nullptr ? level : &ignored);
}

std::uint32_t LUMBREL_CALL GetAllDriveLetters(std::uint32_t adapterNumber, std::uint32_t bus, std::uint32_t target) {
  const lumbrel::CallerTurn turn;
  return lumbrel::Module().driveLetterMap.GetDriveLetterMask(AddressOf(adapterNumber, bus, target));
}

std::uint32_t LUMBREL_CALL GetAllDiskConfigInfo(DiskConfigRecord* records, std::uint32_t capacity) {
  const lumbrel::CallerTurn turn;
  return lumbrel::Module().diskConfigReport.GetAllDiskConfigInfo(records, capacity);
}

std::uint32_t LUMBREL_CALL GetDriveReadiness(std::uint32_t adapterClass, std::uint32_t ordinal, std::uint32_t bus,
                                             std::uint32_t target, std::uint32_t* readiness) {
  const lumbrel::CallerTurn turn;
  return lumbrel::Module().readiness.GetDriveReadiness(adapterClass & 0xFF, ordinal & 0xFF, bus & 0xFF,
                                                        target & 0xFF, readiness);
}

}  // extern "C"
