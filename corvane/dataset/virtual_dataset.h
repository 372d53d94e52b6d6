// TPDBVirtualDataSet: a dataset whose whole table lives in memory, one
// TMemoryRecord per row in an ordered row list.
//
// A row's data block is laid out as one slot per stored field definition
// (depth-first through child definitions): a null-flag byte, then the value.
// A record buffer holds the same data area, then the calculation area, then
// an 8-byte bookmark area (record ID, then the bookmark flag); blob values
// live beside it, one shared byte string per blob field, copied on change.
//
// Threads: a dataset, its fields and its rows are used by one thread at a
// time; distinct datasets may be filled, sorted and walked in distinct
// threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "corvane/dataset/text_compare.h"
#include "corvane/host/charset.h"
#include "corvane/host/dataset/dataset.h"
#include "corvane/host/persistent.h"

namespace corvane {

class TPDBVirtualDataSet;

// One byte string per blob field of a row (null: no data).
using TMemBlobArray = std::vector<TBlobData>;

// The record ID that stands for "no row".
inline constexpr std::int32_t kNoRecordID = INT32_MIN;

class TMemoryRecord : public TPersistent {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Rows are made by their dataset (TPDBVirtualDataSet::AddRecord).
  TMemoryRecord(Key, TPDBVirtualDataSet* dataset, std::int32_t record_id, int data_size,
                int blob_count);
  ~TMemoryRecord() override;
  TMemoryRecord(const TMemoryRecord&) = delete;
  TMemoryRecord& operator=(const TMemoryRecord&) = delete;

  TPDBVirtualDataSet* Owner() const noexcept { return owner_; }
  std::int32_t RecordID() const noexcept { return record_id_; }
  std::span<std::uint8_t> Data() noexcept { return {data_.get(), data_size_}; }
  std::span<const std::uint8_t> Data() const noexcept { return {data_.get(), data_size_}; }
  TMemBlobArray& Blobs() noexcept { return blobs_; }
  const TMemBlobArray& Blobs() const noexcept { return blobs_; }

  // Position in the owner's row list, -1 without one.
  int GetIndex() const;
  // Moves the row to Index in its owner's list; the rows between shift by one.
  // Index outside the list: EListError.
  void SetIndex(int index);

  std::string ClassName() const override { return "TMemoryRecord"; }

 private:
  friend class TPDBVirtualDataSet;
  TPDBVirtualDataSet* owner_;
  std::int32_t record_id_;
  std::size_t data_size_;
  std::unique_ptr<std::uint8_t[]> data_;
  TMemBlobArray blobs_;
  // Where the row was last seen in its owner's list (checked before use).
  mutable int index_ = -1;
};

// Bytes of a stored field's value in a data area; -1 for blob and unsupported
// types, which have no slot.
int StoredValueWidth(TFieldType type, int size) noexcept;
bool IsStoredType(TFieldType type) noexcept;
// Stored types and blob types.
bool IsSupportedType(TFieldType type) noexcept;

class TPDBVirtualDataSet : public TDataSet {
 public:
  explicit TPDBVirtualDataSet(TComponent* owner = nullptr);
  ~TPDBVirtualDataSet() override;

  // --- Row list
  TMemoryRecord* AddRecord();
  // A new row at Index (0 to the row count); outside: EListError, no row added.
  TMemoryRecord* InsertRecord(int index);
  TMemoryRecord* FindRecordID(std::int32_t id) const;
  TMemoryRecord& GetMemoryRecord(int index) const;  // outside the list: EListError
  int MemoryRecordCount() const noexcept { return static_cast<int>(rows_.size()); }
  // Drops every row of an open dataset (the auto-increment counter stays).
  void EmptyTable();

  // --- Layout and counters
  int DataSize() const noexcept { return data_size_; }
  int BookmarkOffset() const noexcept { return bookmark_offset_; }
  int BlobOffset() const noexcept { return blob_offset_; }
  int BufferSize() const noexcept { return buffer_size_; }
  const std::vector<std::uint16_t>& OffsetTable() const noexcept { return offsets_; }
  int CursorPosition() const noexcept { return cursor_pos_; }
  std::int32_t LastID() const noexcept { return last_id_; }
  std::int32_t AutoIncValue() const noexcept { return auto_inc_; }

  // --- Framework overrides that the fields call
  bool GetFieldData(TField* field, std::span<std::uint8_t> buffer) override;
  void SetFieldData(TField* field, std::span<const std::uint8_t> buffer) override;
  bool GetCurrentRecord(std::span<std::uint8_t> buffer) override;

  // --- Bookmarks: a row's bookmark is its record ID. A bookmark stays valid
  // (though it may lead nowhere) until the table is emptied or closed, and
  // bookmarks order rows by creation, not by their place.
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;

  // --- Filtering: while Filtered, only rows that OnFilterRecord accepts are
  // shown; the handler reads the candidate row through the fields. Changing
  // either on an open dataset posts a pending edit and moves to the first row.
  void SetFiltered(bool value) override;
  void SetOnFilterRecord(TFilterRecordEvent handler) override;
  // Record numbers count every row, so they follow the rows shown only
  // without a filter.
  bool IsSequenced() override { return !Filtered(); }
  // Moves to the row with that number (1 to the row count); other numbers,
  // and rows the filter hides, change nothing.
  void SetRecNo(int value) override;

  // --- Locating: text fields (ftString) compare in the locale's collation,
  // loCaseInsensitive ignoring the case of every letter of Charset() and
  // loPartialKey matching a field whose text starts with the key; other
  // fields compare as tagged values (a whole double equals that integer).
  using TDataSet::Locate;
  bool Locate(const std::string& key_fields, const std::vector<Variant>& key_values,
              TLocateOptions options = {}) override;

  // --- Sorting: reorders the rows in place by the fields named (separated by
  // ';'), ascending or descending, texts (memos too) in the locale's
  // collation with or without regard to case. Null values come first
  // ascending and last descending; rows with equal keys keep their creation
  // order (reversed when descending). The order lasts until rows are added or
  // moved; the cursor stays on its row, and a pending edit is posted first.
  // An unknown name raises SFieldNotFound, a field that cannot be sorted on
  // (calculated, binary blob) SFieldTypeMismatch, and then no sort field
  // list remains.
  void SortDataSet(const std::string& field_names, bool case_insensitive = false,
                   bool descending = false);
  // True for a field of the sort field list, which lasts until the dataset
  // is closed or sorted again.
  bool GetIsIndexField(TField* field) override;
  bool SortCaseInsensitive() const noexcept { return sort_case_insensitive_; }
  // The character set of the texts (Windows-1252 at first, as handhelds keep
  // them): which bytes are letters for the comparisons that ignore case, and
  // which characters the locale's collation compares.
  TextCharset Charset() const noexcept { return charset_; }
  void SetCharset(TextCharset value) noexcept { charset_ = value; }
  bool SortDescending() const noexcept { return sort_descending_; }

  // --- Blobs: a TMemBlobStream on the field (see blob_stream.h), owned by
  // the caller. CloseBlob drops a field's pending value from the active
  // buffer: an edited row's stored value comes back, a new row has none.
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  void CloseBlob(TField* field) override;

  // The blob value of a record buffer, and its replacement (only on the
  // active buffer; refused in filter state).
  TBlobData GetBlobData(TField* field, const TRecordBuffer& buffer) const;
  void SetBlobData(TField* field, TRecordBuffer& buffer, TBlobData value);

 protected:
  // --- Introduced hooks
  virtual bool GetActiveRecBuf(TRecordBuffer*& buffer);
  virtual void SetMemoryRecordData(TRecordBuffer& buffer, int index);
  virtual void SetAutoIncFields(TRecordBuffer& buffer);
  // Whether the row at the cursor passes OnFilterRecord; asked only while the
  // dataset is filtered. Without a handler every row passes; a handler that
  // raises goes to the exception handler and leaves its verdict as it was.
  virtual bool RecordFilter();
  // How two rows order (<0, 0, >0); a replacement must keep the order total
  // (tie-break on RecordID), as the sort relies on it.
  virtual int CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b);
  using TCompareRecords = int (TPDBVirtualDataSet::*)(const TMemoryRecord&, const TMemoryRecord&);
  // Whether CompareRecords is replaced, so Sort must ask it for every pair.
  // Otherwise Sort orders the rows through their keys, which gives the same
  // order faster. True for every descendant unless it says otherwise.
  virtual bool CompareRecordsReplaced() const;
  // Reorders the rows by CompareRecords and puts the cursor back on its row.
  void Sort();
  // Sorts the rows with indexes left to right.
  void QuickSort(int left, int right, TCompareRecords compare);
  void CreateIndexList(const std::string& field_names);
  // Discards the sort field list.
  virtual void FreeIndexList();

  // --- Record-buffer protocol
  std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override;
  void FreeRecordBuffer(std::unique_ptr<TRecordBuffer>& buffer) override;
  void InternalInitRecord(TRecordBuffer& buffer) override;
  void InitRecord(TRecordBuffer& buffer) override;
  void ClearCalcFields(TRecordBuffer& buffer) override;
  int GetRecordSize() const override { return data_size_; }
  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool check) override;
  int GetRecordCount() const override { return MemoryRecordCount(); }
  int GetRecNo() override;
  bool IsCursorOpen() const override { return cursor_open_; }

  void GetBookmarkData(TRecordBuffer& buffer, std::span<std::uint8_t> data) override;
  void SetBookmarkData(TRecordBuffer& buffer, std::span<const std::uint8_t> data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer& buffer) override;
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override;
  void InternalGotoBookmark(std::span<const std::uint8_t> bookmark) override;

  void InternalFirst() override { cursor_pos_ = -1; }
  void InternalLast() override { cursor_pos_ = MemoryRecordCount(); }
  void InternalSetToRecord(TRecordBuffer& buffer) override;
  void InternalAddRecord(TRecordBuffer& buffer, bool append) override;
  void InternalDelete() override;
  void InternalPost() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override {}
  void InternalHandleException() override;
  void OpenCursor(bool info_only) override;
  void InitFieldDefsFromFields() override;

  // --- Internal operations
  // The slot (its flag byte) of a data field in a data area, or nullptr.
  std::uint8_t* FindFieldData(std::uint8_t* data, TField* field);
  const std::uint8_t* FindFieldData(const std::uint8_t* data, TField* field);
  int CalcRecordSize();
  void InitBufferPointers(bool recompute);
  void ClearRecords();
  void RecordToBuffer(const TMemoryRecord& row, TRecordBuffer& buffer);
  void AssignMemoryRecord(TMemoryRecord& row, const TRecordBuffer& buffer);
  std::int32_t RecordIDOf(const TRecordBuffer& buffer) const noexcept;
  int IndexOfRecordID(std::int32_t id) const noexcept;
  int IndexOfRow(const TMemoryRecord* row) const noexcept;
  void SetCursorPosition(int position) noexcept { cursor_pos_ = position; }
  // The row list itself, for reordering rows in place (sorting exchanges
  // entries; rows keep their IDs). Rows are added and removed only through
  // the dataset. Call RowsMoved with the first index that changed.
  std::span<std::unique_ptr<TMemoryRecord>> Rows() noexcept { return rows_; }
  void RowsMoved(int from) noexcept;

 private:
  friend class TMemoryRecord;
  friend class TMemBlobStream;
  // Where a definition's value lives: offset of its slot (-1: no slot), its
  // type and value width. One per entry of the flattened definition list.
  struct Slot {
    int offset;
    TFieldType type;
    int width;
    int blob;  // a memo sort key's place among the blobs, else -1
  };
  const Slot* FindSlot(TField* field);
  void RemoveRow(int index);
  struct LocateKey;
  void PrepareSortKeys();
  int CompareByIndexList(const TMemoryRecord& a, const TMemoryRecord& b);
  void SortByKeys();
  template <class Entry>
  void SortByKeys(const Slot* first);
  void SortByCollationKeys(const Slot& first);
  TextOrder SortTextOrder(const Slot& key) const noexcept;
  bool LocateRecord(const std::string& key_fields, const std::vector<Variant>& key_values,
                    TLocateOptions options);
  bool KeyMatches(const LocateKey& key, const TMemoryRecord* row, bool& loaded);

  std::vector<Slot> slots_;

  int cursor_pos_ = -1;
  int data_size_ = 0;
  int bookmark_offset_ = 0;
  int blob_offset_ = 0;
  int buffer_size_ = 0;
  std::vector<std::uint16_t> offsets_;
  std::int32_t last_id_ = kNoRecordID;
  std::int32_t auto_inc_ = 1;
  bool cursor_open_ = false;
  std::vector<std::unique_ptr<TMemoryRecord>> rows_;
  // Record ID to row, and the first row whose remembered index may be stale.
  std::unordered_map<std::int32_t, TMemoryRecord*> by_id_;
  mutable int renumber_from_ = 0;

  // The sort field list (none until CreateIndexList), and the slots of its
  // fields as the sort reads them.
  std::unique_ptr<std::vector<TField*>> index_list_;
  std::vector<Slot> sort_keys_;
  bool sort_case_insensitive_ = false;
  bool sort_descending_ = false;
  bool sort_bytewise_ = true;
  TextCharset charset_ = TextCharset::Windows1252;
};

}  // namespace corvane
