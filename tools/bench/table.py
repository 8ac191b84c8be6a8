#!/usr/bin/env python3
"""Prints tools/bench/run.sh's capture table from its rows file.

    table.py --header ROWS          the column heads
    table.py --row ROWS             the last row of ROWS
    table.py --summary ROWS SPREADS REPEAT
                                    totals for each kind of picture and for all, the ratios'
                                    medians and worst pairs, the peak memory and the noise

ROWS has a line of column names, then one line per pair: kind (photo or harder), pair, the
archive sizes (ours, wimlib's default, LZX:100's), the median CPU and wall ms of ours, of
wimlib's default (every core) and of wimlib --threads=1, the build's peak KiB and the check.
SPREADS has one line per timed measurement: (max - min) / median of its CPU and wall times.
"""
import statistics
import sys

# kind: its label in the TOTAL rows, its name in the summary
KINDS = {"photo": ("photos", "photographs"), "harder": ("harder", "harder pictures")}
LINE = ("{pair:<14} {ours:>9} {wimlib:>9} {lzx100:>9} {sw:>7} {s100:>7} | {cpu:>5} {cpu_w:>5} {cw:>5} | "
        "{wall:>5} {wall_w:>5} {ww:>5} | {cpu_1:>5} {wall_1:>5} {c1:>5} {w1:>5} | {kib:>8}  {check}")


def read_rows(path):
    with open(path) as f:
        names = f.readline().split()
        rows = [dict(zip(names, line.split())) for line in f if line.strip()]
    for r in rows:
        for key in ("ours", "wimlib", "lzx100"):
            r[key] = int(r[key])
        for key in ("cpu", "wall", "cpu_w", "wall_w", "cpu_1", "wall_1"):
            r[key] = float(r[key])
    return rows


def ratios(r):
    return {
        "sw": r["ours"] / r["wimlib"], "s100": r["ours"] / r["lzx100"],
        "cw": r["cpu"] / r["cpu_w"], "ww": r["wall"] / r["wall_w"],
        "c1": r["cpu"] / r["cpu_1"], "w1": r["wall"] / r["wall_1"],
    }


def line(pair, r, kib="", check=""):
    q = ratios(r)
    return LINE.format(
        pair=pair, ours=r["ours"], wimlib=r["wimlib"], lzx100=r["lzx100"],
        sw="%.4f" % q["sw"], s100="%.4f" % q["s100"],
        cpu="%.0f" % r["cpu"], cpu_w="%.0f" % r["cpu_w"], cw="%.2f" % q["cw"],
        wall="%.0f" % r["wall"], wall_w="%.0f" % r["wall_w"], ww="%.2f" % q["ww"],
        cpu_1="%.0f" % r["cpu_1"], wall_1="%.0f" % r["wall_1"], c1="%.2f" % q["c1"], w1="%.2f" % q["w1"],
        kib=kib, check=check)


def header():
    print(LINE.format(pair="pair", ours="ours", wimlib="wimlib", lzx100="lzx100", sw="size/w", s100="size/100",
                      cpu="cpu", cpu_w="cpu_w", cw="c/w", wall="wall", wall_w="wal_w", ww="w/w",
                      cpu_1="cpu_1", wall_1="wal_1", c1="c/1", w1="w/1", kib="build KiB", check="check"))


def total(rows):
    keys = ("ours", "wimlib", "lzx100", "cpu", "wall", "cpu_w", "wall_w", "cpu_1", "wall_1")
    return {k: sum(r[k] for r in rows) for k in keys}


def worst(rows, key):
    r = max(rows, key=lambda r: ratios(r)[key])
    return "%.4f (%s)" % (ratios(r)[key], r["pair"]) if key in ("sw", "s100") else "%.2f (%s)" % (ratios(r)[key], r["pair"])


def median(rows, key):
    return statistics.median(ratios(r)[key] for r in rows)


def summary(rows, spreads_path, repeat):
    groups = [(*KINDS[k], [r for r in rows if r["kind"] == k]) for k in KINDS]
    groups = [group for group in groups if group[2]] + [("all", "all pairs", rows)]
    for label, _, g in groups:
        print(line("TOTAL " + label, total(g)))
    for _, name, g in groups:
        t = ratios(total(g))
        print("%s (%d pair%s):" % (name, len(g), "" if len(g) == 1 else "s"))
        print("  size vs wimlib default: total %.4f, worst %s; vs LZX:100: total %.4f, worst %s"
              % (t["sw"], worst(g, "sw"), t["s100"], worst(g, "s100")))
        over = [r["pair"] for r in g if r["ours"] > r["lzx100"]]
        if over:
            print("  larger than LZX:100: " + ", ".join(over))
        print("  CPU time vs wimlib default: median %.2f, worst %s; vs --threads=1: median %.2f, worst %s"
              % (median(g, "cw"), worst(g, "cw"), median(g, "c1"), worst(g, "c1")))
        print("  wall time vs wimlib default: median %.2f, worst %s; vs --threads=1: median %.2f, worst %s"
              % (median(g, "ww"), worst(g, "ww"), median(g, "w1"), worst(g, "w1")))
        slow = [r["pair"] for r in g if ratios(r)["ww"] > 1.2]
        if slow:
            print("  wall time above 1.2x wimlib default: " + ", ".join(slow))
    kib = max((int(r["build_kib"]) for r in rows if r["build_kib"] != "-"), default=0)
    print("peak memory of a whole build: %d KiB (%.1f MiB)" % (kib, kib / 1024))
    with open(spreads_path) as f:
        spreads = [tuple(map(float, l.split())) for l in f if l.strip()]
    cpu = [s[0] for s in spreads]
    wall = [s[1] for s in spreads]
    print("noise: %s runs per figure; (max - min) / median of CPU time: median %.1f%%, worst %.1f%%; "
          "of wall time: median %.1f%%, worst %.1f%%"
          % (repeat, 100 * statistics.median(cpu), 100 * max(cpu), 100 * statistics.median(wall), 100 * max(wall)))


def main(argv):
    if len(argv) >= 2 and argv[0] == "--header":
        header()
    elif len(argv) >= 2 and argv[0] == "--row":
        r = read_rows(argv[1])[-1]
        print(line(r["pair"], r, r["build_kib"], r["check"]))
    elif len(argv) >= 4 and argv[0] == "--summary":
        summary(read_rows(argv[1]), argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
