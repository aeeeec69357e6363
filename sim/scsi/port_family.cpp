#include "sim/scsi/port_family.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace lumbrel::sim {
namespace {

struct Name {
  PortFamily family;
  const char* name;
};
constexpr std::array<Name, 6> kNames = {{
    {PortFamily::ScsiPort, "scsiport"},
    {PortFamily::Ide, "ide"},
    {PortFamily::Hhba5100, "hhba5100"},
    {PortFamily::MegaRaid, "megaraid"},
    {PortFamily::Dac960, "dac960"},
    {PortFamily::Qzv, "qzv"},
}};

// Known driver names in the order in which they are tried.
struct Driver {
  const char* pattern;
  PortFamily family;
};
constexpr std::array<Driver, 10> kDrivers = {{
    {"mraidnt", PortFamily::MegaRaid},
    {"mraid35x", PortFamily::MegaRaid},
    {"dac960nt", PortFamily::Dac960},
    {"HHBA5100", PortFamily::Hhba5100},
    {"aic78xx", PortFamily::ScsiPort},
    {"symc8XX", PortFamily::ScsiPort},
    {"Sym_hi", PortFamily::ScsiPort},
    {"atapi", PortFamily::Ide},
    {"atdisk", PortFamily::Ide},
    {"qzvscsi", PortFamily::Qzv},
}};

bool MatchesDriver(const char* pattern, std::string_view name) {
  const std::size_t n = std::min<std::size_t>(name.size(), 16);
  for (std::size_t i = 0; i < n; ++i) {
    if (pattern[i] == '\0') return true;
    if (pattern[i] == '?') continue;
    if (((static_cast<unsigned char>(name[i]) ^ static_cast<unsigned char>(pattern[i])) & 0xDF) != 0) return false;
  }
  return true;
}

}  // namespace

const char* FamilyName(PortFamily family) {
  for (const Name& entry : kNames) {
    if (entry.family == family) return entry.name;
  }
  return "scsiport";
}

std::optional<PortFamily> FamilyFromName(std::string_view name) {
  for (const Name& entry : kNames) {
    if (name == entry.name) return entry.family;
  }
  return std::nullopt;
}

PortFamily FamilyOfDriver(std::string_view driver) {
  for (const Driver& entry : kDrivers) {
    if (MatchesDriver(entry.pattern, driver)) return entry.family;
  }
  return PortFamily::ScsiPort;
}

bool DrivesBehindController(PortFamily family) {
  return family == PortFamily::MegaRaid || family == PortFamily::Dac960 || family == PortFamily::Qzv;
}

}  // namespace lumbrel::sim
