#!/usr/bin/env python3
"""The house rules of src/ and providers/: no source file over 400 lines, no
folder with more than 12 sources of its own, and src/ reaches the provider
only through its door, providers/include/."""

import os
import re
import unittest

ROOT = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)

def folders(*rooms):
    for room in rooms:
        for folder, _, files in os.walk(os.path.join(ROOT, room)):
            yield os.path.relpath(folder, ROOT), files


def sources(*rooms, endings=(".c", ".cpp", ".h")):
    return [os.path.join(folder, name) for folder, files in folders(*rooms) for name in files
            if name.endswith(endings)]


def text(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def behind_the_door(path):
    """Headers `path` includes from the provider other than through providers/include/."""
    modules = [""] + sorted(os.listdir(os.path.join(ROOT, "providers")))
    found = []
    for header in INCLUDE.findall(text(path)):
        ours = [os.path.join(os.path.dirname(path), header), os.path.join("src", header),
                os.path.join("providers", "include", header)]
        if any(os.path.exists(os.path.join(ROOT, p)) for p in ours):
            continue
        if any(os.path.exists(os.path.join(ROOT, "providers", m, header)) for m in modules):
            found.append(header)
    return found


class HouseRules(unittest.TestCase):
    def test_no_source_file_is_longer_than_400_lines(self):
        long = {p: n for p in sources("src", "providers") if (n := text(p).count("\n")) > 400}
        self.assertEqual(long, {}, "split them along what they hold")

    def test_no_folder_holds_more_than_12_sources_of_its_own(self):
        crowded = {f: n for f, files in folders("src", "providers")
                   if (n := sum(name.endswith((".c", ".cpp")) for name in files)) > 12}
        self.assertEqual(crowded, {}, "give them rooms")

    def test_the_program_includes_the_provider_only_through_its_door(self):
        reaching = {p: h for p in sources("src") if (h := behind_the_door(p))}
        self.assertEqual(reaching, {}, "src/ may include provider headers only from providers/include/")


if __name__ == "__main__":
    unittest.main(verbosity=2)
