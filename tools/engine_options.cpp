#include "tools/engine_options.h"

#include <charconv>
#include <stdexcept>

#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/values.h"

namespace corvane::cli {

std::unique_ptr<TAnyEngine> EngineFromArgs(const ParsedArgs& args) {
  std::string names;
  for (std::string_view n : TAnyEngine::EngineNames())
    names += (names.empty() ? "" : ", ") + std::string(n);
  if (!args.Has("--engine")) throw UsageError("missing --engine (" + names + ")");
  const std::string name = args.Value("--engine", "");
  std::unique_ptr<TAnyEngine> engine = TAnyEngine::Create(name);
  if (!engine) throw UsageError("unknown engine '" + name + "' (" + names + ")");
  return engine;
}

TextEncoding EncodingFromArgs(const ParsedArgs& args) {
  TextEncoding enc = TextEncoding::kWindows1252;
  const std::string name = args.Value("--encoding", "cp1252");
  if (!ParseTextEncoding(name, enc)) {
    throw UsageError("unknown encoding '" + name + "' (cp1252, latin1 or utf8)");
  }
  return enc;
}

std::vector<FieldSpec> FieldSpecsFromArgs(const ParsedArgs& args) {
  std::vector<FieldSpec> defs;
  for (const std::string& v : args.Values("--field")) {
    const std::size_t colon = v.find(':');
    if (colon == std::string::npos || colon == 0) {
      throw UsageError("--field takes NAME:TYPE[:SIZE], not '" + v + "'");
    }
    FieldSpec f;
    f.name = v.substr(0, colon);
    f.type = v.substr(colon + 1);
    const std::size_t colon2 = f.type.find(':');
    if (colon2 != std::string::npos) {
      const std::string size = f.type.substr(colon2 + 1);
      f.type.resize(colon2);
      std::int32_t n = 0;
      const auto r = std::from_chars(size.data(), size.data() + size.size(), n);
      if (size.empty() || r.ec != std::errc() || r.ptr != size.data() + size.size()) {
        throw UsageError("--field '" + v + "': the size must be a whole number");
      }
      f.size = n;
    }
    defs.push_back(std::move(f));
  }
  return defs;
}

void DefineFields(TAnyEngine& engine, const std::vector<FieldSpec>& defs, TextEncoding enc,
                  bool from_command_line) {
  const auto fail = [&](const std::string& what) {
    if (from_command_line) throw UsageError(what);
    throw Exception(what);
  };
  std::string known;
  for (const TAnyFieldType& t : engine.Types())
    known += (known.empty() ? "" : ", ") + std::string(t.Name);
  engine.ClearFields();
  for (const FieldSpec& s : defs) {
    const std::optional<int> type = engine.TypeByName(s.type);
    if (!type) {
      fail("field '" + s.name + "': unknown type '" + s.type + "' for the " +
           std::string(engine.Name()) + " engine (" + known + ")");
    }
    std::string name;
    try {
      name = FromUtf8(s.name, enc);
    } catch (const EConvertError& e) {
      fail("field '" + s.name + "': " + e.what());
    }
    // The engine's own field, as an export lists it, is already there.
    const std::string_view implicit = engine.ImplicitField();
    if (!implicit.empty() && name == implicit && engine.FieldCount() > 0 &&
        engine.Field(0).Name == implicit && engine.Field(0).Type == *type) {
      continue;
    }
    if (engine.FieldIndex(name)) fail("field '" + s.name + "' is given twice");
    try {
      engine.AddField(name, *type, s.size);
    } catch (const EConvertError& e) {
      fail("field '" + s.name + "': " + e.what());
    }
  }
}

void DefineReadFields(TAnyEngine& engine, const ParsedArgs& args, TextEncoding enc) {
  const std::vector<FieldSpec> defs = FieldSpecsFromArgs(args);
  if (engine.FieldsFromFile() && !defs.empty()) {
    throw UsageError("the " + std::string(engine.Name()) +
                     " engine takes its fields from the file: no --field");
  }
  if (!engine.FieldsFromFile() && defs.empty()) {
    throw UsageError("missing --field: " + std::string(engine.Name()) +
                     " files do not name their fields");
  }
  DefineFields(engine, defs, enc, true);
}

bool NextWholeRecord(TAnyEngine& engine) {
  try {
    if (!engine.NextRecord()) return false;
  } catch (const EPDBException& e) {
    throw EPDBException("record " + std::to_string(engine.RecordIndex()) + ": " + e.what(), e);
  } catch (const std::exception& e) {
    throw Exception("record " + std::to_string(engine.RecordIndex()) + ": " + e.what());
  }
  CheckWholeRecord(engine);
  return true;
}

void CheckWholeRecord(TAnyEngine& engine) {
  const std::size_t unused = engine.UnusedBytes();
  if (unused != 0) {
    throw Exception("record " + std::to_string(engine.RecordIndex()) + " has " +
                    std::to_string(unused) +
                    " bytes after its last field: the fields do not describe the records");
  }
}

std::string FieldDisplayName(const TAnyEngine& engine, int index, TextEncoding enc) {
  return ToUtf8(engine.Field(index).Name, enc);
}

}  // namespace corvane::cli
