#include "corvane/host/dataset/dataset.h"

#include <algorithm>

#include "corvane/host/hooks.h"

namespace corvane {

namespace {

bool SameText(const std::string& a, const std::string& b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Types whose definitions carry a size that the field must share.
bool HasSize(TFieldType t) noexcept {
  switch (t) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
    case ftBCD:
      return true;
    default:
      return IsBlobType(t);
  }
}

bool CompatibleTypes(TFieldType field, TFieldType def) noexcept {
  if (field == def) return true;
  auto is_string = [](TFieldType t) { return t == ftString || t == ftFixedChar; };
  if (is_string(field) && is_string(def)) return true;
  return IsBlobType(field) && IsBlobType(def);
}

}  // namespace

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

// ---------------------------------------------------------------------------
// Editing

void TDataSet::UpdateRecord() {
  if (!IsWriteState(state_)) DatabaseError(dbmsg::SNotEditing);
  DataEvent(deUpdateRecord);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    SetState(dsBrowse);
    Resync(0);
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark current = Bookmark();
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer& buffer = *ActiveBuffer();
  InitRecord(buffer);
  if (record_count_ == 0)
    SetBookmarkFlag(buffer, bfBOF);
  else
    SetBookmarkData(buffer, current);
  if (record_count_ < buffer_count_) ++record_count_;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer& buffer = *buffers_[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  record_count_ = 1;
  bof_ = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (record_count_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  DoBeforeEdit();
  CheckOperation(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(*ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange);
  DoAfterEdit();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  DoBeforePost();
  CheckRequiredFields();
  const bool edited = state_ == dsEdit;
  CheckOperation(&TDataSet::InternalPost, OnPostError);
  SetState(dsBrowse);
  if (!edited || !RefreshActiveRecord()) Resync(0);
  DoAfterPost();
}

// An edited row that is still shown where it was leaves every other row of
// the window as it was: only the active record is read again, so posting
// costs the same whatever the window's size.
bool TDataSet::RefreshActiveRecord() {
  if (record_count_ == 0 || active_record_ >= record_count_) return false;
  UpdateCursorPos();
  const auto scratch = static_cast<std::size_t>(record_count_);
  if (GetRecord(*buffers_[scratch], gmCurrent, false) != grOK) {
    CursorPosChanged();
    return false;
  }
  std::swap(buffers_[static_cast<std::size_t>(active_record_)], buffers_[scratch]);
  current_record_ = active_record_;
  bof_ = false;
  eof_ = false;
  DataEvent(deDataSetChange);
  return true;
}

void TDataSet::InternalPost() {}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  DoBeforeCancel();
  bool scroll_events = state_ == dsInsert;
  if (scroll_events) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  Resync(0);
  DoAfterCancel();
  if (scroll_events) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(dbmsg::SDataSetEmpty);
  DataEvent(deCheckBrowseMode);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
  SetState(dsBrowse);
  Resync(0);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (on_error) on_error(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* f : fields_) {
    auto* blob = dynamic_cast<TBlobField*>(f);
    if (!blob || !blob->Modified()) continue;
    CloseBlob(blob);
    blob->SetModified(false);
  }
}

void TDataSet::CheckRequiredFields() {
  for (TField* f : fields_)
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->DataType() != ftAutoInc &&
        f->IsNull())
      DatabaseErrorFmt(dbmsg::SFieldRequired, {f->DisplayName()});
}

// ---------------------------------------------------------------------------
// Bookmarks

bool TDataSet::BookmarkAvailable() {
  return (state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
         GetBookmarkFlag(*ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::Bookmark() {
  if (!BookmarkAvailable()) return {};
  TBookmark b(static_cast<std::size_t>(bookmark_size_));
  GetBookmarkData(*ActiveBuffer(), b);
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  // A bookmark that leads nowhere leaves the cursor on the active record, not
  // wherever filling the window last left it.
  UpdateCursorPos();
  InternalGotoBookmark(bookmark);
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

bool TDataSet::Locate(const std::string&, const std::vector<Variant>&, TLocateOptions) {
  return false;
}

bool TDataSet::BookmarkValid(const TBookmark&) {
  return false;
}
int TDataSet::CompareBookmarks(const TBookmark&, const TBookmark&) {
  return 0;
}

// ---------------------------------------------------------------------------
// Controls and events

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = deDataSetChange;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ != 0) return;
  if (disable_state_ != state_) DataEvent(deUpdateState);
  if (disable_state_ != dsInactive && state_ != dsInactive) DataEvent(enable_event_);
}

void TDataSet::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == deFieldChange && field) {
    if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified_ = true;
    if (state_ != dsSetKey) {
      if (field->FieldKind() == fkData && ActiveBuffer()) {
        // Recalculated in the calculated-fields state, where a handler that
        // writes a data field is refused instead of recursing.
        if (internal_calc_fields_)
          RefreshInternalCalcFields(*ActiveBuffer());
        else if (calc_fields_size_ != 0)
          GetCalcFields(*ActiveBuffer());
      }
      if (field->OnChange) field->OnChange(*field);
    }
  }
  if (disable_count_ == 0) {
    if (OnDataEvent) OnDataEvent(event, field, info);
  } else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange) {
    enable_event_ = deLayoutChange;
  }
}

// ---------------------------------------------------------------------------
// Calculated fields

void TDataSet::GetCalcFields(TRecordBuffer& buffer) {
  if (calc_fields_size_ == 0 && !internal_calc_fields_) return;
  TDataSetState saved = state_;
  state_ = dsCalcFields;
  try {
    CalculateFields(buffer);
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
}

void TDataSet::CalculateFields(TRecordBuffer& buffer) {
  calc_buffer_ = &buffer;
  if (state_ != dsInternalCalc) ClearCalcFields(buffer);
  DoOnCalcFields();
}

void TDataSet::RefreshInternalCalcFields(TRecordBuffer& buffer) {
  TDataSetState saved = SetTempState(dsInternalCalc);
  try {
    CalculateFields(buffer);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
}

// ---------------------------------------------------------------------------
// Fields

void TDataSet::AddField(TField* field) {
  fields_.push_back(field);
}

void TDataSet::RemoveField(TField* field) noexcept {
  fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
}

TField* TDataSet::FindField(const std::string& name) const {
  for (TField* f : fields_)
    if (f->FieldName() == name) return f;
  for (TField* f : fields_)
    if (SameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField& TDataSet::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (!f) DatabaseErrorFmt(dbmsg::SFieldNotFound, {name});
  return *f;
}

void TDataSet::GetFieldList(std::vector<TField*>& list, const std::string& names) const {
  std::size_t pos = 0;
  while (pos < names.size()) {
    std::string name = ExtractFieldName(names, pos);
    if (!name.empty()) list.push_back(&FieldByName(name));
  }
}

void TDataSet::InitFieldDefsFromFields() {
  if (field_defs_->Count() != 0) return;
  for (TField* f : fields_) {
    if (f->FieldKind() != fkData && f->FieldKind() != fkInternalCalc) continue;
    TFieldDef& def = field_defs_->AddFieldDef();
    def.SetName(f->FieldName());
    def.SetDataType(f->DataType());
    def.SetSize(f->Size());
    def.SetRequired(f->Required());
    def.SetReadOnly(f->ReadOnly());
  }
}

void TDataSet::CreateFields() {
  TFieldDefList& list = FieldDefList();
  for (int i = 0; i < list.Count(); ++i) {
    TFieldDef& def = list.Items(i);
    // A structure has no value of its own: its children get the fields.
    if (def.DataType() == ftUnknown || def.DataType() == ftADT) continue;
    std::unique_ptr<TField> f = CreateFieldForType(def.DataType(), this);
    if (!f) DatabaseErrorFmt(dbmsg::SUnknownFieldType, {list.Strings(i)});
    if (HasSize(def.DataType())) f->SetSize(def.Size());
    f->SetFieldName(list.Strings(i));
    f->SetRequired(def.Required());
    f->SetReadOnly(def.ReadOnly());
    f->dataset_ = this;
    fields_.push_back(f.get());
    default_field_objects_.push_back(std::move(f));
  }
}

void TDataSet::DestroyFields() {
  for (auto& f : default_field_objects_) {
    RemoveField(f.get());
    f->dataset_ = nullptr;
  }
  default_field_objects_.clear();
}

void TDataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  blob_field_count_ = 0;
  internal_calc_fields_ = false;
  if (!binding) {
    for (TField* f : fields_) {
      f->field_no_ = 0;
      f->offset_ = 0;
    }
    return;
  }
  TFieldDefList& list = FieldDefList();
  for (TField* f : fields_) {
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      f->field_no_ = -1;
      f->offset_ = calc_fields_size_;
      calc_fields_size_ += f->DataSize() + 1;
      continue;
    }
    int index = list.IndexOf(f->FullName());
    if (index < 0) DatabaseErrorFmt(dbmsg::SFieldNotFound, {f->DisplayName()});
    TFieldDef& def = list.Items(index);
    if (!CompatibleTypes(f->DataType(), def.DataType()))
      DatabaseErrorFmt(dbmsg::SFieldTypeMismatch, {f->DisplayName()});
    if (HasSize(def.DataType()) && !IsBlobType(def.DataType()) && f->Size() != def.Size())
      DatabaseErrorFmt(dbmsg::SFieldSizeMismatch, {f->DisplayName()});
    f->field_no_ = index + 1;
    f->offset_ = 0;
    if (f->FieldKind() == fkInternalCalc) internal_calc_fields_ = true;
    if (f->IsBlob()) {
      f->size_ = def.Size();
      f->offset_ = blob_field_count_++;
    }
  }
}

// ---------------------------------------------------------------------------
// Defaults of the descendant's protocol

bool TDataSet::GetFieldData(TField*, std::span<std::uint8_t>) {
  return false;
}
void TDataSet::SetFieldData(TField*, std::span<const std::uint8_t>) {}
bool TDataSet::GetCurrentRecord(std::span<std::uint8_t>) {
  return false;
}
std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) {
  return nullptr;
}

void TDataSet::SetFiltered(bool value) {
  filtered_ = value;
}
void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  on_filter_record_ = std::move(handler);
}

}  // namespace corvane
