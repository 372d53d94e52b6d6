// A CSV cell is read in place (ValueFromCsvInto, a row at a time) or through
// the general reader (ValueFromCsv). Both must give the same value, bit for
// bit, or the same refusal, for every type of every engine, whatever the
// reused value held before.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/values.h"

namespace corvane::cli {
namespace {

// The kind and the exact bits of a value, readable in a failure.
std::string Describe(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return "empty";
    case VarType::Null:
      return "null";
    case VarType::Integer:
      return "integer " + std::to_string(v.AsInt64());
    case VarType::Float:
      return "float bits " + std::to_string(std::bit_cast<std::uint64_t>(v.AsDouble()));
    case VarType::DateTime:
      return "date-time bits " + std::to_string(std::bit_cast<std::uint64_t>(v.AsDateTime()));
    case VarType::Boolean:
      return v.AsBoolean() ? "true" : "false";
    case VarType::Currency:
      return "currency " + std::to_string(v.AsCurrency().value);
    case VarType::Text: {
      std::string out = "text";
      for (const char c : v.AsString())
        out.append(1, ' ').append(std::to_string(static_cast<unsigned char>(c)));
      return out;
    }
  }
  return "?";
}

template <class Read>
std::string Outcome(const Read& read) {
  try {
    return Describe(read());
  } catch (const EConvertError& e) {
    return std::string("refused: ") + e.what();
  }
}

const std::vector<std::string>& Cells() {
  static const std::vector<std::string> cells = {
      // whole numbers at the edges of every width, signs, leading zeros
      "", "0", "-0", "1", "-1", "00", "01", "-01", "007", "255", "256", "-128", "-129", "65535",
      "65536", "2147483647", "-2147483648", "4294967295", "4294967296", "999999999999999999",
      "-999999999999999999", "1000000000000000000", "-1000000000000000000", "9007199254740993",
      "123456789012345678", "9223372036854775807", "-9223372036854775808", "9223372036854775808",
      "18446744073709551616", "100000000000000000000000",
      // fractions, exponents, what JSON does not write
      "1.5", "-1.5", "0.1", "6172.5", "-0.0", "0.0", "1e3", "1E-3", "-2.5e+2", "1.", ".5", "+1",
      "1e", "1e400", "-1e400", "1e-400", "4.9e-324", "1.7976931348623157e308", "3.4028235e+38",
      "1.23456", "0.123456789012345", "1234567890.12345", "9007199254740.993", "0.000000000000001",
      "-0.000000000000001", "99999999999999.9", "0.30000000000000004", "7.3785690282684228",
      "850466103.52879495", "00.5", "0.", "1..2", "1.2.3", "-.5", "5.e1", "922337203685477.5807",
      "922337203685477.5808", "0x10", "12a", "--1", "-", " 1", "1 ", "1,5",
      // special floats and booleans
      "NaN", "Infinity", "-Infinity", "nan", "inf", "true", "false", "True", "null",
      // dates, times and both, at the edges and past them
      "2024-02-29", "2023-02-29", "0001-01-01", "9999-12-31", "1899-12-30", "1899-12-29",
      "1900-01-01", "1903-12-31", "1904-01-01", "2031-12-31", "2040-02-06", "10000-01-01",
      "2024-1-01", "2024-13-01", "2024-00-10", "2024-01-32", "00:00:00", "23:59:59", "24:00:00",
      "12:60:00", "12:00", "2024-02-29T23:59:59", "1899-12-29T12:00:00", "0001-01-01T00:00:00",
      "9999-12-31T23:59:59", "2024-02-29T24:00:00", "2024-02-29 23:59:59",
      // texts: bytes, hexadecimal, what quoting carried, other encodings
      "00ff", "0F", "abc", "a,\"b\"\r\nc", "Caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E",
      "\xE9", "\xC3", "\x7F\x01", std::string("a\0b", 3), std::string(300, 'x'), "  ", "\t"};
  return cells;
}

TEST(CsvValues, ReadInPlaceAsTheGeneralReaderReads) {
  const TextEncoding encodings[] = {TextEncoding::kWindows1252, TextEncoding::kLatin1,
                                    TextEncoding::kUtf8};
  // What the reused value may hold from the row before.
  const Variant earlier[] = {Variant(), Variant(std::string(40, 'p')), Variant(2.5),
                             Variant::FromDateTime(1.25), Variant(-7LL)};
  std::size_t compared = 0;
  for (const std::string_view name : TAnyEngine::EngineNames()) {
    const auto engine = TAnyEngine::Create(name);
    ASSERT_NE(engine, nullptr);
    for (const TAnyFieldType& type : engine->Types()) {
      for (const TextEncoding enc : encodings) {
        for (const std::string& cell : Cells()) {
          const std::string expected = Outcome([&] { return ValueFromCsv(cell, type, enc); });
          for (const Variant& before : earlier) {
            Variant reused = before;
            const std::string got = Outcome([&] {
              ValueFromCsvInto(reused, cell, type, enc);
              return reused;
            });
            ASSERT_EQ(got, expected)
                << name << " " << type.Name << " encoding " << static_cast<int>(enc) << " cell \""
                << cell << "\" over " << Describe(before);
            // A refused cell leaves the reused value as it was.
            if (expected.starts_with("refused")) {
              ASSERT_EQ(Describe(reused), Describe(before));
            }
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 50000u);
}

}  // namespace
}  // namespace corvane::cli
