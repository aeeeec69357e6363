// Builds the SCSI side of a machine from its description: the ports and
// their devices, the device namespace ("\\.\SCSIn:", "\\.\PhysicalDriveN",
// "\\.\ScannerN", "\\.\CdRomN", "\\.\QZVn") and the registry keys that
// Windows writes for the units it found.
#pragma once

#include <vector>

namespace lumbrel::sim {

class Machine;
struct PortConfig;

void BuildScsiDevices(Machine& machine, const std::vector<PortConfig>& ports);

}  // namespace lumbrel::sim
