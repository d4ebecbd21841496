#!/usr/bin/env bash
# Opens report pages in headless Chromium and checks that every plot was drawn
# and no script failed; saves a screenshot of the case-control page.
#   report_browser_test.sh CHROMIUM WRITE_SAMPLE_REPORT OUT_DIR
# Each browser run is bounded by `timeout`; the test as a whole by CTest.
set -euo pipefail
chromium=$1 writer=$2 out=$3
mkdir -p "$out"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

# Root (as on CI) needs --no-sandbox; a fresh profile per run avoids a
# profile lock and first-run work; the virtual time budget lets the scripts
# finish before the DOM is dumped, without waiting in real time.
browser() {
  timeout 35 "$chromium" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --no-first-run --no-default-browser-check --disable-extensions --disable-background-networking \
    --disable-component-update --disable-sync --mute-audio --hide-scrollbars \
    --user-data-dir="$profile/$1" --virtual-time-budget=20000 "${@:2}" 2>"$out/chromium-$1.log"
}

failed=0
for study in case-control quantitative; do
  page=$out/report-$study.html
  "$writer" "$study" "$page"
  dom=$out/report-$study.dom.html
  if ! browser "$study" --dump-dom "file://$page" >"$dom"; then
    echo "FAIL $study: chromium did not finish (see $out/chromium-$study.log)"
    failed=1
    continue
  fi
  body=$(grep -o '<body [^>]*data-plots-expected[^>]*>' "$dom" | head -1 || true)
  attribute() { sed -n "s/.* $1=\"\\([^\"]*\\)\".*/\\1/p" <<<"$body"; }
  expected=$(attribute data-plots-expected)
  rendered=$(attribute data-plots-rendered)
  errors=$(attribute data-plot-errors)
  done_flag=$(attribute data-plots-done)
  echo "$study: $rendered of $expected plots drawn, $errors errors, done=$done_flag"
  if [[ -z $expected || $expected -eq 0 || $rendered != "$expected" || $errors != 0 || $done_flag != true ]]; then
    echo "FAIL $study: the page did not draw all its plots cleanly (DOM in $dom)"
    failed=1
  fi
  if [[ $(grep -c '<svg' "$dom") -lt $expected ]]; then
    echo "FAIL $study: fewer drawings than plots"
    failed=1
  fi
done

if ! browser screenshot --screenshot="$out/report.png" --window-size=1280,1800 \
  "file://$out/report-case-control.html" >/dev/null; then
  echo "FAIL: no screenshot (see $out/chromium-screenshot.log)"
  failed=1
elif [[ ! -s $out/report.png ]]; then
  echo "FAIL: empty screenshot"
  failed=1
else
  echo "screenshot: $out/report.png"
fi
exit $failed
