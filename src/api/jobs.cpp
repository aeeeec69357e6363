#include "api/jobs.h"

#include "api/module_state.h"
#include "drives/activity_flash.h"
#include "drives/deep_format.h"
#include "drives/firmware_download.h"
#include "platform/runtime.h"
#include "platform/win32.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

// The heap block that carries a job's arguments to its worker.
struct JobStartBlock {
  ScsiAdapter* adapter;
  std::uint8_t bus;
  std::uint8_t target;
  std::uint32_t duration;
  const std::uint8_t* image;
  std::uint32_t imageLength;
  void* libraryPin;  // the worker's reference to the module
};

// Held in a mark between the test-and-set and the storing of the handle.
constexpr std::uint32_t kStarting = 1;

std::uint32_t RunJob(JobKind kind, const JobStartBlock& block) {
  ModuleState& module = Module();
  switch (kind) {
    case JobKind::Flash:
      return RunFlashJob(*block.adapter, block.bus, block.target, block.duration, module.flashRunning);
    case JobKind::Format:
      return FormatDrive(*block.adapter, block.bus, block.target);
    case JobKind::Firmware:
      return UpdateFirmware(*block.adapter, module.driveIdentifier, block.bus, block.target, block.image,
                            block.imageLength);
  }
  return 0;
}

void Report(JobKind kind, std::uint32_t result) {
  CallbackSlots& slots = Module().callbacks;
  // Each slot is read once, now: the callback registered when the job ends.
  switch (kind) {
    case JobKind::Flash:
      if (ActivityCallback callback = slots.activity.load()) callback(result);
      break;
    case JobKind::Format:
      if (FormatCallback callback = slots.format.load()) callback(result);
      break;
    case JobKind::Firmware:
      if (FirmwareCallback callback = slots.firmware.load()) callback(result);
      break;
  }
}

template <JobKind kind>
DWORD WINAPI Worker(LPVOID parameter) {
  auto* block = static_cast<JobStartBlock*>(parameter);
  std::uint32_t result = 0;
  {
    // The job's own request block, data area and target device: commands
    // of the caller's thread and of other jobs on the adapter never meet it.
    CommandContext context;
    const ContextBinding binding(*block->adapter, context);
    result = RunJob(kind, *block);
  }
  void* pin = block->libraryPin;
  platform::ReleaseMemory(block);
  Report(kind, result);
  Module().jobs.of(kind).store(0);
  // Gives the module back and ends the thread in one call outside it: the
  // module may be unloaded by it, on this thread.
  platform::EndPinnedWorker(pin, result);
  return result;
}

LPTHREAD_START_ROUTINE WorkerOf(JobKind kind) {
  switch (kind) {
    case JobKind::Flash:
      return &Worker<JobKind::Flash>;
    case JobKind::Format:
      return &Worker<JobKind::Format>;
    case JobKind::Firmware:
      return &Worker<JobKind::Firmware>;
  }
  return nullptr;
}

// Steps 2 to 6 of the start protocol, with the mark already taken.
std::uint32_t StartWithMark(JobKind kind, const JobArguments& arguments, std::atomic<std::uint32_t>& mark) {
  ModuleState& module = Module();
  AdapterList& list = module.adapterList;
  if (const std::uint32_t error = list.BuildAdapterList(); error != 0) return error;
  ScsiAdapter* adapter = list.OpenAdapter(arguments.adapterClass & 0xFF, arguments.ordinal & 0xFF);
  if (adapter == nullptr) return kJobExistsOrNoAdapter;

  auto* block = static_cast<JobStartBlock*>(platform::AllocateMemory(sizeof(JobStartBlock)));
  if (block == nullptr) return kNoJobStartBlock;
  // The worker's reference is taken here, while the caller's holds the
  // module: a FreeLibrary right after the start leaves it loaded.
  void* pin = platform::PinLibrary();
  if (pin == nullptr) {
    const std::uint32_t error = GetLastError();
    platform::ReleaseMemory(block);
    return error;
  }
  *block = JobStartBlock{adapter,         arguments.bus,         arguments.target, arguments.duration & 0xFFFF,
                         arguments.image, arguments.imageLength, pin};

  HANDLE thread = CreateThread(nullptr, 0, WorkerOf(kind), block, CREATE_SUSPENDED, nullptr);
  if (thread == nullptr) {
    const std::uint32_t error = GetLastError();
    platform::UnpinLibrary(pin);
    platform::ReleaseMemory(block);
    return error;
  }
  // The mark holds the handle's value before the worker can run, so a job
  // that ends at once cannot leave it set.
  const auto handleValue = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(thread));
  mark.store(handleValue != 0 ? handleValue : kStarting);
  ResumeThread(thread);
  CloseHandle(thread);
  return 0;
}

}  // namespace

std::uint32_t StartJob(JobKind kind, const JobArguments& arguments) {
  std::atomic<std::uint32_t>& mark = Module().jobs.of(kind);
  std::uint32_t expected = 0;
  if (!mark.compare_exchange_strong(expected, kStarting)) return kJobExistsOrNoAdapter;
  const std::uint32_t result = StartWithMark(kind, arguments, mark);
  if (result != 0) mark.store(0);
  return result;
}

void StopFlashing() {
  Module().flashRunning.store(0);
  Sleep(1);
}

}  // namespace lumbrel
