// TAnyEngine's adapter for the PocketStudio engine: its type table and the strict
// conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

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
      throw EConvertError("a PSString size is 0 (variable) or 1 to " + std::to_string(kPSMaxBytes));
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

}  // namespace

std::unique_ptr<TAnyEngine> MakePocketStudio() {
  return std::make_unique<TAdapter<PSTraits>>();
}

}  // namespace corvane::any
