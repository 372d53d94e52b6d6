#pragma once

#include <string>
#include <string_view>

namespace corvane::rescue {

// The page a person opens after a rescue (OUT/index.html): one self-contained
// HTML document with its own styles and script, that loads nothing from the
// network and links only to the outputs the report names, by paths relative
// to the folder the page is written into.
//
// `reportJson` is the rescue report (OUT/rescue.json) as written. It is
// embedded in the page byte for byte as far as JSON is concerned: `<`, `>`,
// `&`, U+2028 and U+2029 become their \u escapes, control characters other
// than tab, line feed and carriage return become \u00XX, and a byte that is
// not part of valid UTF-8 becomes \ufffd. Whatever the input, nothing in it
// can end the element that holds it or add markup to the page; a report that
// is not valid JSON gives a page that says so. The page renders the report
// with its script, treating every string of the report as text.
//
// The result depends on `reportJson` alone: the same report gives the same
// bytes. Never throws except std::bad_alloc.
std::string RenderReportPage(std::string_view reportJson);

} // namespace corvane::rescue
