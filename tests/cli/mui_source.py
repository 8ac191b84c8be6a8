"""A minimal writer of plain resource-only PE32 DLLs, standing in for a system's own language
file in the template tests and the reader's fuzz seeds. It is deliberately unlike our own
slot-shaped writer: its own e_lfanew, an optional data section in front of .rsrc, the
directory anywhere in its section, the data in whatever order it is given.

It also writes the boot loader such a file belongs to, winload.exe: a language-neutral program
image with a bit of code behind its entry point, its own MUI configuration and a version
(boot_loader_pair).

resources: list of (type, name, language, data[, code_page]); type and name are ints or
upper-case str. Returns (file bytes, where) with where["rsrc"] the section's file offset,
where["tables"][path] a table's file offset (path () is the root, (type,) and (type, name)
below it) and where["entries"][(type, name, language)] a data entry's file offset.
"""
import struct

FILE_ALIGN, SECTION_ALIGN = 0x200, 0x1000
RT_STRING, RT_RCDATA, RT_MESSAGETABLE, RT_VERSION = 6, 10, 11, 16


def align(value, to):
    return (value + to - 1) // to * to


def sort_key(key):
    # Directory order: named entries first, by UTF-16 code unit; then IDs ascending.
    return (0, key, 0) if isinstance(key, str) else (1, "", key)


def build_module(resources, lfanew=0xE8, data_section=False, directory_at=0, machine=0x14C,
                 coff_flags=0x2102, magic=0x10B, entry_point=0, rsrc_flags=0x40000040, code=None,
                 subsystem=2):
    # `code` puts a .text section of those bytes where the data section would go, for a
    # program image; the entry point is its start unless `entry_point` says otherwise.
    first = ((b".text", code, 0x60000020) if code is not None else
             (b".rdata", b"\x5A" * 16, 0x40000040) if data_section else None)
    assert first is None or len(first[1]) <= FILE_ALIGN
    if code is not None and not entry_point:
        entry_point = SECTION_ALIGN
    tree = {}
    for item in resources:
        type_, name, lang, data = item[:4]
        tree.setdefault(type_, {}).setdefault(name, {})[lang] = (data, item[4] if len(item) > 4 else 0)
    types = sorted(tree, key=sort_key)

    # Section-relative layout: tables, data entries, strings, then the data.
    cursor = directory_at
    tables, entries, strings = {}, {}, {}

    def take(size, alignment=4):
        nonlocal cursor
        cursor = align(cursor, alignment)
        at = cursor
        cursor += size
        return at
    tables[()] = take(16 + 8 * len(types))
    for t in types:
        tables[(t,)] = take(16 + 8 * len(tree[t]))
    for t in types:
        for n in sorted(tree[t], key=sort_key):
            tables[(t, n)] = take(16 + 8 * len(tree[t][n]))
    for t in types:
        for n in tree[t]:
            for lang in tree[t][n]:
                entries[(t, n, lang)] = take(16)
    for t in types:
        for key in [t] + list(tree[t]):
            if isinstance(key, str) and key not in strings:
                strings[key] = take(2 + 2 * len(key), 2)
    data_at = {}
    for item in resources:
        data_at[tuple(item[:3])] = take(len(item[3]), 8)
    rsrc_size = cursor

    headers_size = align(lfanew + 4 + 20 + 224 + 40 * (2 if first else 1), FILE_ALIGN)
    rdata_raw = FILE_ALIGN if first else 0
    rsrc_file = headers_size + rdata_raw
    rsrc_rva = SECTION_ALIGN * (2 if first else 1)
    rsrc_raw = align(rsrc_size, FILE_ALIGN)
    image_size = rsrc_rva + align(rsrc_size, SECTION_ALIGN)

    section = bytearray(rsrc_raw)

    def table(at, keys, targets):
        named = sum(isinstance(k, str) for k in keys)
        struct.pack_into("<IIHHHH", section, at, 0, 0, 0, 0, named, len(keys) - named)
        for i, (key, target) in enumerate(zip(keys, targets)):
            field = 0x80000000 | (strings[key] - directory_at) if isinstance(key, str) else key
            struct.pack_into("<II", section, at + 16 + 8 * i, field, target)
    # Offsets inside the tree count from the directory's start, not from the section's.
    sub = {path: 0x80000000 | (at - directory_at) for path, at in tables.items()}
    table(tables[()], types, [sub[(t,)] for t in types])
    for t in types:
        names = sorted(tree[t], key=sort_key)
        table(tables[(t,)], names, [sub[(t, n)] for n in names])
        for n in names:
            langs = sorted(tree[t][n])
            table(tables[(t, n)], langs, [entries[(t, n, lang)] - directory_at for lang in langs])
            for lang in langs:
                data, code_page = tree[t][n][lang]
                struct.pack_into("<IIII", section, entries[(t, n, lang)],
                                 rsrc_rva + data_at[(t, n, lang)], len(data), code_page, 0)
                section[data_at[(t, n, lang)]:data_at[(t, n, lang)] + len(data)] = data
    for text, at in strings.items():
        struct.pack_into("<H", section, at, len(text))
        section[at + 2:at + 2 + 2 * len(text)] = text.encode("utf-16-le")

    out = bytearray(headers_size)
    struct.pack_into("<H", out, 0, 0x5A4D)
    struct.pack_into("<I", out, 0x3C, lfanew)
    out[lfanew:lfanew + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", out, lfanew + 4, machine, 2 if first else 1, 0x4549E800, 0, 0,
                     224, coff_flags)
    opt = lfanew + 24
    code_size = rdata_raw if code is not None else 0
    struct.pack_into("<HBBIIIIII", out, opt, magic, 14, 0, code_size, rsrc_raw + rdata_raw - code_size,
                     0, entry_point, SECTION_ALIGN if code_size else 0, rsrc_rva)
    struct.pack_into("<IIIHHHHHHIIIIHHIIIIII", out, opt + 28, 0x10000000, SECTION_ALIGN, FILE_ALIGN,
                     6, 0, 6, 0, 6, 0, 0, image_size, headers_size, 0, subsystem, 0x540, 0x40000, 0x1000,
                     0x100000, 0x1000, 0, 16)
    struct.pack_into("<II", out, opt + 96 + 16, rsrc_rva + directory_at, rsrc_size - directory_at)
    sections = opt + 224
    if first:
        struct.pack_into("<8sIIIIIIHHI", out, sections, first[0], len(first[1]), SECTION_ALIGN, FILE_ALIGN,
                         headers_size, 0, 0, 0, 0, first[2])
        sections += 40
    struct.pack_into("<8sIIIIIIHHI", out, sections, b".rsrc", rsrc_size, rsrc_rva, rsrc_raw, rsrc_file,
                     0, 0, 0, 0, rsrc_flags)
    data = bytes(out) + (first[1] + bytes(rdata_raw - len(first[1])) if first else b"") + bytes(section)
    where = {"rsrc": rsrc_file,
             "tables": {path: rsrc_file + at for path, at in tables.items()},
             "entries": {key: rsrc_file + at for key, at in entries.items()},
             "lfanew": lfanew}
    return data, where


# --- Resource contents shaped like a language file's ---

def _node(key, value=b"", text=False, children=()):
    """One VS_VERSIONINFO node: wLength, wValueLength, wType, key, padding, value, children."""
    head = key.encode("utf-16-le") + b"\0\0"
    body = bytearray(6) + head
    body += bytes(align(len(body), 4) - len(body)) + value
    for child in children:
        body += bytes(align(len(body), 4) - len(body)) + child
    value_length = len(value) // 2 if text else len(value)
    struct.pack_into("<HHH", body, 0, len(body), value_length, 1 if text else 0)
    return bytes(body)


def version_info(language, version=(6, 0, 6000, 16386), strings=None):
    ms, ls = version[0] << 16 | version[1], version[2] << 16 | version[3]
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 0x40004, 2, 0, 0, 0)
    strings = strings or {"FileDescription": "OS Loader", "OriginalFilename": "winload.exe.mui",
                          "FileVersion": "%d.%d.%d.%d" % version}
    table = [_node(k, (v + "\0").encode("utf-16-le"), True) for k, v in strings.items()]
    block = "%04x04b0" % language
    string_info = _node("StringFileInfo", children=[_node(block, children=table)])
    var_info = _node("VarFileInfo", children=[_node("Translation", struct.pack("<HH", language, 1200))])
    return _node("VS_VERSION_INFO", fixed, children=[string_info, var_info])


def default_checksums(seed):
    """(service, main), the 16 bytes each at 0x1C and 0x2C of a MUI configuration."""
    both = bytes((seed * 37 + i * 11) & 0xFF for i in range(32))
    return both[:16], both[16:]


def mui_config(named_types, id_types, language_name, seed=1, checksums=None, neutral=False,
               mui_named_types=(), mui_id_types=(), fallback=""):
    """An RC_CONFIG block (0x84-byte header, blocks padded to 8): a language file's, or with
    `neutral` the language-neutral module's, which names the types its language files hold and
    its ultimate fallback language instead of a language. `checksums` is (service, main)."""
    def names(types):
        return b"".join((t + "\0").encode("utf-16-le") for t in types) + bytes(6)

    def text(name):
        return (name + "\0").encode("utf-16-le")
    ids = struct.pack("<%dI" % len(id_types), *id_types)
    if neutral:
        blocks = [names(named_types), ids, names(mui_named_types),
                  struct.pack("<%dI" % len(mui_id_types), *mui_id_types), None, text(fallback)]
    else:
        blocks = [names(named_types), ids, None, None, text(language_name), None]
    cursor, pairs, data = 0x88, [], b""
    for block in blocks:
        if block is None:
            pairs.append((0, 0))
            continue
        pairs.append((cursor, len(block)))
        padded = block + bytes(align(len(block), 8) - len(block))
        data += padded
        cursor += len(padded)
    service, main = checksums or default_checksums(seed)
    header = struct.pack("<IIIIIII", 0xFECDFECD, cursor, 0x10000, 0, 0x11 if neutral else 0x12, 0x100,
                         2 if neutral else 0) + service + main
    header += bytes(8) + bytes(16)  # reserved, MUI file name and path
    header += b"".join(struct.pack("<II", *pair) for pair in pairs)
    assert len(header) == 0x84
    return header + bytes(4) + data


def string_block(first, texts):
    """An RT_STRING block: 16 counted UTF-16 strings (empty ones have length 0)."""
    out = bytearray()
    for i in range(16):
        text = texts.get(first + i, "")
        out += struct.pack("<H", len(text)) + text.encode("utf-16-le")
    return bytes(out)


def message_table(messages):
    """MESSAGE_RESOURCE_DATA with one block of consecutive IDs, Unicode entries."""
    first = min(messages)
    last = max(messages)
    entries = bytearray()
    for number in range(first, last + 1):
        text = (messages.get(number, "") + "\r\n\0").encode("utf-16-le")
        text += bytes(align(len(text), 4) - len(text))
        entries += struct.pack("<HH", 4 + len(text), 1) + text
    return struct.pack("<IIII", 1, first, last, 16) + bytes(entries)


def language_file(language, language_name, extras=(), boot_screen=b"\x11" * 64, first=None,
                  version=(6, 0, 6000, 16386), checksums=None):
    """A language file: RCDATA 1 (the boot screen), VERSION 1, MUI 1 and `extras`, with the
    MUI configuration listing every type present. `first` puts that key's data first.
    `checksums` (service, main) default to ones made from the language."""
    resources = [(RT_RCDATA, 1, language, boot_screen)] + list(extras)
    named = sorted({r[0] for r in resources if isinstance(r[0], str)} - {"MUI"}) + ["MUI"]
    ids = sorted({r[0] for r in resources if isinstance(r[0], int)} | {RT_VERSION})
    resources.append((RT_VERSION, 1, language, version_info(language, version)))
    resources.append(("MUI", 1, language, mui_config(named, ids, language_name, language, checksums), 1200))
    if first is not None:
        resources.sort(key=lambda r: (r[0], r[1], r[2]) != first)
    return resources


# A little code behind the entry point: push ebp; mov ebp, esp; xor eax, eax; pop ebp; ret.
LOADER_CODE = bytes.fromhex("558BEC33C05DC3")
SUBSYSTEM_BOOT_APPLICATION = 16


def boot_loader_pair(language=0x409, language_name="en-US", extras=(), version=(6, 0, 6000, 16386),
                     checksums=None, loader_version=None, loader_checksums=None):
    """(winload.exe, winload.exe.mui) as bytes: the boot loader, a language-neutral program image
    (code, an entry point, subsystem boot application, no DLL bit) with its MUI configuration
    (file type 0x11) and version, and its language file with `extras` (string tables, say) and
    a boot screen. Both carry `version` and `checksums` (service, main) and so pair, unless
    loader_version or loader_checksums give winload.exe others."""
    checksums = checksums or default_checksums(0x5A)
    mui_file = language_file(language, language_name, extras, version=version, checksums=checksums)
    mui_named = sorted({r[0] for r in mui_file if isinstance(r[0], str)} - {"MUI"}) + ["MUI"]
    mui_ids = sorted({r[0] for r in mui_file if isinstance(r[0], int)})
    loader_version = loader_version or version
    strings = {"FileDescription": "OS Loader", "OriginalFilename": "winload.exe",
               "FileVersion": "%d.%d.%d.%d" % loader_version}
    config = mui_config(["MUI"], [RT_VERSION], "", checksums=loader_checksums or checksums, neutral=True,
                        mui_named_types=mui_named, mui_id_types=mui_ids, fallback=language_name)
    loader = [(RT_VERSION, 1, language, version_info(language, loader_version, strings)),
              ("MUI", 1, language, config, 1200)]
    return (build_module(loader, code=LOADER_CODE, coff_flags=0x0102, subsystem=SUBSYSTEM_BOOT_APPLICATION)[0],
            build_module(mui_file)[0])
