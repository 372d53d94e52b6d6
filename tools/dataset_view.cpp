#include "tools/dataset_view.h"

#include <cstdint>
#include <cstring>

#include "corvane/host/charset.h"
#include "corvane/host/text.h"
#include "corvane/interchange/values.h"

namespace corvane::cli {

namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    out.push_back(
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

template <class Fields, class Type>
void AddItem(Fields& fields, const TAnyFieldDef& def) {
  auto& f = fields.Add();
  f.SetFieldName(def.Name);
  f.SetDataType(static_cast<Type>(def.Type));
  if constexpr (requires { f.SetSize(1); }) {
    if (def.Size > 0) f.SetSize(def.Size);
  }
}

// The engine's field of that UTF-8 name: exactly, else ignoring the case of
// A to Z; UsageError naming the fields when there is none.
int FieldOf(const TAnyEngine& engine, const std::string& name, TextEncoding enc,
            const char* option) {
  const int n = engine.FieldCount();
  for (int i = 0; i < n; ++i) {
    if (ToUtf8(engine.Field(i).Name, enc) == name) return i;
  }
  for (int i = 0; i < n; ++i) {
    if (LowerCase(ToUtf8(engine.Field(i).Name, enc)) == LowerCase(name)) return i;
  }
  std::string known;
  for (int i = 0; i < n; ++i) known += (i ? ", " : "") + ToUtf8(engine.Field(i).Name, enc);
  throw UsageError(std::string(option) + ": no field '" + name + "' (" + known + ")");
}

}  // namespace

ViewOptions ViewOptionsFromArgs(const ParsedArgs& args) {
  ViewOptions v;
  for (const std::string& list : args.Values("--sort")) {
    for (std::string& name : SplitList(list)) {
      if (name.empty()) throw UsageError("--sort takes FIELD[,FIELD...], not '" + list + "'");
      v.sort.push_back(std::move(name));
    }
  }
  v.descending = args.Has("--desc");
  v.nocase = args.Has("--nocase");
  if (v.descending && v.sort.empty()) throw UsageError("--desc needs --sort");
  for (const std::string& w : args.Values("--where")) {
    const std::size_t eq = w.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw UsageError("--where takes FIELD=VALUE, not '" + w + "'");
    }
    WhereClause c{w.substr(0, eq), w.substr(eq + 1), false};
    if (!c.value.empty() && c.value.back() == '*') {
      c.value.pop_back();
      c.prefix = true;
    }
    v.where.push_back(std::move(c));
  }
  return v;
}

TEngine DataSetEngineOf(const TAnyEngine& engine, const char* why) {
  const std::string_view n = engine.Name();
  if (n == "pocketstudio") return PocketStudio;
  if (n == "nsbasic") return NSBasic;
  if (n == "appforge") return AppForge;
  if (n == "java") return Java;
  if (n == "sqldriver") return SWSQLDriver;
  throw UsageError(std::string(why) + " works through the dataset of one of the engines " +
                   "appforge, pocketstudio, nsbasic, java or sqldriver, not " + std::string(n));
}

void DefineDataSetFields(const TAnyEngine& engine, TPDBDataSet& ds) {
  const TEngine which = DataSetEngineOf(engine, "this");
  const std::string_view implicit = engine.ImplicitField();
  for (int i = 0; i < engine.FieldCount(); ++i) {
    const TAnyFieldDef def = engine.Field(i);
    if (i == 0 && !implicit.empty() && def.Name == implicit) continue;
    switch (which) {
      case PocketStudio:
        AddItem<TPDBPSFields, TPDBPSFieldType>(ds.FieldsPocketStudio(), def);
        break;
      case NSBasic:
        AddItem<TPDBNSBFields, TPDBNSBFieldType>(ds.FieldsNSBasic(), def);
        break;
      case AppForge:
        AddItem<TPDBAFFields, TPDBAFFieldType>(ds.FieldsAppForge(), def);
        break;
      case Java:
        AddItem<TPDBJavaFields, TPDBJavaFieldType>(ds.FieldsJava(), def);
        break;
      case SWSQLDriver:
        AddItem<TPDBSQLDriverFields, TPDBSQLDriverFieldType>(ds.FieldsSQLDriver(), def);
        break;
    }
  }
}

std::vector<std::size_t> SelectAndOrder(const TAnyEngine& engine,
                                        std::span<const std::uint8_t> image,
                                        const std::string& name, const ViewOptions& options,
                                        TextEncoding enc,
                                        const std::function<std::string(std::size_t, int)>& cell) {
  TPDBDataSet ds;
  ds.SetWriteOnClose(false);
  ds.SetCharset(enc == TextEncoding::kUtf8     ? TextCharset::Utf8
                : enc == TextEncoding::kLatin1 ? TextCharset::Latin1
                                               : TextCharset::Windows1252);
  ds.SetEngine(DataSetEngineOf(engine, options.where.empty() ? "--sort" : "--where"));
  DefineDataSetFields(engine, ds);

  struct Test {
    int field;
    std::string value;
    bool prefix;
  };
  std::vector<Test> tests;
  for (const WhereClause& w : options.where) {
    tests.push_back({FieldOf(engine, w.field, enc, "--where"),
                     options.nocase ? FoldCase(w.value, TextCharset::Utf8) : w.value, w.prefix});
  }
  std::string sort_names;
  for (const std::string& name : options.sort) {
    const TAnyFieldDef def = engine.Field(FieldOf(engine, name, enc, "--sort"));
    if (!engine.ImplicitField().empty() && def.Name == engine.ImplicitField()) {
      throw UsageError("--sort: " + name + " is numbered by the engine and kept in file order");
    }
    sort_names += (sort_names.empty() ? "" : ";") + def.Name;
  }

  ds.SetSourceImage(image, name);
  ds.Open();
  // Rows are numbered as they are loaded, one per record in file order.
  auto position_of = [](std::int32_t id) {
    return static_cast<std::size_t>(std::int64_t{id} - (std::int64_t{kNoRecordID} + 1));
  };
  if (!tests.empty()) {
    ds.SetOnFilterRecord([&](TDataSet&, bool& accept) {
      const std::size_t at = position_of(ds.GetMemoryRecord(ds.CursorPosition()).RecordID());
      for (const Test& t : tests) {
        std::string text = cell(at, t.field);
        if (options.nocase) text = FoldCase(text, TextCharset::Utf8);  // printed as UTF-8
        const bool match = t.prefix ? text.compare(0, t.value.size(), t.value) == 0 &&
                                          text.size() >= t.value.size()
                                    : text == t.value;
        if (!match) {
          accept = false;
          return;
        }
      }
    });
    ds.SetFiltered(true);
  }
  if (!sort_names.empty()) ds.SortDataSet(sort_names, options.nocase, options.descending);

  std::vector<std::size_t> order;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    const TBookmark mark = ds.Bookmark();
    std::int32_t id = kNoRecordID;
    if (mark.size() >= sizeof id) std::memcpy(&id, mark.data(), sizeof id);
    order.push_back(position_of(id));
  }
  ds.Close();
  return order;
}

void RecordSource::Select(const ViewOptions& options, std::span<const std::uint8_t> image,
                          const std::string& name, TextEncoding enc) {
  const int n = engine_.FieldCount();
  while (next_()) {
    std::vector<Variant> row;
    row.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) row.push_back(engine_.Value(i));
    values_.push_back(std::move(row));
    indexes_.push_back(engine_.RecordIndex());
  }
  order_ = SelectAndOrder(engine_, image, name, options, enc, [&](std::size_t at, int field) {
    if (at >= values_.size()) return std::string();
    return CsvCell(values_[at][static_cast<std::size_t>(field)], engine_.FieldType(field), enc);
  });
  // The dataset loads every record the file lists; the engine's walk leaves
  // out deleted ones, so the two must count alike for positions to agree.
  for (std::size_t at : order_) {
    if (at >= values_.size()) throw Exception("the dataset and the engine disagree on the records");
  }
  selected_ = true;
}

bool RecordSource::Next() {
  if (!selected_) return next_();
  if (at_ >= order_.size()) return false;
  current_ = order_[at_++];
  return true;
}

Variant RecordSource::Value(int field) const {
  if (!selected_) return engine_.Value(field);
  return values_[current_][static_cast<std::size_t>(field)];
}

void RecordSource::RecordView(std::span<TAnyValueView> out, std::span<std::string> scratch) const {
  if (!selected_) return engine_.RecordView(out, scratch);
  for (std::size_t at = 0; at < out.size(); ++at)
    out[at] = SelectedView(static_cast<int>(at), scratch[at]);
}

TAnyValueView RecordSource::SelectedView(int field, std::string& scratch) const {
  return ViewOfValue(values_[current_][static_cast<std::size_t>(field)],
                     engine_.FieldType(field).Kind, scratch);
}

std::int32_t RecordSource::RecordIndex() const {
  return selected_ ? indexes_[current_] : engine_.RecordIndex();
}

}  // namespace corvane::cli
