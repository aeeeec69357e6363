#include "sim/scsi/firmware_image.h"

#include <algorithm>

namespace lumbrel::sim {

bool FirmwareImage::Take(std::uint8_t bufferId, std::uint32_t bufferOffset, std::span<const std::uint8_t> chunk,
                         std::uint32_t maxLength) {
  std::uint64_t at = 0;
  if (chunks_ > 0 && bufferOffset == 0 && bufferId == static_cast<std::uint8_t>(chunks_)) {
    at = bytes_.size();  // the next chunk by buffer id
  } else if (bufferId == 0 && bufferOffset <= bytes_.size()) {
    at = bufferOffset;
    if (bufferOffset == 0) {
      bytes_.clear();
      chunks_ = 0;
    }
  } else {
    Release();
    return false;
  }
  const std::uint64_t end = at + chunk.size();
  if (end > maxLength) {
    Release();
    return false;
  }
  if (end > bytes_.size()) bytes_.resize(end);
  std::copy(chunk.begin(), chunk.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
  ++chunks_;
  return true;
}

std::vector<std::uint8_t> FirmwareImage::Release() {
  std::vector<std::uint8_t> image;
  image.swap(bytes_);
  chunks_ = 0;
  return image;
}

}  // namespace lumbrel::sim
