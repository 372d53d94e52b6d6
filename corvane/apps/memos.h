// Memos (creator `PMem`, type `DATA`, database "MemosDB-PMem"), the memo
// application of the later handhelds. A record is laid out as a Memo Pad
// record (the text ended by a zero byte; MemoRecord and DecodeMemo read it).
// The application-info block is its own: the standard category part, the
// category colours, two reserved words, the sort order (0 manual, 1
// alphabetic) and a reserved byte, 300 bytes in all.
#pragma once

#include <span>
#include <string>

#include "corvane/apps/memo.h"
#include "corvane/apps/pim_parts.h"

namespace corvane::apps {

struct MemosAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  CategoryColors colors;
  std::uint16_t reserved2 = 0, reserved3 = 0;
  std::uint8_t sortOrder = 0;  // 0 manual, 1 alphabetic
  std::string extra{'\0'};     // the reserved byte after the sort order and anything beyond
  friend bool operator==(const MemosAppInfo&, const MemosAppInfo&) = default;
};

MemosAppInfo DecodeMemosAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeMemosAppInfo(const MemosAppInfo& info);

}  // namespace corvane::apps
