// Texts in their character set and the locale's collation: case-insensitive
// sorting and locating fold every letter of the set, memos sort as texts, a
// real locale orders the key sort as it orders pairs, and Locate of numbers
// (read in place) agrees with the tagged values' comparison.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"
#include "corvane/host/charset.h"

namespace corvane {
namespace {

// LC_COLLATE set for a scope; Active() is false when the system lacks it.
class CollationLocale {
 public:
  explicit CollationLocale(const char* name) : saved_(std::setlocale(LC_COLLATE, nullptr)) {
    active_ = std::setlocale(LC_COLLATE, name) != nullptr;
  }
  ~CollationLocale() { std::setlocale(LC_COLLATE, saved_.c_str()); }
  CollationLocale(const CollationLocale&) = delete;
  CollationLocale& operator=(const CollationLocale&) = delete;
  bool Active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

const char* const kRealLocales[] = {"en_US.UTF-8", "en_US.utf8", "de_DE.UTF-8", "de_DE.utf8"};

// Sets the first real locale the system has; false when none.
bool SetRealLocale(std::unique_ptr<CollationLocale>& guard) {
  for (const char* name : kRealLocales) {
    guard = std::make_unique<CollationLocale>(name);
    if (guard->Active()) return true;
  }
  guard.reset();
  return false;
}

class CollationTest : public ::testing::TestWithParam<int> {
 protected:
  void Build(TPDBVirtualDataSet& d, TFieldType text_type = ftString) {
    d.FieldDefs().Add("N", ftInteger);
    d.FieldDefs().Add("T", text_type, text_type == ftString ? 40 : 0);
    d.SetBufferCount(GetParam());
    d.Open();
  }
  void Fill(TPDBVirtualDataSet& d, const std::vector<const char*>& texts) {
    int n = 0;
    for (const char* t : texts) {
      d.Append();
      d.FieldByName("N").SetAsInteger(++n);
      if (t) d.FieldByName("T").SetAsString(t);
      d.Post();
    }
  }
  static std::vector<std::string> Texts(TPDBVirtualDataSet& d) {
    std::vector<std::string> out;
    for (d.First(); !d.Eof(); d.Next())
      out.push_back(d.FieldByName("T").IsNull() ? "<null>" : d.FieldByName("T").AsString());
    return out;
  }
  static std::vector<int> Numbers(TPDBVirtualDataSet& d) {
    std::vector<int> out;
    for (d.First(); !d.Eof(); d.Next()) out.push_back(d.FieldByName("N").AsInteger());
    return out;
  }
};

TEST(Charset, FoldsTheLettersOfEachSet) {
  EXPECT_EQ(FoldCase("\xC1gua \xC7\xE3o \x8A\x8C\x8E\x9F \xD7", TextCharset::Windows1252),
            "\xE1gua \xE7\xE3o \x9A\x9C\x9E\xFF \xD7");
  // Latin-1 has no letters at 0x80-0x9F: those bytes stay.
  EXPECT_EQ(FoldCase("\xC1\x8A\x9F", TextCharset::Latin1), "\xE1\x8A\x9F");
  EXPECT_EQ(
      FoldCase("\xC3\x81gua \xC3\x87 \xC5\xA0 \xC5\xB8 \xCE\xA3 \xD0\x96 \xFF", TextCharset::Utf8),
      "\xC3\xA1gua \xC3\xA7 \xC5\xA1 \xC3\xBF \xCF\x83 \xD0\xB6 \xFF");
  EXPECT_EQ(FoldCodePoint(U'\u0139'), U'\u013A');
  EXPECT_EQ(FoldCodePoint(U'\u017D'), U'\u017E');
  EXPECT_EQ(FoldCodePoint(U'\u0130'), U'\u0130');
  EXPECT_EQ(DecodeText("\x80\xE9", TextCharset::Windows1252, false), L"\u20AC\u00E9");
  EXPECT_EQ(DecodeText("\xC3\x89\xFF", TextCharset::Utf8, true),
            (std::wstring{L'\u00E9', static_cast<wchar_t>(0xDCFF)}));
}

TEST_P(CollationTest, CaseInsensitiveSortFoldsEveryLetterOfTheSet) {
  struct Case {
    TextCharset charset;
    std::vector<const char*> texts;  // b-words, one in upper case with an accent
    std::vector<std::string> sorted;
  };
  const Case cases[] = {
      {TextCharset::Windows1252,
       {"\xE1z",
        "\xC1"
        "b",
        "\xE7"
        "a",
        "\xC7"
        "c",
        "\x8A"
        "b",
        "\x9A"
        "a"},
       {"\x9A"
        "a",
        "\x8A"
        "b",
        "\xC1"
        "b",
        "\xE1z",
        "\xE7"
        "a",
        "\xC7"
        "c"}},
      {TextCharset::Utf8,
       {"\xC3\xA1z",
        "\xC3\x81"
        "b",
        "\xC3\xA7"
        "a",
        "\xC3\x87"
        "c"},
       {"\xC3\x81"
        "b",
        "\xC3\xA1z",
        "\xC3\xA7"
        "a",
        "\xC3\x87"
        "c"}},
  };
  for (const Case& c : cases) {
    TPDBVirtualDataSet d;
    d.SetCharset(c.charset);
    Build(d);
    Fill(d, c.texts);
    d.SortDataSet("T", true);
    EXPECT_EQ(Texts(d), c.sorted);
    std::vector<std::string> desc(c.sorted.rbegin(), c.sorted.rend());
    d.SortDataSet("T", true, true);
    EXPECT_EQ(Texts(d), desc);
  }
}

TEST_P(CollationTest, CaseInsensitiveLocateFindsTheOtherCase) {
  TPDBVirtualDataSet d;
  Build(d);
  Fill(d, {"pera", "\xC1GUA",
           "\xE7"
           "a\xE7\xC3O"});
  d.Last();
  EXPECT_TRUE(d.Locate("T", {Variant("\xE1gua")}, {loCaseInsensitive}));
  EXPECT_EQ(d.FieldByName("N").AsInteger(), 2);
  EXPECT_TRUE(d.Locate("T",
                       {Variant("\xC7"
                                "A\xC7")},
                       {loCaseInsensitive, loPartialKey}));
  EXPECT_EQ(d.FieldByName("N").AsInteger(), 3);
  EXPECT_FALSE(d.Locate("T", {Variant("\xE1gua")}, {}));
}

TEST_P(CollationTest, MemosSortAsTexts) {
  TPDBVirtualDataSet d;
  Build(d, ftMemo);
  const std::string long_b = "b" + std::string(5000, 'x');
  const std::string long_a = "a" + std::string(5000, 'x');
  Fill(d, {long_b.c_str(), "B", nullptr, long_a.c_str(), "\xC1", "a"});
  d.SortDataSet("T");
  EXPECT_EQ(Numbers(d), (std::vector<int>{3, 2, 6, 4, 1, 5}));
  d.SortDataSet("T", true, true);
  EXPECT_EQ(Numbers(d), (std::vector<int>{5, 1, 2, 4, 6, 3}));
  d.SortDataSet("N;T");
  EXPECT_EQ(Numbers(d), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_P(CollationTest, ARealLocaleOrdersTheKeySortAsItOrdersPairs) {
  std::unique_ptr<CollationLocale> guard;
  if (!SetRealLocale(guard)) GTEST_SKIP() << "no en_US.UTF-8 or de_DE.UTF-8 locale";
  for (TextCharset cs : {TextCharset::Windows1252, TextCharset::Utf8}) {
    TPDBVirtualDataSet d;
    d.SetCharset(cs);
    Build(d);
    Fill(d, {"banana", "Apricot", "cherry", "Banana", "apple"});
    d.SortDataSet("T");
    EXPECT_EQ(Texts(d),
              (std::vector<std::string>{"apple", "Apricot", "banana", "Banana", "cherry"}));
    d.SortDataSet("T", false, true);
    EXPECT_EQ(Texts(d),
              (std::vector<std::string>{"cherry", "Banana", "banana", "Apricot", "apple"}));
  }
  // An accented letter sorts beside its base letter, in the file's character set.
  TPDBVirtualDataSet d;
  Build(d);
  Fill(d, {"f",
           "\xE9"
           "a",
           "e", "z"});
  d.SortDataSet("T");
  EXPECT_EQ(Texts(d), (std::vector<std::string>{"e",
                                                "\xE9"
                                                "a",
                                                "f", "z"}));
}

// The key sort against the same comparison asked pair by pair.
class PairwiseSort : public TPDBVirtualDataSet {
 protected:
  int CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b) override {
    return TPDBVirtualDataSet::CompareRecords(a, b);
  }
};

void CheckShortcut(TextCharset cs, TFieldType type) {
  const std::vector<std::string> texts = cs == TextCharset::Utf8
                                             ? std::vector<std::string>{"\xC3\xA9t\xC3\xA9",
                                                                        "\xC3\x89T\xC3\x89",
                                                                        "ete",
                                                                        "Et",
                                                                        "\xC3\xA9",
                                                                        "",
                                                                        "\xFF\xFE",
                                                                        "e\xCC\x81t"}
                                             : std::vector<std::string>{"\xE9t\xE9",
                                                                        "\xC9T\xC9",
                                                                        "ete",
                                                                        "Et",
                                                                        "\xE9",
                                                                        "",
                                                                        "\x8A",
                                                                        "\x9A"
                                                                        "a"};
  std::mt19937 rng(11);
  TPDBVirtualDataSet fast;
  PairwiseSort slow;
  for (TPDBVirtualDataSet* d : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
    d->SetCharset(cs);
    d->FieldDefs().Add("N", ftInteger);
    d->FieldDefs().Add("T", type, type == ftString ? 20 : 0);
    d->Open();
  }
  for (int i = 0; i < 200; ++i) {
    const std::size_t pick = rng() % (texts.size() + 1);
    for (TPDBVirtualDataSet* d : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
      d->Append();
      d->FieldByName("N").SetAsInteger(i);
      if (pick < texts.size()) d->FieldByName("T").SetAsString(texts[pick]);
      d->Post();
    }
  }
  for (int mode = 0; mode < 4; ++mode) {
    std::vector<int> got[2];
    int k = 0;
    for (TPDBVirtualDataSet* d : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
      d->SortDataSet("T", mode & 1, mode & 2);
      for (d->First(); !d->Eof(); d->Next()) got[k].push_back(d->FieldByName("N").AsInteger());
      ++k;
    }
    EXPECT_EQ(got[0], got[1]) << "mode " << mode;
  }
}

TEST(CollationShortcutTest, KeySortGivesThePairwiseOrderInEverySetAndLocale) {
  for (int real = 0; real < 2; ++real) {
    std::unique_ptr<CollationLocale> guard;
    if (real && !SetRealLocale(guard)) continue;
    for (TextCharset cs : {TextCharset::Windows1252, TextCharset::Latin1, TextCharset::Utf8}) {
      for (TFieldType type : {ftString, ftMemo}) {
        SCOPED_TRACE(testing::Message() << "locale " << real << " charset " << static_cast<int>(cs)
                                        << " type " << type);
        CheckShortcut(cs, type);
      }
    }
  }
}

// Locate of a number reads the rows in place; its verdicts are those of the
// field's value compared with the key as tagged values.
TEST_P(CollationTest, LocatingNumbersAgreesWithTheTaggedValues) {
  TPDBVirtualDataSet d;
  d.FieldDefs().Add("N", ftInteger);
  d.FieldDefs().Add("S", ftSmallint);
  d.FieldDefs().Add("W", ftWord);
  d.FieldDefs().Add("L", ftLargeint);
  d.FieldDefs().Add("F", ftFloat);
  d.SetBufferCount(GetParam());
  d.Open();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::int64_t big = (std::int64_t{1} << 53) + 1;
  struct Row {
    int s, w;
    std::int64_t l;
    double f;
    bool null;
  };
  const Row rows[] = {{-5, 65535, big, 2.0, false},
                      {7, 3, -1, -0.0, false},
                      {0, 0, 0, nan, false},
                      {0, 0, 0, 0, true},
                      {3, 7, 9007199254740992, 2.5, false}};
  int n = 0;
  for (const Row& r : rows) {
    d.Append();
    d.FieldByName("N").SetAsInteger(++n);
    if (!r.null) {
      d.FieldByName("S").SetAsInteger(r.s);
      d.FieldByName("W").SetAsInteger(r.w);
      d.FieldByName("L").SetAsLargeInt(r.l);
      d.FieldByName("F").SetAsFloat(r.f);
    }
    d.Post();
  }
  struct Case {
    const char* field;
    Variant key;
    int found;  // the row's N, 0 for none
  };
  const Case cases[] = {
      {"S", Variant(-5LL), 1},
      {"S", Variant(7.0), 2},
      {"S", Variant(7.5), 0},
      {"W", Variant(65535LL), 1},
      {"W", Variant(-1LL), 0},
      {"L", Variant(static_cast<long long>(big)), 1},
      {"L", Variant(static_cast<double>(big)), 5},  // the double is 2^53
      {"F", Variant(2LL), 1},
      {"F", Variant(0LL), 2},  // -0 equals 0
      {"F", Variant(nan), 3},
      {"F", Variant(2.5), 5},
      {"F", Variant(static_cast<long long>(big)), 0},  // no double is 2^53 + 1
      {"F", Variant::Null(), 4},
      {"N", Variant(5.0), 5},
      {"N", Variant("3"), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.key.AsString());
    // From the last row but one, so the current row is never the answer by chance.
    d.Last();
    d.Prior();
    const int before = d.FieldByName("N").AsInteger();
    const bool found = d.Locate(c.field, {c.key});
    if (c.found == before) {
      EXPECT_TRUE(found);
      continue;
    }
    EXPECT_EQ(found, c.found != 0);
    if (found) {
      EXPECT_EQ(d.FieldByName("N").AsInteger(), c.found);
    }
    // The tagged values' own verdict, row by row, agrees.
    int expected = 0;
    for (d.First(); !d.Eof(); d.Next()) {
      if (d.FieldByName(c.field).AsVariant() == c.key) {
        expected = d.FieldByName("N").AsInteger();
        break;
      }
    }
    EXPECT_EQ(expected, c.found);
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, CollationTest, ::testing::Values(1, 20));

}  // namespace
}  // namespace corvane
