#!/usr/bin/env bash
# Compares the dynamic symbols a shared library exports with a checked-in list.
#   package_symbols.sh LIBRARY LIST            exit 1 and print a diff when they differ
#   package_symbols.sh --update LIBRARY LIST   rewrite LIST from LIBRARY
# (cmake --build build --target update_package_symbols runs the second form.)
#
# The list holds demangled names, one a line, sorted. Left out: what the
# linker, the sanitizers and the compiler's vague-linkage copies of standard
# library templates add, since those differ between build types and say
# nothing about what the package offers a host.
set -euo pipefail
update=0
if [ "${1:-}" = "--update" ]; then
  update=1
  shift
fi
[ $# -eq 2 ] || { echo "usage: $0 [--update] LIBRARY LIST" >&2; exit 2; }
library=$1
list=$2
[ -f "$library" ] || { echo "$0: no library $library" >&2; exit 2; }

exported() {
  # "VALUE TYPE NAME": keep NAME, which may contain blanks.
  nm -D --defined-only -C "$library" | sed -E 's/^[0-9a-fA-F]+ [A-Za-z] //' |
    grep -Ev '^(_edata|_end|__bss_start|_init|_fini)$' |
    grep -Ev '^_*(asan|ubsan|lsan|sanitizer|odr_asan|sancov|start_|stop_)' |
    grep -Ev '^((typeinfo|typeinfo name|vtable|VTT|guard variable) for )?([A-Za-z_][A-Za-z0-9_]* )*(std|__gnu_cxx)::' |
    LC_ALL=C sort -u
}

if [ $update -eq 1 ]; then
  exported > "$list"
  echo "wrote $(wc -l < "$list") symbols to $list"
  exit 0
fi
[ -f "$list" ] || { echo "$0: no list $list (run with --update to create it)" >&2; exit 2; }
if ! diff -u --label "expected ($list)" --label "exported ($library)" "$list" <(exported); then
  echo
  echo "The package's exports changed: '+' lines are new exports, '-' lines lost ones."
  echo "Mark or unmark declarations with QUORL_PACKAGE_API; if the change is meant,"
  echo "update the list: cmake --build build --target update_package_symbols"
  exit 1
fi
