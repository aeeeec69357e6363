// The simulated registry: a tree of keys with typed values. Key and value
// names keep their spelling and compare without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumbrel::sim {

struct RegistryValue {
  std::uint32_t type = 0;  // REG_SZ, REG_EXPAND_SZ, REG_BINARY, ...
  std::vector<std::uint8_t> data;
};

class RegistryKey {
 public:
  RegistryKey(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {}

  const std::string& name() const { return name_; }
  // The path below the hive, for example "HARDWARE\DEVICEMAP\Scsi".
  const std::string& path() const { return path_; }

  RegistryKey* Child(std::string_view name) const;
  // The key at a backslash-separated path below this one; null when absent.
  RegistryKey* Find(std::string_view path);
  // The key at a path below this one, created with its parents as needed.
  RegistryKey& Create(std::string_view path);

  const RegistryValue* Value(std::string_view name) const;
  void SetValue(std::string_view name, RegistryValue value);
  void SetString(std::string_view name, std::string_view text, std::uint32_t type);
  std::vector<const RegistryKey*> Children() const;
  // The values, with their names as spelled.
  std::vector<std::pair<std::string, const RegistryValue*>> Values() const;

 private:
  std::string name_;
  std::string path_;
  std::map<std::string, std::unique_ptr<RegistryKey>> children_;           // by upper-case name
  std::map<std::string, std::pair<std::string, RegistryValue>> values_;  // by upper-case name
};

class Registry {
 public:
  static constexpr const char* kLocalMachineName = "HKEY_LOCAL_MACHINE";
  RegistryKey& localMachine() { return localMachine_; }

 private:
  RegistryKey localMachine_{kLocalMachineName, ""};
};

}  // namespace lumbrel::sim
