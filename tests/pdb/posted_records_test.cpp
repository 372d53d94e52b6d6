// Where posted records live until the file is written: the arena's blocks,
// and the entries callers reach, replace, delete or keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/record_arena.h"

namespace corvane {
namespace {

using Rec = std::vector<std::uint8_t>;

// Record i of a run: its length and bytes both depend on i, so a record
// written over another's room, or shifted, shows.
Rec Pattern(std::size_t i, std::size_t length) {
  Rec r(length);
  for (std::size_t k = 0; k < length; ++k) r[k] = static_cast<std::uint8_t>(i * 31 + k * 7 + 1);
  return r;
}

// Lengths that land on and around the arena's block sizes, and past them.
const std::vector<std::size_t> kLengths = {0,     1,   7,     100,   4095, 4096, 4097, 8000,
                                           65535, 300, 65536, 70000, 1,    0,    2049, 16384};

TEST(RecordArena, CommittedRecordsKeepTheirBytesAcrossBlocks) {
  pdb::RecordArena arena;
  std::vector<std::span<const std::uint8_t>> kept;
  for (std::size_t i = 0; i < 400; ++i) {
    const std::size_t n = kLengths[i % kLengths.size()] + i % 13;
    const Rec want = Pattern(i, n);
    std::span<std::uint8_t> room = arena.Reserve(n);
    ASSERT_EQ(room.size(), n);
    std::copy(want.begin(), want.end(), room.begin());
    arena.Commit(n);
    kept.push_back(room);
  }
  EXPECT_GT(arena.BlockCount(), 10u);
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const std::size_t n = kLengths[i % kLengths.size()] + i % 13;
    ASSERT_EQ(Rec(kept[i].begin(), kept[i].end()), Pattern(i, n)) << "record " << i;
  }
}

TEST(RecordArena, RoomNotCommittedIsOfferedAgain) {
  pdb::RecordArena arena;
  arena.Commit(arena.Reserve(10).size());
  const std::uint8_t* failed = arena.Reserve(100).data();
  EXPECT_EQ(arena.Reserve(60).data(), failed);  // the failed record left nothing behind
  arena.Commit(60);
  EXPECT_EQ(arena.Reserve(1).data(), failed + 60);
  // A record larger than what is left gets a new block; the earlier bytes stay.
  const std::size_t blocks = arena.BlockCount();
  arena.Reserve(pdb::RecordArena::kMaxBlock + 1);
  EXPECT_EQ(arena.BlockCount(), blocks + 1);
  arena.Clear();
  EXPECT_EQ(arena.BlockCount(), 0u);
  EXPECT_EQ(arena.Reserve(5).size(), 5u);
}

// A writing manager whose records are set by the test: `next` is packed by
// Post; a record equal to `poison` raises half-way through its packing.
class ListEngine : public TPDBBaseMgr {
 public:
  using TPDBBaseMgr::TPDBBaseMgr;
  ~ListEngine() override { CloseOnDestroy(); }
  void Append() { SetAppendMode(true); }
  Rec next;
  Rec poison{0xDE, 0xAD};

 protected:
  std::int32_t CalcFields() override { return static_cast<std::int32_t>(next.size()); }
  void PackFields() override {
    const std::span<std::uint8_t> out = PackBuffer();
    if (next == poison) {
      out[0] = 0xFF;
      throw std::runtime_error("field refused");
    }
    std::copy(next.begin(), next.end(), out.begin());
  }
};

struct PostedRecords : ::testing::Test {
  ScopedThreadLanguage english{"en_US"};
  ListEngine m;

  void Create(TCorvane& db) {
    db.SetOpenMode(dmModeWriteOnly);
    db.SetDBName("Posted");
    db.SetCreatorID("test");
    db.SetDatabaseType("DATA");
    db.SetCreationDate(EncodeDate(2001, 2, 3));
    db.CreateDatabaseInMemory("posted.pdb");
  }
  void Post(const Rec& r) {
    m.Append();
    m.next = r;
    m.Post();
  }
  // The records of a written image, each with its attribute byte, through
  // the reading manager.
  static std::vector<Rec> Read(const Rec& image, std::vector<TRecFlags>* flags = nullptr) {
    TPDBBaseMgr r;
    r.OpenDatabase(std::span<const std::uint8_t>(image), "posted.pdb");
    std::vector<Rec> out;
    for (std::int32_t i = 0; i < r.RecordCount(); ++i) {
      r.SetDBCursor(i);
      r.SetEngineRecord(i);
      const auto bytes = r.CurrentRecord();
      out.emplace_back(bytes.begin(), bytes.end());
      if (flags != nullptr) flags->push_back(r.GetRecFlags());
    }
    r.CloseDatabase();
    return out;
  }
};

// Posted records and the same bytes raw-written from blocks give the same file.
TEST_F(PostedRecords, AreWrittenByteForByteAsRawRecordsAre) {
  std::vector<Rec> want;
  for (std::size_t i = 0; i < 3000; ++i)
    want.push_back(Pattern(i, kLengths[i % kLengths.size()] % 9000 + i % 5));
  Create(m);
  for (const Rec& r : want) Post(r);
  m.CloseDatabase();
  const Rec posted = m.TakeWrittenImage();

  TPDBBaseMgr raw;
  Create(raw);
  for (const Rec& r : want) {
    raw.SetCurrentRecord(Bytes(r));
    raw.WriteRawRecord();
  }
  raw.CloseDatabase();
  EXPECT_EQ(posted, raw.TakeWrittenImage());
  EXPECT_EQ(Read(posted), want);
}

TEST_F(PostedRecords, EntriesReachedThroughTheListHoldTheirBytesAndMayBeChanged) {
  Create(m);
  std::vector<Rec> want;
  for (std::size_t i = 0; i < 500; ++i) {
    want.push_back(Pattern(i, 40 + i % 200));
    Post(want.back());
  }
  for (std::int32_t i : {0, 1, 250, 499}) {
    const TRecordEntry* e = m.GetRecInLinkedList(i);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->Data, nullptr);
    EXPECT_EQ(*e->Data, want[i]);
    EXPECT_EQ(e->DataLength, static_cast<std::int32_t>(want[i].size()));
    EXPECT_TRUE(e->OwnsData);
  }
  EXPECT_EQ(m.GetRecInLinkedList(500), nullptr);
  // Replaced, deleted, and replaced by nothing: the file follows the entries.
  m.GetRecInLinkedList(1)->Data = std::make_shared<const Bytes>(Bytes{1, 2, 3});
  want[1] = {1, 2, 3};
  m.GetRecInLinkedList(2)->Flags = TRecFlags{dmRecAttrDelete};
  want[2].clear();
  m.GetRecInLinkedList(3)->Data.reset();
  want[3].clear();
  Post(Pattern(9, 77));  // posting goes on after entries were reached
  want.push_back(Pattern(9, 77));
  m.CloseDatabase();
  std::vector<TRecFlags> flags;
  EXPECT_EQ(Read(m.TakeWrittenImage(), &flags), want);
  EXPECT_TRUE(flags[2].Contains(dmRecAttrDelete));
  EXPECT_FALSE(flags[4].Contains(dmRecAttrDelete));
}

// Bytes a caller took from the list stay its own after the manager is gone
// (run under the address sanitizer, a view into the freed arena would show).
TEST_F(PostedRecords, KeptEntriesOutliveTheManager) {
  TRecordEntry kept;
  std::shared_ptr<const Bytes> data;
  {
    ListEngine local;
    Create(local);
    for (std::size_t i = 0; i < 300; ++i) {
      local.Append();
      local.next = Pattern(i, 300);
      local.Post();
    }
    kept = *local.GetRecInLinkedList(123);
    data = local.GetRecInLinkedList(7)->Data;
    local.CloseDatabase();
    EXPECT_EQ(local.GetRecInLinkedList(0), nullptr);
  }
  ASSERT_NE(kept.Data, nullptr);
  EXPECT_EQ(*kept.Data, Pattern(123, 300));
  EXPECT_EQ(Rec(kept.View().begin(), kept.View().end()), Pattern(123, 300));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(*data, Pattern(7, 300));
}

TEST_F(PostedRecords, ARecordWhosePackingRaisesLeavesNothingBehind) {
  Create(m);
  Post(Pattern(1, 10));
  m.Append();
  m.next = m.poison;
  EXPECT_THROW(m.Post(), std::runtime_error);
  EXPECT_FALSE(m.HasCurrentRecord());
  EXPECT_EQ(m.RecordCount(), 1);
  m.Cancel();
  Post(Pattern(2, 1));  // takes the failed record's room
  m.CloseDatabase();
  EXPECT_EQ(Read(m.TakeWrittenImage()), (std::vector<Rec>{Pattern(1, 10), Pattern(2, 1)}));
}

TEST_F(PostedRecords, ATooLongRecordIsRefusedAndKeptAsTheCurrentRecord) {
  Create(m);
  Post(Pattern(1, 10));
  m.Append();
  m.next = Pattern(5, 65536);
  try {
    m.Post();
    ADD_FAILURE() << "a record of 65536 bytes was posted";
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
  }
  EXPECT_EQ(Rec(m.CurrentRecord().begin(), m.CurrentRecord().end()), Pattern(5, 65536));
  EXPECT_EQ(m.RecordCount(), 1);
  m.next = Pattern(6, 65535);  // the largest record the file holds
  m.Post();
  m.CloseDatabase();
  EXPECT_EQ(Read(m.TakeWrittenImage()), (std::vector<Rec>{Pattern(1, 10), Pattern(6, 65535)}));
}

// Raw records handed over as borrowed bytes are copies: the caller's buffer is
// overwritten after every call, and the file still holds each record as it was,
// in order among posted records and shared blocks, first or last.
TEST_F(PostedRecords, CopiedRawRecordsKeepTheirBytesInOrderWithTheOthers) {
  Create(m);
  std::deque<Rec> want;
  Rec buffer;
  const auto copy = [&](std::size_t i, std::size_t n, bool first) {
    buffer = Pattern(i, n);
    m.SetRecUniqueID(static_cast<std::int32_t>(i));
    if (first) {
      m.WriteRawRecordFirst(buffer);
      want.push_front(buffer);
    } else {
      m.WriteRawRecord(buffer);
      want.push_back(buffer);
    }
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xEE});
  };
  for (std::size_t i = 0; i < 2000; ++i) {
    const std::size_t n = kLengths[i % kLengths.size()] % 9000 + i % 3;
    switch (i % 4) {
      case 0: copy(i, n, false); break;
      case 1: copy(i, n, true); break;
      case 2:
        Post(Pattern(i, n));
        want.push_back(Pattern(i, n));
        break;
      default:
        m.SetCurrentRecord(Bytes(Pattern(i, n)));
        m.WriteRawRecordFirst();
        want.push_front(Pattern(i, n));
    }
  }
  // The current record is the caller's last block: copying leaves it alone.
  m.SetCurrentRecord(Bytes{9, 9});
  copy(5000, 0, false);  // an empty record is a record with no bytes
  EXPECT_EQ(Rec(m.CurrentRecord().begin(), m.CurrentRecord().end()), (Rec{9, 9}));
  EXPECT_EQ(m.RecordCount(), 2001);
  const TRecordEntry* empty = m.GetRecInLinkedList(2000);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->HasData());
  EXPECT_EQ(empty->DataLength, 0);
  // The last record copied to the front (the one before it was a block).
  const TRecordEntry* copied = m.GetRecInLinkedList(1);
  ASSERT_NE(copied->Data, nullptr);
  EXPECT_EQ(*copied->Data, want[1]);
  EXPECT_TRUE(copied->OwnsData);
  m.CloseDatabase();
  EXPECT_EQ(Read(m.TakeWrittenImage()), std::vector<Rec>(want.begin(), want.end()));
}

TEST_F(PostedRecords, CopiedRawRecordsAreRefusedAsBlocksAre) {
  const auto code = [](auto&& call) {
    try {
      call();
    } catch (const EPDBException& e) {
      return e.ErrorCode();
    }
    return 0;
  };
  const Rec small{1, 2, 3};
  EXPECT_EQ(code([&] { m.WriteRawRecord(small); }), 1);  // not creating
  Create(m);
  const Rec too_long(65536, 7);
  EXPECT_EQ(code([&] { m.WriteRawRecord(too_long); }), 3);
  EXPECT_EQ(code([&] { m.WriteRawRecordFirst(too_long); }), 3);
  EXPECT_EQ(m.RecordCount(), 0);
  const Rec largest(65535, 8);
  m.WriteRawRecord(largest);
  for (int i = 1; i < 65535; ++i) m.WriteRawRecord(small);
  EXPECT_EQ(code([&] { m.WriteRawRecordFirst(small); }), 2);
  EXPECT_EQ(m.RecordCount(), 65535);
  m.CloseDatabase();
  const std::vector<Rec> back = Read(m.TakeWrittenImage());
  ASSERT_EQ(back.size(), 65535u);
  EXPECT_EQ(back.front(), largest);
  EXPECT_EQ(back.back(), small);
}

}  // namespace
}  // namespace corvane
