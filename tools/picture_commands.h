// Resource databases and pictures: export --resources, import --resources,
// export --app photo, and the bitmap descriptions `records` prints. Reached
// from the export, import and records commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "corvane/interchange/json.h"
#include "tools/cli.h"

namespace corvane::cli {

int RunResourcesExport(const ParsedArgs& args, Output& out);
int RunResourcesImport(const ParsedArgs& args, Output& out);
int RunPhotoExport(const ParsedArgs& args, Output& out);

// Creates or truncates the file and writes the bytes; EInOutError on failure.
void WriteBytesToFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// The resource types that hold a bitmap family.
bool IsBitmapResource(std::string_view type) noexcept;
// "bitmap 22x22 1-bit, 22x22 8-bit", or what is damaged.
std::string BitmapSummary(std::span<const std::uint8_t> data);
// The family's members as a JSON array, or a string saying what is damaged.
void DescribeBitmapResource(JsonWriter& w, std::span<const std::uint8_t> data);

}  // namespace corvane::cli
