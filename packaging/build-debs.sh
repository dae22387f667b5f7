#!/usr/bin/env bash
# Builds the Debian packages from a configured and built tree with Debian's
# own tools (debhelper): each CMake install component into its package,
# manual pages from the programs' --help, shlibs and the ldconfig trigger from
# dh_makeshlibs, dependencies from dpkg-shlibdeps.
#   packaging/build-debs.sh BUILD_DIR OUT_DIR
# The .deb files land in OUT_DIR; nothing is written into the source tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -ne 2 ]; then
  echo "usage: packaging/build-debs.sh BUILD_DIR OUT_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
changelog=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
if [ "$version" != "$changelog" ]; then
  echo "build-debs: the build is version '$version', debian/changelog says '$changelog':" \
    "add a changelog entry" >&2
  exit 1
fi

# debhelper works in a tree of its own and writes the packages beside it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tree"
cp -a "$here/debian" "$work/tree/"
(cd "$work/tree" && QUORL_BUILD="$build" QUORL_VERSION="$version" fakeroot debian/rules binary)
mv "$work"/*.deb "$out/"
