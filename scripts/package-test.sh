#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB) from the build in build/ and checks
# that it installs cleanly into this system, that the installed membersys
# runs on the installed libraries, and that removing the package takes every
# file with it. For CI, a throwaway machine: it runs dpkg as root.
#   scripts/package-test.sh [BUILD_DIR]     default: build
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
package=quorl-membersys
if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: installs a package into the system; run as root (CI)" >&2
  exit 2
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
  echo "package-test: $package is already installed; remove it first (dpkg -r $package)" >&2
  exit 1
fi

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2
out=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then dpkg -r "$package" >/dev/null || true; fi
  rm -rf "$out"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/${package}_*.deb)
echo "package-test: built $(basename "$deb")"

# Only what a till needs: no simulators, no simulated reader library.
if dpkg-deb -c "$deb" | grep -E 'cardreader[^/]*\.so|-sim$|_tests$|_bench$'; then
  echo "package-test: the package holds files for tests or the demo (above)" >&2
  exit 1
fi

dpkg -i "$deb"
installed=yes
dpkg-query -W -f='${Status}\n' "$package" | grep -qx 'install ok installed'

# The installed program on the installed libraries, not on a build tree's.
ldd /usr/bin/membersys | awk '/libQuorl/ {print $1, $3}' | while read -r name path; do
  case "$(readlink -f "$path" 2>/dev/null)" in
    /usr/lib/*) ;;
    *) echo "package-test: membersys finds $name at '$path', not in /usr/lib" >&2; exit 1 ;;
  esac
done
help=$(/usr/bin/membersys --help)
grep -q 'init-db' <<< "$help"
echo "package-test: /usr/bin/membersys --help runs"

files=$(dpkg -L "$package" | grep -v '/$')
dpkg -r "$package" >/dev/null
installed=no
left=()
while IFS= read -r f; do
  if [ -f "$f" ] || [ -L "$f" ]; then left+=("$f"); fi
done <<< "$files"
if [ ${#left[@]} -ne 0 ]; then
  echo "package-test: left behind after dpkg -r: ${left[*]}" >&2
  exit 1
fi
echo "package-test: installed and removed cleanly"
