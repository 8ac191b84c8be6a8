#!/usr/bin/env python3
"""Reading boot screen files back against wimlib-imagex (a benchmark, not a test).

    tools/bench/read_back.py BUILD_DIR

Each photograph of mate-backgrounds' nature set is prepared for both slots and built into a
boot screen file by BUILD_DIR's marivane-cli (configured as an optimised build without
sanitizers when it has none yet). Then, on each file, in turn, BENCH_REPEAT times (default 5):
  - `marivane-cli extract FILE -o DIR --force`: the whole inspection (module, MUI
    configuration, the WIM and its checksums, both pictures decoded as the slots decode them)
    and the two pictures written;
  - `marivane-cli inspect FILE`: the inspection alone;
  - `wimlib-imagex apply WIM 1 DIR`, at its defaults, on the same WIM cut out of the file.
Times are those of each whole process, start-up included: CPU (user + system, all threads) and
wall. A ratio below 1 means ours took less time than wimlib's apply. Per file the median of the
runs' ratios, each run of ours paired with the wimlib run after it; then the median and the
worst over the files, and how far the runs of one figure spread (the noise).
"""
import glob
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CPUTIME = os.path.join(REPO, "tools", "bench", "cputime.py")
PHOTOS = "/usr/share/backgrounds/mate/nature"
SLOT_OFFSET, SIZE_FIELD = 1108, 828


def timed(command):
    """(CPU ms, wall ms) of one whole run of `command`."""
    done = subprocess.run([sys.executable, CPUTIME] + command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"bench: {' '.join(command)} failed ({done.returncode})")
    cpu, wall = done.stdout.split()
    return float(cpu), float(wall)


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} BUILD_DIR")
    build = os.path.abspath(sys.argv[1])
    repeat = int(os.environ.get("BENCH_REPEAT", "5"))
    photos = sorted(glob.glob(os.path.join(PHOTOS, "*.jpg")))
    if not photos or not shutil.which("wimlib-imagex"):
        sys.exit(f"bench: needs wimlib-imagex and the photographs in {PHOTOS} (tools/setup.sh bench)")
    cli = os.path.join(build, "bin", "marivane-cli")
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DMARIVANE_SANITIZE=OFF",
                        "-DMARIVANE_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "marivane-cli", "x86template", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)

    files = os.path.join(build, "bench-read-back")
    os.makedirs(files, exist_ok=True)
    work = tempfile.mkdtemp()
    rows = []
    try:
        env = dict(os.environ, TEMP=work)
        for photo in photos:
            name = os.path.splitext(os.path.basename(photo))[0]
            module, wim = os.path.join(files, name + ".mui"), os.path.join(files, name + ".wim")
            if not os.path.exists(wim):
                pictures = [os.path.join(work, f"{name}-{slot}.bmp") for slot in ("small", "big")]
                for slot, picture in zip(("small", "big"), pictures):
                    subprocess.run([cli, "prepare", photo, "--slot", slot, "-o", picture, "--force"], check=True,
                                   stdout=subprocess.DEVNULL, env=env)
                subprocess.run([cli, "build", *pictures, "-o", module, "--force"], check=True,
                               stdout=subprocess.DEVNULL, env=env)
                data = open(module, "rb").read()
                size = struct.unpack_from("<I", data, SIZE_FIELD)[0]
                with open(wim, "wb") as out:
                    out.write(data[SLOT_OFFSET:SLOT_OFFSET + size])
            ours_out, theirs_out = os.path.join(work, "ours"), os.path.join(work, "theirs")
            os.makedirs(ours_out, exist_ok=True)
            runs = {"extract": [], "inspect": [], "apply": []}
            for _ in range(repeat):
                runs["extract"].append(timed([cli, "extract", module, "-o", ours_out, "--force"]))
                runs["inspect"].append(timed([cli, "inspect", module]))
                shutil.rmtree(theirs_out, ignore_errors=True)
                runs["apply"].append(timed(["wimlib-imagex", "apply", wim, "1", theirs_out]))
            for picture in ("osload800x600.bmp", "osload1024x768.bmp"):
                if open(os.path.join(ours_out, picture), "rb").read() != open(os.path.join(theirs_out, picture), "rb").read():
                    sys.exit(f"bench: {name}: {picture} differs from wimlib-imagex apply's")
            rows.append((name, os.path.getsize(wim), runs))
    finally:
        shutil.rmtree(work)

    def ratio(runs, ours, kind):  # kind 0: CPU, 1: wall; paired run by run
        return statistics.median(a[kind] / b[kind] for a, b in zip(runs[ours], runs["apply"]))

    def spread(values):
        middle = statistics.median(values)
        return (max(values) - min(values)) / middle if middle else 0.0

    print(f"{'file':<22} {'WIM bytes':>9} | {'extract':>7} {'inspect':>7} {'apply':>7} ms CPU | "
          f"{'extract':>7} {'inspect':>7} {'apply':>7} ms wall | ext/app cpu wall | ins/app cpu wall")
    table = {key: [] for key in ("ec", "ew", "ic", "iw")}
    spreads = []
    for name, size, runs in rows:
        med = {k: [statistics.median(r[i] for r in v) for i in (0, 1)] for k, v in runs.items()}
        figures = {"ec": ratio(runs, "extract", 0), "ew": ratio(runs, "extract", 1),
                   "ic": ratio(runs, "inspect", 0), "iw": ratio(runs, "inspect", 1)}
        for key, value in figures.items():
            table[key].append(value)
        spreads += [spread([r[i] for r in v]) for v in runs.values() for i in (0, 1)]
        print(f"{name:<22} {size:>9} | {med['extract'][0]:>7.1f} {med['inspect'][0]:>7.1f} {med['apply'][0]:>7.1f}"
              f"        | {med['extract'][1]:>7.1f} {med['inspect'][1]:>7.1f} {med['apply'][1]:>7.1f}"
              f"         |     {figures['ec']:>5.2f} {figures['ew']:>5.2f} |     {figures['ic']:>5.2f} {figures['iw']:>5.2f}")
    for label, cpu, wall in (("extract (inspect + write)", "ec", "ew"), ("inspect alone", "ic", "iw")):
        print(f"{label} vs wimlib-imagex apply: CPU median {statistics.median(table[cpu]):.2f}, worst "
              f"{max(table[cpu]):.2f}; wall median {statistics.median(table[wall]):.2f}, worst {max(table[wall]):.2f}")
    print(f"noise: {repeat} runs per figure; (max - min) / median: median {100 * statistics.median(spreads):.1f}%, "
          f"worst {100 * max(spreads):.1f}%")


if __name__ == "__main__":
    main()
