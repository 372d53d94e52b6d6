// One interface over the six typed-record managers (the five engines and the
// generic manager), for callers that pick one at run time: a program driven by
// its command line, a dataset driven by its Engine property.
//
// A TAnyEngine owns one manager. It names the manager's types as the code
// does (AFLong, PSString, NSBDate, JInt, PDChar, pdtPSUInt32, ...), defines
// fields, walks the records of a file read-only giving every field's value as
// a Variant of one kind per type (TValueKind), or as a TAnyValueView that
// borrows instead of copying, and writes a new file record by record from
// Variants. Values are checked strictly on the way in: a value that the
// record would not keep as given (out of range, cut short, a date the layout
// cannot hold) raises EConvertError naming the field, before anything of it
// reaches the record list.
//
// Values by kind (what Value gives and SetValue takes):
//   Integer, Unsigned  Variant integer (SetValue also takes a float with no
//                      fraction);
//   Float              Variant float (a single-precision type gives the float
//                      widened; SetValue takes integers too);
//   Currency           Variant currency (SetValue takes integers, floats and
//                      decimal text, the text exactly);
//   Boolean            Variant boolean;
//   Text, Binary       Variant text holding the stored bytes as they are
//                      (a Wide type: its character as UTF-8);
//   DateTime, Date, Time  Variant date-time; 0 is "no date" (for Time: midnight).
//
// Threads: a TAnyEngine and its manager are one object, for one thread at a
// time; distinct ones may work in distinct threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/host/variant.h"
#include "corvane/pdb/base_mgr.h"

namespace corvane {

// The engines a dataset chooses from, with their stored ordinals.
enum TEngine : std::uint8_t {
  PocketStudio = 0,
  NSBasic = 1,
  AppForge = 2,
  Java = 3,
  SWSQLDriver = 4
};

enum class TValueKind : std::uint8_t {
  Integer,
  Unsigned,
  Float,
  Currency,
  Boolean,
  Text,
  Binary,
  DateTime,
  Date,
  Time,
};

// One entry of a manager's type table, in the order of its enumeration.
struct TAnyFieldType {
  std::string_view Name;  // as in the code: "AFLong"
  TValueKind Kind;
  bool Single = false;  // a Float kind of IEEE single precision
  bool Sized = false;   // takes a Size of the caller's (text widths)
  // A Text kind holding one 16-bit character code (Java's char) rather than
  // 8-bit bytes: Value gives the character as UTF-8 (empty for the code 0)
  // and SetValue takes one character of U+0000 to U+FFFF as UTF-8 (or an
  // empty text), whatever the file's 8-bit encoding.
  bool Wide = false;
};

// A field's value as Value gives it, without building a Variant: the member
// of the field's kind is set (Integer for Integer and Unsigned, Float, Amount
// for Currency, Flag for Boolean, Text for Text and Binary, When for the three
// date kinds); the others keep their zeros. Text borrows: it stays valid until
// the cursor moves, a value is set or the scratch string it may point into
// changes.
struct TAnyValueView {
  std::int64_t Integer = 0;
  double Float = 0;
  Currency Amount{};
  bool Flag = false;
  TDateTime When = 0;
  std::string_view Text;
};

// The view of `value`, a Variant of the kind Value gives for `kind`. A text
// the Variant does not hold as text is converted into `scratch`.
// Raises EConvertError when the value does not convert to the kind.
TAnyValueView ViewOfValue(const Variant& value, TValueKind kind, std::string& scratch);

struct TAnyFieldDef {
  std::string Name;
  int Type = 0;  // ordinal in the type table
  std::int32_t Size = 0;
};

// A field as the file itself describes it.
struct TFileFieldDef {
  std::string Name;            // empty when the file keeps only its hash
  std::uint32_t NameHash = 0;  // SQL Driver: the driver's hash of the name
  int Type = 0;
  std::int32_t Size = 0;
};

class TAnyEngine {
 public:
  // By the command-line names "appforge", "pocketstudio", "nsbasic", "java",
  // "sqldriver" and "generic"; nullptr for any other name.
  static std::unique_ptr<TAnyEngine> Create(std::string_view name);
  static std::unique_ptr<TAnyEngine> Create(TEngine engine);
  static std::span<const std::string_view> EngineNames() noexcept;

  virtual ~TAnyEngine();

  virtual std::string_view Name() const noexcept = 0;
  virtual std::span<const TAnyFieldType> Types() const noexcept = 0;
  // Exact, case-sensitive; nothing for a name outside the table.
  std::optional<int> TypeByName(std::string_view name) const noexcept;
  // Raises EListError for a type outside the table.
  const TAnyFieldType& TypeInfo(int type) const;
  // The file carries its field list, which opening puts in place of the
  // caller's (AppForge).
  virtual bool FieldsFromFile() const noexcept { return false; }
  // The file says what its fields are (AppForge's field block, the SQL
  // Driver's structure record), so FileFields and CheckFieldsAgainstFile
  // have something to go by.
  virtual bool FileDescribesFields() const noexcept { return false; }
  // A leading field the engine keeps and numbers itself (the SQL Driver's
  // "RowID"); empty for none. SetValue ignores its values.
  virtual std::string_view ImplicitField() const noexcept { return {}; }

  // The manager: header properties, categories, the cursor.
  virtual TPDBBaseMgr& Manager() noexcept = 0;
  const TPDBBaseMgr& Manager() const noexcept { return const_cast<TAnyEngine*>(this)->Manager(); }

  // ---- field definitions
  virtual int FieldCount() const = 0;
  virtual TAnyFieldDef Field(int index) const = 0;
  const TAnyFieldType& FieldType(int index) const { return TypeInfo(Field(index).Type); }
  // The first field of that name, compared as the engines compare names.
  std::optional<int> FieldIndex(std::string_view name) const;
  // Leaves only the implicit field, when the engine has one.
  virtual void ClearFields() = 0;
  // Raises EConvertError for a type outside the table, a size on a
  // type of fixed width (other than its own width), a size out of range, or a
  // second field of the implicit field's name.
  virtual void AddField(const std::string& name, int type, std::optional<std::int32_t> size) = 0;

  // ---- reading
  // Opens directory/filename read-only. The engines split the first record
  // while opening; a failure of that split does not stop the opening but
  // waits for NextRecord (a deleted first record is no failure there).
  // Raises what TCorvane's SetPDBFilename and OpenDatabase() raise, with their codes.
  void OpenRead(const std::string& directory, const std::string& filename);
  // The same for the file at `path` as given, whatever its name.
  // Raises what TCorvane::OpenDatabaseFile raises, with its codes.
  void OpenReadFile(const std::string& path);
  // The same for a database held in memory (borrowed until Close), `name`
  // standing for the file in failures.
  // Raises what TCorvane::OpenDatabase(bytes, name) raises, with its codes.
  void OpenReadImage(std::span<const std::uint8_t> bytes, const std::string& name);

  // The same for a database held in memory, whose bytes it takes over; `name`
  // stands for the file in failures.
  // Raises what TCorvane::OpenDatabase(Bytes&&, std::string) raises, with its codes.
  void OpenReadBytes(Bytes&& bytes, std::string name);
  // The fields the open file describes: AppForge's field block (as Fields
  // then hold them), the SQL Driver's structure record (record 0; names as
  // hashes). Empty for engines whose files say nothing of their fields.
  virtual std::vector<TFileFieldDef> FileFields() { return {}; }
  // Raises Exception when the fields do not match what the file says of them.
  void CheckFieldsAgainstFile();
  // Moves to the next record that is not deleted (the first one after
  // OpenRead) and splits it; false when there is none left.
  // Raises what the engine's split raises (EPDBException 1 with its RecordMismatch message).
  bool NextRecord();
  // Index of the current record in the file's record list.
  std::int32_t RecordIndex() const noexcept { return index_; }
  // The current record's value of field `index`, by kind (top of the file).
  virtual Variant Value(int index) const = 0;
  // The same value without a Variant: what ViewOfValue(Value(index), kind)
  // gives, the text (when not the field's own) kept in `scratch`. For walking
  // many records: a text is not copied, a number not boxed.
  // Raises what Value raises.
  virtual TAnyValueView ValueView(int index, std::string& scratch) const;
  // Every field's view at once, out[i] = ValueView(i, scratch[i]); both spans
  // hold FieldCount() entries. Raises what ValueView raises.
  virtual void RecordView(std::span<TAnyValueView> out, std::span<std::string> scratch) const;
  // Bytes of the current record that come after its last field.
  std::size_t UnusedBytes();

  // ---- writing
  // Creates directory/filename in write mode with the manager's DatabaseName,
  // CreatorID and DatabaseType as set; CreateDatabase resets version, dates
  // other than creation and the modification number, so set those after.
  // Raises what TCorvane's SetPDBFilename and CreateDatabase raise, with their codes.
  void CreateFile(const std::string& directory, const std::string& filename);
  // The same, written into memory on Close (TCorvane::TakeWrittenImage hands
  // the bytes over); `filename` is what the engine names the file (AppForge
  // takes its database name from it) when it ends in .pdb; any other name only
  // stands for the database in failures.
  // Raises what TCorvane's SetPDBFilename and CreateDatabaseInMemory raise.
  void CreateInMemory(const std::string& filename);
  // Appends one record: values[i] for field i (the implicit field's ignored).
  // EConvertError names the field whose value does not convert.
  // Raises EConvertError, or the EPDBException of Append, a setter or Post with its code.
  void AppendRecord(std::span<const Variant> values);
  // The same, the record getting `category` (0 to 15), `flags` and the low 24
  // bits of `unique_id` as it is posted: no copy of the posted record is made
  // to set them afterwards.
  // Raises what AppendRecord raises, and EPDBException 1 kMsgCategoryTooLarge
  // for a category above 15.
  void AppendRecord(std::span<const Variant> values, std::uint8_t category, TRecFlags flags,
                    std::uint32_t unique_id);
  // Writes the file (write mode) or closes it (read mode). When writing
  // fails, the file is discarded and any earlier file is left as it was.
  // Raises what TCorvane::CloseDatabase raises.
  void Close();
  // Closes without writing: the new file is discarded.
  void Abort() noexcept;

 protected:
  TAnyEngine() = default;
  // Sets field `index` of the record being built; raises EConvertError
  // (without the field's name, which AppendRecord adds).
  virtual void SetValue(int index, const Variant& value) = 0;
  // Splits the current record field by field and gives the bytes taken.
  virtual std::size_t SplitMeasured(std::span<const std::uint8_t> record) = 0;
  // The bytes the split that placed the cursor on `record` took, when the
  // manager kept the count; nothing otherwise.
  virtual std::optional<std::size_t> SplitLength(std::span<const std::uint8_t> record) const {
    (void)record;
    return std::nullopt;
  }
  // The field definitions changed: the last split's count no longer
  // describes them.
  void FieldsChanged() noexcept { as_split_ = false; }
  // Packs field `index` into scratch space, so that what failed at Post can
  // be put down to the field.
  virtual void TryPack(int index) = 0;
  virtual void Append() = 0;
  virtual void Post() = 0;

 private:
  // Opens with `open` (which opens the manager's database) and places the cursor.
  template <class Open>
  void FinishOpenRead(Open&& open);
  std::int32_t index_ = -1;
  // The fields are as NextRecord's split left them.
  bool as_split_ = false;
};

}  // namespace corvane
