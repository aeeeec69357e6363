// Kernel services of the simulated platform: files, devices, threads, time,
// system directories and dynamic libraries.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#if !defined(_WIN32)
#include <thread>
#endif
#include <vector>

#include "platform/win32.h"
#include "sim/sim_api.h"
#include "sim/last_error.h"
#include "sim/platform_call.h"
#include "sim/text_util.h"
#if !defined(_WIN32)
#include "sim/sim_thread.h"
#endif

using lumbrel::sim::Fail;
using lumbrel::sim::KernelObject;
using lumbrel::sim::Machine;
using lumbrel::sim::MachineSettings;
using lumbrel::sim::PlatformCall;

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string TextOrEmpty(const char* text) { return text == nullptr ? std::string() : std::string(text); }

std::string IoctlText(DWORD code) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(code));
  return text;
}

// Copies `text` into a caller buffer the way the Windows directory queries
// do: the length without terminator when it fits, else the size needed.
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<UINT>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

// GetSystemDirectoryA and GetWindowsDirectoryA: one of the machine's
// directories, copied out.
UINT DirectoryQuery(lumbrel::sim::CallName name, std::string MachineSettings::*directory, LPSTR buffer, UINT size) {
  PlatformCall call(name);
  if (const auto fault = call.Fault()) return call.Fail(*fault, UINT{0});
  const std::string& text = call.machine().settings().*directory;
  call.trace().Set("directory", text);
  call.Finish(0);
  return CopyOut(text, buffer, size);
}

HANDLE OpenDevice(Machine& machine, std::string_view name, DWORD access) {
  const auto& device = machine.FindDevice(name.substr(kDevicePrefix.size()));
  if (device == nullptr) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (const std::uint32_t error = device->Open(access); error != 0) return Fail(error, INVALID_HANDLE_VALUE);
  void* handle = nullptr;
  KernelObject& object = machine.OpenHandle(&handle);
  object.kind = KernelObject::Kind::Device;
  object.name.assign(name);
  object.access = access;
  object.device = device;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE OpenFile(Machine& machine, std::string_view name, DWORD access, DWORD disposition) {
  auto file = machine.files().Find(name);
  const bool existed = file != nullptr;
  switch (disposition) {
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
      if (!existed) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
      break;
    case CREATE_NEW:
      if (existed) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
      break;
    case OPEN_ALWAYS:
    case CREATE_ALWAYS:
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  const bool writes = (access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS ||
                      disposition == TRUNCATE_EXISTING || !existed;
  const lumbrel::sim::VolumeConfig* volume = machine.VolumeOfPath(name);
  if (volume != nullptr && volume->readOnly && writes) return Fail(ERROR_WRITE_PROTECT, INVALID_HANDLE_VALUE);
  if (existed && file->readOnly && writes) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (!existed) file = machine.files().Create(name);
  if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) file->data.clear();
  KernelObject object;
  object.kind = KernelObject::Kind::File;
  object.name.assign(name);
  object.access = access;
  object.file = file;
  HANDLE handle = machine.AddHandle(std::move(object));
  // Opening a file that exists with OPEN_ALWAYS or CREATE_ALWAYS succeeds and says so.
  const bool saysExisted = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
  SetLastError(saysExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

}  // namespace

extern "C" {

HANDLE WINAPI LUMBREL_SIM_WIN32(CreateFileA)(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD creationDisposition, DWORD, HANDLE) {
  PlatformCall call("CreateFileA");
  const std::string_view name = fileName == nullptr ? std::string_view() : std::string_view(fileName);
  call.trace().Set("name", name).Set("access", desiredAccess).Set("share", shareMode).Set("disposition", creationDisposition);
  if (name.empty()) return call.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, INVALID_HANDLE_VALUE);
  HANDLE handle = lumbrel::sim::StartsWithIgnoreCase(name, kDevicePrefix)
                      ? OpenDevice(call.machine(), name, desiredAccess)
                      : OpenFile(call.machine(), name, desiredAccess, creationDisposition);
  call.Finish(handle == INVALID_HANDLE_VALUE ? GetLastError() : 0);
  return handle;
}

BOOL WINAPI LUMBREL_SIM_WIN32(CloseHandle)(HANDLE object) {
  PlatformCall call("CloseHandle");
  const KernelObject* found = call.machine().FindHandle(object);
  const std::string_view name = found != nullptr ? std::string_view(found->name) : std::string_view();
  call.trace().Set("name", name);
  if (found == nullptr || found->kind == KernelObject::Kind::Find) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  // A failing close still forgets the handle, as Windows does.
  const auto fault = call.Fault({{"name", name}});
  call.machine().RemoveHandle(object);  // `name` is gone from here on
  if (fault) return call.Fail(*fault, FALSE);
  call.Finish(0);
  return TRUE;
}

BOOL WINAPI LUMBREL_SIM_WIN32(DeviceIoControl)(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                            DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  PlatformCall call("DeviceIoControl");
  KernelObject* object = call.machine().FindHandle(device);
  const std::string_view name = object != nullptr ? std::string_view(object->name) : std::string_view();
  const bool traced = call.machine().trace().enabled();
  if (traced) call.trace().Set("device", name).Set("ioctl", IoctlText(ioControlCode));
  if (inBuffer != nullptr) call.trace().SetHex("in", inBuffer, inBufferSize);

  if (object == nullptr) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (object->kind != KernelObject::Kind::Device) return call.Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (overlapped != nullptr || bytesReturned == nullptr) return call.Fail(ERROR_INVALID_PARAMETER, FALSE);
  if ((inBuffer == nullptr && inBufferSize != 0) || (outBuffer == nullptr && outBufferSize != 0)) {
    return call.Fail(ERROR_NOACCESS, FALSE);
  }
  *bytesReturned = 0;
  // The I/O manager grants a control code only to a handle opened with the
  // access that the code's bits 14-15 ask for (1 read, 2 write).
  const DWORD requiredAccess = (ioControlCode >> 14) & 3;
  if (((requiredAccess & 1) != 0 && (object->access & GENERIC_READ) == 0) ||
      ((requiredAccess & 2) != 0 && (object->access & GENERIC_WRITE) == 0)) {
    return call.Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  if (const auto fault = call.Fault({{"device", name}, {"ioctl", ioControlCode}})) return call.Fail(*fault, FALSE);

  // METHOD_BUFFERED: the driver works on a system copy of the input (zeros
  // beyond it), and its output is copied back to the caller only when it
  // succeeds. The machine keeps that buffer for the next request: one at a
  // time holds the machine's lock, and no driver calls DeviceIoControl.
  const std::span<std::uint8_t> system = call.machine().ControlBuffer(std::max(inBufferSize, outBufferSize));
  if (inBufferSize != 0) std::memcpy(system.data(), inBuffer, inBufferSize);
  if (system.size() > inBufferSize) std::memset(system.data() + inBufferSize, 0, system.size() - inBufferSize);
  lumbrel::sim::ControlRequest request;
  request.ioctl = ioControlCode;
  request.buffer = system.data();
  request.inputLength = inBufferSize;
  request.outputLength = outBufferSize;
  request.userInput = inBuffer;
  request.userOutput = outBuffer;
  request.trace = traced ? &call.trace() : nullptr;
  if (const std::uint32_t error = object->device->Control(request); error != 0) return call.Fail(error, FALSE);
  const DWORD returned = std::min<DWORD>(request.bytesReturned, outBufferSize);
  // When the input and the output are one buffer, the bytes that the driver
  // left alone are already there: only those it may have changed go back.
  DWORD changed = returned;
  if (outBuffer == inBuffer && request.changedEnd < returned && returned <= inBufferSize) changed = request.changedEnd;
  if (changed != 0) std::memcpy(outBuffer, system.data(), changed);
  *bytesReturned = returned;
  call.trace().SetReturnedHex("out", system.data(), returned);
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI LUMBREL_SIM_WIN32(ReadFile)(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  PlatformCall call("ReadFile");
  KernelObject* object = call.machine().FindHandle(file);
  call.trace().Set("name", object != nullptr ? object->name : std::string()).Set("length", bytesToRead);
  if (bytesRead != nullptr) *bytesRead = 0;
  if (object == nullptr || object->kind != KernelObject::Kind::File) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (overlapped != nullptr || (buffer == nullptr && bytesToRead != 0)) return call.Fail(ERROR_INVALID_PARAMETER, FALSE);
  if ((object->access & GENERIC_READ) == 0) return call.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (const auto fault = call.Fault({{"name", object->name}})) return call.Fail(*fault, FALSE);
  const auto& data = object->file->data;
  const std::uint64_t available = object->position < data.size() ? data.size() - object->position : 0;
  const auto n = static_cast<DWORD>(std::min<std::uint64_t>(available, bytesToRead));
  if (n != 0) std::memcpy(buffer, data.data() + object->position, n);
  object->position += n;
  if (bytesRead != nullptr) *bytesRead = n;
  call.trace().Set("transferred", n);
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI LUMBREL_SIM_WIN32(WriteFile)(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
  PlatformCall call("WriteFile");
  KernelObject* object = call.machine().FindHandle(file);
  call.trace().Set("name", object != nullptr ? object->name : std::string()).Set("length", bytesToWrite);
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (object == nullptr || object->kind != KernelObject::Kind::File) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (overlapped != nullptr || (buffer == nullptr && bytesToWrite != 0)) {
    return call.Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  if ((object->access & GENERIC_WRITE) == 0) return call.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (const auto fault = call.Fault({{"name", object->name}})) return call.Fail(*fault, FALSE);
  auto& data = object->file->data;
  const std::uint64_t end = object->position + bytesToWrite;
  // A full volume takes no byte that would need new space.
  const lumbrel::sim::VolumeConfig* volume = call.machine().VolumeOfPath(object->name);
  if (volume != nullptr && volume->full && end > data.size()) return call.Fail(ERROR_DISK_FULL, FALSE);
  if (data.size() < end) data.resize(end);
  if (bytesToWrite != 0) std::memcpy(data.data() + object->position, buffer, bytesToWrite);
  object->position = end;
  // The data by its CRC and first bytes, so a trace shows what was written.
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(lumbrel::sim::Crc32(buffer, bytesToWrite)));
  call.trace().Set("crc32", std::string(crc)).SetHex("head", buffer, std::min<std::size_t>(bytesToWrite, lumbrel::sim::kDataHeadSize));
  if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI LUMBREL_SIM_WIN32(DeleteFileA)(LPCSTR fileName) {
  PlatformCall call("DeleteFileA");
  const std::string name = TextOrEmpty(fileName);
  call.trace().Set("name", name);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, FALSE);
  const auto file = call.machine().files().Find(name);
  if (file == nullptr) return call.Fail(ERROR_FILE_NOT_FOUND, FALSE);
  if (file->readOnly) return call.Fail(ERROR_ACCESS_DENIED, FALSE);
  call.machine().files().Remove(name);
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE WINAPI LUMBREL_SIM_WIN32(FindFirstFileA)(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  PlatformCall call("FindFirstFileA");
  const std::string name = TextOrEmpty(fileName);
  call.trace().Set("name", name);
  if (findData == nullptr) return call.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, INVALID_HANDLE_VALUE);
  const auto file = call.machine().files().Find(name);
  if (file == nullptr) return call.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  call.Finish(0);
  std::memset(findData, 0, sizeof *findData);
  findData->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  findData->nFileSizeLow = static_cast<DWORD>(file->data.size());
  findData->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(file->data.size()) >> 32);
  const auto slash = name.find_last_of('\\');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  std::snprintf(findData->cFileName, sizeof findData->cFileName, "%s", base.c_str());
  KernelObject object;
  object.kind = KernelObject::Kind::Find;
  object.name = name;
  SetLastError(ERROR_SUCCESS);
  return call.machine().AddHandle(std::move(object));
}

BOOL WINAPI LUMBREL_SIM_WIN32(FindClose)(HANDLE findFile) {
  PlatformCall call("FindClose");
  const KernelObject* object = call.machine().FindHandle(findFile);
  call.trace().Set("name", object != nullptr ? object->name : std::string());
  if (object == nullptr || object->kind != KernelObject::Kind::Find) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  call.machine().RemoveHandle(findFile);
  call.Finish(0);
  return TRUE;
}

// On Windows the threads are real: the Windows build routes these to the
// process's own (sim/windows).
#if !defined(_WIN32)
HANDLE WINAPI LUMBREL_SIM_WIN32(CreateThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId) {
  PlatformCall call("CreateThread");
  call.trace().Set("suspended", (creationFlags & CREATE_SUSPENDED) != 0);
  if (startAddress == nullptr) return call.Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  if (const auto fault = call.Fault()) return call.Fail(*fault, static_cast<HANDLE>(nullptr));
  static std::atomic<DWORD> nextThreadId{0x1000};
  const DWORD id = nextThreadId += 4;
  KernelObject object;
  object.kind = KernelObject::Kind::Thread;
  object.name = "thread " + std::to_string(id);
  object.thread = call.machine().StartThread(startAddress, parameter, (creationFlags & CREATE_SUSPENDED) != 0);
  if (threadId != nullptr) *threadId = id;
  call.trace().Set("threadId", id);
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return call.machine().AddHandle(std::move(object));
}

DWORD WINAPI LUMBREL_SIM_WIN32(ResumeThread)(HANDLE thread) {
  PlatformCall call("ResumeThread");
  KernelObject* object = call.machine().FindHandle(thread);
  if (object == nullptr || object->kind != KernelObject::Kind::Thread) {
    return call.Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
  }
  call.trace().Set("name", object->name);
  call.Finish(0);
  return object->thread->Resume();
}

#endif

void WINAPI LUMBREL_SIM_WIN32(Sleep)(DWORD milliseconds) {
  bool realTime = false;
  {
    PlatformCall call("Sleep");
    call.trace().Set("milliseconds", milliseconds);
    call.machine().clock().Advance(milliseconds);
    realTime = call.machine().clock().RealTime();
    call.Finish(0);
  }
  // Outside the machine's lock, which the other threads need meanwhile.
#if defined(_WIN32)
  ::Sleep(realTime ? milliseconds : 0);  // Sleep(0): let other threads see the time pass
#else
  // On the virtual clock the call returns at once: the other threads run
  // beside this one, and a yield per pause cost a tenth of a flash job.
  if (realTime) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

DWORD WINAPI LUMBREL_SIM_WIN32(GetTickCount)() {
  // Untraced, with no timed edit to apply, the call only reads the thread's
  // clock: no lock (the generic SCSI adapter asks before every command).
  if (Machine& machine = lumbrel::sim::CurrentMachine(); !machine.trace().enabled() && !machine.ChangesPending()) {
    return machine.clock().TickCount();
  }
  PlatformCall call("GetTickCount");
  const DWORD ticks = call.machine().clock().TickCount();
  call.trace().Set("ticks", ticks);
  call.Finish(0);
  return ticks;
}

DWORD WINAPI LUMBREL_SIM_WIN32(GetLogicalDrives)() {
  PlatformCall call("GetLogicalDrives");
  DWORD drives = 0;
  for (const lumbrel::sim::VolumeConfig* volume : call.machine().Volumes()) drives |= 1u << (volume->letter - 'A');
  call.trace().Set("drives", drives);
  call.Finish(0);
  return drives;
}

// The type of the volume whose root is "X:\"; any other path has no root directory.
UINT WINAPI LUMBREL_SIM_WIN32(GetDriveTypeA)(LPCSTR rootPathName) {
  PlatformCall call("GetDriveTypeA");
  const std::string root = TextOrEmpty(rootPathName);
  const lumbrel::sim::VolumeConfig* volume = root.size() == 3 ? call.machine().VolumeOfPath(root) : nullptr;
  const UINT type = volume != nullptr ? volume->type : DRIVE_NO_ROOT_DIR;
  call.trace().Set("root", root).Set("type", type);
  call.Finish(0);
  return type;
}

UINT WINAPI LUMBREL_SIM_WIN32(GetSystemDirectoryA)(LPSTR buffer, UINT size) {
  return DirectoryQuery("GetSystemDirectoryA", &MachineSettings::systemDirectory, buffer, size);
}

UINT WINAPI LUMBREL_SIM_WIN32(GetWindowsDirectoryA)(LPSTR buffer, UINT size) {
  return DirectoryQuery("GetWindowsDirectoryA", &MachineSettings::windowsDirectory, buffer, size);
}

DWORD WINAPI LUMBREL_SIM_WIN32(ExpandEnvironmentStringsA)(LPCSTR source, LPSTR destination, DWORD size) {
  PlatformCall call("ExpandEnvironmentStringsA");
  const std::string text = TextOrEmpty(source);
  call.trace().Set("source", text);
  if (const auto fault = call.Fault()) return call.Fail(*fault, DWORD{0});
  // %NAME% is replaced by the variable's value; an unknown name stays as it is.
  std::string expanded;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close != std::string::npos) {
      if (const auto value = call.machine().Environment(text.substr(i + 1, close - i - 1))) {
        expanded += *value;
        i = close + 1;
        continue;
      }
    }
    expanded += text[i++];
  }
  call.trace().Set("expanded", expanded);
  call.Finish(0);
  const auto needed = static_cast<DWORD>(expanded.size() + 1);
  if (destination != nullptr && size >= needed) std::memcpy(destination, expanded.c_str(), needed);
  return needed;
}

#if !defined(_WIN32)
// The one library of the simulated machine is the array controller
// management library, when the machine has it installed.
HMODULE WINAPI LUMBREL_SIM_WIN32(LoadLibraryA)(LPCSTR fileName) {
  PlatformCall call("LoadLibraryA");
  const std::string name = TextOrEmpty(fileName);
  call.trace().Set("name", name);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, static_cast<HMODULE>(nullptr));
  HMODULE module = call.machine().arrayLibrary().Load(name);
  if (module == nullptr) return call.Fail(ERROR_MOD_NOT_FOUND, module);
  call.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return module;
}

FARPROC WINAPI LUMBREL_SIM_WIN32(GetProcAddress)(HMODULE module, LPCSTR procName) {
  PlatformCall call("GetProcAddress");
  const std::string name = TextOrEmpty(procName);
  call.trace().Set("name", name);
  if (const auto fault = call.Fault({{"name", name}})) return call.Fail(*fault, static_cast<FARPROC>(nullptr));
  const auto& library = call.machine().arrayLibrary();
  if (!library.Owns(module) || library.LoadedCount() == 0) return call.Fail(ERROR_INVALID_HANDLE, static_cast<FARPROC>(nullptr));
  const FARPROC address = library.Resolve(module, name);
  if (address == nullptr) return call.Fail(ERROR_PROC_NOT_FOUND, address);
  call.Finish(0);
  return address;
}

BOOL WINAPI LUMBREL_SIM_WIN32(FreeLibrary)(HMODULE module) {
  PlatformCall call("FreeLibrary");
  if (const auto fault = call.Fault()) return call.Fail(*fault, FALSE);
  if (!call.machine().arrayLibrary().Free(module)) return call.Fail(ERROR_INVALID_HANDLE, FALSE);
  call.Finish(0);
  return TRUE;
}

#endif

}  // extern "C"
