#include "usage.h"

#include <algorithm>
#include <iterator>

#include "text_output.h"

namespace lumbrel::diag {
namespace {

std::string Syntax(const CommandUsage& command) {
  std::string syntax(command.name);
  if (!command.arguments.empty()) {
    syntax += ' ';
    syntax.append(command.arguments);
  }
  return syntax;
}

nlohmann::ordered_json Describe(const CommandUsage& command, bool withDetails) {
  nlohmann::ordered_json json;
  json["name"] = command.name;
  json["usage"] = Syntax(command);
  json["summary"] = command.summary;
  if (withDetails) json["details"] = command.details;
  return json;
}

bool IsHelpFlag(const std::string& word) { return word == "--help" || word == "-h"; }

// Text broken into lines that fit a terminal of 80 columns, each indented
// by `indent` spaces.
std::string Wrapped(std::string_view text, std::size_t indent = 2) {
  constexpr std::size_t kWidth = 78;
  const std::string margin(indent, ' ');
  std::string wrapped;
  std::string line = margin;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(start, end - start);
    if (line.size() > indent && line.size() + 1 + word.size() > kWidth) {
      wrapped.append(line).append(1, '\n');
      line = margin;
    }
    if (line.size() > indent) line.append(1, ' ');
    line.append(word);
    start = end + 1;
  }
  if (line.size() > indent) wrapped.append(line).append(1, '\n');
  return wrapped;
}

}  // namespace

// How drives are named, and the files' limits: said once for help and the manual.
constexpr std::string_view kAddresses =
    "A drive is named PORT:BUS:TARGET on every drive command: PORT is the adapter number (the SCSI port, as the "
    "adapters and drives commands show it), BUS and TARGET the SCSI bus and target, as lsscsi shows H:C:T. The "
    "commands also take the form their export takes: CLASS ORDINAL BUS TARGET (class 0 to 6 or its name: base, "
    "megaraid, dac960, hhba5100, scsi-port, ide, qzv; for classes 0, 4 and 5 the ordinal is the adapter number, "
    "for the others it counts the adapters of that class from 0), or PORT BUS TARGET. Every number is decimal or "
    "0x hex: adapters, ordinals, buses and cages 0 to 255, targets 0 to 254 (255, every target, for flash only); "
    "a number out of range is refused before any library call.";
constexpr std::string_view kFiles =
    "Files must be regular files (no directory, device or FIFO): a machine file at most 16 MiB, a firmware image 1 "
    "byte to 16 MiB, a batch line at most 64 KiB; log data past 600 bytes is left out, with a note.";
constexpr std::string_view kExitStatus =
    "0 when every library result (callbacks' too) was 0, 1 when one was not, 2 when a command could not run "
    "(bad arguments, unknown command, unreadable or invalid input file, refused overwrite, failed trace); 2 wins "
    "over 1.";
constexpr std::string_view kProcess =
    "The adapter list, the cages found and the jobs started live as long as one process: run a sequence of "
    "commands as one batch.";

const std::vector<OptionUsage>& GlobalOptions() {
  static const std::vector<OptionUsage> options = {
#if defined(_WIN32)
      {"--machine FILE", "simulate the machine that FILE describes (JSON), through LUMBRELSIM.dll"},
      {"--trace FILE", "write every platform call to FILE as JSON Lines (simulates the default machine)"},
#else
      {"--machine FILE", "simulate the machine that FILE describes (JSON; default: the embedded machine)"},
      {"--trace FILE", "write every platform call to FILE as JSON Lines; a failed write ends the run (exit 2)"},
#endif
      {"--trace-data cut|full",
       "cut (default): the trace keeps the first 64 bytes of the data a device returns, with its length; full: all"},
      {"--json", "one JSON object per command on standard output, errors included (\"result\": null, \"error\")"},
      {"--realtime", "on the host, every pause of the library and of the tool lasts as long as on a real machine"},
      {"--version", "the tool's version and the library it runs"},
      {"--help, -h", "this help"},
  };
  return options;
}

const std::vector<CommandUsage>& Commands() {
  static const std::vector<CommandUsage> commands = {
      {"report", "", "everything the library reports",
       "Runs ports (host build only), adapters, cages, in the host build the identity of every drive found "
       "(vendor, vendor number, capabilities, revision code), and disks, with each drive's letters and RAID level; "
       "its result is the first of theirs that is not 0."},
      {"ports", "", "the SCSI ports: class, buses, driver, vendor, driver file (host build)",
       "One row for each port that the registry scan found, the adapter class named beside its number."},
      {"adapters", "", "the host adapters with their driver versions, and the number of drives",
       "Calls CountAdapterUnits, then GetAllAdapterInfo for one row per host adapter."},
      {"disks", "[--capacity N]", "the disk configuration: one record per drive, with its letters and RAID level",
       "Calls CountAdapterUnits, which builds the adapter list, then GetAllDiskConfigInfo with room for N records "
       "(the unit count unless given; 0 to 4096). Shows the records up to the first empty one: address, revision "
       "code, vendor number (255 for a device that is not a disk), serial number, vendor and product, drive letters "
       "and RAID level (none when the drive is in no array)."},
      {"drives", "", "every drive with all of its names: address, class and ordinal, identity, letters, RAID, cage bay",
       "One row for each drive of the disk report (GetAllDiskConfigInfo): PORT:BUS:TARGET, the adapter's class and "
       "the ordinal that the class-and-ordinal commands take (from GetAllAdapterInfo), vendor with its vendor number, "
       "product, revision, serial number, drive letters, RAID level, and the cage and bay where a cage (found with "
       "InitializeDiags) reports that target. A cage knows its bays by target only: where drives on several ports "
       "share the target, each shows the cage's bay."},
      {"raid-level", "PORT:BUS:TARGET|PORT BUS TARGET", "the RAID level of the arrays a drive is a member of",
       "Calls GetRaidLevel for the drive at adapter number PORT, BUS and TARGET: the lowest level of the logical "
       "drives it belongs to, none (65535) for a drive in no array or behind a port that is no array controller."},
      {"letters", "PORT:BUS:TARGET|PORT BUS TARGET", "the drive letters that lie on a drive",
       "Calls GetAllDriveLetters for the drive at adapter number PORT, BUS and TARGET. Its value is a mask of "
       "letters (bit 0 = A:), not a result code: the result is always 0. A member of an array shows the letters "
       "of the array."},
      {"readiness", "PORT:BUS:TARGET|CLASS ORDINAL BUS TARGET", "how far a drive has come into service, 0 to 5",
       "Calls GetDriveReadiness, with the class and ordinal of PORT from the adapter report. CLASS is a class code or its name (base, megaraid, dac960, hhba5100, scsi-port, "
       "ide, qzv). Levels: 0 none, 1 answers INQUIRY, 2 ready, 3 readable, 4 has a drive letter, 5 a test file "
       "could be written on its first letter; a failure comes with the level reached."},
      {"cages", "", "find the cages and their bays (InitializeDiags)",
       "One row for each bay: the cage id, the bay number, the target it holds and whether a drive is present."},
      {"bay-led", "CAGE TARGET on|off", "make a bay's power indicator flash, or stop it",
       "CAGE is the cage id (0 to 255) and TARGET the SCSI target that the bay carries (0 to 254), not the bay "
       "number: the cages command shows which target each bay carries. on calls SFStartFlashPower, "
       "off SFStopFlashPower; the cages are found first when no command has found them yet."},
      {"flash", "PORT:BUS:TARGET|CLASS ORDINAL BUS TARGET DURATION [--no-wait]", "blink a drive's activity light by reading from it",
       "Calls FlashDriveActivityLight for DURATION units of 30 s (1 to 65535) and waits for the activity callback, "
       "showing the time elapsed on a terminal; --no-wait returns once the job has started (jobs and wait-jobs show "
       "its callback). TARGET 255 flashes every drive of the bus."},
      {"flash-all", "PORT:BUS|CLASS ORDINAL BUS DURATION [--no-wait]", "blink the activity light of every drive on a bus",
       "Calls FlashActivityLightAllDrives for DURATION units of 30 s (1 to 65535) and waits for the activity "
       "callback, as flash does."},
      {"flash-stop", "[--no-wait]", "stop the activity light job after its current pass",
       "Calls FlashDriveActivityLight with a duration of 0, then shows the callback of the flash job that this run "
       "started with --no-wait, waiting for it unless --no-wait is given here too."},
      {"format", "PORT:BUS:TARGET|CLASS ORDINAL BUS TARGET [--yes] [--force] [--no-wait]",
       "low-level format of a drive: destroys its data",
       "Shows the drive's identity, letters and array membership from the disk report, then asks on a terminal "
       "unless --yes is given; without a terminal it needs --yes. A drive that holds a drive letter or is a member "
       "of an array (or that the report cannot tell about) also needs --force. Calls DeepFormatDrive and waits for "
       "the format callback."},
      {"firmware", "PORT:BUS:TARGET|CLASS ORDINAL BUS TARGET IMAGE-FILE [--yes] [--force] [--no-wait]",
       "download a firmware image to a drive",
       "Reads IMAGE-FILE (a regular file of 1 byte to 16 MiB), shows the drive and asks as format does (--yes, "
       "--force), calls UpdateDriveFWImage with it and waits for the firmware callback; the image is kept until "
       "the job has called back."},
      {"log-read", "PORT:BUS:TARGET|PORT BUS TARGET [--size N]", "read the 600 bytes kept in a drive's log page",
       "Calls ReadDriveLogPage with a buffer of N bytes (600 unless given, at most 65536); the data is shown in hex "
       "when the result is 0. PORT is the adapter number."},
      {"log-write", "PORT:BUS:TARGET|PORT BUS TARGET DATA-FILE [--mode 0|1|2] [--yes] [--force]",
       "write a file into a drive's log page",
       "Calls WriteDriveLogPage with the first 600 bytes of DATA-FILE (a regular file; a note tells when it is "
       "longer; the page is filled with zeros past the end). Mode 0 (the default) checks that the drive offers the "
       "page, 1 does not check, 2 sends nothing. When the page already holds data (read with ReadDriveLogPage), "
       "the drive is shown and the write needs consent as format does (--yes, --force)."},
      {"wait", "SECONDS", "let time pass between the commands of a batch",
       "On the host the clock is virtual: the simulated machine's time advances at once, unless --realtime is "
       "given, which makes every pause real. On Windows the tool sleeps."},
      {"jobs", "", "the jobs started in this process, with their state and callback result",
       "One row for each job that flash, flash-all, format or firmware started in this process (a batch is one "
       "process): running, or called back with its result. A callback result that is not 0 makes the exit status "
       "1."},
      {"wait-jobs", "[SECONDS]", "wait for the jobs started with --no-wait, then show them as jobs does",
       "Waits until every job started in this process has called back, or SECONDS of real time have passed (on "
       "the host the jobs run on the virtual clock, so they are quick)."},
      {"machine", "", "the simulated hardware as an operator sees it (host build)",
       "The cages with their power LEDs, and every SCSI device with the commands and reads it has served."},
      {"explain", "CODE", "the meaning of a result code (decimal, 0x hex, or -1)",
       "Lists every meaning the code can carry: the library's own codes share one space with SCSI and controller "
       "statuses, Windows error codes and the I2C library's codes."},
      {"batch", "FILE|-", "one command per line, all in this process ('#' starts a comment)",
       "Reads FILE, or standard input for -, and runs each line as a command of its own against the one loaded "
       "library. A batch cannot run a batch. The exit status is the worst of its commands'."},
      {"help", "[COMMAND]", "the commands, or how to call one",
       "Without COMMAND, lists the commands; with one, tells how to call it, as COMMAND --help does."},
  };
  return commands;
}

const CommandUsage* FindCommand(std::string_view name) {
  const auto& commands = Commands();
  const auto found = std::find_if(commands.begin(), commands.end(), [&](const auto& c) { return c.name == name; });
  return found == commands.end() ? nullptr : &*found;
}

std::string UsageError(std::string_view name) {
  const CommandUsage* command = FindCommand(name);
  return "usage: " + (command != nullptr ? Syntax(*command) : std::string(name));
}

std::string CommandList() {
  // Each entry's syntax on a line of its own, its summary indented below:
  // the address forms make some syntaxes long.
  std::string options = "Options (before or after the command):\n";
  for (const OptionUsage& option : GlobalOptions()) {
    options += "  " + std::string(option.syntax) + "\n" + Wrapped(option.summary, 4);
  }
  std::string commands = "Commands:\n";
  for (const CommandUsage& command : Commands()) {
    commands += "  " + Syntax(command) + "\n" + Wrapped(command.summary, 4);
  }
  return "usage: lumbrel-diag [OPTIONS] COMMAND [ARGUMENTS]\n\n" + options + "\n" + commands +
         "Run \"lumbrel-diag help COMMAND\" or \"lumbrel-diag COMMAND --help\" for one command.\n\nDrives:\n" +
         Wrapped(kAddresses) + "\nFiles:\n" + Wrapped(kFiles) + Wrapped(kProcess) +
         "\nExit status:\n" + Wrapped(kExitStatus);
}

namespace {

// Text for roff: a leading dot or quote and backslashes escaped.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

std::string ManualPage() {
  std::string page = ".TH LUMBREL-DIAG 1 \"\" \"lumbrel-diag\" \"User Commands\"\n"
                     ".SH NAME\nlumbrel\\-diag \\- drive and cage diagnostics through the LUMBREL library\n"
                     ".SH SYNOPSIS\n.B lumbrel\\-diag\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
                     ".SH OPTIONS\nOptions stand before or after the command.\n";
  for (const OptionUsage& option : GlobalOptions()) {
    page += ".TP\n.B " + Roff(option.syntax) + "\n" + Roff(option.summary) + "\n";
  }
  page += ".SH COMMANDS\n";
  for (const CommandUsage& command : Commands()) {
    page += ".TP\n.B " + Roff(Syntax(command)) + "\n" + Roff(command.summary) + ".\n" + Roff(command.details) + "\n";
  }
  page += ".SH DRIVES\n" + Roff(kAddresses) + "\n.SH FILES\n" + Roff(kFiles) + "\n" + Roff(kProcess) +
          "\n.SH EXIT STATUS\n" + Roff(kExitStatus) + "\n";
  return page;
}

bool IsHelpRequest(const std::vector<std::string>& words) {
  return !words.empty() && (words[0] == "help" || std::any_of(words.begin() + 1, words.end(), IsHelpFlag));
}

CommandOutput Help(const std::vector<std::string>& words) {
  // What the help is about: one command, or none for the list of them all.
  std::vector<std::string> subject;
  std::copy_if(words.begin() + 1, words.end(), std::back_inserter(subject), [](const auto& w) { return !IsHelpFlag(w); });
  if (words[0] != "help") {
    subject = {words[0]};
  } else if (subject.empty() && words.size() > 1) {
    subject = {"help"};  // "help --help"
  } else if (subject.size() > 1) {
    return CommandError("help", UsageError("help"));
  }
  const CommandUsage* command = subject.empty() ? nullptr : FindCommand(subject[0]);
  if (!subject.empty() && command == nullptr) {
    return CommandError("help", "unknown command \"" + DisplayText(subject[0]) + "\"");
  }

  CommandOutput output;
  output.json["command"] = "help";
  output.json["result"] = 0;
  output.json["commands"] = nlohmann::ordered_json::array();
  if (command == nullptr) {
    for (const CommandUsage& each : Commands()) output.json["commands"].push_back(Describe(each, false));
    output.text = CommandList();
  } else {
    output.json["commands"].push_back(Describe(*command, true));
    output.text = UsageError(command->name) + "\n" + Wrapped(command->summary) + Wrapped(command->details);
  }
  return output;
}

}  // namespace lumbrel::diag
