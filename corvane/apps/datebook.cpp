#include "corvane/apps/datebook.h"

namespace corvane::apps {
namespace {

constexpr std::uint16_t kWhenChanged = 0x8000;
constexpr std::uint16_t kHasAlarm = 0x4000;
constexpr std::uint16_t kHasRepeat = 0x2000;
constexpr std::uint16_t kHasNote = 0x1000;
constexpr std::uint16_t kHasExceptions = 0x0800;
constexpr std::uint16_t kHasDescription = 0x0400;
constexpr std::uint16_t kOtherFlags = 0x03FF;

}  // namespace

DatebookRepeat ReadRepeatRule(ByteReader& in) {
  DatebookRepeat r;
  r.type = in.U8();
  r.reserved1 = in.U8();
  r.end = in.U16();
  r.frequency = in.U8();
  r.repeatOn = in.U8();
  r.startOfWeek = in.U8();
  r.reserved2 = in.U8();
  return r;
}

void WriteRepeatRule(const DatebookRepeat& r, ByteWriter& out) {
  out.U8(r.type);
  out.U8(r.reserved1);
  out.U16(r.end);
  out.U8(r.frequency);
  out.U8(r.repeatOn);
  out.U8(r.startOfWeek);
  out.U8(r.reserved2);
}

DatebookRecord DecodeDatebook(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(8, 1, kMsgRecordTooShort);
  DatebookRecord e;
  e.startHour = in.U8();
  e.startMinute = in.U8();
  e.endHour = in.U8();
  e.endMinute = in.U8();
  e.date = in.U16();
  const std::uint16_t flags = in.U16();
  e.whenChanged = (flags & kWhenChanged) != 0;
  e.otherFlags = flags & kOtherFlags;
  if (flags & kHasAlarm) {
    in.Need(2, 2, kMsgRecordTooShort);
    e.alarm = DatebookAlarm{static_cast<std::int8_t>(in.U8()), in.U8()};
  }
  if (flags & kHasRepeat) {
    in.Need(8, 3, kMsgRecordTooShort);
    e.repeat = ReadRepeatRule(in);
  }
  if (flags & kHasExceptions) {
    in.Need(2, 4, kMsgExceptionsPastEnd);
    const std::size_t n = in.U16();
    in.Need(2 * n, 4, kMsgExceptionsPastEnd);
    std::vector<std::uint16_t> dates(n);
    for (std::uint16_t& d : dates) d = in.U16();
    e.exceptions = std::move(dates);
  }
  if (flags & kHasDescription) e.description = in.CString(5);
  if (flags & kHasNote) e.note = in.CString(6);
  e.extra = in.Rest();
  return e;
}

Bytes EncodeDatebook(const DatebookRecord& event) {
  if ((event.otherFlags & ~kOtherFlags) != 0) RaisePDB(1, kMsgValueOutOfRange);
  if (event.exceptions && event.exceptions->size() > 0xFFFF) RaisePDB(1, kMsgValueOutOfRange);
  std::uint16_t flags = event.otherFlags;
  if (event.whenChanged) flags |= kWhenChanged;
  if (event.alarm) flags |= kHasAlarm;
  if (event.repeat) flags |= kHasRepeat;
  if (event.exceptions) flags |= kHasExceptions;
  if (event.description) flags |= kHasDescription;
  if (event.note) flags |= kHasNote;
  ByteWriter out;
  out.U8(event.startHour);
  out.U8(event.startMinute);
  out.U8(event.endHour);
  out.U8(event.endMinute);
  out.U16(event.date);
  out.U16(flags);
  if (event.alarm) {
    out.U8(static_cast<std::uint8_t>(event.alarm->advance));
    out.U8(event.alarm->unit);
  }
  if (event.repeat) WriteRepeatRule(*event.repeat, out);
  if (event.exceptions) {
    out.U16(static_cast<std::uint16_t>(event.exceptions->size()));
    for (std::uint16_t d : *event.exceptions) out.U16(d);
  }
  if (event.description) out.CString(*event.description, 2);
  if (event.note) out.CString(*event.note, 3);
  out.Raw(event.extra);
  return out.Take();
}

DatebookAppInfo DecodeDatebookAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  DatebookAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(3, 2, kMsgAppInfoTooShort);
  info.reserved = in.U16();
  info.startOfWeek = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeDatebookAppInfo(const DatebookAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  out.U16(info.reserved);
  out.U8(info.startOfWeek);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
