// Memo Pad (creator `memo`, type `DATA`, database "MemoDB"): each record is
// the memo's text ended by a zero byte.
#pragma once

#include <span>
#include <string>

#include "corvane/apps/categories.h"

namespace corvane::apps {

struct MemoRecord {
  std::string text;   // 8-bit bytes, no zero byte
  std::string extra;  // bytes after the ending zero, kept as they were
  friend bool operator==(const MemoRecord&, const MemoRecord&) = default;
};

struct MemoAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  std::uint32_t reserved = 0;
  std::uint8_t sortOrder = 0;  // 0 manual, 1 alphabetic
  std::string extra{'\0'};     // the filler after the sort order and anything beyond
  friend bool operator==(const MemoAppInfo&, const MemoAppInfo&) = default;
};

MemoRecord DecodeMemo(std::span<const std::uint8_t> record);
Bytes EncodeMemo(const MemoRecord& memo);
MemoAppInfo DecodeMemoAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeMemoAppInfo(const MemoAppInfo& info);

}  // namespace corvane::apps
