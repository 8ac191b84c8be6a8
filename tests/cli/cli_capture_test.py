#!/usr/bin/env python3
"""marivane-cli capture FOLDER OUT.wim: the imaging library as the builder calls it (under
Wine, the stand-in WIMGAPI.DLL beside the program, loaded by name), judged by wimlib-imagex
and 7-Zip.

usage: cli_capture_test.py CLI [WINE_RUN]
"""
import filecmp
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import check, finish, host_path_for, run  # noqa: E402

cli = sys.argv[1]
wine_run = sys.argv[2] if len(sys.argv) > 2 else None
host_path = host_path_for(wine_run)

with tempfile.TemporaryDirectory() as work:
    tree = os.path.join(work, "tree")
    os.makedirs(os.path.join(tree, "sub", "deeper"))
    rng = random.Random(7)
    files = {
        "osload800x600.bmp": bytes(rng.randrange(16) for _ in range(300000)),
        "osload1024x768.bmp": bytes(range(256)) * 3000,
        "same-as-second.bin": bytes(range(256)) * 3000,  # one blob for two names
        "one-byte": b"\x00",
        "empty": b"",
        "sub/noise.bin": rng.randbytes(70000),
        "sub/deeper/calls.bin": b"\xe8\x00\x10\x00\x00" * 20000,
    }
    for name, content in files.items():
        with open(os.path.join(tree, name), "wb") as out:
            out.write(content)

    wim = os.path.join(work, "out.wim")
    status, text = run(([wine_run] if wine_run else []) + [cli, "capture", host_path(tree), host_path(wim)])
    check(status == 0, f"capture failed ({status}):\n{text}")
    check(f"{os.path.getsize(wim) if os.path.exists(wim) else -1} bytes" in text, f"no size printed:\n{text}")

    status, text = run(["wimlib-imagex", "verify", wim])
    check(status == 0, f"wimlib-imagex verify:\n{text}")
    status, text = run(["7zz", "t", wim])
    check(status == 0 and "WARNING" not in text, f"7zz t:\n{text}")
    status, text = run(["wimlib-imagex", "info", "--header", wim])
    check("Boot Index                  = 1" in text and "WIM_HDR_FLAG_COMPRESS_LZX is set" in text,
          f"header not bootable LZX:\n{text}")
    applied = os.path.join(work, "applied")
    status, text = run(["wimlib-imagex", "apply", wim, "1", applied])
    check(status == 0, f"apply:\n{text}")
    for name in files:
        target = os.path.join(applied, name)
        check(os.path.exists(target) and filecmp.cmp(target, os.path.join(tree, name), shallow=False),
              f"{name} did not come back byte for byte")

    # Errors come back as the builder's messages with the library's error number; a capture
    # that fails leaves an existing OUT as it was and nothing beside it.
    captured = open(wim, "rb").read()
    status, text = run(([wine_run] if wine_run else []) +
                       [cli, "capture", host_path(tree), host_path(os.path.join(work, "missing", "x.wim"))])
    check(status == 1 and "Failed to create the WIM file.  Error: " in text, f"no create error ({status}):\n{text}")
    status, text = run(([wine_run] if wine_run else []) +
                       [cli, "capture", host_path(os.path.join(work, "nothing")), host_path(wim)])
    check(status == 1 and "Failed to capture image: " in text, f"no capture error ({status}):\n{text}")
    check(open(wim, "rb").read() == captured, "a failed capture changed the existing OUT")
    check(not [name for name in os.listdir(work) if name.startswith(".marivane-")],
          f"a temporary file was left: {os.listdir(work)}")

    # An OUT inside the captured folder, by its own name or through a link, is refused before
    # anything is written.
    os.symlink(tree, os.path.join(work, "link"))
    for inside in (os.path.join(tree, "sub", "x.wim"), os.path.join(work, "link", "x.wim")):
        status, text = run(([wine_run] if wine_run else []) +
                           [cli, "capture", host_path(tree), host_path(inside)])
        expected = f"{host_path(inside)} lies inside {host_path(tree)}, the folder being captured; write it elsewhere\n"
        check(status == 1 and text == expected, f"output inside the folder ({status}):\n{text}")
        check(not os.path.exists(inside), f"{inside} was written")

finish()
