// Timed edits of a running machine: at virtual time `at` (milliseconds from
// the start), a drive's INQUIRY data or a container of the maker's
// controller is replaced, so that a batch can watch the library's refreshes
// and rebuilds pick the change up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumbrel::sim {

class Machine;

struct MachineChange {
  std::uint64_t at = 0;
  std::uint32_t port = 0;
  // A drive's INQUIRY data, whole.
  std::optional<std::uint32_t> bus;
  std::optional<std::uint32_t> target;
  std::optional<std::vector<std::uint8_t>> inquiry;
  // A container (by number) of a qzv port: the fields given.
  std::optional<std::uint32_t> container;
  std::optional<std::uint32_t> type;
  std::optional<std::uint32_t> state;
  std::optional<std::vector<std::pair<std::uint8_t, std::uint8_t>>> members;
};

// Parses the top-level "changes" array; `path` names it in errors.
std::vector<MachineChange> ParseChanges(const nlohmann::json* array, const std::string& path);

// Applies, in order, the changes whose time the calling thread's clock has
// reached, and drops them.
void ApplyChangesDue(Machine& machine, std::vector<MachineChange>& pending);

}  // namespace lumbrel::sim
