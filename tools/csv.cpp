#include "tools/csv.h"

namespace corvane::cli {

namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw CsvError("CSV line " + std::to_string(line) + ": " + what);
}

}  // namespace

std::vector<CsvRow> ParseCsv(std::string_view s) {
  if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);  // a byte-order mark
  std::vector<CsvRow> rows;
  std::size_t pos = 0, line = 1;
  while (pos < s.size()) {
    CsvRow row;
    row.line = line;
    const bool blank = s[pos] == '\r' || s[pos] == '\n';
    for (;;) {
      std::string field;
      if (pos < s.size() && s[pos] == '"') {
        ++pos;
        for (;;) {
          if (pos >= s.size()) Fail(row.line, "a quoted field is never closed");
          const char c = s[pos++];
          if (c == '"') {
            if (pos < s.size() && s[pos] == '"') {
              field += '"';
              ++pos;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          field += c;
        }
        if (pos < s.size() && s[pos] != ',' && s[pos] != '\n' && s[pos] != '\r') {
          Fail(line, "text after the closing quote of a field");
        }
      } else {
        // CR LF, LF or a lone CR (as old Mac programs write) ends the line.
        const std::size_t from = pos;
        while (pos < s.size() && s[pos] != ',' && s[pos] != '\n' && s[pos] != '\r') {
          if (s[pos] == '"') Fail(line, "a quote inside a field that is not quoted");
          ++pos;
        }
        field.assign(s.substr(from, pos - from));
      }
      row.fields.push_back(std::move(field));
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
    // Blank lines at the end are no rows: editors leave them.
    if (blank && !rows.empty() && s.find_first_not_of("\r\n", pos) == std::string_view::npos) {
      break;
    }
    if (!rows.empty() && row.fields.size() != rows.front().fields.size()) {
      Fail(row.line, "the row has " + std::to_string(row.fields.size()) + " fields, the header " +
                         std::to_string(rows.front().fields.size()));
    }
    rows.push_back(std::move(row));
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
