// A program that uses Corvane the way another project would: it writes a
// database, reads it back and reports the library's version. Built by the
// consumer projects beside it, against an installed prefix and as a
// subdirectory.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "corvane/foundation/exception.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/version.h"

// Only the library's headers reach a consumer.
#if __has_include("tools/cli.h") || __has_include("support/temp_dir.h")
#error "the command's or the tests' headers are on a consumer's include path"
#endif

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer VERSION\n");
    return 2;
  }
  if (std::strcmp(argv[1], CORVANE_VERSION_STRING) != 0) {
    std::fprintf(stderr, "corvane/version.h says %s, the package %s\n", CORVANE_VERSION_STRING, argv[1]);
    return 1;
  }
  const std::string dir = std::filesystem::temp_directory_path().string();
  const std::string name = "corvane-consumer-" + std::to_string(CORVANE_VERSION) + ".pdb";
  try {
    TPDBBaseMgr out;
    out.SetDirectory(dir);
    out.SetPDBFilename(name);
    out.SetOpenMode(dmModeWriteOnly);
    out.SetDBName("Consumer");
    out.SetDatabaseType("DATA");
    out.SetCreatorID("Cons");
    out.CreateDatabase();
    out.SetCurrentRecord(Bytes{'o', 'k'});
    out.WriteRawRecord();
    out.CloseDatabase();

    TPDBBaseMgr in;
    in.SetDirectory(dir);
    in.SetPDBFilename(name);
    in.OpenDatabase();
    const bool ok = in.RecordCount() == 1 && in.DatabaseName() == "Consumer";
    in.CloseDatabase();
    std::filesystem::remove(std::filesystem::path(dir) / name);
    if (!ok) {
      std::fprintf(stderr, "the database did not read back as written\n");
      return 1;
    }
  } catch (const EPDBException& e) {
    std::fprintf(stderr, "%s (code %d)\n", e.what(), e.ErrorCode());
    return 1;
  }
  std::printf("corvane %s: ok\n", CORVANE_VERSION_STRING);
  return 0;
}
