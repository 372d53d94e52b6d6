// The pieces the applications' JSON shapes share: reading a tree's members
// with the place for messages, dates and times, names or numbers, and the
// category table. Internal to the command.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvane/apps/address.h"
#include "corvane/apps/categories.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/mail.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/apps_json.h"

namespace corvane::cli::apps_json {

using namespace corvane::apps;

inline constexpr std::array<std::string_view, 8> kPhoneLabels = {
    "work", "home", "fax", "other", "email", "main", "pager", "mobile"};
inline constexpr std::array<std::string_view, 3> kAlarmUnits = {"minutes", "hours", "days"};
inline constexpr std::array<std::string_view, 6> kRepeatTypes = {
    "none", "daily", "weekly", "monthlyByDay", "monthlyByDate", "yearly"};
inline constexpr std::array<std::string_view, 7> kWeekdays = {"sun", "mon", "tue", "wed",
                                                              "thu", "fri", "sat"};
inline constexpr std::array<std::string_view, kAddressFieldCount> kAddressKeys = {
    "lastName", "firstName", "company", "phone1",  "phone2",  "phone3",  "phone4",
    "phone5",   "address",   "city",    "state",   "zipCode", "country", "title",
    "custom1",  "custom2",   "custom3", "custom4", "note"};
inline constexpr std::array<std::string_view, kMailFieldCount> kMailKeys = {
    "subject", "from", "to", "cc", "bcc", "replyTo", "sentTo", "body"};

[[noreturn]] inline void Bad(const std::string& what) {
  throw Exception(what);
}

// Reading a tree's members, with the place for messages.
class Reader {
 public:
  Reader(const JsonValue& v, std::string where) : v_(v), where_(std::move(where)) {
    if (v.kind != JsonValue::Kind::kObject) Bad(where_ + " must be an object");
    used_.assign(v.members.size(), false);
  }
  // Complains of every key nothing asked for: a misspelt key must not pass as
  // an empty value.
  // `columns`: the keys are a CSV file's columns.
  void CheckKeys(ImportChecks& checks, bool columns = false) const {
    for (std::size_t i = 0; i < used_.size(); ++i) {
      // Every row has every column; an empty cell in one this record has no
      // use for is no mistake.
      if (columns && v_.members[i].second.IsNull()) continue;
      if (!used_[i]) {
        // A column is the same in every row: named once, without a record.
        checks.Complain(columns ? "unknown column \"" + v_.members[i].first + "\""
                                   : where_ + ": unknown key \"" + v_.members[i].first + "\"");
      }
    }
  }
  // Marks the keys whose value is null as known.
  void AcceptNulls() const {
    for (std::size_t i = 0; i < used_.size(); ++i) {
      if (v_.members[i].second.IsNull()) used_[i] = true;
    }
  }
  const std::string& Where() const { return where_; }
  std::string At(std::string_view key) const { return where_ + ".\"" + std::string(key) + "\""; }
  // Missing and null are both "nothing".
  const JsonValue* Get(std::string_view key) const {
    const JsonValue* x = v_.Find(key);
    if (x != nullptr && !v_.members.empty()) {
      for (std::size_t i = 0; i < v_.members.size(); ++i) {
        if (&v_.members[i].second == x) used_[i] = true;
      }
    }
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
  mutable std::vector<bool> used_;
};

// A packed date from "YYYY-MM-DD" or the word as a number; `none` for null.
std::uint16_t DateWord(const JsonValue* x, const std::string& what, std::uint16_t none);
JsonValue DateJson(std::uint16_t word, int none);
// "HH:MM" (any two numbers up to 255); nullopt for null.
std::optional<std::pair<std::uint8_t, std::uint8_t>> TimeOf(const JsonValue* x,
                                                            const std::string& what);
void PutIf(JsonValue& o, std::string key, std::int64_t v);
void PutRawIf(JsonValue& o, std::string key, std::string_view bytes, std::string_view usual = {});

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

// ---- categories --------------------------------------------------------------

void CategoriesToJson(JsonValue& o, const CategoryInfo& c, const Charset& cs);
CategoryInfo CategoriesFromJson(const Reader& r, const Charset& cs, ImportChecks& checks);
JsonValue CategoryJson(std::uint8_t index, const CategoryInfo& c, const Charset& cs);
// The category a record names: by name, by index, or - when the table may
// grow - a name the table lacks put in its first unnamed slot.
// With "categoryIndex" (CSV) the name goes to that slot when the slot is free
// or still holds a provisional standard name.
std::uint8_t CategoryFrom(const Reader& r, const Charset& cs, CategoryInfo& c, bool may_add,
                          ImportChecks& checks);

// ---- date book parts, shared with Calendar and Tasks -------------------------

JsonValue RepeatToJson(const DatebookRepeat& repeat);
DatebookRepeat RepeatFromJson(const Reader& r, ImportChecks& checks);
// The Date Book keys; absent parts are null.
void DatebookToJson(const DatebookRecord& event, const Charset& cs, JsonValue& o);
void DatebookFromJson(const Reader& r, const Charset& cs, DatebookRecord& event,
                      ImportChecks& checks);

template <class Info>
void CommonInfo(JsonValue& o, const Info& info, const Charset& cs, CategoryInfo& categories) {
  categories = info.categories;
  CategoriesToJson(o, info.categories, cs);
}

// The renamable field labels of Address and Contacts and what follows them
// in both blocks: each label's padding (only when any label has some), the
// country and the sort order.
template <class Info>
void LabelsToJson(JsonValue& o, const Info& info, const Charset& cs) {
  JsonValue labels = JArray();
  for (const std::string& l : info.labels) labels.items.push_back(JString(cs.ToUtf8(l)));
  Put(o, "labels", std::move(labels));
  if (std::any_of(info.labelPadding.begin(), info.labelPadding.end(),
                  [](const std::string& p) { return !p.empty(); })) {
    JsonValue pads = JArray();
    for (const std::string& p : info.labelPadding) pads.items.push_back(JString(Hex(p)));
    Put(o, "labelPadding", std::move(pads));
  }
  Put(o, "country", JInt(info.country));
  Put(o, "sortByCompany", JBool(info.SortByCompany()));
}
// Back: one item of "labels" (a string of at most 16 bytes in the file's
// encoding) and one of "labelPadding" (hexadecimal bytes).
std::string LabelFromJson(const JsonValue& item, const Reader& r, const Charset& cs);
std::string LabelPaddingFromJson(const JsonValue& item, const Reader& r);

}  // namespace corvane::cli::apps_json
