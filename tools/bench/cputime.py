#!/usr/bin/env python3
"""Runs a command and prints its CPU time (user + system, all threads) and wall time in ms.

    cputime.py COMMAND [ARG...]

Wall time on this shared two-core machine swings with the other builds; the CPU time of a
process barely does, but it counts a second thread's work where the user waits only for the
longer of the two. The command's own output is discarded; a failing command makes this one
fail with its status. (Not peak memory: the child's figure would include the
interpreter it was forked from; /usr/bin/time measures that.)
"""
import os
import subprocess
import sys
import time

if len(sys.argv) < 2:
    sys.stderr.write("usage: cputime.py COMMAND [ARG...]\n")
    sys.exit(2)
start = time.monotonic()
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
wall = time.monotonic() - start
code = os.waitstatus_to_exitcode(status)
if code != 0:
    sys.exit(code if code > 0 else 1)
print("%.1f %.1f" % ((usage.ru_utime + usage.ru_stime) * 1000.0, wall * 1000.0))
