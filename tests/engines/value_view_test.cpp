// Reading without Variants: every type of every engine gives through
// ValueView what Value gives, at the edges of its range, and UnusedBytes
// counts from the walk's split only while the fields are as it left them.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "corvane/engines/any_engine.h"
#include "corvane/host/exceptions.h"
#include "engine_support.h"

namespace corvane {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const TDateTime date = EncodeDate(y, mo, d), time = EncodeTime(h, mi, s, 0);
  return date < 0 ? date - time : date + time;
}

// Candidates for every type of a kind; those a type refuses are left out.
std::vector<Variant> Candidates(const TAnyFieldType& type) {
  const auto text = [](const char* s, std::size_t n) { return Variant(std::string(s, n)); };
  const auto when = [](TDateTime d) { return Variant::FromDateTime(d); };
  constexpr double inf = std::numeric_limits<double>::infinity();
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      return {0LL,      1LL,     -1LL,      127LL,     -128LL,       255LL,     32767LL,
              -32768LL, 65535LL, INT32_MIN, INT32_MAX, 4294967295LL, INT64_MIN, INT64_MAX};
    case TValueKind::Float:
      return {0.0,
              -0.0,
              0.1,
              -1e300,
              1e-300,
              std::ldexp(1.0, -149),
              double{FLT_MAX},
              -2.5,
              inf,
              -inf,
              std::numeric_limits<double>::quiet_NaN()};
    case TValueKind::Currency:
      return {Currency::FromRaw(0), Currency::FromRaw(-1), Currency::FromRaw(123456789),
              Currency::FromRaw(INT64_MAX), Currency::FromRaw(INT64_MIN)};
    case TValueKind::Boolean:
      return {true, false};
    case TValueKind::Text:
      if (type.Wide)
        return {text("", 0), text("Z", 1), text("\xC3\xA9", 2), text("\xEF\xBF\xBF", 3)};
      return {text("", 0),           text("abc", 3),          text("Caf\xE9", 4),
              text("a,b\"c\r\n", 7), text("\x80\x9F\xFF", 3), text("  lead", 6)};
    case TValueKind::Binary:
      return {text("", 0), text("\0\xFF", 2), text("abc", 3)};
    case TValueKind::DateTime:
    case TValueKind::Date:
      return {when(0),
              when(At(1900, 1, 1)),
              when(At(1904, 1, 1)),
              when(At(1850, 6, 1, 12, 30, 0)),
              when(At(1969, 12, 31, 23, 59, 59)),
              when(At(2031, 12, 31, 23, 59, 59)),
              when(At(2040, 2, 6, 6, 28, 15)),
              when(At(1, 1, 1)),
              when(At(9999, 12, 31, 23, 59, 59))};
    case TValueKind::Time:
      // Some time types keep minutes only; they refuse the times with seconds.
      return {when(0),
              when(EncodeTime(0, 0, 1, 0)),
              when(EncodeTime(0, 1, 0, 0)),
              when(EncodeTime(12, 34, 56, 0)),
              when(EncodeTime(23, 59, 0, 0)),
              when(EncodeTime(23, 59, 59, 0))};
  }
  return {};
}

void ExpectSameView(const TAnyValueView& got, const TAnyValueView& want) {
  EXPECT_EQ(got.Integer, want.Integer);
  // Bit for bit: the sign of zero and the NaN must come through too.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(got.Float), std::bit_cast<std::uint64_t>(want.Float))
      << got.Float << " vs " << want.Float;
  EXPECT_EQ(got.Amount, want.Amount);
  EXPECT_EQ(got.Flag, want.Flag);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(got.When), std::bit_cast<std::uint64_t>(want.When));
  EXPECT_EQ(got.Text, want.Text);
}

struct ValueViews : ::testing::Test {
  test::TempDir dir;
  ScopedThreadLanguage english{"en_US"};
};

// For every type of every engine: a file with one field of that type and one
// record per value it keeps, read back; the view of each value must be what
// the Variant path gives, whichever way it is asked for.
TEST_F(ValueViews, EveryTypeOfEveryEngineViewsAsItsVariant) {
  for (std::string_view engine : TAnyEngine::EngineNames()) {
    const auto types = TAnyEngine::Create(engine)->Types();
    for (std::size_t t = 0; t < types.size(); ++t) {
      const TAnyFieldType& type = types[t];
      SCOPED_TRACE(std::string(engine) + " " + std::string(type.Name));
      // A sized text gets a slot wide enough for every candidate, or must
      // have one (the SQL Driver's PDChar).
      const std::optional<std::int32_t> size =
          type.Sized ? std::optional<std::int32_t>(8) : std::nullopt;
      auto w = TAnyEngine::Create(engine);
      w->AddField("F", static_cast<int>(t), size);
      w->Manager().SetDBName("Views");
      w->Manager().SetCreatorID("test");
      w->Manager().SetDatabaseType("DATA");
      w->CreateFile(dir.path(), "v.pdb");
      const std::size_t implicit = w->ImplicitField().empty() ? 0 : 1;
      int kept = 0;
      for (const Variant& v : Candidates(type)) {
        std::vector<Variant> values(implicit);
        values.push_back(v);
        try {
          w->AppendRecord(values);
          ++kept;
        } catch (const EConvertError&) {
          // out of this type's range: not a value its records can hold
        }
      }
      w->Close();
      EXPECT_GE(kept, 2);

      auto r = TAnyEngine::Create(engine);
      r->AddField("F", static_cast<int>(t), size);
      r->OpenRead(dir.path(), "v.pdb");
      const int field = r->FieldCount() - 1;
      int read = 0;
      while (r->NextRecord()) {
        ++read;
        std::string s1, s2, s3;
        const TAnyValueView fast = r->ValueView(field, s1);
        const TAnyValueView base = r->TAnyEngine::ValueView(field, s2);
        const Variant value = r->Value(field);
        const TAnyValueView want = ViewOfValue(value, type.Kind, s3);
        ExpectSameView(fast, want);
        ExpectSameView(base, want);
        if (implicit) {
          std::string s4;
          EXPECT_EQ(r->ValueView(0, s4).Integer, r->Value(0).AsInt64());
        }
      }
      EXPECT_EQ(read, kept);
      r->Close();
    }
  }
}

// A borrowed text is the field's own: it follows the walk, while a text kept
// in scratch stays as it was read.
TEST_F(ValueViews, BorrowedTextFollowsTheCursor) {
  auto w = TAnyEngine::Create("nsbasic");
  w->AddField("s", *w->TypeByName("NSBString"), std::nullopt);
  w->Manager().SetDBName("Views");
  w->Manager().SetCreatorID("test");
  w->Manager().SetDatabaseType("DATA");
  w->CreateFile(dir.path(), "b.pdb");
  const std::string long_text(40, 'x');
  w->AppendRecord(std::vector<Variant>{Variant(long_text)});
  w->AppendRecord(std::vector<Variant>{Variant(std::string("second"))});
  w->Close();

  auto r = TAnyEngine::Create("nsbasic");
  r->AddField("s", *r->TypeByName("NSBString"), std::nullopt);
  r->OpenRead(dir.path(), "b.pdb");
  ASSERT_TRUE(r->NextRecord());
  std::string scratch;
  const std::string first(r->ValueView(0, scratch).Text);
  EXPECT_EQ(first, long_text);
  ASSERT_TRUE(r->NextRecord());
  EXPECT_EQ(r->ValueView(0, scratch).Text, "second");
  EXPECT_FALSE(r->NextRecord());
}

// UnusedBytes after the walk's split, after the fields change, and on
// records with bytes over.
TEST_F(ValueViews, UnusedBytesCountsWhatTheCurrentFieldsLeave) {
  // Three records: two words and a byte over; two words exactly; three words.
  test::WriteAll(dir.File("u.pdb"),
                 test::PlainPdb("U", {{0, 1, 0, 2, 9}, {0, 3, 0, 4}, {0, 5, 0, 6, 0, 7}}));
  struct Step {
    int fields;  // pdtWord fields defined
    std::size_t unused[3];
  };
  const Step steps[] = {{1, {3, 2, 4}}, {2, {1, 0, 2}}, {3, {1, 0, 0}}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.fields);
    auto e = TAnyEngine::Create("generic");
    for (int i = 0; i < s.fields; ++i)
      e->AddField(std::string("w").append(std::to_string(i)), *e->TypeByName("pdtWord"), std::nullopt);
    e->OpenRead(dir.path(), "u.pdb");
    for (std::size_t rec = 0; rec < 3; ++rec) {
      if (s.fields == 3 && rec < 2) {
        // A record shorter than the fields does not split.
        EXPECT_THROW(e->NextRecord(), EPDBException);
        continue;
      }
      ASSERT_TRUE(e->NextRecord());
      EXPECT_EQ(e->UnusedBytes(), s.unused[rec]) << "record " << rec;
    }
  }
  // A field added after the split: the count is of the fields as they are
  // now, not as the walk split them.
  auto e = TAnyEngine::Create("generic");
  e->AddField("a", *e->TypeByName("pdtWord"), std::nullopt);
  e->OpenRead(dir.path(), "u.pdb");
  ASSERT_TRUE(e->NextRecord());
  EXPECT_EQ(e->UnusedBytes(), 3u);
  e->AddField("b", *e->TypeByName("pdtWord"), std::nullopt);
  EXPECT_EQ(e->UnusedBytes(), 1u);
  e->ClearFields();
  e->AddField("c", *e->TypeByName("pdtInteger"), std::nullopt);
  EXPECT_EQ(e->UnusedBytes(), 1u);
  // The next record is split with the new fields and counted from that split.
  ASSERT_TRUE(e->NextRecord());
  EXPECT_EQ(e->UnusedBytes(), 0u);
}

}  // namespace
}  // namespace corvane
