// Sorting the in-memory rows: order per field type, nulls, ties, several
// fields, descending and case-insensitive, the cursor and bookmarks after a
// sort, the sort field list, and a replaced comparison.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"

namespace corvane {
namespace {

class SortTest : public ::testing::TestWithParam<int> {
 protected:
  SortTest() {
    ds.NewField<TIntegerField>("N");
    ds.NewField<TStringField>("Name", 10);
    ds.NewField<TFloatField>("Price");
    ds.NewField<TSmallintField>("Small");
    ds.NewField<TWordField>("Word");
    ds.NewField<TLargeintField>("Big");
    ds.NewField<TBooleanField>("Ok");
    ds.NewField<TDateField>("Day");
    ds.NewField<TWideStringField>("Wide", 6);
    ds.NewField<TBlobField>("Blob");
    ds.NewField<TIntegerField>("Calc", -1, fkCalculated);
    ds.SetBufferCount(GetParam());
    ds.Open();
  }
  // A row N with its name (nullptr: null) and price (NaN: null).
  void Add(const char* name, double price) {
    ds.Append();
    F("N").SetAsInteger(++n_);
    if (name) F("Name").SetAsString(name);
    if (!std::isnan(price)) F("Price").SetAsFloat(price);
    ds.Post();
  }
  TField& F(const char* name) { return ds.FieldByName(name); }
  int N() { return F("N").AsInteger(); }
  std::vector<int> Order() {
    std::vector<int> out;
    for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(N());
    return out;
  }
  TPDBVirtualDataSet ds;
  int n_ = 0;
};

const double kNull = std::numeric_limits<double>::quiet_NaN();

TEST_P(SortTest, TextsInEveryModeWithNullsAndTies) {
  Add("pear", 1);    // 1
  Add("Apple", 2);   // 2
  Add(nullptr, 3);   // 3
  Add("apple", 4);   // 4
  Add("pear", 5);    // 5
  Add("banana", 6);  // 6
  Add(nullptr, 7);   // 7
  struct Case {
    bool ci, desc;
    std::vector<int> order;
  };
  const Case cases[] = {
      {false, false, {3, 7, 2, 4, 6, 1, 5}},
      {false, true, {5, 1, 6, 4, 2, 7, 3}},
      {true, false, {3, 7, 2, 4, 6, 1, 5}},
      {true, true, {5, 1, 6, 4, 2, 7, 3}},
  };
  for (const Case& c : cases) {
    ds.SortDataSet("Name", c.ci, c.desc);
    EXPECT_EQ(Order(), c.order) << c.ci << c.desc;
  }
  // Case decides only without case-insensitivity: "Zed" before "apple" bytewise.
  Add("Zed", 8);
  ds.SortDataSet("Name");
  EXPECT_EQ(Order(), (std::vector<int>{3, 7, 2, 8, 4, 6, 1, 5}));
  ds.SortDataSet("Name", true);
  EXPECT_EQ(Order(), (std::vector<int>{3, 7, 2, 4, 6, 1, 5, 8}));
}

TEST_P(SortTest, SeveralFieldsAndFloats) {
  Add("b", 2.5);
  Add("a", -1);
  Add("b", 0.5);
  Add("a", kNull);
  Add("b", 2.5);
  ds.SortDataSet("Name;Price");
  EXPECT_EQ(Order(), (std::vector<int>{4, 2, 3, 1, 5}));
  ds.SortDataSet("Price", false, true);
  EXPECT_EQ(Order(), (std::vector<int>{5, 1, 3, 2, 4}));
  ds.SortDataSet(" Price ; Name ");
  EXPECT_EQ(Order(), (std::vector<int>{4, 2, 3, 1, 5}));
}

TEST_P(SortTest, EveryStoredTypeOrdersByValue) {
  struct Row {
    int small;
    int word;
    std::int64_t big;
    bool ok;
    double day;
    const char* wide;
  };
  const Row rows[] = {
      {5, 65535, -5000000000LL, true, 45000, "b\xE9"},
      {-300, 2, 7, false, 100, "bz"},
      {0, 40000, 5000000000LL, true, 2, "a"},
  };
  for (const Row& r : rows) {
    ds.Append();
    F("N").SetAsInteger(++n_);
    F("Small").SetAsInteger(r.small);
    F("Word").SetAsInteger(r.word);
    F("Big").SetAsLargeInt(r.big);
    F("Ok").SetAsBoolean(r.ok);
    F("Day").SetAsDateTime(r.day);
    F("Wide").SetAsString(r.wide);
    ds.Post();
  }
  struct Case {
    const char* field;
    std::vector<int> order;
  };
  for (const Case& c : {Case{"Small", {2, 3, 1}}, Case{"Word", {2, 3, 1}}, Case{"Big", {1, 2, 3}},
                        Case{"Ok", {2, 1, 3}}, Case{"Day", {3, 2, 1}}, Case{"Wide", {3, 2, 1}}}) {
    ds.SortDataSet(c.field);
    EXPECT_EQ(Order(), c.order) << c.field;
  }
}

TEST_P(SortTest, NaNSortsFirstAndKeepsTheOrderTotal) {
  // Values equal to everything would make the comparison inconsistent.
  const double values[] = {3, kNull, 1, std::nan(""), 2, -std::numeric_limits<double>::infinity()};
  for (double v : values) {
    ds.Append();
    F("N").SetAsInteger(++n_);
    F("Price").SetAsFloat(v);
    ds.Post();
  }
  ds.SortDataSet("Price");
  EXPECT_EQ(Order(), (std::vector<int>{2, 4, 6, 3, 5, 1}));
}

TEST_P(SortTest, CursorStaysOnItsRowAndBookmarksKeepCreationOrder) {
  for (const char* s : {"e", "d", "c", "b", "a", "f", "g"}) Add(s, 0);
  ds.First();
  ds.Next();
  ds.Next();  // N = 3, "c"
  TBookmark three = ds.GetBookmark();
  ds.Last();
  TBookmark seven = ds.GetBookmark();
  ds.GotoBookmark(three);
  ds.SortDataSet("Name", false, true);
  EXPECT_EQ(N(), 3);
  EXPECT_EQ(ds.RecNo(), 5);
  ds.Next();
  EXPECT_EQ(N(), 4);
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(N(), 2);
  // Row 7 now comes first but was created later.
  EXPECT_EQ(ds.CompareBookmarks(seven, three), 1);
  ds.GotoBookmark(seven);
  EXPECT_EQ(ds.RecNo(), 1);
  // A pending edit is posted before sorting.
  ds.Edit();
  F("Name").SetAsString("zz");
  ds.SortDataSet("Name");
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(N(), 7);
  EXPECT_EQ(ds.RecNo(), 7);
}

TEST_P(SortTest, SortFieldListLivesUntilCloseAndRefusesWhatCannotSort) {
  ds.SortDataSet("Name;Price");  // no rows: nothing moves, the list is kept
  EXPECT_TRUE(ds.GetIsIndexField(&F("Name")));
  EXPECT_TRUE(ds.GetIsIndexField(&F("Price")));
  EXPECT_FALSE(ds.GetIsIndexField(&F("N")));
  for (const char* bad : {"Name;Blob", "Calc"}) {
    try {
      ds.SortDataSet(bad);
      FAIL() << bad;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Type mismatch for field '") + (bad[0] == 'C' ? "Calc" : "Blob") + "'");
    }
    EXPECT_FALSE(ds.GetIsIndexField(&F("Name")));
  }
  EXPECT_THROW(ds.SortDataSet("Name;Missing"), EDatabaseError);
  EXPECT_FALSE(ds.GetIsIndexField(&F("Name")));
  ds.SortDataSet("N");
  EXPECT_TRUE(ds.GetIsIndexField(&F("N")));
  ds.Close();
  EXPECT_FALSE(ds.GetIsIndexField(&F("N")));
}

TEST_P(SortTest, SortingFollowsTheFilterAndKeepsHiddenRows) {
  for (const char* s : {"d", "a", "c", "b"}) Add(s, 0);
  ds.SetOnFilterRecord(
      [](TDataSet& d, bool& accept) { accept = d.FieldByName("N").AsInteger() != 3; });
  ds.SetFiltered(true);
  ds.SortDataSet("Name");
  EXPECT_EQ(Order(), (std::vector<int>{2, 4, 1}));
  ds.SetFiltered(false);
  EXPECT_EQ(Order(), (std::vector<int>{2, 4, 3, 1}));
}

// A replaced comparison: by N, highest first.
class ByNDescending : public TPDBVirtualDataSet {
 public:
  using TPDBVirtualDataSet::Sort;

 protected:
  int CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b) override {
    std::int32_t x, y;
    std::memcpy(&x, a.Data().data() + 1, 4);
    std::memcpy(&y, b.Data().data() + 1, 4);
    return y < x ? -1 : (x < y ? 1 : 0);
  }
};

TEST(SortReplacedTest, SortUsesTheReplacedComparison) {
  ByNDescending ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  for (int v : {2, 9, 4}) {
    ds.Append();
    ds.FieldByName("N").SetAsInteger(v);
    ds.Post();
  }
  ds.Sort();
  std::vector<int> got;
  for (ds.First(); !ds.Eof(); ds.Next()) got.push_back(ds.FieldByName("N").AsInteger());
  EXPECT_EQ(got, (std::vector<int>{9, 4, 2}));
}

// The same order asked pair by pair: the sort cannot take its shortcut.
class PairwiseSort : public TPDBVirtualDataSet {
 protected:
  int CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b) override {
    return TPDBVirtualDataSet::CompareRecords(a, b);
  }
};

// Eight texts per pool.
void CheckShortcut(const std::vector<const char*>& texts) {
  std::mt19937 rng(5);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  TPDBVirtualDataSet fast;
  PairwiseSort slow;
  for (TPDBVirtualDataSet* ds : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
    auto& defs = ds->FieldDefs();
    defs.Add("N", ftInteger);
    defs.Add("S", ftString, 20);
    defs.Add("F", ftFloat);
    defs.Add("I", ftSmallint);
    defs.Add("B", ftLargeint);
    defs.Add("G", ftGuid);
    ds->Open();
  }
  const double floats[] = {
      0.0,   -0.0, 1.5, -1.5, std::nan(""), -std::nan(""), std::numeric_limits<double>::infinity(),
      -1e300};
  for (int i = 0; i < 300; ++i) {
    const int s = pick(9), f = pick(9), small = pick(5) - 2, big = pick(4);
    for (TPDBVirtualDataSet* ds : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
      ds->Append();
      ds->FieldByName("N").SetAsInteger(i);
      if (s < 8) ds->FieldByName("S").SetAsString(texts[s]);
      if (f < 8) ds->FieldByName("F").SetAsFloat(floats[f]);
      if (small != 2) ds->FieldByName("I").SetAsInteger(small * 16000);
      const std::int64_t bigs[] = {INT64_MIN, INT64_MAX, -7};
      if (big != 3) ds->FieldByName("B").SetAsLargeInt(bigs[big]);
      if (s < 8) ds->FieldByName("G").SetAsString(std::string("{") + char('A' + s % 3) + "}");
      ds->Post();
    }
  }
  for (const char* fields : {"S", "F", "I", "B", "G", "S;F", "F;S", "I;B;S", "G;N"}) {
    for (int mode = 0; mode < 4; ++mode) {
      std::vector<int> got[2];
      int k = 0;
      for (TPDBVirtualDataSet* ds : {&fast, static_cast<TPDBVirtualDataSet*>(&slow)}) {
        ds->SortDataSet(fields, mode & 1, mode & 2);
        for (int r = 0; r < ds->MemoryRecordCount(); ++r) {
          std::int32_t n;
          std::memcpy(&n, ds->GetMemoryRecord(r).Data().data() + 1, 4);
          got[k].push_back(n);
        }
        ++k;
      }
      EXPECT_EQ(got[0], got[1]) << fields << " mode " << mode;
    }
  }
}

TEST(SortKeysTest, ShortcutGivesThePairwiseOrder) {
  CheckShortcut(
      {"customer a", "customer A", "customer ab", "Customer", "c", "", "customer b", "customer"});
  // A long start shared by every text, in either case.
  CheckShortcut({"Customer line 10", "customer line 9", "CUSTOMER LINE 1", "customer line 10a",
                 "customer line", "Customer Line 2", "customer line 100", "customer line 09"});
}

INSTANTIATE_TEST_SUITE_P(Windows, SortTest, ::testing::Values(1, 20));

}  // namespace
}  // namespace corvane
