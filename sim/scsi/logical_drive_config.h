// What a machine file says about the logical drives of an array controller
// port ("logicalDrives"): MegaRAID and HHBA5100 logical drives, or the
// containers of the maker's controller, which its management library serves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace lumbrel::sim {

struct SpanDriveConfig {
  std::uint8_t bus = 0;
  std::uint8_t target = 0;
  std::uint32_t blocks = 0;
};

struct SpanConfig {
  std::uint32_t blocks = 0;  // defaults to the sum of its drives'
  std::vector<SpanDriveConfig> drives;
};

// A MegaRAID or HHBA5100 logical drive.
struct LogicalDriveConfig {
  std::uint8_t level = 0;
  std::uint8_t state = 0;
  std::vector<SpanConfig> spans;
  std::optional<std::uint32_t> physicalDrive;  // claimed by the disk class driver at bus 0, target i
};

// A container of the maker's controller.
struct ContainerConfig {
  std::uint32_t number = 0;  // defaults to its place in the list
  std::uint32_t type = 0;
  std::uint32_t state = 0;
  std::uint64_t sizeBytes = 0;
  std::uint32_t qualifierA = 0;
  std::uint32_t qualifierB = 0;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> members;  // bus, target
  std::optional<std::uint32_t> memberCount;  // the count the record declares; default: the members listed
  bool skipped = false;
  std::optional<std::uint32_t> physicalDrive;  // claimed at bus 5, target = the container number
  // The raw record the management library writes instead of the built one
  // (cut to the caller's buffer), for libraries that report malformed records.
  std::optional<std::vector<std::uint8_t>> record;
};

// Raw reply overrides, for controllers that answer with malformed data.
struct ArrayReplyOverrides {
  std::optional<std::vector<std::uint8_t>> enquiryReply;
  std::optional<std::vector<std::uint8_t>> configurationReply;
  std::optional<std::vector<std::uint8_t>> versionReply;  // HHBA5100 only
  std::uint8_t mailboxStatus = 0;  // MegaRAID: the command status of mailboxes 5 and 7
  std::optional<std::uint32_t> configurationId;  // the maker's controller: what its library reports
};

// Parse the "logicalDrives" array of one port; `path` names it in errors.
std::vector<LogicalDriveConfig> ParseLogicalDrives(const nlohmann::json& array, const std::string& path);
std::vector<ContainerConfig> ParseContainers(const nlohmann::json& array, const std::string& path);
// A logical drive's "spans" array.
std::vector<SpanConfig> ParseSpans(const nlohmann::json& array, const std::string& path);

struct PortConfig;
// The checks of a MegaRAID or HHBA5100 port's logical drives against the
// port: no more logical drives, spans and drives than the controller's
// reply holds, and every member a device on the port's buses.
void CheckLogicalDrives(const PortConfig& port, const std::string& path);
// The same checks of one logical drive of the port, `at` naming it.
void CheckLogicalDrive(const PortConfig& port, const LogicalDriveConfig& drive, const std::string& at);

}  // namespace lumbrel::sim
