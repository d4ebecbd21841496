#!/usr/bin/env bash
# The real analysis tools read what Korvane writes: a small replicate of each
# study and model, then PLINK 1.9 and 2 and EIGENSOFT's smartpca, eigenstrat
# and eigenstratQTL on its files. Each must succeed and report the numbers of
# SNPs and individuals that were written.
#   real_tools_test.sh KORVANE DATA_DIR
set -euo pipefail
source "$(dirname "$0")/tools_common.sh"
loci=300
sample=120

smartpca_run() {  # smartpca_run DIR: principal components of the PCA files
  local dir=$1
  cat >"$dir/pca.par" <<PAR
genotypename: $dir/Eigensoft_Pca.geno
snpname: $dir/Eigensoft_Pca.snp
indivname: $dir/Eigensoft_Pca.ind
evecoutname: $dir/pca.evec
evaloutname: $dir/pca.eval
numoutevec: 2
PAR
  /usr/lib/eigensoft/smartpca -p "$dir/pca.par" >"$dir/smartpca.log" 2>&1 || { cat "$dir/smartpca.log" >&2; fail "smartpca"; }
  expect "$dir/smartpca.log" "number of samples used: $sample number of snps used: $((loci - $3))"
  evec2pca 2 "$dir/pca.evec" "$dir/Eigensoft_Pca.ind" "$dir/pca.pca" >/dev/null
}

for study in qual quan; do
  for model in discrete continuous; do
    out="$work/$study-$model"
    "$korvane" "$study" --model "$model" --data "$data" --output-directory "$out" --seed 11 --quiet \
      --total-locus-count "$loci" --sample-size "$sample" --replicate-count 1 >"$out.log" 2>&1 \
      || { cat "$out.log" >&2; fail "korvane $study $model"; }
    dir="$out/1"
    causal=$(wc -l <"$dir/Eigensoft_Strat.geno")
    (cd "$dir" && plink1.9 --file Plink --allow-no-sex --out p1 $([[ $study == qual ]] && echo --assoc --adjust || echo --linear) >/dev/null 2>&1) \
      || fail "plink1.9 on $study $model"
    expect "$dir/p1.log" "$loci variants loaded"
    expect "$dir/p1.log" "$sample people"
    if [[ $study == quan ]]; then
      expect "$dir/p1.log" "Phenotype data is quantitative"
      (cd "$dir" && plink1.9 --file Plink --assoc --allow-no-sex --out p1a >/dev/null 2>&1) || fail "plink1.9 --assoc on $study $model"
    fi
    (cd "$dir" && plink2 --pedmap Plink --glm allow-no-covars --out p2 >/dev/null 2>&1) || fail "plink2 on $study $model"
    expect "$dir/p2.log" "$loci variants"
    expect "$dir/p2.log" "$sample samples"
    smartpca_run "$dir" "$study" "$causal"
    if [[ $study == qual ]]; then
      eigenstrat -i "$dir/Eigensoft_Strat.geno" -j "$dir/Eigensoft.phen" -p "$dir/pca.pca" -l 1 -o "$dir/chisq" \
        >"$dir/eigenstrat.log" 2>&1 || { cat "$dir/eigenstrat.log" >&2; fail "eigenstrat on $study $model"; }
    else
      eigenstratQTL -i "$dir/Eigensoft_Strat.geno" -j "$dir/Eigensoft.phen" -p "$dir/pca.pca" -l 1 -o "$dir/chisq" \
        >"$dir/eigenstrat.log" 2>&1 || { cat "$dir/eigenstrat.log" >&2; fail "eigenstratQTL on $study $model"; }
    fi
    # One line of statistics per causal locus.
    stats=$(grep -c -E '^-?[0-9.]+( +-?[0-9.]+)+$' "$dir/chisq" || true)
    [[ $stats -eq $causal ]] || { cat "$dir/chisq" >&2; fail "eigenstrat statistics for $study $model: $stats of $causal"; }
    echo "ok: $study $model ($loci loci, $sample individuals, $causal causal)"
  done
done
