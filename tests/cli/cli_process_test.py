"""Runs levelbook-cli as a process: python3 cli_process_test.py LEVELBOOK_CLI SAMPLE_XLSX"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import openpyxl

CLI, SAMPLE = sys.argv[1], sys.argv[2]


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=60)


def with_stale_results(path):
    """Rewrites a workbook as a program that computes nothing does: 0 stored as every
    formula's result and the whole workbook marked for recalculation on opening."""
    with zipfile.ZipFile(path) as z:
        parts = {name: z.read(name) for name in z.namelist()}
    for name, data in parts.items():
        if name.startswith("xl/worksheets/") and name.endswith(".xml"):
            parts[name] = re.sub(rb"(<f>[^<]*</f>)(<v>[^<]*</v>|<v/>)?", rb"\1<v>0</v>", data)
    book = parts["xl/workbook.xml"]
    if b"<calcPr" in book:
        book = re.sub(rb"<calcPr([^>]*?)(?: fullCalcOnLoad=\"[^\"]*\")?", rb'<calcPr\1 fullCalcOnLoad="1"', book, count=1)
    else:
        book = book.replace(b"</workbook>", b'<calcPr fullCalcOnLoad="1"/></workbook>')
    parts["xl/workbook.xml"] = book
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(name, data)


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
        last = next(r for r in range(5, ws.max_row + 2) if not ws.cell(r, 1).value) - 1
        self.assertEqual(ws.cell(last, 1).value, "BM2")
        self.assertEqual(ws.cell(last, 8).number_format, "0")
        self.assertTrue(ws["I2"].value.startswith("±6√n=±"))
        self.assertEqual(ws.cell(last + 2, 1).value, "计算校核")
        self.assertEqual(ws.cell(last + 10, 1).value, "随机种子 5")
        self.assertIsNone(ws.cell(last + 10, 2).value)
        self.assertIn("随机种子 5", r.stdout)

    def book(self, out):
        """The rows of the field book and the values of its check block by label."""
        ws = openpyxl.load_workbook(out)["水准表"]
        last = next(r for r in range(5, ws.max_row + 2) if not ws.cell(r, 1).value) - 1
        rows = [[ws.cell(r, c).value for c in range(1, 10)] for r in range(5, last + 1)]
        block = {ws.cell(r, 1).value: ws.cell(r, 2) for r in range(last + 3, last + 11)}
        return ws, rows, block

    def input_with(self, name, cells):
        """The sample with cells of 数据输入 replaced (formulas as "=…" texts), written by openpyxl,
        which stores no formula results."""
        wb = openpyxl.load_workbook(SAMPLE)
        ws = wb["数据输入"]
        for address, value in cells.items():
            ws[address] = value
        path = self.path(name)
        wb.save(path)
        return path

    def test_formulas_give_the_book_of_their_numbers(self):
        # Each formula's result is the double its number parses to (a quotient of whole
        # numbers is correctly rounded), so the books must agree to the last bit.
        wb = openpyxl.load_workbook(SAMPLE)
        ws = wb["数据输入"]
        numbers = {"E6": ws["E6"].value, "F6": ws["F6"].value}
        for row in range(8, 30):
            for column in "EF":
                if isinstance(ws[f"{column}{row}"].value, (int, float)):
                    numbers[f"{column}{row}"] = ws[f"{column}{row}"].value
        formulas = {}
        for address, value in numbers.items():
            thousandths = round(value * 1000)
            self.assertEqual(thousandths / 1000, value)
            above = f"{address[0]}{int(address[1:]) - 1}"
            formulas[address] = (f"=IF(ISBLANK({above}),{thousandths}/1000,{thousandths}/1000)" if address[1:] not in ("6", "8")
                                 else f"={thousandths}/1000")
        plain = self.input_with("plain.xlsx", numbers)
        computed = self.input_with("formulas.xlsx", formulas)
        stale = self.input_with("stale.xlsx", formulas)
        with_stale_results(stale)
        books = []
        for source in (plain, computed, stale):
            out = self.path("book-" + os.path.basename(source))
            r = run(source, "-o", out, "--seed", "17")
            self.assertEqual(r.returncode, 0, r.stderr)
            books.append(self.book(out)[1])
        self.assertGreater(len(books[0]), 10)
        self.assertEqual(books[1], books[0])
        self.assertEqual(books[2], books[0])

    def test_cells_without_a_number_are_refused_naming_the_cell(self):
        out = self.path("out.xlsx")
        cases = [
            ({"E6": "=FOO(1)+150"}, ["E6", "FOO"]),
            ({"E10": "=[1]Sheet1!A1"}, ["E10", "其他工作簿"]),
            ({"E9": "=E10*2", "E10": "=NOSUCH()"}, ["E9"]),
            ({"F6": True}, ["F6", "TRUE"]),
            ({"E12": False}, ["E12", "FALSE"]),
        ]
        for cells, words in cases:
            source = self.input_with("refused.xlsx", cells)
            r = run(source, "-o", out, "--seed", "3")
            self.assertEqual(r.returncode, 1, cells)
            for word in words:
                self.assertIn(word, r.stderr, cells)
            self.assertFalse(os.path.exists(out), cells)

    def test_check_block_matches_the_rows_in_both_units(self):
        for metres in ("true", "false"):
            for column_c in ("true", "false"):
                out = self.path(f"{metres}{column_c}.xlsx")
                r = run(SAMPLE, "-o", out, "--seed", "7", "--set", f"ShowReadingsInMetres={metres}",
                        "--set", f"MidSightInColumnC={column_c}")
                self.assertEqual(r.returncode, 0, r.stderr)
                ws, rows, block = self.book(out)
                turning = [row for row in rows[1:] if row[1] is not None]
                backsights = [rows[0][1]] + [row[1] for row in turning]
                foresights = [row[3] for row in turning] + [rows[-1][3]]
                for value in backsights + foresights + [row[5] for row in rows if row[5] is not None]:
                    # No binary noise: every number is its own short decimal.
                    self.assertEqual(value, round(value, 6), value)
                self.assertEqual(block["Σ后视"].value, round(sum(backsights), 6))
                self.assertEqual(block["Σ前视"].value, round(sum(foresights), 6))
                factor = 1 if metres == "true" else 1000
                self.assertAlmostEqual(block["Σ后视−Σ前视"].value, block["H终−H始"].value * factor, places=3)
                self.assertEqual(block["H终−H始"].value, round(rows[-1][5] - rows[0][6], 6))
                self.assertEqual(block["结论"].value, "合格")
                self.assertEqual(ws["B5"].number_format, "0.000" if metres == "true" else "0")
                self.assertEqual(block["Σ后视"].number_format, "0.000" if metres == "true" else "0")
                self.assertEqual(block["H终−H始"].number_format, "0.000")
                if metres == "false":
                    self.assertTrue(all(float(b).is_integer() for b in backsights + foresights[:-1]))

    def test_closure_beyond_the_limit_writes_the_book_and_exits_3(self):
        out = self.path("out.xlsx")
        r = run(SAMPLE, "-o", out, "--seed", "1", "--set", "ClosureMinusTolerance=40",
                "--set", "ClosurePlusTolerance=50")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertRegex(r.stderr, r"闭合差 \+(4\d|50) mm 超过限差 ±\d+ mm")
        self.assertIn("结论 超限", r.stdout)
        _, _, block = self.book(out)
        self.assertEqual(block["结论"].value, "超限")

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

    def test_batch_runs_every_file_and_exits_with_the_worst_outcome(self):
        inputs = self.path("in")
        os.mkdir(inputs)
        for name in ("k1.xlsx", "k2.xlsx"):
            shutil.copy(SAMPLE, os.path.join(inputs, name))
        with open(os.path.join(inputs, "bad.xlsx"), "w") as f:
            f.write("not a workbook")
        good = [os.path.join(inputs, n) for n in ("k1.xlsx", "k2.xlsx")]
        out = self.path("out")
        tight = ("--set", "ClosureMinusTolerance=40", "--set", "ClosurePlusTolerance=50")
        cases = [
            (good, (), 0, "共 2 个文件：合格 2 个，超限 0 个，失败 0 个"),
            (good, tight, 3, "共 2 个文件：合格 0 个，超限 2 个，失败 0 个"),
            (good[:1] + [os.path.join(inputs, "bad.xlsx")] + good[1:], tight, 1,
             "共 3 个文件：合格 0 个，超限 2 个，失败 1 个"),
        ]
        for files, extra, code, total in cases:
            shutil.rmtree(out, ignore_errors=True)
            r = run(*files, "-d", out, "-j", "2", "--seed", "1", *extra)
            self.assertEqual(r.returncode, code, r.stdout + r.stderr)
            lines = r.stdout.splitlines()
            self.assertEqual(len(lines), len(files) + 1, r.stdout)
            self.assertEqual(lines[-1], total)
            for line, f in zip(lines, files):
                self.assertTrue(line.startswith(f), line)
            self.assertEqual(sorted(os.listdir(out)), ["k1.xlsx", "k2.xlsx"])
        # The same seed and settings as a single run give the same book.
        single = self.path("single.xlsx")
        self.assertEqual(run(good[0], "-o", single, "--seed", "1", *tight).returncode, 3)
        for name, data in entries(single).items():
            if name != "docProps/core.xml":
                self.assertEqual(entries(os.path.join(out, "k1.xlsx"))[name], data, name)
        # An output folder that is an input's own folder is refused before anything runs.
        r = run(good[0], "-d", inputs)
        self.assertEqual(r.returncode, 2)
        self.assertIn("覆盖输入文件", r.stderr)

    def batch_inputs(self, count):
        inputs = self.path("in")
        os.makedirs(inputs, exist_ok=True)
        files = []
        for k in range(count):
            files.append(os.path.join(inputs, "k%d.xlsx" % k))
            shutil.copy(SAMPLE, files[-1])
        return files

    def test_a_lost_summary_is_a_failure_but_the_books_are_written(self):
        book = self.path("full.xlsx")
        with open("/dev/full", "w") as full:
            r = subprocess.run([CLI, SAMPLE, "-o", book, "--seed", "1"], stdout=full, stderr=subprocess.PIPE,
                               text=True, timeout=60)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("无法写出结果", r.stderr)
        self.assertTrue(os.path.getsize(book) > 0)
        # A batch whose reader closes the pipe after one line: every book written, no temporary file.
        files, out = self.batch_inputs(6), self.path("out")
        p = subprocess.Popen([CLI, *files, "-d", out, "-j", "2", "--seed", "1"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        p.stdout.readline()
        p.stdout.close()
        p.wait(timeout=60)
        p.stderr.close()
        self.assertEqual(p.returncode, 1)
        self.assertEqual(sorted(os.listdir(out)), sorted(os.path.basename(f) for f in files))

    def copied_cli(self, reader_script):
        """The program copied to a folder of its own with its data files, and a stand-in reader."""
        home = self.path("home")
        os.mkdir(home)
        bin_dir = os.path.dirname(CLI)
        for name in os.listdir(bin_dir):
            if name.endswith(".xlsx"):
                shutil.copy(os.path.join(bin_dir, name), home)
        shutil.copy(CLI, home)
        if reader_script is not None:
            reader = os.path.join(home, "levelbook-read")
            with open(reader, "w") as f:
                f.write(reader_script)
            os.chmod(reader, 0o755)
        return os.path.join(home, os.path.basename(CLI))

    def test_a_stopped_reader_fails_its_own_file_only(self):
        # The first reader started stops itself; the others read as the real one does.
        lock = self.path("lock")
        cli = self.copied_cli('#!/bin/sh\nif mkdir "%s" 2>/dev/null; then kill -STOP $$; fi\n'
                              'exec "%s" "$@"\n' % (lock, os.path.join(os.path.dirname(CLI), "levelbook-read")))
        files, out = self.batch_inputs(6), self.path("out")
        start = time.monotonic()
        r = subprocess.run([cli, *files, "-d", out, "-j", "3", "--seed", "1"], capture_output=True, text=True,
                           timeout=60)
        elapsed = time.monotonic() - start
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        failed = [line for line in r.stdout.splitlines() if "读取超过 10 秒仍未完成" in line]
        self.assertEqual(len(failed), 1, r.stdout)
        self.assertIn("共 6 个文件：合格 5 个，超限 0 个，失败 1 个", r.stdout)
        self.assertEqual(len(os.listdir(out)), 5)
        self.assertLess(elapsed, 20)

    def test_a_missing_reader_is_named(self):
        cli = self.copied_cli(None)
        r = subprocess.run([cli, SAMPLE, "-o", self.path("x.xlsx")], capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 1)
        self.assertIn("找不到读取程序 levelbook-read", r.stdout + r.stderr)

    @unittest.skipUnless(os.path.exists(os.path.join(os.path.dirname(CLI), "levelbook-pdf"))
                         and all(shutil.which(t) for t in ("pdftotext", "pdfinfo", "pdftoppm")),
                         "no levelbook-pdf (built without the GUI) or no poppler tools")
    def test_pdf_without_a_display(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        book, pdf = self.path("book.xlsx"), self.path("book.pdf")
        r = subprocess.run([CLI, "--sample", "-o", book, "--pdf", pdf, "--seed", "7"], capture_output=True,
                           text=True, timeout=60, env=env)
        self.assertEqual(r.returncode, 0, r.stderr)
        text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True, timeout=60).stdout
        pages = [re.sub(r"\s", "", p) for p in text.split("\f") if p.strip()]
        # The book's pages, numbered among themselves, then the profile on a landscape page.
        pages, profile = pages[:-1], pages[-1]
        self.assertGreaterEqual(len(pages), 2)
        for word in ("纵断面：设计高程与实测高程", "偏差（实测高程−设计高程）", "里程（m）", "实测高程", "正限差"):
            self.assertIn(word, profile)
        self.assertNotIn("页共", profile)
        sizes = re.findall(r"Page\s+\d+ size:\s+([\d.]+) x ([\d.]+)",
                           subprocess.run(["pdfinfo", "-f", "1", "-l", "99", pdf], capture_output=True, text=True,
                                          timeout=60).stdout)
        self.assertEqual(len(sizes), len(pages) + 1)
        self.assertTrue(all(float(w) < float(h) for w, h in sizes[:-1]), sizes)
        self.assertGreater(float(sizes[-1][0]), float(sizes[-1][1]))
        # The chart drawn: the measured line's red covers part of the rendered page.
        ppm = subprocess.run(["pdftoppm", "-f", str(len(sizes)), "-l", str(len(sizes)), "-r", "50", pdf],
                             capture_output=True, timeout=60).stdout
        width, height, pixels = self.parse_ppm(ppm)
        self.assertEqual(len(pixels), width * height * 3)
        self.assertGreater(width, height)
        red = sum(1 for i in range(0, len(pixels), 3)
                  if pixels[i] > 150 and pixels[i + 1] < 110 and pixels[i + 2] < 110)
        self.assertGreater(red, 200)
        for k, page in enumerate(pages, 1):
            for word in ("第%d页共%d页" % (k, len(pages)), "工程名称：K1道路改建工程", "合同段：第一合同段", "天气：晴",
                         "计算：王工", "复核："):
                self.assertIn(word, page)
        for word in ("观测：王工", "记录：赵工", "日期：2026-05-12"):
            self.assertIn(word, pages[0])
        block = [page for page in pages if "计算校核" in page]
        self.assertEqual(len(block), 1)
        for word in ("Σ后视", "限差(mm)", "结论", "合格", "随机种子7", "模拟高程"):
            self.assertIn(word, block[0])
        # The PDF cannot be written: named, exit 1, the workbook written all the same.
        r = subprocess.run([CLI, "--sample", "-o", book, "--pdf", self.path("no/such/dir/x.pdf")],
                           capture_output=True, text=True, timeout=60, env=env)
        self.assertEqual(r.returncode, 1)
        self.assertIn("无法写出PDF文件“%s”" % self.path("no/such/dir/x.pdf"), r.stderr)

    @staticmethod
    def parse_ppm(data):
        """Width, height and RGB bytes of a binary PPM (P6, maxval 255) as pdftoppm writes it."""
        fields, at = [], 2
        while len(fields) < 3:
            while data[at:at + 1].isspace():
                at += 1
            end = at
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(int(data[at:end]))
            at = end
        return fields[0], fields[1], data[at + 1:]

    def test_help(self):
        r = run("--help")
        self.assertEqual(r.returncode, 0)
        for word in ("--seed", "--set", "-o", "QuickTurnValue", "ShowReadingsInMetres"):
            self.assertIn(word, r.stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
