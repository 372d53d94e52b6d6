// TDataSet: data controls and events, calculated fields, and the field list
// and its binding to the field definitions.
#include <algorithm>

#include "corvane/host/dataset/dataset.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"

namespace corvane {

namespace {

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
