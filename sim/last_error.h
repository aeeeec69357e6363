// The calling thread's last-error value, as GetLastError reports it.
#pragma once

#include "platform/win32.h"

namespace lumbrel::sim {

// Sets the last error and returns `result`, the failure value of the call.
template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

}  // namespace lumbrel::sim
