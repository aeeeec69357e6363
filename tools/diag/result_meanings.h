// What a result code means. One code can carry several meanings: the
// library's own codes share one space with SCSI statuses, controller
// statuses, Windows error codes and the I2C library's codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumbrel::diag {

std::vector<std::string> ExplainResult(std::uint32_t code);

// A result for a line of text: "0", or the code with every meaning it can
// have, "2 (...; or ...)".
std::string ResultText(std::uint32_t code);

// Parses a code as the user writes it: decimal, 0x-prefixed hex, or a
// negative decimal such as -1 (taken modulo 2^32).
std::optional<std::uint32_t> ParseResultCode(const std::string& text);

}  // namespace lumbrel::diag
