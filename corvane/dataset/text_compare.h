// Comparison of the texts held in record slots and memos, for locating and
// sorting: in the collation in effect, and in the dataset's character set
// (which bytes are letters of which case, which characters they stand for).
// The slots' texts are zero-terminated within their width but a damaged slot
// may lack the zero, so texts are taken as bounded views.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "corvane/host/charset.h"

namespace corvane {

// How a run of comparisons compares texts.
struct TextOrder {
  TextCharset charset = TextCharset::Windows1252;
  bool fold = false;     // ignoring the case of the set's letters
  bool bytewise = true;  // BytewiseCollation(), asked once for the run
};

// True when the collation in effect orders texts by their bytes ("C" or
// "POSIX"), so the comparisons below need not call the locale at all.
bool BytewiseCollation() noexcept;

// The text of a string slot's value: up to its first zero, at most width bytes.
std::string_view SlotText(const std::uint8_t* value, int width) noexcept;

// <0, 0, >0 as a sorts before, with or after b. Bytewise, the (folded) bytes
// decide; otherwise the locale's collation of the characters the bytes stand
// for (wcscoll, which zero characters do not stop).
int CollateText(std::string_view a, std::string_view b, const TextOrder& order);

// Big-endian first bytes of a text, folded when the order folds a single-byte
// set, zero-padded: for a bytewise order, texts that compare a < b give keys
// key(a) <= key(b). (A UTF-8 text must be folded by FoldCase first.)
std::uint64_t TextPrefix(std::string_view text, const TextOrder& order) noexcept;

// For an order that is not bytewise: keys that compare (as wide strings) as
// CollateText compares their texts.
std::wstring CollationKey(std::string_view text, const TextOrder& order);

}  // namespace corvane
