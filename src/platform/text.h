// Fixed-size 8-bit text fields: bounded copies and comparisons.
#pragma once

#include <cstddef>
#include <cstring>

namespace lumbrel {

// Copies at most `size` characters of `source` into `field` and pads the rest
// of the field with zero bytes, like strncpy: a source that fills the field
// leaves it unterminated. A null source gives an all-zero field.
inline void CopyPadded(char* field, std::size_t size, const char* source) {
  std::size_t n = 0;
  if (source != nullptr) {
    while (n < size && source[n] != '\0') {
      field[n] = source[n];
      ++n;
    }
  }
  std::memset(field + n, 0, size - n);
}

// Copies `source` into a buffer of `size` bytes, cutting it so that the
// terminator fits. A size of 0 writes nothing.
inline void CopyTerminated(char* buffer, std::size_t size, const char* source) {
  if (size == 0) return;
  std::size_t n = 0;
  while (n + 1 < size && source[n] != '\0') {
    buffer[n] = source[n];
    ++n;
  }
  buffer[n] = '\0';
}

// The length of a text held in a field of `size` bytes that may lack its
// terminator.
inline std::size_t BoundedLength(const char* field, std::size_t size) {
  std::size_t n = 0;
  while (n < size && field[n] != '\0') ++n;
  return n;
}

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace lumbrel
