// The Windows stand-in of I2CDLL.dll: the five calls of the I2C access
// library over the simulator's cage model, so that the real LUMBREL.dll can
// drive simulated cages through a real DLL import.
//
// The cages, and the failures that the I2C calls inject, come from the
// "cages" and "faults" of the machine file that LUMBREL_MACHINE names (its
// other keys describe what a real Windows machine provides and are ignored),
// or from the default machine when the variable is not set. The board state
// lives as long as the DLL is loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/i2c_library.h"
#include "sim/cage_board.h"
#include "sim/cage_json.h"
#include "sim/fault_json.h"
#include "sim/faults.h"
#include "sim/machine_format_error.h"

namespace lumbrel::sim {
const char* DefaultMachineJson();
}

namespace {

using lumbrel::sim::CageBoard;
using lumbrel::sim::Faults;
using lumbrel::sim::I2cBus;
using lumbrel::sim::MachineFormatError;

// What every call returns when the machine file cannot be used; the reason
// goes to the standard error stream once.
constexpr std::uint32_t kNoMachine = 0x01FF;

struct Cages {
  I2cBus bus;
  Faults faults;
};

CRITICAL_SECTION g_lock;
std::unique_ptr<Cages> g_cages;
bool g_unusable = false;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MachineFormatError("cannot open the machine file " + path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::unique_ptr<Cages> BuildCages() {
  std::string source = "the default machine";
  std::string text = lumbrel::sim::DefaultMachineJson();
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableA("LUMBREL_MACHINE", path, sizeof path);
  if (length >= sizeof path) throw MachineFormatError("LUMBREL_MACHINE names a path that is too long");
  if (length != 0) {
    source = path;
    text = ReadText(source);
  }
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& error) {
    throw MachineFormatError(source + ": not valid JSON: " + error.what());
  }
  if (!document.is_object()) throw MachineFormatError(source + ": expected an object");
  const auto member = [&](const char* key) -> const nlohmann::json* {
    const auto it = document.find(key);
    return it == document.end() ? nullptr : &*it;
  };

  auto cages = std::make_unique<Cages>();
  for (const auto& wiring : lumbrel::sim::ParseCages(member("cages"), "machine.cages")) {
    cages->bus.cages().emplace_back(wiring);
  }
  for (auto& rule : lumbrel::sim::ParseFaults(member("faults"), "machine.faults")) {
    if (rule.call.rfind("I2C_", 0) == 0) cages->faults.Add(std::move(rule));
  }
  return cages;
}

// Runs one call under the lock: an injected failure replaces it, else `body`
// serves it. `address` < 0: the call has no device address.
template <typename Body>
std::uint32_t Serve(const char* call, std::int64_t address, Body body) {
  EnterCriticalSection(&g_lock);
  std::uint32_t result = kNoMachine;
  if (!g_cages && !g_unusable) {
    try {
      g_cages = BuildCages();
    } catch (const std::exception& error) {
      g_unusable = true;
      std::fprintf(stderr, "I2CDLL.dll (stand-in): %s\n", error.what());
      std::fflush(stderr);
    }
  }
  if (g_cages) {
    std::optional<std::uint32_t> fault;
    if (address >= 0) {
      fault = g_cages->faults.Check(call, {{"address", static_cast<std::uint64_t>(address)}});
    } else {
      fault = g_cages->faults.Check(call);
    }
    result = fault ? *fault : body(g_cages->bus);
  }
  LeaveCriticalSection(&g_lock);
  return result;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) {
    g_cages.reset();
    DeleteCriticalSection(&g_lock);
  }
  return TRUE;
}

std::uint32_t LUMBREL_I2C_CALL I2C_OpenDevice(void) {
  return Serve("I2C_OpenDevice", -1, [](I2cBus& bus) { return bus.Open(); });
}

std::uint32_t LUMBREL_I2C_CALL I2C_CloseDevice(void) {
  return Serve("I2C_CloseDevice", -1, [](I2cBus& bus) { return bus.Close(); });
}

std::uint32_t LUMBREL_I2C_CALL I2C_GetOutputShadow(std::uint32_t address, std::uint8_t* output) {
  return Serve("I2C_GetOutputShadow", address, [&](I2cBus& bus) { return bus.GetOutputShadow(address, output); });
}

std::uint32_t LUMBREL_I2C_CALL I2C_ReceiveMessage(std::uint32_t address, std::uint8_t* buffer, std::uint32_t count) {
  return Serve("I2C_ReceiveMessage", address, [&](I2cBus& bus) { return bus.Receive(address, buffer, count); });
}

std::uint32_t LUMBREL_I2C_CALL I2C_SendMessage(std::uint32_t address, const std::uint8_t* buffer,
                                               std::uint32_t count) {
  return Serve("I2C_SendMessage", address, [&](I2cBus& bus) { return bus.Send(address, buffer, count); });
}

}  // extern "C"
