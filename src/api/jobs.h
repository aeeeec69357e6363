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
// Unloading: the format and firmware workers hold a reference to the
// module and give it back as their last act, so FreeLibrary never unmaps
// code that they still run. The flash worker does not: process detach
// stops its loop and waits, bounded, until it has left the module's code.
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
  // Nonzero from a flash worker's creation until its last act.
  std::atomic<std::uint32_t> flashWorkerInside{0};

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

// At process detach: stops the flash loop and waits, bounded, for its
// worker to leave the module.
void StopFlashWorkerForUnload();

}  // namespace lumbrel
