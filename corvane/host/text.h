// Small byte-string helpers. Strings are 8-bit bytes with no encoding assumed;
// case mapping touches only the letters a-z / A-Z.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Removes leading and trailing bytes <= ' ' (blanks and control characters).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
// True when a and b are equal with the letters a-z and A-Z taken as the same;
// every other byte compares as itself (names of fields and definitions).
bool SameText(std::string_view a, std::string_view b) noexcept;
std::string LowerCase(std::string_view s);
// Locale-aware comparison (strcoll in the process's LC_COLLATE); <0, 0, >0.
int AnsiCompareStr(const std::string& a, const std::string& b);
int AnsiCompareText(const std::string& a, const std::string& b);  // ignoring case
// The extension from the last '.' that follows the last '/' on, dot included;
// empty when there is none.
std::string ExtractFileExt(std::string_view path);
bool FileExists(const std::string& path);
// Joins a directory and a file name with '/', adding none when dir ends in one.
std::string IncludeTrailingPathDelimiter(std::string_view dir);

}  // namespace corvane
