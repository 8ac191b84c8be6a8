#!/usr/bin/env python3
"""What happens around the output when something else goes wrong, tried as a careless user or
an attacker would: builds at once in one temporary folder, an output inside the working folder,
someone else's folder where the working folder goes, a full file system, a read-only or
missing TEMP, a kill in the middle of the write, an interrupt (SIGINT, SIGTERM, SIGHUP) there,
named pipes for pictures, a folder, a link or a name too long where the output should go,
capture of a symbolic-link loop or into the captured folder. Every row ends either in a module
of the run's OWN two pictures, judged by readers we did not write, or in a refusal with a
message, the old target as it was and nothing left behind: no stray file beside the target, no
working folder in TEMP. What a run killed outright leaves, the next run there removes, and
nothing else that merely looks like it. And two builds of the same pictures, or of the same
photos prepared, give the same bytes.

usage: cli_faults_test.py CLI [--wine RUN] [--ui-test UI_TEST_EXE] [--only TEXT]
  --wine     the CLI is a Windows program run through RUN; rows that make sense only on POSIX
             (named pipes, symbolic links, someone else's mrvn, signals) are skipped with a note
  --ui-test  ui_test.exe, to try the window's save on the full and the read-only file system
  --only     run only the rows whose name holds TEXT
The full or read-only file system is a small tmpfs mounted for the row, which takes root:
without it those rows are skipped with a note. Wine reaches the mount through drive Z:.
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import bitmap, check, cli_command, failures, finish, host_path_for, wine_path  # noqa: E402
from mui_source import RT_RCDATA, build_module, language_file  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("cli")
parser.add_argument("--wine")
parser.add_argument("--ui-test")
parser.add_argument("--only", default="")
args = parser.parse_args()
wine_run = args.wine
host = host_path_for(wine_run)
template_size = os.path.getsize(os.path.join(os.path.dirname(args.cli), "x86template"))

# Smaller than a page of tmpfs, so that a target cut down in place frees less room than the
# new file needs: the write that replaces it must fail part way.
OLD_BYTES = b"the file the user already had, which must survive\n" * 40
# A language file whose template takes far more than a page.
LANGUAGE_FILE = build_module(language_file(0x0409, "en-US", [(RT_RCDATA, 2, 0x0409, bytes(range(256)) * 256)]))[0]
SLOT_REPORT = "of the slot's 3799408 bytes"
QUICK = 20  # seconds: a refusal that takes longer is a run blocked on its input


def state(path):
    """What lies at `path`, compared before and after a row: a file's bytes, a link's target, a
    folder's entries and theirs, without following links; None for nothing."""
    if os.path.islink(path):
        return ("link", os.readlink(path))
    if os.path.isdir(path):
        return ("folder", {name: state(os.path.join(path, name)) for name in sorted(os.listdir(path))})
    if os.path.exists(path):
        return ("file", open(path, "rb").read())
    return None


class Unavailable(Exception):
    """What a row needs is not to be had here."""


class Case:
    """One row's own folder, with its TEMP, and what must come out of the row as it went in."""

    def __init__(self, root, name):
        self.name = name
        self.slug = re.sub(r"\W+", "-", name)
        self.folder = tempfile.mkdtemp(dir=root)
        self.temp = self.path("temp")
        os.mkdir(self.temp)
        self.kept = {}        # path: its state before the row
        self.watched = {}     # folder: (its entries before, how many strays a kill may leave)
        self.outputs = []     # (out, small, big) of each run
        self.killed = False   # a run killed outright cannot remove its working folder
        self.mounts = []

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def write(self, name, data):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def pictures(self, seed):
        """A pair of the run's own, unlike any other seed's: every row alike, so quick to make and
        small to capture."""
        def picture(width, height):
            data = bytearray(bitmap(width, height))
            data[54:] = bytes((seed * 53 + i * (seed + 1)) & 255 for i in range(width * 3)) * height
            return bytes(data)
        return self.write(f"small{seed}.bmp", picture(800, 600)), self.write(f"big{seed}.bmp", picture(1024, 768))

    def tree(self):
        """A folder to capture, of noise, so that its WIM is far larger than a page."""
        rng = random.Random(9)
        for name in ("a.bin", "sub/b.bin"):
            self.write("tree/" + name, rng.randbytes(200000))
        return self.path("tree")

    def keep(self, path):
        self.kept[path] = state(path)

    def watch(self, folder, strays=0):
        self.watched[folder] = (set(os.listdir(folder)), strays)

    def cli(self, *arguments, temp=None):
        return cli_command(args.cli, wine_run, [host(a) if a.startswith("/") else a for a in arguments],
                           temp or self.temp)

    def mount(self, folder, options):
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            raise Unavailable(f"no tmpfs could be mounted: {mounted.stderr.strip()}")
        self.mounts.append(folder)

    def full_file_system(self, name):
        """`name` with OLD_BYTES in a folder of its own on a file system with no room left."""
        folder = self.path("full")
        os.mkdir(folder)
        self.mount(folder, "size=1m")
        old = self.write("full/" + name, OLD_BYTES)
        filler = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT)
        try:
            while True:
                os.write(filler, bytes(4096))
        except OSError:
            pass
        os.close(filler)
        self.keep(old)
        self.watch(folder)
        self.target = old
        return old

    def close(self):
        for folder in self.mounts:
            subprocess.run(["umount", folder])


# --- How the runs are started ---

def start(command):
    command, env = command
    # A session of its own, so that a kill reaches Wine's processes under the runner too.
    return subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, start_new_session=True)


def finish_run(process, timeout):
    """(status, output); status None when the run was still going after `timeout` seconds."""
    try:
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out.replace("\r\n", "\n")
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, _ = process.communicate()
        return None, out


def in_turn(case, commands, timeout=300):
    return [finish_run(start(command), timeout) for command in commands]


def in_time(case, commands):
    return in_turn(case, commands, QUICK)


def together(case, commands):
    # Each starts while the one before is under way, so that its clearing and staging land in
    # the middle of another run's capture rather than only beside its first steps.
    processes = []
    for command in commands:
        processes.append(start(command))
        time.sleep(0.2)
    return [finish_run(process, 600) for process in processes]


def program(process):
    """marivane-cli's own process: under Wine it runs below the runner and cmd, in their session."""
    if not wine_run:
        return process.pid
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            ours = os.getsid(int(entry)) == process.pid
            if ours and open(f"/proc/{entry}/comm").read().startswith("marivane-cli"):
                return int(entry)
        except OSError:
            pass
    return None


def killed_mid_write(case, commands, sent=signal.SIGKILL):
    """Sends `sent` to the program at the first sign of a write in its target's folder: a new
    entry there (its temporary file), or the target itself changing. A run that finishes first
    is tried again. Only SIGKILL leaves the run no chance to clear up after itself."""
    out = case.outputs[0][0]
    folder = os.path.dirname(out)

    def look():
        info = os.stat(out) if os.path.exists(out) else None
        return sorted(os.listdir(folder)), info and (info.st_ino, info.st_size, info.st_mtime_ns)

    for _ in range(5):
        with open(out, "wb") as f:
            f.write(OLD_BYTES)
        before = look()
        process = start(commands[0])
        pid = None
        sent_it = False
        while process.poll() is None:
            pid = pid or program(process)
            if look() != before:
                if pid:
                    os.kill(pid, sent)
                else:
                    os.killpg(process.pid, sent)
                sent_it = True
                break
            time.sleep(0.0002)
        result = finish_run(process, 300)
        if sent_it:
            case.killed = sent == signal.SIGKILL
            return [result]
    check(False, f"{case.name}: every run finished before it could be killed")
    return [result]


def interrupted(sent):
    return lambda case, commands: killed_mid_write(case, commands, sent)


def killed_then_built_again(case, commands):
    """The first run killed outright, the second run over the same target with the same TEMP."""
    results = killed_mid_write(case, commands[:1])
    case.killed = False
    return results + in_turn(case, commands[1:])


# --- What a row must end in ---

def refused(case, status, text):
    if status is None:
        check(False, f"{case.name}: still running after {QUICK} seconds:\n{text}")
    else:
        check(status == 1 and text.strip() and SLOT_REPORT not in text,
              f"{case.name}: expected a refusal with a message, got ({status}):\n{text}")


def judged(case, out, small, big):
    failures.extend(boot_screen_checks.judge(f"{case.slug}-{os.path.basename(out)}", out, small, big,
                                             template_size, case.path(), None))


def own_or_refused(case, results):
    for (status, text), (out, small, big) in zip(results, case.outputs):
        if status == 0:
            check(SLOT_REPORT in text, f"{case.name}: no report:\n{text}")
            if check(os.path.isfile(out), f"{case.name}: success reported, but nothing at {out}:\n{text}"):
                judged(case, out, small, big)
        else:
            refused(case, status, text)
            check(not os.path.lexists(out), f"{case.name}: refused, yet something is at {out}")


def refusals(case, results):
    for status, text in results:
        refused(case, status, text)


def refused_saying(case, results):
    """Refusals that say `case.says`, literally."""
    refusals(case, results)
    for _, text in results:
        check(case.says in text, f"{case.name}: does not say {case.says!r}:\n{text}")


def refusals_naming_the_file(case, results):
    refusals(case, results)
    for _, text in results:
        check(os.path.basename(case.target) in text, f"{case.name}: the message does not name the file:\n{text}")


def old_or_own(case, results):
    """After a kill: the target is either the old file or, when the rename beat the kill, the new
    module whole; never anything in between."""
    out, small, big = case.outputs[0]
    if state(out) != ("file", OLD_BYTES):
        check(os.path.getsize(out) == template_size + boot_screen_checks.SLOT_SIZE,
              f"{case.name}: the target is neither the old file nor a whole module "
              f"({os.path.getsize(out) if os.path.exists(out) else 'gone'} bytes)")
        judged(case, out, small, big)


def ended_by_its_signal(case, results):
    """The run cleared up and then ended by the signal it was sent, as the shell expects; the
    target is the old file or the whole new module."""
    status, text = results[0]
    check(status is not None and status < 0 and -status in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP),
          f"{case.name}: did not end by its signal ({status}):\n{text}")
    old_or_own(case, results)


def second_run_builds(case, results):
    status, text = results[1]
    out, small, big = case.outputs[0]
    if check(status == 0 and SLOT_REPORT in text, f"{case.name}: the second run failed ({status}):\n{text}"):
        judged(case, out, small, big)


def identical(case, results):
    own_or_refused(case, results)
    first, second = (out for out, _, _ in case.outputs)
    if all(status == 0 for status, _ in results):
        check(open(first, "rb").read() == open(second, "rb").read(),
              f"{case.name}: two builds of the same pictures differ")
    else:
        check(False, f"{case.name}: a build failed")


def passed(case, results):
    for status, text in results:
        check(status == 0, f"{case.name}: ({status})\n{text}")


def left_as_it_was(case):
    for path, before in case.kept.items():
        check(state(path) == before,
              f"{case.name}: {os.path.relpath(path, case.folder)} was changed or removed")
    outputs = {os.path.basename(out) for out, _, _ in case.outputs}
    for folder, (before, strays) in case.watched.items():
        new = set(os.listdir(folder)) - before - outputs
        check(len(new) <= strays, f"{case.name}: left beside the target: {sorted(new)}")
    if not case.killed:
        # A lock file may stay; a working folder may not.
        left = [name for name in set(os.listdir(case.temp)) - case.temp_before
                if os.path.isdir(os.path.join(case.temp, name))]
        check(not left, f"{case.name}: working folders left in TEMP: {left}")


# --- The rows ---

def concurrent_builds(case):
    commands = []
    for seed in (1, 2, 3):
        small, big = case.pictures(seed)
        out = case.path(f"out{seed}.mui")
        case.outputs.append((out, small, big))
        commands.append(case.cli("build", small, big, "-o", out))
    return commands


def output_in_working_folder(case):
    small, big = case.pictures(1)
    case.keep(case.write("temp/mrvn/keep.txt", b"the user's own file\n"))
    out = case.path("temp", "mrvn", "out.mui")
    case.outputs.append((out, small, big))
    return [case.cli("build", small, big, "-o", out)]


def someone_elses_folder(case):
    # Another user's folder by the name the working folder used to have, a link to their files.
    case.write("theirs/notes.txt", b"not yours to remove\n")
    os.symlink(case.path("theirs"), case.path("temp", "mrvn"))
    case.keep(case.path("theirs"))
    case.keep(case.path("temp", "mrvn"))
    small, big = case.pictures(2)
    case.outputs.append((case.path("out.mui"), small, big))
    return [case.cli("build", small, big, "-o", case.path("out.mui"))]


def build_on_full(case):
    old = case.full_file_system("winload.exe.mui")
    small, big = case.pictures(3)
    return [case.cli("build", small, big, "-o", old, "--force")]


def template_on_full(case):
    old = case.full_file_system("x86template")
    return [case.cli("template", case.write("source.mui", LANGUAGE_FILE), "-o", old, "--force")]


def capture_on_full(case):
    old = case.full_file_system("out.wim")
    return [case.cli("capture", case.tree(), old)]


def window_save_on_full(case):
    old = case.full_file_system("winload.exe.mui")
    return [([wine_run, args.ui_test, "--gtest_filter=SaveCommand.FailedSaveLeavesTheFileItWouldReplace"],
             dict(os.environ, MARIVANE_UI_FULL_TARGET=wine_path(old)))]


def build_in_read_only_temp(case):
    case.mount(case.temp, "ro,size=1m")
    case.says = "Failed to create a temporary working directory!  Check your temp folder is not read only."
    small, big = case.pictures(8)
    case.outputs.append((case.path("out.mui"), small, big))
    return [case.cli("build", small, big, "-o", case.path("out.mui"))]


def window_save_in_read_only_temp(case):
    case.mount(case.temp, "ro,size=1m")
    return [([wine_run, args.ui_test, "--gtest_filter=SaveCommand.ReadOnlyTemporaryFolderGetsTheWorkingFoldersMessage"],
             dict(os.environ, MARIVANE_UI_READ_ONLY_TEMP=wine_path(case.temp)))]


def build_with_temp_missing(case):
    missing = case.path("no-such-folder")
    case.says = f"A valid temporary path could not be found!  TEMP is {host(missing)}, which is not a folder."
    small, big = case.pictures(9)
    case.outputs.append((case.path("out.mui"), small, big))
    return [case.cli("build", small, big, "-o", case.path("out.mui"), temp=missing)]


def kill_during_write(case):
    small, big = case.pictures(4)
    out = case.write("out/winload.exe.mui", OLD_BYTES)
    case.outputs.append((out, small, big))
    case.watch(case.path("out"), strays=1)  # the temporary file: a killed run cannot remove it
    return [case.cli("build", small, big, "-o", out, "--force")]


def interrupt_during_write(case):
    small, big = case.pictures(4)
    out = case.write("out/winload.exe.mui", OLD_BYTES)
    case.outputs.append((out, small, big))
    case.watch(case.path("out"))
    return [case.cli("build", small, big, "-o", out, "--force")]


def kill_then_build_again(case):
    commands = kill_during_write(case) * 2
    case.watch(case.path("out"))  # the second run removes what the first one left
    return commands


def a_gone_process():
    """A process id that nobody has now: natively one /proc does not list; under Wine one that
    is no multiple of four, which no process of Wine's gets."""
    if wine_run:
        return 999999
    return next(pid for pid in range(4194303, 1, -1) if not os.path.exists(f"/proc/{pid}"))


def leftovers_and_look_alikes(case):
    """Beside OUT and in TEMP: what runs that ended left (to go), and what only looks like it,
    or is another user's, or belongs to a process still running (to stay)."""
    small, big = case.pictures(8)
    out = case.path("out", "winload.exe.mui")
    case.outputs.append((out, small, big))
    gone = a_gone_process()
    stale = [case.write(f"out/.marivane-{gone}-1-0badf00d.tmp", b"left by a killed run\n")]
    kept = [case.write(name, b"not a leftover of ours\n") for name in (
        "out/.marivane-0badf00d.tmp",                     # the old name: nothing says whose
        f"out/.marivane-{gone}-1-0badf00d.tmp.keep",     # more after the name
        f"out/.marivane-{gone}-1-.tmp",                   # nothing between stamp and suffix
        f"out/.marivane-{gone}-1-0badf00e.tmp/inside")]   # a folder under such a name
    if not wine_run:
        # pid 1 runs for as long as the system does; its start time is field 22 of its stat.
        start_of_1 = int(open("/proc/1/stat").read().rsplit(")", 1)[1].split()[19])
        stale.append(case.write(f"temp/mrvn-{gone}-1-AbC123/capture/osload800x600.bmp", b"stale"))
        kept += [case.write(name, b"not a leftover of ours\n") for name in (
            f"out/.marivane-1-{start_of_1:x}-0badf00d.tmp",  # its process is running
            "temp/mrvn-AbC123/kept",                         # the old name of a working folder
            f"temp/mrvn-{gone}-1-XyZ789")]                    # a file, not a folder
        os.symlink(kept[0], case.path("out", f".marivane-{gone}-1-11111111.tmp"))
        kept.append(case.path("out", f".marivane-{gone}-1-11111111.tmp"))
        if os.geteuid() == 0:
            for name in (f"out/.marivane-{gone}-1-22222222.tmp", f"temp/mrvn-{gone}-1-Other9/theirs"):
                kept.append(case.write(name, b"someone else's\n"))
                for path in (kept[-1], os.path.dirname(kept[-1])):
                    if os.path.basename(path).startswith(("mrvn-", ".marivane-")):
                        os.chown(path, 65534, 65534)
    for path in kept:
        case.keep(path)
    case.stale = stale
    return [case.cli("build", small, big, "-o", out)]


def only_the_leftovers_went(case, results):
    passed(case, results)
    for path in case.stale:
        check(not os.path.exists(path), f"{case.name}: a run's leftover is still there: {path}")


def pipe_for_check(case):
    os.mkfifo(case.path("pipe.bmp"))
    return [case.cli("check", case.path("pipe.bmp"))]


def pipe_for_build(case):
    os.mkfifo(case.path("pipe.bmp"))
    _, big = case.pictures(5)
    case.watch(case.folder)
    return [case.cli("build", case.path("pipe.bmp"), big, "-o", case.path("out.mui"))]


def folder_as_build_target(case):
    case.write("target/inside.txt", b"still here\n")
    case.keep(case.path("target"))
    small, big = case.pictures(6)
    return [case.cli("build", small, big, "-o", case.path("target"), "--force")]


def folder_as_template_target(case):
    os.mkdir(case.path("target"))  # empty: a clean-up that removes what it failed to write takes it
    case.keep(case.path("target"))
    source = case.write("source.mui", LANGUAGE_FILE)
    return [case.cli("template", source, "-o", case.path("target"), "--force")]


def capture_of_a_loop(case):
    tree = case.tree()
    os.symlink("..", os.path.join(tree, "sub", "loop"))
    case.watch(case.folder)
    return [case.cli("capture", tree, case.path("out.wim"))]


def capture_into_itself(case):
    tree = case.tree()
    case.keep(tree)
    return [case.cli("capture", tree, os.path.join(tree, "sub", "out.wim"))]


def link_loop(case):
    """a, a link to b, which is a link to a."""
    os.symlink("b", case.path("a"))
    os.symlink("a", case.path("b"))
    case.keep(case.path("a"))
    return case.path("a")


def build_onto_a_link_loop(case):
    out = link_loop(case)
    case.says = f"{out} exists already; add --force to replace it"
    small, big = case.pictures(10)
    return [case.cli("build", small, big, "-o", out)]


def template_through_a_link_loop(case):
    out = os.path.join(link_loop(case), "x86template")
    case.says = f"Unable to write {out}: Too many levels of symbolic links"
    return [case.cli("template", case.write("source.mui", LANGUAGE_FILE), "-o", out)]


def prepare_onto_a_long_name(case):
    small, _ = case.pictures(11)
    out = case.path("x" * 300 + ".bmp")
    case.says = f"Unable to write {out}: File name too long"
    case.watch(case.folder)
    return [case.cli("prepare", small, "--slot", "small", "-o", out)]


def build_onto_a_long_path(case):
    small, big = case.pictures(12)
    out = case.path(*["x" * 200] * 25, "out.mui")  # past PATH_MAX, 4,096 bytes
    case.says = f"Unable to write {out}: File name too long"
    case.watch(case.folder)
    return [case.cli("build", small, big, "-o", out)]


def build_onto_a_dangling_link(case):
    os.symlink("nowhere", case.path("out.mui"))
    case.keep(case.path("out.mui"))
    case.says = f"{case.path('out.mui')} exists already; add --force to replace it"
    small, big = case.pictures(13)
    return [case.cli("build", small, big, "-o", case.path("out.mui"))]


def build_onto_a_link_to_a_folder(case):
    case.write("target/inside.txt", b"still here\n")
    os.symlink("target", case.path("out.mui"))
    case.keep(case.path("target"))
    case.keep(case.path("out.mui"))
    case.says = f"Unable to write {case.path('out.mui')}: Is a directory"
    small, big = case.pictures(14)
    return [case.cli("build", small, big, "-o", case.path("out.mui"), "--force")]


def same_photos_prepared_twice(case):
    # Pictures of another size, which the build prepares into bitmaps of its own; the bitmaps
    # that prepare makes of them are what the modules must hold.
    photos = [case.write(f"photo{n}.bmp", bitmap(640 + n, 480)) for n in (1, 2)]
    prepared = [case.path(name) for name in ("small.bmp", "big.bmp")]
    case.outputs = [(case.path(name), *prepared) for name in ("first.mui", "second.mui")]
    return ([case.cli("build", "--prepare", *photos, "-o", out) for out, _, _ in case.outputs] +
            [case.cli("prepare", photo, "--slot", slot, "-o", out)
             for photo, slot, out in zip(photos, ("small", "big"), prepared)])


def same_pictures_twice(case):
    small, big = case.pictures(7)
    case.outputs = [(case.path(name), small, big) for name in ("first.mui", "second.mui")]
    return [case.cli("build", small, big, "-o", out) for out, _, _ in case.outputs]


# Where a row runs: both configurations; natively only (the reason it cannot run under Wine);
# on a file system mounted for it; the window's save under Wine.
BOTH, MOUNT, WINDOW = "both", "mount", "window"
PIPE = "native only: a named pipe would block Wine's server, which every Wine test shares"
LINK = "native only: Wine shows a symbolic link as a plain folder"
MRVN = "native only: on Windows TEMP\\mrvn is the window's own working folder"
PATHS = "native only: Wine has words of its own for these paths"
SIGNALS = "native only: a Windows program ended from outside is cleared up after by the next run"
ROWS = [
    # what is tried                                   where   set-up                     runs       verdict
    ("three builds at once in one TEMP",              BOTH,   concurrent_builds,         together,  own_or_refused),
    ("-o inside the working folder",                  BOTH,   output_in_working_folder,  in_turn,   own_or_refused),
    ("someone else's mrvn in TEMP",                   MRVN,   someone_elses_folder,      in_turn,   own_or_refused),
    ("build --force over a file on a full disk",      MOUNT,  build_on_full,       in_turn, refusals_naming_the_file),
    ("template --force over a file on a full disk",   MOUNT,  template_on_full,    in_turn, refusals_naming_the_file),
    ("capture over a file on a full disk",            MOUNT,  capture_on_full,           in_turn,   refusals),
    ("the window's save over a file on a full disk",  WINDOW, window_save_on_full,       in_turn,   passed),
    ("build --force killed while it writes",          BOTH,   kill_during_write,  killed_mid_write, old_or_own),
    ("build --force ended by SIGINT while it writes",  SIGNALS, interrupt_during_write, interrupted(signal.SIGINT), ended_by_its_signal),
    ("build --force ended by SIGTERM while it writes", SIGNALS, interrupt_during_write, interrupted(signal.SIGTERM), ended_by_its_signal),
    ("build --force ended by SIGHUP while it writes",  SIGNALS, interrupt_during_write, interrupted(signal.SIGHUP), ended_by_its_signal),
    ("a build after one killed outright clears up",   BOTH,   kill_then_build_again, killed_then_built_again, second_run_builds),
    ("leftovers of ended runs go, look-alikes stay",  BOTH,   leftovers_and_look_alikes, in_turn, only_the_leftovers_went),
    ("check of a named pipe",                         PIPE,   pipe_for_check,            in_time,   refusals),
    ("build from a named pipe",                       PIPE,   pipe_for_build,            in_time,   refusals),
    ("build --force onto a folder",                   BOTH,   folder_as_build_target,    in_turn,   refusals),
    ("template --force onto an empty folder",         BOTH,   folder_as_template_target, in_turn,   refusals),
    ("capture of a symbolic-link loop",               LINK,   capture_of_a_loop,         in_turn,   refusals),
    ("capture into the captured folder",              BOTH,   capture_into_itself,       in_turn,   refusals),
    ("the same pictures built twice",                 BOTH,   same_pictures_twice,       in_turn,   identical),
    ("the same photos built twice with --prepare",    BOTH,   same_photos_prepared_twice, in_turn,  identical),
    ("build in a read-only TEMP",                     MOUNT,  build_in_read_only_temp,   in_turn,   refused_saying),
    ("the window's save in a read-only TEMP",         WINDOW, window_save_in_read_only_temp, in_turn, passed),
    ("build with TEMP naming no folder",              BOTH,   build_with_temp_missing,   in_turn,   refused_saying),
    ("build -o a symbolic-link loop",                 LINK,   build_onto_a_link_loop,    in_turn,   refused_saying),
    ("template -o through a symbolic-link loop",      LINK,   template_through_a_link_loop, in_turn, refused_saying),
    ("prepare -o a name over 255 bytes",              PATHS,  prepare_onto_a_long_name,  in_turn,   refused_saying),
    ("build -o a path over PATH_MAX",                 PATHS,  build_onto_a_long_path,    in_turn,   refused_saying),
    ("build onto a dangling symbolic link",           LINK,   build_onto_a_dangling_link, in_turn,  refused_saying),
    ("build --force onto a link to a folder",         LINK,   build_onto_a_link_to_a_folder, in_turn, refused_saying),
]


def why_not(where):
    if where not in (BOTH, MOUNT, WINDOW):
        return where if wine_run else None
    if where in (MOUNT, WINDOW) and os.geteuid() != 0:
        return "a full or read-only file system is a tmpfs mounted for the row, which takes root"
    if where == WINDOW and not (wine_run and args.ui_test):
        return "the window's save runs under Wine, given --ui-test"
    return None


with tempfile.TemporaryDirectory() as work:
    for name, where, set_up, runs, verdict in ROWS:
        if args.only not in name:
            continue
        reason = why_not(where)
        if reason:
            print(f"skipped: {name}: {reason}")
            continue
        case = Case(work, name)
        try:
            try:
                commands = set_up(case)
            except Unavailable as reason:
                print(f"skipped: {name}: {reason}")
                continue
            case.temp_before = set(os.listdir(case.temp))
            results = runs(case, commands)
            print(f"{name}: exit status {', '.join(str(status) for status, _ in results)}"
                  f"{' (killed)' if case.killed else ''}")
            verdict(case, results)
            left_as_it_was(case)
        finally:
            case.close()

finish()
