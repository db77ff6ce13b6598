#pragma once

// The maker's web pages. The host is a reserved example domain until the maker has a site.
namespace levelbook {

// Start page, opened by "检查更新".
inline constexpr const char* kMakerHomePage = "https://www.example.com/";
// The program's page, opened by the labels of the settings dialog.
inline constexpr const char* kMakerProgramPage = "https://www.example.com/blog/blogview.asp?logID=72";

}  // namespace levelbook
