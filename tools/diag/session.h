// One run of the tool: commands against one loaded library, each giving a
// JSON object and a human-readable text.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "library.h"

namespace lumbrel::diag {

// The most cages the library reports; a count beyond it is never trusted.
inline constexpr std::uint32_t kMaxCages = 4;

struct DriveName;

struct CommandOutput {
  nlohmann::ordered_json json;  // {"command": ..., "result": ..., ...}
  std::string text;
  bool failed = false;  // the command could not be run (usage, unavailable)
};

// The tool's exit status: 0 when every library result was 0, 1 when one was
// not, 2 when a command could not run. A run exits with the greatest.
constexpr int kExitOk = 0;
constexpr int kExitLibraryError = 1;
constexpr int kExitNotRun = 2;

// What one command's output contributes to the exit status.
int ExitStatus(const CommandOutput& output);

// What a session may ask of the person at the terminal.
struct SessionOptions {
  // Time passes in real time on the host too (the simulated Sleep waits
  // then); a job command shows its progress until real time has caught up
  // with the job's.
  bool realtime = false;
  // Asks a yes/no question; null when standard input is not a terminal.
  std::function<bool(const std::string& question)> confirm;
  // Shows one line of progress in place (empty: clear it); null when
  // standard error is not a terminal.
  std::function<void(const std::string& line)> progress;
};

class Session {
 public:
  explicit Session(Library& library, SessionOptions options = {});

  // Runs one command given as its words ("bay-led", "39", "1", "on"), or
  // answers a help request.
  CommandOutput Run(const std::vector<std::string>& words);

 private:
  using Handler = std::function<CommandOutput(const std::vector<std::string>&)>;

  CommandOutput Report(const std::vector<std::string>& args);
  CommandOutput Ports(const std::vector<std::string>& args);
  CommandOutput Adapters(const std::vector<std::string>& args);
  CommandOutput Cages(const std::vector<std::string>& args);
  CommandOutput BayLed(const std::vector<std::string>& args);
  CommandOutput Machine(const std::vector<std::string>& args);
  CommandOutput Explain(const std::vector<std::string>& args);
  CommandOutput Identities(const DriveListing& listing);
  CommandOutput Drives(const std::vector<std::string>& args);
  CommandOutput Jobs(const std::vector<std::string>& args);
  CommandOutput WaitJobs(const std::vector<std::string>& args);
  CommandOutput Disks(const std::vector<std::string>& args);
  CommandOutput RaidLevel(const std::vector<std::string>& args);
  CommandOutput Letters(const std::vector<std::string>& args);
  CommandOutput Readiness(const std::vector<std::string>& args);
  CommandOutput Flash(const std::vector<std::string>& args);
  CommandOutput FlashAll(const std::vector<std::string>& args);
  CommandOutput FlashStop(const std::vector<std::string>& args);
  CommandOutput Format(const std::vector<std::string>& args);
  CommandOutput Firmware(const std::vector<std::string>& args);
  CommandOutput LogRead(const std::vector<std::string>& args);
  CommandOutput LogWrite(const std::vector<std::string>& args);
  CommandOutput Wait(const std::vector<std::string>& args);

  // Starts a job with `start` and, unless `noWait`, waits for its callback:
  // {"command", "result": the start's, "callback": the callback's or null,
  // "elapsedMs"}. `expectedMs` is how long the job should take, when known.
  CommandOutput RunJob(const std::string& command, JobKind kind, const std::function<std::uint32_t()>& start,
                       std::optional<std::uint64_t> expectedMs, bool noWait, const std::string& drive);
  // Each job this run started, with its state and callback result; the
  // table for a terminal in `text`.
  nlohmann::ordered_json JobsJson(std::string& text);
  // The output of `jobs` and `wait-jobs`: every job this run started.
  CommandOutput JobsOutput(const char* command);
  // For an address given as PORT:BUS:TARGET, the class and ordinal that
  // the export takes, from the adapter report; the error when it has none.
  std::optional<CommandOutput> ClassAndOrdinal(const std::string& command, DriveName& drive);
  // Before a command that overwrites a drive: shows what is on it (identity,
  // letters, array membership) and asks, or refuses without --yes (`what`
  // says what the command does to the drive); a drive
  // with a letter or in an array also needs --force. The error when the
  // command must not go on.
  std::optional<CommandOutput> ConfirmOverwrite(const std::string& command, DriveName& drive,
                                                const std::string& what, bool yes, bool force);
  struct Waited {
    std::uint32_t result;
    std::uint64_t elapsedMs;  // on the library's clock, from `begin`
  };
  // Waits for the callback of job `number` of `kind`, showing the progress.
  Waited WaitForCallback(JobKind kind, std::uint64_t number, std::uint64_t begin,
                         std::optional<std::uint64_t> expectedMs);

  Library& library_;
  SessionOptions options_;
  bool callbacksRegistered_ = false;
  // The flash job started with --no-wait whose callback no command has
  // shown yet (0: none); flash-stop shows it.
  std::uint64_t unshownFlash_ = 0;
  std::map<std::string, Handler> commands_;
  bool cagesInitialized_ = false;
  // Every job this run started, in order, with what it was started on.
  struct StartedJob {
    JobKind kind;
    std::uint64_t number;  // among the jobs of its kind
    std::string command;
    std::string drive;
    bool shown;  // its callback result has been shown by a command
  };
  std::vector<StartedJob> started_;
  // What ConfirmOverwrite found on the drive, for the command's output.
  std::string overwriteDescription_;
};

// A failed command: {"command": name, "result": null, "error": message}.
CommandOutput CommandError(const std::string& command, const std::string& message);

}  // namespace lumbrel::diag
