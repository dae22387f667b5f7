#!/usr/bin/env bash
# Builds the Debian packages from the build in BUILD_DIR (packaging/build-debs.sh),
# checks them with lintian (any error or warning not overridden with a reason
# fails), installs them together with dpkg -i, builds a host against the
# installed -dev package, runs the installed programs (a real membersys run
# on a temporary SQLite database among them), purges them and checks that
# nothing is left. For CI, a throwaway machine: it runs dpkg as root.
#   scripts/package-test.sh [BUILD_DIR]     default: build
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

build=${1:-build}
packages=(libquorlrtl0.1 libquorlhost0.1 libquorlcoremembersys-zel0.1 libquorlmembersys-dev quorl-membersys-tools)
programs=(membersys ticketmanage vxjson md5print quorl-till)
# The print application, outside PATH with the folder the package expects.
printapp=/usr/lib/quorl-membersys/MemberPrint_vrisk/PrintApp.exe

fail() {
  echo "package-test: $*" >&2
  exit 1
}
if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: installs packages into the system; run as root (CI)" >&2
  exit 2
fi
for p in "${packages[@]}" quorl-membersys; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'installed'; then
    fail "$p is already installed; remove it first (dpkg --purge $p)"
  fi
done

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
out=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then dpkg --purge "${packages[@]}" >/dev/null || true; fi
  rm -rf "$out"
}
trap cleanup EXIT

# What the packages hold is built first (the deb target depends on it).
cmake --build "$build" -j2 --target deb >"$out/build-debs.log" 2>&1 ||
  { cat "$out/build-debs.log" >&2; fail "building the packages failed (above)"; }
mv "$build/deb" "$out/debs"
debs=()
for p in "${packages[@]}"; do
  deb=$(ls "$out/debs/${p}"_*.deb 2>/dev/null) || fail "no package $p built"
  debs+=("$deb")
done
[ "$(ls "$out"/debs/*.deb | wc -l)" -eq ${#packages[@]} ] || fail "unexpected packages: $(ls "$out/debs")"
echo "package-test: built ${debs[*]##*/}"

# Only what a till needs: no simulators, no simulated reader library.
for deb in "${debs[@]}"; do
  if dpkg-deb -c "$deb" | grep -E 'cardreader[^/]*\.so|-sim$|_tests$|_bench$|/usr/local/'; then
    fail "$(basename "$deb") holds files for tests or the demo, or under /usr/local (above)"
  fi
done

# A manual page for each program (checked in the package: a system may be
# set to leave manual pages out).
dpkg-deb -c "$out"/debs/quorl-membersys-tools_*.deb >"$out/tools.list"
for p in "${programs[@]}"; do
  grep -q " \./usr/share/man/man1/$p\.1\.gz$" "$out/tools.list" || fail "no manual page for $p"
done

# Tags at error or warning level fail; overridden ones are listed with the
# reason in their override file.
if ! lintian --fail-on error,warning --display-level '>=warning' --show-overrides "${debs[@]}" \
  >"$out/lintian.log" 2>&1; then
  cat "$out/lintian.log" >&2
  fail "lintian found errors or warnings (above)"
fi
# (Run as root, lintian says it would rather not.)
grep -v 'running with root privileges' "$out/lintian.log" || true
echo "package-test: lintian clean"

dpkg -i "${debs[@]}" >/dev/null
installed=yes
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p")" = 'install ok installed' ] || fail "$p not installed"
done

# The installed programs on the installed libraries, not on a build tree's.
for bin in "${programs[@]/#//usr/bin/}" "$printapp"; do
  [ -x "$bin" ] || fail "$bin not installed"
  ldd "$bin" | awk '/libQuorl/ {print $1, $3}' | while read -r name path; do
    case "$(readlink -f "$path" 2>/dev/null)" in
      /usr/lib/*) ;;
      *) fail "$bin finds $name at '$path', not in /usr/lib" ;;
    esac
  done
  "$bin" --help >"$out/help.txt" 2>&1 || fail "$bin --help failed: $(cat "$out/help.txt")"
  grep -qi 'usage' "$out/help.txt" || fail "$bin --help says no usage: $(cat "$out/help.txt")"
done
[ "$(md5print -s abc)" = 900150983cd24fb0d6963f7d28e17f72 ] || fail "md5print -s abc: $(md5print -s abc)"
[ "$(echo '{ "a" : [1, 2] }' | vxjson compact)" = '{"a":[1,2]}' ] || fail "vxjson compact"

# A till folder of its own: a seeded SQLite host database, the print
# application copied from where the package put it, a purchase from a member
# account posted twice and charged once.
till=$out/till
run() { membersys --app-dir "$till" --db "$till/membersys.db" "$@"; }
run init-db --seed >/dev/null
run install-print | grep -qx "print application installed: $till/MemberPrint_vrisk/PrintApp.exe" ||
  fail "membersys install-print did not copy $printapp"
cmp -s "$printapp" "$till/MemberPrint_vrisk/PrintApp.exe" || fail "install-print copied another program"
echo '[{"ORDER_CODE": "PKG-1", "MEMBER_CARD_NO": "8800000001", "AMOUNT": 35.50, "POINTS": 70}]' >"$out/rows.json"
balance() { run lookup Y --member-num 8800000001 --json | sed -n 's/.*"MemberBalance": *"\{0,1\}\([0-9.]*\).*/\1/p'; }
[ "$(balance)" = 500 ] || fail "seeded balance: $(balance)"
for attempt in 1 2; do
  [ "$(run post-server "$out/rows.json" 1001)" = true ] || fail "post-server attempt $attempt refused"
done
[ "$(balance)" = 464.5 ] || fail "balance after posting the same order twice: $(balance) (want 464.5)"
sed -i 's/PKG-1/PKG-2/' "$out/rows.json"
[ "$(run post-server "$out/rows.json" 1001 --no-post)" = true ] || fail "post-server --no-post"
[ "$(balance)" = 464.5 ] || fail "post-server --no-post charged: balance $(balance)"
[ ! -e "$till/MemberPrint_vrisk/Print.xml" ] || fail "post-server --no-post wrote Print.xml"
echo "package-test: installed programs run (membersys on $till/membersys.db)"

# A host built against the installed -dev package, with CMake and with
# pkg-config, nothing from the source tree but its own sources.
cmake -S "$source/tests/consumer" -B "$out/consumer" -G Ninja -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  >"$out/consumer.log" 2>&1 && cmake --build "$out/consumer" >>"$out/consumer.log" 2>&1 ||
  { cat "$out/consumer.log" >&2; fail "the consumer does not build against the installed packages"; }
mkdir "$out/host"
[ "$("$out/consumer/consumer" "$out/host")" = Hello ] || fail "the consumer's agent did not say Hello"
grep -q '/usr/lib/cmake/QuorlMemberSys' "$out/consumer/CMakeCache.txt" || fail "the consumer found another package"
flags=$(pkg-config --cflags --libs QuorlCoreMemberSys_ZEL) || fail "pkg-config QuorlCoreMemberSys_ZEL"
case "$flags" in
  *-I/usr/include/quorl*-lQuorlCoreMemberSys_ZEL*) ;;
  *) fail "pkg-config gives '$flags'" ;;
esac
echo "package-test: a host builds against the installed -dev package and runs"

# Purged, every file the packages brought is gone, and of their folders only
# those another package owns are left.
paths=$(dpkg -L "${packages[@]}" | grep '^/' | grep -vx '/\.' | sort -u)
dpkg --purge "${packages[@]}" >/dev/null
installed=no
left=()
while IFS= read -r f; do
  if [ ! -e "$f" ] && [ ! -L "$f" ]; then continue; fi
  if [ -d "$f" ] && [ ! -L "$f" ] && dpkg-query -S "$f" >/dev/null 2>&1; then continue; fi
  left+=("$f")
done <<<"$paths"
[ ${#left[@]} -eq 0 ] || fail "left behind after dpkg --purge: ${left[*]}"
echo "package-test: installed and purged cleanly"
