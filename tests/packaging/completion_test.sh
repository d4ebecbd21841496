#!/usr/bin/env bash
# The bash completion made from the program's help offers what the program
# takes: its commands, every option of each command and of no other, the
# choices of a value, folders or files where a value names one, and nothing
# where a number is asked.
#   completion_test.sh COMPLETION KORVANE
set -uo pipefail
completion=$1
korvane=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: $completion does not load" >&2; exit 1; }
complete -p korvane >/dev/null 2>&1 || fail "no completion is registered for korvane"

# offers WORD...: the completion of the words given, the last one being
# completed, as bash splits them (an "=" is a word of its own). Prints the
# offers sorted, one a line.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _korvane korvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort
}

# expect "WORD ..." EXPECTED: the offers, one a line, must be EXPECTED's words.
expect() {
  local words=$1 expected got
  expected=$(tr ' ' '\n' <<<"$2" | sed '/^$/d' | sort)
  read -r -a line <<<"$words"
  [[ $words == *' ' ]] && line+=("")
  got=$(offers "${line[@]}")
  [[ $got == "$expected" ]] || fail "'$words' offers [$(echo $got)], expected [$(echo $expected)]"
}

# The option names of a help text, as the help shows them (independently of
# the completion's own reading of it).
help_options() {
  "$korvane" "$@" --help | grep -E '^ +-' | grep -oE -- '(^|[ ,])--?[a-z0-9][a-z0-9-]*' | tr -d ' ,' | sort -u
}

# Commands and the general options.
expect "korvane " "qual quan evaluate info merge"
expect "korvane e" "evaluate"
expect "korvane q" "qual quan"
expect "korvane i" "info"
expect "korvane m" "merge"
expect "korvane merge --o" "--output-directory"
expect "korvane --v" "--version"
expect "korvane -" "-h --help --version"

# Every option of each command, and no other command's.
for command in qual quan evaluate info merge; do
  want=$(help_options "$command")
  got=$(offers korvane "$command" -)
  [[ $got == "$want" ]] || fail "'korvane $command -' offers other options than its help shows:
$(diff <(echo "$want") <(echo "$got"))"
done
[[ $(offers korvane qual --) == *--simulating-times* ]] || fail "the second name of --replicate-count is not offered"
[[ $(offers korvane qual --) != *--qtl1-enabled* ]] || fail "qual offers an option of quan"
[[ $(offers korvane info --) != *--sample-size* ]] || fail "info offers an option of the studies"
[[ $(offers korvane evaluate --) != *--sample-size* ]] || fail "evaluate offers an option of the studies"
expect "korvane evaluate --evaluate-p" "--evaluate-pcs"
expect "korvane quan --qtl3-f" "--qtl3-freq-max --qtl3-freq-min"
expect "korvane qual --sample" "--sample-size"
# The command is found after values and flags, and an option after another's value.
expect "korvane qual --seed 5 --quiet --ov" "--overwrite"
expect "korvane quan --output-directory qual --yri-final-d" "--yri-final-discrete"

# The values of an option.
expect "korvane qual --model " "continuous discrete"
expect "korvane quan --model c" "continuous"
expect "korvane qual --line-ends " "crlf lf"
expect "korvane quan --write-gc " "0 1"
expect "korvane qual --write-admixmap 1 --write-plink " "0 1"
# A value that may be left out: its choices and the options that may follow.
got=$(offers korvane quan --calibrated "")
for want in 0 1 --seed; do
  grep -qxF -- "$want" <<<"$got" || fail "'korvane quan --calibrated ' does not offer $want: [$(echo $got)]"
done
expect "korvane qual --calibrated --qu" "--quiet"
expect "korvane qual --sample-size " ""
expect "korvane quan --replicate-count " ""
expect "korvane qual --simulating-times " ""
# --option=value, split at "=" by bash or given as one word.
expect "korvane qual --model = d" "discrete"
expect "korvane qual --model = " "continuous discrete"
expect "korvane qual --line-ends=c" "--line-ends=crlf"

# Folders where a value names a folder, files where it names a file.
mkdir -p "$work/results" "$work/reference" && touch "$work/runs.toml" "$work/readme.txt"
cd "$work" || exit 1
expect "korvane qual --output-directory " "reference results"
expect "korvane quan --data r" "reference results"
expect "korvane info --data re" "reference results"
expect "korvane qual --params ru" "runs.toml"
expect "korvane quan --params r" "readme.txt reference results runs.toml"

if ((failures > 0)); then
  echo "$failures completion checks failed" >&2
  exit 1
fi
echo "completion: every check passed"
