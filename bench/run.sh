#!/usr/bin/env bash
# Benchmark of the listing speed: builds Release, generates the traces, lists
# each of them with default options and with "-t -p" to /dev/null, writes the
# firmware session as JSON Lines (--json), its summary (--summary) and its
# HTML report (--report), and the summary and the report of two hostile
# traces (best of five each), compares the firmware session with itself and
# with a copy whose middle reply is an error reply (--compare), times xxd on
# the Hex trace in the same run, and checks the targets.
#
#   bench/run.sh            # the two traces of about 100 MB
#   OVX_BENCH_LARGE=1 bench/run.sh   # also the ten times larger traces (2 GB of disk)
#   OVX_BENCH_WINE=1 bench/run.sh    # also ovantrex.exe under Wine
#   OVX_BENCH_WINE_REFERENCE=path/to/ovantrex.exe OVX_BENCH_WINE=1 bench/run.sh
#                                    # also an earlier .exe on the same Wine rows
#   OVX_BENCH_REFERENCE=path/to/ovantrex bench/run.sh
#                                    # also an earlier build on the same rows, for
#                                    # before/after figures of one sitting
#   OVX_BENCH_REFERENCE_FLEET=path/to/ovantrex-fleet  (with OVX_BENCH_REFERENCE)
#                                    # also an earlier fleet tool, with that build
#
# The fleet rows summarize OVX_BENCH_FLEET (default 20000) generated lanes'
# traces of 2.7 KB, about the sample's size (tests/fleet_test.py --make, kept
# in OVX_BENCH_DIR): in one run (--summary --json --list, one core), one run
# per trace (the first 2,000, one after another, as the fleet tool ran them
# before), and through tools/ovantrex-fleet on this machine (every core):
# its rows alone, with every other output (the breakdowns as JSON, the CSV,
# the page, the metrics: at most 10% more), with --reuse of its rows on
# the unchanged fleet (at least 10 times as fast), and with --compare of
# every trace with the first (at least 1,000 traces a second; --list
# --compare in one run too).
#
# The Wine mode cross-builds ovantrex.exe (Release, static) in
# build/bench-windows and times it on five of the rows, each right after
# the Linux build on the same row, run by wine itself with the prefix's
# server already running: the time includes Wine's start (a few tens of
# ms) and the CR LF line ends of the text outputs. Its target: the listings
# and JSON Lines at 0.6 of the Linux build's MB/s or better.
#
# Environment: OVX_BUILD_DIR (default build/bench), OVX_BENCH_DIR (traces,
# default /tmp/ovx-bench), OVX_BENCH_RUNS (default 5).
# Exit status 1 when a target is missed.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OVX_BUILD_DIR:-$root/build/bench}"
traces="${OVX_BENCH_DIR:-/tmp/ovx-bench}"
runs="${OVX_BENCH_RUNS:-5}"
large="${OVX_BENCH_LARGE:-0}"
wine_mode="${OVX_BENCH_WINE:-0}"
reference="${OVX_BENCH_REFERENCE:-}"

for tool in cmake ninja xxd /usr/bin/time /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing" >&2; exit 2; }
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ovantrex make_bench_traces >/dev/null
program="$build/ovantrex"
if [[ $wine_mode == 1 ]]; then
  for tool in x86_64-w64-mingw32-g++-posix wine wineserver; do
    command -v "$tool" >/dev/null ||
      { echo "run.sh: $tool is missing (apt-get install -y g++-mingw-w64-x86-64 wine wine64)" >&2; exit 2; }
  done
  wine_build="${OVX_WINE_BUILD_DIR:-$root/build/bench-windows}"
  cmake -S "$root" -B "$wine_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DOVANTREX_TESTS=OFF \
    -DOVANTREX_BENCH=OFF >/dev/null
  cmake --build "$wine_build" -j2 --target ovantrex >/dev/null
  wine_reference="${OVX_BENCH_WINE_REFERENCE:-}"
  # The prefix is made now; its server is started again before the rows.
  "$root/cmake/wine_run.sh" "$wine_build/wine" "$wine_build/ovantrex.exe" --version >/dev/null
fi
generator="$build/bench/make_bench_traces"
mkdir -p "$traces"

# Generates a trace and remembers its record count: generate NAME KIND [SIZE]
declare -A records
generate() {
  local name=$1
  shift
  local line
  line=$("$generator" "$@")
  records[$name]=${line#records=}
  records[$name]=${records[$name]%% *}
}
generate hex hex "$traces/hex.trc"
generate firmware firmware "$traces/firmware.trc"
generate firmware-error firmware-error "$traces/firmware-error.trc"
generate disjoint disjoint "$traces/disjoint.trc"
generate hostile hostile "$traces/hostile.trc"
if [[ $large == 1 ]]; then
  generate hex10 hex "$traces/hex10.trc" 1000
  generate firmware10 firmware "$traces/firmware10.trc" 10000000
fi

# Best wall time (seconds) and largest peak RSS (KiB) of N runs:
# measure N COMMAND... ; sets best and rss.
measure() {
  local n=$1
  shift
  best=
  rss=0
  local stats
  stats=$(mktemp)
  for ((i = 0; i < n; i++)); do
    local t0=$EPOCHREALTIME
    local status=0
    /usr/bin/time -f %M -o "$stats" "$@" >/dev/null || status=$?
    # A comparison of traces that differ ends with status 1, as diff does.
    if ((status != 0 && status != ${allowed_status:-0})); then
      echo "run.sh: $* ended with status $status" >&2
      exit 2
    fi
    local t1=$EPOCHREALTIME
    local took
    took=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    if [[ -z $best ]] || awk -v a="$took" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$took
    fi
    local kb
    kb=$(tail -n 1 "$stats")
    ((kb > rss)) && rss=$kb
  done
  rm -f "$stats"
}

failed=0
# check LABEL VALUE OP LIMIT
check() {
  if awk -v v="$2" -v l="$4" -v op="$3" 'BEGIN { exit !(op == ">=" ? v >= l : v <= l) }'; then
    printf '  %-52s %12s %s %-10s met\n' "$1" "$2" "$3" "$4"
  else
    printf '  %-52s %12s %s %-10s MISSED\n' "$1" "$2" "$3" "$4"
    failed=1
  fi
}

declare -A mbps rps peak
rows=()
# The program that row times: the Linux build, or the .exe under Wine.
runner=("$program")
row() {  # row NAME OPTIONS-LABEL RUNS OPTIONS...
  local name=$1 label=$2 n=$3
  shift 3
  local file="$traces/$name.trc"
  cat "$file" >/dev/null  # into the page cache
  measure "$n" "${runner[@]}" "$@" -f "$file"
  local bytes
  bytes=$(stat -c %s "$file")
  mbps[$name $label]=$(awk -v b="$bytes" -v t="$best" 'BEGIN { printf "%.0f", b / t / 1e6 }')
  rps[$name $label]=$(awk -v r="${records[$name]}" -v t="$best" 'BEGIN { printf "%.0f", r / t }')
  peak[$name $label]=$rss
  rows+=("$name $label")
  printf '%-12s %-15s %10.1f %8.3f %10s %12s %10s\n' "$name" "$label" \
    "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$best" "${mbps[$name $label]}" \
    "${rps[$name $label]}" "$rss"
}

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "program: $program (Release), output to /dev/null, best of $runs"
echo
printf '%-12s %-15s %10s %8s %10s %12s %10s\n' trace options "input MB" seconds "MB/s" records/s "peak KiB"
# The rows of the Linux build; the reference mode runs them again.
linux_rows() {
  row hex default "$runs"
  row hex "-t -p" "$runs" -t -p
  row firmware default "$runs"
  row firmware "-t -p" "$runs" -t -p
  row firmware --json "$runs" --json
  row firmware --summary "$runs" --summary
  row disjoint --summary "$runs" --summary
  row firmware --report "$runs" --report
  # The comparison reads both traces: records/s is the steps of each trace
  # per second (every record of the firmware session is a step). Builds
  # before it have no --compare.
  if [[ ${runner[0]} == "$program" ]]; then
    row firmware --compare "$runs" --compare "$traces/firmware.trc"
    allowed_status=1 row firmware "--compare error" "$runs" --compare "$traces/firmware-error.trc"
    # The selections: the error replies (none in the session: every record
    # read and decoded but for a command's values, none written) with the
    # five records before each, and with a thousand; the HID writes, half
    # the records.
    row firmware "where error -B5" "$runs" --where error --before 5
    row firmware "where error -B1k" "$runs" --where error --before 1000
    row firmware "where HIDWrite" "$runs" --where 'type == "HIDWrite"'
    row firmware "json HIDWrite" "$runs" --json --where 'type == "HIDWrite"'
  fi
  row disjoint --report "$runs" --report
  row hostile --summary "$runs" --summary
  row hostile --report "$runs" --report
  if [[ $large == 1 ]]; then
    row hex10 default 1
    row firmware10 default 1
    row firmware10 "-t -p" 1 -t -p
    row firmware10 --json 1 --json
  fi
}
linux_rows

if [[ -n $reference ]]; then
  echo
  echo "reference build $reference, the same rows (no target):"
  saved_rows=("${rows[@]}")
  declare -A saved_mbps saved_rps saved_peak
  for key in "${saved_rows[@]}"; do
    saved_mbps[$key]=${mbps[$key]} saved_rps[$key]=${rps[$key]} saved_peak[$key]=${peak[$key]}
  done
  runner=("$reference")
  rows=()
  linux_rows
  declare -A reference_share
  for key in "${saved_rows[@]}"; do
    [[ -n ${rps[$key]:-} ]] || continue  # a row that the reference has not
    reference_share[$key]=$(awk -v a="${saved_rps[$key]}" -v b="${rps[$key]}" \
      'BEGIN { printf "%.3f", a / b }')
    printf '  %-22s records/s %s of the reference, peak KiB %s against %s\n' "$key" \
      "${reference_share[$key]}" "${saved_peak[$key]}" "${peak[$key]}"
    mbps[$key]=${saved_mbps[$key]} rps[$key]=${saved_rps[$key]} peak[$key]=${saved_peak[$key]}
  done
  rows=("${saved_rows[@]}")
  runner=("$program")
fi

# wine_row LABEL NAME OPTIONS-LABEL OPTIONS...: a row timed with the Linux
# build and then with the .exe (wine_exe), seconds apart and so under the
# same load of the machine; the .exe's share of the Linux build's MB/s is
# kept in wine_share[LABEL NAME OPTIONS-LABEL].
declare -A wine_share
wine_row() {
  local label=$1 name=$2 options=$3
  shift 3
  echo "$name $options: the Linux build, then the .exe"
  runner=("$program")
  row "$name" "$options" "$runs" "$@"
  local linux=${mbps[$name $options]}
  runner=("${wine_exe[@]}")
  row "$name" "$options" "$runs" "$@"
  wine_share[$label $name $options]=$(awk -v w="${mbps[$name $options]}" -v l="$linux" \
    'BEGIN { printf "%.2f", w / l }')
  printf '  %s of the Linux build'"'"'s MB/s\n' "${wine_share[$label $name $options]}"
}

# wine_rows LABEL EXE: the .exe's rows.
wine_rows() {
  local label=$1
  echo
  echo "$label under Wine (peak KiB is Wine's loader):"
  # Wine's server, kept for 30 s after its last program, and its services
  # are running before the first row: wine starts the .exe alone.
  "$root/cmake/wine_run.sh" "$wine_build/wine" "$2" --version >/dev/null
  wine_exe=(env WINEPREFIX="$wine_build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wine "$2")
  wine_row "$label" hex default
  wine_row "$label" firmware default
  wine_row "$label" firmware --json --json
  wine_row "$label" firmware --summary --summary
  wine_row "$label" firmware --report --report
}

if [[ $wine_mode == 1 ]]; then
  # The figures of the Linux rows above are kept for their targets.
  linux_rows=("${rows[@]}")
  declare -A linux_mbps linux_rps linux_peak
  for key in "${linux_rows[@]}"; do
    linux_mbps[$key]=${mbps[$key]} linux_rps[$key]=${rps[$key]} linux_peak[$key]=${peak[$key]}
  done
  wine_rows ovantrex.exe "$wine_build/ovantrex.exe"
  if [[ -n $wine_reference ]]; then
    wine_rows "reference $wine_reference (no target)" "$wine_reference"
  fi
  for key in "${linux_rows[@]}"; do
    mbps[$key]=${linux_mbps[$key]} rps[$key]=${linux_rps[$key]} peak[$key]=${linux_peak[$key]}
  done
  rows=("${linux_rows[@]}")
  runner=("$program")
fi

# ---- The fleet: many sample-sized traces ----
fleet_count="${OVX_BENCH_FLEET:-20000}"
fleet="$traces/fleet-$fleet_count"
if [[ ! -f $fleet.list ]]; then
  rm -rf "$fleet"
  /usr/bin/python3 "$root/tests/fleet_test.py" --make "$fleet" "$fleet_count"
  find "$fleet" -name '*.trc' | sort >"$fleet.part" && mv "$fleet.part" "$fleet.list"
fi
head -n 2000 "$fleet.list" >"$traces/fleet-alone.list"
alone_count=$(wc -l <"$traces/fleet-alone.list")
xargs -a "$fleet.list" -d '\n' cat >/dev/null  # into the page cache
declare -A fleet_rate fleet_seconds
# fleet_row LABEL COUNT RUNS COMMAND...: traces per second of the command.
fleet_row() {
  local label=$1 count=$2 n=$3
  shift 3
  measure "$n" bash -c 'exec "$@" 2>/dev/null' fleet "$@"
  fleet_rate[$label]=$(awk -v c="$count" -v t="$best" 'BEGIN { printf "%.0f", c / t }')
  fleet_seconds[$label]=$best
  printf '%-44s %8d %8.3f %10s\n' "$label" "$count" "$best" "${fleet_rate[$label]}"
}
echo
echo "fleet: $fleet_count lanes' traces of $(stat -c %s "$(head -n 1 "$fleet.list")") bytes," \
  "load average $(cut -d ' ' -f 1-3 /proc/loadavg) before"
printf '%-44s %8s %8s %10s\n' run traces seconds traces/s
fleet_row "--list, one run (one core)" "$fleet_count" "$runs" \
  "$program" --summary --json --list "$fleet.list"
/usr/bin/time -f %M -o "$traces/fleet.rss" "$program" --summary --json --list "$fleet.list" \
  >/dev/null
list_rss=$(tail -n 1 "$traces/fleet.rss")
fleet_row "one run per trace (one core)" "$alone_count" 1 \
  xargs -a "$traces/fleet-alone.list" -d '\n' -n 1 "$program" --summary --json -f
fleet_row "ovantrex-fleet, $(nproc) processes" "$fleet_count" 3 \
  /usr/bin/python3 "$root/tools/ovantrex-fleet" --program "$program" --no-progress \
  -o /dev/null "$fleet"
# The rows to a file (as --reuse needs them), then with every output
# besides (the breakdowns as JSON, the CSV, the page and the metrics), and
# again with --reuse of those rows, nothing having changed. Each run writes
# its files afresh and renames them into place.
fleet_out="$traces/fleet-out"
mkdir -p "$fleet_out"
fleet_tool=(/usr/bin/python3 "$root/tools/ovantrex-fleet" --program "$program" --no-progress)
fleet_row "ovantrex-fleet, rows to a file" "$fleet_count" 3 \
  "${fleet_tool[@]}" -o "$fleet_out/rows.jsonl" "$fleet"
fleet_row "ovantrex-fleet, + summary, CSV, page, metrics" "$fleet_count" 3 \
  "${fleet_tool[@]}" -o "$fleet_out/all.jsonl" --summary-json "$fleet_out/summary.json" \
  --csv "$fleet_out/lanes.csv" --report "$fleet_out/fleet.html" --metrics "$fleet_out/fleet.prom" \
  "$fleet"
fleet_row "ovantrex-fleet --reuse, nothing changed" "$fleet_count" 3 \
  "${fleet_tool[@]}" -o "$fleet_out/reused.jsonl" --reuse "$fleet_out/rows.jsonl" "$fleet"
fleet_row "--list --compare, one run (one core)" "$fleet_count" "$runs" \
  "$program" --summary --json --list "$fleet.list" --compare "$(head -n 1 "$fleet.list")"
fleet_row "ovantrex-fleet --compare, rows to a file" "$fleet_count" 3 \
  "${fleet_tool[@]}" -o "$fleet_out/compared.jsonl" --compare "$(head -n 1 "$fleet.list")" "$fleet"
cmp -s "$fleet_out/rows.jsonl" "$fleet_out/reused.jsonl" ||
  { echo "run.sh: the rows of --reuse differ from those it reused" >&2; exit 1; }
if [[ -n $reference ]]; then
  fleet_row "reference, one run per trace (one core)" "$alone_count" 1 \
    xargs -a "$traces/fleet-alone.list" -d '\n' -n 1 "$reference" --summary --json -f
  if [[ -n ${OVX_BENCH_REFERENCE_FLEET:-} ]]; then
    fleet_row "reference ovantrex-fleet, $(nproc) processes" "$fleet_count" 1 \
      /usr/bin/python3 "$OVX_BENCH_REFERENCE_FLEET" --program "$reference" --no-progress \
      -o /dev/null "$fleet"
    fleet_row "reference ovantrex-fleet, rows to a file" "$fleet_count" 3 \
      /usr/bin/python3 "$OVX_BENCH_REFERENCE_FLEET" --program "$reference" --no-progress \
      -o "$fleet_out/reference.jsonl" "$fleet"
  fi
fi
ratio_of() { awk -v a="${fleet_seconds[$1]}" -v b="${fleet_seconds[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
outputs_share=$(ratio_of "ovantrex-fleet, + summary, CSV, page, metrics" "ovantrex-fleet, rows to a file")
reuse_speedup=$(ratio_of "ovantrex-fleet, rows to a file" "ovantrex-fleet --reuse, nothing changed")
printf '  every output: %s of the rows alone; --reuse: %s times as fast\n' "$outputs_share" \
  "$reuse_speedup"
if [[ -n ${fleet_seconds[reference ovantrex-fleet, rows to a file]:-} ]]; then
  printf '  every output: %s of the reference tool'"'"'s rows alone\n' \
    "$(ratio_of "ovantrex-fleet, + summary, CSV, page, metrics" \
      "reference ovantrex-fleet, rows to a file")"
fi
printf '  --list: %.1f times one run per trace; peak RSS %s KiB; load average %s after\n' \
  "$(awk -v a="${fleet_rate[--list, one run (one core)]}" \
    -v b="${fleet_rate[one run per trace (one core)]}" 'BEGIN { print a / b }')" \
  "$list_rss" "$(cut -d ' ' -f 1-3 /proc/loadavg)"

cat "$traces/hex.trc" >/dev/null
measure "$runs" xxd "$traces/hex.trc"
xxd_mbps=$(awk -v b="$(stat -c %s "$traces/hex.trc")" -v t="$best" 'BEGIN { printf "%.0f", b / t / 1e6 }')
ratio=$(awk -v a="${mbps[hex default]}" -v b="$xxd_mbps" 'BEGIN { printf "%.1f", a / b }')
printf '%-12s %-15s %10s %8.3f %10s\n' "xxd hex.trc" "" "" "$best" "$xxd_mbps"
echo
echo "targets:"
check "Hex trace, times the throughput of xxd" "$ratio" ">=" 8
check "firmware session trace, records/s, default options" "${rps[firmware default]}" ">=" 1000000
check "firmware session trace, records/s, -t -p" "${rps[firmware -t -p]}" ">=" 700000
check "firmware session trace, records/s, --json" "${rps[firmware --json]}" ">=" 2000000
check "firmware session trace, records/s, --summary" "${rps[firmware --summary]}" ">=" 5000000
check "firmware session trace, records/s, --report" "${rps[firmware --report]}" ">=" 1000000
check "firmware session compared with itself, steps/s per trace" "${rps[firmware --compare]}" \
  ">=" 1000000
check "firmware session compared with an error copy, steps/s per trace" \
  "${rps[firmware --compare error]}" ">=" 1000000
# A selection formats only the selected entries; with --where error every
# record is still read, and decoded but for a command's values.
check "--where error --before 5, times as fast as the whole listing" \
  "$(awk -v a="${rps[firmware where error -B5]}" -v b="${rps[firmware default]}" \
    'BEGIN { printf "%.2f", a / b }')" ">=" 3
check "--where half the records, share of the whole listing's time" \
  "$(awk -v a="${rps[firmware default]}" -v b="${rps[firmware where HIDWrite]}" \
    'BEGIN { printf "%.2f", a / b }')" "<=" 1.2
check "--json --where half the records, share of JSON Lines' time" \
  "$(awk -v a="${rps[firmware --json]}" -v b="${rps[firmware json HIDWrite]}" \
    'BEGIN { printf "%.2f", a / b }')" "<=" 1.2
if [[ -n $reference ]]; then
  # Without --where, the listing and JSON Lines as fast as the build before it.
  for key in "firmware default" "firmware --json"; do
    check "$key, share of the reference's records/s" "${reference_share[$key]}" ">=" 0.98
  done
fi
check "fleet, traces/s of --list on one core" "${fleet_rate[--list, one run (one core)]}" ">=" 5000
if [[ $fleet_count == 20000 ]]; then
  check "fleet, seconds of ovantrex-fleet for 20,000 traces" \
    "${fleet_seconds[ovantrex-fleet, $(nproc) processes]}" "<=" 10
fi
check "fleet, every output, share of the rows' run" "$outputs_share" "<=" 1.10
check "fleet, --reuse of an unchanged fleet, times as fast" "$reuse_speedup" ">=" 10
check "fleet, traces/s of ovantrex-fleet --compare" \
  "${fleet_rate[ovantrex-fleet --compare, rows to a file]}" ">=" 1000
check "peak RSS KiB, fleet --list" "$list_rss" "<=" 8192
if [[ $wine_mode == 1 ]]; then
  for key in "hex default" "firmware default" "firmware --json"; do
    check "Wine .exe, $key, share of the Linux MB/s" "${wine_share[ovantrex.exe $key]}" \
      ">=" 0.6
  done
fi
# The summary and the report take one memory budget whatever the trace: the
# hostile trace (1,000 updates of 1,001 ranges and 100 serial numbers of 255
# characters) too. The report keeps the whole listing of the first 20,000
# records until it knows the trace is longer, and a second flash map.
for key in "${rows[@]}"; do
  if [[ $key == *--compare* ]]; then
    check "peak RSS KiB, $key" "${peak[$key]}" "<=" 65536
  elif [[ $key == *--report* ]]; then
    check "peak RSS KiB, $key" "${peak[$key]}" "<=" 32768
  else
    check "peak RSS KiB, $key" "${peak[$key]}" "<=" 8192
  fi
done
exit "$failed"
