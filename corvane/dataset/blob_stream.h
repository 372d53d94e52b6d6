// TMemBlobStream: reads and writes one blob field's value of a
// TPDBVirtualDataSet through the TStream interface.
//
// A stream that may write works on the active record buffer's copy of the
// value, so what it writes reaches the row only when the record is posted
// and is dropped by Cancel. The record buffer the stream was made on must
// outlive it; the stream's owner destroys it, which marks the field modified
// and tells the dataset the field changed.
#pragma once

#include <cstdint>
#include <span>

#include "corvane/dataset/virtual_dataset.h"
#include "corvane/host/dataset/stream.h"

namespace corvane {

class TMemBlobStream : public TStream {
 public:
  // The field must be a TBlobField of a TPDBVirtualDataSet (else
  // EInvalidCast). A writable stream on a field not yet modified needs edit
  // or insert state (SNotEditing) and a field that is not read-only
  // (SFieldReadOnly); bmWrite starts from an empty value. Without an active
  // record buffer the stream reads and writes nothing.
  TMemBlobStream(TField* field, TBlobStreamMode mode);
  ~TMemBlobStream() override;
  TMemBlobStream(const TMemBlobStream&) = delete;
  TMemBlobStream& operator=(const TMemBlobStream&) = delete;

  // Reading past the end gives 0 bytes; writing past the end fills the gap
  // with zero bytes. The position may be put anywhere; before the start
  // nothing is read or written.
  std::int64_t Read(std::span<std::uint8_t> buffer) override;
  std::int64_t Write(std::span<const std::uint8_t> buffer) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Drops the value from the position on (all of it at position 0).
  void Truncate();

  bool Opened() const noexcept { return opened_; }
  bool Cached() const noexcept { return cached_; }
  bool Modified() const noexcept { return modified_; }

 private:
  std::int64_t GetBlobSize();
  // The value: the buffer's entry when cached, else the stored value of the
  // row at the dataset's cursor.
  TBlobData Value();
  TBlobData GetBlobFromRecord();

  TBlobField* field_;
  TPDBVirtualDataSet* dataset_;
  TRecordBuffer* buffer_ = nullptr;
  TBlobStreamMode mode_;
  bool opened_ = false;
  bool modified_ = false;
  bool cached_ = false;
  std::int64_t position_ = 0;
};

}  // namespace corvane
