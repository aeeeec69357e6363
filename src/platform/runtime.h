// The few facts of the running process that are not Win32 calls.
//
// On Windows they are one-liners over the C runtime; on the host the simulated
// server provides them, so that memory exhaustion can be injected, calendar
// time is virtual and request blocks can carry 32-bit buffer addresses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumbrel::platform {

// The 32-bit process address of a buffer, as the request blocks of some
// drivers carry it. In a 32-bit Windows process this is the pointer itself;
// on a 64-bit host the simulated drivers resolve it back to the buffer.
std::uint32_t ProcessAddress(const void* buffer);

// Calendar time in seconds, as the C library's time() reports it.
std::uint32_t CalendarTime();

// Heap blocks for the library's own objects and buffers. AllocateMemory
// returns null when no memory can be had; every caller handles that.
void* AllocateMemory(std::size_t size);
void ReleaseMemory(void* block);

// A reference to the library's own module, taken for a worker thread that
// may outlive the caller's FreeLibrary, so that the code it runs stays
// loaded; null when none could be taken.
void* PinLibrary();
// Gives back a reference taken by PinLibrary when its worker could not be
// started.
void UnpinLibrary(void* pin);
// The last act of a pinned worker: gives back its reference and ends the
// thread with `exitCode`. On Windows it does not return (the module may be
// unloaded at once); on the host it returns and the worker returns the code.
void EndPinnedWorker(void* pin, std::uint32_t exitCode);

}  // namespace lumbrel::platform
