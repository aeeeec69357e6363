// The driver families that can serve a SCSI port of the simulated server.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumbrel::sim {

enum class PortFamily {
  ScsiPort,  // a generic SCSI miniport under the Windows port driver
  Ide,       // the IDE port drivers (atapi, atdisk)
  Hhba5100,  // the HHBA5100 array driver: vendor command 0x21 reaches its drives
  MegaRaid,  // AMI MegaRAID: direct CDBs through IOCTL_SCSI_MINIPORT
  Dac960,    // Mylex DAC960: direct CDBs and controller commands through IOCTL_SCSI_MINIPORT
  Qzv,       // the maker's controller: SCSI request blocks on "\\.\QZVn"
};

// The name used in machine files: "scsiport", "ide", "hhba5100", ...
const char* FamilyName(PortFamily family);
std::optional<PortFamily> FamilyFromName(std::string_view name);

// The family that a Windows driver name stands for. The names are compared
// as the library classifies them: each known name in turn, as a prefix, on
// the first 16 characters, letters without regard to case; a driver that
// matches none is a generic SCSI miniport.
PortFamily FamilyOfDriver(std::string_view driver);

// Whether the drives on the port's buses sit behind an array controller,
// out of Windows' sight (no class driver claims them).
bool DrivesBehindController(PortFamily family);

}  // namespace lumbrel::sim
