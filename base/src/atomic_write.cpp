#include "tools/base/atomic_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace tools {

namespace {

// ".<owner>-save-" after the output's name; see set_temporary_owner.
std::string& temp_tag() {
  static std::string tag = ".tools-save-";
  return tag;
}
constexpr std::size_t kTempRandom = 6;  // mkstemp's XXXXXX
// The output's name is cut in the temporary's name so it stays within a
// file name's 255 bytes.
constexpr std::size_t kNameInTemp = 200;

// The process umask, read once before main: reading it means setting it,
// which would race with files that other threads create at the same moment.
const mode_t kProcessUmask = [] {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}();

// When this program started: temporaries of an output last changed before
// it were left by an earlier run.
const timespec kRunStart = [] {
  timespec t{};
  ::clock_gettime(CLOCK_REALTIME, &t);
  return t;
}();

// ---- the temporaries a signal must remove ----
//
// A fixed table, so the handler reads it without locks or allocation: a slot
// is claimed (1), filled, then published (2); the handler unlinks published
// paths only.
constexpr int kSlots = 256;
struct TempSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX]{};
};
std::array<TempSlot, kSlots> g_slots;
// Set when the program is ending: no temporary is made from then on. Threads
// making one count themselves in `g_making` (with the ending signals blocked)
// so the clean-up waits for the few instructions until it is listed.
std::atomic<bool> g_ending{false};
std::atomic<int> g_making{0};

constexpr int kCleanSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

int slot_of_signal(int sig) {
  for (int i = 0; i < 3; ++i)
    if (kCleanSignals[i] == sig) return i;
  return -1;
}

extern "C" void on_ending_signal(int sig, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  remove_pending_temporaries();
  const int i = slot_of_signal(sig);
  const struct sigaction& before = g_previous[i < 0 ? 0 : i];
  if (i >= 0 && (before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
    before.sa_sigaction(sig, info, context);
  } else if (i >= 0 && before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
    before.sa_handler(sig);
  } else {
    // The default action ends the program: put it back and send the signal
    // again (SA_NODEFER leaves it unblocked here).
    ::signal(sig, SIG_DFL);
    ::raise(sig);
  }
  errno = saved_errno;
}

void install_handlers_once() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < 3; ++i) {
      struct sigaction now {};
      if (::sigaction(kCleanSignals[i], nullptr, &now) != 0) continue;
      // An ignored signal (nohup's SIGHUP) stays ignored.
      if ((now.sa_flags & SA_SIGINFO) == 0 && now.sa_handler == SIG_IGN) continue;
      g_previous[i] = now;
      struct sigaction ours {};
      ours.sa_sigaction = on_ending_signal;
      ours.sa_flags = SA_SIGINFO | SA_NODEFER | SA_RESTART;
      sigemptyset(&ours.sa_mask);
      ::sigaction(kCleanSignals[i], &ours, nullptr);
    }
  });
}

int publish_temporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!g_slots[static_cast<std::size_t>(i)].state.compare_exchange_strong(expected, 1)) continue;
    TempSlot& s = g_slots[static_cast<std::size_t>(i)];
    std::memcpy(s.path, path.c_str(), path.size() + 1);
    s.state.store(2);
    return i;
  }
  return -1;  // more writes at once than the table holds: only a signal misses it
}

void withdraw_temporary(int slot) {
  if (slot < 0) return;
  TempSlot& s = g_slots[static_cast<std::size_t>(slot)];
  s.state.store(1);
  s.path[0] = '\0';
  s.state.store(0);
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temp_prefix(const std::string& target) {
  return "." + name_of(target).substr(0, kNameInTemp) + temp_tag();
}

// The file a chain of symbolic links ends at (which need not exist yet).
Result<std::string> link_target(const std::string& path) {
  std::string at = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::vector<char> buf(static_cast<std::size_t>(PATH_MAX) + 1);
    const ssize_t n = ::readlink(at.c_str(), buf.data(), buf.size() - 1);
    if (n < 0) return write_error(path, errno);
    std::string next(buf.data(), static_cast<std::size_t>(n));
    if (next.empty()) return write_error(path, ENOENT);
    if (next[0] != '/') {
      const std::string folder = folder_of(at);
      next = (folder == "/" ? "" : folder) + "/" + next;
    }
    at = std::move(next);
  }
  return write_error(path, ELOOP);
}

// Removes temporaries of `target` that an earlier run left behind.
void remove_stale_temporaries(const std::string& target) {
  const std::string folder = folder_of(target);
  const std::string prefix = temp_prefix(target);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dfd = ::dirfd(dir);
  const uid_t me = ::geteuid();
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name(e->d_name);
    if (name.size() != prefix.size() + kTempRandom || name.substr(0, prefix.size()) != prefix) continue;
    struct stat st {};
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != me) continue;
    const bool older = st.st_mtim.tv_sec < kRunStart.tv_sec ||
                       (st.st_mtim.tv_sec == kRunStart.tv_sec && st.st_mtim.tv_nsec < kRunStart.tv_nsec);
    if (older) ::unlinkat(dfd, e->d_name, 0);
  }
  ::closedir(dir);
}

// Writes all of `data` to `fd`; 0, or the errno of the write that failed
// (EIO for a write that took nothing).
int write_all(int fd, std::string_view data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

Error refused(const std::string& path, const std::string& why) {
  return Error{kCodeCannotOpen, path + ": cannot write: " + why, FileLocation{path}, ErrorKind::kCannotWrite};
}

}  // namespace

void set_temporary_owner(std::string_view owner) {
  temp_tag() = "." + std::string(owner) + "-save-";
}

void remove_pending_temporaries() noexcept {
  g_ending.store(true);
  // Another thread between making its temporary and listing it holds the
  // ending signals blocked, so it is not this one: wait for it (1 s at most).
  for (int i = 0; i < 1000 && g_making.load() > 0; ++i) {
    const timespec ms{0, 1000000};
    ::nanosleep(&ms, nullptr);
  }
  for (TempSlot& s : g_slots)
    if (s.state.load() == 2) ::unlink(s.path);
}

Result<AtomicWriter> AtomicWriter::create(const std::string& path, FileSync sync, LinkPolicy links) {
  AtomicWriter w;
  w.path_ = path;
  w.sync_ = sync;
  w.target_ = path;
  if (path.empty()) return write_error(path, ENOENT);

  struct stat named {};
  const bool exists = ::lstat(path.c_str(), &named) == 0;
  if (exists && S_ISLNK(named.st_mode) && links == LinkPolicy::kFollow) {
    Result<std::string> end = link_target(path);
    if (!end) return end.error();
    w.target_ = *end;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) named = st;
    else named.st_mode = S_IFREG;  // a dangling link: its target is made as a new file
  }
  if (exists && !S_ISREG(named.st_mode) && !(S_ISLNK(named.st_mode) && links == LinkPolicy::kReplace)) {
    if (S_ISDIR(named.st_mode)) return write_error(path, EISDIR);
    const bool device_or_pipe = S_ISCHR(named.st_mode) || S_ISFIFO(named.st_mode);
    if (!device_or_pipe || links == LinkPolicy::kReplace) {
      return refused(path, "not a regular file; it is never written or replaced");
    }
    // Written through: the device or pipe stays what it is.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return write_error(path, errno);
    w.fd_ = fd;
    w.through_ = true;
    return w;
  }

  install_handlers_once();
  const std::string folder = folder_of(w.target_);
  std::string tmpl = (folder == "/" ? "" : folder) + "/" + temp_prefix(w.target_) + "XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  // Signals that end the program are held while the temporary is made and
  // published, so none can leave it unlisted.
  sigset_t block, old;
  sigemptyset(&block);
  for (int sig : kCleanSignals) sigaddset(&block, sig);
  ::pthread_sigmask(SIG_BLOCK, &block, &old);
  g_making.fetch_add(1);
  int fd = -1;
  int err = ECANCELED;  // the program is ending
  if (!g_ending.load()) {
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    err = errno;
  }
  if (fd >= 0) {
    w.temp_.assign(name.data());
    w.slot_ = publish_temporary(w.temp_);
  }
  g_making.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (fd < 0) return write_error(path, err);
  w.fd_ = fd;
  return w;
}

AtomicWriter::AtomicWriter(AtomicWriter&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      temp_(std::exchange(other.temp_, {})),
      fd_(std::exchange(other.fd_, -1)),
      slot_(std::exchange(other.slot_, -1)),
      sync_(other.sync_),
      through_(other.through_),
      failed_(other.failed_) {}

AtomicWriter& AtomicWriter::operator=(AtomicWriter&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    target_ = std::move(other.target_);
    temp_ = std::exchange(other.temp_, {});
    fd_ = std::exchange(other.fd_, -1);
    slot_ = std::exchange(other.slot_, -1);
    sync_ = other.sync_;
    through_ = other.through_;
    failed_ = other.failed_;
  }
  return *this;
}

AtomicWriter::~AtomicWriter() {
  release();
}

void AtomicWriter::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    withdraw_temporary(slot_);
  }
  temp_.clear();
  slot_ = -1;
}

void AtomicWriter::discard() {
  release();
  failed_ = true;
}

Status AtomicWriter::write(std::string_view data) {
  if (failed_ || fd_ < 0) return refused(path_, "the file was already closed");
  if (const int err = write_all(fd_, data); err != 0) {
    discard();
    return write_error(path_, err);
  }
  return {};
}

Status AtomicWriter::commit() {
  if (failed_ || fd_ < 0) return refused(path_, "the file was already closed");
  const auto fail = [&](int err) -> Status {
    discard();
    return write_error(path_, err);
  };
  if (through_) {
    const int fd = std::exchange(fd_, -1);
    failed_ = true;  // done either way
    if (::close(fd) != 0) return write_error(path_, errno);
    return {};
  }
  // Keep the permissions of a file being replaced; a new file gets the usual
  // mode under the process umask.
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    ::fchmod(fd_, 0666 & ~kProcessUmask);
  }
  if (sync_ == FileSync::kDurable && ::fsync(fd_) != 0) return fail(errno);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return fail(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return fail(errno);
  withdraw_temporary(slot_);
  slot_ = -1;
  temp_.clear();
  failed_ = true;
  remove_stale_temporaries(target_);
  return {};
}

Status write_file_atomic(const std::string& path, std::string_view data, FileSync sync) {
  Result<AtomicWriter> w = AtomicWriter::create(path, sync);
  if (!w) return w.error();
  if (Status s = w->write(data); !s) return s;
  return w->commit();
}

Result<int> open_log_file(const std::string& path, bool start) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    const int err = errno;
    const std::string why = err == ELOOP ? "it is a symbolic link, which a log never follows" : std::strerror(err);
    return Error{kCodeCannotOpen, path + ": not written: " + why, FileLocation{path}, ErrorKind::kCannotWrite};
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Error{kCodeCannotOpen, path + ": not written: it is not a regular file", FileLocation{path},
                 ErrorKind::kCannotWrite};
  }
  if (start && ::ftruncate(fd, 0) != 0) {
    const int err = errno;
    ::close(fd);
    return Error{kCodeCannotOpen, path + ": not written: " + std::strerror(err), FileLocation{path},
                 ErrorKind::kCannotWrite};
  }
  return fd;
}

void report_refused_log(const Error& error) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard lock(mutex);
  if (!told.insert(error.where.path).second) return;
  std::fprintf(stderr, "%s: %s; going on without this log\n", program_invocation_short_name, error.message.c_str());
}

bool write_log_text(const std::string& path, std::string_view text, bool start) {
  Result<int> fd = open_log_file(path, start);
  if (!fd) {
    report_refused_log(fd.error());
    return false;
  }
  const bool written = write_all(*fd, text) == 0;
  const bool closed = ::close(*fd) == 0;
  return written && closed;
}

}  // namespace tools
