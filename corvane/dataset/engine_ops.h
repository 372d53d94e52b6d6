// Each engine's part in TPDBDataSet: the dataset field type of each engine
// type, which types are texts, and Load and Store between the engine's field
// and the row (row_access.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "corvane/dataset/row_access.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"

namespace corvane::pdb_rows {

// Raises the failure being handled again, naming record `index` of the file:
// a value the engine cannot read (a date no calendar has) says where it is.
[[noreturn]] inline void RethrowAtRecord(std::int32_t index) {
  const std::string place = "record " + std::to_string(index) + ": ";
  try {
    throw;
  } catch (const EPDBException& e) {
    throw EPDBException(place + e.what(), e);
  } catch (const EConvertError& e) {
    throw EConvertError(place + e.what());
  }
}

// Opens the engine's file for loading. Opening ends by splitting the first
// record; a deleted first record has no bytes to split, which is no fault of
// the file: the walk through NextLiveRecord skips it.
template <class Engine, class Open>
void OpenForLoading(Engine& engine, Open&& open) {
  try {
    open();
  } catch (...) {
    // Opening may fail after the file is open (at its first record): a
    // failure leaves it closed, or no later file could be opened.
    if (!engine.isOpen()) throw;
    const bool at_first = engine.Cursor() == engine.FixFirst();
    if (at_first) {
      const std::optional<TRecordEntry> first = engine.GetRecInFile(engine.FixFirst());
      if (first && first->Flags.Contains(dmRecAttrDelete)) return;
    }
    const std::int32_t first = engine.FixFirst();
    engine.AbortDatabase();
    if (at_first) RethrowAtRecord(first);
    throw;
  }
}

// Moves the engine to its next record that is not deleted (the first one when
// `at` is -1). A deleted record has no bytes for the engine to split, and the
// table holds the live records only, as every other reader shows them.
template <class Engine>
bool NextLiveRecord(Engine& engine, std::int32_t& at) {
  const std::int32_t last = engine.FixLast();
  for (std::int32_t i = at < 0 ? engine.FixFirst() : at + 1; i <= last; ++i) {
    const std::optional<TRecordEntry> entry = engine.GetRecInFile(i);
    if (!entry) return false;
    if (entry->Flags.Contains(dmRecAttrDelete)) continue;
    at = i;
    engine.SetDBCursor(i);
    try {
      engine.SetEngineRecord(i);
    } catch (...) {
      RethrowAtRecord(i);
    }
    return true;
  }
  return false;
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
        return ftInteger;
      // Its values from 2^31 up fit no 32-bit integer field: they would read,
      // and sort, as negative numbers.
      case PSUInt32:
        return ftLargeint;
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
      case PSUInt32:
        s.Large(d, f.GetAsPSUInt32());
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
        f.SetAsPSUInt32(static_cast<std::uint32_t>(Whole(s, d, kLo32, kHi32)));
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

inline bool IsRowID(const std::string& name) {
  return name == "RowID";
}

}  // namespace corvane::pdb_rows
