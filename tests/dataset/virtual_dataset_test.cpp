// The record store's edge cases: fetching at the ends, record numbers, null
// texts, where posted rows land, auto-increment values, record IDs, the data
// area layout, blob sharing, and the errors it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "corvane/host/hooks.h"
#include "probe_dataset.h"

namespace corvane {
namespace {

using testing::ProbeDataSet;

// A dataset of integer rows N = 1..count.
void Fill(TDataSet& ds, int count) {
  for (int i = 1; i <= count; ++i) {
    ds.Append();
    ds.FieldByName("N").SetAsInteger(i);
    ds.Post();
  }
}

std::vector<int> RowValues(TPDBVirtualDataSet& ds) {
  std::vector<int> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName("N").AsInteger());
  return out;
}

TEST(StoreTest, EmptyDatasetFetchesNothing) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  TRecordBuffer& b = *ds.TempBuffer();
  EXPECT_EQ(ds.GetRecord(b, gmNext, true), grEOF);
  EXPECT_EQ(ds.GetRecord(b, gmPrior, true), grBOF);
  EXPECT_EQ(ds.CursorPosition(), -1);
  EXPECT_EQ(ds.GetRecord(b, gmCurrent, false), grError);
  try {
    ds.GetRecord(b, gmCurrent, true);
    FAIL() << "no row, but no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "No data found");
  }
  EXPECT_EQ(ds.RecNo(), 0);
}

TEST(StoreTest, RecNoIsOneBeforeTheFirstRow) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  Fill(ds, 3);
  ds.First();
  ds.InternalFirst();  // the cursor before the first row, the window unchanged
  EXPECT_EQ(ds.CursorPosition(), -1);
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Last();
  EXPECT_EQ(ds.RecNo(), 3);
}

TEST(StoreTest, TextStartingWithZeroReadsAsNull) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("S", ftString, 4);
  ds.FieldDefs().Add("W", ftWideString, 2);
  ds.Open();
  ds.Append();
  TField& s = ds.FieldByName("S");
  const std::uint8_t zero_first[5] = {0, 'a', 'b', 0, 0};
  s.SetData(zero_first);  // flag set, value empty
  EXPECT_TRUE(s.IsNull());
  EXPECT_EQ(s.AsString(), "");
  s.SetAsString("ab");
  EXPECT_FALSE(s.IsNull());
  // A wide text is empty only when its first character is 0, not its first byte.
  TField& w = ds.FieldByName("W");
  const std::uint8_t high_first[6] = {0x00, 0x01, 'x', 0, 0, 0};
  w.SetData(high_first);
  EXPECT_FALSE(w.IsNull());
  EXPECT_EQ(w.AsString(), "?x");
  const std::uint8_t empty[6] = {0, 0, 'x', 0, 0, 0};
  w.SetData(empty);
  EXPECT_TRUE(w.IsNull());
}

TEST(StoreTest, PostedRowsLandWhereTheCursorWas) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  ds.Insert();  // empty dataset: before the first row
  ds.FieldByName("N").SetAsInteger(2);
  ds.Post();
  ds.Append();
  ds.FieldByName("N").SetAsInteger(3);
  ds.Post();
  EXPECT_EQ(ds.CursorPosition(), 1);
  ds.First();
  ds.Insert();  // before the first row
  ds.FieldByName("N").SetAsInteger(1);
  ds.Post();
  EXPECT_EQ(ds.CursorPosition(), 0);
  ds.Last();
  ds.Append();  // appended rows go last wherever the cursor was
  ds.FieldByName("N").SetAsInteger(4);
  ds.Post();
  EXPECT_EQ(RowValues(ds), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(ds.GetMemoryRecord(0).RecordID(), kNoRecordID + 3);  // IDs follow creation
}

TEST(StoreTest, InternalAddRecordAppendsOrInsertsAtTheCursor) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  Fill(ds, 2);
  TRecordBuffer& b = *ds.TempBuffer();
  ds.InternalInitRecord(b);
  b.bytes[0] = 1;
  const std::int32_t v = 9;
  std::memcpy(b.bytes.data() + 1, &v, 4);
  ds.InternalAddRecord(b, true);
  EXPECT_EQ(ds.CursorPosition(), 2);
  ds.InternalFirst();
  ds.InternalAddRecord(b, false);
  EXPECT_EQ(ds.CursorPosition(), 0);
  ds.First();
  EXPECT_EQ(RowValues(ds), (std::vector<int>{9, 1, 2, 9}));
}

TEST(StoreTest, AutoIncrementFieldsOfOneRowShareTheirValue) {
  TPDBVirtualDataSet ds;
  auto& a = ds.NewField<TAutoIncField>("A");
  auto& b = ds.NewField<TAutoIncField>("B");
  auto& n = ds.NewField<TIntegerField>("N");
  ds.Open();
  Fill(ds, 2);
  EXPECT_EQ(a.AsInteger(), 2);
  EXPECT_EQ(b.AsInteger(), 2);
  EXPECT_EQ(ds.AutoIncValue(), 3);
  ds.Edit();  // editing keeps the value
  n.SetAsInteger(20);
  ds.Post();
  EXPECT_EQ(a.AsInteger(), 2);
  EXPECT_EQ(ds.AutoIncValue(), 3);
  // Emptying keeps the counter; closing resets it.
  ds.EmptyTable();
  EXPECT_TRUE(ds.IsEmpty());
  Fill(ds, 1);
  EXPECT_EQ(a.AsInteger(), 3);
  EXPECT_EQ(ds.GetMemoryRecord(0).RecordID(), kNoRecordID + 1);  // IDs restart with the rows
  ds.Close();
  EXPECT_EQ(ds.AutoIncValue(), 1);
  ds.Open();
  Fill(ds, 1);
  EXPECT_EQ(a.AsInteger(), 1);
}

TEST(StoreTest, DeletingTheLastRowWhileFilteredFindsTheNearestAcceptedRow) {
  struct Case {
    std::vector<int> accepted;  // values N the filter lets through
    int position_after;
    bool empty_after;
  };
  for (const Case& c : {Case{{1, 2, 5}, 1, false}, Case{{5}, -1, true}}) {
    ProbeDataSet ds;
    ds.FieldDefs().Add("N", ftInteger);
    ds.Open();
    Fill(ds, 5);
    ds.accept = [&](int pos) {
      int n = pos + 1;  // rows hold N = position + 1
      return std::find(c.accepted.begin(), c.accepted.end(), n) != c.accepted.end();
    };
    ds.SetFiltered(true);
    ds.Last();
    ASSERT_EQ(ds.FieldByName("N").AsInteger(), 5);
    ds.Delete();
    EXPECT_EQ(ds.CursorPosition(), c.position_after);
    EXPECT_EQ(ds.IsEmpty(), c.empty_after);
    if (!c.empty_after) {
      EXPECT_EQ(ds.FieldByName("N").AsInteger(), 2);
    }
    EXPECT_EQ(ds.RecordCount(), 4);  // the count ignores the filter
  }
}

TEST(StoreTest, FilteredFetchSkipsRejectedRows) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  Fill(ds, 6);
  ds.accept = [](int pos) { return (pos + 1) % 2 == 0; };
  ds.SetFiltered(true);
  EXPECT_EQ(RowValues(ds), (std::vector<int>{2, 4, 6}));
  std::vector<int> back;
  for (ds.Last(); !ds.Bof(); ds.Prior()) back.push_back(ds.FieldByName("N").AsInteger());
  EXPECT_EQ(back, (std::vector<int>{6, 4, 2}));
  ds.accept = [](int) { return false; };
  ds.First();
  EXPECT_TRUE(ds.IsEmpty());
}

TEST(StoreTest, RecordIDsFollowTheRowsNotTheirPlaces) {
  TPDBVirtualDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  TMemoryRecord* a = ds.AddRecord();
  TMemoryRecord* b = ds.AddRecord();
  TMemoryRecord* c = ds.InsertRecord(0);
  EXPECT_EQ(a->RecordID(), kNoRecordID + 1);
  EXPECT_EQ(b->RecordID(), kNoRecordID + 2);
  EXPECT_EQ(c->RecordID(), kNoRecordID + 3);
  EXPECT_EQ(c->GetIndex(), 0);
  EXPECT_EQ(a->GetIndex(), 1);
  c->SetIndex(2);
  EXPECT_EQ(&ds.GetMemoryRecord(2), c);
  EXPECT_EQ(&ds.GetMemoryRecord(0), a);
  EXPECT_EQ(ds.FindRecordID(kNoRecordID + 2), b);
  EXPECT_EQ(ds.FindRecordID(kNoRecordID + 9), nullptr);
  EXPECT_EQ(ds.LastID(), kNoRecordID + 3);
  EXPECT_THROW(ds.GetMemoryRecord(3), EListError);
  EXPECT_THROW(ds.GetMemoryRecord(-1), EListError);
  EXPECT_THROW(c->SetIndex(3), EListError);
  EXPECT_THROW(ds.InsertRecord(4), EListError);
  EXPECT_EQ(ds.MemoryRecordCount(), 3);  // the refused insert added nothing
  EXPECT_EQ(ds.LastID(), kNoRecordID + 3);
}

TEST(StoreTest, DeletingEveryRowRestartsTheIDs) {
  TPDBVirtualDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  Fill(ds, 2);
  ds.Delete();
  EXPECT_EQ(ds.LastID(), kNoRecordID + 2);  // not reused while rows remain
  ds.Delete();
  EXPECT_EQ(ds.LastID(), kNoRecordID);
  Fill(ds, 1);
  EXPECT_EQ(ds.GetMemoryRecord(0).RecordID(), kNoRecordID + 1);
}

TEST(StoreTest, DataAreaWalksChildDefinitionsDepthFirst) {
  TPDBVirtualDataSet ds;
  TFieldDefs& defs = ds.FieldDefs();
  defs.Add("Id", ftInteger);
  TFieldDef& addr = defs.Add("Addr", ftADT);
  addr.ChildDefs().Add("Street", ftString, 10);
  addr.ChildDefs().Add("Zip", ftSmallint);
  defs.Add("Photo", ftBlob);
  defs.Add("Flag", ftBoolean);
  defs.Add("Hidden", ftCursor);  // no slot, and no field class: refused at opening
  EXPECT_THROW(ds.Open(), EDatabaseError);
  EXPECT_FALSE(ds.Active());
  defs.Items(4).SetDataType(ftUnknown);  // definitions of no type get no field
  ds.Open();
  EXPECT_EQ(ds.OffsetTable(), (std::vector<std::uint16_t>{0, 5, 6, 18, 21, 21, 24}));
  EXPECT_EQ(ds.DataSize(), 24);
  EXPECT_EQ(ds.BookmarkOffset(), 24);
  EXPECT_EQ(ds.BlobOffset(), 32);
  EXPECT_EQ(ds.BufferSize(), 32 + static_cast<int>(sizeof(TBlobData)));
  EXPECT_EQ(ds.FieldCount(), 5);  // no field for the structure or the untyped entry
  ds.Append();
  ds.FieldByName("Addr.Street").SetAsString("High St");
  ds.FieldByName("Addr.Zip").SetAsInteger(-5);
  ds.FieldByName("Flag").SetAsBoolean(true);
  ds.Post();
  std::span<const std::uint8_t> data = ds.GetMemoryRecord(0).Data();
  ASSERT_EQ(data.size(), 24u);
  EXPECT_EQ(data[0], 0);  // Id: null
  EXPECT_EQ(data[6], 1);  // Street's flag
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[7])), "High St");
  EXPECT_EQ(data[18], 1);  // Zip's flag
  std::int16_t zip;
  std::memcpy(&zip, &data[19], 2);
  EXPECT_EQ(zip, -5);
  EXPECT_EQ(data[21], 1);  // Flag's flag
  std::vector<std::uint8_t> copy(24);
  EXPECT_TRUE(ds.GetCurrentRecord(copy));
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), data.begin()));
}

TEST(StoreTest, CalculatedFieldsTakeTheirSizePlusAFlag) {
  TPDBVirtualDataSet ds;
  auto& n = ds.NewField<TIntegerField>("N");
  auto& label = ds.NewField<TStringField>("Label", 5, fkCalculated);
  auto& twice = ds.NewField<TIntegerField>("Twice", -1, fkCalculated);
  ds.OnCalcFields = [&](TDataSet&) {
    label.SetAsString("n=" + n.AsString());
    twice.SetAsInteger(n.AsInteger() * 2);
  };
  ds.Open();
  EXPECT_LE(label.FieldNo(), 0);
  EXPECT_EQ(label.Offset(), 0);
  EXPECT_EQ(twice.Offset(), 7);
  EXPECT_EQ(ds.CalcFieldsSize(), 12);
  EXPECT_EQ(ds.BookmarkOffset(), ds.DataSize() + 12);
  Fill(ds, 2);
  EXPECT_EQ(label.AsString(), "n=2");
  EXPECT_EQ(twice.AsInteger(), 4);
  ds.First();
  EXPECT_EQ(label.AsString(), "n=1");
  try {
    label.SetAsString("x");  // browse state
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), dbmsg::SNotEditing);
  }
  // Data fields cannot be written while calculating.
  ds.OnCalcFields = [&](TDataSet&) { n.SetAsInteger(0); };
  EXPECT_THROW(ds.Last(), EDatabaseError);
}

TEST(StoreTest, InternalCalculatedFieldsAreStoredWithTheRow) {
  TPDBVirtualDataSet ds;
  auto& n = ds.NewField<TIntegerField>("N");
  auto& triple = ds.NewField<TIntegerField>("Triple", -1, fkInternalCalc);
  ds.OnCalcFields = [&](TDataSet& d) {
    if (d.State() == dsInternalCalc) triple.SetAsInteger(n.AsInteger() * 3);
  };
  ds.Open();
  EXPECT_GT(triple.FieldNo(), 0);  // it has a slot of its own
  Fill(ds, 3);
  ds.First();
  std::vector<int> got;
  for (; !ds.Eof(); ds.Next()) got.push_back(triple.AsInteger());
  EXPECT_EQ(got, (std::vector<int>{3, 6, 9}));
}

TEST(StoreTest, BlobValuesAreSharedUntilChanged) {
  ProbeDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.FieldDefs().Add("B", ftBlob);
  ds.Open();
  TField& blob = ds.FieldByName("B");
  EXPECT_EQ(blob.Offset(), 0);
  ds.Append();
  auto abc = std::make_shared<const std::string>("abc");
  ds.SetBlobData(&blob, *ds.ActiveBuffer(), abc);
  ds.SetBlobData(&blob, *ds.TempBuffer(),
                 std::make_shared<const std::string>("ignored"));  // not active
  ds.Post();
  TMemoryRecord& row = ds.GetMemoryRecord(0);
  EXPECT_EQ(row.Blobs()[0], abc);  // shared, not copied
  EXPECT_EQ(ds.GetBlobData(&blob, *ds.ActiveBuffer()), abc);
  ds.Edit();
  ds.SetBlobData(&blob, *ds.ActiveBuffer(), std::make_shared<const std::string>("xyz"));
  EXPECT_EQ(*row.Blobs()[0], "abc");  // the row keeps its value until posted
  ds.Cancel();
  EXPECT_EQ(*ds.GetBlobData(&blob, *ds.ActiveBuffer()), "abc");
  ds.Edit();
  ds.SetBlobData(&blob, *ds.ActiveBuffer(), nullptr);
  ds.Post();
  EXPECT_EQ(row.Blobs()[0], nullptr);
}

// A field of a type the store cannot hold.
class CursorField : public TField {
 public:
  explicit CursorField(TComponent* owner = nullptr) : TField(owner, ftCursor) {}
};

TEST(StoreTest, OpeningRefusesFieldsOfUnsupportedTypes) {
  TPDBVirtualDataSet ds;
  ds.NewField<TIntegerField>("N");
  auto& c = ds.NewField<CursorField>("C");
  c.SetDisplayLabel("Pointer");
  try {
    ds.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'Pointer' is of an unknown type");
  }
  EXPECT_FALSE(ds.Active());
  c.SetFieldKind(fkCalculated);  // a calculated field of any type is fine
  ds.Open();
  EXPECT_TRUE(ds.Active());
}

TEST(StoreTest, ReadOnlyFieldsRefuseWrites) {
  TPDBVirtualDataSet ds;
  auto& n = ds.NewField<TIntegerField>("N");
  n.SetReadOnly(true);
  n.SetDisplayLabel("Number");
  ds.Open();
  ds.Append();
  try {
    n.SetAsInteger(1);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'Number' cannot be modified");
  }
}

TEST(StoreTest, OversizedRecordsAreRefused) {
  TPDBVirtualDataSet ds;
  ds.FieldDefs().Add("A", ftString, 40000);
  ds.FieldDefs().Add("B", ftString, 40000);
  EXPECT_THROW(ds.Open(), EDatabaseError);
  EXPECT_FALSE(ds.Active());
}

TEST(StoreTest, DestroyingAnOpenDatasetClosesIt) {
  std::vector<std::string> log;
  {
    TPDBVirtualDataSet ds;
    ds.FieldDefs().Add("N", ftInteger);
    ds.BeforeClose = [&](TDataSet& d) {
      log.push_back("BeforeClose rows=" + std::to_string(d.RecordCount()));
    };
    ds.AfterClose = [&](TDataSet&) { log.push_back("AfterClose"); };
    ds.Open();
    Fill(ds, 2);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose rows=2", "AfterClose"}));
}

TEST(StoreTest, FailingBeforeCloseInDestructorIsHandled) {
  std::vector<std::string> handled;
  ExceptionHandlerHook old = SetExceptionHandlerHook([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      handled.push_back(ex.what());
    }
  });
  {
    TPDBVirtualDataSet ds;
    ds.FieldDefs().Add("N", ftInteger);
    ds.BeforeClose = [](TDataSet&) { DatabaseError("cannot write"); };
    ds.Open();
    Fill(ds, 1);
  }
  SetExceptionHandlerHook(old);
  EXPECT_EQ(handled, std::vector<std::string>{"cannot write"});
}

}  // namespace
}  // namespace corvane
