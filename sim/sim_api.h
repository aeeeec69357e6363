// The names of the simulator's Win32 functions. On the host they are the
// platform itself: the library links against CreateFileA and the rest. In
// the Windows build they are SimCreateFileA and so on, beside the real ones,
// and reach the library through its import table (sim/windows).
#pragma once

#if defined(_WIN32)
#define LUMBREL_SIM_WIN32(name) Sim##name
#else
#define LUMBREL_SIM_WIN32(name) name
#endif
