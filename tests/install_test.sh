#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets:
# the program and the fleet tool in bin, the manual in share/man/man1, the
# docs in share/doc/ovantrex where the manual and the fleet tool say, the
# shells' completions where bash, zsh and fish look for them, the
# installed program listing the sample exactly as the build's program does,
# the fleet tool running the program beside it (its package and the page's
# assets in share/ovantrex), and a manual that renders
# without warnings.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
build=$1
source=$2
sample=$source/examples/sample.trc

prefix=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-install.XXXXXX")
trap 'rm -rf -- "$prefix"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" ||
  { cat "$prefix/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

program=$prefix/bin/ovantrex
manual=$prefix/share/man/man1/ovantrex.1
[[ -x $program ]] || fail "no program at bin/ovantrex"
[[ -f $manual ]] || fail "no manual at share/man/man1/ovantrex.1"
((failures == 0)) || exit 1
cmp -s "$manual" "$source/ovantrex.1" || fail "the installed manual differs from ovantrex.1"

# The installed program lists the sample as the build's program does, with
# the default columns and with every prefix column.
for options in "" "-t -p" "-H -m -p -c"; do
  read -r -a words <<<"$options"
  status=0
  "$program" "${words[@]}" -f "$sample" >"$prefix/installed.txt" 2>"$prefix/installed.err" || status=$?
  ((status == 0)) || fail "installed program ($options) exited with $status"
  [[ ! -s $prefix/installed.err ]] ||
    fail "installed program ($options) wrote to standard error: $(cat "$prefix/installed.err")"
  "$build/ovantrex" "${words[@]}" -f "$sample" >"$prefix/built.txt"
  [[ -s $prefix/built.txt ]] || fail "the build's program ($options) listed nothing"
  cmp -s "$prefix/installed.txt" "$prefix/built.txt" ||
    fail "installed and built program differ for options '$options'"
done

# The fleet tool runs the program beside it: the row of the sample's update;
# its package and the trace page's style sheet and script, in
# share/ovantrex, make the fleet page.
OVANTREX= "$prefix/bin/ovantrex-fleet" "$sample" --report "$prefix/fleet.html" \
  >"$prefix/fleet.jsonl" 2>"$prefix/fleet.err" ||
  fail "the installed fleet tool failed: $(cat "$prefix/fleet.err")"
grep -q '"last_update":{"number":1,"outcome":"completed"' "$prefix/fleet.jsonl" ||
  fail "the installed fleet tool wrote no row of the sample"
grep -qF '<table id="error-table">' "$prefix/fleet.html" ||
  fail "the installed fleet tool wrote no fleet page"
for file in "$source"/tools/ovantrex_fleet/*.py "$source"/src/output/html/report.{css,js}; do
  installed=$prefix/share/ovantrex/${file#"$source"/tools/}
  [[ $file == *.py ]] || installed=$prefix/share/ovantrex/${file##*/}
  cmp -s "$file" "$installed" || fail "${installed#"$prefix"/} is not installed as ${file#"$source"/}"
done
[[ -z $(find "$prefix/share/ovantrex" -name __pycache__) ]] ||
  fail "the fleet tool wrote its bytecode beside its installed package"

# The docs, in share/doc/ovantrex: each as in the source, each that the
# manual names (as /usr/share/doc/ovantrex/...) there under the prefix, and
# named there by the installed fleet tool's help.
docs=$prefix/share/doc/ovantrex
for pair in README.md=README.md json.md=docs/json.md fleet.md=docs/fleet.md \
  ovantrex.schema.json=docs/ovantrex.schema.json; do
  cmp -s "$docs/${pair%%=*}" "$source/${pair#*=}" ||
    fail "share/doc/ovantrex/${pair%%=*} is not installed as ${pair#*=}"
done
named=$(grep -o '/usr/share/doc/ovantrex/[A-Za-z0-9._-]*[A-Za-z0-9]' "$manual" | sort -u)
[[ -n $named ]] || fail "the manual names no file of /usr/share/doc/ovantrex"
for doc in $named; do
  [[ -f $prefix/${doc#/usr/} ]] || fail "the manual names $doc, and ${doc#/usr/} is not installed"
done
help=$(COLUMNS=1000 "$prefix/bin/ovantrex-fleet" --help)
for doc in fleet.md json.md; do
  grep -qF "$docs/$doc" <<<"$help" || fail "the installed fleet tool's help does not name $docs/$doc"
done

# The shells' completions, where each shell looks for them, as the build
# made them.
for pair in bash-completion/completions/ovantrex=ovantrex zsh/vendor-completions/_ovantrex=_ovantrex \
  fish/vendor_completions.d/ovantrex.fish=ovantrex.fish; do
  cmp -s "$prefix/share/${pair%%=*}" "$build/completions/${pair#*=}" ||
    fail "share/${pair%%=*} is not installed as the build's completions/${pair#*=}"
done

# The single argument is the trace's name; no arguments give the usage text
# and status 1.
"$program" -f "$sample" >"$prefix/with-f.txt"
status=0
"$program" "$sample" >"$prefix/single.txt" || status=$?
((status == 0)) || fail "ovantrex TRACE exited with $status"
cmp -s "$prefix/single.txt" "$prefix/with-f.txt" || fail "ovantrex TRACE does not list TRACE as -f TRACE does"
status=0
"$program" >/dev/null 2>"$prefix/usage.txt" || status=$?
((status == 1)) || fail "no arguments: exit status $status, not 1"
grep -q '^Usage:  ovantrex -f logfile' "$prefix/usage.txt" || fail "no arguments: no usage text"

# The manual renders without warnings and documents every option. Without
# groff or man the test fails naming the package: a skipped check would pass
# a manual that nothing rendered.
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -ww -man -Tutf8 "$manual" 2>&1 >/dev/null) || fail "groff failed on the manual"
  [[ -z $warnings ]] || fail "groff -ww warns about the manual:
$warnings"
  if command -v man >/dev/null 2>&1 && man --version >/dev/null 2>&1; then
    rendered=$(MANPAGER=cat MANWIDTH=80 man --warnings -l "$manual" 2>"$prefix/man.err") ||
      fail "man -l failed"
    [[ ! -s $prefix/man.err ]] || fail "man -l warns about the manual: $(cat "$prefix/man.err")"
    # The section heads and an entry for every option letter of the parser.
    for head in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' 'FIRMWARE REPORT' ENVIRONMENT EXAMPLES; do
      grep -q "^$head" <<<"$rendered" || fail "the manual has no section $head"
    done
    for option in f w t h m c p H x '?'; do
      grep -qE "^ +-[$option]( |$)" <<<"$rendered" || fail "the manual has no entry for -$option"
    done
    for status in 0 1 2 3 4; do
      grep -qE "^ +$status +[A-Z]" <<<"$rendered" || fail "the manual does not explain exit status $status"
    done
  else
    fail "man not found or not working: install man-db (apt-get install -y man-db)"
  fi
else
  fail "groff not found: install groff-base (apt-get install -y groff-base)"
fi

((failures == 0)) || exit 1
echo "install test passed"
