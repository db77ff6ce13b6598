#!/usr/bin/python3
"""The peer levelbook-cli is timed against: a field-book generator written the usual way with
openpyxl (load_workbook not read-only, cell-by-cell writes, save). It reads the route of
"数据输入" from row 8 down and writes two rows per point (back sight, fore sight) of nine
columns into "水准表" from row 5, and for each of those rows one of five columns (name,
chainage, design elevation, turning point's elevation, deviation) into a new sheet "纵断面"
from row 5: as much work on the file as the real generation does, which writes the profile
beside the book.

usage: openpyxl_peer.py INPUT.xlsx OUTPUT.xlsx
"""
import sys

import openpyxl


def main(source, target):
    book = openpyxl.load_workbook(source)
    route = book["数据输入"]
    out = book["水准表"]
    profile = book.create_sheet("纵断面")
    start = route["E6"].value or 0.0
    elevation = start
    row = 5
    r = 8
    while route.cell(row=r, column=1).value not in (None, ""):
        name = route.cell(row=r, column=1).value
        design = route.cell(row=r, column=5).value or 0.0
        back = round(1.5 + (r % 7) * 0.1, 3)
        fore = round(back + elevation - design, 3)
        chainage = float(r - 8)
        deviation = round((design - elevation) * 1000)
        for values, shown in (((f"ZD{r}", None, back, None, None, round(elevation + back, 3), elevation, None, None),
                               (f"ZD{r}", chainage, None, elevation, None)),
                              ((name, None, None, None, fore, None, design, deviation, None),
                               (name, chainage, design, None, deviation))):
            for column, value in enumerate(values, start=1):
                out.cell(row=row, column=column, value=value)
            for column, value in enumerate(shown, start=1):
                profile.cell(row=row, column=column, value=value)
            row += 1
        elevation = design
        r += 1
    book.save(target)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
