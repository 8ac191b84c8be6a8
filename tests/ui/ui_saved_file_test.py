#!/usr/bin/env python3
"""The boot screen file that a save through the main window writes, judged by readers we did
not write: check_module.py (pefile and a structure walk), wimlib-imagex and 7-Zip on the WIM
inside it, whose two pictures must be the chosen files byte for byte.

usage: ui_saved_file_test.py --wine RUN --test UI_TEST_EXE --template X86TEMPLATE
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import check, failures, finish, run, wine_path  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--wine", required=True)
parser.add_argument("--test", required=True)
parser.add_argument("--template", required=True)
args = parser.parse_args()

with tempfile.TemporaryDirectory() as work:
    env = dict(os.environ, MARIVANE_UI_SAVE_DIR=wine_path(work))
    status, text = run([args.wine, args.test, "--gtest_filter=SaveCommand.WritesTheFileChosenInTheSaveDialog"], env=env)
    saved = os.path.join(work, "boot-screen")
    if check(status == 0 and os.path.exists(saved), f"the save through the window failed:\n{text}"):
        failures.extend(boot_screen_checks.judge(
            "saved", saved, os.path.join(work, "small.bmp"), os.path.join(work, "big.bmp"),
            os.path.getsize(args.template), work))

finish("ok", "{} failures")
