#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/ReaderProcess.h"
#include "xlsx/isolate/ReaderSupply.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::RunPython;
using testing::TempDir;

// Writes a minimal workbook whose only sheet has the given <cols> and <sheetData> XML.
const char* kMakeWorkbook = R"PY(
import sys, zipfile
def make(path, cols, data, dimension="A1", sheet="Sheet1"):
    ct = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
          '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
          '</Types>')
    rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
            '</Relationships>')
    wb = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
          'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
          '<sheet name="%s" sheetId="1" r:id="rId1"/></sheets></workbook>' % sheet)
    wbrels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
              '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
              '</Relationships>')
    sheet = ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
             '<dimension ref="%s"/>%s<sheetData>%s</sheetData></worksheet>' % (dimension, cols, data))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.xml", wb)
        z.writestr("xl/_rels/workbook.xml.rels", wbrels)
        z.writestr("xl/worksheets/sheet1.xml", sheet)

# An OLE compound file with one stream besides the root: an encrypted workbook has EncryptionInfo.
def compound(path, stream):
    import struct
    header = bytearray(512)
    header[0:8] = b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1'
    struct.pack_into('<HHHH', header, 24, 0x3e, 3, 0xfffe, 9)
    struct.pack_into('<III', header, 44, 1, 1, 0)
    struct.pack_into('<I', header, 76, 0)
    for i in range(1, 109): struct.pack_into('<I', header, 76 + 4 * i, 0xffffffff)
    fat = struct.pack('<II', 0xfffffffd, 0xfffffffe) + b'\xff' * 504
    def entry(name, kind):
        e = bytearray(128)
        raw = (name + '\0').encode('utf-16-le')
        e[0:len(raw)] = raw
        struct.pack_into('<HB', e, 64, len(raw), kind)
        return bytes(e)
    directory = entry('Root Entry', 5) + entry(stream, 2) + bytes(256)
    open(path, 'wb').write(bytes(header) + fat + directory)

# Sets a field of the sheet's entry in both its local header and the central directory:
# 'crc', 'compressed' or 'size' (uncompressed), each to what `value` makes of the old one.
def patch(path, field, value):
    import struct
    data = bytearray(open(path, 'rb').read())
    name = b'xl/worksheets/sheet1.xml'
    for signature, offset, name_at in ((b'PK\x03\x04', 14, 30), (b'PK\x01\x02', 16, 46)):
        at = data.find(signature)
        while data[at + name_at:at + name_at + len(name)] != name:
            at = data.find(signature, at + 1)
        where = at + offset + {'crc': 0, 'compressed': 4, 'size': 8}[field]
        struct.pack_into('<I', data, where, value(struct.unpack_from('<I', data, where)[0]))
    open(path, 'wb').write(data)
)PY";

struct HostileCase {
  const char* name;
  const char* python;  // builds the file at the path `out`; empty: the file is made in C++
  const char* expected;  // part of the error description
};

class XlsxHostileFile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(XlsxHostileFile, EndsInAClearErrorWithinTheLimits) {
  const HostileCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File(std::string(c.name) + ".xlsx");
  RunPython(std::string(kMakeWorkbook) + "\nout = r'''" + path + "'''\n" + c.python + "\n", dir);

  XlsxImporter::Limits limits;
  limits.time = std::chrono::milliseconds(3000);
  const auto start = std::chrono::steady_clock::now();
  try {
    XlsxImporter::Load(path, limits);
    FAIL() << "loaded without error";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find(c.expected), std::string::npos) << e.Description();
    RecordProperty("error", e.Description());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6000));
}

INSTANTIATE_TEST_SUITE_P(
    Files, XlsxHostileFile,
    ::testing::Values(
        HostileCase{"random", "import random\nrandom.seed(7)\nopen(out,'wb').write(bytes(random.getrandbits(8) for _ in range(5000)))",
                    "不是有效的 Excel 工作簿"},
        HostileCase{"empty", "open(out,'wb').close()", "不是有效的 Excel 工作簿"},
        HostileCase{"truncated",
                    "make(out, '', '<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>' * 1)\n"
                    "data = open(out,'rb').read()\nopen(out,'wb').write(data[:len(data)//2])",
                    "不是有效的 Excel 工作簿"},
        HostileCase{"not_a_workbook", "import zipfile\nzipfile.ZipFile(out,'w').writestr('hello.txt','hi')",
                    "无法打开文件"},
        HostileCase{"col_min_zero", "make(out, '<cols><col min=\"0\" max=\"1\" width=\"10\" customWidth=\"1\"/></cols>', '')",
                    "无法打开文件"},
        HostileCase{"col_max_huge",
                    "make(out, '<cols><col min=\"1\" max=\"2147483648\" width=\"10\" customWidth=\"1\"/></cols>', '')",
                    "无法打开文件"},
        HostileCase{"million_rows",
                    "make(out, '', '<row r=\"1048576\"><c r=\"A1048576\"><v>1</v></c></row>', 'A1:XFD1048576', '水准表')",
                    "A1048576 超出了 65536 行 × 256 列的范围"},
        HostileCase{"beyond_iv", "make(out, '', '<row r=\"1\"><c r=\"IW1\" t=\"inlineStr\"><is><t>x</t></is></c></row>', sheet='数据输入')",
                    "IW1 超出了 65536 行 × 256 列的范围"},
        HostileCase{"number_beyond_iv", "make(out, '', '<row r=\"2\"><c r=\"IV2\"><v>1</v></c><c r=\"IW2\"><v>2</v></c></row>', sheet='水准表')",
                    "IW2 超出了 65536 行 × 256 列的范围"},
        HostileCase{"encrypted", "compound(out, 'EncryptionInfo')", "：工作簿已加密"},
        HostileCase{"encrypted_entries",
                    "make(out, '', '')\ndata = bytearray(open(out,'rb').read())\n"
                    "for signature, flags in ((b'PK\\x03\\x04', 6), (b'PK\\x01\\x02', 8)):\n"
                    "    at = data.find(signature)\n"
                    "    while at >= 0:\n        data[at + flags] |= 1\n        at = data.find(signature, at + 1)\n"
                    "open(out,'wb').write(data)",
                    "：工作簿已加密"},
        HostileCase{"legacy_xls", "compound(out, 'Workbook')", "旧版 Excel 97-2003 工作簿（.xls）"},
        HostileCase{"opendocument",
                    "z = zipfile.ZipFile(out, 'w')\nz.writestr('mimetype', 'application/vnd.oasis.opendocument.spreadsheet')\n"
                    "z.writestr('content.xml', '<office:document-content/>')\nz.close()",
                    "这是 OpenDocument 文档（application/vnd.oasis.opendocument.spreadsheet）"},
        HostileCase{"bad_xml", "make(out, '', '<row r=\"1\"><c r=\"A1\"><v>1</v></row>')", "不是有效的 Excel 工作簿"},
        HostileCase{"wrong_checksum", "make(out, '', '')\npatch(out, 'crc', lambda v: v ^ 1)", "已损坏（数据或校验和不符）"},
        HostileCase{"size_too_small", "make(out, '', '')\npatch(out, 'size', lambda v: v - 1)", "已损坏（长度不符）"},
        HostileCase{"size_too_large", "make(out, '', '')\npatch(out, 'size', lambda v: v + 1)", "已损坏（长度不符）"},
        HostileCase{"size_beyond_deflate", "make(out, '', '')\npatch(out, 'size', lambda v: 0xFFFFFFF0)", "已损坏（长度不符）"}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST(XlsxHostileFiles, MissingFolderAndWrongExtensionNameThePath) {
  TempDir dir;
  const struct {
    std::string path;
    const char* expected;
  } cases[] = {
      {dir.File("absent.xlsx"), "文件不存在"},
      {dir.Path().string(), "文件夹"},
      {dir.File("notes.txt"), "不支持扩展名为“.txt”的文件"},
  };
  std::ofstream(dir.File("notes.txt")) << "text";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    for (bool isolated : {true, false}) {
      try {
        isolated ? XlsxImporter::Load(c.path) : XlsxImporter::LoadInProcess(c.path);
        ADD_FAILURE() << "no error";
      } catch (const SpreadsheetError& e) {
        EXPECT_EQ(e.Number(), 1004);
        EXPECT_NE(e.Description().find(c.path), std::string::npos) << e.Description();
        EXPECT_NE(e.Description().find(c.expected), std::string::npos) << e.Description();
      }
    }
  }
}

TEST(XlsxHostileFiles, AReadBeyondTheMemoryLimitFailsCleanly) {
#if defined(LEVELBOOK_TESTS_UNDER_SANITIZERS)
  GTEST_SKIP() << "no address-space limit under AddressSanitizer";
#endif
  TempDir dir;
  Workbook wb;
  Worksheet& ws = wb.AddSheet("big");
  for (int r = 0; r < 2000; ++r) {
    for (int c = 0; c < 9; ++c) ws.SetValue(CellAddress{r, c}, std::string(1600, static_cast<char>('a' + c)) + std::to_string(r));
  }
  const std::string path = dir.File("big.xlsx");
  XlsxExporter::Save(wb, path);
  XlsxImporter::Limits limits;
  // The sheet's XML alone is about 29 MiB once inflated, its cells as much again. The limit is
  // on address space added to this process's, and the child may also fill what this process's
  // heap holds free (after other tests, tens of MiB), so it lies far below what the read needs.
  limits.memoryBytes = std::size_t{16} << 20;
  try {
    XlsxImporter::Load(path, limits);
    FAIL() << "loaded within 16 MiB";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find("内存"), std::string::npos) << e.Description();
  }
  // The same file within the normal limits, and the parent lives on.
  EXPECT_EQ(XlsxImporter::Load(path).SheetAt(0).RowExtent(), 2000);
}

struct IsolationCase {
  const char* name;
  const char* script;  // a stand-in reader program, as the shell runs it
  int number;
  const char* expected;
};

class XlsxIsolatedRead : public ::testing::TestWithParam<IsolationCase> {};

// Whatever the reader program does, the caller gets an error naming the file and goes on.
TEST_P(XlsxIsolatedRead, ReaderFailuresBecomeErrors) {
  const IsolationCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("any.xlsx");
  std::ofstream(path) << "x";
  XlsxImporter::Limits limits;
  limits.time = std::chrono::milliseconds(500);
  limits.reader = dir.File("reader.sh");
  std::ofstream(limits.reader) << "#!/bin/sh\n" << c.script << "\n";
  std::filesystem::permissions(limits.reader, std::filesystem::perms::owner_all);
  const auto start = std::chrono::steady_clock::now();
  try {
    XlsxImporter::Load(path, limits);
    FAIL() << "no error";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_NE(e.Description().find(c.expected), std::string::npos) << e.Description();
    if (c.number == 1004) {
      EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
}

// The answer's error number is in native byte order, as the reader writes it.
const IsolationCase kIsolationCases[] = {
    {"abort", "kill -ABRT $$", 1004, "异常终止（信号 6）"},
    {"hang", "exec sleep 60", 1004, "读取超过 0.5 秒仍未完成"},
    {"stopped", "kill -STOP $$", 1004, "读取超过 0.5 秒仍未完成"},
    {"own_error", "printf 'E\\011\\000\\000\\000下标越界'", 9, "下标越界"},
    {"file_error", "printf 'E\\354\\003\\000\\000不是有效的 Excel 工作簿'", 1004, "：不是有效的 Excel 工作簿"},
    {"garbage", "printf 'W123'", 1004, "读取进程传回的数据无效"},
    {"exit", "exit 3", 1004, "退出码 3"},
    {"silent", "exit 0", 1004, "退出码 0"},
};

INSTANTIATE_TEST_SUITE_P(Readers, XlsxIsolatedRead, ::testing::ValuesIn(kIsolationCases),
                         [](const ::testing::TestParamInfo<IsolationCase>& info) { return std::string(info.param.name); });

TEST(XlsxIsolatedRead, NoReaderProgramIsNamedInTheMessage) {
  TempDir dir;
  const std::string path = dir.File("any.xlsx");
  std::ofstream(path) << "x";
  XlsxImporter::Limits limits;
  limits.reader = dir.File("nowhere/levelbook-read");
  try {
    XlsxImporter::Load(path, limits);
    FAIL() << "no error";
  } catch (const SpreadsheetError& e) {
    EXPECT_NE(e.Description().find("无法启动读取程序“" + limits.reader + "”"), std::string::npos) << e.Description();
  }
}

// A stand-in reader that writes its process id to `pidFile`, then becomes the real reader.
std::string ReaderNamingItself(const TempDir& dir, const std::string& pidFile) {
  const std::string script = dir.File("reader.sh");
  std::ofstream(script) << "#!/bin/sh\necho $$ > '" << pidFile << ".$$' && mv '" << pidFile << ".$$' '" << pidFile
                        << "'\nexec '" << HelperProgram::Locate(ReaderProcess::kProgram) << "' \"$@\"\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

// The process id in `pidFile` once the stand-in reader has written it (then removed), 0 after 5 s.
pid_t StartedReader(const std::string& pidFile) {
  for (int i = 0; i < 500; ++i) {
    pid_t pid = 0;
    if (std::ifstream(pidFile) >> pid) {
      std::filesystem::remove(pidFile);
      return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

TEST(XlsxIsolatedRead, AReaderKilledBeforeItGetsItsFileFailsThatFileOnly) {
  TempDir dir;
  const std::string path = dir.File("small.xlsx");
  Workbook wb;
  wb.AddSheet("数据输入").SetValue(CellAddress{0, 0}, 1.5);
  XlsxExporter::Save(wb, path);
  const std::string pidFile = dir.File("reader.pid");
  ReaderSupply readers(ReaderNamingItself(dir, pidFile), ReaderProcess::Limits{}, 1);
  XlsxImporter::Limits limits;
  limits.readers = &readers;
  const pid_t pid = StartedReader(pidFile);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  siginfo_t ended{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT), 0);  // dead, not yet waited for
  try {
    XlsxImporter::Load(path, limits);
    FAIL() << "read by a killed reader";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find("无法打开文件“" + path + "”：读取程序在收到文件之前已经结束（信号 9）"), std::string::npos)
        << e.Description();
  }
  // The supply started the next reader meanwhile; it reads the same file.
  EXPECT_EQ(XlsxImporter::Load(path, limits).SheetAt(0).Value(CellAddress{0, 0}), CellValue(1.5));
  EXPECT_EQ(::kill(pid, 0), -1);
}

TEST(XlsxIsolatedRead, AReaderNeverHandedAFileEndsWithItsSupply) {
  TempDir dir;
  const std::string pidFile = dir.File("reader.pid");
  pid_t pid = 0;
  {
    ReaderSupply readers(ReaderNamingItself(dir, pidFile), ReaderProcess::Limits{}, 1);
    pid = StartedReader(pidFile);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0);
  }
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

// A program that ends without its destructors (killed) leaves its waiting reader nothing to
// wait for: the reader ends by itself.
TEST(XlsxIsolatedRead, AWaitingReaderWhoseCallerIsGoneEnds) {
  int sockets[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
  const std::string program = HelperProgram::Locate(ReaderProcess::kProgram);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("1073741824"), const_cast<char*>("10000"),
                  nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(sockets[0]);
  ::close(sockets[1]);
  int status = -1;
  for (int i = 0; i < 500 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (status == -1) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace spreadsheet
