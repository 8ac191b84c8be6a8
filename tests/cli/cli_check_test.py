#!/usr/bin/env python3
"""marivane-cli check, run as a user would: one line per file, exit status 0, 1 or 2; and build's
refusals of the same pictures.

usage: cli_check_test.py CLI [WINE_RUN]   (with WINE_RUN the CLI is a Windows program)
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import bitmap, failures, finish, host_path_for  # noqa: E402

cli = sys.argv[1]
wine_run = sys.argv[2] if len(sys.argv) > 2 else None
host_path = host_path_for(wine_run)


def run(*args):
    command = ([wine_run, cli] if wine_run else [cli]) + list(args)
    done = subprocess.run(command, capture_output=True, text=True)
    return done.returncode, done.stdout.replace("\r\n", "\n"), done.stderr.replace("\r\n", "\n")


def expect(name, actual, expected):
    if actual != expected:
        failures.append(f"{name}:\n  expected {expected!r}\n  got      {actual!r}")


with tempfile.TemporaryDirectory() as folder:
    files = {
        "small.bmp": bitmap(800, 600),
        "big.bmp": bitmap(1024, 768),
        "deep.bmp": bitmap(800, 600, bits=32),
        "short.bmp": bitmap(800, 600)[:10],
        "photo.jpg": b"\xff\xd8\xff",
    }
    paths = {}
    for name, content in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)
        paths[name] = host_path(os.path.join(folder, name))

    status, out, _ = run("check", paths["small.bmp"], paths["big.bmp"], paths["deep.bmp"])
    expect("valid pictures: status", status, 0)
    expect("valid pictures: lines", out.splitlines(), [
        f"{paths['small.bmp']}: bitmap 800x600 24-bit small=valid big=rejected",
        f"{paths['big.bmp']}: bitmap 1024x768 24-bit small=rejected big=valid",
        f"{paths['deep.bmp']}: bitmap 800x600 32-bit small=rejected big=rejected",
    ])

    missing = host_path(os.path.join(folder, "missing.bmp"))
    status, out, _ = run("check", paths["short.bmp"], paths["photo.jpg"], missing, paths["small.bmp"])
    lines = out.splitlines()
    expect("failed loads: status", status, 1)
    expect("failed loads: line count", len(lines), 4)
    expect("cut short", lines[0], f"{paths['short.bmp']}: error: Stream read error.")
    expect("unlisted extension", lines[1], f"{paths['photo.jpg']}: error: Unknown picture file extension (.jpg); "
                                           "it is a JPEG picture, which marivane-cli prepare turns into a bitmap for a slot")
    expect("missing file", lines[2].startswith(f"{missing}: error: Cannot open file \"{missing}\". "), True)
    expect("later files still checked", lines[3].endswith("small=valid big=rejected"), True)

    # build names each picture it refuses as check does, points a photo or a bitmap of
    # another size to --prepare and says when the two were swapped; it writes nothing.
    prepare = "Add --prepare to frame any picture for its slot."
    for pictures, said in (
            (["big.bmp", "small.bmp"], [f"The 1024 x 768 picture was given first: give {paths['small.bmp']} "
                                        f"(800 x 600) first, then {paths['big.bmp']} (1024 x 768)."]),
            (["photo.jpg", "big.bmp"], [f"{paths['photo.jpg']} (a JPEG picture): Unknown picture file extension (.jpg)",
                                        prepare]),
            (["small.bmp", "deep.bmp"], [f"{paths['deep.bmp']} (bitmap 800x600 32-bit): The image you selected is "
                                         "not valid - it must be 1024 x 768 24-bit colour.", prepare]),
            (["short.bmp", "big.bmp"], [f"{paths['short.bmp']}: Stream read error."])):
        out = os.path.join(folder, "out.mui")
        status, text, error = run("build", *(paths[name] for name in pictures), "-o", host_path(out))
        expect(f"build {pictures}", (status, (text + error).splitlines()), (1, said))
        expect(f"build {pictures}: written", os.path.exists(out), False)

    for args in (["check"], ["frobnicate"], []):
        status, out, err = run(*args)
        expect(f"usage {args}: status", status, 2)
        # Under Wine both streams arrive as one.
        expect(f"usage {args}: says how", "usage: marivane-cli" in out + err, True)

finish()
