// LUMBREL.dll and the stand-in I2CDLL.dll, loaded as a management
// application loads them, on the simulated cages of a machine file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "lumbrel_exports.h"

namespace wine_tests {

// Pointers to the exports, of their exact stdcall types, resolved by name;
// null for an export that the DLL does not have (yet).
using Exports = LumbrelExports;

// A machine file in the temporary directory, named by LUMBREL_MACHINE for
// the stand-in I2CDLL.dll while it lives. Create it before the DLLs load.
class MachineFile {
 public:
  explicit MachineFile(const std::string& json);
  ~MachineFile();
  MachineFile(const MachineFile&) = delete;
  MachineFile& operator=(const MachineFile&) = delete;

 private:
  std::string path_;
};

// A reference on I2CDLL.dll and its five calls, through which a test reads
// the bytes that the cages' ports hold, as the hardware keeps them while
// LUMBREL.dll is unloaded and loaded again.
class Board {
 public:
  Board();
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  bool loaded() const { return module_ != nullptr; }
  // The byte last written to a port; 0xFFFF when the bus cannot be opened
  // (for instance because LUMBREL.dll left it open).
  std::uint32_t Latch(std::uint8_t address);

 private:
  using OpenFn = std::uint32_t(__cdecl*)(void);
  using ShadowFn = std::uint32_t(__cdecl*)(std::uint32_t, std::uint8_t*);
  HMODULE module_ = nullptr;
  OpenFn open_ = nullptr;
  OpenFn close_ = nullptr;
  ShadowFn shadow_ = nullptr;
};

// LUMBREL.dll: LoadLibraryA, GetProcAddress of every export, FreeLibrary.
class Library {
 public:
  Library() { Load(); }
  ~Library() { Unload(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Load();
  void Unload();
  HMODULE module() const { return module_; }
  const Exports& operator*() const { return exports_; }
  const Exports* operator->() const { return &exports_; }

 private:
  HMODULE module_ = nullptr;
  Exports exports_{};
};

// Whether a DLL of that name is loaded in this process.
bool IsLoaded(const char* dll);

// The directory of this program, with a trailing backslash.
std::string ProgramDirectory();

}  // namespace wine_tests
