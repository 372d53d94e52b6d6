// Gathered writes: every piece lands where the concatenation puts it, whatever
// mix of short, long and empty pieces and however many system calls it takes.
#include "corvane/host/binary_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "corvane/host/exceptions.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

// Pieces of the given sizes, each filled with bytes that differ from its
// neighbours' (a piece written twice or skipped shows).
std::vector<std::vector<std::uint8_t>> MakePieces(const std::vector<std::size_t>& sizes) {
  std::vector<std::vector<std::uint8_t>> pieces;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::vector<std::uint8_t> p(sizes[i]);
    for (std::size_t j = 0; j < p.size(); ++j) p[j] = static_cast<std::uint8_t>(i * 7 + j);
    pieces.push_back(std::move(p));
  }
  return pieces;
}

std::vector<std::uint8_t> Concatenated(const std::vector<std::vector<std::uint8_t>>& pieces) {
  std::vector<std::uint8_t> all;
  for (const auto& p : pieces) all.insert(all.end(), p.begin(), p.end());
  return all;
}

void GatherWriteTo(const std::string& path, const std::vector<std::vector<std::uint8_t>>& pieces) {
  std::vector<std::span<const std::uint8_t>> spans(pieces.begin(), pieces.end());
  TBinaryFile f(path);
  f.Rewrite();
  f.GatherWrite(spans);
  f.Close();
}

std::vector<std::size_t> Repeat(std::size_t count, std::size_t size) {
  return std::vector<std::size_t>(count, size);
}

TEST(GatherWrite, WritesThePiecesOneAfterAnother) {
  struct Case {
    const char* what;
    std::vector<std::size_t> sizes;
  };
  std::vector<std::size_t> with_empties;
  for (std::size_t i = 0; i < 3000; ++i) with_empties.push_back(i % 3 == 0 ? 0 : 1 + i % 50);
  std::vector<std::size_t> mixed;
  for (std::size_t i = 0; i < 2100; ++i)
    mixed.push_back(i % 97 == 0 ? 70000 : i % 5 == 0 ? 4096 : 4095);
  const Case cases[] = {
      {"nothing", {}},
      {"only empty pieces", Repeat(5, 0)},
      {"one byte", {1}},
      {"1023 short pieces", Repeat(1023, 3)},
      {"1024 short pieces", Repeat(1024, 3)},
      {"1025 short pieces", Repeat(1025, 3)},
      {"2048 short pieces", Repeat(2048, 100)},
      {"2049 short pieces", Repeat(2049, 100)},
      {"empty pieces among short ones", with_empties},
      // Long pieces go out as they are: past the vector limit with no short one between.
      {"2049 long pieces", Repeat(2049, 4096)},
      {"long pieces among staged ones", mixed},
      {"a staging block filled exactly", Repeat(32, 2048)},
      {"a piece that does not fit the staging block", Repeat(40, 4000)},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto pieces = MakePieces(c.sizes);
    GatherWriteTo(dir.File("out"), pieces);
    EXPECT_EQ(test::ReadAll(dir.File("out")), Concatenated(pieces));
  }
}

TEST(GatherWrite, NeedsAnOpenFile) {
  TBinaryFile f;
  const std::vector<std::span<const std::uint8_t>> none;
  EXPECT_THROW(f.GatherWrite(none), EInOutError);
}

// A file size limit makes the system write part of a call and refuse the
// rest: the part written holds the right bytes and the refusal is raised. In
// a child process, since the limit would hold for every later test.
TEST(GatherWrite, AShortWriteResumesAndARefusalIsRaised) {
  test::TempDir dir;
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < 5000; ++i) sizes.push_back(i % 11 == 0 ? 5000 : 37 + i % 60);
  const auto pieces = MakePieces(sizes);
  const auto all = Concatenated(pieces);
  constexpr rlim_t kLimit = 200003;  // within a staging block, mid-piece
  ASSERT_GT(all.size(), kLimit);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
    try {
      GatherWriteTo(dir.File("out"), pieces);
    } catch (const EInOutError& e) {
      ::_exit(e.ErrorCode() == EFBIG ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "1: no failure raised, 2: another failure";
  EXPECT_EQ(test::ReadAll(dir.File("out")),
            std::vector<std::uint8_t>(all.begin(), all.begin() + kLimit));
}

// A pipe that a slow reader drains while signals interrupt the writer makes
// the system return from writes part way: each one resumes where the last stopped.
TEST(GatherWrite, ResumesAfterWritesInterruptedPartWay) {
  test::TempDir dir;
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < 6000; ++i) sizes.push_back(i % 13 == 0 ? 9000 : 1 + i % 120);
  const auto pieces = MakePieces(sizes);
  const auto all = Concatenated(pieces);

  struct sigaction action {};
  action.sa_handler = [](int) {};
  action.sa_flags = 0;  // no restart: an interrupted write returns what it wrote
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

  TBinaryFile f(fifo);
  f.Rewrite();  // read and write: opening does not wait for a reader
  std::vector<std::uint8_t> received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    std::uint8_t buffer[1500];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      received.insert(received.end(), buffer, buffer + n);
      if (received.size() % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ::close(fd);
  });
  std::atomic<bool> done{false};
  const pthread_t writer = ::pthread_self();
  std::thread pester([&] {
    while (!done) {
      ::pthread_kill(writer, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::vector<std::span<const std::uint8_t>> spans(pieces.begin(), pieces.end());
  EXPECT_NO_THROW(f.GatherWrite(spans));
  done = true;
  pester.join();
  f.Close();  // the reader sees the end
  reader.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(received.size(), all.size());
  EXPECT_TRUE(received == all);
}

}  // namespace
}  // namespace corvane
