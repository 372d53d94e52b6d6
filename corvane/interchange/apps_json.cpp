#include "corvane/interchange/apps_json.h"

#include "corvane/interchange/output.h"

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
#include "corvane/interchange/apps_json_later.h"
#include "corvane/interchange/apps_json_shared.h"
#include "corvane/interchange/record_damage.h"

namespace corvane::cli {

using namespace corvane::apps;

using namespace apps_json;

namespace {

constexpr AppIdentity kApps[] = {
    {App::kMemo, "memo", "MemoDB", "memo", "DATA"},
    {App::kToDo, "todo", "ToDoDB", "todo", "DATA"},
    {App::kAddress, "address", "AddressDB", "addr", "DATA"},
    {App::kDatebook, "datebook", "DatebookDB", "date", "DATA"},
    {App::kMail, "mail", "MailDB", "mail", "DATA"},
    {App::kDoc, "doc", "", "REAd", "TEXt"},
    {App::kContacts, "contacts", "ContactsDB-PAdd", "PAdd", "DATA"},
    {App::kCalendar, "calendar", "CalendarDB-PDat", "PDat", "DATA"},
    {App::kTasks, "tasks", "TasksDB-PTod", "PTod", "DATA"},
    {App::kMemos, "memos", "MemosDB-PMem", "PMem", "DATA"},
    {App::kRaw, "raw", "", "", ""},
};

}  // namespace

// ---- public helpers ----------------------------------------------------------

const AppIdentity* AppByName(std::string_view name) noexcept {
  for (const AppIdentity& a : kApps) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

const AppIdentity& Identity(App app) noexcept {
  return kApps[static_cast<std::size_t>(app)];
}

App AppFromHeader(std::string_view creator, std::string_view type) noexcept {
  for (const AppIdentity& a : kApps) {
    if (a.app != App::kRaw && a.creator == creator && a.type == type) return a.app;
  }
  return App::kRaw;
}

JsonValue JString(std::string utf8) {
  JsonValue v;
  v.kind = JsonValue::Kind::kString;
  v.text = std::move(utf8);
  return v;
}
JsonValue JInt(std::int64_t n) {
  JsonValue v;
  v.kind = JsonValue::Kind::kNumber;
  v.text = std::to_string(n);
  return v;
}
JsonValue JBool(bool b) {
  JsonValue v;
  v.kind = JsonValue::Kind::kBool;
  v.boolean = b;
  return v;
}
JsonValue JNull() {
  return JsonValue{};
}
JsonValue JObject() {
  JsonValue v;
  v.kind = JsonValue::Kind::kObject;
  return v;
}
JsonValue JArray() {
  JsonValue v;
  v.kind = JsonValue::Kind::kArray;
  return v;
}
void Put(JsonValue& object, std::string key, JsonValue value) {
  object.members.push_back(JsonMember{std::move(key), std::move(value)});
}

std::string FormatPackedDate(std::uint16_t word) {
  const PackedDate d = PackedDate::FromWord(word);
  if (!d.Valid()) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string FormatTime(std::uint8_t hour, std::uint8_t minute) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u", unsigned{hour}, unsigned{minute});
  return buf;
}

std::string Hex(std::string_view bytes) {
  std::string out;
  AppendHex(out, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               bytes.size()));
  return out;
}

std::string Unhex(std::string_view hex, const std::string& where) {
  const auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    Bad(where + " must be hexadecimal bytes");
  };
  if (hex.size() % 2 != 0) Bad(where + " must be hexadecimal bytes");
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  }
  return out;
}

std::string_view PhoneLabelName(std::uint8_t label) noexcept {
  return label < kPhoneLabels.size() ? kPhoneLabels[label] : std::string_view();
}

JsonValue AppInfoToJson(App app, std::span<const std::uint8_t> block, const Charset& cs,
                        CategoryInfo& categories) {
  JsonValue o = JObject();
  switch (app) {
    case App::kMemo: {
      const MemoAppInfo info = DecodeMemoAppInfo(block);
      CommonInfo(o, info, cs, categories);
      Put(o, "sortOrder", JInt(info.sortOrder));
      PutIf(o, "reserved", info.reserved);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
    case App::kToDo: {
      const ToDoAppInfo info = DecodeToDoAppInfo(block);
      CommonInfo(o, info, cs, categories);
      Put(o, "dirty", JInt(info.dirty));
      Put(o, "sortOrder", JInt(info.sortOrder));
      PutIf(o, "reserved", info.reserved);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
    case App::kAddress: {
      const AddressAppInfo info = DecodeAddressAppInfo(block);
      CommonInfo(o, info, cs, categories);
      Put(o, "renamedFields", JInt(info.renamedFields));
      LabelsToJson(o, info, cs);
      PutIf(o, "misc", info.misc & 0xFE);
      PutIf(o, "reserved", info.reserved);
      PutRawIf(o, "extra", info.extra, std::string_view("\0\0", 2));
      break;
    }
    case App::kDatebook: {
      const DatebookAppInfo info = DecodeDatebookAppInfo(block);
      CommonInfo(o, info, cs, categories);
      Put(o, "startOfWeek", JInt(info.startOfWeek));
      PutIf(o, "reserved", info.reserved);
      PutRawIf(o, "extra", info.extra, std::string_view("\0", 1));
      break;
    }
    case App::kMail: {
      const MailAppInfo info = DecodeMailAppInfo(block);
      CommonInfo(o, info, cs, categories);
      Put(o, "dirty", JInt(info.dirty));
      Put(o, "sortOrder", JInt(info.sortOrder));
      Put(o, "unsentID", JInt(info.unsentID));
      Put(o, "signatureOffset", JInt(info.signatureOffset));
      PutIf(o, "reserved", info.reserved);
      PutIf(o, "reserved2", info.reserved2);
      PutRawIf(o, "extra", info.extra);
      break;
    }
    case App::kContacts:
    case App::kCalendar:
    case App::kTasks:
    case App::kMemos:
      LaterAppInfoToJson(app, block, cs, categories, o);
      break;
    case App::kDoc:
    case App::kRaw: {
      categories = CategoryInfo::Standard();
      categories.names[0].clear();
      if (block.size() >= kCategoryPartSize) {
        ByteReader in(block);
        categories = DecodeCategoryInfo(in, 1);
      }
      const std::string bytes(reinterpret_cast<const char*>(block.data()), block.size());
      Put(o, "data", JString(Hex(bytes)));
      break;
    }
  }
  return o;
}

Bytes AppInfoFromJson(App app, const JsonValue* tree, const Charset& cs, CategoryInfo& categories) {
  ImportChecks checks;
  return AppInfoFromJson(app, tree, cs, categories, checks);
}

namespace {

Bytes AppInfoBytes(App app, bool damaged, const Reader& r, const Charset& cs,
                   CategoryInfo& categories, ImportChecks& checks) {
  const auto u8 = [&](std::string_view key, std::int64_t fallback = 0) {
    return static_cast<std::uint8_t>(r.Int(key, 0, 0xFF, fallback));
  };
  const auto u16 = [&](std::string_view key) {
    return static_cast<std::uint16_t>(r.Int(key, 0, 0xFFFF, 0));
  };
  const auto extra = [&](std::string usual) { return r.Has("extra") ? r.Raw("extra") : usual; };
  // A block that export kept raw because it did not decode goes back as it was.
  switch (damaged ? App::kRaw : app) {
    case App::kMemo: {
      MemoAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.sortOrder = u8("sortOrder");
      info.reserved = static_cast<std::uint32_t>(r.Int("reserved", 0, 0xFFFFFFFF, 0));
      info.extra = extra(std::string(1, '\0'));
      return EncodeMemoAppInfo(info);
    }
    case App::kToDo: {
      ToDoAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.dirty = u16("dirty");
      info.sortOrder = u8("sortOrder");
      info.reserved = u16("reserved");
      info.extra = extra(std::string(1, '\0'));
      return EncodeToDoAppInfo(info);
    }
    case App::kAddress: {
      AddressAppInfo info = AddressAppInfo::Standard();
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.renamedFields = static_cast<std::uint32_t>(r.Int("renamedFields", 0, 0xFFFFFFFF, 0));
      if (std::optional<JsonValue> labels = r.Nested("labels")) {
        if (labels->kind != JsonValue::Kind::kArray || labels->items.size() != kAddressLabelCount)
          Bad(r.At("labels") + " must list 22 labels");
        for (std::size_t i = 0; i < kAddressLabelCount; ++i)
          info.labels[i] = LabelFromJson(labels->items[i], r, cs);
      }
      if (std::optional<JsonValue> pads = r.Nested("labelPadding")) {
        if (pads->kind != JsonValue::Kind::kArray || pads->items.size() != kAddressLabelCount)
          Bad(r.At("labelPadding") + " must list 22 byte strings");
        for (std::size_t i = 0; i < kAddressLabelCount; ++i)
          info.labelPadding[i] = LabelPaddingFromJson(pads->items[i], r);
      }
      info.country = u8("country");
      info.misc = static_cast<std::uint8_t>(u8("misc") | (r.Bool("sortByCompany", false) ? 1 : 0));
      info.reserved = u16("reserved");
      info.extra = extra(std::string(2, '\0'));
      return EncodeAddressAppInfo(info);
    }
    case App::kDatebook: {
      DatebookAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.startOfWeek = u8("startOfWeek");
      info.reserved = u16("reserved");
      info.extra = extra(std::string(1, '\0'));
      return EncodeDatebookAppInfo(info);
    }
    case App::kMail: {
      MailAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs, checks);
      info.dirty = u16("dirty");
      info.sortOrder = u8("sortOrder");
      info.unsentID = static_cast<std::uint32_t>(r.Int("unsentID", 0, 0xFFFFFFFF, 0));
      info.signatureOffset = u16("signatureOffset");
      info.reserved = u16("reserved");
      info.reserved2 = u8("reserved2");
      info.extra = extra(std::string());
      return EncodeMailAppInfo(info);
    }
    case App::kContacts:
    case App::kCalendar:
    case App::kTasks:
    case App::kMemos:
      return LaterAppInfoFromJson(app, r, cs, categories, checks);
    case App::kDoc:
    case App::kRaw: {
      const std::string bytes = r.Raw("data");
      categories = CategoryInfo::Standard();
      categories.names[0].clear();
      if (bytes.size() >= kCategoryPartSize) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        ByteReader in(std::span<const std::uint8_t>(p, bytes.size()));
        categories = DecodeCategoryInfo(in, 1);
      }
      return Bytes(bytes.begin(), bytes.end());
    }
  }
  return {};
}

}  // namespace

Bytes AppInfoFromJson(App app, const JsonValue* tree, const Charset& cs, CategoryInfo& categories,
                      ImportChecks& checks) {
  const JsonValue empty = JObject();
  const Reader r(tree && !tree->IsNull() ? *tree : empty, "\"appInfo\"");
  const bool damaged = tree && IsDamagedRecordJson(*tree);
  if (damaged) {
    // The attributes beside a block kept raw say nothing of the block.
    for (const char* key : {"damaged", "category", "secret", "dirty", "busy"}) r.Get(key);
  }
  Bytes block = AppInfoBytes(app, damaged, r, cs, categories, checks);
  r.CheckKeys(checks);
  return block;
}

}  // namespace corvane::cli
