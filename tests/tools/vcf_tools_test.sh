#!/usr/bin/env bash
# bcftools and PLINK read Korvane's phased VCF and BCF files: a small
# replicate of each study and model, with --formats vcf.gz,bcf beside the
# pedigree files (and the continuous model's with local ancestry, AN1 and
# AN2), then
#  - bcftools view reads every record and sample of both files, and bcftools
#    index finds every record through the index written beside each, and a
#    region through it;
#  - plink1.9 --vcf and plink2 --vcf read the same individuals and, at every
#    locus, the same unordered genotypes as plink1.9 --file Plink (the
#    letters of the VCF taken back to their classes: A and T class 1, C and G
#    class 2).
#   vcf_tools_test.sh KORVANE DATA_DIR
set -euo pipefail
source "$(dirname "$0")/tools_common.sh"
loci=300
sample=123

# The family and individual ids and the genotypes of a .ped file, letters
# taken to their classes, each genotype's two classes in ascending order.
genotypes() {
  tr ATCG 1122 <"$1" | awk '{ printf "%s %s", $1, $2; for (i = 7; i < NF; i += 2) { a = $i; b = $(i + 1);
         if (a > b) { t = a; a = b; b = t } printf " %s%s", a, b } print "" }'
}

for study in qual quan; do
  for model in discrete continuous; do
    out="$work/$study-$model"
    ancestry=$([[ $model == continuous ]] && echo 1 || echo 0)
    "$korvane" "$study" --model "$model" --data "$data" --output-directory "$out" --seed 29 --quiet \
      --local-ancestry "$ancestry" \
      --total-locus-count "$loci" --sample-size "$sample" --replicate-count 1 --formats only=plink,vcf.gz,bcf \
      >"$out.log" 2>&1 || { cat "$out.log" >&2; fail "korvane $study $model"; }
    dir="$out/1"
    for file in Genotypes.vcf.gz Genotypes.bcf; do
      records=$(bcftools view -H "$dir/$file" | wc -l) || fail "bcftools view $file ($study $model)"
      [[ $records == "$loci" ]] || fail "bcftools view reads $records records of $file, not $loci ($study $model)"
      samples=$(bcftools query -l "$dir/$file" | wc -l)
      [[ $samples == "$sample" ]] || fail "bcftools reads $samples samples of $file ($study $model)"
      indexed=$(bcftools index -n "$dir/$file" 2>/dev/null) || fail "bcftools index -n $file ($study $model)"
      [[ $indexed == "$loci" ]] || fail "the index of $file counts $indexed records ($study $model)"
      region=$(bcftools view -H -r 1 "$dir/$file" | wc -l) || fail "bcftools view -r 1 $file ($study $model)"
      inmap=$(awk '$1 == 1' "$dir/Plink.map" | wc -l)
      [[ $region == "$inmap" ]] || fail "region 1 of $file holds $region records, Plink.map $inmap ($study $model)"
      if [[ $ancestry == 1 ]]; then
        values=$(bcftools query -f '[%AN1%AN2]' "$dir/$file" | tr -d '01' | wc -c) || fail "bcftools query AN1, AN2 of $file"
        [[ $values == 0 ]] || fail "AN1 and AN2 of $file hold values other than 0 and 1 ($study $model)"
        values=$(bcftools query -f '[%AN1%AN2]' "$dir/$file" | wc -c)
        [[ $values == $((2 * loci * sample)) ]] || fail "$file holds $values ancestry values ($study $model)"
      fi
    done
    plink19 "$dir" fromped --file Plink --recode
    plink19 "$dir" fromvcf --vcf Genotypes.vcf.gz --recode
    genotypes "$dir/fromped.ped" >"$dir/fromped.genotypes"
    genotypes "$dir/fromvcf.ped" >"$dir/fromvcf.genotypes"
    cmp "$dir/fromped.genotypes" "$dir/fromvcf.genotypes" \
      || { diff "$dir/fromped.genotypes" "$dir/fromvcf.genotypes" | head -c 2000 >&2; fail "plink1.9 reads other genotypes from the VCF ($study $model)"; }
    (cd "$dir" && plink2 --vcf Genotypes.vcf.gz --id-delim _ --export ped --out fromvcf2 >/dev/null 2>&1) \
      || { cat "$dir/fromvcf2.log" >&2; fail "plink2 --vcf ($study $model)"; }
    genotypes "$dir/fromvcf2.ped" >"$dir/fromvcf2.genotypes"
    cmp "$dir/fromped.genotypes" "$dir/fromvcf2.genotypes" \
      || { diff "$dir/fromped.genotypes" "$dir/fromvcf2.genotypes" | head -c 2000 >&2; fail "plink2 reads other genotypes from the VCF ($study $model)"; }
  done
done
echo "bcftools, PLINK 1.9 and PLINK 2 read the VCF and BCF files of both studies and models"
