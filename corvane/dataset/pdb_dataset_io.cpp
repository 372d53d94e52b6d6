// TPDBDataSet: loading the records of the file into rows, and writing the rows
// back through the engine.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "corvane/dataset/engine_ops.h"
#include "corvane/dataset/pdb_dataset.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"
#include "corvane/pdb/file_format.h"

namespace corvane {

using namespace pdb_rows;

// ---------------------------------------------------------------------------
// Loading

void TPDBDataSet::DoAfterOpen() {
  row_attributes_.clear();
  loaded_file_ = LoadedFile();
  if (!FileToLoad()) {
    TPDBVirtualDataSet::DoAfterOpen();
    return;
  }
  switch (engine_) {
    case PocketStudio:
      LoadWith<PSOps>(*ps_);
      break;
    case NSBasic:
      LoadWith<NSBOps>(*nsb_);
      break;
    case AppForge:
      LoadWith<AFOps>(*af_);
      break;
    case Java:
      LoadWith<JavaOps>(*java_);
      break;
    case SWSQLDriver:
      LoadWith<SDOps>(*sd_);
      break;
  }
  TPDBVirtualDataSet::DoAfterOpen();
  if (RecordCount() > 0) First();
}

void TPDBDataSet::KeepLoadedFile(TPDBBaseMgr& engine) {
  LoadedFile& f = loaded_file_;
  f.loaded = true;
  f.attributes = engine.GetAttributes();
  f.version = engine.GetDBVersion();
  f.modified = engine.GetModificationDate();
  f.backed_up = engine.GetLastBackupDate();
  f.modification_number = engine.GetModification();
  f.unique_id_seed = engine.GetUniqueIDSeed();
  using HeaderDate = TCorvane::HeaderDate;
  f.stored_dates = {engine.StoredDate(HeaderDate::Creation),
                    engine.StoredDate(HeaderDate::Modification),
                    engine.StoredDate(HeaderDate::Backup)};
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  engine.GetAppInfoP(block, length);
  f.app_info.assign(block.begin(), block.end());
  engine.GetSortInfoP(block, length);
  f.sort_info.assign(block.begin(), block.end());
}

void TPDBDataSet::GiveLoadedFile(TPDBBaseMgr& engine) const {
  const LoadedFile& f = loaded_file_;
  if (!f.loaded) return;
  // The flags the dataset names may have been changed since loading; the
  // other bits stay the file's.
  const std::uint16_t named = pdb::DBFlagsToWord(TDBFlags::FromByte(0x3F));
  engine.SetAttributes(static_cast<std::uint16_t>((f.attributes & ~named) | (db_flags_ & named)));
  engine.SetDBVersion(f.version);
  engine.SetModificationDate(f.modified);
  engine.SetLastBackupDate(f.backed_up);
  engine.SetModification(f.modification_number);
  engine.SetUniqueIDSeed(f.unique_id_seed);
  // A date unchanged since loading keeps its stored bytes (the writer uses
  // them only for the moment they stand for).
  using HeaderDate = TCorvane::HeaderDate;
  engine.SetStoredDate(HeaderDate::Creation, f.stored_dates[0]);
  engine.SetStoredDate(HeaderDate::Modification, f.stored_dates[1]);
  engine.SetStoredDate(HeaderDate::Backup, f.stored_dates[2]);
  engine.SetSortInfoP(f.sort_info);
  switch (engine_) {
    case AppForge: {
      // Its block is built anew from the fields, after the category table.
      pdb::CategoryTable table;
      if (!pdb::DecodeCategoryTable(f.app_info, table)) break;
      for (std::uint8_t i = 0; i < 16; ++i) {
        engine.SetCategory(i, table.names[i]);
        engine.SetCategoryID(i, table.ids[i]);
      }
      break;
    }
    case Java:
      break;  // its block is the database name, built anew
    default:
      // The loaded block holds its category table, if it has one, already.
      if (f.app_info.empty()) break;
      engine.SetWriteCategory(false);
      engine.SetAppInfoP(f.app_info);
      break;
  }
}

template <class Ops>
void TPDBDataSet::LoadWith(typename Ops::Engine& engine) {
  bool disabled = false;
  try {
    OpenToLoad(engine);
    // The file's own header values, whether or not this dataset's setters
    // would take them.
    database_name_ = engine.DatabaseName();
    database_type_ = engine.DatabaseType();
    creator_id_ = engine.CreatorID();
    creation_date_ = engine.CreationDate();
    SetDBFlags(engine.GetDBFlags());
    KeepLoadedFile(engine);
    DisableControls();
    disabled = true;

    // The dataset field of every engine field, found once.
    std::vector<std::pair<const typename Ops::Field*, TField*>> map;
    for (const auto& f : engine.Fields()) {
      if (Ops::kRowID && IsRowID(f.FieldName())) continue;
      map.emplace_back(&f, &FieldByName(f.FieldName()));
    }
    int number = 0;
    row_attributes_.clear();
    const auto keep_attributes = [&](std::int32_t record_id) {
      RowAttributes& a = row_attributes_[record_id];
      a.category = engine.GetRecCategory();
      a.flags = engine.GetRecFlags();
      a.unique_id = engine.GetRecUniqueID();
    };
    if (RowsUnwatched()) {
      for (std::int32_t at = -1; NextLiveRecord(engine, at);) {
        TMemoryRecord& rec = *AddRecord();
        std::fill(rec.Data().begin(), rec.Data().end(), std::uint8_t{0});
        const DirectRow row(OffsetTable(), rec, ++number, false);
        for (auto& [item, field] : map) Ops::Load(*item, *field, row);
        keep_attributes(rec.RecordID());
      }
    } else {
      for (std::int32_t at = -1; NextLiveRecord(engine, at);) {
        Append();
        const Row row(*this, *ActiveBuffer(), ++number, false);
        for (auto& [item, field] : map) Ops::Load(*item, *field, row);
        Post();
        keep_attributes(RecordIDOf(*ActiveBuffer()));
      }
    }
    engine.CloseDatabase();
    disabled = false;
    EnableControls();
  } catch (...) {
    // Half a table must never be written back over the file: the dataset
    // closes without its before-close step.
    std::exception_ptr error = std::current_exception();
    engine.AbortDatabase();
    try {
      if (disabled) EnableControls();
      if (State() != dsBrowse) Cancel();
    } catch (...) {
      HandleException();
    }
    try {
      SetState(dsInactive);
      CloseCursor();
    } catch (...) {
      HandleException();
    }
    std::rethrow_exception(error);
  }
}

// ---------------------------------------------------------------------------
// Writing back

void TPDBDataSet::DoBeforeClose() {
  if (!Active()) RaisePDB(1, kMsgDataSetNotOpen);
  if (!write_on_close_) {
    TPDBVirtualDataSet::DoBeforeClose();
    return;
  }
  switch (engine_) {
    case PocketStudio:
      ClosePS();
      break;
    case NSBasic:
      CloseNSB();
      break;
    case AppForge:
      CloseAF();
      break;
    case Java:
      CloseJ();
      break;
    case SWSQLDriver:
      CloseSD();
      break;
  }
  TPDBVirtualDataSet::DoBeforeClose();
}

void TPDBDataSet::ClosePS() {
  WriteWith<PSOps>(*ps_, fields_ps_.Count());
}
void TPDBDataSet::CloseNSB() {
  WriteWith<NSBOps>(*nsb_, fields_nsb_.Count());
}
void TPDBDataSet::CloseAF() {
  WriteWith<AFOps>(*af_, fields_af_.Count());
}
void TPDBDataSet::CloseJ() {
  WriteWith<JavaOps>(*java_, fields_java_.Count());
}
void TPDBDataSet::CloseSD() {
  WriteWith<SDOps>(*sd_, fields_sd_.Count() + 1);
}

template <class Ops>
void TPDBDataSet::WriteWith(typename Ops::Engine& engine, int field_count) {
  failed_row_ = 0;
  failed_field_.clear();
  // A database left open by an earlier failure is dropped, never written.
  engine.AbortDatabase();
  bool disabled = false;
  int number = 0;
  try {
    engine.SetDirectory(directory_);
    engine.SetPDBFilename(pdb_filename_);
    engine.SetDBName(database_name_);
    engine.SetOpenMode(dmModeWriteOnly);
    engine.SetCreatorID(creator_id_);
    engine.SetDatabaseType(database_type_);
    engine.SetCreationDate(creation_date_);
    engine.SetCreationDateAsGiven(creation_date_as_given_ || loaded_file_.loaded);
    engine.SetDBFlags(ToTDBFlags(db_flags_));
    written_image_.clear();
    if (write_to_memory_) {
      engine.CreateDatabaseInMemory(FilePath());
    } else {
      engine.CreateDatabase();
    }
    GiveLoadedFile(engine);
    DisableControls();
    disabled = true;
    First();

    std::vector<std::pair<typename Ops::Field*, TField*>> map;
    const int count = std::min(field_count, engine.Fields().Count());
    for (int i = 0; i < count; ++i) {
      auto& item = engine.Fields().GetItem(i);
      if (Ops::kRowID && IsRowID(item.FieldName())) continue;
      map.emplace_back(&item, &FieldByName(item.FieldName()));
    }
    // The row's record attributes as loaded; a new row gets none.
    const auto give_attributes = [&](std::int32_t record_id) {
      const auto found = row_attributes_.find(record_id);
      const RowAttributes a = found != row_attributes_.end() ? found->second : RowAttributes();
      engine.SetRecCategory(a.category);
      engine.SetRecFlags(a.flags);
      engine.SetRecUniqueID(a.unique_id);
    };
    if (RowsUnwatched() && !Filtered()) {
      for (const auto& rec : Rows()) {
        ++number;
        engine.Append();
        const DirectRow row(OffsetTable(), *rec, number, true);
        for (auto& [item, field] : map) {
          failed_field_ = field->FieldName();
          Ops::Store(*item, *field, row);
        }
        failed_field_.clear();
        give_attributes(rec->RecordID());
        engine.Post();
      }
    } else {
      while (!Eof()) {
        ++number;
        engine.Append();
        const Row row(*this, *ActiveBuffer(), number, true);
        for (auto& [item, field] : map) {
          failed_field_ = field->FieldName();
          Ops::Store(*item, *field, row);
        }
        failed_field_.clear();
        give_attributes(RecordIDOf(*ActiveBuffer()));
        engine.Post();
        Next();
      }
    }
    number = 0;
    engine.CloseDatabase();
    if (write_to_memory_) written_image_ = engine.TakeWrittenImage();
  } catch (...) {
    // The file written so far is dropped; the one loaded stays as it was.
    std::exception_ptr error = std::current_exception();
    failed_row_ = number;
    if (number == 0) failed_field_.clear();
    engine.AbortDatabase();
    if (disabled) {
      try {
        EnableControls();
      } catch (...) {
        HandleException();
      }
    }
    std::rethrow_exception(error);
  }
  EnableControls();
}

}  // namespace corvane
