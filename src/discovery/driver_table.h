// Classification of a SCSI port by the name of its driver.
#pragma once

#include <cstdint>

#include "lumbrel.h"

namespace lumbrel {

// The family of driver that serves a port. It selects the adapter variant and
// the addressing rule of the exports. The codes are those that callers see
// in the public header.
enum AdapterClass : std::uint32_t {
  AdapterClassBase = LUMBREL_CLASS_BASE,
  AdapterClassMegaRaid = LUMBREL_CLASS_MEGARAID,
  AdapterClassDac960 = LUMBREL_CLASS_DAC960,
  AdapterClassHhba5100 = LUMBREL_CLASS_HHBA5100,
  AdapterClassScsiPort = LUMBREL_CLASS_SCSIPORT,
  AdapterClassAtapi = LUMBREL_CLASS_ATAPI,
  AdapterClassQzv = LUMBREL_CLASS_QZV,
};
static_assert(AdapterClassBase == 0 && AdapterClassMegaRaid == 1 && AdapterClassDac960 == 2 &&
              AdapterClassHhba5100 == 3 && AdapterClassScsiPort == 4 && AdapterClassAtapi == 5 &&
              AdapterClassQzv == 6);
inline constexpr std::uint32_t kHighestAdapterClass = AdapterClassQzv;

struct DriverRow {
  const char* driverName;  // pattern; '?' matches any character; null in the terminator row
  const char* vendorName;  // null when the driver has no vendor
  std::uint32_t classCode;
};

// The known drivers in match order (first match wins), then the terminator
// row, which classifies every other driver as a generic SCSI port.
inline constexpr int kDriverRowCount = 10;
extern const DriverRow DriverTable[kDriverRowCount + 1];

// Whether a registry driver name matches a row's pattern. The pattern is a
// prefix, letters compare without regard to case, '?' matches any character,
// and only the first 16 characters (and no more than `length`) count.
bool MatchDriverName(const char* pattern, const char* name, std::uint32_t length);

// The row that classifies a driver name: the first match, else the terminator.
const DriverRow& ClassifyDriver(const char* name, std::uint32_t length);

}  // namespace lumbrel
