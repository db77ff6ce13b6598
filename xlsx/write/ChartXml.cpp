#include "xlsx/write/ChartXml.h"

#include <cstdio>

#include "xlsx/write/SheetXml.h"

namespace spreadsheet {

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Escaped(const std::string& text) {
  std::string out;
  SheetXml::AppendEscaped(out, text);
  return out;
}

std::string Rgb(std::uint32_t color) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06X", color & 0xffffffu);
  return buf;
}

std::string Rich(const std::string& text, int size) {
  return "<c:tx><c:rich><a:bodyPr/><a:p><a:pPr><a:defRPr sz=\"" + std::to_string(size) +
         "\" b=\"0\"/></a:pPr><a:r><a:rPr lang=\"zh-CN\" sz=\"" + std::to_string(size) + "\" b=\"0\"/><a:t>" +
         Escaped(text) + "</a:t></a:r></a:p></c:rich></c:tx>";
}

std::string Title(const std::string& text, int size) {
  return "<c:title>" + Rich(text, size) + "<c:overlay val=\"0\"/></c:title>";
}

std::string Series(const ChartSeries& s, std::size_t index) {
  const std::string color = "<a:solidFill><a:srgbClr val=\"" + Rgb(s.color) + "\"/></a:solidFill>";
  std::string line = s.line ? "<a:ln w=\"19050\">" + color + (s.dashed ? "<a:prstDash val=\"dash\"/>" : "") + "</a:ln>"
                            : "<a:ln><a:noFill/></a:ln>";
  std::string marker = s.marker ? "<c:marker><c:symbol val=\"square\"/><c:size val=\"5\"/><c:spPr>" + color +
                                      "<a:ln>" + color + "</a:ln></c:spPr></c:marker>"
                                : "<c:marker><c:symbol val=\"none\"/></c:marker>";
  const std::string i = std::to_string(index);
  return "<c:ser><c:idx val=\"" + i + "\"/><c:order val=\"" + i + "\"/><c:tx><c:v>" + Escaped(s.name) +
         "</c:v></c:tx><c:spPr>" + line + "</c:spPr>" + marker + "<c:xVal><c:numRef><c:f>" + Escaped(s.xValues) +
         "</c:f></c:numRef></c:xVal><c:yVal><c:numRef><c:f>" + Escaped(s.yValues) +
         "</c:f></c:numRef></c:yVal><c:smooth val=\"0\"/></c:ser>";
}

std::string Axis(int id, int cross, const char* position, const std::string& title) {
  return "<c:valAx><c:axId val=\"" + std::to_string(id) +
         "\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:delete val=\"0\"/><c:axPos val=\"" + position +
         "\"/><c:majorGridlines><c:spPr><a:ln w=\"3175\"><a:solidFill><a:srgbClr val=\"D9D9D9\"/></a:solidFill></a:ln>"
         "</c:spPr></c:majorGridlines>" +
         Title(title, 1000) +
         "<c:numFmt formatCode=\"General\" sourceLinked=\"0\"/><c:majorTickMark val=\"out\"/>"
         "<c:minorTickMark val=\"none\"/><c:tickLblPos val=\"low\"/><c:crossAx val=\"" +
         std::to_string(cross) + "\"/><c:crosses val=\"autoZero\"/><c:crossBetween val=\"midCat\"/></c:valAx>";
}

std::string Marker(const char* tag, int column, int row) {
  return std::string("<xdr:") + tag + "><xdr:col>" + std::to_string(column) + "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" +
         std::to_string(row) + "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:" + tag + ">";
}

}  // namespace

std::string ChartXml::Drawing(const std::vector<ScatterChart>& charts) {
  std::string out = std::string(kDeclaration) +
                    "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
                    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">";
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const ScatterChart& c = charts[i];
    const std::string n = std::to_string(i + 1);
    out += "<xdr:twoCellAnchor editAs=\"oneCell\">" + Marker("from", c.fromColumn, c.fromRow) +
           Marker("to", c.toColumn, c.toRow) + "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"" +
           std::to_string(i + 2) + "\" name=\"图表 " + n +
           "\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" "
           "cy=\"0\"/></xdr:xfrm><a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/chart\">"
           "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" xmlns:r=\"" +
           std::string(kRel) + "\" r:id=\"rId" + n +
           "\"/></a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/></xdr:twoCellAnchor>";
  }
  return out + "</xdr:wsDr>";
}

std::string ChartXml::DrawingRels(std::size_t count, int firstChart) {
  std::string out = std::string(kDeclaration) +
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (std::size_t i = 0; i < count; ++i) {
    out += "<Relationship Id=\"rId" + std::to_string(i + 1) + "\" Type=\"" + kRel + "/chart\" Target=\"../charts/chart" +
           std::to_string(firstChart + static_cast<int>(i)) + ".xml\"/>";
  }
  return out + "</Relationships>";
}

std::string ChartXml::Chart(const ScatterChart& chart) {
  std::string out = std::string(kDeclaration) +
                    "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" +
                    kRel + "\"><c:roundedCorners val=\"0\"/><c:chart>" + Title(chart.title, 1400) +
                    "<c:autoTitleDeleted val=\"0\"/><c:plotArea><c:layout/><c:scatterChart>"
                    "<c:scatterStyle val=\"lineMarker\"/><c:varyColors val=\"0\"/>";
  for (std::size_t i = 0; i < chart.series.size(); ++i) out += Series(chart.series[i], i);
  out += "<c:axId val=\"500001\"/><c:axId val=\"500002\"/></c:scatterChart>" +
         Axis(500001, 500002, "b", chart.xTitle) + Axis(500002, 500001, "l", chart.yTitle) +
         "</c:plotArea><c:legend><c:legendPos val=\"b\"/><c:overlay val=\"0\"/></c:legend><c:plotVisOnly val=\"1\"/>"
         "<c:dispBlanksAs val=\"span\"/></c:chart></c:chartSpace>";
  return out;
}

}  // namespace spreadsheet
