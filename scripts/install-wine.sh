#!/usr/bin/env bash
# Installs what the Wine tests of the Windows build need, when it is missing:
# Wine with its 32-bit loader (wine, wine32:i386), and, on a kernel that runs
# no 32-bit x86 programs itself, QEMU and busybox to boot one that does
# (scripts/wine-vm.sh). Never fails: scripts/run-tests.sh reports in its
# summary when the Wine tests cannot run. The output goes to
# build/wine-install.log.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-support.sh

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

packages=()
installed wine || packages+=(wine)
installed wine32:i386 || packages+=(wine32:i386)
if ! lumbrel_kernel_runs_i386; then
  installed qemu-system-x86 || packages+=(qemu-system-x86)
  installed busybox-static || packages+=(busybox-static)
fi
[ ${#packages[@]} -eq 0 ] && exit 0

echo "Installing for the Wine tests: ${packages[*]}"
mkdir -p build
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
{
  "${sudo_cmd[@]}" dpkg --add-architecture i386 &&
    # The i386 index of the security archive can lag behind; the rest is usable.
    { "${sudo_cmd[@]}" apt-get update -qq || true; } &&
    "${sudo_cmd[@]}" apt-get install -y -qq -t bookworm --no-install-recommends "${packages[@]}"
} >build/wine-install.log 2>&1 || echo "Wine tests: could not install ${packages[*]} (see build/wine-install.log)"
exit 0
