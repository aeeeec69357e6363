// The background job commands (flash, flash-all, flash-stop, format,
// firmware) and wait, which lets time pass between them.
#include <cstdio>
#include <memory>

#include "command_arguments.h"
#include "input_files.h"
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

std::string Seconds(std::uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

std::string Missing(const std::string& command, const char* what) {
  return command + ": this LUMBREL library does not export " + what;
}

const char* KindName(JobKind kind) {
  return kind == JobKind::Flash ? "flash" : kind == JobKind::Format ? "format" : "firmware";
}

std::string DriveText(const DriveName& drive, bool wholeBus = false) {
  std::string text = "class " + ClassText(drive.classCode) + ", ordinal " + std::to_string(drive.ordinal) +
                     ", bus " + std::to_string(drive.bus);
  if (!wholeBus) text += drive.target == kEveryTarget ? ", every target" : ", target " + std::to_string(drive.target);
  return text;
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
                              std::optional<std::uint64_t> expectedMs, bool noWait, const std::string& drive) {
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
    started_.push_back({kind, number, command, drive, false});
    library_.AwaitJobUnderway(kind, [&] { return reports.WaitFor(kind, number, {}).has_value(); });
    if (kind == JobKind::Flash) unshownFlash_ = number;
    elapsed = library_.Milliseconds() - begin;
    output.json["job"] = started_.size();
    output.text = command + ": started as job " + std::to_string(started_.size()) +
                  "; not waiting for its callback (jobs and wait-jobs show it)\n";
  } else {
    started_.push_back({kind, number, command, drive, true});
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
  DriveName drive;
  std::uint32_t duration = 0;
  bool noWait = false;
  CommandArguments parser("flash");
  // 0 would stop the light instead: that is flash-stop.
  parser.Drive(drive, DriveForm::ClassDrive, kEveryTarget)
      .Number("DURATION", duration, 1, kMaxFlashUnits)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().FlashDriveActivityLight;
  if (start == nullptr) return CommandError("flash", Missing("flash", "FlashDriveActivityLight"));
  if (auto error = ClassAndOrdinal("flash", drive)) return *error;
  return RunJob(
      "flash", JobKind::Flash,
      [&] { return start(drive.classCode, drive.ordinal, drive.bus, drive.target, duration); },
      std::uint64_t{duration} * kFlashUnitMs, noWait, DriveText(drive));
}

CommandOutput Session::FlashAll(const std::vector<std::string>& args) {
  DriveName drive;
  std::uint32_t duration = 0;
  bool noWait = false;
  CommandArguments parser("flash-all");
  parser.Drive(drive, DriveForm::ClassBus).Number("DURATION", duration, 1, kMaxFlashUnits).Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().FlashActivityLightAllDrives;
  if (start == nullptr) return CommandError("flash-all", Missing("flash-all", "FlashActivityLightAllDrives"));
  if (auto error = ClassAndOrdinal("flash-all", drive)) return *error;
  return RunJob(
      "flash-all", JobKind::Flash, [&] { return start(drive.classCode, drive.ordinal, drive.bus, duration); },
      std::uint64_t{duration} * kFlashUnitMs, noWait, DriveText(drive, true));
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
    for (StartedJob& job : started_) {
      if (job.kind == JobKind::Flash && job.number == unshownFlash_) job.shown = true;
    }
    unshownFlash_ = 0;
    output.json["callback"] = waited.result;
    output.text += "; the flash job called back after " + Seconds(waited.elapsedMs) + " with " +
                   ResultText(waited.result);
  }
  output.text += "\n";
  return output;
}

CommandOutput Session::Format(const std::vector<std::string>& args) {
  DriveName drive;
  bool yes = false, force = false, noWait = false;
  CommandArguments parser("format");
  parser.Drive(drive, DriveForm::ClassDrive).Flag("yes", yes).Flag("force", force).Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().DeepFormatDrive;
  if (start == nullptr) return CommandError("format", Missing("format", "DeepFormatDrive"));
  if (auto error = ClassAndOrdinal("format", drive)) return *error;
  if (auto error = ConfirmOverwrite("format", drive, "format erases every block of the drive", yes, force)) return *error;
  const std::string described = overwriteDescription_;
  CommandOutput output = RunJob(
      "format", JobKind::Format, [&] { return start(drive.classCode, drive.ordinal, drive.bus, drive.target); },
      std::nullopt, noWait, DriveText(drive));
  output.json["drive"] = described;
  output.text = described + "\n" + output.text;
  return output;
}

CommandOutput Session::Firmware(const std::vector<std::string>& args) {
  DriveName drive;
  std::string imageFile;
  bool yes = false, force = false, noWait = false;
  CommandArguments parser("firmware");
  parser.Drive(drive, DriveForm::ClassDrive)
      .Text("IMAGE-FILE", imageFile)
      .Flag("yes", yes)
      .Flag("force", force)
      .Flag("no-wait", noWait);
  if (auto error = parser.Parse(args)) return *error;
  const auto start = library_.exports().UpdateDriveFWImage;
  if (start == nullptr) return CommandError("firmware", Missing("firmware", "_UpdateDriveFWImage@24"));
  std::uint64_t size = 0;
  if (auto error = CheckInputFile("the firmware image", imageFile, kMaxFirmwareImageBytes, size)) {
    return CommandError("firmware", *error);
  }
  if (size == 0) return CommandError("firmware", "the firmware image " + DisplayText(imageFile) + " is empty");
  std::vector<std::uint8_t> bytes;
  if (auto error = ReadInputFile("the firmware image", imageFile, kMaxFirmwareImageBytes, bytes)) {
    return CommandError("firmware", *error);
  }
  if (bytes.empty()) return CommandError("firmware", "the firmware image " + DisplayText(imageFile) + " is empty");
  if (auto error = ClassAndOrdinal("firmware", drive)) return *error;
  if (auto error = ConfirmOverwrite("firmware", drive, "firmware replaces the drive's firmware", yes, force)) return *error;
  const std::string described = overwriteDescription_;
  auto image = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
  const auto length = static_cast<std::uint32_t>(image->size());
  CommandOutput output = RunJob(
      "firmware", JobKind::Firmware,
      [&] { return start(drive.classCode, drive.ordinal, drive.bus, drive.target, image->data(), length); },
      std::nullopt, noWait, DriveText(drive));
  // Only a job that started holds the image; a failed start leaves the
  // running job's image where it is.
  if (output.json["result"] == 0) FirmwareImageInUse() = std::move(image);
  output.json["drive"] = described;
  output.text = described + "\n" + output.text;
  return output;
}

CommandOutput Session::Wait(const std::vector<std::string>& args) {
  std::uint32_t seconds = 0;
  CommandArguments parser("wait");
  parser.Number("SECONDS", seconds, 0, kMaxWaitSeconds);
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

namespace lumbrel::diag {

nlohmann::ordered_json Session::JobsJson(std::string& text) {
  JobReports& reports = JobReports::Instance();
  nlohmann::ordered_json jobs = nlohmann::ordered_json::array();
  Table table({"job", "command", "drive", "state", "callback"});
  for (std::size_t i = 0; i < started_.size(); ++i) {
    StartedJob& job = started_[i];
    const auto report = reports.WaitFor(job.kind, job.number, std::chrono::milliseconds(0));
    if (report) job.shown = true;
    jobs.push_back({{"job", i + 1},
                    {"command", job.command},
                    {"drive", job.drive},
                    {"state", report ? "called back" : "running"},
                    {"callback", report ? nlohmann::ordered_json(report->result) : nullptr}});
    table.Add({std::to_string(i + 1), job.command, job.drive, report ? "called back" : "running",
               report ? ResultText(report->result) : "-"});
  }
  text = started_.empty() ? "No job was started in this process.\n" : table.Render("  ");
  return jobs;
}

CommandOutput Session::JobsOutput(const char* command) {
  CommandOutput output;
  output.json["command"] = command;
  output.json["result"] = 0;
  std::string table;
  output.json["jobs"] = JobsJson(table);
  output.text = "Jobs started in this process:\n" + table;
  return output;
}

CommandOutput Session::Jobs(const std::vector<std::string>& args) {
  CommandArguments parser("jobs");
  if (auto error = parser.Parse(args)) return *error;
  return JobsOutput("jobs");
}

CommandOutput Session::WaitJobs(const std::vector<std::string>& args) {
  std::uint32_t seconds = kMaxWaitSeconds;
  CommandArguments parser("wait-jobs");
  if (!args.empty()) parser.Number("SECONDS", seconds, 0, kMaxWaitSeconds);
  if (auto error = parser.Parse(args)) return *error;
  JobReports& reports = JobReports::Instance();
  // Real time bounds the wait: on the host the jobs run on the virtual
  // clock, far faster.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::uint64_t latest = 0;
  for (const StartedJob& job : started_) {
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      const auto report = reports.WaitFor(job.kind, job.number, std::min(left, std::chrono::milliseconds(kProgressStep)));
      if (report) {
        latest = std::max(latest, report->atMilliseconds);
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      if (options_.progress) options_.progress("waiting for job " + std::string(KindName(job.kind)) + "...");
    }
  }
  if (options_.progress) options_.progress("");
  if (latest != 0) library_.CatchUp(latest);
  return JobsOutput("wait-jobs");
}

}  // namespace lumbrel::diag
