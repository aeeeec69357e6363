// A firmware image as a drive reassembles it from WRITE BUFFER chunks.
//
// A download numbers its chunks either by buffer id (0, 1, 2, ... in 8
// bits, each chunk after the last) or by buffer offset (the chunk's byte
// offset in the image, buffer id 0). A chunk with buffer id 0 at offset 0
// starts a new image. A chunk that leaves a gap, carries an id out of turn
// or would make the image longer than the drive takes does not fit: the
// drive refuses it and drops the image so far.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lumbrel::sim {

class FirmwareImage {
 public:
  // Places one chunk; false when it does not fit.
  bool Take(std::uint8_t bufferId, std::uint32_t bufferOffset, std::span<const std::uint8_t> chunk,
            std::uint32_t maxLength);
  // Hands over the image and starts empty again.
  std::vector<std::uint8_t> Release();

  bool empty() const { return chunks_ == 0; }
  std::uint32_t length() const { return static_cast<std::uint32_t>(bytes_.size()); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t chunks_ = 0;  // chunks taken since the image began
};

}  // namespace lumbrel::sim
