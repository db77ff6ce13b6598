#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::RunPython;
using testing::TempDir;

// Packages as other producers write them: a route sheet, a large sheet this program never
// changes, a photo under a UTF-8 name (Python's zipfile sets bit 11 for it), optionally a VBA
// project; `zip64` moves every size and offset into zip64 fields of the central directory (the
// local headers keep theirs), with a zip64 end record. `check` compares a written package with
// its source: the workbook part's content type, and every entry but the content types and the
// changed sheet byte for byte, under the same name bytes and UTF-8 mark.
const char* kProducers = R"PY(
import io, struct, zipfile
MAIN = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
PKG = 'http://schemas.openxmlformats.org/package/2006/relationships'
TYPES = {
    'xlsx': 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml',
    'xlsm': 'application/vnd.ms-excel.sheet.macroEnabled.main+xml',
    'xltx': 'application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml',
    'xltm': 'application/vnd.ms-excel.template.macroEnabled.main+xml',
}

def zip64_central(src):
    eocd = src.rfind(b'PK\x05\x06')
    n, cdoff = struct.unpack('<H', src[eocd + 10:eocd + 12])[0], struct.unpack('<I', src[eocd + 16:eocd + 20])[0]
    out, p, cd = bytearray(src[:cdoff]), cdoff, bytearray()
    for _ in range(n):
        h = list(struct.unpack('<IHHHHHHIIIHHHHHII', src[p:p + 46]))
        nl, el, cl = h[10], h[11], h[12]
        rest = src[p + 46:p + 46 + nl + el + cl]
        z = struct.pack('<HHQQQ', 1, 24, h[9], h[8], h[16])
        h[8] = h[9] = h[16] = 0xFFFFFFFF
        h[11] = el + len(z)
        h[2] = max(h[2], 45)
        cd += struct.pack('<IHHHHHHIIIHHHHHII', *h) + rest[:nl + el] + z + rest[nl + el:]
        p += 46 + nl + el + cl
    start = len(out)
    out += cd
    end64 = len(out)
    out += struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, n, n, len(cd), start)
    out += struct.pack('<IIQI', 0x07064b50, 0, end64, 1)
    out += struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return bytes(out)

def make(path, kind='xlsx', macros=False, zip64=False):
    big = ''.join('<row r="%d"><c r="A%d"><v>%d</v></c></row>' % (r, r, r) for r in (1, 2, 70000))
    big += '<row r="70001"><c r="XFD70001" t="inlineStr"><is><t>远处</t></is></c></row>'
    sheets = {'数据输入': '<row r="1"><c r="A1"><v>1</v></c></row>', '其他': big}
    ct = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/><Default Extension="png" ContentType="image/png"/>'
          '<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="%s"/>' % TYPES[kind] +
          ''.join('<Override PartName="/xl/worksheets/sheet%d.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>' % (i + 1)
                  for i in range(len(sheets))) + '</Types>')
    wb = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s"><sheets>' % (MAIN, REL) +
          ''.join('<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (n, i + 1, i + 1) for i, n in enumerate(sheets)) +
          '</sheets></workbook>')
    rels = ''.join('<Relationship Id="rId%d" Type="%s/worksheet" Target="worksheets/sheet%d.xml"/>' % (i + 1, REL, i + 1)
                   for i in range(len(sheets)))
    if macros:
        rels += '<Relationship Id="rIdV" Type="http://schemas.microsoft.com/office/2006/relationships/vbaProject" Target="vbaProject.bin"/>'
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml', ct)
        z.writestr('_rels/.rels', '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr('xl/workbook.xml', wb)
        z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns="%s">%s</Relationships>' % (PKG, rels))
        for i, data in enumerate(sheets.values()):
            z.writestr('xl/worksheets/sheet%d.xml' % (i + 1), '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (MAIN, data))
        z.writestr('xl/media/现场照片1.png', b'\x89PNG\r\n\x1a\n' + bytes(range(256)) * 4)
        z.writestr(zipfile.ZipInfo('docProps/app.xml', (2020, 5, 6, 7, 8, 10)), '<Properties/>', zipfile.ZIP_STORED)
        if macros:
            z.writestr('xl/vbaProject.bin', b'\xd0\xcf\x11\xe0' + bytes(500))
    data = buf.getvalue()
    open(path, 'wb').write(zip64_central(data) if zip64 else data)

def check(src, out, kind):
    import re
    a, b = zipfile.ZipFile(src), zipfile.ZipFile(out)
    ia = {i.filename: i for i in a.infolist()}
    ib = {i.filename: i for i in b.infolist()}
    assert list(ia) == list(ib), (list(ia), list(ib))
    for name, i in ia.items():
        j = ib[name]
        assert (i.flag_bits & 0x800) == (j.flag_bits & 0x800), name
        assert i.orig_filename.encode('utf-8') == j.orig_filename.encode('utf-8'), name
        if name not in ('[Content_Types].xml', 'xl/worksheets/sheet1.xml'):
            assert a.read(name) == b.read(name), name
            assert i.date_time == j.date_time and i.compress_type == j.compress_type, name
    types = b.read('[Content_Types].xml').decode()
    found = re.search(r'PartName="/xl/workbook.xml" ContentType="([^"]*)"', types).group(1)
    assert found == TYPES[kind], found
    print('ok')
)PY";

struct ProducerCase {
  const char* name;
  const char* make;   // arguments of make() after the path
  const char* saveAs;  // extension of the written file
  const char* error;   // part of the refusal; nullptr: written
};

class XlsxProducerFile : public ::testing::TestWithParam<ProducerCase> {};

TEST_P(XlsxProducerFile, WritesBackEveryOtherEntryByteForByte) {
  const ProducerCase& c = GetParam();
  TempDir dir;
  const std::string source = dir.File("source.xlsx");
  const std::string out = dir.File(std::string("out.") + c.saveAs);
  RunPython(std::string(kProducers) + "make(" + testing::PythonString(source) + c.make + ")\n", dir);
  Workbook wb = XlsxImporter::Load(source);
  ASSERT_NE(wb.FindSheet("其他"), nullptr);
  EXPECT_EQ(wb.FindSheet("其他")->Value(CellAddress{1, 0}), CellValue(2.0));
  wb.FindSheet("数据输入")->SetValue(CellAddress{0, 0}, 42.0);
  if (c.error) {
    try {
      XlsxExporter::Save(wb, out);
      FAIL() << "saved";
    } catch (const SpreadsheetError& e) {
      EXPECT_NE(e.Description().find(c.error), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    return;
  }
  XlsxExporter::Save(wb, out);
  EXPECT_EQ(RunPython(std::string(kProducers) + "check(" + testing::PythonString(source) + ", " +
                          testing::PythonString(out) + ", '" + c.saveAs + "')\n",
                      dir),
            "ok\n");
  EXPECT_EQ(XlsxImporter::Load(out).FindSheet("数据输入")->Value(CellAddress{0, 0}), CellValue(42.0));
}

const ProducerCase kProducerCases[] = {
    {"workbook", "", "xlsx", nullptr},
    {"workbook_as_template", "", "xltx", nullptr},
    {"template_as_workbook", ", 'xltx'", "xlsx", nullptr},
    {"macros_kept", ", 'xlsm', macros=True", "xlsm", nullptr},
    {"macro_template", ", 'xltm', macros=True", "xltm", nullptr},
    {"macros_as_workbook", ", 'xlsm', macros=True", "xlsx", "请选择扩展名 .xlsm"},
    {"macros_as_template", ", 'xltm', macros=True", "xltx", "请选择扩展名 .xltm"},
    {"zip64_central_directory", ", zip64=True", "xlsx", nullptr},
    {"zip64_macros", ", 'xlsm', macros=True, zip64=True", "xlsm", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Producers, XlsxProducerFile, ::testing::ValuesIn(kProducerCases),
                         [](const ::testing::TestParamInfo<ProducerCase>& info) { return std::string(info.param.name); });

// A sheet left out in part cannot be rewritten without losing what was left out.
TEST(XlsxProducerFiles, AClippedSheetIsNotRewritten) {
  TempDir dir;
  const std::string source = dir.File("source.xlsx");
  RunPython(std::string(kProducers) + "make(" + testing::PythonString(source) + ")\n", dir);
  Workbook wb = XlsxImporter::Load(source);
  wb.FindSheet("其他")->SetValue(CellAddress{0, 1}, 5.0);
  try {
    XlsxExporter::Save(wb, dir.File("out.xlsx"));
    FAIL() << "saved";
  } catch (const SpreadsheetError& e) {
    EXPECT_NE(e.Description().find("工作表“其他”有超出 65536 行 × 256 列的内容"), std::string::npos) << e.Description();
  }
}

}  // namespace
}  // namespace spreadsheet
