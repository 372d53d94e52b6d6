#include "corvane/interchange/apps_json_later.h"

#include <functional>
#include <map>

#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/memos.h"
#include "corvane/apps/tasks.h"

namespace corvane::cli {

using namespace corvane::apps;
using namespace apps_json;

namespace {

inline constexpr std::array<std::string_view, 5> kChatLabels = {"other", "aim", "msn", "yahoo",
                                                                "icq"};
inline constexpr std::array<std::string_view, 3> kAddressLabels = {"work", "home", "other"};
inline constexpr std::array<std::string_view, 3> kRoles = {"organizer", "required", "optional"};
inline constexpr std::array<std::string_view, 5> kMeetingStatuses = {
    "unanswered", "tentative", "declined", "accepted", "cancelled"};
inline constexpr std::array<std::string_view, 4> kAppointmentStatuses = {
    "busy", "free", "tentative", "outOfOffice"};
inline constexpr std::array<std::string_view, 5> kAddressPartKeys = {"street", "city", "state",
                                                                     "zipCode", "country"};

std::uint8_t U8(const Reader& r, std::string_view key, std::int64_t fallback = 0) {
  return static_cast<std::uint8_t>(r.Int(key, 0, 0xFF, fallback));
}
std::uint16_t U16(const Reader& r, std::string_view key, std::int64_t fallback = 0) {
  return static_cast<std::uint16_t>(r.Int(key, 0, 0xFFFF, fallback));
}
std::uint32_t U32(const Reader& r, std::string_view key) {
  return static_cast<std::uint32_t>(r.Int(key, 0, 0xFFFFFFFF, 0));
}

template <std::size_t N>
std::uint8_t Named(const Reader& r, std::string_view key,
                   const std::array<std::string_view, N>& names, std::uint8_t fallback) {
  const JsonValue* x = r.Get(key);
  return x ? NameOrNumber(names, *x, r.At(key)) : fallback;
}

JsonValue Text(const Charset& cs, const std::string& bytes) {
  return JString(cs.ToUtf8(bytes));
}

Reader Nested(const Reader& r, std::string_view key, std::optional<JsonValue>& holder) {
  holder = r.Nested(key);
  return Reader(*holder, r.At(key));
}

JsonValue Array(const Reader& r, std::string_view key) {
  std::optional<JsonValue> v = r.Nested(key);
  if (!v) return JArray();
  if (v->kind != JsonValue::Kind::kArray) Bad(r.At(key) + " must be an array");
  return *v;
}

// ---- category colours --------------------------------------------------------

void ColorsToJson(JsonValue& o, const CategoryColors& c) {
  PutIf(o, "colorsEdited", c.edited);
  if (c.colors != CategoryColors{}.colors) {
    JsonValue list = JArray();
    for (std::uint8_t v : c.colors) list.items.push_back(JInt(v));
    Put(o, "categoryColors", std::move(list));
  }
}

CategoryColors ColorsFromJson(const Reader& r) {
  CategoryColors c;
  c.edited = U16(r, "colorsEdited");
  const JsonValue list = Array(r, "categoryColors");
  if (list.items.size() > 16) Bad(r.At("categoryColors") + " holds 16 colours at most");
  for (std::size_t i = 0; i < list.items.size(); ++i)
    c.colors[i] =
        static_cast<std::uint8_t>(Reader::IntOf(list.items[i], r.At("categoryColors"), 0, 255));
  return c;
}

// ---- blobs -------------------------------------------------------------------

// A blob the application knows: its keys when its payload decodes and encodes
// back to the same bytes, and the payload from those keys.
struct KnownBlob {
  std::string_view id;
  std::function<bool(const std::string& data, const Charset& cs, JsonValue& o)> to;
  std::function<std::optional<std::string>(const Reader& r, const Charset& cs)> from;
};

// `to` for a payload codec: the keys only for a payload that gives its bytes back.
template <class Decode, class Encode, class PutKeys>
bool Shown(const std::string& data, JsonValue& o, Decode decode, Encode encode, PutKeys put) {
  try {
    const auto v = decode(BytesOf(data));
    if (encode(v) != data) return false;
    put(v, o);
    return true;
  } catch (const EPDBException&) {
    return false;
  }
}

bool PrintableId(const std::string& id) {
  for (char c : id) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The last blob of each known ID shows as its keys (the handheld reads the
// last when there are two). "blobs" lists every blob in order - a known one
// as its ID alone, the others with their bytes - and is left out when the
// record holds the known ones alone, in their usual order.
void BlobsToJson(const std::vector<Blob>& blobs, std::span<const KnownBlob> known,
                 const Charset& cs, JsonValue& o) {
  std::vector<bool> shown(blobs.size());
  std::vector<std::string_view> usual;
  for (const KnownBlob& k : known) {
    const int i = LastBlob(blobs, k.id);
    if (i >= 0 && k.to(blobs[static_cast<std::size_t>(i)].data, cs, o)) {
      shown[static_cast<std::size_t>(i)] = true;
      usual.push_back(k.id);
    }
  }
  bool standard = blobs.size() == usual.size();
  for (std::size_t i = 0; standard && i < blobs.size(); ++i)
    standard = shown[i] && blobs[i].id == usual[i];
  if (standard) return;
  JsonValue list = JArray();
  for (std::size_t i = 0; i < blobs.size(); ++i) {
    JsonValue item = JObject();
    if (PrintableId(blobs[i].id)) {
      Put(item, "id", JString(blobs[i].id));
    } else {
      Put(item, "idHex", JString(Hex(blobs[i].id)));
    }
    if (!shown[i]) Put(item, "data", JString(Hex(blobs[i].data)));
    list.items.push_back(std::move(item));
  }
  Put(o, "blobs", std::move(list));
}

std::vector<Blob> BlobsFromJson(const Reader& r, std::span<const KnownBlob> known,
                                const Charset& cs) {
  std::map<std::string, std::string, std::less<>> made;
  for (const KnownBlob& k : known) {
    if (std::optional<std::string> data = k.from(r, cs))
      made.emplace(std::string(k.id), std::move(*data));
  }
  std::vector<Blob> blobs;
  const JsonValue list = Array(r, "blobs");
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    const Reader item(list.items[i], r.At("blobs") + "[" + std::to_string(i) + "]");
    Blob b;
    if (item.Has("idHex")) {
      b.id = item.Raw("idHex");
    } else if (const JsonValue* id = item.Get("id"); id && id->kind == JsonValue::Kind::kString) {
      b.id = id->text;
    }
    if (b.id.size() != 4) Bad(item.At("id") + " must be four bytes");
    if (item.Has("data")) {
      b.data = item.Raw("data");
    } else if (auto m = made.find(b.id); m != made.end()) {
      b.data = std::move(m->second);
      made.erase(m);
    } else {
      Bad(item.Where() + ": blob \"" + b.id + "\" has no data and no keys of its own");
    }
    if (b.data.size() > 0xFFFF) Bad(item.At("data") + " is longer than 65535 bytes");
    blobs.push_back(std::move(b));
  }
  for (const KnownBlob& k : known) {
    if (auto m = made.find(k.id); m != made.end()) {
      if (m->second.size() > 0xFFFF)
        Bad(r.Where() + ": the \"" + std::string(k.id) + "\" blob is longer than 65535 bytes");
      blobs.push_back(Blob{std::string(k.id), std::move(m->second)});
    }
  }
  return blobs;
}

// ---- Tasks -------------------------------------------------------------------

void TasksToJson(const TasksRecord& t, const Charset& cs, JsonValue& o) {
  Put(o, "description", Text(cs, t.description));
  if (!t.note.empty()) Put(o, "note", Text(cs, t.note));
  if (t.due) Put(o, "due", DateJson(*t.due, -1));
  if (t.completedOn) Put(o, "completedOn", DateJson(*t.completedOn, -1));
  Put(o, "priority", JInt(t.priority));
  Put(o, "completed", JBool(t.completed));
  if (t.repeatFromCompletion) Put(o, "repeatFromCompletion", JBool(true));
  if (t.alarm) {
    JsonValue alarm = JObject();
    const bool untimed = t.alarm->hour == kNoTime && t.alarm->minute == kNoTime;
    Put(alarm, "time", untimed ? JNull() : JString(FormatTime(t.alarm->hour, t.alarm->minute)));
    Put(alarm, "daysBefore", JInt(t.alarm->advanceDays));
    Put(o, "alarm", std::move(alarm));
  }
  if (t.repeat) {
    JsonValue repeat = JObject();
    Put(repeat, "start", DateJson(t.repeat->start, -1));
    for (JsonMember& m : RepeatToJson(t.repeat->rule).members)
      repeat.members.push_back(std::move(m));
    Put(o, "repeat", std::move(repeat));
  }
  PutIf(o, "flags", t.otherDataFlags);
  PutIf(o, "recordFlags", t.otherRecordFlags);
  PutIf(o, "textFlags", t.textFlagsFlipped);
  PutRawIf(o, "extra", t.extra);
}

TasksRecord TasksFromJson(const Reader& r, const Charset& cs, ImportChecks& checks) {
  TasksRecord t;
  t.description = r.Text("description", cs);
  t.note = r.Text("note", cs);
  if (r.Has("due")) t.due = DateWord(r.Get("due"), r.At("due"), 0);
  if (r.Has("completedOn")) t.completedOn = DateWord(r.Get("completedOn"), r.At("completedOn"), 0);
  t.priority = U16(r, "priority", 1);
  t.completed = r.Bool("completed", false);
  t.repeatFromCompletion = r.Bool("repeatFromCompletion", false);
  std::optional<JsonValue> holder;
  if (r.Has("alarm")) {
    const Reader ar = Nested(r, "alarm", holder);
    TasksAlarm a;
    if (auto time = TimeOf(ar.Get("time"), ar.At("time"))) std::tie(a.hour, a.minute) = *time;
    a.advanceDays = U16(ar, "daysBefore");
    t.alarm = a;
  }
  if (r.Has("repeat")) {
    const Reader rr = Nested(r, "repeat", holder);
    t.repeat = TasksRepeat{DateWord(rr.Get("start"), rr.At("start"), kNoDate), RepeatFromJson(rr, checks)};
  }
  t.otherDataFlags = static_cast<std::uint16_t>(r.Int("flags", 0, 0x03FF, 0));
  t.otherRecordFlags = static_cast<std::uint16_t>(r.Int("recordFlags", 0, 0xFFFC, 0));
  if (t.otherRecordFlags & 3) Bad(r.At("recordFlags") + " may not hold bits 0 and 1");
  t.textFlagsFlipped = U16(r, "textFlags");
  if (t.textFlagsFlipped & ~0x0C00) Bad(r.At("textFlags") + " may only hold 0x0800 and 0x0400");
  t.extra = r.Raw("extra");
  return t;
}

// ---- Calendar ----------------------------------------------------------------

void DstToJson(JsonValue& o, const char* key, const DstRule& d) {
  JsonValue rule = JObject();
  Put(rule, "month", JInt(d.month));
  Put(rule, "week", JInt(d.week));
  Put(rule, "weekday", NameOr(kWeekdays, d.weekday));
  Put(rule, "hour", JInt(d.hour));
  Put(o, key, std::move(rule));
}

DstRule DstFromJson(const Reader& z, std::string_view key) {
  std::optional<JsonValue> holder;
  if (!z.Has(key)) return {};
  const Reader d = Nested(z, key, holder);
  return DstRule{U8(d, "hour"), Named(d, "weekday", kWeekdays, 0), U8(d, "week"), U8(d, "month")};
}

const KnownBlob kCalendarBlobs[] = {
    {kTimeZoneBlob,
     [](const std::string& data, const Charset& cs, JsonValue& o) {
       return Shown(data, o, DecodeTimeZone, EncodeTimeZone,
                    [&](const CalendarTimeZone& z, JsonValue& o) {
                      JsonValue zone = JObject();
                      Put(zone, "name", Text(cs, z.name));
                      Put(zone, "offset", JInt(z.offset));
                      Put(zone, "dstAdjustment", JInt(z.dstAdjustment));
                      DstToJson(zone, "dstStart", z.dstStart);
                      DstToJson(zone, "dstEnd", z.dstEnd);
                      Put(zone, "country", JInt(z.country));
                      if (z.Custom()) Put(zone, "custom", JBool(true));
                      PutIf(zone, "flags", z.flags & 0x7F);
                      PutRawIf(zone, "extra", z.extra);
                      Put(o, "timeZone", std::move(zone));
                    });
     },
     [](const Reader& r, const Charset& cs) -> std::optional<std::string> {
       if (!r.Has("timeZone")) return std::nullopt;
       std::optional<JsonValue> holder;
       const Reader zr = Nested(r, "timeZone", holder);
       CalendarTimeZone z;
       z.name = zr.Text("name", cs);
       z.offset = static_cast<std::int16_t>(zr.Int("offset", -32768, 32767, 0));
       z.dstAdjustment = static_cast<std::int16_t>(zr.Int("dstAdjustment", -32768, 32767, 0));
       z.dstStart = DstFromJson(zr, "dstStart");
       z.dstEnd = DstFromJson(zr, "dstEnd");
       z.country = U8(zr, "country");
       z.flags = static_cast<std::uint8_t>(U8(zr, "flags") | (zr.Bool("custom", false) ? 0x80 : 0));
       z.extra = zr.Raw("extra");
       return EncodeTimeZone(z);
     }},
    {kMeetingBlob,
     [](const std::string& data, const Charset& cs, JsonValue& o) {
       return Shown(
           data, o, DecodeMeeting, EncodeMeeting, [&](const CalendarMeeting& m, JsonValue& o) {
             if (m.meetingStatus != 0)
               Put(o, "meetingStatus", NameOr(kMeetingStatuses, m.meetingStatus));
             if (m.appointmentStatus != 0)
               Put(o, "appointmentStatus", NameOr(kAppointmentStatuses, m.appointmentStatus));
             // Always there with the meeting blob, empty or not, so that the blob comes back.
             JsonValue list = JArray();
             for (const Attendee& a : m.attendees) {
               JsonValue item = JObject();
               Put(item, "role", NameOr(kRoles, a.role));
               Put(item, "name", Text(cs, a.name));
               Put(item, "email", Text(cs, a.email));
               list.items.push_back(std::move(item));
             }
             Put(o, "attendees", std::move(list));
             PutRawIf(o, "meetingExtra", m.extra);
           });
     },
     [](const Reader& r, const Charset& cs) -> std::optional<std::string> {
       if (!r.Has("attendees") && !r.Has("meetingStatus") && !r.Has("appointmentStatus"))
         return std::nullopt;
       CalendarMeeting m;
       m.meetingStatus = Named(r, "meetingStatus", kMeetingStatuses, 0);
       m.appointmentStatus = Named(r, "appointmentStatus", kAppointmentStatuses, 0);
       const JsonValue list = Array(r, "attendees");
       for (std::size_t i = 0; i < list.items.size(); ++i) {
         const Reader ar(list.items[i], r.At("attendees") + "[" + std::to_string(i) + "]");
         m.attendees.push_back(
             Attendee{Named(ar, "role", kRoles, 1), ar.Text("name", cs), ar.Text("email", cs)});
       }
       m.extra = r.Raw("meetingExtra");
       return EncodeMeeting(m);
     }},
    {kServerIDBlob,
     [](const std::string& data, const Charset& cs, JsonValue& o) {
       const std::size_t zero = data.find('\0');
       if (zero == std::string::npos || zero + 1 != data.size()) return false;
       Put(o, "serverID", Text(cs, data.substr(0, zero)));
       return true;
     },
     [](const Reader& r, const Charset& cs) -> std::optional<std::string> {
       std::optional<std::string> id = r.OptText("serverID", cs);
       if (!id) return std::nullopt;
       if (id->find('\0') != std::string::npos) Bad(r.At("serverID") + " may not hold a zero");
       return *id + '\0';
     }},
};

void CalendarToJson(const CalendarRecord& e, const Charset& cs, JsonValue& o) {
  DatebookToJson(e, cs, o);
  std::erase_if(o.members,
                [](const JsonMember& m) { return m.second.IsNull() && m.first != "category"; });
  if (e.location) Put(o, "location", Text(cs, *e.location));
  BlobsToJson(e.blobs, kCalendarBlobs, cs, o);
}

CalendarRecord CalendarFromJson(const Reader& r, const Charset& cs, ImportChecks& checks) {
  CalendarRecord e;
  DatebookFromJson(r, cs, e, checks);
  if (e.otherFlags & 0x0200) Bad(r.At("flags") + " may not hold 0x0200 (the location's flag)");
  e.location = r.OptText("location", cs);
  e.blobs = BlobsFromJson(r, kCalendarBlobs, cs);
  return e;
}

// ---- Contacts ----------------------------------------------------------------

constexpr std::size_t F(ContactsField f) {
  return static_cast<std::size_t>(f);
}

struct NamedField {
  ContactsField field;
  std::string_view key;
};
constexpr NamedField kContactsHead[] = {{ContactsField::kLastName, "lastName"},
                                        {ContactsField::kFirstName, "firstName"},
                                        {ContactsField::kCompany, "company"},
                                        {ContactsField::kTitle, "title"}};

const KnownBlob kContactsBlobs[] = {
    {kPictureBlob,
     [](const std::string& data, const Charset&, JsonValue& o) {
       return Shown(data, o, DecodePicture, EncodePicture,
                    [](const ContactsPicture& p, JsonValue& o) {
                      Put(o, "picture", JString(Base64(p.jpeg)));
                      PutIf(o, "pictureDirty", p.dirty);
                    });
     },
     [](const Reader& r, const Charset&) -> std::optional<std::string> {
       r.Get("pictureDirty");  // a CSV file has the column in every row
       if (!r.Has("picture")) return std::nullopt;
       const JsonValue* p = r.Get("picture");
       if (p->kind != JsonValue::Kind::kString) Bad(r.At("picture") + " must be base64 text");
       return EncodePicture({U16(r, "pictureDirty"), Unbase64(p->text, r.At("picture"))});
     }},
    {kAnniversaryBlob,
     [](const std::string& data, const Charset&, JsonValue& o) {
       return Shown(data, o, DecodeAnniversary, EncodeAnniversary,
                    [](const ContactsAnniversary& a, JsonValue& o) {
                      JsonValue v = JObject();
                      Put(v, "date", DateJson(a.date, kNoDate));
                      if (a.flags & 1) Put(v, "reminder", JBool(true));
                      PutIf(v, "reminderDays", a.reminderDays);
                      PutIf(v, "ringtoneID", a.ringtoneID);
                      PutIf(v, "ringtoneType", a.ringtoneType);
                      PutIf(v, "flags", a.flags & 0xFFFE);
                      PutIf(v, "pad", a.pad);
                      PutRawIf(v, "extra", a.extra);
                      Put(o, "anniversary", std::move(v));
                    });
     },
     [](const Reader& r, const Charset&) -> std::optional<std::string> {
       if (!r.Has("anniversary")) return std::nullopt;
       std::optional<JsonValue> holder;
       const Reader ar = Nested(r, "anniversary", holder);
       ContactsAnniversary a;
       a.date = DateWord(ar.Get("date"), ar.At("date"), kNoDate);
       a.flags =
           static_cast<std::uint16_t>(U16(ar, "flags") | (ar.Bool("reminder", false) ? 1 : 0));
       a.reminderDays = U8(ar, "reminderDays");
       a.ringtoneID = U32(ar, "ringtoneID");
       a.ringtoneType = U16(ar, "ringtoneType");
       a.pad = U8(ar, "pad");
       a.extra = ar.Raw("extra");
       return EncodeAnniversary(a);
     }},
};

// Slots (phones, chats, addresses) as a list: one entry for each slot that
// holds something or whose label is not the slot's usual one; "slot" (from 1)
// only where an entry does not follow the one before.
template <std::size_t N, std::size_t L>
JsonValue SlotsToJson(const std::array<std::uint8_t, N>& labels,
                      const std::array<std::string_view, L>& names,
                      const std::function<std::uint8_t(std::size_t)>& usual,
                      const std::function<bool(std::size_t, JsonValue&)>& fill) {
  JsonValue list = JArray();
  std::size_t next = 0;
  for (std::size_t i = 0; i < N; ++i) {
    JsonValue item = JObject();
    Put(item, "label", NameOr(names, labels[i]));
    const bool holds = fill(i, item);
    if (!holds && labels[i] == usual(i)) continue;
    if (i != next)
      item.members.insert(item.members.begin(),
                          JsonMember{"slot", JInt(static_cast<std::int64_t>(i + 1))});
    next = i + 1;
    list.items.push_back(std::move(item));
  }
  return list;
}

template <std::size_t N, std::size_t L>
void SlotsFromJson(const Reader& r, std::string_view key, std::array<std::uint8_t, N>& labels,
                   const std::array<std::string_view, L>& names,
                   const std::function<void(std::size_t, const Reader&)>& read) {
  const JsonValue list = Array(r, key);
  std::size_t next = 0;
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    const Reader item(list.items[i], r.At(key) + "[" + std::to_string(i) + "]");
    const std::size_t slot =
        item.Has("slot") ? static_cast<std::size_t>(item.Int("slot", 1, N, 1)) - 1 : next;
    if (slot < next || slot >= N)
      Bad(item.Where() + ": the slots run from 1 to " + std::to_string(N) +
          ", each once, in order");
    if (const JsonValue* l = item.Get("label")) {
      labels[slot] = NameOrNumber(names, *l, item.At("label"));
      if (labels[slot] > 15) Bad(item.At("label") + ": a label number is 0 to 15");
    }
    read(slot, item);
    next = slot + 1;
  }
}

std::string DisplayPhoneName(std::uint8_t v) {
  return "phone" + std::to_string(v + 1);
}

void ContactsToJson(const ContactsRecord& c, const Charset& cs, JsonValue& o) {
  const auto text = [&](std::size_t f) { return Text(cs, *c.fields[f]); };
  for (const NamedField& n : kContactsHead) {
    if (c[n.field]) Put(o, std::string(n.key), text(F(n.field)));
  }
  JsonValue phones = SlotsToJson(
      c.phoneLabels, kPhoneLabels, [](std::size_t i) { return static_cast<std::uint8_t>(i); },
      [&](std::size_t i, JsonValue& item) {
        const std::size_t f = F(ContactsField::kPhone1) + i;
        if (c.fields[f]) Put(item, "value", text(f));
        return c.fields[f].has_value();
      });
  if (!phones.items.empty()) Put(o, "phones", std::move(phones));
  if (c.displayPhone != 0)
    Put(o, "displayPhone",
        c.displayPhone < 7 ? JString(DisplayPhoneName(c.displayPhone)) : JInt(c.displayPhone));
  JsonValue chats = SlotsToJson(
      c.chatLabels, kChatLabels, [](std::size_t i) { return ContactsRecord{}.chatLabels[i]; },
      [&](std::size_t i, JsonValue& item) {
        const std::size_t f = F(ContactsField::kChat1) + i;
        if (c.fields[f]) Put(item, "value", text(f));
        return c.fields[f].has_value();
      });
  if (!chats.items.empty()) Put(o, "chats", std::move(chats));
  if (c[ContactsField::kWebSite]) Put(o, "webSite", text(F(ContactsField::kWebSite)));
  for (std::size_t i = 0; i < 9; ++i) {
    const std::size_t f = F(ContactsField::kCustom1) + i;
    if (c.fields[f]) Put(o, "custom" + std::to_string(i + 1), text(f));
  }
  JsonValue addresses = SlotsToJson(
      c.addressLabels, kAddressLabels, [](std::size_t i) { return static_cast<std::uint8_t>(i); },
      [&](std::size_t i, JsonValue& item) {
        bool any = false;
        for (std::size_t p = 0; p < 5; ++p) {
          const std::size_t f = F(ContactsField::kAddress1) + 5 * i + p;
          if (c.fields[f]) {
            Put(item, std::string(kAddressPartKeys[p]), text(f));
            any = true;
          }
        }
        return any;
      });
  if (!addresses.items.empty()) Put(o, "addresses", std::move(addresses));
  if (c[ContactsField::kNote]) Put(o, "note", text(F(ContactsField::kNote)));
  // The handheld writes the date and the flag word together, and the days
  // only with the reminder on; anything else shows as "birthdayParts".
  const bool usual = c.birthday.has_value() == c.birthdayFlags.has_value() &&
                     (!c.birthdayFlags || *c.birthdayFlags == (c.reminderDays ? 1 : 0));
  if (usual) {
    if (c.birthday) Put(o, "birthday", DateJson(*c.birthday, -1));
    if (c.reminderDays) Put(o, "birthdayReminder", JInt(*c.reminderDays));
  } else {
    JsonValue parts = JObject();
    Put(parts, "date", c.birthday ? JInt(*c.birthday) : JNull());
    Put(parts, "flags", c.birthdayFlags ? JInt(*c.birthdayFlags) : JNull());
    Put(parts, "days", c.reminderDays ? JInt(*c.reminderDays) : JNull());
    Put(o, "birthdayParts", std::move(parts));
  }
  BlobsToJson(c.blobs, kContactsBlobs, cs, o);
  if (c.companyOffset != c.StandardCompanyOffset()) Put(o, "companyOffset", JInt(c.companyOffset));
  PutIf(o, "addressLabelReserved", c.addressReserved);
  PutIf(o, "chatLabelReserved", c.chatReserved);
  PutIf(o, "flags1High", c.flags1High);
  PutIf(o, "flags2High", c.flags2High);
  PutRawIf(o, "extra", c.extra);
}

ContactsRecord ContactsFromJson(const Reader& r, const Charset& cs) {
  ContactsRecord c;
  for (const NamedField& n : kContactsHead) c[n.field] = r.OptText(n.key, cs);
  SlotsFromJson(r, "phones", c.phoneLabels, kPhoneLabels, [&](std::size_t i, const Reader& item) {
    c.fields[F(ContactsField::kPhone1) + i] = item.OptText("value", cs);
  });
  if (const JsonValue* d = r.Get("displayPhone")) {
    if (d->kind == JsonValue::Kind::kString && d->text.size() == 6 &&
        d->text.starts_with("phone") && d->text[5] >= '1' && d->text[5] <= '7') {
      c.displayPhone = static_cast<std::uint8_t>(d->text[5] - '1');
    } else {
      // Export writes the names; a number (the stored value) is taken too.
      if (d->kind != JsonValue::Kind::kNumber)
        Bad(r.At("displayPhone") + " must be phone1 to phone7, not " + d->text);
      c.displayPhone = static_cast<std::uint8_t>(Reader::IntOf(*d, r.At("displayPhone"), 0, 15));
    }
  }
  SlotsFromJson(r, "chats", c.chatLabels, kChatLabels, [&](std::size_t i, const Reader& item) {
    c.fields[F(ContactsField::kChat1) + i] = item.OptText("value", cs);
  });
  c[ContactsField::kWebSite] = r.OptText("webSite", cs);
  for (std::size_t i = 0; i < 9; ++i)
    c.fields[F(ContactsField::kCustom1) + i] = r.OptText("custom" + std::to_string(i + 1), cs);
  SlotsFromJson(
      r, "addresses", c.addressLabels, kAddressLabels, [&](std::size_t i, const Reader& item) {
        for (std::size_t p = 0; p < 5; ++p)
          c.fields[F(ContactsField::kAddress1) + 5 * i + p] = item.OptText(kAddressPartKeys[p], cs);
      });
  c[ContactsField::kNote] = r.OptText("note", cs);
  if (r.Has("birthdayParts")) {
    std::optional<JsonValue> holder;
    const Reader p = Nested(r, "birthdayParts", holder);
    if (p.Has("date")) c.birthday = U16(p, "date");
    if (p.Has("flags")) c.birthdayFlags = U16(p, "flags");
    if (p.Has("days")) c.reminderDays = U8(p, "days");
  } else {
    if (r.Has("birthday")) {
      c.birthday = DateWord(r.Get("birthday"), r.At("birthday"), 0);
      c.birthdayFlags = r.Has("birthdayReminder") ? 1 : 0;
    }
    if (r.Has("birthdayReminder")) {
      if (!c.birthday) Bad(r.At("birthdayReminder") + " needs a birthday");
      c.reminderDays = U8(r, "birthdayReminder");
    }
  }
  c.blobs = BlobsFromJson(r, kContactsBlobs, cs);
  c.companyOffset = r.Has("companyOffset") ? U8(r, "companyOffset") : c.StandardCompanyOffset();
  c.addressReserved = static_cast<std::uint8_t>(r.Int("addressLabelReserved", 0, 15, 0));
  c.chatReserved = U8(r, "chatLabelReserved");
  c.flags1High = U32(r, "flags1High");
  c.flags2High = U32(r, "flags2High");
  if ((c.flags1High & 0x0FFFFFFF) || (c.flags2High & 0x3FFF))
    Bad(r.Where() + ": \"flags1High\" and \"flags2High\" may hold only the reserved bits");
  c.extra = r.Raw("extra");
  return c;
}

}  // namespace

bool IsLaterPim(App app) noexcept {
  return app == App::kContacts || app == App::kCalendar || app == App::kTasks || app == App::kMemos;
}

void LaterAppInfoToJson(App app, std::span<const std::uint8_t> block, const Charset& cs,
                        CategoryInfo& categories, JsonValue& o) {
  switch (app) {
    case App::kContacts: {
      const ContactsAppInfo info = DecodeContactsAppInfo(block);
      CommonInfo(o, info, cs, categories);
      ColorsToJson(o, info.colors);
      Put(o, "renamedLabels1", JInt(info.dirtyLabels1));
      Put(o, "renamedLabels2", JInt(info.dirtyLabels2));
      LabelsToJson(o, info, cs);
      PutIf(o, "misc", info.misc & 0xFEFF);
      PutIf(o, "reserved", info.reserved);
      PutIf(o, "reserved2", info.reserved2);
      PutRawIf(o, "extra", info.extra);
      break;
    }
    case App::kCalendar: {
      const CalendarAppInfo info = DecodeCalendarAppInfo(block);
      CommonInfo(o, info, cs, categories);
      ColorsToJson(o, info.colors);
      Put(o, "startOfWeek", JInt(info.startOfWeek));
      PutIf(o, "reserved2", info.reserved2);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
    case App::kTasks: {
      const TasksAppInfo info = DecodeTasksAppInfo(block);
      CommonInfo(o, info, cs, categories);
      ColorsToJson(o, info.colors);
      Put(o, "dirty", JInt(info.dirty));
      Put(o, "sortOrder", JInt(info.sortOrder));
      PutIf(o, "reserved2", info.reserved2);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
    default: {
      const MemosAppInfo info = DecodeMemosAppInfo(block);
      CommonInfo(o, info, cs, categories);
      ColorsToJson(o, info.colors);
      Put(o, "sortOrder", JInt(info.sortOrder));
      PutIf(o, "reserved2", info.reserved2);
      PutIf(o, "reserved3", info.reserved3);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
  }
}

Bytes LaterAppInfoFromJson(App app, const Reader& r, const Charset& cs, CategoryInfo& categories,
                           ImportChecks& checks) {
  const auto extra = [&](std::string usual) { return r.Has("extra") ? r.Raw("extra") : usual; };
  switch (app) {
    case App::kContacts: {
      ContactsAppInfo info = ContactsAppInfo::Standard();
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.colors = ColorsFromJson(r);
      info.dirtyLabels1 = U32(r, "renamedLabels1");
      info.dirtyLabels2 = U32(r, "renamedLabels2");
      if (r.Has("labels")) {
        const JsonValue labels = Array(r, "labels");
        if (labels.items.size() < kContactsLabelsShort)
          Bad(r.At("labels") + " must list 49 labels at least");
        info.labels.clear();
        for (const JsonValue& l : labels.items) info.labels.push_back(LabelFromJson(l, r, cs));
      }
      info.labelPadding.assign(info.labels.size(), {});
      const JsonValue pads = Array(r, "labelPadding");
      if (!pads.items.empty() && pads.items.size() != info.labels.size())
        Bad(r.At("labelPadding") + " must list as many byte strings as there are labels");
      for (std::size_t i = 0; i < pads.items.size(); ++i)
        info.labelPadding[i] = LabelPaddingFromJson(pads.items[i], r);
      info.country = U8(r, "country", 23);
      info.misc = static_cast<std::uint16_t>(U16(r, "misc") |
                                             (r.Bool("sortByCompany", false) ? 0x0100 : 0));
      info.reserved = U8(r, "reserved");
      info.reserved2 = U16(r, "reserved2");
      info.extra = r.Raw("extra");
      if (info.extra.size() >= 16) Bad(r.At("extra") + " holds fewer than 16 bytes");
      return EncodeContactsAppInfo(info);
    }
    case App::kCalendar: {
      CalendarAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.colors = ColorsFromJson(r);
      info.startOfWeek = U8(r, "startOfWeek");
      info.reserved2 = U16(r, "reserved2");
      info.extra = extra(std::string(1, '\0'));
      return EncodeCalendarAppInfo(info);
    }
    case App::kTasks: {
      TasksAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.colors = ColorsFromJson(r);
      info.dirty = U16(r, "dirty");
      info.sortOrder = U8(r, "sortOrder");
      info.reserved2 = U16(r, "reserved2");
      info.extra = extra(std::string(1, '\0'));
      return EncodeTasksAppInfo(info);
    }
    default: {
      MemosAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.colors = ColorsFromJson(r);
      info.sortOrder = U8(r, "sortOrder");
      info.reserved2 = U16(r, "reserved2");
      info.reserved3 = U16(r, "reserved3");
      info.extra = extra(std::string(1, '\0'));
      return EncodeMemosAppInfo(info);
    }
  }
}

void LaterRecordToJson(App app, std::span<const std::uint8_t> record, const Charset& cs,
                       JsonValue& o) {
  switch (app) {
    case App::kContacts:
      ContactsToJson(DecodeContacts(record), cs, o);
      break;
    case App::kCalendar:
      CalendarToJson(DecodeCalendar(record), cs, o);
      break;
    default:
      try {
        TasksToJson(DecodeTasks(record), cs, o);
      } catch (const EPDBException& e) {
        // Some desktop software wrote To Do records into this database; nothing
        // marks them. Such a record is shown as its bytes, which import takes
        // back as they are, rather than stopping the export.
        Put(o, "undecodable", JString(e.what()));
        Put(o, "data",
            JString(Hex(std::string(reinterpret_cast<const char*>(record.data()), record.size()))));
      }
      break;
  }
}

Bytes LaterRecordFromJson(App app, const Reader& r, const Charset& cs, ImportChecks& checks) {
  switch (app) {
    case App::kContacts:
      return EncodeContacts(ContactsFromJson(r, cs));
    case App::kCalendar:
      return EncodeCalendar(CalendarFromJson(r, cs, checks));
    default:
      r.Get("undecodable");  // why export showed the record as its bytes
      if (r.Has("data")) {
        const std::string bytes = r.Raw("data");
        return Bytes(bytes.begin(), bytes.end());
      }
      return EncodeTasks(TasksFromJson(r, cs, checks));
  }
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

std::string Unbase64(std::string_view text, const std::string& where) {
  const auto value = [&](char c) -> std::uint32_t {
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<std::uint32_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    Bad(where + " must be base64 text");
  };
  std::string digits;
  for (char c : text) {
    if (c != '\r' && c != '\n' && c != ' ') digits += c;
  }
  while (!digits.empty() && digits.back() == '=') digits.pop_back();
  if (digits.size() % 4 == 1) Bad(where + " must be base64 text");
  std::string out;
  out.reserve(digits.size() * 3 / 4);
  for (std::size_t i = 0; i < digits.size(); i += 4) {
    const std::size_t n = std::min<std::size_t>(4, digits.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = (v << 6) | (k < n ? value(digits[i + k]) : 0u);
    for (std::size_t k = 0; k + 1 < n; ++k) out += static_cast<char>((v >> (16 - 8 * k)) & 0xFF);
  }
  return out;
}

}  // namespace corvane::cli
