// E-books (creator `REAd`, type `TEXt`). Record 0 is the header: compression
// (1 none, 2 the standard compression), two spare bytes, the text's length,
// the number of text records, the text size of a record (4096) and the
// reading position. The text records follow, each holding the next piece of
// the text, compressed or not; records after them (bookmarks) are the
// reader's own.
//
// The standard compression, byte by byte: 0x00 and 0x09-0x7F stand for
// themselves; 0x01-0x08 announce that many bytes copied as they are;
// 0xC0-0xFF stand for a space followed by the byte XOR 0x80; 0x80-0xBF start
// a pair whose low 14 bits hold a distance back into the text already
// produced (11 bits) and a length less 3 (3 bits).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/foundation/types.h"

namespace corvane::apps {

inline constexpr std::uint16_t kDocUncompressed = 1;
inline constexpr std::uint16_t kDocCompressed = 2;
inline constexpr std::size_t kDocRecordSize = 4096;
// The most text one record may hold: the header's record size is 16 bits.
inline constexpr std::size_t kDocMaxRecordText = 0xFFFF;

struct DocHeader {
  std::uint16_t compression = kDocCompressed;
  std::uint16_t spare = 0;
  std::uint32_t textLength = 0;
  std::uint16_t recordCount = 0;
  std::uint16_t recordSize = kDocRecordSize;
  std::uint32_t position = 0;
  std::string extra;  // bytes after the 16 the header defines
  friend bool operator==(const DocHeader&, const DocHeader&) = default;
};

// Raises when the record is shorter than 16 bytes or its compression is
// neither 1 nor 2.
DocHeader DecodeDocHeader(std::span<const std::uint8_t> record);
Bytes EncodeDocHeader(const DocHeader& header);

// Expands compressed bytes into `out`; returns how many bytes it wrote.
// Never reads past `in` nor writes past `out`: a pair reaching back before
// the start, a literal run cut short or more text than `out` holds raises.
std::size_t DecompressDoc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
// The most bytes `in` can expand to.
inline std::size_t DocExpansionBound(std::size_t compressed) noexcept {
  return 5 * compressed;
}
// Compresses text so that DecompressDoc gives it back; pairs never reach
// before the start of `text`, so each record stands alone.
Bytes CompressDoc(std::span<const std::uint8_t> text);

// The text one text record holds, as 8-bit bytes. A record expanding to more
// than kDocMaxRecordText bytes is refused.
std::string DecodeDocRecord(const DocHeader& header, std::span<const std::uint8_t> record);
// The text of the book: the text records 1..recordCount of `records`
// (records[0] being the header), as 8-bit bytes. A record that does not
// decode is refused with its index in `records` before the message.
std::string DecodeDocText(const DocHeader& header,
                          std::span<const std::span<const std::uint8_t>> records);
// The text records of a new book (recordSize bytes of text each), and the
// header's textLength, recordCount and recordSize set to match them.
std::vector<Bytes> EncodeDocText(std::string_view text, DocHeader& header);

}  // namespace corvane::apps
