// lumbrel-diag: plays the management application against LUMBREL. On Windows
// it loads the real LUMBREL.dll; in the host build it runs the library on a
// simulated machine.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "library.h"
#include "session.h"
#include "terminal.h"
#include "usage.h"

namespace {

using lumbrel::diag::CommandOutput;
using lumbrel::diag::Session;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
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

// Runs the commands of a batch file, or of standard input for "-"; gives the
// greatest exit status of them.
int RunBatch(Session& session, const std::vector<std::string>& args, bool json) {
  if (args.size() != 1) return Emit(lumbrel::diag::CommandError("batch", lumbrel::diag::UsageError("batch")), json);
  std::ifstream file;
  if (args[0] != "-") {
    file.open(args[0]);
    if (!file) return Emit(lumbrel::diag::CommandError("batch", "cannot open " + args[0]), json);
  }
  std::istream& in = args[0] == "-" ? std::cin : file;
  int status = lumbrel::diag::kExitOk;
  for (std::string line; std::getline(in, line);) {
    const auto words = Words(line.substr(0, line.find('#')));
    if (words.empty()) continue;
    if (!json) std::cout << "> " << line << '\n';
    const bool nested = words[0] == "batch" && !lumbrel::diag::IsHelpRequest(words);
    status = std::max(status, Emit(nested ? lumbrel::diag::CommandError("batch", "a batch cannot run a batch")
                                            : session.Run(words),
                                     json));
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"lumbrel-diag: drive and cage diagnostics through the LUMBREL library"};
  app.footer(lumbrel::diag::CommandList());
  std::string machineFile;
  std::string traceFile;
  bool json = false;
  bool realtime = false;
#if defined(_WIN32)
  // LUMBRELSIM.dll simulates the machine behind the real DLL's imports.
  app.add_option("--machine", machineFile, "JSON machine description to simulate, through LUMBRELSIM.dll");
  app.add_option("--trace", traceFile,
                 "write every platform call to FILE as JSON Lines (simulates the default machine without --machine)");
#else
  app.add_option("--machine", machineFile, "JSON machine description to simulate (default: the embedded machine)");
  app.add_option("--trace", traceFile, "write every platform call to FILE as JSON Lines");
#endif
  std::string traceData = "cut";
  app.add_option("--trace-data", traceData,
                 "cut (default): the trace keeps the first 64 bytes of the data a device returns, with its length; "
                 "full: all of it")
      ->check(CLI::IsMember({"cut", "full"}));
  app.add_flag("--json", json, "one JSON object per command");
  app.add_flag("--realtime", realtime,
               "on the host, let time pass in real time: every pause of the library and of the tool lasts as long "
               "as on a real machine");
  app.prefix_command();  // everything after the command is the command's own
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? lumbrel::diag::kExitOk : lumbrel::diag::kExitNotRun;  // 0 for --help
  }

  std::vector<std::string> words = app.remaining();
  if (words.empty()) {
    std::cerr << app.help();
    return lumbrel::diag::kExitNotRun;
  }
  // Help needs no library: it works where the library or the machine cannot load.
  if (lumbrel::diag::IsHelpRequest(words)) return Emit(lumbrel::diag::Help(words), json);

  lumbrel::diag::LibraryOptions options;
  if (!machineFile.empty()) options.machineFile = machineFile;
  if (!traceFile.empty()) options.traceFile = traceFile;
  options.traceAllData = traceData == "full";
  options.realtime = realtime;
  std::unique_ptr<lumbrel::diag::Library> library;
  try {
    library = lumbrel::diag::OpenLibrary(options);
  } catch (const std::exception& error) {
    std::cerr << "lumbrel-diag: " << error.what() << '\n';
    return lumbrel::diag::kExitNotRun;
  }

  Session session(*library, lumbrel::diag::TerminalOptions(realtime));
  if (words[0] == "batch") return RunBatch(session, std::vector<std::string>(words.begin() + 1, words.end()), json);
  return Emit(session.Run(words), json);
}
