// The simulated server: everything that the Win32 subset, the registry, the
// drivers and the I2C library of the host build act on.
//
// One machine is current at a time (simulator.h). Every platform call locks
// the machine for its duration, so calls from worker threads see a
// consistent machine; Sleep only advances the virtual clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/array_library.h"
#include "sim/cage_board.h"
#include "sim/device.h"
#include "sim/faults.h"
#include "sim/machine_changes.h"
#include "sim/file_system.h"
#include "sim/handle_table.h"
#include "sim/kernel_object.h"
#include "sim/registry.h"
#include "sim/scsi/scsi_world.h"
#include "sim/sim_lock.h"
#include "sim/text_util.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"
#include "sim/volume_config.h"

namespace lumbrel::sim {

class SimThread;  // host build only: there the platform's threads are simulated too

struct MachineSettings {
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\System32";
  std::uint32_t tickCount = 600000;         // GetTickCount when the module loads: 10 minutes up
  std::uint32_t calendarTime = 1764547200;  // time() at that moment
};

class Machine {
 public:
  explicit Machine(MachineSettings settings = {});
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  SimRecursiveMutex& mutex() { return mutex_; }
  const MachineSettings& settings() const { return settings_; }
  Registry& registry() { return registry_; }
  FileSystem& files() { return files_; }
  I2cBus& i2c() { return i2c_; }
  VirtualClock& clock() { return clock_; }
  Faults& faults() { return faults_; }
  // The timed edits still to come, in time order.
  void SetChanges(std::vector<MachineChange> changes);
  // Applies, under the machine's lock, the edits whose time the calling
  // thread has reached.
  void ApplyChangesDue() {
    if (!changes_.empty()) ApplyPendingChanges();
  }
  // Whether an edit is still to come; also read without the lock.
  bool ChangesPending() const { return changesPending_.load(std::memory_order_acquire); }
  Trace& trace() { return trace_; }
  // The SCSI ports, buses and devices behind the device namespace.
  ScsiWorld& scsi() { return scsi_; }
  const ScsiWorld& scsi() const { return scsi_; }
  // The array controller management library, when it is installed.
  SimArrayLibrary& arrayLibrary() { return arrayLibrary_; }
  const SimArrayLibrary& arrayLibrary() const { return arrayLibrary_; }

  // The device namespace: "\\.\NAME" opens the device registered as NAME.
  // A found device (null when none) is the machine's own reference: copy it
  // before the machine's lock is let go or a device is added or removed.
  void AddDevice(std::string_view name, std::shared_ptr<Device> device);
  const std::shared_ptr<Device>& FindDevice(std::string_view name) const;
  void RemoveDevice(std::string_view name);

  // Volumes by drive letter (upper case).
  void AddVolume(const VolumeConfig& volume);
  const VolumeConfig* FindVolume(char letter) const;
  void RemoveVolume(char letter);
  // The volume that a path "X:\..." lies on, or null.
  const VolumeConfig* VolumeOfPath(std::string_view path) const;
  std::vector<const VolumeConfig*> Volumes() const;

  // Environment variables (SystemRoot and windir are the Windows directory).
  std::optional<std::string> Environment(std::string_view name) const;

  // Kernel handles: files, devices, threads and file searches. The caller
  // holds the machine's lock, as every platform call does.
  void* AddHandle(KernelObject object) { return handles_.Add(std::move(object)); }
  KernelObject& OpenHandle(void** handle) { return handles_.Open(handle); }
  KernelObject* FindHandle(void* handle) { return handles_.Find(handle); }
  bool RemoveHandle(void* handle) { return handles_.Remove(handle); }
  // The system buffer of DeviceIoControl, at least `size` bytes; for the
  // holder of the machine's lock.
  std::span<std::uint8_t> ControlBuffer(std::size_t size) {
    if (controlBuffer_.size() < size) controlBuffer_.resize(size);
    return {controlBuffer_.data(), size};
  }

  // Open registry keys.
  void* AddKey(RegistryKey* key);
  RegistryKey* FindKey(void* handle);
  bool RemoveKey(void* handle);

  // Accounting, so that tests can show that nothing stays open.
  std::size_t OpenHandleCount() const;
  std::size_t OpenKeyCount() const;
  std::size_t LiveAllocationCount() const { return liveAllocations_; }
  void CountAllocation(int delta) { liveAllocations_ += delta; }

  // 32-bit process addresses handed out for buffers, and their resolution
  // to the buffer of `length` bytes there; null when no such buffer is
  // known. In a 32-bit Windows process an address is the pointer itself,
  // and it resolves when the whole range is memory the process may use.
  std::uint32_t AddressOf(const void* buffer);
  void* Resolve(std::uint32_t address, std::size_t length) const;

#if !defined(_WIN32)
  // Threads started through CreateThread (on Windows the threads are real).
  std::shared_ptr<SimThread> StartThread(std::uint32_t (*routine)(void*), void* parameter, bool suspended);
  // The latest virtual time that a thread started here has reached.
  std::uint64_t LatestThreadTime();
#endif
  // Waits until every thread started so far has returned.
  void WaitForThreads();

 private:
  void ApplyPendingChanges();

  SimRecursiveMutex mutex_;
  MachineSettings settings_;
  Registry registry_;
  FileSystem files_;
  I2cBus i2c_;
  VirtualClock clock_;
  Faults faults_;
  Trace trace_;
  ScsiWorld scsi_{faults_, clock_};  // after the faults and the clock it uses
  SimArrayLibrary arrayLibrary_;
  std::vector<MachineChange> changes_;
  std::atomic<bool> changesPending_{false};
  std::map<std::string, std::shared_ptr<Device>, LessIgnoreCase> devices_;  // by upper-case name
  // The last name found, as the caller spelled it, and its entry: a job opens
  // the same device for every request. Under the machine's lock; forgotten
  // whenever a device is added or removed.
  mutable std::string lastFoundName_;
  mutable const std::shared_ptr<Device>* lastFound_ = nullptr;
  std::map<char, VolumeConfig> volumes_;
#if defined(_WIN32)
  // Far above the handles of the real process, which live beside them.
  HandleTable handles_{0x3F000000};
#else
  HandleTable handles_{0x100};
#endif
  std::map<std::uintptr_t, RegistryKey*> keys_;
  std::vector<std::uint8_t> controlBuffer_;
  std::uintptr_t nextKey_ = 0x1000;
  std::map<const void*, std::uint32_t> addressOf_;
  std::map<std::uint32_t, void*> resolve_;
  std::uint32_t nextAddress_ = 0x00400000;
  std::vector<std::shared_ptr<SimThread>> threads_;
  std::atomic<std::int64_t> liveAllocations_{0};
};

}  // namespace lumbrel::sim
