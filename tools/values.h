// Field values as the export and import commands write and read them: JSON
// values and CSV cells by the field's kind (corvane/engines/any_engine.h).
//   numbers        integers as they are; floats in the shortest form that
//                  reads back exactly (NaN and the infinities as the strings
//                  "NaN", "Infinity", "-Infinity"); amounts with up to four
//                  decimals;
//   booleans       true / false;
//   text           strings, from and to the file's 8-bit encoding;
//   binary         lower-case hexadecimal;
//   dates          YYYY-MM-DDTHH:MM:SS, YYYY-MM-DD, HH:MM:SS; the date 0 is
//                  null (an empty CSV cell), but midnight in a time type.
// Reading raises EConvertError with what was expected.
#pragma once

#include <string>
#include <string_view>

#include "corvane/engines/any_engine.h"
#include "corvane/host/variant.h"
#include "tools/json.h"
#include "tools/json_reader.h"
#include "tools/text_encoding.h"

namespace corvane::cli {

void WriteJsonValue(JsonWriter& w, const Variant& value, const TAnyFieldType& type,
                    TextEncoding enc);
// Appends the value as a CSV cell, quoted when it must be.
void AppendCsvCell(std::string& out, const Variant& value, const TAnyFieldType& type,
                   TextEncoding enc);

Variant ValueFromJson(const JsonValue& json, const TAnyFieldType& type, TextEncoding enc);
Variant ValueFromCsv(const std::string& cell, const TAnyFieldType& type, TextEncoding enc);

// Date-time, date or time as text by kind (empty for the date 0 but in a time
// kind); and back: false when the text is not one.
std::string FormatWhen(TDateTime dt, TValueKind kind);
bool ParseWhen(std::string_view text, TValueKind kind, TDateTime& out);

std::string FormatFloat(double v, bool single);
std::string FormatCurrency(Currency c);

// UTF-8 text into the 8-bit encoding; raises EConvertError naming the first
// character the encoding has no byte for (or, for utf8, passes it through).
std::string FromUtf8(std::string_view utf8, TextEncoding enc);

}  // namespace corvane::cli
