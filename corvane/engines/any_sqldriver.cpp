// TAnyEngine's adapter for the SQL Driver engine: its type table and the strict
// conversions its setters take.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/byte_order.h"

namespace corvane::any {

namespace {

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
  // Get's value as a view; a PDChar borrows the held text.
  static TAnyValueView View(const TPDBSQLDriverField& f, std::string& scratch) {
    switch (f.DataType()) {
      case PDChar:
        return HeldTextView(f.Value(), scratch);
      case PDShort:
        return IntegerView(f.GetAsShort());
      case PDInt:
        return IntegerView(f.GetAsInt());
      case PDLong:
        return IntegerView(f.GetAsLong());
      case PDFloat:
        return FloatView(static_cast<double>(f.GetAsFloat()));
      case PDDouble:
        return FloatView(f.GetAsDouble());
    }
    return TAnyValueView();
  }
  static void Set(TPDBSQLDriverField& f, const Variant& v) {
    if (SameFieldName(f.FieldName(), kImplicit) && f.DataType() == PDInt)
      return;  // numbered by Post
    switch (f.DataType()) {
      case PDChar: {
        std::string scratch;
        f.SetAsChar(Text(v, static_cast<std::size_t>(std::max(f.Size(), 0)), scratch));
        break;
      }
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

}  // namespace

std::unique_ptr<TAnyEngine> MakeSQLDriver() {
  return std::make_unique<TAdapter<SQLTraits>>();
}

}  // namespace corvane::any
