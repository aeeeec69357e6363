#!/usr/bin/env bash
# Installs Wine with its 32-bit loader (wine32:i386) for the Wine tests of
# the Windows build, when this machine can run them and Wine is missing.
# Never fails: scripts/run-tests.sh reports a Wine that is missing or cannot
# run in its summary. The install's output goes to build/wine-install.log.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-support.sh

if ! lumbrel_kernel_runs_i386; then
  echo "Wine tests: not installing Wine: $(lumbrel_wine_problem)"
  exit 0
fi
if command -v wine >/dev/null 2>&1 && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  exit 0
fi

echo "Installing Wine (wine, wine32:i386)"
mkdir -p build
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
{
  "${sudo_cmd[@]}" dpkg --add-architecture i386 &&
    # The i386 index of the security archive can lag behind; the rest is usable.
    { "${sudo_cmd[@]}" apt-get update -qq || true; } &&
    "${sudo_cmd[@]}" apt-get install -y -qq -t bookworm --no-install-recommends wine wine32:i386
} >build/wine-install.log 2>&1 || echo "Wine tests: Wine could not be installed (see build/wine-install.log)"
exit 0
