// Writing a database over an existing file: who may read it stays the same, a
// link keeps pointing at the new bytes, a file the writer may not write is
// refused, and no temporary file is left behind either way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};

// Writes a one-record database to directory/name; returns the failure, if any.
struct Written {
  int code = 0;
  int message_id = 0;
  std::string path, reason;
};

Written WriteDatabase(const std::string& directory, const std::string& name) {
  Written w;
  try {
    TPDBBaseMgr db;
    db.SetDirectory(directory);
    db.SetPDBFilename(name);
    db.SetOpenMode(dmModeWriteOnly);
    db.SetDBName("Replaced");
    db.SetCreatorID("test");
    db.SetDatabaseType("DATA");
    db.CreateDatabase();
    db.SetCurrentRecord(Bytes{1, 2, 3});
    db.WriteRawRecord();
    db.CloseDatabase();
  } catch (const EPDBException& e) {
    w.code = e.ErrorCode();
    w.message_id = e.MessageId();
    w.path = e.Path();
    w.reason = e.Reason();
  }
  return w;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

bool IsDatabase(const std::string& path) {
  const std::vector<std::uint8_t> bytes = test::ReadAll(path);
  return bytes.size() > 78 && std::string(bytes.begin(), bytes.begin() + 8) == "Replaced";
}

// Everything in the directory, to show that no temporary file stayed behind.
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }

 private:
  mode_t old_;
};

TEST(Replace, KeepsThePermissionBitsOfTheFileItReplaces) {
  for (const mode_t mode : {0600, 0640, 0644, 0660, 0604, 0755}) {
    SCOPED_TRACE(mode);
    test::TempDir dir;
    test::WriteAll(dir.File("db.pdb"), kOld);
    ASSERT_EQ(::chmod(dir.File("db.pdb").c_str(), mode), 0);
    ASSERT_EQ(WriteDatabase(dir.path(), "db.pdb").code, 0);
    EXPECT_TRUE(IsDatabase(dir.File("db.pdb")));
    EXPECT_EQ(ModeOf(dir.File("db.pdb")), mode);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"db.pdb"});
  }
}

TEST(Replace, ANewFileGetsTheUsualModeUnderTheUmask) {
  for (const mode_t mask : {002, 022, 077}) {
    SCOPED_TRACE(mask);
    test::TempDir dir;
    {
      ScopedUmask umask(mask);
      ASSERT_EQ(WriteDatabase(dir.path(), "new.pdb").code, 0);
    }
    EXPECT_EQ(ModeOf(dir.File("new.pdb")), 0666 & ~mask);
  }
}

TEST(Replace, KeepsOwnerAndGroupWhereTheProcessMaySetThem) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  test::TempDir dir;
  test::WriteAll(dir.File("theirs.pdb"), kOld);
  ASSERT_EQ(::chown(dir.File("theirs.pdb").c_str(), 65534, 65534), 0);
  ASSERT_EQ(WriteDatabase(dir.path(), "theirs.pdb").code, 0);
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("theirs.pdb").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
}

TEST(Replace, WritesTheFileALinkPointsTo) {
  test::TempDir dir;
  fs::create_directory(dir.File("real"));
  test::WriteAll(dir.File("real/data.pdb"), kOld);
  ASSERT_EQ(::chmod(dir.File("real/data.pdb").c_str(), 0600), 0);
  fs::create_symlink("real/data.pdb", dir.File("link.pdb"));        // relative
  fs::create_symlink(dir.File("link.pdb"), dir.File("chain.pdb"));  // a link to a link
  fs::create_symlink("real/later.pdb", dir.File("dangling.pdb"));   // nothing there yet
  for (const char* name : {"link.pdb", "chain.pdb", "dangling.pdb"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(WriteDatabase(dir.path(), name).code, 0);
    EXPECT_TRUE(fs::is_symlink(dir.File(name)));
  }
  EXPECT_TRUE(IsDatabase(dir.File("real/data.pdb")));
  EXPECT_EQ(ModeOf(dir.File("real/data.pdb")), 0600u);
  EXPECT_TRUE(IsDatabase(dir.File("real/later.pdb")));
  EXPECT_EQ(Listing(dir.File("real")), (std::vector<std::string>{"data.pdb", "later.pdb"}));
}

TEST(Replace, ANameNearTheSystemLimitLeavesRoomForTheTemporaryFile) {
  test::TempDir dir;
  const std::string name = std::string(246, 'n') + ".pdb";  // 250 bytes of the 255 allowed
  test::WriteAll(dir.File(name), kOld);
  ASSERT_EQ(WriteDatabase(dir.path(), name).code, 0);
  EXPECT_TRUE(IsDatabase(dir.File(name)));
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{name});
}

TEST(Replace, RefusesWhatCannotBeWrittenAndNamesWhy) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  fs::create_directory(dir.File("folder.pdb"));
  struct Case {
    std::string directory, name;
    std::string reason;
  };
  const Case cases[] = {
      {dir.path(), "folder.pdb", "Is a directory"},
      {dir.File("absent"), "x.pdb", "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Written w = WriteDatabase(c.directory, c.name);
    EXPECT_EQ(w.code, 7);
    EXPECT_EQ(w.message_id, 14260);
    EXPECT_EQ(w.path, c.directory + "/" + c.name);
    EXPECT_EQ(w.reason, c.reason);
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"folder.pdb"});
}

// As root every file is writable, so the refusal is checked as another user,
// in a child process whose exit status carries the outcome.
TEST(Replace, RefusesAReadOnlyFileInAWritableDirectory) {
  test::TempDir dir;
  test::WriteAll(dir.File("ro.pdb"), kOld);
  ASSERT_EQ(::chmod(dir.File("ro.pdb").c_str(), 0444), 0);
  const bool root = ::geteuid() == 0;
  Written w;
  if (!root) {
    w = WriteDatabase(dir.path(), "ro.pdb");
  } else {
    ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(dir.File("ro.pdb").c_str(), 65534, 65534), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
      const Written c = WriteDatabase(dir.path(), "ro.pdb");
      ::_exit(c.code == 7 && c.message_id == 14260 && c.reason == std::strerror(EACCES) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 100) << "could not become an unprivileged user";
    w.code = WEXITSTATUS(status) == 0 ? 7 : -1;
    w.reason = std::strerror(EACCES);
  }
  EXPECT_EQ(w.code, 7);
  EXPECT_EQ(w.reason, "Permission denied");
  EXPECT_EQ(test::ReadAll(dir.File("ro.pdb")), kOld);
  EXPECT_EQ(ModeOf(dir.File("ro.pdb")), 0444u);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"ro.pdb"});
}

}  // namespace
}  // namespace corvane
