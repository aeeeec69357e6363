#include "terminal.h"

#include <cstdio>
#include <iostream>
#include <memory>

#if defined(_WIN32)
#include <io.h>
#define LUMBREL_ISATTY _isatty
#define LUMBREL_FILENO _fileno
#else
#include <unistd.h>
#define LUMBREL_ISATTY isatty
#define LUMBREL_FILENO fileno
#endif

namespace lumbrel::diag {
namespace {

bool IsTerminal(std::FILE* stream) { return LUMBREL_ISATTY(LUMBREL_FILENO(stream)) != 0; }

bool AskOnTerminal(const std::string& question) {
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

}  // namespace

SessionOptions TerminalOptions(bool realtime) {
  SessionOptions options;
  options.realtime = realtime;
  if (IsTerminal(stdin)) options.confirm = AskOnTerminal;
  if (IsTerminal(stderr)) {
    // Written over in place: padded to the longest line shown so far.
    auto width = std::make_shared<std::size_t>(0);
    options.progress = [width](const std::string& line) {
      if (line.size() > *width) *width = line.size();
      std::cerr << '\r' << line << std::string(*width - line.size(), ' ') << (line.empty() ? "\r" : "")
                << std::flush;
      if (line.empty()) *width = 0;
    };
  }
  return options;
}

}  // namespace lumbrel::diag
