#!/usr/bin/env bash
# scripts/check-layering.sh on small trees made here: each case plants one
# include or link and says whether the check must pass or name it.
#   check_layering_test.sh PATH/TO/check-layering.sh
set -euo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# case NAME EXPECT FILE LINE [FILE LINE ...]: EXPECT is "pass" or the
# FILE:LINE the check must print.
case_() {
  local name=$1 expect=$2; shift 2
  local tree="$work/$name"
  mkdir -p "$tree"/{platform,host,core,json,huitouke,soap,memberdata,cardreader,agent,tests}
  while [ $# -gt 0 ]; do
    mkdir -p "$(dirname "$tree/$1")"
    printf '%s\n' '// planted' "$2" >>"$tree/$1"
    shift 2
  done
  local out rc=0
  out=$("$check" "$tree" 2>&1) || rc=$?
  if [ "$expect" = pass ]; then
    [ $rc -eq 0 ] && [ -z "$out" ] && return
  else
    [ $rc -eq 1 ] && grep -qF "$expect: " <<<"$out" && [ "$(wc -l <<<"$out")" -eq 1 ] && return
  fi
  echo "FAIL $name: expected $expect, got rc=$rc:"; echo "$out"
  failures=$((failures + 1))
}

case_ downward pass \
  core/a.cpp '#include "host/QuorlContext.h"' \
  agent/b.cpp '#include "core/CoreState.h"' \
  tests/c.cpp '#include "agent/PackageUnits.h"' \
  soap/d.cpp '#include "soap/THTTPRIO.h"' \
  json/e.cpp '#include "JsonInternal.h"' \
  core/f.cpp '#include <json/json.h>'
case_ named_peers pass \
  huitouke/a.cpp '#include "json/uVxJSON.h"' \
  cardreader/b.cpp '#include "huitouke/md5.h"'
case_ core_up_to_agent core/x.cpp:2 core/x.cpp '#include "agent/TMemberSysAgentImpl_ZEL.h"'
case_ host_up_to_core host/y.h:2 host/y.h '  #  include "core/MemberRecords.h"'
case_ peer_not_named json/z.cpp:2 json/z.cpp '#include "huitouke/md5.h"'
case_ peer_reversed huitouke/w.cpp:2 huitouke/w.cpp '#include "cardreader/drv_unit.h"'
case_ package_uses_tests soap/v.cpp:2 soap/v.cpp '#include "tests/fakes/FakeHttpTransport.h"'
case_ deep_file agent/sub/u.cpp:2 agent/sub/u.cpp '#include "tools/membersys/Commands.h"'
case_ cmake_link_up core/CMakeLists.txt:3 \
  agent/CMakeLists.txt 'add_library(quorl_agent OBJECT a.cpp)' \
  core/CMakeLists.txt 'add_library(quorl_core OBJECT b.cpp)
target_link_libraries(quorl_core PUBLIC
  QuorlRTL quorl_agent)'
case_ cmake_link_down pass \
  core/CMakeLists.txt 'add_library(quorl_core OBJECT b.cpp)' \
  agent/CMakeLists.txt 'add_library(quorl_agent OBJECT a.cpp)
target_link_libraries(quorl_agent PUBLIC quorl_core)'

[ $failures -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "all cases passed"
