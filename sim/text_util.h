// Small text helpers of the simulator: case-insensitive names, hex, and
// the one way texts and bytes meet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumbrel::sim {

// Case is that of ASCII letters only, as the names compared here are.
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string ToUpper(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
// Orders names as their upper-case forms order, so that a map keyed by
// upper-case names finds a name as given, without an upper-case copy.
struct LessIgnoreCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// Upper-case hex without separators, as the trace writes bytes.
std::string Hex(const void* data, std::size_t size);
// The CRC-32 of zlib and PNG (reflected 0x04C11DB7), by which the trace and
// the machine view name a block of data without writing it all.
std::uint32_t Crc32(const void* data, std::size_t size);
// The bytes that name written data: the CRC-32 as 8 hex digits, and the
// first 16 bytes as hex.
inline constexpr std::size_t kDataHeadSize = 16;
// Parses hex digits, ignoring spaces; throws std::invalid_argument.
std::vector<std::uint8_t> ParseHex(std::string_view text);

// The platform's texts are bytes, and a JSON text (UTF-8 here) stands for
// them one character per byte: U+0000 to U+00FF are the bytes 00 to FF.
// Machine files are read this way and the trace is written this way.
// The bytes of a UTF-8 text; none when a character lies above U+00FF.
std::optional<std::string> BytesOfText(std::string_view utf8);
// The UTF-8 text whose characters are these bytes.
std::string TextOfBytes(std::string_view bytes);

}  // namespace lumbrel::sim
