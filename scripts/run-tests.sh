#!/usr/bin/env bash
# The whole test run of `make test`: the Windows cross build first, then its
# checks and the Wine tests in the background (mostly one emulated processor
# at work in a virtual machine) while the host steps run: every host test
# under AddressSanitizer and UndefinedBehaviorSanitizer, the tests that start
# threads (label "threads") under ThreadSanitizer, the real-device cases
# (scripts/device-tests.sh), the fuzz harnesses on a fixed number of inputs.
# A summary with each step's time closes the run (docs/testing.md).
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
status=0
summary=()
passed=0
failed=0

# record NAME EXIT-STATUS SECONDS: one line of the summary.
record() {
  if [ "$2" = 0 ]; then
    summary+=("passed: $1 ($3 s)")
    passed=$((passed + 1))
  else
    summary+=("FAILED: $1 ($3 s)")
    failed=$((failed + 1))
    status=1
  fi
}

step() {
  local name=$1
  shift
  echo "==> $name"
  local start=$SECONDS
  "$@"
  record "$name" $? $((SECONDS - start))
}

step "windows cross build" bash -c "cmake --preset windows >/dev/null && cmake --build build/windows -j $jobs"
echo "==> windows checks (in the background; their output follows the host steps)"
windows_log=$(mktemp)
(
  start=$SECONDS
  ctest --preset windows >"$windows_log" 2>&1
  echo "$? $((SECONDS - start))" >"$windows_log.result"
) &
windows_pid=$!
# An interrupted run ends the background checks too.
trap "kill 0" INT TERM

step "host build (ASan, UBSan)" bash -c "cmake --preset host-test >/dev/null && cmake --build build/host-test -j $jobs"
step "host tests" ctest --preset host-test -j "$jobs"
step "host build (TSan)" bash -c "cmake --preset host-tsan >/dev/null && cmake --build build/host-tsan -j $jobs --target lumbrel_thread_tests lumbrel-diag"
step "host tests under ThreadSanitizer" ctest --preset host-tsan -j "$jobs"
# The real-device cases: the sanitized host build against scsi_debug's disks
# in a QEMU virtual machine; skipped, with the reason, where none can boot.
echo "==> real-device tests (scsi_debug in a virtual machine)"
devices_log=$(mktemp)
devices_start=$SECONDS
scripts/device-tests.sh build/host-test 2>&1 | tee "$devices_log"
devices_status=${PIPESTATUS[0]}
if [ "$devices_status" = 77 ]; then
  summary+=("$(grep -m 1 '^SKIPPED: ' "$devices_log")")
else
  record "real-device tests (scsi_debug in a virtual machine)" "$devices_status" $((SECONDS - devices_start))
fi
rm -f "$devices_log"
step "fuzz harnesses build (clang)" bash -c "cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j $jobs --target fuzz_all"
step "fuzz smoke runs" ctest --preset fuzz -j "$jobs"

echo "==> windows checks (output of the background run)"
wait $windows_pid
cat "$windows_log"
read -r windows_status windows_time <"$windows_log.result" || windows_status=1
rm -f "$windows_log" "$windows_log.result"
record "windows checks, beside the host steps" "$windows_status" "${windows_time:-?}"
# The Wine tests are part of the windows checks; the summary says how they
# ran, or why they could not.
. scripts/wine-support.sh
wine_problem=$(lumbrel_wine_problem)
if [ -n "$wine_problem" ]; then
  summary+=("SKIPPED: Wine tests ($wine_problem)")
elif [ "$(lumbrel_wine_mode)" = vm ]; then
  summary+=("note: the Wine tests ran in a QEMU virtual machine: this kernel runs no 32-bit x86 programs")
fi

echo
echo "Summary:"
printf '  %s\n' "${summary[@]}"
echo "  $SECONDS s in all"
echo "steps: $passed passed, $failed failed"
exit $status
