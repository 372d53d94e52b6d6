#include "tools/cli.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>
#include <system_error>

#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/resource_list.h"

namespace corvane::cli {

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> defs) {
  ParsedArgs parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const auto def =
        std::find_if(defs.begin(), defs.end(), [&](const OptionSpec& s) { return s.name == name; });
    if (def == defs.end()) throw UsageError("unknown option '" + name + "'");
    std::string value;
    if (def->value_name.empty()) {
      if (eq != std::string::npos) throw UsageError("option '" + name + "' takes no value");
    } else if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw UsageError("option '" + name + "' needs a value (" + std::string(def->value_name) +
                       ")");
    }
    parsed.given.emplace_back(name, value);
    parsed.options[name] = std::move(value);
  }
  return parsed;
}

const std::string& SingleFileArgument(const ParsedArgs& args) {
  if (args.positional.empty()) throw UsageError("missing FILE");
  if (args.positional.size() > 1)
    throw UsageError("unexpected argument '" + args.positional[1] + "'");
  return args.positional.front();
}

void OpenForReading(TCorvane& db, const std::string& path) {
  db.SetOpenMode(dmModeReadOnly);
  db.OpenDatabaseFile(path);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw EInOutError("cannot open '" + path + "'", errno);
  std::vector<std::uint8_t> data;
  std::array<std::uint8_t, 1 << 16> chunk;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
    data.insert(data.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      std::fclose(f);
      throw Exception("'" + path + "' is larger than any PDB file can be (2 GiB)");
    }
    if (n < chunk.size()) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EInOutError("cannot read '" + path + "'", errno);
  return data;
}

bool IsResourceFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::array<std::uint8_t, pdb::kHeaderSize> header;
  const std::size_t n = std::fread(header.data(), 1, header.size(), f);
  std::fclose(f);
  return pdb::IsResourceDatabase(std::span(header.data(), n));
}

void SplitPdbPath(const std::string& path, std::string& directory, std::string& name) {
  if (UpperCase(ExtractFileExt(path)) != ".PDB") {
    throw UsageError("FILE must have the .pdb extension: '" + path + "'");
  }
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory.assign(1, '.');  // not = ".": g++ 12 -O3 warns (-Wrestrict) about that form
    name = path;
  } else {
    directory = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

std::string ReadInput(const std::string& path) {
  if (path.empty() || path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  // A folder opens as a stream that fails only later, and oddly: said here.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw EInOutError("cannot read '" + path + "': " + std::generic_category().message(EISDIR),
                      EISDIR);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int err = errno;
    throw EInOutError("cannot read '" + path + "'" +
                          (err != 0 ? ": " + std::generic_category().message(err) : std::string()),
                      err);
  }
  // In one read when the size is known (a regular file), else as a stream.
  std::string text;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0 && in) {
    text.resize(static_cast<std::size_t>(size));
    in.read(text.data(), size);
    if (in.gcount() != size) throw EInOutError("cannot read '" + path + "'", errno);
  } else {
    in.clear();
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (in.bad()) throw EInOutError("cannot read '" + path + "'", errno);
  return text;
}

}  // namespace corvane::cli
