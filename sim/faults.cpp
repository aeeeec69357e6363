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
  static const auto calls = [] {
    std::map<std::string, std::vector<std::string>, std::less<>> known;
    for (const FaultableCall& call : kFaultableCalls) {
      auto& attributes = known[std::string(call.name)];
      for (const std::string_view attribute : call.attributes) {
        if (!attribute.empty()) attributes.emplace_back(attribute);
      }
    }
    return known;
  }();
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
  armed_.store(true, std::memory_order_release);
}

void Faults::Clear() {
  std::lock_guard<SimMutex> lock(mutex_);
  rules_.clear();
  armed_.store(false, std::memory_order_release);
}

std::uint64_t Faults::CheckedCount(std::string_view call) {
  if (const std::size_t index = FaultableCallIndex(call); index < kFaultableCallCount) {
    return checked_[index].load(std::memory_order_relaxed);
  }
  std::lock_guard<SimMutex> lock(mutex_);
  const auto checked = checkedUnlisted_.find(call);
  return checked == checkedUnlisted_.end() ? 0 : checked->second;
}

std::uint64_t Faults::InjectedCount() {
  std::lock_guard<SimMutex> lock(mutex_);
  return injected_;
}

void Faults::CountUnlisted(std::string_view call) {
  std::lock_guard<SimMutex> lock(mutex_);
  const auto checked = checkedUnlisted_.find(call);
  if (checked == checkedUnlisted_.end()) {
    checkedUnlisted_.emplace(std::string(call), 1);
  } else {
    ++checked->second;
  }
}

InjectedFailure Faults::Fire(std::string_view call, CallAttributes attributes) {
  std::lock_guard<SimMutex> lock(mutex_);
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
    return InjectedFailure(rule.error);
  }
  return {};
}

}  // namespace lumbrel::sim
