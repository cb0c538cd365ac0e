#!/usr/bin/env bash
# Builds the vendor's FET library (libmsp430.so) from its published source tree and prints the
# path of the result. The tree may be read-only, so the build runs in a copy; the result is kept
# in a cache folder named after the tree's content, so a machine builds each source once.
#
#   build_library.sh SOURCE_DIR [CACHE_DIR]
#
# CACHE_DIR defaults to $XDG_CACHE_HOME/kesto (~/.cache/kesto). Debian packages the build needs
# are installed when missing and the user may (root); otherwise their names are printed.
set -euo pipefail

source_dir=${1:?usage: build_library.sh SOURCE_DIR [CACHE_DIR]}
cache_dir=${2:-${XDG_CACHE_HOME:-$HOME/.cache}/kesto}
[ -f "$source_dir/Makefile" ] && [ -d "$source_dir/DLL430_v3" ] || {
  echo "build_library.sh: $source_dir is not the debug stack's source tree (no Makefile and DLL430_v3/)" >&2
  exit 2
}
source_dir=$(cd "$source_dir" && pwd)

key=$(cd "$source_dir" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum | sha256sum | cut -c1-16)
result="$cache_dir/vendor-$key/libmsp430.so"
if [ -f "$result" ]; then
  echo "$result"
  exit 0
fi

packages=(libboost-dev libboost-system-dev libboost-filesystem-dev libboost-date-time-dev libboost-chrono-dev
          libboost-thread-dev libhidapi-dev libusb-1.0-0-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "build_library.sh: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    { apt-get install -y -q --no-install-recommends "${missing[@]}" || { apt-get update -q && \
      apt-get install -y -q --no-install-recommends "${missing[@]}"; }; } >&2
  else
    echo "build_library.sh: the build needs these packages: ${missing[*]} (apt-get install them as root)" >&2
    exit 2
  fi
fi

# One build at a time per cache: the plain and the sanitizer builds may both ask.
mkdir -p "$cache_dir"
exec 9>"$cache_dir/vendor.lock"
flock 9
if [ ! -f "$result" ]; then
  work=$(mktemp -d "$cache_dir/build.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cp -a "$source_dir/." "$work/"
  chmod -R u+w "$work"
  start=$(date +%s)
  echo "build_library.sh: building the vendor library from $source_dir (a few minutes, once per machine)" >&2
  if ! make -C "$work" -j"$(nproc 2>/dev/null || echo 2)" > "$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log" >&2
    echo "build_library.sh: the build failed" >&2
    exit 1
  fi
  mkdir -p "$(dirname "$result")"
  cp "$work/libmsp430.so" "$result.part" && mv "$result.part" "$result"
  echo "build_library.sh: built in $(( $(date +%s) - start )) s: $result" >&2
fi
echo "$result"
