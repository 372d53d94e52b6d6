// Writes the page for a rescue report, for the browser test:
//   render_page REPORT.json OUT.html
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "corvane/rescue/report_page.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: render_page REPORT.json OUT.html\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "render_page: cannot read " << argv[1] << "\n";
    return 1;
  }
  const std::string report{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << corvane::rescue::RenderReportPage(report);
  out.close();
  if (!out) {
    std::cerr << "render_page: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
