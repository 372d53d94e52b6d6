// The dataset framework's vocabulary: field types, states, record buffers,
// bookmarks, and the framework's error routine with its messages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/host/exceptions.h"

namespace corvane {

// Field types. The ordinals are part of the contract: dataset code lays out
// and compares values by them.
enum TFieldType : std::uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
  ftTimeStamp = 36,
  ftFMTBcd = 37,
};

// A short English name of a field type, for messages.
const char* FieldTypeName(TFieldType type) noexcept;
// Blob types keep their values outside the fixed-size part of a record.
bool IsBlobType(TFieldType type) noexcept;

enum TDataSetState : std::uint8_t {
  dsInactive = 0,
  dsBrowse = 1,
  dsEdit = 2,
  dsInsert = 3,
  dsSetKey = 4,
  dsCalcFields = 5,
  dsFilter = 6,
  dsNewValue = 7,
  dsOldValue = 8,
  dsCurValue = 9,
  dsBlockRead = 10,
  dsInternalCalc = 11,
  dsOpening = 12,
};

// States in which field values may be written: those with a buffer being edited or calculated.
bool IsWriteState(TDataSetState s) noexcept;

enum TGetMode : std::uint8_t { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
enum TGetResult : std::uint8_t { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
enum TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };
enum TBlobStreamMode : std::uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };
enum TFieldKind : std::uint8_t {
  fkData = 0,
  fkCalculated = 1,
  fkLookup = 2,
  fkInternalCalc = 3,
};
enum TDataEvent : std::uint8_t {
  deFieldChange = 0,
  deRecordChange = 1,
  deDataSetChange = 2,
  deDataSetScroll = 3,
  deLayoutChange = 4,
  deUpdateRecord = 5,
  deUpdateState = 6,
  deCheckBrowseMode = 7,
};
// What an OnPostError / OnEditError / OnDeleteError handler wants done.
enum TDataAction : std::uint8_t { daFail = 0, daAbort = 1, daRetry = 2 };
// Locate options: bit i stands for option i.
enum TLocateOption : std::uint8_t { loCaseInsensitive = 0, loPartialKey = 1 };
class TLocateOptions {
 public:
  constexpr TLocateOptions() noexcept = default;
  constexpr TLocateOptions(std::initializer_list<TLocateOption> options) noexcept {
    for (TLocateOption o : options) bits_ |= static_cast<std::uint8_t>(1u << o);
  }
  constexpr bool Contains(TLocateOption o) const noexcept { return (bits_ >> o) & 1u; }

 private:
  std::uint8_t bits_ = 0;
};

// Resync modes, combined as bits.
enum TResyncMode : std::uint8_t { rmExact = 1, rmCenter = 2 };

// A blob value: a byte string shared by whoever holds it; a change makes a
// new string (copy on write). Null stands for the empty value.
using TBlobData = std::shared_ptr<const std::string>;

// One record buffer. The dataset that allocates it decides the layout of
// `bytes`; `blobs` holds one value per blob field.
struct TRecordBuffer {
  std::vector<std::uint8_t> bytes;
  std::vector<TBlobData> blobs;
};

using TBookmark = std::vector<std::uint8_t>;

// Raised by Abort(): an error that is meant to unwind silently.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};
[[noreturn]] void Abort();

// The framework's messages. Arguments are substituted for %s in order.
namespace dbmsg {
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s'";
inline constexpr const char* SFieldSizeMismatch = "Size mismatch for field '%s'";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SFieldValueError = "'%s' is not a valid value for field '%s'";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SFieldBufferTooSmall = "Buffer too small for field '%s'";
inline constexpr const char* SNoBlobStream = "Field '%s' has no blob stream in this dataset";
inline constexpr const char* SFilterInUse = "Cannot change the filter while it is being applied";
}  // namespace dbmsg

// Substitutes the arguments for the %s markers of fmt, in order ("%%" is a
// literal percent sign).
std::string FormatMessage(std::string_view fmt, std::initializer_list<std::string_view> args);
[[noreturn]] void DatabaseError(const std::string& message);
[[noreturn]] void DatabaseErrorFmt(std::string_view fmt,
                                   std::initializer_list<std::string_view> args);

// The next name of a semicolon-separated list, trimmed, starting at pos;
// pos moves past the separator. pos beyond the text gives "".
std::string ExtractFieldName(const std::string& names, std::size_t& pos);

}  // namespace corvane
