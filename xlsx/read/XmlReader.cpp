#include "xlsx/read/XmlReader.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

std::string_view View(const xmlChar* s) { return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view{}; }

// Bytes handed to libxml2's push parser at a time: the events of one piece are queued before
// the first of them is given out.
constexpr std::size_t kPiece = 64 * 1024;

}  // namespace

const char* const kRelationshipNamespaces[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships", nullptr};

bool IsSpreadsheetNamespace(std::string_view uri) {
  return uri == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         uri == "http://purl.oclc.org/ooxml/spreadsheetml/main";
}

bool IsRelationshipsNamespace(std::string_view uri) {
  return uri == kRelationshipNamespaces[0] || uri == kRelationshipNamespaces[1];
}

// libxml2's SAX2 parser pushed a piece at a time; its callbacks queue events that Read() hands
// out in order. Element and attribute names and namespace URIs are the parser's dictionary
// strings (they live as long as the parser); texts and attribute values are copied into
// `arena` and named by offset, since the parser's own buffers move. The last queued event is
// never handed out before the document's end, so that an element found empty becomes
// self-closed and a text broken across pieces is joined.
struct XmlReader::Impl {
  enum class Kind : std::uint8_t { Start, End, Text, DocumentType, Error };
  struct Event {
    Kind kind;
    bool selfClosed = false;
    int depth = 0;
    const xmlChar* name = nullptr;
    const xmlChar* uri = nullptr;
    std::uint32_t value = 0, valueLength = 0;  // a Text's characters in the arena
    std::uint32_t firstAttribute = 0, attributeCount = 0;
  };
  struct Attribute {
    const xmlChar* name;
    const xmlChar* uri;
    std::uint32_t value, valueLength;
  };

  std::vector<std::string_view> pieces;
  std::size_t piece = 0;        // the piece being pushed
  std::size_t pushed = 0;       // bytes of it pushed
  std::vector<int> depthAfter;  // per piece but the last: see DepthAfterPiece
  xmlParserCtxtPtr parser = nullptr;
  bool finished = false;  // the whole text pushed, or the parser stopped
  int depth = 0;          // of the next element the parser starts
  std::vector<Event> events;
  std::size_t next = 0;  // the first event not yet handed out
  const Event* current = nullptr;  // the last one handed out, until the next Read
  std::vector<Attribute> attributes;
  std::string arena;
  std::string error;
  int errorLine = 0;

  std::uint32_t Keep(const char* text, std::size_t length) {
    const auto at = static_cast<std::uint32_t>(arena.size());
    arena.append(text, length);
    return at;
  }
  std::string_view Text(std::uint32_t at, std::uint32_t length) const { return std::string_view(arena).substr(at, length); }

  // Ends the reading where the parser stands: nothing after it is queued and no further piece
  // is given (after an error the parser may finish the piece it has, handing nothing on).
  void Stop(Kind why) {
    events.push_back(Event{why});
    finished = true;
  }

  static void StartElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar* uri, int,
                           const xmlChar**, int attributeCount, int, const xmlChar** values) {
    auto* impl = static_cast<Impl*>(context);
    if (impl->finished) return;
    Event e{Kind::Start};
    e.depth = impl->depth++;
    e.name = localName;
    e.uri = uri;
    e.firstAttribute = static_cast<std::uint32_t>(impl->attributes.size());
    e.attributeCount = static_cast<std::uint32_t>(attributeCount);
    // Five pointers an attribute: local name, prefix, URI, value, end of value.
    for (int i = 0; i < attributeCount; ++i) {
      const xmlChar* const* a = values + 5 * i;
      const std::string_view value(reinterpret_cast<const char*>(a[3]), static_cast<std::size_t>(a[4] - a[3]));
      const auto at = static_cast<std::uint32_t>(impl->arena.size());
      // Without entity substitution the parser hands an attribute's "&" on as "&#38;" (every
      // other reference it decodes): each one is turned back.
      for (std::size_t from = 0;;) {
        const std::size_t amp = value.find('&', from);
        impl->arena.append(value.substr(from, amp - from));
        if (amp == std::string_view::npos) break;
        impl->arena += '&';
        from = value.compare(amp, 5, "&#38;") == 0 ? amp + 5 : amp + 1;
      }
      impl->attributes.push_back(Attribute{a[0], a[2], at, static_cast<std::uint32_t>(impl->arena.size() - at)});
    }
    impl->events.push_back(e);
  }

  static void EndElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar* uri) {
    auto* impl = static_cast<Impl*>(context);
    if (impl->finished) return;
    --impl->depth;
    // A start still queued with nothing after it: the element is empty, given out without an end.
    if (impl->events.size() > impl->next) {
      Event& last = impl->events.back();
      if (last.kind == Kind::Start && last.depth == impl->depth && !last.selfClosed) {
        last.selfClosed = true;
        return;
      }
    }
    Event e{Kind::End};
    e.depth = impl->depth;
    e.name = localName;
    e.uri = uri;
    impl->events.push_back(e);
  }

  static void Characters(void* context, const xmlChar* text, int length) {
    auto* impl = static_cast<Impl*>(context);
    if (impl->finished || length <= 0) return;
    if (impl->events.size() > impl->next && impl->events.back().kind == Kind::Text) {
      // The arena ends with this text: nothing is kept between two pieces of one text.
      impl->arena.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
      impl->events.back().valueLength += static_cast<std::uint32_t>(length);
      return;
    }
    Event e{Kind::Text};
    e.depth = impl->depth;
    e.value = impl->Keep(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    e.valueLength = static_cast<std::uint32_t>(length);
    impl->events.push_back(e);
  }

  // Called when <!DOCTYPE is met, before its internal subset: the parser stops there, so
  // nothing the subset declares is read, let alone expanded.
  static void DocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* impl = static_cast<Impl*>(context);
    if (impl->finished) return;
    impl->Stop(Kind::DocumentType);
    xmlStopParser(impl->parser);
  }

  static void OnError(void* context, xmlErrorPtr error) {
    auto* impl = static_cast<Impl*>(context);
    if (!error || !impl->error.empty()) return;
    impl->error = error->message ? error->message : "";
    while (!impl->error.empty() && (impl->error.back() == '\n' || impl->error.back() == ' ')) impl->error.pop_back();
    if (impl->error.empty()) impl->error = "?";
    impl->errorLine = error->line;
    if (!impl->finished) impl->Stop(Kind::Error);
  }

  // Drops what was handed out: the events before `next` (the current one included, whose
  // texts are valid only until the next Read), keeping the one event still waiting.
  void Compact() {
    // The arena is given back, not emptied in place: a caller still holding a text of an event
    // handed out before (past what Read promises) then reads freed memory, which the sanitizers
    // report, rather than the next piece's bytes.
    if (next >= events.size()) {
      events.clear();
      attributes.clear();
      std::string().swap(arena);
      next = 0;
      return;
    }
    Event waiting = events[next];
    if (waiting.kind == Kind::Text) {
      // The text ends the arena and may grow over many pieces: moved to a buffer of its own
      // once, then left where it is, so a long text is not copied again with every piece.
      if (waiting.value != 0) arena = std::string(Text(waiting.value, waiting.valueLength));
      waiting.value = 0;
      attributes.clear();
      events.assign(1, waiting);
      next = 0;
      return;
    }
    std::string kept;
    std::vector<Attribute> keptAttributes;
    for (std::uint32_t i = 0; i < waiting.attributeCount; ++i) {
      Attribute a = attributes[waiting.firstAttribute + i];
      const std::string_view value = Text(a.value, a.valueLength);
      a.value = static_cast<std::uint32_t>(kept.size());
      kept.append(value);
      keptAttributes.push_back(a);
    }
    waiting.firstAttribute = 0;
    arena.swap(kept);
    attributes.swap(keptAttributes);
    events.assign(1, waiting);
    next = 0;
  }

  // Parses the next piece of the text (the end of the document after the last).
  void Push() {
    Compact();
    while (pushed == pieces[piece].size() && piece + 1 < pieces.size()) {
      ++piece;
      pushed = 0;
    }
    const std::string_view text = pieces[piece];
    const std::size_t length = std::min(kPiece, text.size() - pushed);
    const bool last = pushed + length == text.size() && piece + 1 == pieces.size();
    const int got = xmlParseChunk(parser, text.data() + pushed, static_cast<int>(length), last ? 1 : 0);
    pushed += length;
    if (!finished && !last && pushed == text.size()) {
      const xmlParserInputPtr input = parser->input;
      const bool whole = input != nullptr && input->cur == input->end;
      depthAfter[piece] = got == 0 && whole ? depth : -1;
    }
    if (finished) return;
    if (got != 0 && error.empty()) {
      // A failure libxml2 did not report through the error handler.
      error = "?";
      errorLine = xmlSAX2GetLineNumber(parser);
      Stop(Kind::Error);
      return;
    }
    if (last) finished = true;
  }

  // The next event to hand out, parsing on until one is known whole; nullptr at the end.
  const Event* Next() {
    while (!finished && events.size() - next < 2) Push();
    return next < events.size() ? &events[next++] : nullptr;
  }
};

XmlReader::XmlReader(std::string_view xml, std::string part)
    : XmlReader(std::vector<std::string_view>{xml}, std::move(part)) {}

XmlReader::XmlReader(std::vector<std::string_view> pieces, std::string part)
    : impl_(new Impl), part_(std::move(part)) {
  std::size_t total = 0;
  for (std::string_view p : pieces) total += p.size();
  if (total > 0x7fffffff) {
    delete impl_;
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "部件“" + part_ + "”超过 2 GB");
  }
  if (pieces.empty()) pieces.emplace_back();
  impl_->depthAfter.assign(pieces.size() - 1, -1);
  impl_->pieces = std::move(pieces);
  const std::string_view xml = impl_->pieces.front();
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = &Impl::StartElement;
  handler.endElementNs = &Impl::EndElement;
  handler.characters = &Impl::Characters;
  handler.ignorableWhitespace = &Impl::Characters;
  handler.cdataBlock = &Impl::Characters;
  handler.internalSubset = &Impl::DocumentType;
  handler.serror = &Impl::OnError;
  // The first bytes tell the parser the text's encoding.
  const int first = static_cast<int>(std::min<std::size_t>(4, xml.size()));
  impl_->parser = xmlCreatePushParserCtxt(&handler, impl_, xml.data(), first, nullptr);
  if (!impl_->parser) {
    delete impl_;
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法读取部件“" + part_ + "”");
  }
  impl_->pushed = static_cast<std::size_t>(first);
  // No XML_PARSE_NOENT (entity substitution) and no XML_PARSE_DTDLOAD: nothing but the
  // predefined entities is ever expanded; NONET keeps the parser off the network.
  xmlCtxtUseOptions(impl_->parser, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
}

XmlReader::~XmlReader() {
  // A document the parser made for a document type's declarations is the caller's to free.
  if (impl_->parser->myDoc != nullptr) xmlFreeDoc(impl_->parser->myDoc);
  xmlFreeParserCtxt(impl_->parser);
  delete impl_;
}

void XmlReader::Fail(const std::string& what) const {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "部件“" + part_ + "”" + what);
}

void XmlReader::Malformed() const {
  // libxml2's own message is English; the line is what helps a user.
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                         "不是有效的 Excel 工作簿：部件“" + part_ + "”不是格式正确的 XML（第 " +
                             std::to_string(impl_->errorLine) + " 行）");
}

bool XmlReader::Read() {
  const Impl::Event* e = impl_->Next();
  impl_->current = e;
  if (e == nullptr) {
    // Past the end: a document whose end never came (an unclosed element) was reported by
    // the parser when it was given the last piece.
    if (!impl_->error.empty()) Malformed();
    return false;
  }
  switch (e->kind) {
    case Impl::Kind::Start: kind_ = Node::Start; return true;
    case Impl::Kind::End: kind_ = Node::End; return true;
    case Impl::Kind::Text: kind_ = Node::Text; return true;
    case Impl::Kind::DocumentType: Fail("含有文档类型声明（DTD），工作簿文件中不允许");
    case Impl::Kind::Error: Malformed();
  }
  return false;
}

int XmlReader::DepthAfterPiece(std::size_t i) const {
  return i < impl_->depthAfter.size() ? impl_->depthAfter[i] : -1;
}

std::string_view XmlReader::Name() const {
  const auto* e = impl_->current;
  return e ? View(e->name) : std::string_view{};
}

std::string_view XmlReader::Namespace() const {
  const auto* e = impl_->current;
  return e ? View(e->uri) : std::string_view{};
}

int XmlReader::Depth() const {
  const auto* e = impl_->current;
  return e ? e->depth : 0;
}

bool XmlReader::SelfClosed() const {
  const auto* e = impl_->current;
  return e && e->selfClosed;
}

std::string_view XmlReader::Value() const {
  const auto* e = impl_->current;
  return e && e->kind == Impl::Kind::Text ? impl_->Text(e->value, e->valueLength) : std::string_view{};
}

std::optional<std::string_view> XmlReader::Attribute(std::string_view name) const {
  static const char* const kNone[] = {nullptr};
  return Attribute(name, kNone);
}

std::optional<std::string_view> XmlReader::Attribute(std::string_view name, const char* const* namespaces) const {
  const auto* e = impl_->current;
  if (!e || e->kind != Impl::Kind::Start) return std::nullopt;
  for (std::uint32_t i = 0; i < e->attributeCount; ++i) {
    const Impl::Attribute& a = impl_->attributes[e->firstAttribute + i];
    if (View(a.name) != name) continue;
    const std::string_view ns = View(a.uri);
    bool wanted = ns.empty();
    for (const char* const* n = namespaces; !wanted && *n; ++n) wanted = ns == *n;
    if (wanted) return impl_->Text(a.value, a.valueLength);
  }
  return std::nullopt;
}

int XmlReader::Attributes(Attr* out, int max) const {
  const auto* e = impl_->current;
  if (!e || e->kind != Impl::Kind::Start) return 0;
  int n = 0;
  for (std::uint32_t i = 0; i < e->attributeCount && n < max; ++i) {
    const Impl::Attribute& a = impl_->attributes[e->firstAttribute + i];
    if (a.uri != nullptr) continue;
    out[n++] = Attr{View(a.name), impl_->Text(a.value, a.valueLength)};
  }
  return n;
}

std::string XmlReader::ElementText(std::string_view skip) {
  std::string text;
  if (kind_ != Node::Start || SelfClosed()) return text;
  const int depth = Depth();
  while (Read()) {
    if (kind_ == Node::End && Depth() == depth) break;
    if (kind_ == Node::Text) {
      text.append(Value());
    } else if (kind_ == Node::Start && !skip.empty() && Name() == skip) {
      Skip();
    }
  }
  return text;
}

void XmlReader::Skip() {
  if (kind_ != Node::Start || SelfClosed()) return;
  const int depth = Depth();
  while (Read()) {
    if (kind_ == Node::End && Depth() == depth) return;
  }
}

}  // namespace spreadsheet
