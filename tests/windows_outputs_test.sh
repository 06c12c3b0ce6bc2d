#!/usr/bin/env bash
# The .exe lists, summarizes and draws the sample as the Linux build does:
#
#   windows_outputs_test.sh LINUX_PROGRAM WINDOWS_PROGRAM SOURCE_DIR WORK_DIR EMULATOR...
#
# Each run's output, on standard output or in a -w file, is compared with
# the Linux build's. The listing, the summary and JSON are text files with
# CRLF line ends on Windows: every line of them ends in CR LF, and with the
# CRs taken out they are the Linux bytes. The page is the same bytes. The
# time column is in UTC (TZ=UTC on both sides).
set -euo pipefail
linux=$1 windows=$2 source=$3 work=$4
shift 4
emulator=("$@")
sample=$source/examples/sample.trc
export TZ=UTC
rm -rf "$work"
mkdir -p "$work"
failed=0

# compare NAME text|bytes OPTIONS...: a run to standard output, and one
# with -w FILE.
compare() {
  local name=$1 kind=$2
  shift 2
  local way
  for way in stdout file; do
    local expected=$work/$name.$way.linux actual=$work/$name.$way.exe
    if [[ $way == stdout ]]; then
      "$linux" "$@" -f "$sample" >"$expected"
      "${emulator[@]}" "$windows" "$@" -f "$sample" >"$actual"
    else
      "$linux" "$@" -f "$sample" -w "$expected"
      "${emulator[@]}" "$windows" "$@" -f "$sample" -w "$actual"
    fi
    if [[ ! -s $expected ]]; then
      echo "FAIL $name ($way): the Linux build wrote nothing" >&2
      failed=1
      continue
    fi
    if [[ $kind == bytes ]]; then
      cmp "$expected" "$actual" || { echo "FAIL $name ($way): not the same bytes" >&2; failed=1; }
      continue
    fi
    # Every LF of the .exe's text comes after a CR; none stands alone.
    local lines crlf
    lines=$(tr -cd '\n' <"$actual" | wc -c)
    crlf=$(grep -c $'\r$' "$actual" || true)
    if [[ $lines -eq 0 || $lines -ne $crlf ]]; then
      echo "FAIL $name ($way): $crlf of $lines line ends are CR LF" >&2
      failed=1
    fi
    sed 's/\r$//' "$actual" | cmp "$expected" - ||
      { echo "FAIL $name ($way): differs from the Linux build, line ends aside" >&2; failed=1; }
  done
}

compare listing text -t -p
compare listing-cumulative-no-type text -t -c -H
compare summary text --summary
compare json-lines text --json
compare summary-json text --summary --json
compare page bytes --report

if ((failed)); then
  exit 1
fi
echo "the .exe's listing, summary, JSON Lines, JSON summary and page of the sample are the Linux build's"
