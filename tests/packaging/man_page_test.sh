#!/usr/bin/env bash
# The manual page made from the program's help: it has the sections a reader
# looks for, every option of each command in that command's section, the
# installed data folder rather than the build's, and man renders it without a
# warning.
#   man_page_test.sh MAN_PAGE_GZ KORVANE BUILD_DATA_DIR
set -uo pipefail
page_gz=$1
korvane=$2
build_data=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

page=$(gzip -dc "$page_gz") || { echo "FAIL: $page_gz is not a gzip file" >&2; exit 1; }

# The roff text of section NAME, without its .SH line.
section() {
  awk -v name="$1" '
    /^\.SH / { title = substr($0, 5); gsub(/"/, "", title); inside = (title == name); next }
    inside' <<<"$page"
}

for name in NAME SYNOPSIS DESCRIPTION OPTIONS "QUAL OPTIONS" "QUAN OPTIONS" "INFO OPTIONS" FILES EXAMPLES; do
  [[ -n $(section "$name") ]] || fail "no section $name"
done
version=$("$korvane" --version)
[[ $(head -n 3 <<<"$page") == *"\"$version\""* ]] || fail "the title does not name '$version'"
grep -q '^korvane \\- ' <<<"$(section NAME)" || fail "NAME does not name korvane"

# Every option of a command's help, as roff writes it (\- for -), in the
# command's own section: the general options under OPTIONS.
for command in "" qual quan evaluate info; do
  if [[ -z $command ]]; then name=OPTIONS; else name="${command^^} OPTIONS"; fi
  text=$(section "$name")
  # shellcheck disable=SC2086
  options=$("$korvane" $command --help | grep -E '^ +-' | grep -oE -- '(^|[ ,])--?[a-z0-9][a-z0-9-]*' | tr -d ' ,' | sort -u)
  [[ -n $options ]] || fail "'korvane $command --help' shows no options"
  for option in $options; do
    grep -qF -- "${option//-/\\-}" <<<"$text" || fail "$option of 'korvane $command' is not in $name"
  done
done
# A study's form groups are its section's subsections.
grep -qF '.SS "Disease model:"' <<<"$(section "QUAL OPTIONS")" || fail "QUAL OPTIONS lacks the disease model group"
grep -qF '.SS "Trait model' <<<"$(section "QUAN OPTIONS")" || fail "QUAN OPTIONS lacks the trait model group"
[[ $(section "QUAN OPTIONS") != *'Disease model'* ]] || fail "QUAN OPTIONS holds a group of qual"

# The data folder: the installed one, not the build's.
grep -qF -- "$build_data" <<<"$page" && fail "the page names the build's data folder $build_data"
grep -qF 'PREFIX/share/korvane/data' <<<"$(section "QUAL OPTIONS")" || fail "--data does not name the installed data"

if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page_gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man warns: $warnings"
  rendered=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$page_gz" 2>/dev/null | col -b)
  [[ $rendered == *"QUAL OPTIONS"*"--sample-size INT=200"*"QUAN OPTIONS"* ]] || fail "man renders no options of qual"
else
  echo "man is not installed: the page is not rendered"
fi

if ((failures > 0)); then
  echo "$failures manual page checks failed" >&2
  exit 1
fi
echo "manual page: every check passed"
