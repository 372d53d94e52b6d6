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

FieldChoice ChooseFields(std::span<const std::uint8_t> file) {
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
  for (std::uint8_t b : c.picks)
    fields.Add().SetDataType(static_cast<TPDBAFFieldType>(b % kAFTypeCount));
}

void Define(TPDBJavaFields& fields, const FieldChoice& c) {
  fields.Clear();
  for (std::uint8_t b : c.picks)
    fields.Add().SetDataType(static_cast<TPDBJavaFieldType>(b % kJavaTypeCount));
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
void ReadBack(TPDBNSBField& f) {
  f.GetAsNSBString();
}
void ReadBack(TPDBAFField& f) {
  f.GetAsAFString();
}
void ReadBack(TPDBJavaField& f) {
  f.GetAsString();
}
void ReadBack(TPDBSQLDriverField& f) {
  if (f.DataType() == PDChar) {
    f.GetAsChar();
  } else {
    f.GetAsDouble();
  }
}
void ReadBack(TPDBField& f) {
  f.GetAsString();
}

template <class Engine>
void SplitAll(std::span<const std::uint8_t> bytes, const FieldChoice& choice,
              bool fields_from_file) {
  Engine engine;
  Define(engine.Fields(), choice);
  engine.SetOpenMode(dmModeReadOnly);
  try {
    engine.OpenDatabase(bytes, "input");
  } catch (const Exception&) {
    // A file whose own field list is refused is still split with the chosen one.
    if (fields_from_file) Define(engine.Fields(), choice);
  }
  if (!engine.isOpen()) return;
  // Records that do not fit the fields mostly fail alike, and each failure is
  // an exception thrown: after a few, the rest of the file teaches nothing new.
  int refused = 0;
  for (std::int32_t i = engine.FixFirst(); i <= engine.FixLast() && refused < 8; ++i) {
    try {
      engine.SetDBCursor(i);
      engine.SetEngineRecord(i);
      for (auto& f : engine.Fields()) ReadBack(f);
    } catch (const Exception&) {
      ++refused;
    }
  }
  try {
    engine.CloseDatabase();
  } catch (const Exception&) {
  }
}

}  // namespace

void FuzzSplitRecords(std::span<const std::uint8_t> bytes) {
  const FieldChoice choice = ChooseFields(bytes);
  SplitAll<TPDBPocketStudio>(bytes, choice, false);
  SplitAll<TPDBNSBasic>(bytes, choice, false);
  SplitAll<TPDBAppForge>(bytes, choice, true);
  SplitAll<TPDBJava>(bytes, choice, false);
  SplitAll<TPDBSQLDriver>(bytes, choice, false);
  SplitAll<TPDBDataFields>(bytes, choice, false);
}

void FuzzSplitRecords(const std::string& directory, const std::string& pdb_filename) {
  std::vector<std::uint8_t> file;
  {
    std::ifstream in(directory + "/" + pdb_filename, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), {});
  }
  FuzzSplitRecords(file);
}

}  // namespace corvane
