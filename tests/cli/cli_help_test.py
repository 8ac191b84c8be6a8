#!/usr/bin/env python3
"""What marivane-cli says about itself, against the man page and the Windows programs' version
records; and where `build` looks for its template when no --template names one.

usage: cli_help_test.py CLI --man PAGE [--wine RUN] [--exe EXE]...
  --wine  the CLI is a Windows program run through RUN
  --exe   a Windows program whose version record must give the version --version shows
          (read by pefile; one that is missing is passed over)
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import bitmap, check, cli_command, finish, host_path_for, run  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("cli")
parser.add_argument("--man", required=True)
parser.add_argument("--wine")
parser.add_argument("--exe", action="append", default=[])
args = parser.parse_args()
host_path = host_path_for(args.wine)


def cli(*arguments):
    """(status, stdout, stderr); under Wine both streams arrive as one, in stdout."""
    done = subprocess.run(([args.wine] if args.wine else []) + [args.cli] + list(arguments),
                          capture_output=True, text=True)
    return done.returncode, done.stdout.replace("\r\n", "\n"), done.stderr.replace("\r\n", "\n")


def flat(text):
    return " ".join(text.split())


# --- The man page: no warnings, and as it reads on a terminal, wide enough not to wrap ---

lint = subprocess.run(["groff", "-man", "-ww", "-z", args.man], capture_output=True, text=True)
check(lint.returncode == 0 and not lint.stderr, f"groff warns about {args.man}:\n{lint.stderr}")
page = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", "-rLL=300n", args.man],
                      capture_output=True, text=True).stdout
sections = dict(re.findall(r"^([A-Z][A-Z ]+)\n(.*?)(?=^[A-Z]|\Z)", page, re.M | re.S))
commands = dict(re.findall(r"^   (\w+) [^\n]*\n(.*?)(?=^   \w|\Z)", sections.get("COMMANDS", ""), re.M | re.S))

# --- --help, -h and help; each command's help and its synopsis, options and statuses ---

status, general, error = cli("--help")
check(status == 0 and general.startswith("usage: marivane-cli ") and not error,
      f"--help: status {status}, {general!r} {error!r}")
for same in (["-h"], ["help"]):
    check(cli(*same) == (0, general, ""), f"{same} differs from --help")
for option in ("-h, --help [COMMAND]", "--version"):
    check(option in general and option in flat(sections.get("OPTIONS", "")),
          f"{option}: not in both --help and the man page's OPTIONS")

synopses = re.findall(r"^(?:usage:)? +marivane-cli (.+)$", general, re.M)
check(len(synopses) == 12, f"--help lists {synopses}")
for synopsis in synopses:
    check(f"marivane-cli {synopsis}" in flat(sections.get("SYNOPSIS", "")),
          f"{synopsis!r} is not in the man page's SYNOPSIS")
for synopsis in synopses[:-2]:  # help and --version are not commands
    name = synopsis.split()[0]
    status, text, error = cli("help", name)
    check(status == 0 and text.startswith(f"usage: marivane-cli {synopsis}\n") and not error,
          f"help {name}: status {status}, {text[:200]!r} {error!r}")
    check(cli(name, "--help") == (status, text, error), f"{name} --help differs from help {name}")
    section = flat(commands.get(name, ""))
    check(section, f"the man page has no section for {name}")
    options = re.findall(r"^  (-[\w-]+(?: [A-Z]+|, --[\w-]+)?)", text.split("Options:")[-1], re.M)
    check(options and all(option in section for option in options),
          f"{name}: options {options} are not all in the man page's section")
    statuses = re.findall(r"^  ([012])  ", text, re.M)
    check(statuses == ["0", "1", "2"] and "Exit status: 0" in section,
          f"{name}: exit statuses {statuses} in help, or none in the man page")

# --- --version, and the same version in the Windows programs' records ---

status, text, error = cli("--version")
version = re.fullmatch(r"marivane-cli (\d+)\.(\d+)\.(\d+)\n", text)
check(status == 0 and version and not error, f"--version: status {status}, {text!r} {error!r}")
for exe in (path for path in args.exe if os.path.exists(path)):
    record = pefile.PE(exe, fast_load=False)
    fixed = record.VS_FIXEDFILEINFO[0]
    strings = {key.decode(): value.decode() for info in record.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for key, value in table.entries.items()}
    if version:
        major, minor, patch = (int(number) for number in version.groups())
        check((fixed.FileVersionMS, fixed.FileVersionLS) == (major << 16 | minor, patch << 16),
              f"{exe}: file version {fixed.FileVersionMS:08X} {fixed.FileVersionLS:08X}")
        check(strings.get("ProductVersion") == f"{major}.{minor}.{patch}.0", f"{exe}: {strings}")

# --- Usage errors: what was wrong, then the usage, on standard error, status 2 ---

for wrong, said in (
        (["build", "one.bmp"], "build needs SMALL.bmp BIG.bmp; 1 given"),
        (["build", "a.bmp", "b.bmp", "-o"], "-o needs a value: OUT"),
        (["build", "a.bmp", "b.bmp", "--mode", "fit"], "--mode goes only with --prepare"),
        (["build", "a.bmp", "b.bmp", "--template", "t", "--system-template"],
         "--template and --system-template cannot be given together"),
        (["check", "--force", "x.bmp"], "check takes no option '--force'"),
        (["prepare", "x.jpg", "--slot", "medium"], "--slot takes small or big, not 'medium'"),
        (["prepare", "x.jpg", "--slot", "big", "--forse"], "prepare takes no option '--forse'; did you mean '--force'?"),
        (["prepare", "x.jpg"], "prepare needs --slot: small or big"),
        (["template", "--frobnicate", "x.mui"], "template takes no option '--frobnicate'"),
        (["template"], "template needs SOURCE.mui, or --system [LANGUAGE]; none given"),
        (["bild", "a.bmp", "b.bmp"], "unknown command 'bild'; did you mean 'build'?"),
        (["help", "bogus"], "unknown command 'bogus'"),
        (["--version", "extra"], "--version takes nothing after it")):
    status, text, error = cli(*wrong)
    told = text if args.wine else error
    check(status == 2 and told.startswith(said + "\nusage: marivane-cli ") and (args.wine or not text),
          f"{wrong}: status {status}, stdout {text!r}, stderr {error!r}")

# --- The template: beside the program, else ../share/marivane/ from its folder ---

template = os.path.join(os.path.dirname(args.cli), "x86template")
with tempfile.TemporaryDirectory() as work:
    prefix_bin, share = os.path.join(work, "prefix", "bin"), os.path.join(work, "prefix", "share", "marivane")
    os.makedirs(prefix_bin)
    os.makedirs(share)
    moved = os.path.join(prefix_bin, os.path.basename(args.cli))
    shutil.copy2(args.cli, moved)
    beside = os.path.join(os.path.dirname(args.cli), "WIMGAPI.DLL")  # the stand-in, under Wine
    if os.path.exists(beside):
        shutil.copy2(beside, prefix_bin)
    for name, content in (("small.bmp", bitmap(800, 600)), ("big.bmp", bitmap(1024, 768))):
        open(os.path.join(work, name), "wb").write(content)
    temp = os.path.join(work, "temp")
    os.mkdir(temp)
    out = os.path.join(work, "winload.exe.mui")
    build, env = cli_command(moved, args.wine, ["build", host_path(os.path.join(work, "small.bmp")),
                                                host_path(os.path.join(work, "big.bmp")), "-o", host_path(out)], temp)
    status, text = run(build, env)
    places = [host_path(os.path.join(prefix_bin, "x86template")), host_path(os.path.join(share, "x86template"))]
    check(status == 1 and all(place in text for place in places) and not os.path.exists(out),
          f"no template: status {status}, says {text!r}, should name {places}")
    shutil.copy2(template, share)
    status, text = run(build, env)
    check(status == 0 and os.path.getsize(out) == os.path.getsize(template) + 3799408,
          f"template in share/marivane: status {status}:\n{text}")

finish()
