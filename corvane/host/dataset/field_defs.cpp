#include "corvane/host/dataset/dataset.h"
#include "corvane/host/dataset/fields.h"
#include "corvane/host/text.h"

namespace corvane {

// --- TFieldDef

TFieldDef::TFieldDef(TFieldDefs* collection) : collection_(collection) {}
TFieldDef::~TFieldDef() = default;

void TFieldDef::CheckEditable() const {
  if (collection_) collection_->CheckEditable();
}
void TFieldDef::Changed() {
  if (collection_) collection_->Changed();
}
void TFieldDef::SetName(std::string name) {
  CheckEditable();
  name_ = std::move(name);
  Changed();
}
void TFieldDef::SetDataType(TFieldType type) {
  CheckEditable();
  data_type_ = type;
  Changed();
}
void TFieldDef::SetSize(int size) {
  CheckEditable();
  if (size < 0) DatabaseError(dbmsg::SInvalidFieldSize);
  size_ = size;
  Changed();
}
void TFieldDef::SetPrecision(int precision) {
  CheckEditable();
  precision_ = precision;
  Changed();
}
void TFieldDef::SetRequired(bool v) {
  CheckEditable();
  required_ = v;
  Changed();
}
void TFieldDef::SetReadOnly(bool v) {
  CheckEditable();
  read_only_ = v;
  Changed();
}

TFieldDefs& TFieldDef::ChildDefs() {
  if (!child_defs_) {
    TDataSet* ds = collection_ ? collection_->DataSet() : nullptr;
    child_defs_ = std::make_unique<TFieldDefs>(ds, this);
  }
  return *child_defs_;
}
bool TFieldDef::HasChildDefs() const noexcept {
  return child_defs_ && child_defs_->Count() > 0;
}
TFieldDef* TFieldDef::ParentDef() const noexcept {
  return collection_ ? collection_->ParentDef() : nullptr;
}
std::string TFieldDef::FullName() const {
  TFieldDef* parent = ParentDef();
  return parent ? parent->FullName() + "." + name_ : name_;
}

// --- TFieldDefs

TFieldDefs::TFieldDefs(TDataSet* dataset, TFieldDef* parent) : dataset_(dataset), parent_(parent) {}
TFieldDefs::~TFieldDefs() = default;

void TFieldDefs::CheckEditable() const {
  // The open dataset's record layout was computed from the definitions.
  if (dataset_ && dataset_->Active()) DatabaseError(dbmsg::SDataSetOpen);
}
void TFieldDefs::Changed() {
  if (dataset_) dataset_->FieldDefsChanged();
}
TFieldDef& TFieldDefs::AddFieldDef() {
  CheckEditable();
  items_.push_back(std::make_unique<TFieldDef>(this));
  Changed();
  return *items_.back();
}
TFieldDef& TFieldDefs::Add(std::string name, TFieldType type, int size, bool required) {
  if (name.empty()) DatabaseError(dbmsg::SFieldNameMissing);
  if (IndexOf(name) >= 0) DatabaseErrorFmt(dbmsg::SDuplicateFieldName, {name});
  if (size < 0) DatabaseError(dbmsg::SInvalidFieldSize);
  TFieldDef& def = AddFieldDef();
  def.SetName(std::move(name));
  def.SetDataType(type);
  def.SetSize(size);
  def.SetRequired(required);
  return def;
}
void TFieldDefs::Clear() {
  CheckEditable();
  items_.clear();
  Changed();
}
TFieldDef& TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *items_[static_cast<std::size_t>(index)];
}
int TFieldDefs::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (SameText(items_[i]->Name(), name)) return static_cast<int>(i);
  return -1;
}
TFieldDef* TFieldDefs::Find(const std::string& name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

// --- TFieldDefList

TFieldDef& TFieldDefList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return *defs_[static_cast<std::size_t>(index)];
}
const std::string& TFieldDefList::Strings(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return names_[static_cast<std::size_t>(index)];
}
int TFieldDefList::IndexOf(const std::string& full_name) const {
  // Exact matches first: the common case, and cheaper than folding case.
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == full_name) return static_cast<int>(i);
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (SameText(names_[i], full_name)) return static_cast<int>(i);
  return -1;
}
TFieldDef* TFieldDefList::Find(const std::string& full_name) const {
  int i = IndexOf(full_name);
  return i < 0 ? nullptr : defs_[static_cast<std::size_t>(i)];
}
void TFieldDefList::Rebuild(const TFieldDefs& root) {
  defs_.clear();
  names_.clear();
  std::function<void(const TFieldDefs&, const std::string&)> walk = [&](const TFieldDefs& defs,
                                                                        const std::string& prefix) {
    for (int i = 0; i < defs.Count(); ++i) {
      TFieldDef& def = defs.Items(i);
      std::string name = prefix.empty() ? def.Name() : prefix + "." + def.Name();
      defs_.push_back(&def);
      names_.push_back(name);
      def.field_no_ = static_cast<int>(defs_.size());
      if (def.HasChildDefs()) walk(def.ChildDefs(), name);
    }
  };
  walk(root, "");
}

TFieldDefList& TDataSet::FieldDefList() {
  if (def_list_version_ != defs_version_) {
    field_def_list_.Rebuild(*field_defs_);
    def_list_version_ = defs_version_;
  }
  return field_def_list_;
}

}  // namespace corvane
