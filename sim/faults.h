// Injected failures: rules that make chosen calls of the simulated platform
// fail with a chosen code.
//
// A rule names a call and, optionally, attributes that the call must match
// (the I2C address, the registry key, the device name, ...). It lets `skip`
// matching calls pass, then fails the next `count` of them (every later one
// when no count is given).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// A call that rules may name, with the attributes it offers (the unused
// places empty).
struct FaultableCall {
  std::string_view name;
  std::array<std::string_view, 4> attributes;
};

inline constexpr FaultableCall kFaultableCalls[] = {
    {"I2C_OpenDevice", {}},
    {"I2C_CloseDevice", {}},
    {"I2C_GetOutputShadow", {"address"}},
    {"I2C_ReceiveMessage", {"address"}},
    {"I2C_SendMessage", {"address"}},
    {"RegOpenKeyExA", {"key"}},
    {"RegQueryValueExA", {"key", "value"}},
    {"CreateFileA", {"name"}},
    {"CloseHandle", {"name"}},
    {"DeviceIoControl", {"device", "ioctl"}},
    {"ReadFile", {"name"}},
    {"WriteFile", {"name"}},
    {"DeleteFileA", {"name"}},
    {"FindFirstFileA", {"name"}},
    {"CreateThread", {}},
    {"LoadLibraryA", {"name"}},
    {"GetProcAddress", {"name"}},
    {"FreeLibrary", {}},
    {"GetWindowsDirectoryA", {}},
    {"GetSystemDirectoryA", {}},
    {"ExpandEnvironmentStringsA", {}},
    {"allocate", {"size"}},
    // A command reaching a SCSI target: 130 makes the target stay silent,
    // any other code is the status it answers with instead of running the
    // command.
    {"scsi", {"port", "bus", "target", "opcode"}},
};
inline constexpr std::size_t kFaultableCallCount = std::size(kFaultableCalls);

// The place of a call among kFaultableCalls; kFaultableCallCount for any other.
constexpr std::size_t FaultableCallIndex(std::string_view name) {
  std::size_t index = 0;
  while (index < kFaultableCallCount && kFaultableCalls[index].name != name) ++index;
  return index;
}

// The name of a platform call, as its code writes it: a literal, whose
// place among the faultable calls is found when the program is compiled,
// so that a call's check is counted without a look-up by name.
class CallName {
 public:
  consteval CallName(const char* name) : text_(name), index_(FaultableCallIndex(name)) {}  // NOLINT: implicit
  const char* text() const { return text_; }
  std::size_t index() const { return index_; }

 private:
  const char* text_;
  std::size_t index_;
};

// The failure that a rule injects into a call (an error code, or a SCSI
// status), when one fired. Unlike std::optional its "none" has every byte
// set, so the answer of nearly every check is made in a register rather
// than stored in part and read back whole, which stalls the processor.
class InjectedFailure {
 public:
  constexpr InjectedFailure() = default;
  constexpr explicit InjectedFailure(std::uint32_t code) : code_(code), fired_(true) {}
  constexpr explicit operator bool() const { return fired_; }
  constexpr std::uint32_t operator*() const { return code_; }

 private:
  std::uint32_t code_ = 0;
  bool fired_ = false;
};

class Faults {
 public:
  // Adds a rule; throws std::invalid_argument for a call or attribute that
  // no rule can match, so that a mistyped rule is not silently inert.
  void Add(FaultRule rule);
  void Clear();

  // The failure to inject into this call, if a rule fires. Strings compare
  // without regard to case. While no rule is listed this only counts the
  // call, and takes no lock of its own: every call is checked under the
  // machine's lock, which orders the counts, so a plain load and store count
  // exactly (a read-modify-write would cost more than the rest of the check).
  InjectedFailure Check(CallName call, CallAttributes attributes = {}) {
    if (call.index() < kFaultableCallCount) {
      std::atomic<std::uint64_t>& count = checked_[call.index()];
      count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    } else {
      CountUnlisted(call.text());
    }
    if (!armed_.load(std::memory_order_acquire)) return {};
    return Fire(call.text(), attributes);
  }

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
  void CountUnlisted(std::string_view call);
  InjectedFailure Fire(std::string_view call, CallAttributes attributes);

  SimMutex mutex_;
  std::atomic<bool> armed_{false};  // whether rules_ has a rule
  std::vector<ActiveRule> rules_;
  std::array<std::atomic<std::uint64_t>, kFaultableCallCount> checked_{};
  std::map<std::string, std::uint64_t, std::less<>> checkedUnlisted_;  // calls that no rule may name
  std::uint64_t injected_ = 0;
};

}  // namespace lumbrel::sim
