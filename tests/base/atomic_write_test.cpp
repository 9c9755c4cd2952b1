// The one write path: what an output's name may already be, temporaries on
// failure, on signals and after a killed run, and logs that refuse links.
#include "tools/base/atomic_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/base/system_log.h"
#include "tools/test/scratch_dir.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

bool is_link(const std::string& path) {
  return fs::is_symlink(fs::symlink_status(path));
}

TEST(AtomicWriter, ReplacesRegularFilesWholeAndKeepsTheirMode) {
  test::ScratchDir dir("atomic");
  const std::string out = dir.put("model.3di", "old");
  ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
  Result<AtomicWriter> w = AtomicWriter::create(out);
  ASSERT_TRUE(w.ok()) << w.error().message;
  ASSERT_TRUE(w->write("new ").ok());
  // Until the commit the old file is what a reader sees.
  EXPECT_EQ(test::slurp(out), "old");
  ASSERT_TRUE(w->write("bytes").ok());
  ASSERT_TRUE(w->commit().ok());
  EXPECT_EQ(test::slurp(out), "new bytes");
  struct stat st {};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"model.3di"});
  EXPECT_FALSE(w->write("more").ok());

  // A writer given up leaves the old file and no temporary.
  {
    Result<AtomicWriter> dropped = AtomicWriter::create(out);
    ASSERT_TRUE(dropped.ok());
    ASSERT_TRUE(dropped->write("half").ok());
  }
  EXPECT_EQ(test::slurp(out), "new bytes");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"model.3di"});
}

TEST(AtomicWriter, LinksAreFollowedToTheirTargetOrReplacedWhenAsked) {
  test::ScratchDir dir("atomic_links");
  fs::create_directory(dir.file("real"));
  const std::string target = dir.put("real/model.3di", "old");
  fs::create_symlink("real/model.3di", dir.file("link"));
  fs::create_symlink("link", dir.file("chain"));
  fs::create_symlink("real/new.3di", dir.file("dangling"));

  ASSERT_TRUE(write_file_atomic(dir.file("chain"), "through two links").ok());
  EXPECT_EQ(test::slurp(target), "through two links");
  EXPECT_TRUE(is_link(dir.file("link")) && is_link(dir.file("chain")));
  ASSERT_TRUE(write_file_atomic(dir.file("dangling"), "made").ok());
  EXPECT_EQ(test::slurp(dir.file("real/new.3di")), "made");
  EXPECT_TRUE(is_link(dir.file("dangling")));
  // The temporaries were made beside the target, and are gone.
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"chain", "dangling", "link", "real"}));

  // Replacing: the link becomes a file, its target is not touched.
  Result<AtomicWriter> w = AtomicWriter::create(dir.file("link"), FileSync::kCache, LinkPolicy::kReplace);
  ASSERT_TRUE(w.ok());
  ASSERT_TRUE(w->write("unpacked").ok());
  ASSERT_TRUE(w->commit().ok());
  EXPECT_FALSE(is_link(dir.file("link")));
  EXPECT_EQ(test::slurp(dir.file("link")), "unpacked");
  EXPECT_EQ(test::slurp(target), "through two links");
}

TEST(AtomicWriter, DevicesAndPipesAreWrittenThroughNeverReplaced) {
  test::ScratchDir dir("atomic_devices");
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char buf[64];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) received.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
  });
  const Status s = write_file_atomic(fifo, "through the pipe");
  reader.join();
  ASSERT_TRUE(s.ok()) << s.error().message;
  EXPECT_EQ(received, "through the pipe");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // /dev/null named directly and through a link stays the device.
  fs::create_symlink("/dev/null", dir.file("null"));
  for (const std::string& path : {std::string("/dev/null"), dir.file("null")}) {
    Result<AtomicWriter> w = AtomicWriter::create(path);
    ASSERT_TRUE(w.ok()) << w.error().message;
    EXPECT_TRUE(w->writes_through());
    ASSERT_TRUE(w->write("discarded").ok());
    ASSERT_TRUE(w->commit().ok());
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }

  // What is refused, and why.
  struct Case {
    std::string path;
    LinkPolicy links;
    std::string says;
  };
  const Case refused[] = {
      {dir.root(), LinkPolicy::kFollow, ": cannot write: Is a directory"},
      {fifo, LinkPolicy::kReplace, ": cannot write: not a regular file"},
      {dir.file("no/such/folder.3di"), LinkPolicy::kFollow, ": cannot write: No such file or directory"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.path);
    Result<AtomicWriter> w = AtomicWriter::create(c.path, FileSync::kCache, c.links);
    ASSERT_FALSE(w.ok());
    EXPECT_EQ(w.error().kind, ErrorKind::kCannotWrite);
    EXPECT_EQ(w.error().message.rfind(c.path + c.says, 0), 0u) << w.error().message;
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"null", "pipe"}));
}

TEST(AtomicWriter, StaleTemporariesOfTheSameOutputAndProgramGoAfterTheNextWrite) {
  test::ScratchDir dir("atomic_stale");
  set_temporary_owner("orvo");
  const std::string out = dir.put("tank.3di", "old");
  const std::string loamers = dir.put(".tank.3di.loamer-save-AbC123", "another program's");
  const std::string stale = dir.put(".tank.3di.orvo-save-AbC123", "left by a killed run");
  const std::string fresh = dir.put(".tank.3di.orvo-save-XyZ789", "another run, now");
  const std::string other = dir.put(".ship.3di.orvo-save-AbC123", "another output's");
  const std::string unlike = dir.put(".tank.3di.orvo-save-toolong", "not one of ours");
  const std::time_t long_ago = std::time(nullptr) - 3600;
  for (const std::string& p : {stale, other, unlike, loamers}) {
    const utimbuf t{long_ago, long_ago};
    ASSERT_EQ(::utime(p.c_str(), &t), 0);
  }
  const utimbuf later{std::time(nullptr) + 60, std::time(nullptr) + 60};
  ASSERT_EQ(::utime(fresh.c_str(), &later), 0);

  // A failed write removes nothing of the earlier runs.
  fs::create_directory(dir.file("sub"));
  EXPECT_FALSE(write_file_atomic(dir.file("sub"), "x").ok());
  EXPECT_TRUE(fs::exists(stale));

  ASSERT_TRUE(write_file_atomic(out, "new").ok());
  set_temporary_owner("tools");
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{".ship.3di.orvo-save-AbC123", ".tank.3di.loamer-save-AbC123",
                                      ".tank.3di.orvo-save-XyZ789", ".tank.3di.orvo-save-toolong", "sub", "tank.3di"}));
}

// A child writes part of a file and is ended by a signal: its temporary goes
// with it and the output stays the old one.
TEST(AtomicWriter, EndingSignalsRemoveTheTemporaries) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    test::ScratchDir dir("atomic_signal");
    const std::string out = dir.put("out.bin", "old");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Result<AtomicWriter> a = AtomicWriter::create(out);
      Result<AtomicWriter> b = AtomicWriter::create(dir.file("second.bin"));
      if (!a || !b || !a->write(std::string(100000, 'x')) || !b->write("y")) ::_exit(2);
      ::raise(sig);
      ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(test::slurp(out), "old");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.bin"});
  }
}

TEST(LogFiles, PlantedLinksDevicesAndPipesAreRefusedAndTheRunGoesOn) {
  test::ScratchDir dir("log_links");
  const std::string victim = dir.put("victim.txt", "precious");
  fs::create_symlink("victim.txt", dir.file("ghw.txt"));
  ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", dir.file("null.txt"));

  for (const char* name : {"ghw.txt", "fifo.txt", "null.txt"}) {
    SCOPED_TRACE(name);
    Result<int> fd = open_log_file(dir.file(name), true);
    ASSERT_FALSE(fd.ok());
    EXPECT_EQ(fd.error().message.rfind(dir.file(name) + ": not written: ", 0), 0u) << fd.error().message;
  }
  SystemLog log(dir.file("ghw.txt"));
  EXPECT_FALSE(log.write("a line\n"));
  EXPECT_FALSE(log.write("another\n"));
  EXPECT_EQ(test::slurp(victim), "precious");
  EXPECT_TRUE(is_link(dir.file("ghw.txt")));

  // Once the link is gone the log starts as usual.
  fs::remove(dir.file("ghw.txt"));
  EXPECT_TRUE(log.write("a line\n"));
  EXPECT_EQ(test::slurp(dir.file("ghw.txt")).find("GHW.TXT - LOG FILE - "), 65u);
  EXPECT_TRUE(write_log_text(dir.file("plain.txt"), "one\n", true));
  EXPECT_TRUE(write_log_text(dir.file("plain.txt"), "two\n", false));
  EXPECT_EQ(test::slurp(dir.file("plain.txt")), "one\ntwo\n");
}

}  // namespace
}  // namespace tools
