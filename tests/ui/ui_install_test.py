#!/usr/bin/env python3
"""Install and restore from the window with the real marivane-cli.exe, through to their messages:
in a Wine prefix of the test's own with a planted System32\\winload.exe, its en-US original
and a stand-in bcdedit.exe, the window saves a boot screen file on its default template (the
planted file) and installs it (under Wine "runas" starts the command without a prompt; where the
command could not tell, the window asks and the test answers Yes). The file in place must then
be the saved one, the original kept in the backup, and the last box the command's message of
success; Restore must put the original back byte for byte, with its message.

usage: ui_install_test.py --wine RUN --test UI_TEST_EXE --bcdedit BCDEDIT.EXE
"""
import argparse
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
from harness import check, finish, run, wine_path  # noqa: E402
from mui_source import boot_loader_pair  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--wine", required=True)
parser.add_argument("--test", required=True)
parser.add_argument("--bcdedit", required=True)
args = parser.parse_args()

INFORMATION, WARNING = "2", "3"  # TIcon's values, as the UI test reports a box's icon
LOADER, ORIGINAL = boot_loader_pair()


def boxes(step, env):
    """[(caption, icon, text)] of the boxes the window showed in `step`."""
    status, text = run([args.wine, args.test, "--gtest_filter=InstallCommand.RunsTheRealCommandInAPlantedPrefix"],
                       env=dict(env, MARIVANE_UI_REAL_COMMAND=step))
    check(status == 0, f"{step}: the UI test failed ({status}):\n{text}")
    return [tuple(line[7:].split("|", 2)) for line in text.splitlines() if line.startswith("@@ box ")]


with tempfile.TemporaryDirectory() as work:
    env = dict(os.environ, WINE_RUN_PREFIX=os.path.join(work, "prefix"), MARIVANE_UI_SAVE_DIR=wine_path(work),
               MARIVANE_BCDEDIT_LOG=wine_path(os.path.join(work, "bcdedit.log")))
    status, text = run([args.wine, "cmd", "/c", "exit"], env=env)
    system32 = os.path.join(work, "prefix", "drive_c", "windows", "system32")
    if not check(status == 0 and os.path.isdir(system32), f"no Wine prefix ({status}):\n{text}"):
        finish()
    target = os.path.join(system32, "en-US", "winload.exe.mui")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    open(os.path.join(system32, "winload.exe"), "wb").write(LOADER)
    open(target, "wb").write(ORIGINAL)
    shutil.copy(args.bcdedit, os.path.join(system32, "bcdedit.exe"))

    seen = boxes("install", env)
    saved = os.path.join(work, "winload.exe.mui")
    check(os.path.exists(saved) and open(target, "rb").read() == open(saved, "rb").read(),
          f"the file in place is not the one saved; the window showed {seen}")
    backup = os.path.join(work, "prefix", "drive_c", "ProgramData", "Marivane", "Backup", "en-US")
    check(os.path.exists(os.path.join(backup, "winload.exe.mui")) and
          open(os.path.join(backup, "winload.exe.mui"), "rb").read() == ORIGINAL, "the original was not kept")
    check(len(seen) >= 2 and seen[-1][:2] == ("Install Boot Screen", INFORMATION) and "RESTORE.CMD" in seen[-1][2],
          f"the install ended with {seen[-1:]}")
    # Wine has no catalogs: whether Windows vouches for the file in place cannot be told, so the
    # window must have asked, in its own words.
    check(any(box[:2] == ("Install Boot Screen", WARNING) and box[2].endswith("Install it all the same?") and
              "--force" not in box[2] for box in seen), f"the window did not ask: {seen}")

    seen = boxes("restore", env)
    check(open(target, "rb").read() == ORIGINAL, "the original is not back")
    check(len(seen) == 1 and seen[0][:2] == ("Restore Original Boot Screen", INFORMATION),
          f"the restore showed {seen}")

finish()
