#!/usr/bin/env python3
"""marivane-cli template, then build --template, from language files our own minimal writer
makes in several layouts; and the refusals for sources that are not such a file.

usage: cli_template_test.py CLI [--wine RUN] [--probe DIR --probe-wine RUN]
  --wine   the CLI is a Windows program run through RUN
  --probe  folder with resource_probe.exe, run through --probe-wine, to ask Wine's loader
Each built module must carry every resource but RCDATA 1 byte for byte (read back by pefile,
by check_module.py and, with --probe, by Wine's FindResource and GetFileVersionInfo).
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile


HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from boot_screen_checks import (CHECK_MODULE, SIZE_FIELD, SLOT_OFFSET, SLOT_SIZE, judge_carried,  # noqa: E402
                                resources_of)
import harness  # noqa: E402
from harness import bitmap, check, failures, finish, host_path_for  # noqa: E402
from mui_source import (RT_MESSAGETABLE, RT_RCDATA, RT_STRING, RT_VERSION, build_module,  # noqa: E402
                        language_file, message_table, string_block)

parser = argparse.ArgumentParser()
parser.add_argument("cli")
parser.add_argument("--wine")
parser.add_argument("--probe")
parser.add_argument("--probe-wine")
args = parser.parse_args()
probe = os.path.join(args.probe, "resource_probe.exe") if args.probe else None
if probe and not os.path.exists(probe):
    probe = None
host = host_path_for(args.wine)


def run(*command):
    return harness.run(([args.wine, args.cli] if args.wine else [args.cli]) + list(command))


# --- Layouts: each a language file our writer makes, with what it must come back with ---

DE, EN, JA = 0x0407, 0x0409, 0x0411
NAMES = {DE: "de-DE", EN: "en-US", JA: "ja-JP"}
strings_de = [(RT_STRING, block, DE, string_block(16 * (block - 1), {16 * (block - 1) + 2: "Windows wird gestartet"}))
              for block in (1, 2, 7)]
layouts = {
    "en-US plain": dict(resources=language_file(EN, "en-US")),
    "de-DE with strings and messages": dict(
        resources=language_file(DE, "de-DE", strings_de + [
            (RT_MESSAGETABLE, 1, DE, message_table({0x10: "Fehler beim Laden", 0x12: "Datei fehlt"}))])),
    "RCDATA 1 not first, data in another order, directory inside its section": dict(
        resources=language_file(DE, "de-DE", [(RT_STRING, 1, DE, string_block(0, {1: "a"}))],
                                first=(RT_VERSION, 1, DE))[::-1],
        options=dict(data_section=True, directory_at=0x40, lfanew=0x80)),
    "large RCDATA 1, named types, code pages": dict(
        resources=language_file(JA, "ja-JP", [("TYPELIB", 1, JA, bytes(range(256)) * 3, 932),
                                              ("XML", "LAYOUT", JA, b"<layout/>", 65001),
                                              (RT_RCDATA, 2, JA, b"other data")],
                                boot_screen=os.urandom(3 * 1024 * 1024))),
}

with tempfile.TemporaryDirectory() as work:
    # A working folder of our own: another run of this test (against another build of the
    # tool) may be building at the same time. Under Wine, TEMP comes from Wine's registry.
    os.environ["TEMP"] = os.path.join(work, "temp")
    os.mkdir(os.environ["TEMP"])
    small, big = os.path.join(work, "small.bmp"), os.path.join(work, "big.bmp")
    open(small, "wb").write(bitmap(800, 600, lambda x, y: (10, 20, 30)))
    open(big, "wb").write(bitmap(1024, 768, lambda x, y: (200, 100, 0)))

    for index, (title, layout) in enumerate(layouts.items()):
        source_bytes, _ = build_module(layout["resources"], **layout.get("options", {}))
        source = os.path.join(work, f"source{index}.mui")
        template = os.path.join(work, f"template{index}")
        out = os.path.join(work, f"built{index}.mui")
        open(source, "wb").write(source_bytes)
        expected = resources_of(source_bytes)
        language = next(key[2] for key in expected if key[:2] == (RT_RCDATA, 1))

        status, text = run("template", host(source), "-o", host(template))
        if not check(status == 0, f"{title}: template failed ({status}):\n{text}"):
            continue
        check(f"language {NAMES[language]} (0x{language:04X}), {len(expected) - 1} resources carried" in text,
              f"{title}: template says {text!r}")
        status, text = run("build", host(small), host(big), "-o", host(out), "--template", host(template))
        if not check(status == 0, f"{title}: build failed ({status}):\n{text}"):
            continue
        data = open(out, "rb").read()
        check(len(data) == os.path.getsize(template) + SLOT_SIZE, f"{title}: length {len(data)}")
        w = struct.unpack_from("<I", data, SIZE_FIELD)[0]
        wim = data[SLOT_OFFSET:SLOT_OFFSET + w]
        check(wim[:8] == b"MSWIM\0\0\0", f"{title}: the slot holds no WIM")
        # The language file itself named as the template is made into one on the way, not
        # spliced as it stands: the same file comes out.
        direct = os.path.join(work, f"direct{index}.mui")
        status, text = run("build", host(small), host(big), "-o", host(direct), "--template", host(source))
        check(status == 0 and os.path.exists(direct) and open(direct, "rb").read() == data,
              f"{title}: build --template with the language file itself ({status}):\n{text}")

        status, text = subprocess.run([sys.executable, CHECK_MODULE, out, str(w), "--carried", hex(language)],
                                      capture_output=True, text=True).stdout, None
        check(status.strip().endswith("ok"), f"{title}: check_module:\n{status}")
        failures.extend(judge_carried(title, out, source_bytes, work,
                                      (args.probe_wine, probe) if probe else None))

    # --- Refusals: a clear message, exit status 1, nothing written ---

    good = language_file(EN, "en-US")
    base, where = build_module(good)
    root, rsrc = where["tables"][()], where["rsrc"]

    def patched(data, *edits):
        data = bytearray(data)
        for offset, fmt, value in edits:
            struct.pack_into(fmt, data, offset, value)
        return bytes(data)

    too_many = [(RT_STRING, n, EN, b"s") for n in range(1, 40)]
    refusals = {
        "a text file": (b"hello, not a module\n" * 8, "no MZ header"),
        "PE32+": (build_module(good, magic=0x20B)[0], "not a PE32 module"),
        "an entry point": (build_module(good, entry_point=0x1000)[0], "has an entry point"),
        "a code section": (build_module(good, rsrc_flags=0x60000020)[0], "holds code or is executable"),
        "not a DLL": (build_module(good, coff_flags=0x0102)[0], "not a DLL image"),
        "no RCDATA 1": (build_module([r for r in good if r[:2] != (RT_RCDATA, 1)])[0],
                        "no RCDATA resource named 1"),
        "RCDATA 1 twice": (build_module(good + [(RT_RCDATA, 1, DE, b"x")])[0], "RCDATA 1 in 2 languages"),
        "a directory too large": (build_module(good + too_many)[0],
                                  "need a directory of "),  # 39 more name tables and data entries
        "cut in the directory": (base[:rsrc + 20], "outside the sections stored in the file"),
        "a cycle": (patched(base, (where["tables"][(RT_RCDATA,)] + 20, "<I", 0x80000000)),
                    "twice (a cycle or a shared table)"),
        "a type entry pointing at itself": (patched(base, (root + 16 + 4, "<I", 0x80000000)),
                                            "twice (a cycle or a shared table)"),
        "data past the end": (patched(base, (where["entries"][(RT_RCDATA, 1, EN)], "<I", 0xFFFFFFF0)),
                              "outside the sections stored in the file"),
        "a size that wraps": (patched(base, (where["entries"][(RT_RCDATA, 1, EN)] + 4, "<I", 0xFFFFFFFF)),
                              "in all"),
        "an entry count past the section": (patched(base, (root + 14, "<H", 0xFFFF)),
                                            "a resource table's entries"),
        "a name past the end": (patched(base, (root + 16, "<I", 0x8FFFFFF0)), "a resource name"),
        "e_lfanew past the end": (patched(base, (0x3C, "<I", 0xFFFFFFF0)), "the file ends before its PE header"),
        "a data entry at the table level": (patched(base, (root + 16 + 4, "<I", 0x10)),
                                            "ends before the language level"),
    }
    for index, (title, (content, message)) in enumerate(refusals.items()):
        source = os.path.join(work, f"bad{index}.mui")
        out = os.path.join(work, f"bad{index}-template")
        open(source, "wb").write(content)
        status, text = run("template", host(source), "-o", host(out))
        check(status == 1 and message in text, f"{title}: ({status}) {text!r}, expected {message!r}")
        check(not os.path.exists(out), f"{title}: something was written")
    match = re.search(r"need a directory of (\d+) bytes, but only 596 fit", run(
        "template", host(os.path.join(work, f"bad{list(refusals).index('a directory too large')}.mui")),
        "-o", host(os.path.join(work, "x")))[1])
    check(match and int(match.group(1)) > 596, "the overflow message does not say how many bytes")

    # An existing output stays as it is without --force, and is replaced with it.
    source = os.path.join(work, "source0.mui")
    existing = os.path.join(work, "existing")
    open(existing, "wb").write(b"keep me")
    status, text = run("template", host(source), "-o", host(existing))
    check(status == 1 and "add --force" in text and open(existing, "rb").read() == b"keep me",
          f"existing output: ({status}) {text!r}")
    status, text = run("template", host(source), "-o", host(existing), "--force")
    check(status == 0 and open(existing, "rb").read()[:2] == b"MZ", f"--force: ({status}) {text!r}")
    # A folder under OUT's name is no file to replace, --force or not: it stays, and so does
    # what it holds.
    folder = os.path.join(work, "a-folder")
    os.mkdir(folder)
    open(os.path.join(folder, "inside"), "wb").write(b"keep me")
    status, text = run("template", host(source), "-o", host(folder), "--force")
    kept = open(os.path.join(folder, "inside"), "rb").read() == b"keep me"
    check(status == 1 and text.startswith(f"Unable to write {host(folder)}: ") and kept,
          f"folder as OUT: ({status}) {text!r}")
    status, _ = run("template")
    check(status == 2, f"no source: status {status}")
    if not args.wine:
        # Under Wine, ui_system_template_test.py reads planted system files instead.
        for command in (["template", "--system", "de-DE"], ["build", "a.bmp", "b.bmp", "--system-template"]):
            status, text = run(*command)
            check(status == 1 and "needs Windows" in text and "template SOURCE" in text,
                  f"{command} on Linux: ({status}) {text!r}")

finish()
