// The character sets the texts of a database may be in, as far as comparing
// them needs: which bytes are letters of which case, and which characters
// they stand for. Handhelds store Windows-1252; some desktop tools wrote
// Latin-1 or UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class TextCharset : std::uint8_t { Windows1252, Latin1, Utf8 };

// The characters of Windows-1252's bytes 0x80 to 0x9F. The five bytes the code
// page leaves undefined keep their C1 control code point, so nothing is lost.
inline constexpr std::array<std::uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Length of the well-formed UTF-8 sequence at the start of s (1 to 4), or 0
// (no overlong forms, no surrogates, nothing past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view s) noexcept;
// Appends the character's UTF-8 bytes.
void AppendUtf8(std::string& out, char32_t c);
// The character of a well-formed sequence of that length.
char32_t DecodeUtf8Sequence(std::string_view s, std::size_t length) noexcept;

// The lower-case form of a character of the Latin, Greek and Cyrillic
// alphabets (A-Z, À-Þ, Latin Extended-A, Ÿ, Α-Ω, А-Я, Ѐ-Џ); any other
// character is its own. One character always folds to one.
char32_t FoldCodePoint(char32_t c) noexcept;

// The text with every letter of the set replaced by its lower-case form:
// in Windows-1252 and Latin-1 byte for byte (É 0xC9 becomes é 0xE9, and in
// Windows-1252 Š, Œ, Ž, Ÿ too); in UTF-8 character for character, bytes that
// are no well-formed UTF-8 kept as they are. Two texts equal ignoring case
// fold to the same bytes.
std::string FoldCase(std::string_view text, TextCharset charset);

// The byte a byte of a single-byte set folds to (as FoldCase); in UTF-8 the
// bytes below 0x80 alone fold (A-Z), the others stay.
unsigned char FoldByte(unsigned char c, TextCharset charset) noexcept;

// The characters of the text, for the C library's wide-character collation.
// A byte that is no well-formed UTF-8 becomes U+DC80 + (byte - 0x80), so
// distinct texts stay distinct. fold: FoldCodePoint every character.
std::wstring DecodeText(std::string_view text, TextCharset charset, bool fold);

}  // namespace corvane
