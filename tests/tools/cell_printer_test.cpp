// export writes the cells and JSON values of the records it walks at a
// running position in its output (PutCsvCell, PutJsonValue); the values of
// --sort/--where and every other caller go through AppendCsvCell and
// AppendJsonValue. For every type of every engine, at the edges of each kind,
// in each encoding, both must give the same bytes, and a value that cannot be
// printed must leave the output as it was.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/host/datetime.h"
#include "corvane/interchange/out_cursor.h"
#include "corvane/interchange/values.h"

namespace corvane::cli {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const TDateTime date = EncodeDate(y, mo, d), time = EncodeTime(h, mi, s, 0);
  return date < 0 ? date - time : date + time;
}

std::vector<TAnyValueView> Views(TValueKind kind) {
  std::vector<TAnyValueView> out;
  const auto integer = [&](std::int64_t n) { out.emplace_back().Integer = n; };
  const auto number = [&](double d) { out.emplace_back().Float = d; };
  const auto amount = [&](std::int64_t raw) { out.emplace_back().Amount = Currency::FromRaw(raw); };
  const auto text = [&](std::string_view s) { out.emplace_back().Text = s; };
  const auto when = [&](TDateTime d) { out.emplace_back().When = d; };
  constexpr double inf = std::numeric_limits<double>::infinity();
  switch (kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      for (const std::int64_t n :
           {std::int64_t{0}, std::int64_t{-1}, std::int64_t{9}, std::int64_t{10}, std::int64_t{-10},
            std::int64_t{255}, std::int64_t{65535}, std::int64_t{INT32_MIN},
            std::int64_t{INT32_MIN} - 1, std::int64_t{INT32_MAX}, std::int64_t{INT32_MAX} + 1,
            std::int64_t{UINT32_MAX}, INT64_MIN, INT64_MAX}) {
        integer(n);
      }
      break;
    case TValueKind::Float:
      for (const double d :
           {0.0, -0.0, 0.1, -1.5, 1e-300, 1e308, -DBL_MAX, DBL_MIN, std::ldexp(1.0, -1074),
            -2.2250738585072014e-308, double{FLT_MAX}, double{-FLT_MIN}, 16777217.0, 1e21, 1e-7,
            std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
        number(d);
      }
      break;
    case TValueKind::Currency:
      for (const std::int64_t raw :
           {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{10000},
            std::int64_t{-12345678}, std::int64_t{50}, INT64_MIN, INT64_MAX}) {
        amount(raw);
      }
      break;
    case TValueKind::Boolean:
      out.emplace_back().Flag = true;
      out.emplace_back().Flag = false;
      break;
    case TValueKind::Text:
    case TValueKind::Binary: {
      static const std::string kLong(300, 'x');
      static const std::string kNul("a\0b", 3);
      for (const std::string_view s :
           {std::string_view(), std::string_view("plain text"), std::string_view("a,b"),
            std::string_view("say \"hi\""), std::string_view("two\r\nlines"),
            std::string_view("lf\nonly"), std::string_view("tab\tand\\backslash"),
            std::string_view("\x01\x1F\x7F"), std::string_view("Caf\xE9"),
            std::string_view("\x80\x81\x9F\xA0\xFF"), std::string_view("\xC3\xA9t\xC3\xA9"),
            std::string_view("\xE2\x82\xAC,\""), std::string_view("\xC3"), std::string_view(kNul),
            std::string_view(kLong), std::string_view(" lead")}) {
        text(s);
      }
      // Texts are checked a word of eight bytes at a time: each byte that
      // needs quoting, escaping or converting, and a few that do not, at every
      // place of texts on either side of one and two words.
      static const std::vector<std::string> kPlaced = [] {
        std::vector<std::string> v;
        for (std::size_t n = 1; n <= 20; ++n) {
          for (std::size_t at = 0; at < n; ++at) {
            for (const char c : {',', '"', '\r', '\n', '\\', '\x1F', '\x7F', '\x80', '\xFF', ' ',
                                 '~', '!', '#', '+', '[', '\0'}) {
              std::string s(n, 'a');
              s[at] = c;
              v.push_back(s);
            }
          }
        }
        return v;
      }();
      for (const std::string& s : kPlaced) text(s);
      break;
    }
    case TValueKind::DateTime:
    case TValueKind::Date:
    case TValueKind::Time:
      for (const TDateTime d :
           {0.0, 1.0, -1.0, 0.5, -0.25, At(1, 1, 1), At(9999, 12, 31, 23, 59, 59), At(1900, 1, 1),
            At(1904, 1, 1, 0, 0, 1), At(1969, 12, 31, 23, 59, 59), At(2000, 2, 29, 12, 34, 56),
            At(1899, 12, 29, 6, 0, 0), At(2031, 12, 31)}) {
        when(d);
      }
      break;
  }
  return out;
}

// What a printer gives for `v`, or that it raised; the output it was given
// holds `prefix` before and must hold it alone after a refusal.
struct Printed {
  std::string text;
  bool raised = false;
};

template <class Print>
Printed PrintInto(Print&& print) {
  Printed p;
  p.text = "prefix:";
  try {
    print(p.text);
  } catch (const std::exception&) {
    p.raised = true;
  }
  return p;
}

struct Format {
  const char* name;
  void (*old_path)(std::string&, const TAnyValueView&, const TAnyFieldType&, TextEncoding);
  void (*new_path)(OutCursor&, const TAnyValueView&, const TAnyFieldType&, TextEncoding,
                   std::string&);
};

void OldCsv(std::string& out, const TAnyValueView& v, const TAnyFieldType& t, TextEncoding e) {
  AppendCsvCell(out, v, t, e);
}

const Format kFormats[] = {
    {"csv", OldCsv, PutCsvCell},
    {"json", AppendJsonValue, PutJsonValue},
};

TEST(CellPrinter, EveryTypeOfEveryEnginePrintsAsBefore) {
  int compared = 0;
  for (const std::string_view engine_name : TAnyEngine::EngineNames()) {
    const std::unique_ptr<TAnyEngine> engine = TAnyEngine::Create(engine_name);
    ASSERT_NE(engine, nullptr);
    for (const TAnyFieldType& type : engine->Types()) {
      const std::vector<TAnyValueView> views = Views(type.Kind);
      for (const TextEncoding enc :
           {TextEncoding::kWindows1252, TextEncoding::kLatin1, TextEncoding::kUtf8}) {
        for (const Format& f : kFormats) {
          SCOPED_TRACE(std::string(engine_name) + " " + std::string(type.Name) + " " + f.name +
                       " encoding " + std::to_string(static_cast<int>(enc)));
          std::string scratch = "left over";  // must not leak into a cell
          for (std::size_t i = 0; i < views.size(); ++i) {
            SCOPED_TRACE(i);
            const Printed old_text =
                PrintInto([&](std::string& out) { f.old_path(out, views[i], type, enc); });
            const Printed new_text = PrintInto([&](std::string& out) {
              OutCursor cur(out);
              f.new_path(cur, views[i], type, enc, scratch);
            });
            EXPECT_EQ(new_text.raised, old_text.raised);
            EXPECT_EQ(new_text.text, old_text.text);
            if (old_text.raised) {
              EXPECT_EQ(new_text.text, "prefix:");
            }
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 100000);
}

// Cells one after another at one cursor, across the steps it grows by and
// commits between, give the text of the appends one after another.
TEST(CellPrinter, RunsOfCellsAcrossGrowthAndCommits) {
  const TAnyFieldType types[] = {
      {"I", TValueKind::Integer},
      {"F", TValueKind::Float},
      {"S", TValueKind::Float, true},
      {"T", TValueKind::Text},
      {"W", TValueKind::Text, false, false, true},
      {"D", TValueKind::Date},
      {"DT", TValueKind::DateTime},
      {"H", TValueKind::Time},
      {"C", TValueKind::Currency},
      {"B", TValueKind::Binary},
      {"Y", TValueKind::Boolean},
  };
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    std::string expected, written, scratch;
    {
      OutCursor cur(written);
      for (int round = 0; round < 12; ++round) {
        for (const TAnyFieldType& type : types) {
          for (const TAnyValueView& v : Views(type.Kind)) {
            // Dates out of every calendar are left to the first test.
            try {
              std::string cell;
              f.old_path(cell, v, type, TextEncoding::kWindows1252);
              expected += cell;
              expected += ';';
            } catch (const std::exception&) {
              continue;
            }
            f.new_path(cur, v, type, TextEncoding::kWindows1252, scratch);
            cur.Put(';');
          }
        }
        // As export flushes: committed, then appended to by others.
        if (round % 5 == 0) {
          cur.Commit() += "|";
          expected += "|";
        }
      }
      EXPECT_EQ(cur.Size(), expected.size());
    }
    ASSERT_GT(expected.size(), std::size_t{1} << 18);
    EXPECT_EQ(written, expected);
  }
}

TEST(OutCursor, CommitCutsToWhatWasWritten) {
  std::string s = "ab";
  {
    OutCursor cur(s);
    EXPECT_EQ(cur.Size(), 2u);
    cur.Put('c');
    char* p = cur.Room(100000);
    p[0] = 'd';
    cur.Advance(p + 1);
    EXPECT_GT(s.size(), 100000u);  // room, not text
    EXPECT_EQ(cur.Commit(), "abcd");
    EXPECT_EQ(cur.Commit(), "abcd");
    s += "e";  // another writer between commits
    cur.Put(std::string_view());
    cur.Put("f");
  }
  EXPECT_EQ(s, "abcdef");
}

// Pieces are written by a fixed-size copy up to their short length and as
// texts beyond it: every length on either side, at every distance from the
// end of the room, after a commit.
TEST(OutCursor, PiecesOfEveryLength) {
  std::string expected, written;
  {
    OutCursor cur(written);
    for (std::size_t n = 0; n <= 2 * OutCursor::Piece::kShort + 1; ++n) {
      std::string text;
      for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('a' + (n + i) % 26);
      const OutCursor::Piece piece(text);
      EXPECT_EQ(piece.Text(), text);
      for (int k = 0; k < 3000; ++k) {
        cur.Put(piece);
        expected += text;
        if (k % 1000 == 999) {
          cur.Commit();
          cur.Put('|');
          expected += '|';
        }
      }
    }
  }
  EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace corvane::cli
