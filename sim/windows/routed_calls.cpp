#include "routed_calls.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "sim/platform_call.h"
#include "sim/text_util.h"

// The simulator's own Win32 functions (sim/win32_kernel.cpp).
extern "C" {
HANDLE WINAPI SimCreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL WINAPI SimCloseHandle(HANDLE);
BOOL WINAPI SimDeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI SimReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI SimWriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI SimDeleteFileA(LPCSTR);
HANDLE WINAPI SimFindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA);
BOOL WINAPI SimFindClose(HANDLE);
void WINAPI SimSleep(DWORD);
DWORD WINAPI SimGetTickCount();
DWORD WINAPI SimGetLogicalDrives();
UINT WINAPI SimGetDriveTypeA(LPCSTR);
UINT WINAPI SimGetSystemDirectoryA(LPSTR, UINT);
UINT WINAPI SimGetWindowsDirectoryA(LPSTR, UINT);
DWORD WINAPI SimExpandEnvironmentStringsA(LPCSTR, LPSTR, DWORD);
}

namespace lumbrel::sim::windows {
namespace {

constexpr const char* kLocalMachine = Registry::kLocalMachineName;  // as the host's registry traces it

std::string TextOrEmpty(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// The registry keys that the routed calls opened, by handle, for the trace.
class OpenKeys {
 public:
  std::string PathOf(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return kLocalMachine;
    const auto it = paths_.find(key);
    return it == paths_.end() ? std::string("?") : it->second;
  }
  void Add(HKEY key, std::string path) { paths_[key] = std::move(path); }
  void Remove(HKEY key) { paths_.erase(key); }

 private:
  std::map<HKEY, std::string> paths_;
};

OpenKeys& Keys() {
  static OpenKeys keys;
  return keys;
}

// The array library as the process loaded it, while it is loaded.
HMODULE g_arrayModule = nullptr;

// A thread's start through the routed CreateThread: its own timeline on the
// virtual clock, from its creator's time, as the host's simulated threads
// have. The timelines live as long as the simulator: a worker may end in
// FreeLibraryAndExitThread, past any cleanup of its own.
struct ThreadStart {
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
  VirtualClock::Timeline timeline;
  bool underway = false;  // it has paused for the first time, or ended
};
std::atomic<std::uint32_t> g_threadsCreated{0};
std::atomic<std::uint32_t> g_threadsUnderway{0};
thread_local ThreadStart* t_start = nullptr;

// A job is under way once its worker first pauses: a flash has set its
// running flag by then, so a stop reaches it.
void MarkUnderway() {
  if (t_start != nullptr && !t_start->underway) {
    t_start->underway = true;
    ++g_threadsUnderway;
  }
}

std::deque<std::unique_ptr<ThreadStart>>& ThreadStarts() {
  static std::deque<std::unique_ptr<ThreadStart>> starts;
  return starts;
}

DWORD WINAPI StartThread(LPVOID parameter) {
  auto* start = static_cast<ThreadStart*>(parameter);
  VirtualClock::BindThread(&start->timeline);
  t_start = start;
  const DWORD result = start->routine(start->parameter);
  MarkUnderway();
  return result;
}

void WINAPI RoutedSleep(DWORD milliseconds) {
  MarkUnderway();
  SimSleep(milliseconds);
}

// A pinned worker's last call: it never returns to StartThread.
void WINAPI RoutedFreeLibraryAndExitThread(HMODULE module, DWORD exitCode) {
  MarkUnderway();
  FreeLibraryAndExitThread(module, exitCode);
}

HANDLE WINAPI RoutedCreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE routine,
                                 LPVOID parameter, DWORD flags, LPDWORD threadId) {
  PlatformCall call("CreateThread");
  call.trace().Set("suspended", (flags & CREATE_SUSPENDED) != 0);
  if (routine == nullptr) return call.Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  if (const auto fault = call.Fault()) return call.Fail(*fault, static_cast<HANDLE>(nullptr));
  auto start = std::make_unique<ThreadStart>();
  start->routine = routine;
  start->parameter = parameter;
  start->timeline.store(call.machine().clock().ElapsedMilliseconds());
  DWORD id = 0;
  HANDLE thread = CreateThread(attributes, stackSize, &StartThread, start.get(), flags, &id);
  if (thread == nullptr) return call.Fail(GetLastError(), thread);
  ThreadStarts().push_back(std::move(start));
  ++g_threadsCreated;
  if (threadId != nullptr) *threadId = id;
  call.trace().Set("threadId", id);
  call.Finish(0);
  return thread;
}

DWORD WINAPI RoutedResumeThread(HANDLE thread) {
  PlatformCall call("ResumeThread");
  const DWORD previous = ResumeThread(thread);
  call.Finish(previous == static_cast<DWORD>(-1) ? GetLastError() : 0);
  return previous;
}

// The simulator's handles go to the simulator; the process's own (threads)
// to the process.
BOOL WINAPI RoutedCloseHandle(HANDLE object) {
  {
    std::lock_guard lock(CurrentMachine().mutex());
    if (CurrentMachine().FindHandle(object) != nullptr) return SimCloseHandle(object);
  }
  PlatformCall call("CloseHandle");
  call.trace().Set("name", std::string());
  if (const auto fault = call.Fault({{"name", std::string()}})) {
    CloseHandle(object);  // a failing close still ends the handle
    return call.Fail(*fault, FALSE);
  }
  if (!CloseHandle(object)) return call.Fail(GetLastError(), FALSE);
  call.Finish(0);
  return TRUE;
}

// The array library loads only where the machine installs it; any other
// library is the process's business.
HMODULE WINAPI RoutedLoadLibraryA(LPCSTR fileName) {
  PlatformCall call("LoadLibraryA");
  const std::string name = TextOrEmpty(fileName);
  call.trace().Set("name", name);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, static_cast<HMODULE>(nullptr));
  SimArrayLibrary& library = call.machine().arrayLibrary();
  const bool arrayLibrary = EqualsIgnoreCase(name, SimArrayLibrary::kName);
  // The machine counts the references, as it does on the host.
  if (arrayLibrary && library.Load(name) == nullptr) {
    return call.Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
  }
  HMODULE module = LoadLibraryA(fileName);
  if (module == nullptr) {
    const DWORD error = GetLastError();
    if (arrayLibrary) library.Free(SimArrayLibrary::ModuleHandle());
    return call.Fail(error, module);
  }
  if (arrayLibrary) g_arrayModule = module;
  call.Finish(0);
  return module;
}

FARPROC WINAPI RoutedGetProcAddress(HMODULE module, LPCSTR procName) {
  PlatformCall call("GetProcAddress");
  // An ordinal is no name.
  const bool byName = reinterpret_cast<std::uintptr_t>(procName) > 0xFFFF;
  const std::string name = byName ? std::string(procName) : std::string();
  call.trace().Set("name", name);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, static_cast<FARPROC>(nullptr));
  if (module != nullptr && module == g_arrayModule) {
    for (const std::string& missing : call.machine().arrayLibrary().config.missingEntryPoints) {
      if (missing == name) return call.Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
    }
  }
  const FARPROC address = GetProcAddress(module, procName);
  if (address == nullptr) return call.Fail(GetLastError(), address);
  call.Finish(0);
  return address;
}

BOOL WINAPI RoutedFreeLibrary(HMODULE module) {
  PlatformCall call("FreeLibrary");
  if (const auto fault = call.Fault()) return call.Fail(*fault, FALSE);
  if (!FreeLibrary(module)) return call.Fail(GetLastError(), FALSE);
  if (module != nullptr && module == g_arrayModule) {
    call.machine().arrayLibrary().Free(SimArrayLibrary::ModuleHandle());
  }
  call.Finish(0);
  return TRUE;
}

LSTATUS WINAPI RoutedRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  PlatformCall call("RegOpenKeyExA");
  std::string path = Keys().PathOf(key);
  if (subKey != nullptr && *subKey != '\0') path.append("\\").append(subKey);
  call.trace().Set("key", path);
  auto finish = [&](LSTATUS status) { return static_cast<LSTATUS>(call.Finish(static_cast<std::uint32_t>(status))); };
  const std::string below = path.substr(std::min(path.size(), std::strlen(kLocalMachine) + 1));
  if (const auto fault = call.Fault({{"key", below}})) return finish(static_cast<LSTATUS>(*fault));
  const LSTATUS status = RegOpenKeyExA(key, subKey, options, access, result);
  if (status == ERROR_SUCCESS) Keys().Add(*result, path);
  return finish(status);
}

LSTATUS WINAPI RoutedRegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD dataSize) {
  PlatformCall call("RegQueryValueExA");
  const std::string path = Keys().PathOf(key);
  const std::string name = TextOrEmpty(valueName);
  call.trace().Set("key", path).Set("value", name);
  auto finish = [&](LSTATUS status) { return static_cast<LSTATUS>(call.Finish(static_cast<std::uint32_t>(status))); };
  const std::string below = path.substr(std::min(path.size(), std::strlen(kLocalMachine) + 1));
  if (const auto fault = call.Fault({{"key", below}, {"value", name}})) return finish(static_cast<LSTATUS>(*fault));
  const LSTATUS status = RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
  if (status == ERROR_SUCCESS && data != nullptr && dataSize != nullptr) call.trace().SetHex("data", data, *dataSize);
  return finish(status);
}

LSTATUS WINAPI RoutedRegCloseKey(HKEY key) {
  PlatformCall call("RegCloseKey");
  call.trace().Set("key", Keys().PathOf(key));
  const LSTATUS status = RegCloseKey(key);
  if (status == ERROR_SUCCESS) Keys().Remove(key);
  return static_cast<LSTATUS>(call.Finish(static_cast<std::uint32_t>(status)));
}

// The C runtime's time(), 32 bits in msvcrt.dll: the machine's calendar,
// which runs on its virtual clock as on the host. Not traced, as there.
std::uint32_t __cdecl RoutedTime(std::uint32_t* result) {
  const std::uint32_t now = CurrentMachine().clock().CalendarTime();
  if (result != nullptr) *result = now;
  return now;
}

template <typename F>
void* Address(F function) {
  return reinterpret_cast<void*>(function);
}

const ImportRoute kRoutes[] = {
    {"CreateFileA", Address(&SimCreateFileA)},
    {"DeviceIoControl", Address(&SimDeviceIoControl)},
    {"ReadFile", Address(&SimReadFile)},
    {"WriteFile", Address(&SimWriteFile)},
    {"DeleteFileA", Address(&SimDeleteFileA)},
    {"FindFirstFileA", Address(&SimFindFirstFileA)},
    {"FindClose", Address(&SimFindClose)},
    {"GetLogicalDrives", Address(&SimGetLogicalDrives)},
    {"GetDriveTypeA", Address(&SimGetDriveTypeA)},
    {"GetSystemDirectoryA", Address(&SimGetSystemDirectoryA)},
    {"GetWindowsDirectoryA", Address(&SimGetWindowsDirectoryA)},
    {"ExpandEnvironmentStringsA", Address(&SimExpandEnvironmentStringsA)},
    {"Sleep", Address(&RoutedSleep)},
    {"FreeLibraryAndExitThread", Address(&RoutedFreeLibraryAndExitThread)},
    {"GetTickCount", Address(&SimGetTickCount)},
    {"time", Address(&RoutedTime)},
    {"CloseHandle", Address(&RoutedCloseHandle)},
    {"CreateThread", Address(&RoutedCreateThread)},
    {"ResumeThread", Address(&RoutedResumeThread)},
    {"LoadLibraryA", Address(&RoutedLoadLibraryA)},
    {"GetProcAddress", Address(&RoutedGetProcAddress)},
    {"FreeLibrary", Address(&RoutedFreeLibrary)},
    {"RegOpenKeyExA", Address(&RoutedRegOpenKeyExA)},
    {"RegQueryValueExA", Address(&RoutedRegQueryValueExA)},
    {"RegCloseKey", Address(&RoutedRegCloseKey)},
};

}  // namespace

const ImportRoute* LibraryRoutes(std::size_t* count) {
  *count = sizeof kRoutes / sizeof kRoutes[0];
  return kRoutes;
}

bool ThreadsUnderway() { return g_threadsUnderway.load() == g_threadsCreated.load(); }

}  // namespace lumbrel::sim::windows
