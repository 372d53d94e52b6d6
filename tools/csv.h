// Comma-separated values as RFC 4180 has them: fields separated by commas,
// records by CRLF (a lone LF or a lone CR is read too), a field that holds a
// comma, a quote or a line break enclosed in quotes with its quotes doubled.
// Blank lines at the end of the text are no rows.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::cli {

class CsvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CsvRow {
  std::vector<std::string> fields;
  std::size_t line = 0;  // where the row starts
};

// Every row, the header included. Raises CsvError (with the line) on a quote
// inside an unquoted field, text after a closing quote, a quote that is never
// closed, or a row whose field count differs from the first row's.
std::vector<CsvRow> ParseCsv(std::string_view text);

// Whether the field holds a comma, a quote or a line break, and so must be quoted.
bool CsvFieldNeedsQuotes(std::string_view field) noexcept;

// Appends the field, quoted when it must be.
void AppendCsvField(std::string& out, std::string_view field);

}  // namespace corvane::cli
