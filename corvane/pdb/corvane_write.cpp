// TCorvane: creating a database and writing it on close, through a temporary
// file that replaces the target only once it is complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <limits>
#include <system_error>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/hooks.h"
#include "corvane/host/locale.h"
#include "corvane/host/text.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/write_target.h"

namespace corvane {

// ---- creating and closing ------------------------------------------------------

void TCorvane::CreateDatabase() {
  if (GetOpenMode() == dmModeReadOnly) RaisePDB(1, kMsgCreateReadOnly);
  if (open_) RaisePDB(2, kMsgCreateWhileOpen);
  if (create_path_.empty() && Trim(directory_).empty()) RaisePDB(3, kMsgCreateNoDirectory);
  if (create_path_.empty() && Trim(pdb_filename_).empty()) RaisePDB(4, kMsgCreateNoFilename);
  if (Trim(creator_id_).size() != 4) RaisePDB(5, kMsgCreateCreatorId);
  if (Trim(database_type_).size() != 4) RaisePDB(6, kMsgCreateDatabaseType);
  if (Trim(database_name_).empty()) RaisePDB(8, kMsgCreateNoDatabaseName);
  // The bytes go to a temporary file beside the target, which replaces the
  // target only when CloseDatabase has written it whole: a failure on the way
  // leaves any earlier file as it was.
  const std::string target = create_path_.empty() ? JoinedPath() : create_path_;
  pdb::WriteTarget resolved;
  const pdb::TargetRefusal refusal = pdb::ResolveWriteTarget(target, resolved);
  if (refusal.refused()) {
    EPDBException e(7, GetLocaleString(kMsgPdbFileCreate));
    e.WithMessageId(kMsgPdbFileCreate).WithPath(target).WithSystemError(refusal.system_error);
    e.WithReason(refusal.reason);
    throw e;
  }
  const std::string directory = pdb::DirectoryOf(resolved.path);
  pdb::RemoveStaleTemporaries(directory);
  try {
    file_.CreateUnnamedTemporary(directory);
  } catch (const EInOutError& e) {
    RaisePDB(7, kMsgPdbFileCreate, target, e.ErrorCode());
  }
  pdb::GiveAccessOf(file_.Descriptor(), resolved);
  target_path_ = resolved.path;
  source_name_ = target;
  BeginWriting();
}

void TCorvane::CreateDatabaseFile(const std::string& Path) {
  if (GetOpenMode() == dmModeWriteOnly && !open_ && Trim(Path).empty()) {
    RaisePDB(4, kMsgCreateNoFilename);
  }
  create_path_ = Path;
  try {
    CreateDatabase();
  } catch (...) {
    create_path_.clear();
    throw;
  }
  create_path_.clear();
}

void TCorvane::CreateDatabaseInMemory(std::string name) {
  if (GetOpenMode() == dmModeReadOnly) RaisePDB(1, kMsgCreateReadOnly);
  if (open_) RaisePDB(2, kMsgCreateWhileOpen);
  if (Trim(creator_id_).size() != 4) RaisePDB(5, kMsgCreateCreatorId);
  if (Trim(database_type_).size() != 4) RaisePDB(6, kMsgCreateDatabaseType);
  if (Trim(database_name_).empty()) RaisePDB(8, kMsgCreateNoDatabaseName);
  memory_target_ = true;
  written_.clear();
  source_name_ = std::move(name);
  BeginWriting();
}

void TCorvane::BeginWriting() {
  image_.clear();
  version_ = 0;
  modification_date_ = 0;
  modification_number_ = 0;
  last_backup_date_ = 0;
  stored_dates_ = {};
  record_list_.clear();
  packed_records_.Clear();
  record_count_ = 0;
  InitializeCategory();
  open_ = true;
}

void TCorvane::BeginImage(std::size_t size) {
  if (memory_target_) {
    // One block of the final size, filled by appending: nothing is zero-filled
    // first and nothing is copied twice.
    written_.clear();
    written_.reserve(size);
    return;
  }
  file_.Seek(0);
}

void TCorvane::WriteImage(std::span<const std::span<const std::uint8_t>> pieces) {
  if (memory_target_) {
    for (const auto& piece : pieces) written_.insert(written_.end(), piece.begin(), piece.end());
    return;
  }
  // Straight from the records' own blocks: no image of the whole file is built.
  file_.GatherWrite(pieces);
}

void TCorvane::EndImage() {
  // On the device before the rename, so that a power cut leaves the old file
  // or the new one, never a name that points at nothing written.
  if (!memory_target_) file_.Sync();
}

void TCorvane::CloseDatabase() {
  const bool writing = GetOpenMode() == dmModeWriteOnly;
  if (writing) BuildPDBInfo();
  if (!open_) RaisePDB(1, kMsgCloseNotOpen);
  if (writing) {
    try {
      FlushAllData(write_category_);
    } catch (const EInOutError& e) {
      // The file system refused the bytes (a full disk, a size limit): the
      // half-written temporary file goes and the database is closed, so that
      // no later close (a destructor's) writes it again after the caller has
      // been told it failed. The target keeps its earlier bytes. The message
      // names the file the caller asked for, not the temporary one.
      const std::string shown = memory_target_ ? std::string() : source_name_;
      ForceClose();
      if (shown.empty()) throw;
      throw EInOutError("Cannot write '" + shown + "': " +
                            std::generic_category().message(e.ErrorCode()),
                        e.ErrorCode());
    }
  }
  Unallocate();
  if (writing && !target_path_.empty()) {
    try {
      // Named only now that it is whole and on the device: until here a
      // killed process leaves nothing behind.
      if (file_.IsUnnamed()) file_.LinkTemporary();
      file_.Close();
    } catch (const EInOutError& e) {
      const int err = e.ErrorCode();
      const std::string shown = source_name_;
      ForceClose();
      throw EInOutError("Cannot write '" + shown + "': " + std::generic_category().message(err),
                        err);
    }
    if (std::rename(file_.Path().c_str(), target_path_.c_str()) != 0) {
      const int err = errno;
      DiscardTempFile();
      record_count_ = 0;
      open_ = false;
      throw EInOutError("Cannot replace '" + target_path_ + "'", err);
    }
    pdb::SyncDirectory(pdb::DirectoryOf(target_path_));
    target_path_.clear();
  } else {
    file_.Close();
  }
  memory_target_ = false;
  image_.clear();
  record_count_ = 0;
  open_ = false;
}

void TCorvane::Unallocate() {
  UnallocateCustom();
  ReleaseCategories();
  app_info_.clear();
  sort_info_.clear();
  record_list_.clear();
  packed_records_.Clear();
}

void TCorvane::ReleaseCategories() noexcept {
  category_names_.reset();
  category_ids_.reset();
}

void TCorvane::InitializeCategory() {
  ReleaseCategories();
  category_names_ = std::make_unique<TArrayCategories>();
  category_ids_ = std::make_unique<std::array<std::uint8_t, 17>>();
  for (std::uint8_t i = 0; i < 16; ++i) (*category_ids_)[i] = i;
  (*category_ids_)[16] = 15;
}

}  // namespace corvane
