#!/usr/bin/env bash
# include/lumbrel.h on its own, as integrators compile it: every C and C++
# dialect, with GCC, Clang, MinGW-w64 and Clang in MSVC mode, warning-free,
# and without pulling in windows.h.
#   header_alone.sh INCLUDE_DIR
set -uo pipefail
include=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/use.c" <<'SRC'
#include "lumbrel.h"
#if defined(_WINDOWS_) || defined(_WINDEF_) || defined(_INC_WINDOWS)
#error lumbrel.h included windows.h
#endif
static uint32_t LUMBREL_CALL Count(CageInfo* cages, uint32_t* count) { return InitializeDiags(cages, count); }
int lumbrel_use(void) {
  InitializeDiagsFn fn = Count;
  return fn != 0 && sizeof(DiskConfigRecord) == 108;
}
SRC
cp "$work/use.c" "$work/use.cpp"
failed=0
run() {  # compiler flags... (the source last)
  if ! out=$("$@" -fsyntax-only -Wall -Wextra -pedantic -Werror -I"$include" 2>&1); then
    echo "FAIL: $*"; echo "$out"; failed=1
  fi
}
msvc="--target=i686-pc-windows-msvc"
for cc in gcc clang i686-w64-mingw32-gcc "clang $msvc"; do
  for std in c89 c99 c11 c17; do run $cc -std=$std -x c "$work/use.c"; done
done
for cxx in g++ clang++ i686-w64-mingw32-g++ "clang++ $msvc"; do
  for std in c++98 c++03 c++11 c++14 c++17 c++20; do run $cxx -std=$std -x c++ "$work/use.cpp"; done
done
[ $failed -eq 0 ] && echo "lumbrel.h compiles alone in every dialect"
exit $failed
