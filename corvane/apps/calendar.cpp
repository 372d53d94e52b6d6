#include "corvane/apps/calendar.h"

#include <tuple>

namespace corvane::apps {
namespace {

constexpr std::uint16_t kHasLocation = 0x0200;

DstRule ReadDst(ByteReader& in) {
  DstRule r;
  r.hour = in.U8();
  r.weekday = in.U8();
  r.week = in.U8();
  r.month = in.U8();
  return r;
}

void WriteDst(const DstRule& r, ByteWriter& out) {
  out.U8(r.hour);
  out.U8(r.weekday);
  out.U8(r.week);
  out.U8(r.month);
}

std::string AsString(Bytes b) {
  return std::string(b.begin(), b.end());
}

bool Repeats(const DatebookRecord& e) {
  return e.repeat && e.repeat->type != static_cast<std::uint8_t>(RepeatType::kNone);
}

}  // namespace

CalendarRecord DecodeCalendar(std::span<const std::uint8_t> record) {
  CalendarRecord e;
  static_cast<DatebookRecord&>(e) = DecodeDatebook(record);
  const std::string rest = std::move(e.extra);
  ByteReader in(BytesOf(rest));
  if (e.otherFlags & kHasLocation) {
    e.otherFlags &= static_cast<std::uint16_t>(~kHasLocation);
    e.location = in.CString(7);
  }
  e.blobs = ReadBlobs(in);
  e.extra = in.Rest();
  return e;
}

Bytes EncodeCalendar(const CalendarRecord& event) {
  if (event.otherFlags & kHasLocation) RaisePDB(1, kMsgValueOutOfRange);
  DatebookRecord base = event;
  ByteWriter tail;
  if (event.location) {
    base.otherFlags |= kHasLocation;
    tail.CString(*event.location, 4);
  }
  WriteBlobs(event.blobs, tail, 5);
  tail.Raw(event.extra);
  base.extra = AsString(tail.Take());
  return EncodeDatebook(base);
}

CalendarAppInfo DecodeCalendarAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  CalendarAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(21, 2, kMsgAppInfoTooShort);
  info.colors = ReadCategoryColors(in);
  info.reserved2 = in.U16();
  info.startOfWeek = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeCalendarAppInfo(const CalendarAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  WriteCategoryColors(info.colors, out);
  out.U16(info.reserved2);
  out.U8(info.startOfWeek);
  out.Raw(info.extra);
  return out.Take();
}

CalendarTimeZone DecodeTimeZone(std::span<const std::uint8_t> data) {
  ByteReader in(data);
  in.Need(14, 8, kMsgRecordTooShort);
  CalendarTimeZone z;
  z.offset = static_cast<std::int16_t>(in.U16());
  z.dstStart = ReadDst(in);
  z.dstEnd = ReadDst(in);
  z.dstAdjustment = static_cast<std::int16_t>(in.U16());
  z.country = in.U8();
  z.flags = in.U8();
  z.name = in.CString(8);
  z.extra = in.Rest();
  return z;
}

std::string EncodeTimeZone(const CalendarTimeZone& z) {
  ByteWriter out;
  out.U16(static_cast<std::uint16_t>(z.offset));
  WriteDst(z.dstStart, out);
  WriteDst(z.dstEnd, out);
  out.U16(static_cast<std::uint16_t>(z.dstAdjustment));
  out.U8(z.country);
  out.U8(z.flags);
  out.CString(z.name, 8);
  out.Raw(z.extra);
  return AsString(out.Take());
}

CalendarMeeting DecodeMeeting(std::span<const std::uint8_t> data) {
  ByteReader in(data);
  in.Need(4, 9, kMsgRecordTooShort);
  CalendarMeeting m;
  m.meetingStatus = in.U8();
  m.appointmentStatus = in.U8();
  const std::size_t n = in.U16();
  for (std::size_t i = 0; i < n; ++i) {  // each takes three bytes at least: no runaway count
    in.Need(1, 9, kMsgRecordTooShort);
    Attendee a;
    a.role = in.U8();
    a.name = in.CString(9);
    a.email = in.CString(9);
    m.attendees.push_back(std::move(a));
  }
  m.extra = in.Rest();
  return m;
}

std::string EncodeMeeting(const CalendarMeeting& m) {
  if (m.attendees.size() > 0xFFFF) RaisePDB(9, kMsgValueOutOfRange);
  ByteWriter out;
  out.U8(m.meetingStatus);
  out.U8(m.appointmentStatus);
  out.U16(static_cast<std::uint16_t>(m.attendees.size()));
  for (const Attendee& a : m.attendees) {
    out.U8(a.role);
    out.CString(a.name, 9);
    out.CString(a.email, 9);
  }
  out.Raw(m.extra);
  return AsString(out.Take());
}

bool CalendarOrderLess(const DatebookRecord& a, const DatebookRecord& b) noexcept {
  const auto key = [](const DatebookRecord& e) {
    const bool repeats = Repeats(e);
    const auto time = static_cast<std::int16_t>((e.startHour << 8) | e.startMinute);
    // Repeating events first; among them the end date (0xFFFF, never, sorts last).
    return std::tuple(repeats ? 0 : 1, repeats ? e.repeat->end : e.date, time);
  };
  return key(a) < key(b);
}

}  // namespace corvane::apps
