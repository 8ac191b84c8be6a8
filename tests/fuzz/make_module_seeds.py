#!/usr/bin/env python3
"""Writes the seed corpus of the module reader's fuzzer into the folder given: language files
in the layouts the template test uses, made by the same minimal writer."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from mui_source import RT_MESSAGETABLE, RT_STRING, build_module, language_file, message_table, string_block  # noqa: E402

seeds = {
    "plain": build_module(language_file(0x409, "en-US"))[0],
    "two_sections": build_module(language_file(0x407, "de-DE"), data_section=True, directory_at=0x40)[0],
    "strings_messages": build_module(language_file(0x407, "de-DE", [
        (RT_STRING, 1, 0x407, string_block(0, {1: "x"})),
        (RT_MESSAGETABLE, 1, 0x407, message_table({1: "m"})),
        ("XML", "LAYOUT", 0x407, b"<x/>")]))[0],
}
os.makedirs(sys.argv[1], exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(sys.argv[1], name), "wb") as out:
        out.write(data)
