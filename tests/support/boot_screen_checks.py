"""Judges of a boot screen file that we did not write ourselves: check_module.py (pefile and a
structure walk of the module), wimlib-imagex and 7-Zip on the WIM inside it, whose two pictures
must be the chosen files byte for byte, and, when a runner is given, Wine's resource loader."""
import os
import re
import struct

from harness import run, wine_path

SLOT_OFFSET, SLOT_SIZE, SIZE_FIELD = 1108, 3799408, 828
RT_RCDATA, RT_VERSION = 10, 16
CHECK_MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "module", "check_module.py")


def _collector(name):
    """A list of failures and a check(condition, message) that adds to it and returns the
    condition."""
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(f"{name}: {message}")
        return condition

    return failures, check


def judge(name, out, small, big, template_size, work, probe=None, carried=None):
    """Returns a list of what is wrong with the boot screen file `out` made from the bitmaps
    `small` and `big`. `probe` is (wine runner, resource_probe.exe) to ask Wine's loader.
    `carried` is the language of a language file the template was made from."""
    failures, check = _collector(name)

    data = open(out, "rb").read()
    if not check(len(data) == template_size + SLOT_SIZE, f"length {len(data)}"):
        return failures
    w = struct.unpack_from("<I", data, SIZE_FIELD)[0]
    wim_bytes = data[SLOT_OFFSET:SLOT_OFFSET + w]
    status, text = run(["/usr/bin/python3", CHECK_MODULE, out, str(w)] +
                       (["--carried", hex(carried)] if carried is not None else []))
    check(status == 0, f"module check failed:\n{text}")
    wim = os.path.join(work, name + ".wim")
    with open(wim, "wb") as f:
        f.write(wim_bytes)
    status, text = run(["wimlib-imagex", "verify", wim])
    check(status == 0, f"wimlib-imagex verify failed:\n{text}")
    status, text = run(["7zz", "t", wim])
    check(status == 0 and "WARNING" not in text, f"7zz t:\n{text}")
    status, text = run(["wimlib-imagex", "info", wim])
    check(status == 0 and "Boot Index: 1" in " ".join(text.split()), f"image 1 is not the boot image:\n{text}")
    applied = os.path.join(work, name + "-applied")
    status, text = run(["wimlib-imagex", "apply", wim, "1", applied])
    if check(status == 0, f"apply failed:\n{text}"):
        for source, staged in ((small, "osload800x600.bmp"), (big, "osload1024x768.bmp")):
            target = os.path.join(applied, staged)
            check(os.path.exists(target) and open(target, "rb").read() == open(source, "rb").read(),
                  f"{staged} does not come back byte for byte")
    if probe:
        # Wine's own loader must find exactly the WIM as the resource.
        runner, probe_exe = probe
        probe_out = os.path.join(work, name + ".probe")
        status, text = run([runner, probe_exe, wine_path(out), wine_path(probe_out)])
        check(status == 0 and os.path.exists(probe_out) and open(probe_out, "rb").read() == wim_bytes,
              f"Wine's loader did not give back the WIM ({status}):\n{text}")
    return failures


def resources_of(data):
    """{(type, name, language): (bytes, code page)} as pefile reads them."""
    import pefile
    pe = pefile.PE(data=data)
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_key = str(t.name) if t.name is not None else t.id
        for n in t.directory.entries:
            name_key = str(n.name) if n.name is not None else n.id
            for lang in n.directory.entries:
                entry = lang.data.struct
                found[(type_key, name_key, lang.id)] = (pe.get_data(entry.OffsetToData, entry.Size),
                                                       entry.CodePage)
    return found


def judge_carried(name, out, source_bytes, work, probe=None):
    """What is wrong with the resources of `out`, built from a template made from the language
    file `source_bytes`: RCDATA 1 must be the WIM in the source's language and every other
    resource the source's byte for byte and code page, as pefile reads them and, with `probe`
    (wine runner, resource_probe.exe), as Wine's FindResourceEx and GetFileVersionInfo do."""
    failures, check = _collector(name)

    data = open(out, "rb").read()
    w = struct.unpack_from("<I", data, SIZE_FIELD)[0]
    wim = data[SLOT_OFFSET:SLOT_OFFSET + w]
    expected = resources_of(source_bytes)
    language = next(key[2] for key in expected if key[:2] == (RT_RCDATA, 1))
    built = resources_of(data)
    check(built.pop((RT_RCDATA, 1, language), (None,))[0] == wim,
          f"RCDATA 1/{language:#x} is not the new WIM")
    del expected[(RT_RCDATA, 1, language)]
    check(built == expected, "carried resources differ: "
          f"{sorted(set(built) ^ set(expected), key=str)} or their bytes or code pages")
    if probe:
        runner, probe_exe = probe
        keys = [(RT_RCDATA, 1, language)] + sorted(expected, key=str)
        prefix = os.path.join(work, re.sub(r"\W+", "-", name) + ".probe")
        status, text = run([runner, probe_exe, wine_path(out), wine_path(prefix)] +
                           ["/".join(str(part) for part in key) for key in keys])
        if check(status == 0, f"resource_probe failed:\n{text}"):
            for i, key in enumerate(keys):
                want = wim if i == 0 else expected[key][0]
                check(open(f"{prefix}.{i}", "rb").read() == want, f"Wine reads {key} differently")
            version = expected[(RT_VERSION, 1, language)][0]
            ms, ls = struct.unpack_from("<II", version, 40 + 8)
            check(f"version {ms:08X} {ls:08X} translation {1200 << 16 | language:08X}" in text,
                  f"version reads back as {text!r}")
    return failures
