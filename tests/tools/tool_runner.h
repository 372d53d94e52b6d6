// Runs the built `corvane` program as a user would, in the source directory,
// and collects its exit status and output.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::test {

struct ToolResult {
  int status = -1;
  std::string out, err;
};

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// `stdin_path` empty: standard input is /dev/null. `temp_dir` non-empty: the
// command's TMPDIR.
inline ToolResult RunCorvane(const std::vector<std::string>& args,
                             const std::string& stdin_path = "", const std::string& lang = "C",
                             const std::string& temp_dir = "") {
  TempDir tmp;
  std::string cmd = "cd " + ShellQuote(CORVANE_SOURCE_DIR) +
                    " && env -u LC_ALL -u LC_MESSAGES LANG=" + ShellQuote(lang) + " " +
                    (temp_dir.empty() ? std::string() : "TMPDIR=" + ShellQuote(temp_dir) + " ") +
                    ShellQuote(CORVANE_TOOL_PATH);
  // Appended, not " " + ...: g++ 12 at -O3 warns falsely of that (-Wrestrict, GCC bug 105651).
  for (const std::string& a : args) cmd.append(1, ' ').append(ShellQuote(a));
  cmd += " <" + ShellQuote(stdin_path.empty() ? "/dev/null" : stdin_path);
  cmd += " >" + ShellQuote(tmp.File("out")) + " 2>" + ShellQuote(tmp.File("err"));
  const int raw = std::system(cmd.c_str());
  ToolResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto text = [](const std::vector<std::uint8_t>& b) {
    return std::string(b.begin(), b.end());
  };
  r.out = text(ReadAll(tmp.File("out")));
  r.err = text(ReadAll(tmp.File("err")));
  return r;
}

inline std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> b = ReadAll(path);
  return std::string(b.begin(), b.end());
}

inline void WriteText(const std::string& path, const std::string& text) {
  WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace corvane::test
