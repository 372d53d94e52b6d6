// TCorvane: the record-level manager. It owns one PDB file at a time:
//  - dmModeReadOnly: OpenDatabase reads an existing file (held in memory while
//    it is open, every offset checked against its size) and the cursor walks
//    its records;
//  - dmModeWriteOnly: CreateDatabase prepares a new file; records are collected
//    in memory (TPDBBaseMgr) and CloseDatabase writes the whole file in one pass
//    into a temporary file that replaces the target only once it is complete.
// Failures of its checks raise EPDBException with the operation's code and the
// catalogue message; file-system failures outside the guarded steps raise
// EInOutError.
//
// Threads: the library starts no threads and holds no locks of its own over
// an object. One object (a manager, an engine, the generic manager, a
// dataset, a field collection) must not be used by two threads at once
// without the caller's own locking. Distinct objects may be used in distinct
// threads at the same time, each over its own file; two objects writing the
// same file race for it like any two programs. The message language is the
// calling thread's (foundation/messages.h), so threads may work in different
// languages. Constructing a manager may change the process-wide date
// settings (host/datetime.h), which any thread may read at any time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "corvane/foundation/types.h"
#include "corvane/host/binary_file.h"
#include "corvane/host/component.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/file_format.h"
#include "corvane/pdb/record_arena.h"

namespace corvane {

class TCorvane;
class TPDBBaseMgr;

// One record as the manager handles it. A record posted by an engine is owned
// by its entry alone (its bytes packed in the manager's record arena until a
// caller reaches the entry); a block handed to the raw writers is shared with
// the caller, who may drop its reference at any time. Every entry a caller
// reaches (GetRecInLinkedList) holds its bytes in Data.
struct TRecordEntry {
  std::uint32_t DataOffset = 0;  // 0 for a record that lives only in memory
  std::uint8_t Category = 0;
  TRecFlags Flags;
  std::uint32_t UniqueID = 0;
  std::shared_ptr<const Bytes> Data;  // nothing for a record without data
  bool OwnsData = false;
  std::int32_t DataLength = 0;

  // The record's bytes: Data's, or those Post packed into the manager's store
  // (DataLength of them) while no caller has asked for the entry.
  std::span<const std::uint8_t> View() const noexcept {
    if (Data) return std::span<const std::uint8_t>(*Data);
    if (packed_ != nullptr) return {packed_, static_cast<std::size_t>(DataLength)};
    return {};
  }
  bool HasData() const noexcept { return Data != nullptr || packed_ != nullptr; }

 private:
  friend class TCorvane;
  friend class TPDBBaseMgr;
  // A posted record's bytes in the manager's RecordArena; they live as long as
  // the record list that holds the entry. Never set when Data is.
  const std::uint8_t* packed_ = nullptr;
};

namespace pdb {
// The bytes of a database open for reading: read from a file into a block of
// its own (not zero-filled first: that would cost as much as the read), a
// caller's byte vector taken over, or a caller's bytes borrowed as they are.
class FileImage {
 public:
  void ResizeForOverwrite(std::size_t n) {
    clear();
    owned_ = n ? std::make_unique_for_overwrite<std::uint8_t[]>(n) : nullptr;
    data_ = owned_.get();
    size_ = n;
  }
  void Adopt(Bytes&& bytes) noexcept {
    clear();
    vector_ = std::move(bytes);
    data_ = vector_.data();
    size_ = vector_.size();
  }
  void Borrow(std::span<const std::uint8_t> bytes) noexcept {
    clear();
    data_ = bytes.data();
    size_ = bytes.size();
  }
  void clear() noexcept {
    owned_.reset();
    vector_ = Bytes();
    data_ = nullptr;
    size_ = 0;
  }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const std::uint8_t* data() const noexcept { return data_; }
  const std::uint8_t* begin() const noexcept { return data_; }
  operator std::span<const std::uint8_t>() const noexcept { return {data_, size_}; }
  // The block ResizeForOverwrite made, to be filled.
  std::span<std::uint8_t> span() noexcept { return {owned_.get(), owned_ ? size_ : 0}; }

 private:
  std::unique_ptr<std::uint8_t[]> owned_;
  Bytes vector_;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};
}  // namespace pdb

class TCorvane : public TComponent {
 public:
  explicit TCorvane(TComponent* owner = nullptr);
  ~TCorvane() override;

  // Published properties. The validating setters store a value equal to the
  // current one, or one that is blank once trimmed, without checks.
  const std::string& Directory() const noexcept { return directory_; }
  void SetDirectory(const std::string& value) { directory_ = value; }
  const std::string& PDBFilename() const noexcept { return pdb_filename_; }
  // Raises EPDBException 1 kMsgFilenameNotPdb, 2 kMsgFilenameInvalid.
  void SetPDBFilename(const std::string& value);
  const std::string& DatabaseName() const noexcept { return database_name_; }
  // Raises EPDBException 1 kMsgDatabaseNameTooLong, 2 kMsgDatabaseNameInvalid.
  void SetDBName(const std::string& value);
  TOpenMode GetOpenMode() const noexcept {
    return open_mode_ == 0 ? dmModeReadOnly : dmModeWriteOnly;
  }
  // Raises EPDBException 1 kMsgOpenModeWhileOpen.
  void SetOpenMode(TOpenMode mode);
  const std::string& CreatorID() const noexcept { return creator_id_; }
  // Raises EPDBException 1 kMsgCreatorIdLength, 2 kMsgCreatorIdInvalid.
  void SetCreatorID(const std::string& value);
  const std::string& DatabaseType() const noexcept { return database_type_; }
  // Raises EPDBException 1 kMsgDatabaseTypeLength, 2 kMsgDatabaseTypeInvalid.
  void SetDatabaseType(const std::string& value);
  TDateTime CreationDate() const noexcept { return creation_date_; }
  void SetCreationDate(TDateTime value) noexcept { creation_date_ = value; }
  TDBFlags GetDBFlags() const noexcept { return pdb::ToTDBFlags(attributes_); }
  // The attribute word becomes exactly the bits of the set; every other bit is cleared.
  void SetDBFlags(TDBFlags flags) noexcept { attributes_ = pdb::DBFlagsToWord(flags); }

  // Other header values, without checks.
  std::uint16_t GetDBVersion() const noexcept { return version_; }
  void SetDBVersion(std::uint16_t v) noexcept { version_ = v; }
  TDateTime GetModificationDate() const noexcept { return modification_date_; }
  void SetModificationDate(TDateTime v) noexcept { modification_date_ = v; }
  std::uint32_t GetModification() const noexcept { return modification_number_; }
  void SetModification(std::uint32_t v) noexcept { modification_number_ = v; }
  TDateTime GetLastBackupDate() const noexcept { return last_backup_date_; }
  void SetLastBackupDate(TDateTime v) noexcept { last_backup_date_ = v; }
  // The header dates' stored values: as read from the file (0 for none), and
  // when writing, the value written for a date that it stores to the second,
  // so that a file read and written back keeps its bytes (a value below 2^31
  // counts seconds since 1970, another moment's bytes). A date changed since
  // is written in its own encoding. Creating a database resets them to 0.
  enum class HeaderDate { Creation, Modification, Backup };
  std::uint32_t StoredDate(HeaderDate which) const noexcept {
    return stored_dates_[static_cast<std::size_t>(which)];
  }
  void SetStoredDate(HeaderDate which, std::uint32_t value) noexcept {
    stored_dates_[static_cast<std::size_t>(which)] = value;
    no_date_kept_[static_cast<std::size_t>(which)] = false;
  }
  // For a date that reads as none (a stored value whose two high bytes are
  // 0, or 0 itself): writes exactly `value`, where a write would otherwise
  // give a date of its own (the moment of writing for the creation date) or
  // 0. The date itself is then not used. Creating a database resets it.
  void KeepNoDate(HeaderDate which, std::uint32_t value) noexcept {
    stored_dates_[static_cast<std::size_t>(which)] = value;
    no_date_kept_[static_cast<std::size_t>(which)] = true;
  }
  bool NoDateKept(HeaderDate which) const noexcept {
    return no_date_kept_[static_cast<std::size_t>(which)];
  }
  // Whether a creation date before 1990 is written as given (true) or
  // replaced by the moment of writing (false, at first). A creation date of 0
  // is the moment of writing either way.
  bool CreationDateAsGiven() const noexcept { return creation_date_as_given_; }
  void SetCreationDateAsGiven(bool value) noexcept { creation_date_as_given_ = value; }
  // The whole attribute word, including bits that have no TDBEnumFlags.
  // Stores a name copied from another database with the bytes it had: handhelds
  // of other languages store names in their own character sets, so bytes from
  // 0x80 up pass as well as 32 to 126 (a control byte or DEL does not).
  // Raises EPDBException 1 kMsgDatabaseNameTooLong, 2 kMsgDatabaseNameInvalid.
  void SetStoredDBName(const std::string& value);
  std::uint16_t GetAttributes() const noexcept { return attributes_; }
  void SetAttributes(std::uint16_t v) noexcept { attributes_ = v; }
  std::uint32_t GetAppInfoOffset() const noexcept { return app_info_offset_; }
  std::uint32_t GetSortInfoOffset() const noexcept { return sort_info_offset_; }
  std::uint32_t GetUniqueIDSeed() const noexcept { return unique_id_seed_; }
  void SetUniqueIDSeed(std::uint32_t v) noexcept { unique_id_seed_ = v; }
  std::uint32_t GetNextRecordListID() const noexcept { return next_record_list_id_; }
  // Size of the open file in bytes (0 when none is open for reading).
  std::int64_t FileSize() const noexcept { return static_cast<std::int64_t>(image_.size()); }
  const std::string& PlainDatabaseName() const noexcept { return plain_name_; }

  // The application-info and sort-info blocks: as read, or as set to be written.
  void GetAppInfoP(std::span<const std::uint8_t>& Block, std::int32_t& Length) const noexcept;
  void SetAppInfoP(Bytes Block);
  void GetSortInfoP(std::span<const std::uint8_t>& Block, std::int32_t& Length) const noexcept;
  void SetSortInfoP(Bytes Block);

  bool isOpen() const noexcept { return open_; }
  static bool ValidateName(const std::string& text) noexcept;
  static bool ValidateCreatorType(const std::string& text) noexcept;
  // Whether CloseDatabase writes a category table of the manager's own before
  // the application-info block. An engine whose block starts with a table of
  // its own refuses true.
  // Raises EPDBException 1 kMsgWriteCategoryNotOpen, 2 kMsgWriteCategoryNotCreating.
  virtual void SetWriteCategory(bool value);
  bool WriteCategory() const noexcept { return write_category_; }

  // Raises EPDBException 9 kMsgOpenWriteOnly, 1 kMsgAlreadyOpen, 2 kMsgOpenNoDirectory,
  // 3 kMsgOpenNoFilename, 4 kMsgPdbFileMissing, 5 kMsgPdbFileAssign, 6 kMsgPdbFileOpen,
  // 7 kMsgNotPdbFile, 10 kMsgAppInfoBlockRead or kMsgSortInfoBlockRead.
  void OpenDatabase();
  // Opens, read-only, a database held in memory, with every check OpenDatabase
  // makes of a file's bytes. `name` stands for the file in failures
  // (EPDBException::Path). The span form borrows the caller's bytes, which must
  // stay valid and unchanged until the database is closed; the vector form
  // takes the bytes over. Directory and PDBFilename are not used.
  // Raises EPDBException 9, 1, 7 and 10 as OpenDatabase().
  void OpenDatabase(std::span<const std::uint8_t> bytes, std::string name);
  void OpenDatabase(Bytes&& bytes, std::string name);
  // The path of the open database, or the name given with its bytes.
  const std::string& SourceName() const noexcept { return source_name_; }

  // Opens the file at Path for reading as OpenDatabase opens Directory and
  // PDBFilename, with the same checks and codes, whatever the file is named:
  // the .pdb rule belongs to the PDBFilename property, not to a file a user
  // points at. Directory and PDBFilename are left as they are.
  // Raises EPDBException 9, 1, 3 to 7 and 10 as OpenDatabase().
  void OpenDatabaseFile(const std::string& Path);

  // Creates the file at Directory/PDBFilename when CloseDatabase writes it.
  // An existing file keeps its permission bits (and owner and group, where the
  // process may set them); a new one gets 0666 under the umask. A symbolic
  // link is followed: the file it points to is replaced. A target this
  // process may not write is refused (code 7), as is a directory. Failures
  // name the path and the system's reason (EPDBException::Path, Reason).
  // Raises EPDBException 1 kMsgCreateReadOnly, 2 kMsgCreateWhileOpen, 3 kMsgCreateNoDirectory,
  // 4 kMsgCreateNoFilename, 5 kMsgCreateCreatorId, 6 kMsgCreateDatabaseType,
  // 7 kMsgPdbFileCreate, 8 kMsgCreateNoDatabaseName.
  void CreateDatabase();
  // Creates the file at Path as CreateDatabase creates Directory/PDBFilename,
  // whatever it is named (a resource database is a .prc). Directory and
  // PDBFilename are left as they are.
  // Raises EPDBException as CreateDatabase(), 4 for an empty Path.
  void CreateDatabaseFile(const std::string& Path);
  // Creates a database that CloseDatabase writes into memory instead of a file;
  // TakeWrittenImage then hands the bytes over. `name` stands for the file in failures.
  // Raises EPDBException 1, 2, 5, 6 and 8 as CreateDatabase().
  void CreateDatabaseInMemory(std::string name);
  Bytes TakeWrittenImage() noexcept { return std::move(written_); }
  // Writes `bytes`, a whole database image (what TakeWrittenImage hands over),
  // to the file at Path as CloseDatabase writes a created one: through a
  // temporary file that has no name until it is whole and synced, then takes
  // the target's place, with the target rules, the permission bits and owner
  // of the file it replaces, and the same failures (a killed process leaves
  // nothing; a failure leaves the target as it was). The bytes are not checked.
  // Raises EPDBException 2 kMsgCreateWhileOpen, 4 kMsgCreateNoFilename,
  // 7 kMsgPdbFileCreate, and EInOutError as CloseDatabase().
  void WriteImageFile(const std::string& Path, std::span<const std::uint8_t> bytes);
  // Raises EPDBException 1 kMsgCloseNotOpen, 4 kMsgDatabaseTooLarge (a file past the 4 GiB
  // its offsets reach; nothing is written), 5 kMsgResourceAttribute (the attribute word has
  // the resource bit), 6 kMsgHeaderDateRange (a header date no stored form holds; the
  // message names the field), what the engine's record building raises, and
  // EInOutError when the file system refuses the bytes or the written file cannot replace the
  // target. After an EInOutError the database is closed and the target keeps its bytes.
  void CloseDatabase();
  // Closes without writing: a database created for writing is dropped with
  // its temporary file, so an earlier file at the target stays as it was (a
  // failed import must not leave half a file behind). Never raises.
  void AbortDatabase() noexcept {
    if (open_) ForceClose();
  }
  void Unallocate();
  void InitializeCategory();

  // Record access (read-only databases).
  // Copies record RecNo into a new block in Data. A deleted record gives no
  // data (Data becomes empty) and leaves Size unchanged.
  // Raises EPDBException 1 kMsgGetRecordNotOpen, 7 kMsgGetRecordWriteOnly,
  // 2 kMsgRecordDoesNotExist, 3 kMsgRecordNotInList, 6 kMsgRecordRead, 8 kMsgRecordSize.
  void GetRecord(std::int32_t RecNo, std::shared_ptr<Bytes>& Data, std::int32_t& Size,
                 TRecFlags& Flags, std::int32_t& UniqueID, std::uint8_t& Category);
  // The bytes the file holds for record RecNo whatever its flags, measured as
  // GetRecord measures them; valid while the database stays open. A record
  // deleted and archived (dmRecAttrDelete with category bit 0x08, kept for the
  // desktop) still has its data here; a deleted record usually has none.
  // Raises what GetRecord raises.
  std::span<const std::uint8_t> StoredRecordBytes(std::int32_t RecNo);
  // The entry of the file's record list at RecNo; nothing when there is none.
  std::optional<TRecordEntry> GetRecInFile(std::int32_t RecNo) const;
  // The entry at RecNo of the records collected for writing; nullptr when the
  // list is shorter. Its Data holds the record's bytes (a posted record's are
  // copied into a block of its own the first time it is asked for).
  // Raises std::bad_alloc when that block cannot be allocated.
  TRecordEntry* GetRecInLinkedList(std::int32_t RecNo);
  static TRecFlags ToTRecFlags(std::uint8_t attributes) noexcept {
    return pdb::ToTRecFlags(attributes);
  }
  static TDBFlags ToTDBFlags(std::uint16_t attributes) noexcept {
    return pdb::ToTDBFlags(attributes);
  }
  std::uint16_t RecordCount() const noexcept { return record_count_; }

  // The cursor. The names BOF/EOF of the usual loop are Bof()/Eof() here: EOF is a C macro.
  void First();
  void Last();
  // Raises EPDBException 1 kMsgNextEmpty, 2 kMsgNextAtEof when already past the end.
  void Next();
  // Raises EPDBException 1 kMsgPreviousEmpty, 2 kMsgPreviousAtBof when already before the start.
  void Previous();
  bool Bof() noexcept;
  bool Eof() noexcept;
  std::int32_t Cursor() const noexcept { return cursor_; }
  void SetDBCursor(std::int32_t RecNo) noexcept;
  void SetEngineRecord(std::int32_t RecNo);

  // Categories.
  // Raises EPDBException 1 kMsgReadCategoriesNotOpen, 2 kMsgReadCategoriesWriteOnly,
  // 3 kMsgNoCategories, 4 kMsgAppInfoUnreadable, 5 kMsgCategoriesInvalid.
  void ReadCategories();
  // Raises EPDBException 1 kMsgGetCategoryIndex; reading the table, ReadCategories' codes + 1.
  std::string GetCategory(std::uint8_t Index);
  // Raises EPDBException 1 kMsgSetCategoryIndex.
  void SetCategory(std::uint8_t Index, const std::string& Name);
  // Raises EPDBException 1 kMsgGetCategoryIdIndex; reading the table, ReadCategories' codes + 1.
  std::uint8_t GetCategoryID(std::uint8_t Index);
  // The ID written for category Index (0 to 15 after CreateDatabase), so a
  // copied table keeps the IDs its records' applications know.
  // Raises EPDBException 1 kMsgSetCategoryIndex.
  void SetCategoryID(std::uint8_t Index, std::uint8_t ID);
  // Raises EPDBException 1 kMsgRecordCategoryNotOpen, 2 kMsgRecordCategoryWriteOnly,
  // 3 kMsgRecordCategoryNotRetrieved.
  std::uint8_t GetRecCategoryID(std::int32_t RecNo);
  // Raises what GetRecCategoryID and GetCategory raise.
  std::string GetRecCategoryName(std::int32_t RecNo);

 protected:
  // Hooks for the writing manager and the engines.
  virtual void SetCustomRecord() {}
  virtual void UnallocateCustom() {}
  virtual void FlushAllData(bool /*WriteCategory*/) {}
  virtual void GetFieldsDefinition() {}
  virtual void BuildPDBInfo() {}
  virtual void BuildDBName() {}
  virtual std::uint16_t FixRecordCount(std::uint16_t Count) { return Count; }

 public:
  // Physical index of the first and last record the caller may reach.
  virtual std::int32_t FixFirst() { return 0; }
  virtual std::int32_t FixLast() { return static_cast<std::int32_t>(record_count_) - 1; }

 protected:
  // For a destructor: closes an open database (writing it when it was created
  // for writing) or releases memory; a failure goes to the exception handler
  // hook and the database is then released without being written.
  void CloseOnDestroy() noexcept;

  // The file image of a database open for reading (empty otherwise).
  std::span<const std::uint8_t> FileImage() const noexcept { return image_; }
  // Bytes of record RecNo inside the file image; false when the record is deleted.
  // Raises code 8 / 6 of GetRecord when its length cannot be taken or it lies outside the file.
  bool RecordBytes(std::int32_t RecNo, const pdb::Entry& e, std::span<const std::uint8_t>& out);
  // The same for any record, deleted ones too.
  bool StoredBytes(std::int32_t RecNo, const pdb::Entry& e, std::span<const std::uint8_t>& out);
  pdb::Entry FileEntry(std::int32_t RecNo) const noexcept {  // RecNo inside the file's list
    return pdb::DecodeEntry(std::span<const std::uint8_t, pdb::kEntrySize>(
        image_.data() + pdb::kHeaderSize + pdb::kEntrySize * static_cast<std::size_t>(RecNo),
        pdb::kEntrySize));
  }
  // Entries in the file's record list (whatever FixRecordCount made of them).
  std::int32_t FileRecordCount() const noexcept { return file_record_count_; }

  // The records collected for writing, in file order.
  std::deque<TRecordEntry>& RecordList() noexcept { return record_list_; }
  // Where Post packs records; cleared with the record list.
  pdb::RecordArena& PackedRecords() noexcept { return packed_records_; }
  void SetRecordCount(std::uint16_t n) noexcept { record_count_ = n; }
  void SetPlainDatabaseName(const std::string& v) { plain_name_ = v; }
  void SetDatabaseNameRaw(const std::string& v) { database_name_ = v; }
  const std::array<std::uint8_t, 17>* CategoryIDs() const noexcept { return category_ids_.get(); }
  const TArrayCategories* CategoryNames() const noexcept { return category_names_.get(); }
  // Writes the whole new file (the target file, or memory) from its first
  // byte: BeginImage with the file's size, then its pieces one after another
  // in any number of WriteImage calls (each piece is read only while its call
  // runs), then EndImage once all `size` bytes were given.
  void BeginImage(std::size_t size);
  void WriteImage(std::span<const std::span<const std::uint8_t>> pieces);
  void EndImage();

 private:
  void OpenImage();
  void BeginWriting();
  void OpenTarget(const std::string& target);
  void PlaceTarget();
  void OpenPath(const std::string& path);
  [[noreturn]] void RaiseMissing(const std::string& path);
  void ReadHeader();
  // Copies a block of the image; an offset past the end raises (code_locate, msg_locate), a
  // length past the end (code_locate + 2, msg_read).
  void ReadBlock(std::uint32_t offset, std::int64_t length, Bytes& out, int code_locate,
                 int msg_locate, int msg_read);
  std::int64_t AppInfoLength() const;
  std::int64_t SortInfoLength() const;
  std::uint32_t FirstDataOffset() const noexcept;
  void ReleaseCategories() noexcept;
  void ForceClose() noexcept;
  void DiscardTempFile() noexcept;
  std::string JoinedPath() const;

  TBinaryFile file_;
  std::string directory_;
  std::string pdb_filename_;
  bool open_ = false;
  std::int32_t cursor_ = -1;
  std::string plain_name_;
  std::string database_name_;
  TDateTime creation_date_ = 0;
  std::uint32_t app_info_offset_ = 0;
  std::uint32_t sort_info_offset_ = 0;
  std::string database_type_;
  std::string creator_id_;
  std::uint8_t open_mode_ = 0;
  std::uint16_t attributes_ = 0;
  std::uint16_t version_ = 0;
  TDateTime modification_date_ = 0;
  std::uint32_t modification_number_ = 0;
  TDateTime last_backup_date_ = 0;
  std::array<std::uint32_t, 3> stored_dates_{};
  std::array<bool, 3> no_date_kept_{};
  bool creation_date_as_given_ = false;
  std::uint32_t unique_id_seed_ = 0;
  std::uint32_t next_record_list_id_ = 0;
  Bytes app_info_;
  Bytes sort_info_;
  std::unique_ptr<TArrayCategories> category_names_;
  std::unique_ptr<std::array<std::uint8_t, 17>> category_ids_;
  bool write_category_ = false;
  pdb::RecordArena packed_records_;  // the posted records' bytes: outlives record_list_
  std::deque<TRecordEntry> record_list_;
  std::uint16_t record_count_ = 0;
  std::uint16_t file_record_count_ = 0;  // entries in the file's record list
  bool bof_ = false;
  bool eof_ = false;
  pdb::FileImage image_;     // the open file's bytes (read-only mode)
  std::string target_path_;  // the file a database being written replaces on close
  std::string create_path_;  // CreateDatabaseFile's target while it runs
  std::string source_name_;  // the path (or given name) of the open database
  bool memory_target_ = false;
  Bytes written_;  // what CloseDatabase wrote into memory
};

}  // namespace corvane
