#include "drives/drive_identifier.h"

#include <algorithm>
#include <cstring>

#include "result_codes.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kIbmKnown = 0x213;
constexpr std::uint32_t kIbmLog = 0x113;
constexpr const char* kIbm = "IBM";
constexpr const char* kFujitsu = "Fujitsu";
constexpr const char* kSeagate = "Seagate";
constexpr const char* kQuantum = "Quantum";

constexpr std::uint32_t kRevisionOffset = 32;  // product revision level, bytes 32-35
constexpr std::uint32_t kCodeLength = 4;

std::uint32_t CountUntilEnd(const IdentityRow* rows) {
  std::uint32_t n = 0;
  while (rows[n].vendorName != nullptr) ++n;
  return n;
}

bool CodeMatches(const char* pattern, const char* code) {
  for (std::uint32_t i = 0; i < kCodeLength; ++i) {
    if (pattern[i] != '?' && pattern[i] != code[i]) return false;
  }
  return true;
}

// The code of a drive: its product revision level, or, when that is blank,
// the last four non-blank characters before it.
void ChooseCode(const std::uint8_t* inquiry, char code[kCodeLength]) {
  const std::uint8_t* revision = inquiry + kRevisionOffset;
  auto blank = [](std::uint8_t c) { return c == ' ' || c == '\0'; };
  const bool allSpaces = std::all_of(revision, revision + kCodeLength, [](std::uint8_t c) { return c == ' '; });
  const bool allNul = std::all_of(revision, revision + kCodeLength, [](std::uint8_t c) { return c == '\0'; });
  std::uint32_t from = kRevisionOffset;
  if (allSpaces || allNul) {
    std::uint32_t last = 0;
    for (std::uint32_t i = kRevisionOffset; i >= 1; --i) {
      if (!blank(inquiry[i])) {
        last = i;
        break;
      }
    }
    from = last >= kCodeLength - 1 ? last - (kCodeLength - 1) : 0;
  }
  std::memcpy(code, inquiry + from, kCodeLength);
}

// The record of a row: with the table's code text, or with the drive's own
// `code` (4 characters) when one is given.
void Fill(DriveIdentity& out, const IdentityRow& row, const char* code) {
  out = DriveIdentity{};
  if (code != nullptr) {
    std::memcpy(out.codeText, code, kCodeLength);
    out.revisionCode = out.codeText;
  } else {
    out.revisionCode = row.code;
  }
  out.vendorName = row.vendorName;
  out.vendorNumber = row.vendorNumber;
  out.capabilities = row.capabilities;
}

}  // namespace

// clang-format off
const IdentityRow RevisionTable[kRevisionRowCount + 1] = {
    {"D80J", kIbm, VendorIbm, kIbmKnown}, {"S80J", kIbm, VendorIbm, kIbmKnown}, {"0008", kIbm, VendorIbm, kIbmKnown},
    {"0110", kIbm, VendorIbm, kIbmKnown}, {"001A", kIbm, VendorIbm, kIbmKnown}, {"01A0", kIbm, VendorIbm, kIbmKnown},
    {"01A1", kIbm, VendorIbm, kIbmKnown}, {"0111", kIbm, VendorIbm, kIbmKnown}, {"03C0", kIbm, VendorIbm, kIbmKnown},
    {"4343", kIbm, VendorIbm, kIbmKnown}, {"4848", kIbm, VendorIbm, kIbmKnown}, {"5151", kIbm, VendorIbm, kIbmKnown},
    {"5252", kIbm, VendorIbm, kIbmKnown}, {"DB0A", kIbm, VendorIbm, kIbmKnown}, {"DC1B", kIbm, VendorIbm, kIbmKnown},
    {"S65A", kIbm, VendorIbm, kIbmKnown}, {"S65C", kIbm, VendorIbm, kIbmKnown}, {"D80K", kIbm, VendorIbm, kIbmKnown},
    {"S80K", kIbm, VendorIbm, kIbmKnown}, {"S920", kIbm, VendorIbm, kIbmKnown}, {"S940", kIbm, VendorIbm, kIbmKnown},
    {"SA30", kIbm, VendorIbm, kIbmKnown}, {"SA40", kIbm, VendorIbm, kIbmKnown}, {"S94C", kIbm, VendorIbm, kIbmKnown},
    {"S136", kIbm, VendorIbm, kIbmLog}, {"S1A0", kIbm, VendorIbm, kIbmLog}, {"D84D", kIbm, VendorIbm, kIbmLog},
    {"P84D", kIbm, VendorIbm, kIbmLog},
    {"5301", kFujitsu, VendorFujitsu, 0x005},
    {"5302", kFujitsu, VendorFujitsu, 0x10D}, {"5303", kFujitsu, VendorFujitsu, 0x10D},
    {"5304", kFujitsu, VendorFujitsu, 0x10D}, {"5305", kFujitsu, VendorFujitsu, 0x10D},
    {"F302", kFujitsu, VendorFujitsu, 0x10D}, {"F305", kFujitsu, VendorFujitsu, 0x10D},
    {"F306", kFujitsu, VendorFujitsu, 0x10D}, {"F307", kFujitsu, VendorFujitsu, 0x10D},
    {"F308", kFujitsu, VendorFujitsu, 0x10D}, {"F309", kFujitsu, VendorFujitsu, 0x10D},
    {"F310", kFujitsu, VendorFujitsu, 0x10D}, {"F313", kFujitsu, VendorFujitsu, 0x10D},
    {"F315", kFujitsu, VendorFujitsu, 0x10D},
    {"0340", kSeagate, VendorSeagate, 0x00D}, {"0430", kSeagate, VendorSeagate, 0x00D},
    {"0582", kSeagate, VendorSeagate, 0x00D}, {"0632", kSeagate, VendorSeagate, 0x00D},
    {"0658", kSeagate, VendorSeagate, 0x00D}, {"0690", kSeagate, VendorSeagate, 0x00D},
    {"0854", kSeagate, VendorSeagate, 0x00D}, {"1201", kSeagate, VendorSeagate, 0x00D},
    {"1202", kSeagate, VendorSeagate, 0x00D}, {"1205", kSeagate, VendorSeagate, 0x00D},
    {"1207", kSeagate, VendorSeagate, 0x00D}, {"1208", kSeagate, VendorSeagate, 0x00D},
    {"1212", kSeagate, VendorSeagate, 0x00D}, {"1218", kSeagate, VendorSeagate, 0x00D},
    {"1221", kSeagate, VendorSeagate, 0x00D}, {"1226", kSeagate, VendorSeagate, 0x00D},
    {"4220", kSeagate, VendorSeagate, 0x00D}, {"6324", kSeagate, VendorSeagate, 0x00D},
    {"6331", kSeagate, VendorSeagate, 0x00D},
    {"8C01", kSeagate, VendorSeagate, 0x10D}, {"8C02", kSeagate, VendorSeagate, 0x10D},
    {"8762", kSeagate, VendorSeagate, 0x00D},
    {"B001", kSeagate, VendorSeagate, 0x10D}, {"B002", kSeagate, VendorSeagate, 0x10D},
    {"DC33", kSeagate, VendorSeagate, 0x10D}, {"DC40", kSeagate, VendorSeagate, 0x10D},
    {"DC47", kSeagate, VendorSeagate, 0x10D},
    {"0F0J", kQuantum, VendorQuantum, 0x005}, {"1051", kQuantum, VendorQuantum, 0x005},
    {"1071", kQuantum, VendorQuantum, 0x005}, {"3807", kQuantum, VendorQuantum, 0x005},
    {"5520", kQuantum, VendorQuantum, 0x005}, {"5541", kQuantum, VendorQuantum, 0x005},
    {"8808", kQuantum, VendorQuantum, 0x001}, {"880R", kQuantum, VendorQuantum, 0x001},
    {"881R", kQuantum, VendorQuantum, 0x001}, {"885R", kQuantum, VendorQuantum, 0x001},
    {"886R", kQuantum, VendorQuantum, 0x001}, {"88E8", kQuantum, VendorQuantum, 0x001},
    {"887R", kQuantum, VendorQuantum, 0x001},
    {"L708", kQuantum, VendorQuantum, 0x005}, {"L918", kQuantum, VendorQuantum, 0x005},
    {"LXP0", kQuantum, VendorQuantum, 0x005}, {"LXY4", kQuantum, VendorQuantum, 0x005},
    {"LYK8", kQuantum, VendorQuantum, 0x005},
    {"24.3", "Western Digital", VendorWesternDigital, 0x200},
    {nullptr, nullptr, VendorUnknown, 0},
};

const IdentityRow PatternTable[kPatternRowCount + 1] = {
    {nullptr, kIbm, VendorIbm, kIbmKnown},
    {"SA??", kIbm, VendorIbm, kIbmLog},
    {"S1??", kIbm, VendorIbm, kIbmLog},
    {"D8??", kIbm, VendorIbm, kIbmLog},
    {"P8??", kIbm, VendorIbm, kIbmLog},
    {nullptr, kSeagate, VendorSeagate, 0x00D},
    {"F3??", kFujitsu, VendorFujitsu, 0x10D},
    {"53??", kFujitsu, VendorFujitsu, 0x00D},
    {"88??", kQuantum, VendorQuantum, 0x005},
    {"LY??", kQuantum, VendorQuantum, 0x005},
    {"LX??", kQuantum, VendorQuantum, 0x005},
    {"55??", kQuantum, VendorQuantum, 0x005},
    {nullptr, nullptr, VendorUnknown, 0x205},  // an unknown drive
};
// clang-format on

DriveIdentity& DriveIdentity::operator=(const DriveIdentity& other) {
  if (this == &other) return *this;
  std::memcpy(codeText, other.codeText, sizeof codeText);
  // A record that pointed at its own copy of the code points at this one's.
  revisionCode = other.revisionCode == other.codeText ? codeText : other.revisionCode;
  vendorName = other.vendorName;
  vendorNumber = other.vendorNumber;
  capabilities = other.capabilities;
  return *this;
}

DriveIdentifier::DriveIdentifier()
    : revisionRows_(CountUntilEnd(RevisionTable)), patternRows_(CountUntilEnd(PatternTable)) {}

bool DriveIdentifier::MatchInquiryData(const std::uint8_t* inquiry, std::uint32_t window, DriveIdentity* out) const {
  char code[kCodeLength];
  ChooseCode(inquiry, code);

  for (std::uint32_t row = 0; row < revisionRows_; ++row) {
    if (std::memcmp(RevisionTable[row].code, code, kCodeLength) != 0) continue;
    if (out != nullptr) Fill(*out, RevisionTable[row], nullptr);
    return true;
  }

  const IdentityRow* match = nullptr;
  for (std::uint32_t row = 0; row < patternRows_ && match == nullptr; ++row) {
    if (PatternTable[row].code != nullptr && CodeMatches(PatternTable[row].code, code)) match = &PatternTable[row];
  }
  // The data area holds a name starting anywhere in the largest window, and no further.
  window = std::min(window, kMaxIdentityWindow);
  for (std::uint32_t at = 0; at < window && match == nullptr; ++at) {
    for (std::uint32_t row = 0; row < patternRows_; ++row) {
      const char* name = PatternTable[row].vendorName;
      // Most positions differ in their first byte from most names.
      if (name[0] != '\0' && name[0] != static_cast<char>(inquiry[at])) continue;
      const std::size_t length = std::strlen(name);
      if (std::memcmp(inquiry + at, name, length) == 0) {
        match = &PatternTable[row];
        break;
      }
    }
  }
  if (out != nullptr) Fill(*out, match != nullptr ? *match : PatternTable[patternRows_], code);
  return match != nullptr;
}

std::uint32_t DriveIdentifier::IdentifyDrive(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target,
                                             DriveIdentity* out) const {
  if (const std::uint32_t result = adapter.InquireTarget(bus, target); result != 0) return result;
  const std::uint8_t* inquiry = adapter.GetDataBuffer(0);
  if (inquiry == nullptr) return kNoMemory;
  constexpr std::uint32_t kAdditionalLength = 4;
  constexpr std::uint32_t kWindowBase = 44;
  const std::uint32_t window = std::min<std::uint32_t>(inquiry[kAdditionalLength] + kWindowBase, kMaxIdentityWindow);
  return MatchInquiryData(inquiry, window, out) ? 0 : kOperationRefused;
}

}  // namespace lumbrel
