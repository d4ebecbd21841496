#!/usr/bin/env python3
"""Simulates the reference panels of the ten catalogue regions with scrm.

Called by tools/make-reference-data, which owns the temporary folder and the
final move into data/. Usage: make-reference-data.py OUTPUT_FOLDER

For every region the script runs one coalescent simulation of 500 kb with 200
YRI and 200 second-population haplotypes, ascertains the catalogue's number of
SNPs, gives every SNP two allele letters, and writes the region's HaploBlack,
HaploWhite and Theta files. It then reads the written files back, checks their
format and prints (and records in README.md) population-genetic summaries.

Only the Python standard library is used; the output depends on nothing but the
fixed seeds below and the scrm version, so two runs give identical files.
"""

import math
import os
import random
import shutil
import subprocess
import sys

# ---------------------------------------------------------------------------
# Demographic model: the YRI / European part of the out-of-Africa model of
# Gutenkunst et al. (2009), PLoS Genetics 5:e1000695, in generations and
# individuals, with the per-generation rates used for every region.
# ---------------------------------------------------------------------------
N_ANCESTRAL = 7300          # ancestral size, also the scaling size N0
N_AFRICA = 12300            # size after the ancestral expansion; YRI today
T_EXPANSION = 8800          # generations ago: ancestral expansion
T_SPLIT = 5600              # generations ago: out-of-Africa split
N_BOTTLENECK = 2100         # out-of-Africa population until T_EUROPE
M_AFRICA_BOTTLENECK = 25e-5  # migration YRI <-> bottleneck, per generation
T_EUROPE = 848              # generations ago: European founding
N_EUROPE_START = 1000       # European size at T_EUROPE
GROWTH_EUROPE = 0.004       # European exponential growth per generation
M_AFRICA_EUROPE = 3e-5      # migration YRI <-> Europe, per generation
MU = 2.35e-8                # mutation rate per bp per generation
LENGTH = 500000             # simulated region length, bp
HAPLOTYPES_PER_PANEL = 200  # 100 individuals per population

# Recombination: each region has its own mean rate; about 60% of its map
# length falls in ten 2-kb hotspots, the rest is spread evenly.
HOTSPOT_COUNT = 10
HOTSPOT_LENGTH = 2000
HOTSPOT_SHARE = 0.6
HOTSPOT_MIN_GAP = 20000     # minimum distance between hotspot starts, bp
HOTSPOT_MARGIN = 10000      # no hotspot within this distance of either end

# SNP ascertainment: preferred minimum of the combined minor-allele frequency.
MIN_MAF = 0.05

# Region catalogue: name, SNP count, mean recombination rate (cM/Mb), seed.
# The seed drives scrm and, offset, the hotspot layout and letter choice.
REGIONS = [
    ("ENm010_7p15.2", 627, 1.2, 7100),
    ("ENm013.7q21.13", 1407, 0.9, 7101),
    ("ENm014.7q31.33", 1559, 1.4, 7102),
    ("ENr112.2p16.3", 1840, 1.0, 7103),
    ("ENr113.4q26", 1803, 0.8, 7104),
    ("ENr123.12q12", 816, 1.6, 7105),
    ("ENr131.2q37.1", 1549, 1.1, 7106),
    ("ENr213.18q12.1", 1142, 1.3, 7107),
    ("ENr232.9q34.11", 921, 1.5, 7108),
    ("ENr321.8q24.11", 1203, 0.95, 7109),
]
HOTSPOT_SEED_OFFSET = 100000
LETTER_SEED_OFFSET = 200000

# Summary statistics: SNP pairs at this distance enter the mean r^2.
LD_MIN_BP = 5000
LD_MAX_BP = 20000


def fmt(value):
    """Formats a scaled model parameter for the scrm command line."""
    return "%.6g" % value


def scaled_model_args():
    """Returns the population part of the scrm command line.

    Times are in units of 4*N0 generations, growth rates and migration rates
    are multiplied by 4*N0, sizes are relative to N0. Population 1 is YRI,
    population 2 the European line (the bottleneck before T_EUROPE)."""
    four_n0 = 4.0 * N_ANCESTRAL
    n = HAPLOTYPES_PER_PANEL
    europe_today = N_EUROPE_START * math.exp(GROWTH_EUROPE * T_EUROPE)
    t_europe = T_EUROPE / four_n0
    t_split = T_SPLIT / four_n0
    t_expansion = T_EXPANSION / four_n0
    m_ae = M_AFRICA_EUROPE * four_n0
    m_ab = M_AFRICA_BOTTLENECK * four_n0
    return [
        "-I", "2", str(n), str(n),
        "-n", "1", fmt(N_AFRICA / N_ANCESTRAL),
        "-n", "2", fmt(europe_today / N_ANCESTRAL),
        "-g", "2", fmt(GROWTH_EUROPE * four_n0),
        "-m", "1", "2", fmt(m_ae),
        "-m", "2", "1", fmt(m_ae),
        "-en", fmt(t_europe), "2", fmt(N_BOTTLENECK / N_ANCESTRAL),
        "-eg", fmt(t_europe), "2", "0",
        "-em", fmt(t_europe), "1", "2", fmt(m_ab),
        "-em", fmt(t_europe), "2", "1", fmt(m_ab),
        "-ej", fmt(t_split), "2", "1",
        # A join keeps the migration rates; after the split there is only
        # one population, so they are set to zero explicitly.
        "-em", fmt(t_split), "1", "2", "0",
        "-em", fmt(t_split), "2", "1", "0",
        "-en", fmt(t_expansion), "1", "1",
    ]


def hotspot_starts(seed):
    """Draws the starts of the region's hotspots, sorted, well apart."""
    rng = random.Random(seed + HOTSPOT_SEED_OFFSET)
    lo = HOTSPOT_MARGIN
    hi = LENGTH - HOTSPOT_MARGIN - HOTSPOT_LENGTH
    starts = []
    while len(starts) < HOTSPOT_COUNT:
        s = lo + int(rng.random() * (hi - lo + 1))
        if all(abs(s - t) >= HOTSPOT_MIN_GAP for t in starts):
            starts.append(s)
    return sorted(starts)


def rate_map(mean_cm_per_mb, seed):
    """Returns the region's recombination map as scrm arguments and segments.

    The segments are (start bp, rate per bp per generation) pairs computed
    from the printed scrm arguments, the way scrm converts them: scrm divides
    a per-locus rate by 4*N0*(L-1). So the map file integrates exactly the
    rates that were simulated."""
    four_n0 = 4.0 * N_ANCESTRAL
    rho = four_n0 * mean_cm_per_mb * 1e-8 * LENGTH
    hot_bp = HOTSPOT_COUNT * HOTSPOT_LENGTH
    background = fmt((1.0 - HOTSPOT_SHARE) * rho * LENGTH / (LENGTH - hot_bp))
    hot = fmt(HOTSPOT_SHARE * rho * LENGTH / hot_bp)
    args = ["-r", background, str(LENGTH)]
    changes = [(0, background)]
    for s in hotspot_starts(seed):
        args += ["-sr", str(s), hot, "-sr", str(s + HOTSPOT_LENGTH), background]
        changes += [(s, hot), (s + HOTSPOT_LENGTH, background)]
    per_bp = four_n0 * (LENGTH - 1)
    segments = [(start, float(value) / per_bp) for start, value in changes]
    return args, segments


def scrm_command(mean_cm_per_mb, seed):
    theta = 4.0 * N_ANCESTRAL * MU * LENGTH
    rec_args, segments = rate_map(mean_cm_per_mb, seed)
    cmd = (["scrm", str(2 * HAPLOTYPES_PER_PANEL), "1", "-t", fmt(theta)]
           + rec_args + ["-l", "-1"] + scaled_model_args()
           + ["-SC", "abs", "-p", "12", "-seed", str(seed)])
    return cmd, segments


def run_scrm(cmd):
    """Runs scrm and returns (positions, haplotype rows of 0/1 strings)."""
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            universal_newlines=True, check=False)
    if result.returncode != 0:
        sys.exit("make-reference-data: scrm failed (%d): %s"
                 % (result.returncode, result.stderr.strip()))
    lines = result.stdout.split("\n")
    try:
        at = next(i for i, l in enumerate(lines) if l.startswith("segsites:"))
    except StopIteration:
        sys.exit("make-reference-data: no segregating sites in scrm output")
    segsites = int(lines[at].split()[1])
    positions = [float(x) for x in lines[at + 1].split()[1:]]
    rows = [l.strip() for l in lines[at + 2:at + 2 + 2 * HAPLOTYPES_PER_PANEL]]
    if (len(positions) != segsites
            or len(rows) != 2 * HAPLOTYPES_PER_PANEL
            or any(len(r) != segsites for r in rows)):
        sys.exit("make-reference-data: unexpected scrm output layout")
    return positions, rows


def spread_evenly(candidates, positions, wanted):
    """Chooses `wanted` of the sorted site indices `candidates`, each as close
    as possible to evenly spaced targets along the region, keeping order."""
    chosen = []
    j = 0
    count = len(candidates)
    for k in range(wanted):
        target = (k + 0.5) * LENGTH / wanted
        last = count - (wanted - k)  # leave enough sites for later targets
        while (j < last and abs(positions[candidates[j + 1]] - target)
               <= abs(positions[candidates[j]] - target)):
            j += 1
        chosen.append(candidates[j])
        j += 1
    return chosen


def ascertain(positions, rows, wanted):
    """Returns the chosen site indices (ascending) and the number of them
    below the preferred minor-allele frequency."""
    total = len(rows)
    columns = list(zip(*rows))
    maf = []
    for col in columns:
        f = col.count("1") / total
        maf.append(min(f, 1.0 - f))
    common = [i for i, m in enumerate(maf) if m >= MIN_MAF]
    if len(common) >= wanted:
        return spread_evenly(common, positions, wanted), 0, len(common)
    rare = [i for i, m in enumerate(maf) if 0.0 < m < MIN_MAF]
    short = wanted - len(common)
    if len(rare) < short:
        sys.exit("make-reference-data: only %d polymorphic sites, %d needed"
                 % (len(common) + len(rare), wanted))
    # Most common first; ties keep position order (the sort is stable).
    rare.sort(key=lambda i: -maf[i])
    return sorted(common + rare[:short]), short, len(common)


def integer_positions(raw):
    """Maps scrm's continuous positions in [0, L) to distinct increasing
    integers in 1..L."""
    pos = [min(int(math.floor(x)) + 1, LENGTH) for x in raw]
    for i in range(1, len(pos)):
        pos[i] = max(pos[i], pos[i - 1] + 1)
    if pos[-1] > LENGTH:  # push back from the end if the bumps overran it
        pos[-1] = LENGTH
        for i in range(len(pos) - 2, -1, -1):
            pos[i] = min(pos[i], pos[i + 1] - 1)
    return pos


def map_cm(segments, p):
    """Genetic map position (cM) of bp coordinate p: the integral of the
    simulated rate over [0, p)."""
    morgans = 0.0
    for k, (start, rate) in enumerate(segments):
        end = segments[k + 1][0] if k + 1 < len(segments) else LENGTH
        if p <= start:
            break
        morgans += rate * (min(p, end) - start)
    return 100.0 * morgans


def write_region(folder, name, seed, rows, chosen, positions, segments):
    rng = random.Random(seed + LETTER_SEED_OFFSET)
    letters = []  # per SNP: (ancestral letter, derived letter)
    for _ in chosen:
        class1 = "A" if rng.random() < 0.5 else "T"
        class2 = "C" if rng.random() < 0.5 else "G"
        if rng.random() < 0.5:
            letters.append((class2, class1))  # derived allele is class 1
        else:
            letters.append((class1, class2))
    columns = []
    for i, (anc, der) in zip(chosen, letters):
        columns.append("".join(der if r[i] == "1" else anc for r in rows))
    haplotypes = ["".join(c) for c in zip(*columns)]
    n = HAPLOTYPES_PER_PANEL
    # scrm samples population 1 (YRI) first, then population 2.
    for suffix, block in (("HaploBlack.txt", haplotypes[:n]),
                          ("HaploWhite.txt", haplotypes[n:])):
        with open(os.path.join(folder, name + suffix), "w", newline="\n") as f:
            f.write("".join(h + "\n" for h in block))

    pos = integer_positions([positions[i] for i in chosen])
    cm = [map_cm(segments, p) for p in pos]
    with open(os.path.join(folder, name + "Theta.txt"), "w", newline="\n") as f:
        for k, p in enumerate(pos):
            dist = cm[k] - cm[k - 1] if k else 0.0
            f.write("%d\t%.8f\t%.8f\n" % (p, dist, cm[k] - cm[0]))
    return cm[-1] - cm[0], map_cm(segments, LENGTH)


# ---------------------------------------------------------------------------
# Read-back check and summaries, on the files as written.
# ---------------------------------------------------------------------------

def read_panel(path, snps):
    with open(path, "rb") as f:
        data = f.read()
    if not data.endswith(b"\n") or b"\r" in data:
        sys.exit("make-reference-data: %s: bad line ends" % path)
    lines = data.decode("ascii").split("\n")[:-1]
    if len(lines) != HAPLOTYPES_PER_PANEL:
        sys.exit("make-reference-data: %s: %d lines" % (path, len(lines)))
    for line in lines:
        if len(line) != snps or line.strip("ACGT"):
            sys.exit("make-reference-data: %s: bad haplotype line" % path)
    return lines


def class1_masks(lines):
    """Per SNP, a bit mask over haplotypes of the class-1 (A/T) letters."""
    masks = []
    for col in zip(*lines):
        m = 0
        for h, letter in enumerate(col):
            if letter in "AT":
                m |= 1 << h
        masks.append(m)
    return masks


def popcount(x):
    return bin(x).count("1")


def summarise(folder, name, snps):
    black = read_panel(os.path.join(folder, name + "HaploBlack.txt"), snps)
    white = read_panel(os.path.join(folder, name + "HaploWhite.txt"), snps)
    with open(os.path.join(folder, name + "Theta.txt")) as f:
        numbers = f.read().split()
    if len(numbers) != 3 * snps:
        sys.exit("make-reference-data: %sTheta.txt: %d numbers"
                 % (name, len(numbers)))
    pos = [int(numbers[3 * k]) for k in range(snps)]
    if pos[0] < 1 or pos[-1] > LENGTH or any(
            b <= a for a, b in zip(pos, pos[1:])):
        sys.exit("make-reference-data: %sTheta.txt: bad positions" % name)
    for k in range(snps):
        if float(numbers[3 * k + 1]) < 0.0 or (k == 0 and float(numbers[1]) != 0.0):
            sys.exit("make-reference-data: %sTheta.txt: bad distance" % name)
    # Each SNP must be a pair of one class-1 and one class-2 letter.
    for k, col in enumerate(zip(*(black + white))):
        kinds = set(col)
        if (len(kinds) != 2 or len(kinds & set("AT")) != 1
                or len(kinds & set("CG")) != 1):
            sys.exit("make-reference-data: %s SNP %d is not biallelic across "
                     "the classes" % (name, k))

    n = HAPLOTYPES_PER_PANEL
    masks = {"YRI": class1_masks(black), "Second": class1_masks(white)}
    counts = {p: [popcount(m) for m in masks[p]] for p in masks}
    s = {"snps": snps, "fst_num": 0.0, "fst_den": 0.0, "causal": 0, "null": 0,
         "het_YRI": 0.0, "het_Second": 0.0, "mafs": []}
    for cy, cs in zip(counts["YRI"], counts["Second"]):
        py, ps = cy / n, cs / n
        # Hudson's estimator (Bhatia et al. 2013), summed for a ratio of
        # averages.
        s["fst_num"] += ((py - ps) ** 2 - py * (1 - py) / (n - 1)
                         - ps * (1 - ps) / (n - 1))
        s["fst_den"] += py * (1 - ps) + ps * (1 - py)
        s["het_YRI"] += 2 * py * (1 - py)
        s["het_Second"] += 2 * ps * (1 - ps)
        # The candidate tests in whole allele counts: d = |cy-cs|/200,
        # m = (cy+cs)/400, so the bounds 0.1, 0.3, 0.5 become counts.
        diff, both = abs(cy - cs), cy + cs
        if 20 <= diff <= 60 and (40 <= both <= 120 or 280 <= both <= 360):
            s["causal"] += 1
        if 40 <= both <= 360:
            s["null"] += 1
        s["mafs"].append(min(both, 2 * n - both) / (2 * n))
    for p in ("YRI", "Second"):
        total, pairs = 0.0, 0
        m, c = masks[p], counts[p]
        for a in range(snps):
            if c[a] in (0, n):
                continue
            fa = c[a] / n
            b = a + 1
            while b < snps and pos[b] - pos[a] < LD_MIN_BP:
                b += 1
            while b < snps and pos[b] - pos[a] <= LD_MAX_BP:
                if c[b] not in (0, n):
                    fb = c[b] / n
                    d = popcount(m[a] & m[b]) / n - fa * fb
                    total += d * d / (fa * (1 - fa) * fb * (1 - fb))
                    pairs += 1
                b += 1
        s["r2_sum_" + p] = total
        s["r2_pairs_" + p] = pairs
    return s


def summary_table(rows):
    """Formats the per-region and overall summaries as a Markdown table."""
    head = ("| region | SNPs | segregating sites | sites with MAF >= 0.05 | "
            "taken below 0.05 | map cM (region) | Fst | het YRI | het second | "
            "r2 YRI | r2 second | causal candidates | null loci |")
    lines = [head, "|" + "---|" * 13]
    for r in rows:
        lines.append(
            "| %s | %d | %d | %d | %d | %.3f | %.3f | %.3f | %.3f | %.3f | "
            "%.3f | %.3f | %.3f |" % (
                r["name"], r["snps"], r["segsites"], r["common"], r["rare"],
                r["region_cm"], r["fst_num"] / r["fst_den"],
                r["het_YRI"] / r["snps"], r["het_Second"] / r["snps"],
                r["r2_sum_YRI"] / max(r["r2_pairs_YRI"], 1),
                r["r2_sum_Second"] / max(r["r2_pairs_Second"], 1),
                r["causal"] / r["snps"], r["null"] / r["snps"]))
    return lines


def overall(rows):
    tot = {k: sum(r[k] for r in rows) for k in (
        "snps", "segsites", "common", "rare", "region_cm", "fst_num",
        "fst_den", "het_YRI", "het_Second", "r2_sum_YRI", "r2_pairs_YRI",
        "r2_sum_Second", "r2_pairs_Second", "causal", "null")}
    tot["name"] = "all"
    return tot


def scrm_version():
    result = subprocess.run(["scrm", "--version"], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, universal_newlines=True,
                            check=False)
    return result.stdout.strip().splitlines()[0] if result.stdout else "scrm"


README_HEAD = """\
# Reference panels

The thirty files in this folder are the reference panels and genetic maps of
the ten regions of the region catalogue. **They are simulated, not real data**:
no individual, population sample or genotyping project stands behind them. The
region names and SNP counts are those of the catalogue; the haplotypes,
positions and map distances come from a coalescent simulation with `scrm`
(%(version)s) under a published model of human demographic history. The files
are generated by `tools/make-reference-data` and committed; `scrm` is needed
only to regenerate them, never to build or run.

## Regenerating

```
scripts/bootstrap --data-tool    # installs scrm and python3
tools/make-reference-data        # writes data/ (or the folder given as argument)
```

The tool writes into a temporary folder, checks the files it wrote, and moves
them into the output folder only on success. It is deterministic: every random
choice comes from the fixed seeds below, so a second run gives byte-identical
files (with the same scrm version). It takes a few seconds.

## Model

The YRI / European part of the out-of-Africa model of Gutenkunst et al. (2009),
"Inferring the joint demographic history of multiple populations from
multidimensional SNP frequency data", PLoS Genetics 5:e1000695 (best-fit
parameters, generations of 25 years):

| parameter | value |
|---|---|
| ancestral size (also the scaling size N0) | %(N_ANCESTRAL)d |
| expansion of the ancestral population | to %(N_AFRICA)d, %(T_EXPANSION)d generations ago |
| out-of-Africa split | %(T_SPLIT)d generations ago: YRI (%(N_AFRICA)d) and a bottleneck population of %(N_BOTTLENECK)d |
| migration YRI <-> bottleneck | %(M_AB)g per generation each way |
| European founding | %(T_EUROPE)d generations ago, size %(N_EUROPE_START)d, growing %(GROWTH_PCT)g%% per generation (%(EUROPE_TODAY).0f today) |
| migration YRI <-> Europe | %(M_AE)g per generation each way |
| YRI size today | %(N_AFRICA)d (constant since the expansion) |
| mutation rate | %(MU)g per bp per generation |
| region length | %(LENGTH)d bp |
| recombination | exact (`-l -1`); mean rate per region below; %(HOT_PCT)d%% of each region's map length in %(HOT_N)d hotspots of %(HOT_LEN)d bp, placed at random at least %(HOT_GAP)d bp apart and %(HOT_MARGIN)d bp from the ends; the rest uniform |
| sample | %(N_HAP)d haplotypes per population |

In scrm's units (N0 = %(N_ANCESTRAL)d): theta = 4 N0 mu L, rho = 4 N0 r L,
times in units of 4 N0 generations, growth rates and migration rates (M = 4 N0 m)
multiplied by 4 N0, sizes relative to N0. scrm population 1 is YRI, population 2
the European line. The `-sr` options set the hotspot and background rates from
the given position on; scrm turns a per-locus rate R into R / (4 N0 (L - 1)) per
bp, which is the rate the map files integrate.

## Regions, seeds and command lines

| # | region | SNPs | mean rate cM/Mb | seed |
|---|---|---|---|---|
%(REGION_ROWS)s

Exact command lines:

```
%(COMMANDS)s
```

## SNP ascertainment

From the segregating sites of the 400 simulated haplotypes, each region keeps
exactly its catalogue number of SNPs. Sites with a combined (both panels)
minor-allele frequency of at least %(MIN_MAF)g are preferred; among them the
SNPs are spread evenly along the region: for each of the N targets
(k + 0.5) * 500000 / N in turn, the site nearest to it among those after the
previous choice, leaving enough sites for the remaining targets. Where a region has fewer such sites than it needs, all of them are
kept and the shortfall is taken from the next most common sites.

Positions: scrm's continuous positions x in [0, 500000) become floor(x) + 1,
made strictly increasing (a collision moves a SNP 1 bp to the right), so every
position is a distinct integer in 1..500000.

## Allele letters

Every SNP gets one class-1 letter (A or T) and one class-2 letter (C or G),
each chosen at random, and a random choice of which of the two carries the
derived (mutant) state; the ancestral state gets the other letter. The draws
use Python's `random.Random(seed + %(LETTER_OFFSET)d)` per region, SNP by SNP
in order (class-1 letter, class-2 letter, derived class). The hotspot starts use
`random.Random(seed + %(HOTSPOT_OFFSET)d)`.

## File formats

For region name R (exactly as in the catalogue, nothing between the name and the
suffix):

- `RHaploBlack.txt`: YRI (scrm population 1). `RHaploWhite.txt`: the second,
  European, population (scrm population 2). Each has exactly 200 lines, LF line
  ends; lines 2j+1 and 2j+2 are the two haplotypes of individual j (100
  individuals, formed by pairing consecutive simulated haplotypes). Each line
  has exactly the region's SNP count of letters from A, C, G, T; character i is
  SNP i.
- `RTheta.txt`: one line per SNP, three tab-separated numbers: position (integer
  bp), genetic distance in cM from the previous SNP (0 for the first), and
  cumulative cM from the first SNP. Distances integrate the simulated rate map:
  the map position of bp p is the integral of the rate over [0, p).

## Summary statistics

As printed by the tool, computed from the written files. Fst: Hudson's
estimator (Bhatia et al. 2013) between the panels, as a ratio of averages over
SNPs. het: mean 2p(1-p) over SNPs. r2: mean r^2 of SNP pairs %(LD_MIN)d-%(LD_MAX)d
bp apart within a panel (pairs with a SNP monomorphic in the panel left out).
Causal candidates: share of SNPs with class-1 frequencies pY (YRI) and pS
(second) such that d = |pY - pS| is in [0.1, 0.3] and m = (pY + pS)/2 or 1 - m
is in [0.1, 0.3]. Null loci: share with m or 1 - m in [0.1, 0.5]. "map cM
(region)" is the map length of the whole simulated 500 kb.

%(SUMMARY)s

Combined minor-allele frequency of the %(TOTAL)d SNPs: %(MAF_BINS)s.
"""


def maf_bins(mafs):
    edges = [0.0, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5000001]
    parts = []
    for lo, hi in zip(edges, edges[1:]):
        k = sum(1 for m in mafs if lo <= m < hi)
        parts.append("[%.2f, %.2f%s %d" % (lo, min(hi, 0.5),
                                            "]" if hi > 0.5 else ")", k))
    return "; ".join(parts)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-reference-data.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    if shutil.which("scrm") is None:
        sys.exit("make-reference-data: scrm not found "
                 "(scripts/bootstrap --data-tool installs it)")

    rows, commands = [], []
    for index, (name, snps, rate, seed) in enumerate(REGIONS):
        cmd, segments = scrm_command(rate, seed)
        commands.append(" ".join(cmd))
        positions, haps = run_scrm(cmd)
        chosen, rare, common = ascertain(positions, haps, snps)
        _, region_cm = write_region(folder, name, seed, haps, chosen,
                                    positions, segments)
        s = summarise(folder, name, snps)
        s.update(name=name, segsites=len(positions), common=common, rare=rare,
                 region_cm=region_cm)
        rows.append(s)
        print("region %2d %-15s seed %d: %d segregating sites, %d with MAF >= "
              "%.2f, %d SNPs" % (index + 1, name, seed, len(positions), common,
                                 MIN_MAF, snps), file=sys.stderr)

    table = summary_table(rows + [overall(rows)])
    print("\n".join(table))
    all_mafs = [m for r in rows for m in r["mafs"]]
    tot = overall(rows)
    print()
    print("overall: Fst %.3f; heterozygosity YRI %.3f, second %.3f; mean r2 "
          "(%d-%d kb) YRI %.3f, second %.3f; causal candidates %.3f; null "
          "loci %.3f" % (
              tot["fst_num"] / tot["fst_den"], tot["het_YRI"] / tot["snps"],
              tot["het_Second"] / tot["snps"], LD_MIN_BP // 1000,
              LD_MAX_BP // 1000, tot["r2_sum_YRI"] / tot["r2_pairs_YRI"],
              tot["r2_sum_Second"] / tot["r2_pairs_Second"],
              tot["causal"] / tot["snps"], tot["null"] / tot["snps"]))
    print("combined MAF: " + maf_bins(all_mafs))

    europe_today = N_EUROPE_START * math.exp(GROWTH_EUROPE * T_EUROPE)
    region_rows = "\n".join(
        "| %d | %s | %d | %.2f | %d |" % (i + 1, n, c, r, s)
        for i, (n, c, r, s) in enumerate(REGIONS))
    readme = README_HEAD % {
        "version": scrm_version(), "N_ANCESTRAL": N_ANCESTRAL,
        "N_AFRICA": N_AFRICA, "T_EXPANSION": T_EXPANSION, "T_SPLIT": T_SPLIT,
        "N_BOTTLENECK": N_BOTTLENECK, "M_AB": M_AFRICA_BOTTLENECK,
        "T_EUROPE": T_EUROPE, "N_EUROPE_START": N_EUROPE_START,
        "GROWTH_PCT": GROWTH_EUROPE * 100, "EUROPE_TODAY": europe_today,
        "M_AE": M_AFRICA_EUROPE, "MU": MU, "LENGTH": LENGTH,
        "HOT_PCT": round(HOTSPOT_SHARE * 100), "HOT_N": HOTSPOT_COUNT,
        "HOT_LEN": HOTSPOT_LENGTH, "HOT_GAP": HOTSPOT_MIN_GAP,
        "HOT_MARGIN": HOTSPOT_MARGIN,
        "N_HAP": HAPLOTYPES_PER_PANEL, "REGION_ROWS": region_rows,
        "COMMANDS": "\n".join(commands), "MIN_MAF": MIN_MAF,
        "LETTER_OFFSET": LETTER_SEED_OFFSET,
        "HOTSPOT_OFFSET": HOTSPOT_SEED_OFFSET,
        "LD_MIN": LD_MIN_BP, "LD_MAX": LD_MAX_BP,
        "SUMMARY": "\n".join(table), "TOTAL": tot["snps"],
        "MAF_BINS": maf_bins(all_mafs),
    }
    with open(os.path.join(folder, "README.md"), "w", newline="\n") as f:
        f.write(readme)


if __name__ == "__main__":
    main()
