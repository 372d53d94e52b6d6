// The vCard side of PimWriter, the line folding and escaping it shares with
// the iCalendar side, and the plain text of memos.
#include <cstdio>
#include <ctime>
#include <string_view>
#include <utility>

#include "corvane/apps/address.h"
#include "corvane/apps/memo.h"
#include "corvane/interchange/pim_formats.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace corvane::cli {

using namespace corvane::apps;

void AppendContentLine(std::string& out, std::string_view line) {
  constexpr std::size_t kMaxOctets = 75;
  std::size_t room = kMaxOctets;
  while (line.size() > room) {
    std::size_t cut = room;
    // Never inside a UTF-8 character: back up to the start of one.
    while (cut > 0 && (static_cast<std::uint8_t>(line[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0) cut = room;  // not UTF-8 at all; cannot happen with our texts
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    room = kMaxOctets - 1;  // the leading space counts
  }
  out.append(line);
  out += "\r\n";
}

std::string EscapeText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case ',':
        out += "\\,";
        break;
      case ';':
        out += "\\;";
        break;
      case '\r':
        if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
        out += "\\n";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        // Other control characters are not allowed in a content line.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += ' ';
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string PhoneProperty(std::uint8_t label, bool pref_phone, const std::string& value) {
  const std::string pref = pref_phone ? ",PREF" : "";
  switch (label) {
    case 0:
      return "TEL;TYPE=WORK,VOICE" + pref + ":" + value;
    case 1:
      return "TEL;TYPE=HOME,VOICE" + pref + ":" + value;
    case 2:
      return "TEL;TYPE=FAX" + pref + ":" + value;
    case 4:
      return "EMAIL;TYPE=INTERNET" + pref + ":" + value;
    case 5:
      return "TEL;TYPE=WORK,VOICE,MSG" + pref + ":" + value;
    case 6:
      return "TEL;TYPE=PAGER" + pref + ":" + value;
    case 7:
      return "TEL;TYPE=CELL,VOICE" + pref + ":" + value;
    default:
      return "TEL;TYPE=VOICE" + pref + ":" + value;
  }
}

PimWriter::PimWriter(const std::string& format, App app, std::string creator, const Charset& cs,
                     const CategoryInfo& categories, Output& out)
    : format_(format),
      app_(app),
      creator_(std::move(creator)),
      cs_(cs),
      categories_(categories),
      out_(out) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &utc);
  stamp_ = buf;
  if (format_ == "ical") {
    Line("BEGIN:VCALENDAR");
    Line("VERSION:2.0");
    Line("PRODID:-//Corvane//corvane " CORVANE_VERSION "//EN");
    Line("CALSCALE:GREGORIAN");
  }
}

void PimWriter::Finish() {
  if (format_ == "ical") Line("END:VCALENDAR");
}

std::string PimWriter::Uid(std::span<const std::uint8_t> record,
                           const AppRecordAttributes& attributes) {
  // The creator's bytes as they are where they are letters or digits.
  std::string uid;
  for (char c : creator_) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
      uid += c;
    } else {
      uid += '%' + Hex(std::string(1, c));
    }
  }
  if (attributes.uniqueID != 0) return uid + "-" + std::to_string(attributes.uniqueID) + "@corvane";
  std::uint64_t h = 0xcbf29ce484222325u;  // FNV-1a
  for (std::uint8_t b : record) h = (h ^ b) * 0x100000001b3u;
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  uid += std::string("-h") + buf;
  // Two records of the same bytes are still two entries.
  const int seen = hashed_uids_[uid]++;
  hashed_this_record_ = uid;
  // Appended, not "-" + ...: g++ 12 at -O3 warns falsely of that (-Wrestrict, GCC bug 105651).
  if (seen > 0) uid.append(1, '-').append(std::to_string(seen + 1));
  return uid + "@corvane";
}

std::string PimWriter::CategoryName(std::uint8_t index) const {
  return cs_.ToUtf8(categories_.names[index & 0x0F]);
}

void PimWriter::Add(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  // A record that fails half way leaves nothing behind.
  std::string& buf = out_.Buffer();
  const std::size_t mark = buf.size();
  hashed_this_record_.clear();
  try {
    if (format_ == "text") {
      // Memos one after another, a line holding a form feed between two.
      const MemoRecord m = DecodeMemo(record);
      if (count_ > 0) buf += "\f\n";
      const std::string text = cs_.ToUtf8(m.text);
      buf += text;
      if (text.empty() || text.back() != '\n') buf += '\n';
    } else if (format_ == "vcard") {
      if (app_ == App::kContacts) {
        AddContact(record, attributes);
      } else {
        AddCard(record, attributes);
      }
    } else if (app_ == App::kCalendar) {
      AddCalendarEvent(record, attributes);
    } else if (app_ == App::kTasks) {
      AddTask(record, attributes);
    } else if (app_ == App::kDatebook) {
      AddEvent(record, attributes);
    } else {
      AddToDo(record, attributes);
    }
  } catch (...) {
    buf.resize(mark);
    if (!hashed_this_record_.empty()) {
      const auto it = hashed_uids_.find(hashed_this_record_);
      if (--it->second == 0) hashed_uids_.erase(it);
    }
    throw;
  }
  ++count_;
}

void PimWriter::AddDamaged(std::int32_t index, std::span<const std::uint8_t> record,
                           const AppRecordAttributes& attributes, const std::string& reason) {
  const std::string bytes(reinterpret_cast<const char*>(record.data()), record.size());
  std::string flags;
  for (const auto& [on, name] :
       {std::pair{attributes.secret, "secret"}, std::pair{attributes.dirty, "dirty"},
        std::pair{attributes.busy, "busy"}}) {
    if (on) flags += std::string(flags.empty() ? "" : ",") + name;
  }
  const auto raw_properties = [&] {
    Line("X-CORVANE-INDEX:" + std::to_string(index));
    Line("X-CORVANE-DAMAGED:" + EscapeText(reason));
    Line("X-CORVANE-CATEGORY:" + std::to_string(attributes.category));
    Line("X-CORVANE-ATTRIBUTES:" + flags);
    Line("X-CORVANE-UNIQUEID:" + std::to_string(attributes.uniqueID));
    Line("X-CORVANE-DATA:" + Hex(bytes));
  };
  if (format_ == "text") {
    std::string& buf = out_.Buffer();
    if (count_ > 0) buf += "\f\n";
    buf += "[record " + std::to_string(index) + " does not decode (" + reason +
           "); its bytes, category " + std::to_string(attributes.category) +
           (flags.empty() ? "" : ", " + flags) + ", unique ID " +
           std::to_string(attributes.uniqueID) + ":]\n" + Hex(bytes) + "\n";
  } else if (format_ == "vcard") {
    // A card must have a name; this one says what it is.
    Line("BEGIN:VCARD");
    Line("VERSION:3.0");
    Line("N:;;;;");
    Line("FN:" + EscapeText("Damaged record " + std::to_string(index)));
    raw_properties();
    Line("END:VCARD");
  } else {
    // A component of its own, which calendars skip.
    Line("BEGIN:X-CORVANE-DAMAGED-RECORD");
    raw_properties();
    Line("END:X-CORVANE-DAMAGED-RECORD");
  }
  ++count_;
}

namespace {

// A name and, after byte 0x01, its reading (Japanese address books keep how
// a name is read there).
struct Reading {
  std::string name, reading;
};
Reading SplitReading(std::string text) {
  const std::size_t at = text.find('\x01');
  if (at == std::string::npos) return {std::move(text), {}};
  return {text.substr(0, at), text.substr(at + 1)};
}

// A parameter value, quoted when it holds what would end it; quotes and
// control characters have no place in one.
std::string ParamValue(std::string_view utf8) {
  std::string v;
  bool quote = false;
  for (char c : utf8) {
    if (c == '"' || (static_cast<unsigned char>(c) < 0x20 && c != '\t')) continue;
    if (c == ';' || c == ':' || c == ',') quote = true;
    v += c;
  }
  return quote ? '"' + v + '"' : v;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// What a custom field's label says it holds.
enum class DateLabel { kNone, kBirthday, kAnniversary };
DateLabel DateLabelOf(std::string_view label) {
  std::string l = AsciiLower(label);
  while (!l.empty() && (l.back() == ' ' || l.back() == ':')) l.pop_back();
  // The handheld's languages, and the usual English spellings.
  static constexpr std::string_view kBirthdays[] = {"birthday",           "bday",
                                                    "birth date",         "birthdate",
                                                    "date of birth",      "dob",
                                                    "geburtstag",         "aniversário",
                                                    "aniversario",        "cumpleaños",
                                                    "anniversaire",       "compleanno",
                                                    "data de nascimento", "fecha de nacimiento",
                                                    "date de naissance",  "verjaardag"};
  static constexpr std::string_view kAnniversaries[] = {"anniversary", "jahrestag", "hochzeitstag",
                                                        "wedding anniversary"};
  for (std::string_view b : kBirthdays) {
    if (l == b) return DateLabel::kBirthday;
  }
  for (std::string_view a : kAnniversaries) {
    if (l == a) return DateLabel::kAnniversary;
  }
  return DateLabel::kNone;
}

// "YYYY-MM-DD" from a text holding one unambiguous calendar date (YYYY-MM-DD,
// YYYYMMDD, YYYY/MM/DD or DD.MM.YYYY); empty otherwise.
std::string IsoDate(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const auto number = [&](std::size_t at, std::size_t n, int& v) {
    if (at + n > text.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    return true;
  };
  int y = 0, m = 0, d = 0;
  bool ok = false;
  if (text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4]) {
    ok = number(0, 4, y) && number(5, 2, m) && number(8, 2, d);
  } else if (text.size() == 8) {
    ok = number(0, 4, y) && number(4, 2, m) && number(6, 2, d);
  } else if (text.size() == 10 && text[2] == '.' && text[5] == '.') {
    ok = number(0, 2, d) && number(3, 2, m) && number(6, 4, y);
  }
  if (!ok || y < 1 || m < 1 || m > 12 || d < 1) return {};
  constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > (m == 2 && !leap ? 28 : kDays[m - 1])) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

}  // namespace

void PimWriter::AddCard(std::span<const std::uint8_t> record,
                        const AppRecordAttributes& attributes) {
  const AddressRecord a = DecodeAddress(record);
  const auto text = [&](AddressField f) {
    const auto& v = a[f];
    return v ? cs_.ToUtf8(*v) : std::string();
  };
  const Reading last = SplitReading(text(AddressField::kLastName));
  const Reading first = SplitReading(text(AddressField::kFirstName));
  const Reading company = SplitReading(text(AddressField::kCompany));
  std::string full = first.name;
  if (!last.name.empty()) full += (full.empty() ? "" : " ") + last.name;
  if (full.empty()) full = company.name;
  // A card must have a formatted name: without a name or company, the first
  // phone, e-mail address or line of the note that there is.
  for (int pass = 0; pass < 2 && full.empty(); ++pass) {
    for (std::size_t p = 0; p < 5 && full.empty(); ++p) {
      const auto field =
          static_cast<AddressField>(static_cast<std::size_t>(AddressField::kPhone1) + p);
      if ((a.phoneLabels[p] == 4) == (pass == 1)) full = text(field);
    }
  }
  if (full.empty()) {
    const std::string note = text(AddressField::kNote);
    full = note.substr(0, note.find_first_of("\r\n"));
  }
  if (full.empty()) full = "Record " + std::to_string(attributes.uniqueID);
  Line("BEGIN:VCARD");
  Line("VERSION:3.0");
  Line("N:" + EscapeText(last.name) + ";" + EscapeText(first.name) + ";;;");
  Line("FN:" + EscapeText(full));
  if (!last.reading.empty() || !first.reading.empty()) {
    std::string sort = last.reading;
    if (!first.reading.empty()) sort += (sort.empty() ? "" : " ") + first.reading;
    Line("SORT-STRING:" + EscapeText(sort));
  }
  if (!last.reading.empty()) Line("X-PHONETIC-LAST-NAME:" + EscapeText(last.reading));
  if (!first.reading.empty()) Line("X-PHONETIC-FIRST-NAME:" + EscapeText(first.reading));
  if (!company.name.empty()) Line("ORG:" + EscapeText(company.name));
  if (!company.reading.empty()) Line("X-PHONETIC-ORG:" + EscapeText(company.reading));
  if (a[AddressField::kTitle]) Line("TITLE:" + EscapeText(text(AddressField::kTitle)));
  for (std::size_t p = 0; p < 5; ++p) {
    const auto field =
        static_cast<AddressField>(static_cast<std::size_t>(AddressField::kPhone1) + p);
    if (!a[field] || a[field]->empty()) continue;
    Line(PhoneProperty(a.phoneLabels[p], p == a.displayPhone, EscapeText(text(field))));
  }
  const bool has_address = a[AddressField::kAddress] || a[AddressField::kCity] ||
                           a[AddressField::kState] || a[AddressField::kZipCode] ||
                           a[AddressField::kCountry];
  if (has_address) {
    Line("ADR:;;" + EscapeText(text(AddressField::kAddress)) + ";" +
         EscapeText(text(AddressField::kCity)) + ";" + EscapeText(text(AddressField::kState)) +
         ";" + EscapeText(text(AddressField::kZipCode)) + ";" +
         EscapeText(text(AddressField::kCountry)));
  }
  for (int c = 0; c < 4; ++c) {
    const auto field = static_cast<AddressField>(static_cast<int>(AddressField::kCustom1) + c);
    if (!a[field]) continue;
    const std::string value = text(field);
    const std::string& label = custom_labels_[static_cast<std::size_t>(c)];
    Line("X-PALM-CUSTOM" + std::to_string(c + 1) +
         (label.empty() ? "" : ";X-LABEL=" + ParamValue(label)) + ":" + EscapeText(value));
    const DateLabel kind = DateLabelOf(label);
    const std::string date = kind == DateLabel::kNone ? std::string() : IsoDate(value);
    if (date.empty()) continue;
    if (kind == DateLabel::kBirthday) {
      Line("BDAY;VALUE=date:" + date);
    } else {
      // A vCard 4 property, in the basic form that version takes.
      Line("ANNIVERSARY:" + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2));
    }
  }
  if (a[AddressField::kNote]) Line("NOTE:" + EscapeText(text(AddressField::kNote)));
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  Line("UID:" + Uid(record, attributes));
  Line("END:VCARD");
}

}  // namespace corvane::cli
