#!/usr/bin/env bash
# The manual's recipe for every error reply, run as a reader would copy it
# from the page: it must find what the session summary counts as error
# replies (a status reply with "Operation in Error", "Command reject" or the
# serial-number bit, not hidden by the component test), no more, no fewer.
#
#   manual_recipe_test.sh PROGRAM MAKE_TRACE SOURCE_DIR JQ
set -euo pipefail
if (($# != 4)); then
  echo "usage: $0 PROGRAM MAKE_TRACE SOURCE_DIR JQ" >&2
  exit 2
fi
program=$(readlink -f "$1") make_trace=$2 source=$3 jq=$(readlink -f "$4")
work=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-recipe.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The example after its caption, from roff to shell: \- is a minus, \(aq a
# quote and \e a backslash.
recipe=$(sed -n '/^Every error reply, as the session summary counts them/,/^\.EE/p' \
  "$source/ovantrex.1" | sed -e '1,/^\.EX/d' -e '/^\.EE/d' |
  sed -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\e/\\/g')
if [[ -z $recipe ]]; then
  echo "FAIL: the manual has no example under 'Every error reply, as the session summary counts them'" >&2
  exit 1
fi
mkdir "$work/bin"
ln -s "$program" "$work/bin/ovantrex"
ln -s "$jq" "$work/bin/jq"

# The offsets that the recipe finds in update.trc, and those of the
# summary's error replies, each on one line.
found() { (cd "$work" && PATH="$work/bin:$PATH" bash -c "$recipe") | "$jq" -r .offset | paste -sd ' '; }
counted() { "$program" --summary --json -f "$work/update.trc" | "$jq" -r '.errors[].offset' | paste -sd ' '; }

check() {
  local what=$1 expected=$2
  local recipe_found summary_counted
  recipe_found=$(found) || fail "$what: the recipe failed"
  summary_counted=$(counted)
  [[ $recipe_found == "$expected" ]] || fail "$what: the recipe finds '$recipe_found', not '$expected'"
  [[ $summary_counted == "$expected" ]] ||
    fail "$what: the summary counts '$summary_counted', not '$expected'"
}

# The sample's four error replies: two with "Command reject", one with
# "Operation in Error", one with the serial-number bit.
cp "$source/examples/sample.trc" "$work/update.trc"
check "the sample" "1262 1893 2271 2365"

# Each kind once, a reply without an error, and an error reply that the
# component test hides. Records of format version 3: a 16-byte header and a
# 16-byte second header; a status reply holds 8 + 6 bytes, the start 8 + 4.
cat >"$work/update.txt" <<'EOF'
version 3
write +0 00 00 a0 00 | 02 00 01 00      # offset 16, 44 bytes: start flash update
read +1 00 00 a0 00 | 41 00 00 00 00 00 # 60, 46 bytes: Operation in Error
read +1 00 00 a0 00 | 01 00 00 00 00 00 # 106: Command complete alone
read +1 00 00 a0 00 | 80 00 00 00 00 00 # 152: Command reject
read +1 00 00 a0 00 | 21 00 00 00 00 00 # 198: the serial-number bit
component 02
read +1 00 00 a0 00 | 41 00 00 00 00 00 # 244: hidden
EOF
"$make_trace" "$work/update.txt" "$work/update.trc"
check "one reply of each kind and a hidden one" "60 152 198"

if ((failures)); then
  exit 1
fi
echo "the manual's recipe finds every error reply that the summary counts"
