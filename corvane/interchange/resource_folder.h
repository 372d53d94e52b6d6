// A resource database (.prc) as a folder, as export --resources writes it:
// one TYPE-ID.bin per resource (bytes of the type other than letters and
// digits as %XX), each bitmap resource also as TYPE-ID.png, the blocks as
// appinfo.bin and sortinfo.bin, and resources.json, from which import
// --resources builds the same file again. Writes PNG through libpng, so it
// lives in corvane_png beside the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "corvane/interchange/json.h"

namespace corvane::cli {

inline constexpr std::string_view kResourcesJsonName = "resources.json";

// What ExportResourceFolder warns of: a layout import will not give back
// byte for byte (no resource), or a bitmap resource that does not decode
// (its .bin is written all the same).
struct ResourceWarning {
  std::optional<std::size_t> resource;  // its index
  std::string text;                     // "resource 3 (Tbmp 1000): ..."
};

// Writes the folder's files into `folder`, which exists. Gives the number of
// resources. Raises EPDBException for a file that is no resource database,
// EInOutError when a file cannot be written.
std::size_t ExportResourceFolder(std::span<const std::uint8_t> file,
                                 const std::filesystem::path& folder,
                                 const std::function<void(const ResourceWarning&)>& warn);

// Creates or truncates the file and writes the bytes; EInOutError on failure.
void WriteBytesToFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// The resource types that hold a bitmap family.
bool IsBitmapResource(std::string_view type) noexcept;
// The family's members as a JSON array, or a string saying what is damaged.
void DescribeBitmapResource(JsonWriter& w, std::span<const std::uint8_t> data);

}  // namespace corvane::cli
