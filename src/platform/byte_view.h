// A bounded, read-only view of bytes that came from outside the library
// (a device, a driver, a controller, the registry, a file, a library).
//
// Every read is checked against the view's size: a value that does not lie
// wholly inside reads as 0, a sub-view is cut to what the view holds, and
// Fit() clamps a count that the bytes declare to the records they hold.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/byte_order.h"

namespace lumbrel {

class ByteView {
 public:
  constexpr ByteView() = default;
  constexpr ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

  constexpr const std::uint8_t* data() const { return data_; }
  constexpr std::size_t size() const { return size_; }
  // Whether `length` bytes at `offset` lie inside the view.
  constexpr bool Holds(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  std::uint8_t U8(std::size_t offset) const { return Holds(offset, 1) ? data_[offset] : 0; }
  std::uint16_t Le16(std::size_t offset) const { return Holds(offset, 2) ? LoadLe16(data_ + offset) : 0; }
  std::uint32_t Le32(std::size_t offset) const { return Holds(offset, 4) ? LoadLe32(data_ + offset) : 0; }
  std::uint64_t Le64(std::size_t offset) const { return Holds(offset, 8) ? LoadLe64(data_ + offset) : 0; }

  // The bytes from `offset`, at most `length` of them; empty past the end.
  ByteView Sub(std::size_t offset, std::size_t length = SIZE_MAX) const {
    if (offset >= size_) return {};
    return ByteView(data_ + offset, std::min(length, size_ - offset));
  }
  // `declared` records of `stride` bytes from `offset`, clamped to the
  // records that lie wholly inside the view and to `room`.
  std::uint32_t Fit(std::uint32_t declared, std::size_t offset, std::size_t stride,
                    std::uint32_t room = UINT32_MAX) const {
    const std::size_t whole = (offset <= size_ && stride != 0) ? (size_ - offset) / stride : 0;
    return static_cast<std::uint32_t>(std::min<std::size_t>({declared, whole, room}));
  }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace lumbrel
