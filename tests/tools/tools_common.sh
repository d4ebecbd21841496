# What the real-tools tests share; sourced by each, whose arguments are
#   KORVANE DATA_DIR
# korvane and data name them, work is a scratch folder removed on exit.
korvane=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect() {  # expect FILE PATTERN: the tool's log must contain the pattern
  grep -q -E "$2" "$1" || { cat "$1" >&2; fail "$1 lacks /$2/"; }
}
plink19() {  # plink19 DIR OUT ARGS...: plink1.9 in DIR, its log kept
  local dir=$1 out=$2
  shift 2
  (cd "$dir" && plink1.9 "$@" --allow-no-sex --out "$out" >/dev/null 2>&1) || { cat "$dir/$out.log" >&2; fail "plink1.9 $* in $dir"; }
}
