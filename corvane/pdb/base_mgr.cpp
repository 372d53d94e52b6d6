#include "corvane/pdb/base_mgr.h"

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/datetime.h"
#include "corvane/host/locale.h"

namespace corvane {

TPDBBaseMgr::TPDBBaseMgr(TComponent* owner) : TCorvane(owner) {}

TPDBBaseMgr::~TPDBBaseMgr() {
  CloseOnDestroy();
}

void TPDBBaseMgr::SetRecCategory(std::uint8_t Value) {
  if (Value > 15) RaisePDB(1, kMsgCategoryTooLarge);
  rec_category_ = Value;
}

std::span<const std::uint8_t> TPDBBaseMgr::CurrentRecord() const noexcept {
  if (!has_current_) return {};
  if (current_block_) return std::span<const std::uint8_t>(*current_block_);
  return current_view_;
}

std::span<std::uint8_t> TPDBBaseMgr::PackBuffer() noexcept {
  return pack_room_;
}

void TPDBBaseMgr::SetCurrentRecord(std::shared_ptr<const Bytes> block) {
  pack_room_ = {};
  current_view_ = {};
  current_block_ = std::move(block);
  has_current_ = current_block_ != nullptr;
  current_length_ = has_current_ ? static_cast<std::int32_t>(current_block_->size()) : 0;
}

void TPDBBaseMgr::Free() noexcept {
  current_block_.reset();
  pack_room_ = {};
  current_view_ = {};
  has_current_ = false;
}

void TPDBBaseMgr::CheckRoomForRecord(int code) const {
  if (RecordCount() >= pdb::kMaxRecords) RaisePDB(code, kMsgTooManyRecords);
}

TRecordEntry TPDBBaseMgr::EntryWithoutData(bool owns) const noexcept {
  TRecordEntry e;
  e.Category = rec_category_;
  e.Flags = rec_flags_;
  e.UniqueID = static_cast<std::uint32_t>(rec_unique_id_) & 0xFFFFFFu;
  e.OwnsData = owns;
  return e;
}

TRecordEntry TPDBBaseMgr::EntryFromCurrent(bool owns) const {
  TRecordEntry e = EntryWithoutData(owns);
  if (has_current_) {
    e.Data = current_block_
                 ? current_block_
                 : std::make_shared<const Bytes>(current_view_.begin(), current_view_.end());
  }
  e.DataLength = e.Data ? static_cast<std::int32_t>(e.Data->size()) : 0;
  return e;
}

void TPDBBaseMgr::Post() {
  if (!append_mode_) RaisePDB(1, kMsgPostNotAppending);
  CheckRoomForRecord(2);
  SetFieldValues();
  const std::int32_t length = CalcFields();
  const auto n = static_cast<std::size_t>(length < 0 ? 0 : length);
  // A record too long for the file is still packed, so that an engine's own
  // check of a value (a text longer than its length word) is the one reported,
  // but into a block of its own: it is refused, and must not grow the arena.
  Bytes too_long;
  if (n > pdb::kMaxRecordSize) {
    too_long.resize(n);
    pack_room_ = too_long;
  } else {
    pack_room_ = PackedRecords().Reserve(n);
  }
  current_block_.reset();
  current_view_ = pack_room_;
  has_current_ = true;
  current_length_ = static_cast<std::int32_t>(n);
  try {
    PackFields();
  } catch (...) {
    // The room is not committed: the next record takes it.
    Free();
    throw;
  }
  if (n > pdb::kMaxRecordSize) {
    // Refused; the caller may still look at what was packed, as the current record.
    SetCurrentRecord(std::make_shared<const Bytes>(std::move(too_long)));
    CheckRecordSize(n, 3);
  }
  const std::span<std::uint8_t> room = pack_room_;
  Free();
  TRecordEntry& entry = RecordList().emplace_back(EntryWithoutData(true));
  entry.DataLength = static_cast<std::int32_t>(n);
  entry.packed_ = room.data();
  PackedRecords().Commit(n);
  append_mode_ = false;
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBBaseMgr::Cancel() {
  if (!append_mode_) RaisePDB(1, kMsgCancelNotAppending);
  append_mode_ = false;
}

void TPDBBaseMgr::CheckRecordSize(std::size_t length, int code) const {
  if (length > pdb::kMaxRecordSize) RaisePDB(code, kMsgRecordTooLong);
}

void TPDBBaseMgr::WriteRawRecord() {
  if (GetOpenMode() != dmModeWriteOnly) RaisePDB(1, kMsgNotCreating);
  CheckRoomForRecord(2);
  CheckRecordSize(CurrentRecord().size(), 3);
  RecordList().push_back(EntryFromCurrent(false));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBBaseMgr::WriteRawRecordFirst() {
  if (GetOpenMode() != dmModeWriteOnly) RaisePDB(1, kMsgNotCreating);
  CheckRoomForRecord(2);
  CheckRecordSize(CurrentRecord().size(), 3);
  RecordList().push_front(EntryFromCurrent(false));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

TRecordEntry TPDBBaseMgr::CopiedEntry(std::span<const std::uint8_t> bytes) {
  TRecordEntry e = EntryWithoutData(true);
  e.DataLength = static_cast<std::int32_t>(bytes.size());
  if (bytes.empty()) {
    // An empty record still has data (as an empty block handed over does),
    // unlike a record that has none.
    e.Data = std::make_shared<const Bytes>();
    return e;
  }
  // Post reserves and commits within one call, so no room is held between
  // calls: the store's next room is free to take.
  const std::span<std::uint8_t> room = PackedRecords().Reserve(bytes.size());
  std::memcpy(room.data(), bytes.data(), bytes.size());
  PackedRecords().Commit(bytes.size());
  e.packed_ = room.data();
  return e;
}

void TPDBBaseMgr::WriteRawRecord(std::span<const std::uint8_t> bytes) {
  if (GetOpenMode() != dmModeWriteOnly) RaisePDB(1, kMsgNotCreating);
  CheckRoomForRecord(2);
  CheckRecordSize(bytes.size(), 3);
  RecordList().push_back(CopiedEntry(bytes));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBBaseMgr::WriteRawRecordFirst(std::span<const std::uint8_t> bytes) {
  if (GetOpenMode() != dmModeWriteOnly) RaisePDB(1, kMsgNotCreating);
  CheckRoomForRecord(2);
  CheckRecordSize(bytes.size(), 3);
  RecordList().push_front(CopiedEntry(bytes));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBBaseMgr::SetCustomRecord() {
  if (GetOpenMode() == dmModeReadOnly) Free();
  if (!isOpen()) RaisePDB(1, kMsgGetRecordNotOpen);
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(7, kMsgGetRecordWriteOnly);
  const std::int32_t rec = Cursor();
  if (rec > FixLast() || rec < 0) RaisePDB(2, kMsgRecordDoesNotExist);
  if (rec >= FileRecordCount()) RaisePDB(3, kMsgRecordNotInList);
  const pdb::Entry e = FileEntry(rec);
  // The current record is a view into the file held in memory: no copy per record.
  std::span<const std::uint8_t> bytes;
  if (RecordBytes(rec, e, bytes)) {
    current_view_ = bytes;
    has_current_ = true;
    current_length_ = static_cast<std::int32_t>(bytes.size());
  }
  rec_category_ = e.category;
  rec_flags_ = e.flags;
  rec_unique_id_ = static_cast<std::int32_t>(e.unique_id);
  SplitFields();
}

void TPDBBaseMgr::FlushAllData(bool WriteCategory) {
  BuildFirstRecord();
  auto& list = RecordList();
  const std::size_t n = list.size();
  std::span<const std::uint8_t> app;
  std::int32_t app_len = 0;
  GetAppInfoP(app, app_len);
  std::span<const std::uint8_t> sort;
  std::int32_t sort_len = 0;
  GetSortInfoP(sort, sort_len);
  const std::size_t T = WriteCategory ? pdb::kCategoryTableSize : 0;
  const std::size_t A = app.size(), S = sort.size();
  const std::size_t list_end = pdb::kHeaderSize + pdb::kEntrySize * n + pdb::kGapSize;
  const std::size_t data_start = list_end + T + A + S;

  // The file is written from pieces: everything before the records' bytes
  // built here (every byte of it is written below, so it is not zero-filled
  // first), then each record's bytes straight from its own block.
  std::unique_ptr<std::uint8_t[]> head = std::make_unique_for_overwrite<std::uint8_t[]>(data_start);

  // A deleted record has no data; its offset is where the next record's data
  // begins, so that every reader measures it as empty (an offset of 0 would
  // make the length from it to the next record negative). One deleted and
  // archived (category bit 0x08) keeps its bytes when asked to.
  const auto bytes_of = [keep = keep_archived_](const TRecordEntry& e) {
    const bool archived = keep && (e.Category & pdb::kArchivedCategoryBit) != 0;
    return e.Flags.Contains(dmRecAttrDelete) && !archived ? std::span<const std::uint8_t>()
                                                          : e.View();
  };
  std::size_t running = data_start;
  std::uint8_t* at = head.get() + pdb::kHeaderSize;
  for (const TRecordEntry& e : list) {
    pdb::Entry fe;
    fe.data_offset = static_cast<std::uint32_t>(running);
    fe.category = e.Category & 0x0F;
    fe.flags = e.Flags;
    fe.unique_id = e.UniqueID & 0xFFFFFFu;
    pdb::EncodeEntry(fe, std::span<std::uint8_t, pdb::kEntrySize>(at, pdb::kEntrySize));
    at += pdb::kEntrySize;
    running += bytes_of(e).size();
  }
  // Offsets are 32-bit: a larger file would have them wrap and point into
  // other records. Refused before a byte is written.
  if (running > std::numeric_limits<std::uint32_t>::max()) RaisePDB(4, kMsgDatabaseTooLarge);

  // A record database with the resource bit would be read as a resource
  // database, whose entries this layout does not have.
  if ((GetAttributes() & pdb::kAttrResourceDB) != 0) RaisePDB(5, kMsgResourceAttribute);

  pdb::Header h;
  h.name = DatabaseName();
  h.attributes = GetAttributes();
  h.version = GetDBVersion();
  // Creation dates before 1990 (0 included) are no real creation date: use
  // now, unless the caller asked for the date as given.
  const bool given = CreationDate() != 0 && CreationDateAsGiven();
  const TDateTime created =
      given || CreationDate() >= EncodeDate(1990, 1, 1) ? CreationDate() : Now();
  h.creation_date = created;
  h.modification_date = GetModificationDate() > 0 ? GetModificationDate() : created;
  h.backup_date = GetLastBackupDate() > 0 ? GetLastBackupDate() : 0;
  // Each date as the value read for it when it still stores it, else in the
  // form the reader reads back; a date neither form holds is refused rather
  // than wrapped into another.
  const int bias = StandardTimeZoneBiasMinutes();
  const auto stored = [&](TDateTime date, HeaderDate which, const char* field) -> std::uint32_t {
    if (date == 0) return 0;
    const std::uint32_t carried = StoredDate(which);
    if (carried != 0 && pdb::StoresDate(carried, date, bias)) return carried;
    std::uint32_t v = 0;
    if (!pdb::StoredDate(date, bias, v)) {
      throw EPDBException(6, GetLocaleString(kMsgHeaderDateRange) + " (" + field + ")")
          .WithMessageId(kMsgHeaderDateRange);
    }
    return v;
  };
  h.creation_stored = stored(h.creation_date, HeaderDate::Creation, "created");
  h.modification_stored = stored(h.modification_date, HeaderDate::Modification, "modified");
  h.backup_stored = stored(h.backup_date, HeaderDate::Backup, "backedUp");
  // What a file held where it had no date is written back as it was.
  const auto keep_no_date = [&](HeaderDate which, TDateTime& date, std::uint32_t& value) {
    if (!NoDateKept(which) || (StoredDate(which) >> 16) != 0) return;
    date = 0;
    value = StoredDate(which);
  };
  keep_no_date(HeaderDate::Creation, h.creation_date, h.creation_stored);
  keep_no_date(HeaderDate::Modification, h.modification_date, h.modification_stored);
  keep_no_date(HeaderDate::Backup, h.backup_date, h.backup_stored);
  h.modification_number = GetModification();
  h.app_info_offset = (T + A) > 0 ? static_cast<std::uint32_t>(list_end) : 0;
  h.sort_info_offset = S > 0 ? static_cast<std::uint32_t>(list_end + T + A) : 0;
  h.type = DatabaseType();
  h.creator = CreatorID();
  h.unique_id_seed = GetUniqueIDSeed();
  h.next_record_list_id = 0;
  h.record_count = static_cast<std::uint16_t>(n);
  pdb::EncodeHeader(h, std::span<std::uint8_t, pdb::kHeaderSize>(head.get(), pdb::kHeaderSize));

  head[list_end - 2] = 0;  // the gap
  head[list_end - 1] = 0;
  std::uint8_t* block = head.get() + list_end;
  if (T > 0) {
    if (!CategoryNames()) InitializeCategory();
    pdb::EncodeCategoryTable(*CategoryNames(), std::span<const std::uint8_t, 17>(*CategoryIDs()),
                             std::span<std::uint8_t, pdb::kCategoryTableSize>(block, T));
    block += T;
  }
  if (A > 0) std::memcpy(block, app.data(), A);
  block += A;
  if (S > 0) std::memcpy(block, sort.data(), S);

  // The records follow in batches of pieces, so that no list of them all is
  // built. Records posted or copied one after another lie side by side in the
  // store: they leave as one piece.
  constexpr std::size_t kBatch = 1024;
  std::array<std::span<const std::uint8_t>, kBatch> pieces;
  std::size_t count = 0;
  BeginImage(running);
  pieces[count++] = std::span<const std::uint8_t>(head.get(), data_start);
  for (const TRecordEntry& e : list) {
    const std::span<const std::uint8_t> data = bytes_of(e);
    if (data.empty()) continue;
    std::span<const std::uint8_t>& last = pieces[count - 1];
    if (last.data() != head.get() && last.data() + last.size() == data.data()) {
      last = std::span<const std::uint8_t>(last.data(), last.size() + data.size());
      continue;
    }
    if (count == kBatch) {
      // The last piece may still grow: it starts the next batch.
      WriteImage(std::span(pieces.data(), count - 1));
      pieces[0] = last;
      count = 1;
    }
    pieces[count++] = data;
  }
  WriteImage(std::span(pieces.data(), count));
  EndImage();
}

}  // namespace corvane
