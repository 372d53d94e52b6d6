// The CSV reader on its own: fields as views of the text (or of text the
// table keeps when quotes are doubled), every line end, the blank lines at the
// end, and each refusal with its line.
#include "corvane/interchange/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::cli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows RowsOf(const CsvTable& t) {
  Rows rows(t.Rows());
  for (std::size_t r = 0; r < t.Rows(); ++r) {
    for (std::size_t c = 0; c < t.Width(); ++c) rows[r].emplace_back(t.Field(r, c));
  }
  return rows;
}

std::string Refusal(const std::string& text) {
  try {
    ParseCsvTable(text);
  } catch (const CsvError& e) {
    return e.what();
  }
  return "";
}

TEST(Csv, RowsFieldsAndLines) {
  const struct {
    std::string text;
    Rows rows;
    std::vector<std::size_t> lines;
  } cases[] = {
      {"a,b\r\n1,2\r\n", {{"a", "b"}, {"1", "2"}}, {1, 2}},
      {"a,b\n1,2", {{"a", "b"}, {"1", "2"}}, {1, 2}},
      {"a,b\r1,2\r", {{"a", "b"}, {"1", "2"}}, {1, 2}},  // old Mac line ends
      {"\xEF\xBB\xBF"
       "a\r\nx\r\n",
       {{"a"}, {"x"}},
       {1, 2}},
      {"a,b\r\n,\r\n", {{"a", "b"}, {"", ""}}, {1, 2}},
      // Quotes: separators, line breaks and doubled quotes inside; a line
      // break in a field moves the next row's line on.
      {"a,b\r\n\"x,y\",\"1\r\n2\"\r\nz,\"\"\r\n",
       {{"a", "b"}, {"x,y", "1\r\n2"}, {"z", ""}},
       {1, 2, 4}},
      {"a\r\n\"say \"\"hi\"\"\"\r\n\"\"\"\"\r\n\"x\"\"\"\r\n",
       {{"a"}, {"say \"hi\""}, {"\""}, {"x\""}},
       {1, 2, 3, 4}},
      // Blank lines at the end are no rows; one in the middle is a row of one
      // empty field (and so refused when the header has more).
      {"a\r\n1\r\n\r\n\n\r\n", {{"a"}, {"1"}}, {1, 2}},
      {"a\r\n\r\n1\r\n", {{"a"}, {""}, {"1"}}, {1, 2, 3}},
      {"", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const CsvTable t = ParseCsvTable(c.text);
    EXPECT_EQ(RowsOf(t), c.rows);
    std::vector<std::size_t> lines;
    for (std::size_t r = 0; r < t.Rows(); ++r) lines.push_back(t.Line(r));
    EXPECT_EQ(lines, c.lines);
    // The rows of strings are the same rows.
    const std::vector<CsvRow> rows = ParseCsv(c.text);
    ASSERT_EQ(rows.size(), c.rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
      EXPECT_EQ(rows[r].fields, c.rows[r]);
      EXPECT_EQ(rows[r].line, c.lines[r]);
    }
  }
}

TEST(Csv, FieldsWithoutDoubledQuotesAreViewsOfTheText) {
  const std::string text = "a,\"b,c\",\"d\"\"e\"\r\n";
  CsvTable t = ParseCsvTable(text);
  const auto inside = [&](std::string_view f) {
    return f.data() >= text.data() && f.data() + f.size() <= text.data() + text.size();
  };
  EXPECT_TRUE(inside(t.Field(0, 0)));
  EXPECT_TRUE(inside(t.Field(0, 1)));
  EXPECT_FALSE(inside(t.Field(0, 2)));
  EXPECT_EQ(t.Field(0, 2), "d\"e");
  // Many kept texts: adding one never moves those before it.
  std::string many = "a\r\n";
  for (int i = 0; i < 200; ++i) many.append(1, '"').append(std::to_string(i)).append("\"\"\"\r\n");
  const CsvTable kept = ParseCsvTable(many);
  ASSERT_EQ(kept.Rows(), 201u);
  for (std::size_t r = 1; r < kept.Rows(); ++r)
    EXPECT_EQ(kept.Field(r, 0), std::to_string(r - 1) + "\"");
  // A moved table keeps the texts it holds where its fields see them.
  const CsvTable moved = std::move(t);
  EXPECT_EQ(moved.Field(0, 2), "d\"e");
}

TEST(Csv, RefusalsNameTheLine) {
  const struct {
    std::string text, message;
  } cases[] = {
      {"a,b\r\n1\r\n", "CSV line 2: the row has 1 fields, the header 2"},
      {"a\r\n\"x\r\ny\"\r\n1,2\r\n", "CSV line 4: the row has 2 fields, the header 1"},
      {"a\r\nx\"y\r\n", "CSV line 2: a quote inside a field that is not quoted"},
      {"a\r\n\"x\"y\r\n", "CSV line 2: text after the closing quote of a field"},
      {"a\r\n\"x\r\n\r\n", "CSV line 2: a quoted field is never closed"},
      {"a\r\n\"x\"\"\r\n", "CSV line 2: a quoted field is never closed"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Refusal(c.text), c.message) << c.text;
  }
  // A wide header over many line breaks: the room made for the rows is
  // bounded by the text, not by width times lines (here about a terabyte).
  std::string wide(59999, ',');
  wide += "\nx" + std::string(1000000, '\n');
  EXPECT_EQ(Refusal(wide), "CSV line 2: the row has 1 fields, the header 60000");
}

// Every length and start of an unquoted field, every way it ends, and bytes
// one bit away from those that end it (high bytes included).
TEST(Csv, UnquotedFieldsEndOnlyWhereTheyShould) {
  const std::string filler = std::string("a\xAC\x8A\x8D\xA2\x2D\x2B\x0B\x0C\x0E\x23\x21\xFF") +
                             std::string(1, '\0') + "\x80\x7F\x22\x2C";
  const std::string ends[] = {",", "\n", "\r\n", "\r", ""};
  for (std::size_t lead = 0; lead <= 9; ++lead) {
    for (std::size_t length = 0; length <= 20; ++length) {
      std::string field;
      // Bytes that end a field are left out of it (the last two of filler).
      for (std::size_t i = 0; i < length; ++i) field += filler[(lead + i) % (filler.size() - 2)];
      const std::string first(lead, 'p');
      for (const std::string& end : ends) {
        const std::string text = first + "," + field + end + (end == "," ? "z" : "");
        SCOPED_TRACE("lead " + std::to_string(lead) + " length " + std::to_string(length) +
                     " end " + std::to_string(end.size()) + (end == "," ? "," : ""));
        const CsvTable t = ParseCsvTable(text);
        Rows expected = {{first, field}};
        if (end == ",") expected[0].push_back("z");
        ASSERT_EQ(RowsOf(t), expected);
        // A quote where the field ends is refused, wherever it falls (at its
        // start it opens a quoted field).
        if (length == 0) continue;
        EXPECT_EQ(Refusal(first + "," + field + "\"" + end),
                  "CSV line 1: a quote inside a field that is not quoted");
      }
    }
  }
}

}  // namespace
}  // namespace corvane::cli
