// How each command of lumbrel-diag is called. One table feeds the top-level
// help, "help", "help COMMAND", "COMMAND --help" and every usage error, so
// none of them can disagree with another.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session.h"

namespace lumbrel::diag {

struct CommandUsage {
  std::string_view name;
  std::string_view arguments;  // as the user writes them; empty when there are none
  std::string_view summary;    // one line, for the list of commands
  std::string_view details;    // what "help COMMAND" adds to the summary
};

struct OptionUsage {
  std::string_view syntax;  // "--machine FILE"
  std::string_view summary;
};

// The options that stand before or after the command.
const std::vector<OptionUsage>& GlobalOptions();

// Every command, in the order the help lists them.
const std::vector<CommandUsage>& Commands();

// The command of that name, or null.
const CommandUsage* FindCommand(std::string_view name);

// "usage: bay-led CAGE TARGET on|off".
std::string UsageError(std::string_view name);

// The list of commands with their summaries, and the exit statuses.
std::string CommandList();

// The manual page lumbrel-diag.1, in roff, from the same tables as the help.
std::string ManualPage();

// "help ...", or any command with --help or -h among its arguments.
bool IsHelpRequest(const std::vector<std::string>& words);

// The answer to a help request: {"command": "help", "result": 0,
// "commands": [{"name", "usage", "summary"[, "details"]}...]}, or an error
// for a command that does not exist.
CommandOutput Help(const std::vector<std::string>& words);

}  // namespace lumbrel::diag
