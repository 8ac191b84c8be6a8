#!/usr/bin/env python3
"""import_table_test.py EXE LIST: EXE must be a 32-bit Windows program whose import table
names only Windows' own DLLs, and only functions listed for them in LIST (the functions Windows
Vista's DLLs export that this program may use). Prints each offence and exits 1, or "ok".
"""
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import failures, finish  # noqa: E402

exe, list_path = sys.argv[1], sys.argv[2]
allowed = {}
with open(list_path) as f:
    for line in f:
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        dll, name = line.split()
        allowed.setdefault(dll.lower(), set()).add(name)

pe = pefile.PE(exe)
if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
    failures.append(f"machine {pe.FILE_HEADER.Machine:#x} is not i386")
if pe.OPTIONAL_HEADER.Magic != 0x10B:
    failures.append("not a PE32 (32-bit) image")
if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
    failures.append("not a Windows GUI program")
# Vista loads images that ask for an operating system version up to 6.0.
if (pe.OPTIONAL_HEADER.MajorOperatingSystemVersion, pe.OPTIONAL_HEADER.MinorOperatingSystemVersion) > (6, 0):
    failures.append("asks for a newer Windows than Vista")
if (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion) > (6, 0):
    failures.append("subsystem version newer than Vista's")
if not hasattr(pe, "DIRECTORY_ENTRY_IMPORT"):
    failures.append("no import table")
for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    dll = entry.dll.decode().lower()
    if dll not in allowed:
        failures.append(f"{dll}: not one of Windows' own DLLs on the list")
        continue
    for imported in entry.imports:
        if imported.name is None:
            failures.append(f"{dll}: import by ordinal {imported.ordinal}")
        elif imported.name.decode() not in allowed[dll]:
            failures.append(f"{dll}: {imported.name.decode()} is not on the Vista list")
if hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"):
    failures.append("delay-load imports are not checked by this test")

finish("ok", "{} failures")
