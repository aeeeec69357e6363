#include "sim/machine_format_error.h"
#include "sim/scsi/logical_drive_config.h"

namespace lumbrel::sim {

std::vector<LogicalDriveConfig> ParseLogicalDrives(const nlohmann::json&, const std::string& path) {
  throw MachineFormatError(path + ": logical drives are not simulated yet");
}

}  // namespace lumbrel::sim
