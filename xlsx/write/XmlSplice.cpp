#include "xlsx/write/XmlSplice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/Utf8.h"

namespace spreadsheet {

namespace {

enum class Tag { Start, End, Empty, Other, None };

struct Token {
  Tag kind = Tag::None;
  std::string_view qname;
  std::size_t begin = 0, end = 0;
};

std::size_t Skip(std::string_view xml, std::size_t from, std::string_view until) {
  const std::size_t at = xml.find(until, from);
  return at == std::string_view::npos ? xml.size() : at + until.size();
}

// The next markup at or after pos.
Token Next(std::string_view xml, std::size_t pos) {
  Token t;
  const std::size_t lt = xml.find('<', pos);
  if (lt == std::string_view::npos) return t;
  t.begin = lt;
  const std::string_view rest = xml.substr(lt);
  if (rest.substr(0, 4) == "<!--") {
    t.kind = Tag::Other;
    t.end = Skip(xml, lt + 4, "-->");
  } else if (rest.substr(0, 9) == "<![CDATA[") {
    t.kind = Tag::Other;
    t.end = Skip(xml, lt + 9, "]]>");
  } else if (rest.substr(0, 2) == "<?") {
    t.kind = Tag::Other;
    t.end = Skip(xml, lt + 2, "?>");
  } else if (rest.substr(0, 2) == "<!") {
    // A document type: its internal subset in brackets may hold '>'.
    t.kind = Tag::Other;
    std::size_t i = lt + 2;
    int brackets = 0;
    char quote = 0;
    for (; i < xml.size(); ++i) {
      const char c = xml[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        --brackets;
      } else if (c == '>' && brackets <= 0) {
        break;
      }
    }
    t.end = std::min(i + 1, xml.size());
  } else {
    const bool closing = rest.size() > 1 && rest[1] == '/';
    std::size_t i = lt + (closing ? 2 : 1);
    const std::size_t nameBegin = i;
    while (i < xml.size() && xml[i] != '>' && xml[i] != '/' && xml[i] != ' ' && xml[i] != '\t' && xml[i] != '\r' &&
           xml[i] != '\n') {
      ++i;
    }
    t.qname = xml.substr(nameBegin, i - nameBegin);
    char quote = 0;
    for (; i < xml.size(); ++i) {
      const char c = xml[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    t.end = std::min(i + 1, xml.size());
    t.kind = closing ? Tag::End : (i > 0 && xml[i - 1] == '/' ? Tag::Empty : Tag::Start);
  }
  return t;
}

std::string_view Local(std::string_view qname) {
  const std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// The first '<' at or after `from` that may start or end an element whose name begins with
// `first`, or start a comment, CDATA or processing instruction; `size` when there is none.
std::size_t NextCandidate(const char* data, std::size_t from, std::size_t size, char first) {
#if defined(__SSE2__)
  // Sixteen places at a time: '<' and the one or two bytes after it.
  const __m128i lt = _mm_set1_epi8('<'), initial = _mm_set1_epi8(first), slash = _mm_set1_epi8('/');
  const __m128i bang = _mm_set1_epi8('!'), question = _mm_set1_epi8('?');
  for (; from + 18 <= size; from += 16) {
    const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from + 1));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from + 2));
    const __m128i named = _mm_or_si128(_mm_cmpeq_epi8(next, initial),
                                       _mm_and_si128(_mm_cmpeq_epi8(next, slash), _mm_cmpeq_epi8(after, initial)));
    const __m128i other = _mm_or_si128(_mm_cmpeq_epi8(next, bang), _mm_cmpeq_epi8(next, question));
    const int found = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(at, lt), _mm_or_si128(named, other)));
    if (found != 0) return from + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
#endif
  for (; from + 1 < size; ++from) {
    if (data[from] != '<') continue;
    const char next = data[from + 1];
    if (next == first || next == '!' || next == '?' || (next == '/' && from + 2 < size && data[from + 2] == first)) {
      return from;
    }
  }
  return size;
}

// Whether the name at `at` is `qname`, ended as a tag name ends.
bool NameAt(std::string_view xml, std::size_t at, std::string_view qname) {
  if (at > xml.size() || xml.size() - at <= qname.size() || xml.compare(at, qname.size(), qname) != 0) return false;
  const char c = xml[at + qname.size()];
  return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The element whose start token is `start`, with its extent. Only tags of its own name can nest
// it or end it, and no '<' stands in text or in an attribute value, so any other tag is passed
// at its '<'; comments, CDATA and processing instructions are stepped over whole.
XmlSpan Element(std::string_view xml, const Token& start) {
  XmlSpan s;
  s.name = Local(start.qname);
  s.begin = start.begin;
  if (start.kind == Tag::Empty) {
    s.selfClosed = true;
    s.end = s.contentBegin = s.contentEnd = start.end;
    return s;
  }
  s.contentBegin = start.end;
  const char* data = xml.data();
  const std::size_t size = xml.size();
  const char first = start.qname.empty() ? '\0' : start.qname.front();
  int depth = 0;
  for (std::size_t i = NextCandidate(data, start.end, size, first); i < size; i = NextCandidate(data, i + 1, size, first)) {
    const char next = data[i + 1];
    if (next == '!' || next == '?') {
      i = Next(xml, i).end - 1;
      continue;
    }
    const bool closing = next == '/';
    const std::size_t name = i + (closing ? 2 : 1);
    if (!NameAt(xml, name, start.qname)) continue;
    const Token t = Next(xml, i);
    if (closing && depth == 0) {
      s.contentEnd = t.begin;
      s.end = t.end;
      return s;
    }
    if (closing) --depth;
    else if (t.kind == Tag::Start) ++depth;
    i = t.end - 1;
  }
  s.contentEnd = s.end = size;
  return s;
}

// Calls f(attribute) for each attribute of the element's start tag until f returns true.
template <typename F>
void ForEachAttribute(std::string_view xml, const XmlSpan& element, F f) {
  const Token t = Next(xml, element.begin);
  std::size_t i = t.begin + 1 + t.qname.size();
  const std::size_t stop = t.end;
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < stop) {
    while (i < stop && space(xml[i])) ++i;
    const std::size_t nameBegin = i;
    while (i < stop && xml[i] != '=' && !space(xml[i]) && xml[i] != '>' && xml[i] != '/') ++i;
    const std::string_view name = xml.substr(nameBegin, i - nameBegin);
    while (i < stop && space(xml[i])) ++i;
    if (i >= stop || xml[i] != '=') {
      ++i;
      continue;
    }
    ++i;
    while (i < stop && space(xml[i])) ++i;
    if (i >= stop || (xml[i] != '"' && xml[i] != '\'')) break;
    const char quote = xml[i++];
    const std::size_t valueBegin = i;
    while (i < stop && xml[i] != quote) ++i;
    const std::string_view raw = xml.substr(valueBegin, i - valueBegin);
    ++i;
    if (f(XmlAttribute{name, raw, nameBegin, std::min(i, stop)})) return;
  }
}

}  // namespace

XmlSpan XmlSplice::Root(std::string_view xml, const std::string& part) {
  std::size_t pos = 0;
  for (;;) {
    const Token t = Next(xml, pos);
    if (t.kind == Tag::None) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "部件“" + part + "”中没有根元素");
    }
    if (t.kind == Tag::Start) {
      // The last end tag of a document is its root's: when only white space follows it, the
      // root ends there without a walk through all of its content.
      const std::size_t last = xml.find_last_not_of(" \t\r\n");
      const std::size_t lt = last == std::string_view::npos ? last : xml.rfind('<', last);
      if (lt != std::string_view::npos && lt >= t.end && xml[last] == '>' && xml.compare(lt, 2, "</") == 0 &&
          NameAt(xml, lt + 2, t.qname) &&
          xml.find_first_not_of(" \t\r\n", lt + 2 + t.qname.size()) == last) {
        XmlSpan s;
        s.name = Local(t.qname);
        s.begin = t.begin;
        s.contentBegin = t.end;
        s.contentEnd = lt;
        s.end = last + 1;
        return s;
      }
    }
    if (t.kind == Tag::Start || t.kind == Tag::Empty) return Element(xml, t);
    pos = t.end;
  }
}

std::vector<XmlSpan> XmlSplice::Children(std::string_view xml, const XmlSpan& parent) {
  std::vector<XmlSpan> children;
  if (parent.selfClosed) return children;
  std::size_t pos = parent.contentBegin;
  while (pos < parent.contentEnd) {
    const Token t = Next(xml, pos);
    if (t.kind == Tag::None || t.begin >= parent.contentEnd) break;
    if (t.kind == Tag::Start || t.kind == Tag::Empty) {
      children.push_back(Element(xml, t));
      pos = children.back().end;
    } else {
      pos = t.end;
    }
  }
  return children;
}

std::string_view XmlSplice::Prefix(std::string_view xml, const XmlSpan& element) {
  const Token t = Next(xml, element.begin);
  const std::size_t colon = t.qname.find(':');
  return colon == std::string_view::npos ? std::string_view{} : t.qname.substr(0, colon + 1);
}

std::optional<std::string> XmlSplice::Attribute(std::string_view xml, const XmlSpan& element, std::string_view qname,
                                                std::pair<std::size_t, std::size_t>* range) {
  std::optional<std::string> found;
  ForEachAttribute(xml, element, [&](const XmlAttribute& a) {
    if (a.qname != qname) return false;
    const std::string_view raw = a.value;
    const std::size_t valueBegin = static_cast<std::size_t>(raw.data() - xml.data());
    if (range) *range = {valueBegin, valueBegin + raw.size()};
    std::string value;
    for (std::size_t k = 0; k < raw.size(); ++k) {
      if (raw[k] != '&') {
        value += raw[k];
        continue;
      }
      const std::size_t semi = raw.find(';', k);
      const std::string_view e = raw.substr(k + 1, semi - k - 1);
      if (e == "amp") value += '&';
      else if (e == "lt") value += '<';
      else if (e == "gt") value += '>';
      else if (e == "quot") value += '"';
      else if (e == "apos") value += '\'';
      else if (!e.empty() && e[0] == '#') {
        const bool hex = e.size() > 1 && (e[1] == 'x' || e[1] == 'X');
        unsigned long cp = std::strtoul(std::string(e.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
        Utf8::Append(value, static_cast<char32_t>(std::min<unsigned long>(cp, 0x110000)));
      }
      k = semi == std::string_view::npos ? raw.size() : semi;
    }
    found = std::move(value);
    return true;
  });
  return found;
}

std::vector<XmlAttribute> XmlSplice::Attributes(std::string_view xml, const XmlSpan& element) {
  std::vector<XmlAttribute> all;
  ForEachAttribute(xml, element, [&](const XmlAttribute& a) {
    all.push_back(a);
    return false;
  });
  return all;
}

void XmlEdits::Replace(std::size_t begin, std::size_t end, std::string text, int rank) {
  edits_.push_back(Edit{begin, end, std::move(text), nullptr, rank});
}

void XmlEdits::Replace(std::size_t begin, std::size_t end, Producer produce, int rank) {
  edits_.push_back(Edit{begin, end, {}, std::move(produce), rank});
}

std::string XmlEdits::Apply(std::string_view xml) const {
  std::string out;
  out.reserve(xml.size());
  Apply(xml, [&](std::string_view piece) { out.append(piece); });
  return out;
}

void XmlEdits::Apply(std::string_view xml, const XmlOutput& out) const {
  std::vector<const Edit*> order;
  for (const Edit& e : edits_) order.push_back(&e);
  // Insertions before a replacement starting at the same position, by rank among themselves;
  // stable, so insertions of one rank keep the order they were made in.
  std::stable_sort(order.begin(), order.end(), [](const Edit* a, const Edit* b) {
    if (a->begin != b->begin) return a->begin < b->begin;
    const bool aInserts = a->end == a->begin, bInserts = b->end == b->begin;
    if (aInserts != bInserts) return aInserts;
    return aInserts && a->rank < b->rank;
  });
  std::size_t pos = 0;
  for (const Edit* e : order) {
    if (e->begin < pos) continue;  // overlapping: the first edit wins
    if (e->begin > pos) out(xml.substr(pos, e->begin - pos));
    if (e->produce) e->produce(out);
    else if (!e->text.empty()) out(e->text);
    pos = e->end;
  }
  if (pos < xml.size()) out(xml.substr(pos));
}

}  // namespace spreadsheet
