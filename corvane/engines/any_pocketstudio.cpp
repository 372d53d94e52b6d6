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
  static Variant Get(const TPDBPSField& f) { return GetPocketStudioValue(f, f.DataType()); }
  static TAnyValueView View(const TPDBPSField& f, std::string& scratch) {
    return ViewPocketStudioValue(f, f.DataType(), scratch);
  }
  static void Set(TPDBPSField& f, const Variant& v) { SetPocketStudioValue(f, f.DataType(), v); }
};

}  // namespace

std::unique_ptr<TAnyEngine> MakePocketStudio() {
  return std::make_unique<TAdapter<PSTraits>>();
}

}  // namespace corvane::any
