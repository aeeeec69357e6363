// A named field of a wire format: its offset and size in bytes.
//
// Request blocks and replies are byte arrays shared with drivers and
// devices. Each format is a list of these fields, checked at compile time
// to tile its block without gap or overlap; values go in and out through
// the byte-order helpers, never through casts of unaligned pointers.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/byte_order.h"

namespace lumbrel {

struct Field {
  std::uint32_t offset;
  std::uint32_t size;
  constexpr std::uint32_t end() const { return offset + size; }
};

// Whether the fields, in order, cover [0, total) exactly.
constexpr bool TilesBlock(std::initializer_list<Field> fields, std::uint32_t total) {
  std::uint32_t next = 0;
  for (const Field& field : fields) {
    if (field.offset != next || field.size == 0) return false;
    next = field.end();
  }
  return next == total;
}

inline void Put8(std::uint8_t* block, Field field, std::uint8_t value) { block[field.offset] = value; }
inline void Put16(std::uint8_t* block, Field field, std::uint16_t value) { StoreLe16(block + field.offset, value); }
inline void Put32(std::uint8_t* block, Field field, std::uint32_t value) { StoreLe32(block + field.offset, value); }
inline std::uint8_t Get8(const std::uint8_t* block, Field field) { return block[field.offset]; }
inline std::uint16_t Get16(const std::uint8_t* block, Field field) { return LoadLe16(block + field.offset); }
inline std::uint32_t Get32(const std::uint8_t* block, Field field) { return LoadLe32(block + field.offset); }

}  // namespace lumbrel
