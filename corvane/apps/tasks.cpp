#include "corvane/apps/tasks.h"

namespace corvane::apps {
namespace {

constexpr std::uint16_t kHasDue = 0x8000;
constexpr std::uint16_t kHasCompletedOn = 0x4000;
constexpr std::uint16_t kHasAlarm = 0x2000;
constexpr std::uint16_t kHasRepeat = 0x1000;
constexpr std::uint16_t kHasDescription = 0x0800;
constexpr std::uint16_t kHasNote = 0x0400;
constexpr std::uint16_t kOtherDataFlags = 0x03FF;
constexpr std::uint16_t kCompleted = 0x0001;
constexpr std::uint16_t kRepeatFromCompletion = 0x0002;

std::uint16_t TextFlags(const TasksRecord& t) {
  return static_cast<std::uint16_t>((t.description.empty() ? 0 : kHasDescription) |
                                    (t.note.empty() ? 0 : kHasNote));
}

}  // namespace

TasksRecord DecodeTasks(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(6, 1, kMsgRecordTooShort);
  TasksRecord t;
  const std::uint16_t data = in.U16();
  const std::uint16_t flags = in.U16();
  t.priority = in.U16();
  t.completed = (flags & kCompleted) != 0;
  t.repeatFromCompletion = (flags & kRepeatFromCompletion) != 0;
  t.otherRecordFlags = flags & ~(kCompleted | kRepeatFromCompletion);
  t.otherDataFlags = data & kOtherDataFlags;
  if (data & kHasDue) {
    in.Need(2, 2, kMsgRecordTooShort);
    t.due = in.U16();
  }
  if (data & kHasCompletedOn) {
    in.Need(2, 3, kMsgRecordTooShort);
    t.completedOn = in.U16();
  }
  if (data & kHasAlarm) {
    in.Need(4, 4, kMsgRecordTooShort);
    TasksAlarm a;
    a.hour = in.U8();
    a.minute = in.U8();
    a.advanceDays = in.U16();
    t.alarm = a;
  }
  if (data & kHasRepeat) {
    in.Need(10, 5, kMsgRecordTooShort);
    TasksRepeat r;
    r.start = in.U16();
    r.rule = ReadRepeatRule(in);
    t.repeat = r;
  }
  t.description = in.CString(6);
  t.note = in.CString(7);
  t.textFlagsFlipped = (data & (kHasDescription | kHasNote)) ^ TextFlags(t);
  t.extra = in.Rest();
  return t;
}

Bytes EncodeTasks(const TasksRecord& task) {
  if ((task.otherDataFlags & ~kOtherDataFlags) != 0 ||
      (task.otherRecordFlags & (kCompleted | kRepeatFromCompletion)) != 0 ||
      (task.textFlagsFlipped & ~(kHasDescription | kHasNote)) != 0) {
    RaisePDB(1, kMsgValueOutOfRange);
  }
  std::uint16_t data = task.otherDataFlags | (TextFlags(task) ^ task.textFlagsFlipped);
  if (task.due) data |= kHasDue;
  if (task.completedOn) data |= kHasCompletedOn;
  if (task.alarm) data |= kHasAlarm;
  if (task.repeat) data |= kHasRepeat;
  std::uint16_t flags = task.otherRecordFlags;
  if (task.completed) flags |= kCompleted;
  if (task.repeatFromCompletion) flags |= kRepeatFromCompletion;
  ByteWriter out;
  out.U16(data);
  out.U16(flags);
  out.U16(task.priority);
  if (task.due) out.U16(*task.due);
  if (task.completedOn) out.U16(*task.completedOn);
  if (const auto& a = task.alarm) {
    out.U8(a->hour);
    out.U8(a->minute);
    out.U16(a->advanceDays);
  }
  if (const auto& r = task.repeat) {
    out.U16(r->start);
    WriteRepeatRule(r->rule, out);
  }
  out.CString(task.description, 2);
  out.CString(task.note, 3);
  out.Raw(task.extra);
  return out.Take();
}

TasksAppInfo DecodeTasksAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  TasksAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(23, 2, kMsgAppInfoTooShort);
  info.colors = ReadCategoryColors(in);
  info.reserved2 = in.U16();
  info.dirty = in.U16();
  info.sortOrder = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeTasksAppInfo(const TasksAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  WriteCategoryColors(info.colors, out);
  out.U16(info.reserved2);
  out.U16(info.dirty);
  out.U8(info.sortOrder);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
