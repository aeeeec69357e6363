// Timed edits of a running machine: at virtual time `at` (milliseconds from
// the start), a drive's INQUIRY data, a container of the maker's controller,
// a MegaRAID or HHBA5100 logical drive, or a volume's letter and disks are
// replaced, so that a batch can watch the library's refreshes and rebuilds
// pick the change up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/scsi/logical_drive_config.h"

namespace lumbrel::sim {

class Machine;
struct MachineConfig;

struct MachineChange {
  std::uint64_t at = 0;
  std::uint32_t port = 0;  // for every kind but a volume's
  // A drive's INQUIRY data, whole.
  std::optional<std::uint32_t> bus;
  std::optional<std::uint32_t> target;
  std::optional<std::vector<std::uint8_t>> inquiry;
  // A container (by number) of a qzv port: the fields given.
  std::optional<std::uint32_t> container;
  std::optional<std::uint32_t> type;
  std::optional<std::uint32_t> state;  // also a logical drive's
  std::optional<std::vector<std::pair<std::uint8_t, std::uint8_t>>> members;
  // A logical drive (by index) of a megaraid or hhba5100 port: the fields given.
  std::optional<std::uint32_t> logicalDrive;
  std::optional<std::uint8_t> level;
  std::optional<std::vector<SpanConfig>> spans;
  // A volume (by its letter at the time): a new letter, new disks.
  std::optional<char> volume;
  std::optional<char> letter;
  std::optional<std::vector<std::uint32_t>> extents;
};

// Parses the top-level "changes" array of a machine whose ports and volumes
// are read; `path` names it in errors. Every change must name something the
// machine has at its time: a drive, a container, a logical drive (whose new
// spans the controller's reply holds), a volume (whose new letter is free).
std::vector<MachineChange> ParseChanges(const nlohmann::json* array, const std::string& path,
                                        const MachineConfig& machine);

// Applies, in order, the changes whose time the calling thread's clock has
// reached, and drops them.
void ApplyChangesDue(Machine& machine, std::vector<MachineChange>& pending);

}  // namespace lumbrel::sim
