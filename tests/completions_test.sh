#!/usr/bin/env bash
# The shells' completions that the build made from the table of options:
#   - bash: the file sourced, `complete -p ovantrex`, and its function driven
#     as bash drives it (COMP_WORDS, COMP_CWORD) for option names, files of
#     the options that take one, nothing for a number, the words of an
#     option that takes one of a set (--color, in each of its forms), the
#     field being typed at the end of --where's expression;
#   - zsh: the file parses, compinit takes it for ovantrex, and it has a
#     entry for every option of the help, files for those that take a file,
#     and --where's the keys of --fields;
#   - fish: fish's own `complete -C` on the file, as for bash.
# Every option is the help's (made from the same table by the program): a
# completion that forgets or invents one fails. zsh and fish are run when
# installed; CI installs them.
#
#   completions_test.sh COMPLETIONS_DIR PROGRAM
set -uo pipefail

if (($# != 2)); then
  echo "usage: $0 COMPLETIONS_DIR PROGRAM" >&2
  exit 2
fi
dir=$1
program=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-completions.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The options of the help: "  -f FILE   ..." gives "-f FILE", and so does
# an option whose words fill the line ("  --compare GOOD"). A file is named
# FILE, or GOOD (the reference trace).
mapfile -t rows < <("$program" --help |
  sed -n 's/^  \(-[^ ]*\)\( [A-Z][A-Z]*\)\{0,1\}\( .*\)\{0,1\}$/\1\2/p')
((${#rows[@]} >= 15)) || fail "read ${#rows[@]} options from the help"
names=() file_options=()
for row in "${rows[@]}"; do
  names+=("${row%% *}")
  [[ $row == *" FILE" || $row == *" GOOD" ]] && file_options+=("${row%% *}")
done
[[ " ${file_options[*]} " == *" -f "* && " ${file_options[*]} " == *" -w "* ]] ||
  fail "the help names no FILE of -f and -w: ${rows[*]}"

# The fields of --where, as --fields lists them: the first column.
mapfile -t fields < <("$program" --fields | cut -d' ' -f1)
((${#fields[@]} >= 60)) || fail "read ${#fields[@]} fields from --fields"
sorted_fields=$(printf '%s\n' "${fields[@]}" | sort)

# A folder of traces for the file completions.
files=$work/traces
mkdir -p "$files/lane 2"
touch "$files/a.trc" "$files/b.trc"

# ---- bash ----
# shellcheck source=/dev/null
source "$dir/ovantrex" || fail "bash could not source $dir/ovantrex"
[[ $(complete -p ovantrex) == "complete -o filenames -F _ovantrex ovantrex" ]] ||
  fail "complete -p ovantrex: $(complete -p ovantrex 2>&1)"
# The completions of the last word, one a line, sorted.
complete_bash() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _ovantrex ovantrex "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local what=$1 expected=$2 got
  shift 2
  got=$("$@")
  [[ $got == "$expected" ]] || fail "$what: got '${got//$'\n'/ }', not '${expected//$'\n'/ }'"
}
expect "bash: every option after -" "$(printf '%s\n' "${names[@]}" | sort)" \
  complete_bash ovantrex -t -
expect "bash: --fo" "--follow" complete_bash ovantrex --fo
expect "bash: --s" "--summary" complete_bash ovantrex -f x --s
in_folder="$files/a.trc
$files/b.trc
$files/lane 2"
for option in "${file_options[@]}"; do
  expect "bash: files after $option" "$in_folder" complete_bash ovantrex "$option" "$files/"
done
expect "bash: a trace named alone" "$files/a.trc" complete_bash ovantrex "$files/a"
expect "bash: --list=FILE in one word" "--list=$files/b.trc" complete_bash ovantrex "--list=$files/b"
expect "bash: --list=FILE split at =" "$files/b.trc" complete_bash ovantrex --list = "$files/b"
expect "bash: no completion of -h's number" "" complete_bash ovantrex -h ""
# --color's words, as the issue names them, in each form.
colours=$'always\nauto\nnever'
expect "bash: --color WHEN" "$colours" complete_bash ovantrex --color ""
expect "bash: --color=a in one word" $'--color=always\n--color=auto' complete_bash ovantrex --color=a
expect "bash: --color=a split at =" $'always\nauto' complete_bash ovantrex --color = a
expect "bash: --color= split at =" "$colours" complete_bash ovantrex --color =
# --where: the field being typed, at the start or after the rest of the
# expression in its opening quote (readline completes after the quote).
expect "bash: every field after --where" "$sorted_fields" complete_bash ovantrex --where ""
expect "bash: --where ty" "type" complete_bash ovantrex --where ty
expect "bash: --where in quotes" "update == 1 and type" \
  complete_bash ovantrex --where "'update == 1 and ty"
expect "bash: --where=decoded.status." $'--where=decoded.status.bits\n--where=decoded.status.value' \
  complete_bash ovantrex --where=decoded.status.
expect "bash: no field after a value" "" complete_bash ovantrex --where "offset == 3"

# ---- zsh ----
if command -v zsh >/dev/null; then
  zsh -n "$dir/_ovantrex" || fail "zsh cannot parse $dir/_ovantrex"
  got=$(HOME=$work zsh -f -c "fpath=($dir \$fpath); autoload -Uz compinit; compinit -u -D; print -r -- \$_comps[ovantrex]")
  [[ $got == _ovantrex ]] || fail "zsh: compinit takes '$got' for ovantrex, not _ovantrex"
  for row in "${rows[@]}"; do
    name=${row%% *} entry=${row%% *}
    [[ $name == "-?" ]] && entry='-\?'
    line=$(grep -F -- "'$entry[" "$dir/_ovantrex"; grep -F -- "'$entry=[" "$dir/_ovantrex")
    [[ -n $line ]] || { fail "zsh: no entry for $name"; continue; }
    if [[ $row == *" FILE" || $row == *" GOOD" ]]; then
      [[ $line == *":${row##* }:_files' \\" ]] || fail "zsh: $name completes no file: $line"
    elif [[ $row == *" "* ]]; then
      [[ $line != *_files* ]] || fail "zsh: $name completes files: $line"
    else
      [[ $line == *"]' \\" ]] || fail "zsh: $name takes an argument: $line"
    fi
  done
  grep -qF -- ":WHEN:(auto always never)' \\" "$dir/_ovantrex" || fail "zsh: --color completes no word"
  grep -qF -- ":EXPR:{compset -P \"*[^a-zA-Z0-9_.]\"; compadd -- ${fields[*]}}' \\" "$dir/_ovantrex" ||
    fail "zsh: --where completes not the fields of --fields at the end of its expression"
  entries=$(grep -c "^  '-" "$dir/_ovantrex")
  ((entries == ${#rows[@]})) || fail "zsh: $entries option entries, and the help has ${#rows[@]} options"
else
  echo "zsh is not installed: its file was not checked (apt-get install -y zsh)"
fi

# ---- fish ----
if command -v fish >/dev/null; then
  complete_fish() {
    HOME=$work fish --no-config -c "source $dir/ovantrex.fish; complete -C '$1'" | cut -f1 | sort
  }
  expect "fish: every option after -" "$(printf '%s\n' "${names[@]}" | sort)" \
    complete_fish "ovantrex -t -"
  expect "fish: --fo" "--follow" complete_fish "ovantrex --fo"
  # fish shows a folder with its slash.
  for option in "${file_options[@]}"; do
    expect "fish: files after $option" "$in_folder/" complete_fish "ovantrex $option $files/"
  done
  expect "fish: no completion of -h's number" "" complete_fish "ovantrex -h "
  expect "fish: --color WHEN" "$colours" complete_fish "ovantrex --color "
  expect "fish: --color=a" $'--color=always\n--color=auto' complete_fish "ovantrex --color=a"
  expect "fish: every field after --where" "$sorted_fields" complete_fish "ovantrex --where "
  expect "fish: --where=decoded.status." $'--where=decoded.status.bits\n--where=decoded.status.value' \
    complete_fish "ovantrex --where=decoded.status."
else
  echo "fish is not installed: its file was not run (apt-get install -y fish)"
fi

((failures == 0)) || exit 1
echo "completions test passed: ${#rows[@]} options in bash, zsh and fish"
