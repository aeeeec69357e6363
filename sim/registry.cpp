#include "sim/registry.h"

#include "sim/text_util.h"

namespace lumbrel::sim {
namespace {

// Splits off the first component of a backslash-separated path.
std::string_view Head(std::string_view path, std::string_view* rest) {
  const auto slash = path.find('\\');
  if (slash == std::string_view::npos) {
    *rest = {};
    return path;
  }
  *rest = path.substr(slash + 1);
  return path.substr(0, slash);
}

}  // namespace

RegistryKey* RegistryKey::Child(std::string_view name) const {
  const auto it = children_.find(ToUpper(name));
  return it == children_.end() ? nullptr : it->second.get();
}

RegistryKey* RegistryKey::Find(std::string_view path) {
  RegistryKey* key = this;
  while (key != nullptr && !path.empty()) {
    std::string_view rest;
    const std::string_view head = Head(path, &rest);
    if (!head.empty()) key = key->Child(head);
    path = rest;
  }
  return key;
}

RegistryKey& RegistryKey::Create(std::string_view path) {
  RegistryKey* key = this;
  while (!path.empty()) {
    std::string_view rest;
    const std::string_view head = Head(path, &rest);
    if (!head.empty()) {
      RegistryKey* child = key->Child(head);
      if (child == nullptr) {
        std::string childPath = key->path_.empty() ? std::string(head) : key->path_ + "\\" + std::string(head);
        auto created = std::make_unique<RegistryKey>(std::string(head), std::move(childPath));
        child = created.get();
        key->children_[ToUpper(head)] = std::move(created);
      }
      key = child;
    }
    path = rest;
  }
  return *key;
}

const RegistryValue* RegistryKey::Value(std::string_view name) const {
  const auto it = values_.find(ToUpper(name));
  return it == values_.end() ? nullptr : &it->second.second;
}

void RegistryKey::SetValue(std::string_view name, RegistryValue value) {
  values_[ToUpper(name)] = {std::string(name), std::move(value)};
}

void RegistryKey::SetString(std::string_view name, std::string_view text, std::uint32_t type) {
  RegistryValue value;
  value.type = type;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  SetValue(name, std::move(value));
}

std::vector<const RegistryKey*> RegistryKey::Children() const {
  std::vector<const RegistryKey*> keys;
  for (const auto& [upper, child] : children_) keys.push_back(child.get());
  return keys;
}

std::vector<std::pair<std::string, const RegistryValue*>> RegistryKey::Values() const {
  std::vector<std::pair<std::string, const RegistryValue*>> values;
  for (const auto& [upper, named] : values_) values.emplace_back(named.first, &named.second);
  return values;
}

}  // namespace lumbrel::sim
