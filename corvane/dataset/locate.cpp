// TPDBVirtualDataSet: bookmarks, the record filter, record numbers and Locate.
#include <cmath>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "corvane/dataset/text_compare.h"
#include "corvane/dataset/virtual_dataset.h"
#include "corvane/host/dataset/fields.h"

namespace corvane {

namespace {

bool LoadID(const TBookmark& bookmark, std::int32_t& id) noexcept {
  if (bookmark.size() < 4) return false;
  std::memcpy(&id, bookmark.data(), 4);
  return true;
}

bool TextMatches(std::string_view text, const std::string& key, TLocateOptions options,
                 const TextOrder& order) {
  if (options.Contains(loPartialKey) && text.size() > key.size()) text = text.substr(0, key.size());
  return CollateText(text, key, order) == 0;
}

template <class T>
T Load(const std::uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

constexpr double kTwoPow63 = 9223372036854775808.0;

// How a number field's slot is read in place, and the key it must equal: the
// verdicts of the field's value compared with the key as tagged values (a
// whole double equals the same integer, NaN equals NaN, null only null).
struct NumberMatch {
  enum Read : std::uint8_t { None, Int16, Word, Int32, Int64, Double } read = None;
  enum Want : std::uint8_t { Never, Null, Value, NaN } want = Never;
  std::int64_t whole = 0;  // for the integer reads
  double real = 0;         // for the double read
};

NumberMatch::Read ReadOf(const TField& f) {
  const std::type_info& t = typeid(f);
  switch (f.DataType()) {
    case ftSmallint:
      return t == typeid(TSmallintField) ? NumberMatch::Int16 : NumberMatch::None;
    case ftWord:
      return t == typeid(TWordField) ? NumberMatch::Word : NumberMatch::None;
    case ftInteger:
      return t == typeid(TIntegerField) ? NumberMatch::Int32 : NumberMatch::None;
    case ftAutoInc:
      return t == typeid(TAutoIncField) ? NumberMatch::Int32 : NumberMatch::None;
    case ftLargeint:
      return t == typeid(TLargeintField) ? NumberMatch::Int64 : NumberMatch::None;
    case ftFloat:
      return t == typeid(TFloatField) ? NumberMatch::Double : NumberMatch::None;
    default:
      return NumberMatch::None;
  }
}

// None when the key is of a kind only the tagged values' comparison handles
// (texts, currency).
NumberMatch MatchFor(NumberMatch::Read read, const Variant& key) {
  NumberMatch m;
  const bool real_slot = read == NumberMatch::Double;
  switch (key.Type()) {
    case VarType::Null:
      m.want = NumberMatch::Null;
      break;
    case VarType::Empty:
      m.want = NumberMatch::Never;  // a field's value is never empty
      break;
    case VarType::Integer:
    case VarType::Boolean: {
      const std::int64_t k = key.AsInt64();
      if (!real_slot) {
        m.want = NumberMatch::Value;
        m.whole = k;
        break;
      }
      // Only a double that is exactly k equals it.
      const double d = static_cast<double>(k);
      if (d < kTwoPow63 && static_cast<std::int64_t>(d) == k) {
        m.want = NumberMatch::Value;
        m.real = d;
      }
      break;
    }
    case VarType::Float:
    case VarType::DateTime: {
      const double d = key.AsDouble();
      if (real_slot) {
        m.want = std::isnan(d) ? NumberMatch::NaN : NumberMatch::Value;
        m.real = d;
      } else if (d == std::trunc(d) && d >= -kTwoPow63 && d < kTwoPow63) {
        m.want = NumberMatch::Value;
        m.whole = static_cast<std::int64_t>(d);
      }
      break;
    }
    default:
      return NumberMatch{};
  }
  m.read = read;
  return m;
}

bool NumberMatches(const NumberMatch& m, const std::uint8_t* slot) noexcept {
  if (slot == nullptr || slot[0] == 0) return m.want == NumberMatch::Null;
  const std::uint8_t* v = slot + 1;
  switch (m.want) {
    case NumberMatch::Value:
      break;
    case NumberMatch::NaN:
      return std::isnan(Load<double>(v));
    default:
      return false;
  }
  switch (m.read) {
    case NumberMatch::Int16:
      return Load<std::int16_t>(v) == m.whole;
    case NumberMatch::Word:
      return Load<std::uint16_t>(v) == m.whole;
    case NumberMatch::Int32:
      return Load<std::int32_t>(v) == m.whole;
    case NumberMatch::Int64:
      return Load<std::int64_t>(v) == m.whole;
    case NumberMatch::Double:
      return Load<double>(v) == m.real;
    default:
      return false;
  }
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
  // A text or number field read straight from a row's data; otherwise the
  // row is put in the temporary buffer and read through the field.
  const Slot* slot;
  bool text;
  Variant value;
  std::string key_text;
  TLocateOptions options;
  TextOrder order;
  NumberMatch number;
};

bool TPDBVirtualDataSet::KeyMatches(const LocateKey& key, const TMemoryRecord* row, bool& loaded) {
  if (row && key.slot) {
    const std::size_t end = static_cast<std::size_t>(key.slot->offset + 1 + key.slot->width);
    const std::uint8_t* at = end <= row->data_size_ ? row->data_.get() + key.slot->offset : nullptr;
    if (!key.text) return NumberMatches(key.number, at);
    std::string_view text = at && at[0] ? SlotText(at + 1, key.slot->width) : std::string_view();
    return TextMatches(text, key.key_text, key.options, key.order);
  }
  if (row && !loaded) {
    RecordToBuffer(*row, *TempBuffer());
    loaded = true;
  }
  if (key.text) return TextMatches(key.field->AsString(), key.key_text, key.options, key.order);
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

  const TextOrder order{charset_, options.Contains(loCaseInsensitive), BytewiseCollation()};
  std::vector<LocateKey> keys;
  keys.reserve(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TField* f = fields[i];
    LocateKey k{f, nullptr, f->DataType() == ftString, key_values[i], {}, options, order, {}};
    const bool own = f->FieldKind() == fkData && f->DataSet() == this;
    if (k.text) {
      k.key_text = k.value.AsString();
      if (own) k.slot = FindSlot(f);
    } else if (own) {
      k.number = MatchFor(ReadOf(*f), k.value);
      if (k.number.read != NumberMatch::None) k.slot = FindSlot(f);
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
