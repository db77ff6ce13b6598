"""The shipped template as another reader sees it: python3 template_openpyxl_test.py WORK_XLSX SAMPLE_XLSX"""
import sys
import unittest

import openpyxl

WORK, SAMPLE = sys.argv[1], sys.argv[2]


class TemplateWithOpenpyxl(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.book = openpyxl.load_workbook(WORK)

    def test_sheets(self):
        self.assertEqual(self.book.sheetnames, ["数据输入", "水准表", "观测记录", "成果表", "纵断面"])
        self.assertEqual(self.book.active.title, "数据输入")

    def test_input_sheet(self):
        ws = self.book["数据输入"]
        self.assertEqual(ws["E4"].value, "起始水准点")
        self.assertEqual(ws["F4"].value, "闭合水准点")
        self.assertEqual([ws.cell(7, c).value for c in (1, 2, 5, 6)], ["测点", "偏距(m)", "设计高程(m)", "实测高程(m)"])
        for address in ("E5", "E6", "F5", "F6"):
            self.assertIsNone(ws[address].value, address)
        self.assertEqual(ws["E6"].number_format, "0.000")
        self.assertEqual(ws["F6"].number_format, "0.000")
        self.assertEqual(ws.column_dimensions["E"].number_format, "0.000")
        self.assertEqual(ws.print_title_rows, "$7:$7")

    def test_output_sheet(self):
        ws = self.book["水准表"]
        self.assertEqual(ws["H2"].value, "闭合差限差(mm)")
        self.assertIsNone(ws["I2"].value)
        self.assertEqual([ws.cell(4, c).value for c in (2, 3, 4)], ["后视", "中视", "前视"])
        self.assertEqual(ws["A3"].value, "测点")
        self.assertIn("A3:A4", {str(r) for r in ws.merged_cells.ranges})
        for column in "BCDEFG":
            dims = ws.column_dimensions[column]
            self.assertEqual(dims.number_format, "0.000", column)
            self.assertEqual(dims.border.left.style, "thin", column)
        self.assertEqual(ws.column_dimensions["H"].number_format, "0")
        for column in "ABCDEFGHI":
            self.assertTrue(ws.column_dimensions[column].customWidth, column)
        self.assertGreaterEqual(ws.column_dimensions["A"].width, 16)
        self.assertEqual(ws.print_title_rows, "$3:$4")
        self.assertEqual(str(ws.page_setup.paperSize), "9")
        self.assertTrue(ws.sheet_properties.pageSetUpPr.fitToPage)
        # Nothing below the header rows: the field book starts in row 5.
        self.assertEqual(ws.max_row, 4)

    def test_sample_route(self):
        ws = openpyxl.load_workbook(SAMPLE)["数据输入"]
        self.assertEqual((ws["E5"].value, ws["E6"].value, ws["F5"].value, ws["F6"].value), ("BM1", 150.826, "BM2", 156.488))
        names = []
        row = 8
        while ws.cell(row, 1).value is not None:
            names.append(ws.cell(row, 1).value)
            row += 1
        self.assertEqual(len(names), 42)
        self.assertEqual(names[0], "K1+000")
        self.assertEqual(names[-1], "K1+260")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
