// The library as the diagnostics tool reaches it: the exports through
// pointers of their exact types, as a management application holds them,
// plus what only the host build can show (the port table and the simulated
// hardware).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumbrel_exports.h"

namespace lumbrel::diag {

// Pointers to the exports; null for an export that this library lacks.
using ExportTable = LumbrelExports;

// One SCSI port as the library's port table records it.
struct PortInfo {
  std::uint32_t port = 0;
  std::uint32_t classCode = 0;
  std::uint32_t busCount = 0;
  std::string driverName;
  std::string vendorName;
  std::optional<std::string> driverFilePath;
};

struct PortListing {
  std::uint32_t result = 0;  // the port scan's error when no port is found
  std::vector<PortInfo> ports;
};

// One direct-access drive of an adapter's bus, and who made it.
struct DriveInfo {
  std::uint32_t adapterNumber = 0;
  std::uint32_t bus = 0;
  std::uint32_t target = 0;
  std::uint32_t identifyResult = 0;  // 0 identified, 1004001 unknown, else the INQUIRY's failure
  std::optional<std::string> vendorName;  // none for an unknown drive
  std::uint32_t vendorNumber = 0;
  std::uint32_t capabilities = 0;
  std::string revisionCode;
};

struct DriveListing {
  std::uint32_t result = 0;  // the adapter list's error when it cannot be built
  std::vector<DriveInfo> drives;
};

// The three kinds of background job; one of each kind runs at a time.
enum class JobKind { Flash, Format, Firmware };

class Library {
 public:
  virtual ~Library() = default;
  const ExportTable& exports() const { return exports_; }

  // Which library this is, for --version: the host build's own, or the
  // DLL's path and FileVersion.
  virtual std::string Describe() const = 0;
  // Whether writing the trace has failed: the run must end then.
  virtual bool TraceFailed() const { return false; }

  // The port table (host build only).
  virtual std::optional<PortListing> Ports() { return std::nullopt; }
  // The simulated hardware as an operator would see it (host build only).
  virtual std::optional<nlohmann::ordered_json> MachineView() { return std::nullopt; }
  // Every drive the adapters' bus scans found, identified (host build only).
  virtual std::optional<DriveListing> Drives() { return std::nullopt; }

  // The clock the library's jobs run by, in milliseconds: the simulated
  // machine's virtual clock on the host, the system's on Windows. A plain
  // function, so that a job's callback may read it on its worker thread
  // even while the library unloads.
  using ClockFunction = std::uint64_t (*)();
  virtual ClockFunction Clock() const = 0;
  std::uint64_t Milliseconds() const { return Clock()(); }
  // The furthest the jobs' own clocks have gone, for progress: on the host
  // each job keeps its own virtual time.
  virtual std::uint64_t JobMilliseconds() { return Milliseconds(); }
  // Lets `milliseconds` pass on that clock: the host's Sleep only advances
  // the virtual clock, so nothing waits in real time there.
  virtual void Pause(std::uint32_t milliseconds) = 0;
  // Whether Milliseconds is a virtual clock.
  virtual bool VirtualTime() const = 0;
  // The tool has waited for something that happened at `milliseconds` on
  // another thread's clock (a job's callback). On the virtual clock, where
  // each job keeps its own time, the tool's time moves on to that moment.
  virtual void CatchUp(std::uint64_t milliseconds) { (void)milliseconds; }
  // After a job of `kind` called back, its mark clears a moment later. Waits
  // that moment out; true while another start may still succeed (`attempt`
  // counts the starts that gave -1 so far).
  virtual bool AwaitJobMarkClear(JobKind kind, int attempt) = 0;
  // After a start: waits until a job of `kind` is under way (the flash loop
  // has begun, so a stop or a wait reaches it) or `ended` says it is over.
  // Only the host can see that; elsewhere it returns at once.
  virtual void AwaitJobUnderway(JobKind, const std::function<bool()>&) {}

 protected:
  ExportTable exports_{};
};

struct LibraryOptions {
  std::optional<std::string> machineFile;  // host: the machine to simulate; else the default
  std::optional<std::string> traceFile;    // host: where the trace goes
  bool traceAllData = false;               // the trace keeps all returned data, not its first 64 bytes
  bool realtime = false;                   // host: the simulated machine's Sleep waits in real time too
};

// Loads the library: on Windows LUMBREL.dll through LoadLibraryA, on the host
// the library on a simulated machine. Throws std::runtime_error with a
// message for the user when that cannot be done.
std::unique_ptr<Library> OpenLibrary(const LibraryOptions& options);

}  // namespace lumbrel::diag
