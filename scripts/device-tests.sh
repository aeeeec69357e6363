#!/usr/bin/env bash
# The real-device cases (tests/acceptance/devices/*): the host build's
# lumbrel-diag, its simulated drives answered by real SCSI disks. QEMU boots
# Debian's stock kernel (scripts/wine-vm.sh) over this machine's files; its
# scsi_debug module gives four disks (two hosts, two targets each, 8 MB),
# /dev/sg0 to /dev/sg3 in host and target order, which the cases name.
#
#   device-tests.sh BUILDDIR [CASE...]     every case, or the ones named
#
# A case may hold a file `scsi_debug` of NAME=VALUE lines: scsi_debug's
# writable parameters set for that case and set back after it. Exits 77 and
# says why when the virtual machine cannot run here.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "$1")
shift
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=("$src"/tests/acceptance/devices/*/)
cli="$build/tools/diag/lumbrel-diag"

skip() {
  echo "SKIPPED: real-device tests: $1"
  exit 77
}
command -v qemu-system-x86_64 >/dev/null 2>&1 || skip "QEMU (qemu-system-x86) is not installed"
[ -x /bin/busybox ] || skip "busybox-static is not installed"
[ -x "$cli" ] || { echo "device-tests: no $cli; build the host tree first" >&2; exit 2; }
vm="$build/devices-vm"
bash "$src/scripts/wine-vm.sh" prepare "$vm" sg scsi_debug ||
  skip "Debian's kernel package (linux-image-amd64) and its modules could not be fetched"

share=$(mktemp -d "$vm/run.XXXXXX")
trap 'rm -rf "$share"' EXIT
abs=()
for case in "${cases[@]}"; do abs+=("$(realpath "$case")"); done
cat >"$share/job.sh" <<EOF
exec >'$share/log' 2>&1
modules='$vm/modules'
for module in \$(cat "\$modules/order"); do
  case \$module in
    scsi_mod) args="scan=sync" ;;
    scsi_debug) args="add_host=2 num_tgts=2 max_luns=1 dev_size_mb=8" ;;
    *) args="" ;;
  esac
  busybox insmod "\$modules/\$module.ko" \$args || { echo "cannot load \$module"; exit 1; }
done
# Every disk reports its power-on unit attention once: take it here, so
# that each case finds its disks as a running server would.
python3 - <<'PY' || exit 1
import ctypes, fcntl, glob, os, struct
for device in sorted(glob.glob("/dev/sg[0-9]*")):
    cdb, sense = ctypes.create_string_buffer(6), ctypes.create_string_buffer(32)
    request = struct.pack("@iiBBHIPPPIIiPBBBBHHiII", ord("S"), -1, 6, 32, 0, 0, 0, ctypes.addressof(cdb),
                          ctypes.addressof(sense), 20000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
    fd = os.open(device, os.O_RDWR)
    for _ in range(2):
        fcntl.ioctl(fd, 0x2285, bytearray(request))  # SG_IO: TEST UNIT READY
    os.close(fd)
PY
status=0
for case in ${abs[*]}; do
  saved=()
  if [ -f "\$case/scsi_debug" ]; then
    while IFS='=' read -r name value; do
      [ -n "\$name" ] || continue
      saved+=("\$name=\$(cat /sys/module/scsi_debug/parameters/\$name)")
      printf '%s' "\$value" >/sys/module/scsi_debug/parameters/\$name
    done <"\$case/scsi_debug"
  fi
  python3 '$src/tests/acceptance/run_case.py' '$cli' "\$case" || status=1
  for setting in "\${saved[@]}"; do
    printf '%s' "\${setting#*=}" >/sys/module/scsi_debug/parameters/\${setting%%=*}
  done
done
exit \$status
EOF
bash "$src/scripts/wine-vm.sh" run "$vm" "$share" "$share/job.sh" "$src" "$build"
status=$?
[ -f "$share/log" ] && cat "$share/log"
exit $status
