#include "xlsx/read/SheetDataScanner.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace spreadsheet {

void SheetCellParts::AddFormula(std::optional<std::string_view> type, std::optional<std::string_view> si,
                                std::string text) {
  const std::string_view kind = type.value_or("normal");
  hasFormula = kind != "dataTable";
  if (!hasFormula) return;
  if (kind == "shared" && si && !si->empty()) {
    sharedIndex = std::string(*si);
    if (text.empty()) sharedChild = true;
  }
  formula = std::move(text);
}

namespace {

// Deeper nesting is refused by the general parser too, and so are very long texts and names;
// the scanner gives up well before those limits.
constexpr int kMaxDepth = 200;
constexpr std::ptrdiff_t kMaxRun = 1 << 20;
constexpr std::ptrdiff_t kMaxName = 1000;
constexpr int kMaxAttributes = 32;
// The attributes a row or cell is read from, as the general reader takes them.
constexpr int kReadAttributes = 16;

// Character classes of a byte, for the scanner's inner loops.
enum : std::uint8_t { kNameStart = 1, kNameChar = 2, kText = 4, kAttribute = 8, kSpace = 16 };

constexpr std::array<std::uint8_t, 256> Classes() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0x20; c < 0x80; ++c) {
    if (c != '<' && c != '&' && c != ']') t[c] |= kText;  // ']' may begin "]]>"
    if (c != '<' && c != '&' && c != '"' && c != '\'') t[c] |= kAttribute;
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (letter) t[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') t[c] |= kNameChar;
  }
  t['\t'] |= kText | kSpace;
  t['\n'] |= kText | kSpace;
  t[' '] |= kSpace;
  return t;
}
constexpr std::array<std::uint8_t, 256> kClass = Classes();

bool Is(char c, std::uint8_t what) { return (kClass[static_cast<unsigned char>(c)] & what) != 0; }

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The value of a decimal (or, with `hex`, hexadecimal) digit; −1 for another character.
int Digit(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool XmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// A multi-byte UTF-8 sequence at p that encodes an XML character: its length, else 0.
int Utf8Length(const char* p, const char* end) {
  const auto b = [&](int i) { return static_cast<unsigned char>(p[i]); };
  const auto cont = [&](int i) { return p + i < end && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;                   // overlong
    if (c == 0xED && b(1) > 0x9F) return 0;                   // surrogates
    if (c == 0xEF && b(1) == 0xBF && b(2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
    if (c == 0xF4 && b(1) > 0x8F) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

class Scanner {
 public:
  Scanner(std::string_view content, const std::function<bool(std::string_view)>& bound,
          SheetDataScanner::Sink& sink)
      : p_(content.data()), end_(content.data() + content.size()), bound_(bound), sink_(sink) {
    tags_.reserve(kMaxDepth + 1);
  }

  bool Run() { return Content({}, Role::Data, nullptr, 0); }

 private:
  // What an element's content means: the rows of sheetData, the cells of a row, the parts of a
  // cell, the runs of an inline string, text to collect (v, f, t), or nothing (passed over).
  enum class Role { Data, Row, Cell, Inline, Collect, Skip };

  struct Attr {
    std::string_view name, local;
    const char* begin;  // the value between its quotes
    const char* end;
    bool plain;  // no reference, tab or line feed: the value is the bytes themselves
  };
  struct Tag {
    std::string_view name, local;
    bool empty = false;
    int count = 0;
    Attr attrs[kMaxAttributes];
  };

  bool Bound(std::string_view prefix) {
    if (prefix == "xml") return true;
    if (prefix == "xmlns") return false;
    for (const auto& [known, isBound] : prefixes_) {
      if (known == prefix) return isBound;
    }
    const bool isBound = bound_(prefix);
    prefixes_.emplace_back(prefix, isBound);
    return isBound;
  }

  // A qualified name at p_; its local part. False for anything but ASCII [prefix:]local, and
  // for a prefix not bound.
  bool Name(std::string_view& name, std::string_view& local) {
    const char* start = p_;
    if (p_ == end_ || !Is(*p_, kNameStart)) return false;
    ++p_;
    while (p_ < end_ && Is(*p_, kNameChar)) ++p_;
    name = std::string_view(start, static_cast<std::size_t>(p_ - start));
    local = name;
    if (p_ < end_ && *p_ == ':') {
      const char* colon = p_++;
      if (p_ == end_ || !Is(*p_, kNameStart)) return false;
      ++p_;
      while (p_ < end_ && Is(*p_, kNameChar)) ++p_;
      name = std::string_view(start, static_cast<std::size_t>(p_ - start));
      local = std::string_view(colon + 1, static_cast<std::size_t>(p_ - colon - 1));
      if (!Bound(std::string_view(start, static_cast<std::size_t>(colon - start)))) return false;
    }
    return p_ - start <= kMaxName;
  }

  // A reference after '&' at p_: its character appended to `out` (when given). False for any
  // entity but the five predefined and for a reference to no XML character.
  bool Reference(std::string* out) {
    ++p_;
    std::uint32_t code = 0;
    if (p_ < end_ && *p_ == '#') {
      ++p_;
      const bool hex = p_ < end_ && *p_ == 'x';
      if (hex) ++p_;
      int digits = 0;
      for (; p_ < end_ && *p_ != ';'; ++p_, ++digits) {
        const int d = Digit(*p_, hex);
        if (d < 0) return false;
        if (digits >= 8) return false;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
      }
      if (p_ == end_ || digits == 0 || !XmlChar(code)) return false;
    } else {
      const char* start = p_;
      while (p_ < end_ && *p_ != ';' && p_ - start < 5) ++p_;
      if (p_ == end_ || *p_ != ';') return false;
      const std::string_view name(start, static_cast<std::size_t>(p_ - start));
      static constexpr std::pair<std::string_view, char> kEntities[] = {
          {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
      bool known = false;
      for (const auto& [entity, character] : kEntities) {
        if (entity == name) {
          code = static_cast<unsigned char>(character);
          known = true;
        }
      }
      if (!known) return false;
    }
    ++p_;  // ';'
    if (out) AppendUtf8(*out, code);
    return true;
  }

  // Characters up to `stop` (one of '<', '"', '\''): valid UTF-8 XML characters, references
  // resolved into `out` (when given). No carriage return (line ends would need normalising),
  // no "]]>" in text, no '<' in an attribute value. `plain` tells whether anything but the
  // bytes themselves was met (a reference, or a tab or line feed in an attribute value).
  bool Characters(char stop, std::string* out, bool attribute, bool& plain) {
    plain = true;
    const std::uint8_t fast = attribute ? kAttribute : kText;
    const char* const begin = p_;
    const char* run = p_;
    auto flush = [&] {
      if (out) out->append(run, static_cast<std::size_t>(p_ - run));
    };
    for (;;) {
      while (p_ < end_ && Is(*p_, fast)) ++p_;
      if (p_ == end_) break;
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c == static_cast<unsigned char>(stop)) break;
      if (c == '&') {
        flush();
        plain = false;
        if (!Reference(out)) return false;
        run = p_;
      } else if (c >= 0x80) {
        const int n = Utf8Length(p_, end_);
        if (n == 0) return false;
        p_ += n;
      } else if (c == '"' || c == '\'') {
        ++p_;  // the other quote
      } else if (c == ']') {
        if (end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>') return false;
        ++p_;
      } else if (attribute && (c == '\t' || c == '\n')) {
        flush();
        plain = false;
        if (out) *out += ' ';
        run = ++p_;
      } else {
        return false;  // '<' in an attribute value, control characters, carriage return
      }
    }
    flush();
    return p_ < end_ && p_ - begin <= kMaxRun;
  }

  void SkipSpace() {
    while (p_ < end_ && Is(*p_, kSpace)) ++p_;
  }

  // A start tag after its '<'.
  bool StartTag(Tag& tag) {
    if (!Name(tag.name, tag.local)) return false;
    tag.count = 0;
    for (;;) {
      const char* before = p_;
      SkipSpace();
      if (p_ == end_) return false;
      if (*p_ == '>') {
        ++p_;
        tag.empty = false;
        return true;
      }
      if (*p_ == '/') {
        if (end_ - p_ < 2 || p_[1] != '>') return false;
        p_ += 2;
        tag.empty = true;
        return true;
      }
      if (p_ == before || tag.count == kMaxAttributes) return false;  // attributes apart by space
      Attr& a = tag.attrs[tag.count];
      if (!Name(a.name, a.local)) return false;
      if (a.name == "xmlns") return false;  // a declaration (prefixed ones fail as unbound)
      for (int i = 0; i < tag.count; ++i) {
        if (tag.attrs[i].local == a.local) return false;  // perhaps the same attribute twice
      }
      SkipSpace();
      if (p_ == end_ || *p_ != '=') return false;
      ++p_;
      SkipSpace();
      if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
      const char quote = *p_++;
      a.begin = p_;
      if (!Characters(quote, nullptr, true, a.plain)) return false;
      a.end = p_++;
      ++tag.count;
    }
  }

  // The value of an attribute, normalised as XML does; `store` keeps it when it is not plain.
  std::string_view Value(const Attr& a, std::string& store) {
    if (a.plain) return std::string_view(a.begin, static_cast<std::size_t>(a.end - a.begin));
    store.clear();
    const char* saved = p_;
    p_ = a.begin;
    bool plain = true;
    Characters(*a.end, &store, true, plain);
    p_ = saved;
    return store;
  }

  // Attribute `local` without a namespace among the first `limit` of those (−1: any).
  static const Attr* Find(const Tag& tag, std::string_view local, int limit) {
    int seen = 0;
    for (int i = 0; i < tag.count; ++i) {
      const Attr& a = tag.attrs[i];
      if (a.name.size() != a.local.size()) continue;  // prefixed: in a namespace
      if (limit >= 0 && seen++ >= limit) break;
      if (a.local == local) return &a;
    }
    return nullptr;
  }

  std::optional<std::string_view> Get(const Tag& tag, std::string_view local, int limit, std::string& store) {
    const Attr* a = Find(tag, local, limit);
    if (!a) return std::nullopt;
    return Value(*a, store);
  }

  // The content of an element (or, at depth 0, of sheetData) through its end tag.
  bool Content(std::string_view name, Role role, std::string* text, int depth) {
    if (depth > kMaxDepth) return false;
    for (;;) {
      bool plain = true;
      if (!Characters('<', role == Role::Collect ? text : nullptr, false, plain)) {
        return depth == 0 && p_ == end_;  // sheetData's content ends with the bytes
      }
      ++p_;  // '<'
      if (p_ == end_) return false;
      if (*p_ == '/') {
        ++p_;
        // The end tag must repeat the start tag's name, and nothing may follow the name but space.
        if (depth == 0 || static_cast<std::size_t>(end_ - p_) <= name.size() ||
            std::memcmp(p_, name.data(), name.size()) != 0) {
          return false;
        }
        p_ += name.size();
        SkipSpace();
        if (p_ == end_ || *p_ != '>') return false;
        ++p_;
        return true;
      }
      if (*p_ == '!') {
        if (!Markup(role == Role::Collect ? text : nullptr)) return false;
        continue;
      }
      // One tag per depth, made once: a tag is large, and elements are many. Reserved, so the
      // outer ones stay in place.
      if (tags_.size() <= static_cast<std::size_t>(depth)) tags_.emplace_back();
      Tag& tag = tags_[static_cast<std::size_t>(depth)];
      if (!StartTag(tag) || !Child(tag, role, text, depth)) return false;
    }
  }

  // Steps over the character at p_ (first byte `c`) inside a comment or CDATA section: valid
  // UTF-8, or ASCII other than control characters and the carriage return.
  bool MarkupCharacter(unsigned char c) {
    if (c >= 0x80) {
      const int n = Utf8Length(p_, end_);
      if (n == 0) return false;
      p_ += n;
      return true;
    }
    if (c < 0x20 && c != '\t' && c != '\n') return false;
    ++p_;
    return true;
  }

  // A comment or a CDATA section after "<!"; CDATA text goes to `text` when given.
  bool Markup(std::string* text) {
    const auto starts = [&](const char* s) {
      const std::size_t n = std::strlen(s);
      return static_cast<std::size_t>(end_ - p_) >= n && std::memcmp(p_, s, n) == 0;
    };
    const char* const start = p_;
    if (starts("!--")) {
      p_ += 3;
      for (;;) {
        if (p_ == end_ || p_ - start > kMaxRun) return false;
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (c == '-' && end_ - p_ >= 2 && p_[1] == '-') {
          if (end_ - p_ < 3 || p_[2] != '>') return false;  // "--" only ends a comment
          p_ += 3;
          return true;
        }
        if (!MarkupCharacter(c)) return false;
      }
    }
    if (starts("![CDATA[")) {
      p_ += 8;
      const char* const textStart = p_;
      for (;;) {
        if (p_ == end_ || p_ - start > kMaxRun) return false;
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (c == ']' && end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>') break;
        if (!MarkupCharacter(c)) return false;
      }
      if (text) text->append(textStart, static_cast<std::size_t>(p_ - textStart));
      p_ += 3;
      return true;
    }
    return false;  // a document type declaration or anything else
  }

  // A child element whose start tag was just read, with all its content.
  bool Child(const Tag& tag, Role role, std::string* text, int depth) {
    switch (role) {
      case Role::Data:
        if (tag.local == "row") {
          SheetRowParts row;
          row.r = Get(tag, "r", kReadAttributes, rowStore_[0]);
          row.ht = Get(tag, "ht", kReadAttributes, rowStore_[1]);
          sink_.Row(row);
          return tag.empty || Content(tag.name, Role::Row, nullptr, depth + 1);
        }
        break;
      case Role::Row:
        if (tag.local == "c") return CellElement(tag, depth);
        break;
      case Role::Cell:
        return Part(tag, depth);
      case Role::Inline:
        if (tag.local == "t") return tag.empty || Content(tag.name, Role::Collect, text, depth + 1);
        if (tag.local == "rPh") break;
        return tag.empty || Content(tag.name, Role::Inline, text, depth + 1);
      case Role::Collect:
        return tag.empty || Content(tag.name, Role::Collect, text, depth + 1);
      case Role::Skip:
        break;
    }
    return tag.empty || Content(tag.name, Role::Skip, nullptr, depth + 1);
  }

  bool CellElement(const Tag& tag, int depth) {
    SheetCellParts& cell = cell_;
    cell.r = Get(tag, "r", kReadAttributes, cellStore_[0]);
    cell.t = Get(tag, "t", kReadAttributes, cellStore_[1]);
    cell.s = Get(tag, "s", kReadAttributes, cellStore_[2]);
    cell.v.reset();
    cell.inlineText.reset();
    cell.formula.clear();
    cell.sharedIndex.clear();
    cell.hasFormula = cell.sharedChild = false;
    if (!tag.empty && !Content(tag.name, Role::Cell, nullptr, depth + 1)) return false;
    sink_.Cell(cell);
    return true;
  }

  // A child of <c>: <v>, <is> or <f>; anything else is passed over.
  bool Part(const Tag& tag, int depth) {
    if (tag.local == "v") {
      cell_.v.emplace();
      return tag.empty || Content(tag.name, Role::Collect, &*cell_.v, depth + 1);
    }
    if (tag.local == "is") {
      cell_.inlineText.emplace();
      return tag.empty || Content(tag.name, Role::Inline, &*cell_.inlineText, depth + 1);
    }
    if (tag.local == "f") {
      const auto type = Get(tag, "t", -1, formulaStore_[0]);
      const auto si = Get(tag, "si", -1, formulaStore_[1]);
      std::string formula;
      if (!tag.empty && !Content(tag.name, Role::Collect, &formula, depth + 1)) return false;
      cell_.AddFormula(type, si, std::move(formula));
      return true;
    }
    return tag.empty || Content(tag.name, Role::Skip, nullptr, depth + 1);
  }

  const char* p_;
  const char* end_;
  const std::function<bool(std::string_view)>& bound_;
  SheetDataScanner::Sink& sink_;
  std::vector<std::pair<std::string_view, bool>> prefixes_;
  std::vector<Tag> tags_;  // by depth
  SheetCellParts cell_;
  std::string rowStore_[2], cellStore_[3], formulaStore_[2];
};

}  // namespace

bool SheetDataScanner::Scan(std::string_view content, const std::function<bool(std::string_view)>& bound,
                            Sink& sink) {
  return Scanner(content, bound, sink).Run();
}

}  // namespace spreadsheet
