#!/usr/bin/env python3
"""check_layers.py SRC: whether the layers of the source tree SRC hold, judged by the
#include "..." lines of every file below it. Bottom to top: base; module and imaging; platform;
builder; cli and ui. A file includes from its own layer and the layers below it, never from one
beside or above it. Prints each offending line and exits 1, or prints "ok".
"""
import os
import re
import sys

# A layer may include the layers of a lower rank. Folders missing from the tree are no fault;
# a folder that is missing from this table is one, since nobody has said where it stands.
RANKS = {"base": 0, "module": 1, "imaging": 1, "platform": 2, "builder": 3, "cli": 4, "ui": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def offences_in(path, layer):
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            # Only the first component names a layer; "resources/resource.h" and the like are
            # not ours to place.
            included = match.group(1).split("/")[0] if match else None
            if included in RANKS and included != layer and RANKS[included] >= RANKS[layer]:
                yield f"{path}:{number}: {line.strip()}   ({layer} may not include {included})"


def main():
    src = sys.argv[1]
    offences = []
    for layer in sorted(os.listdir(src)):
        folder = os.path.join(src, layer)
        if not os.path.isdir(folder):
            continue
        if layer not in RANKS:
            offences.append(f"{folder}: a folder that is not one of the layers {sorted(RANKS)}")
            continue
        for root, folders, names in os.walk(folder):
            folders.sort()
            for name in sorted(names):
                offences.extend(offences_in(os.path.join(root, name), layer))
    for offence in offences:
        print(offence)
    print("ok" if not offences else f"{len(offences)} faults in the layers")
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main())
