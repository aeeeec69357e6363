// One run of the tool: commands against one loaded library, each giving a
// JSON object and a human-readable text.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "library.h"

namespace lumbrel::diag {

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

class Session {
 public:
  explicit Session(Library& library);

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

  Library& library_;
  std::map<std::string, Handler> commands_;
  bool cagesInitialized_ = false;
};

// A failed command: {"command": name, "result": null, "error": message}.
CommandOutput CommandError(const std::string& command, const std::string& message);

}  // namespace lumbrel::diag
