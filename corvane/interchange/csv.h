// Comma-separated values as RFC 4180 has them: fields separated by commas,
// records by CRLF (a lone LF or a lone CR is read too), a field that holds a
// comma, a quote or a line break enclosed in quotes with its quotes doubled.
// Blank lines at the end of the text are no rows.
#pragma once

#include <cstddef>
#include <deque>
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

// The same rows without a string per field: a field is a view of the text it
// was read from, or (a quoted field with doubled quotes) of text the table
// keeps. The table borrows the parsed text, which must outlive it.
class CsvTable {
 public:
  CsvTable() = default;
  CsvTable(CsvTable&&) noexcept = default;
  CsvTable& operator=(CsvTable&&) noexcept = default;
  // Copies would view the original's kept text.
  CsvTable(const CsvTable&) = delete;
  CsvTable& operator=(const CsvTable&) = delete;

  std::size_t Rows() const noexcept { return lines_.size(); }
  std::size_t Width() const noexcept { return width_; }  // fields per row
  std::string_view Field(std::size_t row, std::size_t column) const {
    return cells_[row * width_ + column];
  }
  std::size_t Line(std::size_t row) const { return lines_[row]; }  // where the row starts

 private:
  friend CsvTable ParseCsvTable(std::string_view text);
  std::size_t width_ = 0;
  std::vector<std::string_view> cells_;
  std::vector<std::size_t> lines_;
  std::deque<std::string> kept_;  // a deque: kept texts never move
};

// As ParseCsv, with the same refusals.
CsvTable ParseCsvTable(std::string_view text);

// Whether the field holds a comma, a quote or a line break, and so must be quoted.
bool CsvFieldNeedsQuotes(std::string_view field) noexcept;

// Appends the field, quoted when it must be.
void AppendCsvField(std::string& out, std::string_view field);

}  // namespace corvane::cli
