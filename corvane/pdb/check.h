// A structural check of a PDB file that trusts none of its numbers: header,
// record list, data offsets, the two blocks, the category table and unique
// IDs. Where the reader refuses a damaged file at the first fault, this
// names every fault it can see, one finding each.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvane::pdb {

struct Finding {
  // The application-info block is the application's own and need not hold a
  // category table: what is odd about one is a warning, which readers of the
  // file can live with.
  bool warning = false;
  std::string text;
};

// The findings for the file's bytes, in the order of the file; empty when the
// structure is sound. Records marked deleted are no fault, nor are unique IDs
// of 0 (a record the handheld has not numbered yet). A resource database
// (header attribute 0x0001) has its resource list checked instead.
std::vector<Finding> CheckStructure(std::span<const std::uint8_t> file);

}  // namespace corvane::pdb
