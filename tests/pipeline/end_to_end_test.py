#!/usr/bin/env python3
"""The whole road from two bitmaps to a boot screen file, through marivane-cli build, judged
by readers we did not write: pefile (with our structure walk), wimlib-imagex, 7-Zip, and, when
a Wine runner is given, Wine's own resource loader.

usage: end_to_end_test.py --bin DIR [--wine RUN] [--probe DIR --probe-wine RUN]
  --bin         folder with marivane-cli(.exe) and x86template
  --wine        run the Windows command-line tool through this script
  --probe       folder with resource_probe.exe, run through --probe-wine, to ask Wine's loader
"""
import argparse
import hashlib
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import bitmap, check, cli_command, failures, finish, host_path_for, run  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--bin", required=True)
parser.add_argument("--wine")
parser.add_argument("--probe")
parser.add_argument("--probe-wine")
args = parser.parse_args()
bin_dir, wine_run = args.bin, args.wine
probe_dir = args.probe if args.probe and os.path.exists(os.path.join(args.probe, "resource_probe.exe")) else None
cli = os.path.join(bin_dir, "marivane-cli.exe" if wine_run else "marivane-cli")
template_size = os.path.getsize(os.path.join(bin_dir, "x86template"))
host_path = host_path_for(wine_run)


def photo_like(width, height):
    # Smooth gradients with a little noise: compressible, but not trivially.
    rng = random.Random(width)
    noise = [rng.randrange(8) for _ in range(4096)]
    return bitmap(width, height, lambda x, y: (
        (x * 255 // width + noise[(x * 7 + y) % 4096]) & 255,
        (y * 255 // height + noise[(x + y * 13) % 4096]) & 255,
        ((x + y) * 127 // (width + height) + noise[(x * y) % 4096]) & 255))


def noise(width, height, seed):
    rng = random.Random(seed)
    raw = rng.randbytes(width * height * 3)
    return bitmap(width, height, lambda x, y: raw[(y * width + x) * 3:(y * width + x) * 3 + 3])


def build(small, big, out, temp):
    arguments = ["build", host_path(small), host_path(big), "-o", host_path(out), "--force"]
    return run(*cli_command(cli, wine_run, arguments, temp))


def sha1(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def working_folders(temp):
    # The Windows tool works in temp/mrvn; the Linux one in a private temp/mrvn-XXXXXX of its
    # own, where a mrvn planted by someone else neither stops it nor is touched.
    return sorted(n for n in os.listdir(temp) if n.startswith("mrvn") and n != planted)


def judge(name, out, small, big, work):
    probe = (args.probe_wine, os.path.join(probe_dir, "resource_probe.exe")) if probe_dir else None
    failures.extend(boot_screen_checks.judge(name, out, small, big, template_size, work, probe))


with tempfile.TemporaryDirectory() as work:
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    planted = None if wine_run else "mrvn"
    if planted:
        os.mkdir(os.path.join(temp, planted))
        open(os.path.join(temp, planted, "theirs"), "wb").write(b"theirs")
        os.chmod(os.path.join(temp, planted), 0o555)
    pairs = {
        "photo": (photo_like(800, 600), photo_like(1024, 768)),
        "flat": (bitmap(800, 600, lambda x, y: (0, 0, 0)), bitmap(1024, 768, lambda x, y: (40, 90, 200))),
    }
    for name, (small_bytes, big_bytes) in pairs.items():
        small = os.path.join(work, name + "-small.bmp")
        big = os.path.join(work, name + "-big.bmp")
        open(small, "wb").write(small_bytes)
        open(big, "wb").write(big_bytes)
        before = (sha1(small), sha1(big))
        out = os.path.join(work, name + ".mui")
        # Twice in a row: the second run starts from the same files, not from the first's.
        for attempt in (1, 2):
            status, text = build(small, big, out, temp)
            if check(status == 0, f"{name} #{attempt}: build failed ({status}):\n{text}"):
                judge(f"{name}{attempt}", out, small, big, work)
            # The tool's own report, not the window's box.
            check("of the slot's 3799408 bytes" in text and "File saved" not in text, f"{name}: report:\n{text}")
            check(not working_folders(temp), f"{name}: working folder left")
        check((sha1(small), sha1(big)) == before, f"{name}: an input bitmap was changed")

    # A copy that fails is said in the tool's words too; the working folder goes all the same.
    status, text = build(small, big, os.path.join(work, "missing", "out.mui"), temp)
    check(status == 1 and "Unable to write" in text and "Unable to save" not in text, f"copy failed ({status}):\n{text}")
    check(not working_folders(temp), "copy failed: working folder left")

    # Noise does not compress: the WIM is over the slot, nothing is written, the shared working
    # folder stays for a look, and the inputs are as they were.
    small = os.path.join(work, "noise-small.bmp")
    big = os.path.join(work, "noise-big.bmp")
    open(small, "wb").write(noise(800, 600, 1))
    open(big, "wb").write(noise(1024, 768, 2))
    before = (sha1(small), sha1(big))
    out = os.path.join(work, "noise.mui")
    status, text = build(small, big, out, temp)
    check(status == 1, f"noise: status {status}")
    check("The generated WIM is too big to add as a resource!" in text, f"noise: no size message:\n{text}")
    check("bytes over the 3799408-byte slot" in text, f"noise: no overshoot:\n{text}")
    check(not os.path.exists(out), "noise: a file was written")
    # A private one goes whatever happened: no later run would clear it.
    check(working_folders(temp) == ([] if planted else ["mrvn"]), f"noise: working folders {working_folders(temp)}")
    check((sha1(small), sha1(big)) == before, "noise: an input bitmap was changed")
    if planted:
        check(open(os.path.join(temp, planted, "theirs"), "rb").read() == b"theirs", "the planted folder was touched")
        os.chmod(os.path.join(temp, planted), 0o755)

finish()
