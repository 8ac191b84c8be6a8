#!/usr/bin/env python3
"""check_module.py FILE W: checks a boot screen file, i.e. x86template with W payload bytes
spliced into its slot, with pefile and with a structure walk of our own.

pefile stays silent about several faults that break Windows' and Wine's loaders (unsorted
directory entries, a missing subdirectory bit, a file offset where an RVA belongs, a lower-case
type name, a too-small SizeOfImage, a wrong VS_VERSIONINFO length), so the walk below checks
those itself. Prints every failure and exits 1, or prints "ok".
"""
import os
import struct
import sys
from collections import Counter

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import check, failures  # noqa: E402

SLOT_OFFSET = 1108
SLOT_SIZE = 3799408
SIZE_FIELD = 828
CHECKSUM_FIELD = 264
PE_HEADER = 176
RT_RCDATA, RT_VERSION = 10, 16

# Every module without an entry point gets these two from pefile; the first one's text has
# its comparison the wrong way round.
ENTRY_POINT_WARNINGS = [
    "SizeOfHeaders is smaller than AddressOfEntryPoint: this file cannot run under Windows 8.",
    "AddressOfEntryPoint lies outside the sections' boundaries. AddressOfEntryPoint: 0x0",
]

def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def frequency_warnings(data):
    """pefile's byte-frequency heuristic: 0x00 above 50 % or any other byte above 15 %."""
    found = []
    for byte, count in Counter(data).items():
        share = count / len(data)
        if (byte == 0 and share > 0.5) or (byte != 0 and share > 0.15):
            found.append("Byte 0x{0:02x} makes up {1:.4f}% of the file's contents."
                         " This may indicate truncation / malformation.".format(byte, 100.0 * share))
    return found


def check_headers(data):
    """Returns (section VA, VirtualSize, PointerToRawData) after checking the geometry."""
    check(data[:2] == b"MZ", "no MZ")
    check(u32(data, 0x3C) == PE_HEADER, "e_lfanew is not 176")
    check(data[PE_HEADER:PE_HEADER + 4] == b"PE\0\0", "no PE signature at 176")
    coff = PE_HEADER + 4
    machine, sections, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, coff)
    check(machine == 0x14C, "machine is not i386")
    check(sections == 1, "expected exactly one section")
    check(optional_size == 0xE0, "optional header size is not 0xE0")
    check(characteristics & 0x2002 == 0x2002, "not flagged as an executable DLL image")
    opt = coff + 20
    check(u16(data, opt) == 0x10B, "not PE32")
    check(u32(data, opt + 16) == 0, "AddressOfEntryPoint is not 0")
    section_alignment, file_alignment = u32(data, opt + 32), u32(data, opt + 36)
    size_of_image, size_of_headers = u32(data, opt + 56), u32(data, opt + 60)
    check(u32(data, opt + 92) == 16, "NumberOfRvaAndSizes is not 16")
    section = opt + 0xE0
    name = data[section:section + 8]
    virtual_size, va, raw_size, raw_offset = struct.unpack_from("<IIII", data, section + 8)
    check(name == b".rsrc\0\0\0", "section is not .rsrc")
    check(u32(data, section + 36) == 0x40000040, "section is not initialised read-only data")
    check(va % section_alignment == 0, "section VA not aligned")
    check(raw_offset % file_alignment == 0 and raw_size % file_alignment == 0, "raw data not aligned")
    check(raw_offset == size_of_headers and size_of_headers % file_alignment == 0,
          "section does not start right after the headers")
    check(raw_offset + raw_size == len(data), "section raw data does not cover the file exactly")
    check(virtual_size <= raw_size, "VirtualSize exceeds the raw data")
    check(size_of_image == va + align(virtual_size, section_alignment), "SizeOfImage is wrong")
    check(u32(data, opt + 8) == raw_size, "SizeOfInitializedData is not the section's raw size")
    for index in range(16):
        rva, size = struct.unpack_from("<II", data, opt + 96 + 8 * index)
        if index == 2:
            check((rva, size) == (va, virtual_size), "resource directory is not the whole section")
        else:
            check((rva, size) == (0, 0), "data directory %d is not empty" % index)
    return va, virtual_size, raw_offset


def walk_resources(data, va, virtual_size, raw_offset):
    """Walks the tree from the raw bytes. Returns {(type, name, lang): (entry file offset,
    data file offset, size)} with names as str and IDs as int."""
    directory_limit = SLOT_OFFSET - raw_offset  # everything of the directory lies before the slot
    structures = []  # (start, end) section offsets of tables, entries and strings
    leaves = {}

    def claim(start, length, what):
        if check(start + length <= directory_limit, "%s at section offset %d runs into the slot" % (what, start)):
            structures.append((start, start + length))

    def read_name(field):
        offset = field & 0x7FFFFFFF
        length = u16(data, raw_offset + offset)
        claim(offset, 2 + 2 * length, "name string")
        return data[raw_offset + offset + 2:raw_offset + offset + 2 + 2 * length].decode("utf-16-le")

    def walk(offset, level, path):
        named, ids = u16(data, raw_offset + offset + 12), u16(data, raw_offset + offset + 14)
        claim(offset, 16 + 8 * (named + ids), "table")
        keys = []
        for i in range(named + ids):
            at = raw_offset + offset + 16 + 8 * i
            field, target = u32(data, at), u32(data, at + 4)
            if i < named:
                check(field & 0x80000000, "entry %d at %r counts as named but holds an ID" % (i, path))
                key = read_name(field)
                check(key == key.upper(), "name %r is not stored upper case" % key)
            else:
                check(not field & 0x80000000 and field <= 0xFFFF, "ID entry holds a name")
                key = field & 0xFFFF
            keys.append(key)
            if level < 2:
                if check(target & 0x80000000, "entry %r at level %d lacks the subdirectory bit" % (path + [key], level)):
                    walk(target & 0x7FFFFFFF, level + 1, path + [key])
            else:
                if check(not target & 0x80000000, "language entry %r points at a table" % (path + [key])):
                    claim(target, 16, "data entry")
                    rva, size = u32(data, raw_offset + target), u32(data, raw_offset + target + 4)
                    inside = va <= rva and rva + size <= va + virtual_size
                    check(inside, "data of %r lies outside the section (RVA 0x%x)" % (path + [key], rva))
                    leaves[tuple(path + [key])] = (raw_offset + target, raw_offset + rva - va, size)
        names, numbers = keys[:named], keys[named:]
        check(names == sorted(names), "named entries at %r are not sorted" % path)
        check(all(a < b for a, b in zip(numbers, numbers[1:])), "IDs at %r are not strictly ascending" % path)

    walk(0, 0, [])
    spans = sorted(structures + [(o - raw_offset, o - raw_offset + s) for _, o, s in leaves.values()])
    for (_, end), (start, _) in zip(spans, spans[1:]):
        check(end <= start, "resource structures or data overlap at section offset %d" % start)
    return leaves


def check_version(blob):
    """VS_VERSIONINFO: the root length must be the resource size (Windows reads garbage
    otherwise, while pefile carries on), and every child must lie inside its parent."""
    def node(at, end):
        length = u16(blob, at)
        check(at % 4 == 0, "version node at %d is not DWORD-aligned" % at)
        check(6 <= length and at + length <= end, "version node at %d overruns its parent" % at)
        key_end = at + 6
        while key_end + 1 < len(blob) and u16(blob, key_end) != 0:
            key_end += 2
        child = align(key_end + 2, 4) + (u16(blob, at + 2) if u16(blob, at + 4) == 0 else 2 * u16(blob, at + 2))
        while align(child, 4) < at + length:
            child = node(align(child, 4), at + length)
        return at + length
    check(u16(blob, 0) == len(blob), "VS_VERSION_INFO length %d is not the resource size %d" % (u16(blob, 0), len(blob)))
    node(0, len(blob))


def check_mui(blob, named_types, id_types, carried=False):
    signature, length, version, _, file_type = struct.unpack_from("<IIIII", blob, 0)
    check(signature == 0xFECDFECD, "MUI signature wrong")
    check(length == len(blob), "MUI dwLength is not the resource size")
    check(version == 0x10000, "MUI version is not 1.0")
    check(file_type == 0x12, "MUI file type is not a system language-specific file")
    pairs = [struct.unpack_from("<II", blob, 0x44 + 8 * i) for i in range(8)]
    for offset, size in pairs:
        check(size == 0 or (offset >= 0x84 and offset + size <= length), "MUI block outside the header's length")

    def strings(offset, size):
        return [s for s in blob[offset:offset + size].decode("utf-16-le").split("\0") if s]
    check(strings(*pairs[2]) == sorted(t for t in named_types if t != "MUI") + ["MUI"],
          "MUI main name types %r do not match the file" % strings(*pairs[2]))
    offset, size = pairs[3]
    check(list(struct.unpack_from("<%dI" % (size // 4), blob, offset)) == sorted(id_types),
          "MUI main ID types do not match the file")
    check(pairs[4:6] == [(0, 0), (0, 0)] and pairs[7] == (0, 0), "a .mui must not list MUI types or a fallback")
    # A carried configuration names the source's own language; the template test compares it
    # with the source byte for byte instead.
    check(carried or strings(*pairs[6]) == ["en-US"], "MUI language is not en-US")


def check_with_pefile(path, data, w, language=0x409, carried=False):
    pe = pefile.PE(path)
    expected = sorted(ENTRY_POINT_WARNINGS + frequency_warnings(data))
    check(sorted(pe.get_warnings()) == expected, "pefile warnings %r, expected %r" % (pe.get_warnings(), expected))
    check(pe.generate_checksum() == u32(data, CHECKSUM_FIELD), "CheckSum field differs from pefile's")
    found = {}
    # pefile shows an entry whose subdirectory bit is missing as data; the walk above has
    # already complained about that, so such branches are simply not followed here.
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_key = str(type_entry.name) if type_entry.name is not None else type_entry.id
        for name_entry in getattr(getattr(type_entry, "directory", None), "entries", []):
            for lang in getattr(getattr(name_entry, "directory", None), "entries", []):
                found[(type_key, name_entry.id, lang.id)] = lang.data.struct
    slot = found.get((RT_RCDATA, 1, language))
    if check(slot is not None, "pefile finds no RCDATA 1/0x%x" % language):
        check(slot.get_file_offset() == SIZE_FIELD - 4, "pefile: RCDATA data entry not at 824")
        check(pe.get_offset_from_rva(slot.OffsetToData) == SLOT_OFFSET, "pefile: RCDATA data not at 1108")
        check(slot.Size == w, "pefile: RCDATA size is not W")
    check(("MUI", 1, language) in found, "pefile finds no MUI 1/0x%x" % language)
    check((RT_VERSION, 1, language) in found, "pefile finds no VERSION 1/0x%x" % language)
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if check(fixed, "pefile parses no VS_FIXEDFILEINFO"):
        check(fixed[0].Signature == 0xFEEF04BD, "fixed file info signature wrong")
        check(carried or fixed[0].FileVersionMS == 0x00010001, "fixed file info wrong")
    if carried:
        return  # the version's strings are the source's; the caller compares them
    strings, translations = {}, []
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update(table.entries)
        for var in getattr(info, "Var", []):
            translations.append(var.entry.get(b"Translation"))
    check(strings.get(b"ProductName") == b"Marivane", "pefile reads no ProductName")
    check(strings.get(b"OriginalFilename") == b"winload.exe.mui", "pefile reads no OriginalFilename")
    check(translations == ["0x0409 0x04b0"], "pefile reads translations %r" % translations)


def main():
    # check_module.py FILE W [--carried LANGID]: with --carried, the module was built from a
    # template made of someone else's language file, so the slot, version and MUI resources
    # are looked up in that language and their contents are not expected to be ours.
    path, w = sys.argv[1], int(sys.argv[2])
    carried = len(sys.argv) > 4 and sys.argv[3] == "--carried"
    language = int(sys.argv[4], 0) if carried else 0x409
    with open(path, "rb") as f:
        data = f.read()
    check(u32(data, SIZE_FIELD) == w, "size field at 828 is not W")
    va, virtual_size, raw_offset = check_headers(data)
    leaves = walk_resources(data, va, virtual_size, raw_offset)
    slot = leaves.get((RT_RCDATA, 1, language))
    if check(slot is not None, "no RCDATA 1/0x%x" % language):
        check(slot == (SIZE_FIELD - 4, SLOT_OFFSET, w), "RCDATA 1 is at %r, not (824, 1108, W)" % (slot,))
    for key, (_, offset, size) in leaves.items():
        if key != (RT_RCDATA, 1, language):
            check(offset >= SLOT_OFFSET + SLOT_SIZE, "data of %r is not after the slot" % (key,))
    version = leaves.get((RT_VERSION, 1, language))
    if check(version is not None, "no VERSION 1/0x%x" % language):
        check_version(data[version[1]:version[1] + version[2]])
    mui = leaves.get(("MUI", 1, language))
    if check(mui is not None, "no MUI 1/0x%x" % language):
        types = {key[0] for key in leaves}
        check_mui(data[mui[1]:mui[1] + mui[2]], [t for t in types if isinstance(t, str)],
                  [t for t in types if isinstance(t, int)], carried)
    check_with_pefile(path, data, w, language, carried)
    for failure in failures:
        print("FAIL:", failure)
    print("ok" if not failures else "%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
