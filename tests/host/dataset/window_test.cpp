// The framework's buffer window, navigation and editing, over a one-column
// dataset, for several window sizes: the window must show the descendant's
// rows in order whatever its size, and editing must land where the cursor was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "one_column_dataset.h"

namespace corvane {
namespace {

using testing::OneColumnDataSet;

class WindowTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ds.NewField<TIntegerField>("N");
    ds.SetBufferCount(GetParam());
    ds.LoadIntegers(10);
    ds.Open();
  }
  int Value() { return ds.FieldByName("N").AsInteger(); }
  // Walks the whole dataset both ways and checks it against the rows.
  void ExpectWalks() {
    std::vector<std::int32_t> forward, backward;
    for (ds.First(); !ds.Eof(); ds.Next()) forward.push_back(Value());
    for (ds.Last(); !ds.Bof(); ds.Prior()) backward.insert(backward.begin(), Value());
    EXPECT_EQ(forward, ds.Values());
    EXPECT_EQ(backward, ds.Values());
  }
  OneColumnDataSet ds;
};

TEST_P(WindowTest, WalksBothWaysAcrossTheEnds) {
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Value(), 10);
  ExpectWalks();
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  ds.Next();  // past the end: stays on the last row
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Value(), 100);
  ds.First();
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Value(), 10);
  EXPECT_LE(ds.WindowRecordCount(), GetParam());
}

TEST_P(WindowTest, MoveByCountsOnlyTheRowsMoved) {
  EXPECT_EQ(ds.MoveBy(5), 5);
  EXPECT_EQ(Value(), 60);
  EXPECT_EQ(ds.RecNo(), 6);
  EXPECT_EQ(ds.MoveBy(-100), -5);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.MoveBy(100), 9);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Value(), 100);
}

TEST_P(WindowTest, InsertPutsTheRowBeforeTheCurrentOne) {
  ds.MoveBy(3);  // on 40
  ds.Insert();
  ds.FieldByName("N").SetAsInteger(35);
  ds.Post();
  EXPECT_EQ(Value(), 35);
  EXPECT_EQ(ds.Values(), (std::vector<std::int32_t>{10, 20, 30, 35, 40, 50, 60, 70, 80, 90, 100}));
  ds.Next();
  EXPECT_EQ(Value(), 40);
  ExpectWalks();
}

TEST_P(WindowTest, AppendPutsTheRowLastAndStaysOnIt) {
  ds.MoveBy(2);
  ds.Append();
  ds.FieldByName("N").SetAsInteger(999);
  ds.Post();
  EXPECT_EQ(Value(), 999);
  EXPECT_EQ(ds.Values().back(), 999);
  EXPECT_EQ(ds.Values().size(), 11u);
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  ExpectWalks();
}

TEST_P(WindowTest, DeleteMovesToTheFollowingRowOrTheNewLast) {
  ds.MoveBy(4);  // on 50
  ds.Delete();
  EXPECT_EQ(Value(), 60);
  ds.Last();
  ds.Delete();
  EXPECT_EQ(Value(), 90);
  EXPECT_EQ(ds.Values(), (std::vector<std::int32_t>{10, 20, 30, 40, 60, 70, 80, 90}));
  ExpectWalks();
}

TEST_P(WindowTest, CancelKeepsTheRowAndPostWritesIt) {
  ds.MoveBy(6);  // on 70
  ds.Edit();
  ds.FieldByName("N").SetAsInteger(71);
  EXPECT_EQ(Value(), 71);
  ds.Cancel();
  EXPECT_EQ(Value(), 70);
  ds.Edit();
  ds.FieldByName("N").SetAsInteger(72);
  ds.Next();  // leaving a modified record posts it
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.Values()[6], 72);
  EXPECT_EQ(Value(), 80);
  ds.Insert();
  ds.Cancel();  // an unposted insert leaves nothing behind
  EXPECT_EQ(ds.Values().size(), 10u);
  EXPECT_EQ(Value(), 80);
  ExpectWalks();
}

TEST_P(WindowTest, ShrinkingTheWindowKeepsTheActiveRecord) {
  ds.MoveBy(7);  // on 80
  ds.SetBufferCount(1);
  EXPECT_EQ(Value(), 80);
  ds.SetBufferCount(GetParam() + 3);
  EXPECT_EQ(Value(), 80);
  ExpectWalks();
}

INSTANTIATE_TEST_SUITE_P(Sizes, WindowTest, ::testing::Values(1, 2, 3, 7, 20));

TEST(DataSetTest, EmptyDatasetIsAtBothEnds) {
  OneColumnDataSet ds;
  ds.NewField<TIntegerField>("N");
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  ds.Next();
  ds.Prior();
  EXPECT_TRUE(ds.FieldByName("N").IsNull());
  EXPECT_THROW(ds.Delete(), EDatabaseError);
  ds.Edit();  // nothing to edit: inserts instead
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("N").SetAsInteger(5);
  ds.Post();
  EXPECT_FALSE(ds.IsEmpty());
  EXPECT_EQ(ds.Values(), std::vector<std::int32_t>{5});
}

TEST(DataSetTest, EventsFireInOrder) {
  OneColumnDataSet ds;
  ds.NewField<TIntegerField>("N");
  ds.LoadIntegers(2);
  std::vector<std::string> log;
  auto note = [&log](const char* what) { return [&log, what](TDataSet&) { log.push_back(what); }; };
  ds.BeforeOpen = note("BeforeOpen");
  ds.AfterOpen = note("AfterOpen");
  ds.BeforeScroll = note("BeforeScroll");
  ds.AfterScroll = note("AfterScroll");
  ds.BeforeInsert = note("BeforeInsert");
  ds.OnNewRecord = [&log](TDataSet& d) {
    log.push_back("OnNewRecord");
    d.FieldByName("N").SetAsInteger(7);  // a default value, not a user change
  };
  ds.AfterInsert = note("AfterInsert");
  ds.BeforePost = note("BeforePost");
  ds.AfterPost = note("AfterPost");
  ds.BeforeClose = note("BeforeClose");
  ds.AfterClose = note("AfterClose");
  ds.Open();
  ds.Next();
  ds.Append();
  EXPECT_FALSE(ds.Modified());
  ds.Post();
  ds.Close();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "BeforeOpen", "AfterOpen", "AfterScroll", "BeforeScroll", "AfterScroll",
                     "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                     "BeforePost", "AfterPost", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(ds.Values(), (std::vector<std::int32_t>{10, 20, 7}));
}

TEST(DataSetTest, PostErrorHandlerChoosesRetryAbortOrFail) {
  OneColumnDataSet ds;
  ds.NewField<TIntegerField>("N");
  ds.Open();
  struct Case {
    TDataAction action;
    bool posted;
  };
  for (Case c : {Case{daRetry, true}, Case{daAbort, false}, Case{daFail, false}}) {
    SCOPED_TRACE(static_cast<int>(c.action));
    int calls = 0;
    ds.OnPostError = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
      ++calls;
      EXPECT_STREQ(e.what(), "disk full");
      action = c.action;
    };
    std::size_t before = ds.rows.size();
    ds.Append();
    ds.FieldByName("N").SetAsInteger(1);
    ds.fail_posts = 1;
    if (c.action == daRetry) {
      ds.Post();
    } else if (c.action == daAbort) {
      EXPECT_THROW(ds.Post(), EAbort);
    } else {
      EXPECT_THROW(ds.Post(), EDatabaseError);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ds.rows.size(), before + (c.posted ? 1 : 0));
    EXPECT_EQ(ds.State(), c.posted ? dsBrowse : dsInsert);
    ds.Cancel();
  }
}

TEST(DataSetTest, DisabledControlsHearOneChangeAtTheEnd) {
  std::vector<TDataEvent> events;  // outlives the dataset, which reports its closing
  OneColumnDataSet ds;
  ds.NewField<TIntegerField>("N");
  ds.LoadIntegers(5);
  ds.Open();
  ds.OnDataEvent = [&](TDataEvent e, TField*, int) { events.push_back(e); };
  ds.DisableControls();
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next()) {
  }
  ds.EnableControls();
  EXPECT_TRUE(events.empty());
  ds.EnableControls();
  EXPECT_EQ(events, std::vector<TDataEvent>{deDataSetChange});
}

TEST(DataSetTest, EditingNeedsAnEditState) {
  OneColumnDataSet ds;
  TField& n = ds.NewField<TIntegerField>("N");
  n.SetDisplayLabel("Number");
  ds.LoadIntegers(1);
  ds.Open();
  try {
    n.SetAsInteger(1);
    FAIL() << "set in browse state";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), dbmsg::SNotEditing);
  }
  EXPECT_THROW(ds.Post(), EDatabaseError);
  n.SetReadOnly(true);
  ds.Edit();
  try {
    n.SetAsInteger(1);
    FAIL() << "read-only field written";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'Number' cannot be modified");
  }
}

TEST(DataSetTest, RejectedOpeningLeavesTheDatasetClosed) {
  OneColumnDataSet ds;
  ds.FieldDefs().Add("N", ftString, 10);
  TStringField& f = ds.NewField<TStringField>("N", 5);
  try {
    ds.Open();
    FAIL() << "a field of another size was bound";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Size mismatch for field 'N'");
  }
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.BufListSize(), 0);
  f.SetSize(10);
  ds.Open();
  EXPECT_TRUE(ds.Active());
}

TEST(DataSetTest, DefaultFieldsComeAndGoWithOpening) {
  OneColumnDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 1);
  EXPECT_TRUE(ds.DefaultFields());
  EXPECT_EQ(ds.FieldByName("n").FieldNo(), 1);  // names match in any case
  EXPECT_THROW(ds.FieldByName("M"), EDatabaseError);
  // The open layout was made from the definitions: they stay as they are.
  EXPECT_THROW(ds.FieldDefs().Add("M", ftInteger), EDatabaseError);
  EXPECT_THROW(ds.FieldDefs().Items(0).SetSize(8), EDatabaseError);
  EXPECT_THROW(ds.FieldDefs().Clear(), EDatabaseError);
  ds.Close();
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_THROW(ds.Resync(0), EDatabaseError);
  ds.FieldDefs().Add("M", ftInteger);
}

TEST(DataSetTest, RequiredFieldMustHaveAValueToPost) {
  OneColumnDataSet ds;
  TField& n = ds.NewField<TIntegerField>("N");
  n.SetRequired(true);
  ds.Open();
  ds.Append();
  try {
    ds.Post();
    FAIL() << "posted without the required value";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'N' must have a value");
  }
  n.SetAsInteger(3);
  ds.Post();
  EXPECT_EQ(ds.Values(), std::vector<std::int32_t>{3});
}

TEST(DataSetTest, ValidateSeesTheNewValueAndMayRejectIt) {
  OneColumnDataSet ds;
  TField& n = ds.NewField<TIntegerField>("N");
  ds.LoadIntegers(1);
  ds.Open();
  std::vector<int> seen;
  n.OnValidate = [&](TField& f) {
    seen.push_back(f.AsInteger());
    if (f.AsInteger() < 0) DatabaseError("negative");
  };
  ds.Edit();
  n.SetAsInteger(5);
  EXPECT_THROW(n.SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(n.AsInteger(), 5);
  EXPECT_EQ(seen, (std::vector<int>{5, -1}));
}

TEST(DataSetTest, DestroyingAnOpenDatasetClosesIt) {
  int closes = 0;
  {
    OneColumnDataSet ds;
    ds.NewField<TIntegerField>("N");
    ds.BeforeClose = [&](TDataSet&) { ++closes; };
    ds.Open();
  }
  EXPECT_EQ(closes, 1);
}

TEST(DataSetTest, FieldOutlivingItsDatasetForgetsIt) {
  TComponent owner;
  auto* f = owner.CreateOwned<TIntegerField>();
  f->SetFieldName("N");
  {
    OneColumnDataSet ds;
    f->SetDataSet(&ds);
    ds.Open();
  }
  EXPECT_EQ(f->DataSet(), nullptr);
  EXPECT_THROW(f->AsInteger(), EDatabaseError);
}

}  // namespace
}  // namespace corvane
