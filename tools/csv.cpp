#include "tools/csv.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace corvane::cli {

namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw CsvError("CSV line " + std::to_string(line) + ": " + what);
}

// The bytes an unquoted field stops at: its end, or a quote it may not hold.
constexpr auto kFieldEnd = [] {
  std::array<bool, 256> table{};
  table[','] = table['\n'] = table['\r'] = table['"'] = true;
  return table;
}();

}  // namespace

CsvTable ParseCsvTable(std::string_view s) {
  if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);  // a byte-order mark
  CsvTable table;
  std::size_t pos = 0, line = 1;
  while (pos < s.size()) {
    const std::size_t row_line = line;
    const std::size_t row_start = table.cells_.size();
    const bool blank = s[pos] == '\r' || s[pos] == '\n';
    for (;;) {
      if (pos < s.size() && s[pos] == '"') {
        const std::size_t from = ++pos;
        std::string* kept = nullptr;  // only once a doubled quote is met
        for (;;) {
          if (pos >= s.size()) Fail(row_line, "a quoted field is never closed");
          const char c = s[pos];
          if (c == '"') {
            if (pos + 1 < s.size() && s[pos + 1] == '"') {
              if (kept == nullptr) kept = &table.kept_.emplace_back(s.substr(from, pos - from));
              *kept += '"';
              pos += 2;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          if (kept != nullptr) *kept += c;
          ++pos;
        }
        table.cells_.push_back(kept != nullptr ? std::string_view(*kept)
                                               : s.substr(from, pos - from));
        ++pos;  // the closing quote
        if (pos < s.size() && s[pos] != ',' && s[pos] != '\n' && s[pos] != '\r') {
          Fail(line, "text after the closing quote of a field");
        }
      } else {
        // CR LF, LF or a lone CR (as old Mac programs write) ends the line.
        const std::size_t from = pos;
        while (pos < s.size() && !kFieldEnd[static_cast<std::uint8_t>(s[pos])]) ++pos;
        if (pos < s.size() && s[pos] == '"')
          Fail(line, "a quote inside a field that is not quoted");
        table.cells_.push_back(s.substr(from, pos - from));
      }
      if (pos < s.size() && s[pos] == ',') {
        ++pos;
        continue;
      }
      break;
    }
    const bool cr = pos < s.size() && s[pos] == '\r';
    if (cr) ++pos;
    if (pos < s.size() && s[pos] == '\n') {
      ++pos;
      ++line;
    } else if (cr) {
      ++line;
    }
    const std::size_t count = table.cells_.size() - row_start;
    // Blank lines at the end are no rows: editors leave them.
    if (blank && !table.lines_.empty() &&
        s.find_first_not_of("\r\n", pos) == std::string_view::npos) {
      table.cells_.resize(row_start);
      break;
    }
    if (table.lines_.empty()) {
      table.width_ = count;
      // Room for a row per line break, so the cells are not moved as they
      // grow; never for more cells than the text has bytes to end them.
      const auto rows = static_cast<std::size_t>(std::count(
                            s.begin() + static_cast<std::ptrdiff_t>(pos), s.end(), '\n')) +
                        2;
      const std::size_t most = s.size() + 1;
      table.cells_.reserve(count != 0 && rows > most / count ? most : count * rows);
      table.lines_.reserve(rows);
    } else if (count != table.width_) {
      Fail(row_line, "the row has " + std::to_string(count) + " fields, the header " +
                         std::to_string(table.width_));
    }
    table.lines_.push_back(row_line);
  }
  return table;
}

std::vector<CsvRow> ParseCsv(std::string_view s) {
  const CsvTable table = ParseCsvTable(s);
  std::vector<CsvRow> rows(table.Rows());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    rows[r].line = table.Line(r);
    rows[r].fields.reserve(table.Width());
    for (std::size_t c = 0; c < table.Width(); ++c) rows[r].fields.emplace_back(table.Field(r, c));
  }
  return rows;
}

bool CsvFieldNeedsQuotes(std::string_view field) noexcept {
  // A plain loop: find_first_of would search the four characters once per byte.
  for (const char c : field) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  }
  return false;
}

void AppendCsvField(std::string& out, std::string_view field) {
  if (!CsvFieldNeedsQuotes(field)) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace corvane::cli
