# Whether Wine can run the i686 build on this machine. Sourced by
# scripts/install-wine.sh, scripts/run-tests.sh and the Wine test wrapper.

# Succeeds when the kernel runs 32-bit x86 programs. Wine runs a 32-bit
# Windows program as one, whatever Wine package is installed; kernels built
# with IA-32 emulation switched off (ia32_emulation=off) refuse them.
lumbrel_kernel_runs_i386() {
  local probe status
  probe=$(mktemp) || return 1
  # A 93-byte ELF32 i386 program: exit(0) through int 0x80.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
  printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
  printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  status=$?
  rm -f "$probe"
  return $status
}

# How the Wine tests run here: "native" when this kernel runs 32-bit x86
# programs; "vm" when it does not but QEMU can boot Debian's stock kernel,
# which does, over this machine's own files (scripts/wine-vm.sh); nothing when
# neither is possible. LUMBREL_WINE_MODE=vm runs them in the virtual machine
# even where the kernel could run them itself.
lumbrel_wine_mode() {
  if [ "${LUMBREL_WINE_MODE:-}" = vm ] && command -v qemu-system-x86_64 >/dev/null 2>&1 && [ -x /bin/busybox ]; then
    echo vm
  elif lumbrel_kernel_runs_i386; then
    echo native
  elif command -v qemu-system-x86_64 >/dev/null 2>&1 && [ -x /bin/busybox ]; then
    echo vm
  fi
}

# Prints why Wine cannot run the i686 build here, or nothing when it can.
lumbrel_wine_problem() {
  local mode
  mode=$(lumbrel_wine_mode)
  if [ -z "$mode" ]; then
    echo "this machine's kernel cannot run 32-bit x86 programs, and QEMU (qemu-system-x86, busybox-static) is not installed to boot one that can"
    return
  fi
  if ! command -v wine >/dev/null 2>&1 || [ ! -x /usr/lib/wine/wine ]; then
    echo "Wine with its 32-bit loader (wine, wine32:i386) is not installed"
    return
  fi
  if [ "$mode" = native ]; then
    local out
    if ! out=$(WINEDEBUG=-all timeout 60 wine --version 2>&1); then
      echo "'wine --version' fails: $out"
    fi
  fi
}

# Prints the status that a prefix's making counts as, given wineboot's exit
# status. Under an emulated processor on a loaded machine wineboot sometimes
# exits nonzero after it has written the whole prefix; the tests only need
# the prefix. A timeout (124), or a prefix without its registry and system
# directory, still fails.
lumbrel_wineboot_status() {
  if [ "$1" -ne 0 ] && [ "$1" -ne 124 ] && [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/user.reg" ] &&
     [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    echo "wineboot exited with $1, but the prefix is complete: going on" >&2
    echo 0
  else
    echo "$1"
  fi
}
