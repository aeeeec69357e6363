// The error of a machine file that cannot be read or does not describe a
// machine. It has no other dependency, so that the Windows stand-in of
// I2CDLL.dll, which reads the cages and faults of a machine file, can use it.
#pragma once

#include <stdexcept>

namespace lumbrel::sim {

// Thrown for a machine file that cannot be read or does not describe a
// machine; the text names the offending key.
class MachineFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace lumbrel::sim
