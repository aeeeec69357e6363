#include "sim/file_system.h"

#include "sim/text_util.h"

namespace lumbrel::sim {

std::shared_ptr<SimFile> FileSystem::Find(std::string_view path) const {
  const auto it = files_.find(ToUpper(path));
  return it == files_.end() ? nullptr : it->second.second;
}

std::shared_ptr<SimFile> FileSystem::Create(std::string_view path) {
  auto& slot = files_[ToUpper(path)];
  if (!slot.second) slot = {std::string(path), std::make_shared<SimFile>()};
  return slot.second;
}

bool FileSystem::Remove(std::string_view path) { return files_.erase(ToUpper(path)) != 0; }

std::vector<std::pair<std::string, std::shared_ptr<SimFile>>> FileSystem::Files() const {
  std::vector<std::pair<std::string, std::shared_ptr<SimFile>>> all;
  for (const auto& [upper, entry] : files_) all.push_back(entry);
  return all;
}

}  // namespace lumbrel::sim
