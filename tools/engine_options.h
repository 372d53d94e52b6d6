// What export and import share: --engine, --field NAME:TYPE[:SIZE],
// --encoding, and the field names as UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/interchange/text_encoding.h"
#include "tools/cli.h"

namespace corvane::cli {

struct FieldSpec {
  std::string name;  // UTF-8
  std::string type;
  std::optional<std::int32_t> size;
};

// --engine: missing or unknown is a UsageError.
std::unique_ptr<TAnyEngine> EngineFromArgs(const ParsedArgs& args);
// --encoding, cp1252 when absent.
TextEncoding EncodingFromArgs(const ParsedArgs& args);
// Every --field, parsed; a malformed one is a UsageError.
std::vector<FieldSpec> FieldSpecsFromArgs(const ParsedArgs& args);

// Defines the fields after the engine's own (a field named like the engine's
// implicit field, of its type, is that field and is skipped). A bad type or
// size raises UsageError when the definitions came from the command line, else
// Exception (they came from the input).
void DefineFields(TAnyEngine& engine, const std::vector<FieldSpec>& defs, TextEncoding enc,
                  bool from_command_line);

// The fields of a file to be read, from --field: a UsageError when the engine
// takes them from the file, or when the file does not name them and there are none.
void DefineReadFields(TAnyEngine& engine, const ParsedArgs& args, TextEncoding enc);

// Moves to the next record that is not deleted, as export reads them: false
// when there is none left; a record that does not split, or that holds bytes
// after its last field, raises naming the record (EPDBException keeps its code).
bool NextWholeRecord(TAnyEngine& engine);
// Raises when the fields just read leave bytes of the record unread.
void CheckWholeRecord(TAnyEngine& engine);

// The field's name as UTF-8.
std::string FieldDisplayName(const TAnyEngine& engine, int index, TextEncoding enc);

}  // namespace corvane::cli
