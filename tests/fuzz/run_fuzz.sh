#!/usr/bin/env bash
# Runs the trace fuzzer for a given time on one core.
#
#   tests/fuzz/run_fuzz.sh SECONDS [CORPUS_DIR]
#
# Builds the fuzz preset if needed, makes the seed corpus from the test
# traces and the sample trace in a temporary directory, and runs the fuzzer
# for SECONDS. New inputs go to CORPUS_DIR when one is given (kept between
# runs), otherwise to the temporary directory. Exits non-zero on a finding;
# the input that caused it is kept under build/fuzz/findings/. Afterwards
# the JSON Lines of every input in the corpus are validated against the
# schema (needs python3-jsonschema).
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:?usage: run_fuzz.sh SECONDS [CORPUS_DIR]}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "run_fuzz.sh: SECONDS must be a number" >&2; exit 2; }

# Configured every time, so that a build directory from before a change of
# the preset takes its flags.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/fuzz/tests/fuzz/make_seeds "$work/seeds" examples/sample.trc >/dev/null

corpus=${2:-$work/corpus}
mkdir -p "$corpus" build/fuzz/findings

# Minor codes and lengths that the record loop and the dispatcher look for.
cat >"$work/trace.dict" <<'DICT'
text="\x2a\x00\x00\x00"
hex="\x94\x01\x00\x00"
hid_write="\x95\x01\x00\x00"
hid_read="\x96\x01\x00\x00"
hid_getfeat="\x97\x01\x00\x00"
hid_setfeat="\x98\x01\x00\x00"
marker_v2="\xf4\x01\x00\x00"
marker_v3="\xf5\x01\x00\x00"
minor_502="\xf6\x01\x00\x00"
max_length="\x00\xe8\x03\x00"
over_length="\x01\xe8\x03\x00"
firmware_report="\x00\x00\xa0\x03"
component_e="\x65"
escape="\x1b["
c1_utf8="\xc2\x9b"
euro="\xe2\x82\xac"
four_byte="\xf0\x9f\x98\x80"
DICT

status=0
build/fuzz/tests/fuzz/fuzz_trace "$corpus" "$work/seeds" \
  -dict="$work/trace.dict" \
  -max_total_time="$seconds" \
  -rss_limit_mb=2048 \
  -malloc_limit_mb=64 \
  -timeout=10 \
  -max_len=65536 \
  -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ \
  || status=$?

if ((status != 0)); then
  echo "run_fuzz.sh: the fuzzer found a fault (status $status); see build/fuzz/findings/" >&2
  exit "$status"
fi

# The JSON Lines of every input in the corpus must validate against the
# schema.
find "$corpus" "$work/seeds" -type f -print0 |
  xargs -0 build/fuzz/tests/fuzz/corpus_json >"$work/corpus.jsonl"
if ! /usr/bin/python3 tests/validate_json.py docs/ovantrex.schema.json "$work/corpus.jsonl"; then
  echo "run_fuzz.sh: the JSON Lines of a fuzz input do not validate against the schema" >&2
  exit 1
fi
echo "run_fuzz.sh: $(wc -l <"$work/corpus.jsonl") JSON lines of the corpus validate against the schema"
