#include "tools/base/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tools/test/scratch_dir.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

TEST(ReadFile, RefusesWhatIsNoRegularFileOrTooLarge) {
  test::ScratchDir dir("read_file");
  const std::string plain = dir.put("plain.txt", "abc");
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero_link = dir.file("zero");
  fs::create_symlink("/dev/zero", zero_link);

  struct Case {
    std::string path;
    std::size_t max;
    ErrorKind kind;
    std::string says;
  };
  const Case cases[] = {
      {dir.file("missing"), 10, ErrorKind::kCannotOpen, ": cannot open: No such file or directory"},
      {dir.root(), 10, ErrorKind::kCannotOpen, ": cannot open: Is a directory"},
      {fifo, 10, ErrorKind::kCannotOpen, ": cannot open: not a regular file"},  // never waits for a writer
      {zero_link, 10, ErrorKind::kCannotOpen, ": cannot open: not a regular file"},
      {plain, 2, ErrorKind::kTooLarge, ": the file is larger than 2 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Result<std::string> r = read_file(c.path, c.max);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.code(), kCodeCannotOpen);
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().where.path, c.path);
    EXPECT_EQ(r.error().message.rfind(c.path + c.says, 0), 0u) << r.error().message;
    EXPECT_FALSE(FileText::open(c.path, c.max).ok());
  }
  Result<std::string> whole = read_file(plain, 3);
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(*whole, "abc");
  Result<FileText> mapped = FileText::open(plain, 3);
  ASSERT_TRUE(mapped.ok());
  EXPECT_EQ(mapped->view(), "abc");
}

TEST(ReadFileEnds, GivesTheHeadTheTailAndTheSizeWithReadFilesChecks) {
  test::ScratchDir dir("file_ends");
  const std::string path = dir.put("ten", "0123456789");
  const struct {
    std::size_t head, tail;
    std::string want_head, want_tail;
  } cases[] = {{3, 2, "012", "89"}, {0, 0, "", ""}, {20, 20, "0123456789", "0123456789"}};
  for (const auto& c : cases) {
    Result<FileEnds> ends = read_file_ends(path, c.head, c.tail, 10);
    ASSERT_TRUE(ends.ok()) << ends.error().message;
    EXPECT_EQ(ends->head, c.want_head);
    EXPECT_EQ(ends->tail, c.want_tail);
    EXPECT_EQ(ends->size, 10u);
  }
  EXPECT_EQ(read_file_ends(path, 1, 1, 9).error().kind, ErrorKind::kTooLarge);
  EXPECT_EQ(read_file_ends(dir.root(), 1, 1, 9).error().kind, ErrorKind::kCannotOpen);
  EXPECT_EQ(read_file_ends(dir.file("none"), 1, 1, 9).code(), kCodeCannotOpen);
}

TEST(WriteFileAtomic, FileSizeLimitFailsCleanlyAndLeavesTheOldFile) {
  test::ScratchDir dir("fsize");
  const std::string target = dir.put("out.bin", "old");
  // In a child process: a 4 KiB file-size limit, then a 64 KiB write.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ignore_file_size_signal();
    const rlimit lim{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    const Status s = write_file_atomic(target, std::string(65536, 'x'));
    const bool named = !s.ok() && s.error().message == target + ": cannot write: File too large";
    ::_exit(named ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test::slurp(target), "old");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"out.bin"});  // no temporary file left
}

}  // namespace
}  // namespace tools
