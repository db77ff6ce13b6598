// The pieces of a save that stream: sheet XML made in chunks, gathered and deflated whole, and
// the check of the written file's directory against what was written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "workbook/SpreadsheetError.h"
#include "xlsx/write/SheetXml.h"
#include "xlsx/splice/XmlSplice.h"
#include "xlsx/zip/ZipArchive.h"
#include "xlsx/zip/ZipWriter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

// Text that deflate can shorten but not to nothing, 2.5 MiB: three blocks, the last partial.
std::string Content(std::size_t size) {
  std::mt19937_64 rng(11);
  std::string s;
  while (s.size() < size) s += "<c r=\"B" + std::to_string(rng() % 65536) + "\"><v>" + std::to_string(rng() % 9973) + "</v></c>";
  s.resize(size);
  return s;
}

// An archive of one entry written in pieces of `piece` bytes (0: whole).
std::string Archive(const std::string& content, std::size_t piece) {
  std::string bytes;
  ZipWriter zip(&bytes);
  zip.Open("xl/worksheets/sheet1.xml");
  for (std::size_t at = 0; at < content.size(); at += piece == 0 ? content.size() : piece) {
    zip.Write(std::string_view(content).substr(at, piece == 0 ? content.size() : piece));
  }
  zip.Close();
  zip.Add("empty.xml", "");
  zip.Finish();
  return bytes;
}

TEST(XlsxStreamedWrite, PiecesMakeOneDeflateStreamWhateverTheirSizes) {
  const struct {
    std::size_t size, piece;
  } kCases[] = {
      {(std::size_t{5} << 19), 0},     // 2.5 MiB at once
      {(std::size_t{5} << 19), 7},     // in odd little pieces
      {(std::size_t{5} << 19), 65536},
      {(std::size_t{2} << 20), 4096},  // a round size
      {100, 1},                        // a small entry
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.size) + " by " + std::to_string(c.piece));
    const std::string content = Content(c.size);
    const std::string bytes = Archive(content, c.piece);
    EXPECT_EQ(bytes, Archive(content, 0)) << "the stored bytes depend on how the content came";
    const ZipArchive zip(std::make_shared<const std::string>(bytes));
    ASSERT_EQ(zip.Entries().size(), 2u);
    EXPECT_EQ(zip.Read(*zip.Find("xl/worksheets/sheet1.xml")), content);  // inflated, CRC checked
    EXPECT_EQ(zip.Read(*zip.Find("empty.xml")), "");
    EXPECT_LT(zip.Find("xl/worksheets/sheet1.xml")->compressedSize, c.size / 2 + 16);
  }
}

// Entries deflated aside (a megabyte or more) go out in the order made, between entries
// deflated at once and entries copied from another archive, also more large ones in a row than
// are deflated side by side, and the same content makes the same bytes as in an archive of its
// own.
TEST(XlsxStreamedWrite, EntriesDeflatedAsideKeepTheirPlace) {
  const std::string big = Content(ZipWriter::kAsideBytes + 7);
  const std::string other = Content(ZipWriter::kAsideBytes * 2).substr(ZipWriter::kAsideBytes);
  std::string source;
  {
    ZipWriter zip(&source);
    zip.Add("copied.xml", "<copied/>");
    zip.Finish();
  }
  const ZipArchive from(std::make_shared<const std::string>(source));
  const struct {
    const char* name;
    const std::string* content;  // nullptr: copied.xml from the other archive
  } kOrder[] = {{"a.xml", &big}, {"small.xml", nullptr}, {"b.xml", &other}, {"c.xml", &big}, {"d.xml", &other}, {nullptr, nullptr}};
  static_assert(ZipWriter::kMostAside < 3, "b, c and d must outnumber the entries deflated side by side");
  const std::string tiny = "<t/>";
  std::string bytes;
  ZipWriter zip(&bytes);
  for (const auto& e : kOrder) {
    if (e.name == nullptr) {
      zip.Copy(from, from.Entries().front());
    } else {
      zip.Add(e.name, e.content ? *e.content : tiny);
    }
  }
  zip.Finish();
  const ZipArchive written(std::make_shared<const std::string>(bytes));
  ASSERT_NO_THROW(zip.Check(written));
  ASSERT_EQ(written.Entries().size(), std::size(kOrder));
  for (std::size_t i = 0; i < std::size(kOrder); ++i) {
    const ZipArchive::Entry& e = written.Entries()[i];
    EXPECT_EQ(e.name, kOrder[i].name ? kOrder[i].name : "copied.xml");
    EXPECT_EQ(written.Read(e), kOrder[i].name ? (kOrder[i].content ? *kOrder[i].content : tiny) : "<copied/>");
  }
  std::string alone;
  {
    ZipWriter one(&alone);
    one.Add("c.xml", big);
    one.Finish();
  }
  const ZipArchive single(std::make_shared<const std::string>(alone));
  EXPECT_EQ(written.ReadRaw(written.Entries()[3]), single.ReadRaw(single.Entries()[0]));
}

// A 32-bit field of a central directory record, little-endian.
void Poke32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}

// The save reopens the written file only for its directory: what a short, failed or misplaced
// write leaves there is found by the CRCs and sizes kept while writing, through the descriptor.
TEST(XlsxStreamedWrite, TheDirectoryCheckFindsWhatWasNotWrittenAsKept) {
  const std::string content = Content(std::size_t{3} << 19);
  testing::TempDir dir;
  const std::string path = dir.File("written.zip");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ZipWriter zip(fd);
  zip.Add("a.xml", content);
  zip.Add("b.xml", "<b/>");
  zip.Finish();
  EXPECT_NO_THROW(zip.Check(ZipArchive(fd)));
  ::close(fd);
  const std::string bytes = testing::ReadFile(path);
  const std::size_t central = bytes.find("PK\1\2");  // a.xml's directory record
  ASSERT_NE(central, std::string::npos);

  std::string other;
  ZipWriter one(&other);
  one.Add("a.xml", content);
  one.Finish();
  auto poked = [&](std::size_t field, std::uint32_t value) {
    std::string b = bytes;
    Poke32(b, central + field, value);
    return b;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } kCases[] = {
      {"an entry missing", other, "条目数不符"},
      {"cut short", bytes.substr(0, bytes.size() / 2), "不是有效的"},
      {"the end record only", bytes.substr(bytes.size() - 22), ""},
      {"another CRC", poked(16, 0x12345678), ""},
      {"another stored size", poked(20, 1000), ""},
      {"another size", poked(24, 1000), ""},
      {"another name", [&] { std::string b = bytes; b[central + 46] = 'c'; return b; }(), ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_TRUE(f);
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(in, 0);
    try {
      zip.Check(ZipArchive(in));
      ADD_FAILURE() << "not found";
    } catch (const SpreadsheetError& e) {
      EXPECT_EQ(e.Number(), 1004);
      EXPECT_NE(e.Description().find(c.message), std::string::npos) << e.Description();
    }
    ::close(in);
  }
}

// Every number of the sheet XML as std::to_chars writes it (shortest, exact), also where a
// quicker way is taken for numbers with few decimals.
TEST(XlsxStreamedWrite, NumbersAreWrittenAsToCharsWritesThem) {
  std::mt19937_64 rng(20240607);
  const struct {
    const char* name;
    double (*make)(std::mt19937_64&);
  } kKinds[] = {
      {"readings in mm", [](std::mt19937_64& g) { return static_cast<double>(g() % 5000) / 1000.0; }},
      {"elevations summed", [](std::mt19937_64& g) { return 100.0 + static_cast<double>(g() % 5000) / 1000.0 - 1.234; }},
      {"integers", [](std::mt19937_64& g) { return static_cast<double>(static_cast<std::int64_t>(g() % 2000001) - 1000000); }},
      {"round and tiny", [](std::mt19937_64& g) {
         return static_cast<double>(g() % 1000) * std::pow(10.0, static_cast<int>(g() % 40) - 20);
       }},
      {"decimals of every length", [](std::mt19937_64& g) {
         return static_cast<double>(static_cast<std::int64_t>(g() % 2000000000000001) - 1000000000000000) /
                std::pow(10.0, static_cast<int>(g() % 17));
       }},
      {"any bits", [](std::mt19937_64& g) {
         const std::uint64_t bits = g();
         double d = 0;
         std::memcpy(&d, &bits, sizeof d);
         return std::isfinite(d) ? d : 0.5;
       }},
  };
  for (const auto& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    Worksheet ws("t");
    std::vector<double> numbers;
    for (int i = 0; i < 4000; ++i) {
      numbers.push_back(kind.make(rng));
      ws.SetValue(CellAddress{i / 100, i % 100}, numbers.back());
    }
    std::string xml;
    SheetXml::SheetData(ws, "", SheetExtras(), [&](std::string_view piece) { xml.append(piece); });
    std::size_t at = 0;
    for (double d : numbers) {
      at = xml.find("<v>", at) + 3;
      char expected[32];
      const auto end = std::to_chars(expected, expected + sizeof expected, d).ptr;
      ASSERT_EQ(xml.substr(at, xml.find("</v>", at) - at), std::string(expected, end));
    }
  }
}


// Elements are found by their own tags only: markup inside comments, CDATA and processing
// instructions, and other elements' tags, never end or nest them.
TEST(XlsxStreamedWrite, ElementsEndAtTheirOwnEndTag) {
  const struct {
    const char* xml;
    const char* children;  // the root's children by name, with the text of the last one
  } kCases[] = {
      {"<w><a><!-- </a> --><b/></a><c>x</c></w>", "a c:<c>x</c>"},
      {"<w><a><![CDATA[</a><a>]]></a><?pi </a>?><c/></w>  \n", "a c:<c/>"},
      {"<x:w xmlns:x='u'><x:a><x:a>in</x:a></x:a ><x:ab/></x:w>", "a ab:<x:ab/>"},
      {"<w><a q='>' r=\"/>\">t</a></w><!-- </w> after the root -->", "a:<a q='>' r=\"/>\">t</a>"},
      {"<?xml version='1.0'?><w><sheetData><row/><rows/></sheetData></w>", "sheetData:<sheetData><row/><rows/></sheetData>"},
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<w>\xE6\xB0\xB4<a\n b='\xE5\x87\x86'\n/></w>",
       "a:<a\n b='\xE5\x87\x86'\n/>"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.xml);
    const std::string_view xml = c.xml;
    const XmlSpan root = XmlSplice::Root(xml, "/t.xml");
    std::string names;
    const auto children = XmlSplice::Children(xml, root);
    for (const XmlSpan& child : children) names += (names.empty() ? "" : " ") + std::string(child.name);
    ASSERT_FALSE(children.empty());
    const XmlSpan& last = children.back();
    EXPECT_EQ(names + ":" + std::string(xml.substr(last.begin, last.end - last.begin)), c.children);
    EXPECT_EQ(xml.substr(root.contentEnd, root.end - root.contentEnd).substr(0, 2), "</");
  }
}

// Below the root's grandchildren an element's children come from a parse of its own bytes:
// the same spans either way, offsets in the whole text, prefixes from the start tag.
TEST(XlsxStreamedWrite, DeepElementsAndAttributesAreFoundInTheWholeText) {
  const std::string xml =
      "<x:w xmlns:x='u'><x:sheetData><x:row r='1' x:a='&lt;&#x6C34;&amp;\t>'><x:c r='A1' t=\"b\"><x:v>1</x:v></x:c>"
      "<!-- <x:c/> --><x:c r = 'B1'/></x:row></x:sheetData></x:w>";
  const XmlSpan root = XmlSplice::Root(xml, "/t.xml");
  const XmlSpan sheetData = XmlSplice::Children(xml, root).at(0);
  const XmlSpan row = XmlSplice::Children(xml, sheetData).at(0);
  const auto cells = XmlSplice::Children(xml, row);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(xml.substr(cells[1].begin, cells[1].end - cells[1].begin), "<x:c r = 'B1'/>");
  EXPECT_EQ(XmlSplice::Children(xml, cells[0]).at(0).name, "v");
  EXPECT_EQ(xml.substr(cells[0].contentBegin, cells[0].contentEnd - cells[0].contentBegin), "<x:v>1</x:v>");
  EXPECT_EQ(XmlSplice::Prefix(xml, cells[0]), "x:");
  EXPECT_EQ(XmlSplice::Attribute(xml, row, "x:a"), std::optional<std::string>("<\xE6\xB0\xB4& >"));
  std::pair<std::size_t, std::size_t> range;
  EXPECT_EQ(XmlSplice::Attribute(xml, cells[1], "r", &range), std::optional<std::string>("B1"));
  EXPECT_EQ(xml.substr(range.first, range.second - range.first), "B1");
  EXPECT_FALSE(XmlSplice::Attribute(xml, cells[1], "t"));
  std::string attributes;
  for (const XmlAttribute& a : XmlSplice::Attributes(xml, cells[0])) {
    attributes += std::string(a.qname) + "=" + std::string(a.value) + "|" + xml.substr(a.begin, a.end - a.begin) + ";";
  }
  EXPECT_EQ(attributes, "r=A1|r='A1';t=b|t=\"b\";");
}

// What the range finder cannot place truthfully is refused naming the part.
TEST(XlsxStreamedWrite, TextsWithoutTrueRangesAreRefused) {
  const std::string utf16("\xFF\xFE<\0w\0/\0>\0", 10);
  const std::string kCases[] = {
      "<w><a></w>",
      "",
      "<!DOCTYPE w [<!ENTITY e '<a/>'>]><w>&e;</w>",
      utf16,
      "<?xml version='1.0' encoding='ISO-8859-1'?><w>\xE9<a/></w>",
  };
  for (const std::string& xml : kCases) {
    SCOPED_TRACE(xml);
    try {
      XmlSplice::Root(xml, "/xl/t.xml");
      ADD_FAILURE() << "accepted";
    } catch (const SpreadsheetError& e) {
      EXPECT_NE(e.Description().find("部件“/xl/t.xml”"), std::string::npos) << e.Description();
    }
  }
}

}  // namespace
}  // namespace spreadsheet
