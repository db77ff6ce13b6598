#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tests/xlsx/XlsxTestSupport.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {
namespace {

using testing::TempDir;

// `make(out, ...)` writes a small archive with Python's zipfile: a.txt deflated, dated
// 2001-02-03 04:05:06, and 照片.png stored under a UTF-8 name. `patch(out, signature, offset,
// format, change, which)` rewrites one field of every record with that signature (or of the
// `which`-th only).
constexpr const char* kPrelude = R"PY(
import io, struct, zipfile
class Unseekable(io.RawIOBase):
    def __init__(self): self.data = bytearray()
    def writable(self): return True
    def write(self, b): self.data += b; return len(b)
def make(out, comment=b'', seekable=True, zip64=False, names=('a.txt', '照片.png')):
    sink = open(out, 'wb') if seekable else Unseekable()
    z = zipfile.ZipFile(sink, 'w')
    i = zipfile.ZipInfo(names[0], (2001, 2, 3, 4, 5, 6))
    i.compress_type = zipfile.ZIP_DEFLATED
    with z.open(i, 'w', force_zip64=zip64) as f: f.write(b'hello ' * 100)
    z.writestr(zipfile.ZipInfo(names[1], (2020, 1, 1, 0, 0, 0)), b'\x89PNG' * 10)
    z.comment = comment
    z.close()
    if not seekable: open(out, 'wb').write(sink.data)
LOCAL, CENTRAL, END = b'PK\x03\x04', b'PK\x01\x02', b'PK\x05\x06'
def patch(out, signature, offset, fmt, change, which=None):
    data = bytearray(open(out, 'rb').read())
    at, n = data.find(signature), 0
    while at >= 0:
        if which is None or which == n:
            struct.pack_into(fmt, data, at + offset, change(struct.unpack_from(fmt, data, at + offset)[0]))
        at, n = data.find(signature, at + 1), n + 1
    open(out, 'wb').write(data)
)PY";

struct ZipCase {
  const char* name;
  const char* python;     // makes the archive at `out`
  const char* expected;   // part of the error reading it from memory, "" for none
  const char* fromFile;   // the same from a file, whose local headers are checked; nullptr: as from memory
};

class ZipArchiveRead : public ::testing::TestWithParam<ZipCase> {};

std::string Repeated(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// Reads every entry of the archive `make` wrote and checks them; "" when all was read.
std::string ReadAll(const ZipArchive& zip) {
  const std::pair<std::string, std::string> contents[] = {{"a.txt", Repeated("hello ", 100)},
                                                          {"照片.png", Repeated("\x89PNG", 10)}};
  EXPECT_EQ(zip.Entries().size(), 2u);
  for (const auto& [name, content] : contents) {
    const ZipArchive::Entry* e = zip.Find(name);
    if (!e) return "no " + name;
    EXPECT_EQ(zip.Read(*e), content) << name;
    EXPECT_EQ(zip.ReadRaw(*e).size(), e->compressedSize) << name;
  }
  const ZipArchive::Entry& a = *zip.Find("A.TXT");
  EXPECT_EQ(a.dosDate, (21u << 9 | 2u << 5 | 3u) << 16 | (4u << 11 | 5u << 5 | 3u));  // 2001-02-03 04:05:06
  EXPECT_FALSE(a.utf8Name);
  EXPECT_TRUE(zip.Find("照片.png")->utf8Name);
  return "";
}

// The error's description, or what ReadAll returns.
template <typename Open>
std::string ErrorOf(Open open) {
  try {
    return ReadAll(*open());
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    return e.Description();
  }
}

TEST_P(ZipArchiveRead, FromMemoryAndFromAFile) {
  const ZipCase& c = GetParam();
  TempDir dir;
  const std::string out = dir.File("a.zip");
  testing::RunPython(std::string(kPrelude) + "out = " + testing::PythonString(out) + "\n" + c.python + "\n", dir);
  const auto bytes = std::make_shared<const std::string>(testing::ReadFile(out));
  const std::string fromMemory = ErrorOf([&] { return std::make_unique<ZipArchive>(bytes); });
  const int fd = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string fromFile = ErrorOf([&] { return std::make_unique<ZipArchive>(fd); });
  ::close(fd);
  for (const auto& [got, expected] : {std::pair{fromMemory, c.expected}, std::pair{fromFile, c.fromFile ? c.fromFile : c.expected}}) {
    if (*expected == '\0') {
      EXPECT_EQ(got, "");
    } else {
      EXPECT_NE(got.find(expected), std::string::npos) << got;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipArchiveRead,
    ::testing::Values(
        ZipCase{"plain", "make(out)", "", nullptr},
        ZipCase{"long_comment", "make(out, comment=b'PK\\x05\\x06' + b'x' * 60000)", "", nullptr},
        ZipCase{"data_descriptors", "make(out, seekable=False)", "", nullptr},
        ZipCase{"zip64_local_headers", "make(out, zip64=True)", "", nullptr},
        ZipCase{"zip64_end_record",
                "make(out)\ndata = open(out, 'rb').read()\nend = data.rfind(END)\n"
                "count, size, offset = struct.unpack_from('<HII', data, end + 10)\n"
                "record = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, count, count, size, offset)\n"
                "locator = struct.pack('<IIQI', 0x07064b50, 0, end, 1)\n"
                "open(out, 'wb').write(data[:end] + record + locator + struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, "
                "0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0))",
                "", nullptr},
        ZipCase{"sizes_in_zip64_field_missing", "make(out)\npatch(out, CENTRAL, 20, '<I', lambda v: 0xFFFFFFFF, 0)",
                "目录已损坏", nullptr},
        ZipCase{"encrypted_entry", "make(out)\nfor s in (LOCAL, CENTRAL): patch(out, s, 8 if s == CENTRAL else 6, '<H', lambda v: v | 1, 0)",
                "“a.txt”已加密", nullptr},
        ZipCase{"unknown_method", "make(out)\nfor s, o in ((LOCAL, 8), (CENTRAL, 10)): patch(out, s, o, '<H', lambda v: 12, 0)",
                "不支持的压缩方式 12", nullptr},
        ZipCase{"no_local_header", "make(out)\npatch(out, LOCAL, 0, '<I', lambda v: 0, 0)", "无法读取压缩包中的“a.txt”",
                nullptr},
        ZipCase{"local_name_differs", "make(out)\npatch(out, LOCAL, 30, '<B', lambda v: ord('b'), 0)", "",
                "“a.txt”已损坏（本地文件头与目录不符）"},
        ZipCase{"local_crc_differs", "make(out)\npatch(out, LOCAL, 14, '<I', lambda v: v ^ 1, 1)", "",
                "“照片.png”已损坏（本地文件头与目录不符）"},
        ZipCase{"stored_crc_differs", "make(out)\npatch(out, CENTRAL, 16, '<I', lambda v: v ^ 1, 1)",
                "“照片.png”已损坏（数据或校验和不符）", "本地文件头与目录不符"},
        ZipCase{"second_disk", "make(out)\npatch(out, END, 4, '<H', lambda v: 1)", "不支持分卷", nullptr},
        ZipCase{"directory_beyond_end", "make(out)\npatch(out, END, 16, '<I', lambda v: v + 1000)", "目录已损坏", nullptr},
        ZipCase{"more_entries_than_directory", "make(out)\nfor o in (8, 10): patch(out, END, o, '<H', lambda v: 40)",
                "目录已损坏", nullptr},
        ZipCase{"names_differing_in_case", "make(out, names=('a.txt', 'A.TXT'))", "只差大小写", nullptr},
        ZipCase{"same_name_twice", "make(out, names=('a.txt', 'a.txt'))", "部件“a.txt”出现了两次", nullptr},
        ZipCase{"not_zip", "open(out, 'wb').write(b'PK' * 100)", "不是 zip 压缩包", nullptr}),
    [](const ::testing::TestParamInfo<ZipCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace spreadsheet
