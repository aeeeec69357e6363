// Injected failures: rules that make chosen calls of the simulated platform
// fail with a chosen code.
//
// A rule names a call and, optionally, attributes that the call must match
// (the I2C address, the registry key, the device name, ...). It lets `skip`
// matching calls pass, then fails the next `count` of them (every later one
// when no count is given).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "sim/sim_lock.h"

namespace lumbrel::sim {

using FaultAttribute = std::variant<std::uint64_t, std::string>;

struct FaultRule {
  std::string call;
  std::map<std::string, FaultAttribute> where;  // every attribute must match
  std::uint32_t error = 0;
  std::uint32_t skip = 0;
  std::optional<std::uint32_t> count;
};

// The attributes that a call offers to rules: views, so that offering them
// costs no copy.
using CallAttribute = std::variant<std::uint64_t, std::string_view>;
using CallAttributes = std::initializer_list<std::pair<std::string_view, CallAttribute>>;

class Faults {
 public:
  // Adds a rule; throws std::invalid_argument for a call or attribute that
  // no rule can match, so that a mistyped rule is not silently inert.
  void Add(FaultRule rule);
  void Clear();

  // The failure to inject into this call, if a rule fires. Strings compare
  // without regard to case.
  std::optional<std::uint32_t> Check(std::string_view call, CallAttributes attributes = {});

  // How often a call was checked (whether or not a rule fired), and how many
  // failures were injected, since the machine was built: a sweep counts the
  // calls of a clean run, then fails each in turn.
  std::uint64_t CheckedCount(std::string_view call);
  std::uint64_t InjectedCount();

  // The calls that rules may name, with the attributes each offers.
  static const std::map<std::string, std::vector<std::string>, std::less<>>& KnownCalls();

 private:
  struct ActiveRule {
    FaultRule rule;
    std::uint32_t matched = 0;
  };
  SimMutex mutex_;
  std::vector<ActiveRule> rules_;
  std::map<std::string, std::uint64_t, std::less<>> checked_;
  std::uint64_t injected_ = 0;
};

}  // namespace lumbrel::sim
