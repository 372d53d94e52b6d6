#include "corvane/interchange/record_damage.h"

namespace corvane::cli {

std::string DamagePlace(std::int32_t index) {
  return index < 0 ? std::string("application-info block") : "record " + std::to_string(index);
}

void DamageLog::Note(std::int32_t index, std::string reason) {
  damaged_.push_back(RecordDamage{index, std::move(reason)});
  if (report_) report_(damaged_.back());
}

JsonValue DamagedRecordJson(std::int32_t index, std::span<const std::uint8_t> record,
                            const AppRecordAttributes& attributes, const std::string& reason) {
  JsonValue o = JObject();
  if (index >= 0) Put(o, "index", JInt(index));
  Put(o, "damaged", JString(reason));
  Put(o, "category", JInt(attributes.category));
  Put(o, "secret", JBool(attributes.secret));
  Put(o, "dirty", JBool(attributes.dirty));
  if (attributes.busy) Put(o, "busy", JBool(true));
  if (index >= 0) Put(o, "uniqueID", JInt(attributes.uniqueID));
  const std::string bytes(reinterpret_cast<const char*>(record.data()), record.size());
  Put(o, "data", JString(Hex(bytes)));
  return o;
}

bool IsDamagedRecordJson(const JsonValue& tree) {
  if (tree.kind != JsonValue::Kind::kObject) return false;
  const JsonValue* d = tree.Find("damaged");
  // A CSV row of a decoded record has the column, empty.
  return d != nullptr && d->kind == JsonValue::Kind::kString && !d->text.empty();
}

}  // namespace corvane::cli
