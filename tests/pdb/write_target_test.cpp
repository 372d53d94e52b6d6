// What a write may replace and what it leaves behind: no temporary file while
// it runs or after a failure, stale temporaries of killed writers tidied,
// special files and untrusted links refused, and the new file synced to the
// device before it takes the target's name.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

// Counts the file syncs of the process and notes how many came before each
// rename: the test program's own definitions stand in for the C library's.
namespace {
int g_file_syncs = 0;
int g_syncs_at_last_rename = -1;
}  // namespace

extern "C" int fsync(int fd) {
  using Fn = int (*)(int);
  static const auto real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "fsync"));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ++g_file_syncs;
  return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
  using Fn = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "rename"));
  g_syncs_at_last_rename = g_file_syncs;
  return real(from, to);
}

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void Describe(TPDBBaseMgr& db, const std::string& dir, const std::string& name) {
  db.SetDirectory(dir);
  db.SetPDBFilename(name);
  db.SetOpenMode(dmModeWriteOnly);
  db.SetDBName("Target");
  db.SetCreatorID("test");
  db.SetDatabaseType("DATA");
}

struct Outcome {
  int code = 0;
  std::string reason, message;
};

Outcome Write(const std::string& dir, const std::string& name, int records = 1,
              std::size_t size = 3) {
  Outcome o;
  try {
    TPDBBaseMgr db;
    Describe(db, dir, name);
    db.CreateDatabase();
    for (int i = 0; i < records; ++i) {
      db.SetCurrentRecord(Bytes(size, static_cast<std::uint8_t>(i)));
      db.WriteRawRecord();
    }
    db.CloseDatabase();
  } catch (const EPDBException& e) {
    o.code = e.ErrorCode();
    o.reason = e.Reason();
    o.message = e.what();
  } catch (const EInOutError& e) {
    o.code = -1;
    o.message = e.what();
  }
  return o;
}

bool SystemOffersUnnamedFiles(const std::string& dir) {
#ifdef O_TMPFILE
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
#else
  (void)dir;
  return false;
#endif
}

void MakeOld(const std::string& path) {
  const std::time_t two_days_ago = std::time(nullptr) - 2 * 24 * 3600;
  const struct timespec times[2] = {{two_days_ago, 0}, {two_days_ago, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST(WriteTarget, TheFileBeingWrittenHasNoNameUntilItIsWhole) {
  test::TempDir dir;
  if (!SystemOffersUnnamedFiles(dir.path())) GTEST_SKIP() << "no O_TMPFILE here";
  TPDBBaseMgr db;
  Describe(db, dir.path(), "db.pdb");
  db.CreateDatabase();
  db.SetCurrentRecord(Bytes{1, 2, 3});
  db.WriteRawRecord();
  EXPECT_TRUE(Listing(dir.path()).empty());  // a kill now would leave nothing
  db.CloseDatabase();
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"db.pdb"});
  // A failed write leaves nothing either.
  TPDBBaseMgr dropped;
  Describe(dropped, dir.path(), "other.pdb");
  dropped.CreateDatabase();
  dropped.AbortDatabase();
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"db.pdb"});
}

TEST(WriteTarget, TheNewFileIsSyncedBeforeItTakesTheTargetsName) {
  test::TempDir dir;
  test::WriteAll(dir.File("db.pdb"), {'o', 'l', 'd'});
  g_file_syncs = 0;
  g_syncs_at_last_rename = -1;
  ASSERT_EQ(Write(dir.path(), "db.pdb").code, 0);
  EXPECT_GE(g_syncs_at_last_rename, 1) << "renamed before the data reached the device";
}

TEST(WriteTarget, AWriteTidiesStaleTemporariesOfItsOwnNaming) {
  test::TempDir dir;
  const std::vector<std::string> stale = {".cvAb12Cd", ".cvZZZZZZ"};
  const std::vector<std::string> kept_names = {
      ".cvFresh1",   // too young: a writer may still be at work
      ".cvHeld01",   // held open by a live process
      ".cvShort",    // not the pattern: 5 characters
      ".cvTooLong1", // nor 8
      ".cv-bad-1",   // nor these characters
      "keep.pdb",
  };
  for (const std::string& n : stale) {
    test::WriteAll(dir.File(n), {1});
    MakeOld(dir.File(n));
  }
  for (const std::string& n : kept_names) {
    test::WriteAll(dir.File(n), {1});
    if (n != ".cvFresh1") MakeOld(dir.File(n));
  }
  const int held = ::open(dir.File(".cvHeld01").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  // A scratch folder of an earlier version, stale, and one still in use.
  fs::create_directory(dir.File(".corvane-convert-Old123"));
  test::WriteAll(dir.File(".corvane-convert-Old123/out.pdb"), {1});
  MakeOld(dir.File(".corvane-convert-Old123/out.pdb"));
  MakeOld(dir.File(".corvane-convert-Old123"));
  fs::create_directory(dir.File(".corvane-convert-New123"));
  test::WriteAll(dir.File(".corvane-convert-New123/out.pdb"), {1});
  MakeOld(dir.File(".corvane-convert-New123"));
  // A link of the pattern is not a temporary of ours.
  fs::create_symlink("keep.pdb", dir.File(".cvLink01"));
  MakeOld(dir.File(".cvLink01"));

  ASSERT_EQ(Write(dir.path(), "db.pdb").code, 0);
  ::close(held);
  std::vector<std::string> expected = kept_names;
  expected.insert(expected.end(), {".corvane-convert-New123", ".cvLink01", "db.pdb"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir.path()), expected);
}

TEST(WriteTarget, RefusesSpecialFilesAndLinksToThem) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo.pdb").c_str(), 0644), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string sock_path = dir.File("sock.pdb");
  ASSERT_LT(sock_path.size(), sizeof addr.sun_path);
  sock_path.copy(addr.sun_path, sock_path.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const bool device = ::mknod(dir.File("null.pdb").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  fs::create_directory(dir.File("folder"));
  fs::create_symlink("fifo.pdb", dir.File("to-fifo.pdb"));
  fs::create_symlink("folder", dir.File("to-folder.pdb"));
  struct Case {
    const char* name;
    const char* reason;
  };
  std::vector<Case> cases = {
      {"fifo.pdb", "it is a FIFO, not a regular file"},
      {"to-fifo.pdb", "it is a FIFO, not a regular file"},
      {"sock.pdb", "it is a socket, not a regular file"},
      {"to-folder.pdb", "Is a directory"},
  };
  if (device) cases.push_back({"null.pdb", "it is a device, not a regular file"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = Write(dir.path(), c.name);
    EXPECT_EQ(o.code, 7);
    EXPECT_EQ(o.reason, c.reason);
  }
  struct stat st {};
  ASSERT_EQ(::lstat(dir.File("fifo.pdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(::lstat(dir.File("sock.pdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  if (device) {
    ASSERT_EQ(::lstat(dir.File("null.pdb").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  ::close(sock);
}

// A link planted in a shared sticky folder by another user is not followed,
// as the kernel would not follow it either; the folder owner's and one's own are.
TEST(WriteTarget, FollowsLinksInASharedFolderOnlyAsTheKernelWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a link away";
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  fs::create_directory(dir.File("shared"));
  ASSERT_EQ(::chmod(dir.File("shared").c_str(), 01777), 0);
  test::WriteAll(dir.File("victim.pdb"), {'o', 'l', 'd'});
  fs::create_symlink(dir.File("victim.pdb"), dir.File("shared/planted.pdb"));
  ASSERT_EQ(::lchown(dir.File("shared/planted.pdb").c_str(), 65534, 65534), 0);
  fs::create_symlink(dir.File("victim.pdb"), dir.File("shared/mine.pdb"));

  const Outcome o = Write(dir.File("shared"), "planted.pdb");
  EXPECT_EQ(o.code, 7);
  EXPECT_NE(o.reason.find("shared sticky folder"), std::string::npos) << o.reason;
  EXPECT_EQ(test::ReadAll(dir.File("victim.pdb")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  // The same link outside a sticky folder is followed.
  ASSERT_EQ(::chmod(dir.File("shared").c_str(), 0777), 0);
  EXPECT_EQ(Write(dir.File("shared"), "planted.pdb").code, 0);
  ASSERT_EQ(::chmod(dir.File("shared").c_str(), 01777), 0);
  EXPECT_EQ(Write(dir.File("shared"), "mine.pdb").code, 0);
  EXPECT_TRUE(fs::is_symlink(dir.File("shared/mine.pdb")));
}

// A file size limit: the write fails naming the target, not the temporary
// file, and nothing is left behind. In a child, which the limit may not outlive.
TEST(WriteTarget, AFileSizeLimitFailsCleanlyNamingTheTarget) {
  test::TempDir dir;
  test::WriteAll(dir.File("db.pdb"), {'o', 'l', 'd'});
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
    const Outcome o = Write(dir.path(), "db.pdb", 20, 1000);
    const bool named = o.message.find("'" + dir.File("db.pdb") + "'") != std::string::npos;
    const bool why = o.message.find("File too large") != std::string::npos;
    if (o.code == 0) ::_exit(1);
    if (!named) ::_exit(2);
    ::_exit(why ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"db.pdb"});
  EXPECT_EQ(test::ReadAll(dir.File("db.pdb")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

}  // namespace
}  // namespace corvane
