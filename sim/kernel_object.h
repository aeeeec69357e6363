// An object behind a kernel handle of the simulated platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/device.h"
#include "sim/file_system.h"

namespace lumbrel::sim {

class SimThread;  // host build only: there the platform's threads are simulated too

struct KernelObject {
  enum class Kind { File, Device, Thread, Find };
  Kind kind = Kind::File;
  std::string name;  // the name it was opened with
  std::uint32_t access = 0;
  std::shared_ptr<SimFile> file;
  std::uint64_t position = 0;
  std::shared_ptr<Device> device;
  std::shared_ptr<SimThread> thread;

  // Back to a new object, keeping the name's storage for the next open.
  void Clear() {
    std::string kept = std::move(name);
    kept.clear();
    *this = KernelObject();
    name = std::move(kept);
  }
};

}  // namespace lumbrel::sim
