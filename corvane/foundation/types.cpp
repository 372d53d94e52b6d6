#include "corvane/foundation/types.h"

namespace corvane {

std::string Substr(const std::string& text, std::int32_t start, std::int32_t count) {
  if (start < 1) start = 1;
  if (count <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
  return text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count));
}

}  // namespace corvane
