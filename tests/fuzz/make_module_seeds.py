#!/usr/bin/env python3
"""Writes the seed corpus of the module reader's fuzzer into the folder given: language files
in the layouts the template test uses and the boot loader they belong to, made by the same
minimal writer, and bare MUI configurations and version resources for the readers of those."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from mui_source import (RT_MESSAGETABLE, RT_STRING, RT_VERSION, boot_loader_pair, build_module,  # noqa: E402
                        language_file, message_table, mui_config, string_block, version_info)

loader, paired = boot_loader_pair(extras=[(RT_STRING, 1, 0x409, string_block(0, {1: "x"}))])
seeds = {
    "plain": build_module(language_file(0x409, "en-US"))[0],
    "two_sections": build_module(language_file(0x407, "de-DE"), data_section=True, directory_at=0x40)[0],
    "strings_messages": build_module(language_file(0x407, "de-DE", [
        (RT_STRING, 1, 0x407, string_block(0, {1: "x"})),
        (RT_MESSAGETABLE, 1, 0x407, message_table({1: "m"})),
        ("XML", "LAYOUT", 0x407, b"<x/>")]))[0],
    "boot_loader": loader,
    "paired_language_file": paired,
    "mui_config": mui_config(["MUI"], [10, RT_VERSION], "en-US"),
    "mui_config_neutral": mui_config(["MUI"], [RT_VERSION], "", neutral=True, mui_named_types=["MUI"],
                                     mui_id_types=[6, 10, 16], fallback="en-US"),
    "version_info": version_info(0x409),
}
os.makedirs(sys.argv[1], exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(sys.argv[1], name), "wb") as out:
        out.write(data)
