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

std::string ToUpper(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// Upper-case hex without separators, as the trace writes bytes.
std::string Hex(const void* data, std::size_t size);
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
