#include "corvane/interchange/apps_json_shared.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "corvane/apps/packed_date.h"

namespace corvane::cli {

void ImportChecks::Complain(const std::string& what) {
  if (!lenient) throw Exception(what);
  if (std::find(warned.begin(), warned.end(), what) != warned.end()) return;
  warned.push_back(what);
  std::fprintf(stderr, "corvane: warning: %s\n", what.c_str());
}

}  // namespace corvane::cli

namespace corvane::cli::apps_json {

std::uint16_t DateWord(const JsonValue* x, const std::string& what, std::uint16_t none) {
  if (!x || x->IsNull()) return none;
  if (x->kind == JsonValue::Kind::kString && x->text.size() == 10 && x->text[4] == '-' &&
      x->text[7] == '-') {
    PackedDate d;
    const char* s = x->text.data();
    const bool ok = std::from_chars(s, s + 4, d.year).ptr == s + 4 &&
                    std::from_chars(s + 5, s + 7, d.month).ptr == s + 7 &&
                    std::from_chars(s + 8, s + 10, d.day).ptr == s + 10;
    if (!ok || !d.Valid())
      Bad(what + " must be a date from 1904-01-01 to 2031-12-31, not " + x->text);
    return d.Word();
  }
  // Export writes dates; a number (the packed word) is taken too.
  if (x->kind != JsonValue::Kind::kNumber) {
    Bad(what + " must be a date YYYY-MM-DD from 1904-01-01 to 2031-12-31, not " + x->text);
  }
  return static_cast<std::uint16_t>(Reader::IntOf(*x, what, 0, 0xFFFF));
}

JsonValue DateJson(std::uint16_t word, int none) {
  if (word == none) return JNull();
  const std::string s = FormatPackedDate(word);
  return s.empty() ? JInt(word) : JString(s);
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> TimeOf(const JsonValue* x,
                                                            const std::string& what) {
  if (!x || x->IsNull()) return std::nullopt;
  if (x->kind == JsonValue::Kind::kString) {
    const std::string& t = x->text;
    const std::size_t colon = t.find(':');
    unsigned h = 0, m = 0;
    if (colon != std::string::npos) {
      const auto r1 = std::from_chars(t.data(), t.data() + colon, h);
      const auto r2 = std::from_chars(t.data() + colon + 1, t.data() + t.size(), m);
      if (r1.ptr == t.data() + colon && r2.ptr == t.data() + t.size() && colon > 0 &&
          colon + 1 < t.size() && h <= 255 && m <= 255) {
        return std::pair{static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(m)};
      }
    }
  }
  Bad(what + " must be HH:MM or null");
}

void PutIf(JsonValue& o, std::string key, std::int64_t v) {
  if (v != 0) Put(o, std::move(key), JInt(v));
}
void PutRawIf(JsonValue& o, std::string key, std::string_view bytes, std::string_view usual) {
  if (bytes != usual) Put(o, std::move(key), JString(Hex(bytes)));
}

std::string LabelFromJson(const JsonValue& item, const Reader& r, const Charset& cs) {
  if (item.kind != JsonValue::Kind::kString) Bad(r.At("labels") + " must hold strings");
  std::string label = cs.FromUtf8(item.text);
  if (label.size() > 16) Bad(r.At("labels") + ": \"" + item.text + "\" is longer than 16 bytes");
  return label;
}

std::string LabelPaddingFromJson(const JsonValue& item, const Reader& r) {
  if (item.kind != JsonValue::Kind::kString)
    Bad(r.At("labelPadding") + " must hold hexadecimal bytes");
  return Unhex(item.text, r.At("labelPadding"));
}

// ---- categories --------------------------------------------------------------

void CategoriesToJson(JsonValue& o, const CategoryInfo& c, const Charset& cs) {
  JsonValue list = JArray();
  for (std::size_t i = 0; i < 16; ++i) {
    JsonValue item = JObject();
    Put(item, "name", JString(cs.ToUtf8(c.names[i])));
    Put(item, "id", JInt(c.ids[i]));
    if (c.renamed & (1u << i)) Put(item, "renamed", JBool(true));
    PutRawIf(item, "padding", c.padding[i]);
    list.items.push_back(std::move(item));
  }
  Put(o, "categories", std::move(list));
  Put(o, "lastUniqueID", JInt(c.lastUniqueID));
  PutIf(o, "filler", c.filler);
}

CategoryInfo CategoriesFromJson(const Reader& r, const Charset& cs, ImportChecks& checks) {
  CategoryInfo c = CategoryInfo::Standard();
  if (std::optional<JsonValue> list = r.Nested("categories")) {
    if (list->kind != JsonValue::Kind::kArray || list->items.size() > 16)
      Bad(r.At("categories") + " must be an array of at most 16 categories");
    c.names.fill({});
    for (std::size_t i = 0; i < list->items.size(); ++i) {
      const Reader item(list->items[i], r.At("categories") + "[" + std::to_string(i) + "]");
      c.names[i] = item.Text("name", cs);
      if (c.names[i].size() > 16) Bad(item.At("name") + " is longer than 16 bytes");
      c.ids[i] = static_cast<std::uint8_t>(item.Int("id", 0, 255, static_cast<std::int64_t>(i)));
      if (item.Bool("renamed", false))
        c.renamed = static_cast<std::uint16_t>(c.renamed | (1u << i));
      // What an earlier name left after the zero; it goes back only while it
      // still fits behind the name.
      c.padding[i] = item.Raw("padding");
      item.CheckKeys(checks);
    }
  } else {
    // No table given (CSV): the standard names hold their slots until a
    // record names a slot otherwise.
    checks.provisionalSlots = 0;
    for (std::size_t i = 0; i < 16; ++i) {
      if (!c.names[i].empty())
        checks.provisionalSlots = static_cast<std::uint16_t>(checks.provisionalSlots | (1u << i));
    }
  }
  c.lastUniqueID = static_cast<std::uint8_t>(r.Int("lastUniqueID", 0, 255, 15));
  c.filler = static_cast<std::uint8_t>(r.Int("filler", 0, 255, 0));
  return c;
}

JsonValue CategoryJson(std::uint8_t index, const CategoryInfo& c, const Charset& cs) {
  const std::string& name = c.names[index];
  if (name.empty()) return JInt(index);
  for (std::size_t i = 0; i < index; ++i) {
    if (c.names[i] == name) return JInt(index);  // the name would find an earlier one
  }
  return JString(cs.ToUtf8(name));
}

std::uint8_t CategoryFrom(const Reader& r, const Charset& cs, CategoryInfo& c, bool may_add,
                          ImportChecks& checks) {
  const JsonValue* x = r.Get("category");
  const std::optional<std::int64_t> slot =
      r.Has("categoryIndex") ? std::optional(r.Int("categoryIndex", 0, 15, 0)) : std::nullopt;
  if (!x) return 0;
  if (x->kind == JsonValue::Kind::kNumber)
    return static_cast<std::uint8_t>(Reader::IntOf(*x, r.At("category"), 0, 15));
  const std::string name = r.Text("category", cs);
  const auto claim = [&](std::uint8_t i) {
    checks.provisionalSlots = static_cast<std::uint16_t>(checks.provisionalSlots & ~(1u << i));
    return i;
  };
  if (slot) {
    const auto i = static_cast<std::uint8_t>(*slot);
    if (c.names[i] == name) return claim(i);
    if (may_add && (c.names[i].empty() || (checks.provisionalSlots & (1u << i)) != 0)) {
      if (name.size() > 16) Bad(r.At("category") + " is longer than 16 bytes");
      c.names[i] = name;
      return claim(i);
    }
  }
  for (std::uint8_t i = 0; i < 16; ++i) {
    if (c.names[i] == name) return claim(i);
  }
  if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
    return static_cast<std::uint8_t>(Reader::IntOf(*x, r.At("category"), 0, 15));
  if (!may_add) Bad(r.At("category") + ": no category is named \"" + x->text + "\"");
  if (name.size() > 16) Bad(r.At("category") + " is longer than 16 bytes");
  for (std::uint8_t i = 1; i < 16; ++i) {
    if (c.names[i].empty()) {
      c.names[i] = name;
      return claim(i);
    }
  }
  Bad(r.At("category") + ": no free category for \"" + x->text + "\"");
}

}  // namespace corvane::cli::apps_json

namespace corvane::cli::apps_json {

// ---- date book parts, shared with Calendar and Tasks -------------------------

JsonValue RepeatToJson(const DatebookRepeat& rp) {
  JsonValue repeat = JObject();
  Put(repeat, "type", NameOr(kRepeatTypes, rp.type));
  Put(repeat, "frequency", JInt(rp.frequency));
  Put(repeat, "end", DateJson(rp.end, kNoDate));
  bool on_done = false;
  if (rp.type == static_cast<std::uint8_t>(RepeatType::kWeekly) && rp.repeatOn < 0x80) {
    JsonValue days = JArray();
    for (std::size_t d = 0; d < 7; ++d) {
      if (rp.repeatOn & (1u << d)) days.items.push_back(JString(std::string(kWeekdays[d])));
    }
    Put(repeat, "days", std::move(days));
    Put(repeat, "startOfWeek", JInt(rp.startOfWeek));
    on_done = true;
  } else if (rp.type == static_cast<std::uint8_t>(RepeatType::kMonthlyByDay) && rp.repeatOn < 35) {
    Put(repeat, "week", JInt(rp.repeatOn / 7));
    Put(repeat, "day", JString(std::string(kWeekdays[rp.repeatOn % 7])));
    on_done = true;
  }
  if (!on_done) PutIf(repeat, "repeatOn", rp.repeatOn);
  if (!on_done || rp.type != static_cast<std::uint8_t>(RepeatType::kWeekly))
    PutIf(repeat, "startOfWeek", rp.startOfWeek);
  PutIf(repeat, "reserved1", rp.reserved1);
  PutIf(repeat, "reserved2", rp.reserved2);
  return repeat;
}

DatebookRepeat RepeatFromJson(const Reader& rr, ImportChecks& checks) {
  DatebookRepeat rp;
  if (const JsonValue* t = rr.Get("type")) rp.type = NameOrNumber(kRepeatTypes, *t, rr.At("type"));
  rp.frequency = static_cast<std::uint8_t>(rr.Int("frequency", 0, 255, 1));
  if (rp.frequency == 0) checks.Complain(rr.At("frequency") + " must be 1 or more, not 0");
  rp.end = DateWord(rr.Get("end"), rr.At("end"), kNoDate);
  rp.startOfWeek = static_cast<std::uint8_t>(rr.Int("startOfWeek", 0, 255, 0));
  rp.reserved1 = static_cast<std::uint8_t>(rr.Int("reserved1", 0, 255, 0));
  rp.reserved2 = static_cast<std::uint8_t>(rr.Int("reserved2", 0, 255, 0));
  rp.repeatOn = static_cast<std::uint8_t>(rr.Int("repeatOn", 0, 255, 0));
  if (std::optional<JsonValue> days = rr.Nested("days")) {
    if (days->kind != JsonValue::Kind::kArray) Bad(rr.At("days") + " must be an array");
    for (const JsonValue& d : days->items) {
      const std::uint8_t day = NameOrNumber(kWeekdays, d, rr.At("days"));
      if (day > 6) Bad(rr.At("days") + ": a weekday is 0 to 6");
      rp.repeatOn = static_cast<std::uint8_t>(rp.repeatOn | (1u << day));
    }
  }
  if (rr.Has("week") || rr.Has("day")) {
    const auto week = rr.Int("week", 0, 4, 0);
    std::uint8_t day = 0;
    if (const JsonValue* d = rr.Get("day")) day = NameOrNumber(kWeekdays, *d, rr.At("day"));
    if (day > 6) Bad(rr.At("day") + ": a weekday is 0 to 6");
    rp.repeatOn = static_cast<std::uint8_t>(week * 7 + day);
  }
  return rp;
}

void DatebookToJson(const DatebookRecord& e, const Charset& cs, JsonValue& o) {
  const auto opt_text = [&](const std::optional<std::string>& bytes) {
    return bytes ? JString(cs.ToUtf8(*bytes)) : JNull();
  };
  Put(o, "date", DateJson(e.date, -1));
  const auto time = [](std::uint8_t h, std::uint8_t m) {
    return h == kNoTime && m == kNoTime ? JNull() : JString(FormatTime(h, m));
  };
  Put(o, "start", time(e.startHour, e.startMinute));
  Put(o, "end", time(e.endHour, e.endMinute));
  Put(o, "description", opt_text(e.description));
  Put(o, "note", opt_text(e.note));
  if (e.alarm) {
    JsonValue alarm = JObject();
    Put(alarm, "advance", JInt(e.alarm->advance));
    Put(alarm, "unit", NameOr(kAlarmUnits, e.alarm->unit));
    Put(o, "alarm", std::move(alarm));
  } else {
    Put(o, "alarm", JNull());
  }
  Put(o, "repeat", e.repeat ? RepeatToJson(*e.repeat) : JNull());
  if (e.exceptions) {
    JsonValue list = JArray();
    for (std::uint16_t d : *e.exceptions) list.items.push_back(DateJson(d, -1));
    Put(o, "exceptions", std::move(list));
  } else {
    Put(o, "exceptions", JNull());
  }
  if (e.whenChanged) Put(o, "whenChanged", JBool(true));
  PutIf(o, "flags", e.otherFlags);
  PutRawIf(o, "extra", e.extra);
}

void DatebookFromJson(const Reader& r, const Charset& cs, DatebookRecord& e,
                      ImportChecks& checks) {
  if (!r.Has("date")) checks.Complain(r.Where() + ": an event needs a \"date\"");
  e.date = DateWord(r.Get("date"), r.At("date"), 0);
  const auto time_of = [&](std::string_view key) {
    const auto t = TimeOf(r.Get(key), r.At(key));
    if (t && (t->first > 23 || t->second > 59))
      checks.Complain(r.At(key) + " must be a time from 00:00 to 23:59, not " + r.Get(key)->text);
    return t;
  };
  const auto start = time_of("start"), end = time_of("end");
  if (start.has_value() != end.has_value())
    checks.Complain(r.Where() + ": an event with a \"start\" needs an \"end\" and one " +
                    "with an \"end\" a \"start\"");
  if (start) std::tie(e.startHour, e.startMinute) = *start;
  if (end) std::tie(e.endHour, e.endMinute) = *end;
  e.description = r.OptText("description", cs);
  e.note = r.OptText("note", cs);
  if (std::optional<JsonValue> alarm = r.Nested("alarm")) {
    const Reader ar(*alarm, r.At("alarm"));
    DatebookAlarm al;
    al.advance = static_cast<std::int8_t>(ar.Int("advance", -128, 127, 0));
    if (const JsonValue* u = ar.Get("unit")) al.unit = NameOrNumber(kAlarmUnits, *u, ar.At("unit"));
    ar.CheckKeys(checks);
    e.alarm = al;
  }
  if (std::optional<JsonValue> repeat = r.Nested("repeat")) {
    const Reader rr(*repeat, r.At("repeat"));
    e.repeat = RepeatFromJson(rr, checks);
    rr.CheckKeys(checks);
  }
  if (std::optional<JsonValue> list = r.Nested("exceptions")) {
    if (list->kind != JsonValue::Kind::kArray) Bad(r.At("exceptions") + " must be an array");
    std::vector<std::uint16_t> dates;
    for (const JsonValue& d : list->items) dates.push_back(DateWord(&d, r.At("exceptions"), 0));
    e.exceptions = std::move(dates);
  }
  e.whenChanged = r.Bool("whenChanged", false);
  e.otherFlags = static_cast<std::uint16_t>(r.Int("flags", 0, 0x03FF, 0));
  e.extra = r.Raw("extra");
}

}  // namespace corvane::cli::apps_json
