// Flat-file tables (JFile, MobileDB) and typed-record databases as CSV with a
// header row: the values as a person reads them (dates as YYYY-MM-DD), texts
// as UTF-8.
#include <charconv>
#include <map>

#include "corvane/apps/jfile.h"
#include "corvane/apps/mobiledb.h"
#include "corvane/engines/any_engine.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/corvane.h"
#include "corvane/rescue/convert_parts.h"

namespace corvane::rescue {

namespace {

std::string Shown(const apps::TableValue& v, const Job& job) {
  char buf[48];
  if (const auto* t = std::get_if<std::string>(&v)) return job.Utf8(*t);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (const auto* n = std::get_if<std::int64_t>(&v))
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
  if (const auto* x = std::get_if<double>(&v)) return apps::TableFloatText(*x);
  if (const auto* d = std::get_if<apps::TableDate>(&v)) return apps::TableDateText(*d, '-');
  if (const auto* t = std::get_if<apps::TableTime>(&v))
    return apps::TableTimeText(*t, t->second != 0);
  return {};
}

void Row(std::string& csv, const std::vector<std::string>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) csv += ',';
    cli::AppendCsvField(csv, cells[i]);
  }
  csv += "\r\n";
}

void WriteTable(Job& job, std::string& csv, std::int64_t rows, std::size_t columns) {
  NameSet names;
  const std::string path = job.Out().Write("tables", job.Stem(), ".csv", csv, names);
  job.Out().Remember(path, std::move(csv));
  job.Output(path, "csv",
             std::to_string(rows) + (rows == 1 ? " row, " : " rows, ") + std::to_string(columns) +
                 (columns == 1 ? " column" : " columns"));
  job.Report().counts.tables = 1;
  job.Report().counts.rows = rows;
}

}  // namespace

void JFileTable(Job& job) {
  TCorvane db;
  job.Open(db);
  const auto version = apps::JFileVersionOf(db.DatabaseType(), db.CreatorID());
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  const apps::JFileTable table = apps::DecodeJFileTable(*version, block);
  std::string csv;
  std::vector<std::string> cells;
  for (const apps::JFileField& f : table.fields) cells.push_back(job.Utf8(f.name));
  Row(csv, cells);
  job.Preview(std::string(CutUtf8(csv.substr(0, csv.size() - 2), 80)));
  std::int64_t rows = 0;
  NameSet names;
  std::vector<std::string_view> views;
  std::string line;
  job.EachRecord(db, "tables", names, [&](std::int32_t, std::span<const std::uint8_t> data) {
    apps::ViewJFileRow(table, data, views);
    // The row whole or not at all: a damaged one is kept as its bytes.
    line.clear();
    for (std::size_t i = 0; i < table.fields.size(); ++i) {
      if (i > 0) line += ',';
      const std::uint16_t type = table.fields[i].type;
      // A number's text is its cell as it stands, read as a number or not.
      const bool as_stored =
          type == apps::kJFileText || type == apps::kJFileInteger || type == apps::kJFileFloat;
      cli::AppendCsvField(line, as_stored ? job.Utf8(views[i])
                                          : Shown(apps::JFileValueOf(type, views[i]), job));
    }
    line += "\r\n";
    csv += line;
    ++rows;
  });
  WriteTable(job, csv, rows, table.fields.size());
}

void MobileDBTable(Job& job) {
  TCorvane db;
  job.Open(db);
  // The labels and types come from the first record of their kind.
  std::map<std::uint8_t, apps::MobileDBRecord> first;
  std::vector<apps::MobileDBRecord> data;
  NameSet names;
  job.EachRecord(db, "tables", names, [&](std::int32_t i, std::span<const std::uint8_t> bytes) {
    apps::MobileDBRecord m = apps::DecodeMobileDBRecord(bytes);
    const std::uint8_t category = db.GetRecInFile(i)->Category;
    if (category == apps::kMobileDBData || category == apps::kMobileDBHidden) {
      data.push_back(std::move(m));
    } else {
      first.emplace(category, std::move(m));
    }
  });
  std::vector<std::uint8_t> numbers;
  std::vector<std::string> cells, codes;
  if (const auto labels = first.find(apps::kMobileDBLabels); labels != first.end()) {
    for (const apps::MobileDBField& f : labels->second.fields) {
      numbers.push_back(f.number);
      cells.push_back(job.Utf8(f.text));
      const std::string* code = nullptr;
      if (const auto types = first.find(apps::kMobileDBTypes); types != first.end())
        code = types->second.Find(f.number);
      codes.push_back(code != nullptr ? *code : "T");
    }
  } else {
    // No labels record: the fields by number, as the rows hold them.
    std::uint8_t most = 0;
    for (const apps::MobileDBRecord& r : data)
      for (const apps::MobileDBField& f : r.fields) most = std::max<std::uint8_t>(most, f.number + 1);
    for (std::uint8_t n = 0; n < most; ++n) {
      numbers.push_back(n);
      cells.push_back("field " + std::to_string(n + 1));
      codes.push_back("T");
    }
  }
  std::string csv;
  Row(csv, cells);
  job.Preview(std::string(CutUtf8(csv.substr(0, csv.size() - 2), 80)));
  for (const apps::MobileDBRecord& r : data) {
    cells.clear();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      const std::string* text = r.Find(numbers[i]);
      cells.push_back(text == nullptr ? std::string()
                                      : Shown(apps::MobileDBValueOf(codes[i], *text), job));
    }
    Row(csv, cells);
  }
  WriteTable(job, csv, static_cast<std::int64_t>(data.size()), numbers.size());
}

void EngineTable(Job& job) {
  std::unique_ptr<TAnyEngine> engine = TAnyEngine::Create(job.Report().detection.engine);
  if (!engine) throw std::runtime_error("no engine " + job.Report().detection.engine);
  // From the bytes read, not the path: a zip member has no file of its own.
  engine->OpenReadImage(job.Bytes(), job.Report().input);
  std::string csv;
  std::vector<std::string> cells;
  for (int i = 0; i < engine->FieldCount(); ++i) cells.push_back(job.Utf8(engine->Field(i).Name));
  Row(csv, cells);
  job.Preview(std::string(CutUtf8(csv.substr(0, csv.size() - 2), 80)));
  std::int64_t rows = 0;
  std::string scratch;
  for (;;) {
    try {
      if (!engine->NextRecord()) break;
      std::string line;
      for (int i = 0; i < engine->FieldCount(); ++i) {
        if (i > 0) line += ',';
        cli::AppendCsvCell(line, engine->ValueView(i, scratch), engine->FieldType(i),
                           job.Encoding());
      }
      csv += line;
      csv += "\r\n";
      ++rows;
    } catch (const std::exception& e) {
      job.Damaged(engine->RecordIndex(), e.what());
    }
  }
  WriteTable(job, csv, rows, static_cast<std::size_t>(engine->FieldCount()));
}

}  // namespace corvane::rescue
