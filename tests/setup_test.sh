#!/usr/bin/env bash
# What the README's Quick start promises about the set-up, checked on fresh
# configures of the project (.ci/run runs it; it is no CTest test, because
# it configures the project anew, once per machine rather than per build):
#   - the sample preset configures with the test packages made unfindable,
#     looks for none of them, and lists the sample;
#   - a configure of the tests with something missing stops with a message
#     whose apt-get line names exactly the missing packages (no CMake trace);
#   - every package such a message names is on the README's install line.
#
#   tests/setup_test.sh [SCRATCH_DIR]   (default: a temporary folder)
#
# Needs the packages of the README's install line: it hides them one at a
# time.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-}
if [[ -z $scratch ]]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# ---- The sample ----
sample=$scratch/sample
unfindable=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON)
# A new cache each time (the object files are kept): an entry left by an
# earlier run would read as a lookup.
rm -f "$sample/CMakeCache.txt"
if cmake --preset sample -S "$root" -B "$sample" "${unfindable[@]}" >"$scratch/sample.log" 2>&1; then
  # Configured again with everything findable: whatever the configure looks
  # for leaves its entry in the cache.
  cmake --preset sample -S "$root" -B "$sample" "${unfindable[@]/=ON/=OFF}" >>"$scratch/sample.log" 2>&1 ||
    fail "the sample preset does not configure again"
  looked=$(grep -E '^(GTest_DIR|nlohmann_json_DIR|Python3_EXECUTABLE|OVANTREX_CHROMIUM|OVANTREX_GROFF|OVANTREX_MAN|OVANTREX_JQ)[:=]' \
    "$sample/CMakeCache.txt")
  [[ -z $looked ]] || fail "the sample preset looks for test packages:
$looked"
  cmake --build "$sample" --target sample-listing >"$scratch/sample-build.log" 2>&1 ||
    fail "the sample does not build: $(tail -n 20 "$scratch/sample-build.log")"
  grep -q 'Text .* Firmware update utility 4.2 started$' "$scratch/sample-build.log" ||
    fail "building the sample does not list it"
else
  fail "the sample preset does not configure without the test packages:
$(cat "$scratch/sample.log")"
fi

# ---- The messages ----
tests=$scratch/tests
rm -f "$tests/CMakeCache.txt"
if ! cmake --preset release -S "$root" -B "$tests" >"$scratch/tests.log" 2>&1; then
  echo "setup_test.sh: the tests do not configure with everything installed:" >&2
  cat "$scratch/tests.log" >&2
  exit 1
fi
cached() { sed -n "s/^$1:[A-Z]*=//p" "$tests/CMakeCache.txt"; }
python=$(cached Python3_EXECUTABLE)
chromium=$(cached OVANTREX_CHROMIUM)
# What the configure found, given back each time, so that each case
# changes one thing.
found=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=OFF -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=OFF
  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=OFF -DCMAKE_IGNORE_PATH= -DPython3_EXECUTABLE="$python"
  -DOVANTREX_CHROMIUM="$chromium" -DOVANTREX_GROFF="$(cached OVANTREX_GROFF)"
  -DOVANTREX_MAN="$(cached OVANTREX_MAN)" -DOVANTREX_JQ="$(cached OVANTREX_JQ)")

# A Python without its site packages has neither module.
mkdir -p "$scratch/bare"
printf '#!/bin/sh\nexec %q -S "$@"\n' "$python" >"$scratch/bare/python3"
chmod +x "$scratch/bare/python3"
# Every folder from which a search could find chromium.
chromium_dirs=$(dirname "$chromium")
while read -r hit; do
  chromium_dirs+=";$(dirname "$hit")"
done < <(type -ap chromium chromium-browser)

named=()
# missing CASE PACKAGES CMAKE_ARGS...: the configure fails and its apt-get
# line names PACKAGES, in that order.
missing() {
  local case=$1 packages=$2
  shift 2
  local -a words
  read -r -a words <<<"$packages"
  named+=("${words[@]}")
  local out status=0
  out=$(cmake --preset release -S "$root" -B "$tests" "${found[@]}" "$@" 2>&1) || status=$?
  if ((status == 0)); then
    fail "$case: the configure succeeds"
    return
  fi
  grep -qxE " +apt-get install -y $packages" <<<"$out" ||
    fail "$case: no apt-get line naming just $packages:
$out"
  ! grep -qE 'Call Stack|Could NOT find|By not providing' <<<"$out" ||
    fail "$case: a CMake trace in place of the message:
$out"
}
missing "GoogleTest unfindable" "libgtest-dev" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
missing "JSON library unfindable" "nlohmann-json3-dev" -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON
missing "Python 3 unfindable" "python3" -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON
missing "Python without the modules" "python3-jsonschema python3-html5lib python3-distributed python3-tqdm python3-prometheus-client" \
  -DPython3_EXECUTABLE="$scratch/bare/python3"
missing "chromium not on any search path" "chromium" \
  -DOVANTREX_CHROMIUM=OVANTREX_CHROMIUM-NOTFOUND -DCMAKE_IGNORE_PATH="$chromium_dirs"
missing "chromium removed since the last configure" "chromium" -DOVANTREX_CHROMIUM="$scratch/gone/chromium"
missing "groff removed since the last configure" "groff-base" -DOVANTREX_GROFF="$scratch/gone/groff"
missing "man removed since the last configure" "man-db" -DOVANTREX_MAN="$scratch/gone/man"
missing "jq removed since the last configure" "jq" -DOVANTREX_JQ="$scratch/gone/jq"
missing "GoogleTest and chromium both missing" "libgtest-dev chromium" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DOVANTREX_CHROMIUM="$scratch/gone/chromium"
# Everything given back: the configure succeeds again.
cmake --preset release -S "$root" -B "$tests" "${found[@]}" >"$scratch/tests.log" 2>&1 ||
  fail "the tests do not configure again with everything found: $(cat "$scratch/tests.log")"

# ---- The README's install line ----
readme=$(sed -n '/^## Quick start/,/^## /s/^apt-get install -y //p' "$root/README.md")
if [[ -z $readme ]]; then
  fail "README.md: no 'apt-get install -y' line in Quick start"
else
  for package in "${named[@]}"; do
    [[ " $readme " == *" $package "* ]] || fail "README's install line lacks $package"
  done
fi

((failures == 0)) || exit 1
echo "setup test passed"
