// Locale-aware comparison of the texts held in record slots, for locating and
// sorting. The slots' texts are zero-terminated within their width but a
// damaged slot may lack the zero, so texts are taken as bounded views.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// True when the collation in effect orders texts by their bytes ("C" or
// "POSIX"), so the comparisons below need not call the locale at all.
bool BytewiseCollation() noexcept;

// The text of a string slot's value: up to its first zero, at most width bytes.
std::string_view SlotText(const std::uint8_t* value, int width) noexcept;

// <0, 0, >0 as a sorts before, with or after b in the collation in effect;
// case_insensitive folds the letters a-z / A-Z first. bytewise caches
// BytewiseCollation() for a run of comparisons.
int CollateText(std::string_view a, std::string_view b, bool case_insensitive, bool bytewise);

}  // namespace corvane
