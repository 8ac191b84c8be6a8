#!/usr/bin/env python3
"""marivane-cli install, restore and status on a Windows laid out by the test: on Linux a
folder laid out as a Windows partition (--windows), under Wine a prefix of the test's own with
a planted System32\\winload.exe, its en-US\\winload.exe.mui and a stand-in bcdedit.exe. One
table of rows, each from a fresh tree: install then restore gives the original back byte for
byte; a second install keeps the first backup; the gate's refusals change nothing; a failing
bcdedit leaves the file installed and says how to set quiet boot by hand; a failure injected at
each step leaves the old file; a journal left by a stopped run is finished or undone. Then
kills before every step of an install, a second install and a restore: the system file is
always the old or the new file whole, the backup whole or absent, and the next run ends the
work.

usage: cli_install_test.py CLI --faults CLI_WITH_SWITCHES [--wine RUN --bcdedit BCDEDIT.EXE]
"""
import argparse
import hashlib
import os
import shutil
import struct
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import harness  # noqa: E402
from harness import bitmap, check, finish, host_path_for  # noqa: E402
from mui_source import (LOADER_CODE, RT_VERSION, SUBSYSTEM_BOOT_APPLICATION, boot_loader_pair,  # noqa: E402
                        build_module, default_checksums, version_info)

parser = argparse.ArgumentParser()
parser.add_argument("cli")
parser.add_argument("--faults", required=True)
parser.add_argument("--wine")
parser.add_argument("--bcdedit")
args = parser.parse_args()
host = host_path_for(args.wine)
work = tempfile.mkdtemp(prefix="marivane-install-")
prefix = os.path.join(work, "prefix")


def run(program, *arguments, env=None):
    environment = dict(os.environ, **(env or {}))
    if args.wine:
        environment["WINE_RUN_PREFIX"] = prefix
        return harness.run([args.wine, program] + list(arguments), env=environment)
    return harness.run([program] + list(arguments), env=environment)


def sha(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data)
    return path


class Tree:
    """The Windows the commands work on: its System32, its ProgramData, what names it."""

    def __init__(self, windows="Windows"):
        if args.wine:
            self.root = os.path.join(prefix, "drive_c")
            self.system = os.path.join(self.root, "windows", "system32")
            self.options = []
        else:
            self.root = os.path.join(work, "partition")
            shutil.rmtree(self.root, ignore_errors=True)
            self.system = os.path.join(self.root, windows, "System32")
            self.options = ["--windows", host(self.root)]
        self.target = os.path.join(self.system, "en-US", "winload.exe.mui")
        self.backup = os.path.join(self.root, "ProgramData", "Marivane", "Backup", "en-US")
        shutil.rmtree(os.path.join(self.root, "ProgramData", "Marivane"), ignore_errors=True)
        os.makedirs(os.path.join(self.root, "ProgramData"), exist_ok=True)
        self.plant(LOADER, ORIGINAL)
        if args.wine:
            shutil.copy(args.bcdedit, os.path.join(self.system, "bcdedit.exe"))

    def plant(self, loader, original):
        write(os.path.join(self.system, "winload.exe"), loader)
        write(self.target, original)

    def snapshot(self):
        """Every file under System32's en-US and the backup, with its content's digest."""
        files = {}
        for top in (os.path.dirname(self.target), os.path.join(self.root, "ProgramData", "Marivane")):
            for folder, _, names in os.walk(top):
                for name in names:
                    files[os.path.join(folder, name)] = sha(os.path.join(folder, name))
        return files

    def cli(self, command, *arguments, program=None, env=None):
        return run(program or args.cli, command, *arguments, *self.options, env=env)

    def install(self, path, *extra, **kwargs):
        return self.cli("install", host(path), "--language", "en-US", *extra, **kwargs)

    def restore(self, **kwargs):
        return self.cli("restore", "en-US", **kwargs)

    def backup_state(self):
        """"complete", "absent", or what is wrong: a record whose original differs."""
        record = os.path.join(self.backup, "original.txt")
        if not os.path.exists(record):
            return "absent"
        fields = dict(line.split("=", 1) for line in open(record).read().splitlines()[1:])
        kept = os.path.join(self.backup, "winload.exe.mui")
        return "complete" if os.path.exists(kept) and sha(kept) == fields["sha256"] else "torn"


# --- The files: this Windows' pair, and boot screen files built on it and on others ---

LOADER, ORIGINAL = boot_loader_pair()
os.makedirs(prefix if args.wine else work, exist_ok=True)


def plain(width, height, colour):
    """A 24-bit bitmap of one colour (rows of 800 and 1024 pixels need no padding)."""
    empty = bitmap(width, height)
    return empty[:54] + bytes(colour) * (width * height)


def built(name, language_file, colour):
    """A boot screen file made by `template` and `build`, as a user makes one."""
    small = write(os.path.join(work, name + "-s.bmp"), plain(800, 600, colour))
    big = write(os.path.join(work, name + "-b.bmp"), plain(1024, 768, colour))
    out = os.path.join(work, name + ".mui")
    if language_file is None:
        status, text = run(args.cli, "build", host(small), host(big), "-o", host(out))
    else:
        source = write(os.path.join(work, name + ".source"), language_file)
        template = os.path.join(work, name + ".template")
        status, text = run(args.cli, "template", host(source), "-o", host(template))
        check(status == 0, f"template {name}: {text}")
        status, text = run(args.cli, "build", host(small), host(big), "--template", host(template), "-o", host(out))
    check(status == 0, f"build {name}: {text}")
    return out


FIRST = built("first", ORIGINAL, (10, 20, 40))
SECOND = built("second", ORIGINAL, (200, 100, 0))
BUILT_IN = built("builtin", None, (1, 2, 3))
GERMAN = built("german", boot_loader_pair(0x407, "de-DE")[1], (9, 9, 9))
DAMAGED = os.path.join(work, "damaged.mui")
with open(FIRST, "rb") as file:
    data = bytearray(file.read())
# The WIM's header sits at the slot's start (1108): a broken signature breaks the archive.
data[1108:1116] = b"XXXXXXXX"
write(DAMAGED, bytes(data))
other_service = (b"\x77" * 16, default_checksums(0x5A)[1])
SERVICE_LOADER = boot_loader_pair(loader_checksums=other_service)[0]
NEWER_LOADER = boot_loader_pair(loader_version=(6, 0, 6001, 18000))[0]
# A boot loader without a MUI configuration: whether a file pairs with it cannot be told.
UNTOLD_LOADER = build_module([(RT_VERSION, 1, 0x409, version_info(0x409))], code=LOADER_CODE, coff_flags=0x0102,
                             subsystem=SUBSYSTEM_BOOT_APPLICATION)[0]


def contents(path):
    with open(path, "rb") as file:
        return file.read()


def no_leftovers(tree, row):
    check(not os.path.exists(tree.target + ".marivane-new"), f"{row}: a .marivane-new is left")
    check(not os.path.exists(os.path.join(tree.backup, "journal.txt")), f"{row}: a journal is left")


# --- The table ---

def row_install_then_restore(windows="Windows"):
    row = f"install then restore ({windows})"
    tree = Tree(windows)
    result = os.path.join(work, "result.txt")
    bcdedit_log = os.path.join(work, "bcdedit.log")
    if os.path.exists(bcdedit_log):
        os.remove(bcdedit_log)
    env = {"MARIVANE_BCDEDIT_LOG": host(bcdedit_log)}
    status, text = tree.install(FIRST, "--result", host(result), env=env)
    # Nothing vouches for the planted file: the first install asks for --force.
    check(status == 1 and "cannot be shown to be Windows' own" in text and "Give --force" in text,
          f"{row}: first install without --force: {status} {text}")
    check(contents(result).decode().startswith("refused\n1\n"), f"{row}: result of the refusal")
    status, text = tree.install(FIRST, "--force", "--result", host(result), env=env)
    check(status == 0 and contents(tree.target) == contents(FIRST), f"{row}: install: {status} {text}")
    lines = contents(result).decode().replace("\r\n", "\n")
    check(lines.startswith("done\n0\n") and "is installed: it is now" in lines, f"{row}: result {lines!r}")
    check("RESTORE.CMD" in text and "marivane-cli restore en-US --windows MOUNTPOINT" in text and
          "for %d in (C D E F G H) do @if exist %d:\\ProgramData\\Marivane\\Backup\\en-US\\RESTORE.CMD" in text,
          f"{row}: the way back is not said: {text}")
    if args.wine:
        check(os.path.exists(bcdedit_log) and contents(bcdedit_log).decode().split("\n")[0] == "/set\t{current}\tquietboot\ton\t",
              f"{row}: bcdedit was not asked to turn quiet boot on: {text}")
        check("Quiet boot is now on" in text, f"{row}: quiet boot: {text}")
    else:
        check("at the next start of Windows run bcdedit /set {current} quietboot on" in text,
              f"{row}: quiet boot offline: {text}")
    check(tree.backup_state() == "complete" and contents(os.path.join(tree.backup, "winload.exe.mui")) == ORIGINAL,
          f"{row}: backup {tree.backup_state()}")
    status, text = tree.cli("status")
    check(status == 0 and "en-US: in place: a boot screen file, good" in text and
          "backup: complete, for this winload.exe (6.0.6000.16386)" in text, f"{row}: status {text}")
    status, text = tree.restore()
    check(status == 0 and contents(tree.target) == ORIGINAL and "back at" in text, f"{row}: restore: {status} {text}")
    if args.wine:
        # Wine keeps no descriptor of its own: it reports one made from the Unix mode, which the
        # DACL set maps onto. What a new first install records of the restored file must be
        # what the first one recorded of the original.
        record = os.path.join(tree.backup, "original.txt")
        kept = [line for line in open(record) if line.startswith("security=")]
        shutil.rmtree(tree.backup)
        tree.install(FIRST, "--force")
        again = [line for line in open(record) if line.startswith("security=")]
        check(kept == again and kept[0].startswith("security=sddl:O:"), f"{row}: security {kept} then {again}")
        tree.restore()
    status, text = tree.cli("status")
    check("en-US: in place: Windows' own (the original the backup keeps)" in text, f"{row}: status after {text}")
    no_leftovers(tree, row)


def row_second_install_keeps_backup():
    row = "second install"
    tree = Tree()
    tree.install(FIRST, "--force")
    kept = tree.snapshot()[os.path.join(tree.backup, "winload.exe.mui")]
    status, text = tree.install(SECOND)  # the backup is there: no --force needed
    check(status == 0 and contents(tree.target) == contents(SECOND), f"{row}: {status} {text}")
    check("The original kept by the first install stays in" in text, f"{row}: {text}")
    check(sha(os.path.join(tree.backup, "winload.exe.mui")) == kept, f"{row}: the backup was overwritten")
    if args.wine:
        # Where the record says Windows vouched for the original, a restore asks again; Wine
        # has no catalogs, so it cannot be told, and the restore says so and goes on.
        record = os.path.join(tree.backup, "original.txt")
        lines = [("signature=Microsoft (kept)" if line.startswith("signature=") else line)
                 for line in open(record).read().splitlines()]
        write(record, ("\n".join(lines) + "\n").encode())
    status, text = tree.restore()
    check(status == 0 and contents(tree.target) == ORIGINAL, f"{row}: restore {status} {text}")
    check(("Whether Windows still vouches for the kept original cannot be told "
           "(this Windows has no catalog files)." in text) == bool(args.wine), f"{row}: restore said {text}")


def row_untrusted_backup():
    """A backup whose files and folders someone other than an administrator may change (here:
    every descriptor the tree reports, judged as if kept) is neither restored nor kept."""
    row = "untrusted backup"
    tree = Tree()
    tree.install(FIRST, "--force")
    before = tree.snapshot()
    env = {"MARIVANE_JUDGE_SECURITY": "1"}
    for status, text in (tree.restore(program=args.faults, env=env),
                         tree.install(SECOND, program=args.faults, env=env)):
        check(status == 1 and "en-US can be changed by users who are not administrators (" in text and
              "so it cannot be trusted. Check what it holds, then move that folder elsewhere" in text,
              f"{row}: {status} {text}")
    check(tree.snapshot() == before, f"{row}: something changed")


def row_refused(name, path, words, loader=LOADER):
    row = f"refused: {name}"
    tree = Tree()
    tree.plant(loader, ORIGINAL)
    before = tree.snapshot()
    status, text = tree.install(path, "--force")
    check(status == 1 and words in text, f"{row}: {status} {text}")
    check(tree.snapshot() == before, f"{row}: something changed")


def row_every_doubt_at_once():
    # A yes to one doubt must not let another through unseen: without --force both are named.
    row = "every doubt named at once"
    tree = Tree()
    tree.plant(UNTOLD_LOADER, ORIGINAL)
    before = tree.snapshot()
    status, text = tree.install(FIRST)
    check(status == 1 and "pairs with the boot loader" in text and "cannot be told" in text and
          "cannot be shown to be Windows' own" in text and text.count("Give --force") == 1, f"{row}: {status} {text}")
    check(tree.snapshot() == before, f"{row}: something changed")


def row_failing_bcdedit():
    row = "failing bcdedit"
    tree = Tree()
    status, text = tree.install(FIRST, "--force", env={"MARIVANE_BCDEDIT_EXIT": "1"})
    check(status == 0 and contents(tree.target) == contents(FIRST), f"{row}: {status} {text}")
    check("Quiet boot could not be turned on (bcdedit ended with exit status 1)" in text and
          "Turn it on by hand: run bcdedit /set {current} quietboot on in an administrator Command Prompt, "
          "or tick \"No GUI boot\" on the Boot tab of msconfig." in text, f"{row}: {text}")


def row_after_update(command):
    """An update has replaced winload.exe and its language file since the first install: the
    backup belongs to the old ones, so neither a restore nor an install may go on."""
    row = f"{command} after an update"
    tree = Tree()
    tree.install(FIRST, "--force")
    newer_loader, newer_original = boot_loader_pair(version=(6, 0, 6001, 18000))
    tree.plant(newer_loader, newer_original)
    before = tree.snapshot()
    status, text = tree.restore() if command == "restore" else tree.install(SECOND, "--force")
    check(status == 1 and "an update has since put winload.exe 6.0.6001.18000 in its place" in text,
          f"{row}: {status} {text}")
    check(tree.snapshot() == before, f"{row}: something changed")


def row_failure_at(step):
    row = f"failure at {step}"
    tree = Tree()
    status, text = tree.install(FIRST, "--force", program=args.faults, env={"MARIVANE_FAIL_STEP": step})
    replacing = step not in ("backup-original", "restore-script", "backup-record")
    check(status == 1 and f"injected failure at {step}" in text, f"{row}: {status} {text}")
    check(contents(tree.target) == ORIGINAL, f"{row}: the old file was not left")
    check(tree.backup_state() == ("complete" if replacing else "absent"), f"{row}: backup {tree.backup_state()}")
    if replacing:
        check(f'The step "{step}" failed' in text and "is as it was" in text, f"{row}: {text}")
    no_leftovers(tree, row)


def row_stopped_run(kill_before, expect_new):
    """A run killed before `kill_before`; the next status sees its journal, the next install
    finishes (the rename was made) or undoes it."""
    row = f"journal of a run killed before {kill_before}"
    tree = Tree()
    status, text = tree.install(FIRST, "--force", program=args.faults, env={"MARIVANE_KILL_AT": kill_before})
    check(status != 0 and f"killed before {kill_before}" in text, f"{row}: {status} {text}")
    status, text = tree.cli("status")
    check("a stopped run left its journal" in text, f"{row}: status {text}")
    check(contents(tree.target) == (contents(FIRST) if expect_new else ORIGINAL), f"{row}: target")
    word = "its last steps are now done" if expect_new else "it has been undone, and the file is as it was"
    if not expect_new:
        # The next run finishes the stopped one whatever becomes of its own work, and says so.
        status, text = tree.install(BUILT_IN)
        check(status == 1 and word in text and "does not pair" in text and contents(tree.target) == ORIGINAL,
              f"{row}: a refused next run {status} {text}")
    status, text = tree.install(FIRST)
    # Said once: by the run that did it.
    check(status == 0 and (word in text) == expect_new and contents(tree.target) == contents(FIRST),
          f"{row}: next run {status} {text}")
    no_leftovers(tree, row)


def row_restore_script():
    """RESTORE.CMD run by Wine's cmd from drive E:, laid out as the recovery prompt shows the
    Windows drive, with a boot screen file in place: the original is back; run from a drive
    without that system folder it changes nothing."""
    row = "RESTORE.CMD"
    tree = Tree()
    tree.install(FIRST, "--force")
    drive = os.path.join(work, "recovery")
    shutil.rmtree(drive, ignore_errors=True)
    shutil.copytree(os.path.join(tree.root, "ProgramData", "Marivane"), os.path.join(drive, "ProgramData", "Marivane"))
    target = write(os.path.join(drive, "Windows", "System32", "en-US", "winload.exe.mui"), contents(FIRST))
    letter = os.path.join(prefix, "dosdevices", "e:")
    if os.path.lexists(letter):
        os.remove(letter)
    os.symlink(drive, letter)
    script = "E:\\ProgramData\\Marivane\\Backup\\en-US\\RESTORE.CMD"
    status, text = run("cmd", "/c", script)
    check(status == 0 and contents(target) == ORIGINAL and "Done: the original winload.exe.mui is back" in text,
          f"{row}: {status} {text}")
    check(not os.path.exists(target + ".marivane-new"), f"{row}: a .marivane-new is left")
    shutil.rmtree(os.path.join(drive, "Windows"))
    status, text = run("cmd", "/c", script)
    check(status == 2 and "holds no" in text, f"{row}, no system folder: {status} {text}")
    os.remove(letter)


row_install_then_restore()
if args.wine:
    row_restore_script()
if not args.wine:
    row_install_then_restore("WINDOWS")
row_second_install_keeps_backup()
row_untrusted_backup()
row_refused("built-in template", BUILT_IN, "it does not pair with the boot loader")
row_refused("service checksum", FIRST, "its service checksum (at 0x1C) is", loader=SERVICE_LOADER)
row_refused("version", FIRST, "its file version is 6.0.6000.16386, winload.exe's is 6.0.6001.18000",
            loader=NEWER_LOADER)
row_refused("damaged", DAMAGED, "cannot be installed: it is damaged")
if not args.wine:
    # A 64-bit boot loader is a PE32+ image (optional header magic 0x20B), with --force too.
    wide = bytearray(LOADER)
    struct.pack_into("<H", wide, struct.unpack_from("<I", wide, 0x3C)[0] + 24, 0x20B)
    row_refused("64-bit", FIRST, "this may be a 64-bit Windows", loader=bytes(wide))
row_refused("other language", GERMAN, "its language is de-DE")
row_every_doubt_at_once()
if args.wine:
    row_failing_bcdedit()
else:
    # A partition that cannot be reached: locked by BitLocker (named as its image: its first
    # sector says so), or not mounted at all (an empty folder).
    locked = write(os.path.join(work, "locked.img"), bytes(3) + b"-FVE-FS-" + bytes(501))
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    for where, words in ((locked, "BitLocker has locked this partition"), (empty, "no partition is mounted there")):
        status, text = run(args.cli, "install", FIRST, "--windows", where)
        check(status == 1 and words in text, f"--windows {where}: {status} {text}")
row_after_update("restore")
row_after_update("install")
for step in ("backup-original", "backup-record", "begin", "write-new", "compare", "allow-rename", "rename"):
    row_failure_at(step)
row_stopped_run("allow-rename", expect_new=False)
row_stopped_run("put-back-old", expect_new=True)


# --- Kills before every step of a first install, a second install and a restore ---

def kill_sweep(name, prepare, command, old, new):
    """`command` killed before each step in turn, from the state `prepare` makes; after each
    kill the target is `old` or `new` whole and the backup complete or absent, and the same
    command run again ends with `new` in place."""
    points = 0
    for count in range(1, 60):
        tree = prepare()
        status, text = command(tree, program=args.faults, env={"MARIVANE_KILL_AT": str(count)})
        if status == 0:
            break
        points += 1
        where = f"{name}, killed at step {count} ({text.strip().splitlines()[-1]})"
        check(contents(tree.target) in (old, new), f"{where}: the system file is neither old nor new")
        check(tree.backup_state() in ("complete", "absent"), f"{where}: backup {tree.backup_state()}")
        status, text = command(tree)
        check(status == 0 and contents(tree.target) == new, f"{where}: the next run: {status} {text}")
        check(tree.backup_state() == "complete", f"{where}: backup after the next run {tree.backup_state()}")
        no_leftovers(tree, where)
    return points


def fresh():
    return Tree()


def installed():
    tree = Tree()
    tree.install(FIRST, "--force")
    return tree


if args.wine:
    # Under Wine each run costs seconds; the kills' states are the same: the table's stopped
    # runs stand for them there.
    harness.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix))
    shutil.rmtree(work, ignore_errors=True)
    finish()
points = kill_sweep("first install", fresh, lambda t, **k: t.install(FIRST, "--force", **k), ORIGINAL, contents(FIRST))
points += kill_sweep("second install", installed, lambda t, **k: t.install(SECOND, **k), contents(FIRST), contents(SECOND))
points += kill_sweep("restore", installed, lambda t, **k: t.restore(**k), contents(FIRST), ORIGINAL)
check(points >= 30, f"only {points} kill points")

shutil.rmtree(work, ignore_errors=True)
finish(f"all checks passed ({points} kill points)")
