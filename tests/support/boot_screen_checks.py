"""Judges of a boot screen file that we did not write ourselves: check_module.py (pefile and a
structure walk of the module), wimlib-imagex and 7-Zip on the WIM inside it, whose two pictures
must be the chosen files byte for byte, and, when a runner is given, Wine's resource loader."""
import os
import struct

from harness import run, wine_path

SLOT_OFFSET, SLOT_SIZE, SIZE_FIELD = 1108, 3799408, 828
CHECK_MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "module", "check_module.py")


def judge(name, out, small, big, template_size, work, probe=None):
    """Returns a list of what is wrong with the boot screen file `out` made from the bitmaps
    `small` and `big`. `probe` is (wine runner, resource_probe.exe) to ask Wine's loader."""
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(f"{name}: {message}")
        return condition

    data = open(out, "rb").read()
    if not check(len(data) == template_size + SLOT_SIZE, f"length {len(data)}"):
        return failures
    w = struct.unpack_from("<I", data, SIZE_FIELD)[0]
    wim_bytes = data[SLOT_OFFSET:SLOT_OFFSET + w]
    status, text = run(["/usr/bin/python3", CHECK_MODULE, out, str(w)])
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
