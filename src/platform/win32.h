// The operating system as the library sees it: the Win32 subset it calls.
//
// On Windows this is <windows.h> itself. On the host the same declarations
// come from host/win32_subset.h and are served by the simulated server, so
// the library is written once, as ordinary Windows code.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "platform/host/win32_subset.h"
#endif
