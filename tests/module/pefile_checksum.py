#!/usr/bin/env python3
"""pefile_checksum.py FILE...: prints pefile's generate_checksum() of each file, one per line,
as 8 hex digits."""
import sys

import pefile

for path in sys.argv[1:]:
    print("%08x" % pefile.PE(path, fast_load=True).generate_checksum())
