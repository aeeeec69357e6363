#include "input_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "text_output.h"

namespace lumbrel::diag {
namespace {

std::string Kind(unsigned mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
#if defined(S_ISFIFO)
  if (S_ISFIFO(mode)) return "a FIFO";
#endif
#if defined(S_ISBLK)
  if (S_ISBLK(mode)) return "a block device";
#endif
  return "no regular file";
}

}  // namespace

std::optional<std::string> CheckInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                                          std::uint64_t& size) {
  const std::string named = what + " " + DisplayText(path);
#if defined(_WIN32)
  struct _stat64 status {};  // sizes past 2 GiB too
  const bool found = !path.empty() && _stat64(path.c_str(), &status) == 0;
#else
  struct stat status {};
  const bool found = !path.empty() && stat(path.c_str(), &status) == 0;
#endif
  if (!found) return "cannot read " + named + ": no such file";
  if (!S_ISREG(status.st_mode)) return "cannot read " + named + ": it is " + Kind(status.st_mode);
  size = static_cast<std::uint64_t>(status.st_size);
  if (size > maxBytes) {
    return "cannot read " + named + ": " + std::to_string(size) + " bytes, more than the " +
           std::to_string(maxBytes) + " it may have";
  }
  return std::nullopt;
}

std::optional<std::string> ReadInputFile(const std::string& what, const std::string& path, std::uint64_t maxBytes,
                                         std::vector<std::uint8_t>& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return "cannot read " + what + " " + DisplayText(path);
  bytes.clear();
  std::uint8_t chunk[64 * 1024];
  while (bytes.size() < maxBytes) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, maxBytes - bytes.size()));
    const std::size_t got = std::fread(chunk, 1, want, file.get());
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < want) break;
  }
  if (std::ferror(file.get()) != 0) return "cannot read " + what + " " + DisplayText(path);
  return std::nullopt;
}

}  // namespace lumbrel::diag
