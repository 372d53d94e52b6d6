// To Do List (creator `todo`, type `DATA`, database "ToDoDB"): a packed due
// date (0xFFFF for none), a byte holding the completed flag (bit 7) and the
// priority (bits 6-0), then the description and the note, each ended by a
// zero byte.
#pragma once

#include <span>
#include <string>

#include "corvane/apps/categories.h"
#include "corvane/apps/packed_date.h"

namespace corvane::apps {

struct ToDoRecord {
  std::uint16_t due = kNoDate;  // packed date word
  std::uint8_t priority = 1;    // 0..127
  bool completed = false;
  std::string description;
  std::string note;
  std::string extra;  // bytes after the note's zero, kept as they were
  friend bool operator==(const ToDoRecord&, const ToDoRecord&) = default;
};

struct ToDoAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  std::uint16_t reserved = 0;
  std::uint16_t dirty = 0;
  std::uint8_t sortOrder = 0;
  std::string extra{'\0'};
  friend bool operator==(const ToDoAppInfo&, const ToDoAppInfo&) = default;
};

ToDoRecord DecodeToDo(std::span<const std::uint8_t> record);
Bytes EncodeToDo(const ToDoRecord& todo);
ToDoAppInfo DecodeToDoAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeToDoAppInfo(const ToDoAppInfo& info);

}  // namespace corvane::apps
