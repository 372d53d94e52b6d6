// TDataSet: the base of every dataset. It keeps a window of record buffers
// over the rows of a descendant, moves the window as the cursor moves, and
// drives editing through the descendant's record-buffer protocol:
//
//  - buffers: AllocRecordBuffer, FreeRecordBuffer, InternalInitRecord,
//    InitRecord, ClearCalcFields; the window holds BufferCount buffers plus
//    one temporary buffer at its end;
//  - fetching: GetRecord(buffer, mode, check) fills a buffer with the current,
//    next or prior row and moves the descendant's cursor;
//  - positioning: InternalFirst/InternalLast put the cursor before the first /
//    after the last row; InternalSetToRecord puts it on a buffer's row;
//  - bookmarks: Get/SetBookmarkData, Get/SetBookmarkFlag, InternalGotoBookmark;
//  - editing: InternalPost, InternalDelete, InternalAddRecord, with the cursor
//    put on the active record first (UpdateCursorPos);
//  - field values: GetFieldData / SetFieldData.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corvane/host/component.h"
#include "corvane/host/dataset/db_types.h"
#include "corvane/host/dataset/fields.h"
#include "corvane/host/dataset/stream.h"

namespace corvane {

class TDataSet;

using TDataSetNotifyEvent = std::function<void(TDataSet& dataset)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet& dataset, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = std::function<void(TDataSet& dataset, bool& accept)>;
// What an observer (a grid, a data source) hears: the event, the field for
// deFieldChange, and a number (the scroll distance for deDataSetScroll).
using TDataEventHandler = std::function<void(TDataEvent event, TField* field, int info)>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner = nullptr);
  ~TDataSet() override;

  // --- State
  TDataSetState State() const noexcept { return state_; }
  bool Active() const noexcept { return state_ != dsInactive && state_ != dsOpening; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Bof() const noexcept { return bof_; }
  bool Eof() const noexcept { return eof_; }
  bool IsEmpty() const noexcept { return active_record_ >= record_count_; }
  bool Modified() const noexcept { return modified_; }
  void SetModified(bool v) noexcept { modified_ = v; }
  int RecNo() { return GetRecNo(); }
  // Moves to the record with that number; the base ignores it.
  virtual void SetRecNo(int /*value*/) {}
  int RecordCount() const { return GetRecordCount(); }
  void CheckActive() const;
  void CheckInactive() const;
  void CheckBrowseMode();

  // --- Navigation
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int MoveBy(int distance);
  // Refills the window: around the active record, or with rmExact around
  // the row the descendant put its cursor on (rmCenter: that row mid-window).
  void Resync(int modes);  // TResyncMode bits
  void UpdateCursorPos();
  void CursorPosChanged() noexcept { current_record_ = -1; }

  // --- Editing
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void UpdateRecord();

  // --- Bookmarks: a bookmark is a plain value (empty: none); it stays usable
  // as long as the dataset is open, and needs no freeing.
  TBookmark Bookmark();
  TBookmark GetBookmark() { return Bookmark(); }
  void GotoBookmark(const TBookmark& bookmark);
  bool BookmarkAvailable();
  virtual bool BookmarkValid(const TBookmark& bookmark);
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);
  int BookmarkSize() const noexcept { return bookmark_size_; }

  // --- Locating: moves to the first row, in the order shown, whose key fields
  // (names separated by ';') hold the key values, one per field; true when
  // one was found. Without a match the cursor stays where it was. The base
  // finds nothing.
  virtual bool Locate(const std::string& key_fields, const std::vector<Variant>& key_values,
                      TLocateOptions options = {});
  bool Locate(const std::string& key_fields, const Variant& key_value,
              TLocateOptions options = {}) {
    return Locate(key_fields, std::vector<Variant>{key_value}, options);
  }

  // --- Controls and events
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const noexcept { return disable_count_ != 0; }
  virtual void DataEvent(TDataEvent event, TField* field = nullptr, int info = 0);

  // --- Fields
  const std::vector<TField*>& Fields() const noexcept { return fields_; }
  int FieldCount() const noexcept { return static_cast<int>(fields_.size()); }
  TField* FindField(const std::string& name) const;
  TField& FieldByName(const std::string& name) const;  // none: SFieldNotFound
  // Fields named in a semicolon-separated list, in list order.
  void GetFieldList(std::vector<TField*>& list, const std::string& names) const;
  // Creates a persistent field owned by the dataset (before opening).
  template <class F>
  F& NewField(const std::string& name, int size = -1, TFieldKind kind = fkData) {
    F* f = CreateOwned<F>();
    if (size >= 0) f->SetSize(size);
    f->SetFieldName(name);
    f->SetFieldKind(kind);
    f->SetDataSet(this);
    return *f;
  }
  TFieldDefs& FieldDefs() noexcept { return *field_defs_; }
  TFieldDefList& FieldDefList();
  // True while the fields were made from the definitions at opening.
  bool DefaultFields() const noexcept { return default_fields_; }
  int CalcFieldsSize() const noexcept { return calc_fields_size_; }
  int BlobFieldCount() const noexcept { return blob_field_count_; }

  // --- Filtering
  bool Filtered() const noexcept { return filtered_; }
  virtual void SetFiltered(bool value);
  const TFilterRecordEvent& OnFilterRecord() const noexcept { return on_filter_record_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler);

  // --- Buffer window: how many records it holds (at least 1).
  int BufferCount() const noexcept { return buffer_count_; }
  void SetBufferCount(int value);
  // Records currently in the window, and the active one's place in it.
  int WindowRecordCount() const noexcept { return record_count_; }
  int ActiveRecord() const noexcept { return active_record_; }

  // --- Blobs
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
  virtual void CloseBlob(TField* /*field*/) {}

  // --- Field data (called by the fields)
  virtual bool GetFieldData(TField* field, std::span<std::uint8_t> buffer);
  virtual void SetFieldData(TField* field, std::span<const std::uint8_t> buffer);
  virtual bool GetCurrentRecord(std::span<std::uint8_t> buffer);
  virtual bool IsSequenced() { return true; }
  virtual bool GetIsIndexField(TField* /*field*/) { return false; }

  // --- Events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnDeleteError, OnEditError, OnPostError;
  // The observer told about data events while controls are enabled.
  TDataEventHandler OnDataEvent;

 protected:
  // --- Record-buffer protocol
  virtual std::unique_ptr<TRecordBuffer> AllocRecordBuffer();
  virtual void FreeRecordBuffer(std::unique_ptr<TRecordBuffer>& buffer);
  virtual void InternalInitRecord(TRecordBuffer& /*buffer*/) {}
  virtual void InitRecord(TRecordBuffer& buffer);
  virtual void ClearCalcFields(TRecordBuffer& /*buffer*/) {}
  virtual TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool check) = 0;
  virtual int GetRecordSize() const { return 0; }
  virtual int GetRecordCount() const { return -1; }
  virtual int GetRecNo() { return -1; }
  virtual bool IsCursorOpen() const = 0;

  virtual void GetBookmarkData(TRecordBuffer& /*buffer*/, std::span<std::uint8_t> /*data*/) {}
  virtual void SetBookmarkData(TRecordBuffer& /*buffer*/, std::span<const std::uint8_t> /*data*/) {}
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer& /*buffer*/) { return bfCurrent; }
  virtual void SetBookmarkFlag(TRecordBuffer& /*buffer*/, TBookmarkFlag /*flag*/) {}
  virtual void InternalGotoBookmark(std::span<const std::uint8_t> /*bookmark*/) {}

  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalSetToRecord(TRecordBuffer& /*buffer*/) {}
  virtual void InternalAddRecord(TRecordBuffer& buffer, bool append) = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalPost();
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalCancel() {}
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalHandleException();

  // --- Opening and closing
  virtual void OpenCursor(bool info_only);
  virtual void CloseCursor();
  // Closes an open dataset from a destructor: never throws, and tears the
  // cursor down even when a before-close step fails.
  void CloseForDestroy() noexcept;

  // --- Fields
  virtual void InitFieldDefsFromFields();
  void CreateFields();
  void DestroyFields();
  void BindFields(bool binding);
  void CheckRequiredFields();
  // Closes every blob field modified through a stream and clears its flag.
  void FreeFieldBuffers();
  void GetCalcFields(TRecordBuffer& buffer);
  virtual void CalculateFields(TRecordBuffer& buffer);

  // --- Buffers
  TRecordBuffer* ActiveBuffer() const noexcept;
  TRecordBuffer* TempBuffer() const noexcept;
  TRecordBuffer* CalcBuffer() const noexcept { return calc_buffer_; }
  void SetBufListSize(int value);
  int BufListSize() const noexcept { return static_cast<int>(buffers_.size()); }
  void ClearBuffers() noexcept;
  void SetBookmarkSize(int size) noexcept { bookmark_size_ = size; }

  // --- State
  void SetState(TDataSetState value);
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);

  // --- Event steps
  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  virtual void DoBeforeClose() { Fire(BeforeClose); }
  virtual void DoAfterClose() { Fire(AfterClose); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit); }
  virtual void DoAfterEdit() { Fire(AfterEdit); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel); }
  virtual void DoAfterCancel() { Fire(AfterCancel); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }
  virtual void DoOnCalcFields() { Fire(OnCalcFields); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }

 private:
  friend class TField;
  friend class TFieldDefs;
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(*this);
  }
  void AddField(TField* field);
  void RemoveField(TField* field) noexcept;
  void FieldDefsChanged() noexcept { ++defs_version_; }
  void DoInternalOpen();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void ActivateBuffers() noexcept;
  void MoveBuffer(int from, int to) noexcept;
  void SetCurrentRecord(int index);
  bool RefreshActiveRecord();
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error);
  void RefreshInternalCalcFields(TRecordBuffer& buffer);

  TDataSetState state_ = dsInactive;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool filtered_ = false;
  bool default_fields_ = false;
  bool internal_open_complete_ = false;
  bool internal_calc_fields_ = false;
  int disable_count_ = 0;
  TDataSetState disable_state_ = dsInactive;
  TDataEvent enable_event_ = deDataSetChange;

  // The window: buffers_[0 .. buffer_count_-1] hold records, buffers_[buffer_count_]
  // is the temporary buffer. record_count_ of them hold rows, active_record_ is
  // the current one and current_record_ the one the descendant's cursor is on
  // (-1: unknown).
  std::vector<std::unique_ptr<TRecordBuffer>> buffers_;
  int buffer_count_ = 0;
  int wanted_buffer_count_ = 1;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  TRecordBuffer* calc_buffer_ = nullptr;
  int bookmark_size_ = 0;

  int calc_fields_size_ = 0;
  int blob_field_count_ = 0;
  std::vector<TField*> fields_;
  std::vector<std::unique_ptr<TField>> default_field_objects_;
  std::unique_ptr<TFieldDefs> field_defs_;
  TFieldDefList field_def_list_;
  std::uint64_t defs_version_ = 1;
  std::uint64_t def_list_version_ = 0;

  TFilterRecordEvent on_filter_record_;
};

}  // namespace corvane
