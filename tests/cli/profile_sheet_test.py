"""A user's own workbook without "纵断面", written by openpyxl, through levelbook-cli: the profile
sheet is added with its charts and every part of the file stays as it was but the ones the book
changes. python3 profile_sheet_test.py LEVELBOOK_CLI"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import zipfile
from xml.etree import ElementTree

import openpyxl
from openpyxl.chart import Reference, ScatterChart, Series
from openpyxl.workbook.defined_name import DefinedName

CLI = sys.argv[1]

# Parts the generation rewrites or adds; every other entry of the user's file comes back byte
# for byte.
PATCHED = {"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/styles.xml",
           "xl/calcChain.xml"}


def user_workbook(path, chart=False, extras=False):
    """数据输入 with a short road route and an empty 水准表, as a user lays out a workbook of their
    own; `chart` adds a scatter chart (the parts chart1.xml and drawing1.xml), `extras` more
    sheets and defined names."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "数据输入"
    ws["E5"], ws["E6"], ws["F5"], ws["F6"] = "BM1", 100.0, "BM2", 100.3
    for i, (name, design) in enumerate([("K0+000", 100.1), ("K0+020", 100.2), ("K0+040", 100.25),
                                        ("K0+060", 100.28)]):
        ws.cell(row=8 + i, column=1, value=name)
        ws.cell(row=8 + i, column=5, value=design)
    if extras:
        wb.create_sheet("说明")["A1"] = "本工作簿由用户自建"
    wb.create_sheet("水准表")
    if chart:
        chart_sheet = wb.create_sheet("我的图表")
        for r in range(1, 6):
            chart_sheet.cell(row=r, column=1, value=r)
            chart_sheet.cell(row=r, column=2, value=r * r)
        scatter = ScatterChart()
        scatter.series.append(Series(Reference(chart_sheet, min_col=2, min_row=1, max_row=5),
                                     Reference(chart_sheet, min_col=1, min_row=1, max_row=5), title="平方"))
        chart_sheet.add_chart(scatter, "D2")
    if extras:
        wb.create_sheet("备用")
        wb.defined_names.append(DefinedName("高程", attr_text="数据输入!$E$8:$E$11"))
    wb.save(path)


def entries(path):
    with zipfile.ZipFile(path) as z:
        return {name: z.read(name) for name in z.namelist()}


def sheet_entries(workbook_xml):
    return re.findall(rb"<(?:\w+:)?sheet [^>]*>", workbook_xml)


def sheet_parts(parts):
    """Sheet name → its worksheet entry, through the workbook part's relationships."""
    rel = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
    main = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
    targets = {r.get("Id"): r.get("Target") for r in ElementTree.fromstring(parts["xl/_rels/workbook.xml.rels"])}
    out = {}
    for sheet in ElementTree.fromstring(parts["xl/workbook.xml"]).iter(main + "sheet"):
        target = targets[sheet.get(rel)]
        out[sheet.get("name")] = target.lstrip("/") if target.startswith("/") else "xl/" + target
    return out


class ProfileSheetAdded(unittest.TestCase):
    CASES = {"plain": {}, "with a chart": {"chart": True}, "with names and sheets": {"extras": True}}

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.outputs = {}
        for label, options in cls.CASES.items():
            base = os.path.join(cls.tmp.name, label.replace(" ", "-"))
            original, once, twice = base + ".xlsx", base + "-1.xlsx", base + "-2.xlsx"
            user_workbook(original, **options)
            for source, out in ((original, once), (once, twice)):
                r = subprocess.run([CLI, source, "-o", out, "--seed", "5"], capture_output=True, text=True, timeout=60)
                assert r.returncode == 0, (label, r.stderr)
            cls.outputs[label] = (original, once, twice)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_the_profile_sheet_comes_last_with_its_rows(self):
        for label, (original, once, _) in self.outputs.items():
            with self.subTest(label):
                before = openpyxl.load_workbook(original).sheetnames
                wb = openpyxl.load_workbook(once)
                self.assertEqual(wb.sheetnames, before + ["纵断面"])
                ws = wb["纵断面"]
                self.assertEqual(ws["B4"].value, "里程(m)")
                self.assertEqual(ws["A5"].value, "BM1")
                chainage = [ws.cell(row=r, column=2).value for r in range(5, ws.max_row + 1)]
                self.assertIn(20, chainage)
                self.assertEqual(chainage[-2:], [60, "#N/A"])  # K0+060; BM2 has no chainage and is left out
                self.assertEqual(ws["G5"].value, 0)
                self.assertEqual(ws["G6"].value, 60)
                self.assertEqual(ws.freeze_panes, "A5")

    def test_every_other_part_stays_byte_for_byte(self):
        for label, (original, once, _) in self.outputs.items():
            with self.subTest(label):
                before, after = entries(original), entries(once)
                # The sheet the book is written into; the route's sheet is only read.
                written = {sheet_parts(before)["水准表"]}
                for name, data in before.items():
                    if name in PATCHED or name in written:
                        continue
                    self.assertIn(name, after, name)
                    self.assertEqual(after[name], data, name)
                new = sorted(set(after) - set(before))
                self.assertEqual(len([n for n in new if n.startswith("xl/worksheets/sheet")]), 1, new)
                self.assertEqual(len([n for n in new if re.fullmatch(r"xl/charts/chart\d+\.xml", n)]), 2, new)
                self.assertEqual(len([n for n in new if re.fullmatch(r"xl/drawings/drawing\d+\.xml", n)]), 1, new)
                for name in new:
                    self.assertNotIn(name, before)
                types = after["[Content_Types].xml"].decode()
                for name in new:
                    if not name.endswith(".rels"):
                        self.assertIn('PartName="/' + name + '"', types)
                ids = re.findall(rb'sheetId="(\d+)"', after["xl/workbook.xml"])
                self.assertEqual(len(ids), len(set(ids)))
                rids = re.findall(rb'Id="(rId\d+)"', after["xl/_rels/workbook.xml.rels"])
                self.assertEqual(len(rids), len(set(rids)))
                # The file's entries keep their order; the new ones follow them.
                kept = [n for n in before if n in after]
                self.assertEqual(list(after), kept + [n for n in after if n not in before])
                if label == "with names and sheets":
                    self.assertIn(b"<definedName name=\"\xe9\xab\x98\xe7\xa8\x8b\">", after["xl/workbook.xml"])

    def test_saving_again_adds_no_second_sheet(self):
        for label, (_, once, twice) in self.outputs.items():
            with self.subTest(label):
                first, second = entries(once), entries(twice)
                self.assertEqual(openpyxl.load_workbook(twice).sheetnames.count("纵断面"), 1)
                self.assertEqual(len(sheet_entries(second["xl/workbook.xml"])),
                                 len(sheet_entries(first["xl/workbook.xml"])))
                self.assertEqual(sorted(second), sorted(first))
                for name in first:
                    if name.startswith(("xl/charts/", "xl/drawings/")):
                        self.assertEqual(second[name], first[name], name)

    def test_libreoffice_reads_the_series_back(self):
        office = shutil.which("soffice") or shutil.which("libreoffice")
        if not office:
            self.skipTest("LibreOffice is not installed")
        outdir = os.path.join(self.tmp.name, "office")
        profile = "-env:UserInstallation=file://" + os.path.join(self.tmp.name, "office-profile")
        files = [once for _, once, _ in self.outputs.values()]
        env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LANG"))}
        env["LC_ALL"] = "C.UTF-8"
        process = subprocess.Popen([office, profile, "--headless", "--norestore", "--convert-to",
                                    "xlsx:Calc MS Excel 2007 XML", "--outdir", outdir, *files],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                                   start_new_session=True)
        try:
            process.wait(timeout=120)
        finally:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for label, (_, once, _) in self.outputs.items():
            with self.subTest(label):
                resaved = os.path.join(outdir, os.path.basename(once))
                self.assertTrue(os.path.exists(resaved), "LibreOffice wrote no " + resaved)
                parts = entries(resaved)
                charts = b"".join(data for name, data in parts.items() if name.startswith("xl/charts/chart"))
                charts = charts.decode().replace("'", "")
                expected = 6 + (1 if label == "with a chart" else 0)
                self.assertEqual(charts.count("<c:ser>"), expected)
                for ref in ("纵断面!$B$5:$B$65536", "纵断面!$C$5:$C$65536", "水准表!$F$5:$F$65536",
                            "纵断面!$E$5:$E$65536", "纵断面!$H$5:$H$6", "<c:v>60</c:v>", "<c:v>-3</c:v>"):
                    self.assertIn(ref, charts)
                if label == "with a chart":
                    self.assertIn("我的图表!$B$1:$B$5", charts)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
