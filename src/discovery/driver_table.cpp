#include "discovery/driver_table.h"

#include <algorithm>

namespace lumbrel {

const DriverRow DriverTable[kDriverRowCount + 1] = {
    {"mraidnt", "AMI", AdapterClassMegaRaid},
    {"mraid35x", "AMI", AdapterClassMegaRaid},
    {"dac960nt", "Mylex", AdapterClassDac960},
    {"HHBA5100", "Mylex", AdapterClassHhba5100},
    {"aic78xx", "Adaptec", AdapterClassScsiPort},
    {"symc8XX", "Symbios", AdapterClassScsiPort},
    {"Sym_hi", "Symbios", AdapterClassScsiPort},
    {"atapi", nullptr, AdapterClassAtapi},
    {"atdisk", nullptr, AdapterClassAtapi},
    {"qzvscsi", "Adaptec", AdapterClassQzv},
    {nullptr, nullptr, AdapterClassScsiPort},
};

bool MatchDriverName(const char* pattern, const char* name, std::uint32_t length) {
  const std::uint32_t n = std::min<std::uint32_t>(length, 16);
  for (std::uint32_t i = 0; i < n; ++i) {
    if (pattern[i] == '\0') return true;
    // Equal, or differing only in bit 5: ASCII letters compare without case.
    const bool same = pattern[i] == '?' || ((name[i] ^ pattern[i]) & 0xDF) == 0;
    if (!same) return false;
  }
  return true;
}

const DriverRow& ClassifyDriver(const char* name, std::uint32_t length) {
  for (int row = 0; row < kDriverRowCount; ++row) {
    if (MatchDriverName(DriverTable[row].driverName, name, length)) return DriverTable[row];
  }
  return DriverTable[kDriverRowCount];
}

}  // namespace lumbrel
