// Exports that start the background jobs.
#include "api/jobs.h"
#include "api/module_state.h"
#include "drives/activity_flash.h"

namespace {

// The arguments that name a job's drive; every value keeps its low 8 bits.
lumbrel::JobArguments DriveArguments(std::uint32_t adapterClass, std::uint32_t ordinal, std::uint32_t bus,
                                     std::uint32_t target) {
  lumbrel::JobArguments arguments;
  arguments.adapterClass = adapterClass;
  arguments.ordinal = ordinal;
  arguments.bus = static_cast<std::uint8_t>(bus);
  arguments.target = static_cast<std::uint8_t>(target);
  return arguments;
}

}  // namespace

extern "C" {

std::uint32_t LUMBREL_CALL FlashDriveActivityLight(std::uint32_t adapterClass, std::uint32_t ordinal,
                                                   std::uint32_t bus, std::uint32_t target,
                                                   std::uint32_t duration) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  // Zero over all 32 bits stops; the job itself keeps the low 16.
  if (duration == 0) {
    StopFlashing();
    return 0;
  }
  JobArguments arguments = DriveArguments(adapterClass, ordinal, bus, target);
  arguments.duration = duration;
  return StartJob(JobKind::Flash, arguments);
}

std::uint32_t LUMBREL_CALL FlashActivityLightAllDrives(std::uint32_t adapterClass, std::uint32_t ordinal,
                                                       std::uint32_t bus, std::uint32_t duration) {
  const lumbrel::CallerTurn turn;
  return FlashDriveActivityLight(adapterClass, ordinal, bus, lumbrel::kAllTargets, duration);
}

std::uint32_t LUMBREL_CALL DeepFormatDrive(std::uint32_t adapterClass, std::uint32_t ordinal, std::uint32_t bus,
                                           std::uint32_t target) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  return StartJob(JobKind::Format, DriveArguments(adapterClass, ordinal, bus, target));
}

std::uint32_t LUMBREL_CALL UpdateDriveFWImage(std::uint32_t adapterClass, std::uint32_t ordinal, std::uint32_t bus,
                                              std::uint32_t target, const std::uint8_t* image,
                                              std::uint32_t length) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  JobArguments arguments = DriveArguments(adapterClass, ordinal, bus, target);
  arguments.image = image;
  arguments.imageLength = length;
  return StartJob(JobKind::Firmware, arguments);
}

}  // extern "C"
