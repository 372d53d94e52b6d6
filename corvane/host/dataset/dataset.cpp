#include "corvane/host/dataset/dataset.h"

#include <algorithm>

#include "corvane/host/hooks.h"

namespace corvane {

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner), field_defs_(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  // A descendant closes itself in its own destructor, where its hooks still
  // run; what is left here is only memory.
  state_ = dsInactive;
  calc_buffer_ = nullptr;
  buffers_.clear();
  for (TField* f : fields_) f->dataset_ = nullptr;
  fields_.clear();
  default_field_objects_.clear();
}

// ---------------------------------------------------------------------------
// State

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbmsg::SDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(dbmsg::SDataSetOpen);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    default:
      break;
  }
}

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  // A blob written through a stream is pending in the active buffer until the
  // record is posted or cancelled; once the edit ends it must not leak into
  // the next one.
  if ((state_ == dsEdit || state_ == dsInsert) && value != dsEdit && value != dsInsert)
    FreeFieldBuffers();
  state_ = value;
  modified_ = false;
  DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState old = state_;
  state_ = value;
  ++disable_count_;
  return old;
}

void TDataSet::RestoreState(TDataSetState value) {
  state_ = value;
  --disable_count_;
}

void TDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    DoBeforeOpen();
    try {
      OpenCursor(false);
    } catch (...) {
      // A rejected opening leaves the dataset closed.
      std::exception_ptr error = std::current_exception();
      try {
        state_ = dsInactive;
        CloseCursor();
      } catch (...) {
        HandleException();
      }
      std::rethrow_exception(error);
    }
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool info_only) {
  if (info_only)
    InternalInitFieldDefs();
  else
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  default_fields_ = fields_.empty();
  InternalOpen();
  internal_open_complete_ = true;
  buffer_count_ = wanted_buffer_count_;
  SetBufListSize(buffer_count_ + 1);
  ClearBuffers();
  GetNextRecords();
  bof_ = true;
}

void TDataSet::CloseCursor() {
  internal_open_complete_ = false;
  ClearBuffers();
  calc_buffer_ = nullptr;
  SetBufListSize(0);
  buffer_count_ = 0;
  InternalClose();
  default_fields_ = false;
}

void TDataSet::CloseForDestroy() noexcept {
  if (state_ == dsInactive && !internal_open_complete_) return;
  try {
    Close();
  } catch (...) {
    HandleException();
  }
  if (state_ == dsInactive && !internal_open_complete_) return;
  try {
    state_ = dsInactive;
    CloseCursor();
  } catch (...) {
    HandleException();
  }
}

void TDataSet::InternalHandleException() {
  HandleException();
}

// ---------------------------------------------------------------------------
// Buffers

std::unique_ptr<TRecordBuffer> TDataSet::AllocRecordBuffer() {
  auto buffer = std::make_unique<TRecordBuffer>();
  buffer->bytes.resize(static_cast<std::size_t>(std::max(GetRecordSize(), 0)));
  return buffer;
}

void TDataSet::FreeRecordBuffer(std::unique_ptr<TRecordBuffer>& buffer) {
  buffer.reset();
}

void TDataSet::InitRecord(TRecordBuffer& buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

TRecordBuffer* TDataSet::ActiveBuffer() const noexcept {
  if (active_record_ < 0 || active_record_ >= BufListSize()) return nullptr;
  return buffers_[static_cast<std::size_t>(active_record_)].get();
}

TRecordBuffer* TDataSet::TempBuffer() const noexcept {
  if (buffer_count_ >= BufListSize()) return nullptr;
  return buffers_[static_cast<std::size_t>(buffer_count_)].get();
}

void TDataSet::SetBufListSize(int value) {
  int old = BufListSize();
  if (old == value) return;
  if (value < old) {
    calc_buffer_ = nullptr;
    for (int i = value; i < old; ++i) FreeRecordBuffer(buffers_[static_cast<std::size_t>(i)]);
    buffers_.resize(static_cast<std::size_t>(value));
    return;
  }
  buffers_.reserve(static_cast<std::size_t>(value));
  try {
    while (BufListSize() < value) buffers_.push_back(AllocRecordBuffer());
  } catch (...) {
    while (BufListSize() > old) {
      FreeRecordBuffer(buffers_.back());
      buffers_.pop_back();
    }
    throw;
  }
}

void TDataSet::SetBufferCount(int value) {
  value = std::clamp(value, 1, 1024);
  wanted_buffer_count_ = value;
  if (!internal_open_complete_ || value == buffer_count_) return;
  if (value < buffer_count_ && record_count_ > 0) {
    // Keep the active record in the window: drop records before it first.
    int delta = std::max(0, active_record_ - (value - 1));
    if (delta > 0) {
      auto b = buffers_.begin();
      std::rotate(b, b + delta, b + record_count_);
      active_record_ -= delta;
      record_count_ -= delta;
      current_record_ = current_record_ >= delta ? current_record_ - delta : -1;
    }
    if (record_count_ > value) record_count_ = value;
    if (current_record_ >= record_count_) current_record_ = -1;
  }
  SetBufListSize(value + 1);
  buffer_count_ = value;
  if (state_ == dsBrowse && record_count_ > 0) {
    GetNextRecords();
    GetPriorRecords();
  }
}

void TDataSet::ClearBuffers() noexcept {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() noexcept {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) noexcept {
  if (from == to) return;
  auto b = buffers_.begin();
  if (from < to)
    std::rotate(b + from, b + from + 1, b + to + 1);
  else
    std::rotate(b + to, b + from, b + from + 1);
}

void TDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  TRecordBuffer& buffer = *buffers_[static_cast<std::size_t>(index)];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (record_count_ > 0) {
    SetCurrentRecord(record_count_ - 1);
    if (state_ == dsInsert && current_record_ == active_record_ &&
        GetBookmarkFlag(*ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  bool ok = GetRecord(*buffers_[static_cast<std::size_t>(record_count_)], mode, true) == grOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateBuffers();
    } else if (record_count_ < buffer_count_) {
      ++record_count_;
    } else {
      MoveBuffer(0, record_count_);
    }
    current_record_ = record_count_ - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  bool ok = GetRecord(*buffers_[static_cast<std::size_t>(record_count_)], gmPrior, true) == grOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(record_count_, 0);
      if (record_count_ < buffer_count_) {
        ++record_count_;
        ++active_record_;
      }
    }
    current_record_ = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::Resync(int modes) {
  CheckActive();
  // The window is rebuilt around the active record, not wherever filling the
  // window left the descendant's cursor. A descendant that moved its cursor
  // on purpose asks for that row with rmExact.
  if (!(modes & rmExact)) UpdateCursorPos();
  TRecordBuffer& scratch = *buffers_[static_cast<std::size_t>(record_count_)];
  if (modes & rmExact) {
    CursorPosChanged();
    if (GetRecord(scratch, gmCurrent, true) != grOK) DatabaseError(dbmsg::SRecordNotFound);
  } else if (GetRecord(scratch, gmCurrent, false) != grOK &&
             GetRecord(scratch, gmNext, false) != grOK &&
             GetRecord(scratch, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange);
    return;
  }
  int count = (modes & rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  DataEvent(deDataSetChange);
}

// ---------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(deDataSetChange);
    throw;
  }
  bof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(deDataSetChange);
    throw;
  }
  eof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = false;
    eof_ = false;
    int scroll = 0;
    try {
      while (distance > 0) {
        if (active_record_ < record_count_ - 1) {
          ++active_record_;
        } else {
          int shift = record_count_ < buffer_count_ ? 0 : 1;
          if (GetNextRecord()) {
            scroll -= shift;
          } else {
            eof_ = true;
            break;
          }
        }
        --distance;
        ++result;
      }
      while (distance < 0) {
        if (active_record_ > 0) {
          --active_record_;
        } else {
          int shift = record_count_ < buffer_count_ ? 0 : 1;
          if (GetPriorRecord()) {
            scroll += shift;
          } else {
            bof_ = true;
            break;
          }
        }
        ++distance;
        --result;
      }
    } catch (...) {
      DataEvent(deDataSetScroll, nullptr, scroll);
      throw;
    }
    DataEvent(deDataSetScroll, nullptr, scroll);
    DoAfterScroll();
  }
  return result;
}

}  // namespace corvane
