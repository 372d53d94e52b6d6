#include "corvane/dataset/pdb_dataset.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"
#include "corvane/pdb/file_format.h"

namespace corvane {

namespace {

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

[[noreturn]] void RaiseRefusal(int number, bool writing, const TField& field,
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
constexpr std::int64_t kLo8 = -128, kHi8 = 255, kLo16 = -32768, kHi16 = 65535;

std::string CurrencyText(Currency c) {
  return Variant(c).AsString();
}

struct PSOps {
  using Engine = TPDBPocketStudio;
  using Fields = TPDBPSFields;
  using Field = TPDBPSField;
  static constexpr bool kRowID = false;

  static TFieldType DataSetType(const Field& f) {
    switch (f.DataType()) {
      case PSBoolean:
        return ftBoolean;
      case PSInt8:
      case PSInt16:
      case PSInt32:
      case PSUInt8:
      case PSUInt16:
      case PSUInt32:
        return ftInteger;
      case PSDate:
      case PSTime:
      case PSDateTime:
        return ftDateTime;
      case PSString:
        return ftString;
      case PSSingle:
      case PSDouble:
        return ftFloat;
      case PSBinary:
        return ftBlob;
    }
    return ftUnknown;
  }
  static bool IsText(const Field& f) { return f.DataType() == PSString; }
  static int FixedTextSize(const Field& f) { return f.Size(); }
  static std::size_t TextLength(const Field& f) { return f.GetAsPSString().size(); }
  // The fixed width of a text comes with the definition, not only its type.
  static void CopyDefinition(const Field& from, Field& to) {
    to.SetFieldName(from.FieldName());
    to.SetDataType(from.DataType());
    to.SetSize(from.Size());
  }

  template <class S>
  static void Load(const Field& f, TField& d, const S& s) {
    switch (f.DataType()) {
      case PSBoolean:
        s.Bool(d, f.GetAsPSBoolean());
        break;
      case PSInt8:
        s.Int(d, f.GetAsPSInt8());
        break;
      case PSInt16:
        s.Int(d, f.GetAsPSInt16());
        break;
      case PSInt32:
        s.Int(d, f.GetAsPSInt32());
        break;
      case PSUInt8:
        s.Int(d, f.GetAsPSUInt8());
        break;
      case PSUInt16:
        s.Int(d, f.GetAsPSUInt16());
        break;
      // The 32 bits unchanged: values from 2^31 up read as negative.
      case PSUInt32:
        s.Int(d, static_cast<std::int32_t>(f.GetAsPSUInt32()));
        break;
      case PSDate:
        s.When(d, f.GetAsPSDate());
        break;
      case PSTime:
        s.When(d, f.GetAsPSTime());
        break;
      case PSDateTime:
        s.When(d, f.GetAsPSDateTime());
        break;
      case PSString:
        s.Text(d, f.GetAsPSString());
        break;
      case PSSingle:
        s.Float(d, f.GetAsPSSingle());
        break;
      case PSDouble:
        s.Float(d, f.GetAsPSDouble());
        break;
      case PSBinary:
        s.Bytes(d, f.GetAsPSBinary());
        break;
    }
  }
  template <class S>
  static void Store(Field& f, const TField& d, const S& s) {
    switch (f.DataType()) {
      case PSBoolean:
        f.SetAsPSBoolean(s.Bool(d));
        break;
      case PSInt8:
        f.SetAsPSInt8(static_cast<std::int8_t>(Whole(s, d, kLo8, kHi8)));
        break;
      case PSUInt8:
        f.SetAsPSUInt8(static_cast<std::uint8_t>(Whole(s, d, kLo8, kHi8)));
        break;
      case PSInt16:
        f.SetAsPSInt16(static_cast<std::int16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case PSUInt16:
        f.SetAsPSUInt16(static_cast<std::uint16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case PSInt32:
        f.SetAsPSInt32(s.Int(d));
        break;
      case PSUInt32:
        f.SetAsPSUInt32(static_cast<std::uint32_t>(s.Int(d)));
        break;
      case PSDate:
        f.SetAsPSDate(s.When(d));
        break;
      case PSTime:
        f.SetAsPSTime(s.When(d));
        break;
      case PSDateTime:
        f.SetAsPSDateTime(s.When(d));
        break;
      case PSString:
        f.SetAsPSString(s.Text(d));
        break;
      case PSSingle:
        f.SetAsPSSingle(static_cast<float>(s.Float(d)));
        break;
      case PSDouble:
        f.SetAsPSDouble(s.Float(d));
        break;
      // The bytes go back into the record's own field.
      case PSBinary:
        f.SetAsPSBinary(BytesOf(s, d));
        break;
    }
  }
};

struct NSBOps {
  using Engine = TPDBNSBasic;
  using Fields = TPDBNSBFields;
  using Field = TPDBNSBField;
  static constexpr bool kRowID = false;

  static TFieldType DataSetType(const Field& f) {
    switch (f.DataType()) {
      case NSBByte:
      case NSBShort:
      case NSBInteger:
        return ftInteger;
      case NSBFloat:
      case NSBSingle:
      case NSBDouble:
        return ftFloat;
      case NSBDate:
      case NSBTime:
        return ftDateTime;
      case NSBString:
        return ftString;
    }
    return ftUnknown;
  }
  static bool IsText(const Field& f) { return f.DataType() == NSBString; }
  static int FixedTextSize(const Field& f) { return f.Size(); }
  static std::size_t TextLength(const Field& f) { return f.GetAsNSBString().size(); }
  static void CopyDefinition(const Field& from, Field& to) {
    to.SetFieldName(from.FieldName());
    to.SetDataType(from.DataType());
    to.SetSize(from.Size());
  }

  template <class S>
  static void Load(const Field& f, TField& d, const S& s) {
    switch (f.DataType()) {
      case NSBByte:
        s.Int(d, f.GetAsNSBByte());
        break;
      case NSBShort:
        s.Int(d, f.GetAsNSBShort());
        break;
      case NSBInteger:
        s.Int(d, f.GetAsNSBInteger());
        break;
      case NSBFloat:
      case NSBDouble:
        s.Float(d, f.GetAsNSBFloat());
        break;
      case NSBSingle:
        s.Float(d, f.GetAsNSBSingle());
        break;
      case NSBDate:
        s.When(d, f.GetAsNSBDate());
        break;
      case NSBTime:
        s.When(d, f.GetAsNSBTime());
        break;
      case NSBString:
        s.Text(d, f.GetAsNSBString());
        break;
    }
  }
  template <class S>
  static void Store(Field& f, const TField& d, const S& s) {
    switch (f.DataType()) {
      case NSBByte:
        f.SetAsNSBByte(static_cast<std::uint8_t>(Whole(s, d, kLo8, kHi8)));
        break;
      case NSBShort:
        f.SetAsNSBShort(static_cast<std::uint16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case NSBInteger:
        f.SetAsNSBInteger(s.Int(d));
        break;
      case NSBFloat:
      case NSBDouble:
        f.SetAsNSBFloat(s.Float(d));
        break;
      case NSBSingle:
        f.SetAsNSBSingle(static_cast<float>(s.Float(d)));
        break;
      case NSBDate:
        f.SetAsNSBDate(s.When(d));
        break;
      case NSBTime:
        f.SetAsNSBTime(s.When(d));
        break;
      case NSBString:
        f.SetAsNSBString(s.Text(d));
        break;
    }
  }
};

struct AFOps {
  using Engine = TPDBAppForge;
  using Fields = TPDBAFFields;
  using Field = TPDBAFField;
  static constexpr bool kRowID = false;

  static TFieldType DataSetType(const Field& f) {
    switch (f.DataType()) {
      case AFByte:
      case AFInteger:
      case AFLong:
        return ftInteger;
      case AFSingle:
      case AFDouble:
      case AFCurrency:
        return ftFloat;
      case AFString:
        return ftString;
      case AFBoolean:
        return ftBoolean;
      case AFDate:
        return ftDateTime;
    }
    return ftUnknown;
  }
  static bool IsText(const Field& f) { return f.DataType() == AFString; }
  static int FixedTextSize(const Field&) { return 0; }
  static std::size_t TextLength(const Field& f) { return f.GetAsAFString().size(); }
  static void CopyDefinition(const Field& from, Field& to) {
    to.SetFieldName(from.FieldName());
    to.SetDataType(from.DataType());
  }

  template <class S>
  static void Load(const Field& f, TField& d, const S& s) {
    switch (f.DataType()) {
      case AFByte:
        s.Int(d, f.GetAsAFByte());
        break;
      case AFInteger:
        s.Int(d, f.GetAsAFInteger());
        break;
      case AFLong:
        s.Int(d, f.GetAsAFLong());
        break;
      case AFSingle:
        s.Float(d, f.GetAsAFSingle());
        break;
      case AFDouble:
        s.Float(d, f.GetAsAFDouble());
        break;
      case AFCurrency: {
        // The amount as a float; one the float would not give back to the
        // ten-thousandth (beyond about 2^51 of them) is refused, not rounded.
        const Currency c = f.GetAsAFCurrency();
        const double amount = c.ToDouble();
        if (std::llround(amount * 10000.0) != c.value) s.Refuse(d, CurrencyText(c));
        s.Float(d, amount);
        break;
      }
      case AFString:
        s.Text(d, f.GetAsAFString());
        break;
      case AFBoolean:
        s.Bool(d, f.GetAsAFBoolean());
        break;
      case AFDate:
        s.When(d, f.GetAsAFDate());
        break;
    }
  }
  template <class S>
  static void Store(Field& f, const TField& d, const S& s) {
    switch (f.DataType()) {
      case AFByte:
        f.SetAsAFByte(static_cast<std::uint8_t>(Whole(s, d, kLo8, kHi8)));
        break;
      case AFInteger:
        f.SetAsAFInteger(static_cast<std::int16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case AFLong:
        f.SetAsAFLong(s.Int(d));
        break;
      case AFSingle:
        f.SetAsAFSingle(static_cast<float>(s.Float(d)));
        break;
      case AFDouble:
        f.SetAsAFDouble(s.Float(d));
        break;
      case AFCurrency: {
        const double scaled = std::nearbyint(s.Float(d) * 10000.0);
        // 2^63 ten-thousandths is the first amount a currency cannot hold.
        if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
          s.Refuse(d, std::to_string(s.Float(d)));
        }
        f.SetAsAFCurrency(Currency::FromRaw(static_cast<std::int64_t>(scaled)));
        break;
      }
      case AFString:
        f.SetAsAFString(s.Text(d));
        break;
      case AFBoolean:
        f.SetAsAFBoolean(s.Bool(d));
        break;
      case AFDate:
        f.SetAsAFDate(s.When(d));
        break;
    }
  }
};

struct JavaOps {
  using Engine = TPDBJava;
  using Fields = TPDBJavaFields;
  using Field = TPDBJavaField;
  static constexpr bool kRowID = false;

  static TFieldType DataSetType(const Field& f) {
    switch (f.DataType()) {
      case JByte:
      case JInt:
      case JShort:
        return ftInteger;
      case JBoolean:
        return ftBoolean;
      case JChar:
      case JString:
        return ftString;
      case JLong:
        return ftLargeint;
      case JDate:
        return ftDateTime;
    }
    return ftUnknown;
  }
  static bool IsText(const Field& f) { return f.DataType() == JString || f.DataType() == JChar; }
  static int FixedTextSize(const Field&) { return 0; }
  static std::size_t TextLength(const Field& f) {
    return f.DataType() == JChar ? 1 : f.GetAsString().size();
  }
  static void CopyDefinition(const Field& from, Field& to) {
    to.SetFieldName(from.FieldName());
    to.SetDataType(from.DataType());
  }

  template <class S>
  static void Load(const Field& f, TField& d, const S& s) {
    switch (f.DataType()) {
      case JByte:
        s.Int(d, f.GetAsByte());
        break;
      case JBoolean:
        s.Bool(d, f.GetAsBoolean());
        break;
      case JChar: {
        // A one-byte text holds the character codes 1 to 255 (0 is no
        // character); a wider code would come back as another character.
        const std::int64_t code = f.Value().AsInt64();
        if (code > 255) s.Refuse(d, "character code " + std::to_string(code));
        s.Text(d, code == 0 ? std::string() : f.GetAsChar());
        break;
      }
      case JInt:
        s.Int(d, f.GetAsInt());
        break;
      case JLong:
        s.Large(d, f.GetAsLong());
        break;
      case JShort:
        s.Int(d, f.GetAsShort());
        break;
      case JString:
        s.Text(d, f.GetAsString());
        break;
      case JDate:
        s.When(d, f.GetAsDate());
        break;
    }
  }
  template <class S>
  static void Store(Field& f, const TField& d, const S& s) {
    switch (f.DataType()) {
      case JByte:
        f.SetAsByte(static_cast<std::uint8_t>(Whole(s, d, kLo8, kHi8)));
        break;
      case JBoolean:
        f.SetAsBoolean(s.Bool(d));
        break;
      case JChar: {
        const std::string c = s.Text(d);
        if (c.size() > 1) s.Refuse(d, std::to_string(c.size()) + " characters");
        f.SetAsChar(c);
        break;
      }
      case JInt:
        f.SetAsInt(s.Int(d));
        break;
      case JLong:
        f.SetAsLong(s.Large(d));
        break;
      case JShort:
        f.SetAsShort(static_cast<std::int16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case JString: {
        std::string t = s.Text(d);
        if (t.size() > kJavaMaxStringBytes)
          s.Refuse(d, std::to_string(t.size()) + " bytes of text");
        f.SetAsString(t);
        break;
      }
      case JDate:
        f.SetAsDate(s.When(d));
        break;
    }
  }
};

struct SDOps {
  using Engine = TPDBSQLDriver;
  using Fields = TPDBSQLDriverFields;
  using Field = TPDBSQLDriverField;
  static constexpr bool kRowID = true;

  static TFieldType DataSetType(const Field& f) {
    switch (f.DataType()) {
      case PDChar:
        return ftString;
      case PDShort:
      case PDInt:
        return ftInteger;
      case PDLong:
        return ftLargeint;
      case PDFloat:
      case PDDouble:
        return ftFloat;
    }
    return ftUnknown;
  }
  static bool IsText(const Field& f) { return f.DataType() == PDChar; }
  static int FixedTextSize(const Field& f) { return f.Size(); }
  static std::size_t TextLength(const Field& f) { return f.GetAsChar().size(); }
  static void CopyDefinition(const Field& from, Field& to) {
    to.SetFieldName(from.FieldName());
    to.SetDataType(from.DataType());
    if (from.DataType() == PDChar) to.SetSize(from.Size());
  }

  template <class S>
  static void Load(const Field& f, TField& d, const S& s) {
    switch (f.DataType()) {
      case PDChar:
        s.Text(d, f.GetAsChar());
        break;
      case PDShort:
        s.Int(d, f.GetAsShort());
        break;
      case PDInt:
        s.Int(d, f.GetAsInt());
        break;
      case PDLong:
        s.Large(d, f.GetAsLong());
        break;
      case PDFloat:
        s.Float(d, f.GetAsFloat());
        break;
      case PDDouble:
        s.Float(d, f.GetAsDouble());
        break;
    }
  }
  template <class S>
  static void Store(Field& f, const TField& d, const S& s) {
    switch (f.DataType()) {
      case PDChar: {
        std::string t = s.Text(d);
        if (t.size() > static_cast<std::size_t>(f.Size())) {
          s.Refuse(d, std::to_string(t.size()) + " bytes of text");
        }
        f.SetAsChar(t);
        break;
      }
      case PDShort:
        f.SetAsShort(static_cast<std::int16_t>(Whole(s, d, kLo16, kHi16)));
        break;
      case PDInt:
        f.SetAsInt(s.Int(d));
        break;
      case PDLong:
        f.SetAsLong(s.Large(d));
        break;
      case PDFloat:
        f.SetAsFloat(static_cast<float>(s.Float(d)));
        break;
      case PDDouble:
        f.SetAsDouble(s.Float(d));
        break;
    }
  }
};

bool IsRowID(const std::string& name) {
  return name == "RowID";
}

// Closes an engine's file when leaving a scope early, without writing it.
template <class Engine>
class EngineCloser {
 public:
  explicit EngineCloser(Engine& engine) : engine_(&engine) {}
  ~EngineCloser() {
    if (engine_) engine_->AbortDatabase();
  }
  void Release() noexcept { engine_ = nullptr; }

 private:
  Engine* engine_;
};

// Rows held in memory may take this many times the file's bytes before wide
// text fields are held as memos instead.
constexpr std::int64_t kMemoryPerFileByte = 16;
constexpr std::int64_t kMemoryFloor = std::int64_t{64} << 20;

}  // namespace

// ---------------------------------------------------------------------------
// Construction and properties

TPDBDataSet::TPDBDataSet(TComponent* owner)
    : TPDBVirtualDataSet(owner),
      ps_(CreateOwned<TPDBPocketStudio>()),
      nsb_(CreateOwned<TPDBNSBasic>()),
      af_(CreateOwned<TPDBAppForge>()),
      java_(CreateOwned<TPDBJava>()),
      sd_(CreateOwned<TPDBSQLDriver>()),
      fields_ps_(this),
      fields_nsb_(this),
      fields_af_(this),
      fields_java_(this),
      fields_sd_(this) {}

TPDBDataSet::~TPDBDataSet() {
  CloseForDestroy();
}

bool TPDBDataSet::ValidateName(const std::string& value) noexcept {
  return TCorvane::ValidateName(value);
}

bool TPDBDataSet::ValidateCreatorType(const std::string& value) noexcept {
  return TCorvane::ValidateCreatorType(value);
}

void TPDBDataSet::SetPDBFilename(const std::string& value) {
  if (value != pdb_filename_ && !Trim(value).empty()) {
    if (UpperCase(ExtractFileExt(value)) != ".PDB") RaisePDB(1, kMsgDataSetFilenameNotPdb);
    if (!ValidateName(value)) RaisePDB(2, kMsgDataSetFilenameInvalid);
  }
  pdb_filename_ = value;
}

void TPDBDataSet::SetDBName(const std::string& value) {
  if (value != database_name_ && !Trim(value).empty()) {
    if (Trim(value).size() > 31) RaisePDB(1, kMsgDataSetDatabaseNameTooLong);
    if (!ValidateName(value)) RaisePDB(2, kMsgDataSetDatabaseNameInvalid);
  }
  database_name_ = value;
}

void TPDBDataSet::SetCreatorID(const std::string& value) {
  if (value != creator_id_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgDataSetCreatorIdLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgDataSetCreatorIdInvalid);
  }
  creator_id_ = value;
}

void TPDBDataSet::SetDatabaseType(const std::string& value) {
  if (value != database_type_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgDataSetDatabaseTypeLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgDataSetDatabaseTypeInvalid);
  }
  database_type_ = value;
}

void TPDBDataSet::SetDBFlags(TDBFlags flags) noexcept {
  db_flags_ = pdb::DBFlagsToWord(flags);
}

TDBFlags TPDBDataSet::ToTDBFlags(std::uint16_t word) noexcept {
  return pdb::ToTDBFlags(word);
}

std::string TPDBDataSet::FilePath() const {
  return IncludeTrailingPathDelimiter(Trim(directory_)) + Trim(pdb_filename_);
}

bool TPDBDataSet::FileToLoad() const {
  return !Trim(pdb_filename_).empty() && FileExists(FilePath());
}

// ---------------------------------------------------------------------------
// Opening

void TPDBDataSet::OpenCursor(bool info_only) {
  if (Active()) RaisePDB(1, kMsgDataSetAlreadyOpen);
  auto require = [](int count) {
    if (count == 0) RaisePDB(2, kMsgDataSetNoFields);
  };
  switch (engine_) {
    case PocketStudio:
      require(fields_ps_.Count());
      OpenPS(info_only);
      break;
    case NSBasic:
      require(fields_nsb_.Count());
      OpenNSB(info_only);
      break;
    case AppForge:
      require(fields_af_.Count());
      OpenAF(info_only);
      break;
    case Java:
      require(fields_java_.Count());
      OpenJ(info_only);
      break;
    case SWSQLDriver:
      require(fields_sd_.Count());
      OpenSD(info_only);
      break;
  }
}

void TPDBDataSet::OpenPS(bool info_only) {
  OpenWith<PSOps>(*ps_, fields_ps_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenNSB(bool info_only) {
  OpenWith<NSBOps>(*nsb_, fields_nsb_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenAF(bool info_only) {
  OpenWith<AFOps>(*af_, fields_af_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenJ(bool info_only) {
  OpenWith<JavaOps>(*java_, fields_java_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenSD(bool info_only) {
  OpenWith<SDOps>(*sd_, fields_sd_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}

template <class Ops>
void TPDBDataSet::OpenWith(typename Ops::Engine& engine, typename Ops::Fields& fields) {
  FieldDefs().Clear();
  engine.Fields().Clear();
  if constexpr (Ops::kRowID) {
    auto& row_id = engine.Fields().Add();
    row_id.SetFieldName("RowID");
    row_id.SetDataType(PDInt);
  }
  for (const auto& item : fields) Ops::CopyDefinition(item, engine.Fields().Add());

  // How wide each text field must be so that no text of the file is cut:
  // the file is walked once before the table is laid out.
  std::map<std::string, std::size_t> longest;  // by upper-cased field name
  std::int64_t rows = 0, file_size = 0;
  if (FileToLoad()) {
    engine.SetDirectory(directory_);
    engine.SetPDBFilename(pdb_filename_);
    engine.SetOpenMode(dmModeReadOnly);
    engine.OpenDatabase();
    EngineCloser<typename Ops::Engine> closer(engine);
    file_size = engine.FileSize();
    for (engine.First(); !engine.Eof(); engine.Next()) {
      ++rows;
      for (const auto& f : engine.Fields()) {
        if (!Ops::IsText(f)) continue;
        std::size_t& n = longest[UpperCase(f.FieldName())];
        n = std::max(n, Ops::TextLength(f));
      }
    }
    engine.CloseDatabase();
    closer.Release();
  }

  struct Def {
    std::string name;
    TFieldType type;
    int size;
    bool text_can_be_memo;
  };
  std::vector<Def> defs;
  for (const auto& item : fields) {
    Def d{item.FieldName(), Ops::DataSetType(item), 0, false};
    if (d.type == ftString) {
      const int fixed = Ops::FixedTextSize(item);
      const auto it = longest.find(UpperCase(item.FieldName()));
      const std::size_t measured = it == longest.end() ? 0 : it->second;
      if (fixed > 0) {
        d.size = fixed;
      } else if (measured > static_cast<std::size_t>(kDataSetMaxTextSize)) {
        d.type = ftMemo;
      } else {
        d.size = std::max(kDataSetTextSize, static_cast<int>(measured));
      }
      d.text_can_be_memo = true;
    }
    defs.push_back(d);
  }
  // Every row takes the width of every slot: when wide texts would make the
  // rows outgrow what the store can lay out or what the file justifies, the
  // widest texts are held as memos.
  const std::int64_t budget = std::max(kMemoryFloor, file_size * kMemoryPerFileByte);
  for (;;) {
    std::int64_t row_size = 0;
    Def* widest = nullptr;
    for (Def& d : defs) {
      const int w = StoredValueWidth(d.type, d.size);
      if (w >= 0) row_size += w + 1;
      if (d.text_can_be_memo && d.type == ftString && d.size > kDataSetTextSize &&
          (!widest || d.size > widest->size)) {
        widest = &d;
      }
    }
    if (!widest || (row_size <= 0xFFFF && rows * row_size <= budget)) break;
    widest->type = ftMemo;
    widest->size = 0;
  }
  for (const Def& d : defs) FieldDefs().Add(d.name, d.type, d.size);
}

// Whether loading and writing may go to the rows straight: the fields are the
// ones opening made (no calculated, lookup or persistent fields with handlers
// of their own) and no event watches single rows, so the framework's way would
// end in the same rows without anyone seeing the steps between.
bool TPDBDataSet::RowsUnwatched() const {
  if (!DefaultFields() || CalcFieldsSize() != 0) return false;
  for (const TField* f : Fields()) {
    if (f->FieldKind() != fkData || f->OnValidate || f->OnChange) return false;
  }
  return !BeforeInsert && !AfterInsert && !BeforePost && !AfterPost && !OnNewRecord &&
         !BeforeScroll && !AfterScroll && !OnCalcFields && !OnPostError && !OnDataEvent;
}

// ---------------------------------------------------------------------------
// Loading

void TPDBDataSet::DoAfterOpen() {
  if (!FileToLoad()) {
    TPDBVirtualDataSet::DoAfterOpen();
    return;
  }
  switch (engine_) {
    case PocketStudio:
      LoadWith<PSOps>(*ps_);
      break;
    case NSBasic:
      LoadWith<NSBOps>(*nsb_);
      break;
    case AppForge:
      LoadWith<AFOps>(*af_);
      break;
    case Java:
      LoadWith<JavaOps>(*java_);
      break;
    case SWSQLDriver:
      LoadWith<SDOps>(*sd_);
      break;
  }
  TPDBVirtualDataSet::DoAfterOpen();
  if (RecordCount() > 0) First();
}

template <class Ops>
void TPDBDataSet::LoadWith(typename Ops::Engine& engine) {
  bool disabled = false;
  try {
    engine.SetDirectory(directory_);
    engine.SetPDBFilename(pdb_filename_);
    engine.SetOpenMode(dmModeReadOnly);
    engine.OpenDatabase();
    // The file's own header values, whether or not this dataset's setters
    // would take them.
    database_name_ = engine.DatabaseName();
    database_type_ = engine.DatabaseType();
    creator_id_ = engine.CreatorID();
    creation_date_ = engine.CreationDate();
    SetDBFlags(engine.GetDBFlags());
    DisableControls();
    disabled = true;

    // The dataset field of every engine field, found once.
    std::vector<std::pair<const typename Ops::Field*, TField*>> map;
    for (const auto& f : engine.Fields()) {
      if (Ops::kRowID && IsRowID(f.FieldName())) continue;
      map.emplace_back(&f, &FieldByName(f.FieldName()));
    }
    int number = 0;
    if (RowsUnwatched()) {
      for (engine.First(); !engine.Eof(); engine.Next()) {
        TMemoryRecord& rec = *AddRecord();
        std::fill(rec.Data().begin(), rec.Data().end(), std::uint8_t{0});
        const DirectRow row(OffsetTable(), rec, ++number, false);
        for (auto& [item, field] : map) Ops::Load(*item, *field, row);
      }
    } else {
      for (engine.First(); !engine.Eof(); engine.Next()) {
        Append();
        const Row row(*this, *ActiveBuffer(), ++number, false);
        for (auto& [item, field] : map) Ops::Load(*item, *field, row);
        Post();
      }
    }
    engine.CloseDatabase();
    disabled = false;
    EnableControls();
  } catch (...) {
    // Half a table must never be written back over the file: the dataset
    // closes without its before-close step.
    std::exception_ptr error = std::current_exception();
    engine.AbortDatabase();
    try {
      if (disabled) EnableControls();
      if (State() != dsBrowse) Cancel();
    } catch (...) {
      HandleException();
    }
    try {
      SetState(dsInactive);
      CloseCursor();
    } catch (...) {
      HandleException();
    }
    std::rethrow_exception(error);
  }
}

// ---------------------------------------------------------------------------
// Writing back

void TPDBDataSet::DoBeforeClose() {
  if (!Active()) RaisePDB(1, kMsgDataSetNotOpen);
  if (!write_on_close_) {
    TPDBVirtualDataSet::DoBeforeClose();
    return;
  }
  switch (engine_) {
    case PocketStudio:
      ClosePS();
      break;
    case NSBasic:
      CloseNSB();
      break;
    case AppForge:
      CloseAF();
      break;
    case Java:
      CloseJ();
      break;
    case SWSQLDriver:
      CloseSD();
      break;
  }
  TPDBVirtualDataSet::DoBeforeClose();
}

void TPDBDataSet::ClosePS() {
  WriteWith<PSOps>(*ps_, fields_ps_.Count());
}
void TPDBDataSet::CloseNSB() {
  WriteWith<NSBOps>(*nsb_, fields_nsb_.Count());
}
void TPDBDataSet::CloseAF() {
  WriteWith<AFOps>(*af_, fields_af_.Count());
}
void TPDBDataSet::CloseJ() {
  WriteWith<JavaOps>(*java_, fields_java_.Count());
}
void TPDBDataSet::CloseSD() {
  WriteWith<SDOps>(*sd_, fields_sd_.Count() + 1);
}

template <class Ops>
void TPDBDataSet::WriteWith(typename Ops::Engine& engine, int field_count) {
  failed_row_ = 0;
  failed_field_.clear();
  // A database left open by an earlier failure is dropped, never written.
  engine.AbortDatabase();
  bool disabled = false;
  int number = 0;
  try {
    engine.SetDirectory(directory_);
    engine.SetPDBFilename(pdb_filename_);
    engine.SetDBName(database_name_);
    engine.SetOpenMode(dmModeWriteOnly);
    engine.SetCreatorID(creator_id_);
    engine.SetDatabaseType(database_type_);
    engine.SetCreationDate(creation_date_);
    engine.SetDBFlags(ToTDBFlags(db_flags_));
    engine.CreateDatabase();
    DisableControls();
    disabled = true;
    First();

    std::vector<std::pair<typename Ops::Field*, TField*>> map;
    const int count = std::min(field_count, engine.Fields().Count());
    for (int i = 0; i < count; ++i) {
      auto& item = engine.Fields().GetItem(i);
      if (Ops::kRowID && IsRowID(item.FieldName())) continue;
      map.emplace_back(&item, &FieldByName(item.FieldName()));
    }
    if (RowsUnwatched() && !Filtered()) {
      for (const auto& rec : Rows()) {
        ++number;
        engine.Append();
        const DirectRow row(OffsetTable(), *rec, number, true);
        for (auto& [item, field] : map) {
          failed_field_ = field->FieldName();
          Ops::Store(*item, *field, row);
        }
        failed_field_.clear();
        engine.Post();
      }
    } else {
      while (!Eof()) {
        ++number;
        engine.Append();
        const Row row(*this, *ActiveBuffer(), number, true);
        for (auto& [item, field] : map) {
          failed_field_ = field->FieldName();
          Ops::Store(*item, *field, row);
        }
        failed_field_.clear();
        engine.Post();
        Next();
      }
    }
    number = 0;
    engine.CloseDatabase();
  } catch (...) {
    // The file written so far is dropped; the one loaded stays as it was.
    std::exception_ptr error = std::current_exception();
    failed_row_ = number;
    if (number == 0) failed_field_.clear();
    engine.AbortDatabase();
    if (disabled) {
      try {
        EnableControls();
      } catch (...) {
        HandleException();
      }
    }
    std::rethrow_exception(error);
  }
  EnableControls();
}

}  // namespace corvane
