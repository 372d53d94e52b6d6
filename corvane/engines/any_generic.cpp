// TAnyEngine's adapter for the generic manager (TPDBDataFields): its type table
// and the strict conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/data_fields.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

// The pdtPS types are the PocketStudio types in the same order.
static_assert(pdtPSDouble - pdtPSBoolean == PSDouble - PSBoolean &&
              pdtPSString - pdtPSBoolean == PSString - PSBoolean &&
              pdtPSDate - pdtPSBoolean == PSDate - PSBoolean);
constexpr TPDBPSFieldType AsPocketStudio(TPDBFieldType t) {
  return static_cast<TPDBPSFieldType>(t - pdtPSBoolean);
}

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
      throw EConvertError("a text size is 0 (variable) or 1 to " + std::to_string(kMaxTextSize));
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
      default:
        return GetPocketStudioValue(f, AsPocketStudio(f.DataType()));
    }
  }
  // Get's value as a view; the text types borrow the held text.
  static TAnyValueView View(const TPDBField& f, std::string& scratch) {
    switch (f.DataType()) {
      case pdtByte:
        return IntegerView(f.GetAsByte());
      case pdtWord:
        return IntegerView(f.GetAsWord());
      case pdtInteger:
        return IntegerView(f.GetAsInteger());
      case pdtFloat:
        return FloatView(static_cast<double>(f.GetAsFloat()));
      case pdtDouble:
        return FloatView(f.GetAsDouble());
      case pdtDate:
        return WhenView(f.GetAsDateTime());
      case pdtString:
        return HeldTextView(f.Value(), scratch);
      default:
        return ViewPocketStudioValue(f, AsPocketStudio(f.DataType()), scratch);
    }
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
      case pdtString: {
        std::string scratch;
        f.SetAsString(Text(v, text_max, scratch));
        break;
      }
      default:
        SetPocketStudioValue(f, AsPocketStudio(f.DataType()), v);
        break;
    }
  }
};

}  // namespace

std::unique_ptr<TAnyEngine> MakeGeneric() {
  return std::make_unique<TAdapter<GenericTraits>>();
}

}  // namespace corvane::any
