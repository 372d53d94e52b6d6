// Tasks (creator `PTod`, type `DATA`, database "TasksDB-PTod"), the to-do
// application of the later handhelds. A record is a data-flag word, a
// record-flag word and a 16-bit priority, then - each only when its data
// flag is set, in this order - the due date (0x8000), the completion date
// (0x4000), the alarm (0x2000: hour and minute bytes, then the days before
// the due date it starts to sound) and the repeat (0x1000: a start date and
// the 8-byte repeat rule Date Book uses); then the description and the note,
// each ended by a zero byte and always there (flags 0x0800 and 0x0400 say
// only whether they are non-empty). Record flag 0x0001 is "completed", 0x0002
// "repeat from the completion date".
//
// The application-info block: the standard category part, the category
// colours, a reserved word, a dirty word, the sort order and a reserved byte
// (300 bytes).
#pragma once

#include <optional>
#include <span>
#include <string>

#include "corvane/apps/datebook.h"
#include "corvane/apps/pim_parts.h"

namespace corvane::apps {

struct TasksAlarm {
  std::uint8_t hour = kNoTime, minute = kNoTime;  // 0xFF 0xFF: no time
  std::uint16_t advanceDays = 0;                  // days before the due date
  friend bool operator==(const TasksAlarm&, const TasksAlarm&) = default;
};

struct TasksRepeat {
  std::uint16_t start = kNoDate;  // packed date
  DatebookRepeat rule;
  friend bool operator==(const TasksRepeat&, const TasksRepeat&) = default;
};

struct TasksRecord {
  std::uint16_t priority = 1;  // 1..5 on the handheld
  bool completed = false;
  bool repeatFromCompletion = false;
  std::optional<std::uint16_t> due;          // packed date (0xFFFF: none)
  std::optional<std::uint16_t> completedOn;  // packed date
  std::optional<TasksAlarm> alarm;
  std::optional<TasksRepeat> repeat;
  std::string description;
  std::string note;
  std::uint16_t otherDataFlags = 0;    // data-flag bits 0x03FF, kept as read
  std::uint16_t otherRecordFlags = 0;  // record-flag bits beyond the two known ones
  // The bits of 0x0C00 that disagree with whether the description and note
  // are empty; a writer that set them otherwise gets them back.
  std::uint16_t textFlagsFlipped = 0;
  std::string extra;  // bytes after the note's zero

  friend bool operator==(const TasksRecord&, const TasksRecord&) = default;
};

struct TasksAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  CategoryColors colors;
  std::uint16_t reserved2 = 0;
  std::uint16_t dirty = 0;  // bit 0: the sort setting was changed
  std::uint8_t sortOrder =
      0;  // 0 due date, 1 priority, 2 category and priority, 3 category and due date
  std::string extra{'\0'};
  friend bool operator==(const TasksAppInfo&, const TasksAppInfo&) = default;
};

// A record whose optional parts run past its end (such as a To Do record
// written into this database) raises EPDBException; its bytes stay the
// caller's.
TasksRecord DecodeTasks(std::span<const std::uint8_t> record);
Bytes EncodeTasks(const TasksRecord& task);
TasksAppInfo DecodeTasksAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeTasksAppInfo(const TasksAppInfo& info);

}  // namespace corvane::apps
