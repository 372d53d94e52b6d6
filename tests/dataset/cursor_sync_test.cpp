// The store's cursor follows the row being worked on whatever the window
// size: posting and deleting under a filter that changed its mind, refilling
// the window, bookmarks that lead nowhere, the record-ID index through
// inserts, moves and deletes, calculated fields that write data fields, and
// blob fields closed when an edit ends.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "probe_dataset.h"

namespace corvane {
namespace {

using testing::ProbeDataSet;

class CursorSyncTest : public ::testing::TestWithParam<int> {
 protected:
  // Rows N = 1..count, the cursor on the first.
  void Open(int count) {
    ds.FieldDefs().Add("N", ftInteger);
    ds.SetBufferCount(GetParam());
    ds.Open();
    for (int i = 1; i <= count; ++i) {
      ds.Append();
      ds.FieldByName("N").SetAsInteger(i);
      ds.Post();
    }
    ds.First();
  }
  int N() { return ds.FieldByName("N").AsInteger(); }
  // N of the stored row at a list position.
  int StoredN(int pos) {
    std::int32_t v;
    std::memcpy(&v, ds.GetMemoryRecord(pos).Data().data() + 1, 4);
    return v;
  }
  std::vector<int> Stored() {
    std::vector<int> out;
    for (int i = 0; i < ds.MemoryRecordCount(); ++i) out.push_back(StoredN(i));
    return out;
  }
  void MoveTo(int n) {
    for (ds.First(); !ds.Eof() && N() != n; ds.Next()) {
    }
    ASSERT_EQ(N(), n);
  }
  ProbeDataSet ds;
};

TEST_P(CursorSyncTest, DeleteUnderAChangedFilterRemovesTheActiveRow) {
  Open(8);
  std::set<int> hidden;
  ds.accept = [&](int pos) { return hidden.count(StoredN(pos)) == 0; };
  ds.SetFiltered(true);
  MoveTo(3);
  hidden.insert(3);  // the filter no longer shows the row the cursor is on
  ds.Delete();
  EXPECT_EQ(Stored(), (std::vector<int>{1, 2, 4, 5, 6, 7, 8}));
  EXPECT_EQ(N(), 4);
}

TEST_P(CursorSyncTest, PostUnderAChangedFilterWritesTheActiveRow) {
  Open(8);
  std::set<int> hidden;
  ds.accept = [&](int pos) { return hidden.count(StoredN(pos)) == 0; };
  ds.SetFiltered(true);
  MoveTo(3);
  hidden.insert(3);
  ds.Edit();
  ds.FieldByName("N").SetAsInteger(30);
  ds.Post();
  EXPECT_EQ(Stored(), (std::vector<int>{1, 2, 30, 4, 5, 6, 7, 8}));
  EXPECT_EQ(N(), 30);
}

TEST_P(CursorSyncTest, ResyncKeepsTheActiveRow) {
  Open(10);
  ds.Next();
  ds.Next();
  ASSERT_EQ(N(), 3);
  ds.Resync(0);
  EXPECT_EQ(N(), 3);
  EXPECT_EQ(ds.RecNo(), 3);
  ds.Next();
  EXPECT_EQ(N(), 4);
}

TEST_P(CursorSyncTest, BookmarkOfADeletedRowLeavesTheCursorWhereItWas) {
  Open(8);
  MoveTo(4);
  TBookmark gone = ds.Bookmark();
  ds.Delete();
  MoveTo(2);
  ds.GotoBookmark(gone);
  EXPECT_EQ(N(), 2);
  ds.Next();
  EXPECT_EQ(N(), 3);
}

TEST_P(CursorSyncTest, RecordIDIndexFollowsInsertsMovesAndDeletes) {
  Open(0);
  std::mt19937 rng(7);
  for (int step = 0; step < 400; ++step) {
    int count = ds.MemoryRecordCount();
    int op = static_cast<int>(rng() % 4);
    if (op == 0 || count == 0) {
      ds.InsertRecord(static_cast<int>(rng() % static_cast<unsigned>(count + 1)));
    } else if (op == 1) {
      ds.AddRecord();
    } else if (op == 2) {
      ds.GetMemoryRecord(static_cast<int>(rng() % static_cast<unsigned>(count)))
          .SetIndex(static_cast<int>(rng() % static_cast<unsigned>(count)));
    } else {
      // Through the dataset, as Delete removes rows.
      ds.InternalFirst();
      ds.First();
      for (int k = static_cast<int>(rng() % static_cast<unsigned>(count)); k > 0; --k) ds.Next();
      ds.Delete();
    }
    for (int i = 0; i < ds.MemoryRecordCount(); ++i) {
      TMemoryRecord& row = ds.GetMemoryRecord(i);
      ASSERT_EQ(row.GetIndex(), i) << "step " << step;
      ASSERT_EQ(ds.IndexOfRecordID(row.RecordID()), i) << "step " << step;
      ASSERT_EQ(ds.FindRecordID(row.RecordID()), &row);
    }
  }
}

TEST_P(CursorSyncTest, CalculatedFieldsCannotWriteDataFields) {
  auto& n = ds.NewField<TIntegerField>("N");
  auto& other = ds.NewField<TIntegerField>("Other");
  auto& twice = ds.NewField<TIntegerField>("Twice", -1, fkCalculated);
  bool write_data = false;
  ds.OnCalcFields = [&](TDataSet&) {
    twice.SetAsInteger(n.AsInteger() * 2);
    if (write_data) other.SetAsInteger(n.AsInteger());
  };
  ds.SetBufferCount(GetParam());
  ds.Open();
  ds.Append();
  n.SetAsInteger(1);
  ds.Post();
  ds.Edit();
  write_data = true;
  try {
    n.SetAsInteger(2);
    FAIL() << "a data field was written while calculating";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), dbmsg::SNotEditing);
  }
  EXPECT_EQ(ds.State(), dsEdit);
  write_data = false;
  ds.Cancel();
  EXPECT_EQ(n.AsInteger(), 1);
  EXPECT_EQ(twice.AsInteger(), 2);
}

TEST_P(CursorSyncTest, InternalCalculationCannotWriteDataFields) {
  auto& n = ds.NewField<TIntegerField>("N");
  auto& other = ds.NewField<TIntegerField>("Other");
  auto& triple = ds.NewField<TIntegerField>("Triple", -1, fkInternalCalc);
  ds.OnCalcFields = [&](TDataSet& d) {
    if (d.State() != dsInternalCalc) return;
    triple.SetAsInteger(n.AsInteger() * 3);
    other.SetAsInteger(n.AsInteger());
  };
  ds.SetBufferCount(GetParam());
  ds.Open();
  ds.Append();
  EXPECT_THROW(n.SetAsInteger(2), EDatabaseError);
  ds.Cancel();
  EXPECT_TRUE(ds.IsEmpty());
}

TEST_P(CursorSyncTest, ModifiedBlobsAreClosedWhenTheEditEnds) {
  // Persistent fields: they outlive closing.
  ds.NewField<TIntegerField>("N");
  auto& a = ds.NewField<TBlobField>("A");
  auto& b = ds.NewField<TMemoField>("B");
  ds.SetBufferCount(GetParam());
  ds.Open();
  struct Case {
    const char* name;
    void (*begin)(TDataSet&);
    void (*end)(TDataSet&);
  };
  const Case cases[] = {
      {"append+post", [](TDataSet& d) { d.Append(); }, [](TDataSet& d) { d.Post(); }},
      {"edit+post", [](TDataSet& d) { d.Edit(); }, [](TDataSet& d) { d.Post(); }},
      {"edit+cancel", [](TDataSet& d) { d.Edit(); }, [](TDataSet& d) { d.Cancel(); }},
      {"insert+cancel", [](TDataSet& d) { d.Insert(); }, [](TDataSet& d) { d.Cancel(); }},
      {"edit+close", [](TDataSet& d) { d.Edit(); }, [](TDataSet& d) { d.Close(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ds.closed_blobs.clear();
    c.begin(ds);
    b.SetModified(true);
    c.end(ds);
    EXPECT_EQ(ds.closed_blobs, std::vector<std::string>{"B"});
    EXPECT_FALSE(a.Modified());
    EXPECT_FALSE(b.Modified());
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, CursorSyncTest, ::testing::Values(1, 5, 20));

}  // namespace
}  // namespace corvane
