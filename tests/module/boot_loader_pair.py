#!/usr/bin/env python3
"""boot_loader_pair.py DIR: writes the test writer's boot loader and its language file as
DIR/winload.exe and DIR/en-US/winload.exe.mui, and checks the boot loader with pefile: a
program image (no DLL bit, subsystem boot application) whose entry point lies in its code,
with no warning but the byte-frequency one, whose version and MUI configuration pefile finds
where they belong. Prints every failure and exits 1, or prints "ok"."""
import os
import struct
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from check_module import frequency_warnings  # noqa: E402
from harness import check, failures  # noqa: E402
from mui_source import LOADER_CODE, RT_VERSION, SUBSYSTEM_BOOT_APPLICATION, boot_loader_pair  # noqa: E402

folder = sys.argv[1]
loader, language_file = boot_loader_pair()
os.makedirs(os.path.join(folder, "en-US"), exist_ok=True)
with open(os.path.join(folder, "winload.exe"), "wb") as out:
    out.write(loader)
with open(os.path.join(folder, "en-US", "winload.exe.mui"), "wb") as out:
    out.write(language_file)

pe = pefile.PE(data=loader)
check(sorted(pe.get_warnings()) == sorted(frequency_warnings(loader)), "pefile warns %r" % pe.get_warnings())
check(not pe.is_dll() and pe.is_exe(), "not a program image")
check(pe.OPTIONAL_HEADER.Subsystem == SUBSYSTEM_BOOT_APPLICATION, "subsystem is not boot application")
entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
code = [s for s in pe.sections if s.contains_rva(entry)]
check(code and code[0].Characteristics & 0x20000020 == 0x20000020, "the entry point is not in code")
check(pe.get_data(entry, len(LOADER_CODE)) == LOADER_CODE, "the entry point does not hold the code")
fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
check(fixed and (fixed[0].FileVersionMS, fixed[0].FileVersionLS) == (0x60000, 0x17704002), "version")
found = {}
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        for lang in n.directory.entries:
            found[(str(t.name) if t.name is not None else t.id, n.id)] = lang.data.struct
check((RT_VERSION, 1) in found, "pefile finds no VERSION 1")
if check(("MUI", 1) in found, "pefile finds no MUI 1"):
    entry = found[("MUI", 1)]
    config = pe.get_data(entry.OffsetToData, entry.Size)
    signature, length, _, _, file_type = struct.unpack_from("<5I", config)
    check((signature, length, file_type) == (0xFECDFECD, entry.Size, 0x11),
          "MUI configuration %x, length %d, file type %x" % (signature, length, file_type))
for failure in failures:
    print("FAIL:", failure)
print("ok" if not failures else "%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
