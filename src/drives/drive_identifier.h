// Drive identification: the make of a drive and what its firmware allows,
// from its standard INQUIRY data.
//
// The 4-character product revision code is looked up in a table of known
// codes, then in a table of code patterns; failing both, the INQUIRY data
// is searched for a known vendor's name. Firmware download, the log page
// services and the disk report change their behaviour by the answer.
#pragma once

#include <cstdint>

#include "scsi/scsi_adapter.h"

namespace lumbrel {

// What a drive's identity allows, as a bit set.
namespace capability {
inline constexpr std::uint32_t kFirmwareDownload = 0x001;
inline constexpr std::uint32_t kChunkBufferId = 0x002;      // each chunk carries its index as buffer id
inline constexpr std::uint32_t kChunkBufferOffset = 0x004;  // each chunk carries its offset as buffer offset
inline constexpr std::uint32_t kWriteBufferMode7 = 0x008;   // mode 7 instead of 5
inline constexpr std::uint32_t kIbm = 0x010;                // tested by nothing
inline constexpr std::uint32_t kLogPage32 = 0x100;          // known to offer log page 0x32
inline constexpr std::uint32_t kNoLogPage32 = 0x200;        // known not to
}  // namespace capability

enum VendorNumber : std::uint32_t {
  VendorUnknown = 0,
  VendorQuantum = 1,
  VendorSeagate = 2,
  VendorIbm = 3,
  VendorFujitsu = 4,
  VendorWesternDigital = 5,
};

// One row of the identification tables.
struct IdentityRow {
  const char* code;        // revision code, or pattern ('?' matches any character); may be null in patterns
  const char* vendorName;  // null ends a table
  std::uint32_t vendorNumber;
  std::uint32_t capabilities;
};

inline constexpr int kRevisionRowCount = 88;
inline constexpr int kPatternRowCount = 12;
// Both tables end with a row whose vendor name is null; the pattern
// table's end row is the identity of an unknown drive.
extern const IdentityRow RevisionTable[kRevisionRowCount + 1];
extern const IdentityRow PatternTable[kPatternRowCount + 1];

// The identity of one drive. `revisionCode` points at the table's own text
// after an exact match, else at `codeText`, which holds the drive's four
// characters: the record carries its own copy, so identifications on
// different threads never share one.
struct DriveIdentity {
  const char* revisionCode = nullptr;
  const char* vendorName = nullptr;  // null for an unknown drive
  std::uint32_t vendorNumber = VendorUnknown;
  std::uint32_t capabilities = 0;
  char codeText[5] = {};

  DriveIdentity() = default;
  DriveIdentity(const DriveIdentity& other) { *this = other; }
  DriveIdentity& operator=(const DriveIdentity& other);
};

// The process-wide identifier over the two tables. It owns no memory and
// is immutable once constructed, so any thread may use it.
class DriveIdentifier {
 public:
  // Counts the rows of each table up to its end row.
  DriveIdentifier();

  // Matches INQUIRY data already read; a vendor name may start in its first
  // `window` bytes (a larger window is cut to kMaxIdentityWindow). `inquiry` holds at least
  // kInquiryViewSize bytes, as every data area does. True on an exact, pattern or vendor match; `out`
  // (when given) receives the row, or the unknown drive's identity.
  bool MatchInquiryData(const std::uint8_t* inquiry, std::uint32_t window, DriveIdentity* out) const;
  // INQUIRY of (bus, target) through the adapter, then MatchInquiryData: 0
  // when identified, 1004001 when not (the record is filled in both
  // cases), or the INQUIRY's failure (the record untouched).
  std::uint32_t IdentifyDrive(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target,
                              DriveIdentity* out) const;

  std::uint32_t revisionRows() const { return revisionRows_; }
  std::uint32_t patternRows() const { return patternRows_; }

 private:
  std::uint32_t revisionRows_;
  std::uint32_t patternRows_;
};

// The largest vendor search window: INQUIRY byte 4 (additional length) +
// 44; a name found at its last byte may run on past it.
inline constexpr std::uint32_t kMaxIdentityWindow = 299;
inline constexpr std::uint32_t kInquiryViewSize = kMaxIdentityWindow + 16;

}  // namespace lumbrel
