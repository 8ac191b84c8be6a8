#!/usr/bin/env python3
"""Makes the Windows package: OUT/marivane-VERSION-win32.zip, whose one folder marivane-VERSION
holds marivane.exe and marivane-cli.exe (both stripped of debug information), x86template and
README.txt (its @VERSION@ filled in, CRLF line ends), and OUT/SHA256SUMS beside it. The same
inputs give the same bytes: fixed order, fixed times, fixed modes (0755 for the programs, 0644
for the rest, whatever this machine's umask), no owner. Never the stand-in WIMGAPI.DLL: a
Windows user has the system's.

usage: win32_zip.py --bin DIR --readme README --version VERSION --strip STRIP --out DIR
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

# The earliest time a zip entry can carry; any fixed time would do.
ENTRY_TIME = (1980, 1, 1, 0, 0, 0)
PROGRAMS = ("marivane.exe", "marivane-cli.exe")
# Unix modes in the entries' upper attribute bits, as unzip and Info-ZIP read them; Windows'
# own unpacker ignores them. 0x10 is MS-DOS's directory flag.
FOLDER_ATTRIBUTES = (0o40755 << 16) | 0x10
PROGRAM_ATTRIBUTES = 0o100755 << 16
FILE_ATTRIBUTES = 0o100644 << 16


def stripped(strip, program, work):
    out = os.path.join(work, os.path.basename(program))
    # strip writes the time of day into the COFF header unless SOURCE_DATE_EPOCH says
    # otherwise; 0 is what the linker wrote (--no-insert-timestamp).
    subprocess.run([strip, "--strip-all", "-o", out, program], check=True,
                   env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
    with open(out, "rb") as f:
        return f.read()


def readme(path, version):
    with open(path, "rb") as f:
        text = f.read()
    if b"\r" in text:
        sys.exit(f"{path}: keep LF line ends in the source; the package gets CRLF")
    return text.replace(b"@VERSION@", version.encode()).replace(b"\n", b"\r\n")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--bin", "--readme", "--version", "--strip", "--out"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        entries = [(name, stripped(args.strip, os.path.join(args.bin, name), work)) for name in PROGRAMS]
    with open(os.path.join(args.bin, "x86template"), "rb") as f:
        entries.append(("x86template", f.read()))
    entries.append(("README.txt", readme(args.readme, args.version)))

    os.makedirs(args.out, exist_ok=True)
    folder = f"marivane-{args.version}/"
    name = f"marivane-{args.version}-win32.zip"
    path = os.path.join(args.out, name)
    partial = path + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        info = zipfile.ZipInfo(folder, ENTRY_TIME)
        info.create_system = 3  # Unix: the modes below are the ones to use
        info.external_attr = FOLDER_ATTRIBUTES
        archive.writestr(info, b"")
        for entry, data in entries:
            info = zipfile.ZipInfo(folder + entry, ENTRY_TIME)
            info.create_system = 3
            info.external_attr = PROGRAM_ATTRIBUTES if entry in PROGRAMS else FILE_ATTRIBUTES
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, path)

    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(args.out, "SHA256SUMS"), "w") as f:
        f.write(f"{digest}  {name}\n")
    print(path)


main()
