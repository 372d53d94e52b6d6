// Records that do not decode. By default the first one stops an export; when
// the caller keeps going, each is kept in its raw form instead (its bytes in
// hexadecimal and its attributes, with the reason) so that nothing the file
// held is lost, and reported as it is met. Records are named by their index
// in the file, whatever was exported before them.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/json_reader.h"

namespace corvane::cli {

struct RecordDamage {
  std::int32_t index = -1;  // the record's index in the file; -1 for the application-info block
  std::string reason;
};

// "record 3" or "application-info block".
std::string DamagePlace(std::int32_t index);

class DamageLog {
 public:
  // `report` hears of each damaged record as it is kept raw (the command
  // warns on standard error); without keep_going nothing is kept.
  DamageLog(bool keep_going, std::function<void(const RecordDamage&)> report)
      : keep_going_(keep_going), report_(std::move(report)) {}

  // Runs decode() for the record at `index`. A failure is raised again naming
  // the record (an EPDBException keeps its code); when keeping going, it is
  // noted instead and false returned: the caller then keeps the record raw,
  // and undoes what decode() did in part.
  template <class F>
  bool Decode(std::int32_t index, F&& decode) {
    try {
      decode();
      return true;
    } catch (const EPDBException& e) {
      if (!keep_going_) throw EPDBException(e.ErrorCode(), DamagePlace(index) + ": " + e.what());
      Note(index, e.what());
    } catch (const std::exception& e) {
      if (!keep_going_) throw Exception(DamagePlace(index) + ": " + e.what());
      Note(index, e.what());
    }
    return false;
  }

  bool KeepGoing() const noexcept { return keep_going_; }
  const std::vector<RecordDamage>& Damaged() const noexcept { return damaged_; }
  // The reason of the failure Decode last noted.
  const std::string& LastReason() const { return damaged_.back().reason; }

 private:
  void Note(std::int32_t index, std::string reason);

  bool keep_going_;
  std::function<void(const RecordDamage&)> report_;
  std::vector<RecordDamage> damaged_;
};

// The raw form of a damaged record: its index in the file, its attributes as
// `--app raw` gives them, "damaged" (the reason) and "data" (its bytes in
// hexadecimal). Import writes such a record back from its bytes.
JsonValue DamagedRecordJson(std::int32_t index, std::span<const std::uint8_t> record,
                            const AppRecordAttributes& attributes, const std::string& reason);
// True for a tree in that form (a record import writes back as its bytes).
bool IsDamagedRecordJson(const JsonValue& tree);

}  // namespace corvane::cli
