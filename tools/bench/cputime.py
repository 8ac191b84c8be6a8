#!/usr/bin/env python3
"""Runs a command and prints its CPU time in ms (user + system).

    cputime.py COMMAND [ARG...]

Wall time on this shared two-core machine swings with the other builds; the CPU time of a
single-threaded process barely does. The command's own output is discarded; a failing command
makes this one fail with its status. (Not peak memory: the child's figure would include the
interpreter it was forked from; /usr/bin/time measures that.)
"""
import os
import subprocess
import sys

if len(sys.argv) < 2:
    sys.stderr.write("usage: cputime.py COMMAND [ARG...]\n")
    sys.exit(2)
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
code = os.waitstatus_to_exitcode(status)
if code != 0:
    sys.exit(code if code > 0 else 1)
print("%.1f" % ((usage.ru_utime + usage.ru_stime) * 1000.0))
