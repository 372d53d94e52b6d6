// import --app: a new database of one of the handheld's own applications from
// the JSON (or CSV) export prints, or an e-book from plain text.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <numeric>
#include <optional>
#include <sstream>

#include "corvane/apps/calendar.h"
#include "corvane/apps/categories.h"
#include "corvane/apps/doc.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "tools/apps_commands.h"
#include "tools/apps_import.h"

namespace corvane::cli {
namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw Exception(what);
}

App AppFrom(const ParsedArgs& args, const JsonValue* root) {
  std::string name = args.Value("--app", "");
  if (name.empty() && root != nullptr) {
    if (const JsonValue* a = root->Find("app"); a && a->kind == JsonValue::Kind::kString)
      name = a->text;
  }
  if (name.empty() || name == "auto") {
    throw UsageError(
        "missing --app (memo, todo, address, datebook, mail, doc, contacts, calendar, tasks, memos "
        "or raw)");
  }
  const AppIdentity* id = AppByName(name);
  if (id == nullptr) {
    throw UsageError(
        "unknown --app '" + name +
        "' (memo, todo, address, datebook, mail, doc, contacts, calendar, tasks, memos or raw)");
  }
  return id->app;
}

}  // namespace

int RunAppsImport(const ParsedArgs& args, Output& /*out*/) {
  if (args.Has("--engine")) throw UsageError("--app and --engine exclude each other");
  if (args.Has("--field")) throw UsageError("--field needs --engine");
  if (!args.positional.empty()) {
    throw UsageError("unexpected argument '" + args.positional.front() +
                     "' (the input is --input FILE)");
  }
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.pdb");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  std::string directory, file;
  SplitPdbPath(out_path, directory, file);
  const Charset cs(args.Value("--encoding", "cp1252"));
  const std::string input_path = args.Value("--input", "");
  const std::string ext = LowerCase(ExtractFileExt(input_path));
  const std::string input = ReadInput(input_path);

  std::optional<JsonValue> root;
  App app;
  ImportChecks checks;
  checks.lenient = args.Has("--lenient");
  checks.csv = ext == ".csv";
  if (ext == ".csv" || ext == ".txt") {
    app = AppFrom(args, nullptr);
  } else {
    try {
      root = ParseJson(input);
    } catch (const JsonError& e) {
      Bad((input_path.empty() ? std::string("standard input") : input_path) + ": " + e.what());
    }
    if (root->kind != JsonValue::Kind::kObject) Bad("the JSON document must be an object");
    app = AppFrom(args, &*root);
    CheckAppsDocumentKeys(*root, checks);
  }
  if (ext == ".txt" && app != App::kDoc)
    throw UsageError("a .txt input makes an e-book: --app doc");

  AppsInput in;
  in.app = app;
  in.root = root ? &*root : nullptr;
  in.input = input;
  in.csv = ext == ".csv";
  in.source = input_path;
  in.stem = file.substr(0, file.size() - ExtractFileExt(file).size());
  const auto option = [&](const char* name) -> std::optional<std::string> {
    if (!args.Has(name)) return std::nullopt;
    try {
      return cs.FromUtf8(args.Value(name, ""));
    } catch (const EConvertError& e) {
      throw UsageError(std::string(name) + ": " + e.what());
    }
  };
  in.name = option("--name");
  in.creator = option("--creator");
  in.type = option("--type");
  in.create = [&](TPDBBaseMgr& out) {
    out.SetDirectory(directory);
    out.SetPDBFilename(file);
    out.CreateDatabase();
  };
  in.header = [&](TPDBBaseMgr& out) { ApplyHeaderOptions(args, out); };
  TPDBBaseMgr out;
  WriteAppsDatabase(in, cs, checks, out);
  return kExitOk;
}

}  // namespace corvane::cli
