#!/usr/bin/env bash
# Compares the dynamic symbols a shared library exports with a checked-in list.
#   package_symbols.sh LIBRARY LIST            exit 1 and print a diff when they differ
#   package_symbols.sh --update LIBRARY LIST   rewrite LIST from LIBRARY
# (cmake --build build --target update_package_symbols runs the second form
# for the three libraries.)
#
# The list holds demangled names, one a line, sorted: the library's own
# definitions, the functions and variables its source files define. Left
# out are vague-linkage copies (weak and unique symbols: inline functions
# and variables, template instances, type information and virtual tables),
# which every module compiles from the headers for itself and which the
# optimiser emits or not depending on the build type, and what the linker
# and the sanitizers add. So one list holds for every build type.
#
# Independent of the list, no exported symbol of any kind may name a type of
# the libraries used inside (pugixml, libcurl, SQLite, libpq): those are not
# part of the interface, and their versions may change under it.
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

# "VALUE TYPE NAME" of every defined dynamic symbol; NAME may contain blanks.
symbols() { nm -D --defined-only -C "$library"; }

exported() {
  # Strong definitions only: T (code), D (data), R (read-only), B (zeroed).
  symbols | sed -nE 's/^[0-9a-fA-F]+ [TDRB] //p' |
    grep -Ev '^(_edata|_end|__bss_start|_init|_fini)$' |
    grep -Ev '^_*(asan|ubsan|lsan|sanitizer|odr_asan|sancov|start_|stop_)' |
    LC_ALL=C sort -u
}

foreign=$(symbols | sed -E 's/^[0-9a-fA-F]+ [A-Za-z] //' | grep -E 'pugi::|(^|[^A-Za-z_])(CURL|curl_|sqlite3|PGconn|PGresult|pg_conn)' || true)
if [ -n "$foreign" ]; then
  echo "$library exports symbols that name a type of a library it uses inside:"
  echo "$foreign"
  echo "Keep those types out of exported classes and signatures (an Impl defined in"
  echo "the source file, marked with the library's LOCAL macro)."
  exit 1
fi

if [ $update -eq 1 ]; then
  exported > "$list"
  echo "wrote $(wc -l < "$list") symbols to $list"
  exit 0
fi
[ -f "$list" ] || { echo "$0: no list $list (run with --update to create it)" >&2; exit 2; }
if ! diff -u --label "expected ($list)" --label "exported ($library)" "$list" <(exported); then
  echo
  echo "The exports changed: '+' lines are new exports, '-' lines lost ones. Mark or"
  echo "unmark declarations with the library's export macro (QUORL_RTL_API,"
  echo "QUORL_HOST_API, QUORL_PACKAGE_API); if the change is meant, update the lists:"
  echo "cmake --build build --target update_package_symbols"
  exit 1
fi
