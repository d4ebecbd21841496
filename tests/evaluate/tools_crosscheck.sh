#!/usr/bin/env bash
# The evaluation statistics against the real tools: a small replicate of each
# study made by korvane, PLINK 1.9 (--assoc --adjust, --model, --hardy,
# --linear), PLINK 2 (--glm), smartpca and eigenstrat on its files, then the
# checker compares every locus (see tools_crosscheck_test.cpp).
#   tools_crosscheck.sh KORVANE DATA_DIR CHECKER
set -euo pipefail
korvane=$1
data=$2
checker=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
run() {  # run LOG COMMAND...: the command's output to LOG, shown when it fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$*"; }
}

common=(--seed 7 --total-locus-count 300 --sample-size 200 --replicate-count 1 --quiet --data "$data")
run "$work/qual.log" "$korvane" qual "${common[@]}" --output-directory "$work/qual"
run "$work/quan.log" "$korvane" quan "${common[@]}" --output-directory "$work/quan"

qual=$work/qual/1
(cd "$qual" && run plink-assoc.log plink1.9 --file Plink --assoc --adjust --allow-no-sex --out p1 \
  && run plink-model.log plink1.9 --file Plink --model --allow-no-sex --out p1m \
  && run plink-hardy.log plink1.9 --file Plink --hardy --allow-no-sex --out p1h)
cat >"$qual/pca.par" <<PAR
genotypename: $qual/Eigensoft_Pca.geno
snpname: $qual/Eigensoft_Pca.snp
indivname: $qual/Eigensoft_Pca.ind
evecoutname: $qual/pca.evec
evaloutname: $qual/pca.eval
numoutevec: 2
numoutlieriter: 0
altnormstyle: NO
PAR
# /usr/bin/smartpca is the perl wrapper; the program takes the parameter file.
smartpca=/usr/lib/eigensoft/smartpca
[[ -x $smartpca ]] || smartpca=$(command -v smartpca)
run "$qual/smartpca.log" "$smartpca" -p "$qual/pca.par"
run "$qual/evec2pca.log" evec2pca 2 "$qual/pca.evec" "$qual/Eigensoft_Pca.ind" "$qual/pca.pca"
for which in Pca Strat; do
  lower=$(echo "$which" | tr '[:upper:]' '[:lower:]')
  run "$qual/eigenstrat-$lower.log" eigenstrat -i "$qual/Eigensoft_$which.geno" -j "$qual/Eigensoft.phen" \
    -p "$qual/pca.pca" -l 2 -o "$qual/chisq_$lower"
done

quan=$work/quan/1
(cd "$quan" && run plink-linear.log plink1.9 --file Plink --linear --allow-no-sex --out p1 \
  && run plink2-glm.log plink2 --pedmap Plink --glm allow-no-covars --out p2)

KORVANE_QUAL_DIR=$qual KORVANE_QUAN_DIR=$quan "$checker"
