#include "calc/Formula.h"

#include "calc/FormulaParser.h"

namespace spreadsheet::calc {

Formula Formula::Parse(std::string_view text) { return FormulaParser::Parse(text, nullptr); }

Formula Formula::Parse(std::string_view text, const NameLookup& names) {
  return FormulaParser::Parse(text, &names);
}

std::vector<Reference> Formula::References() const {
  std::vector<Reference> out;
  for (const Step& s : steps_) {
    if (s.kind == Step::Kind::Ref) out.push_back(references_[s.index]);
  }
  return out;
}

std::vector<std::string> Formula::UnknownNames() const {
  std::vector<std::string> out;
  for (const Step& s : steps_) {
    if (s.kind != Step::Kind::Name && s.kind != Step::Kind::UnknownFunction) continue;
    const std::string& name = strings_[s.index];
    bool seen = false;
    for (const auto& n : out) seen = seen || n == name;
    if (!seen) out.push_back(name);
  }
  return out;
}

bool Formula::HasUnknownNames() const { return !UnknownNames().empty(); }

}  // namespace spreadsheet::calc
