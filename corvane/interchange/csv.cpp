#include "corvane/interchange/csv.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

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

// The line breaks from `from` on, to size the table before it is filled.
std::size_t CountLineFeeds(std::string_view s, std::size_t from) noexcept {
  std::size_t n = 0;
  const char* p = s.data() + from;
  const char* const end = s.data() + s.size();
  // memchr jumps from line to line, many bytes at a time.
  while (p < end) {
    const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (hit == nullptr) break;
    ++n;
    p = static_cast<const char*>(hit) + 1;
  }
  return n;
}

}  // namespace

CsvTable ParseCsvTable(std::string_view s) {
  if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);  // a byte-order mark
  CsvTable table;
  const char* const begin = s.data();
  const char* const end = begin + s.size();
  const char* p = begin;
  std::size_t line = 1;
  while (p != end) {
    const std::size_t row_line = line;
    const std::size_t row_start = table.cells_.size();
    const bool blank = *p == '\r' || *p == '\n';
    for (;;) {
      if (p != end && *p == '"') {
        const char* const from = ++p;
        std::string* kept = nullptr;  // only once a doubled quote is met
        for (;;) {
          if (p == end) Fail(row_line, "a quoted field is never closed");
          const char c = *p;
          if (c == '"') {
            if (p + 1 != end && p[1] == '"') {
              if (kept == nullptr) {
                kept = &table.kept_.emplace_back(from, static_cast<std::size_t>(p - from));
              }
              *kept += '"';
              p += 2;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          if (kept != nullptr) *kept += c;
          ++p;
        }
        table.cells_.push_back(kept != nullptr
                                   ? std::string_view(*kept)
                                   : std::string_view(from, static_cast<std::size_t>(p - from)));
        ++p;  // the closing quote
        if (p != end && *p != ',' && *p != '\n' && *p != '\r') {
          Fail(line, "text after the closing quote of a field");
        }
      } else {
        // CR LF, LF or a lone CR (as old Mac programs write) ends the line.
        const char* const from = p;
        while (p != end && !kFieldEnd[static_cast<std::uint8_t>(*p)]) ++p;
        if (p != end && *p == '"') Fail(line, "a quote inside a field that is not quoted");
        table.cells_.emplace_back(from, static_cast<std::size_t>(p - from));
      }
      if (p != end && *p == ',') {
        ++p;
        continue;
      }
      break;
    }
    const bool cr = p != end && *p == '\r';
    if (cr) ++p;
    if (p != end && *p == '\n') {
      ++p;
      ++line;
    } else if (cr) {
      ++line;
    }
    const std::size_t pos = static_cast<std::size_t>(p - begin);
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
      const std::size_t rows = CountLineFeeds(s, pos) + 2;
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
