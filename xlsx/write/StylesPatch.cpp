#include "xlsx/write/StylesPatch.h"

#include <charconv>
#include <map>
#include <optional>
#include <vector>

#include "numfmt/BuiltinNumberFormats.h"
#include "xlsx/write/SheetXml.h"
#include "xlsx/read/XmlReader.h"
#include "xlsx/splice/XmlSplice.h"

namespace spreadsheet {

namespace {

// Containers of a style sheet in the order the file format requires.
constexpr std::string_view kOrder[] = {"numFmts", "fonts",  "fills",       "borders", "cellStyleXfs", "cellXfs",
                                       "cellStyles", "dxfs", "tableStyles", "colors",  "extLst"};

std::string Hex(std::uint32_t rgb) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "FF%06X", rgb & 0xFFFFFFu);
  return buf;
}

std::string Number(double d) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, end);
}

const char* BorderName(BorderStyle s) {
  switch (s) {
    case BorderStyle::Thin: return "thin";
    case BorderStyle::Medium: return "medium";
    case BorderStyle::Thick: return "thick";
    case BorderStyle::Dashed: return "dashed";
    case BorderStyle::Dotted: return "dotted";
    case BorderStyle::Double: return "double";
    case BorderStyle::Hair: return "hair";
    case BorderStyle::None: break;
  }
  return nullptr;
}

struct BaseFont {
  std::string name = "Calibri";
  double size = 11;
};

struct Existing {
  BaseFont font;
  std::map<std::string, int> formats;  // custom code → id
  int maxFormatId = 163;
};

Existing ReadExisting(std::string_view xml, const std::string& part) {
  Existing e;
  XmlReader r(xml, part);
  bool inFonts = false, firstFontDone = false, inFirstFont = false;
  while (r.Read()) {
    if (r.Kind() == XmlReader::Node::End) {
      if (r.Name() == "fonts") inFonts = false;
      if (r.Name() == "font" && inFirstFont) {
        inFirstFont = false;
        firstFontDone = true;
      }
      continue;
    }
    if (r.Kind() != XmlReader::Node::Start) continue;
    const std::string_view name = r.Name();
    if (name == "numFmt" && r.Depth() == 2) {
      int id = 0;
      const std::string_view idText = r.Attribute("numFmtId").value_or("");
      std::from_chars(idText.data(), idText.data() + idText.size(), id);
      e.formats.emplace(std::string(r.Attribute("formatCode").value_or("")), id);
      e.maxFormatId = std::max(e.maxFormatId, id);
    } else if (name == "fonts" && r.Depth() == 1) {
      inFonts = !r.SelfClosed();
    } else if (name == "font" && inFonts && !firstFontDone && r.Depth() == 2) {
      inFirstFont = !r.SelfClosed();
      firstFontDone = r.SelfClosed();
    } else if (inFirstFont && name == "name") {
      e.font.name = std::string(r.Attribute("val").value_or(e.font.name));
    } else if (inFirstFont && name == "sz") {
      double size = 0;
      const std::string_view text = r.Attribute("val").value_or("");
      auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
      if (ec == std::errc{} && p == text.data() + text.size() && size > 0) e.font.size = size;
    }
  }
  return e;
}

}  // namespace

std::string StylesPatch::Append(std::string_view xml, const std::string& part, const Workbook& wb, std::uint32_t first) {
  if (first >= wb.StyleCount()) return std::string(xml);
  const Existing existing = ReadExisting(xml, part);
  const XmlSpan root = XmlSplice::Root(xml, part);
  const std::string p(XmlSplice::Prefix(xml, root));
  const auto children = XmlSplice::Children(xml, root);
  auto find = [&](std::string_view name) -> const XmlSpan* {
    for (const XmlSpan& c : children) {
      if (c.name == name) return &c;
    }
    return nullptr;
  };
  auto countOf = [&](std::string_view name) {
    const XmlSpan* s = find(name);
    return s ? XmlSplice::Children(xml, *s).size() : std::size_t{0};
  };

  std::map<std::string_view, std::string> added;  // container → new children
  std::map<std::string_view, std::size_t> addedCount;
  std::map<std::string, int> formats = existing.formats;
  int nextFormat = existing.maxFormatId + 1;
  std::map<std::string, std::size_t> newFonts, newFills, newBorders;
  const std::size_t fonts = countOf("fonts"), fills = countOf("fills"), borders = countOf("borders");
  // Fills 0 and 1 are reserved by the file format (none, gray125); a file may lack them.
  std::size_t fillBase = fills;
  if (fills < 2) {
    if (fills == 0) added["fills"] += "<" + p + "fill><" + p + "patternFill patternType=\"none\"/></" + p + "fill>";
    added["fills"] += "<" + p + "fill><" + p + "patternFill patternType=\"gray125\"/></" + p + "fill>";
    addedCount["fills"] += 2 - fills;
    fillBase = 2;
  }
  if (fonts == 0) {
    added["fonts"] += "<" + p + "font><" + p + "sz val=\"" + Number(existing.font.size) + "\"/><" + p + "name val=\"";
    SheetXml::AppendEscaped(added["fonts"], existing.font.name);
    added["fonts"] += "\"/></" + p + "font>";
    ++addedCount["fonts"];
  }
  if (borders == 0) {
    added["borders"] += "<" + p + "border/>";
    ++addedCount["borders"];
  }
  auto intern = [&](std::map<std::string, std::size_t>& table, std::string_view container, std::size_t base,
                    const std::string& element) {
    auto [it, isNew] = table.try_emplace(element, base + addedCount[container]);
    if (isNew) {
      added[container] += element;
      ++addedCount[container];
    }
    return it->second;
  };

  for (std::uint32_t id = first; id < wb.StyleCount(); ++id) {
    const CellStyle& s = wb.Style(id);
    int numFmt = 0;
    if (!s.numberFormat.empty() && s.numberFormat != "General") {
      const int builtin = BuiltinNumberFormats::IdOf(s.numberFormat);
      if (builtin > 0) {
        numFmt = builtin;
      } else if (auto it = formats.find(s.numberFormat); it != formats.end()) {
        numFmt = it->second;
      } else {
        numFmt = nextFormat++;
        formats.emplace(s.numberFormat, numFmt);
        added["numFmts"] += "<" + p + "numFmt numFmtId=\"" + std::to_string(numFmt) + "\" formatCode=\"";
        SheetXml::AppendEscaped(added["numFmts"], s.numberFormat);
        added["numFmts"] += "\"/>";
        ++addedCount["numFmts"];
      }
    }
    std::size_t font = 0;
    if (!s.fontName.empty() || s.fontSize > 0 || s.bold || s.italic || s.fontColor) {
      std::string f = "<" + p + "font>";
      if (s.bold) f += "<" + p + "b/>";
      if (s.italic) f += "<" + p + "i/>";
      f += "<" + p + "sz val=\"" + Number(s.fontSize > 0 ? s.fontSize : existing.font.size) + "\"/>";
      if (s.fontColor) f += "<" + p + "color rgb=\"" + Hex(*s.fontColor) + "\"/>";
      f += "<" + p + "name val=\"";
      SheetXml::AppendEscaped(f, s.fontName.empty() ? existing.font.name : s.fontName);
      f += "\"/></" + p + "font>";
      font = intern(newFonts, "fonts", fonts, f);
    }
    std::size_t fill = 0;
    if (s.fill) {
      fill = intern(newFills, "fills", fills,
                    "<" + p + "fill><" + p + "patternFill patternType=\"solid\"><" + p + "fgColor rgb=\"" + Hex(*s.fill) +
                        "\"/><" + p + "bgColor indexed=\"64\"/></" + p + "patternFill></" + p + "fill>");
      (void)fillBase;
    }
    std::size_t border = 0;
    const std::pair<const char*, const Border*> sides[] = {{"left", &s.left}, {"right", &s.right}, {"top", &s.top}, {"bottom", &s.bottom}};
    bool anyBorder = false;
    for (const auto& side : sides) anyBorder = anyBorder || side.second->style != BorderStyle::None;
    if (anyBorder) {
      std::string b = "<" + p + "border>";
      for (const auto& [name, side] : sides) {
        if (const char* style = BorderName(side->style)) {
          b += "<" + p + name + " style=\"" + style + "\"><" + p + "color rgb=\"" + Hex(side->color) + "\"/></" + p + name + ">";
        } else {
          b += "<" + p + name + "/>";
        }
      }
      b += "<" + p + "diagonal/></" + p + "border>";
      border = intern(newBorders, "borders", borders, b);
    }
    std::string xf = "<" + p + "xf numFmtId=\"" + std::to_string(numFmt) + "\" fontId=\"" + std::to_string(font) +
                     "\" fillId=\"" + std::to_string(fill) + "\" borderId=\"" + std::to_string(border) + "\" xfId=\"0\"";
    if (numFmt != 0) xf += " applyNumberFormat=\"1\"";
    if (font != 0) xf += " applyFont=\"1\"";
    if (fill != 0) xf += " applyFill=\"1\"";
    if (border != 0) xf += " applyBorder=\"1\"";
    const bool aligned = s.horizontal != HorizontalAlignment::General || s.vertical != VerticalAlignment::Bottom || s.wrapText;
    if (aligned) {
      xf += " applyAlignment=\"1\"><" + p + "alignment";
      if (s.horizontal == HorizontalAlignment::Left) xf += " horizontal=\"left\"";
      if (s.horizontal == HorizontalAlignment::Center) xf += " horizontal=\"center\"";
      if (s.horizontal == HorizontalAlignment::Right) xf += " horizontal=\"right\"";
      if (s.vertical == VerticalAlignment::Top) xf += " vertical=\"top\"";
      if (s.vertical == VerticalAlignment::Center) xf += " vertical=\"center\"";
      if (s.wrapText) xf += " wrapText=\"1\"";
      xf += "/></" + p + "xf>";
    } else {
      xf += "/>";
    }
    added["cellXfs"] += xf;
    ++addedCount["cellXfs"];
  }

  XmlEdits edits;
  for (const auto& [container, content] : added) {
    const XmlSpan* span = find(container);
    const std::string total = std::to_string(countOf(container) + addedCount[container]);
    if (!span) {
      // Before the first container that follows it in the required order.
      std::size_t at = root.contentEnd;
      bool after = false;
      for (std::string_view name : kOrder) {
        if (name == container) {
          after = true;
          continue;
        }
        if (!after) continue;
        if (const XmlSpan* next = find(name)) {
          at = next->begin;
          break;
        }
      }
      edits.Insert(at, "<" + p + std::string(container) + " count=\"" + total + "\">" + content + "</" + p +
                           std::string(container) + ">");
      continue;
    }
    std::pair<std::size_t, std::size_t> range{0, 0};
    const bool hasCount = XmlSplice::Attribute(xml, *span, "count", &range).has_value();
    if (span->selfClosed) {
      std::string start(xml.substr(span->begin, span->end - span->begin));
      const std::size_t slash = start.rfind('/');
      start.erase(slash);
      if (hasCount) {
        const std::size_t v = range.first - span->begin;
        start.replace(v, range.second - range.first, total);
      }
      edits.Replace(span->begin, span->end, start + ">" + content + "</" + p + std::string(container) + ">");
    } else {
      if (hasCount) edits.Replace(range.first, range.second, total);
      edits.Insert(span->contentEnd, content);
    }
  }
  return edits.Apply(xml);
}

}  // namespace spreadsheet
