// The simulated file system: whole files by full Windows path, compared
// without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumbrel::sim {

struct SimFile {
  std::vector<std::uint8_t> data;
  bool readOnly = false;
};

class FileSystem {
 public:
  std::shared_ptr<SimFile> Find(std::string_view path) const;
  std::shared_ptr<SimFile> Create(std::string_view path);
  bool Remove(std::string_view path);
  // Every file as {path, file}, in path order.
  std::vector<std::pair<std::string, std::shared_ptr<SimFile>>> Files() const;

 private:
  std::map<std::string, std::pair<std::string, std::shared_ptr<SimFile>>> files_;  // by upper-case path
};

}  // namespace lumbrel::sim
