#!/usr/bin/env bash
# The real-kernel bench: boots Debian's kernel in QEMU (TCG) from an initramfs
# holding busybox, the USB and HID modules, the static rotabench and
# usbip-bench, and runs every case of tests/kernel/cases in the guest, where
# usbip-bench attaches the emulated module and MCU to vhci_hcd and drives
# rotabench. Prints one "CASE name PASS|FAIL" line per case; exits non-zero
# unless every case passed.
#
#   tests/kernel/guest.sh [BUILD [CASE...]]   BUILD: the kernel preset's folder (build/kernel);
#                                            CASE: names in tests/kernel/cases (all by default)
#
# Needs qemu-system-x86_64, busybox (busybox-static) and apt-get; the kernel
# package is downloaded once into build/kernel-cache.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
build="$(realpath "${1:-$src/build/kernel}")"
shift || true
if [ $# -eq 0 ]; then
  set -- $(cd "$here/cases" && ls *.toml | sed 's/\.toml$//')
fi

# The kernel: one package at one version.
kernel_package=linux-image-6.1.0-57-amd64
kernel_version=6.1.192-3
kernel_release=6.1.0-57-amd64

cache="$src/build/kernel-cache/$kernel_package-$kernel_version"
if [ ! -f "$cache/root/boot/vmlinuz-$kernel_release" ]; then
  rm -rf "$cache" && mkdir -p "$cache"
  # A fresh machine may not have the package lists yet.
  (cd "$cache" && { apt-get download -qq "$kernel_package=$kernel_version" 2>/dev/null ||
                    { apt-get update -qq && apt-get download -qq "$kernel_package=$kernel_version" 2>/dev/null; }; })
  dpkg-deb -x "$cache"/*.deb "$cache/root"
  rm -f "$cache"/*.deb
fi

# The initramfs: busybox, the modules in the order insmod needs them, the
# two programs, the cases and /init.
guest="$src/build/kernel-guest"
rm -rf "$guest" && mkdir -p "$guest"/root/{bin,lib/modules,cases,proc,sys,dev,tmp}
modules="usb-common usbcore usbip-core vhci-hcd hid usbhid hid-generic"
for m in $modules; do
  find "$cache/root/lib/modules/$kernel_release" -name "$m.ko" -exec cp {} "$guest/root/lib/modules/" \;
done
cp "$(command -v busybox)" "$guest/root/bin/busybox"
cp "$build/src/app/rotabench" "$build/tests/kernel/usbip-bench" "$guest/root/bin/"
cp "$here"/cases/*.toml "$guest/root/cases/"
cases="$*"
cat > "$guest/root/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $modules; do insmod /lib/modules/\$m.ko || echo "GUEST cannot load \$m"; done
echo "GUEST up at \$(cut -d' ' -f1 /proc/uptime) s"
for c in $cases; do
  user=""
  # The simulated bus asks no permission: this case is the kernel's alone.
  [ "\$c" = denied ] && user="--as-user 1000"
  /bin/usbip-bench \$user /cases/\$c.toml
done
echo "GUEST done at \$(cut -d' ' -f1 /proc/uptime) s"
poweroff -f
EOF
chmod +x "$guest/root/init"
(cd "$guest/root" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null | gzip -1 > "$guest/initrd.gz")

log="$guest/console.log"
start=$(date +%s.%N)
timeout 280 qemu-system-x86_64 -accel tcg -m 512 -smp 1 -nographic -no-reboot -monitor none -nic none -vga none \
  -kernel "$cache/root/boot/vmlinuz-$kernel_release" -initrd "$guest/initrd.gz" \
  -append "console=ttyS0 quiet loglevel=1 panic=-1" </dev/null | tee "$log" | tr -d '\r' | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1bc//g' | grep -v '^$' || true
end=$(date +%s.%N)
echo "real-kernel bench: $(awk "BEGIN{printf \"%.1f\", $end-$start}") s with boot"

passed=$(tr -d '\r' < "$log" | grep -c '^CASE .* PASS' || true)
failed=$(($# - passed))
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
