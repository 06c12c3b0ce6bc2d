#!/usr/bin/env bash
# The layer rule holds on every build: a toy project of two layers made with
# the program's own cmake/layers.cmake, built in one folder that is reused
# throughout. An upward include, a relative include and an include of a
# layer that a reconfigure took away each fail the build; the lawful tree
# builds again after each.
#
#   layer_rule_test.sh SOURCE_DIR CMAKE CXX
set -euo pipefail
source_dir=$1 cmake=$2 cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
toy=$work/toy build=$work/build
mkdir -p "$toy/cmake" "$toy/src/low" "$toy/src/high"
cp "$source_dir/cmake/layers.cmake" "$source_dir/cmake/check_layer_includes.cmake" "$toy/cmake/"

write_lists() {  # the USES of the high layer
  cat >"$toy/CMakeLists.txt" <<EOF_LISTS
cmake_minimum_required(VERSION 3.25)
project(toy LANGUAGES CXX)
include(cmake/layers.cmake)
ovantrex_layer(toy_low low)
ovantrex_layer(toy_high high $1)
EOF_LISTS
}
echo 'inline int low() { return 1; }' >"$toy/src/low/low.h"
echo '#include "low/low.h"
int lowTwice() { return 2 * low(); }' >"$toy/src/low/low.cpp"
echo 'inline int high() { return 2; }' >"$toy/src/high/high.h"
lawful_high='#include "high/high.h"
#include "low/low.h"
int highAndLow() { return high() + low(); }'
echo "$lawful_high" >"$toy/src/high/high.cpp"
lawful_low=$(cat "$toy/src/low/low.cpp")

build_must() {  # build_must pass|fail WHAT [MESSAGE]
  local want=$1 what=$2 message=${3:-}
  local log=$work/log status=0
  "$cmake" --build "$build" >"$log" 2>&1 || status=$?
  if [[ $want == pass && $status != 0 ]]; then
    echo "FAIL: $what: the build failed" >&2
    cat "$log" >&2
    exit 1
  fi
  if [[ $want == fail ]]; then
    if [[ $status == 0 ]]; then
      echo "FAIL: $what: the build passed" >&2
      exit 1
    fi
    if [[ -n $message ]] && ! grep -qF -- "$message" "$log"; then
      echo "FAIL: $what: the build's message does not say: $message" >&2
      cat "$log" >&2
      exit 1
    fi
  fi
  echo "ok: $what"
}

write_lists "USES toy_low"
"$cmake" -S "$toy" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
build_must pass "the lawful tree builds"

echo '#include "high/high.h"
int lowTwice() { return 2 * high(); }' >"$toy/src/low/low.cpp"
build_must fail "an upward include" 'src/low/low.cpp: #include "high/high.h": the layer low sees only low'
echo "$lawful_low" >"$toy/src/low/low.cpp"
build_must pass "the lawful tree builds again"

echo '#include "../high/high.h"
int lowTwice() { return 2 * high(); }' >"$toy/src/low/low.cpp"
build_must fail "a relative include" 'src/low/low.cpp: #include "../high/high.h"'
echo "$lawful_low" >"$toy/src/low/low.cpp"
build_must pass "the lawful tree builds a third time"

# The high layer no longer uses the low one: its include of low/low.h is
# now upward of what it sees, in the same build folder after the configure
# that the changed CMakeLists.txt brings.
write_lists ""
build_must fail "an include of a layer the configure took away" \
  'src/high/high.cpp: #include "low/low.h": the layer high sees only high'
write_lists "USES toy_low"
build_must pass "the layer given back builds"
