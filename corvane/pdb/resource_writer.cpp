#include "corvane/pdb/resource_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/resource_list.h"

namespace corvane {

TPDBResourceMgr::TPDBResourceMgr(TComponent* owner) : TCorvane(owner) {}

TPDBResourceMgr::~TPDBResourceMgr() {
  // Here, not in TCorvane's destructor, so that this class's FlushAllData writes.
  CloseOnDestroy();
}

void TPDBResourceMgr::AddResource(const std::string& type, std::uint16_t id,
                                  std::span<const std::uint8_t> bytes) {
  if (!isOpen() || GetOpenMode() != dmModeWriteOnly) RaisePDB(1, kMsgNotCreating);
  if (resources_.size() >= pdb::kMaxRecords) RaisePDB(2, kMsgTooManyRecords);
  Item item;
  std::copy_n(type.begin(), std::min<std::size_t>(type.size(), 4), item.type.begin());
  item.id = id;
  item.data.assign(bytes.begin(), bytes.end());
  resources_.push_back(std::move(item));
  SetRecordCount(static_cast<std::uint16_t>(resources_.size()));
}

void TPDBResourceMgr::SetStoredDates(std::uint32_t created, std::uint32_t modified,
                                     std::uint32_t backed_up) {
  stored_dates_ = std::array<std::uint32_t, 3>{created, modified, backed_up};
}

void TPDBResourceMgr::SetStoredNameField(std::span<const std::uint8_t, pdb::kNameSize> field) {
  name_field_.emplace();
  std::copy(field.begin(), field.end(), name_field_->begin());
}

void TPDBResourceMgr::UnallocateCustom() {
  resources_.clear();
  stored_dates_.reset();
  name_field_.reset();
  gap_.assign(pdb::kGapSize, 0);
}

void TPDBResourceMgr::FlushAllData(bool WriteCategory) {
  std::span<const std::uint8_t> app, sort;
  std::int32_t app_len = 0, sort_len = 0;
  GetAppInfoP(app, app_len);
  GetSortInfoP(sort, sort_len);
  const std::size_t n = resources_.size();
  const std::size_t T = WriteCategory ? pdb::kCategoryTableSize : 0;
  const std::size_t list_end = pdb::kHeaderSize + pdb::kResourceEntrySize * n + gap_.size();
  const std::size_t data_start = list_end + T + app.size() + sort.size();
  std::uint64_t end = data_start;
  for (const Item& r : resources_) end += r.data.size();
  if (end > std::numeric_limits<std::uint32_t>::max()) RaisePDB(4, kMsgDatabaseTooLarge);

  Bytes head(data_start);
  pdb::Header h;
  h.name = DatabaseName();
  h.attributes = static_cast<std::uint16_t>(GetAttributes() | pdb::kAttrResourceDB);
  h.version = GetDBVersion();
  const TDateTime created = CreationDate() >= EncodeDate(1990, 1, 1) ? CreationDate() : Now();
  h.creation_date = created;
  h.modification_date = GetModificationDate() > 0 ? GetModificationDate() : created;
  h.backup_date = GetLastBackupDate() > 0 ? GetLastBackupDate() : 0;
  h.modification_number = GetModification();
  h.app_info_offset = T + app.size() > 0 ? static_cast<std::uint32_t>(list_end) : 0;
  h.sort_info_offset = !sort.empty() ? static_cast<std::uint32_t>(list_end + T + app.size()) : 0;
  h.type = DatabaseType();
  h.creator = CreatorID();
  h.unique_id_seed = GetUniqueIDSeed();
  h.record_count = static_cast<std::uint16_t>(n);
  pdb::EncodeHeader(h, std::span<std::uint8_t, pdb::kHeaderSize>(head.data(), pdb::kHeaderSize));
  if (name_field_) std::copy(name_field_->begin(), name_field_->end(), head.begin());
  if (stored_dates_) {
    StoreU32(head.data() + 36, (*stored_dates_)[0]);
    StoreU32(head.data() + 40, (*stored_dates_)[1]);
    StoreU32(head.data() + 44, (*stored_dates_)[2]);
  }

  std::uint8_t* at = head.data() + pdb::kHeaderSize;
  std::uint64_t running = data_start;
  for (const Item& r : resources_) {
    std::copy(r.type.begin(), r.type.end(), at);
    StoreU16(at + 4, r.id);
    StoreU32(at + 6, static_cast<std::uint32_t>(running));
    at += pdb::kResourceEntrySize;
    running += r.data.size();
  }
  at = std::copy(gap_.begin(), gap_.end(), at);
  if (T > 0) {
    if (!CategoryNames()) InitializeCategory();
    pdb::EncodeCategoryTable(*CategoryNames(), std::span<const std::uint8_t, 17>(*CategoryIDs()),
                             std::span<std::uint8_t, pdb::kCategoryTableSize>(at, T));
    at += T;
  }
  at = std::copy(app.begin(), app.end(), at);
  std::copy(sort.begin(), sort.end(), at);

  std::vector<std::span<const std::uint8_t>> pieces;
  pieces.reserve(n + 1);
  pieces.emplace_back(head);
  for (const Item& r : resources_) pieces.emplace_back(r.data);
  BeginImage(static_cast<std::size_t>(end));
  WriteImage(pieces);
  EndImage();
}

}  // namespace corvane
