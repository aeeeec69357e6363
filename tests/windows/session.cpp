#include "session.h"

#include <cstdio>

namespace wine_tests {
namespace {

template <typename Pointer>
void Resolve(HMODULE module, Pointer& pointer, const char* name) {
  pointer = reinterpret_cast<Pointer>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

MachineFile::MachineFile(const std::string& json) {
  char directory[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  GetTempPathA(sizeof directory, directory);
  GetTempFileNameA(directory, "lum", 0, path);
  path_ = path;
  if (FILE* file = std::fopen(path, "wb")) {
    std::fwrite(json.data(), 1, json.size(), file);
    std::fclose(file);
  }
  SetEnvironmentVariableA("LUMBREL_MACHINE", path);
}

MachineFile::~MachineFile() {
  SetEnvironmentVariableA("LUMBREL_MACHINE", nullptr);
  DeleteFileA(path_.c_str());
}

Board::Board() {
  module_ = LoadLibraryA("I2CDLL.dll");
  if (module_ == nullptr) return;
  Resolve(module_, open_, "I2C_OpenDevice");
  Resolve(module_, close_, "I2C_CloseDevice");
  Resolve(module_, shadow_, "I2C_GetOutputShadow");
}

Board::~Board() {
  if (module_ != nullptr) FreeLibrary(module_);
}

std::uint32_t Board::Latch(std::uint8_t address) {
  if (open_ == nullptr || close_ == nullptr || shadow_ == nullptr || open_() != 0) return 0xFFFF;
  std::uint8_t value = 0;
  const std::uint32_t result = shadow_(address, &value);
  close_();
  return result == 0 ? value : 0xFFFF;
}

bool Library::Load() {
  module_ = LoadLibraryA("LUMBREL.dll");
  exports_ = Exports{};
  if (module_ == nullptr) {
    std::printf("LoadLibraryA(\"LUMBREL.dll\") failed: Windows error %lu\n", GetLastError());
    return false;
  }
  LumbrelResolveExports(module_, &exports_);
  return true;
}

void Library::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  exports_ = Exports{};
}

bool IsLoaded(const char* dll) { return GetModuleHandleA(dll) != nullptr; }

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, n);
  return directory.substr(0, directory.find_last_of("\\/") + 1);
}

}  // namespace wine_tests
