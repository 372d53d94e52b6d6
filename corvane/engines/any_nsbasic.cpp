// TAnyEngine's adapter for the NS Basic engine: its type table and the strict
// conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

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
  // Get's value as a view; an NSBString borrows the held text.
  static TAnyValueView View(const TPDBNSBField& f, std::string& scratch) {
    // The type is known here, so the getters' checks are skipped and their
    // conversions read inline: this runs for every field of every record.
    switch (f.DataType()) {
      case NSBByte:
        return IntegerView(static_cast<std::uint8_t>(f.IntegerValue()));
      case NSBShort:
        return IntegerView(static_cast<std::uint16_t>(f.IntegerValue()));
      case NSBInteger:
        return IntegerView(static_cast<std::int32_t>(f.IntegerValue()));
      case NSBFloat:
      case NSBDouble:
        return FloatView(f.DoubleValue());
      case NSBSingle:
        return FloatView(static_cast<double>(static_cast<float>(f.DoubleValue())));
      case NSBDate:
      case NSBTime:
        return WhenView(f.DateTimeValue());
      case NSBString:
        return HeldTextView(f.Value(), scratch);
    }
    return TAnyValueView();
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
      case NSBString: {
        std::string scratch;
        f.SetAsNSBString(Text(v, text_max, scratch));
        break;
      }
    }
  }
};

}  // namespace

std::unique_ptr<TAnyEngine> MakeNSBasic() {
  return std::make_unique<TAdapter<NSBTraits>>();
}

}  // namespace corvane::any
