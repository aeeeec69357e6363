// The library as the diagnostics tool reaches it: the exports through
// pointers of their exact types, as a management application holds them,
// plus what only the host build can show (the port table and the simulated
// hardware).
#pragma once

#include <cstdint>
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

class Library {
 public:
  virtual ~Library() = default;
  const ExportTable& exports() const { return exports_; }

  // The port table (host build only).
  virtual std::optional<PortListing> Ports() { return std::nullopt; }
  // The simulated hardware as an operator would see it (host build only).
  virtual std::optional<nlohmann::ordered_json> MachineView() { return std::nullopt; }

 protected:
  ExportTable exports_{};
};

struct LibraryOptions {
  std::optional<std::string> machineFile;  // host: the machine to simulate; else the default
  std::optional<std::string> traceFile;    // host: where the trace goes
};

// Loads the library: on Windows LUMBREL.dll through LoadLibraryA, on the host
// the library on a simulated machine. Throws std::runtime_error with a
// message for the user when that cannot be done.
std::unique_ptr<Library> OpenLibrary(const LibraryOptions& options);

}  // namespace lumbrel::diag
