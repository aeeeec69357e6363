// Files the tool reads on the user's word: machine descriptions, batches,
// firmware images and log data. Each must be a regular file (a directory,
// device or FIFO is refused by name) of a bounded size, checked before a
// byte is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumbrel::diag {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kMaxMachineFileBytes = 16 * kMiB;
constexpr std::uint64_t kMaxFirmwareImageBytes = 16 * kMiB;
constexpr std::size_t kMaxBatchLineBytes = 64 * 1024;

// The error when `path` is no regular file of at most `maxBytes`; else
// none, with its size in `size`. `what` names the file in the message
// ("the firmware image").
std::optional<std::string> CheckInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                                          std::uint64_t& size);

// Reads at most `maxBytes` from the start of a file that CheckInputFile
// allowed: the first bytes of a longer one.
std::optional<std::string> ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                                         std::vector<std::uint8_t>& bytes);

}  // namespace lumbrel::diag
