#include "corvane/dataset/pdb_dataset.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "corvane/foundation/exception.h"
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

// The row being loaded or written, and the checks that name it.
class Row {
 public:
  Row(TPDBVirtualDataSet& dataset, TRecordBuffer& buffer, int number, bool writing)
      : dataset_(dataset), buffer_(buffer), number_(number), writing_(writing) {}

  // Texts go into a string field only when they fit it whole; a memo takes any.
  void SetText(TField& field, std::string text) const {
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
  std::string Text(const TField& field) const {
    if (field.IsBlob()) {
      TBlobData blob = dataset_.GetBlobData(const_cast<TField*>(&field), buffer_);
      return blob ? *blob : std::string();
    }
    return field.AsString();
  }
  void SetBytes(TField& field, const Bytes& bytes) const {
    SetText(field, std::string(bytes.begin(), bytes.end()));
  }
  Bytes BytesOf(const TField& field) const {
    const std::string s = Text(field);
    return Bytes(s.begin(), s.end());
  }
  // A whole number of the field that must lie in lo..hi (both readings of a
  // narrow type, signed and unsigned, are accepted).
  std::int64_t Whole(const TField& field, std::int64_t lo, std::int64_t hi) const {
    const std::int64_t v = field.AsLargeInt();
    if (v < lo || v > hi) Refuse(field, std::to_string(v));
    return v;
  }
  [[noreturn]] void Refuse(const TField& field, const std::string& shown) const {
    const std::string n = std::to_string(number_);
    throw EPDBException(writing_ ? 2 : 1, FormatMessage(GetLocaleString(writing_ ? 15130 : 15140),
                                                        {n, field.FieldName(), shown}));
  }

 private:
  TPDBVirtualDataSet& dataset_;
  TRecordBuffer& buffer_;
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

  static void Load(const Field& f, TField& d, const Row& row) {
    switch (f.DataType()) {
      case PSBoolean:
        d.SetAsBoolean(f.GetAsPSBoolean());
        break;
      case PSInt8:
        d.SetAsInteger(f.GetAsPSInt8());
        break;
      case PSInt16:
        d.SetAsInteger(f.GetAsPSInt16());
        break;
      case PSInt32:
        d.SetAsInteger(f.GetAsPSInt32());
        break;
      case PSUInt8:
        d.SetAsInteger(f.GetAsPSUInt8());
        break;
      case PSUInt16:
        d.SetAsInteger(f.GetAsPSUInt16());
        break;
      // The 32 bits unchanged: values from 2^31 up read as negative.
      case PSUInt32:
        d.SetAsInteger(static_cast<std::int32_t>(f.GetAsPSUInt32()));
        break;
      case PSDate:
        d.SetAsDateTime(f.GetAsPSDate());
        break;
      case PSTime:
        d.SetAsDateTime(f.GetAsPSTime());
        break;
      case PSDateTime:
        d.SetAsDateTime(f.GetAsPSDateTime());
        break;
      case PSString:
        row.SetText(d, f.GetAsPSString());
        break;
      case PSSingle:
        d.SetAsFloat(f.GetAsPSSingle());
        break;
      case PSDouble:
        d.SetAsFloat(f.GetAsPSDouble());
        break;
      case PSBinary:
        row.SetBytes(d, f.GetAsPSBinary());
        break;
    }
  }
  static void Store(Field& f, const TField& d, const Row& row) {
    switch (f.DataType()) {
      case PSBoolean:
        f.SetAsPSBoolean(d.AsBoolean());
        break;
      case PSInt8:
        f.SetAsPSInt8(static_cast<std::int8_t>(row.Whole(d, kLo8, kHi8)));
        break;
      case PSUInt8:
        f.SetAsPSUInt8(static_cast<std::uint8_t>(row.Whole(d, kLo8, kHi8)));
        break;
      case PSInt16:
        f.SetAsPSInt16(static_cast<std::int16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case PSUInt16:
        f.SetAsPSUInt16(static_cast<std::uint16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case PSInt32:
        f.SetAsPSInt32(d.AsInteger());
        break;
      case PSUInt32:
        f.SetAsPSUInt32(static_cast<std::uint32_t>(d.AsInteger()));
        break;
      case PSDate:
        f.SetAsPSDate(d.AsDateTime());
        break;
      case PSTime:
        f.SetAsPSTime(d.AsDateTime());
        break;
      case PSDateTime:
        f.SetAsPSDateTime(d.AsDateTime());
        break;
      case PSString:
        f.SetAsPSString(row.Text(d));
        break;
      case PSSingle:
        f.SetAsPSSingle(static_cast<float>(d.AsFloat()));
        break;
      case PSDouble:
        f.SetAsPSDouble(d.AsFloat());
        break;
      // The bytes go back into the record's own field.
      case PSBinary:
        f.SetAsPSBinary(row.BytesOf(d));
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

  static void Load(const Field& f, TField& d, const Row& row) {
    switch (f.DataType()) {
      case NSBByte:
        d.SetAsInteger(f.GetAsNSBByte());
        break;
      case NSBShort:
        d.SetAsInteger(f.GetAsNSBShort());
        break;
      case NSBInteger:
        d.SetAsInteger(f.GetAsNSBInteger());
        break;
      case NSBFloat:
      case NSBDouble:
        d.SetAsFloat(f.GetAsNSBFloat());
        break;
      case NSBSingle:
        d.SetAsFloat(f.GetAsNSBSingle());
        break;
      case NSBDate:
        d.SetAsDateTime(f.GetAsNSBDate());
        break;
      case NSBTime:
        d.SetAsDateTime(f.GetAsNSBTime());
        break;
      case NSBString:
        row.SetText(d, f.GetAsNSBString());
        break;
    }
  }
  static void Store(Field& f, const TField& d, const Row& row) {
    switch (f.DataType()) {
      case NSBByte:
        f.SetAsNSBByte(static_cast<std::uint8_t>(row.Whole(d, kLo8, kHi8)));
        break;
      case NSBShort:
        f.SetAsNSBShort(static_cast<std::uint16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case NSBInteger:
        f.SetAsNSBInteger(d.AsInteger());
        break;
      case NSBFloat:
      case NSBDouble:
        f.SetAsNSBFloat(d.AsFloat());
        break;
      case NSBSingle:
        f.SetAsNSBSingle(static_cast<float>(d.AsFloat()));
        break;
      case NSBDate:
        f.SetAsNSBDate(d.AsDateTime());
        break;
      case NSBTime:
        f.SetAsNSBTime(d.AsDateTime());
        break;
      case NSBString:
        f.SetAsNSBString(row.Text(d));
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

  static void Load(const Field& f, TField& d, const Row& row) {
    switch (f.DataType()) {
      case AFByte:
        d.SetAsInteger(f.GetAsAFByte());
        break;
      case AFInteger:
        d.SetAsInteger(f.GetAsAFInteger());
        break;
      case AFLong:
        d.SetAsInteger(f.GetAsAFLong());
        break;
      case AFSingle:
        d.SetAsFloat(f.GetAsAFSingle());
        break;
      case AFDouble:
        d.SetAsFloat(f.GetAsAFDouble());
        break;
      case AFCurrency: {
        // The amount as a float; one the float would not give back to the
        // ten-thousandth (beyond about 2^51 of them) is refused, not rounded.
        const Currency c = f.GetAsAFCurrency();
        const double amount = c.ToDouble();
        if (std::llround(amount * 10000.0) != c.value) row.Refuse(d, CurrencyText(c));
        d.SetAsFloat(amount);
        break;
      }
      case AFString:
        row.SetText(d, f.GetAsAFString());
        break;
      case AFBoolean:
        d.SetAsBoolean(f.GetAsAFBoolean());
        break;
      case AFDate:
        d.SetAsDateTime(f.GetAsAFDate());
        break;
    }
  }
  static void Store(Field& f, const TField& d, const Row& row) {
    switch (f.DataType()) {
      case AFByte:
        f.SetAsAFByte(static_cast<std::uint8_t>(row.Whole(d, kLo8, kHi8)));
        break;
      case AFInteger:
        f.SetAsAFInteger(static_cast<std::int16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case AFLong:
        f.SetAsAFLong(d.AsInteger());
        break;
      case AFSingle:
        f.SetAsAFSingle(static_cast<float>(d.AsFloat()));
        break;
      case AFDouble:
        f.SetAsAFDouble(d.AsFloat());
        break;
      case AFCurrency: {
        const double scaled = std::nearbyint(d.AsFloat() * 10000.0);
        // 2^63 ten-thousandths is the first amount a currency cannot hold.
        if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
          row.Refuse(d, d.AsString());
        }
        f.SetAsAFCurrency(Currency::FromRaw(static_cast<std::int64_t>(scaled)));
        break;
      }
      case AFString:
        f.SetAsAFString(row.Text(d));
        break;
      case AFBoolean:
        f.SetAsAFBoolean(d.AsBoolean());
        break;
      case AFDate:
        f.SetAsAFDate(d.AsDateTime());
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

  static void Load(const Field& f, TField& d, const Row& row) {
    switch (f.DataType()) {
      case JByte:
        d.SetAsInteger(f.GetAsByte());
        break;
      case JBoolean:
        d.SetAsBoolean(f.GetAsBoolean());
        break;
      case JChar: {
        // A one-byte text holds the character codes 1 to 255 (0 is no
        // character); a wider code would come back as another character.
        const std::int64_t code = f.Value().AsInt64();
        if (code > 255) row.Refuse(d, "character code " + std::to_string(code));
        row.SetText(d, code == 0 ? std::string() : f.GetAsChar());
        break;
      }
      case JInt:
        d.SetAsInteger(f.GetAsInt());
        break;
      case JLong:
        d.SetAsLargeInt(f.GetAsLong());
        break;
      case JShort:
        d.SetAsInteger(f.GetAsShort());
        break;
      case JString:
        row.SetText(d, f.GetAsString());
        break;
      case JDate:
        d.SetAsDateTime(f.GetAsDate());
        break;
    }
  }
  static void Store(Field& f, const TField& d, const Row& row) {
    switch (f.DataType()) {
      case JByte:
        f.SetAsByte(static_cast<std::uint8_t>(row.Whole(d, kLo8, kHi8)));
        break;
      case JBoolean:
        f.SetAsBoolean(d.AsBoolean());
        break;
      case JChar: {
        const std::string c = row.Text(d);
        if (c.size() > 1) row.Refuse(d, std::to_string(c.size()) + " characters");
        f.SetAsChar(c);
        break;
      }
      case JInt:
        f.SetAsInt(d.AsInteger());
        break;
      case JLong:
        f.SetAsLong(d.AsLargeInt());
        break;
      case JShort:
        f.SetAsShort(static_cast<std::int16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case JString: {
        std::string s = row.Text(d);
        if (s.size() > kJavaMaxStringBytes)
          row.Refuse(d, std::to_string(s.size()) + " bytes of text");
        f.SetAsString(s);
        break;
      }
      case JDate:
        f.SetAsDate(d.AsDateTime());
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

  static void Load(const Field& f, TField& d, const Row& row) {
    switch (f.DataType()) {
      case PDChar:
        row.SetText(d, f.GetAsChar());
        break;
      case PDShort:
        d.SetAsInteger(f.GetAsShort());
        break;
      case PDInt:
        d.SetAsInteger(f.GetAsInt());
        break;
      case PDLong:
        d.SetAsLargeInt(f.GetAsLong());
        break;
      case PDFloat:
        d.SetAsFloat(f.GetAsFloat());
        break;
      case PDDouble:
        d.SetAsFloat(f.GetAsDouble());
        break;
    }
  }
  static void Store(Field& f, const TField& d, const Row& row) {
    switch (f.DataType()) {
      case PDChar: {
        std::string s = row.Text(d);
        if (s.size() > static_cast<std::size_t>(f.Size())) {
          row.Refuse(d, std::to_string(s.size()) + " bytes of text");
        }
        f.SetAsChar(s);
        break;
      }
      case PDShort:
        f.SetAsShort(static_cast<std::int16_t>(row.Whole(d, kLo16, kHi16)));
        break;
      case PDInt:
        f.SetAsInt(d.AsInteger());
        break;
      case PDLong:
        f.SetAsLong(d.AsLargeInt());
        break;
      case PDFloat:
        f.SetAsFloat(static_cast<float>(d.AsFloat()));
        break;
      case PDDouble:
        f.SetAsDouble(d.AsFloat());
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
    if (UpperCase(ExtractFileExt(value)) != ".PDB") RaisePDB(1, 15080);
    if (!ValidateName(value)) RaisePDB(2, 15090);
  }
  pdb_filename_ = value;
}

void TPDBDataSet::SetDBName(const std::string& value) {
  if (value != database_name_ && !Trim(value).empty()) {
    if (Trim(value).size() > 31) RaisePDB(1, 15020);
    if (!ValidateName(value)) RaisePDB(2, 15030);
  }
  database_name_ = value;
}

void TPDBDataSet::SetCreatorID(const std::string& value) {
  if (value != creator_id_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, 15040);
    if (!ValidateCreatorType(value)) RaisePDB(2, 15050);
  }
  creator_id_ = value;
}

void TPDBDataSet::SetDatabaseType(const std::string& value) {
  if (value != database_type_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, 15060);
    if (!ValidateCreatorType(value)) RaisePDB(2, 15070);
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
  if (Active()) RaisePDB(1, 15100);
  auto require = [](int count) {
    if (count == 0) RaisePDB(2, 15110);
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
    for (engine.First(); !engine.Eof(); engine.Next()) {
      Append();
      const Row row(*this, *ActiveBuffer(), ++number, false);
      for (auto& [item, field] : map) Ops::Load(*item, *field, row);
      Post();
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
  if (!Active()) RaisePDB(1, 15120);
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
