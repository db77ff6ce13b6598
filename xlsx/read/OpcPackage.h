#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {

// A workbook file as an OPC package: parts named by absolute paths ("/xl/workbook.xml"),
// compared ignoring ASCII case, tied by relationships. A relationship target is resolved
// against the folder of the part owning the .rels ("./", "../", a leading "/" for the package
// root, percent-escapes decoded); external targets are no parts. Throws SpreadsheetError 1004
// (without the file's name) for what it cannot read, and for a part a caller needs but the
// package lacks.
class OpcPackage {
 public:
  struct Relationship {
    std::string id;
    std::string type;    // full type URI
    std::string target;  // resolved part name; the raw target when external
    bool external = false;
  };

  explicit OpcPackage(std::shared_ptr<const std::string> bytes);

  bool Has(std::string_view part) const { return zip_.Find(EntryName(part)) != nullptr; }
  std::string Read(std::string_view part) const;
  // The relationships of a part ("" or "/" for the package's own); none when it has no .rels.
  std::vector<Relationship> Relationships(std::string_view part) const;
  // The first relationship whose type ends in "/" + kind ("officeDocument", "styles", …).
  static const Relationship* OfKind(const std::vector<Relationship>& rels, std::string_view kind);

  const ZipArchive& Zip() const { return zip_; }
  const std::shared_ptr<const std::string>& Bytes() const { return bytes_; }

  static std::string EntryName(std::string_view part);     // "/xl/a.xml" → "xl/a.xml"
  static std::string RelsPartOf(std::string_view part);    // "/xl/a.xml" → "/xl/_rels/a.xml.rels"
  // Throws for a target that climbs above the package root.
  static std::string Resolve(std::string_view sourcePart, std::string_view target);

 private:
  std::shared_ptr<const std::string> bytes_;
  ZipArchive zip_;
};

}  // namespace spreadsheet
