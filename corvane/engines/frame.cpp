#include "corvane/engines/frame.h"

#include <algorithm>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"

namespace corvane {

void TPDBBaseField::SetFieldName(const std::string& Name) {
  field_name_ = Name;
  TCollectionItem::SetDisplayName(Name);
}

std::string TPDBBaseField::GetDisplayName() const {
  return field_name_.empty() ? TCollectionItem::GetDisplayName() : field_name_;
}

void TPDBBaseField::CopyDefinition(const TPDBBaseField& from) {
  SetFieldName(from.field_name_);
  value_ = from.value_;
  size_ = from.size_;
}

bool TPDBBaseField::SplitSizedText(std::span<const std::uint8_t> rest, std::size_t& taken) {
  std::string_view text;
  if (!codec::ReadSizedText(rest, size_, text, taken)) return false;
  if (size_ >= 1) {
    TakeRaw(rest.first(static_cast<std::size_t>(size_)), taken);
  } else {
    TakeRaw(rest.first(taken));
  }
  value_.SetText(text);
  return true;
}

bool SameFieldName(std::string_view a, std::string_view b) noexcept {
  return SameText(a, b);
}

void RaiseRecordTooLong() {
  RaisePDB(3, kMsgRecordTooLong);
}

void RaiseRecordOverrun() {
  throw EConvertError("a field changed between measuring and packing its record");
}

}  // namespace corvane
