// The background job commands (flash, flash-all, flash-stop, format,
// firmware) and wait, which lets time pass between them.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "command_arguments.h"
#include "job_reports.h"
#include "result_meanings.h"
#include "session.h"
#include "sync.h"
#include "text_output.h"

namespace lumbrel::diag {
namespace {

constexpr std::uint32_t kFlashUnitMs = 30000;  // one unit of a flash's duration
constexpr std::uint32_t kMaxFlashUnits = 0xFFFF;
constexpr auto kProgressStep = std::chrono::milliseconds(200);
// The longest wait: Sleep(0xFFFFFFFF) would never return on Windows.
constexpr std::uint32_t kMaxWaitSeconds = 0xFFFFFFFEu / 1000;

// The image of the firmware job that runs: the library reads it until the
// job calls back, which may be after this run's last command. A static
// outlives the library, which lets its workers finish as it unloads.
std::shared_ptr<const std::vector<std::uint8_t>>& FirmwareImageInUse() {
  static std::shared_ptr<const std::vector<std::uint8_t>> image;
  return image;
}

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

std::string Seconds(std::uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

std::string Missing(const std::string& command, const char* what) {
  return command + ": this LUMBREL library does not export " + what;
}

}  // namespace

Session::Waited Session::WaitForCallback(JobKind kind, std::uint64_t number, std::uint64_t begin,
                                         std::optional<std::uint64_t> expectedMs) {
  JobReports& reports = JobReports::Instance();
  // On the host a job runs on the virtual clock, far ahead of real time;
  // with --realtime the wait lasts until real time has caught up.
  const bool pace = options_.realtime && library_.VirtualTime();
  const auto realBegin = std::chrono::steady_clock::now();
  auto realElapsed = [&] {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realBegin).count());
  };
  bool shown = false;
  for (;;) {
    const auto report = reports.WaitFor(kind, number, kProgressStep);
    // Progress follows the job's own time, which runs ahead of the tool's.
    const std::uint64_t elapsed = pace ? realElapsed() : library_.JobMilliseconds() - begin;
    // A job that called back before `begin` (flash-stop's) took no time of it.
    const std::uint64_t took = report && report->atMilliseconds > begin ? report->atMilliseconds - begin : 0;
    if (report && (!pace || elapsed >= took)) {
      if (shown) options_.progress("");
      library_.CatchUp(report->atMilliseconds);
      return {report->result, took};
    }
    if (options_.progress) {
      options_.progress("waiting for the callback: " + Seconds(elapsed) +
                        (expectedMs ? " of " + Seconds(*expectedMs) : std::string(" elapsed")));
      shown = true;
    }
  }
}

CommandOutput Session::RunJob(const std::string& command, JobKind kind, const std::function<std::uint32_t()>& start,
                              std::optional<std::uint64_t> expectedMs, bool noWait) {
  JobReports& reports = JobReports::Instance();
  if (!callbacksRegistered_) {
    reports.Register(library_.exports(), library_.Clock());
    callbacksRegistered_ = true;
  }
  // A start right after the previous job's callback may still find that
  // job's mark: that -1 is a moment to wait out, not the answer.
  const bool previousReported = reports.LastStarted(kind) > 0 && reports.AllReported(kind);
  const std::uint64_t begin = library_.Milliseconds();
  std::uint32_t result = start();
  for (int attempt = 1; result == LUMBREL_JOB_EXISTS_OR_NO_ADAPTER && previousReported &&
                        library_.AwaitJobMarkClear(kind, attempt);
       ++attempt) {
    result = start();
  }

  CommandOutput output;
  output.json["command"] = command;
  output.json["result"] = result;
  output.json["callback"] = nullptr;
  std::uint64_t elapsed = 0;
  if (result != 0) {
    elapsed = library_.Milliseconds() - begin;
    output.text = command + ": not started, result " + ResultText(result) + "\n";
  } else if (const std::uint64_t number = reports.Started(kind); noWait) {
    library_.AwaitJobUnderway(kind, [&] { return reports.WaitFor(kind, number, {}).has_value(); });
    if (kind == JobKind::Flash) unshownFlash_ = number;
    elapsed = library_.Milliseconds() - begin;
    output.text = command + ": started; not waiting for its callback\n";
  } else {
    const Waited waited = WaitForCallback(kind, number, begin, expectedMs);
    if (kind == JobKind::Flash) unshownFlash_ = 0;
    elapsed = waited.elapsedMs;
    output.json["callback"] = waited.result;
    output.text = command + ": called back after " + Seconds(elapsed) + " with " + ResultText(waited.result) + "\n";
  }
  output.json["elapsedMs"] = elapsed;
  return output;
}

CommandOutput Session::Flash(const std::vector<std::string>& args) {
  std::uint32_t adapterClass = 0, ordinal = 0, bus = 0, target = 0, duration = 0;
  bool noWait = false;
  CommandArguments parser("flash");
  parser.Number("CLASS", adapterClass)
      .Number("ORDINAL", ordinal)
      .Number("BUS", bus)
      .Number("TARGET", target)
      .Number("DURATION", duration, kMaxFlashUnits)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  // 0 would stop the light instead: that is flash-stop.
  if (duration == 0) return CommandError("flash", "DURATION is 1 to 65535 units of 30 s; flash-stop stops");
  const auto start = library_.exports().FlashDriveActivityLight;
  if (start == nullptr) return CommandError("flash", Missing("flash", "FlashDriveActivityLight"));
  return RunJob(
      "flash", JobKind::Flash, [&] { return start(adapterClass, ordinal, bus, target, duration); },
      std::uint64_t{duration} * kFlashUnitMs, noWait);
}

CommandOutput Session::FlashAll(const std::vector<std::string>& args) {
  std::uint32_t adapterClass = 0, ordinal = 0, bus = 0, duration = 0;
  bool noWait = false;
  CommandArguments parser("flash-all");
  parser.Number("CLASS", adapterClass)
      .Number("ORDINAL", ordinal)
      .Number("BUS", bus)
      .Number("DURATION", duration, kMaxFlashUnits)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  if (duration == 0) return CommandError("flash-all", "DURATION is 1 to 65535 units of 30 s; flash-stop stops");
  const auto start = library_.exports().FlashActivityLightAllDrives;
  if (start == nullptr) return CommandError("flash-all", Missing("flash-all", "FlashActivityLightAllDrives"));
  return RunJob(
      "flash-all", JobKind::Flash, [&] { return start(adapterClass, ordinal, bus, duration); },
      std::uint64_t{duration} * kFlashUnitMs, noWait);
}

CommandOutput Session::FlashStop(const std::vector<std::string>& args) {
  bool noWait = false;
  CommandArguments parser("flash-stop");
  parser.Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto stop = library_.exports().FlashDriveActivityLight;
  if (stop == nullptr) return CommandError("flash-stop", Missing("flash-stop", "FlashDriveActivityLight"));
  const std::uint64_t begin = library_.Milliseconds();
  const std::uint32_t result = stop(0, 0, 0, 0, 0);

  CommandOutput output;
  output.json["command"] = "flash-stop";
  output.json["result"] = result;
  output.json["callback"] = nullptr;
  output.text = "flash-stop: result " + ResultText(result);
  if (unshownFlash_ != 0 && !noWait) {
    const Waited waited = WaitForCallback(JobKind::Flash, unshownFlash_, begin, std::nullopt);
    unshownFlash_ = 0;
    output.json["callback"] = waited.result;
    output.text += "; the flash job called back after " + Seconds(waited.elapsedMs) + " with " +
                   ResultText(waited.result);
  }
  output.text += "\n";
  return output;
}

CommandOutput Session::Format(const std::vector<std::string>& args) {
  std::uint32_t adapterClass = 0, ordinal = 0, bus = 0, target = 0;
  bool yes = false;
  bool noWait = false;
  CommandArguments parser("format");
  parser.Number("CLASS", adapterClass)
      .Number("ORDINAL", ordinal)
      .Number("BUS", bus)
      .Number("TARGET", target)
      .Flag("yes", yes)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().DeepFormatDrive;
  if (start == nullptr) return CommandError("format", Missing("format", "DeepFormatDrive"));
  if (!yes) {
    if (!options_.confirm) {
      return CommandError("format", "format erases the drive: give --yes when standard input is not a terminal");
    }
    const std::string question = "Format the drive at class " + std::to_string(adapterClass) + ", ordinal " +
                                 std::to_string(ordinal) + ", bus " + std::to_string(bus) + ", target " +
                                 std::to_string(target) + "? Every block on it is erased.";
    if (!options_.confirm(question)) return CommandError("format", "not confirmed: the drive was left alone");
  }
  return RunJob(
      "format", JobKind::Format, [&] { return start(adapterClass, ordinal, bus, target); }, std::nullopt, noWait);
}

CommandOutput Session::Firmware(const std::vector<std::string>& args) {
  std::uint32_t adapterClass = 0, ordinal = 0, bus = 0, target = 0;
  std::string imageFile;
  bool noWait = false;
  CommandArguments parser("firmware");
  parser.Number("CLASS", adapterClass)
      .Number("ORDINAL", ordinal)
      .Number("BUS", bus)
      .Number("TARGET", target)
      .Text("IMAGE-FILE", imageFile)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().UpdateDriveFWImage;
  if (start == nullptr) return CommandError("firmware", Missing("firmware", "_UpdateDriveFWImage@24"));
  auto bytes = ReadFile(imageFile);
  if (!bytes) return CommandError("firmware", "cannot read " + DisplayText(imageFile));
  if (bytes->size() > UINT32_MAX) return CommandError("firmware", "the image is larger than 4 GiB");
  auto image = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes));
  const auto length = static_cast<std::uint32_t>(image->size());
  CommandOutput output = RunJob(
      "firmware", JobKind::Firmware, [&] { return start(adapterClass, ordinal, bus, target, image->data(), length); },
      std::nullopt, noWait);
  // Only a job that started holds the image; a failed start leaves the
  // running job's image where it is.
  if (output.json["result"] == 0) FirmwareImageInUse() = std::move(image);
  return output;
}

CommandOutput Session::Wait(const std::vector<std::string>& args) {
  std::uint32_t seconds = 0;
  CommandArguments parser("wait");
  parser.Number("SECONDS", seconds, kMaxWaitSeconds);
  if (auto error = parser.Parse(args)) return *error;
  library_.Pause(seconds * 1000);  // real time with --realtime: the simulated Sleep waits then too
  CommandOutput output;
  output.json["command"] = "wait";
  output.json["result"] = 0;
  output.text = "Waited " + std::to_string(seconds) + " s" + (library_.VirtualTime() && !options_.realtime
                                                                 ? " of virtual time"
                                                                 : "") +
                "\n";
  return output;
}

}  // namespace lumbrel::diag
