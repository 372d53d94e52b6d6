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
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/foundation/types.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/json_reader.h"

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

// A record's attributes beside its values. A deleted entry keeps only its
// attributes; an archived one (deleted, its data kept for the desktop: the
// category's bit 0x08) keeps its values too, and `category` is then the
// three bits below that one.
struct AppRecordAttributes {
  std::uint8_t category = 0;
  bool secret = false, busy = false, dirty = false;
  bool deleted = false, archived = false;
  std::uint32_t uniqueID = 0;
  bool uniqueIDGiven = false;  // import: the input named one
};

// What import does with input it does not expect (unknown keys or columns,
// an event without a date or with a time past 23:59, ...): refuses it, or,
// lenient, warns on standard error once per message and goes on.
struct ImportChecks {
  bool lenient = false;
  bool csv = false;  // the keys are CSV columns
  // Category slots that hold a name of the standard table no record has
  // claimed yet: a record naming a slot may rename it (CSV has no table).
  std::uint16_t provisionalSlots = 0;
  std::vector<std::string> warned;
  // Raises Exception(what), or warns when lenient.
  void Complain(const std::string& what);
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
Bytes AppInfoFromJson(App app, const JsonValue* tree, const Charset& cs,
                      apps::CategoryInfo& categories, ImportChecks& checks);
// The record's bytes and attributes; a category name missing from
// `categories` takes the first unnamed slot.
Bytes RecordFromJson(App app, const JsonValue& tree, const Charset& cs,
                     apps::CategoryInfo& categories, AppRecordAttributes& attributes,
                     const std::string& where);
Bytes RecordFromJson(App app, const JsonValue& tree, const Charset& cs,
                     apps::CategoryInfo& categories, AppRecordAttributes& attributes,
                     const std::string& where, ImportChecks& checks);

// Helpers shared with the other formats.
std::string FormatPackedDate(std::uint16_t word);  // "YYYY-MM-DD"; empty when no calendar date
std::string FormatTime(std::uint8_t hour, std::uint8_t minute);  // "HH:MM"
std::string Hex(std::string_view bytes);
std::string Unhex(std::string_view hex, const std::string& where);
std::string_view PhoneLabelName(std::uint8_t label) noexcept;  // "" beyond the eight

}  // namespace corvane::cli
