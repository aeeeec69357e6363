#include "terminal.h"

#include <cstdio>
#include <iostream>
#include <memory>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace lumbrel::diag {
namespace {

#if defined(_WIN32)
// A console, not merely a character device: _isatty holds for NUL too.
bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}
#else
bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }
#endif

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
