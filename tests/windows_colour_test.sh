#!/usr/bin/env bash
# --color of the Windows build on a console as a person sees it: the .exe
# run under Wine in tmux (Wine's console on the pane), by a probe that turns
# the console's virtual-terminal processing off first and says the
# console's mode after the run. With auto the listing is coloured where the
# Linux build colours it, and the console is left in the mode it had, also
# when a Ctrl-C ends the run part way, and what comes after the run is not
# left in a colour; with --color=never, NO_COLOR or a
# pipe there is no colour.
#
#   windows_colour_test.sh EXE PROBE MAKE_TRACE SOURCE_DIR [EMULATOR...]
set -uo pipefail

if (($# < 4)); then
  echo "usage: $0 EXE PROBE MAKE_TRACE SOURCE_DIR [EMULATOR...]" >&2
  exit 2
fi
exe=$1 probe=$2 make_trace=$3
shift 4
emulator=("$@")
if ! command -v tmux >/dev/null; then
  echo "tmux is not installed: the colours on a console were not checked (apt-get install -y tmux)"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-windows-colour.XXXXXX")
source "$(dirname "$0")/support/tmux_screen.sh"
# Wine on a loaded machine: 30 seconds for a screen.
ROUNDS=600

cat >"$work/kinds.txt" <<'EOF'
text +0 "hello\n"
write +1 00 00 a0 00 | 04 00 00 07 00 00 00 00
read +1 00 00 a0 00 | 80 00 00 00 00 00
EOF
"$make_trace" "$work/kinds.txt" "$work/kinds.trc" || exit 1
# A listing long enough that a Ctrl-C after a second ends it part way.
{
  for ((i = 0; i < 100000; i++)); do echo "hex +1 00 01 02 03 04 05 06 07"; done
  echo 'text +1 "the last record\n"'
} >"$work/long.txt"
"$make_trace" "$work/long.txt" "$work/long.trc" || exit 1
run="WINEDEBUG=-all ${emulator[*]} $probe --vt off"
mode='console mode before (0x[0-9a-f]+) after (0x[0-9a-f]+)'
# The console's mode after the run is the mode before it.
same_mode() {
  if [[ $shown =~ $mode ]]; then
    [[ ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] ||
      fail "$1: the console's mode was ${BASH_REMATCH[1]} before and ${BASH_REMATCH[2]} after"
  else
    fail "$1: the probe did not say the console's mode"
  fi
}

kinds="-f $work/kinds.trc"
shown=$(screen "$run $exe $kinds")
for row in "Text:^$esc\[1mText$esc" "HIDWrite:^$esc\[32mHIDWrite$esc" \
  "HIDRead:^$esc\[36mHIDRead$esc" "the error reply's notes:$esc\[31m.*Command reject"; do
  has_line "auto: ${row%%:*}" "${row#*:}"
done
same_mode "auto"
colourless=$(strip <<<"$shown")
# --color=never, NO_COLOR and a pipe: no colour; the first is the screen
# of auto without its colours.
for case in "$run $exe --color=never $kinds" "NO_COLOR=1 $run $exe $kinds" \
  "WINEDEBUG=-all ${emulator[*]} $exe $kinds | cat"; do
  shown=$(screen "$case")
  [[ $shown == *HIDWrite* && $shown != *"$esc"* ]] || fail "$case: colour on the console (or no listing)"
  [[ $case != *never* || $colourless == "$shown" ]] ||
    fail "auto: the console without its colours is not that of --color=never"
done

# Part way, on a console whose virtual-terminal processing is off, then on.
for vt in off on; do
  shown=$(screen "WINEDEBUG=-all ${emulator[*]} $probe --vt $vt --ctrl-c-after 1000 $exe -f $work/long.trc")
  has_line "Ctrl-C, vt $vt: a coloured listing" "^$esc\[35mHex$esc"
  [[ $shown != *"the last record"* ]] || fail "Ctrl-C, vt $vt: the run was not ended part way"
  same_mode "Ctrl-C, vt $vt"
  has_line "Ctrl-C, vt $vt: what comes after is uncoloured" \
    "(^|$esc\[(0|39|49)?m)[^$esc]*console mode before"
done

((failures == 0)) || exit 1
echo "Windows colour test passed"
