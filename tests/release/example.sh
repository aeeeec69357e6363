#!/usr/bin/env bash
# The example application, built from the installed package alone, both ways
# an integrator builds it, and run on a simulated machine.
#   example.sh build PACKAGE OUT   MinGW against libLUMBREL.dll.a, and MSVC-style
#                                  (clang for i686-pc-windows-msvc, lld-link) against LUMBREL.lib
#   example.sh run PACKAGE OUT     (under Wine) both, through sim/lumbrel-sim-run.exe
set -euo pipefail
mode=$1 pkg=$2 out=$3
source=$pkg/examples/app/lumbrel_example.c

if [ "$mode" = build ]; then
  rm -rf "$out" && mkdir -p "$out/mingw" "$out/msvc"
  i686-w64-mingw32-gcc -std=c99 -Wall -Wextra -Werror -I"$pkg/include" "$source" "$pkg/lib/libLUMBREL.dll.a" \
    -static-libgcc -o "$out/mingw/lumbrel_example.exe"
  # Debian has no Microsoft SDK or C runtime: Windows' headers come from
  # MinGW-w64, the imports of kernel32.dll and msvcrt.dll from their .def,
  # and the start-up from msvcrt's __getmainargs.
  cd "$out/msvc"
  printf 'LIBRARY kernel32.dll\nEXPORTS\n  CloseHandle@4\n  CreateEventA@16\n  SetEvent@4\n  WaitForSingleObject@8\n' >kernel32.def
  printf 'LIBRARY msvcrt.dll\nEXPORTS\n  __getmainargs\n  exit\n  memcpy\n  memset\n  printf\n  strtoul\n' >msvcrt.def
  for lib in kernel32 msvcrt; do llvm-dlltool-14 -m i386 -k -d $lib.def -l $lib.lib; done
  cat >start.c <<'SRC'
int main(int argc, char** argv);
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int glob, int* startInfo);
void __cdecl exit(int status);
void mainCRTStartup(void) {
  int argc = 0, startInfo = 0;
  char **argv = 0, **env = 0;
  __getmainargs(&argc, &argv, &env, 0, &startInfo);
  exit(main(argc, argv));
}
SRC
  msvc=(clang-14 --target=i686-pc-windows-msvc -Wall -Wextra -Werror -D_X86_ -D__GNUC__=4 -D__GNUC_MINOR__=8
        -D__USE_MINGW_ANSI_STDIO=0 -isystem /usr/i686-w64-mingw32/include -I"$pkg/include")
  "${msvc[@]}" -c "$source" -o lumbrel_example.obj
  "${msvc[@]}" -c start.c -o start.obj
  lld-link-14 /nologo /nodefaultlib /entry:mainCRTStartup /subsystem:console lumbrel_example.obj start.obj \
    "$pkg/lib/LUMBREL.lib" kernel32.lib msvcrt.lib /out:lumbrel_example.exe
  # Deployed as an application ships: LUMBREL.dll beside the program.
  cp "$pkg/bin/LUMBREL.dll" "$out/msvc/" && cp "$pkg/bin/LUMBREL.dll" "$out/mingw/"
  echo "built $out/mingw/lumbrel_example.exe and $out/msvc/lumbrel_example.exe"
  exit 0
fi

set +e
status=0
for build in mingw msvc; do
  echo "== $build"
  log=$out/$build/run.log
  # One run traces every call the DLL makes (which doubles its time).
  trace=()
  [ $build = msvc ] && trace=(--trace trace.jsonl)
  (cd "$out/$build" && wine "$pkg/sim/lumbrel-sim-run.exe" --machine "$pkg/sim/machines/default.json" \
     "${trace[@]}" lumbrel_example.exe) >"$log" 2>&1 || { echo "exit status $?"; status=1; }
  cat "$log"
  # The callbacks came, the reports found the machine, the DLL's calls met it.
  for expected in "InitializeDiags: 0, 2 cages" "on 4 adapters" \
                  "adapter 2: class 1, AMI, mraidnt 4.10" "disk 2/0/1: IBM     DNES-318350W     rev SA30" \
                  "GetDriveReadiness: 0, readiness 5" "FlashDriveActivityLight: stopped, called back with 0" \
                  "DeepFormatDrive: called back with 0" "UpdateDriveFWImage: called back with 2" \
                  "FlashActivityLightAllDrives: 0"; do
    grep -qF "$expected" "$log" || { echo "FAIL $build: no \"$expected\""; status=1; }
  done
done
grep -q '"call":"DeviceIoControl"' "$out/msvc/trace.jsonl" || { echo "FAIL: no DeviceIoControl in the trace"; status=1; }
exit $status
