#include "corvane/engines/any_engine.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "corvane/engines/appforge.h"
#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

using K = TValueKind;

// ---------------------------------------------------------------------------
// Strict conversions from a Variant to what a field's setter takes. Each
// refuses, with EConvertError, a value the record would not keep as given.

[[noreturn]] void Refuse(const std::string& why) {
  throw EConvertError(why);
}

std::string Shown(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return "nothing";
    case VarType::Null:
      return "null";
    case VarType::Text:
      return "the text \"" + v.AsString() + "\"";
    case VarType::Boolean:
      return v.AsBoolean() ? "true" : "false";
    case VarType::DateTime:
      return "a date";
    default:
      return v.AsString();
  }
}

std::int64_t Whole(const Variant& v, std::int64_t lo, std::int64_t hi) {
  std::int64_t n = 0;
  switch (v.Type()) {
    case VarType::Integer:
      n = v.AsInt64();
      break;
    case VarType::Float: {
      const double d = v.AsDouble();
      if (!(d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
        Refuse(Shown(v) + " is not a whole number");
      }
      n = static_cast<std::int64_t>(d);
      break;
    }
    case VarType::Currency: {
      const std::int64_t raw = v.AsCurrency().value;
      if (raw % 10000 != 0) Refuse(Shown(v) + " is not a whole number");
      n = raw / 10000;
      break;
    }
    default:
      Refuse("expected a whole number, not " + Shown(v));
  }
  if (n < lo || n > hi) {
    Refuse(std::to_string(n) + " is outside " + std::to_string(lo) + " to " + std::to_string(hi));
  }
  return n;
}

double Real(const Variant& v, bool single) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Float:
    case VarType::Currency:
      break;
    default:
      Refuse("expected a number, not " + Shown(v));
  }
  const double d = v.AsDouble();
  // Up to half a unit past the largest single, a value still rounds to it.
  if (single && std::isfinite(d) &&
      std::fabs(d) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103)) {
    Refuse(Shown(v) + " is too large for a single-precision number");
  }
  return d;
}

Currency Money(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer: {
      const std::int64_t n = v.AsInt64();
      if (n > INT64_MAX / 10000 || n < INT64_MIN / 10000)
        Refuse(Shown(v) + " is too large for a currency");
      return Currency::FromRaw(n * 10000);
    }
    case VarType::Text: {
      // Decimal text converts exactly, so a fifth decimal would be lost, not rounded.
      const std::string s = v.AsString();
      const std::size_t point = s.find('.');
      if (point != std::string::npos) {
        const std::size_t last = s.find_last_not_of("0 \t");
        if (last != std::string::npos && last > point + 4)
          Refuse(s + " has more than four decimals");
      }
      return v.AsCurrency();
    }
    case VarType::Float:
    case VarType::Currency:
      return v.AsCurrency();  // floats to the nearest 0.0001
    default:
      Refuse("expected an amount, not " + Shown(v));
  }
}

bool Flag(const Variant& v) {
  if (v.Type() != VarType::Boolean) Refuse("expected true or false, not " + Shown(v));
  return v.AsBoolean();
}

// Text of at most `max` bytes without a zero byte (which would end it early).
std::string Text(const Variant& v, std::size_t max) {
  if (v.Type() != VarType::Text) Refuse("expected text, not " + Shown(v));
  std::string s = v.AsString();
  if (s.find('\0') != std::string::npos) Refuse("the text holds a zero byte");
  if (s.size() > max) {
    Refuse("the text has " + std::to_string(s.size()) + " bytes, more than the " +
           std::to_string(max) + " the field holds");
  }
  return s;
}

// A 16-bit character code as UTF-8; the code 0 is no character (empty
// text, as an empty text sets it). Half of a surrogate pair is no character
// UTF-8 can hold.
std::string CharAsUtf8(std::uint16_t code) {
  std::string s;
  if (code == 0) return s;
  if (code >= 0xD800 && code <= 0xDFFF) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "the code 0x%04X is half of a surrogate pair, no character",
                  unsigned{code});
    Refuse(buf);
  }
  if (code < 0x80) {
    s += static_cast<char>(code);
  } else if (code < 0x800) {
    s += static_cast<char>(0xC0 | (code >> 6));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | (code >> 12));
    s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (code & 0x3F));
  }
  return s;
}

// One character of U+0000 to U+FFFF as UTF-8, or the empty text (0).
std::uint16_t CharFromUtf8(const Variant& v) {
  if (v.Type() != VarType::Text) Refuse("expected a character, not " + Shown(v));
  const std::string s = v.AsString();
  if (s.empty()) return 0;
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  std::uint32_t cp = 0;
  std::size_t n = 0;
  if (b(0) < 0x80) {
    cp = b(0), n = 1;
  } else if ((b(0) & 0xE0) == 0xC0 && cont(1)) {
    cp = ((b(0) & 0x1Fu) << 6) | (b(1) & 0x3Fu), n = 2;
    if (cp < 0x80) n = 0;
  } else if ((b(0) & 0xF0) == 0xE0 && cont(1) && cont(2)) {
    cp = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu), n = 3;
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) n = 0;
  } else if ((b(0) & 0xF8) == 0xF0) {
    Refuse("a character beyond U+FFFF does not fit in 16 bits");
  }
  if (n == 0) Refuse("the text is not valid UTF-8");
  if (n != s.size()) Refuse("expected one character, not " + std::to_string(s.size()) + " bytes");
  return static_cast<std::uint16_t>(cp);
}

Bytes Binary(const Variant& v, std::size_t max) {
  if (v.Type() != VarType::Text) Refuse("expected bytes, not " + Shown(v));
  const std::string s = v.AsString();
  if (s.size() > max)
    Refuse(std::to_string(s.size()) + " bytes are more than the " + std::to_string(max) +
           " the field holds");
  return Bytes(s.begin(), s.end());
}

TDateTime When(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return 0;
  if (v.Type() != VarType::DateTime) Refuse("expected a date, not " + Shown(v));
  const TDateTime d = v.AsDateTime();
  if (!std::isfinite(d)) Refuse("not a date");
  return d;
}

// Seconds since 1904-01-01 in 32 bits (0: no date).
TDateTime PalmSecondsDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d == 0) return 0;
  const double s = std::round((d - kPalmEpochDay) * 86400.0);
  if (s < 0 || s > 4294967295.0)
    Refuse("only dates from 1904-01-01 to 2040-02-06T06:28:15 can be stored");
  return d;
}

// The date word (year - 1904) * 512 + month * 32 + day.
TDateTime PalmWordDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d == 0) return 0;
  const DateParts p = DecodeDate(d);
  if (p.year < 1904 || p.year > 2031)
    Refuse("only dates from 1904-01-01 to 2031-12-31 can be stored");
  return d;
}

// The time word hour * 256 + minute.
TDateTime PalmWordTime(const Variant& v) {
  const TDateTime d = When(v);
  if (DecodeTime(d).second != 0) Refuse("the time has seconds; only hours and minutes are stored");
  return d;
}

TDateTime DecimalDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d != 0 && DecodeDate(d).year < 1900) Refuse("only dates from 1900-01-01 on can be stored");
  return d;
}

// ---------------------------------------------------------------------------
// The adapter: one template over the managers; what differs per manager is in
// its traits (type table, getters and setters by type, sizes).

template <class Traits>
class TAdapter final : public TAnyEngine {
 public:
  using Engine = typename Traits::Engine;
  using FieldT = typename Engine::Field;
  using Enum = typename FieldT::TypeEnum;

  TAdapter() { Traits::Setup(engine_); }
  ~TAdapter() override = default;

  std::string_view Name() const noexcept override { return Traits::kName; }
  std::span<const TAnyFieldType> Types() const noexcept override { return Traits::kTypes; }
  bool FieldsFromFile() const noexcept override { return Traits::kFieldsFromFile; }
  bool FileDescribesFields() const noexcept override {
    return Traits::kFieldsFromFile || !Traits::kImplicit.empty();
  }
  std::string_view ImplicitField() const noexcept override { return Traits::kImplicit; }
  TPDBBaseMgr& Manager() noexcept override { return engine_; }

  int FieldCount() const override { return engine_.Fields().Count(); }
  TAnyFieldDef Field(int index) const override {
    const FieldT& f = engine_.Fields().GetItem(index);
    return TAnyFieldDef{f.FieldName(), static_cast<int>(f.DataType()), f.Size()};
  }
  void ClearFields() override {
    engine_.Fields().Clear();
    Traits::Setup(engine_);
  }
  void AddField(const std::string& name, int type, std::optional<std::int32_t> size) override {
    if (type < 0 || static_cast<std::size_t>(type) >= Traits::kTypes.size()) {
      throw EConvertError("no such type in the " + std::string(Traits::kName) + " engine");
    }
    if (!Traits::kImplicit.empty() && SameFieldName(name, Traits::kImplicit)) {
      throw EConvertError("'" + std::string(Traits::kImplicit) +
                                  "' is the engine's own field");
    }
    const TAnyFieldType& info = Traits::kTypes[static_cast<std::size_t>(type)];
    const auto e = static_cast<Enum>(type);
    if (size && !info.Sized && *size != FieldT::TypeWidth(e)) {
      throw EConvertError(std::string(info.Name) + " takes no size (its width is " +
                                  std::to_string(FieldT::TypeWidth(e)) + ")");
    }
    if (size && info.Sized) Traits::CheckSize(*size);
    FieldT& f = engine_.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(e);
    if constexpr (requires { f.SetSize(std::int32_t{0}); }) {
      if (size && info.Sized) f.SetSize(*size);
    }
  }

  std::vector<TFileFieldDef> FileFields() override { return Traits::FileFields(engine_); }

  Variant Value(int index) const override {
    const FieldT& f = engine_.Fields().GetItem(index);
    return Traits::Get(f);
  }

 protected:
  void SetValue(int index, const Variant& value) override {
    FieldT& f = engine_.Fields().GetItem(index);
    Traits::Set(f, value);
  }
  std::size_t SplitMeasured(std::span<const std::uint8_t> record) override {
    std::size_t pos = 0;
    for (FieldT& f : engine_.Fields()) {
      std::size_t taken = 0;
      if (pos > record.size() || !f.SplitFrom(record.subspan(pos), taken)) return pos;
      pos += taken;
    }
    return pos;
  }
  void TryPack(int index) override {
    const FieldT& f = engine_.Fields().GetItem(index);
    // The scratch block is kept: a trial pack per field must not allocate each time.
    try_pack_.resize(static_cast<std::size_t>(f.RecordWidth()));
    f.PackInto(try_pack_.data());
  }
  void Append() override { engine_.Append(); }
  void Post() override { engine_.Post(); }

 private:
  Engine engine_;
  Bytes try_pack_;
};

// ---------------------------------------------------------------------------
// AppForge.

struct AFTraits {
  using Engine = TPDBAppForge;
  static constexpr std::string_view kName = "appforge";
  static constexpr bool kFieldsFromFile = true;
  static constexpr std::string_view kImplicit{};
  static constexpr std::array<TAnyFieldType, kAFTypeCount> kTypes = {{
      {"AFByte", K::Unsigned},
      {"AFInteger", K::Integer},
      {"AFLong", K::Integer},
      {"AFSingle", K::Float, true},
      {"AFString", K::Text},
      {"AFBoolean", K::Boolean},
      {"AFDate", K::DateTime},
      {"AFDouble", K::Float},
      {"AFCurrency", K::Currency},
  }};
  static void Setup(Engine&) {}
  static void CheckSize(std::int32_t) {}
  static std::vector<TFileFieldDef> FileFields(Engine& e) {
    std::vector<TFileFieldDef> out;
    for (const TPDBAFField& f : e.Fields()) {
      out.push_back(TFileFieldDef{f.FieldName(), 0, static_cast<int>(f.DataType()), f.Size()});
    }
    return out;
  }
  static Variant Get(const TPDBAFField& f) {
    switch (f.DataType()) {
      case AFByte:
        return Variant(static_cast<long long>(f.GetAsAFByte()));
      case AFInteger:
        return Variant(static_cast<long long>(f.GetAsAFInteger()));
      case AFLong:
        return Variant(static_cast<long long>(f.GetAsAFLong()));
      case AFSingle:
        return Variant(static_cast<double>(f.GetAsAFSingle()));
      case AFString:
        return Variant(f.GetAsAFString());
      case AFBoolean:
        return Variant(f.GetAsAFBoolean());
      case AFDate:
        return Variant::FromDateTime(f.GetAsAFDate());
      case AFDouble:
        return Variant(f.GetAsAFDouble());
      case AFCurrency:
        return Variant(f.GetAsAFCurrency());
    }
    return Variant();
  }
  static void Set(TPDBAFField& f, const Variant& v) {
    switch (f.DataType()) {
      case AFByte:
        f.SetAsAFByte(static_cast<std::uint8_t>(Whole(v, 0, 255)));
        break;
      case AFInteger:
        f.SetAsAFInteger(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
        break;
      case AFLong:
        f.SetAsAFLong(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case AFSingle:
        f.SetAsAFSingle(static_cast<float>(Real(v, true)));
        break;
      case AFString:
        f.SetAsAFString(Text(v, SIZE_MAX));
        break;
      case AFBoolean:
        f.SetAsAFBoolean(Flag(v));
        break;
      case AFDate:
        f.SetAsAFDate(PalmSecondsDate(v));
        break;
      case AFDouble:
        f.SetAsAFDouble(Real(v, false));
        break;
      case AFCurrency:
        f.SetAsAFCurrency(Money(v));
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// PocketStudio.

struct PSTraits {
  using Engine = TPDBPocketStudio;
  static constexpr std::string_view kName = "pocketstudio";
  static constexpr bool kFieldsFromFile = false;
  static constexpr std::string_view kImplicit{};
  static constexpr std::array<TAnyFieldType, kPSTypeCount> kTypes = {{
      {"PSBoolean", K::Boolean},
      {"PSInt8", K::Integer},
      {"PSInt16", K::Integer},
      {"PSInt32", K::Integer},
      {"PSUInt8", K::Unsigned},
      {"PSUInt16", K::Unsigned},
      {"PSUInt32", K::Unsigned},
      {"PSDate", K::Date},
      {"PSTime", K::Time},
      {"PSDateTime", K::DateTime},
      {"PSString", K::Text, false, true},
      {"PSSingle", K::Float, true},
      {"PSDouble", K::Float},
      {"PSBinary", K::Binary},
  }};
  static void Setup(Engine&) {}
  static void CheckSize(std::int32_t size) {
    if (size < 0 || size > kPSMaxBytes) {
      throw EConvertError("a PSString size is 0 (variable) or 1 to " +
                                  std::to_string(kPSMaxBytes));
    }
  }
  static std::vector<TFileFieldDef> FileFields(Engine&) { return {}; }
  static Variant Get(const TPDBPSField& f) {
    switch (f.DataType()) {
      case PSBoolean:
        return Variant(f.GetAsPSBoolean());
      case PSInt8:
        return Variant(static_cast<long long>(f.GetAsPSInt8()));
      case PSInt16:
        return Variant(static_cast<long long>(f.GetAsPSInt16()));
      case PSInt32:
        return Variant(static_cast<long long>(f.GetAsPSInt32()));
      case PSUInt8:
        return Variant(static_cast<long long>(f.GetAsPSUInt8()));
      case PSUInt16:
        return Variant(static_cast<long long>(f.GetAsPSUInt16()));
      case PSUInt32:
        return Variant(static_cast<long long>(f.GetAsPSUInt32()));
      case PSDate:
        return Variant::FromDateTime(f.GetAsPSDate());
      case PSTime:
        return Variant::FromDateTime(f.GetAsPSTime());
      case PSDateTime:
        return Variant::FromDateTime(f.GetAsPSDateTime());
      case PSString:
        return Variant(f.GetAsPSString());
      case PSSingle:
        return Variant(static_cast<double>(f.GetAsPSSingle()));
      case PSDouble:
        return Variant(f.GetAsPSDouble());
      case PSBinary: {
        const Bytes b = f.GetAsPSBinary();
        return Variant(std::string(b.begin(), b.end()));
      }
    }
    return Variant();
  }
  static void Set(TPDBPSField& f, const Variant& v) {
    const auto text_max = f.Size() >= 1 ? static_cast<std::size_t>(f.Size()) : SIZE_MAX;
    switch (f.DataType()) {
      case PSBoolean:
        f.SetAsPSBoolean(Flag(v));
        break;
      case PSInt8:
        f.SetAsPSInt8(static_cast<std::int8_t>(Whole(v, INT8_MIN, INT8_MAX)));
        break;
      case PSInt16:
        f.SetAsPSInt16(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
        break;
      case PSInt32:
        f.SetAsPSInt32(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case PSUInt8:
        f.SetAsPSUInt8(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
        break;
      case PSUInt16:
        f.SetAsPSUInt16(static_cast<std::uint16_t>(Whole(v, 0, UINT16_MAX)));
        break;
      case PSUInt32:
        f.SetAsPSUInt32(static_cast<std::uint32_t>(Whole(v, 0, UINT32_MAX)));
        break;
      case PSDate:
        f.SetAsPSDate(PalmWordDate(v));
        break;
      case PSTime:
        f.SetAsPSTime(PalmWordTime(v));
        break;
      case PSDateTime:
        f.SetAsPSDateTime(PalmSecondsDate(v));
        break;
      case PSString:
        f.SetAsPSString(Text(v, text_max));
        break;
      case PSSingle:
        f.SetAsPSSingle(static_cast<float>(Real(v, true)));
        break;
      case PSDouble:
        f.SetAsPSDouble(Real(v, false));
        break;
      case PSBinary:
        f.SetAsPSBinary(Binary(v, kPSMaxBytes));
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// NS Basic.

struct NSBTraits {
  using Engine = TPDBNSBasic;
  static constexpr std::string_view kName = "nsbasic";
  static constexpr bool kFieldsFromFile = false;
  static constexpr std::string_view kImplicit{};
  static constexpr std::array<TAnyFieldType, kNSBTypeCount> kTypes = {{
      {"NSBByte", K::Unsigned},
      {"NSBShort", K::Unsigned},
      {"NSBInteger", K::Integer},
      {"NSBFloat", K::Float},
      {"NSBSingle", K::Float, true},
      {"NSBDouble", K::Float},
      {"NSBDate", K::Date},
      {"NSBTime", K::Time},
      {"NSBString", K::Text, false, true},
  }};
  static void Setup(Engine&) {}
  static void CheckSize(std::int32_t size) {
    if (size < 0 || size > kNSBMaxTextSize) {
      throw EConvertError("an NSBString size is 0 (variable) or 1 to " +
                                  std::to_string(kNSBMaxTextSize));
    }
  }
  static std::vector<TFileFieldDef> FileFields(Engine&) { return {}; }
  static Variant Get(const TPDBNSBField& f) {
    switch (f.DataType()) {
      case NSBByte:
        return Variant(static_cast<long long>(f.GetAsNSBByte()));
      case NSBShort:
        return Variant(static_cast<long long>(f.GetAsNSBShort()));
      case NSBInteger:
        return Variant(static_cast<long long>(f.GetAsNSBInteger()));
      case NSBFloat:
      case NSBDouble:
        return Variant(f.GetAsNSBFloat());
      case NSBSingle:
        return Variant(static_cast<double>(f.GetAsNSBSingle()));
      case NSBDate:
        return Variant::FromDateTime(f.GetAsNSBDate());
      case NSBTime:
        return Variant::FromDateTime(f.GetAsNSBTime());
      case NSBString:
        return Variant(f.GetAsNSBString());
    }
    return Variant();
  }
  static void Set(TPDBNSBField& f, const Variant& v) {
    const auto text_max = f.Size() >= 1 ? static_cast<std::size_t>(f.Size()) : SIZE_MAX;
    switch (f.DataType()) {
      case NSBByte:
        f.SetAsNSBByte(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
        break;
      case NSBShort:
        f.SetAsNSBShort(static_cast<std::uint16_t>(Whole(v, 0, UINT16_MAX)));
        break;
      case NSBInteger:
        f.SetAsNSBInteger(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case NSBFloat:
      case NSBDouble:
        f.SetAsNSBFloat(Real(v, false));
        break;
      case NSBSingle:
        f.SetAsNSBSingle(static_cast<float>(Real(v, true)));
        break;
      case NSBDate:
        f.SetAsNSBDate(DecimalDate(v));
        break;
      case NSBTime:
        f.SetAsNSBTime(When(v));
        break;
      case NSBString:
        f.SetAsNSBString(Text(v, text_max));
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// Java.

struct JavaTraits {
  using Engine = TPDBJava;
  static constexpr std::string_view kName = "java";
  static constexpr bool kFieldsFromFile = false;
  static constexpr std::string_view kImplicit{};
  static constexpr std::array<TAnyFieldType, kJavaTypeCount> kTypes = {{
      {"JByte", K::Unsigned},
      {"JBoolean", K::Boolean},
      {"JChar", K::Text, false, false, true},
      {"JInt", K::Integer},
      {"JLong", K::Integer},
      {"JShort", K::Integer},
      {"JString", K::Text},
      {"JDate", K::DateTime},
  }};
  static void Setup(Engine&) {}
  static void CheckSize(std::int32_t) {}
  static std::vector<TFileFieldDef> FileFields(Engine&) { return {}; }
  static Variant Get(const TPDBJavaField& f) {
    switch (f.DataType()) {
      case JByte:
        return Variant(static_cast<long long>(f.GetAsByte()));
      case JBoolean:
        return Variant(f.GetAsBoolean());
      case JChar:
        return Variant(CharAsUtf8(f.GetAsCharCode()));
      case JInt:
        return Variant(static_cast<long long>(f.GetAsInt()));
      case JLong:
        return Variant(static_cast<long long>(f.GetAsLong()));
      case JShort:
        return Variant(static_cast<long long>(f.GetAsShort()));
      case JString:
        return Variant(f.GetAsString());
      case JDate:
        return Variant::FromDateTime(f.GetAsDate());
    }
    return Variant();
  }
  static void Set(TPDBJavaField& f, const Variant& v) {
    switch (f.DataType()) {
      case JByte:
        f.SetAsByte(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
        break;
      case JBoolean:
        f.SetAsBoolean(Flag(v));
        break;
      case JChar:
        f.SetAsCharCode(CharFromUtf8(v));
        break;
      case JInt:
        f.SetAsInt(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case JLong:
        f.SetAsLong(Whole(v, INT64_MIN, INT64_MAX));
        break;
      case JShort:
        f.SetAsShort(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
        break;
      case JString:
        f.SetAsString(Text(v, kJavaMaxStringBytes));
        break;
      case JDate:
        f.SetAsDate(When(v));
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// SQL Driver.

struct SQLTraits {
  using Engine = TPDBSQLDriver;
  static constexpr std::string_view kName = "sqldriver";
  static constexpr bool kFieldsFromFile = false;
  static constexpr std::string_view kImplicit = "RowID";
  static constexpr std::array<TAnyFieldType, kSQLDriverTypeCount> kTypes = {{
      {"PDChar", K::Text, false, true},
      {"PDShort", K::Integer},
      {"PDInt", K::Integer},
      {"PDLong", K::Integer},
      {"PDFloat", K::Float, true},
      {"PDDouble", K::Float},
  }};
  // The engine starts with RowID; a cleared list gets it back.
  static void Setup(Engine& e) {
    if (e.Fields().Count() > 0) return;
    TPDBSQLDriverField& row_id = e.Fields().Add();
    row_id.SetFieldName(std::string(kImplicit));
    row_id.SetDataType(PDInt);
  }
  static void CheckSize(std::int32_t size) {
    if (size < 2 || size > kSQLDriverMaxSlots || size % 2 != 0) {
      throw EConvertError("a PDChar size is an even number from 2 to " +
                                  std::to_string(kSQLDriverMaxSlots));
    }
  }
  // Record 0: next RowID (32 bits), n (16 bits), n name hashes, n type codes,
  // n PDChar sizes (32 bits each), n zero bytes and a 16-bit zero.
  static std::vector<TFileFieldDef> FileFields(Engine& e) {
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    e.GetRecord(0, data, size, flags, uid, category);
    if (!data) throw Exception("the structure record (record 0) is deleted");
    const Bytes& b = *data;
    if (b.size() < 6) throw Exception("the structure record (record 0) is too short");
    const std::size_t n = LoadU16(b.data() + 4);
    if (b.size() < 6 + 12 * n) {
      throw Exception("the structure record (record 0) is too short for its " + std::to_string(n) +
                      " columns");
    }
    std::vector<TFileFieldDef> out(n);
    for (std::size_t i = 0; i < n; ++i) {
      out[i].NameHash = LoadU32(b.data() + 6 + 4 * i);
      const std::uint32_t type = LoadU32(b.data() + 6 + 4 * n + 4 * i);
      if (type >= static_cast<std::uint32_t>(kSQLDriverTypeCount)) {
        throw Exception("column " + std::to_string(i + 1) +
                        " of the structure record has the unknown type code " +
                        std::to_string(type));
      }
      out[i].Type = static_cast<int>(type);
      const std::uint32_t slots = LoadU32(b.data() + 6 + 8 * n + 4 * i);
      out[i].Size = type == PDChar
                        ? static_cast<std::int32_t>(std::min<std::uint32_t>(slots, INT32_MAX))
                        : TPDBSQLDriverField::TypeWidth(static_cast<TPDBSQLDriverFieldType>(type));
      if (i == 0 && SQLDriverNameHash(kImplicit) == out[i].NameHash)
        out[i].Name = std::string(kImplicit);
    }
    return out;
  }
  static Variant Get(const TPDBSQLDriverField& f) {
    switch (f.DataType()) {
      case PDChar:
        return Variant(f.GetAsChar());
      case PDShort:
        return Variant(static_cast<long long>(f.GetAsShort()));
      case PDInt:
        return Variant(static_cast<long long>(f.GetAsInt()));
      case PDLong:
        return Variant(static_cast<long long>(f.GetAsLong()));
      case PDFloat:
        return Variant(static_cast<double>(f.GetAsFloat()));
      case PDDouble:
        return Variant(f.GetAsDouble());
    }
    return Variant();
  }
  static void Set(TPDBSQLDriverField& f, const Variant& v) {
    if (SameFieldName(f.FieldName(), kImplicit) && f.DataType() == PDInt)
      return;  // numbered by Post
    switch (f.DataType()) {
      case PDChar:
        f.SetAsChar(Text(v, static_cast<std::size_t>(std::max(f.Size(), 0))));
        break;
      case PDShort:
        f.SetAsShort(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
        break;
      case PDInt:
        f.SetAsInt(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case PDLong:
        f.SetAsLong(Whole(v, INT64_MIN, INT64_MAX));
        break;
      case PDFloat:
        f.SetAsFloat(static_cast<float>(Real(v, true)));
        break;
      case PDDouble:
        f.SetAsDouble(Real(v, false));
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// The generic typed-record manager.

struct GenericTraits {
  using Engine = TPDBDataFields;
  static constexpr std::string_view kName = "generic";
  static constexpr bool kFieldsFromFile = false;
  static constexpr std::string_view kImplicit{};
  static constexpr std::array<TAnyFieldType, kPDBFieldTypeCount> kTypes = {{
      {"pdtByte", K::Unsigned},
      {"pdtWord", K::Unsigned},
      {"pdtInteger", K::Integer},
      {"pdtFloat", K::Float, true},
      {"pdtDouble", K::Float},
      {"pdtDate", K::DateTime},
      {"pdtString", K::Text, false, true},
      {"pdtPSBoolean", K::Boolean},
      {"pdtPSInt8", K::Integer},
      {"pdtPSInt16", K::Integer},
      {"pdtPSInt32", K::Integer},
      {"pdtPSUInt8", K::Unsigned},
      {"pdtPSUInt16", K::Unsigned},
      {"pdtPSUInt32", K::Unsigned},
      {"pdtPSDate", K::Date},
      {"pdtPSTime", K::Time},
      {"pdtPSDateTime", K::DateTime},
      {"pdtPSString", K::Text, false, true},
      {"pdtPSSingle", K::Float, true},
      {"pdtPSDouble", K::Float},
  }};
  static constexpr std::int32_t kMaxTextSize = 65505;
  static void Setup(Engine&) {}
  static void CheckSize(std::int32_t size) {
    // The manager takes any size; one past what a record list can sensibly
    // hold would only make every record that large.
    if (size < 0 || size > kMaxTextSize) {
      throw EConvertError("a text size is 0 (variable) or 1 to " +
                                  std::to_string(kMaxTextSize));
    }
  }
  static std::vector<TFileFieldDef> FileFields(Engine&) { return {}; }
  static Variant Get(const TPDBField& f) {
    switch (f.DataType()) {
      case pdtByte:
        return Variant(static_cast<long long>(f.GetAsByte()));
      case pdtWord:
        return Variant(static_cast<long long>(f.GetAsWord()));
      case pdtInteger:
        return Variant(static_cast<long long>(f.GetAsInteger()));
      case pdtFloat:
        return Variant(static_cast<double>(f.GetAsFloat()));
      case pdtDouble:
        return Variant(f.GetAsDouble());
      case pdtDate:
        return Variant::FromDateTime(f.GetAsDateTime());
      case pdtString:
        return Variant(f.GetAsString());
      case pdtPSBoolean:
        return Variant(f.GetAsPSBoolean());
      case pdtPSInt8:
        return Variant(static_cast<long long>(f.GetAsPSInt8()));
      case pdtPSInt16:
        return Variant(static_cast<long long>(f.GetAsPSInt16()));
      case pdtPSInt32:
        return Variant(static_cast<long long>(f.GetAsPSInt32()));
      case pdtPSUInt8:
        return Variant(static_cast<long long>(f.GetAsPSUInt8()));
      case pdtPSUInt16:
        return Variant(static_cast<long long>(f.GetAsPSUInt16()));
      case pdtPSUInt32:
        return Variant(static_cast<long long>(f.GetAsPSUInt32()));
      case pdtPSDate:
        return Variant::FromDateTime(f.GetAsPSDate());
      case pdtPSTime:
        return Variant::FromDateTime(f.GetAsPSTime());
      case pdtPSDateTime:
        return Variant::FromDateTime(f.GetAsPSDateTime());
      case pdtPSString:
        return Variant(f.GetAsPSString());
      case pdtPSSingle:
        return Variant(static_cast<double>(f.GetAsPSSingle()));
      case pdtPSDouble:
        return Variant(f.GetAsPSDouble());
    }
    return Variant();
  }
  static void Set(TPDBField& f, const Variant& v) {
    const auto text_max = f.Size() >= 1 ? static_cast<std::size_t>(f.Size()) : SIZE_MAX;
    switch (f.DataType()) {
      case pdtByte:
        f.SetAsByte(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
        break;
      case pdtWord:
        f.SetAsWord(static_cast<std::uint16_t>(Whole(v, 0, UINT16_MAX)));
        break;
      case pdtInteger:
        f.SetAsInteger(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case pdtFloat:
        f.SetAsFloat(static_cast<float>(Real(v, true)));
        break;
      case pdtDouble:
        f.SetAsDouble(Real(v, false));
        break;
      case pdtDate:
        f.SetAsDateTime(PalmSecondsDate(v));
        break;
      case pdtString:
        f.SetAsString(Text(v, text_max));
        break;
      case pdtPSBoolean:
        f.SetAsPSBoolean(Flag(v));
        break;
      case pdtPSInt8:
        f.SetAsPSInt8(static_cast<std::int8_t>(Whole(v, INT8_MIN, INT8_MAX)));
        break;
      case pdtPSInt16:
        f.SetAsPSInt16(static_cast<std::int16_t>(Whole(v, INT16_MIN, INT16_MAX)));
        break;
      case pdtPSInt32:
        f.SetAsPSInt32(static_cast<std::int32_t>(Whole(v, INT32_MIN, INT32_MAX)));
        break;
      case pdtPSUInt8:
        f.SetAsPSUInt8(static_cast<std::uint8_t>(Whole(v, 0, UINT8_MAX)));
        break;
      case pdtPSUInt16:
        f.SetAsPSUInt16(static_cast<std::uint16_t>(Whole(v, 0, UINT16_MAX)));
        break;
      case pdtPSUInt32:
        f.SetAsPSUInt32(static_cast<std::uint32_t>(Whole(v, 0, UINT32_MAX)));
        break;
      case pdtPSDate:
        f.SetAsPSDate(PalmWordDate(v));
        break;
      case pdtPSTime:
        f.SetAsPSTime(PalmWordTime(v));
        break;
      case pdtPSDateTime:
        f.SetAsPSDateTime(PalmSecondsDate(v));
        break;
      case pdtPSString:
        f.SetAsPSString(Text(v, text_max));
        break;
      case pdtPSSingle:
        f.SetAsPSSingle(static_cast<float>(Real(v, true)));
        break;
      case pdtPSDouble:
        f.SetAsPSDouble(Real(v, false));
        break;
    }
  }
};

constexpr std::array<std::string_view, 6> kEngineNames = {"appforge", "pocketstudio", "nsbasic",
                                                          "java",     "sqldriver",    "generic"};

}  // namespace

// ---------------------------------------------------------------------------

std::unique_ptr<TAnyEngine> TAnyEngine::Create(std::string_view name) {
  if (name == "appforge") return std::make_unique<TAdapter<AFTraits>>();
  if (name == "pocketstudio") return std::make_unique<TAdapter<PSTraits>>();
  if (name == "nsbasic") return std::make_unique<TAdapter<NSBTraits>>();
  if (name == "java") return std::make_unique<TAdapter<JavaTraits>>();
  if (name == "sqldriver") return std::make_unique<TAdapter<SQLTraits>>();
  if (name == "generic") return std::make_unique<TAdapter<GenericTraits>>();
  return nullptr;
}

std::unique_ptr<TAnyEngine> TAnyEngine::Create(TEngine engine) {
  switch (engine) {
    case PocketStudio:
      return Create("pocketstudio");
    case NSBasic:
      return Create("nsbasic");
    case AppForge:
      return Create("appforge");
    case Java:
      return Create("java");
    case SWSQLDriver:
      return Create("sqldriver");
  }
  return nullptr;
}

std::span<const std::string_view> TAnyEngine::EngineNames() noexcept {
  return kEngineNames;
}

TAnyEngine::~TAnyEngine() = default;

std::optional<int> TAnyEngine::TypeByName(std::string_view name) const noexcept {
  const auto types = Types();
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (types[i].Name == name) return static_cast<int>(i);
  }
  return std::nullopt;
}

const TAnyFieldType& TAnyEngine::TypeInfo(int type) const {
  const auto types = Types();
  if (type < 0 || static_cast<std::size_t>(type) >= types.size()) {
    throw EListError("no such type in the " + std::string(Name()) + " engine");
  }
  return types[static_cast<std::size_t>(type)];
}

std::optional<int> TAnyEngine::FieldIndex(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    if (SameFieldName(Field(i).Name, name)) return i;
  }
  return std::nullopt;
}

void TAnyEngine::OpenRead(const std::string& directory, const std::string& filename) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  m.SetDirectory(directory);
  m.SetPDBFilename(filename);
  FinishOpenRead([&m] { m.OpenDatabase(); });
}

void TAnyEngine::OpenReadFile(const std::string& path) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  FinishOpenRead([&m, &path] { m.OpenDatabaseFile(path); });
}

template <class Open>
void TAnyEngine::FinishOpenRead(Open&& open) {
  TPDBBaseMgr& m = Manager();
  index_ = -1;
  m.SetDBCursor(-1);  // closed: no records, so the cursor is before any
  try {
    open();
  } catch (...) {
    // Opening ends by splitting the first record (First places the cursor,
    // then splits). A failure there is left to NextRecord, which skips a
    // deleted record and reports any other with its index; any failure before
    // it is the opening's own.
    if (!m.isOpen()) throw;
    if (m.Cursor() < 0 || m.Cursor() != m.FixFirst()) {
      Abort();
      throw;
    }
  }
}

void TAnyEngine::CheckFieldsAgainstFile() {
  if (FieldsFromFile() || !FileDescribesFields()) return;
  const std::vector<TFileFieldDef> file = FileFields();
  const auto types = Types();
  const auto count = static_cast<std::size_t>(FieldCount());
  if (file.size() != count) {
    throw Exception("the file describes " + std::to_string(file.size()) +
                    " fields, the field list has " + std::to_string(count));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const TAnyFieldDef f = Field(static_cast<int>(i));
    const TFileFieldDef& d = file[i];
    const std::string at = "field " + std::to_string(i + 1) + " ('" + f.Name + "')";
    if (d.Name.empty() ? SQLDriverNameHash(f.Name) != d.NameHash : !SameFieldName(d.Name, f.Name)) {
      throw Exception(at + " has another name in the file");
    }
    if (d.Type != f.Type) {
      throw Exception(at + " is " + std::string(types[static_cast<std::size_t>(d.Type)].Name) +
                      " in the file, not " +
                      std::string(types[static_cast<std::size_t>(f.Type)].Name));
    }
    if (d.Size != f.Size) {
      throw Exception(at + " has size " + std::to_string(d.Size) + " in the file, not " +
                      std::to_string(f.Size));
    }
  }
}

bool TAnyEngine::NextRecord() {
  TPDBBaseMgr& m = Manager();
  const std::int32_t last = m.FixLast();
  for (std::int32_t i = index_ < 0 ? m.FixFirst() : index_ + 1; i <= last; ++i) {
    const std::optional<TRecordEntry> entry = m.GetRecInFile(i);
    if (!entry) break;
    if (entry->Flags.Contains(dmRecAttrDelete)) continue;
    index_ = i;
    m.SetDBCursor(i);
    m.SetEngineRecord(i);
    return true;
  }
  index_ = std::max(last, index_);
  return false;
}

std::size_t TAnyEngine::UnusedBytes() {
  const std::span<const std::uint8_t> record = Manager().CurrentRecord();
  return record.size() - std::min(record.size(), SplitMeasured(record));
}

void TAnyEngine::CreateFile(const std::string& directory, const std::string& filename) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeWriteOnly);
  m.SetDirectory(directory);
  m.SetPDBFilename(filename);
  m.CreateDatabase();
}

void TAnyEngine::AppendRecord(std::span<const Variant> values) {
  Append();
  const int n = FieldCount();
  // The field is named only when a message needs it: this runs for every
  // field of every record imported.
  const auto at = [this](int i) {
    const TAnyFieldDef f = Field(i);
    return "field '" + f.Name + "' (" + std::string(TypeInfo(f.Type).Name) + "): ";
  };
  for (int i = 0; i < n; ++i) {
    if (!ImplicitField().empty() && SameFieldName(Field(i).Name, ImplicitField())) continue;
    try {
      if (static_cast<std::size_t>(i) >= values.size()) throw EConvertError("no value");
      SetValue(i, values[static_cast<std::size_t>(i)]);
      TryPack(i);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), at(i) + e.what());
    } catch (const std::exception& e) {
      throw EConvertError(at(i) + e.what());
    }
  }
  Post();
}

void TAnyEngine::Close() {
  TPDBBaseMgr& m = Manager();
  if (!m.isOpen()) return;
  if (m.GetOpenMode() != dmModeWriteOnly) {
    m.CloseDatabase();
    return;
  }
  try {
    m.CloseDatabase();
  } catch (...) {
    Abort();
    throw;
  }
}

void TAnyEngine::Abort() noexcept {
  Manager().AbortDatabase();
}

}  // namespace corvane
