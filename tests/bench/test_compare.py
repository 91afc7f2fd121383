"""The benchmark's own judgement must be right before its table means anything:
the byte check has to notice a changed, dropped or added table, the split
input it builds has to hold every font exactly, and the name-edit driver has
to produce a font that fontTools reads with the new family name and nothing
else changed.

Run by CTest as: python3 test_compare.py NAME_EDIT_DRIVER"""
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench" / "compare.d"))
import sfnt  # noqa: E402
from fontTools.ttLib import TTCollection, TTFont  # noqa: E402

DRIVER = None
DEJAVU = Path("/usr/share/fonts/truetype/dejavu")
FONTS = [DEJAVU / "DejaVuSans.ttf", DEJAVU / "DejaVuSans-Bold.ttf", DEJAVU / "DejaVuSansMono.ttf"]


def needs_fonts(test):
    return unittest.skipUnless(all(p.exists() for p in FONTS), "DejaVu fonts not installed")(test)


class ByteCheck(unittest.TestCase):
    def setUp(self):
        self.tables = {"head": bytes(range(54)), "glyf": b"\1\2\3\4" * 5, "name": b"names"}

    def test_identical_fonts_have_no_finding(self):
        self.assertEqual(sfnt.check_fonts([self.tables], [dict(self.tables)]), [])

    def test_one_changed_byte_in_one_font_is_found_and_located(self):
        other = dict(self.tables, glyf=b"\1\2\3\5" + self.tables["glyf"][4:])
        findings = sfnt.check_fonts([self.tables, self.tables], [self.tables, other])
        self.assertEqual(findings, ["font 2: 'glyf' bytes differ"])

    def test_dropped_and_added_tables_are_found(self):
        other = {k: v for k, v in self.tables.items() if k != "name"}
        other["DSIG"] = b"\0" * 8
        findings = sfnt.check_fonts([self.tables], [other])
        self.assertIn("all 1 fonts: tables dropped: name", findings)
        self.assertIn("all 1 fonts: tables added: DSIG", findings)

    def test_head_rewrite_names_the_fields(self):
        head = bytearray(self.tables["head"])
        head[9] ^= 1  # checkSumAdjustment
        head[35] ^= 1  # modified
        findings = sfnt.check_fonts([self.tables], [dict(self.tables, head=bytes(head))])
        self.assertEqual(findings, ["all 1 fonts: 'head' rewritten (checkSumAdjustment, modified)"])

    def test_missing_fonts_are_found(self):
        self.assertEqual(sfnt.check_fonts([self.tables] * 3, [self.tables] * 2),
                         ["2 fonts instead of 3"])


@needs_fonts
class SplitInput(unittest.TestCase):
    def test_reference_collection_holds_every_font_exactly_and_shares(self):
        fonts = [sfnt.raw_tables(p) for p in FONTS]
        # A table equal in bytes to one before it, as a real family has.
        fonts[2]["gasp"] = fonts[0]["gasp"]
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "ref.ttc"
            sfnt.write_collection(path, fonts)
            self.assertEqual(sfnt.check_fonts(fonts, sfnt.all_fonts(path)), [])
            collection = TTCollection(path)
            self.assertEqual([f["name"].getDebugName(6) for f in collection],
                             [TTFont(p)["name"].getDebugName(6) for p in FONTS])
            entries = [f.reader.tables["gasp"].offset for f in collection]
            self.assertEqual(entries[0], entries[2])
            unshared = sum(sum(len(d) for d in t.values()) for t in fonts)
            self.assertLess(path.stat().st_size, unshared + 12 + 4 * 3 + 16 * 60 + 4 * 60)


@needs_fonts
class NameEditDriver(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.folder)

    def run_driver(self, *args):
        return subprocess.run([DRIVER, *map(str, args)], capture_output=True, text=True)

    def test_renamed_font_reads_back_with_only_the_family_changed(self):
        out = self.folder / "out.ttf"
        done = self.run_driver("rename-family", FONTS[0], "Bench Family", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, "")
        self.assertEqual(sfnt.check_rename(FONTS[0], out, "Bench Family"), [])

    def test_text_beyond_ascii_reaches_the_windows_records_as_utf16(self):
        out = self.folder / "out.ttf"
        done = self.run_driver("rename-family", FONTS[0], "Ünïcode Family", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        record = TTFont(out)["name"].getName(1, 3, 1, 0x409)
        self.assertEqual(record.string.decode("utf-16-be"), "Ünïcode Family")

    def test_the_check_catches_a_font_whose_family_was_not_changed(self):
        out = self.folder / "out.ttf"
        shutil.copyfile(FONTS[0], out)
        findings = sfnt.check_rename(FONTS[0], out, "Bench Family")
        self.assertTrue(findings)
        self.assertTrue(all("family name" in f for f in findings), findings)

    def test_refusals_leave_no_output_and_say_why(self):
        out = self.folder / "out.ttf"
        missing = self.run_driver("rename-family", self.folder / "none.ttf", "X", out)
        self.assertEqual(missing.returncode, 1)
        self.assertIn("cannot open file.", missing.stderr)
        self.assertFalse(out.exists())
        usage = self.run_driver("rename-family", FONTS[0], "", out)
        self.assertEqual(usage.returncode, 2)
        self.assertFalse(out.exists())


if __name__ == "__main__":
    DRIVER = sys.argv.pop(1)
    unittest.main(verbosity=2)
