// The background jobs: flashing the activity light, the deep format and
// the firmware download, each started by an export on a worker thread of
// its own. One job of each kind exists at a time.
//
// Start: the mark of the kind is tested and set in one atomic step, the
// adapter is found and opened, the arguments go into a JobStartBlock, and
// the worker is created suspended so that the mark holds its handle before
// it can run. Worker: the job runs, the block is freed, the callback slot
// of the kind is read and called, and the mark is cleared last, so a
// callback that starts a job of its own kind gets -1.
//
// Unloading: every worker holds a reference to the module, taken before
// the thread is created and given back as its very last act
// (FreeLibraryAndExitThread), so the module is never unmapped under a
// worker and its detach never has a worker to wait for. FreeLibrary does
// not end a running flash; a stop (duration 0) does.
#pragma once

#include <atomic>
#include <cstdint>

namespace lumbrel {

enum class JobKind { Flash, Format, Firmware };

// The marks of the three kinds: nonzero while a job of the kind exists.
struct JobMarks {
  std::atomic<std::uint32_t> flash{0};
  std::atomic<std::uint32_t> format{0};
  std::atomic<std::uint32_t> firmware{0};

  std::atomic<std::uint32_t>& of(JobKind kind) {
    return kind == JobKind::Flash ? flash : kind == JobKind::Format ? format : firmware;
  }
};

// The arguments of one job, handed to its worker, which frees them.
struct JobArguments {
  std::uint32_t adapterClass = 0;
  std::uint32_t ordinal = 0;
  std::uint8_t bus = 0;
  std::uint8_t target = 0;
  std::uint32_t duration = 0;             // flash: units of 30 s, low 16 bits
  const std::uint8_t* image = nullptr;   // firmware: the caller's image, not copied
  std::uint32_t imageLength = 0;
};

// The start protocol: 0, -1 (a job of the kind exists, or no such adapter),
// -2 (no memory for the start block), the adapter list's failure, or the
// thread creation's error.
std::uint32_t StartJob(JobKind kind, const JobArguments& arguments);

// Clears the flash flag and yields for 1 ms; a running flash job ends
// after its current pass.
void StopFlashing();

}  // namespace lumbrel
