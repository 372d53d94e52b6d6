// The standard category part that starts the application-info block of the
// handheld's own applications: a renamed-categories bit field, 16 names of 16
// bytes, 16 category IDs, the last unique ID and a filler byte (276 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "corvane/apps/record_bytes.h"

namespace corvane::apps {

inline constexpr std::size_t kCategoryPartSize = 276;

struct CategoryInfo {
  std::uint16_t renamed = 0;            // bit i: category i was renamed
  std::array<std::string, 16> names{};  // 8-bit bytes, at most 16, no zero byte
  std::array<std::uint8_t, 16> ids{};   // category IDs
  // Bytes a writer left after a name's ending zero, kept as they were (empty
  // when they are all zero).
  std::array<std::string, 16> padding{};
  std::uint8_t lastUniqueID = 15;
  std::uint8_t filler = 0;

  // Names "Unfiled" plus the given ones; IDs 0..15 as a handheld seeds them.
  static CategoryInfo Standard();
  friend bool operator==(const CategoryInfo&, const CategoryInfo&) = default;
};

// Reads the 276-byte part at the start of `block`; a shorter block raises
// (code, "Application-info block is shorter than its fixed part!").
CategoryInfo DecodeCategoryInfo(ByteReader& block, int code);
// Appends the 276 bytes; a name longer than 16 bytes or holding a zero raises.
void EncodeCategoryInfo(const CategoryInfo& info, ByteWriter& out, int code);

}  // namespace corvane::apps
