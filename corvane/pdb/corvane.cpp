#include "corvane/pdb/corvane.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <limits>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/hooks.h"
#include "corvane/host/locale.h"
#include "corvane/host/text.h"

namespace corvane {

TCorvane::TCorvane(TComponent* owner) : TComponent(owner) {
  // The date and time settings that handheld databases use when dates become
  // text. Managers are made in many threads at once while others format dates,
  // so the settings change only when they differ, and then as a new set.
  static constexpr const char* kShortDate = "dd/mm/yyyy";
  static constexpr const char* kLongTime = "hh:nn";
  const FormatSettings& now = DefaultFormatSettings();
  if (now.ShortDateFormat != kShortDate || now.LongTimeFormat != kLongTime ||
      now.DateSeparator != '/' || now.TimeSeparator != ':') {
    ChangeDefaultFormatSettings([](FormatSettings& fs) {
      fs.ShortDateFormat = kShortDate;
      fs.LongTimeFormat = kLongTime;
      fs.DateSeparator = '/';
      fs.TimeSeparator = ':';
    });
  }
}

TCorvane::~TCorvane() {
  CloseOnDestroy();
}

void TCorvane::CloseOnDestroy() noexcept {
  if (!open_) {
    try {
      Unallocate();
    } catch (...) {
      HandleException();
    }
    return;
  }
  try {
    CloseDatabase();
  } catch (...) {
    HandleException();
    ForceClose();
  }
}

void TCorvane::ForceClose() noexcept {
  try {
    Unallocate();
  } catch (...) {
    HandleException();
  }
  try {
    file_.Close();
  } catch (...) {
  }
  DiscardTempFile();
  image_.clear();
  record_count_ = 0;
  open_ = false;
}

void TCorvane::DiscardTempFile() noexcept {
  // An unnamed file vanishes with its descriptor; a named one is removed.
  if (!target_path_.empty() && !file_.IsUnnamed() && !file_.Path().empty() &&
      file_.Path() != target_path_) {
    ::unlink(file_.Path().c_str());
  }
  target_path_.clear();
  memory_target_ = false;
}

// ---- properties ----------------------------------------------------------------

void TCorvane::SetDBName(const std::string& value) {
  if (value != database_name_ && !Trim(value).empty()) {
    if (Trim(value).size() >= 32) RaisePDB(1, kMsgDatabaseNameTooLong);
    if (!ValidateName(value)) RaisePDB(2, kMsgDatabaseNameInvalid);
  }
  database_name_ = value;
  plain_name_ = value;
}

void TCorvane::SetStoredDBName(const std::string& value) {
  if (value.size() >= 32) RaisePDB(1, kMsgDatabaseNameTooLong);
  for (unsigned char c : value) {
    if (c < 32 || c == 127) RaisePDB(2, kMsgDatabaseNameInvalid);
  }
  database_name_ = value;
  plain_name_ = value;
}

void TCorvane::SetCreatorID(const std::string& value) {
  if (value != creator_id_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgCreatorIdLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgCreatorIdInvalid);
  }
  creator_id_ = value;
}

void TCorvane::SetDatabaseType(const std::string& value) {
  if (value != database_type_ && !Trim(value).empty()) {
    if (Trim(value).size() != 4) RaisePDB(1, kMsgDatabaseTypeLength);
    if (!ValidateCreatorType(value)) RaisePDB(2, kMsgDatabaseTypeInvalid);
  }
  database_type_ = value;
}

void TCorvane::SetPDBFilename(const std::string& value) {
  if (value != pdb_filename_ && !Trim(value).empty()) {
    if (UpperCase(ExtractFileExt(value)) != ".PDB") RaisePDB(1, kMsgFilenameNotPdb);
    if (!ValidateName(value)) RaisePDB(2, kMsgFilenameInvalid);
  }
  pdb_filename_ = value;
}

void TCorvane::SetOpenMode(TOpenMode mode) {
  if (open_) RaisePDB(1, kMsgOpenModeWhileOpen);
  open_mode_ = mode == dmModeReadOnly ? 0 : 1;
}

bool TCorvane::ValidateName(const std::string& text) noexcept {
  for (unsigned char c : text) {
    if (c < 32 || c > 126) return false;
  }
  return true;
}

bool TCorvane::ValidateCreatorType(const std::string& text) noexcept {
  for (unsigned char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!ok) return false;
  }
  return true;
}

void TCorvane::SetWriteCategory(bool value) {
  if (!open_) RaisePDB(1, kMsgWriteCategoryNotOpen);
  if (GetOpenMode() != dmModeWriteOnly) RaisePDB(2, kMsgWriteCategoryNotCreating);
  write_category_ = value;
}

void TCorvane::GetAppInfoP(std::span<const std::uint8_t>& Block,
                           std::int32_t& Length) const noexcept {
  Block = app_info_;
  Length = static_cast<std::int32_t>(app_info_.size());
}

void TCorvane::SetAppInfoP(Bytes Block) {
  app_info_ = std::move(Block);
}

void TCorvane::GetSortInfoP(std::span<const std::uint8_t>& Block,
                            std::int32_t& Length) const noexcept {
  Block = sort_info_;
  Length = static_cast<std::int32_t>(sort_info_.size());
}

void TCorvane::SetSortInfoP(Bytes Block) {
  sort_info_ = std::move(Block);
}

// ---- opening -------------------------------------------------------------------

std::string TCorvane::JoinedPath() const {
  return directory_ + "/" + pdb_filename_;
}

void TCorvane::OpenDatabase() {
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(9, kMsgOpenWriteOnly);
  if (open_) RaisePDB(1, kMsgAlreadyOpen);
  if (Trim(directory_).empty()) RaisePDB(2, kMsgOpenNoDirectory);
  if (Trim(pdb_filename_).empty()) RaisePDB(3, kMsgOpenNoFilename);
  // The names as given, blanks included: the file checked is the one read,
  // and the one CreateDatabase would replace.
  const std::string path = JoinedPath();
  if (!FileExists(path)) RaiseMissing(path);
  OpenPath(path);
}

void TCorvane::OpenDatabaseFile(const std::string& Path) {
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(9, kMsgOpenWriteOnly);
  if (open_) RaisePDB(1, kMsgAlreadyOpen);
  if (Trim(Path).empty()) RaisePDB(3, kMsgOpenNoFilename);
  if (!FileExists(Path)) RaiseMissing(Path);
  OpenPath(Path);
}

// A path that is no readable file: say whether it is missing or a directory.
// A device, a FIFO or a socket exists: it is refused for what it is (reading
// one could block, or never end).
void TCorvane::RaiseMissing(const std::string& path) {
  struct stat st {};
  const int err = ::stat(path.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (err == 0 && !S_ISREG(st.st_mode)) {
    const char* kind = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISFIFO(st.st_mode)                     ? "a FIFO"
                       : S_ISSOCK(st.st_mode)                     ? "a socket"
                                                                  : "no regular file";
    RaisePDBBecause(4, kMsgPdbFileMissing, path,
                    std::string("it is ") + kind + ", not a regular file");
  }
  RaisePDB(4, kMsgPdbFileMissing, path, err);
}

void TCorvane::OpenPath(const std::string& path) {
  try {
    file_.Assign(path);
  } catch (const Exception&) {
    RaisePDB(5, kMsgPdbFileAssign, path);
  }
  try {
    file_.Reset();
    const std::int64_t size = file_.Size();
    // Offsets in the file are 32-bit and its size is kept in a signed 32-bit
    // number: anything larger is no database this reader can describe.
    if (size > std::numeric_limits<std::int32_t>::max()) {
      file_.Close();
      RaisePDB(7, kMsgNotPdbFile, path);
    }
    image_.ResizeForOverwrite(static_cast<std::size_t>(size));
    file_.BlockRead(image_.span());
    file_.Close();
  } catch (const EPDBException&) {
    throw;
  } catch (const std::exception& e) {
    image_.clear();
    try {
      file_.Close();
    } catch (...) {
    }
    const auto* io = dynamic_cast<const EInOutError*>(&e);
    RaisePDB(6, kMsgPdbFileOpen, path, io != nullptr ? io->ErrorCode() : 0);
  }
  source_name_ = path;
  OpenImage();
}

void TCorvane::OpenDatabase(std::span<const std::uint8_t> bytes, std::string name) {
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(9, kMsgOpenWriteOnly);
  if (open_) RaisePDB(1, kMsgAlreadyOpen);
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    RaisePDB(7, kMsgNotPdbFile, name);
  }
  image_.Borrow(bytes);
  source_name_ = std::move(name);
  OpenImage();
}

void TCorvane::OpenDatabase(Bytes&& bytes, std::string name) {
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(9, kMsgOpenWriteOnly);
  if (open_) RaisePDB(1, kMsgAlreadyOpen);
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    RaisePDB(7, kMsgNotPdbFile, name);
  }
  image_.Adopt(std::move(bytes));
  source_name_ = std::move(name);
  OpenImage();
}

// Everything of opening that concerns the bytes alone, wherever they came from.
void TCorvane::OpenImage() {
  try {
    try {
      ReadHeader();
    } catch (const EPDBException& e) {
      if (!e.Reason().empty()) RaisePDBBecause(7, kMsgNotPdbFile, source_name_, e.Reason());
      RaisePDB(7, kMsgNotPdbFile);
    }
    try {
      app_info_.clear();
      if (app_info_offset_ != 0)
        ReadBlock(app_info_offset_, AppInfoLength(), app_info_, 1, kMsgAppInfoLocate,
                  kMsgAppInfoRead);
    } catch (const EPDBException& e) {
      RaisePDBBecause(10, kMsgAppInfoBlockRead, source_name_,
                      "the application-info block: " + e.Reason());
    } catch (const std::exception&) {
      RaisePDB(10, kMsgAppInfoBlockRead);
    }
    try {
      sort_info_.clear();
      if (sort_info_offset_ != 0) {
        ReadBlock(sort_info_offset_, SortInfoLength(), sort_info_, 1, kMsgSortInfoLocate,
                  kMsgSortInfoRead);
      }
    } catch (const EPDBException& e) {
      RaisePDBBecause(10, kMsgSortInfoBlockRead, source_name_,
                      "the sort-info block: " + e.Reason());
    } catch (const std::exception&) {
      RaisePDB(10, kMsgSortInfoBlockRead);
    }
  } catch (EPDBException& e) {
    image_.clear();
    app_info_.clear();
    sort_info_.clear();
    if (e.Path().empty()) e.WithPath(source_name_);
    throw;
  }
  open_ = true;
  GetFieldsDefinition();
  First();
}

void TCorvane::ReadHeader() {
  if (image_.size() < pdb::kHeaderSize) {
    RaisePDBBecause(7, kMsgNotPdbFile, source_name_,
                    image_.empty()
                        ? std::string("it is empty")
                        : "it holds " + std::to_string(image_.size()) +
                              " bytes, fewer than a header's " + std::to_string(pdb::kHeaderSize));
  }
  const pdb::Header h = pdb::DecodeHeader(
      std::span<const std::uint8_t, pdb::kHeaderSize>(image_.data(), pdb::kHeaderSize),
      StandardTimeZoneBiasMinutes());
  // A resource database has 10-byte entries that this format would misread,
  // and a record list that cannot fit in the file is no record list.
  if ((h.attributes & pdb::kAttrResourceDB) != 0) {
    RaisePDBBecause(7, kMsgNotPdbFile, source_name_,
                    "it is a resource database, whose entries are resources, not records");
  }
  if (pdb::kHeaderSize + pdb::kEntrySize * h.record_count > image_.size()) {
    RaisePDBBecause(7, kMsgNotPdbFile, source_name_,
                    "its list of " + std::to_string(h.record_count) +
                        " records runs past the end of the file at " +
                        std::to_string(image_.size()));
  }
  database_name_ = h.name;
  plain_name_ = h.name;
  attributes_ = h.attributes;
  version_ = h.version;
  creation_date_ = h.creation_date;
  modification_date_ = h.modification_date;
  last_backup_date_ = h.backup_date;
  stored_dates_ = {h.creation_stored, h.modification_stored, h.backup_stored};
  no_date_kept_ = {};
  modification_number_ = h.modification_number;
  app_info_offset_ = h.app_info_offset;
  sort_info_offset_ = h.sort_info_offset;
  database_type_ = h.type;
  creator_id_ = h.creator;
  unique_id_seed_ = h.unique_id_seed;
  next_record_list_id_ = h.next_record_list_id;
  file_record_count_ = h.record_count;
  record_count_ = FixRecordCount(h.record_count);
  BuildDBName();
}

std::uint32_t TCorvane::FirstDataOffset() const noexcept {
  // The first entry that has data; a deleted entry written with offset 0 says nothing.
  for (std::int32_t i = 0; i < file_record_count_; ++i) {
    const std::uint32_t off = FileEntry(i).data_offset;
    if (off != 0) return off;
  }
  return static_cast<std::uint32_t>(image_.size());
}

std::int64_t TCorvane::AppInfoLength() const {
  if (sort_info_offset_ != 0) return std::int64_t{sort_info_offset_} - app_info_offset_;
  return std::int64_t{FirstDataOffset()} - app_info_offset_;
}

std::int64_t TCorvane::SortInfoLength() const {
  return std::int64_t{FirstDataOffset()} - sort_info_offset_;
}

void TCorvane::ReadBlock(std::uint32_t offset, std::int64_t length, Bytes& out, int code_locate,
                         int msg_locate, int msg_read) {
  const std::string size = std::to_string(image_.size());
  if (offset > image_.size()) {
    RaisePDBBecause(
        code_locate, msg_locate, source_name_,
        "it starts at offset " + std::to_string(offset) + ", past the end of the file at " + size);
  }
  if (length < 0) {
    RaisePDBBecause(code_locate + 2, msg_read, source_name_,
                    "it starts at offset " + std::to_string(offset) +
                        ", after the data that should follow it at " +
                        std::to_string(offset + length));
  }
  if (length > static_cast<std::int64_t>(image_.size() - offset)) {
    RaisePDBBecause(code_locate + 2, msg_read, source_name_,
                    "it runs from offset " + std::to_string(offset) + " to " +
                        std::to_string(offset + length) + ", past the end of the file at " + size);
  }
  out.assign(image_.data() + offset, image_.data() + offset + length);
}

// ---- records -------------------------------------------------------------------

std::optional<TRecordEntry> TCorvane::GetRecInFile(std::int32_t RecNo) const {
  if (!open_ || image_.empty() || RecNo < 0 || RecNo >= file_record_count_) return std::nullopt;
  const pdb::Entry e = FileEntry(RecNo);
  TRecordEntry r;
  r.DataOffset = e.data_offset;
  r.Category = e.category;
  r.Flags = e.flags;
  r.UniqueID = e.unique_id;
  return r;
}

TRecordEntry* TCorvane::GetRecInLinkedList(std::int32_t RecNo) {
  if (RecNo < 0 || static_cast<std::size_t>(RecNo) >= record_list_.size()) return nullptr;
  TRecordEntry& e = record_list_[static_cast<std::size_t>(RecNo)];
  // The caller may keep the entry, or a copy of it, past the record list and
  // may replace its Data: it gets bytes of its own rather than a view into the
  // packed records.
  if (e.packed_ != nullptr) {
    e.Data = std::make_shared<const Bytes>(e.packed_, e.packed_ + e.DataLength);
    e.packed_ = nullptr;
  }
  return &e;
}

bool TCorvane::RecordBytes(std::int32_t RecNo, const pdb::Entry& e,
                           std::span<const std::uint8_t>& out) {
  if (e.flags.Contains(dmRecAttrDelete)) return false;
  return StoredBytes(RecNo, e, out);
}

std::span<const std::uint8_t> TCorvane::StoredRecordBytes(std::int32_t RecNo) {
  if (!open_) RaisePDB(1, kMsgGetRecordNotOpen);
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(7, kMsgGetRecordWriteOnly);
  if (RecNo > FixLast() || RecNo < 0) RaisePDB(2, kMsgRecordDoesNotExist);
  if (RecNo >= file_record_count_) RaisePDB(3, kMsgRecordNotInList);
  const pdb::Entry e = FileEntry(RecNo);
  // A deleted record written with offset 0 has no data at all.
  if (e.flags.Contains(dmRecAttrDelete) && e.data_offset == 0) return {};
  std::span<const std::uint8_t> out;
  StoredBytes(RecNo, e, out);
  return out;
}

bool TCorvane::StoredBytes(std::int32_t RecNo, const pdb::Entry& e,
                           std::span<const std::uint8_t>& out) {
  // A live record at offset 0 would be the header itself, and since offset 0 is
  // skipped when the end is sought, a list of them would each span the file up
  // to the next real offset: a small file could make a walk copy gigabytes.
  const auto fault = [&](int code, int message_id, const std::string& why) {
    RaisePDBBecause(code, message_id, source_name_, "record " + std::to_string(RecNo) + ": " + why);
  };
  if (e.data_offset == 0) fault(6, kMsgRecordRead, "its data offset is 0, the header's");
  // The record runs to the next entry that has data (a deleted record written
  // with offset 0 has none), or to the end of the file after the last one.
  std::uint32_t end = static_cast<std::uint32_t>(image_.size());
  std::int32_t last = std::min<std::int32_t>(FixLast(), file_record_count_ - 1);
  if (RecNo < last) {
    const std::uint8_t* next = image_.data() + pdb::kHeaderSize + pdb::kEntrySize * (RecNo + 1);
    for (std::int32_t i = RecNo + 1; i < file_record_count_; ++i, next += pdb::kEntrySize) {
      const std::uint32_t off = LoadU32(next);  // only the offset is needed
      if (off != 0) {
        end = off;
        break;
      }
    }
  }
  if (end < e.data_offset) {
    fault(8, kMsgRecordSize,
          "its data at offset " + std::to_string(e.data_offset) +
              (end == image_.size() ? " lies past the end of the file at "
                                    : " comes after the next record's at ") +
              std::to_string(end));
  }
  if (end > image_.size()) {
    fault(6, kMsgRecordRead,
          "its data runs from offset " + std::to_string(e.data_offset) + " to " +
              std::to_string(end) + ", past the end of the file at " +
              std::to_string(image_.size()));
  }
  out = std::span<const std::uint8_t>(image_.data() + e.data_offset, end - e.data_offset);
  return true;
}

void TCorvane::GetRecord(std::int32_t RecNo, std::shared_ptr<Bytes>& Data, std::int32_t& Size,
                         TRecFlags& Flags, std::int32_t& UniqueID, std::uint8_t& Category) {
  if (!open_) RaisePDB(1, kMsgGetRecordNotOpen);
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(7, kMsgGetRecordWriteOnly);
  if (RecNo > FixLast() || RecNo < 0) RaisePDB(2, kMsgRecordDoesNotExist);
  if (RecNo >= file_record_count_) RaisePDB(3, kMsgRecordNotInList);
  const pdb::Entry e = FileEntry(RecNo);
  std::span<const std::uint8_t> bytes;
  if (RecordBytes(RecNo, e, bytes)) {
    Size = static_cast<std::int32_t>(bytes.size());
    Data = std::make_shared<Bytes>(bytes.begin(), bytes.end());
  } else {
    Data.reset();
  }
  Category = e.category;
  Flags = e.flags;
  UniqueID = static_cast<std::int32_t>(e.unique_id);
}

// ---- cursor --------------------------------------------------------------------

void TCorvane::SetDBCursor(std::int32_t RecNo) noexcept {
  if (record_count_ == 0) {
    bof_ = eof_ = true;
    cursor_ = -1;
  } else {
    bof_ = eof_ = false;
    cursor_ = RecNo;
  }
}

void TCorvane::SetEngineRecord(std::int32_t /*RecNo*/) {
  SetCustomRecord();
}

void TCorvane::First() {
  if (record_count_ == 0) return;
  const std::int32_t i = FixFirst();
  SetDBCursor(i);
  SetEngineRecord(i);
}

void TCorvane::Last() {
  if (record_count_ == 0) return;
  const std::int32_t i = FixLast();
  SetDBCursor(i);
  SetEngineRecord(i);
}

void TCorvane::Next() {
  if (record_count_ == 0) {
    bof_ = eof_ = true;
    return;
  }
  if (eof_) RaisePDB(bof_ ? 1 : 2, bof_ ? kMsgNextEmpty : kMsgNextAtEof);
  if (cursor_ == FixLast()) {
    bof_ = false;
    eof_ = true;
    return;
  }
  ++cursor_;
  SetEngineRecord(cursor_);
}

void TCorvane::Previous() {
  if (record_count_ == 0) return;
  if (bof_) RaisePDB(eof_ ? 1 : 2, eof_ ? kMsgPreviousEmpty : kMsgPreviousAtBof);
  if (cursor_ == FixFirst()) {
    bof_ = true;
    eof_ = false;
    return;
  }
  --cursor_;
  SetEngineRecord(cursor_);
}

bool TCorvane::Bof() noexcept {
  if (record_count_ == 0) bof_ = eof_ = true;
  return bof_;
}

bool TCorvane::Eof() noexcept {
  if (record_count_ == 0) bof_ = eof_ = true;
  return eof_;
}

// ---- categories ----------------------------------------------------------------

void TCorvane::ReadCategories() {
  InitializeCategory();
  std::fill(category_ids_->begin(), category_ids_->end(), std::uint8_t{0});
  if (!open_) RaisePDB(1, kMsgReadCategoriesNotOpen);
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(2, kMsgReadCategoriesWriteOnly);
  if (app_info_offset_ == 0) RaisePDB(3, kMsgNoCategories);
  if (app_info_.empty()) {
    try {
      ReadBlock(app_info_offset_, AppInfoLength(), app_info_, 1, kMsgAppInfoLocate,
                kMsgAppInfoRead);
    } catch (const std::exception&) {
      RaisePDB(4, kMsgAppInfoUnreadable);
    }
  }
  pdb::CategoryTable table;
  if (!pdb::DecodeCategoryTable(app_info_, table)) {
    ReleaseCategories();
    RaisePDB(5, kMsgCategoriesInvalid);
  }
  *category_names_ = std::move(table.names);
  *category_ids_ = table.ids;
}

namespace {
// Categories read on demand report the reader's failure one code further on.
template <class F>
void WithCategoriesRead(F&& read) {
  try {
    read();
  } catch (const EPDBException& e) {
    throw EPDBException(e.ErrorCode() + 1, e.what());
  }
}
}  // namespace

std::string TCorvane::GetCategory(std::uint8_t Index) {
  if (Index > 15) RaisePDB(1, kMsgGetCategoryIndex);
  if (!category_names_) WithCategoriesRead([this] { ReadCategories(); });
  return (*category_names_)[Index];
}

std::uint8_t TCorvane::GetCategoryID(std::uint8_t Index) {
  if (Index > 15) RaisePDB(1, kMsgGetCategoryIdIndex);
  if (!category_ids_) WithCategoriesRead([this] { ReadCategories(); });
  return (*category_ids_)[Index];
}

void TCorvane::SetCategory(std::uint8_t Index, const std::string& Name) {
  if (Index > 15) RaisePDB(1, kMsgSetCategoryIndex);
  if (!category_names_) InitializeCategory();
  (*category_names_)[Index] = Name;
}

void TCorvane::SetCategoryID(std::uint8_t Index, std::uint8_t ID) {
  if (Index > 15) RaisePDB(1, kMsgSetCategoryIndex);
  if (!category_ids_) InitializeCategory();
  (*category_ids_)[Index] = ID;
}

std::uint8_t TCorvane::GetRecCategoryID(std::int32_t RecNo) {
  if (!open_) RaisePDB(1, kMsgRecordCategoryNotOpen);
  if (GetOpenMode() == dmModeWriteOnly) RaisePDB(2, kMsgRecordCategoryWriteOnly);
  const std::optional<TRecordEntry> entry = GetRecInFile(RecNo);
  if (!entry) RaisePDB(3, kMsgRecordCategoryNotRetrieved);
  return entry->Category;
}

std::string TCorvane::GetRecCategoryName(std::int32_t RecNo) {
  return GetCategory(GetRecCategoryID(RecNo));
}

}  // namespace corvane
