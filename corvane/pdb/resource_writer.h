// TPDBResourceMgr: writes resource databases (the .prc files of applications
// and shared libraries). The file is the 78-byte header with the resource
// attribute (0x0001) set, one 10-byte entry per resource (four-character
// type, 16-bit ID, 32-bit data offset), the gap (two zero bytes unless told
// otherwise), the application-info and sort-info blocks, then each resource's
// bytes in list order. Resources carry no attributes, categories or unique
// IDs. Created with CreateDatabase, CreateDatabaseFile or
// CreateDatabaseInMemory like a record database and written on CloseDatabase
// the same way: into a temporary file that replaces the target only once it
// is whole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/pdb/corvane.h"

namespace corvane {

class TPDBResourceMgr : public TCorvane {
 public:
  explicit TPDBResourceMgr(TComponent* owner = nullptr);
  ~TPDBResourceMgr() override;

  // Adds a copy of `bytes` as the last resource. `type` is cut or
  // zero-padded to four bytes. Duplicate type and ID pairs are written as
  // given (real files have them).
  // Raises EPDBException 1 kMsgNotCreating, 2 kMsgTooManyRecords.
  void AddResource(const std::string& type, std::uint16_t id, std::span<const std::uint8_t> bytes);
  std::size_t ResourceCount() const noexcept { return resources_.size(); }

  // For a copy that must keep every byte of a file read before. The dates
  // are written as these stored numbers (no epoch or time-zone conversion and
  // no default for an early creation date); the name field as these 32
  // bytes, what follows the name's end included; `gap` between the resource
  // list and the first block. Forgotten when the database is closed.
  void SetStoredDates(std::uint32_t created, std::uint32_t modified, std::uint32_t backed_up);
  void SetStoredNameField(std::span<const std::uint8_t, pdb::kNameSize> field);
  void SetGap(Bytes gap) { gap_ = std::move(gap); }

 protected:
  void FlushAllData(bool WriteCategory) override;
  void UnallocateCustom() override;

 private:
  struct Item {
    std::array<std::uint8_t, 4> type{};
    std::uint16_t id = 0;
    Bytes data;
  };
  std::vector<Item> resources_;
  std::optional<std::array<std::uint32_t, 3>> stored_dates_;
  std::optional<std::array<std::uint8_t, pdb::kNameSize>> name_field_;
  Bytes gap_ = Bytes(pdb::kGapSize, 0);
};

}  // namespace corvane
