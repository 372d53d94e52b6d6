// Field values as the export and import commands write and read them: JSON
// values and CSV cells by the field's kind (corvane/engines/any_engine.h).
//   numbers        integers as they are; floats in the shortest form that
//                  reads back exactly (NaN and the infinities as the strings
//                  "NaN", "Infinity", "-Infinity"); amounts with up to four
//                  decimals;
//   booleans       true / false;
//   text           strings, from and to the file's 8-bit encoding (JChar, a
//                  16-bit code, as the character it codes, whatever the
//                  encoding);
//   binary         lower-case hexadecimal;
//   dates          YYYY-MM-DDTHH:MM:SS, YYYY-MM-DD, HH:MM:SS; the date 0 is
//                  null (an empty CSV cell), but midnight in a time type.
// Reading raises EConvertError with what was expected.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/foundation/types.h"

#include "corvane/engines/any_engine.h"
#include "corvane/host/variant.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/interchange/out_cursor.h"
#include "corvane/interchange/text_encoding.h"

namespace corvane::cli {

void WriteJsonValue(JsonWriter& w, const Variant& value, const TAnyFieldType& type,
                    TextEncoding enc);
// The same from a view of the value (TAnyEngine::ValueView): the same text.
void WriteJsonValue(JsonWriter& w, const TAnyValueView& value, const TAnyFieldType& type,
                    TextEncoding enc);
// The same JSON value appended to `out`, for a caller that lays out the
// members around it itself.
void AppendJsonValue(std::string& out, const TAnyValueView& value, const TAnyFieldType& type,
                     TextEncoding enc);
// Appends the value as a CSV cell, quoted when it must be.
void AppendCsvCell(std::string& out, const Variant& value, const TAnyFieldType& type,
                   TextEncoding enc);
void AppendCsvCell(std::string& out, const TAnyValueView& value, const TAnyFieldType& type,
                   TextEncoding enc);
// The same cell and JSON value written at a cursor, for export's walk over
// a file: the same text as the functions above. `scratch` is where a value
// that needs converting or quoting is built first.
void PutCsvCell(OutCursor& out, const TAnyValueView& value, const TAnyFieldType& type,
                TextEncoding enc, std::string& scratch);
void PutJsonValue(OutCursor& out, const TAnyValueView& value, const TAnyFieldType& type,
                  TextEncoding enc, std::string& scratch);
// The same text, never quoted (what --where compares).
std::string CsvCell(const Variant& value, const TAnyFieldType& type, TextEncoding enc);

Variant ValueFromJson(const JsonValue& json, const TAnyFieldType& type, TextEncoding enc);
Variant ValueFromCsv(std::string_view cell, const TAnyFieldType& type, TextEncoding enc);
// The same into `out`, reusing its text's storage where it can: for rows
// converted one after another.
void ValueFromCsvInto(Variant& out, std::string_view cell, const TAnyFieldType& type,
                      TextEncoding enc);

// Date-time, date or time as text by kind (empty for the date 0 but in a time
// kind); and back: false when the text is not one.
std::string FormatWhen(TDateTime dt, TValueKind kind);
bool ParseWhen(std::string_view text, TValueKind kind, TDateTime& out);

std::string FormatFloat(double v, bool single);
std::string FormatCurrency(Currency c);

// Bytes from lower- or upper-case hexadecimal; raises EConvertError.
std::string BytesFromHex(std::string_view hex);

// A record's category, flags and unique ID as export writes them beside its
// fields: JSON keys (CSV columns) "category" (0 to 15), "flags" (the names
// secret, busy, dirty; a JSON array, a comma-separated CSV cell) and
// "uniqueID" (0 to 16777215).
inline constexpr std::string_view kCategoryKey = "category";
inline constexpr std::string_view kFlagsKey = "flags";
inline constexpr std::string_view kUniqueIDKey = "uniqueID";
struct RecordAttributes {
  std::uint8_t category = 0;
  TRecFlags flags;
  std::uint32_t unique_id = 0;
};
// The record flags' names by their ordinals.
inline constexpr std::array<std::string_view, 4> kRecordFlagNames = {"secret", "busy", "dirty",
                                                                     "delete"};
// The names of the flags in the set, in the order secret, busy, dirty, delete.
std::vector<std::string_view> RecordFlagNames(TRecFlags flags);
// The same names, one call of `each` per name, without building a list.
template <class Each>
void ForEachRecordFlagName(TRecFlags flags, Each&& each) {
  for (std::size_t f = 0; f < kRecordFlagNames.size(); ++f) {
    if (flags.Contains(static_cast<TRecEnumFlags>(f))) each(kRecordFlagNames[f]);
  }
}
// Sets the attribute `key` names from JSON or from a CSV cell; raises
// EConvertError for a value out of range or a flag that is not secret, busy
// or dirty (a deleted record has no data to import).
void AttributeFromJson(std::string_view key, const JsonValue& json, RecordAttributes& out);
void AttributeFromCsv(std::string_view key, std::string_view cell, RecordAttributes& out);

// UTF-8 text into the 8-bit encoding; raises EConvertError naming the first
// character the encoding has no byte for (or, for utf8, passes it through).
std::string FromUtf8(std::string_view utf8, TextEncoding enc);

}  // namespace corvane::cli
