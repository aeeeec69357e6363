#include "text_output.h"

#include <algorithm>
#include <cstdio>

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

std::string ClassText(std::uint32_t classCode) {
  const char* name = nullptr;
  switch (classCode) {
    case LUMBREL_CLASS_BASE: name = "base"; break;
    case LUMBREL_CLASS_MEGARAID: name = "MegaRAID"; break;
    case LUMBREL_CLASS_DAC960: name = "DAC960"; break;
    case LUMBREL_CLASS_HHBA5100: name = "HHBA5100"; break;
    case LUMBREL_CLASS_SCSIPORT: name = "SCSI port"; break;
    case LUMBREL_CLASS_ATAPI: name = "IDE"; break;
    case LUMBREL_CLASS_QZV: name = "QZV"; break;
  }
  const std::string number = std::to_string(classCode);
  return name != nullptr ? number + " (" + name + ")" : number;
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
