#include "corvane/engines/java.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/datetime.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"

namespace corvane {

namespace {

constexpr TEngineMessages kJavaMessages{kMsgJavaNoFieldsInStructure, kMsgJavaNoFieldWithName,
                                        kMsgJavaRecordMismatch,      kMsgJavaNotOpen,
                                        kMsgJavaNotOpenForWrite,     kMsgJavaNoFieldsSpecified};
constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kUnixEpoch = 25569;  // 1970-01-01 as a day number
// The header name field holds 31 characters and a zero byte.
constexpr std::size_t kMaxHeaderName = 31;

// Milliseconds since 1970-01-01, in whole seconds. A date before 1899-12-30
// is a negative TDateTime whose whole part is the day and whose fraction,
// taken as positive, is the time of day (-1.25 is 1899-12-29 06:00).
std::int64_t MillisFromDateTime(TDateTime d) {
  constexpr double kFirstDay = -693593.0;   // 0001-01-01
  constexpr double kLastDay = 2958466.0;    // 10000-01-01: the first day that is no date
  if (!std::isfinite(d) || d <= kFirstDay - 1 || d >= kLastDay) {
    throw EConvertError("Invalid date/time value");
  }
  const double whole = std::trunc(d);
  std::int64_t days = static_cast<std::int64_t>(whole);
  std::int64_t ms = static_cast<std::int64_t>(std::llround(std::fabs(d - whole) * kMSecsPerDay));
  if (ms >= kMsPerDay) {  // rounds up to midnight of the next day
    ms = 0;
    ++days;
  }
  return (days - kUnixEpoch) * kMsPerDay + ms / 1000 * 1000;
}

// Floor division, so that a count before 1970 gives its day and a time of day
// that runs forward from that day's midnight.
TDateTime DateTimeFromMillis(std::int64_t t) noexcept {
  if (t == 0) return 0;
  std::int64_t days = t / kMsPerDay;
  std::int64_t rest = t % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  const double day = static_cast<double>(kUnixEpoch + days);
  const double time = static_cast<double>(rest / 1000) / 86400.0;
  return day < 0 ? day - time : day + time;
}

// The text of a stored JString: its bytes up to the first zero byte.
std::string_view TextUpToZero(std::span<const std::uint8_t> bytes) {
  const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  const std::size_t n =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data()) : bytes.size();
  return n == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(bytes.data()), n);
}

}  // namespace

// ---------------------------------------------------------------------------
// Accessors.

bool TPDBJavaField::GetAsBoolean() const {
  Require(TypeBit(JBoolean), kMsgJavaGetAsBooleanWrongType);
  return value_.AsBoolean();
}
void TPDBJavaField::SetAsBoolean(bool Value) {
  Require(TypeBit(JBoolean), kMsgJavaSetAsBooleanWrongType);
  value_.SetBoolean(Value);
}
std::uint8_t TPDBJavaField::GetAsByte() const {
  Require(TypeBit(JByte), kMsgJavaGetAsByteWrongType);
  return static_cast<std::uint8_t>(value_.AsInt64());
}
void TPDBJavaField::SetAsByte(std::uint8_t Value) {
  Require(Types({JByte, JInt, JLong, JShort}), kMsgJavaSetAsByteWrongType);
  value_.SetInteger(Value);
}
std::string TPDBJavaField::GetAsChar() const {
  Require(TypeBit(JChar), kMsgJavaGetAsCharWrongType);
  return std::string(1, static_cast<char>(value_.AsInt64() & 0xFF));
}
void TPDBJavaField::SetAsChar(const std::string& Value) {
  Require(TypeBit(JChar), kMsgJavaSetAsCharWrongType);
  value_ = Variant(Value.empty() ? 0 : static_cast<int>(static_cast<unsigned char>(Value[0])));
}
std::uint16_t TPDBJavaField::GetAsCharCode() const {
  Require(TypeBit(JChar), kMsgJavaGetAsCharWrongType);
  return static_cast<std::uint16_t>(value_.AsInt64() & 0xFFFF);
}
void TPDBJavaField::SetAsCharCode(std::uint16_t Value) {
  Require(TypeBit(JChar), kMsgJavaSetAsCharWrongType);
  value_.SetInteger(Value);
}
std::int32_t TPDBJavaField::GetAsInt() const {
  Require(Types({JByte, JInt}), kMsgJavaGetAsIntWrongType);
  return value_.AsInteger();
}
void TPDBJavaField::SetAsInt(std::int32_t Value) {
  Require(Types({JInt, JLong}), kMsgJavaSetAsIntWrongType);
  value_.SetInteger(Value);
}
std::int64_t TPDBJavaField::GetAsLong() const {
  Require(TypeBit(JLong), kMsgJavaGetAsLongWrongType);
  return codec::TruncToInt64(value_);
}
void TPDBJavaField::SetAsLong(std::int64_t Value) {
  Require(TypeBit(JLong), kMsgJavaSetAsLongWrongType);
  value_.SetInteger(Value);
}
std::int16_t TPDBJavaField::GetAsShort() const {
  Require(TypeBit(JShort), kMsgJavaGetAsShortWrongType);
  return static_cast<std::int16_t>(value_.AsInt64());
}
void TPDBJavaField::SetAsShort(std::int16_t Value) {
  Require(Types({JInt, JLong, JShort}), kMsgJavaSetAsShortWrongType);
  value_.SetInteger(Value);
}
std::string TPDBJavaField::GetAsString() const { return value_.AsString(); }
void TPDBJavaField::SetAsString(const std::string& Value) { value_.SetText(Value); }
TDateTime TPDBJavaField::GetAsDate() const {
  Require(TypeBit(JDate), kMsgJavaGetAsDateWrongType);
  return value_.AsDateTime();
}
void TPDBJavaField::SetAsDate(TDateTime Value) {
  Require(TypeBit(JDate), kMsgJavaSetAsDateWrongType);
  value_.SetDateTime(Value);
}

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBJavaField::TypeWidth(TPDBJavaFieldType type) noexcept {
  switch (type) {
    case JByte:
    case JBoolean: return 1;
    case JChar:
    case JShort: return 2;
    case JInt: return 4;
    case JLong:
    case JDate: return 8;
    case JString: return 0;
  }
  return 0;
}

Variant TPDBJavaField::ZeroOf(TPDBJavaFieldType type) {
  switch (type) {
    case JBoolean: return Variant(false);
    case JString: return Variant(std::string());
    default: return Variant(0);
  }
}

// Widths come from the type, not from Size, so measuring and packing can
// never disagree whatever Size holds.
std::int64_t TPDBJavaField::RecordWidth() const {
  if (type_ == JString) {
    std::string scratch;
    return static_cast<std::int64_t>(TextValue(scratch).size()) + 2;
  }
  return TypeWidth(type_);
}

void TPDBJavaField::PackInto(std::uint8_t* out, std::size_t width) const {
  switch (type_) {
    case JByte: out[0] = static_cast<std::uint8_t>(IntValue()); break;
    case JBoolean: out[0] = value_.AsBoolean() ? 1 : 0; break;
    case JChar:
    case JShort: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case JInt: StoreU32(out, static_cast<std::uint32_t>(Int32Value())); break;
    case JLong: StoreU64(out, static_cast<std::uint64_t>(codec::TruncToInt64(value_))); break;
    case JDate: StoreU64(out, static_cast<std::uint64_t>(MillisFromDateTime(DateValue()))); break;
    case JString: {
      std::string scratch;
      const std::string_view text = TextValue(scratch);
      // A longer text would be written with a wrapped length and misread.
      if (text.size() > kJavaMaxStringBytes) RaisePDB(1, kMsgJavaStringTooLong);
      // The width measured this text: its length and its bytes.
      const std::size_t n = std::min(text.size(), width - 2);
      StoreU16(out, static_cast<std::uint16_t>(n));
      if (n > 0) std::memcpy(out + 2, text.data(), n);
      break;
    }
  }
}

bool TPDBJavaField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  if (type_ == JString) {
    if (rest.size() < 2) return false;
    const std::size_t n = LoadU16(rest.data());
    if (n > rest.size() - 2) return false;
    const auto text = rest.subspan(2, n);
    TakeRaw(text, n + 1);
    value_.SetText(TextUpToZero(text));
    // The stored length says where the next field starts, also when the text
    // holds a zero byte and its value ends there.
    taken = 2 + n;
    return true;
  }
  const auto width = static_cast<std::size_t>(TypeWidth(type_));
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  switch (type_) {
    case JByte: value_.SetInteger(p[0]); break;
    case JBoolean: value_.SetBoolean(p[0] != 0); break;
    case JChar: value_.SetInteger(LoadU16(p)); break;
    case JInt: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case JLong: value_.SetInteger(static_cast<std::int64_t>(LoadU64(p))); break;
    case JShort: value_.SetInteger(static_cast<std::int16_t>(LoadU16(p))); break;
    case JDate:
      value_.SetDateTime(DateTimeFromMillis(static_cast<std::int64_t>(LoadU64(p))));
      break;
    case JString: break;
  }
  TakeRaw(rest.first(width));
  taken = width;
  return true;
}

// Append clears every field of every record: the zero is set in place, in
// the kind the type's own setter would store it.
void TPDBJavaField::ClearValue() {
  ReleaseRaw();
  switch (type_) {
    case JByte:
    case JChar:
    case JInt:
    case JShort:
    case JLong: value_.SetInteger(0); break;
    case JBoolean: value_.SetBoolean(false); break;
    case JString: value_.SetText({}); break;
    case JDate: value_.SetDateTime(0); break;
  }
}

// ---------------------------------------------------------------------------
// The engine.

TPDBJava::TPDBJava(TComponent* owner) : TPDBEngine(owner, kJavaMessages) {}

TPDBJava::~TPDBJava() { CloseOnDestroy(); }

void TPDBJava::BuildDBName() {
  const std::string& name = DatabaseName();
  const std::size_t at = name.find("-" + CreatorID());
  if (at == std::string::npos) return;
  const std::string plain = name.substr(0, at);
  SetDatabaseNameRaw(plain);
  SetPlainDatabaseName(plain);
}

void TPDBJava::BuildPDBInfo() {
  const std::string& plain = PlainDatabaseName();
  const std::string decorated = Trim(plain) + "-" + Trim(CreatorID());
  // The header would cut the name, and the file would not read back under it.
  if (isOpen() && decorated.size() > kMaxHeaderName) RaisePDB(1, kMsgJavaHeaderNameTooLong);
  SetDatabaseNameRaw(decorated);
  Bytes info(plain.size() * 2, 0);
  for (std::size_t i = 0; i < plain.size(); ++i) info[2 * i + 1] = static_cast<std::uint8_t>(plain[i]);
  SetAppInfoP(std::move(info));
}

}  // namespace corvane
