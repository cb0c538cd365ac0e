#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the installed program.
set -euo pipefail
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$1" && cpack -G DEB >/dev/null) || fail "cpack"
deb=$(ls -t "$1"/package/kesto_*.deb | head -n 1)
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
kesto=$root/usr/bin/kesto examples=$root/usr/share/doc/kesto/examples
# Every example file lies beside the manual, as in the source tree: all of them after an install,
# all but the ELF files in the package (Debian has no place for them under /usr/share).
cmake --install "$1" --prefix "$root/installed" >/dev/null || fail "cmake --install"
for file in $(cd "$(dirname "$0")/../../examples" && find . -type f); do
  [ -f "$root/installed/share/doc/kesto/examples/$file" ] || fail "example $file not installed"
  case $file in
    *.elf) [ ! -e "$examples/$file" ] || fail "the package holds $file" ;;
    *) [ -f "$examples/$file" ] || fail "example $file not in the package" ;;
  esac
done
zcat "$root/usr/share/man/man1/kesto.1.gz" | grep -q '^\.TH KESTO 1' || fail "manual page missing"
# udev reads /usr/lib/udev/rules.d only; elsewhere the rule would be installed but never used.
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-kesto.rules" || fail "udev rule missing"
out=$(timeout 20 "$kesto" -h -a 0 </dev/null) && grep -q 'Usage:' <<<"$out" || fail "no usage text: $out"
out=$(timeout 20 "$kesto" -FET SIM -a 0 +ebpv "$examples/blink/blink.hex" +r "$root/out.hex" </dev/null) \
  || fail "simulated pass exited with $?: $out"
grep -q 'Identifed: MSP430G2553' <<<"$out" && grep -q 'Programm & Verify...wait... -OK' <<<"$out" || fail "no pass: $out"
[ -s "$root/out.hex" ] || fail "no read-out file"
if command -v lintian >/dev/null; then
  out=$(timeout 120 lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $out"
else
  echo "lintian is not installed: the package's policy check was skipped"
fi
