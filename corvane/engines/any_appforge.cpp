// TAnyEngine's adapter for the AppForge engine: its type table and the strict
// conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/appforge.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

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
  // Get's value as a view; an AFString borrows the held text.
  static TAnyValueView View(const TPDBAFField& f, std::string& scratch) {
    switch (f.DataType()) {
      case AFByte:
        return IntegerView(f.GetAsAFByte());
      case AFInteger:
        return IntegerView(f.GetAsAFInteger());
      case AFLong:
        return IntegerView(f.GetAsAFLong());
      case AFSingle:
        return FloatView(static_cast<double>(f.GetAsAFSingle()));
      case AFString:
        return HeldTextView(f.Value(), scratch);
      case AFBoolean:
        return FlagView(f.GetAsAFBoolean());
      case AFDate:
        return WhenView(f.GetAsAFDate());
      case AFDouble:
        return FloatView(f.GetAsAFDouble());
      case AFCurrency:
        return AmountView(f.GetAsAFCurrency());
    }
    return TAnyValueView();
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
      case AFString: {
        std::string scratch;
        f.SetAsAFString(Text(v, SIZE_MAX, scratch));
        break;
      }
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

}  // namespace

std::unique_ptr<TAnyEngine> MakeAppForge() {
  return std::make_unique<TAdapter<AFTraits>>();
}

}  // namespace corvane::any
