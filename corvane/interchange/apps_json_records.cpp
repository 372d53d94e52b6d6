#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <tuple>

#include "corvane/apps/address.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/mail.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/packed_date.h"
#include "corvane/apps/todo.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/apps_json_later.h"
#include "corvane/interchange/apps_json_shared.h"
#include "corvane/interchange/record_damage.h"

namespace corvane::cli {

using namespace corvane::apps;

using namespace apps_json;

// ---- records -----------------------------------------------------------------

JsonValue RecordToJson(App app, std::span<const std::uint8_t> record,
                       const AppRecordAttributes& attributes, const CategoryInfo& categories,
                       const Charset& cs) {
  JsonValue o = JObject();
  // A database of no known application need not hold a category table.
  const bool table = app != App::kRaw && app != App::kDoc;
  Put(o, "category",
      table ? CategoryJson(attributes.category, categories, cs) : JInt(attributes.category));
  Put(o, "secret", JBool(attributes.secret));
  Put(o, "dirty", JBool(attributes.dirty));
  if (attributes.busy) Put(o, "busy", JBool(true));
  Put(o, "uniqueID", JInt(attributes.uniqueID));
  if (attributes.deleted) Put(o, "deleted", JBool(true));
  if (attributes.archived) Put(o, "archived", JBool(true));
  // A deleted entry has no values; an archived one usually has.
  if ((attributes.deleted || attributes.archived) && record.empty()) return o;
  const auto text = [&](const std::string& bytes) { return JString(cs.ToUtf8(bytes)); };
  const auto opt_text = [&](const std::optional<std::string>& bytes) {
    return bytes ? text(*bytes) : JNull();
  };
  switch (app) {
    case App::kContacts:
    case App::kCalendar:
    case App::kTasks:
      LaterRecordToJson(app, record, cs, o);
      break;
    case App::kMemo:
    case App::kMemos: {
      const MemoRecord m = DecodeMemo(record);
      Put(o, "text", text(m.text));
      PutRawIf(o, "extra", m.extra);
      break;
    }
    case App::kToDo: {
      const ToDoRecord t = DecodeToDo(record);
      Put(o, "description", text(t.description));
      Put(o, "note", text(t.note));
      Put(o, "due", DateJson(t.due, kNoDate));
      Put(o, "priority", JInt(t.priority));
      Put(o, "completed", JBool(t.completed));
      PutRawIf(o, "extra", t.extra);
      break;
    }
    case App::kAddress: {
      const AddressRecord a = DecodeAddress(record);
      for (std::size_t i = 0; i < kAddressFieldCount; ++i) {
        Put(o, std::string(kAddressKeys[i]), opt_text(a.fields[i]));
        if (i == static_cast<std::size_t>(AddressField::kPhone5)) {
          JsonValue labels = JArray();
          labels.items.reserve(5);
          for (std::uint8_t l : a.phoneLabels) labels.items.push_back(NameOr(kPhoneLabels, l));
          Put(o, "phoneLabels", std::move(labels));
          Put(o, "displayPhone",
              a.displayPhone < 5 ? JString("phone" + std::to_string(a.displayPhone + 1))
                                 : JInt(a.displayPhone));
        }
      }
      if (a.companyOffset != a.StandardCompanyOffset())
        Put(o, "companyOffset", JInt(a.companyOffset));
      PutIf(o, "labelReserved", a.reservedLabelBits);
      PutIf(o, "maskHighBits", a.maskHighBits);
      PutRawIf(o, "extra", a.extra);
      break;
    }
    case App::kDatebook:
      DatebookToJson(DecodeDatebook(record), cs, o);
      break;
    case App::kMail: {
      const MailRecord m = DecodeMail(record);
      const std::string day = m.date == 0 ? std::string() : FormatPackedDate(m.date);
      if (!day.empty()) {
        Put(o, "date", JString(day + "T" + FormatTime(m.hour, m.minute)));
      } else {
        Put(o, "date", JNull());
        PutIf(o, "dateWord", m.date);
        PutIf(o, "hour", m.hour);
        PutIf(o, "minute", m.minute);
      }
      for (std::size_t i = 0; i < kMailFieldCount; ++i)
        Put(o, std::string(kMailKeys[i]), text(m.fields[i]));
      Put(o, "read", JBool(m.read));
      Put(o, "priority", JInt(m.priority));
      Put(o, "signature", JBool(m.signature));
      Put(o, "confirmRead", JBool(m.confirmRead));
      Put(o, "confirmDelivery", JBool(m.confirmDelivery));
      Put(o, "addressing", JInt(m.addressing));
      PutIf(o, "flags", m.otherFlags);
      PutRawIf(o, "extra", m.extra);
      break;
    }
    case App::kDoc:
    case App::kRaw: {
      const std::string bytes(reinterpret_cast<const char*>(record.data()), record.size());
      Put(o, "data", JString(Hex(bytes)));
      break;
    }
  }
  return o;
}

Bytes RecordFromJson(App app, const JsonValue& tree, const Charset& cs, CategoryInfo& categories,
                     AppRecordAttributes& attributes, const std::string& where) {
  ImportChecks checks;
  return RecordFromJson(app, tree, cs, categories, attributes, where, checks);
}

namespace {

// The keys a record has beside its values.
constexpr std::string_view kAttributeKeys[] = {"category", "categoryIndex", "secret", "dirty",
                                               "busy",     "uniqueID",      "deleted", "archived"};

Bytes RecordBytes(App app, const Reader& r, const Charset& cs, ImportChecks& checks) {
  switch (app) {
    case App::kContacts:
    case App::kCalendar:
    case App::kTasks:
      return LaterRecordFromJson(app, r, cs, checks);
    case App::kMemo:
    case App::kMemos: {
      MemoRecord m;
      m.text = r.Text("text", cs);
      m.extra = r.Raw("extra");
      return EncodeMemo(m);
    }
    case App::kToDo: {
      ToDoRecord t;
      t.description = r.Text("description", cs);
      t.note = r.Text("note", cs);
      t.due = DateWord(r.Get("due"), r.At("due"), kNoDate);
      t.priority = static_cast<std::uint8_t>(r.Int("priority", 0, 0x7F, 1));
      t.completed = r.Bool("completed", false);
      t.extra = r.Raw("extra");
      return EncodeToDo(t);
    }
    case App::kAddress: {
      AddressRecord a;
      for (std::size_t i = 0; i < kAddressFieldCount; ++i)
        a.fields[i] = r.OptText(kAddressKeys[i], cs);
      if (std::optional<JsonValue> labels = r.Nested("phoneLabels")) {
        if (labels->kind != JsonValue::Kind::kArray || labels->items.size() != 5)
          Bad(r.At("phoneLabels") + " must list five labels");
        for (std::size_t i = 0; i < 5; ++i) {
          a.phoneLabels[i] = NameOrNumber(kPhoneLabels, labels->items[i], r.At("phoneLabels"));
          if (a.phoneLabels[i] > 15) Bad(r.At("phoneLabels") + ": a label number is 0 to 15");
        }
      }
      if (const JsonValue* d = r.Get("displayPhone")) {
        if (d->kind == JsonValue::Kind::kString && d->text.size() == 6 &&
            d->text.starts_with("phone") && d->text[5] >= '1' && d->text[5] <= '5') {
          a.displayPhone = static_cast<std::uint8_t>(d->text[5] - '1');
        } else {
          a.displayPhone =
              static_cast<std::uint8_t>(Reader::IntOf(*d, r.At("displayPhone"), 0, 15));
        }
      }
      a.companyOffset = r.Has("companyOffset")
                            ? static_cast<std::uint8_t>(r.Int("companyOffset", 0, 255, 0))
                            : a.StandardCompanyOffset();
      a.reservedLabelBits = static_cast<std::uint8_t>(r.Int("labelReserved", 0, 255, 0));
      a.maskHighBits = static_cast<std::uint32_t>(r.Int("maskHighBits", 0, 0xFFFFFFFF, 0));
      if (a.maskHighBits & ((1u << kAddressFieldCount) - 1))
        Bad(r.At("maskHighBits") + " may only hold bits from 19 up");
      a.extra = r.Raw("extra");
      return EncodeAddress(a);
    }
    case App::kDatebook: {
      DatebookRecord e;
      DatebookFromJson(r, cs, e, checks);
      return EncodeDatebook(e);
    }
    case App::kMail: {
      MailRecord m;
      if (const JsonValue* d = r.Get("date")) {
        const std::string& t = d->text;
        if (d->kind != JsonValue::Kind::kString || t.size() < 12 || t[10] != 'T')
          Bad(r.At("date") + " must be YYYY-MM-DDTHH:MM or null");
        const JsonValue day = JString(t.substr(0, 10));
        const JsonValue time = JString(t.substr(11));
        m.date = DateWord(&day, r.At("date"), 0);
        std::tie(m.hour, m.minute) = *TimeOf(&time, r.At("date"));
      } else {
        m.date = static_cast<std::uint16_t>(r.Int("dateWord", 0, 0xFFFF, 0));
        m.hour = static_cast<std::uint8_t>(r.Int("hour", 0, 255, 0));
        m.minute = static_cast<std::uint8_t>(r.Int("minute", 0, 255, 0));
      }
      for (std::size_t i = 0; i < kMailFieldCount; ++i) m.fields[i] = r.Text(kMailKeys[i], cs);
      m.read = r.Bool("read", false);
      m.priority = static_cast<std::uint8_t>(r.Int("priority", 0, 3, 1));
      m.signature = r.Bool("signature", false);
      m.confirmRead = r.Bool("confirmRead", false);
      m.confirmDelivery = r.Bool("confirmDelivery", false);
      m.addressing = static_cast<std::uint8_t>(r.Int("addressing", 0, 3, 0));
      m.otherFlags = static_cast<std::uint8_t>(r.Int("flags", 0, 255, 0));
      m.extra = r.Raw("extra");
      return EncodeMail(m);
    }
    case App::kDoc:
    case App::kRaw: {
      const std::string bytes = r.Raw("data");
      return Bytes(bytes.begin(), bytes.end());
    }
  }
  return {};
}

}  // namespace

Bytes RecordFromJson(App app, const JsonValue& tree, const Charset& cs, CategoryInfo& categories,
                     AppRecordAttributes& attributes, const std::string& where,
                     ImportChecks& checks) {
  const Reader r(tree, where);
  attributes.deleted = r.Bool("deleted", false);
  attributes.archived = r.Bool("archived", false);
  if (attributes.deleted && attributes.archived)
    Bad(where + ": a record is \"deleted\" (no data) or \"archived\" (its data kept), not both");
  attributes.category = CategoryFrom(r, cs, categories, app != App::kRaw && app != App::kDoc, checks);
  if (attributes.archived && attributes.category > 7)
    Bad(r.At("category") + ": an archived record's category is 0 to 7 (its bit 0x08 marks it)");
  attributes.secret = r.Bool("secret", false);
  attributes.dirty = r.Bool("dirty", false);
  attributes.busy = r.Bool("busy", false);
  attributes.uniqueIDGiven = r.Has("uniqueID");
  attributes.uniqueID = static_cast<std::uint32_t>(r.Int("uniqueID", 0, 0xFFFFFF, 0));
  bool values = !attributes.deleted;
  if (attributes.archived) {
    // An archived record without values is one whose data was empty.
    values = std::any_of(tree.members.begin(), tree.members.end(), [](const JsonMember& m) {
      return std::find(std::begin(kAttributeKeys), std::end(kAttributeKeys), m.first) ==
             std::end(kAttributeKeys);
    });
  }
  // A record that export kept raw because it did not decode goes back as it
  // was; "damaged" and "index" say why and where, and are known in every row
  // (a CSV file has the columns for all of them).
  const bool damaged = IsDamagedRecordJson(tree);
  r.Get("damaged");
  r.Get("index");
  Bytes data;
  if (damaged) {
    const std::string bytes = r.Raw("data");
    data.assign(bytes.begin(), bytes.end());
  } else if (values) {
    data = RecordBytes(app, r, cs, checks);
  }
  if (!values) r.AcceptNulls();  // the empty cells of a CSV row
  r.CheckKeys(checks, checks.csv);
  return data;
}

}  // namespace corvane::cli
