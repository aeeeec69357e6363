#include "text_output.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "lumbrel.h"

namespace lumbrel::diag {

std::string JsonText(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8.push_back(c);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

std::string LatinText(std::string_view utf8) {
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if ((lead & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      bytes.push_back(static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F)));
    } else {
      bytes.push_back(utf8[i]);
    }
  }
  return bytes;
}

std::string DisplayText(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text.push_back(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

namespace {

struct ClassName {
  std::uint32_t classCode;
  const char* name;
};

constexpr ClassName kClassNames[] = {
    {LUMBREL_CLASS_BASE, "base"},         {LUMBREL_CLASS_MEGARAID, "MegaRAID"}, {LUMBREL_CLASS_DAC960, "DAC960"},
    {LUMBREL_CLASS_HHBA5100, "HHBA5100"}, {LUMBREL_CLASS_SCSIPORT, "SCSI port"}, {LUMBREL_CLASS_ATAPI, "IDE"},
    {LUMBREL_CLASS_QZV, "QZV"},
};

// Lower case, with spaces and '-' left out: the form names are compared in.
std::string Folded(std::string_view text) {
  std::string folded;
  for (char c : text) {
    if (c == ' ' || c == '-') continue;
    folded.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return folded;
}

}  // namespace

std::string ClassText(std::uint32_t classCode) {
  const std::string number = std::to_string(classCode);
  for (const ClassName& entry : kClassNames) {
    if (entry.classCode == classCode) return number + " (" + entry.name + ")";
  }
  return number;
}

std::optional<std::uint32_t> ParseClassName(std::string_view name) {
  // "scsi--port" or a lone "-" are no names, though they fold to one.
  if (name.empty() || name.find("--") != std::string_view::npos || name.front() == '-' || name.back() == '-') {
    return std::nullopt;
  }
  const std::string folded = Folded(name);
  for (const ClassName& entry : kClassNames) {
    if (Folded(entry.name) == folded) return entry.classCode;
  }
  return std::nullopt;
}

std::string FieldText(const char* field, std::size_t size) {
  std::size_t length = 0;
  while (length < size && field[length] != '\0') ++length;
  return std::string(field, length);
}

std::string MaskLetters(std::uint32_t mask) {
  std::string letters;
  for (int bit = 0; bit < 32; ++bit) {
    if ((mask >> bit & 1u) != 0) letters.push_back(static_cast<char>('A' + bit));
  }
  return letters;
}

std::string MaskLettersText(std::uint32_t mask) {
  if (mask == 0) return "none";
  std::string text;
  for (char letter : MaskLetters(mask)) {
    if (!text.empty()) text += ' ';
    text += DisplayText(std::string_view(&letter, 1)) + ":";
  }
  return text;
}

std::string RaidLevelText(std::uint32_t level) {
  return level == 65535 || level == 255 ? "none" : "RAID " + std::to_string(level);
}

std::string ReadinessText(std::uint32_t level) {
  static const char* const kMeanings[] = {"none",     "answers INQUIRY",       "ready",
                                          "readable", "has a drive letter",    "file test passed"};
  const std::string number = std::to_string(level);
  return level < std::size(kMeanings) ? number + " (" + kMeanings[level] + ")" : number;
}

std::string VendorText(std::uint32_t vendorNumber) {
  static const char* const kMakes[] = {"unknown", "Quantum", "Seagate", "IBM", "Fujitsu", "Western Digital"};
  const std::string number = " (" + std::to_string(vendorNumber) + ")";
  if (vendorNumber == 255) return "not a disk" + number;
  return vendorNumber < std::size(kMakes) ? kMakes[vendorNumber] + number : number.substr(1);
}

std::string Table::Render(const std::string& indent) const {
  std::vector<std::size_t> widths;
  for (const auto& row : rows_) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows_) {
    std::string line = indent;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

}  // namespace lumbrel::diag
