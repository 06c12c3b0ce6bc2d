#!/usr/bin/env bash
# The report of the sample in a real browser: headless Chromium loads the
# page from a file with JavaScript on. The page must log nothing on the
# console (no script error, no refused load, no policy violation), its
# script must have run (it shows the error filter), and its DOM must hold
# the pictures and the error table. A screenshot is left in the build
# folder for a person to look at: report-sample.png.
#
#   browser_report_test.sh PROGRAM SOURCE_DIR BUILD_DIR CHROMIUM
#
# CHROMIUM is the browser that the configure found. Without it the test
# fails: a browser test that passes without a browser would check nothing.
set -u
program=${1:?usage: browser_report_test.sh PROGRAM SOURCE_DIR BUILD_DIR CHROMIUM}
source_dir=${2:?}
build_dir=${3:?}
browser=${4:-}
if [[ -z $browser || ! -x $browser ]]; then
  echo "chromium not found${browser:+ at $browser}: install the package chromium" \
    "(apt-get install -y chromium) and configure again"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="$work/sample.html"
# As the README shows it: the trace named from the source folder.
(cd "$source_dir" && "$program" --report -f examples/sample.trc -w "$page") || {
  echo "the report could not be written"
  exit 1
}

# Flags that let Chromium run here as root, offline, with a profile of its own.
run_browser() {
  local profile
  profile=$(mktemp -d "$work/profile.XXXXXX")
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --enable-logging=stderr --v=0 "$@"
}

status=0
run_browser --dump-dom "file://$page" >"$work/dom.html" 2>"$work/log.txt"
if grep -q ':CONSOLE' "$work/log.txt"; then
  echo "the page wrote to the console:"
  grep ':CONSOLE' "$work/log.txt"
  status=1
fi
for part in '<svg class="timeline"' '<svg class="flash-map"' '<table id="error-table">' \
            '<p id="error-filter">' 'id="e1893"' 'id="update-1"'; do
  if ! grep -qF "$part" "$work/dom.html"; then
    echo "the DOM lacks $part"
    status=1
  fi
done
# The filter starts hidden; only the script shows it.
if grep -qF '<p id="error-filter" hidden' "$work/dom.html"; then
  echo "the script did not run"
  status=1
fi

shot="$build_dir/report-sample.png"
rm -f "$shot"
run_browser --hide-scrollbars --window-size=1200,2900 --screenshot="$shot" "file://$page" \
  >/dev/null 2>"$work/shot-log.txt"
if [[ ! -s $shot ]] || [[ $(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n') != 89504e470d0a1a0a ]]; then
  echo "no screenshot was taken"
  status=1
else
  echo "screenshot: $shot"
fi
exit $status
