#!/usr/bin/env python3
"""Turns the records of bench/performance.sh into the figures of the report.

    bench/performance_report.py RECORDS REPORT.md PLOT.png

RECORDS holds the tab-separated lines of menu_latency and pathtest_bench.sh
(what, lines, mode, name, median, min, max, runs; milliseconds, or KiB for
memory; each list's records follow its "input" record, which names it) and
"# " lines about the machine. The tables replace whatever lies
between the "<!-- figures begin -->" and "<!-- figures end -->" lines of
REPORT.md; the plot (keystroke latency and start-up against the number of
lines, ravlin beside the peers, and the slowest key of every shape) needs matplotlib
(Debian: python3-matplotlib) and is skipped with a message without it.
"""

import sys
from collections import defaultdict

BEGIN = "<!-- figures begin -->"
END = "<!-- figures end -->"
MODES = ["-", "-i", "-t", "-z"]
MODE_NAMES = {"-": "default", "-i": "-i", "-t": "-t", "-z": "-z"}


def read_records(path):
    """Records by (what, list, mode); lists by name: (lines, bytes). A
    list's records follow its input record, whose mode field names it."""
    notes, records, lists = [], defaultdict(dict), {}
    current = None
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("# "):
            # Each menu_latency run says the same of itself.
            if "\t" not in line and line[2:] not in notes:
                notes.append(line[2:])
            continue
        if not line or line.startswith("#"):
            continue
        what, n, mode, name, median, low, high, runs = line.split("\t")
        figure = (float(median), float(low), float(high), int(runs))
        if what == "input":
            current = mode
            lists[current] = (int(n), int(float(median)))
            continue
        if what == "pathtest":
            records[("pathtest", mode)][name] = figure
            continue
        records[(what, current, mode)][name] = figure
    return notes, records, lists


def cell(figure, digits=2):
    median, low, high, _ = figure
    return f"{median:.{digits}f} ({low:.{digits}f}–{high:.{digits}f})"


def ratio(a, b):
    return a / b if b else float("nan")


def verdict(value, limit):
    return "met" if value <= limit else f"missed by {value / limit - 1:.0%}"


def shape_of(name):
    return name.rsplit("-", 1)[0]


def budget_kib(lists, name):
    lines, size = lists[name]
    return (size + 28 * lines + 16 * 1024 * 1024) / 1024


def key_names(records, name):
    return list(records.get(("key", name, "-"), {}))


def tables(notes, records, lists):
    out = []
    out.append("Machine and run: " + "; ".join(notes) + ".")
    out.append("")

    def peer(name, which):
        return records[("peer", name, "-")][which][0]

    million = [n for n in lists if lists[n][0] == 1000000]
    million.sort(key=lambda n: (shape_of(n) != "paths", n))
    small = [n for n in lists if lists[n][0] == 10000]
    big = [n for n in lists if lists[n][0] == 10000000]
    out.append("### Targets")
    out.append("")
    out.append("Ratios to the whole `grep -F` run over the same list in the same rounds. "
               "Keys: slowest at most 0.11 and median at most 0.08 (default, `-i`, `-t`), "
               "slowest at most 0.17 with `-z`; start-up (exec to the first drawing) at most 1.0.")
    out.append("")
    out.append("| list (1,000,000 lines) | mode | slowest key ms · ratio | | median key ms · ratio | | "
               "start-up ms · ratio | | peak memory · budget | |")
    out.append("|---|---|---|---|---|---|---|---|---|---|")
    for name in million:
        grep = peer(name, "grep -F")
        for mode in MODES:
            keys = records[("keys", name, mode)]
            slowest, median = keys["slowest"], keys["median"]
            limit = 0.17 if mode == "-z" else 0.11
            drawn = records[("start", name, mode)]["drawn"]
            peak = records[("memory", name, mode)]["VmHWM"][0]
            budget = budget_kib(lists, name)
            median_verdict = "" if mode == "-z" else verdict(ratio(median[0], grep), 0.08)
            out.append(f"| {shape_of(name)} ({lists[name][1] / 1e6:.0f} MB, `grep -F` {grep:.1f} ms) | "
                       f"{MODE_NAMES[mode]} | {slowest[0]:.2f} · {ratio(slowest[0], grep):.3f} | "
                       f"{verdict(ratio(slowest[0], grep), limit)} | {median[0]:.2f} · {ratio(median[0], grep):.3f} | "
                       f"{median_verdict} | {drawn[0]:.1f} · {ratio(drawn[0], grep):.2f} | "
                       f"{verdict(ratio(drawn[0], grep), 1.0)} | {peak / budget:.3f} | {verdict(peak / budget, 1)} |")
    out.append("")
    out.append("| figure | ravlin | against | ratio | target | |")
    out.append("|---|---|---|---|---|---|")
    for name in million:
        if ("peer", name, "-") in records and "fzf --filter" in records[("peer", name, "-")]:
            fzf = peer(name, "fzf --filter")
            for mode in MODES:
                drawn = records[("start", name, mode)]["drawn"]
                out.append(f"| start-up, {shape_of(name)}, {MODE_NAMES[mode]} | {cell(drawn, 1)} ms | "
                           f"`fzf --filter` {fzf:.1f} ms | {ratio(drawn[0], fzf):.3f} | <= 0.15 | "
                           f"{verdict(ratio(drawn[0], fzf), 0.15)} |")
    for name in small:
        for mode in MODES:
            slowest = records[("keys", name, mode)]["slowest"]
            out.append(f"| slowest key at 10,000 lines, {MODE_NAMES[mode]} | {cell(slowest, 3)} ms | | | < 1 ms | "
                       f"{'met' if slowest[0] < 1 else 'missed'} |")
    for name in big:
        base = f"{shape_of(name)}-1000000"
        for mode in MODES:
            worst, worst_key = 0.0, ""
            for key in key_names(records, name):
                r = ratio(records[("key", name, mode)][key][0], records[("key", base, mode)][key][0])
                if r > worst:
                    worst, worst_key = r, key
            slowest = records[("keys", name, mode)]["slowest"]
            out.append(f"| keys at 10,000,000 lines, {MODE_NAMES[mode]}: slowest {slowest[0]:.1f} ms; the key "
                       f"that grew most, `{worst_key}` | {records[('key', name, mode)][worst_key][0]:.2f} ms | "
                       f"{records[('key', base, mode)][worst_key][0]:.2f} ms at 1,000,000 | {worst:.1f} | <= 10 | "
                       f"{verdict(worst, 10)} |")
        peak = max(records[("memory", name, mode)]["VmHWM"][0] for mode in MODES)
        budget = budget_kib(lists, name)
        out.append(f"| peak memory at 10,000,000 lines (KiB, largest of the modes) | {peak:,.0f} | "
                   f"input + 28 B/line + 16 MiB = {budget:,.0f} | {peak / budget:.3f} | <= 1 | {verdict(peak / budget, 1)} |")
    for case in ("-l", "-flx"):
        ours = records.get(("pathtest", case), {})
        if "pathtest" in ours:
            p, f = ours["pathtest"], ours["find"]
            out.append(f"| `pathtest {case} DIR`, 100,000 entries | {cell(p, 1)} ms | `find` {f[0]:.1f} ms | "
                       f"{ratio(p[0], f[0]):.3f} | <= 0.90 | {verdict(ratio(p[0], f[0]), 0.9)} |")
    out.append("")

    # Every figure, per list.
    order = sorted(lists, key=lambda n: (shape_of(n) != "paths", lists[n][0], n))
    for name in order:
        lines, size = lists[name]
        grep = peer(name, "grep -F")
        peers = records[("peer", name, "-")]
        fzf = peers.get("fzf --filter", (0,))[0]
        out.append(f"### {shape_of(name)}, {lines:,} lines ({size / 1e6:.1f} MB)")
        out.append("")
        out.append("Keys: milliseconds from the key to the repaint, median (least–greatest), "
                   "and the ratio of the median to the whole `grep -F` run. "
                   "Input after the key: `+` typed, `-` erased.")
        out.append("")
        out.append("| figure | " + " | ".join(MODE_NAMES[m] for m in MODES) + " |")
        out.append("|---|" + "---|" * len(MODES))
        for key in key_names(records, name) + ["median", "slowest"]:
            what = "key" if key not in ("median", "slowest") else "keys"
            label = f"`{key}`" if what == "key" else f"**{key} key**"
            row = []
            for mode in MODES:
                f = records[(what, name, mode)][key]
                row.append(f"{cell(f)} · {ratio(f[0], grep):.3f}")
            out.append(f"| {label} | " + " | ".join(row) + " |")
        against, against_ms = ("`fzf --filter`", fzf) if fzf else ("`grep -F`", grep)
        for key, title in (("mapped", "start-up to the map"), ("drawn", "start-up to first drawing")):
            row = []
            for mode in MODES:
                f = records[("start", name, mode)][key]
                row.append(f"{cell(f, 1)} · {ratio(f[0], against_ms):.3f}")
            out.append(f"| {title} (ratio to {against}) | " + " | ".join(row) + " |")
        budget = budget_kib(lists, name)
        row = []
        for mode in MODES:
            f = records[("memory", name, mode)]["VmHWM"]
            row.append(f"{f[0]:,.0f} · {ratio(f[0], budget):.3f}")
        out.append(f"| peak memory KiB (ratio to the budget, {budget:,.0f}) | " + " | ".join(row) + " |")
        out.append("")
        out.append("| peer, whole run | ms |")
        out.append("|---|---|")
        for peer_name, figure in peers.items():
            out.append(f"| `{peer_name}` | {cell(figure, 1)} |")
        out.append("")

    cases = [c for c in ("-l", "-flx") if ("pathtest", c) in records]
    if cases:
        out.append("### pathtest, 100,000 entries")
        out.append("")
        out.append("| case | pathtest ms | find ms | ratio |")
        out.append("|---|---|---|---|")
        for case in cases:
            p, f = records[("pathtest", case)]["pathtest"], records[("pathtest", case)]["find"]
            out.append(f"| `{case}` | {cell(p, 1)} | {cell(f, 1)} | {ratio(p[0], f[0]):.3f} |")
        out.append("")
    return "\n".join(out)


def plot(records, lists, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"{sys.argv[0]}: no matplotlib (Debian: python3-matplotlib); {path} not made", file=sys.stderr)
        return
    paths = sorted((n for n in lists if shape_of(n) == "paths"), key=lambda n: lists[n][0])
    sizes = [lists[n][0] for n in paths]
    fig, (keys, start, shapes) = plt.subplots(1, 3, figsize=(17, 5))
    styles = {"-": "o-", "-i": "s-", "-t": "^-", "-z": "D-"}
    for mode in MODES:
        keys.plot(sizes, [records[("keys", n, mode)]["slowest"][0] for n in paths], styles[mode],
                  label=f"ravlin {MODE_NAMES[mode]}: slowest key")
    keys.plot(sizes, [records[("keys", n, "-")]["median"][0] for n in paths], "o:",
              label="ravlin default: median key")
    peers = ("grep -F", "k--"), ("grep -Fi", "k-."), ("fzf --filter", "r--"), ("wc -l", "g--")
    for name, style in peers:
        have = [n for n in paths if name in records[("peer", n, "-")]]
        keys.plot([lists[n][0] for n in have], [records[("peer", n, "-")][name][0] for n in have], style,
                  label=f"{name}, whole run")
    keys.axhline(1000 / 60, color="grey", linewidth=0.8)
    keys.text(sizes[0], 1000 / 60 * 1.1, "one frame at 60 Hz", color="grey", fontsize=8)
    keys.set_title("Paths: a keystroke, key to repaint (median of runs)")
    for mode in MODES:
        start.plot(sizes, [records[("start", n, mode)]["drawn"][0] for n in paths], styles[mode],
                   label=f"ravlin {MODE_NAMES[mode]}: exec to first drawing")
    for name, style in (("fzf --filter", "r--"), ("grep -F", "k--"), ("wc -l", "g--")):
        have = [n for n in paths if name in records[("peer", n, "-")]]
        start.plot([lists[n][0] for n in have], [records[("peer", n, "-")][name][0] for n in have], style,
                   label=f"{name}, whole run")
    start.set_title("Paths: start-up (median of runs)")
    for ax in (keys, start):
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("lines")
        ax.set_ylabel("milliseconds")
        ax.grid(True, which="both", linewidth=0.3)
        ax.legend(fontsize=7)
    million = sorted((n for n in lists if lists[n][0] == 1000000), key=lambda n: (shape_of(n) != "paths", n))
    width = 0.2
    for i, mode in enumerate(MODES):
        xs = [j + (i - 1.5) * width for j in range(len(million))]
        grep = [records[("peer", n, "-")]["grep -F"][0] for n in million]
        shapes.bar(xs, [records[("keys", n, mode)]["slowest"][0] / g for n, g in zip(million, grep)], width,
                   label=f"{MODE_NAMES[mode]}: slowest key")
    shapes.axhline(0.11, color="k", linewidth=0.8, linestyle="--")
    shapes.text(-0.4, 0.115, "target 0.11 (-z 0.17)", fontsize=8)
    shapes.set_xticks(range(len(million)))
    shapes.set_xticklabels([shape_of(n) for n in million])
    shapes.set_ylabel("slowest key / whole grep -F run")
    shapes.set_title("1,000,000 lines of each shape")
    shapes.legend(fontsize=7)
    shapes.grid(True, axis="y", linewidth=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=100)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    records_path, report_path, plot_path = sys.argv[1:]
    notes, records, lists = read_records(records_path)
    text = tables(notes, records, lists)
    report = open(report_path, encoding="utf-8").read()
    if BEGIN not in report or END not in report:
        sys.exit(f"{report_path}: no {BEGIN} ... {END} section")
    head, rest = report.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    with open(report_path, "w", encoding="utf-8") as f:
        f.write(head + BEGIN + "\n" + text + "\n" + END + tail)
    plot(records, lists, plot_path)


if __name__ == "__main__":
    main()
