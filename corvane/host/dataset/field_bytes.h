// Helpers the field classes share: a field's value travels through the record
// buffer as its native bytes, copied (never read through a cast pointer).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "corvane/host/dataset/fields.h"

namespace corvane::field_bytes {

template <class T, class B>
T Load(const B& buf) noexcept {
  T v{};
  std::memcpy(&v, buf.data(), sizeof v);
  return v;
}

template <class T>
void StoreAndSet(TField& field, T value) {
  std::array<std::uint8_t, sizeof(T)> buf{};
  std::memcpy(buf.data(), &value, sizeof value);
  field.SetData(buf);
}

inline std::string IntToStr(std::int64_t v) {
  return std::to_string(v);
}

}  // namespace corvane::field_bytes
