// How TPDBDataSet moves values between an engine's fields and its rows:
// through the framework's fields (Row) or straight in the row store
// (DirectRow), with the checks that name the row and the field.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "corvane/dataset/pdb_dataset.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"
#include "corvane/pdb/file_format.h"

namespace corvane::pdb_rows {

// What one engine's field class contributes: the dataset field type of each
// engine type, which types are texts, and the two conversions.
//
//   Load(item, field, row)   the item's value (just split from a record)
//                            into the dataset field of the row being appended;
//   Store(item, field, row)  the dataset field of the current row into the
//                            item of the record being posted.
//
// A value that the other side cannot hold as it is stops the transfer with
// an error naming the row and the field, instead of being changed on the way.

[[noreturn]] inline void RaiseRefusal(int number, bool writing, const TField& field,
                                      const std::string& shown) {
  throw EPDBException(writing ? 2 : 1,
                      FormatMessage(GetLocaleString(writing ? kMsgDataSetValueDoesNotFitField
                                                            : kMsgDataSetValueNotHeldByField),
                                    {std::to_string(number), field.FieldName(), shown}));
}

// The row being loaded or written, through the framework's fields: as a sink
// (Int, Large, Float, When, Bool, Text, Bytes with a value) while loading, as a
// source (the same names without one) while writing, and the checks that
// name the row.
class Row {
 public:
  Row(TPDBVirtualDataSet& dataset, TRecordBuffer& buffer, int number, bool writing)
      : dataset_(dataset), buffer_(buffer), number_(number), writing_(writing) {}

  void Int(TField& d, std::int32_t v) const { d.SetAsInteger(v); }
  void Large(TField& d, std::int64_t v) const { d.SetAsLargeInt(v); }
  void Float(TField& d, double v) const { d.SetAsFloat(v); }
  void When(TField& d, TDateTime v) const { d.SetAsDateTime(v); }
  void Bool(TField& d, bool v) const { d.SetAsBoolean(v); }
  // Texts go into a string field only when they fit it whole; a memo takes any.
  void Text(TField& field, std::string text) const {
    if (field.IsBlob()) {
      dataset_.SetBlobData(
          &field, buffer_,
          text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text)));
      return;
    }
    if (field.DataType() == ftString && text.size() > static_cast<std::size_t>(field.Size())) {
      Refuse(field, std::to_string(text.size()) + " bytes of text");
    }
    field.SetAsString(text);
  }
  void Bytes(TField& field, const corvane::Bytes& bytes) const {
    Text(field, std::string(bytes.begin(), bytes.end()));
  }

  std::int32_t Int(const TField& d) const { return d.AsInteger(); }
  std::int64_t Large(const TField& d) const { return d.AsLargeInt(); }
  double Float(const TField& d) const { return d.AsFloat(); }
  TDateTime When(const TField& d) const { return d.AsDateTime(); }
  bool Bool(const TField& d) const { return d.AsBoolean(); }
  std::string Text(const TField& field) const {
    if (field.IsBlob()) {
      TBlobData blob = dataset_.GetBlobData(const_cast<TField*>(&field), buffer_);
      return blob ? *blob : std::string();
    }
    return field.AsString();
  }

  [[noreturn]] void Refuse(const TField& field, const std::string& shown) const {
    RaiseRefusal(number_, writing_, field, shown);
  }

 private:
  TPDBVirtualDataSet& dataset_;
  TRecordBuffer& buffer_;
  int number_;
  bool writing_;
};

// A whole number of the field that must lie in lo..hi (both readings of a
// narrow type, signed and unsigned, are accepted).
template <class Source>
std::int64_t Whole(const Source& s, const TField& d, std::int64_t lo, std::int64_t hi) {
  const std::int64_t v = s.Large(d);
  if (v < lo || v > hi) s.Refuse(d, std::to_string(v));
  return v;
}

template <class Source>
Bytes BytesOf(const Source& s, const TField& d) {
  const std::string t = s.Text(d);
  return Bytes(t.begin(), t.end());
}

// The same row straight in the store: the slots of a row's data block, for
// loading and writing whole files when nothing else watches the rows (no
// events, no calculated or persistent fields, no filter), which ends exactly
// as the framework's way does, without its per-row steps.
class DirectRow {
 public:
  DirectRow(const std::vector<std::uint16_t>& offsets, TMemoryRecord& row, int number, bool writing)
      : offsets_(offsets), row_(row), number_(number), writing_(writing) {}

  void Int(TField& d, std::int32_t v) const { Put(d, v); }
  void Large(TField& d, std::int64_t v) const { Put(d, v); }
  void Float(TField& d, double v) const { Put(d, v); }
  void When(TField& d, TDateTime v) const {
    // The date-time field's own range: 0001-01-01 to 9999-12-31.
    if (!(std::isfinite(v) && v >= -693593.0 && v < 2958466.0)) Refuse(d, std::to_string(v));
    Put(d, v);
  }
  void Bool(TField& d, bool v) const { Put(d, static_cast<std::int16_t>(v ? -1 : 0)); }
  void Text(TField& d, std::string text) const {
    if (d.IsBlob()) {
      Blob(d) = text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text));
      return;
    }
    if (text.size() > static_cast<std::size_t>(d.Size())) {
      Refuse(d, std::to_string(text.size()) + " bytes of text");
    }
    std::uint8_t* slot = Slot(d);
    slot[0] = 1;
    if (!text.empty()) std::memcpy(slot + 1, text.data(), text.size());
    slot[1 + text.size()] = 0;
  }
  void Bytes(TField& d, const corvane::Bytes& bytes) const {
    Text(d, std::string(bytes.begin(), bytes.end()));
  }

  std::int32_t Int(const TField& d) const {
    const std::int64_t v = Large(d);
    if (v < INT32_MIN || v > INT32_MAX) Refuse(d, std::to_string(v));
    return static_cast<std::int32_t>(v);
  }
  std::int64_t Large(const TField& d) const {
    return d.DataType() == ftLargeint ? Get<std::int64_t>(d) : Get<std::int32_t>(d);
  }
  double Float(const TField& d) const { return Get<double>(d); }
  TDateTime When(const TField& d) const { return Get<double>(d); }
  bool Bool(const TField& d) const { return Get<std::int16_t>(d) != 0; }
  std::string Text(const TField& d) const {
    if (d.IsBlob()) {
      const TBlobData& blob = const_cast<DirectRow*>(this)->Blob(const_cast<TField&>(d));
      return blob ? *blob : std::string();
    }
    const std::uint8_t* slot = Slot(d);
    if (slot[0] == 0) return std::string();
    const auto* text = reinterpret_cast<const char*>(slot + 1);
    return std::string(text, ::strnlen(text, static_cast<std::size_t>(d.Size())));
  }

  [[noreturn]] void Refuse(const TField& d, const std::string& shown) const {
    RaiseRefusal(number_, writing_, d, shown);
  }

 private:
  std::uint8_t* Slot(const TField& d) const {
    return row_.Data().data() + offsets_[static_cast<std::size_t>(d.FieldNo() - 1)];
  }
  TBlobData& Blob(TField& d) const { return row_.Blobs()[static_cast<std::size_t>(d.Offset())]; }
  template <class T>
  void Put(const TField& d, T v) const {
    std::uint8_t* slot = Slot(d);
    slot[0] = 1;
    std::memcpy(slot + 1, &v, sizeof v);
  }
  // A null value reads as the zero of its type, as through the fields.
  template <class T>
  T Get(const TField& d) const {
    const std::uint8_t* slot = Slot(d);
    T v{};
    if (slot[0] != 0) std::memcpy(&v, slot + 1, sizeof v);
    return v;
  }

  const std::vector<std::uint16_t>& offsets_;
  TMemoryRecord& row_;
  int number_;
  bool writing_;
};

// Narrow integer setters take the low bits of a value accepted in either reading.
inline constexpr std::int64_t kLo8 = -128, kHi8 = 255, kLo16 = -32768, kHi16 = 65535;
inline constexpr std::int64_t kLo32 = INT32_MIN, kHi32 = UINT32_MAX;

inline std::string CurrencyText(Currency c) {
  return Variant(c).AsString();
}

}  // namespace corvane::pdb_rows
