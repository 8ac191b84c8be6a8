#!/usr/bin/env python3
"""marivane-cli inspect and extract, run as a user would, on boot screen files from both
writers: every file `build` makes inspects as good and gives back its pictures byte for byte;
WIMs that wimlib-imagex wrote (no compression, XPRESS, LZX), in our slot where they fit and in
a language file of the tests' own writer, are good and give what `wimlib-imagex apply` gives,
while LZMS is refused with its words; one table of damage, each row with its words; the
pairing with a boot loader and the folder the language is compared with; and what the
commands refuse.

usage: cli_inspect_test.py CLI [WINE_RUN]   (with WINE_RUN the CLI is a Windows program)
"""
import hashlib
import os
import random
import shutil
import struct
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from boot_screen_checks import SIZE_FIELD, SLOT_OFFSET, SLOT_SIZE  # noqa: E402
import harness  # noqa: E402
from harness import check, failures, finish, host_path_for  # noqa: E402
from mui_source import boot_loader_pair, build_module, default_checksums, language_file  # noqa: E402

cli = sys.argv[1]
wine_run = sys.argv[2] if len(sys.argv) > 2 else None
host = host_path_for(wine_run)
template = open(os.path.join(os.path.dirname(cli), "x86template"), "rb").read()
SMALL, BIG = "osload800x600.bmp", "osload1024x768.bmp"


def run(*args, cwd=None):
    return harness.run(([wine_run, cli] if wine_run else [cli]) + list(args), cwd=cwd)


def picture(width, height, seed):
    """A 24-bit bitmap of shifted byte ramps; with a seed its top rows are noise, so that the
    archive holds chunks of both kinds."""
    row = (width * 3 + 3) // 4 * 4
    ramp = bytes(range(256)) * (row // 256 + 2)
    rows = [ramp[y % 256:y % 256 + row] for y in range(height)]
    if seed is not None:
        noise = random.Random(seed)
        rows[-40:] = [noise.randbytes(row) for _ in range(40)]
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, row * height, 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + row * height, 0, 0, 54) + header + b"".join(rows)


def splice(wim):
    """The builder's layout, done here: the WIM at the slot, its length at 828, zero filler."""
    data = bytearray(template[:SLOT_OFFSET]) + wim + bytes(SLOT_SIZE - len(wim)) + template[SLOT_OFFSET:]
    struct.pack_into("<I", data, SIZE_FIELD, len(wim))
    return bytes(data)


def wim_of(data):
    return data[SLOT_OFFSET:SLOT_OFFSET + struct.unpack_from("<I", data, SIZE_FIELD)[0]]


def blobs(wim):
    """(offset, stored size, flags, SHA-1) of each entry of an uncompressed table of contents."""
    size = int.from_bytes(wim[0x30:0x37], "little")
    offset = struct.unpack_from("<Q", wim, 0x38)[0]
    table = wim[offset:offset + size]
    return [(struct.unpack_from("<Q", table, at + 8)[0], int.from_bytes(table[at:at + 7], "little"),
             table[at + 7], table[at + 30:at + 50]) for at in range(0, len(table), 50)], offset


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as out:
        out.write(data)
    return path


def inspect(path, *more):
    status, text = run("inspect", host(path), *more)
    return status, text.splitlines()


def expect_extracted(name, path, expected, folder):
    """extract writes the two pictures, and they are `expected` byte for byte."""
    out = os.path.join(folder, name + "-pictures")
    os.makedirs(out)
    status, text = run("extract", host(path), "-o", host(out))
    if check(status == 0, f"{name}: extract ({status}): {text}"):
        for picture_name, data in zip((SMALL, BIG), expected):
            written = os.path.join(out, picture_name)
            check(os.path.exists(written) and open(written, "rb").read() == data,
                  f"{name}: extracted {picture_name} is not the picture put in")


with tempfile.TemporaryDirectory() as work:
    pictures = {"ramps": (picture(800, 600, None), picture(1024, 768, None)),
                "noise": (picture(800, 600, 1), picture(1024, 768, 2))}
    loader, paired = boot_loader_pair()
    loader_path = write(work, "winload.exe", loader)
    status, text = run("template", host(write(work, "paired.mui", paired)), "-o", host(os.path.join(work, "paired")))
    check(status == 0, f"template of the paired language file ({status}): {text}")

    # --- Round trips: what build makes inspects good and gives its pictures back ---
    built = {}
    for name, (small, big) in pictures.items():
        for template_name, options in (("x86template", []), ("paired", ["--template", host(os.path.join(work, "paired"))])):
            key = f"{name}, {template_name}"
            folder = os.path.join(work, key.replace(", ", "-"))
            os.makedirs(os.path.join(folder, "en-US"))
            out = os.path.join(folder, "en-US", "winload.exe.mui")
            status, text = run("build", host(write(folder, "small.bmp", small)), host(write(folder, "big.bmp", big)),
                               "-o", host(out), *options)
            if not check(status == 0, f"{key}: build ({status}): {text}"):
                continue
            built[key] = out
            status, lines = inspect(out)
            check(status == 0 and lines[:2] == [f"{host(out)}: good",
                                                "  Its language is en-US, the name of the folder it lies in"],
                  f"{key}: inspect ({status}): {lines}")
            expect_extracted(key, out, (small, big), folder)

    # The pairing: the file built on the boot loader's own language file pairs with it; the
    # built-in template's checksums are not the loader's.
    if "ramps, paired" in built:
        status, lines = inspect(built["ramps, paired"], "--against", host(loader_path))
        check(status == 0 and lines[-1] == f"  It pairs with {host(loader_path)}: the same checksums, language "
                                           "and file version", f"pairs: ({status}) {lines}")
    if "ramps, x86template" in built:
        service, main = default_checksums(0x5A)
        status, lines = inspect(built["ramps, x86template"], "--against", host(loader_path))
        check(status == 1 and lines[0].endswith(": good") and
              lines[-1].startswith(f"  It does not pair with {host(loader_path)}: its main checksum (at 0x2C) is "
                                   f"{'00' * 16}, winload.exe's is {main.hex().upper()}; its service checksum"),
              f"does not pair: ({status}) {lines}")

    # The folder the language is compared with: the one the file lies in when it is a language
    # folder's name, the one it goes into otherwise.
    if "ramps, paired" in built:
        data = open(built["ramps, paired"], "rb").read()
        for folder, fact, pairing in (
                ("de-DE", "  Its language is en-US, but it lies in the folder de-DE: Windows takes it only from a "
                          "folder named en-US",
                 f"  It does not pair with {host(loader_path)}: its language is en-US, but its folder is named "
                 "\"de-DE\""),
                ("Downloads", "  Its language is en-US: it goes into the folder System32\\en-US",
                 f"  It pairs with {host(loader_path)}: the same checksums, language and file version")):
            os.makedirs(os.path.join(work, folder))
            path = write(os.path.join(work, folder), "winload.exe.mui", data)
            status, lines = inspect(path, "--against", host(loader_path))
            check(lines[1:2] == [fact] and lines[-1] == pairing, f"in {folder}: ({status}) {lines}")

    # --- WIMs that wimlib-imagex wrote, in our slot where they fit and in a language file ---
    source = os.path.join(work, "source")
    os.makedirs(source)
    small, big = pictures["noise"]
    write(source, SMALL, small)
    write(source, BIG, big)
    for compression in ("none", "XPRESS", "LZX", "LZMS"):
        wim_path = os.path.join(work, f"wimlib-{compression}.wim")
        status, text = harness.run(["wimlib-imagex", "capture", source, wim_path, "--boot", f"--compress={compression}"])
        if not check(status == 0, f"wimlib-imagex capture --compress={compression}: {text}"):
            continue
        wim = open(wim_path, "rb").read()
        applied = os.path.join(work, f"applied-{compression}")
        harness.run(["wimlib-imagex", "apply", wim_path, "1", applied])
        layouts = {"language file": build_module(language_file(0x409, "en-US", boot_screen=wim))[0]}
        if len(wim) <= SLOT_SIZE:
            layouts["our slot"] = splice(wim)
        for layout, data in layouts.items():
            name = f"wimlib {compression}, {layout}"
            path = write(work, name.replace(", ", "-").replace(" ", "_") + ".mui", data)
            status, lines = inspect(path)
            if compression == "LZMS":
                check(status == 1 and lines[0].startswith(
                    f"{host(path)}: damaged: The archive is compressed with LZMS, which Marivane does not read ("),
                    f"{name}: ({status}) {lines}")
                continue
            check(status == 0 and lines[0] == f"{host(path)}: good", f"{name}: ({status}) {lines}")
            expect_extracted(name, path, [open(os.path.join(applied, n), "rb").read() for n in (SMALL, BIG)], work)
    check(len(open(os.path.join(work, "wimlib-none.wim"), "rb").read()) > SLOT_SIZE,
          "the uncompressed WIM fits the slot: the larger archive is not tried")

    # --- Damage: each row a module, and the words its first line must begin with ---
    base = open(built["noise, x86template"], "rb").read() if "noise, x86template" in built else b""
    wim = wim_of(base)
    entries, table_at = blobs(wim) if base else ([], 0)
    by_hash = {entry[3]: entry for entry in entries}
    small_blob = by_hash.get(hashlib.sha1(small).digest(), (0, 0, 0, b""))
    metadata = next((entry for entry in entries if entry[2] & 0x02), (0, 0, 0, b""))

    def flipped(at):
        data = bytearray(base)
        data[at] ^= 0x5A
        return bytes(data)

    def sized(size):
        data = bytearray(base)
        struct.pack_into("<I", data, SIZE_FIELD, size)
        return bytes(data)

    def captured(files):
        folder = tempfile.mkdtemp(dir=work)
        for name, data in files.items():
            write(folder, name, data)
        out = os.path.join(folder + ".wim")
        status, text = run("capture", host(folder), host(out))
        check(status == 0, f"capture of {sorted(files)}: {text}")
        return splice(open(out, "rb").read()) if status == 0 else b""

    mui = base.find(b"\xcd\xfe\xcd\xfe")  # the MUI configuration's signature
    rows = [
        ("a flipped byte in a compressed chunk", flipped(SLOT_OFFSET + small_blob[0] + small_blob[1] // 2),
         f"The data of {SMALL} is damaged ("),
        ("a flipped byte in the blob table", flipped(SLOT_OFFSET + table_at + entries.index(small_blob) * 50 + 35),
         f"The data of {SMALL} is missing from the archive ("),
        ("a flipped byte in the metadata", flipped(SLOT_OFFSET + metadata[0] + metadata[1] // 2),
         "The archive's list of files is damaged ("),
        ("a truncated file", base[:len(base) // 2], "It is not a language file that Windows can read ("),
        ("a size field at 828 short of the WIM", sized(len(wim) - 1),
         f"The size recorded for its boot screen is wrong (the boot screen's size field at 828 says {len(wim) - 1} "
         f"bytes, but the WIM in it is {len(wim)} bytes long)"),
        ("a size field at 828 past the slot", sized(SLOT_SIZE + 1),
         f"The size recorded for its boot screen is wrong (the boot screen's size field at 828 says {SLOT_SIZE + 1} "
         f"bytes, more than its slot of {SLOT_SIZE} holds)"),
        ("a missing picture", captured({SMALL: small}), f"The archive has no {BIG} ("),
        ("a third file", captured({SMALL: small, BIG: big, "readme.txt": b"hi"}),
         "The archive holds readme.txt besides the two pictures ("),
        ("a picture of the wrong size", captured({SMALL: big, BIG: big}),
         f"{SMALL} is a 1024 x 768 24-bit bitmap, not an 800 x 600 24-bit bitmap"),
        ("a broken MUI configuration", flipped(mui + 8) if mui > 0 else b"",
         "Its MUI configuration is damaged (the MUI configuration's version is 0x1005A, not 0x10000)"),
        ("no boot screen at all", build_module(language_file(0x409, "en-US")[1:])[0], None),
    ]
    for name, data, words in rows:
        if not check(data, f"{name}: no module to damage"):
            continue
        path = write(work, "damaged.mui", data)
        status, lines = inspect(path)
        first = f"{host(path)}: no boot screen" if words is None else f"{host(path)}: damaged: {words}"
        check(status == 1 and lines and lines[0].startswith(first), f"{name}: ({status}) {lines}")
    # An unpaired service checksum: good by itself, does not pair with the loader.
    other_service = (bytes(16), default_checksums(0x5A)[1])
    other_loader = write(work, "other-winload.exe", boot_loader_pair(loader_checksums=other_service)[0])
    if "ramps, paired" in built:
        status, lines = inspect(built["ramps, paired"], "--against", host(other_loader))
        check(status == 1 and lines[0].endswith(": good") and lines[-1] ==
              f"  It does not pair with {host(other_loader)}: its service checksum (at 0x1C) is "
              f"{default_checksums(0x5A)[0].hex().upper()}, winload.exe's is {'00' * 16}",
              f"unpaired service checksum: ({status}) {lines}")

    # --- What the commands refuse ---
    good = built.get("ramps, x86template", "")
    out = os.path.join(work, "out")
    os.makedirs(out)
    write(out, BIG, b"kept")
    status, text = run("extract", host(good), "-o", host(out))
    check(status == 1 and f"{host(os.path.join(out, BIG))} exists already; add --force to replace it" in text and
          not os.path.exists(os.path.join(out, SMALL)), f"extract over a picture ({status}): {text}")
    status, text = run("extract", host(good), "-o", host(out), "--force")
    check(status == 0 and open(os.path.join(out, BIG), "rb").read() == pictures["ramps"][1],
          f"extract --force ({status}): {text}")
    status, text = run("extract", host(good), cwd=out)
    check(status == 1 and "exists already" in text, f"extract into the current folder ({status}): {text}")
    status, text = run("extract", host(good), "-o", host(os.path.join(work, "nowhere")))
    check(status == 1 and f"{host(os.path.join(work, 'nowhere'))} is not a folder" in text, f"-o nowhere: {text}")
    damaged = write(work, "unreadable.mui", rows[0][1])
    status, text = run("extract", host(damaged), "-o", host(os.path.join(work, "nowhere-else")))
    check(status == 1 and "is not a folder" in text, f"extract checks -o first ({status}): {text}")
    os.makedirs(os.path.join(work, "empty"))
    status, text = run("extract", host(damaged), "-o", host(os.path.join(work, "empty")))
    check(status == 1 and f"{host(damaged)}: damaged: The data of {SMALL} is damaged" in text and
          "; nothing was written" in text and not os.listdir(os.path.join(work, "empty")),
          f"extract of a damaged file ({status}): {text}")
    missing = host(os.path.join(work, "missing.mui"))
    status, text = run("inspect", missing, host(good))
    check(status == 1 and text.startswith(f'{missing}: error: Cannot open file "{missing}". ') and
          f"{host(good)}: good" in text, f"inspect of a missing file ({status}): {text}")
    status, text = run("inspect", host(good), "--system")
    said = ("--system reads the boot loader of the Windows it runs on" if not wine_run else
            "\\winload.exe: there is no such file; this Windows has no boot loader there")
    check(status == 1 and said in text, f"inspect --system ({status}): {text}")
    for args in (["inspect"], ["inspect", host(good), "--against", "a", "--system"], ["extract"],
                 ["extract", host(good), host(good)]):
        status, text = run(*args)
        check(status == 2 and "usage: marivane-cli" in text, f"{args}: ({status}) {text}")

finish()
