"""One table and one plot over the grid: power and lambda of every setting.

Reads each setting's evaluation (results/SETTING/evaluation/summary.tsv),
writes one row per setting and trait locus (power at alpha 0.05 and 5e-8
with its interval, genomic-control lambda) and plots the power at 0.05
against the grid's first varied numeric option, one line per combination of
the other settings' values. The plot is plain SVG: no plotting library.
"""

import csv
import html
import os

COLUMNS = ["setting", "study", "model", "calibrated", "seed", "locus", "alpha", "power", "low", "high", "trials",
           "lambda_gc"]


def read_summary(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def rows_of(name, setting, summary):
    lambda_gc = next((r["observed"] for r in summary if r["statistic"] == "lambda_gc"), "NA")
    for r in summary:
        if r["statistic"] != "power" or r["alpha"] not in ("0.05", "5e-8"):
            continue
        yield {
            "setting": name,
            "study": setting["study"],
            "model": setting["model"],
            "calibrated": "1" if setting["calibrated"] else "0",
            "seed": str(setting["seed"]),
            "locus": r["locus"],
            "alpha": r["alpha"],
            "power": r["observed"],
            "low": r["low"],
            "high": r["high"],
            "trials": r["trials"],
            "lambda_gc": lambda_gc,
        }


def varied_axis(settings):
    """The grid's varied parameter: the numeric option that takes the most values among settings alike in
    everything else (study, model, calibration and the other options); None when no option varies so."""
    best, best_count = None, 1
    keys = sorted({k for s in settings.values() for k in s["options"]})
    for key in keys:
        groups = {}
        for s in settings.values():
            if key not in s["options"]:
                continue
            rest = (s["study"], s["model"], s["calibrated"],
                    tuple(sorted((k, v) for k, v in s["options"].items() if k != key)))
            groups.setdefault(rest, set()).add(s["options"][key])
        for values in groups.values():
            try:
                [float(v) for v in values]
            except ValueError:
                continue
            if len(values) > best_count:
                best, best_count = key, len(values)
    return best


def svg_plot(points_by_line, axis, path):
    longest = max((len(label) for label in points_by_line), default=10)
    left, right, top, bottom = 70, 30 + 7 * longest, 30, 60
    width, height = 480 + right, max(420, top + 16 * len(points_by_line) + bottom)
    xs = [x for line in points_by_line.values() for x, _ in line]
    x_min, x_max = (min(xs), max(xs)) if xs else (0.0, 1.0)
    if x_min == x_max:
        x_min, x_max = x_min - 1, x_max + 1
    sx = lambda x: left + (x - x_min) / (x_max - x_min) * (width - left - right)
    sy = lambda y: top + (1 - y) * (height - top - bottom)
    colours = ["#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e", "#e6ab02", "#a6761d", "#666666"]
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" font-family="sans-serif" '
           'font-size="12">',
           f'<line x1="{left}" y1="{sy(0)}" x2="{width - right}" y2="{sy(0)}" stroke="black"/>',
           f'<line x1="{left}" y1="{sy(0)}" x2="{left}" y2="{sy(1)}" stroke="black"/>']
    for tick in (0, 0.25, 0.5, 0.75, 1):
        out.append(f'<text x="{left - 8}" y="{sy(tick) + 4}" text-anchor="end">{tick:g}</text>')
    for x in sorted(set(xs)):
        out.append(f'<text x="{sx(x)}" y="{sy(0) + 18}" text-anchor="middle">{x:g}</text>')
    out.append(f'<text x="{(left + width - right) / 2}" y="{height - 15}" text-anchor="middle">'
               f'{html.escape(axis or "setting")}</text>')
    out.append(f'<text x="18" y="{(top + height - bottom) / 2}" text-anchor="middle" '
               f'transform="rotate(-90 18 {(top + height - bottom) / 2})">power at 0.05</text>')
    for i, (label, line) in enumerate(sorted(points_by_line.items())):
        colour = colours[i % len(colours)]
        line = sorted(line)
        path_points = " ".join(f"{sx(x):.1f},{sy(y):.1f}" for x, y in line)
        out.append(f'<polyline points="{path_points}" fill="none" stroke="{colour}" stroke-width="2"/>')
        for x, y in line:
            out.append(f'<circle cx="{sx(x):.1f}" cy="{sy(y):.1f}" r="3" fill="{colour}"/>')
        out.append(f'<text x="{width - right + 10}" y="{top + 16 * i + 4}" fill="{colour}">{html.escape(label)}</text>')
    out.append("</svg>\n")
    with open(path, "w") as f:
        f.write("\n".join(out))


def main(settings, setting_dirs, table_path, plot_path):
    rows = []
    for setting_dir in setting_dirs:
        name = os.path.basename(os.path.normpath(setting_dir))
        summary_path = os.path.join(setting_dir, "evaluation", "summary.tsv")
        if not os.path.isfile(summary_path):
            raise SystemExit(f"grid summary: {summary_path} is missing: the setting was not evaluated")
        rows.extend(rows_of(name, settings[name], read_summary(summary_path)))
    with open(table_path, "w", newline="") as f:
        writer = csv.DictWriter(f, COLUMNS, delimiter="\t", lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)

    axis = varied_axis(settings)
    lines = {}
    for row in rows:
        if row["alpha"] != "0.05" or row["power"] == "NA":
            continue
        options = settings[row["setting"]]["options"]
        if axis and axis not in options:
            continue  # a setting without the varied parameter has no place on its axis
        x = float(options[axis]) if axis else float(len(lines))
        rest = [f"{row['study']}-{row['model']}-{'calibrated' if row['calibrated'] == '1' else 'specified'}"]
        rest += [f"{k}={v}" for k, v in sorted(options.items()) if k != axis]
        label = ",".join(rest) + f" ({row['locus']})"
        lines.setdefault(label, []).append((x, float(row["power"])))
    svg_plot(lines, axis, plot_path)


if "snakemake" in globals():
    with open(snakemake.log[0], "w") as log:
        try:
            main(snakemake.params.settings, list(snakemake.input), snakemake.output.table, snakemake.output.plot)
        except BaseException as error:  # the reason in the rule's log too, then the failure as it is
            print(f"grid summary: {error}", file=log)
            raise
        print(f"grid summary: {len(snakemake.input)} settings", file=log)
