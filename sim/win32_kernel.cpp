// Kernel services of the simulated platform: files, devices, threads, time,
// system directories and dynamic libraries.
#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/host/win32_subset.h"
#include "sim/last_error.h"
#include "sim/simulator.h"
#include "sim/text_util.h"

using lumbrel::sim::CurrentMachine;
using lumbrel::sim::Fail;
using lumbrel::sim::KernelObject;
using lumbrel::sim::Machine;
using lumbrel::sim::TraceRecord;

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

HANDLE OpenDevice(Machine& machine, const std::string& name, DWORD access) {
  const auto device = machine.FindDevice(name.substr(kDevicePrefix.size()));
  if (device == nullptr) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (const std::uint32_t error = device->Open(access); error != 0) return Fail(error, INVALID_HANDLE_VALUE);
  KernelObject object;
  object.kind = KernelObject::Kind::Device;
  object.name = name;
  object.access = access;
  object.device = device;
  SetLastError(ERROR_SUCCESS);
  return machine.AddHandle(std::move(object));
}

HANDLE OpenFile(Machine& machine, const std::string& name, DWORD access, DWORD disposition) {
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
  if (existed && file->readOnly && writes) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (!existed) file = machine.files().Create(name);
  if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) file->data.clear();
  KernelObject object;
  object.kind = KernelObject::Kind::File;
  object.name = name;
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

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD creationDisposition, DWORD, HANDLE) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  const std::string name = TextOrEmpty(fileName);
  TraceRecord trace(machine.trace(), "CreateFileA");
  trace.Set("name", name).Set("access", desiredAccess).Set("share", shareMode).Set("disposition", creationDisposition);
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (const auto fault = machine.faults().Check("CreateFileA", {{"name", name}})) {
    trace.Injected();
    handle = Fail(*fault, INVALID_HANDLE_VALUE);
  } else if (fileName == nullptr || name.empty()) {
    handle = Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  } else if (lumbrel::sim::StartsWithIgnoreCase(name, kDevicePrefix)) {
    handle = OpenDevice(machine, name, desiredAccess);
  } else {
    handle = OpenFile(machine, name, desiredAccess, creationDisposition);
  }
  trace.Finish(handle == INVALID_HANDLE_VALUE ? GetLastError() : 0);
  return handle;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "CloseHandle");
  const KernelObject* found = machine.FindHandle(object);
  const std::string name = found != nullptr ? found->name : std::string();
  trace.Set("name", name);
  if (found == nullptr || found->kind == KernelObject::Kind::Find) {
    trace.Finish(ERROR_INVALID_HANDLE);
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  if (const auto fault = machine.faults().Check("CloseHandle", {{"name", name}})) {
    // A failing close still forgets the handle, as Windows does.
    machine.RemoveHandle(object);
    trace.Injected().Finish(*fault);
    return Fail(*fault, FALSE);
  }
  machine.RemoveHandle(object);
  trace.Finish(0);
  return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                            DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "DeviceIoControl");
  KernelObject* object = machine.FindHandle(device);
  const std::string name = object != nullptr ? object->name : std::string();
  trace.Set("device", name).Set("ioctl", IoctlText(ioControlCode));
  if (inBuffer != nullptr) trace.SetHex("in", inBuffer, inBufferSize);

  auto fail = [&](DWORD error) {
    trace.Finish(error);
    return Fail(error, FALSE);
  };
  if (object == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (object->kind != KernelObject::Kind::Device) return fail(ERROR_INVALID_FUNCTION);
  if (overlapped != nullptr || bytesReturned == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if ((inBuffer == nullptr && inBufferSize != 0) || (outBuffer == nullptr && outBufferSize != 0)) {
    return fail(ERROR_NOACCESS);
  }
  *bytesReturned = 0;
  if (const auto fault = machine.faults().Check("DeviceIoControl", {{"device", name}, {"ioctl", ioControlCode}})) {
    trace.Injected();
    return fail(*fault);
  }
  // The I/O manager grants a control code only to a handle opened with the
  // access that the code's bits 14-15 ask for (1 read, 2 write).
  const DWORD requiredAccess = (ioControlCode >> 14) & 3;
  if (((requiredAccess & 1) != 0 && (object->access & GENERIC_READ) == 0) ||
      ((requiredAccess & 2) != 0 && (object->access & GENERIC_WRITE) == 0)) {
    return fail(ERROR_ACCESS_DENIED);
  }

  // METHOD_BUFFERED: the driver works on a system copy of the input, and its
  // output is copied back to the caller only when it succeeds.
  std::vector<std::uint8_t> system(std::max(inBufferSize, outBufferSize));
  if (inBufferSize != 0) std::memcpy(system.data(), inBuffer, inBufferSize);
  lumbrel::sim::ControlRequest request;
  request.ioctl = ioControlCode;
  request.buffer = system.data();
  request.inputLength = inBufferSize;
  request.outputLength = outBufferSize;
  request.userInput = inBuffer;
  request.userOutput = outBuffer;
  request.trace = machine.trace().enabled() ? &trace : nullptr;
  const std::uint32_t error = object->device->Control(request);
  if (error != 0) return fail(error);
  const DWORD returned = std::min<DWORD>(request.bytesReturned, outBufferSize);
  if (returned != 0) std::memcpy(outBuffer, system.data(), returned);
  *bytesReturned = returned;
  trace.SetHex("out", system.data(), returned).Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "ReadFile");
  KernelObject* object = machine.FindHandle(file);
  trace.Set("name", object != nullptr ? object->name : std::string()).Set("length", bytesToRead);
  auto fail = [&](DWORD error) {
    trace.Finish(error);
    return Fail(error, FALSE);
  };
  if (bytesRead != nullptr) *bytesRead = 0;
  if (object == nullptr || object->kind != KernelObject::Kind::File) return fail(ERROR_INVALID_HANDLE);
  if (overlapped != nullptr || (buffer == nullptr && bytesToRead != 0)) return fail(ERROR_INVALID_PARAMETER);
  if ((object->access & GENERIC_READ) == 0) return fail(ERROR_ACCESS_DENIED);
  if (const auto fault = machine.faults().Check("ReadFile", {{"name", object->name}})) {
    trace.Injected();
    return fail(*fault);
  }
  const auto& data = object->file->data;
  const std::uint64_t available = object->position < data.size() ? data.size() - object->position : 0;
  const auto n = static_cast<DWORD>(std::min<std::uint64_t>(available, bytesToRead));
  if (n != 0) std::memcpy(buffer, data.data() + object->position, n);
  object->position += n;
  if (bytesRead != nullptr) *bytesRead = n;
  trace.Set("transferred", n).Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "WriteFile");
  KernelObject* object = machine.FindHandle(file);
  trace.Set("name", object != nullptr ? object->name : std::string()).Set("length", bytesToWrite);
  auto fail = [&](DWORD error) {
    trace.Finish(error);
    return Fail(error, FALSE);
  };
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (object == nullptr || object->kind != KernelObject::Kind::File) return fail(ERROR_INVALID_HANDLE);
  if (overlapped != nullptr || (buffer == nullptr && bytesToWrite != 0)) return fail(ERROR_INVALID_PARAMETER);
  if ((object->access & GENERIC_WRITE) == 0) return fail(ERROR_ACCESS_DENIED);
  if (const auto fault = machine.faults().Check("WriteFile", {{"name", object->name}})) {
    trace.Injected();
    return fail(*fault);
  }
  auto& data = object->file->data;
  const std::uint64_t end = object->position + bytesToWrite;
  if (data.size() < end) data.resize(end);
  if (bytesToWrite != 0) std::memcpy(data.data() + object->position, buffer, bytesToWrite);
  object->position = end;
  if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  trace.Finish(0);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  const std::string name = TextOrEmpty(fileName);
  TraceRecord trace(machine.trace(), "DeleteFileA");
  trace.Set("name", name);
  DWORD error = ERROR_SUCCESS;
  if (const auto fault = machine.faults().Check("DeleteFileA", {{"name", name}})) {
    trace.Injected();
    error = *fault;
  } else if (const auto file = machine.files().Find(name); file == nullptr) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (file->readOnly) {
    error = ERROR_ACCESS_DENIED;
  } else {
    machine.files().Remove(name);
  }
  trace.Finish(error);
  if (error != ERROR_SUCCESS) return Fail(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  const std::string name = TextOrEmpty(fileName);
  TraceRecord trace(machine.trace(), "FindFirstFileA");
  trace.Set("name", name);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<lumbrel::sim::SimFile> file;
  if (const auto fault = machine.faults().Check("FindFirstFileA", {{"name", name}})) {
    trace.Injected();
    error = *fault;
  } else if (findData == nullptr) {
    error = ERROR_INVALID_PARAMETER;
  } else if (file = machine.files().Find(name); file == nullptr) {
    error = ERROR_FILE_NOT_FOUND;
  }
  trace.Finish(error);
  if (error != ERROR_SUCCESS) return Fail(error, INVALID_HANDLE_VALUE);
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
  return machine.AddHandle(std::move(object));
}

BOOL WINAPI FindClose(HANDLE findFile) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "FindClose");
  const KernelObject* object = machine.FindHandle(findFile);
  trace.Set("name", object != nullptr ? object->name : std::string());
  if (object == nullptr || object->kind != KernelObject::Kind::Find) {
    trace.Finish(ERROR_INVALID_HANDLE);
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  machine.RemoveHandle(findFile);
  trace.Finish(0);
  return TRUE;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                           DWORD creationFlags, LPDWORD threadId) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "CreateThread");
  trace.Set("suspended", (creationFlags & CREATE_SUSPENDED) != 0);
  if (const auto fault = machine.faults().Check("CreateThread")) {
    trace.Injected().Finish(*fault);
    return Fail(*fault, static_cast<HANDLE>(nullptr));
  }
  if (startAddress == nullptr) {
    trace.Finish(ERROR_INVALID_PARAMETER);
    return Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  }
  static std::atomic<DWORD> nextThreadId{0x1000};
  const DWORD id = nextThreadId += 4;
  KernelObject object;
  object.kind = KernelObject::Kind::Thread;
  object.name = "thread " + std::to_string(id);
  object.thread = machine.StartThread(startAddress, parameter, (creationFlags & CREATE_SUSPENDED) != 0);
  if (threadId != nullptr) *threadId = id;
  trace.Set("threadId", id).Finish(0);
  SetLastError(ERROR_SUCCESS);
  return machine.AddHandle(std::move(object));
}

DWORD WINAPI ResumeThread(HANDLE thread) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "ResumeThread");
  KernelObject* object = machine.FindHandle(thread);
  if (object == nullptr || object->kind != KernelObject::Kind::Thread) {
    trace.Finish(ERROR_INVALID_HANDLE);
    return Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
  }
  trace.Set("name", object->name).Finish(0);
  return object->thread->Resume();
}

void WINAPI Sleep(DWORD milliseconds) {
  Machine& machine = CurrentMachine();
  TraceRecord(machine.trace(), "Sleep").Set("milliseconds", milliseconds).Finish(0);
  machine.clock().Advance(milliseconds);
  std::this_thread::yield();  // let other threads see the time pass, as a real sleep would
}

DWORD WINAPI GetTickCount() {
  Machine& machine = CurrentMachine();
  const DWORD ticks = machine.clock().TickCount();
  TraceRecord(machine.trace(), "GetTickCount").Set("ticks", ticks).Finish(0);
  return ticks;
}

DWORD WINAPI GetLogicalDrives() {
  Machine& machine = CurrentMachine();
  TraceRecord(machine.trace(), "GetLogicalDrives").Set("drives", 0).Finish(0);
  return 0;
}

UINT WINAPI GetDriveTypeA(LPCSTR rootPathName) {
  Machine& machine = CurrentMachine();
  TraceRecord(machine.trace(), "GetDriveTypeA").Set("root", TextOrEmpty(rootPathName)).Set("type", DRIVE_NO_ROOT_DIR).Finish(0);
  return DRIVE_NO_ROOT_DIR;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "GetSystemDirectoryA");
  if (const auto fault = machine.faults().Check("GetSystemDirectoryA")) {
    trace.Injected().Finish(*fault);
    return Fail(*fault, UINT{0});
  }
  trace.Set("directory", machine.settings().systemDirectory).Finish(0);
  return CopyOut(machine.settings().systemDirectory, buffer, size);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "GetWindowsDirectoryA");
  if (const auto fault = machine.faults().Check("GetWindowsDirectoryA")) {
    trace.Injected().Finish(*fault);
    return Fail(*fault, UINT{0});
  }
  trace.Set("directory", machine.settings().windowsDirectory).Finish(0);
  return CopyOut(machine.settings().windowsDirectory, buffer, size);
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  TraceRecord trace(machine.trace(), "ExpandEnvironmentStringsA");
  const std::string text = TextOrEmpty(source);
  trace.Set("source", text);
  if (const auto fault = machine.faults().Check("ExpandEnvironmentStringsA")) {
    trace.Injected().Finish(*fault);
    return Fail(*fault, DWORD{0});
  }
  // %NAME% is replaced by the variable's value; an unknown name stays as it is.
  std::string expanded;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close != std::string::npos) {
      if (const auto value = machine.Environment(text.substr(i + 1, close - i - 1))) {
        expanded += *value;
        i = close + 1;
        continue;
      }
    }
    expanded += text[i++];
  }
  trace.Set("expanded", expanded).Finish(0);
  const auto needed = static_cast<DWORD>(expanded.size() + 1);
  if (destination != nullptr && size >= needed) std::memcpy(destination, expanded.c_str(), needed);
  return needed;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  Machine& machine = CurrentMachine();
  std::lock_guard lock(machine.mutex());
  const std::string name = TextOrEmpty(fileName);
  TraceRecord trace(machine.trace(), "LoadLibraryA");
  trace.Set("name", name);
  DWORD error = ERROR_MOD_NOT_FOUND;
  if (const auto fault = machine.faults().Check("LoadLibraryA", {{"name", name}})) {
    trace.Injected();
    error = *fault;
  }
  trace.Finish(error);
  return Fail(error, static_cast<HMODULE>(nullptr));
}

FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR procName) {
  Machine& machine = CurrentMachine();
  TraceRecord(machine.trace(), "GetProcAddress").Set("name", TextOrEmpty(procName)).Finish(ERROR_INVALID_HANDLE);
  return Fail(ERROR_INVALID_HANDLE, static_cast<FARPROC>(nullptr));
}

BOOL WINAPI FreeLibrary(HMODULE) {
  Machine& machine = CurrentMachine();
  TraceRecord(machine.trace(), "FreeLibrary").Finish(ERROR_INVALID_HANDLE);
  return Fail(ERROR_INVALID_HANDLE, FALSE);
}

}  // extern "C"
