#!/usr/bin/env bash
# Every Wine test of a build in one go, under one wine server: makes a fresh
# prefix, keeps its server running for all the tests, and writes each test's
# output and exit status into RESULTS/NAME.log and RESULTS/NAME.status, which
# the CTest tests wine.NAME read (wine-result.sh). Run by wine-run.sh --host,
# which supplies Wine's environment and, where this kernel runs no 32-bit
# programs, the virtual machine.
#
#   wine-suite.sh RESULTS TESTS
#
# TESTS is a bash file of `wine_test NAME SECONDS COMMAND...` lines. Exits 0
# when the prefix was made and every test ran, whatever the tests' results.
set -uo pipefail
. "$(dirname "$0")/../../scripts/wine-support.sh"
results=$1
tests=$2
rm -rf "$results"
mkdir -p "$results"
# In a virtual machine the build directory is shared over 9p, slow for the
# half a gigabyte of DLLs that Wine copies into a prefix: the prefix lives
# in the machine's own memory there, for as long as the suite runs.
[ -n "${LUMBREL_WINE_VM:-}" ] && export WINEPREFIX=/tmp/lumbrel-wine-prefix

# Runs one test with its own time limit, its output into its log.
wine_test() {
  local name=$1 limit=$2
  shift 2
  local start=$SECONDS
  timeout "$limit" "$@" </dev/null >"$results/$name.log" 2>&1
  local status=$?
  [ $status -eq 124 ] && echo "timed out after ${limit}s: $*" >>"$results/$name.log"
  echo "($((SECONDS - start)) s in the Wine run)" >>"$results/$name.log"
  echo $status >"$results/$name.status"
}

# A fresh prefix; wineboot's status as scripts/wine-support.sh counts it.
make_prefix() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 1500 wine wineboot --init
  local status=$?
  wineserver -w
  return "$(lumbrel_wineboot_status $status)"
}

start=$SECONDS
make_prefix >"$results/prefix.log" 2>&1
status=$?
echo "($((SECONDS - start)) s in the Wine run)" >>"$results/prefix.log"
echo $status >"$results/prefix.status"
if [ $status -ne 0 ]; then
  cat "$results/prefix.log"
  exit 1
fi
# One server for every test: each program then starts without making one.
wineserver -p
. "$tests"
wineserver -k
wineserver -w
# What ran, its status and its time, for the run's own output.
for status_file in "$results"/*.status; do
  name=$(basename "$status_file" .status)
  echo "$name: exit $(cat "$status_file") $(tail -n 1 "$results/$name.log")"
done
exit 0
