#include "corvane/dataset/virtual_dataset.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "corvane/host/hooks.h"

namespace corvane {

namespace {

constexpr const char* SNoDataFound = "No data found";
constexpr const char* SRecordTooLarge = "Record of %s bytes is too large (at most 65535)";

std::int32_t NextID(std::int32_t id) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(id) + 1u);
}

bool IsTextType(TFieldType t) noexcept {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

}  // namespace

int StoredValueWidth(TFieldType type, int size) noexcept {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftDate:
    case ftTime:
    case ftAutoInc:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftLargeint:
      return 8;
    case ftBCD:
      return 34;
    case ftBytes:
      return size;
    case ftVarBytes:
      return size + 2;
    case ftWideString:
      return 2 * size + 2;
    case ftADT:
      return 0;
    case ftVariant:
      return 16;
    case ftGuid:
      return 39;
    default:
      return -1;
  }
}

bool IsStoredType(TFieldType type) noexcept {
  return StoredValueWidth(type, 0) >= 0;
}
bool IsSupportedType(TFieldType type) noexcept {
  return IsStoredType(type) || IsBlobType(type);
}

// ---------------------------------------------------------------------------
// Construction

TPDBVirtualDataSet::TPDBVirtualDataSet(TComponent* owner) : TDataSet(owner) {}

TPDBVirtualDataSet::~TPDBVirtualDataSet() {
  CloseForDestroy();
  FreeIndexList();
  ClearRecords();
}

// ---------------------------------------------------------------------------
// Layout

void TPDBVirtualDataSet::InitFieldDefsFromFields() {
  if (FieldDefs().Count() == 0) {
    for (TField* f : Fields())
      if (f->FieldKind() == fkData && !IsSupportedType(f->DataType()))
        DatabaseErrorFmt(dbmsg::SUnknownFieldType, {f->DisplayName()});
    FreeIndexList();
  }
  TDataSet::InitFieldDefsFromFields();

  TFieldDefList& list = FieldDefList();
  offsets_.assign(static_cast<std::size_t>(list.Count()), 0);
  slots_.clear();
  slots_.reserve(static_cast<std::size_t>(list.Count()));
  long offset = 0;
  for (int i = 0; i < list.Count(); ++i) {
    // Offsets are 16 bits wide: a data area that outgrows them would make
    // later slots overlap earlier ones.
    if (offset > 0xFFFF) DatabaseErrorFmt(SRecordTooLarge, {std::to_string(offset)});
    offsets_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(offset);
    const TFieldDef& def = list.Items(i);
    int width = StoredValueWidth(def.DataType(), def.Size());
    slots_.push_back(Slot{width >= 0 ? static_cast<int>(offset) : -1, def.DataType(), width, -1});
    if (width >= 0) offset += width + 1;
  }
  if (offset > 0xFFFF) DatabaseErrorFmt(SRecordTooLarge, {std::to_string(offset)});
}

int TPDBVirtualDataSet::CalcRecordSize() {
  TFieldDefList& list = FieldDefList();
  long size = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const TFieldDef& def = list.Items(i);
    int width = StoredValueWidth(def.DataType(), def.Size());
    if (width >= 0) size += width + 1;
  }
  if (size > 0xFFFF) DatabaseErrorFmt(SRecordTooLarge, {std::to_string(size)});
  return static_cast<int>(size);
}

void TPDBVirtualDataSet::InitBufferPointers(bool recompute) {
  if (recompute) data_size_ = CalcRecordSize();
  bookmark_offset_ = data_size_ + CalcFieldsSize();
  blob_offset_ = bookmark_offset_ + 8;
  buffer_size_ = blob_offset_ + BlobFieldCount() * static_cast<int>(sizeof(TBlobData));
}

const TPDBVirtualDataSet::Slot* TPDBVirtualDataSet::FindSlot(TField* field) {
  // A bound field's number is its definition's place in the list, and the
  // definitions cannot change while the dataset is open.
  int index = field->FieldNo() - 1;
  if (field->DataSet() != this || index < 0 || static_cast<std::size_t>(index) >= slots_.size())
    index = FieldDefList().IndexOf(field->FullName());
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return nullptr;
  const Slot& slot = slots_[static_cast<std::size_t>(index)];
  return slot.offset < 0 ? nullptr : &slot;
}

std::uint8_t* TPDBVirtualDataSet::FindFieldData(std::uint8_t* data, TField* field) {
  if (!data) return nullptr;
  const Slot* slot = FindSlot(field);
  return slot ? data + slot->offset : nullptr;
}

const std::uint8_t* TPDBVirtualDataSet::FindFieldData(const std::uint8_t* data, TField* field) {
  return FindFieldData(const_cast<std::uint8_t*>(data), field);
}

// ---------------------------------------------------------------------------
// Record buffers

std::unique_ptr<TRecordBuffer> TPDBVirtualDataSet::AllocRecordBuffer() {
  auto buffer = std::make_unique<TRecordBuffer>();
  buffer->bytes.resize(static_cast<std::size_t>(blob_offset_));
  buffer->blobs.resize(static_cast<std::size_t>(BlobFieldCount()));
  return buffer;
}

void TPDBVirtualDataSet::FreeRecordBuffer(std::unique_ptr<TRecordBuffer>& buffer) {
  buffer.reset();
}

void TPDBVirtualDataSet::InternalInitRecord(TRecordBuffer& buffer) {
  std::fill(buffer.bytes.begin(), buffer.bytes.end(), std::uint8_t{0});
  for (TBlobData& b : buffer.blobs) b.reset();
}

void TPDBVirtualDataSet::InitRecord(TRecordBuffer& buffer) {
  TDataSet::InitRecord(buffer);
  std::int32_t id = kNoRecordID;
  std::memcpy(buffer.bytes.data() + bookmark_offset_, &id, 4);
  SetBookmarkFlag(buffer, bfInserted);
}

void TPDBVirtualDataSet::ClearCalcFields(TRecordBuffer& buffer) {
  std::fill_n(buffer.bytes.begin() + data_size_, CalcFieldsSize(), std::uint8_t{0});
}

void TPDBVirtualDataSet::RecordToBuffer(const TMemoryRecord& row, TRecordBuffer& buffer) {
  // A row made before the layout was known may be shorter; it reads as null.
  std::size_t n = std::min(row.data_size_, static_cast<std::size_t>(data_size_));
  std::memcpy(buffer.bytes.data(), row.data_.get(), n);
  std::fill(buffer.bytes.begin() + static_cast<std::ptrdiff_t>(n),
            buffer.bytes.begin() + data_size_, std::uint8_t{0});
  std::memcpy(buffer.bytes.data() + bookmark_offset_, &row.record_id_, 4);
  buffer.bytes[static_cast<std::size_t>(bookmark_offset_) + 4] = bfCurrent;
  for (std::size_t i = 0; i < buffer.blobs.size(); ++i)
    buffer.blobs[i] = i < row.blobs_.size() ? row.blobs_[i] : nullptr;
  GetCalcFields(buffer);
}

void TPDBVirtualDataSet::AssignMemoryRecord(TMemoryRecord& row, const TRecordBuffer& buffer) {
  std::size_t n = std::min(row.data_size_, static_cast<std::size_t>(data_size_));
  std::memcpy(row.data_.get(), buffer.bytes.data(), n);
  if (row.blobs_.size() < buffer.blobs.size()) row.blobs_.resize(buffer.blobs.size());
  for (std::size_t i = 0; i < buffer.blobs.size(); ++i) row.blobs_[i] = buffer.blobs[i];
}

void TPDBVirtualDataSet::SetMemoryRecordData(TRecordBuffer& buffer, int index) {
  if (State() == dsFilter) DatabaseError(dbmsg::SNotEditing);
  AssignMemoryRecord(GetMemoryRecord(index), buffer);
}

bool TPDBVirtualDataSet::GetActiveRecBuf(TRecordBuffer*& buffer) {
  switch (State()) {
    case dsBrowse:
      buffer = IsEmpty() ? nullptr : ActiveBuffer();
      break;
    case dsEdit:
    case dsInsert:
      buffer = ActiveBuffer();
      break;
    case dsCalcFields:
      buffer = CalcBuffer();
      break;
    case dsFilter:
      buffer = TempBuffer();
      break;
    // Internal calculated fields are computed on the buffer being calculated.
    case dsInternalCalc:
      buffer = CalcBuffer();
      break;
    default:
      buffer = nullptr;
      break;
  }
  return buffer != nullptr;
}

// ---------------------------------------------------------------------------
// Fetching

TGetResult TPDBVirtualDataSet::GetRecord(TRecordBuffer& buffer, TGetMode mode, bool check) {
  const int count = MemoryRecordCount();
  TGetResult result = grOK;
  bool accepted = true;
  switch (mode) {
    case gmCurrent:
      if (cursor_pos_ < 0 || cursor_pos_ >= count || (Filtered() && !RecordFilter()))
        result = grError;
      break;
    case gmNext:
      if (cursor_pos_ >= count - 1) {
        result = grEOF;
        break;
      }
      do {
        ++cursor_pos_;
        if (Filtered()) accepted = RecordFilter();
      } while (!accepted && cursor_pos_ < count - 1);
      if (!accepted) {
        cursor_pos_ = count - 1;
        result = grEOF;
      }
      break;
    case gmPrior:
      if (cursor_pos_ <= 0) {
        cursor_pos_ = -1;
        result = grBOF;
        break;
      }
      do {
        --cursor_pos_;
        if (Filtered()) accepted = cursor_pos_ >= 0 && RecordFilter();
      } while (!accepted && cursor_pos_ >= 0);
      if (!accepted) {
        cursor_pos_ = -1;
        result = grBOF;
      }
      break;
  }
  if (result == grOK)
    RecordToBuffer(*rows_[static_cast<std::size_t>(cursor_pos_)], buffer);
  else if (result == grError && check)
    DatabaseError(SNoDataFound);
  return result;
}

bool TPDBVirtualDataSet::GetCurrentRecord(std::span<std::uint8_t> buffer) {
  if (IsEmpty() || GetBookmarkFlag(*ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  if (cursor_pos_ < 0 || cursor_pos_ >= MemoryRecordCount()) return false;
  if (buffer.size() < static_cast<std::size_t>(data_size_))
    DatabaseError("Buffer too small for a record");
  const TMemoryRecord& row = *rows_[static_cast<std::size_t>(cursor_pos_)];
  std::memcpy(buffer.data(), row.data_.get(),
              std::min(row.data_size_, static_cast<std::size_t>(data_size_)));
  return true;
}

int TPDBVirtualDataSet::GetRecNo() {
  CheckActive();
  UpdateCursorPos();
  if (cursor_pos_ == -1 && MemoryRecordCount() > 0) return 1;
  return cursor_pos_ + 1;
}

// ---------------------------------------------------------------------------
// Field values

bool TPDBVirtualDataSet::GetFieldData(TField* field, std::span<std::uint8_t> buffer) {
  TRecordBuffer* rb;
  if (!GetActiveRecBuf(rb)) return false;
  if (field->FieldNo() <= 0) {
    // Also in filter state, so a filter or a search can look at them.
    TDataSetState s = State();
    if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields && s != dsFilter)
      return false;
    const std::size_t pos = static_cast<std::size_t>(data_size_ + field->Offset());
    const std::size_t size = static_cast<std::size_t>(std::max(field->DataSize(), 0));
    if (pos + 1 + size > static_cast<std::size_t>(bookmark_offset_)) return false;
    bool has = rb->bytes[pos] != 0;
    if (has && buffer.data()) {
      if (buffer.size() < size)
        DatabaseErrorFmt(dbmsg::SFieldBufferTooSmall, {field->DisplayName()});
      std::memcpy(buffer.data(), rb->bytes.data() + pos + 1, size);
    }
    return has;
  }
  const Slot* where = FindSlot(field);
  if (!where) return false;
  const TFieldType type = where->type;
  const std::uint8_t* slot = rb->bytes.data() + where->offset;
  bool has = slot[0] != 0;
  if (has && IsTextType(type)) {
    // An empty text reads as null; a wide text is empty when its first
    // character (two bytes) is 0, not merely its first byte.
    has = type == ftWideString ? (slot[1] != 0 || slot[2] != 0) : slot[1] != 0;
  }
  if (has && buffer.data()) {
    const std::size_t width = static_cast<std::size_t>(where->width);
    if (buffer.size() < width)
      DatabaseErrorFmt(dbmsg::SFieldBufferTooSmall, {field->DisplayName()});
    std::memcpy(buffer.data(), slot + 1, width);
  }
  return has;
}

void TPDBVirtualDataSet::SetFieldData(TField* field, std::span<const std::uint8_t> buffer) {
  const TDataSetState s = State();
  if (!IsWriteState(s)) DatabaseError(dbmsg::SNotEditing);
  TRecordBuffer* rb;
  // A state with no buffer to write to cannot take the value.
  if (!GetActiveRecBuf(rb)) DatabaseError(dbmsg::SNotEditing);
  const bool given = buffer.data() != nullptr;
  if (field->FieldNo() <= 0) {
    const std::size_t pos = static_cast<std::size_t>(data_size_ + field->Offset());
    const std::size_t size = static_cast<std::size_t>(std::max(field->DataSize(), 0));
    if (pos + 1 + size > static_cast<std::size_t>(bookmark_offset_))
      DatabaseError(dbmsg::SNotEditing);
    rb->bytes[pos] = given ? 1 : 0;
    if (given) {
      if (buffer.size() < size)
        DatabaseErrorFmt(dbmsg::SFieldBufferTooSmall, {field->DisplayName()});
      std::memcpy(rb->bytes.data() + pos + 1, buffer.data(), size);
    }
  } else {
    // Internal calculation runs on every change of a data field: a handler
    // writing one there would start it again without end.
    if (s == dsCalcFields || s == dsFilter || (s == dsInternalCalc && field->FieldKind() == fkData))
      DatabaseError(dbmsg::SNotEditing);
    if (field->ReadOnly() && s != dsSetKey && s != dsFilter)
      DatabaseErrorFmt(dbmsg::SFieldReadOnly, {field->DisplayName()});
    field->Validate(buffer);
    if (const Slot* where = FindSlot(field)) {
      std::uint8_t* slot = rb->bytes.data() + where->offset;
      const std::size_t width = static_cast<std::size_t>(where->width);
      slot[0] = given ? 1 : 0;
      if (given) {
        if (buffer.size() < width)
          DatabaseErrorFmt(dbmsg::SFieldBufferTooSmall, {field->DisplayName()});
        std::memcpy(slot + 1, buffer.data(), width);
      } else {
        std::memset(slot + 1, 0, width);
      }
    }
  }
  if (s != dsCalcFields && s != dsFilter && s != dsNewValue) DataEvent(deFieldChange, field);
}

TBlobData TPDBVirtualDataSet::GetBlobData(TField* field, const TRecordBuffer& buffer) const {
  if (!field->IsBlob()) return nullptr;
  int i = field->Offset();
  if (i < 0 || static_cast<std::size_t>(i) >= buffer.blobs.size()) return nullptr;
  return buffer.blobs[static_cast<std::size_t>(i)];
}

void TPDBVirtualDataSet::SetBlobData(TField* field, TRecordBuffer& buffer, TBlobData value) {
  if (&buffer != ActiveBuffer()) return;
  if (State() == dsFilter) DatabaseError(dbmsg::SNotEditing);
  if (!field->IsBlob()) return;
  int i = field->Offset();
  if (i < 0 || static_cast<std::size_t>(i) >= buffer.blobs.size()) return;
  buffer.blobs[static_cast<std::size_t>(i)] = std::move(value);
}

// ---------------------------------------------------------------------------
// Bookmarks (the part the record-buffer protocol needs)

std::int32_t TPDBVirtualDataSet::RecordIDOf(const TRecordBuffer& buffer) const noexcept {
  std::int32_t id;
  std::memcpy(&id, buffer.bytes.data() + bookmark_offset_, 4);
  return id;
}

void TPDBVirtualDataSet::GetBookmarkData(TRecordBuffer& buffer, std::span<std::uint8_t> data) {
  if (data.size() < 4) return;
  std::memcpy(data.data(), buffer.bytes.data() + bookmark_offset_, 4);
}

void TPDBVirtualDataSet::SetBookmarkData(TRecordBuffer& buffer,
                                         std::span<const std::uint8_t> data) {
  if (data.size() < 4) return;
  std::memcpy(buffer.bytes.data() + bookmark_offset_, data.data(), 4);
}

TBookmarkFlag TPDBVirtualDataSet::GetBookmarkFlag(TRecordBuffer& buffer) {
  return static_cast<TBookmarkFlag>(buffer.bytes[static_cast<std::size_t>(bookmark_offset_) + 4]);
}

void TPDBVirtualDataSet::SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) {
  buffer.bytes[static_cast<std::size_t>(bookmark_offset_) + 4] = flag;
}

void TPDBVirtualDataSet::InternalGotoBookmark(std::span<const std::uint8_t> bookmark) {
  if (bookmark.size() < 4) return;
  std::int32_t id;
  std::memcpy(&id, bookmark.data(), 4);
  int index = IndexOfRecordID(id);
  if (index < 0) return;
  int saved = cursor_pos_;
  cursor_pos_ = index;
  if (Filtered() && !RecordFilter()) cursor_pos_ = saved;
}

void TPDBVirtualDataSet::InternalSetToRecord(TRecordBuffer& buffer) {
  // The framework puts the cursor on a buffer's row before posting or
  // deleting it: that row, whatever the filter now thinks of it, or the
  // write lands on another row.
  int index = IndexOfRecordID(RecordIDOf(buffer));
  if (index >= 0) cursor_pos_ = index;
}

// ---------------------------------------------------------------------------
// Posting and deleting

void TPDBVirtualDataSet::SetAutoIncFields(TRecordBuffer& buffer) {
  bool any = false;
  for (TField* f : Fields()) {
    if (f->FieldKind() != fkData || f->DataType() != ftAutoInc) continue;
    std::uint8_t* slot = FindFieldData(buffer.bytes.data(), f);
    if (!slot) continue;
    slot[0] = 1;
    std::memcpy(slot + 1, &auto_inc_, 4);
    any = true;
  }
  if (any) auto_inc_ = NextID(auto_inc_);
}

void TPDBVirtualDataSet::InternalPost() {
  TRecordBuffer& buffer = *ActiveBuffer();
  if (State() == dsEdit) {
    SetMemoryRecordData(buffer, cursor_pos_);
    return;
  }
  SetAutoIncFields(buffer);
  if (cursor_pos_ >= MemoryRecordCount()) {
    AssignMemoryRecord(*AddRecord(), buffer);
    cursor_pos_ = MemoryRecordCount() - 1;
  } else {
    int index = cursor_pos_ < 0 ? 0 : cursor_pos_;
    AssignMemoryRecord(*InsertRecord(index), buffer);
    cursor_pos_ = index;
  }
}

void TPDBVirtualDataSet::InternalAddRecord(TRecordBuffer& buffer, bool append) {
  int index;
  if (append) {
    AddRecord();
    index = MemoryRecordCount() - 1;
  } else {
    index = cursor_pos_ < 0 ? 0 : cursor_pos_;
    InsertRecord(index);
  }
  cursor_pos_ = index;
  SetAutoIncFields(buffer);
  SetMemoryRecordData(buffer, index);
}

void TPDBVirtualDataSet::InternalDelete() {
  RemoveRow(cursor_pos_);
  if (cursor_pos_ >= MemoryRecordCount()) --cursor_pos_;
  if (Filtered())
    while (cursor_pos_ >= 0 && !RecordFilter()) --cursor_pos_;
  if (rows_.empty()) last_id_ = kNoRecordID;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TPDBVirtualDataSet::OpenCursor(bool info_only) {
  if (!info_only) {
    if (FieldCount() > 0) FieldDefs().Clear();
    InitFieldDefsFromFields();
  }
  cursor_open_ = true;
  TDataSet::OpenCursor(info_only);
}

void TPDBVirtualDataSet::InternalOpen() {
  SetBookmarkSize(4);
  if (DefaultFields()) CreateFields();
  BindFields(true);
  InitBufferPointers(true);
  InternalFirst();
}

void TPDBVirtualDataSet::InternalClose() {
  ClearRecords();
  auto_inc_ = 1;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FreeIndexList();
  cursor_open_ = false;
}

void TPDBVirtualDataSet::InternalHandleException() {
  HandleException();
}

}  // namespace corvane
