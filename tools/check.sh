#!/usr/bin/env bash
# Static checks of the sources; .ci/run calls both.
#
#   tools/check.sh format            every C++ file is laid out as .clang-format says,
#                                    and no source file of the program is over 500 lines
#   tools/check.sh tidy [BUILD_DIR]  clang-tidy (.clang-tidy, tests/.clang-tidy) over
#                                    src, tests, examples and bench, as BUILD_DIR
#                                    compiles them (default build/release)
#
# Exits non-zero on any finding. The tools are those of Clang 14 (clang-format,
# clang-tidy, run-clang-tidy); CLANG_FORMAT, CLANG_TIDY and RUN_CLANG_TIDY name
# others. clang-tidy runs two files at a time.
set -euo pipefail
cd "$(dirname "$0")/.."

pick() {
  local tool
  for tool in "$@"; do
    if command -v "$tool" >/dev/null 2>&1; then
      echo "$tool"
      return
    fi
  done
  echo "check.sh: none of $* found" >&2
  exit 2
}

# The project's C++ files: those that git tracks, or every one outside build/.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -- '*.cpp' '*.h'
  else
    find src tests examples bench -name '*.cpp' -o -name '*.h'
  fi
}

check_format() {
  local clang_format
  clang_format=${CLANG_FORMAT:-$(pick clang-format-14 clang-format)}
  local files file unformatted=()
  mapfile -t files < <(sources)
  for file in "${files[@]}"; do
    "$clang_format" --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
  done
  if ((${#unformatted[@]})); then
    echo "format: ${#unformatted[@]} of ${#files[@]} files differ from .clang-format" \
      "(fix with: $clang_format -i FILE...):" >&2
    for file in "${unformatted[@]}"; do
      "$clang_format" "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" - |
        head -n 40 >&2 || true
    done
    exit 1
  fi
  echo "format: ${#files[@]} files as .clang-format says"
  check_lengths
}

# A reader finds a behaviour by its file's name: no source file of the
# program grows past 500 lines (functions past 60 lines: clang-tidy).
check_lengths() {
  local file long=()
  while IFS= read -r file; do
    (($(wc -l <"$file") > 500)) && long+=("$file")
  done < <(sources | grep '^src/')
  if ((${#long[@]})); then
    echo "format: over 500 lines, split by concern: ${long[*]}" >&2
    exit 1
  fi
  echo "format: no source file over 500 lines"
}

check_tidy() {
  local build=${1:-build/release}
  local clang_tidy run_clang_tidy
  clang_tidy=${CLANG_TIDY:-$(pick clang-tidy-14 clang-tidy)}
  run_clang_tidy=${RUN_CLANG_TIDY:-$(pick run-clang-tidy-14 run-clang-tidy)}
  if [[ ! -f $build/compile_commands.json ]]; then
    echo "check.sh: no $build/compile_commands.json; configure first (cmake --preset release)" >&2
    exit 2
  fi
  # run-clang-tidy takes the files as regular expressions on their paths:
  # the checkout's path goes in with every character that a regular
  # expression reads as an operator escaped ("proj[2]", "c++"). Its lines
  # that name each command (one a file checked: they are counted) and count
  # the warnings of system headers (none of them shown) are left out; a
  # finding fails the pipe, and so does a run that checked no file.
  local root colour=$'\e\\[[0-9;]*m' command_line='.*clang-tidy[-0-9]* .*-p=.*'
  root=$(pwd -P | sed 's/[][\\.^$*+?(){}|]/\\&/g')
  tidy_log=$(mktemp)
  trap 'rm -f -- "$tidy_log"' EXIT
  "$run_clang_tidy" -j 2 -quiet -clang-tidy-binary "$(command -v "$clang_tidy")" \
    -p "$build" "^$root/(src|tests|examples|bench)/" 2>&1 | tee "$tidy_log" |
    { grep -Ev "^($colour)*([0-9]+ warnings? generated\.|$command_line)\$" || true; }
  local checked
  checked=$(grep -cE "^($colour)*$command_line\$" "$tidy_log" || true)
  if ((checked == 0)); then
    echo "tidy: no file was checked: $build/compile_commands.json names none under $(pwd -P)" >&2
    exit 1
  fi
  local files=files
  ((checked == 1)) && files=file
  echo "tidy: no findings in $checked $files"
}

case ${1:-} in
  format) check_format ;;
  tidy) check_tidy "${2:-}" ;;
  *)
    echo "usage: $0 format | tidy [BUILD_DIR]" >&2
    exit 2
    ;;
esac
