// The handheld applications' records and application-info blocks as JSON
// trees, the form export prints (as JSON or flattened to CSV) and import
// reads. Every value a record holds has a place in its tree, so a record
// exported and imported again gives the same bytes; the keys beyond the
// everyday ones (reserved bytes, bytes after the last text, ...) appear only
// when they hold something.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "corvane/apps/categories.h"
#include "corvane/foundation/types.h"
#include "tools/app_charset.h"
#include "tools/json_reader.h"

namespace corvane::cli {

enum class App {
  kMemo,
  kToDo,
  kAddress,
  kDatebook,
  kMail,
  kDoc,
  kContacts,
  kCalendar,
  kTasks,
  kMemos,
  kRaw
};

struct AppIdentity {
  App app;
  std::string_view name;      // as --app takes it
  std::string_view database;  // the handheld's own database name
  std::string_view creator, type;
};

// --app NAME (not auto); nullptr when there is none.
const AppIdentity* AppByName(std::string_view name) noexcept;
const AppIdentity& Identity(App app) noexcept;
// The application a database belongs to, from its creator and type; kRaw
// when it is none of them.
App AppFromHeader(std::string_view creator, std::string_view type) noexcept;

// A record's attributes beside its values.
struct AppRecordAttributes {
  std::uint8_t category = 0;
  bool secret = false, busy = false, dirty = false;
  std::uint32_t uniqueID = 0;
};

// Building trees.
JsonValue JString(std::string utf8);
JsonValue JInt(std::int64_t v);
JsonValue JBool(bool v);
JsonValue JNull();
JsonValue JObject();
JsonValue JArray();
void Put(JsonValue& object, std::string key, JsonValue value);

// The application-info block as a tree; `categories` receives its category
// part (a standard one for a block without any). Raises EPDBException for a
// damaged block.
JsonValue AppInfoToJson(App app, std::span<const std::uint8_t> block, const Charset& cs,
                        apps::CategoryInfo& categories);
// One record as a tree, its attributes first. Raises EPDBException.
JsonValue RecordToJson(App app, std::span<const std::uint8_t> record,
                       const AppRecordAttributes& attributes, const apps::CategoryInfo& categories,
                       const Charset& cs);

// And back. `where` names the place for messages; values that do not fit raise
// Exception naming it. A value given as a string where a number, boolean or
// object is expected is read from the string (CSV cells).
Bytes AppInfoFromJson(App app, const JsonValue* tree, const Charset& cs,
                      apps::CategoryInfo& categories);
// The record's bytes and attributes; a category name missing from
// `categories` takes the first unnamed slot.
Bytes RecordFromJson(App app, const JsonValue& tree, const Charset& cs,
                     apps::CategoryInfo& categories, AppRecordAttributes& attributes,
                     const std::string& where);

// Helpers shared with the other formats.
std::string FormatPackedDate(std::uint16_t word);  // "YYYY-MM-DD"; empty when no calendar date
std::string FormatTime(std::uint8_t hour, std::uint8_t minute);  // "HH:MM"
std::string Hex(std::string_view bytes);
std::string Unhex(std::string_view hex, const std::string& where);
std::string_view PhoneLabelName(std::uint8_t label) noexcept;  // "" beyond the eight

}  // namespace corvane::cli
