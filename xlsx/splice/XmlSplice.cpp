#include "xlsx/splice/XmlSplice.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <cstring>
#include <new>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

void Quiet(void*, const char*, ...) {}

// Frees a parser and the document libxml2 may have made behind the SAX interface (it keeps
// entity declarations in one for compatibility, even when no tree is built).
void FreeParser(xmlParserCtxtPtr ctxt) {
  if (ctxt->myDoc) {
    xmlFreeDoc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
  }
  xmlFreeParserCtxt(ctxt);
}

// Whether a text inside a name begins with a character a name may hold but not begin with:
// '-', '.', a digit, U+00B7, a combining mark U+0300-U+036F, U+203F or U+2040.
bool StartsWithNameOnlyCharacter(std::string_view s) {
  if (s.empty()) return false;
  const auto c = static_cast<unsigned char>(s[0]);
  if (c == '-' || c == '.' || (c >= '0' && c <= '9')) return true;
  const auto second = s.size() > 1 ? static_cast<unsigned char>(s[1]) : 0;
  return (c == 0xC2 && second == 0xB7) || c == 0xCC || (c == 0xCD && second >= 0x80 && second <= 0xAF) ||
         s.starts_with("\xE2\x80\xBF") || s.starts_with("\xE2\x81\x80");
}

// Whether a name XML 1.0 takes is one a namespace-aware parser (the readers of every workbook
// program) stops reading inside: prefix, colon, a local part that is a name of its own, a
// second colon, and then a character a name may hold but not begin with ("a:b:-c", "a:b:7").
// That parser ends the name at the second colon and cannot read the rest of the tag, so the
// part is refused here as the reader refuses it. (Other misuses of colons, "a:b:c", "a::b",
// "a:-b:-c", are namespace errors those parsers read on.)
bool CutByNamespaceParser(std::string_view name) {
  const std::size_t first = name.find(':');
  if (first == 0 || first == std::string_view::npos) return false;
  const std::size_t second = name.find(':', first + 1);
  if (second == std::string_view::npos || second == first + 1) return false;
  if (StartsWithNameOnlyCharacter(name.substr(first + 1))) return false;
  return StartsWithNameOnlyCharacter(name.substr(second + 1));
}

std::string_view Local(std::string_view qname) {
  const std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// One parse of `text` (the caller's text from `shift` on) with libxml2's SAX interface in its
// namespace-unaware form, so a fragment cut out of a document parses without its ancestors'
// namespace declarations. Positions come from the parser's input when a callback runs: at a
// start tag's '>' or "/>" when the element starts, just past the end tag or "/>" when it
// ends. A start tag begins at the last '<' before that, and an end tag likewise, since a
// well-formed tag holds no other '<' (not even in an attribute value); each such position is
// checked against the name the parser reports. The parse element, its children and their
// children are kept.
class Parse {
 public:
  Parse(std::string_view text, std::size_t shift) : text_(text), shift_(shift) {}

  // Returns the error, or "" when the text is a well-formed UTF-8 document.
  std::string Run() {
    if (text_.size() > INT_MAX) return "超过 2 GB";
    if (text_.empty()) return "为空";
    // The parser works on a copy it ends with a NUL byte, as it needs; positions in the copy
    // are positions in the text.
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(text_.data(), static_cast<int>(text_.size()));
    if (!ctxt) throw std::bad_alloc();
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = 1;  // the first interface: qualified names, no namespace processing
    // No exception may pass through the parser's C frames: running out of memory stops the
    // parse and is thrown once the parser is freed.
    sax.startElement = [](void* c, const xmlChar* name, const xmlChar** attributes) {
      try {
        bool cut = CutByNamespaceParser(reinterpret_cast<const char*>(name));
        for (const xmlChar** a = attributes; !cut && a && a[0]; a += 2) {
          cut = CutByNamespaceParser(reinterpret_cast<const char*>(a[0]));
        }
        if (cut) {
          Self(c).Stop("不是格式正确的 XML（元素“" + std::string(reinterpret_cast<const char*>(name)) +
                       "”中有含两个冒号、无法按命名空间读出的名称）");
          return;
        }
        Self(c).Start(name);
      } catch (const std::bad_alloc&) {
        Self(c).OutOfMemory();
      }
    };
    sax.endElement = [](void* c, const xmlChar* name) {
      try {
        Self(c).End(name);
      } catch (const std::bad_alloc&) {
        Self(c).OutOfMemory();
      }
    };
    sax.internalSubset = [](void* c, const xmlChar*, const xmlChar*, const xmlChar*) {
      try {
        Self(c).Stop("含有文档类型声明");
      } catch (const std::bad_alloc&) {
        Self(c).OutOfMemory();
      }
    };
    sax.warning = sax.error = sax.fatalError = Quiet;  // the last error is read from the parser
    *ctxt->sax = sax;
    ctxt->_private = this;
    ctxt_ = ctxt;
    xmlParseDocument(ctxt);
    std::string error = error_;
    if (error.empty() && !ctxt->wellFormed) {
      const xmlError* e = xmlCtxtGetLastError(ctxt);
      error = "不是格式正确的 XML";
      if (e && e->message) {
        std::string message = e->message;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        error += "（第 " + std::to_string(e->line) + " 行：" + message + "）";
      }
    }
    if (error.empty() && !hasRoot_) error = "中没有根元素";
    FreeParser(ctxt);
    if (outOfMemory_) throw std::bad_alloc();
    return error;
  }

  XmlSpan TakeRoot() {
    auto lists = std::make_shared<std::vector<XmlSpan>>(std::move(children_));
    for (std::size_t i = 0; i < lists->size(); ++i) {
      (*lists)[i].children = std::make_shared<const std::vector<XmlSpan>>(std::move(grandchildren_[i]));
    }
    root_.children = std::move(lists);
    return root_;
  }

 private:
  static Parse& Self(void* context) {
    return *static_cast<Parse*>(static_cast<xmlParserCtxtPtr>(context)->_private);
  }

  void OutOfMemory() {
    outOfMemory_ = true;
    xmlStopParser(ctxt_);
  }

  void Stop(const std::string& why) {
    if (error_.empty()) error_ = why;
    xmlStopParser(ctxt_);
  }

  // Where the parser stands in the text; npos inside an entity or after a change of encoding.
  std::size_t Position() const {
    const xmlParserInputPtr in = ctxt_->input;
    if (ctxt_->inputNr != 1 || !in || !in->buf || in->buf->encoder) return std::string_view::npos;
    return static_cast<std::size_t>(in->consumed) + static_cast<std::size_t>(in->cur - in->base);
  }

  XmlSpan* Open(int depth) {
    if (depth == 1) return &root_;
    if (depth == 2) return &children_.back();
    if (depth == 3) return &grandchildren_.back().back();
    return nullptr;
  }

  void Start(const xmlChar* name) {
    ++depth_;
    if (depth_ > 3) return;
    const std::size_t at = Position();
    const std::string_view qname(reinterpret_cast<const char*>(name));
    if (at >= text_.size()) {
      Stop("不是 UTF-8 编码，或其元素“" + std::string(qname) + "”的位置无法确定");
      return;
    }
    const bool closed = at + 1 < text_.size() && text_[at] == '/' && text_[at + 1] == '>';
    const std::size_t lt = text_.rfind('<', at);
    if (lt == std::string_view::npos || (!closed && text_[at] != '>') || text_.compare(lt + 1, qname.size(), qname) != 0) {
      Stop("不是 UTF-8 编码，或其元素“" + std::string(qname) + "”的位置无法确定");
      return;
    }
    XmlSpan s;
    s.name = Local(text_.substr(lt + 1, qname.size()));
    s.begin = shift_ + lt;
    s.selfClosed = closed;
    s.contentBegin = shift_ + at + (closed ? 2 : 1);
    s.contentEnd = s.end = s.contentBegin;
    if (depth_ == 1) {
      root_ = s;
      hasRoot_ = true;
    } else if (depth_ == 2) {
      children_.push_back(s);
      grandchildren_.emplace_back();
    } else {
      grandchildren_.back().push_back(s);
    }
  }

  void End(const xmlChar* name) {
    const int depth = depth_--;
    XmlSpan* s = Open(depth);
    if (!s || s->selfClosed) return;
    const std::size_t at = Position();
    const std::size_t lt = at <= text_.size() && at > 0 ? text_.rfind('<', at - 1) : std::string_view::npos;
    const std::string_view qname(reinterpret_cast<const char*>(name));
    if (lt == std::string_view::npos || text_.compare(lt, 2, "</") != 0 || text_.compare(lt + 2, qname.size(), qname) != 0) {
      Stop("不是 UTF-8 编码，或其元素“" + std::string(qname) + "”的位置无法确定");
      return;
    }
    s->contentEnd = shift_ + lt;
    s->end = shift_ + at;
  }

  std::string_view text_;
  std::size_t shift_;
  xmlParserCtxtPtr ctxt_ = nullptr;
  int depth_ = 0;
  bool hasRoot_ = false;
  bool outOfMemory_ = false;
  std::string error_;
  XmlSpan root_;
  std::vector<XmlSpan> children_;
  std::vector<std::vector<XmlSpan>> grandchildren_;
};

// The start tag's bytes, which the parser has read as well formed.
std::string_view StartTag(std::string_view xml, const XmlSpan& element) {
  return xml.substr(element.begin, (element.selfClosed ? element.end : element.contentBegin) - element.begin);
}

// Calls f(attribute) for each attribute of the element's start tag until f returns true. The
// tag is well formed: '<' QName (S Name S? '=' S? quoted-value)* S? '/'? '>', no value holding
// its own quote.
template <typename F>
void ForEachAttribute(std::string_view xml, const XmlSpan& element, F f) {
  const std::string_view tag = StartTag(xml, element);
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t i = 1;
  while (i < tag.size() && !space(tag[i]) && tag[i] != '/' && tag[i] != '>') ++i;
  for (;;) {
    while (i < tag.size() && space(tag[i])) ++i;
    if (i >= tag.size() || tag[i] == '/' || tag[i] == '>') return;
    const std::size_t nameBegin = i;
    while (i < tag.size() && tag[i] != '=' && !space(tag[i])) ++i;
    const std::string_view name = tag.substr(nameBegin, i - nameBegin);
    while (i < tag.size() && tag[i] != '"' && tag[i] != '\'') ++i;
    if (i >= tag.size()) return;
    const char quote = tag[i++];
    const std::size_t valueBegin = i;
    i = tag.find(quote, i);
    if (i == std::string_view::npos) return;
    const std::size_t base = element.begin;
    if (f(XmlAttribute{name, tag.substr(valueBegin, i - valueBegin), base + nameBegin, base + i + 1})) return;
    ++i;
  }
}

// An attribute's value as the parser delivers it (entities and character references resolved,
// white space normalized as for any attribute), from the start tag parsed on its own.
std::optional<std::string> ParsedAttribute(std::string_view tag, std::string_view qname) {
  std::string text(tag);
  if (text.size() >= 2 && text[text.size() - 2] != '/') text.insert(text.size() - 1, "/");
  struct Found {
    std::string_view qname;
    std::optional<std::string> value;
    bool outOfMemory = false;
  } found{qname, std::nullopt, false};
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = 1;
  sax.warning = sax.error = sax.fatalError = Quiet;
  sax.startElement = [](void* c, const xmlChar*, const xmlChar** atts) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(c);
    auto* f = static_cast<Found*>(ctxt->_private);
    try {
      for (const xmlChar** a = atts; a && a[0]; a += 2) {
        if (f->qname == reinterpret_cast<const char*>(a[0])) f->value = a[1] ? reinterpret_cast<const char*>(a[1]) : "";
      }
    } catch (const std::bad_alloc&) {
      f->outOfMemory = true;
      xmlStopParser(ctxt);
    }
  };
  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size()));
  if (!ctxt) throw std::bad_alloc();
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
  *ctxt->sax = sax;
  ctxt->replaceEntities = 1;  // "&amp;" as '&'; a tag parsed alone has no other entity to expand
  ctxt->_private = &found;
  xmlParseDocument(ctxt);
  FreeParser(ctxt);
  if (found.outOfMemory) throw std::bad_alloc();
  return found.value;
}

}  // namespace

XmlSpan XmlSplice::Root(std::string_view xml, const std::string& part) {
  Parse parse(xml, 0);
  const std::string error = parse.Run();
  if (!error.empty()) Fail("部件“" + part + "”" + error);
  return parse.TakeRoot();
}

std::vector<XmlSpan> XmlSplice::Children(std::string_view xml, const XmlSpan& parent) {
  if (parent.children) return *parent.children;
  if (parent.selfClosed || parent.end > xml.size() || parent.begin >= parent.end) return {};
  Parse parse(xml.substr(parent.begin, parent.end - parent.begin), parent.begin);
  const std::string error = parse.Run();
  if (!error.empty()) Fail("元素“" + std::string(parent.name) + "”" + error);
  return *parse.TakeRoot().children;
}

std::string_view XmlSplice::Prefix(std::string_view xml, const XmlSpan& element) {
  const std::string_view tag = StartTag(xml, element);
  const std::string_view qname = tag.substr(1, tag.find_first_of(" \t\r\n/>") - 1);
  const std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view{} : qname.substr(0, colon + 1);
}

std::optional<std::string> XmlSplice::Attribute(std::string_view xml, const XmlSpan& element, std::string_view qname,
                                                std::pair<std::size_t, std::size_t>* range) {
  bool present = false;
  ForEachAttribute(xml, element, [&](const XmlAttribute& a) {
    if (a.qname != qname) return false;
    const std::size_t valueBegin = static_cast<std::size_t>(a.value.data() - xml.data());
    if (range) *range = {valueBegin, valueBegin + a.value.size()};
    present = true;
    return true;
  });
  if (!present) return std::nullopt;
  return ParsedAttribute(StartTag(xml, element), qname);
}

std::vector<XmlAttribute> XmlSplice::Attributes(std::string_view xml, const XmlSpan& element) {
  std::vector<XmlAttribute> all;
  ForEachAttribute(xml, element, [&](const XmlAttribute& a) {
    all.push_back(a);
    return false;
  });
  return all;
}

}  // namespace spreadsheet
