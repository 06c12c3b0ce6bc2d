#!/usr/bin/env bash
# The .exe writes what the Linux build writes, with the line ends of text
# files on Windows:
#
#   windows_outputs_test.sh LINUX_PROGRAM MAKE_TRACE WINDOWS_PROGRAM SOURCE_DIR WORK_DIR EMULATOR...
#
# Each output is written to standard output redirected to a file, to
# standard output through a pipe and to a -w file, of the sample and of
# traces whose text records hold "\n", "\r" and "\r\n" (one of them long
# enough to fill the writer's block several times). The listing, the
# summary and JSON are text files: the Linux bytes with each "\n" as
# "\r\n" and every other byte as it is, as the C runtime's text mode writes
# them (a "\r\n" of a record comes out as "\r\r\n", a lone "\r" as it is).
# The page is the same bytes. The messages of standard error are text too.
# The time column is in UTC (TZ=UTC on both sides).
set -euo pipefail
linux=$1 make_trace=$2 windows=$3 source=$4 work=$5
shift 5
emulator=("$@")
export TZ=UTC
rm -rf "$work"
mkdir -p "$work"
failed=0
fail() {
  echo "FAIL $*" >&2
  failed=1
}

# The Linux bytes as a text file of Windows holds them.
crlf() { perl -pe 's/\n/\r\n/g'; }

# compare NAME TRACE text|bytes OPTIONS...
compare() {
  local name=$1 trace=$2 kind=$3
  shift 3
  local way
  for way in file pipe w-file; do
    local expected=$work/$name.$way.linux actual=$work/$name.$way.exe
    case $way in
      file) "$linux" "$@" -f "$trace" >"$expected.lf"
        "${emulator[@]}" "$windows" "$@" -f "$trace" >"$actual" ;;
      pipe) "$linux" "$@" -f "$trace" | cat >"$expected.lf"
        "${emulator[@]}" "$windows" "$@" -f "$trace" | cat >"$actual" ;;
      w-file) "$linux" "$@" -f "$trace" -w "$expected.lf"
        "${emulator[@]}" "$windows" "$@" -f "$trace" -w "$actual" ;;
    esac
    if [[ ! -s $expected.lf ]]; then
      fail "$name ($way): the Linux build wrote nothing"
      continue
    fi
    if [[ $kind == text ]]; then crlf <"$expected.lf" >"$expected"; else cp "$expected.lf" "$expected"; fi
    cmp "$expected" "$actual" || fail "$name ($way): not the bytes of the Linux build's, line ends as on Windows"
  done
}

# Text records with line ends of every kind, one at the end of a record,
# and a hex block and a transfer that hold them.
cat >"$work/line-ends.txt" <<'EOF'
version 3
clock 1765190400
ids 1a4 2b0
text    +0   "a lone LF\nin the middle\n"
text    +1   "CR LF\r\nin the middle\r\n"
text    +1   "a lone CR\rin the middle\r"
text    +1   "\r\n\n\r\r\n"
text    +1   "no line end at all"
hex     +1   "CRLF" 0d 0a 0a 0d
write   +2   00 00 21 00 | 02 "a\r\nb\n" 00 00
EOF
"$make_trace" "$work/line-ends.txt" "$work/line-ends.trc" >/dev/null
# And 5,000 of them, whose listing fills the writer's block six times: its
# line ends fall everywhere in a block.
{
  echo "version 3"
  echo "clock 1765190400"
  texts=('"line\r\n"' '"\r"' '"two\n\nends"' '"a\rb\r\nc\n"' '"plain"' '"\n"' '"\r\n\r\n"')
  for ((i = 0; i < 5000; i++)); do echo "text +1 ${texts[i % ${#texts[@]}]}"; done
} >"$work/long.txt"
"$make_trace" "$work/long.txt" "$work/long.trc" >/dev/null

for trace in "$source/examples/sample.trc" "$work/line-ends.trc"; do
  base=$(basename "$trace" .trc)
  compare "$base-listing" "$trace" text
  compare "$base-listing-times-pids" "$trace" text -t -p
  compare "$base-listing-cumulative-no-type" "$trace" text -t -c -H
  compare "$base-summary" "$trace" text --summary
  compare "$base-json-lines" "$trace" text --json
  compare "$base-summary-json" "$trace" text --summary --json
  compare "$base-page" "$trace" bytes --report
done
compare long-listing "$work/long.trc" text -t -p
compare long-json-lines "$work/long.trc" text --json

# A message of standard error, to a file and through a pipe.
"$linux" -f "$work/missing.trc" 2>"$work/missing.linux" && fail "the Linux build read a missing trace"
crlf <"$work/missing.linux" >"$work/missing.expected"
"${emulator[@]}" "$windows" -f "$work/missing.trc" 2>"$work/missing.file.exe" &&
  fail "the .exe read a missing trace"
{ "${emulator[@]}" "$windows" -f "$work/missing.trc" 2>&1 >/dev/null || true; } | cat >"$work/missing.pipe.exe"
for way in file pipe; do
  cmp "$work/missing.expected" "$work/missing.$way.exe" || fail "standard error ($way)"
done

if ((failed)); then
  exit 1
fi
echo "the .exe's listings, summaries, JSON Lines, JSON summaries, pages and messages are the Linux build's, with CR LF line ends in text"
