// export's --sort, --desc, --nocase and --where: the records to print and
// their order, chosen by a TPDBDataSet opened over the same file with the same
// fields (its sort and its record filter), which never writes the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "corvane/dataset/pdb_dataset.h"
#include "corvane/engines/any_engine.h"
#include "corvane/host/variant.h"
#include "corvane/interchange/text_encoding.h"
#include "tools/cli.h"

namespace corvane::cli {

struct WhereClause {
  std::string field;  // UTF-8, as export names it
  std::string value;  // without the trailing '*'
  bool prefix = false;
};

struct ViewOptions {
  std::vector<std::string> sort;  // field names, UTF-8
  bool descending = false;
  bool nocase = false;
  std::vector<WhereClause> where;
  bool Any() const noexcept { return !sort.empty() || !where.empty(); }
};

// The options export adds for them.
inline constexpr OptionSpec kViewOptionSpecs[] = {
    {"--sort", "FIELD[,FIELD...]"},
    {"--desc", ""},
    {"--nocase", ""},
    {"--where", "FIELD=VALUE"},
};

// Raises UsageError for a malformed option, or --desc without --sort.
ViewOptions ViewOptionsFromArgs(const ParsedArgs& args);

// The dataset engine an engine of the command stands for; UsageError for one
// that has no dataset (the generic manager).
TEngine DataSetEngineOf(const TAnyEngine& engine, const char* why);

// Copies the engine's field definitions (without its implicit field) into the
// dataset's collection for that engine.
void DefineDataSetFields(const TAnyEngine& engine, TPDBDataSet& ds);

// The positions, among the records a dataset loads from `image`, the bytes of
// the file `name` (its records in order), of those --where accepts, in --sort's order
// (ties keep file order ascending and the reverse descending). `cell` gives
// the text export prints for a record's field (by the engine's field index),
// which --where compares with its value. Field names unknown to the engine
// are UsageErrors.
std::vector<std::size_t> SelectAndOrder(const TAnyEngine& engine,
                                        std::span<const std::uint8_t> image,
                                        const std::string& name, const ViewOptions& options,
                                        TextEncoding enc,
                                        const std::function<std::string(std::size_t, int)>& cell);

// The records export prints: without --sort and --where, the engine's as it
// walks the file; with them, every record is read first (through `next`, which
// also checks it), then those the dataset selects, in its order.
class RecordSource {
 public:
  RecordSource(TAnyEngine& engine, std::function<bool()> next)
      : engine_(engine), next_(std::move(next)) {}
  // `types` are the engine's field types, for the texts --where compares.
  // `image` holds the engine's file, named `name` in failures.
  void Select(const ViewOptions& options, std::span<const std::uint8_t> image,
              const std::string& name, TextEncoding enc);
  bool Next();
  Variant Value(int field) const;
  // The same value as a view (TAnyEngine::ValueView), the text borrowed from
  // the engine or the rows kept, or kept in `scratch`.
  TAnyValueView ValueView(int field, std::string& scratch) const {
    return selected_ ? SelectedView(field, scratch) : engine_.ValueView(field, scratch);
  }
  // Every field's view at once (TAnyEngine::RecordView).
  void RecordView(std::span<TAnyValueView> out, std::span<std::string> scratch) const;
  std::int32_t RecordIndex() const;

 private:
  TAnyValueView SelectedView(int field, std::string& scratch) const;
  TAnyEngine& engine_;
  std::function<bool()> next_;
  bool selected_ = false;
  std::vector<std::vector<Variant>> values_;
  std::vector<std::int32_t> indexes_;
  std::vector<std::size_t> order_;
  std::size_t at_ = 0;  // next position in order_
  std::size_t current_ = 0;
};

}  // namespace corvane::cli
