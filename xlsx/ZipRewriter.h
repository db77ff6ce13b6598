#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace spreadsheet {

// Copies a zip archive entry by entry: the entries `wants` picks are inflated, passed through
// `edit` and deflated again; all others are copied as stored, without recompressing.
class ZipRewriter {
 public:
  using Picker = std::function<bool(std::string_view name)>;
  using Editor = std::function<std::string(std::string_view name, std::string content)>;

  // False when either archive cannot be read or written (errno may tell why).
  static bool Rewrite(const std::string& from, const std::string& to, const Picker& wants, const Editor& edit);
};

}  // namespace spreadsheet
