// TPDBVirtualDataSet: bookmarks, the record filter, record numbers and Locate.
#include <cstring>
#include <string>
#include <vector>

#include "corvane/dataset/text_compare.h"
#include "corvane/dataset/virtual_dataset.h"

namespace corvane {

namespace {

bool LoadID(const TBookmark& bookmark, std::int32_t& id) noexcept {
  if (bookmark.size() < 4) return false;
  std::memcpy(&id, bookmark.data(), 4);
  return true;
}

bool TextMatches(std::string_view text, const std::string& key, TLocateOptions options,
                 bool bytewise) {
  if (options.Contains(loPartialKey) && text.size() > key.size()) text = text.substr(0, key.size());
  return CollateText(text, key, options.Contains(loCaseInsensitive), bytewise) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Bookmarks

bool TPDBVirtualDataSet::BookmarkValid(const TBookmark& bookmark) {
  std::int32_t id;
  return cursor_open_ && LoadID(bookmark, id) && id != kNoRecordID && id <= last_id_;
}

int TPDBVirtualDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  std::int32_t x = 0, y = 0;
  const bool has_a = LoadID(a, x), has_b = LoadID(b, y);
  if (!has_a || !has_b) return has_a == has_b ? 0 : (has_a ? 1 : -1);
  return x > y ? 1 : (x < y ? -1 : 0);
}

// ---------------------------------------------------------------------------
// Filtering

void TPDBVirtualDataSet::SetFiltered(bool value) {
  if (!Active()) {
    TDataSet::SetFiltered(value);
    return;
  }
  CheckBrowseMode();
  if (value == Filtered()) return;
  TDataSet::SetFiltered(value);
  First();
}

void TPDBVirtualDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  // The handler running now would be destroyed under itself.
  if (State() == dsFilter) DatabaseError(dbmsg::SFilterInUse);
  if (!Active()) {
    TDataSet::SetOnFilterRecord(std::move(handler));
    return;
  }
  CheckBrowseMode();
  TDataSet::SetOnFilterRecord(std::move(handler));
  if (Filtered()) First();
}

bool TPDBVirtualDataSet::RecordFilter() {
  const TFilterRecordEvent& handler = OnFilterRecord();
  if (!handler) return true;
  TRecordBuffer* temp = TempBuffer();
  if (!temp || cursor_pos_ < 0 || cursor_pos_ >= MemoryRecordCount()) return false;
  bool accept = true;
  const TDataSetState saved = SetTempState(dsFilter);
  try {
    RecordToBuffer(*rows_[static_cast<std::size_t>(cursor_pos_)], *temp);
    handler(*this, accept);
  } catch (...) {
    InternalHandleException();
  }
  RestoreState(saved);
  return accept;
}

void TPDBVirtualDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value < 1 || value > MemoryRecordCount()) return;
  const int saved = cursor_pos_;
  cursor_pos_ = value - 1;
  if (Filtered() && !RecordFilter()) {
    cursor_pos_ = saved;
    return;
  }
  DoBeforeScroll();
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

// ---------------------------------------------------------------------------
// Locate

struct TPDBVirtualDataSet::LocateKey {
  TField* field;
  // A text field read straight from a row's data; otherwise the row is put
  // in the temporary buffer and read through the field.
  const Slot* slot;
  bool text;
  Variant value;
  std::string key_text;
  TLocateOptions options;
  bool bytewise;
};

bool TPDBVirtualDataSet::KeyMatches(const LocateKey& key, const TMemoryRecord* row, bool& loaded) {
  if (row && key.slot) {
    const std::uint8_t* at = row->data_.get() + key.slot->offset;
    std::string_view text = at[0] ? SlotText(at + 1, key.slot->width) : std::string_view();
    return TextMatches(text, key.key_text, key.options, key.bytewise);
  }
  if (row && !loaded) {
    RecordToBuffer(*row, *TempBuffer());
    loaded = true;
  }
  if (key.text) return TextMatches(key.field->AsString(), key.key_text, key.options, key.bytewise);
  return key.field->AsVariant() == key.value;
}

bool TPDBVirtualDataSet::LocateRecord(const std::string& key_fields,
                                      const std::vector<Variant>& key_values,
                                      TLocateOptions options) {
  CheckBrowseMode();
  if (Bof() && Eof()) return false;
  std::vector<TField*> fields;
  GetFieldList(fields, key_fields);
  if (key_values.size() < fields.size() || (fields.size() == 1 && key_values.empty()))
    throw EListError("List index out of bounds (" + std::to_string(key_values.size()) + ")");

  const bool bytewise = BytewiseCollation();
  std::vector<LocateKey> keys;
  keys.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TField* f = fields[i];
    LocateKey k{f, nullptr, f->DataType() == ftString, key_values[i], {}, options, bytewise};
    if (k.text) {
      k.key_text = k.value.AsString();
      if (f->FieldKind() == fkData && f->DataSet() == this) k.slot = FindSlot(f);
    }
    keys.push_back(std::move(k));
  }
  auto matches = [&](const TMemoryRecord* row) {
    bool loaded = false;
    for (const LocateKey& k : keys)
      if (!KeyMatches(k, row, loaded)) return false;
    return true;
  };

  if (matches(nullptr)) return true;  // the current row: the cursor stays

  const int saved = cursor_pos_;
  int found = -1;
  const TDataSetState state = SetTempState(dsFilter);
  try {
    for (int i = 0; i < MemoryRecordCount() && found < 0; ++i) {
      cursor_pos_ = i;
      if (Filtered() && !RecordFilter()) continue;
      if (matches(rows_[static_cast<std::size_t>(i)].get())) found = i;
    }
  } catch (...) {
    RestoreState(state);
    cursor_pos_ = saved;
    throw;
  }
  RestoreState(state);
  if (found < 0) {
    cursor_pos_ = saved;
    return false;
  }
  cursor_pos_ = found;
  DisableControls();
  try {
    Resync(rmExact | rmCenter);
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  return true;
}

bool TPDBVirtualDataSet::Locate(const std::string& key_fields,
                                const std::vector<Variant>& key_values, TLocateOptions options) {
  DoBeforeScroll();
  const bool found = LocateRecord(key_fields, key_values, options);
  if (found) {
    DataEvent(deDataSetChange);
    DoAfterScroll();
  }
  return found;
}

}  // namespace corvane
