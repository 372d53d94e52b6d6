// TPDBVirtualDataSet: the row list and the record-ID index over it.
#include <algorithm>
#include <string>

#include "corvane/dataset/virtual_dataset.h"

namespace corvane {

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

std::int32_t NextID(std::int32_t id) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(id) + 1u);
}

}  // namespace

// ---------------------------------------------------------------------------
// TMemoryRecord

TMemoryRecord::TMemoryRecord(Key, TPDBVirtualDataSet* dataset, std::int32_t record_id,
                             int data_size, int blob_count)
    : owner_(dataset),
      record_id_(record_id),
      data_size_(static_cast<std::size_t>(data_size)),
      data_(std::make_unique<std::uint8_t[]>(data_size_)),
      blobs_(static_cast<std::size_t>(blob_count)) {}

TMemoryRecord::~TMemoryRecord() = default;

int TMemoryRecord::GetIndex() const {
  return owner_ ? owner_->IndexOfRow(this) : -1;
}

void TMemoryRecord::SetIndex(int index) {
  int current = GetIndex();
  if (current < 0 || current == index) return;
  auto& rows = owner_->rows_;
  if (index < 0 || index >= static_cast<int>(rows.size())) ListIndexError(index);
  auto b = rows.begin();
  if (current < index)
    std::rotate(b + current, b + current + 1, b + index + 1);
  else
    std::rotate(b + index, b + current, b + current + 1);
  owner_->RowsMoved(std::min(current, index));
}

// ---------------------------------------------------------------------------
// Row list

TMemoryRecord* TPDBVirtualDataSet::AddRecord() {
  int size = cursor_open_ ? data_size_ : CalcRecordSize();
  std::int32_t id = NextID(last_id_);
  auto row =
      std::make_unique<TMemoryRecord>(TMemoryRecord::Key{}, this, id, size, BlobFieldCount());
  row->index_ = MemoryRecordCount();
  TMemoryRecord* raw = row.get();
  rows_.push_back(std::move(row));
  try {
    by_id_.emplace(id, raw);
  } catch (...) {
    rows_.pop_back();
    throw;
  }
  last_id_ = id;
  return rows_.back().get();
}

TMemoryRecord* TPDBVirtualDataSet::InsertRecord(int index) {
  if (index < 0 || index > MemoryRecordCount()) ListIndexError(index);
  TMemoryRecord* row = AddRecord();
  row->SetIndex(index);
  return row;
}

TMemoryRecord* TPDBVirtualDataSet::FindRecordID(std::int32_t id) const {
  int i = IndexOfRecordID(id);
  return i < 0 ? nullptr : rows_[static_cast<std::size_t>(i)].get();
}

int TPDBVirtualDataSet::IndexOfRecordID(std::int32_t id) const noexcept {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? -1 : IndexOfRow(it->second);
}

// Every row remembers its index; moves and removals only mark where the
// remembered indexes may start to be wrong, and the next lookup that finds
// its row elsewhere renumbers from there (from the start when the rows were
// reordered behind the dataset's back).
int TPDBVirtualDataSet::IndexOfRow(const TMemoryRecord* row) const noexcept {
  auto at = [&](int i) {
    return i >= 0 && i < MemoryRecordCount() && rows_[static_cast<std::size_t>(i)].get() == row;
  };
  if (at(row->index_)) return row->index_;
  for (int from : {std::min(renumber_from_, MemoryRecordCount()), 0}) {
    for (int i = from; i < MemoryRecordCount(); ++i) rows_[static_cast<std::size_t>(i)]->index_ = i;
    renumber_from_ = MemoryRecordCount();
    if (at(row->index_)) return row->index_;
  }
  return -1;
}

void TPDBVirtualDataSet::RowsMoved(int from) noexcept {
  renumber_from_ = std::min(renumber_from_, std::max(from, 0));
}

TMemoryRecord& TPDBVirtualDataSet::GetMemoryRecord(int index) const {
  if (index < 0 || index >= MemoryRecordCount()) ListIndexError(index);
  return *rows_[static_cast<std::size_t>(index)];
}

void TPDBVirtualDataSet::RemoveRow(int index) {
  GetMemoryRecord(index);  // range check
  auto it = rows_.begin() + index;
  (*it)->owner_ = nullptr;
  by_id_.erase((*it)->record_id_);
  rows_.erase(it);
  RowsMoved(index);
}

void TPDBVirtualDataSet::ClearRecords() {
  while (!rows_.empty()) {
    rows_.back()->owner_ = nullptr;
    rows_.pop_back();
  }
  by_id_.clear();
  renumber_from_ = 0;
  last_id_ = kNoRecordID;
  cursor_pos_ = -1;
}

void TPDBVirtualDataSet::EmptyTable() {
  if (!Active()) return;
  CheckBrowseMode();
  ClearRecords();
  ClearBuffers();
  DataEvent(deDataSetChange);
}

}  // namespace corvane
