#include "sim/json_reader.h"

#include "sim/text_util.h"

namespace lumbrel::sim {

ObjectReader::ObjectReader(const nlohmann::json& object, std::string path) : object_(object), path_(std::move(path)) {
  if (!object_.is_object()) throw MachineFormatError(path_ + ": expected an object");
}

const nlohmann::json* ObjectReader::Raw(const char* key) {
  used_.insert(key);
  const auto it = object_.find(key);
  return it == object_.end() ? nullptr : &*it;
}

void ObjectReader::Fail(const char* key, const std::string& what) const {
  throw MachineFormatError(PathOf(key) + ": " + what);
}

std::optional<bool> ObjectReader::Bool(const char* key) {
  const nlohmann::json* value = Raw(key);
  if (value == nullptr) return std::nullopt;
  if (!value->is_boolean()) Fail(key, "expected true or false");
  return value->get<bool>();
}

std::optional<std::uint32_t> ObjectReader::Uint(const char* key, std::uint64_t max) {
  const nlohmann::json* value = Raw(key);
  if (value == nullptr) return std::nullopt;
  if (!value->is_number_unsigned() || value->get<std::uint64_t>() > max) {
    Fail(key, "expected a whole number from 0 to " + std::to_string(max));
  }
  return static_cast<std::uint32_t>(value->get<std::uint64_t>());
}

std::optional<std::string> ObjectReader::String(const char* key) {
  const nlohmann::json* value = Raw(key);
  if (value == nullptr) return std::nullopt;
  if (!value->is_string()) Fail(key, "expected a string");
  return ReadText(*value, PathOf(key));
}

std::string ReadText(const nlohmann::json& value, const std::string& path) {
  auto bytes = BytesOfText(value.get_ref<const std::string&>());
  if (!bytes) {
    throw MachineFormatError(path + ": a text stands for bytes, one character each: U+0000 to U+00FF only");
  }
  return std::move(*bytes);
}

void ObjectReader::Finish() const {
  for (const auto& [key, value] : object_.items()) {
    if (used_.count(key) == 0) throw MachineFormatError(path_ + ": unknown key \"" + key + "\"");
  }
}

}  // namespace lumbrel::sim
