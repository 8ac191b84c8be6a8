#!/usr/bin/env python3
"""marivane-cli as `cmake --install` lays it out under a prefix of its own: the tool in bin/,
its template in share/marivane/, the man page in share/man/man1/ and nothing else; and the
installed tool, run from another folder without being told where its template is, builds a
boot screen file that readers we did not write accept.

usage: install_test.py BUILD_DIR
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import boot_screen_checks  # noqa: E402
from harness import bitmap, check, cli_command, failures, finish, run  # noqa: E402

build = sys.argv[1]

with tempfile.TemporaryDirectory() as work:
    prefix = os.path.join(work, "prefix")
    status, text = run(["cmake", "--install", build, "--prefix", prefix])
    if not check(status == 0, f"cmake --install failed ({status}):\n{text}"):
        finish()
    installed = sorted(os.path.relpath(os.path.join(folder, name), prefix)
                       for folder, _, names in os.walk(prefix) for name in names)
    check(installed == ["bin/marivane-cli", "share/man/man1/marivane-cli.1", "share/marivane/x86template"],
          f"installed files: {installed}")

    elsewhere = os.path.join(work, "elsewhere")
    temp = os.path.join(work, "temp")
    os.mkdir(elsewhere)
    os.mkdir(temp)
    small = os.path.join(elsewhere, "small.bmp")
    big = os.path.join(elsewhere, "big.bmp")
    open(small, "wb").write(bitmap(800, 600, lambda x, y: (x & 255, y & 255, 90)))
    open(big, "wb").write(bitmap(1024, 768, lambda x, y: (200, x & 255, y & 255)))
    cli = os.path.join(prefix, "bin", "marivane-cli")
    status, text = run(*cli_command(cli, None, ["build", "small.bmp", "big.bmp"], temp), cwd=elsewhere)
    out = os.path.join(elsewhere, "winload.exe.mui")
    if check(status == 0 and os.path.exists(out), f"the installed tool's build failed ({status}):\n{text}"):
        template_size = os.path.getsize(os.path.join(prefix, "share", "marivane", "x86template"))
        failures.extend(boot_screen_checks.judge("installed", out, small, big, template_size, work))

finish()
