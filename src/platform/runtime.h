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

}  // namespace lumbrel::platform
