#!/usr/bin/env bash
# Runs a command inside a full-system emulator guest whose kernel runs 32-bit Linux programs, for
# machines whose own kernel cannot. The guest boots Debian's own kernel under qemu's software
# emulation and sees the host's root folder read-only (9p), so it runs the host's installed
# programs (32-bit Wine, Python, nginx, Xvfb) without a disk image or a network.
#   emulator-guest.sh OUT_DIR COMMAND...
# OUT_DIR (created, emptied) is the one folder the guest may write on the host, at the same path;
# the command runs as root from the current folder with /tmp, /root and /run on the guest's own
# memory. The command's output goes to OUT_DIR/job.log (shown as it comes), the guest's console to
# OUT_DIR/console.log; the exit code is the command's, or 1 with the console when the guest does
# not get as far as running it.
# The kernel and initramfs are made once and cached in build/guest/<kernel version>/.
# FLASHDECK_GUEST_TIMEOUT (seconds, default 2700) bounds the whole run.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 OUT_DIR COMMAND..." >&2; exit 2; }
out=$(realpath -m "$1")
shift

bash "$repo/scripts/install-packages.sh" qemu-system-x86 cpio busybox-static

# Modules for virtio, the 9p file system and a dummy network interface, in load order.
MODULES=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache
         9pnet 9pnet_virtio 9p dummy)

kernel_package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1)
[ -n "$kernel_package" ] || { echo "error: no kernel package named by linux-image-amd64" >&2; exit 1; }
cache="$repo/build/guest/${kernel_package#linux-image-}"

prepare_guest() {
  local work="$cache.partial"
  echo "== Preparing the emulator guest: $kernel_package (cached in $cache)"
  rm -rf "$work" && mkdir -p "$work/deb" "$work/initramfs"/{bin,lib/modules,proc,sys,dev,newroot}
  (cd "$work/deb" && apt-get download -q -o APT::Sandbox::User=root "$kernel_package" >/dev/null)
  dpkg-deb -x "$work"/deb/*.deb "$work/kernel"
  local release
  release=$(ls "$work/kernel/lib/modules")
  cp "$work/kernel/boot/vmlinuz-$release" "$work/vmlinuz"
  local name file
  for name in "${MODULES[@]}"; do
    file=$(find "$work/kernel/lib/modules/$release" -name "$name.ko*" | head -n1)
    [ -n "$file" ] || { echo "error: module $name is not in $kernel_package" >&2; exit 1; }
    case "$file" in
      *.xz) xz -dc "$file" >"$work/initramfs/lib/modules/$name.ko" ;;
      *.zst) zstd -qdc "$file" >"$work/initramfs/lib/modules/$name.ko" ;;
      *) cp "$file" "$work/initramfs/lib/modules/$name.ko" ;;
    esac
  done
  cp /bin/busybox "$work/initramfs/bin/busybox"
  printf '%s\n' "${MODULES[@]}" >"$work/initramfs/modules"
  cp "$repo/tools/guest_init.sh" "$work/initramfs/init"
  chmod +x "$work/initramfs/init"
  (cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"
  rm -rf "$work/deb" "$work/kernel" "$work/initramfs"
  rm -rf "$cache" && mv "$work" "$cache"
}

# The initramfs carries the init script: a changed script makes a new one.
stamp=$(sha256sum "$repo/tools/guest_init.sh" "$0" | sha256sum | cut -c1-16)
if [ ! -f "$cache/initrd.gz" ] || [ "$(cat "$cache/stamp" 2>/dev/null)" != "$stamp" ]; then
  prepare_guest
  echo "$stamp" >"$cache/stamp"
fi

rm -rf "$out" && mkdir -p "$out"
{
  echo "cd $(printf '%q' "$PWD")"
  printf '%q ' "$@"
  echo
} >"$out/job.sh"
: >"$out/job.log"

echo "== Booting the emulator guest (qemu-system-x86_64, software emulation) for: $*"
started=$SECONDS
tail -n +1 -F "$out/job.log" 2>/dev/null &
tail_pid=$!
status=0
timeout "${FLASHDECK_GUEST_TIMEOUT:-2700}" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu qemu64 -smp 2 -m 10240 -nographic -no-reboot \
  -kernel "$cache/vmlinuz" -initrd "$cache/initrd.gz" \
  -append "console=ttyS0 panic=-1 quiet flashdeck.out=$out" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" \
  </dev/null >"$out/console.log" 2>&1 || status=$?
sleep 0.5
kill "$tail_pid" 2>/dev/null || true
wait "$tail_pid" 2>/dev/null || true

if [ ! -f "$out/exit-code" ]; then
  if [ "$status" = 124 ]; then why="did not finish within ${FLASHDECK_GUEST_TIMEOUT:-2700} s"; else why="ended (qemu exit code $status)"; fi
  echo "error: the emulator guest $why before the command ended; its console:" >&2
  tail -n 60 "$out/console.log" >&2
  exit 1
fi
code=$(cat "$out/exit-code")
echo "== The emulator guest ran the command in $((SECONDS - started)) s; exit code $code (booted in $(cat "$out/boot-seconds" 2>/dev/null || echo '?') s)"
exit "$code"
