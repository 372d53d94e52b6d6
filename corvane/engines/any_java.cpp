// TAnyEngine's adapter for the Java engine: its type table and the strict
// conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/java.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

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
  // Get's value as a view; a JString borrows the held text.
  static TAnyValueView View(const TPDBJavaField& f, std::string& scratch) {
    switch (f.DataType()) {
      case JByte:
        return IntegerView(f.GetAsByte());
      case JBoolean:
        return FlagView(f.GetAsBoolean());
      case JChar:
        return TextView(CharAsUtf8(f.GetAsCharCode()), scratch);
      case JInt:
        return IntegerView(f.GetAsInt());
      case JLong:
        return IntegerView(f.GetAsLong());
      case JShort:
        return IntegerView(f.GetAsShort());
      case JString:
        return HeldTextView(f.Value(), scratch);
      case JDate:
        return WhenView(f.GetAsDate());
    }
    return TAnyValueView();
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
      case JString: {
        std::string scratch;
        f.SetAsString(Text(v, kJavaMaxStringBytes, scratch));
        break;
      }
      case JDate:
        f.SetAsDate(When(v));
        break;
    }
  }
};

}  // namespace

std::unique_ptr<TAnyEngine> MakeJava() {
  return std::make_unique<TAdapter<JavaTraits>>();
}

}  // namespace corvane::any
