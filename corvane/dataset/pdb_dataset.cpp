#include "corvane/dataset/pdb_dataset.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <typeinfo>
#include <vector>

#include "corvane/dataset/engine_ops.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"
#include "corvane/pdb/file_format.h"

namespace corvane {

using namespace pdb_rows;

namespace {

// Closes an engine's file when leaving a scope early, without writing it.
template <class Engine>
class EngineCloser {
 public:
  explicit EngineCloser(Engine& engine) : engine_(&engine) {}
  ~EngineCloser() {
    if (engine_) engine_->AbortDatabase();
  }
  void Release() noexcept { engine_ = nullptr; }

 private:
  Engine* engine_;
};

// Rows held in memory may take this many times the file's bytes before wide
// text fields are held as memos instead.
constexpr std::int64_t kMemoryPerFileByte = 16;
constexpr std::int64_t kMemoryFloor = std::int64_t{64} << 20;

}  // namespace

// ---------------------------------------------------------------------------
// Construction and properties

TPDBDataSet::TPDBDataSet(TComponent* owner)
    : TPDBVirtualDataSet(owner),
      ps_(CreateOwned<TPDBPocketStudio>()),
      nsb_(CreateOwned<TPDBNSBasic>()),
      af_(CreateOwned<TPDBAppForge>()),
      java_(CreateOwned<TPDBJava>()),
      sd_(CreateOwned<TPDBSQLDriver>()),
      fields_ps_(this),
      fields_nsb_(this),
      fields_af_(this),
      fields_java_(this),
      fields_sd_(this) {}

TPDBDataSet::~TPDBDataSet() {
  CloseForDestroy();
}

bool TPDBDataSet::ValidateName(const std::string& value) noexcept {
  return TCorvane::ValidateName(value);
}

bool TPDBDataSet::ValidateCreatorType(const std::string& value) noexcept {
  return TCorvane::ValidateCreatorType(value);
}

void TPDBDataSet::SetPDBFilename(const std::string& value) {
  if (value != pdb_filename_ && !Trim(value).empty()) {
    if (UpperCase(ExtractFileExt(value)) != ".PDB") RaisePDB(1, kMsgDataSetFilenameNotPdb);
    if (!ValidateName(value)) RaisePDB(2, kMsgDataSetFilenameInvalid);
  }
  pdb_filename_ = value;
}

void TPDBDataSet::SetDBName(const std::string& value) {
  if (value != database_name_ && !Trim(value).empty()) {
    if (Trim(value).size() > 31) RaisePDB(1, kMsgDataSetDatabaseNameTooLong);
    if (!ValidateName(value)) RaisePDB(2, kMsgDataSetDatabaseNameInvalid);
  }
  database_name_ = value;
}

void TPDBDataSet::SetCreatorID(const std::string& value) {
  if (value != creator_id_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgDataSetCreatorIdLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgDataSetCreatorIdInvalid);
  }
  creator_id_ = value;
}

void TPDBDataSet::SetDatabaseType(const std::string& value) {
  if (value != database_type_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgDataSetDatabaseTypeLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgDataSetDatabaseTypeInvalid);
  }
  database_type_ = value;
}

void TPDBDataSet::SetDBFlags(TDBFlags flags) noexcept {
  db_flags_ = pdb::DBFlagsToWord(flags);
}

TDBFlags TPDBDataSet::ToTDBFlags(std::uint16_t word) noexcept {
  return pdb::ToTDBFlags(word);
}

// The names as given, as the engine reads and writes them: a name with a
// blank at either end is another file than the trimmed one, and checking one
// while writing the other would replace an existing file with an empty table.
std::string TPDBDataSet::FilePath() const {
  return IncludeTrailingPathDelimiter(directory_) + pdb_filename_;
}

bool TPDBDataSet::FileToLoad() const {
  if (!source_image_.empty()) return true;
  if (write_to_memory_) return false;  // the file is not touched at all
  return !Trim(pdb_filename_).empty() && FileExists(FilePath());
}

template <class Engine>
void TPDBDataSet::OpenToLoad(Engine& engine) {
  engine.SetDirectory(directory_);
  engine.SetPDBFilename(pdb_filename_);
  engine.SetOpenMode(dmModeReadOnly);
  if (!source_image_.empty()) {
    OpenForLoading(engine, [&] {
      engine.OpenDatabase(source_image_, source_name_.empty() ? FilePath() : source_name_);
    });
  } else {
    OpenForLoading(engine, [&] { engine.OpenDatabase(); });
  }
}
template void TPDBDataSet::OpenToLoad(TPDBPocketStudio&);
template void TPDBDataSet::OpenToLoad(TPDBNSBasic&);
template void TPDBDataSet::OpenToLoad(TPDBAppForge&);
template void TPDBDataSet::OpenToLoad(TPDBJava&);
template void TPDBDataSet::OpenToLoad(TPDBSQLDriver&);

// ---------------------------------------------------------------------------
// Opening

void TPDBDataSet::OpenCursor(bool info_only) {
  if (Active()) RaisePDB(1, kMsgDataSetAlreadyOpen);
  auto require = [](int count) {
    if (count == 0) RaisePDB(2, kMsgDataSetNoFields);
  };
  switch (engine_) {
    case PocketStudio:
      require(fields_ps_.Count());
      OpenPS(info_only);
      break;
    case NSBasic:
      require(fields_nsb_.Count());
      OpenNSB(info_only);
      break;
    case AppForge:
      require(fields_af_.Count());
      OpenAF(info_only);
      break;
    case Java:
      require(fields_java_.Count());
      OpenJ(info_only);
      break;
    case SWSQLDriver:
      require(fields_sd_.Count());
      OpenSD(info_only);
      break;
  }
}

void TPDBDataSet::OpenPS(bool info_only) {
  OpenWith<PSOps>(*ps_, fields_ps_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenNSB(bool info_only) {
  OpenWith<NSBOps>(*nsb_, fields_nsb_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenAF(bool info_only) {
  OpenWith<AFOps>(*af_, fields_af_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenJ(bool info_only) {
  OpenWith<JavaOps>(*java_, fields_java_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}
void TPDBDataSet::OpenSD(bool info_only) {
  OpenWith<SDOps>(*sd_, fields_sd_);
  TPDBVirtualDataSet::OpenCursor(info_only);
}

template <class Ops>
void TPDBDataSet::OpenWith(typename Ops::Engine& engine, typename Ops::Fields& fields) {
  FieldDefs().Clear();
  engine.Fields().Clear();
  if constexpr (Ops::kRowID) {
    auto& row_id = engine.Fields().Add();
    row_id.SetFieldName("RowID");
    row_id.SetDataType(PDInt);
  }
  for (const auto& item : fields) Ops::CopyDefinition(item, engine.Fields().Add());

  // How wide each text field must be so that no text of the file is cut:
  // the file is walked once before the table is laid out.
  std::map<std::string, std::size_t> longest;  // by upper-cased field name
  std::int64_t rows = 0, file_size = 0;
  if (FileToLoad()) {
    OpenToLoad(engine);
    EngineCloser<typename Ops::Engine> closer(engine);
    file_size = engine.FileSize();
    for (std::int32_t at = -1; NextLiveRecord(engine, at);) {
      ++rows;
      for (const auto& f : engine.Fields()) {
        if (!Ops::IsText(f)) continue;
        std::size_t& n = longest[UpperCase(f.FieldName())];
        n = std::max(n, Ops::TextLength(f));
      }
    }
    engine.CloseDatabase();
    closer.Release();
  }

  struct Def {
    std::string name;
    TFieldType type;
    int size;
    bool text_can_be_memo;
  };
  std::vector<Def> defs;
  for (const auto& item : fields) {
    Def d{item.FieldName(), Ops::DataSetType(item), 0, false};
    if (d.type == ftString) {
      const int fixed = Ops::FixedTextSize(item);
      const auto it = longest.find(UpperCase(item.FieldName()));
      const std::size_t measured = it == longest.end() ? 0 : it->second;
      if (fixed > 0) {
        d.size = fixed;
      } else if (measured > static_cast<std::size_t>(kDataSetMaxTextSize)) {
        d.type = ftMemo;
      } else {
        d.size = std::max(kDataSetTextSize, static_cast<int>(measured));
      }
      d.text_can_be_memo = true;
    }
    defs.push_back(d);
  }
  // Every row takes the width of every slot: when wide texts would make the
  // rows outgrow what the store can lay out or what the file justifies, the
  // widest texts are held as memos.
  const std::int64_t budget = std::max(kMemoryFloor, file_size * kMemoryPerFileByte);
  for (;;) {
    std::int64_t row_size = 0;
    Def* widest = nullptr;
    for (Def& d : defs) {
      const int w = StoredValueWidth(d.type, d.size);
      if (w >= 0) row_size += w + 1;
      if (d.text_can_be_memo && d.type == ftString && d.size > kDataSetTextSize &&
          (!widest || d.size > widest->size)) {
        widest = &d;
      }
    }
    if (!widest || (row_size <= 0xFFFF && rows * row_size <= budget)) break;
    widest->type = ftMemo;
    widest->size = 0;
  }
  for (const Def& d : defs) FieldDefs().Add(d.name, d.type, d.size);
}

// Whether loading and writing may go to the rows straight: the fields are the
// ones opening made (no calculated, lookup or persistent fields with handlers
// of their own) and no event watches single rows, so the framework's way would
// end in the same rows without anyone seeing the steps between.
bool TPDBDataSet::RowsUnwatched() const {
  if (!DefaultFields() || CalcFieldsSize() != 0) return false;
  for (const TField* f : Fields()) {
    if (f->FieldKind() != fkData || f->OnValidate || f->OnChange) return false;
  }
  return !BeforeInsert && !AfterInsert && !BeforePost && !AfterPost && !OnNewRecord &&
         !BeforeScroll && !AfterScroll && !OnCalcFields && !OnPostError && !OnDataEvent;
}

bool TPDBDataSet::CompareRecordsReplaced() const {
  return typeid(*this) != typeid(TPDBDataSet);
}

}  // namespace corvane
