// TPDBVirtualDataSet: sorting the row list in place.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <typeinfo>

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
                  const TextOrder& order) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return CollateText(SlotText(a, width), SlotText(b, width), order);
    case ftWideString: {
      TextOrder wide = order;
      wide.charset = TextCharset::Latin1;
      return CollateText(WideText(a, width), WideText(b, width), wide);
    }
    case ftGuid:
      return CollateText(SlotText(a, width), SlotText(b, width), order);
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

bool IsMemoType(TFieldType type) noexcept {
  return type == ftMemo || type == ftFmtMemo;
}

bool IsTextKey(TFieldType type) noexcept {
  return type == ftString || type == ftFixedChar || type == ftGuid || IsMemoType(type);
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
    if (field.FieldKind() != fkData ||
        !(IsStoredType(field.DataType()) || IsMemoType(field.DataType())))
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
    if (IsMemoType(f->DataType()) && f->DataSet() == this && f->Offset() >= 0) {
      sort_keys_.push_back(Slot{-1, f->DataType(), 0, f->Offset()});
      continue;
    }
    const Slot* slot = FindSlot(f);
    // A field without a slot compares equal everywhere.
    sort_keys_.push_back(slot ? *slot : Slot{-1, ftUnknown, 0, -1});
  }
}

TextOrder TPDBVirtualDataSet::SortTextOrder(const Slot& key) const noexcept {
  return TextOrder{charset_, sort_case_insensitive_ || key.type == ftGuid, sort_bytewise_};
}

namespace {

// A row's text under a text sort key (a memo's bytes, or a slot's text);
// false when the row has no value there.
bool KeyText(int offset, int width, int blob, std::span<const std::uint8_t> data,
             const TMemBlobArray& blobs, std::string_view& text) noexcept {
  if (blob >= 0) {
    const auto at = static_cast<std::size_t>(blob);
    if (at >= blobs.size() || !blobs[at]) return false;
    text = *blobs[at];
    return true;
  }
  if (offset < 0 || static_cast<std::size_t>(offset + 1 + width) > data.size()) return false;
  if (data[static_cast<std::size_t>(offset)] == 0) return false;
  text = SlotText(data.data() + offset + 1, width);
  return true;
}

}  // namespace

int TPDBVirtualDataSet::CompareRecords(const TMemoryRecord& a, const TMemoryRecord& b) {
  if (index_list_ && sort_keys_.size() != index_list_->size()) PrepareSortKeys();
  return CompareByIndexList(a, b);
}

int TPDBVirtualDataSet::CompareByIndexList(const TMemoryRecord& a, const TMemoryRecord& b) {
  const std::uint8_t* da = a.data_.get();
  const std::uint8_t* db = b.data_.get();
  for (const Slot& key : sort_keys_) {
    if (key.blob >= 0) {
      std::string_view ta, tb;
      const bool ha = KeyText(-1, 0, key.blob, a.Data(), a.blobs_, ta);
      const bool hb = KeyText(-1, 0, key.blob, b.Data(), b.blobs_, tb);
      const int r = ha && hb   ? CollateText(ta, tb, SortTextOrder(key))
                    : ha != hb ? (ha ? 1 : -1)
                               : 0;
      if (r != 0) return sort_descending_ ? -r : r;
      continue;
    }
    // A row made before the layout was known is shorter: its values are null.
    if (key.offset < 0) continue;
    const std::size_t end = static_cast<std::size_t>(key.offset + 1 + key.width);
    const bool ha = end <= a.data_size_ && da[key.offset] != 0;
    const bool hb = end <= b.data_size_ && db[key.offset] != 0;
    int r = 0;
    if (ha && hb)
      r = CompareValues(key.type, da + key.offset + 1, db + key.offset + 1, key.width,
                        SortTextOrder(key));
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

bool TPDBVirtualDataSet::CompareRecordsReplaced() const {
  return typeid(*this) != typeid(TPDBVirtualDataSet);
}

namespace {

// An unsigned key ordered as the field's values are, 0 for null (and for
// texts and types compared as equal). Equal keys do not mean equal values.
std::uint64_t ValueKey(TFieldType type, const std::uint8_t* v) noexcept {
  constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
  switch (type) {
    case ftSmallint:
      return static_cast<std::uint64_t>(Load<std::int16_t>(v) + 32768) + 1;
    case ftWord:
      return std::uint64_t{Load<std::uint16_t>(v)} + 1;
    case ftInteger:
    case ftDate:
    case ftTime:
    case ftAutoInc:
      return static_cast<std::uint64_t>(std::int64_t{Load<std::int32_t>(v)} + 2147483648LL) + 1;
    case ftLargeint:
      return static_cast<std::uint64_t>(Load<std::int64_t>(v)) ^ kSign;
    case ftBoolean:
      return Load<std::uint16_t>(v) != 0 ? 2 : 1;
    case ftFloat:
    case ftCurrency:
    case ftDateTime: {
      double d = Load<double>(v);
      if (std::isnan(d)) return 1;
      if (d == 0) d = 0;  // -0 and 0 are equal
      const auto bits = std::bit_cast<std::uint64_t>(d);
      return (bits & kSign) ? ~bits : (bits | kSign);
    }
    default:
      return 0;
  }
}

struct KeyEntry {
  std::uint64_t key;
  std::uint32_t index;
};

// With the first field's text, when texts are compared by their bytes.
struct TextEntry {
  std::uint64_t key;
  std::uint32_t index;
  std::uint32_t length;
  const char* text;
};

// Orders entries by key alone (stable: equal keys keep their order), a digit
// of 11 bits at a time; digits that every key shares cost one count.
template <class Entry>
void RadixSortByKey(std::vector<Entry>& entries) {
  constexpr int kBits = 11, kPasses = 6;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  const std::size_t n = entries.size();
  std::vector<std::uint32_t> counts(kPasses * kBuckets, 0);
  for (const Entry& e : entries)
    for (int p = 0; p < kPasses; ++p)
      ++counts[p * kBuckets + ((e.key >> (p * kBits)) & (kBuckets - 1))];
  std::vector<Entry> scratch(n);
  for (int p = 0; p < kPasses; ++p) {
    std::uint32_t* c = &counts[p * kBuckets];
    if (std::find(c, c + kBuckets, static_cast<std::uint32_t>(n)) != c + kBuckets) continue;
    std::uint32_t sum = 0;
    for (std::size_t b = 0; b < kBuckets; ++b) {
      const std::uint32_t k = c[b];
      c[b] = sum;
      sum += k;
    }
    for (const Entry& e : entries) scratch[c[(e.key >> (p * kBits)) & (kBuckets - 1)]++] = e;
    entries.swap(scratch);
  }
}

}  // namespace

// The rows are ordered through a compact array of their first field's keys,
// reading each row's data once, and the whole comparison is asked only where
// the keys tie. The order is the one CompareRecords gives.
void TPDBVirtualDataSet::SortByKeys() {
  const Slot* first = nullptr;
  if (!sort_keys_.empty() && (sort_keys_[0].offset >= 0 || sort_keys_[0].blob >= 0))
    first = &sort_keys_[0];
  if (first && IsTextKey(first->type)) {
    // A collation that is not bytewise orders through keys of its own.
    if (sort_bytewise_)
      SortByKeys<TextEntry>(first);
    else
      SortByCollationKeys(*first);
  } else {
    SortByKeys<KeyEntry>(first);
  }
}

template <class Entry>
void TPDBVirtualDataSet::SortByKeys(const Slot* first) {
  constexpr bool kTexts = std::is_same_v<Entry, TextEntry>;
  const std::size_t count = rows_.size();
  if (count > UINT32_MAX) DatabaseError("Too many rows to sort");
  const bool desc = sort_descending_;
  TextOrder order = first ? SortTextOrder(*first) : TextOrder{};
  // UTF-8 texts are folded once, up front; their folded bytes then compare
  // as they are.
  std::vector<std::string> folded;
  if (kTexts && order.fold && order.charset == TextCharset::Utf8) folded.resize(count);
  std::vector<Entry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TMemoryRecord& row = *rows_[i];
    Entry& e = entries[i];
    e = Entry{};
    e.index = static_cast<std::uint32_t>(i);
    if (!first) continue;
    if constexpr (kTexts) {
      std::string_view t;
      if (!KeyText(first->offset, first->width, first->blob, row.Data(), row.blobs_, t)) continue;
      if (!folded.empty()) t = folded[i] = FoldCase(t, order.charset);
      e.text = t.data();
      e.length = static_cast<std::uint32_t>(t.size());
    } else {
      if (static_cast<std::size_t>(first->offset + 1 + first->width) > row.data_size_) continue;
      const std::uint8_t* slot = row.data_.get() + first->offset;
      if (slot[0] == 0) continue;
      e.key = ValueKey(first->type, slot + 1);
    }
  }
  if (!folded.empty()) order.fold = false;
  if constexpr (kTexts) {
    // Texts that all start alike are keyed by what follows their common start.
    std::size_t common = SIZE_MAX;
    const char* model = nullptr;
    auto same = [&order](char x, char y) {
      if (!order.fold) return x == y;
      return FoldByte(static_cast<unsigned char>(x), order.charset) ==
             FoldByte(static_cast<unsigned char>(y), order.charset);
    };
    for (const Entry& e : entries) {
      if (!e.text) continue;
      if (!model) {
        model = e.text;
        common = e.length;
        continue;
      }
      std::size_t k = 0;
      const std::size_t n = std::min<std::size_t>(common, e.length);
      while (k < n && same(model[k], e.text[k])) ++k;
      common = k;
    }
    // A null value keys 0, as the empty text: the whole comparison tells them apart.
    for (Entry& e : entries)
      if (e.text) e.key = TextPrefix(std::string_view(e.text, e.length).substr(common), order);
  }
  if (desc)
    for (Entry& e : entries) e.key = ~e.key;
  RadixSortByKey(entries);
  // Rows whose keys tie are ordered by the whole comparison.
  auto tied = [&](const Entry& a, const Entry& b) {
    if constexpr (kTexts) {
      if (a.text && b.text) {
        const int r = CollateText({a.text, a.length}, {b.text, b.length}, order);
        if (r != 0) return desc ? r > 0 : r < 0;
      }
    }
    return CompareByIndexList(*rows_[a.index], *rows_[b.index]) < 0;
  };
  for (auto run = entries.begin(); run != entries.end();) {
    auto end = run + 1;
    while (end != entries.end() && end->key == run->key) ++end;
    if (end - run > 1) std::sort(run, end, tied);
    run = end;
  }
  std::vector<std::unique_ptr<TMemoryRecord>> sorted;
  sorted.reserve(count);
  for (const Entry& e : entries) sorted.push_back(std::move(rows_[e.index]));
  rows_.swap(sorted);
  RowsMoved(0);
}

// The locale's collation keys (wcsxfrm) of the first field's texts, compared
// as wide strings, order the rows as the pairwise collation does; ties and
// the later fields go to the whole comparison.
void TPDBVirtualDataSet::SortByCollationKeys(const Slot& first) {
  const std::size_t count = rows_.size();
  const TextOrder order = SortTextOrder(first);
  const bool desc = sort_descending_;
  struct Entry {
    bool has;
    std::uint32_t index;
    std::wstring key;
  };
  std::vector<Entry> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TMemoryRecord& row = *rows_[i];
    Entry& e = entries[i];
    e.index = static_cast<std::uint32_t>(i);
    std::string_view t;
    e.has = KeyText(first.offset, first.width, first.blob, row.Data(), row.blobs_, t);
    if (e.has) e.key = CollationKey(t, order);
  }
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    int r = a.has != b.has ? (a.has ? 1 : -1) : a.has ? a.key.compare(b.key) : 0;
    if (r != 0) return desc ? r > 0 : r < 0;
    return CompareByIndexList(*rows_[a.index], *rows_[b.index]) < 0;
  });
  std::vector<std::unique_ptr<TMemoryRecord>> sorted;
  sorted.reserve(count);
  for (const Entry& e : entries) sorted.push_back(std::move(rows_[e.index]));
  rows_.swap(sorted);
  RowsMoved(0);
}

void TPDBVirtualDataSet::Sort() {
  if (!Active() || rows_.empty()) return;
  CheckBrowseMode();
  const TBookmark current = Bookmark();
  PrepareSortKeys();
  if (CompareRecordsReplaced())
    QuickSort(0, MemoryRecordCount() - 1, &TPDBVirtualDataSet::CompareRecords);
  else
    SortByKeys();
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
