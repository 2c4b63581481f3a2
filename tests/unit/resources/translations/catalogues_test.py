#!/usr/bin/env python3
"""The translation catalogues against the sources: lupdate, run on a copy of
each, finds no text the catalogue lacks and none it no longer needs; every
text has a finished translation that keeps its placeholders and its final
line break."""
import glob
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

SOURCE = os.environ["DW_SOURCE_DIR"]
CATALOGUES = sorted(glob.glob(os.path.join(SOURCE, "resources", "translations", "duskwarden_*.ts")))


def messages(path):
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        for message in context.iter("message"):
            translation = message.find("translation")
            key = (context.findtext("name"), message.findtext("source"))
            found[key] = (translation.text or "", translation.get("type"))
    return found


class Catalogues(unittest.TestCase):
    def test_every_text_of_the_sources_is_translated_in_each_catalogue(self):
        self.assertLessEqual({"de", "fr", "es"}, {re.search(r"_(\w+)\.ts$", p).group(1) for p in CATALOGUES})
        for committed in CATALOGUES:
            with self.subTest(catalogue=os.path.basename(committed)), tempfile.TemporaryDirectory() as tmp:
                updated = shutil.copy(committed, tmp)
                subprocess.run([os.path.join(SOURCE, "scripts", "update-translations.sh"), updated], check=True)
                have, wanted = messages(committed), messages(updated)
                self.assertEqual(sorted(set(wanted) - set(have)), [], "texts new in the sources")
                self.assertEqual(sorted(set(have) - set(wanted)), [], "texts no longer in the sources")
                for (context, source), (text, kind) in have.items():
                    where = f"{context}: {source!r}"
                    self.assertIsNone(kind, where)  # unfinished, vanished or obsolete
                    self.assertNotEqual(text.strip(), "", where)
                    self.assertEqual(set(re.findall(r"%\d", text)), set(re.findall(r"%\d", source)), where)
                    self.assertEqual(text.endswith("\n"), source.endswith("\n"), where)


if __name__ == "__main__":
    unittest.main()
