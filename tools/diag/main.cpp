// lumbrel-diag: plays the management application against LUMBREL. On Windows
// it loads the real LUMBREL.dll; in the host build it runs the library on a
// simulated machine.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "input_files.h"
#include "library.h"
#include "lumbrel_version.h"
#include "session.h"
#include "terminal.h"
#include "text_output.h"
#include "usage.h"

namespace {

using lumbrel::diag::CommandOutput;
using lumbrel::diag::Session;

struct GlobalOptions {
  std::optional<std::string> machineFile;
  std::optional<std::string> traceFile;
  std::optional<std::string> traceData;  // "cut" or "full"
  bool json = false;
  bool realtime = false;
  bool version = false;
  bool manualPage = false;  // hidden: prints lumbrel-diag.1 for the build to compare
  std::vector<std::string> words;  // the command and its own arguments
};

// Takes the global options out of the arguments, wherever they stand (CLI11
// keeps every other word, in order, for the command); the error for one that
// is unknown before the command or lacks its value.
std::optional<std::string> ParseGlobalOptions(int argc, char** argv, GlobalOptions& options) {
  CLI::App app{"lumbrel-diag"};
  app.set_help_flag();  // "help" is a command: -h and --help stay among the words
  app.allow_extras();
  app.add_option("--machine", options.machineFile, "the machine file")->type_name("FILE");
  app.add_option("--trace", options.traceFile, "the trace file")->type_name("FILE");
  app.add_option("--trace-data", options.traceData, "how much returned data the trace keeps")
      ->check(CLI::IsMember({"cut", "full"}));
  app.add_flag("--json", options.json);
  app.add_flag("--realtime", options.realtime);
  app.add_flag("--version", options.version);
  app.add_flag("--manual-page", options.manualPage);  // hidden: prints lumbrel-diag.1 for the build to compare
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // The parse stopped before it reached every flag: --json still decides
    // how this error is told.
    options.json = std::any_of(argv + 1, argv + argc, [](const char* word) { return std::string(word) == "--json"; });
    return lumbrel::diag::DisplayText(error.what());
  }
  options.words = app.remaining();
  if (!options.words.empty()) {
    const std::string& first = options.words[0];
    if (first == "--help" || first == "-h") {
      options.words[0] = "help";
    } else if (first.size() > 1 && first[0] == '-') {
      return "unknown option " + lumbrel::diag::DisplayText(first);
    }
  }
  return std::nullopt;
}

void Print(const CommandOutput& output, bool json) {
  if (json) {
    std::cout << output.json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  } else {
    std::cout << output.text;
  }
  std::cout.flush();
}

// Prints the output and gives its exit status.
int Emit(const CommandOutput& output, bool json) {
  Print(output, json);
  return lumbrel::diag::ExitStatus(output);
}

// An error before or between commands: one JSON object on standard output
// with --json, and the message on standard error in any case.
int Fail(const std::string& command, const std::string& message, bool json) {
  if (json) Print(lumbrel::diag::CommandError(command, message), true);
  std::cerr << "lumbrel-diag: " << message << '\n';
  return lumbrel::diag::kExitNotRun;
}

const char* const kTraceFailed = "the trace file could not be written: the run ends here";

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// One line of at most kMaxBatchLineBytes; false at the end of the input.
// `tooLong` when the line goes on past that.
bool ReadLine(std::istream& in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  bool any = false;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    any = true;
    if (c == '\n') return true;
    if (line.size() == lumbrel::diag::kMaxBatchLineBytes) {
      tooLong = true;
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  return any;
}

// Runs the commands of a batch file, or of standard input for "-"; gives the
// greatest exit status of them.
int RunBatch(Session& session, lumbrel::diag::Library& library, const std::vector<std::string>& args, bool json) {
  if (args.size() != 1) return Emit(lumbrel::diag::CommandError("batch", lumbrel::diag::UsageError("batch")), json);
  std::ifstream file;
  if (args[0] != "-") {
    std::uint64_t size = 0;
    if (auto error = lumbrel::diag::CheckInputFile("the batch file", args[0], UINT64_MAX, size)) {
      return Emit(lumbrel::diag::CommandError("batch", *error), json);
    }
    file.open(args[0], std::ios::binary);
    if (!file) return Emit(lumbrel::diag::CommandError("batch", "cannot open " + args[0]), json);
  }
  std::istream& in = args[0] == "-" ? std::cin : file;
  int status = lumbrel::diag::kExitOk;
  std::size_t number = 0;
  std::string line;
  for (bool tooLong = false; ReadLine(in, line, tooLong);) {
    ++number;
    if (tooLong) {
      return Emit(lumbrel::diag::CommandError("batch", "line " + std::to_string(number) + " is longer than " +
                                                           std::to_string(lumbrel::diag::kMaxBatchLineBytes) +
                                                           " bytes: the batch stops there"),
                  json);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto words = Words(line.substr(0, line.find('#')));
    if (words.empty()) continue;
    if (!json) std::cout << "> " << line << '\n';
    const bool nested = words[0] == "batch" && !lumbrel::diag::IsHelpRequest(words);
    status = std::max(status, Emit(nested ? lumbrel::diag::CommandError("batch", "a batch cannot run a batch")
                                            : session.Run(words),
                                     json));
    if (library.TraceFailed()) return Fail(words[0], kTraceFailed, json);
  }
  return status;
}

int Run(int argc, char** argv, bool& json) {
  GlobalOptions options;
  const auto optionError = ParseGlobalOptions(argc, argv, options);
  json = options.json;
  const std::string command = options.words.empty() ? "lumbrel-diag" : options.words[0];
  if (optionError) return Fail(command, *optionError, json);
  if (options.manualPage) {
    std::cout << lumbrel::diag::ManualPage();
    return lumbrel::diag::kExitOk;
  }
  if (options.words.empty() && !options.version) {
    if (json) return Fail(command, "no command given", json);
    std::cerr << lumbrel::diag::CommandList();
    return lumbrel::diag::kExitNotRun;
  }
  // Help needs no library: it works where the library or the machine cannot load.
  if (!options.version && lumbrel::diag::IsHelpRequest(options.words)) {
    return Emit(lumbrel::diag::Help(options.words), json);
  }

  lumbrel::diag::LibraryOptions libraryOptions;
  if (options.machineFile) {
    std::uint64_t size = 0;
    if (auto error = lumbrel::diag::CheckInputFile("the machine file", *options.machineFile,
                                                   lumbrel::diag::kMaxMachineFileBytes, size)) {
      return Fail(command, *error, json);
    }
    libraryOptions.machineFile = options.machineFile;
  }
  if (options.traceFile) {
    // Opened (and emptied) before anything runs: a trace that cannot be
    // written stops the run before it starts.
    std::ofstream trace(*options.traceFile, std::ios::out | std::ios::trunc);
    if (options.traceFile->empty() || !trace) {
      return Fail(command, "cannot create the trace file \"" + lumbrel::diag::DisplayText(*options.traceFile) + "\"",
                  json);
    }
    libraryOptions.traceFile = options.traceFile;
  }
  libraryOptions.realtime = options.realtime;
  libraryOptions.traceAllData = options.traceData == "full";
  std::unique_ptr<lumbrel::diag::Library> library;
  try {
    library = lumbrel::diag::OpenLibrary(libraryOptions);
  } catch (const std::exception& error) {
    return Fail(command, error.what(), json);
  }
  if (library->TraceFailed()) return Fail(command, kTraceFailed, json);

  if (options.version) {
    CommandOutput output;
    output.json["command"] = "version";
    output.json["result"] = 0;
    output.json["version"] = LUMBREL_VERSION_STRING;
    output.json["library"] = lumbrel::diag::JsonText(library->Describe());
    output.text = std::string("lumbrel-diag ") + LUMBREL_VERSION_STRING + "\nlibrary: " +
                  lumbrel::diag::DisplayText(library->Describe()) + "\n";
    return Emit(output, json);
  }

  Session session(*library, lumbrel::diag::TerminalOptions(options.realtime));
  const auto& words = options.words;
  if (words[0] == "batch") {
    return RunBatch(session, *library, std::vector<std::string>(words.begin() + 1, words.end()), json);
  }
  const int status = Emit(session.Run(words), json);
  return library->TraceFailed() ? Fail(words[0], kTraceFailed, json) : status;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  try {
    return Run(argc, argv, json);
  } catch (const std::exception& error) {
    return Fail("lumbrel-diag", std::string("unexpected failure: ") + error.what(), json);
  } catch (...) {
    return Fail("lumbrel-diag", "unexpected failure", json);
  }
}
