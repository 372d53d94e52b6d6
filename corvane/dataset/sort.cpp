// TPDBVirtualDataSet: sorting the row list in place.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "corvane/dataset/text_compare.h"
#include "corvane/dataset/virtual_dataset.h"

namespace corvane {

namespace {

template <class T>
T Load(const std::uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
int Order(T a, T b) noexcept {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN first, equal to NaN: the order must stay total for the sort.
int OrderFloat(double a, double b) noexcept {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
  return Order(a, b);
}

// A wide text as the host's byte string: one byte per character, '?' for
// characters above 255.
std::string WideText(const std::uint8_t* value, int width) {
  std::string out;
  for (int i = 0; i + 1 < width; i += 2) {
    const auto c = Load<std::uint16_t>(value + i);
    if (c == 0) break;
    out.push_back(c > 255 ? '?' : static_cast<char>(c));
  }
  return out;
}

int CompareValues(TFieldType type, const std::uint8_t* a, const std::uint8_t* b, int width,
                  bool case_insensitive, bool bytewise) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return CollateText(SlotText(a, width), SlotText(b, width), case_insensitive, bytewise);
    case ftWideString:
      return CollateText(WideText(a, width), WideText(b, width), case_insensitive, bytewise);
    case ftGuid:
      return CollateText(SlotText(a, width), SlotText(b, width), true, bytewise);
    case ftSmallint:
      return Order(Load<std::int16_t>(a), Load<std::int16_t>(b));
    case ftWord:
      return Order(Load<std::uint16_t>(a), Load<std::uint16_t>(b));
    case ftInteger:
    case ftDate:
    case ftTime:
    case ftAutoInc:
      return Order(Load<std::int32_t>(a), Load<std::int32_t>(b));
    case ftLargeint:
      return Order(Load<std::int64_t>(a), Load<std::int64_t>(b));
    case ftBoolean:
      return Order(Load<std::uint16_t>(a) != 0, Load<std::uint16_t>(b) != 0);
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      return OrderFloat(Load<double>(a), Load<double>(b));
    default:
      return 0;
  }
}

}  // namespace

void TPDBVirtualDataSet::CreateIndexList(const std::string& field_names) {
  if (index_list_)
    index_list_->clear();
  else
    index_list_ = std::make_unique<std::vector<TField*>>();
  sort_keys_.clear();
  std::size_t pos = 0;
  while (pos < field_names.size()) {
    const std::string name = ExtractFieldName(field_names, pos);
    if (name.empty()) continue;
    TField& field = FieldByName(name);
    if (field.FieldKind() != fkData || !IsStoredType(field.DataType()))
      DatabaseErrorFmt(dbmsg::SFieldTypeMismatch, {field.DisplayName()});
    index_list_->push_back(&field);
  }
}

void TPDBVirtualDataSet::FreeIndexList() {
  index_list_.reset();
  sort_keys_.clear();
}

bool TPDBVirtualDataSet::GetIsIndexField(TField* field) {
  return index_list_ &&
         std::find(index_list_->begin(), index_list_->end(), field) != index_list_->end();
}

void TPDBVirtualDataSet::SortDataSet(const std::string& field_names, bool case_insensitive,
                                     bool descending) {
  try {
    CreateIndexList(field_names);
    sort_case_insensitive_ = case_insensitive;
    sort_descending_ = descending;
    Sort();
  } catch (...) {
    FreeIndexList();
    throw;
  }
}

void TPDBVirtualDataSet::PrepareSortKeys() {
  sort_keys_.clear();
  sort_bytewise_ = BytewiseCollation();
  if (!index_list_) return;
  for (TField* f : *index_list_) {
    const Slot* slot = FindSlot(f);
    // A field without a slot compares equal everywhere.
    sort_keys_.push_back(slot ? *slot : Slot{-1, ftUnknown, 0});
  }
}

int TPDBVirtualDataSet::CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b) {
  if (index_list_ && sort_keys_.size() != index_list_->size()) PrepareSortKeys();
  const std::uint8_t* da = a.data_.get();
  const std::uint8_t* db = b.data_.get();
  for (const Slot& key : sort_keys_) {
    // A row made before the layout was known is shorter: its values are null.
    if (key.offset < 0) continue;
    const std::size_t end = static_cast<std::size_t>(key.offset + 1 + key.width);
    const bool ha = end <= a.data_size_ && da[key.offset] != 0;
    const bool hb = end <= b.data_size_ && db[key.offset] != 0;
    int r = 0;
    if (ha && hb)
      r = CompareValues(key.type, da + key.offset + 1, db + key.offset + 1, key.width,
                        sort_case_insensitive_, sort_bytewise_);
    else if (ha != hb)
      r = ha ? 1 : -1;
    if (r != 0) return sort_descending_ ? -r : r;
  }
  const int r = Order(a.record_id_, b.record_id_);
  return sort_descending_ ? -r : r;
}

void TPDBVirtualDataSet::QuickSort(int left, int right, TCompareRecords compare) {
  if (left < 0 || right >= MemoryRecordCount() || left >= right) return;
  auto first = rows_.begin() + left;
  auto last = rows_.begin() + right + 1;
  std::sort(first, last,
            [this, compare](const std::unique_ptr<TMemoryRecord>& x,
                            const std::unique_ptr<TMemoryRecord>& y) {
              return (this->*compare)(*x, *y) < 0;
            });
  RowsMoved(left);
}

void TPDBVirtualDataSet::Sort() {
  if (!Active() || rows_.empty()) return;
  CheckBrowseMode();
  const TBookmark current = Bookmark();
  PrepareSortKeys();
  QuickSort(0, MemoryRecordCount() - 1, &TPDBVirtualDataSet::CompareRecords);
  // Back to the row that was current, wherever it went.
  if (!current.empty()) {
    GotoBookmark(current);
  } else {
    cursor_pos_ = -1;
    CursorPosChanged();
    Resync(0);
  }
}

}  // namespace corvane
