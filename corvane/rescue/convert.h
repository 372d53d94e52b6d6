// Turning one input into the files other programs open. Each kind has its
// converter; all of them fill the file's report (outputs, counts, preview,
// warnings) as they go, so that what was written before a failure is still
// reported.
#pragma once

#include <span>
#include <string>

#include "corvane/rescue/out_files.h"
#include "corvane/rescue/rescue.h"

namespace corvane::rescue {

struct ConvertJob {
  std::span<const std::uint8_t> bytes;
  std::string path;      // the file, for readers that open it by name
  std::string stem;      // the input's name in every output folder, unique in the run
  std::string encoding;  // cp1252, latin1 or utf8
  OutputFolder& out;
  FileReport& report;
};

// Writes the outputs of the file's kind (report.detection). Raises for a file
// nothing could be made of; the caller reports the failure.
void Convert(ConvertJob& job);

// A person's words for what a library or system message means.
std::string PlainReason(const std::string& detail);

}  // namespace corvane::rescue
