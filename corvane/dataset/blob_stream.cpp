#include "corvane/dataset/blob_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "corvane/host/hooks.h"

namespace corvane {

namespace {

// Positions are those of the host's 32-bit streams.
constexpr std::int64_t kMaxBlobSize = std::numeric_limits<std::int32_t>::max();

TBlobField* AsBlobField(TField* field) {
  auto* blob = dynamic_cast<TBlobField*>(field);
  if (!blob) throw EInvalidCast("Invalid class typecast");
  return blob;
}

TPDBVirtualDataSet* DataSetOf(TField* field) {
  auto* ds = dynamic_cast<TPDBVirtualDataSet*>(field->DataSet());
  if (!ds) throw EInvalidCast("Invalid class typecast");
  return ds;
}

}  // namespace

TMemBlobStream::TMemBlobStream(TField* field, TBlobStreamMode mode)
    : field_(AsBlobField(field)), dataset_(DataSetOf(field)), mode_(mode) {
  if (!dataset_->GetActiveRecBuf(buffer_)) return;
  if (!field_->Modified() && mode_ != bmRead) {
    if (field_->ReadOnly()) DatabaseErrorFmt(dbmsg::SFieldReadOnly, {field_->DisplayName()});
    const TDataSetState s = dataset_->State();
    if (s != dsEdit && s != dsInsert) DatabaseError(dbmsg::SNotEditing);
    cached_ = true;
  } else {
    cached_ = buffer_ == dataset_->ActiveBuffer();
  }
  opened_ = true;
  if (mode_ == bmWrite) Truncate();
}

TMemBlobStream::~TMemBlobStream() {
  if (opened_ && modified_) field_->SetModified(true);
  if (!modified_) return;
  try {
    dataset_->DataEvent(deFieldChange, field_);
  } catch (...) {
    HandleException();
  }
}

TBlobData TMemBlobStream::GetBlobFromRecord() {
  const int count = dataset_->MemoryRecordCount();
  int index = dataset_->CursorPosition();
  if (index < 0 && count > 0) index = 0;
  if (index >= count) index = count - 1;
  if (index < 0 || index >= count) return nullptr;
  const TMemBlobArray& blobs = dataset_->GetMemoryRecord(index).Blobs();
  const int i = field_->Offset();
  return i >= 0 && static_cast<std::size_t>(i) < blobs.size() ? blobs[static_cast<std::size_t>(i)]
                                                              : nullptr;
}

TBlobData TMemBlobStream::Value() {
  return cached_ ? dataset_->GetBlobData(field_, *buffer_) : GetBlobFromRecord();
}

std::int64_t TMemBlobStream::GetBlobSize() {
  if (!opened_) return 0;
  TBlobData value = Value();
  return value ? static_cast<std::int64_t>(value->size()) : 0;
}

std::int64_t TMemBlobStream::Read(std::span<std::uint8_t> buffer) {
  if (!opened_ || position_ < 0) return 0;
  const std::int64_t size = Size();
  const std::int64_t n =
      std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), size - position_);
  if (n <= 0) return 0;
  TBlobData value = Value();
  if (!value || static_cast<std::int64_t>(value->size()) < position_ + n) return 0;
  std::memcpy(buffer.data(), value->data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemBlobStream::Write(std::span<const std::uint8_t> buffer) {
  if (!opened_ || !cached_ || mode_ == bmRead || position_ < 0) return 0;
  const auto count = static_cast<std::int64_t>(buffer.size());
  if (count > kMaxBlobSize - position_) return 0;
  TBlobData old = dataset_->GetBlobData(field_, *buffer_);
  std::string value = old ? *old : std::string();
  const auto end = static_cast<std::size_t>(position_ + count);
  // A gap between the old end and the position reads as zero bytes.
  if (value.size() < end) value.resize(end, '\0');
  if (count > 0)
    std::memcpy(value.data() + position_, buffer.data(), static_cast<std::size_t>(count));
  dataset_->SetBlobData(field_, *buffer_, std::make_shared<const std::string>(std::move(value)));
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TMemBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning:
      position_ = offset;
      break;
    case soCurrent:
      position_ += offset;
      break;
    case soEnd:
      position_ = GetBlobSize() + offset;
      break;
  }
  return position_;
}

void TMemBlobStream::Truncate() {
  if (!opened_ || !cached_ || mode_ == bmRead) return;
  TBlobData old = dataset_->GetBlobData(field_, *buffer_);
  const std::int64_t keep = std::max<std::int64_t>(position_, 0);
  if (keep == 0 || !old) {
    dataset_->SetBlobData(field_, *buffer_, nullptr);
  } else if (static_cast<std::int64_t>(old->size()) > keep) {
    dataset_->SetBlobData(
        field_, *buffer_,
        std::make_shared<const std::string>(old->substr(0, static_cast<std::size_t>(keep))));
  }
  modified_ = true;
}

// ---------------------------------------------------------------------------
// The dataset's side

std::unique_ptr<TStream> TPDBVirtualDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TMemBlobStream>(field, mode);
}

void TPDBVirtualDataSet::CloseBlob(TField* field) {
  TRecordBuffer* active = ActiveBuffer();
  if (!active || !field->IsBlob()) return;
  const int i = field->Offset();
  if (i < 0 || static_cast<std::size_t>(i) >= active->blobs.size()) return;
  // Editing a stored row: its value comes back. A new row has none.
  TBlobData value;
  if (State() == dsEdit) {
    if (const TMemoryRecord* row = FindRecordID(RecordIDOf(*active)))
      if (static_cast<std::size_t>(i) < row->Blobs().size())
        value = row->Blobs()[static_cast<std::size_t>(i)];
  }
  active->blobs[static_cast<std::size_t>(i)] = std::move(value);
}

}  // namespace corvane
