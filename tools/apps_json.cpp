#include "tools/apps_json.h"

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

namespace corvane::cli {

using namespace corvane::apps;

namespace {

constexpr AppIdentity kApps[] = {
    {App::kMemo, "memo", "MemoDB", "memo", "DATA"},
    {App::kToDo, "todo", "ToDoDB", "todo", "DATA"},
    {App::kAddress, "address", "AddressDB", "addr", "DATA"},
    {App::kDatebook, "datebook", "DatebookDB", "date", "DATA"},
    {App::kMail, "mail", "MailDB", "mail", "DATA"},
    {App::kDoc, "doc", "", "REAd", "TEXt"},
    {App::kRaw, "raw", "", "", ""},
};

constexpr std::array<std::string_view, 8> kPhoneLabels = {"work",  "home", "fax",   "other",
                                                          "email", "main", "pager", "mobile"};
constexpr std::array<std::string_view, 3> kAlarmUnits = {"minutes", "hours", "days"};
constexpr std::array<std::string_view, 6> kRepeatTypes = {
    "none", "daily", "weekly", "monthlyByDay", "monthlyByDate", "yearly"};
constexpr std::array<std::string_view, 7> kWeekdays = {"sun", "mon", "tue", "wed",
                                                       "thu", "fri", "sat"};
constexpr std::array<std::string_view, kAddressFieldCount> kAddressKeys = {
    "lastName", "firstName", "company", "phone1",  "phone2",  "phone3",  "phone4",
    "phone5",   "address",   "city",    "state",   "zipCode", "country", "title",
    "custom1",  "custom2",   "custom3", "custom4", "note"};
constexpr std::array<std::string_view, kMailFieldCount> kMailKeys = {
    "subject", "from", "to", "cc", "bcc", "replyTo", "sentTo", "body"};

[[noreturn]] void Bad(const std::string& what) {
  throw Exception(what);
}

// Reading a tree's members, with the place for messages.
class Reader {
 public:
  Reader(const JsonValue& v, std::string where) : v_(v), where_(std::move(where)) {
    if (v.kind != JsonValue::Kind::kObject) Bad(where_ + " must be an object");
  }
  const std::string& Where() const { return where_; }
  std::string At(std::string_view key) const { return where_ + ".\"" + std::string(key) + "\""; }
  // Missing and null are both "nothing".
  const JsonValue* Get(std::string_view key) const {
    const JsonValue* x = v_.Find(key);
    return x == nullptr || x->IsNull() ? nullptr : x;
  }
  bool Has(std::string_view key) const { return Get(key) != nullptr; }

  std::optional<std::string> OptText(std::string_view key, const Charset& cs) const {
    const JsonValue* x = Get(key);
    if (!x) return std::nullopt;
    if (x->kind != JsonValue::Kind::kString) Bad(At(key) + " must be a string");
    try {
      return cs.FromUtf8(x->text);
    } catch (const EConvertError& e) {
      Bad(At(key) + ": " + e.what());
    }
  }
  std::string Text(std::string_view key, const Charset& cs) const {
    return OptText(key, cs).value_or(std::string());
  }
  std::int64_t Int(std::string_view key, std::int64_t lo, std::int64_t hi,
                   std::int64_t fallback) const {
    const JsonValue* x = Get(key);
    if (!x) return fallback;
    return IntOf(*x, At(key), lo, hi);
  }
  static std::int64_t IntOf(const JsonValue& x, const std::string& what, std::int64_t lo,
                            std::int64_t hi) {
    if (x.kind != JsonValue::Kind::kNumber && x.kind != JsonValue::Kind::kString)
      Bad(what + " must be a whole number");
    std::int64_t n = 0;
    const auto r = std::from_chars(x.text.data(), x.text.data() + x.text.size(), n);
    if (r.ec != std::errc() || r.ptr != x.text.data() + x.text.size() || n < lo || n > hi) {
      Bad(what + " must be a whole number from " + std::to_string(lo) + " to " +
          std::to_string(hi) + ", not " + x.text);
    }
    return n;
  }
  bool Bool(std::string_view key, bool fallback) const {
    const JsonValue* x = Get(key);
    if (!x) return fallback;
    if (x->kind == JsonValue::Kind::kBool) return x->boolean;
    if (x->kind == JsonValue::Kind::kString && (x->text == "true" || x->text == "false"))
      return x->text == "true";
    Bad(At(key) + " must be true or false");
  }
  // An object or array, or one written as JSON text in a string (CSV).
  std::optional<JsonValue> Nested(std::string_view key) const {
    const JsonValue* x = Get(key);
    if (!x) return std::nullopt;
    if (x->kind == JsonValue::Kind::kString) {
      try {
        JsonValue parsed = ParseJson(x->text);
        if (parsed.IsNull()) return std::nullopt;
        return parsed;
      } catch (const JsonError& e) {
        Bad(At(key) + ": " + e.what());
      }
    }
    return *x;
  }
  std::string Raw(std::string_view key) const {
    const JsonValue* x = Get(key);
    if (!x) return {};
    if (x->kind != JsonValue::Kind::kString) Bad(At(key) + " must be hexadecimal bytes");
    return Unhex(x->text, At(key));
  }

 private:
  const JsonValue& v_;
  std::string where_;
};

// A packed date from "YYYY-MM-DD" or the word as a number; `none` for null.
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
  return static_cast<std::uint16_t>(Reader::IntOf(*x, what, 0, 0xFFFF));
}

JsonValue DateJson(std::uint16_t word, int none) {
  if (word == none) return JNull();
  const std::string s = FormatPackedDate(word);
  return s.empty() ? JInt(word) : JString(s);
}

// "HH:MM" (any two numbers up to 255); nullopt for null.
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

template <std::size_t N>
JsonValue NameOr(const std::array<std::string_view, N>& names, std::uint8_t v) {
  return v < N ? JString(std::string(names[v])) : JInt(v);
}

template <std::size_t N>
std::uint8_t NameOrNumber(const std::array<std::string_view, N>& names, const JsonValue& x,
                          const std::string& what) {
  if (x.kind == JsonValue::Kind::kString) {
    for (std::size_t i = 0; i < N; ++i) {
      if (names[i] == x.text) return static_cast<std::uint8_t>(i);
    }
  }
  if (x.kind == JsonValue::Kind::kNumber ||
      (x.kind == JsonValue::Kind::kString && !x.text.empty() && x.text[0] >= '0' &&
       x.text[0] <= '9')) {
    return static_cast<std::uint8_t>(Reader::IntOf(x, what, 0, 255));
  }
  std::string list;
  for (std::string_view n : names) list += (list.empty() ? "" : ", ") + std::string(n);
  Bad(what + " must be one of " + list + " or a number, not " + x.text);
}

void PutIf(JsonValue& o, std::string key, std::int64_t v) {
  if (v != 0) Put(o, std::move(key), JInt(v));
}
void PutRawIf(JsonValue& o, std::string key, std::string_view bytes, std::string_view usual = {}) {
  if (bytes != usual) Put(o, std::move(key), JString(Hex(bytes)));
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

CategoryInfo CategoriesFromJson(const Reader& r, const Charset& cs) {
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

// The category a record names: by name, by index, or - when the table may
// grow - a name the table lacks put in its first unnamed slot.
std::uint8_t CategoryFrom(const Reader& r, const Charset& cs, CategoryInfo& c, bool may_add) {
  const JsonValue* x = r.Get("category");
  if (!x) return 0;
  if (x->kind == JsonValue::Kind::kNumber)
    return static_cast<std::uint8_t>(Reader::IntOf(*x, r.At("category"), 0, 15));
  const std::string name = r.Text("category", cs);
  for (std::uint8_t i = 0; i < 16; ++i) {
    if (c.names[i] == name) return i;
  }
  if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
    return static_cast<std::uint8_t>(Reader::IntOf(*x, r.At("category"), 0, 15));
  if (!may_add) Bad(r.At("category") + ": no category is named \"" + x->text + "\"");
  if (name.size() > 16) Bad(r.At("category") + " is longer than 16 bytes");
  for (std::uint8_t i = 1; i < 16; ++i) {
    if (c.names[i].empty()) {
      c.names[i] = name;
      return i;
    }
  }
  Bad(r.At("category") + ": no free category for \"" + x->text + "\"");
}

// ---- application-info blocks ------------------------------------------------

template <class Info>
void CommonInfo(JsonValue& o, const Info& info, const Charset& cs, CategoryInfo& categories) {
  categories = info.categories;
  CategoriesToJson(o, info.categories, cs);
}

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
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
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
  const auto labels_json = [&](const auto& labels) {
    JsonValue list = JArray();
    for (const std::string& l : labels) list.items.push_back(JString(cs.ToUtf8(l)));
    return list;
  };
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
      Put(o, "labels", labels_json(info.labels));
      if (std::any_of(info.labelPadding.begin(), info.labelPadding.end(),
                      [](const std::string& p) { return !p.empty(); })) {
        JsonValue list = JArray();
        for (const std::string& p : info.labelPadding) list.items.push_back(JString(Hex(p)));
        Put(o, "labelPadding", std::move(list));
      }
      Put(o, "country", JInt(info.country));
      Put(o, "sortByCompany", JBool(info.SortByCompany()));
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
  const JsonValue empty = JObject();
  const Reader r(tree && !tree->IsNull() ? *tree : empty, "\"appInfo\"");
  const auto u8 = [&](std::string_view key, std::int64_t fallback = 0) {
    return static_cast<std::uint8_t>(r.Int(key, 0, 0xFF, fallback));
  };
  const auto u16 = [&](std::string_view key) {
    return static_cast<std::uint16_t>(r.Int(key, 0, 0xFFFF, 0));
  };
  const auto extra = [&](std::string usual) { return r.Has("extra") ? r.Raw("extra") : usual; };
  switch (app) {
    case App::kMemo: {
      MemoAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs);
      info.sortOrder = u8("sortOrder");
      info.reserved = static_cast<std::uint32_t>(r.Int("reserved", 0, 0xFFFFFFFF, 0));
      info.extra = extra(std::string(1, '\0'));
      return EncodeMemoAppInfo(info);
    }
    case App::kToDo: {
      ToDoAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs);
      info.dirty = u16("dirty");
      info.sortOrder = u8("sortOrder");
      info.reserved = u16("reserved");
      info.extra = extra(std::string(1, '\0'));
      return EncodeToDoAppInfo(info);
    }
    case App::kAddress: {
      AddressAppInfo info = AddressAppInfo::Standard();
      info.categories = categories = CategoriesFromJson(r, cs);
      info.renamedFields = static_cast<std::uint32_t>(r.Int("renamedFields", 0, 0xFFFFFFFF, 0));
      if (std::optional<JsonValue> labels = r.Nested("labels")) {
        if (labels->kind != JsonValue::Kind::kArray || labels->items.size() != kAddressLabelCount)
          Bad(r.At("labels") + " must list 22 labels");
        for (std::size_t i = 0; i < kAddressLabelCount; ++i) {
          const JsonValue& l = labels->items[i];
          if (l.kind != JsonValue::Kind::kString) Bad(r.At("labels") + " must hold strings");
          info.labels[i] = cs.FromUtf8(l.text);
          if (info.labels[i].size() > 16)
            Bad(r.At("labels") + ": \"" + l.text + "\" is longer than 16 bytes");
        }
      }
      if (std::optional<JsonValue> pads = r.Nested("labelPadding")) {
        if (pads->kind != JsonValue::Kind::kArray || pads->items.size() != kAddressLabelCount)
          Bad(r.At("labelPadding") + " must list 22 byte strings");
        for (std::size_t i = 0; i < kAddressLabelCount; ++i) {
          if (pads->items[i].kind != JsonValue::Kind::kString)
            Bad(r.At("labelPadding") + " must hold hexadecimal bytes");
          info.labelPadding[i] = Unhex(pads->items[i].text, r.At("labelPadding"));
        }
      }
      info.country = u8("country");
      info.misc = static_cast<std::uint8_t>(u8("misc") | (r.Bool("sortByCompany", false) ? 1 : 0));
      info.reserved = u16("reserved");
      info.extra = extra(std::string(2, '\0'));
      return EncodeAddressAppInfo(info);
    }
    case App::kDatebook: {
      DatebookAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs);
      info.startOfWeek = u8("startOfWeek");
      info.reserved = u16("reserved");
      info.extra = extra(std::string(1, '\0'));
      return EncodeDatebookAppInfo(info);
    }
    case App::kMail: {
      MailAppInfo info;
      info.categories = categories = CategoriesFromJson(r, cs);
      info.dirty = u16("dirty");
      info.sortOrder = u8("sortOrder");
      info.unsentID = static_cast<std::uint32_t>(r.Int("unsentID", 0, 0xFFFFFFFF, 0));
      info.signatureOffset = u16("signatureOffset");
      info.reserved = u16("reserved");
      info.reserved2 = u8("reserved2");
      info.extra = extra(std::string());
      return EncodeMailAppInfo(info);
    }
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
  const auto text = [&](const std::string& bytes) { return JString(cs.ToUtf8(bytes)); };
  const auto opt_text = [&](const std::optional<std::string>& bytes) {
    return bytes ? text(*bytes) : JNull();
  };
  switch (app) {
    case App::kMemo: {
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
    case App::kDatebook: {
      const DatebookRecord e = DecodeDatebook(record);
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
      if (const auto& rp = e.repeat) {
        JsonValue repeat = JObject();
        Put(repeat, "type", NameOr(kRepeatTypes, rp->type));
        Put(repeat, "frequency", JInt(rp->frequency));
        Put(repeat, "end", DateJson(rp->end, kNoDate));
        bool on_done = false;
        if (rp->type == static_cast<std::uint8_t>(RepeatType::kWeekly) && rp->repeatOn < 0x80) {
          JsonValue days = JArray();
          for (std::size_t d = 0; d < 7; ++d) {
            if (rp->repeatOn & (1u << d)) days.items.push_back(JString(std::string(kWeekdays[d])));
          }
          Put(repeat, "days", std::move(days));
          Put(repeat, "startOfWeek", JInt(rp->startOfWeek));
          on_done = true;
        } else if (rp->type == static_cast<std::uint8_t>(RepeatType::kMonthlyByDay) &&
                   rp->repeatOn < 35) {
          Put(repeat, "week", JInt(rp->repeatOn / 7));
          Put(repeat, "day", JString(std::string(kWeekdays[rp->repeatOn % 7])));
          on_done = true;
        }
        if (!on_done) PutIf(repeat, "repeatOn", rp->repeatOn);
        if (!on_done || rp->type != static_cast<std::uint8_t>(RepeatType::kWeekly))
          PutIf(repeat, "startOfWeek", rp->startOfWeek);
        PutIf(repeat, "reserved1", rp->reserved1);
        PutIf(repeat, "reserved2", rp->reserved2);
        Put(o, "repeat", std::move(repeat));
      } else {
        Put(o, "repeat", JNull());
      }
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
      break;
    }
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
  const Reader r(tree, where);
  attributes.category = CategoryFrom(r, cs, categories, app != App::kRaw && app != App::kDoc);
  attributes.secret = r.Bool("secret", false);
  attributes.dirty = r.Bool("dirty", false);
  attributes.busy = r.Bool("busy", false);
  attributes.uniqueID = static_cast<std::uint32_t>(r.Int("uniqueID", 0, 0xFFFFFF, 0));
  switch (app) {
    case App::kMemo: {
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
      e.date = DateWord(r.Get("date"), r.At("date"), 0);
      if (auto t = TimeOf(r.Get("start"), r.At("start"))) std::tie(e.startHour, e.startMinute) = *t;
      if (auto t = TimeOf(r.Get("end"), r.At("end"))) std::tie(e.endHour, e.endMinute) = *t;
      e.description = r.OptText("description", cs);
      e.note = r.OptText("note", cs);
      if (std::optional<JsonValue> alarm = r.Nested("alarm")) {
        const Reader ar(*alarm, r.At("alarm"));
        DatebookAlarm al;
        al.advance = static_cast<std::int8_t>(ar.Int("advance", -128, 127, 0));
        if (const JsonValue* u = ar.Get("unit"))
          al.unit = NameOrNumber(kAlarmUnits, *u, ar.At("unit"));
        e.alarm = al;
      }
      if (std::optional<JsonValue> repeat = r.Nested("repeat")) {
        const Reader rr(*repeat, r.At("repeat"));
        DatebookRepeat rp;
        if (const JsonValue* t = rr.Get("type"))
          rp.type = NameOrNumber(kRepeatTypes, *t, rr.At("type"));
        rp.frequency = static_cast<std::uint8_t>(rr.Int("frequency", 0, 255, 1));
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
        e.repeat = rp;
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

}  // namespace corvane::cli
