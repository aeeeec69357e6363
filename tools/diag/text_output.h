// Text that leaves the tool: JSON strings and aligned tables. Text that comes
// from drives and the registry is arbitrary bytes; every output carries it
// without failing and without losing the rest of the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumbrel::diag {

// The bytes as a JSON string value: each byte is the character of that code
// (Latin-1), so any byte sequence becomes valid UTF-8 and nothing is lost.
std::string JsonText(std::string_view bytes);

// The bytes that JsonText made a string of, back again.
std::string LatinText(std::string_view utf8);

// The bytes for a terminal: printable ASCII as it is, anything else as \xNN.
std::string DisplayText(std::string_view bytes);

// An adapter class code for a table: the number with its name beside it,
// "4 (SCSI port)", or the number alone when the code names no class.
std::string ClassText(std::uint32_t classCode);

// The class code that a name of ClassText stands for, as a user types it:
// letters without regard to case, a space written as '-' or left out
// ("scsi-port", "SCSIPORT", "megaraid"). None for any other word.
std::optional<std::uint32_t> ParseClassName(std::string_view name);

// A record's NUL-terminated text field: up to its terminator, never past
// the field.
std::string FieldText(const char* field, std::size_t size);

// A drive-letter mask (bit 0 = A:) as the letters, "CD", and for a
// terminal, "C: D:" ("none" for 0).
std::string MaskLetters(std::uint32_t mask);
std::string MaskLettersText(std::uint32_t mask);

// A RAID level for a terminal: "RAID 5", or "none" for the values that
// stand for no array (65535, and 255 in a record's one byte).
std::string RaidLevelText(std::uint32_t level);

// A readiness level (0 to 5) with the test it stands for: "3 (readable)".
std::string ReadinessText(std::uint32_t level);

// A drive's vendor number with the make it stands for: "IBM (3)".
std::string VendorText(std::uint32_t vendorNumber);

// A table with a header row, rendered with columns padded to their widest cell.
class Table {
 public:
  explicit Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  std::string Render(const std::string& indent = "") const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Bytes as upper-case hex digits, two a byte, as the JSON output carries them.
std::string HexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace lumbrel::diag
