// The vCard side of PimWriter, the line folding and escaping it shares with
// the iCalendar side, and the plain text of memos.
#include <ctime>

#include "corvane/apps/address.h"
#include "corvane/apps/memo.h"
#include "tools/pim_formats.h"

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

PimWriter::PimWriter(const std::string& format, App app, const Charset& cs,
                     const CategoryInfo& categories, Output& out)
    : format_(format), app_(app), cs_(cs), categories_(categories), out_(out) {
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

std::string PimWriter::Uid(const AppRecordAttributes& attributes) const {
  return std::string(Identity(app_).creator) + "-" + std::to_string(attributes.uniqueID) + "-" +
         std::to_string(count_) + "@corvane";
}

std::string PimWriter::CategoryName(std::uint8_t index) const {
  return cs_.ToUtf8(categories_.names[index & 0x0F]);
}

void PimWriter::Add(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  ++count_;
  if (format_ == "text") {
    // Memos one after another, a line holding a form feed between two.
    const MemoRecord m = DecodeMemo(record);
    std::string& buf = out_.Buffer();
    if (count_ > 1) buf += "\f\n";
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
}

void PimWriter::AddCard(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  const AddressRecord a = DecodeAddress(record);
  const auto text = [&](AddressField f) {
    const auto& v = a[f];
    return v ? cs_.ToUtf8(*v) : std::string();
  };
  const std::string last = text(AddressField::kLastName);
  const std::string first = text(AddressField::kFirstName);
  const std::string company = text(AddressField::kCompany);
  std::string full = first;
  if (!last.empty()) full += (full.empty() ? "" : " ") + last;
  if (full.empty()) full = company;
  Line("BEGIN:VCARD");
  Line("VERSION:3.0");
  Line("N:" + EscapeText(last) + ";" + EscapeText(first) + ";;;");
  Line("FN:" + EscapeText(full));
  if (!company.empty()) Line("ORG:" + EscapeText(company));
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
    if (a[field]) Line("X-PALM-CUSTOM" + std::to_string(c + 1) + ":" + EscapeText(text(field)));
  }
  if (a[AddressField::kNote]) Line("NOTE:" + EscapeText(text(AddressField::kNote)));
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  Line("UID:" + Uid(attributes));
  Line("END:VCARD");
}

}  // namespace corvane::cli
