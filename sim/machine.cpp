#include "sim/machine.h"

#include <algorithm>
#include <cctype>

#if defined(_WIN32)
#include "platform/win32.h"
#else
#include "sim/sim_thread.h"
#endif
#include "sim/text_util.h"

namespace lumbrel::sim {

Machine::Machine(MachineSettings settings)
    : settings_(std::move(settings)), clock_(settings_.tickCount, settings_.calendarTime) {}

Machine::~Machine() { WaitForThreads(); }

void Machine::AddDevice(std::string_view name, std::shared_ptr<Device> device) {
  std::lock_guard lock(mutex_);
  devices_[ToUpper(name)] = std::move(device);
  lastFound_ = nullptr;
}

const std::shared_ptr<Device>& Machine::FindDevice(std::string_view name) const {
  static const std::shared_ptr<Device> kNone;
  if (lastFound_ != nullptr && name == lastFoundName_) return *lastFound_;
  const auto it = devices_.find(name);
  if (it == devices_.end()) return kNone;
  lastFoundName_.assign(name);
  lastFound_ = &it->second;
  return it->second;
}

void Machine::SetChanges(std::vector<MachineChange> changes) {
  std::lock_guard lock(mutex_);
  changes_ = std::move(changes);
  changesPending_.store(!changes_.empty(), std::memory_order_release);
}

void Machine::ApplyPendingChanges() {
  sim::ApplyChangesDue(*this, changes_);
  changesPending_.store(!changes_.empty(), std::memory_order_release);
}

void Machine::RemoveDevice(std::string_view name) {
  std::lock_guard lock(mutex_);
  devices_.erase(ToUpper(name));
  lastFound_ = nullptr;
}

void Machine::AddVolume(const VolumeConfig& volume) {
  std::lock_guard lock(mutex_);
  volumes_[volume.letter] = volume;
}

const VolumeConfig* Machine::FindVolume(char letter) const {
  const auto it = volumes_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == volumes_.end() ? nullptr : &it->second;
}

void Machine::RemoveVolume(char letter) {
  std::lock_guard lock(mutex_);
  volumes_.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

const VolumeConfig* Machine::VolumeOfPath(std::string_view path) const {
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return nullptr;
  return FindVolume(path[0]);
}

std::vector<const VolumeConfig*> Machine::Volumes() const {
  std::vector<const VolumeConfig*> all;
  for (const auto& [letter, volume] : volumes_) all.push_back(&volume);
  return all;
}

std::optional<std::string> Machine::Environment(std::string_view name) const {
  if (EqualsIgnoreCase(name, "SystemRoot") || EqualsIgnoreCase(name, "windir")) return settings_.windowsDirectory;
  if (EqualsIgnoreCase(name, "SystemDrive")) return settings_.windowsDirectory.substr(0, 2);
  return std::nullopt;
}

void* Machine::AddKey(RegistryKey* key) {
  std::lock_guard lock(mutex_);
  const std::uintptr_t handle = nextKey_;
  nextKey_ += 4;
  keys_[handle] = key;
  return reinterpret_cast<void*>(handle);
}

RegistryKey* Machine::FindKey(void* handle) {
  const auto it = keys_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == keys_.end() ? nullptr : it->second;
}

bool Machine::RemoveKey(void* handle) {
  std::lock_guard lock(mutex_);
  return keys_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

std::size_t Machine::OpenHandleCount() const { return handles_.size(); }

std::size_t Machine::OpenKeyCount() const { return keys_.size(); }

#if defined(_WIN32)
std::uint32_t Machine::AddressOf(const void* buffer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

void* Machine::Resolve(std::uint32_t address, std::size_t length) const {
  if (address == 0) return nullptr;
  // Every page of the range must be committed and accessible.
  std::uintptr_t at = address;
  const std::uintptr_t end = at + (length == 0 ? 1 : length);
  if (end < at) return nullptr;
  while (at < end) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != sizeof region) return nullptr;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return nullptr;
    at = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
}

// The real threads are the process's own; whoever started them joins them.
void Machine::WaitForThreads() {}
#else
std::uint32_t Machine::AddressOf(const void* buffer) {
  std::lock_guard lock(mutex_);
  const auto it = addressOf_.find(buffer);
  if (it != addressOf_.end()) return it->second;
  const std::uint32_t address = nextAddress_;
  nextAddress_ += 0x10;
  addressOf_[buffer] = address;
  resolve_[address] = const_cast<void*>(buffer);
  return address;
}

void* Machine::Resolve(std::uint32_t address, std::size_t length) const {
  // The address of a buffer is the address handed out for its start.
  const auto it = resolve_.find(address);
  (void)length;
  return it == resolve_.end() ? nullptr : it->second;
}

std::shared_ptr<SimThread> Machine::StartThread(SimThread::Routine routine, void* parameter, bool suspended) {
  auto thread = std::make_shared<SimThread>(routine, parameter, suspended, clock_.ElapsedMilliseconds());
  std::lock_guard lock(mutex_);
  // Threads that have returned are joined now, not at the end: a long run
  // would otherwise keep every stack it ever started. Of those, the one that
  // reached the latest time stays listed, for WaitForThreads to catch up with.
  std::vector<std::shared_ptr<SimThread>> listed;
  std::shared_ptr<SimThread> latest;
  for (auto& started : threads_) {
    if (!started->finished()) {
      listed.push_back(std::move(started));
      continue;
    }
    started->Join();
    if (latest == nullptr || started->elapsed() > latest->elapsed()) latest = std::move(started);
  }
  if (latest != nullptr) listed.push_back(std::move(latest));
  threads_.swap(listed);
  threads_.push_back(thread);
  return thread;
}

std::uint64_t Machine::LatestThreadTime() {
  std::lock_guard lock(mutex_);
  std::uint64_t latest = 0;
  for (const auto& thread : threads_) latest = std::max(latest, thread->elapsed());
  return latest;
}

void Machine::WaitForThreads() {
  for (;;) {
    std::vector<std::shared_ptr<SimThread>> threads;
    {
      std::lock_guard lock(mutex_);
      threads.swap(threads_);
    }
    if (threads.empty()) return;
    // Joined without the machine's lock: the threads call into the machine.
    // Having waited for them, the caller is as late as the latest of them.
    for (const auto& thread : threads) {
      thread->Join();
      clock_.CatchUp(thread->elapsed());
    }
  }
}

#endif

}  // namespace lumbrel::sim
