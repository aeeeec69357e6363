// LUMBRELSIM.dll: the machine of the process, built on first use from the
// machine file that LUMBREL_MACHINE names, and the libraries routed to it.
#define LUMBREL_SIM_BUILD
#include "lumbrel_sim.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "machine_view.h"
#include "routed_calls.h"
#include "sim/machine_description.h"
#include "sim/machine_format_error.h"
#include "sim/simulator.h"
#include "sim/volume_device.h"

extern "C" void WINAPI SimSleep(DWORD milliseconds);

namespace lumbrel::sim::windows {
namespace {

constexpr const char* kScsiMap = "HARDWARE\\DEVICEMAP\\Scsi";
constexpr const char* kServices = "SYSTEM\\CurrentControlSet\\Services";

std::string g_problem;
// The stand-ins and routed libraries loaded now. When the last goes, so
// does the machine: the next user builds a fresh one, as a fresh DLL would.
// Atomic: a stand-in's load and unload come from the loader, on any thread.
std::atomic<int> g_users{0};
// The registry keys that the machine put into the process's registry.
std::vector<std::string> g_placedKeys;
// The libraries loaded through LumbrelSimLoadLibrary, once per load.
std::vector<HMODULE> g_routed;

// An environment variable's value, however long; "" when it is not set.
std::string Environment(const char* name) {
  std::string value(GetEnvironmentVariableA(name, nullptr, 0), '\0');
  if (value.empty()) return value;
  const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
  value.resize(length < value.size() ? length : 0);  // 0: it changed meanwhile
  return value;
}

// The machine of the process: the file that LUMBREL_MACHINE names, else the
// default machine; an empty one, with the reason kept, when that fails.
std::unique_ptr<Machine> MachineOfEnvironment() {
  const std::string path = Environment("LUMBREL_MACHINE");
  g_problem.clear();
  std::unique_ptr<Machine> machine;
  try {
    machine = BuildMachine(path.empty() ? DefaultMachine() : ReadMachineFile(path));
    const std::string trace = Environment("LUMBREL_TRACE");
    machine->trace().KeepAllReturnedData(Environment("LUMBREL_TRACE_DATA") == "full");
    if (!trace.empty()) machine->trace().WriteTo(trace);
  } catch (const std::exception& error) {
    g_problem = error.what();
    std::fprintf(stderr, "LUMBRELSIM.dll: %s\n", error.what());
    std::fflush(stderr);
    machine = std::make_unique<Machine>();
  }
  return machine;
}

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void PlaceKey(const RegistryKey& key, bool isVolatile) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.path().c_str(), 0, nullptr,
                      isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const auto& [name, value] : key.Values()) {
    RegSetValueExA(handle, name.c_str(), 0, value->type, value->data.data(), static_cast<DWORD>(value->data.size()));
  }
  RegCloseKey(handle);
  for (const RegistryKey* child : key.Children()) PlaceKey(*child, isVolatile);
}

// Whether the machine's key replaces the process's key as a whole: the
// SCSI device map, each service, and any other key with values (the
// machine's others are SYSTEM\DISK and the parents of these).
bool ReplacesWhole(const RegistryKey& key) {
  const std::string& path = key.path();
  const std::string services = std::string(kServices) + "\\";
  if (_stricmp(path.c_str(), kScsiMap) == 0) return true;
  if (_strnicmp(path.c_str(), services.c_str(), services.size()) == 0) {
    return path.find('\\', services.size()) == std::string::npos;
  }
  return !key.Values().empty();
}

void PlaceReplacing(const RegistryKey& key) {
  if (!ReplacesWhole(key)) {
    for (const RegistryKey* child : key.Children()) PlaceReplacing(*child);
    return;
  }
  g_placedKeys.push_back(key.path());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.path().c_str());
  PlaceKey(key, _strnicmp(key.path().c_str(), "HARDWARE\\", 9) == 0);
}

// Under Wine the machine's registry keys replace the prefix's own as long
// as a routed library is loaded. Keys below HARDWARE are volatile, as
// Windows keeps them.
void PlaceRegistry(Machine& machine) {
  if (!RunsUnderWine()) return;
  std::lock_guard lock(machine.mutex());
  RegistryKey& root = machine.registry().localMachine();
  // What the machine lacks the prefix must lack too.
  for (const char* path : {kScsiMap, kDiskInformationKey}) {
    if (root.Find(path) != nullptr) continue;
    g_placedKeys.push_back(path);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
  }
  for (const RegistryKey* child : root.Children()) PlaceReplacing(*child);
}

// The loader's notice of a DLL that it has mapped and bound, given before
// the DLL's entry point runs: the moment to route its imports, so that even
// the work it does at load reaches the machine.
struct LoaderText {
  USHORT length;  // bytes
  USHORT maximumLength;
  const wchar_t* buffer;
};
struct LoadedDll {
  ULONG flags;
  const LoaderText* fullName;
  const LoaderText* baseName;
  void* base;
  ULONG imageSize;
};
constexpr ULONG kDllLoaded = 1;
using LoaderNotice = void(CALLBACK*)(ULONG reason, const LoadedDll* data, void* context);
using RegisterNotice = LONG(NTAPI*)(ULONG flags, LoaderNotice notice, void* context, void** cookie);
using UnregisterNotice = LONG(NTAPI*)(void* cookie);

struct Awaited {
  std::wstring name;  // the base name of the DLL being loaded
  int routed = 0;
  bool placesRegistry = false;  // the machine's keys go in before the first routing
};
bool g_launchPlaced = false;

void RouteMapped(Awaited& awaited, HMODULE module) {
  if (awaited.placesRegistry && !g_launchPlaced) {
    g_launchPlaced = true;
    PlaceRegistry(CurrentMachine());
  }
  std::size_t count = 0;
  const ImportRoute* routes = LibraryRoutes(&count);
  awaited.routed += RouteImports(module, routes, count);
}

void CALLBACK OnDllLoaded(ULONG reason, const LoadedDll* data, void* context) {
  auto* awaited = static_cast<Awaited*>(context);
  if (reason != kDllLoaded || data == nullptr || data->baseName == nullptr || data->baseName->buffer == nullptr) return;
  const std::wstring name(data->baseName->buffer, data->baseName->length / sizeof(wchar_t));
  if (CompareStringOrdinal(name.c_str(), -1, awaited->name.c_str(), -1, TRUE) != CSTR_EQUAL) return;
  RouteMapped(*awaited, static_cast<HMODULE>(data->base));
}

RegisterNotice NoticeRegistration() {
  return reinterpret_cast<RegisterNotice>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification")));
}
UnregisterNotice NoticeUnregistration() {
  return reinterpret_cast<UnregisterNotice>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrUnregisterDllNotification")));
}

// LoadLibraryA with the library's imports routed before it initialises;
// where the loader gives no notice, right after.
HMODULE LoadRouted(const char* name) {
  std::string base = name;
  if (const auto slash = base.find_last_of("\\/"); slash != std::string::npos) base.erase(0, slash + 1);
  if (base.find('.') == std::string::npos) base += ".dll";
  Awaited awaited{std::wstring(base.begin(), base.end())};
  const auto registerNotice = NoticeRegistration();
  const auto unregisterNotice = NoticeUnregistration();
  void* cookie = nullptr;
  if (registerNotice != nullptr && unregisterNotice != nullptr &&
      registerNotice(0, &OnDllLoaded, &awaited, &cookie) != 0) {
    cookie = nullptr;
  }
  HMODULE module = LoadLibraryA(name);
  const DWORD error = GetLastError();
  if (cookie != nullptr) unregisterNotice(cookie);
  if (module != nullptr && awaited.routed == 0) {
    std::size_t count = 0;
    const ImportRoute* routes = LibraryRoutes(&count);
    RouteImports(module, routes, count);
  }
  SetLastError(error);
  return module;
}

void RemoveRegistry() {
  for (const std::string& path : g_placedKeys) RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
  g_placedKeys.clear();
}

// A process that lumbrel-sim-run.exe started: LUMBREL_SIM_RUN names the
// library to route, whenever and however the process loads it. This DLL
// comes in as that library's dependency (through the stand-in I2CDLL.dll)
// and initialises before it, so the library is mapped and bound but its
// entry point has not run: route it now, and watch for later loads.
Awaited g_launched;
void* g_launchCookie = nullptr;

void StartLaunchedRouting() {
  const std::string name = Environment("LUMBREL_SIM_RUN");
  if (name.empty()) return;
  g_launched = Awaited{std::wstring(name.begin(), name.end()), 0, true};
  const auto registerNotice = NoticeRegistration();
  if (registerNotice != nullptr && registerNotice(0, &OnDllLoaded, &g_launched, &g_launchCookie) != 0) {
    g_launchCookie = nullptr;
  }
  if (const HMODULE loaded = GetModuleHandleA(name.c_str())) RouteMapped(g_launched, loaded);
}

void StopLaunchedRouting() {
  if (g_launchCookie != nullptr) {
    if (const auto unregisterNotice = NoticeUnregistration()) unregisterNotice(g_launchCookie);
    g_launchCookie = nullptr;
  }
  if (g_launchPlaced) RemoveRegistry();
}

}  // namespace
}  // namespace lumbrel::sim::windows

namespace sw = lumbrel::sim::windows;
using lumbrel::sim::CurrentMachine;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    lumbrel::sim::SetMachineSource(&sw::MachineOfEnvironment);
    sw::StartLaunchedRouting();
  }
  if (reason == DLL_PROCESS_DETACH) sw::StopLaunchedRouting();
  return TRUE;
}

void LumbrelSimAttach(void) { ++sw::g_users; }

void LumbrelSimDetach(void) {
  if (--sw::g_users == 0) {
    lumbrel::sim::InstallMachine(nullptr);
  }
}

HMODULE LumbrelSimLoadLibrary(const char* name) {
  LumbrelSimAttach();
  lumbrel::sim::Machine& machine = CurrentMachine();
  if (!sw::g_problem.empty()) {
    LumbrelSimDetach();
    SetLastError(ERROR_BAD_CONFIGURATION);
    return nullptr;
  }
  if (sw::g_routed.empty()) sw::PlaceRegistry(machine);
  HMODULE module = sw::LoadRouted(name);
  if (module == nullptr) {
    const DWORD error = GetLastError();
    if (sw::g_routed.empty()) sw::RemoveRegistry();
    LumbrelSimDetach();
    SetLastError(error);
    return nullptr;
  }
  sw::g_routed.push_back(module);
  return module;
}

BOOL LumbrelSimFreeLibrary(HMODULE module) {
  const auto routed = std::find(sw::g_routed.begin(), sw::g_routed.end(), module);
  if (routed == sw::g_routed.end()) return FreeLibrary(module);  // not one of ours: nothing else to undo
  if (!FreeLibrary(module)) return FALSE;
  sw::g_routed.erase(routed);
  if (sw::g_routed.empty()) sw::RemoveRegistry();
  // A job's worker holds the library until it ends and calls the machine
  // meanwhile: while it is mapped, the machine stays, for the process's life.
  HMODULE mapped = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(module), &mapped)) {
    LumbrelSimDetach();
  }
  return TRUE;
}

const char* LumbrelSimProblem(void) { return sw::g_problem.c_str(); }

uint64_t LumbrelSimElapsed(void) { return CurrentMachine().clock().ElapsedMilliseconds(); }

void LumbrelSimSleep(DWORD milliseconds) { SimSleep(milliseconds); }

void LumbrelSimCatchUp(uint64_t milliseconds) { CurrentMachine().clock().CatchUp(milliseconds); }

BOOL LumbrelSimThreadsUnderway(void) { return sw::ThreadsUnderway() ? TRUE : FALSE; }

DWORD LumbrelSimDescribeMachine(char* buffer, DWORD size) {
  const std::string text = lumbrel::diag::DescribeMachine(CurrentMachine()).dump();
  const auto needed = static_cast<DWORD>(text.size() + 1);
  if (buffer != nullptr && size >= needed) std::memcpy(buffer, text.c_str(), needed);
  return needed;
}

}  // extern "C"
