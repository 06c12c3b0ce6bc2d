# The screen of a command as a person sees it, for the colour tests: sourced
# once $work (a folder of the test's) is made, which it removes at the end,
# with any tmux server left by a run that ended early. fail counts a
# failure in $failures.
#
# screen COMMAND: the screen of COMMAND run in a pane of 400 by 200 of a
# tmux of its own (sized before the command starts, and large enough that
# nothing scrolls away), with its colours and its wrapped lines joined, up
# to the line that the shell writes after it; ROUNDS (default 100) times
# 0.05 seconds at the most. The pane stays until it is read: tmux can lose
# the last of a flood of output when the pane's command ends at once.
screen() {
  # A screen is read in a subshell ($(screen ...)): its server is ended
  # there, and its socket named by a number of the subshell's own.
  local socket=$work/tmux-$BASHPID.socket
  env -u NO_COLOR -u TMUX TERM=xterm-256color TZ=UTC \
    tmux -S "$socket" -f "$work/tmux.conf" new-session -d -x 400 -y 200 \
    "sleep 0.2; $1; echo @@ran@@; sleep 5"
  local i now=
  for ((i = 0; i < ${ROUNDS:-100}; i++)); do
    now=$(tmux -S "$socket" capture-pane -p -e -J -S - -E - 2>/dev/null)
    [[ $now == *@@ran@@* ]] && break
    sleep 0.05
  done
  tmux -S "$socket" kill-server 2>/dev/null
  sed -n '/@@ran@@/q; p' <<<"$now"
}
# Each screen's tmux server is ended when its screen is read; any left by
# a run that ends early, at the end.
end_screens() {
  local socket
  for socket in "$work"/tmux-*.socket; do
    [[ -S $socket ]] && tmux -S "$socket" kill-server 2>/dev/null
  done
  rm -rf -- "$work"
}
trap end_screens EXIT
echo "set -g remain-on-exit on" >"$work/tmux.conf"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# A line of the screen ($shown) that matches, or the failure (fail).
has_line() {
  local what=$1 pattern=$2
  grep -qE -- "$pattern" <<<"$shown" || fail "$what: no line matches '${pattern//$esc/\\e}'"
}
esc=$'\e'
strip() { sed "s/$esc\[[0-9;]*m//g"; }
