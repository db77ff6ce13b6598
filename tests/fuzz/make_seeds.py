#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/ (run once; the seeds are
committed). Usage: make_seeds.py BIN_DIR, where BIN_DIR holds work.xlsx and sample.xlsx."""
import io
import os
import struct
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = sys.argv[1] if len(sys.argv) > 1 else "."


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


for i, text in enumerate(["E5", "$E$5", "iv65536", "A5:I65536", "IV1:A1", "IW1", "A0", "AAAA1", "A1:B2:C3",
                          "a1048576", ":", "", "E5 ", "$$E5", "XFD1", "A65537", "Z999999"]):
    put("cell_address_fuzz", "seed%02d" % i, text)

# pick byte (>= 18: the raw double is used), code, NUL, 8 bytes of double, text
for i, (pick, code, x, text) in enumerate([
        (0xff, "General", 1234.5678, "abc"), (0xff, "0.000", -0.0005, ""), (0xff, "#,##0.00;[Red]-#,##0.00", -1234567.891, "t"),
        (0xff, "0.###", 2.5, ""), (0xff, "0%", 0.125, ""), (0xff, "0.00E+00", 6.02e23, ""), (0xff, "@", 5.0, "文字"),
        (0xff, "[<0]\"负\"0;[>0]\"正\"0;\"零\"", -3.0, ""), (0xff, "\"左\"0.0\"米\"", 3.25, ""), (0xff, "_(#,##0_);(#,##0)", -7.0, ""),
        (0xff, "[$€-407] #,##0.00", 1e15, ""), (0xff, "0;-0;;@", 0.0, "x"), (0xff, "yyyy-mm-dd", 45000.0, ""),
        (0xff, "#,##0,,", 123456789.0, ""), (0xff, "*-0", 1.0, ""), (0xff, "?/?", 0.5, ""), (2, "0.00", 0.0, ""), (9, "0", 0.0, ""),
        (0xff, "0" * 40 + "." + "0" * 40, 1e300, ""), (0xff, "General;General;General;General;", -1.0, ""),
        (0xff, "yyyy/m/d h:mm:ss.000 AM/PM", 45293.999999, ""), (0xff, "[h]:mm:ss;[Red]-[h]:mm", -2.75, ""),
        (0xff, "[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\" aaaa", 2958465.5, ""), (0xff, "[$-F800]dddd, mmmm dd, yyyy", 60.0, ""),
        (0xff, "[$-F400]h:mm:ss AM/PM", -1e-9, ""), (0xff, "上午/下午h\"时\"mm\"分\"ss\"秒\"", 0.5, ""),
        (0xff, "[mm]:ss.00;@", 1e300, "t"), (0xff, "[DBNum2][$-804]General", 12345678901234567.0, ""),
        (0xff, "mmmmm ddd yy m/d [ss]", 0.0, ""), (0xff, "[$-x-sysdate]", 2958466.0, "")]):
    put("number_format_fuzz", "seed%02d" % i, bytes([pick]) + code.encode() + b"\0" + struct.pack("<d", x) + text.encode())

# switches byte, then the eight items separated by NUL
for i, (switches, items) in enumerate([
        (6, ["0.2", "4.8", "-3", "3", "-2", "2", "0.6", "ZD"]), (1, [" 0.5 ", "4", "-5", "5", "-3", "3", "1.5", "TP"]),
        (6, ["1e308", "-1e308", "-3", "3", "-2", "2", "0.6", "ZD"]), (6, ["-1e308", "1e308", "-3", "3", "-2", "2", "0.6", "ZD"]),
        (6, ["0.2", "4.8", "nan", "3", "-2", "2", "0.6", "ZD"]), (6, ["0.2", "4.8", "-3", "3", "-2", "2", "2.3", "ZD"]),
        (6, [".5", "5.", "+1e0", "1E1", "-0", "0", "1e-300", ""]), (6, ["0x10", "1,5", "inf", "", " ", "\t1\t", "２", "测"])]):
    put("settings_fuzz", "seed%02d" % i, bytes([switches]) + b"\0".join(s.encode() for s in items))

for i, text in enumerate(["-2.5", " 3 ", "0", "-0", "路边", "   ", "1e308", "-0.0005", "0.0004999", "4.9e-324", "12.3456",
                          "+.5", "1,5", "  中  ", "9.9995", "-999999999999.9995"]):
    put("format_offset_fuzz", "seed%02d" % i, text)


# The route decoder of route_input_fuzz.cpp: values are a kind byte and its payload, each cell
# a style byte first (0xfe: none).
def text(s):
    b = s.encode("utf-8")
    return bytes([4, len(b)]) + b


def metres(x):
    return bytes([3]) + struct.pack("<h", int(round(x * 100)))


def special(index):
    return bytes([2, index])


EMPTY = bytes([0])
NONE = bytes([0xfe])


def route(points, start=("BM1", 100.0), end=("BM2", 100.5), settings=b"\0", seed=7, output=True):
    out = settings + struct.pack("<H", seed) + bytes([0 if output else 0x5a])
    for cell in [text(start[0]), metres(start[1]), text(end[0]), metres(end[1])]:
        out += NONE + cell
    out += bytes([len(points)])
    for a, b, e, f in points:
        for cell in (a, b, e, f):
            out += NONE + cell
    return out


road = [(text("K1+%03d" % (20 * k)), metres(-3.5 + k % 3 * 3.5), metres(100.2 + 0.3 * k), EMPTY) for k in range(12)]
put("route_input_fuzz", "road", route(road))
put("route_input_fuzz", "measured", route([(text("P1"), text("左3"), metres(101.0), metres(101.02)),
                                           (text("P2"), metres(0), metres(99.0), text(" 98.995 "))]))
put("route_input_fuzz", "no_output_sheet", route(road[:3], output=False))
put("route_input_fuzz", "odd-values", route([(text("P%d" % k), special(k), special(k + 1), special(k + 2)) for k in range(16)]))
put("route_input_fuzz", "steep", route([(text("P1"), EMPTY, metres(300.0), EMPTY)], start=("BM1", -300.0), end=("BM2", 0.0)))
put("route_input_fuzz", "bad_number", route([(text("P1"), EMPTY, text("12a"), EMPTY)]))
put("route_input_fuzz", "long_texts", route([(bytes([6, 2]) + struct.pack("<H", 3000), bytes([6, 3]) + struct.pack("<H", 70),
                                               metres(100.0), EMPTY)]))
put("route_input_fuzz", "own_settings",
    route(road[:4], settings=bytes([1, 1]) + struct.pack("<h", 50) + bytes([0, 0, 0, 0, 0, 0, 1]) + struct.pack("<h", 100) +
          bytes([1, 2]) + b"TP" + bytes([0])))
put("route_input_fuzz", "empty_route", route([]))

for name in ("work.xlsx", "sample.xlsx"):
    path = os.path.join(BIN, name)
    if os.path.exists(path):
        put("xlsx_import_fuzz", name, open(path, "rb").read())

CT = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
      '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
      '<Default Extension="xml" ContentType="application/xml"/>'
      '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
      '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
      '</Types>')
RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
        '</Relationships>')
WB = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
      '<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
WBRELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
          '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
          '</Relationships>')


def sheet(cols, data, dimension="A1"):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            '<dimension ref="%s"/>%s<sheetData>%s</sheetData></worksheet>' % (dimension, cols, data))


def package(sheet_xml):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CT)
        z.writestr("_rels/.rels", RELS)
        z.writestr("xl/workbook.xml", WB)
        z.writestr("xl/_rels/workbook.xml.rels", WBRELS)
        z.writestr("xl/worksheets/sheet1.xml", sheet_xml)
    return buf.getvalue()


HOSTILE_SHEETS = {
    "col_min_zero": sheet('<cols><col min="0" max="1" width="10" customWidth="1"/></cols>', ''),
    "col_max_huge": sheet('<cols><col min="1" max="2147483648" width="10" customWidth="1"/></cols>', ''),
    "million_rows": sheet('', '<row r="1048576"><c r="A1048576"><v>1</v></c></row>', 'A1:XFD1048576'),
    "beyond_iv": sheet('', '<row r="1"><c r="IW1" t="inlineStr"><is><t>x</t></is></c></row>'),
    "values": sheet('', '<row r="1"><c r="A1"><v>4.9E-324</v></c><c r="B1"><v>-0</v></c><c r="C1" t="str"><f>1/0</f><v>#DIV/0!</v></c>'
                        '<c r="D1" t="b"><v>1</v></c><c r="E1" t="e"><v>#N/A</v></c><c r="F1"><v>1.7976931348623157E+308</v></c></row>'),
    # Cells written every way the format allows: prefixes, comments, CDATA, references, runs, formulas.
    "scanner": sheet('', '<!-- c --><x:row r="1" x:spans="1:3"><x:c r="A1" t="inlineStr"><x:is><x:r><x:t xml:space="preserve"> a&amp;&#x4E2D;</x:t></x:r>'
                         '<x:rPh><x:t>b</x:t></x:rPh></x:is></x:c><x:c t=\'str\'><x:f t="shared" si="0" ref="B1:C1">A1</x:f><x:v><![CDATA[x]]></x:v></x:c>'
                         '<x:c><x:f t="shared" si="0"/><x:v>1<!-- 2 --></x:v></x:c></x:row><row><c/><c r="B2" s="1"/></row>')
        .replace('<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">',
                 '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                 'xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'),
    "merges": sheet('', '<row r="1"><c r="A1"><v>1</v></c></row>') .replace('</worksheet>',
                    '<mergeCells count="2"><mergeCell ref="A1:B2"/><mergeCell ref="B2:C3"/></mergeCells></worksheet>'),
}
for name, xml in HOSTILE_SHEETS.items():
    put("xlsx_import_fuzz", name + ".xlsx", package(xml))
    # The parts fuzzer: the sheet alone, the other parts from its defaults.
    put("xlsx_parts_fuzz", name, xml)
put("xlsx_import_fuzz", "not_a_zip", b"PK\3\4" + bytes(range(256)))
put("xlsx_import_fuzz", "empty", b"")

PART_NAMES = ["xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
              "xl/worksheets/sheet2.xml", "xl/_rels/workbook.xml.rels", "[Content_Types].xml", "_rels/.rels"]
for name in ("work.xlsx", "sample.xlsx"):
    path = os.path.join(BIN, name)
    if not os.path.exists(path):
        continue
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        parts = [z.read(n) if n in names else b"" for n in PART_NAMES]
    put("xlsx_parts_fuzz", name.replace(".xlsx", ""), b"\0".join(parts))
put("xlsx_parts_fuzz", "defaults", b"")

# The factory call decoder of import_factory_fuzz.cpp: 0x00 appends a sheet (name follows),
# 0x10..0x2f a style call, 0x30..0x37 a shared string, 0x38..0xef a call on sheet (byte % 3).
def sheet_call(sheet, call, *payload):
    return bytes([0x40, sheet, call]) + bytes(payload)


factory_seeds = {
    "two_sheets": bytes([0x00, 4]) + "数据".encode() + bytes([0x00, 6]) + "水准".encode()
                  + bytes([0x30, 1, 1]) + b"x"
                  + sheet_call(0, 0, 4, 4, 1) + struct.pack("<d", 101.25)
                  + sheet_call(0, 2, 5, 4, 0)
                  + sheet_call(1, 1, 7, 1, 3) + b"abc"
                  + sheet_call(1, 8, 0, 0, 1, 1)
                  + sheet_call(0, 7, 1, 0, 40, 2, 3, 0, 80, 1, 1, 1, 2, 0),
    "styles": bytes([0x00, 1]) + b"S" + bytes([0x10, 3, 1, 0, 5]) + b"0.000" + bytes([0x10, 4, 0, 0, 0, 1, 1, 2, 1, 1])
              + sheet_call(0, 4, 1, 1, 1) + sheet_call(0, 5, 0, 0, 3, 3, 1),
    "formulas": bytes([0x00, 1]) + b"F" + sheet_call(0, 9, 2, 2, 1, 3) + b"1+1" + bytes([1, 1, 0, 8])
                + sheet_call(0, 9, 3, 2, 0, 1, 1, 0, 0) + b"" + sheet_call(0, 10, 0, 0, 1, 1, 2) + b"{}" + bytes([1, 0, 1, 0, 4]),
    "edges": bytes([0x00, 1]) + b"E" + sheet_call(0, 0, 0xf0, 7, 0xf0, 3, 0, 1) + sheet_call(0, 6, 0, 0, 0xf0, 12)
             + sheet_call(0, 10, 0, 0, 0, 0, 0xf0, 12, 0xf0, 12, 1) + b"x" + bytes([1, 0xf0, 12, 0xf0, 12, 0, 1]),
    "print_titles": bytes([0x00, 1]) + b"P" + sheet_call(0, 12, 9) + b"'P'!$1:$3",
}
for name, data in factory_seeds.items():
    put("import_factory_fuzz", name, data)


# The workbook decoder of xlsx_writer_fuzz.cpp: a first byte (even: a new workbook, odd: the kept
# package), then steps, each an operation byte (its value modulo 16), a sheet byte and arguments.
def wtext(s, pieces=()):
    """A text of the writer decoder: printable ASCII as itself less 0x20, other characters as a
    code point (0xA0 | plane, then 16 bits), `pieces` as indices into its table."""
    out = b""
    for ch in s:
        cp = ord(ch)
        out += bytes([cp - 0x20]) if 0x20 <= cp < 0x7f else bytes([0xA0 | (cp >> 16)]) + struct.pack("<H", cp & 0xFFFF)
    out += bytes(0x80 + p for p in pieces)
    return bytes([len(s) + len(pieces)]) + out


def at(address):
    col = ord(address[0]) - ord("A")
    row = int(address[1:]) - 1
    return (bytes([row]) if row < 0xF0 else bytes([0xF0]) + struct.pack("<H", row)) + bytes([col])


def pick(i):  # a number of the decoder's table
    return bytes([0, i])


def number(x):  # sixteenths of a unit
    return bytes([0, 0x80]) + struct.pack("<h", int(x * 8))


def raw(x):
    return bytes([0, 0xFF]) + struct.pack("<d", x)


def wstyle(code_index, flags=0, colour=None, align=0, borders=()):
    """A style: format code by index, flags (4 bold, 16 font colour, 128 borders), then the colour,
    the alignment byte and (style, colour) for left, right, top and bottom."""
    out = bytes([code_index, flags])
    if colour is not None:
        out += struct.pack("<H", colour >> 8) + bytes([colour & 0xFF])
    out += bytes([align])
    for style, colour_byte in borders:
        out += bytes([style]) + (bytes([colour_byte]) if style else b"")
    return out


def step(op, sheet, *args):
    return bytes([op, sheet]) + b"".join(args)


ADD, RENAME, VALUE, FORMULA, STYLE, WIDTH, HEIGHT, COLSTYLE, MERGE, PRINT, FREEZE, ACTIVE, CHARTS = (
    0, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14)
writer_seeds = {
    "field_book": bytes([0]) + bytes([ADD]) + wtext("数据输入") + bytes([ADD]) + wtext("水准表")
    + step(VALUE, 1, at("A5"), bytes([1]), wtext("BM1")) + step(VALUE, 1, at("B5"), pick(11))
    + step(VALUE, 1, at("C5"), pick(1)) + step(VALUE, 1, at("D5"), pick(2)) + step(VALUE, 1, at("E5"), pick(6))
    + step(VALUE, 1, at("F5"), raw(1e-310)) + step(VALUE, 1, at("G5"), bytes([2, 6]))
    + step(FORMULA, 1, at("H5"), wtext("G5-F5"), number(-2.5)) + step(FORMULA, 1, at("H6"), wtext("A1"), bytes([3]))
    + step(FORMULA, 1, at("H7"), wtext("\"x\"&\"y\""), bytes([1]), wtext("xy"))
    + step(STYLE, 1, at("B5"), wstyle(3, 0x80 | 0x10 | 0x04, 0x91AABB, 0x05, ((1, 0x80), (2, 0x40), (3, 0x20), (6, 0x10))))
    + step(WIDTH, 1, bytes([0]), struct.pack("<H", int(20.71 * 256))) + step(HEIGHT, 1, at("A1"), struct.pack("<H", 30 * 160))
    + step(MERGE, 1, at("A1"), at("H1")) + step(PRINT, 1, bytes([1 | 2 | 8, 9, 1]), at("A3"), bytes([1]), b"\0\x0b" * 4)
    + step(FREEZE, 1, at("A5")) + step(ACTIVE, 0, bytes([1])),
    "odd_texts": bytes([0]) + bytes([ADD]) + wtext("水准 '表' 😀", pieces=(8,)) + bytes([ADD]) + wtext("Sheet[1]")
    + step(VALUE, 0, at("A1"), bytes([1]), wtext("a\x01b", pieces=(0, 1, 11, 17)))
    + step(VALUE, 0, at("A2"), bytes([1]), wtext(" 前后空格 ", pieces=(4, 5, 7, 21, 20)))
    + step(VALUE, 0, at("A3"), bytes([1]), wtext("\U0001F600\U0010FFFD"))
    + step(STYLE, 0, at("A3"), bytes([0xF0]), wtext("0.0\"米\""), bytes([1]), wtext("楷体"), bytes([0x06]))
    + step(COLSTYLE, 0, bytes([3]), wstyle(2))
    + step(RENAME, 1, wtext("第二张")) + step(PRINT, 1, bytes([8, 9, 0]), at("A1"), bytes([0]), b"\0\x10" * 4),
    "kept_edits": bytes([1]) + step(VALUE, 0, at("E6"), pick(11)) + step(VALUE, 0, at("A9"), bytes([1]), wtext("K1+000"))
    + step(STYLE, 0, at("E9"), wstyle(1, 4)) + step(VALUE, 0, at("E9"), number(2.5))
    + step(WIDTH, 0, bytes([0]), struct.pack("<H", 18 * 256)) + step(MERGE, 0, at("B1"), at("D2"))
    + step(PRINT, 0, bytes([1, 9, 0]), b"\0\x0b" * 4) + step(FREEZE, 0, at("B2"))
    + step(HEIGHT, 1, at("A3"), struct.pack("<H", 24 * 160)) + step(FORMULA, 0, at("E10"), wtext("E9*2"), number(5)),
    # A sheet added to the kept package (which has a chart part of its own), with two charts.
    "kept_added_sheet": bytes([1]) + bytes([ADD]) + wtext("纵断面") + step(VALUE, 2, at("B5"), pick(11))
    + step(COLSTYLE, 2, bytes([1]), wstyle(3, 4)) + step(MERGE, 2, at("A1"), at("I1"))
    + step(CHARTS, 2, wtext("高程"), wtext("实测"), struct.pack("<H", 0xC039), bytes([0x2B, 1, 1]))
    + step(VALUE, 0, at("E6"), pick(11)) + step(ACTIVE, 0, bytes([2])),
}
for name, data in writer_seeds.items():
    put("xlsx_writer_fuzz", name, data)

# The level files of the closed route in tests/leveling/data, and variants: BFFB double
# readings, a header line, a station without foresight, feet.
DATA = os.path.join(HERE, "..", "leveling", "data")
for i, name in enumerate(["closed_route_gsi16.gsi", "closed_route_gsi8.gsi"]):
    with open(os.path.join(DATA, name), "rb") as f:
        put("gsi_reader_fuzz", "seed%02d" % i, f.read())
for i, text in enumerate([
        "*110001+0000000000000BM1 32...8+0000000002000000 331.08+0000000000150010 \n"
        "*110002+0000000000000TP1 32...8+0000000002100000 332.08+0000000000120020 \n"
        "*110003+0000000000000TP1 336.08+0000000000120030 \n*110004+0000000000000BM1 335.08+0000000000150000 \n",
        "410001+?..START 42....+00000BM1 \n110001+00000BM1 331.06+00014230 83..06+01000000 \n",
        "110001+00000BM1 331.01+00004669 \n", "110001+00000BM1 331.08-00142300 332.08+00142300 \n"], start=2):
    put("gsi_reader_fuzz", "seed%02d" % i, text)
with open(os.path.join(DATA, "closed_route.m5"), "rb") as f:
    put("dini_reader_fuzz", "seed00", f.read())
for i, text in enumerate([
        "For M5|Adr 1|KD1 BM1 1|Rb 1.50010 m|HD 20.000 m||\nFor M5|Adr 2|KD1 TP1 1|Rf 1.20020 m|HD 21.000 m||\n"
        "For M5|Adr 3|KD1 TP1 1|Rf 1.20030 m|HD 21.000 m||\nFor M5|Adr 4|KD1 BM1 1|Rb 1.50000 m|HD 20.000 m||\n",
        "For M5|Adr 1|TO  Start-Line BF 1|||\nFor M5|Adr 2|KD1 BM1 1|Rb 4.669 ft|||\n",
        "For M5|Adr 1|KD1 BM1 1|Rz 1.5 m|Z 100.000 m||\n",
        "For M5|Adr 1|KD1 BM1 1|Rb 1.5 m|||\nFor M5|Adr 2|KD1 TP1 1|Rf 1.3 m|||\n"
        "For M5|Adr 3|TO  Measurement repeated 1|||\nFor M5|Adr 4|KD1 TP1 1|Rf 1.2 m|||\n"
        "For M5|Adr 5|TO  Station repeated 1|||\nFor M5|Adr 6|KD1 BM1 1|Lr 1.6 m|E 20.0 m||\n",
        "For M5|Adr     6|KD1               08:01:340  1|Rz        2.10500 m   |||\n"], start=1):
    put("dini_reader_fuzz", "seed%02d" % i, text)
