// A database's header as the command shows it and export's JSON carries it
// ("database"): the header fields, the dates as local time (with the stored
// value beside a date a write would not give back), the block sizes and the
// category table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvane/interchange/json.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/resource_list.h"

namespace corvane::cli {

struct Category {
  std::string name;
  std::uint8_t id;
};

// What info shows, from a record database's manager or a resource list.
struct HeaderView {
  std::string name, type, creator;  // as stored
  std::uint16_t attributes = 0, version = 0;
  TDateTime created = 0, modified = 0, backed_up = 0;
  std::array<std::uint32_t, 3> stored{};  // the three dates as stored
  std::uint32_t modification_number = 0, app_info_offset = 0, sort_info_offset = 0;
  std::uint32_t unique_id_seed = 0, entries = 0;
  std::int64_t app_info_size = 0, sort_info_size = 0;
  std::optional<std::array<Category, 16>> categories;
};

HeaderView ViewOf(TCorvane& db);
// A resource database has no category table: its application-info block, if
// any, is the application's own.
HeaderView ViewOf(const pdb::ResourceDatabase& db);

// Every named bit of the attribute word; bits without a name show as 0xNNNN.
inline constexpr std::array<std::pair<std::uint16_t, std::string_view>, 13> kAttributeNames = {{
    {0x0001, "resource"},
    {0x0002, "readOnly"},
    {0x0004, "appInfoDirty"},
    {0x0008, "backup"},
    {0x0010, "okToInstallNewer"},
    {0x0020, "resetAfterInstall"},
    {0x0040, "copyPrevention"},
    {0x0080, "stream"},
    {0x0100, "hidden"},
    {0x0200, "launchableData"},
    {0x0400, "recyclable"},
    {0x0800, "bundle"},
    {0x8000, "open"},
}};

// The names of the attribute word's bits; a bit without a name as 0xNNNN.
std::vector<std::string> FlagNames(std::uint16_t attributes);

// `app`: the handheld application the database belongs to, when info shows
// it (export's "database" object names it beside, as "app").
void WriteInfoObject(JsonWriter& w, const HeaderView& v, TextEncoding enc,
                     std::string_view app = {});
// The object `info --json` prints, written into `w` (export's "database").
void WriteDatabaseJson(JsonWriter& w, TCorvane& db, TextEncoding enc);

// Local date and time as YYYY-MM-DDTHH:MM:SS; empty for the date 0.
std::string FormatDateTime(TDateTime dt);

// Reading such an object back (import). A number member absent or null gives
// nothing; one that is anything but a whole number from 0 to `max` (a string,
// a fraction, a boolean) raises Exception naming it as "object"."key", so that
// no value is quietly written as 0.
std::optional<std::uint64_t> WholeNumberMember(const JsonValue& o, std::string_view object,
                                               std::string_view key, std::uint64_t max);
// A header date: absent gives nothing, null the date 0 (none), anything but
// YYYY-MM-DDTHH:MM:SS raises Exception naming "database"."key".
std::optional<TDateTime> HeaderDateMember(const JsonValue& database, std::string_view key);

}  // namespace corvane::cli
