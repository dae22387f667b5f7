#!/usr/bin/env bash
# Fails when an include or a CMake link runs upward between the folders.
#   scripts/check-layering.sh [ROOT]     ROOT defaults to the source tree
# Prints each violation as FILE:LINE: text and exits 1 if there is any.
#
# Layers, lowest first. A folder may use its own files and any lower layer;
# folders of one layer use each other only as the peer list says.
#   0 platform
#   1 host
#   2 core
#   3 json huitouke soap memberdata cardreader
#       huitouke uses json (answers), cardreader uses huitouke (md5)
#   4 agent
#   5 tools sim tests bench fuzz
#       tests use sim (the simulators' protocol code), bench and fuzz use
#       tests (fakes and test support)
# Only #include "folder/..." lines are checked: an include without a folder
# is the file's own folder, and a first component that is no folder of ours
# (a system or test-local path) says nothing about layers.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

layers='platform=0 host=1 core=2 json=3 huitouke=3 soap=3 memberdata=3 cardreader=3
agent=4 tools=5 sim=5 tests=5 bench=5 fuzz=5'
peers='huitouke>json cardreader>huitouke tests>sim tests>tools bench>tests fuzz>tests'

folders=()
for entry in $layers; do
  [ -d "${entry%%=*}" ] && folders+=("${entry%%=*}")
done
[ ${#folders[@]} -gt 0 ] || { echo "check-layering: no source folders under $PWD" >&2; exit 2; }

# The same rule for both checks: may FROM use TO?
rule='
BEGIN {
  n = split(LAYERS, e, /[ \n]+/)
  for (i = 1; i <= n; i++) if (split(e[i], kv, "=") == 2) rank[kv[1]] = kv[2] + 0
  n = split(PEERS, e, /[ \n]+/)
  for (i = 1; i <= n; i++) if (e[i] != "") peer[e[i]] = 1
}
function allowed(from, to) {
  if (!(from in rank) || !(to in rank) || from == to) return 1
  if (rank[to] < rank[from]) return 1
  return ((from ">" to) in peer)
}
function folder_of(path,   p) {
  sub(/^\.\//, "", path)
  split(path, p, "/")
  return p[1]
}
'

status=0

# Includes.
if find "${folders[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \
      -o -name '*.cc' -o -name '*.c' -o -name '*.in' -o -name '*.inc' \) -print0 |
   sort -z | xargs -0 -r awk -v LAYERS="$layers" -v PEERS="$peers" "$rule"'
  /^[ \t]*#[ \t]*include[ \t]*"[^"\/]+\// {
    target = $0
    sub(/^[^"]*"/, "", target)
    if (!allowed(folder_of(FILENAME), folder_of(target))) { print FILENAME ":" FNR ": " $0; bad = 1 }
  }
  END { exit bad }'; then :; else status=1; fi

# CMake targets: where each is defined, then what each links.
mapfile -d '' lists < <(find "${folders[@]}" -name CMakeLists.txt -print0 | sort -z)
if [ ${#lists[@]} -gt 0 ]; then
  if awk -v LAYERS="$layers" -v PEERS="$peers" "$rule"'
    # Pass 1 (first reading of the files): the folder of every target.
    FNR == 1 && FILENAME == first { pass = 2 }
    FNR == 1 && first == "" { first = FILENAME; pass = 1 }
    pass == 1 && match($0, /add_(library|executable)\([ \t]*[A-Za-z0-9_.+-]+/) {
      t = substr($0, RSTART, RLENGTH); sub(/.*\([ \t]*/, "", t); home[t] = folder_of(FILENAME)
    }
    # Pass 2: target_link_libraries(TARGET ...), which may span lines.
    pass == 2 && !open && /target_link_libraries\(/ {
      open = 1; text = ""; startline = FNR; starttext = $0
    }
    pass == 2 && open {
      line = $0; sub(/#.*/, "", line); text = text " " line
      if (index(line, ")")) {
        open = 0
        sub(/.*target_link_libraries\(/, "", text); sub(/\).*/, "", text)
        n = split(text, w, /[ \t]+/); owner = ""
        for (i = 1; i <= n; i++) {
          if (w[i] == "") continue
          if (owner == "") { owner = w[i]; continue }
          if ((w[i] in home) && !allowed(folder_of(FILENAME), home[w[i]])) {
            print FILENAME ":" startline ": " starttext " (" w[i] " is in " home[w[i]] "/)"; bad = 1
          }
        }
      }
    }
    END { exit bad }' "${lists[@]}" "${lists[@]}"; then :; else status=1; fi
fi

exit $status
