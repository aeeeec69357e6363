// What one simulated drive received: counts per operation code and the last
// few commands, for tests and for views of the machine (activity lights).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace lumbrel::sim {

struct ReceivedCommand {
  std::array<std::uint8_t, 16> cdb{};
  std::uint8_t cdbLength = 0;
  std::uint8_t status = 0;
  std::uint32_t transferred = 0;  // data bytes moved, either way
};

class CommandLog {
 public:
  static constexpr std::size_t kRecent = 32;

  void Record(std::span<const std::uint8_t> cdb, std::uint8_t status, std::uint32_t transferred);
  // A command that reached the target's address but found it silent.
  void CountUnanswered() { ++unanswered_; }
  void AddBlocks(std::uint64_t read, std::uint64_t written) {
    blocksRead_ += read;
    blocksWritten_ += written;
  }
  void Clear() { *this = CommandLog(); }

  std::uint64_t total() const { return total_; }
  std::uint64_t count(std::uint8_t opcode) const { return byOpcode_[opcode]; }
  std::uint64_t unanswered() const { return unanswered_; }
  std::uint64_t blocksRead() const { return blocksRead_; }
  std::uint64_t blocksWritten() const { return blocksWritten_; }
  // The last commands (at most kRecent), oldest first.
  std::vector<ReceivedCommand> Recent() const;

 private:
  std::uint64_t total_ = 0;
  std::uint64_t unanswered_ = 0;
  std::uint64_t blocksRead_ = 0;
  std::uint64_t blocksWritten_ = 0;
  std::array<std::uint64_t, 256> byOpcode_{};
  std::array<ReceivedCommand, kRecent> recent_{};
};

}  // namespace lumbrel::sim
