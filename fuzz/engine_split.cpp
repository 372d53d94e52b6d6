#include "fuzz/engine_split.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "corvane/engines/appforge.h"
#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/engines/sqldriver.h"

namespace corvane {

namespace {

// The bytes that choose the fields: the last byte gives their number (1 to 8),
// the bytes before it one field each. A short file reuses what it has.
struct FieldChoice {
  std::vector<std::uint8_t> picks;
};

FieldChoice ChooseFields(const std::vector<std::uint8_t>& file) {
  FieldChoice c;
  if (file.empty()) {
    c.picks = {0};
    return c;
  }
  const std::size_t n = file.back() % 8u + 1;
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t at = file.size() - 1 - ((k + 1) % file.size());
    c.picks.push_back(file[at]);
  }
  return c;
}

void Define(TPDBPSFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) {
    TPDBPSField& f = fields.Add();
    f.SetDataType(static_cast<TPDBPSFieldType>(b % kPSTypeCount));
    f.SetSize(b / kPSTypeCount % 4);
  }
}

void Define(TPDBNSBFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) {
    TPDBNSBField& f = fields.Add();
    f.SetDataType(static_cast<TPDBNSBFieldType>(b % kNSBTypeCount));
    f.SetSize(b / kNSBTypeCount % 4);
  }
}

void Define(TPDBAFFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) fields.Add().SetDataType(static_cast<TPDBAFFieldType>(b % kAFTypeCount));
}

void Define(TPDBJavaFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) fields.Add().SetDataType(static_cast<TPDBJavaFieldType>(b % kJavaTypeCount));
}

void Define(TPDBSQLDriverFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) {
    TPDBSQLDriverField& f = fields.Add();
    f.SetDataType(static_cast<TPDBSQLDriverFieldType>(b % kSQLDriverTypeCount));
    f.SetSize(b / kSQLDriverTypeCount % 4 * 2);
  }
}

void Define(TPDBFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks) {
    TPDBField& f = fields.Add();
    f.SetDataType(static_cast<TPDBFieldType>(b % kPDBFieldTypeCount));
    f.SetSize(b / kPDBFieldTypeCount % 4);
  }
}

void ReadBack(TPDBPSField& f) {
  f.GetAsPSString();
  if (f.DataType() == PSBinary) f.GetAsPSBinary();
}
void ReadBack(TPDBNSBField& f) { f.GetAsNSBString(); }
void ReadBack(TPDBAFField& f) { f.GetAsAFString(); }
void ReadBack(TPDBJavaField& f) { f.GetAsString(); }
void ReadBack(TPDBSQLDriverField& f) {
  if (f.DataType() == PDChar) {
    f.GetAsChar();
  } else {
    f.GetAsDouble();
  }
}
void ReadBack(TPDBField& f) { f.GetAsString(); }

template <class Engine>
void SplitAll(const std::string& directory, const std::string& filename, const FieldChoice& choice,
              bool fields_from_file) {
  Engine engine;
  Define(engine.Fields(), choice);
  engine.SetDirectory(directory);
  engine.SetPDBFilename(filename);
  engine.SetOpenMode(dmModeReadOnly);
  try {
    engine.OpenDatabase();
  } catch (const Exception&) {
    // A file whose own field list is refused is still split with the chosen one.
    if (fields_from_file) Define(engine.Fields(), choice);
  }
  if (!engine.isOpen()) return;
  for (std::int32_t i = engine.FixFirst(); i <= engine.FixLast(); ++i) {
    try {
      engine.SetDBCursor(i);
      engine.SetEngineRecord(i);
      for (auto& f : engine.Fields()) ReadBack(f);
    } catch (const Exception&) {
    }
  }
  try {
    engine.CloseDatabase();
  } catch (const Exception&) {
  }
}

}  // namespace

void FuzzSplitRecords(const std::string& directory, const std::string& pdb_filename) {
  std::vector<std::uint8_t> file;
  {
    std::ifstream in(directory + "/" + pdb_filename, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), {});
  }
  const FieldChoice choice = ChooseFields(file);
  SplitAll<TPDBPocketStudio>(directory, pdb_filename, choice, false);
  SplitAll<TPDBNSBasic>(directory, pdb_filename, choice, false);
  SplitAll<TPDBAppForge>(directory, pdb_filename, choice, true);
  SplitAll<TPDBJava>(directory, pdb_filename, choice, false);
  SplitAll<TPDBSQLDriver>(directory, pdb_filename, choice, false);
  SplitAll<TPDBDataFields>(directory, pdb_filename, choice, false);
}

}  // namespace corvane
