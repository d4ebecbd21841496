# The checks of an installed tree, shared by the install and package tests
# (sourced; `fail` counts the failures).
#   check_installed PREFIX SOURCE_DIR VERSION MAN COMPLETION GUI
# PREFIX is the folder holding bin/ and share/; MAN, COMPLETION and GUI are
# ON or OFF: whether the build made the manual page, the completion and
# korvane-gui. The programs must find the data under PREFIX from any working
# folder, with no help from the source tree.

# A working folder without a folder "data", which a run would take instead of
# the shipped data: / as a user's shell would be in, unless it has one.
neutral_folder() {
  if [[ -e /data ]]; then
    mkdir -p "$work/elsewhere" && echo "$work/elsewhere"
  else
    echo /
  fi
}

# run_study PREFIX OUTPUT: a small case-control replicate from a neutral
# working folder, the installed program and its default data folder.
run_study() {
  (cd "$(neutral_folder)" &&
    "$1/bin/korvane" qual --replicate-count 1 --sample-size 20 --total-locus-count 50 --seed 7 --quiet \
      --output-directory "$2") >"$work/study.log" 2>&1
}

# check_study PREFIX: the study completes and its record names PREFIX's data.
check_study() {
  local prefix=$1 output
  output=$work/study-$RANDOM
  if ! run_study "$prefix" "$output"; then
    fail "the installed korvane's study failed: $(cat "$work/study.log")"
    return
  fi
  [[ -f $output/1/Plink.ped && -f $output/1/Origin.txt ]] || fail "the study wrote no replicate 1 in $output"
  grep -qxF "data = \"$prefix/share/korvane/data\"" "$output/korvane-runs.toml" ||
    fail "the study did not use $prefix/share/korvane/data: $(grep '^data' "$output/korvane-runs.toml")"
}

check_installed() {
  local prefix=$1 source_dir=$2 version=$3 man=$4 completion=$5 gui=$6
  local data=$prefix/share/korvane/data

  [[ -x $prefix/bin/korvane ]] || { fail "no program $prefix/bin/korvane"; return; }
  if [[ $gui == ON ]]; then
    [[ -x $prefix/bin/korvane-gui ]] || fail "no program $prefix/bin/korvane-gui"
  fi
  # The data: the thirty files and the README of data/, byte for byte.
  local expected installed
  expected=$(cd "$source_dir/data" && ls -- *.txt README.md)
  installed=$(cd "$data" 2>/dev/null && ls -A)
  [[ $(grep -c '\.txt$' <<<"$expected") == 30 ]] || fail "the source tree's data folder has no thirty .txt files"
  if [[ $installed != "$expected" ]]; then
    fail "$data holds other files than data/: $(diff <(echo "$expected") <(echo "$installed") | tr '\n' ' ')"
  else
    local file
    for file in $expected; do
      cmp -s "$source_dir/data/$file" "$data/$file" || fail "$data/$file differs from data/$file"
    done
  fi
  local doc
  for doc in README.md LICENSE; do
    cmp -s "$source_dir/$doc" "$prefix/share/doc/korvane/$doc" || fail "no $doc in $prefix/share/doc/korvane"
  done
  grep -q '^Copyright (c) 2026 The Korvane developers$' "$prefix/share/doc/korvane/LICENSE" ||
    fail "the installed licence has no copyright line"
  if [[ $man == ON ]]; then
    gzip -t "$prefix/share/man/man1/korvane.1.gz" 2>/dev/null || fail "no manual page share/man/man1/korvane.1.gz"
  fi
  if [[ $completion == ON ]]; then
    local offered
    offered=$(bash -c 'source "$1" && COMP_WORDS=(korvane q) COMP_CWORD=1 && _korvane && echo "${COMPREPLY[*]}"' \
      completion "$prefix/share/bash-completion/completions/korvane" 2>&1)
    [[ $offered == "qual quan" ]] || fail "the installed completion offers '$offered' for 'korvane q'"
  fi

  local shown
  shown=$("$prefix/bin/korvane" --version 2>&1)
  [[ $shown == "korvane $version" ]] || fail "korvane --version says '$shown', not 'korvane $version'"
  shown=$(cd "$(neutral_folder)" && "$prefix/bin/korvane" qual --help | grep -e '--data DIR')
  [[ $shown == *"else $data)"* ]] || fail "qual --help does not name the installed data: $shown"
  shown=$(cd "$(neutral_folder)" && "$prefix/bin/korvane" info 2>&1 | head -n 1)
  [[ $shown == "korvane $version: reference data $data" ]] || fail "korvane info says: $shown"
  check_study "$prefix"
}
