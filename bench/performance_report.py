#!/usr/bin/env python3
"""Turns the records of bench/performance.sh into the figures of the report.

    bench/performance_report.py RECORDS REPORT.md PLOT.png

RECORDS holds the tab-separated lines of menu_latency and pathtest_bench.sh
(what, lines, mode, name, median, min, max, runs; milliseconds, or KiB for
memory) and "# " lines about the machine. The tables replace whatever lies
between the "<!-- figures begin -->" and "<!-- figures end -->" lines of
REPORT.md; the plot (keystroke latency and start-up against the number of
entries, ravlin beside the peers) needs matplotlib
(Debian: python3-matplotlib) and is skipped with a message without it.
"""

import sys
from collections import defaultdict

BEGIN = "<!-- figures begin -->"
END = "<!-- figures end -->"
MODES = ["-", "-i", "-t", "-z"]
MODE_NAMES = {"-": "default", "-i": "-i", "-t": "-t", "-z": "-z"}


def read_records(path):
    notes, records = [], defaultdict(dict)
    lines_bytes = {}
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("# "):
            if "\t" not in line:
                notes.append(line[2:])
            continue
        if not line or line.startswith("#"):
            continue
        what, n, mode, name, median, low, high, runs = line.split("\t")
        figure = (float(median), float(low), float(high), int(runs))
        if what == "input":
            lines_bytes[int(n)] = int(float(median))
        records[(what, int(n), mode)][name] = figure
    return notes, records, lines_bytes


def cell(figure, digits=2):
    median, low, high, _ = figure
    return f"{median:.{digits}f} ({low:.{digits}f}–{high:.{digits}f})"


def ratio(a, b):
    return a / b if b else float("nan")


def verdict(value, limit):
    return "met" if value <= limit else f"missed by {value / limit - 1:.0%}"


def key_names(records, n):
    names = [k for k in records.get(("key", n, "-"), {})]
    return names


def tables(notes, records, lines_bytes):
    sizes = sorted(lines_bytes)
    big, small = sizes[-1], sizes[0]
    out = []
    out.append("Machine and run: " + "; ".join(notes) + ".")
    out.append("")

    def peer(n, name):
        return records[("peer", n, "-")][name][0]

    # The targets.
    out.append(f"### Targets ({big:,} entries unless said)")
    out.append("")
    out.append("| figure | ravlin ms | peer | peer ms | ratio | target | |")
    out.append("|---|---|---|---|---|---|---|")
    grep = peer(big, "grep -F")
    for mode in MODES:
        keys = records[("keys", big, mode)]
        limit = 0.30 if mode == "-z" else 0.20
        slowest = keys["slowest"][0]
        out.append(f"| slowest key, {MODE_NAMES[mode]} | {cell(keys['slowest'])} | `grep -F` | {grep:.1f} | "
                   f"{ratio(slowest, grep):.3f} | <= {limit:.2f} | {verdict(ratio(slowest, grep), limit)} |")
        if mode != "-z":
            median = keys["median"][0]
            out.append(f"| median key, {MODE_NAMES[mode]} | {cell(keys['median'])} | `grep -F` | {grep:.1f} | "
                       f"{ratio(median, grep):.3f} | <= 0.15 | {verdict(ratio(median, grep), 0.15)} |")
    for mode in MODES:
        slowest = records[("keys", small, mode)]["slowest"]
        out.append(f"| slowest key at {small:,}, {MODE_NAMES[mode]} | {cell(slowest, 3)} | | | | < 1 ms | "
                   f"{'met' if slowest[0] < 1 else 'missed'} |")
    fzf = peer(big, "fzf --filter")
    for mode in MODES:
        drawn = records[("start", big, mode)]["drawn"]
        out.append(f"| start-up to first drawing, {MODE_NAMES[mode]} | {cell(drawn, 1)} | `fzf --filter` | {fzf:.1f} | "
                   f"{ratio(drawn[0], fzf):.3f} | <= 0.15 | {verdict(ratio(drawn[0], fzf), 0.15)} |")
    budget = (lines_bytes[big] + 28 * big + 16 * 1024 * 1024) / 1024
    peak = max(records[("memory", big, mode)]["VmHWM"][0] for mode in MODES)
    out.append(f"| peak memory (VmHWM, KiB, largest of the modes) | {peak:,.0f} | input + 28 B/line + 16 MiB | "
               f"{budget:,.0f} | {ratio(peak, budget):.3f} | <= 1 | {verdict(ratio(peak, budget), 1)} |")
    for case in ("-l", "-flx"):
        ours = records.get(("pathtest", 100000, case), {})
        if "pathtest" in ours:
            p, f = ours["pathtest"], ours["find"]
            out.append(f"| `pathtest {case} DIR`, 100,000 entries | {cell(p, 1)} | `find` | {f[0]:.1f} | "
                       f"{ratio(p[0], f[0]):.3f} | <= 0.90 | {verdict(ratio(p[0], f[0]), 0.9)} |")
    out.append("")

    # Every figure, per size.
    for n in sizes:
        grep, grepi, fzf = peer(n, "grep -F"), peer(n, "grep -Fi"), peer(n, "fzf --filter")
        out.append(f"### {n:,} entries ({lines_bytes[n] / 1e6:.1f} MB)")
        out.append("")
        out.append("Keys: milliseconds from the key to the repaint, median (least–greatest), "
                   "and the ratio of the median to the whole `grep -F` run. "
                   "Input after the key: `+` typed, `-` erased.")
        out.append("")
        out.append("| figure | " + " | ".join(MODE_NAMES[m] for m in MODES) + " |")
        out.append("|---|" + "---|" * len(MODES))
        for name in key_names(records, n) + ["median", "slowest"]:
            what = "key" if name not in ("median", "slowest") else "keys"
            label = f"`{name}`" if what == "key" else f"**{name} key**"
            row = []
            for mode in MODES:
                f = records[(what, n, mode)][name]
                row.append(f"{cell(f)} · {ratio(f[0], grep):.3f}")
            out.append(f"| {label} | " + " | ".join(row) + " |")
        for name, title in (("mapped", "start-up to the map"), ("drawn", "start-up to first drawing")):
            row = []
            for mode in MODES:
                f = records[("start", n, mode)][name]
                row.append(f"{cell(f, 1)} · {ratio(f[0], fzf):.3f}")
            out.append(f"| {title} (ratio to `fzf --filter`) | " + " | ".join(row) + " |")
        budget = (lines_bytes[n] + 28 * n + 16 * 1024 * 1024) / 1024
        row = []
        for mode in MODES:
            f = records[("memory", n, mode)]["VmHWM"]
            row.append(f"{f[0]:,.0f} · {ratio(f[0], budget):.3f}")
        out.append(f"| peak memory KiB (ratio to the budget, {budget:,.0f}) | " + " | ".join(row) + " |")
        out.append("")
        out.append("| peer, whole run | ms |")
        out.append("|---|---|")
        for name in ("grep -F", "grep -Fi", "fzf --filter", "wc -l"):
            out.append(f"| `{name}` | {cell(records[('peer', n, '-')][name], 1)} |")
        out.append("")

    cases = [c for c in ("-l", "-flx") if ("pathtest", 100000, c) in records]
    if cases:
        out.append("### pathtest, 100,000 entries")
        out.append("")
        out.append("| case | pathtest ms | find ms | ratio |")
        out.append("|---|---|---|---|")
        for case in cases:
            p, f = records[("pathtest", 100000, case)]["pathtest"], records[("pathtest", 100000, case)]["find"]
            out.append(f"| `{case}` | {cell(p, 1)} | {cell(f, 1)} | {ratio(p[0], f[0]):.3f} |")
        out.append("")
    return "\n".join(out)


def plot(records, lines_bytes, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"{sys.argv[0]}: no matplotlib (Debian: python3-matplotlib); {path} not made", file=sys.stderr)
        return
    sizes = sorted(lines_bytes)
    fig, (keys, start) = plt.subplots(1, 2, figsize=(12, 5))
    styles = {"-": "o-", "-i": "s-", "-t": "^-", "-z": "D-"}
    for mode in MODES:
        keys.plot(sizes, [records[("keys", n, mode)]["slowest"][0] for n in sizes], styles[mode],
                  label=f"ravlin {MODE_NAMES[mode]}: slowest key")
    keys.plot(sizes, [records[("keys", n, "-")]["median"][0] for n in sizes], "o:",
              label="ravlin default: median key")
    for name, style in (("grep -F", "k--"), ("grep -Fi", "k-."), ("fzf --filter", "r--"), ("wc -l", "g--")):
        keys.plot(sizes, [records[("peer", n, "-")][name][0] for n in sizes], style, label=f"{name}, whole run")
    keys.axhline(1000 / 60, color="grey", linewidth=0.8)
    keys.text(sizes[0], 1000 / 60 * 1.1, "one frame at 60 Hz", color="grey", fontsize=8)
    keys.set_title("A keystroke, key to repaint (median of runs)")
    for mode in MODES:
        start.plot(sizes, [records[("start", n, mode)]["drawn"][0] for n in sizes], styles[mode],
                   label=f"ravlin {MODE_NAMES[mode]}: exec to first drawing")
    for name, style in (("fzf --filter", "r--"), ("grep -F", "k--"), ("wc -l", "g--")):
        start.plot(sizes, [records[("peer", n, "-")][name][0] for n in sizes], style, label=f"{name}, whole run")
    start.set_title("Start-up (median of runs)")
    for ax in (keys, start):
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("entries")
        ax.set_ylabel("milliseconds")
        ax.grid(True, which="both", linewidth=0.3)
        ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    records_path, report_path, plot_path = sys.argv[1:]
    notes, records, lines_bytes = read_records(records_path)
    text = tables(notes, records, lines_bytes)
    report = open(report_path, encoding="utf-8").read()
    if BEGIN not in report or END not in report:
        sys.exit(f"{report_path}: no {BEGIN} ... {END} section")
    head, rest = report.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    with open(report_path, "w", encoding="utf-8") as f:
        f.write(head + BEGIN + "\n" + text + "\n" + END + tail)
    plot(records, lines_bytes, plot_path)


if __name__ == "__main__":
    main()
