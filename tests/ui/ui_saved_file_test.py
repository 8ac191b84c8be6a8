#!/usr/bin/env python3
"""The boot screen file that a save through the main window writes, judged by readers we did
not write: check_module.py (pefile and a structure walk), wimlib-imagex and 7-Zip on the WIM
inside it, whose two pictures must be the chosen files byte for byte.

usage: ui_saved_file_test.py --wine RUN --test UI_TEST_EXE --template X86TEMPLATE --check-module PY
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SLOT_OFFSET, SLOT_SIZE, SIZE_FIELD = 1108, 3799408, 828

parser = argparse.ArgumentParser()
parser.add_argument("--wine", required=True)
parser.add_argument("--test", required=True)
parser.add_argument("--template", required=True)
parser.add_argument("--check-module", required=True)
args = parser.parse_args()
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    return result.returncode, result.stdout


with tempfile.TemporaryDirectory() as work:
    # Wine sees the Linux root as drive Z:.
    env = dict(os.environ, MARIVANE_UI_SAVE_DIR="Z:" + work.replace("/", "\\"))
    status, text = run([args.wine, args.test, "--gtest_filter=SaveCommand.WritesTheFileChosenInTheSaveDialog"], env=env)
    saved = os.path.join(work, "boot-screen")
    if check(status == 0 and os.path.exists(saved), f"the save through the window failed:\n{text}"):
        data = open(saved, "rb").read()
        check(len(data) == os.path.getsize(args.template) + SLOT_SIZE, f"size {len(data)}")
        wim_size = struct.unpack_from("<I", data, SIZE_FIELD)[0]
        status, text = run([sys.executable, args.check_module, saved, str(wim_size)])
        check(status == 0, f"check_module.py:\n{text}")
        wim = os.path.join(work, "rcdata.wim")
        with open(wim, "wb") as f:
            f.write(data[SLOT_OFFSET:SLOT_OFFSET + wim_size])
        status, text = run(["wimlib-imagex", "verify", wim])
        check(status == 0, f"wimlib-imagex verify:\n{text}")
        status, text = run(["7zz", "t", wim])
        check(status == 0 and "WARNING" not in text, f"7zz t:\n{text}")
        status, text = run(["wimlib-imagex", "info", wim])
        check(status == 0 and "Boot Index: 1" in " ".join(text.split()), f"image 1 is not the boot image:\n{text}")
        applied = os.path.join(work, "applied")
        status, text = run(["wimlib-imagex", "apply", wim, "1", applied])
        if check(status == 0, f"wimlib-imagex apply:\n{text}"):
            for inside, chosen in (("osload800x600.bmp", "small.bmp"), ("osload1024x768.bmp", "big.bmp")):
                got = open(os.path.join(applied, inside), "rb").read()
                want = open(os.path.join(work, chosen), "rb").read()
                check(got == want, f"{inside} is not {chosen} byte for byte")

for failure in failures:
    print(failure)
print("ok" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
