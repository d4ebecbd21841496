#!/usr/bin/env bash
# The Snakemake workflow on its tiny config, with Snakemake from Debian: every
# setting's merged directory is byte for byte what one korvane run of the
# same setting, seed and replicates writes (the run record but for its start
# second); the seeds are those of the documented derivation; adding
# replicates later leaves every existing replicate as it was. Then a dry run
# of the full example config.
#
# workflow_test.sh KORVANE DATA_DIR SOURCE_DIR
set -euo pipefail

korvane=$1
data=$2
source=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "workflow test: $*" >&2
  exit 1
}

# Compares two run directories: every file the same bytes, the run records
# without their start line.
same_run() {
  local a=$1 b=$2
  # Snakemake marks the directories it made with .snakemake_timestamp.
  diff -r --exclude=korvane-runs.toml --exclude=.snakemake_timestamp "$a" "$b" >/dev/null ||
    fail "$a and $b differ: $(diff -rq --exclude=korvane-runs.toml --exclude=.snakemake_timestamp "$a" "$b" | head -5)"
  diff <(grep -v '^start = ' "$a/korvane-runs.toml") <(grep -v '^start = ' "$b/korvane-runs.toml") >/dev/null ||
    fail "the run records of $a and $b differ: $(diff <(grep -v '^start = ' "$a/korvane-runs.toml") <(grep -v '^start = ' "$b/korvane-runs.toml"))"
}

run_workflow() {
  local dir=$1
  shift
  snakemake -s "$source/workflow/Snakefile" --configfile "$source/workflow/config/tiny.yaml" \
    --config korvane="$korvane" data="$data" "$@" -j 2 --directory "$dir" -q >"$tmp/snakemake.log" 2>&1 ||
    {
      cat "$tmp/snakemake.log" >&2
      fail "snakemake failed in $dir"
    }
}

# 1. The tiny grid: 3 settings x 6 replicates in shards of 2.
run_workflow "$tmp/wf"
settings=$(cd "$tmp/wf/results" && ls -d qual-* quan-*)
[[ $(wc -w <<<"$settings") -eq 3 ]] || fail "expected 3 setting directories, found: $settings"

# 2. Each setting against one process, repeated from its merged record in
# another folder with the same output-directory text.
for setting in $settings; do
  study=${setting%%-*}
  mkdir -p "$tmp/single"
  (cd "$tmp/single" && "$korvane" "$study" --params "$tmp/wf/results/$setting/korvane-runs.toml" \
    --output-directory "results/$setting" --quiet --threads 1 >/dev/null) || fail "the single run of $setting failed"
  grep -q '^replicate-count = 6$' "$tmp/single/results/$setting/korvane-runs.toml" || fail "$setting: not 6 replicates"
  same_run "$tmp/single/results/$setting" "$tmp/wf/results/$setting"
done

# 3. One setting from its options alone, with the seed derived as documented:
# the first 4 bytes (big-endian) of the SHA-256 of the master seed, a line
# end and the setting's canonical text.
setting='qual-discrete-specified_null-locus-count-10_relative-risk-1.5_sample-size-40_total-locus-count-60'
seed=$(python3 -c 'import hashlib,sys; print(int.from_bytes(hashlib.sha256(sys.argv[1].encode()).digest()[:4], "big"))' \
  $'7\nstudy=qual\nmodel=discrete\ncalibrated=0\nnull-locus-count=10\nrelative-risk=1.5\nsample-size=40\ntotal-locus-count=60')
mkdir -p "$tmp/by-hand"
(cd "$tmp/by-hand" && "$korvane" qual --data "$data" --seed "$seed" --model discrete --relative-risk 1.5 \
  --sample-size 40 --total-locus-count 60 --null-locus-count 10 --replicate-count 6 \
  --output-directory "results/$setting" --quiet --threads 1 >/dev/null) || fail "the run by hand failed"
same_run "$tmp/by-hand/results/$setting" "$tmp/wf/results/$setting"

# 4. Replicates added later: the old shards are not run again, the merged
# setting now holds 8 replicates, and replicates 1 to 6 are unchanged.
cp -a "$tmp/wf/results" "$tmp/before"
run_workflow "$tmp/wf" replicates=8
for setting in $settings; do
  [[ -d "$tmp/wf/results/$setting/8" && ! -e "$tmp/wf/results/$setting/9" ]] || fail "$setting: not 8 replicates"
  for n in 1 2 3 4 5 6; do
    diff -r "$tmp/before/$setting/$n" "$tmp/wf/results/$setting/$n" >/dev/null || fail "$setting: replicate $n changed"
  done
  for first in 1 3 5; do
    [[ "$tmp/wf/results/shards/$setting/$first/korvane-runs.toml" -ot "$tmp/wf/results/shards/$setting/7/korvane-runs.toml" ]] ||
      fail "$setting: shard $first was written again"
    diff -r "$tmp/before/shards/$setting/$first" "$tmp/wf/results/shards/$setting/$first" >/dev/null ||
      fail "$setting: shard $first changed"
  done
done

# 5. With the evaluation (each shard run with --evaluate, the merge combining
# their evaluations): each setting's directory, evaluation/ included, is what
# one `korvane --evaluate` run writes; the grid's summary has a row per
# setting, trait locus and alpha, and its plot is drawn.
run_workflow "$tmp/ev" evaluate=true
setting='qual-discrete-specified_null-locus-count-10_relative-risk-2.0_sample-size-40_total-locus-count-60'
mkdir -p "$tmp/single-ev"
(cd "$tmp/single-ev" && "$korvane" qual --params "$tmp/ev/results/$setting/korvane-runs.toml" --evaluate \
  --output-directory "results/$setting" --quiet --threads 1 >/dev/null 2>&1) || fail "the evaluated run failed"
[[ -f "$tmp/ev/results/$setting/evaluation/report.html" ]] || fail "$setting: no evaluation report"
same_run "$tmp/single-ev/results/$setting" "$tmp/ev/results/$setting"
summary="$tmp/ev/results/grid/summary.tsv"
# 2 qualitative settings x 1 locus + 1 quantitative x 3 QTLs, at 2 alphas, and the header.
[[ $(wc -l <"$summary") -eq 11 ]] || fail "the grid summary has not 10 rows: $(cat "$summary")"
grep -q "^$setting	qual	discrete	0	[0-9]*	causal	0.05	" "$summary" || fail "no power row of $setting: $(cat "$summary")"
grep -q '>relative-risk</text>' "$tmp/ev/results/grid/power.svg" || fail "the power plot is not against relative-risk"

# 6. The Slurm profile of Snakemake 7, with stand-ins for sbatch and sacct
# that run the jobs here: every job's first attempt asks too little memory
# and is ended as OUT_OF_MEMORY; the status script reports it failed, and the
# second attempt, with twice the memory, completes. The results are those of
# the local run.
export FAKE_SLURM_DIR="$tmp/slurm-jobs" FAKE_SLURM_MIN_MEM=1000
mkdir -p "$FAKE_SLURM_DIR" "$tmp/slurm"
# CI=true: Snakemake 7 then asks for the jobs' states every second, not every ten.
(cd "$tmp/slurm" && CI=true PATH="$source/tests/workflow/fake-slurm:$PATH" snakemake -s "$source/workflow/Snakefile" \
  --configfile "$source/workflow/config/tiny.yaml" --config korvane="$korvane" data="$data" \
  --profile "$source/workflow/profiles/slurm" --max-status-checks-per-second 20 --latency-wait 5 -q \
  >"$tmp/slurm.log" 2>&1) || {
  cat "$tmp/slurm.log" >&2
  fail "the run through the Slurm profile failed"
}
for setting in $settings; do  # against the local run's 6 replicates, kept in step 4
  same_run "$tmp/before/$setting" "$tmp/slurm/results/$setting"
done
# 9 shards and 3 merges, each asked first with less than 1000 MB, then with twice that.
[[ $(sort -n "$FAKE_SLURM_DIR/memory.log" | uniq -c | tr -s ' ' | tr '\n' ';') == " 3 512; 9 513; 3 1024; 9 1025;" ]] ||
  fail "not two submissions of each job, the second with twice the memory: $(sort -n "$FAKE_SLURM_DIR/memory.log" | uniq -c)"

# 7. A dry run of the full example config.
snakemake -s "$source/workflow/Snakefile" --configfile "$source/workflow/config/example.yaml" -n -q \
  --directory "$tmp/dry" >"$tmp/dry.log" 2>&1 || {
  cat "$tmp/dry.log" >&2
  fail "the dry run of the example config failed"
}
grep -Eq '^shard +200 ' "$tmp/dry.log" || fail "the dry run does not plan 200 shard jobs: $(cat "$tmp/dry.log")"
echo "workflow test: passed"
