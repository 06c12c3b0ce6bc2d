#!/usr/bin/env bash
# The report of the sample in a real browser: headless Chromium loads the
# page from a file with JavaScript on. The page must log nothing on the
# console (no script error, no refused load, no policy violation), its
# script must have run (it shows the error filter), and its DOM must hold
# the pictures and the error table. A screenshot is left in the build
# folder for a person to look at: report-sample.png. Then the fleet page of
# tools/ovantrex-fleet, under the same rules.
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

# The fleet page of 30 generated lanes and one with a hostile name, under
# the same rules: nothing on the console, its script run (the filter
# shown), its charts and its table in the DOM, and nothing of the name run.
fleet=$work/fleet
/usr/bin/python3 "$source_dir/tests/fleet_test.py" --make "$fleet/lanes" 30 4
mkdir -p "$fleet/lanes/<img src=x onerror=alert(1)>"
cp "$fleet/lanes/store-00/lane-0003.trc" "$fleet/lanes/<img src=x onerror=alert(1)>/<script>alert(2)<!--.trc"
/usr/bin/python3 "$source_dir/tools/ovantrex-fleet" --program "$program" --no-progress \
  -o /dev/null --report "$fleet/fleet.html" "$fleet/lanes" 2>/dev/null || {
  echo "the fleet page could not be written"
  exit 1
}
run_browser --dump-dom "file://$fleet/fleet.html" >"$work/fleet-dom.html" 2>"$work/fleet-log.txt"
if grep -q ':CONSOLE' "$work/fleet-log.txt"; then
  echo "the fleet page wrote to the console:"
  grep ':CONSOLE' "$work/fleet-log.txt"
  status=1
fi
for part in '<svg class="bars"' '<table id="error-table">' '<p id="error-filter">' \
            '&lt;script&gt;alert(2)&lt;!--.trc'; do
  if ! grep -qF "$part" "$work/fleet-dom.html"; then
    echo "the fleet page's DOM lacks $part"
    status=1
  fi
done
if grep -qiE '<img|<script>alert' "$work/fleet-dom.html"; then
  echo "a name on the fleet page became markup"
  status=1
fi
exit $status
