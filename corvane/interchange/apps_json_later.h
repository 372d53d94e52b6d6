// The JSON shapes of the later handhelds' Contacts, Calendar, Tasks and Memos
// (records and application-info blocks), which apps_json.cpp hands these
// applications to. Keys follow the classic applications' where the meaning
// is the same; a key with nothing in it is left out. What a key cannot say
// (reserved bits, unknown or damaged blobs, bytes after the last part) has a
// key of its own, so that import gives back the same bytes. Internal to the
// command.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "corvane/apps/categories.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/apps_json_shared.h"

namespace corvane::cli {

bool IsLaterPim(App app) noexcept;

void LaterAppInfoToJson(App app, std::span<const std::uint8_t> block, const Charset& cs,
                        apps::CategoryInfo& categories, JsonValue& o);
Bytes LaterAppInfoFromJson(App app, const apps_json::Reader& r, const Charset& cs,
                           apps::CategoryInfo& categories, ImportChecks& checks);
// Contacts, Calendar and Tasks (a Memos record is a Memo Pad record).
void LaterRecordToJson(App app, std::span<const std::uint8_t> record, const Charset& cs,
                       JsonValue& o);
Bytes LaterRecordFromJson(App app, const apps_json::Reader& r, const Charset& cs,
                          ImportChecks& checks);

std::string Base64(std::string_view bytes);
// Raises Exception naming `where` for anything but base64 text.
std::string Unbase64(std::string_view text, const std::string& where);

}  // namespace corvane::cli
