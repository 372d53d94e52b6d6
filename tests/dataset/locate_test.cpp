// Bookmarks, the record filter, record numbers and Locate on the in-memory
// dataset, at narrow and wide windows of record buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"

namespace corvane {
namespace {

class LocateTest : public ::testing::TestWithParam<int> {
 protected:
  LocateTest() {
    ds.NewField<TIntegerField>("N");
    ds.NewField<TStringField>("Name", 12);
    auto& code = ds.NewField<TStringField>("Code", 4);
    code.SetFixedChar(true);
    ds.NewField<TFloatField>("Price");
    ds.NewField<TStringField>("Upper", 12, fkCalculated);
    ds.OnCalcFields = [this](TDataSet&) {
      F("Upper").SetAsString(UpperCase(F("Name").AsString()));
    };
    ds.SetBufferCount(GetParam());
    ds.Open();
    const char* names[] = {"apple",   "Banana", "cherry", "banana",
                           "Apricot", "date",   "fig",    "grape"};
    int n = 1;
    for (const char* name : names) {
      ds.Append();
      F("N").SetAsInteger(n);
      F("Name").SetAsString(name);
      F("Code").SetAsString(std::string(name).substr(0, 2));
      F("Price").SetAsFloat(n * 1.5);
      ds.Post();
      ++n;
    }
    ds.First();
  }
  TField& F(const char* name) { return ds.FieldByName(name); }
  int N() { return F("N").AsInteger(); }
  std::vector<int> Shown() {
    std::vector<int> out;
    for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(N());
    return out;
  }
  void MoveTo(int n) {
    ds.First();
    while (!ds.Eof() && N() != n) ds.Next();
    ASSERT_EQ(N(), n);
  }
  TPDBVirtualDataSet ds;
};

TEST_P(LocateTest, BookmarksLeadBackAndOrderByCreation) {
  MoveTo(6);
  TBookmark six = ds.GetBookmark();
  MoveTo(2);
  TBookmark two = ds.GetBookmark();
  ds.GotoBookmark(six);
  EXPECT_EQ(N(), 6);
  ds.Next();
  EXPECT_EQ(N(), 7);
  ds.GotoBookmark(two);
  EXPECT_EQ(N(), 2);
  // A row inserted first is created last and compares greater.
  ds.First();
  ds.Insert();
  F("N").SetAsInteger(9);
  ds.Post();
  TBookmark nine = ds.GetBookmark();
  EXPECT_EQ(ds.CompareBookmarks(nine, six), 1);
  EXPECT_EQ(ds.CompareBookmarks(two, six), -1);
  EXPECT_EQ(ds.CompareBookmarks(six, six), 0);
  EXPECT_EQ(ds.CompareBookmarks({}, six), -1);
  EXPECT_EQ(ds.CompareBookmarks(six, {}), 1);
  EXPECT_EQ(ds.CompareBookmarks({}, {}), 0);
  // Valid: a row ID given out, even when its row is gone; not "no row", not
  // an ID never given, not on a closed dataset.
  MoveTo(6);
  ds.Delete();
  EXPECT_TRUE(ds.BookmarkValid(six));
  TBookmark none(4), future(4);
  const std::int32_t no_row = kNoRecordID, later = ds.LastID() + 1;
  std::memcpy(none.data(), &no_row, 4);
  std::memcpy(future.data(), &later, 4);
  EXPECT_FALSE(ds.BookmarkValid(none));
  EXPECT_FALSE(ds.BookmarkValid(future));
  EXPECT_FALSE(ds.BookmarkValid({}));
  ds.Close();
  EXPECT_FALSE(ds.BookmarkValid(two));
}

TEST_P(LocateTest, FilterShowsAcceptedRowsOnly) {
  int calls = 0;
  ds.SetOnFilterRecord([&](TDataSet& d, bool& accept) {
    ++calls;
    EXPECT_EQ(d.State(), dsFilter);
    accept = d.FieldByName("Price").AsFloat() > 4 && d.FieldByName("Upper").AsString() != "FIG";
  });
  EXPECT_EQ(calls, 0);  // not filtered yet: the handler is not asked
  MoveTo(2);
  ds.SetFiltered(true);
  EXPECT_FALSE(ds.IsSequenced());
  EXPECT_EQ(N(), 3);  // moved to the first row shown
  EXPECT_EQ(Shown(), (std::vector<int>{3, 4, 5, 6, 8}));
  MoveTo(5);
  ds.SetFiltered(true);  // unchanged: the cursor stays
  EXPECT_EQ(N(), 5);
  // A new handler on a filtered dataset applies at once, from the first row.
  ds.SetOnFilterRecord(
      [](TDataSet& d, bool& accept) { accept = d.FieldByName("N").AsInteger() % 2 == 0; });
  EXPECT_EQ(N(), 2);
  EXPECT_EQ(Shown(), (std::vector<int>{2, 4, 6, 8}));
  // Deleting while filtered lands on the nearest earlier row shown.
  MoveTo(8);
  ds.Delete();
  EXPECT_EQ(N(), 6);
  MoveTo(4);
  ds.Delete();
  EXPECT_EQ(N(), 2);
  EXPECT_EQ(Shown(), (std::vector<int>{2, 6}));
  ds.SetFiltered(false);
  EXPECT_TRUE(ds.IsSequenced());
  EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 3, 5, 6, 7}));
}

TEST_P(LocateTest, FilterThatRaisesGoesToTheExceptionHandler) {
  std::vector<std::string> handled;
  ExceptionHandlerHook old = SetExceptionHandlerHook([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      handled.push_back(ex.what());
    }
  });
  ds.SetOnFilterRecord([](TDataSet& d, bool& accept) {
    const int n = d.FieldByName("N").AsInteger();
    accept = n != 3;  // decided before raising: the verdict stands
    if (n == 3 || n == 4) throw EConvertError("bad row " + std::to_string(n));
  });
  ds.SetFiltered(true);
  EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 4, 5, 6, 7, 8}));
  ASSERT_GE(handled.size(), 2u);
  EXPECT_EQ(handled[0], "bad row 3");
  EXPECT_EQ(ds.State(), dsBrowse);
  // A handler may not replace itself while it runs.
  handled.clear();
  ds.SetOnFilterRecord(
      [](TDataSet& d, bool&) { static_cast<TPDBVirtualDataSet&>(d).SetOnFilterRecord(nullptr); });
  EXPECT_FALSE(handled.empty());
  EXPECT_EQ(handled[0], dbmsg::SFilterInUse);
  EXPECT_TRUE(ds.OnFilterRecord());
  SetExceptionHandlerHook(old);
}

TEST_P(LocateTest, RecNoMovesOnlyToRowsThatExistAndAreShown) {
  MoveTo(4);
  ds.SetRecNo(0);
  EXPECT_EQ(N(), 4);
  ds.SetRecNo(9);
  EXPECT_EQ(N(), 4);
  ds.SetRecNo(7);
  EXPECT_EQ(N(), 7);
  EXPECT_EQ(ds.RecNo(), 7);
  ds.Prior();
  EXPECT_EQ(N(), 6);
  ds.SetOnFilterRecord(
      [](TDataSet& d, bool& accept) { accept = d.FieldByName("N").AsInteger() != 2; });
  ds.SetFiltered(true);
  MoveTo(5);
  ds.SetRecNo(2);  // hidden
  EXPECT_EQ(N(), 5);
  ds.SetRecNo(1);
  EXPECT_EQ(N(), 1);
  ds.Next();
  EXPECT_EQ(N(), 3);
}

TEST_P(LocateTest, LocateFindsByOneOrSeveralKeys) {
  struct Case {
    const char* fields;
    std::vector<Variant> values;
    TLocateOptions options;
    int found;  // 0: none
  };
  const Case cases[] = {
      {"N", {6}, {}, 6},
      {"Price", {7.5}, {}, 5},
      {"Name", {"banana"}, {}, 4},
      {"Name", {"BANANA"}, {loCaseInsensitive}, 2},
      {"Name", {"BANANA"}, {}, 0},
      {"Name", {"ap"}, {loPartialKey, loCaseInsensitive}, 1},
      {"Name", {"Ap"}, {loPartialKey}, 5},
      {"Name", {"AP"}, {loPartialKey}, 0},
      {"Name", {"ap"}, {}, 0},
      {"Name;N", {"banana", 2}, {loCaseInsensitive}, 2},
      {"Name;N", {"banana", 4}, {loCaseInsensitive}, 4},
      {"Name;N", {"banana", 5}, {loCaseInsensitive}, 0},
      {"N;Price", {3, 4.5}, {}, 3},
      {"Upper", {"FIG"}, {}, 7},  // a calculated field
      {"Upper", {"gr"}, {loPartialKey, loCaseInsensitive}, 8},
      {"Code", {"gr"}, {}, 8},
      {"Code", {"g"}, {loPartialKey}, 0},  // partial applies to ftString only
      {"Name", {"zebra"}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fields) + " = " + c.values[0].AsString());
    MoveTo(3);
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet&) { ++scrolls; };
    const bool found = c.values.size() == 1 ? ds.Locate(c.fields, c.values[0], c.options)
                                            : ds.Locate(c.fields, c.values, c.options);
    ds.AfterScroll = nullptr;
    EXPECT_EQ(found, c.found != 0);
    EXPECT_EQ(N(), c.found ? c.found : 3);
    EXPECT_EQ(scrolls, c.found ? 1 : 0);
    ds.Next();  // the window around the row is whole
    EXPECT_EQ(N(), c.found ? std::min(c.found + 1, 8) : 4);
  }
}

TEST_P(LocateTest, LocateOnTheCurrentRowDoesNotMove) {
  MoveTo(4);
  int scrolls = 0;
  ds.AfterScroll = [&](TDataSet&) { ++scrolls; };
  EXPECT_TRUE(ds.Locate("Name", Variant("banana"), {loCaseInsensitive}));  // row 2 matches too
  EXPECT_EQ(N(), 4);
  EXPECT_EQ(scrolls, 1);
}

TEST_P(LocateTest, LocateSkipsRowsTheFilterHides) {
  ds.SetOnFilterRecord(
      [](TDataSet& d, bool& accept) { accept = d.FieldByName("N").AsInteger() > 2; });
  ds.SetFiltered(true);
  MoveTo(6);
  EXPECT_TRUE(ds.Locate("Name", Variant("banana"), {loCaseInsensitive}));
  EXPECT_EQ(N(), 4);
  EXPECT_FALSE(ds.Locate("Name", Variant("apple"), {}));
  EXPECT_EQ(N(), 4);
  EXPECT_THROW(ds.Locate("Nope", Variant(1)), EDatabaseError);
  EXPECT_THROW(ds.Locate("N;Name", Variant(1)), EListError);
}

TEST(LocateEmptyTest, NothingToFind) {
  TPDBVirtualDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  EXPECT_FALSE(ds.Locate("N", Variant(1)));
  ds.SetRecNo(1);
  EXPECT_TRUE(ds.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Windows, LocateTest, ::testing::Values(1, 20));

}  // namespace
}  // namespace corvane
