// TPDBBaseMgr: the writing manager and base of every typed-record engine. It
// adds the current record (the record an engine splits after a cursor move, or
// packs when the caller posts), posting into the record list, raw records, and
// the one-pass writer of the whole file.
//
// Record cycle of an engine:
//   writing: Append (checks, ClearFields) -> set field values -> Post
//            (SetFieldValues, CalcFields, PackFields into that many bytes of
//            the manager's record arena, where the record stays until the
//            file is written);
//   reading: every cursor move -> SetCustomRecord -> SplitFields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "corvane/pdb/corvane.h"

namespace corvane {

class TPDBBaseMgr : public TCorvane {
 public:
  explicit TPDBBaseMgr(TComponent* owner = nullptr);
  ~TPDBBaseMgr() override;

  // Packs the current field values into a new record at the end of the list.
  // A record longer than 65535 bytes is refused (code 3) and nothing is added;
  // so is a record whose packing raises (the engine's own exception), which
  // leaves no current record.
  // Raises EPDBException 1 kMsgPostNotAppending, 2 kMsgTooManyRecords, 3 kMsgRecordTooLong.
  void Post();
  // Leaves append mode without writing anything.
  // Raises EPDBException 1 kMsgCancelNotAppending.
  void Cancel();
  // Adds the current record data as it is (e.g. bytes built by the caller),
  // at the end or at the start of the record list. The entry shares the block.
  // A record longer than 65535 bytes is refused (code 3).
  // Both raise EPDBException 1 kMsgNotCreating, 2 kMsgTooManyRecords, 3 kMsgRecordTooLong.
  void WriteRawRecord();
  void WriteRawRecordFirst();
  // Add a copy of `bytes` as a record, with the current record's category,
  // flags and unique ID, at the end or at the start of the record list. The
  // caller's bytes need to live only for the call; the current record is left
  // as it is. Copied records are kept side by side in the manager's own store,
  // so writing many small records costs no allocation of their own.
  // Both raise EPDBException 1 kMsgNotCreating, 2 kMsgTooManyRecords, 3 kMsgRecordTooLong.
  void WriteRawRecord(std::span<const std::uint8_t> bytes);
  void WriteRawRecordFirst(std::span<const std::uint8_t> bytes);

  std::uint8_t GetRecCategory() const noexcept { return rec_category_; }
  // Raises EPDBException 1 kMsgCategoryTooLarge above 15.
  void SetRecCategory(std::uint8_t Value);
  TRecFlags GetRecFlags() const noexcept { return rec_flags_; }
  void SetRecFlags(TRecFlags Value) noexcept { rec_flags_ = Value; }
  std::int32_t GetRecUniqueID() const noexcept { return rec_unique_id_; }
  void SetRecUniqueID(std::int32_t Value) noexcept { rec_unique_id_ = Value; }
  static std::uint8_t RecFlagsToByte(TRecFlags Flags) noexcept { return pdb::RecFlagsToByte(Flags); }
  // Off by default: a deleted record is written without data. On, a deleted
  // record whose category has bit 0x08 (archived: the handheld deleted it but
  // the desktop is to keep it) is written with its data, as such files hold
  // it; a copy of such a file keeps its archived records.
  bool KeepArchivedRecords() const noexcept { return keep_archived_; }
  void SetKeepArchivedRecords(bool on) noexcept { keep_archived_ = on; }

  // The current record: its bytes (empty span when there are none), whether
  // there is one, and its length.
  std::span<const std::uint8_t> CurrentRecord() const noexcept;
  bool HasCurrentRecord() const noexcept { return has_current_; }
  std::int32_t CurrentRecordLength() const noexcept { return current_length_; }
  // Sets the current record data to a block of the caller's (raw records).
  void SetCurrentRecord(std::shared_ptr<const Bytes> block);
  void SetCurrentRecord(Bytes block) { SetCurrentRecord(std::make_shared<const Bytes>(std::move(block))); }
  // Releases the current record data.
  void Free() noexcept;
  bool AppendMode() const noexcept { return append_mode_; }

 protected:
  void SetCustomRecord() override;
  void FlushAllData(bool WriteCategory) override;

  virtual std::int32_t CalcFields() { return 0; }
  virtual void PackFields() {}
  virtual void SplitFields() {}
  virtual void ClearFields() {}
  virtual void BuildFirstRecord() {}
  virtual void SetFieldValues() {}

  // The room PackFields fills: exactly CalcFields() bytes, not zeroed first.
  std::span<std::uint8_t> PackBuffer() noexcept;
  void SetAppendMode(bool on) noexcept { append_mode_ = on; }
  // Raises EPDBException(code, kMsgTooManyRecords) when the record list is full.
  void CheckRoomForRecord(int code) const;
  // Raises EPDBException(code, kMsgRecordTooLong) for a record the handheld cannot hold.
  void CheckRecordSize(std::size_t length, int code) const;

  // A record entry for the current record, sharing its block (a copy of the
  // bytes when the current record is a view into the file being read).
  TRecordEntry EntryFromCurrent(bool owns) const;
  // A record entry for a copy of `bytes` in the manager's store, with the
  // current record's category, flags and unique ID. Checks nothing.
  TRecordEntry CopiedEntry(std::span<const std::uint8_t> bytes);

 private:
  // Category, flags, unique ID and ownership of the current record; no data.
  TRecordEntry EntryWithoutData(bool owns) const noexcept;

 private:
  bool append_mode_ = false;
  bool keep_archived_ = false;
  TRecFlags rec_flags_;
  std::int32_t rec_unique_id_ = 0;
  std::uint8_t rec_category_ = 0;
  // The current record is either a block (written records, raw records) or a
  // view into the open file's image (records read), so walking a file copies nothing.
  std::shared_ptr<const Bytes> current_block_;
  // The room Post packs into: the next record's place among the packed
  // records, so a record is built where it stays and costs no allocation.
  std::span<std::uint8_t> pack_room_;
  std::span<const std::uint8_t> current_view_;
  bool has_current_ = false;
  std::int32_t current_length_ = 0;
};

}  // namespace corvane
