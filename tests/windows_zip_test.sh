#!/usr/bin/env bash
# The Windows zip, unpacked: one folder with exactly the program, the manual
# as text, the README, the docs it names and the licences of the runtimes;
# an .exe that imports only DLLs of Windows itself (the runtimes are linked
# in, which is why their licences are in the zip); and that .exe, run under
# Wine, lists the sample as the Linux build does, line ends aside.
#
#   windows_zip_test.sh ZIP LINUX_PROGRAM SOURCE_DIR WORK_DIR OBJDUMP RUNNER...
#
# OBJDUMP is MinGW-w64's; RUNNER runs a Windows program (cmake/wine_run.sh
# PREFIX).
set -euo pipefail

if (($# < 6)); then
  echo "usage: $0 ZIP LINUX_PROGRAM SOURCE_DIR WORK_DIR OBJDUMP RUNNER..." >&2
  exit 2
fi
zip=$1 linux=$2 source=$3 work=$4 objdump=$5
shift 5
runner=("$@")
if [[ ! -f $zip ]]; then
  echo "FAIL: no zip $zip (the package preset's build makes it)" >&2
  exit 1
fi
rm -rf -- "$work"
mkdir -p "$work"
(cd "$work" && cmake -E tar xf "$zip")

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

top=$(basename "$zip" .zip)
files=$(cd "$work" && find . ! -type d | sort | tr '\n' ' ')
expected="./$top/README.md ./$top/docs/json.md ./$top/docs/ovantrex.schema.json \
./$top/licenses/GPL-3.txt ./$top/licenses/gcc-runtime.txt ./$top/licenses/mingw-w64-runtime.txt \
./$top/ovantrex.exe ./$top/ovantrex.txt "
[[ $files == "$expected" ]] || fail "the zip holds '$files', not '$expected'"
folder=$work/$top
for pair in README.md=README.md docs/json.md=docs/json.md \
  docs/ovantrex.schema.json=docs/ovantrex.schema.json; do
  [[ ! -f $folder/${pair%%=*} ]] || cmp -s "$folder/${pair%%=*}" "$source/${pair#*=}" ||
    fail "${pair%%=*} differs from ${pair#*=}"
done

# Each licence file is the one of its library: the GCC runtime's with its
# exception, MinGW-w64's with its thread library, and the GPL it names.
licence() {
  local file=$folder/licenses/$1
  shift
  local words
  for words in "$@"; do
    grep -qF "$words" "$file" 2>/dev/null || fail "licenses/${file##*/} does not say '$words'"
  done
}
licence gcc-runtime.txt "GCC RUNTIME LIBRARY EXCEPTION" "libstdc++-v3" "libgcc"
licence mingw-w64-runtime.txt "mingw-w64-crt" "winpthreads"
licence GPL-3.txt "GNU GENERAL PUBLIC LICENSE" "Version 3, 29 June 2007"

# The manual as plain text: its page heading and sections, no terminal
# controls (escape sequences, overstrikes).
manual=$folder/ovantrex.txt
head -n 1 "$manual" 2>/dev/null | grep -q '^OVANTREX(1) ' || fail "ovantrex.txt does not start with the page heading"
for head in NAME SYNOPSIS OPTIONS 'EXIT STATUS' FILES EXAMPLES; do
  grep -q "^$head\$" "$manual" 2>/dev/null || fail "ovantrex.txt has no section $head"
done
if LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f]' "$manual" 2>/dev/null; then
  fail "ovantrex.txt holds terminal controls"
fi

exe=$folder/ovantrex.exe
dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ { print $3 }')
[[ -n $dlls ]] || fail "objdump found no DLL that the .exe imports"
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll | msvcrt.dll | shell32.dll | advapi32.dll | user32.dll | ucrtbase.dll | api-ms-win-*) ;;
    *) fail "the .exe imports $dll, which is no DLL of Windows" ;;
  esac
done

# The sample: the version, the default listing, the time and process
# columns (TZ=UTC) and the summary.
export TZ=UTC
sample=$source/examples/sample.trc
for options in "--version" "-f $sample" "-t -p -f $sample" "--summary -f $sample"; do
  read -r -a words <<<"$options"
  "$linux" "${words[@]}" >"$work/linux.txt"
  [[ -s $work/linux.txt ]] || fail "the Linux build ($options) wrote nothing"
  status=0
  "${runner[@]}" "$exe" "${words[@]}" >"$work/exe.txt" 2>"$work/exe.err" || status=$?
  ((status == 0)) || fail "the zip's .exe ($options) exited with $status: $(cat "$work/exe.err")"
  sed 's/\r$//' "$work/exe.txt" | cmp -s "$work/linux.txt" - ||
    fail "the zip's .exe ($options) differs from the Linux build, line ends aside"
done

((failures == 0)) || exit 1
echo "the zip holds the .exe, its manual, the README and the licences; its .exe lists the sample as the Linux build does"
