// For fuzzing: opens a database through each engine in turn and splits every
// record with a field list taken from the file's own bytes (its last bytes
// pick the number, types and widths of the fields; an AppForge file that
// describes its fields uses its own). Every value is then read back as text.
// The library's refusals (corvane::Exception) are caught per engine and per
// record, so one refusal hides nothing else; any other exception, a crash or
// a sanitizer report is a finding.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvane {

// The database held in `bytes`, opened from memory by every engine.
void FuzzSplitRecords(std::span<const std::uint8_t> bytes);
// The same for a file.
void FuzzSplitRecords(const std::string& directory, const std::string& pdb_filename);

}  // namespace corvane
