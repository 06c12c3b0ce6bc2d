#!/usr/bin/env bash
# The .exe refuses standard output that a shell redirected onto the trace,
# under either of its names, and writes to any other file:
#
#   windows_redirections_test.sh WINDOWS_PROGRAM SOURCE_DIR WORK_DIR EMULATOR...
#
# A refused run ends with status 3 and one message, and the trace keeps its
# bytes. Wine hands such a redirection over without the file's volume: the
# program cannot tell the file from the trace by more than its index, and
# says so; on Windows itself it says that it is the trace.
set -euo pipefail
windows=$1 trace=$2/examples/sample.trc work=$3
shift 3
emulator=("$@")
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$trace" t.trc && ln t.trc hard.trc
failed=0
run() { # OPTIONS_AND_REDIRECTIONS: sets status; standard error in err.txt
  status=0
  eval "\"\${emulator[@]}\" \"\$windows\" $1 2>err.txt" || status=$?
}
refused="Could not open standard output for writing: "
for line in "-f t.trc >> t.trc" "-f t.trc 1<> t.trc" "--json -f t.trc 1<> t.trc" \
  "--summary -f hard.trc >> t.trc" "--summary --json -f t.trc >> hard.trc" \
  "--report -f t.trc 1<> hard.trc" "-f t.trc -w listing.txt 1<> t.trc"; do
  run "$line"
  err=$(tr -d '\r' <err.txt)
  if [[ $status -ne 3 || ($err != "${refused}it is the trace being read" &&
    $err != "${refused}the system does not tell whether it is the trace being read") ]]; then
    echo "FAIL $line: status $status, standard error: $err" >&2 && failed=1
  fi
  cmp -s t.trc "$trace" || { echo "FAIL $line: the trace was changed" >&2 && failed=1; }
  cp "$trace" t.trc
done
# Another file, emptied and appended to, holds the listing twice.
for line in "-f t.trc > other.txt" "-f t.trc >> other.txt"; do
  run "$line"
  [[ $status -eq 0 && ! -s err.txt ]] || { echo "FAIL $line: status $status" >&2 && failed=1; }
done
half=$(($(wc -c <other.txt) / 2))
if [[ $half -eq 0 ]] || ! cmp -s <(head -c "$half" other.txt) <(tail -c "$half" other.txt); then
  echo "FAIL other.txt is not one listing twice" >&2 && failed=1
fi
exit $failed
