// Strict reading of JSON objects for machine files: every key must be known,
// and every error names the key path where it was found.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/machine_format_error.h"

namespace lumbrel::sim {

class ObjectReader {
 public:
  ObjectReader(const nlohmann::json& object, std::string path);

  bool Has(const char* key) const { return object_.contains(key); }
  const nlohmann::json* Raw(const char* key);
  std::optional<bool> Bool(const char* key);
  std::optional<std::uint32_t> Uint(const char* key, std::uint64_t max = 0xFFFFFFFFu);
  // A text, as the bytes it stands for (see ReadText).
  std::optional<std::string> String(const char* key);
  // Throws for a key that was never asked for: a typo must not pass silently.
  void Finish() const;

  std::string PathOf(const char* key) const { return path_ + "." + key; }
  [[noreturn]] void Fail(const char* key, const std::string& what) const;

 private:
  const nlohmann::json& object_;
  std::string path_;
  std::set<std::string> used_;
};

// Every text of a machine file is bytes, one character per byte (U+0000 to
// U+00FF); `path` names the value in the error for any other character.
std::string ReadText(const nlohmann::json& value, const std::string& path);

// Reads a JSON array (absent: empty), calling `each(element, path)`.
template <typename Each>
void ForEach(const nlohmann::json* array, const std::string& path, Each each) {
  if (array == nullptr) return;
  if (!array->is_array()) throw MachineFormatError(path + ": expected an array");
  for (std::size_t i = 0; i < array->size(); ++i) each((*array)[i], path + "[" + std::to_string(i) + "]");
}

}  // namespace lumbrel::sim
