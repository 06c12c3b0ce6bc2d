#!/usr/bin/env bash
# --color as a person sees it: the listing and the summary run in tmux, the
# screen read with its colours (capture-pane -e) and the colours checked
# where they belong (the record-type column by kind, the notes of an error
# reply, the verdict by outcome, the summary's error replies); the screen
# without its colours the same as with --color=never; no colour at all with
# NO_COLOR, TERM=dumb, --color=never or a pipe; a trace's own escape shown
# escaped; a stop signal that ends a listing part way leaves no colour on
# the terminal. And outside tmux: --color=always into a file is, its colour
# sequences taken out, byte for byte the file of --color=never.
#
#   colour_test.sh PROGRAM MAKE_TRACE SOURCE_DIR
set -uo pipefail

if (($# != 3)); then
  echo "usage: $0 PROGRAM MAKE_TRACE SOURCE_DIR" >&2
  exit 2
fi
program=$1
make_trace=$2
sample=$3/examples/sample.trc
work=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-colour.XXXXXX")
source "$(dirname "$0")/support/tmux_screen.sh"

# A text, a text with an escape of its own, a hex block, a command and the
# error reply to it (the escape of the trace is no colour of the program's:
# the files compared are the sample's).
cat >"$work/kinds.txt" <<'EOF'
text +0 "hello\n"
text +1 1b "[31mEVIL\n"
hex +1 01 02
write +1 00 00 a0 00 | 04 00 00 07 00 00 00 00
read +1 00 00 a0 00 | 80 00 00 00 00 00
EOF
"$make_trace" "$work/kinds.txt" "$work/kinds.trc" || exit 1
# The same, but the device takes the command: the comparison's two sides.
sed 's/| 80 00/| 01 00/' "$work/kinds.txt" >"$work/taken.txt"
"$make_trace" "$work/taken.txt" "$work/taken.trc" || exit 1

# ---- outside a terminal ----
for pair in "-f $sample" "--summary -f $sample" "-t -p -H -f $sample" \
  "--compare $work/kinds.trc -f $work/taken.trc"; do
  read -r -a words <<<"$pair"
  "$program" --color=always "${words[@]}" >"$work/always.txt"
  "$program" --color=never "${words[@]}" >"$work/never.txt"
  "$program" "${words[@]}" | cat >"$work/piped.txt"
  grep -q "$esc\[" "$work/always.txt" || fail "--color=always $pair: no colour into a file"
  strip <"$work/always.txt" | cmp -s - "$work/never.txt" ||
    fail "--color=always $pair: without its colours not the bytes of --color=never"
  cmp -s "$work/piped.txt" "$work/never.txt" || fail "$pair into a pipe: not the bytes of --color=never"
done

# ---- in tmux ----
if ! command -v tmux >/dev/null; then
  echo "tmux is not installed: the colours on a terminal were not checked (apt-get install -y tmux)"
  ((failures == 0)) || exit 1
  exit 0
fi
# tmux writes bold and red as two sequences, and a hue's end as its own.
start='(\[[0-9;]*m)*'

shown=$(screen "$program -f $work/kinds.trc")
has_line "listing: Text" "^$esc\[1mText$esc"
has_line "listing: Hex" "^$esc\[35mHex$esc"
has_line "listing: HIDWrite" "^$esc\[32mHIDWrite$esc"
has_line "listing: HIDRead" "^$esc\[36mHIDRead$esc"
has_line "listing: the error reply's notes" "^($esc$start)*$esc\[1m($esc\[31m| *$esc\[31m).*Command reject"
has_line "listing: the trace's own escape" '^.*\\x1b\[31mEVIL'
grep -q "$esc\[31mEVIL" <<<"$shown" && fail "listing: the trace's escape reached the terminal"
never=$(screen "$program --color=never -f $work/kinds.trc")
[[ $never != *"$esc"* ]] || fail "--color=never: colour on the terminal"
[[ $(strip <<<"$shown") == "$never" ]] || fail "listing: the screen without its colours is not that of --color=never"

shown=$(screen "$program --summary -f $sample")
has_line "summary: the completed verdict" "^$esc\[32mupdate 1 completed: "
has_line "summary: an error reply" "^  offset 1262, [^$esc]*: $esc\[1m$esc\[31mCommand reject"
never=$(screen "$program --summary --color=never -f $sample")
[[ $(strip <<<"$shown") == "$never" ]] || fail "summary: the screen without its colours is not that of --color=never"
printf 'write +0 00 00 a0 00 | 04 00 01 00 00 00 00 00\n' >"$work/open.txt"
"$make_trace" "$work/open.txt" "$work/open.trc" || exit 1
shown=$(screen "$program --summary -f $work/open.trc")
has_line "summary: the unfinished verdict" "^$esc\[33mupdate 1 unfinished"

shown=$(screen "$program --compare $work/kinds.trc -f $work/taken.trc")
# tmux ends a hue that runs to the line's end at the start of the next line.
has_line "compare: a hunk's heading" "^$esc\[36m@@ before the first update: -1,4 \+1,4 @@$"
has_line "compare: the reference's step" "^$esc\[31m- +[0-9]+ +reply +Command reject"
has_line "compare: the trace's step" "^$esc\[32m\+ +[0-9]+ +reply +Command complete"
has_line "compare: a step alike, uncoloured" "^($esc\[39m)? +0 +0  text +hello$"
never=$(screen "$program --compare $work/kinds.trc -f $work/taken.trc --color=never")
[[ $(strip <<<"$shown") == "$never" ]] || fail "compare: the screen without its colours is not that of --color=never"

for case in "NO_COLOR=1" "TERM=dumb" "PIPE"; do
  if [[ $case == PIPE ]]; then
    shown=$(screen "$program --summary -f $sample | cat")
  else
    shown=$(screen "$case $program --summary -f $sample")
  fi
  [[ -n $shown && $shown != *"$esc"* ]] || fail "$case: colour on the terminal (or no summary)"
done
NO_COLOR='' shown=$(screen "NO_COLOR= $program --summary -f $sample")
has_line "an empty NO_COLOR" "^$esc\[32mupdate 1 completed"
shown=$(screen "NO_COLOR=1 $program --color=always -f $work/kinds.trc")
has_line "--color=always past NO_COLOR" "^$esc\[1mText"

# A stop signal that ends a listing part way ends its colour first: the
# shell's line after it is not in the colour of a Hex column.
{
  for ((i = 0; i < 200000; i++)); do echo "hex +1 00 01 02 03 04 05 06 07"; done
  echo 'text +1 "the last record\n"'
} >"$work/long.txt"
"$make_trace" "$work/long.txt" "$work/long.trc" || exit 1
for signal in INT TERM HUP; do
  shown=$(screen "timeout -s $signal 0.5 $program -f $work/long.trc; echo after the run")
  has_line "SIG$signal: a coloured listing" "^$esc\[35mHex$esc"
  [[ $shown != *"the last record"* ]] || fail "SIG$signal: the listing was not ended part way"
  has_line "SIG$signal: what comes after is uncoloured" "(^|$esc\[(0|39|49)?m)[^$esc]*after the run$"
done

((failures == 0)) || exit 1
echo "colour test passed"
