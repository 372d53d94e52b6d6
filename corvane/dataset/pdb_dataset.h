// TPDBDataSet: one PDB file as an in-memory table.
//
// Opening loads every record of Directory/PDBFilename through the engine that
// Engine chooses into rows of the table; closing writes every row the dataset
// shows, in its order, into the file again through the same engine. Between
// the two nothing touches the file. A file that does not exist opens as an
// empty table, and closing creates it.
//
// The fields come from the collection of the chosen engine (FieldsAppForge,
// FieldsPocketStudio, ...): each item becomes a dataset field of the type
// below, named after the item.
//
//   integers of 8, 16 and 32 bits        integer (ftInteger)
//   JLong, PDLong, PSUInt32              64-bit integer (ftLargeint), so
//                                        unsigned values read and sort as such
//   singles, doubles, AFCurrency         float (ftFloat)
//   dates and times                      date-time (ftDateTime)
//   PSBoolean, AFBoolean, JBoolean       boolean (ftBoolean)
//   texts                                string (ftString)
//   PSBinary                             blob (ftBlob), the field's bytes
//
// A text field is as wide as the engine's fixed size where it has one;
// otherwise as wide as the longest text of that field in the file, and at
// least 100 bytes, so opening and closing never cuts a text. A text field
// that would make every row very wide (its longest text is long, or the rows
// would outgrow memory many times the file's size) becomes a memo (ftMemo)
// instead, whose values take only the room they need.
//
// What a caller may rely on:
//  - Opening and closing without changes writes the same records, byte for
//    byte, for files the engine wrote itself (record attributes, categories,
//    unique IDs and SQL Driver row numbers are those a new record gets).
//  - A failure while loading closes the file, leaves the dataset closed and
//    writes nothing.
//  - A failure while writing (a value the engine refuses, a value outside
//    what the engine's type holds, a file that cannot be written) leaves the
//    previous file exactly as it was, and the dataset open; FailedRow and
//    FailedField then say where it stopped.
//  - Destroying an open dataset writes it as Close does; a failure there
//    goes to the exception handler hook.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>

#include "corvane/dataset/virtual_dataset.h"
#include "corvane/engines/any_engine.h"
#include "corvane/engines/appforge.h"
#include "corvane/engines/java.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/types.h"

namespace corvane {

// Declared beside the dataset for callers that name it; no operation takes it.
enum TLoadMode : std::uint8_t { lmCopy = 0, lmAppend = 1 };

// The narrowest text width a dataset text field gets.
inline constexpr int kDataSetTextSize = 100;
// Variable-length texts longer than this are held as memos.
inline constexpr int kDataSetMaxTextSize = 4096;

class TPDBDataSet : public TPDBVirtualDataSet {
 public:
  explicit TPDBDataSet(TComponent* owner = nullptr);
  ~TPDBDataSet() override;

  // --- Published properties. The four validating setters store a value that
  // equals the current one, or is blank once trimmed, without checks; a
  // rejected value raises EPDBException and leaves the old one.
  const std::string& Directory() const noexcept { return directory_; }
  void SetDirectory(const std::string& value) { directory_ = value; }
  const std::string& PDBFilename() const noexcept { return pdb_filename_; }
  // Raises EPDBException(1, kMsgDataSetFilenameNotPdb) or (2, kMsgDataSetFilenameInvalid).
  void SetPDBFilename(const std::string& value);
  const std::string& DatabaseName() const noexcept { return database_name_; }
  // Raises EPDBException(1, kMsgDataSetDatabaseNameTooLong) or (2, kMsgDataSetDatabaseNameInvalid).
  void SetDBName(const std::string& value);
  const std::string& CreatorID() const noexcept { return creator_id_; }
  // Raises EPDBException(1, kMsgDataSetCreatorIdLength) or (2, kMsgDataSetCreatorIdInvalid).
  void SetCreatorID(const std::string& value);
  const std::string& DatabaseType() const noexcept { return database_type_; }
  // Raises EPDBException(1, kMsgDataSetDatabaseTypeLength) or (2, kMsgDataSetDatabaseTypeInvalid).
  void SetDatabaseType(const std::string& value);
  TDateTime CreationDate() const noexcept { return creation_date_; }
  void SetCreationDate(TDateTime value) noexcept { creation_date_ = value; }
  // Whether a creation date before 1990 is written as given rather than as
  // the moment of writing (false at first). Writing back a file that was
  // loaded always keeps its creation date, so the file stays the same.
  bool CreationDateAsGiven() const noexcept { return creation_date_as_given_; }
  void SetCreationDateAsGiven(bool value) noexcept { creation_date_as_given_ = value; }
  TEngine GetEngine() const noexcept { return engine_; }
  void SetEngine(TEngine value) noexcept { engine_ = value; }
  // DatabaseFlags: the header attribute word's flag bits (1 to 6).
  TDBFlags GetDBFlags() const noexcept { return ToTDBFlags(db_flags_); }
  void SetDBFlags(TDBFlags flags) noexcept;
  std::uint16_t DatabaseFlagsWord() const noexcept { return db_flags_; }
  static TDBFlags ToTDBFlags(std::uint16_t word) noexcept;

  TPDBPSFields& FieldsPocketStudio() noexcept { return fields_ps_; }
  TPDBNSBFields& FieldsNSBasic() noexcept { return fields_nsb_; }
  TPDBAFFields& FieldsAppForge() noexcept { return fields_af_; }
  TPDBJavaFields& FieldsJava() noexcept { return fields_java_; }
  TPDBSQLDriverFields& FieldsSQLDriver() noexcept { return fields_sd_; }

  // The engine instances (each used only while Engine chooses it).
  TPDBPocketStudio& PocketStudioEngine() noexcept { return *ps_; }
  TPDBNSBasic& NSBasicEngine() noexcept { return *nsb_; }
  TPDBAppForge& AppForgeEngine() noexcept { return *af_; }
  TPDBJava& JavaEngine() noexcept { return *java_; }
  TPDBSQLDriver& SQLDriverEngine() noexcept { return *sd_; }

  static bool ValidateName(const std::string& value) noexcept;
  static bool ValidateCreatorType(const std::string& value) noexcept;

  // Whether closing writes the rows back (true at first). A dataset opened
  // only to be read, sorted or filtered sets it false and leaves the file alone.
  bool WriteOnClose() const noexcept { return write_on_close_; }
  void SetWriteOnClose(bool value) noexcept { write_on_close_ = value; }

  // Loads the database held in `bytes` instead of the file: Open reads them
  // (borrowed; they must stay valid and unchanged while Open runs) with the
  // checks it makes of a file, and failures name `name`, or FilePath when it
  // is empty (a name need not end in .pdb: the bytes may come from any file).
  // An empty span goes back to the file.
  void SetSourceImage(std::span<const std::uint8_t> bytes, std::string name = {}) {
    source_image_ = bytes;
    source_name_ = std::move(name);
  }
  // Whether the dataset stays off the disk (false at first): opening loads
  // only a source image (no file), and closing writes the database into
  // memory, TakeWrittenImage then handing the bytes over. A process killed
  // while writing leaves nothing behind.
  bool WriteToMemory() const noexcept { return write_to_memory_; }
  void SetWriteToMemory(bool value) noexcept { write_to_memory_ = value; }
  Bytes TakeWrittenImage() noexcept { return std::move(written_image_); }

  // Where the last failed writing stopped: the 1-based position of the row
  // among those written, and the field's name; 0 and "" when the failure
  // was not at a row's field (or the last writing succeeded).
  int FailedRow() const noexcept { return failed_row_; }
  const std::string& FailedField() const noexcept { return failed_field_; }

 protected:
  // The dataset's own row order stays the keyed sort's; a descendant that
  // replaces CompareRecords says so by its type.
  bool CompareRecordsReplaced() const override;
  void OpenCursor(bool info_only) override;
  void DoAfterOpen() override;
  void DoBeforeClose() override;

  void OpenPS(bool info_only);
  void OpenNSB(bool info_only);
  void OpenAF(bool info_only);
  void OpenJ(bool info_only);
  void OpenSD(bool info_only);
  void ClosePS();
  void CloseNSB();
  void CloseAF();
  void CloseJ();
  void CloseSD();

 private:
  template <class Ops>
  void OpenWith(typename Ops::Engine& engine, typename Ops::Fields& fields);
  template <class Ops>
  void LoadWith(typename Ops::Engine& engine);
  template <class Ops>
  void WriteWith(typename Ops::Engine& engine, int field_count);
  void KeepLoadedFile(TPDBBaseMgr& engine);
  void GiveLoadedFile(TPDBBaseMgr& engine) const;
  template <class Ops>
  friend struct DataSetRowAccess;

  std::string FilePath() const;
  template <class Engine>
  void OpenToLoad(Engine& engine);
  bool RowsUnwatched() const;
  bool FileToLoad() const;

  TPDBPocketStudio* ps_;
  TPDBNSBasic* nsb_;
  TPDBAppForge* af_;
  TPDBJava* java_;
  TPDBSQLDriver* sd_;
  TPDBPSFields fields_ps_;
  TPDBNSBFields fields_nsb_;
  TPDBAFFields fields_af_;
  TPDBJavaFields fields_java_;
  TPDBSQLDriverFields fields_sd_;

  TDateTime creation_date_ = 0;
  bool creation_date_as_given_ = false;
  std::uint16_t db_flags_ = 0;
  std::string database_name_;
  std::string directory_;
  std::string pdb_filename_;
  std::string database_type_;
  std::string creator_id_;
  TEngine engine_ = PocketStudio;
  bool write_on_close_ = true;
  bool write_to_memory_ = false;
  std::span<const std::uint8_t> source_image_;
  std::string source_name_;
  Bytes written_image_;

  // Each loaded row's record attributes, by the row's record ID: they are no
  // field of the table, but a row written back keeps its category, flags and
  // unique ID wherever sorting has put it. A row added since has none.
  struct RowAttributes {
    std::uint8_t category = 0;
    TRecFlags flags;
    std::int32_t unique_id = 0;
  };
  std::unordered_map<std::int32_t, RowAttributes> row_attributes_;

  // What the loaded file holds beside its records and the header values the
  // dataset's properties carry: writing back gives it to the new file, so an
  // unchanged table is written as the same database (its categories, its
  // application's settings and sort order, its version and dates). Empty
  // when no file was loaded.
  struct LoadedFile {
    bool loaded = false;
    std::uint16_t attributes = 0;  // every bit, those no TDBFlags names included
    std::uint16_t version = 0;
    TDateTime modified = 0, backed_up = 0;
    std::uint32_t modification_number = 0, unique_id_seed = 0;
    std::array<std::uint32_t, 3> stored_dates{};  // the header dates as stored
    Bytes app_info, sort_info;
  };
  LoadedFile loaded_file_;

  int failed_row_ = 0;
  std::string failed_field_;
};

}  // namespace corvane
