// lumbrel-sim-run.exe: runs an unmodified application on a simulated machine.
//
//   lumbrel-sim-run.exe --machine FILE [--trace FILE] APP.exe [ARGS...]
//
// The application's LUMBREL.dll, whether its import table or LoadLibrary
// brings it in, meets the machine from before its entry point runs: this
// directory (LUMBRELSIM.dll and the stand-ins I2CDLL.dll and AfaApi.dll)
// leads the child's PATH, so LUMBREL.dll's import of I2CDLL.dll loads the
// stand-in and, with it, LUMBRELSIM.dll, which initialises first and routes
// the library's imports (LUMBREL_SIM_RUN). The machine and trace files reach
// it through LUMBREL_MACHINE and LUMBREL_TRACE. Exits with the application's
// exit status, or 2 when it could not start.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int Usage() {
  std::fputs("usage: lumbrel-sim-run.exe --machine FILE [--trace FILE] APP.exe [ARGS...]\n", stderr);
  return 2;
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

// One argument as the C runtime's parser reads it back.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + '"';
}

std::string ThisDirectory() {
  char path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, length < sizeof path ? length : 0);
  const std::size_t slash = directory.find_last_of("\\/");
  return slash == std::string::npos ? "." : directory.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  std::string machine, trace;
  int first = 1;
  for (; first + 1 < argc; first += 2) {
    const std::string option = argv[first];
    if (option == "--machine") {
      machine = argv[first + 1];
    } else if (option == "--trace") {
      trace = argv[first + 1];
    } else {
      break;
    }
  }
  if (machine.empty() || first >= argc || argv[first][0] == '-') return Usage();

  SetEnvironmentVariableA("LUMBREL_MACHINE", FullPath(machine).c_str());
  SetEnvironmentVariableA("LUMBREL_TRACE", trace.empty() ? nullptr : FullPath(trace).c_str());
  SetEnvironmentVariableA("LUMBREL_SIM_RUN", "LUMBREL.dll");
  std::string path(GetEnvironmentVariableA("PATH", nullptr, 0), '\0');
  path.resize(GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size())));
  SetEnvironmentVariableA("PATH", (ThisDirectory() + ";" + path).c_str());

  std::string command = Quoted(argv[first]);
  for (int i = first + 1; i < argc; ++i) {
    command += ' ';
    command += Quoted(argv[i]);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "lumbrel-sim-run: cannot start %s: error %lu\n", argv[first], GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 2;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
