// The array controller management library "AfaApi.dll" of the simulated
// server: what a machine file says about it, and its state while the
// library under test loads it, resolves its entry points and calls them.
//
// It serves the containers of the maker's controllers ("\\.\QZVn"). Every
// entry-point call gives a trace record named after the entry point, whose
// "result" is the library's status (1 = success).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/win32.h"
#include "sim/scsi/logical_drive_config.h"

namespace lumbrel::sim {

struct ArrayLibraryConfig {
  bool installed = false;  // LoadLibraryA("AfaApi.dll") succeeds
  bool probeFile = false;  // "AfaAppSe.dll" lies in the system directory
  std::optional<std::uint32_t> configurationId;  // default: derived from the containers
  std::optional<std::uint32_t> containerCount;   // default: the number of containers
  std::vector<std::string> missingEntryPoints;   // names GetProcAddress does not find
  std::uint32_t openStatus = 1;
  std::uint32_t listStatus = 1;
  std::uint32_t infoStatus = 1;
  std::optional<std::vector<std::uint8_t>> generalInformation;  // the 568-byte block; default: version 3.1-25 REL
};

// Parses the top-level "arrayLibrary" object; `path` names it in errors.
ArrayLibraryConfig ParseArrayLibrary(const nlohmann::json& json, const std::string& path);

class SimArrayLibrary {
 public:
  // The status the library answers for an unknown device, handle or argument.
  static constexpr std::uint32_t kStatusInvalid = 2;
  static constexpr std::uint32_t kStatusNoMoreContainers = 4;
  static constexpr const char* kName = "AfaApi.dll";

  // What a machine file said; tests may change it while the machine runs.
  ArrayLibraryConfig config;

  // The containers of the controller "\\.\QZV<index>" on SCSI port `port`.
  // `configurationId`, when given, is what the library reports for it.
  void AddController(std::uint32_t index, std::uint32_t port, std::vector<ContainerConfig> containers,
                     std::optional<std::uint32_t> configurationId = std::nullopt);
  std::vector<ContainerConfig>* Containers(std::uint32_t index);
  std::optional<std::uint32_t> PortOf(std::uint32_t index) const;

  // The loader's side: a module handle for "AfaApi.dll" when installed
  // (counted like Windows' module references), null otherwise.
  HMODULE Load(std::string_view name);
  bool Owns(HMODULE module) const { return module == kModule; }
  static HMODULE ModuleHandle() { return kModule; }
  bool Free(HMODULE module);
  // An entry point of the loaded library by name; null when missing.
  FARPROC Resolve(HMODULE module, std::string_view name) const;

  // Accounting, so that tests can show that nothing stays loaded or open.
  std::uint32_t LoadedCount() const { return references_; }
  std::uint32_t TotalLoads() const { return loads_; }
  std::size_t OpenAdapterCount() const { return open_.size(); }

  // The entry points' work, called with the machine locked.
  std::uint32_t OpenAdapter(std::string_view name, std::uint32_t* handle);
  std::uint32_t CloseAdapter(std::uint32_t handle);
  std::uint32_t GeneralInformation(std::uint32_t handle, std::uint8_t* information);
  std::uint32_t ContainerList(std::uint32_t handle, std::uint32_t* configurationId, std::uint32_t* count);
  // Writes the container after the one numbered in `previous` (the first
  // when null); `number` receives the container's number.
  std::uint32_t ContainerInfo(std::uint32_t handle, std::uint32_t mode, const std::uint8_t* previous,
                              std::uint8_t* buffer, std::uint32_t size, std::optional<std::uint32_t>* number);

 private:
  struct Controller {
    std::uint32_t port = 0;
    std::vector<ContainerConfig> containers;
    std::optional<std::uint32_t> configurationId;
  };
  inline static const HMODULE kModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x6AF00000));

  Controller* Opened(std::uint32_t handle);

  std::map<std::uint32_t, Controller> controllers_;  // by QZV index
  std::map<std::uint32_t, std::uint32_t> open_;      // adapter handle -> QZV index
  std::uint32_t nextHandle_ = 0x5A10;
  std::uint32_t references_ = 0;
  std::uint32_t loads_ = 0;
};

// The configuration identifier that the library reports by default: it
// changes whenever the containers do, and is never 0.
std::uint32_t DerivedConfigurationId(const std::vector<ContainerConfig>& containers);

}  // namespace lumbrel::sim
