#include "xlsx/read/OpcPackage.h"

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/XmlReader.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

OpcPackage::OpcPackage(std::shared_ptr<const std::string> bytes) : bytes_(bytes), zip_(std::move(bytes)) {}

std::string OpcPackage::EntryName(std::string_view part) {
  while (!part.empty() && part.front() == '/') part.remove_prefix(1);
  return std::string(part);
}

std::string OpcPackage::RelsPartOf(std::string_view part) {
  if (part.empty() || part == "/") return "/_rels/.rels";
  const std::size_t slash = part.rfind('/');
  const std::string_view dir = slash == std::string_view::npos ? std::string_view("/") : part.substr(0, slash + 1);
  const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return std::string(dir) + "_rels/" + std::string(name) + ".rels";
}

std::string OpcPackage::Resolve(std::string_view sourcePart, std::string_view target) {
  std::string t = PercentDecoded(target);
  // A fragment or query names no other part.
  if (const std::size_t cut = t.find_first_of("#?"); cut != std::string::npos) t.erase(cut);
  std::vector<std::string> segments;
  if (t.empty() || t.front() != '/') {
    std::string_view dir = sourcePart;
    const std::size_t slash = dir.rfind('/');
    dir = slash == std::string_view::npos ? std::string_view{} : dir.substr(0, slash);
    std::size_t pos = 0;
    while (pos < dir.size()) {
      const std::size_t next = std::min(dir.find('/', pos), dir.size());
      if (next > pos) segments.emplace_back(dir.substr(pos, next - pos));
      pos = next + 1;
    }
  }
  std::size_t pos = 0;
  while (pos <= t.size()) {
    const std::size_t next = std::min(t.find('/', pos), t.size());
    const std::string seg = t.substr(pos, next - pos);
    if (seg == "..") {
      if (segments.empty()) Fail("关系目标“" + std::string(target) + "”超出了压缩包的根");
      segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    pos = next + 1;
  }
  std::string out;
  for (const std::string& s : segments) out += "/" + s;
  return out.empty() ? "/" : out;
}

std::string OpcPackage::Read(std::string_view part) const {
  const ZipArchive::Entry* e = zip_.Find(EntryName(part));
  if (!e) Fail("缺少部件“" + std::string(part) + "”");
  return zip_.Read(*e);
}

std::vector<OpcPackage::Relationship> OpcPackage::Relationships(std::string_view part) const {
  std::vector<Relationship> rels;
  const std::string relsPart = RelsPartOf(part);
  if (!Has(relsPart)) return rels;
  const std::string xml = Read(relsPart);
  XmlReader r(xml, relsPart);
  const std::string source = part.empty() ? std::string("/") : std::string(part);
  while (r.Read()) {
    if (r.Kind() != XmlReader::Node::Start || r.Name() != "Relationship") continue;
    Relationship rel;
    rel.id = std::string(r.Attribute("Id").value_or(""));
    rel.type = std::string(r.Attribute("Type").value_or(""));
    const std::string target(r.Attribute("Target").value_or(""));
    rel.external = r.Attribute("TargetMode").value_or("") == "External";
    rel.target = rel.external ? target : Resolve(source, target);
    rels.push_back(std::move(rel));
  }
  return rels;
}

const OpcPackage::Relationship* OpcPackage::OfKind(const std::vector<Relationship>& rels, std::string_view kind) {
  for (const Relationship& r : rels) {
    const std::string_view t = r.type;
    if (!r.external && t.size() > kind.size() && t.substr(t.size() - kind.size()) == kind &&
        t[t.size() - kind.size() - 1] == '/') {
      return &r;
    }
  }
  return nullptr;
}

}  // namespace spreadsheet
