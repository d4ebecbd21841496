#!/usr/bin/env bash
# PLINK reads Korvane's binary files as it reads its pedigree files: a small
# replicate of each study and model, with --formats bed, then
#  - plink1.9 --bfile and plink1.9 --file give the same --assoc table (every
#    A1, A2 and CHISQ);
#  - plink1.9 makes the same .bed from Plink.ped/.map, and rewrites ours
#    byte for byte with --bfile --make-bed;
#  - plink2 --bfile reads every variant and sample.
#   plink_binary_test.sh KORVANE DATA_DIR
set -euo pipefail
source "$(dirname "$0")/tools_common.sh"
loci=300
sample=123  # not a multiple of 4: each locus ends in a part-filled byte

for study in qual quan; do
  for model in discrete continuous; do
    out="$work/$study-$model"
    "$korvane" "$study" --model "$model" --data "$data" --output-directory "$out" --seed 23 --quiet \
      --total-locus-count "$loci" --sample-size "$sample" --replicate-count 1 --formats bed >"$out.log" 2>&1 \
      || { cat "$out.log" >&2; fail "korvane $study $model"; }
    dir="$out/1"
    table=$([[ $study == qual ]] && echo assoc || echo qassoc)
    plink19 "$dir" text --file Plink --assoc
    plink19 "$dir" binary --bfile Plink --assoc
    expect "$dir/binary.log" "$loci variants loaded"
    expect "$dir/binary.log" "$sample people"
    cmp "$dir/text.$table" "$dir/binary.$table" || { diff "$dir/text.$table" "$dir/binary.$table" | head >&2; fail "--assoc of $study $model differs"; }
    plink19 "$dir" fromped --file Plink --make-bed
    cmp "$dir/fromped.bed" "$dir/Plink.bed" || fail "plink1.9 makes another .bed from Plink.ped ($study $model)"
    cut -f 1,2,4,5,6 "$dir/fromped.bim" >"$dir/fromped.cols"
    cut -f 1,2,4,5,6 "$dir/Plink.bim" >"$dir/ours.cols"
    cmp "$dir/fromped.cols" "$dir/ours.cols" || fail "plink1.9 orders the alleles otherwise ($study $model)"
    plink19 "$dir" remade --bfile Plink --make-bed
    cmp "$dir/remade.bed" "$dir/Plink.bed" || fail "plink1.9 --bfile --make-bed changes Plink.bed ($study $model)"
    (cd "$dir" && plink2 --bfile Plink --freq --out p2 >/dev/null 2>&1) || { cat "$dir/p2.log" >&2; fail "plink2 on $study $model"; }
    expect "$dir/p2.log" "$loci variants"
    expect "$dir/p2.log" "$sample samples"
  done
done
echo "PLINK reads the binary files of both studies and models as their pedigree files"
