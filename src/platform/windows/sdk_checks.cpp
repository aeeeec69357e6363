// Facts of the Windows SDK that the library relies on, checked against the
// real headers at build time.
#include <cstddef>

#include "lumbrel.h"
#include "platform/win32.h"

static_assert(sizeof(DWORD) == 4 && sizeof(HANDLE) == 4, "LUMBREL.dll is built for 32-bit Windows");
static_assert(KEY_READ == 0x20019, "registry keys are opened with KEY_READ");
static_assert(ERROR_MORE_DATA == 234 && ERROR_FILE_NOT_FOUND == 2, "registry error codes");
static_assert(ERROR_BAD_DEVICE == LUMBREL_NOT_SUPPORTED, "1200 is ERROR_BAD_DEVICE");
static_assert(ERROR_INVALID_PARAMETER == LUMBREL_INVALID_PARAMETER, "87 is ERROR_INVALID_PARAMETER");
static_assert(ERROR_NOT_ENOUGH_MEMORY == LUMBREL_NO_MEMORY, "8 is ERROR_NOT_ENOUGH_MEMORY");
static_assert(ERROR_DEV_NOT_EXIST == LUMBREL_BAD_BUS, "55 is ERROR_DEV_NOT_EXIST");
static_assert(GENERIC_READ == 0x80000000u && GENERIC_WRITE == 0x40000000u, "access rights");
static_assert(OPEN_EXISTING == 3 && OPEN_ALWAYS == 4, "creation dispositions");
