#include "corvane/engines/any_engine.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "corvane/engines/any_adapter.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

constexpr std::array<std::string_view, 6> kEngineNames = {"appforge", "pocketstudio", "nsbasic",
                                                          "java",     "sqldriver",    "generic"};

}  // namespace

std::unique_ptr<TAnyEngine> TAnyEngine::Create(std::string_view name) {
  if (name == "appforge") return any::MakeAppForge();
  if (name == "pocketstudio") return any::MakePocketStudio();
  if (name == "nsbasic") return any::MakeNSBasic();
  if (name == "java") return any::MakeJava();
  if (name == "sqldriver") return any::MakeSQLDriver();
  if (name == "generic") return any::MakeGeneric();
  return nullptr;
}

std::unique_ptr<TAnyEngine> TAnyEngine::Create(TEngine engine) {
  switch (engine) {
    case PocketStudio:
      return Create("pocketstudio");
    case NSBasic:
      return Create("nsbasic");
    case AppForge:
      return Create("appforge");
    case Java:
      return Create("java");
    case SWSQLDriver:
      return Create("sqldriver");
  }
  return nullptr;
}

std::span<const std::string_view> TAnyEngine::EngineNames() noexcept {
  return kEngineNames;
}

TAnyEngine::~TAnyEngine() = default;

std::optional<int> TAnyEngine::TypeByName(std::string_view name) const noexcept {
  const auto types = Types();
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (types[i].Name == name) return static_cast<int>(i);
  }
  return std::nullopt;
}

const TAnyFieldType& TAnyEngine::TypeInfo(int type) const {
  const auto types = Types();
  if (type < 0 || static_cast<std::size_t>(type) >= types.size()) {
    throw EListError("no such type in the " + std::string(Name()) + " engine");
  }
  return types[static_cast<std::size_t>(type)];
}

std::optional<int> TAnyEngine::FieldIndex(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    if (SameFieldName(Field(i).Name, name)) return i;
  }
  return std::nullopt;
}

void TAnyEngine::OpenRead(const std::string& directory, const std::string& filename) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  m.SetDirectory(directory);
  m.SetPDBFilename(filename);
  FinishOpenRead([&m] { m.OpenDatabase(); });
}

void TAnyEngine::OpenReadFile(const std::string& path) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  FinishOpenRead([&m, &path] { m.OpenDatabaseFile(path); });
}

void TAnyEngine::OpenReadImage(std::span<const std::uint8_t> bytes, const std::string& name) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  FinishOpenRead([&m, bytes, &name] { m.OpenDatabase(bytes, name); });
}

void TAnyEngine::OpenReadBytes(Bytes&& bytes, std::string name) {
  TPDBBaseMgr& m = Manager();
  m.SetOpenMode(dmModeReadOnly);
  FinishOpenRead([&] { m.OpenDatabase(std::move(bytes), std::move(name)); });
}

template <class Open>
void TAnyEngine::FinishOpenRead(Open&& open) {
  TPDBBaseMgr& m = Manager();
  index_ = -1;
  as_split_ = false;
  m.SetDBCursor(-1);  // closed: no records, so the cursor is before any
  try {
    open();
  } catch (...) {
    // Opening ends by splitting the first record (First places the cursor,
    // then splits). A failure there is left to NextRecord, which skips a
    // deleted record and reports any other with its index; any failure before
    // it is the opening's own.
    if (!m.isOpen()) throw;
    if (m.Cursor() < 0 || m.Cursor() != m.FixFirst()) {
      Abort();
      throw;
    }
  }
}

void TAnyEngine::CheckFieldsAgainstFile() {
  if (FieldsFromFile() || !FileDescribesFields()) return;
  const std::vector<TFileFieldDef> file = FileFields();
  const auto types = Types();
  const auto count = static_cast<std::size_t>(FieldCount());
  if (file.size() != count) {
    throw Exception("the file describes " + std::to_string(file.size()) +
                    " fields, the field list has " + std::to_string(count));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const TAnyFieldDef f = Field(static_cast<int>(i));
    const TFileFieldDef& d = file[i];
    const std::string at = "field " + std::to_string(i + 1) + " ('" + f.Name + "')";
    if (d.Name.empty() ? SQLDriverNameHash(f.Name) != d.NameHash : !SameFieldName(d.Name, f.Name)) {
      throw Exception(at + " has another name in the file");
    }
    if (d.Type != f.Type) {
      throw Exception(at + " is " + std::string(types[static_cast<std::size_t>(d.Type)].Name) +
                      " in the file, not " +
                      std::string(types[static_cast<std::size_t>(f.Type)].Name));
    }
    if (d.Size != f.Size) {
      throw Exception(at + " has size " + std::to_string(d.Size) + " in the file, not " +
                      std::to_string(f.Size));
    }
  }
}

bool TAnyEngine::NextRecord() {
  TPDBBaseMgr& m = Manager();
  const std::int32_t last = m.FixLast();
  for (std::int32_t i = index_ < 0 ? m.FixFirst() : index_ + 1; i <= last; ++i) {
    const std::optional<TRecordEntry> entry = m.GetRecInFile(i);
    if (!entry) break;
    if (entry->Flags.Contains(dmRecAttrDelete)) continue;
    index_ = i;
    as_split_ = false;
    m.SetDBCursor(i);
    m.SetEngineRecord(i);
    as_split_ = true;
    return true;
  }
  index_ = std::max(last, index_);
  return false;
}

std::size_t TAnyEngine::UnusedBytes() {
  const std::span<const std::uint8_t> record = Manager().CurrentRecord();
  // The walk has just split this record: its count saves splitting it again.
  std::optional<std::size_t> taken;
  if (as_split_) taken = SplitLength(record);
  if (!taken) taken = SplitMeasured(record);
  return record.size() - std::min(record.size(), *taken);
}

TAnyValueView TAnyEngine::ValueView(int index, std::string& scratch) const {
  const TValueKind kind = FieldType(index).Kind;
  const Variant value = Value(index);
  if (kind == TValueKind::Text || kind == TValueKind::Binary) {
    // The Variant is gone on return: its text must live in scratch.
    scratch = value.AsString();
    TAnyValueView view;
    view.Text = scratch;
    return view;
  }
  return ViewOfValue(value, kind, scratch);
}

void TAnyEngine::RecordView(std::span<TAnyValueView> out, std::span<std::string> scratch) const {
  const int n = FieldCount();
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    out[at] = ValueView(i, scratch[at]);
  }
}

TAnyValueView ViewOfValue(const Variant& value, TValueKind kind, std::string& scratch) {
  TAnyValueView view;
  switch (kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      view.Integer = value.AsInt64();
      break;
    case TValueKind::Float:
      view.Float = value.AsDouble();
      break;
    case TValueKind::Currency:
      view.Amount = value.AsCurrency();
      break;
    case TValueKind::Boolean:
      view.Flag = value.AsBoolean();
      break;
    case TValueKind::Text:
    case TValueKind::Binary:
      if (const std::string* text = value.TextIf()) {
        view.Text = *text;
      } else {
        scratch = value.AsString();
        view.Text = scratch;
      }
      break;
    case TValueKind::DateTime:
    case TValueKind::Date:
    case TValueKind::Time:
      view.When = value.AsDateTime();
      break;
  }
  return view;
}

void TAnyEngine::CreateFile(const std::string& directory, const std::string& filename) {
  TPDBBaseMgr& m = Manager();
  as_split_ = false;
  m.SetOpenMode(dmModeWriteOnly);
  m.SetDirectory(directory);
  m.SetPDBFilename(filename);
  m.CreateDatabase();
}

void TAnyEngine::CreateInMemory(const std::string& filename) {
  TPDBBaseMgr& m = Manager();
  as_split_ = false;
  m.SetOpenMode(dmModeWriteOnly);
  // A name without the file extension only stands for the database in
  // failures; the engine's file name (AppForge's database name) is then left as it is.
  const bool is_file_name =
      filename.size() > 4 && (filename.compare(filename.size() - 4, 4, ".pdb") == 0 ||
                              filename.compare(filename.size() - 4, 4, ".PDB") == 0);
  if (is_file_name) m.SetPDBFilename(filename);
  m.CreateDatabaseInMemory(filename);
}

void TAnyEngine::AppendRecord(std::span<const Variant> values) {
  AppendRecord(values, 0, TRecFlags(), 0);
}

void TAnyEngine::AppendRecord(std::span<const Variant> values, std::uint8_t category,
                              TRecFlags flags, std::uint32_t unique_id) {
  Append();  // clears the attributes: they are set after it
  TPDBBaseMgr& m = Manager();
  m.SetRecCategory(category);
  m.SetRecFlags(flags);
  m.SetRecUniqueID(static_cast<std::int32_t>(unique_id & 0xFFFFFFu));
  const int n = FieldCount();
  const auto implicit = [this](int i) {
    return !ImplicitField().empty() && SameFieldName(Field(i).Name, ImplicitField());
  };
  // The field is named only when a message needs it: this runs for every
  // field of every record imported.
  const auto at = [this](int i) {
    const TAnyFieldDef f = Field(i);
    return "field '" + f.Name + "' (" + std::string(TypeInfo(f.Type).Name) + "): ";
  };
  const auto named = [&at](int i, const auto& step) {
    try {
      step();
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), at(i) + e.what());
    } catch (const std::exception& e) {
      throw EConvertError(at(i) + e.what());
    }
  };
  // A value that would not pack is refused naming its field, and before any
  // later field's value is looked at. Packing each field on its own as it is
  // set would cost a second pack of every record; Post packs them all, so the
  // fields are tried one by one only once something has failed, in the order
  // they would have been: the first that does not pack is the one reported.
  const auto refuse_unpackable = [&](int end) {
    for (int i = 0; i < end; ++i) {
      if (!implicit(i)) named(i, [&] { TryPack(i); });
    }
  };
  for (int i = 0; i < n; ++i) {
    if (implicit(i)) continue;
    try {
      named(i, [&] {
        if (static_cast<std::size_t>(i) >= values.size()) throw EConvertError("no value");
        SetValue(i, values[static_cast<std::size_t>(i)]);
      });
    } catch (...) {
      refuse_unpackable(i);
      throw;
    }
  }
  try {
    Post();
  } catch (...) {
    refuse_unpackable(n);
    throw;
  }
}

void TAnyEngine::Close() {
  TPDBBaseMgr& m = Manager();
  if (!m.isOpen()) return;
  if (m.GetOpenMode() != dmModeWriteOnly) {
    m.CloseDatabase();
    return;
  }
  try {
    m.CloseDatabase();
  } catch (...) {
    Abort();
    throw;
  }
}

void TAnyEngine::Abort() noexcept {
  Manager().AbortDatabase();
}

}  // namespace corvane
