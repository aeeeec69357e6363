// The import table of a loaded module: its by-name imports, rewritten in
// place so that they reach other functions. The module's bytes on disk and
// its code are left as they are.
#pragma once

#include <windows.h>

#include <string_view>

namespace lumbrel::sim::windows {

struct ImportRoute {
  const char* name;  // the imported function, for example "CreateFileA"
  void* target;      // where its calls go instead
};

// Points every import of `module` that a route names at the route's target,
// whichever DLL it comes from. The number of entries rewritten.
int RouteImports(HMODULE module, const ImportRoute* routes, std::size_t count);

}  // namespace lumbrel::sim::windows
