// The error of a machine file that cannot be read or does not describe a
// machine.
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
