#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the installed program.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack"
deb=$(ls -t "$build"/package/kesto_*.deb | head -n 1)
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"

kesto=$root/usr/bin/kesto
[ -x "$kesto" ] || fail "no usr/bin/kesto in the package"
zcat "$root/usr/share/man/man1/kesto.1.gz" | grep -q '^\.TH KESTO 1' || fail "manual page missing"
example=$root/usr/share/kesto/examples/blink_g2553.hex
[ -f "$example" ] || fail "example image missing"

out=$(timeout 20 "$kesto" -h -a 0 </dev/null) || fail "kesto -h -a 0 exited with $?"
grep -q 'Usage:' <<<"$out" || fail "no usage text: $out"

# An image name may not begin with "/" or ".": run from the examples' folder.
out=$(cd "$(dirname "$example")" && timeout 20 "$kesto" -FET SIM -a 0 +ebpv blink_g2553.hex +r "$root/out.hex" </dev/null) \
  || fail "simulated pass exited with $?: $out"
grep -q 'Identifed: MSP430G2553' <<<"$out" || fail "no identification: $out"
grep -q 'Programm & Verify...wait... -OK' <<<"$out" || fail "no programming: $out"
[ -s "$root/out.hex" ] || fail "no read-out file"

