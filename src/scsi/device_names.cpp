#include "scsi/device_names.h"

#include <cstring>

namespace lumbrel {
namespace {

// `prefix`, the decimal digits of `number`, then `suffix`. Built by hand
// rather than with snprintf: a flash job builds a name for each of its
// thousands of requests. The longest name takes 28 bytes of the 32.
void BuildName(char* name, const char* prefix, std::uint32_t number, const char* suffix) {
  const std::size_t prefixLength = std::strlen(prefix);
  std::memcpy(name, prefix, prefixLength);
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  char* out = name + prefixLength;
  while (count != 0) *out++ = digits[--count];
  std::memcpy(out, suffix, std::strlen(suffix) + 1);
}

}  // namespace

void FormatClassDeviceName(char* name, std::uint32_t format, std::uint32_t number) {
  BuildName(name, format == 0 ? "\\\\.\\PhysicalDrive" : "\\\\.\\Scanner", number, "");
}

void FormatPortDeviceName(char* name, std::uint32_t port) { BuildName(name, "\\\\.\\SCSI", port, ":"); }

void FormatControllerDeviceName(char* name, std::uint32_t controller) {
  BuildName(name, "\\\\.\\QZV", controller, "");
}

}  // namespace lumbrel
