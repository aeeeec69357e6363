#include "sim/faults.h"

#include <stdexcept>

#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

bool Matches(const FaultAttribute& want, const CallAttribute& got) {
  if (want.index() != got.index()) return false;
  if (const auto* text = std::get_if<std::string>(&want)) {
    return EqualsIgnoreCase(*text, std::get<std::string_view>(got));
  }
  return std::get<std::uint64_t>(want) == std::get<std::uint64_t>(got);
}

}  // namespace

const std::map<std::string, std::vector<std::string>, std::less<>>& Faults::KnownCalls() {
  static const std::map<std::string, std::vector<std::string>, std::less<>> calls = {
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
  return calls;
}

void Faults::Add(FaultRule rule) {
  const auto& known = KnownCalls();
  const auto call = known.find(rule.call);
  if (call == known.end()) throw std::invalid_argument("no fault can be injected into a call named \"" + rule.call + "\"");
  for (const auto& [name, value] : rule.where) {
    bool offered = false;
    for (const std::string& attribute : call->second) offered = offered || attribute == name;
    if (!offered) throw std::invalid_argument("a fault in " + rule.call + " cannot match on \"" + name + "\"");
  }
  std::lock_guard<SimMutex> lock(mutex_);
  rules_.push_back(ActiveRule{std::move(rule), 0});
}

void Faults::Clear() {
  std::lock_guard<SimMutex> lock(mutex_);
  rules_.clear();
}

std::uint64_t Faults::CheckedCount(std::string_view call) {
  std::lock_guard<SimMutex> lock(mutex_);
  const auto checked = checked_.find(call);
  return checked == checked_.end() ? 0 : checked->second;
}

std::uint64_t Faults::InjectedCount() {
  std::lock_guard<SimMutex> lock(mutex_);
  return injected_;
}

std::optional<std::uint32_t> Faults::Check(std::string_view call, CallAttributes attributes) {
  std::lock_guard<SimMutex> lock(mutex_);
  const auto checked = checked_.find(call);
  if (checked == checked_.end()) {
    checked_.emplace(std::string(call), 1);
  } else {
    ++checked->second;
  }
  for (ActiveRule& active : rules_) {
    const FaultRule& rule = active.rule;
    if (rule.call != call) continue;
    bool match = true;
    for (const auto& [name, want] : rule.where) {
      bool found = false;
      for (const auto& [offered, got] : attributes) {
        if (offered == name) found = Matches(want, got);
      }
      match = match && found;
    }
    if (!match) continue;
    const std::uint32_t ordinal = active.matched++;
    if (ordinal < rule.skip) continue;
    if (rule.count && ordinal - rule.skip >= *rule.count) continue;
    ++injected_;
    return rule.error;
  }
  return std::nullopt;
}

}  // namespace lumbrel::sim
