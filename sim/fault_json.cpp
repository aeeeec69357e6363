#include "sim/fault_json.h"

#include <stdexcept>

#include "sim/json_reader.h"

namespace lumbrel::sim {
namespace {

FaultRule ParseFault(const nlohmann::json& json, const std::string& path) {
  if (!json.is_object()) throw MachineFormatError(path + ": expected an object");
  FaultRule rule;
  for (const auto& [key, value] : json.items()) {
    const std::string where = path + "." + key;
    if (key == "call") {
      if (!value.is_string()) throw MachineFormatError(where + ": expected the name of a call");
      rule.call = ReadText(value, where);
    } else if (key == "error" || key == "skip" || key == "count") {
      if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xFFFFFFFFu) {
        throw MachineFormatError(where + ": expected a whole number from 0 to 4294967295");
      }
      const auto number = static_cast<std::uint32_t>(value.get<std::uint64_t>());
      if (key == "error") rule.error = number;
      if (key == "skip") rule.skip = number;
      if (key == "count") rule.count = number;
    } else if (value.is_number_unsigned()) {
      rule.where[key] = value.get<std::uint64_t>();
    } else if (value.is_string() && (key == "ioctl" || key == "address")) {
      // Numbers may be written in hex, as the trace writes ioctl codes.
      try {
        rule.where[key] = static_cast<std::uint64_t>(std::stoull(value.get<std::string>(), nullptr, 16));
      } catch (const std::exception&) {
        throw MachineFormatError(where + ": expected a hex number");
      }
    } else if (value.is_string()) {
      rule.where[key] = ReadText(value, where);
    } else {
      throw MachineFormatError(where + ": expected a number or a string");
    }
  }
  if (rule.call.empty()) throw MachineFormatError(path + ".call: every fault names the call it fails");
  if (!json.contains("error") && rule.call != "allocate") throw MachineFormatError(path + ".error: missing");
  // Let the fault table judge the call and its attributes now, with the path.
  try {
    Faults probe;
    probe.Add(rule);
  } catch (const std::invalid_argument& error) {
    throw MachineFormatError(path + ": " + error.what());
  }
  return rule;
}

}  // namespace

std::vector<FaultRule> ParseFaults(const nlohmann::json* faults, const std::string& path) {
  std::vector<FaultRule> rules;
  ForEach(faults, path, [&](const nlohmann::json& json, const std::string& rulePath) {
    rules.push_back(ParseFault(json, rulePath));
  });
  return rules;
}

}  // namespace lumbrel::sim
