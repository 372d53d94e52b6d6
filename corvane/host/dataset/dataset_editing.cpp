// TDataSet: editing, posting and cancelling rows, and bookmarks.
#include "corvane/host/dataset/dataset.h"

#include <algorithm>

#include "corvane/host/hooks.h"

namespace corvane {

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

}  // namespace corvane
