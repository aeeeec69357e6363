#!/usr/bin/env bash
# A small virtual machine for the Wine tests on a kernel that runs no 32-bit
# x86 programs itself. QEMU boots Debian's stock x86-64 kernel, which does,
# with this machine's own root file system shared read-only as the guest's
# root (so the guest has the same Wine and the same paths), and one directory
# shared writable at its own path. The guest has fresh, empty /tmp, /run,
# /root and /var/tmp: a directory below them that the script needs (a source
# tree checked out under /tmp, say) is shared explicitly. The guest runs one script and powers off.
#
#   wine-vm.sh prepare VMDIR [MODULE...]     fetch the kernel, build the initramfs (once);
#                                            each MODULE, with the modules it needs, is kept
#                                            in VMDIR/modules, in load order in VMDIR/modules/order
#   wine-vm.sh run VMDIR SHAREDIR SCRIPT [DIR...]
#                                            boot, run SCRIPT (a path inside SHAREDIR), power off;
#                                            each DIR is shared read-only at its own path too
#
# `run` exits with the script's exit status. The script writes what it wants
# kept into SHAREDIR; the console is shown only when the machine fails.
set -euo pipefail

MODULES="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"

prepare() {
  local vm
  vm=$(realpath -m "$1")
  shift
  [ -f "$vm/vmlinuz" ] && [ -f "$vm/initrd.gz" ] && { [ $# -eq 0 ] || [ -f "$vm/modules/order" ]; } && return 0
  local work
  mkdir -p "$vm"
  work=$(mktemp -d "$vm/prepare.XXXXXX")
  # The kernel package that linux-image-amd64 stands for; nothing is installed.
  local package
  package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n 1)
  [ -n "$package" ] || { echo "wine-vm: no Debian kernel package found" >&2; return 1; }
  (cd "$work" && apt-get download "$package" >/dev/null 2>&1) || {
    echo "wine-vm: cannot download $package" >&2
    return 1
  }
  dpkg-deb -x "$work"/*.deb "$work/kernel"
  local release
  release=$(basename "$(ls -d "$work"/kernel/lib/modules/*)")
  local modules="$work/kernel/lib/modules/$release/kernel"

  local root="$work/initramfs"
  mkdir -p "$root"/{bin,dev,proc,sys,host,lib/modules}
  cp /bin/busybox "$root/bin/busybox"
  for module in $MODULES; do
    find "$modules" -name "$module.ko" -exec cp {} "$root/lib/modules/" \;
    [ -f "$root/lib/modules/$module.ko" ] || { echo "wine-vm: module $module missing" >&2; return 1; }
  done
  if [ $# -gt 0 ]; then
    rm -rf "$vm/modules"
    mkdir -p "$vm/modules"
    for module in "$@"; do keep_module "$modules" "$vm/modules" "$module" || return 1; done
  fi
  cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox mkdir -p /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $MODULES; do insmod /lib/modules/\$module.ko; done
share=\$(sed -n 's/.*lumbrel.share=\([^ ]*\).*/\1/p' /proc/cmdline)
script=\$(sed -n 's/.*lumbrel.script=\([^ ]*\).*/\1/p' /proc/cmdline)
readonly=\$(sed -n 's/.*lumbrel.readonly=\([^ ]*\).*/\1/p' /proc/cmdline)
# The host's root, read-only; cache=loose lets Wine map its executables.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose hostroot /host
for dir in tmp run root var/tmp; do mount -t tmpfs -o size=1500m tmpfs /host/\$dir; done
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
# The read-only directories first: the writable one may lie inside one.
n=0
for dir in \$(echo "\$readonly" | tr ',' ' '); do
  mkdir -p /host\$dir 2>/dev/null
  mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose readonly\$n /host\$dir
  n=\$((n + 1))
done
mkdir -p /host\$share 2>/dev/null
mount -t 9p -o trans=virtio,version=9p2000.L,cache=loose share /host\$share
chroot /host /bin/sh -c "cd '\$share' && HOME=/root /bin/bash '\$script'"
status=\$?
sync
echo "LUMBREL_VM_STATUS=\$status"
poweroff -f
EOF
  chmod +x "$root/init"
  (cd "$root" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$vm/initrd.gz.new")
  cp "$work/kernel/boot/vmlinuz-$release" "$vm/vmlinuz"
  mv "$vm/initrd.gz.new" "$vm/initrd.gz"
  rm -rf "$work"
}

# Copies a kernel module, after the modules it depends on, from the kernel
# package's tree into DIR, and adds it to DIR/order.
keep_module() {
  local tree=$1 dir=$2 name=$3 file dep
  grep -qx "${name//-/_}" "$dir/order" 2>/dev/null && return 0
  file=$(find "$tree" \( -name "$name.ko" -o -name "${name//-/_}.ko" -o -name "${name//_/-}.ko" \) | head -n 1)
  [ -n "$file" ] || { echo "wine-vm: module $name missing" >&2; return 1; }
  for dep in $(grep -a -o 'depends=[^[:cntrl:]]*' "$file" | head -n 1 | cut -d= -f2 | tr ',' ' '); do
    keep_module "$tree" "$dir" "$dep" || return 1
  done
  cp "$file" "$dir/${name//-/_}.ko"
  echo "${name//-/_}" >>"$dir/order"
}

run() {
  local vm share script
  vm=$(realpath -m "$1")
  share=$(realpath -m "$2")
  script=$(realpath -m "$3")
  shift 3
  prepare "$vm"
  local extra=() readonly="" n=0 dir
  for dir in "$@"; do
    dir=$(realpath -m "$dir")
    extra+=(-fsdev "local,id=readonly$n,path=$dir,security_model=none,readonly=on,multidevs=remap"
            -device "virtio-9p-pci,fsdev=readonly$n,mount_tag=readonly$n")
    readonly+="${readonly:+,}$dir"
    n=$((n + 1))
  done
  local console
  console=$(mktemp)
  # TCG: no hardware virtualisation is needed, only time.
  qemu-system-x86_64 -nodefaults -no-user-config -m 3072 -smp 2 -no-reboot -display none -serial "file:$console" \
    -kernel "$vm/vmlinuz" -initrd "$vm/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1 lumbrel.share=$share lumbrel.script=$script lumbrel.readonly=$readonly" \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -fsdev local,id=share,path="$share",security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=share,mount_tag=share "${extra[@]}" </dev/null >/dev/null 2>&1 || true
  local status
  status=$(tr -d '\r' <"$console" | sed -n 's/^LUMBREL_VM_STATUS=\([0-9]*\).*/\1/p' | tail -n 1)
  if [ -z "$status" ]; then
    echo "wine-vm: the virtual machine ended without running the script; its console:" >&2
    tr -d '\r' <"$console" | tail -n 40 >&2
    rm -f "$console"
    return 1
  fi
  rm -f "$console"
  return "$status"
}

case "${1:-}" in
  prepare) shift; prepare "$@" ;;
  run) shift; run "$@" ;;
  *) echo "usage: $0 prepare VMDIR [MODULE...] | run VMDIR SHAREDIR SCRIPT [DIR...]" >&2; exit 2 ;;
esac
