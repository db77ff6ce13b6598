#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace spreadsheet {

enum class BorderStyle : std::uint8_t { None, Thin, Medium, Thick, Dashed, Dotted, Double, Hair };
enum class HorizontalAlignment : std::uint8_t { General, Left, Center, Right };
enum class VerticalAlignment : std::uint8_t { Bottom, Center, Top };

struct Border {
  BorderStyle style = BorderStyle::None;
  std::uint32_t color = 0x000000;  // 0xRRGGBB
  auto operator<=>(const Border&) const = default;
};

// How a cell looks. Colours here are 0xRRGGBB as workbook files store them.
// An empty font name and a size of 0 mean the workbook's default font.
struct CellStyle {
  std::string numberFormat = "General";
  std::string fontName;
  double fontSize = 0;  // points
  bool bold = false;
  bool italic = false;
  std::optional<std::uint32_t> fontColor;
  HorizontalAlignment horizontal = HorizontalAlignment::General;
  VerticalAlignment vertical = VerticalAlignment::Bottom;
  bool wrapText = false;
  Border left, right, top, bottom;
  std::optional<std::uint32_t> fill;  // solid fill colour

  auto operator<=>(const CellStyle&) const = default;
};

struct CellStyleHash {
  std::size_t operator()(const CellStyle& s) const noexcept;
};

}  // namespace spreadsheet
