"""Runs levelbook-cli as a process: python3 cli_process_test.py LEVELBOOK_CLI SAMPLE_XLSX"""
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

import openpyxl

CLI, SAMPLE = sys.argv[1], sys.argv[2]


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=60)


def entries(path):
    with zipfile.ZipFile(path) as z:
        return {name: z.read(name) for name in z.namelist()}


class CliProcess(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_same_seed_same_file(self):
        a, b = self.path("a.xlsx"), self.path("b.xlsx")
        for out in (a, b):
            r = run(SAMPLE, "-o", out, "--seed", "99")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stderr, "")
        ea, eb = entries(a), entries(b)
        self.assertEqual(sorted(ea), sorted(eb))
        # docProps/core.xml carries the time of writing.
        for name in ea:
            if name != "docProps/core.xml":
                self.assertEqual(ea[name], eb[name], name)

    def test_field_book_keeps_the_template_formats(self):
        out = self.path("out.xlsx")
        r = run(SAMPLE, "-o", out, "--seed", "5")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("测站", r.stdout)
        ws = openpyxl.load_workbook(out)["水准表"]
        self.assertEqual(ws["A5"].value, "BM1")
        self.assertEqual(ws["G5"].value, 150.826)
        for address in ("B5", "E5", "G5", "F6", "G6"):
            self.assertEqual(ws[address].number_format, "0.000", address)
            self.assertEqual(ws[address].border.left.style, "thin", address)
        last = max(r for r in range(5, ws.max_row + 1) if ws.cell(r, 1).value)
        self.assertEqual(ws.cell(last, 1).value, "BM2")
        self.assertEqual(ws.cell(last, 8).number_format, "0")
        self.assertTrue(ws["I2"].value.startswith("±6√n=±"))

    def test_failures_exit_non_zero_and_write_nothing(self):
        out = self.path("out.xlsx")
        bad = self.path("bad.xlsx")
        with open(bad, "w") as f:
            f.write("not a workbook")
        cases = [
            ((), 2),
            ((SAMPLE,), 2),
            ((SAMPLE, "-o", out, "--seed", "x"), 2),
            ((SAMPLE, "-o", out, "--set", "StaffMaxReading=0.1"), 2),
            ((self.path("missing.xlsx"), "-o", out), 1),
            ((bad, "-o", out), 1),
        ]
        for args, code in cases:
            r = run(*args)
            self.assertEqual(r.returncode, code, args)
            self.assertNotEqual(r.stderr.strip(), "", args)
            self.assertEqual(r.stdout, "", args)
            self.assertFalse(os.path.exists(out), args)

    def test_help(self):
        r = run("--help")
        self.assertEqual(r.returncode, 0)
        for word in ("--seed", "--set", "-o", "QuickTurnValue", "ShowReadingsInMetres"):
            self.assertIn(word, r.stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
