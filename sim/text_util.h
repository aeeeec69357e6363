// Small text helpers of the simulator: case-insensitive names, hex.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace lumbrel::sim
