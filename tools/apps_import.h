// import --app's build of a new database of one of the handheld's own
// applications, apart from the command line: the command and the Python
// module give it their input and their way of creating the file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "corvane/apps/doc.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/pdb/base_mgr.h"

namespace corvane::cli {

struct AppsInput {
  App app = App::kRaw;
  // The JSON document export --app prints (an object), or null when `input`
  // is CSV or an e-book's plain text.
  const JsonValue* root = nullptr;
  std::string_view input;
  bool csv = false;
  std::string source;  // names the input in messages
  std::string stem;    // the name of a database whose application has none of its own
  // In the file's encoding, over what the input's "database" says.
  std::optional<std::string> name, creator, type;
  // An e-book made of plain text: compressed (2) or not (1).
  std::uint16_t doc_compression = apps::kDocCompressed;
  // Creates the database (a file, or in memory) once name, creator and type are set.
  std::function<void(TPDBBaseMgr&)> create;
  // Sets header values over those of the input, after them; may be empty.
  std::function<void(TPDBBaseMgr&)> header;
};

// Refuses (or, lenient, warns of) top-level JSON keys import --app does not know.
void CheckAppsDocumentKeys(const JsonValue& root, ImportChecks& checks);

// Builds the database from `in` and writes it through `out`: created by
// in.create, closed (written) at the end, dropped when anything fails.
// Raises Exception for input it refuses, UsageError for a missing name,
// creator or type, and what the writer raises.
void WriteAppsDatabase(const AppsInput& in, const Charset& cs, ImportChecks& checks,
                       TPDBBaseMgr& out);

}  // namespace corvane::cli
