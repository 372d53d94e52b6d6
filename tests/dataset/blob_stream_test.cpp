// Blob fields through TMemBlobStream: reading a stored value, writing in edit
// and insert state, positions at and past the end, the value reaching the
// row only on Post, the errors a stream reports, and loading and saving.
#include "corvane/dataset/blob_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace corvane {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string ReadAll(TStream& s, std::size_t max = 64) {
  std::string out(max, '\0');
  auto n = s.Read({reinterpret_cast<std::uint8_t*>(out.data()), out.size()});
  out.resize(static_cast<std::size_t>(n));
  return out;
}

class BlobStreamTest : public ::testing::TestWithParam<int> {
 protected:
  BlobStreamTest() {
    ds.FieldDefs().Add("N", ftInteger);
    ds.FieldDefs().Add("Data", ftBlob);
    ds.FieldDefs().Add("Note", ftMemo);
    ds.SetBufferCount(GetParam());
    ds.Open();
    data = &dynamic_cast<TBlobField&>(ds.FieldByName("Data"));
    note = &dynamic_cast<TBlobField&>(ds.FieldByName("Note"));
  }
  void Add(int n, const std::string& value) {
    ds.Append();
    ds.FieldByName("N").SetAsInteger(n);
    if (!value.empty()) data->SetAsString(value);
    ds.Post();
  }
  std::string Stored(int index) {
    const TBlobData& b = ds.GetMemoryRecord(index).Blobs()[0];
    return b ? *b : std::string();
  }
  TPDBVirtualDataSet ds;
  TBlobField* data;
  TBlobField* note;
};

TEST_P(BlobStreamTest, ReadsTheCurrentRowInBrowseState) {
  Add(1, "first");
  Add(2, "second value");
  ds.First();
  auto s = ds.CreateBlobStream(data, bmRead);
  EXPECT_EQ(s->Size(), 5);
  EXPECT_EQ(ReadAll(*s), "first");
  EXPECT_EQ(s->Read(std::span<std::uint8_t>()), 0);
  ds.Next();
  EXPECT_EQ(data->AsString(), "second value");
  EXPECT_EQ(data->BlobSize(), 12);
  EXPECT_TRUE(note->IsNull());
  EXPECT_TRUE(note->AsVariant().IsNull());
}

TEST_P(BlobStreamTest, PositionsAtAndPastTheEnd) {
  Add(1, "0123456789");
  ds.Edit();
  {
    auto s = ds.CreateBlobStream(data, bmReadWrite);
    EXPECT_EQ(s->Seek(0, soEnd), 10);
    EXPECT_EQ(s->Seek(0, soBeginning), 0);
    EXPECT_EQ(s->Write(Bytes("abc")), 3);
    EXPECT_EQ(s->Position(), 3);
    EXPECT_EQ(s->Size(), 10);
    // Reading at and past the end gives nothing and leaves the buffer alone.
    std::uint8_t out[4] = {'x', 'x', 'x', 'x'};
    s->Seek(0, soEnd);
    EXPECT_EQ(s->Read(out), 0);
    s->Seek(5, soEnd);
    EXPECT_EQ(s->Read(out), 0);
    s->Seek(-3, soBeginning);
    EXPECT_EQ(s->Read(out), 0);
    EXPECT_EQ(s->Write(Bytes("z")), 0);
    EXPECT_EQ(std::string(out, out + 4), "xxxx");
    // Writing past the end fills the gap with zeros.
    s->Seek(12, soBeginning);
    EXPECT_EQ(s->Write(Bytes("!")), 1);
    s->Seek(-5, soCurrent);
    EXPECT_EQ(ReadAll(*s), std::string("89\0\0!", 5));
  }
  EXPECT_EQ(data->AsString(), std::string("abc3456789\0\0!", 13));
  ds.Post();
  EXPECT_EQ(Stored(0), std::string("abc3456789\0\0!", 13));
}

TEST_P(BlobStreamTest, WriteStreamStartsEmptyAndMarksTheField) {
  Add(1, "old value");
  ds.Edit();
  EXPECT_FALSE(ds.Modified());
  {
    auto s = ds.CreateBlobStream(data, bmWrite);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_FALSE(data->Modified());
  }
  EXPECT_TRUE(data->Modified());
  EXPECT_TRUE(ds.Modified());
  EXPECT_TRUE(data->IsNull());
  {
    auto s = ds.CreateBlobStream(data, bmReadWrite);
    s->Write(Bytes("0123456789"));
    s->Seek(4, soBeginning);
    static_cast<TMemBlobStream&>(*s).Truncate();
  }
  EXPECT_EQ(data->AsString(), "0123");
  ds.Post();
  EXPECT_FALSE(data->Modified());
  EXPECT_EQ(Stored(0), "0123");
}

TEST_P(BlobStreamTest, ValueReachesTheRowOnlyOnPost) {
  Add(1, "kept");
  Add(2, "");
  ds.First();
  ds.Edit();
  data->SetAsString("changed");
  EXPECT_EQ(Stored(0), "kept");
  ds.Cancel();
  EXPECT_EQ(data->AsString(), "kept");
  EXPECT_FALSE(data->Modified());
  // With the edit over, a writable stream needs an edit again.
  EXPECT_THROW(data->SetAsString("x"), EDatabaseError);
  EXPECT_EQ(Stored(0), "kept");
  ds.Insert();
  data->SetAsString("inserted");
  ds.Cancel();
  EXPECT_EQ(ds.MemoryRecordCount(), 2);
  EXPECT_EQ(data->AsString(), "kept");
  ds.Edit();
  note->SetAsString("memo");
  data->SetAsString("posted");
  ds.Post();
  EXPECT_EQ(Stored(0), "posted");
  EXPECT_EQ(*ds.GetMemoryRecord(0).Blobs()[1], "memo");
  ds.Next();
  EXPECT_TRUE(data->IsNull());
  ds.Prior();
  EXPECT_EQ(data->AsString(), "posted");
}

TEST_P(BlobStreamTest, StreamsReportWhatTheyCannotDo) {
  // No active buffer: nothing is read or written, and a value set is refused.
  {
    auto s = ds.CreateBlobStream(data, bmReadWrite);
    EXPECT_FALSE(static_cast<TMemBlobStream&>(*s).Opened());
    EXPECT_EQ(s->Write(Bytes("abc")), 0);
    EXPECT_EQ(s->Size(), 0);
  }
  EXPECT_THROW(data->SetAsString("abc"), EDatabaseError);
  Add(1, "v");
  try {
    ds.CreateBlobStream(data, bmWrite);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), dbmsg::SNotEditing);
  }
  data->SetReadOnly(true);
  ds.Edit();
  try {
    ds.CreateBlobStream(data, bmReadWrite);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'Data' cannot be modified");
  }
  EXPECT_EQ(ds.CreateBlobStream(data, bmRead)->Size(), 1);
  ds.Cancel();
  EXPECT_THROW(ds.CreateBlobStream(&ds.FieldByName("N"), bmRead), EInvalidCast);
}

TEST_P(BlobStreamTest, FilterReadsBlobsOfTheRowItTests) {
  Add(1, "keep me");
  Add(2, "drop me");
  Add(3, "keep too");
  ds.SetOnFilterRecord(
      [this](TDataSet&, bool& accept) { accept = data->AsString().rfind("keep", 0) == 0; });
  ds.SetFiltered(true);
  std::vector<int> shown;
  for (ds.First(); !ds.Eof(); ds.Next()) shown.push_back(ds.FieldByName("N").AsInteger());
  EXPECT_EQ(shown, (std::vector<int>{1, 3}));
}

TEST_P(BlobStreamTest, LoadsFromAndSavesToStreams) {
  Add(1, "payload bytes");
  Add(2, "");
  ds.First();
  ds.Edit();
  // Copy Data into Note through streams.
  {
    auto out = ds.CreateBlobStream(note, bmWrite);
    data->SaveToStream(*out);
  }
  EXPECT_EQ(note->AsString(), "payload bytes");
  {
    auto in = ds.CreateBlobStream(note, bmRead);
    in->Seek(8, soBeginning);
    data->LoadFromStream(*in);
  }
  EXPECT_EQ(data->AsString(), "bytes");
  data->LoadFromString(std::string("\0\1", 2));
  ds.Post();
  EXPECT_EQ(Stored(0), std::string("\0\1", 2));
}

INSTANTIATE_TEST_SUITE_P(Windows, BlobStreamTest, ::testing::Values(1, 20));

}  // namespace
}  // namespace corvane
