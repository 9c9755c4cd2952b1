#include "tools/base/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "tools/base/text.h"

namespace tools {

namespace {

std::string reason(int err) { return std::strerror(err); }

}  // namespace

Result<std::string> read_text_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{1, path + ": cannot open: " + reason(errno)};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return Error{1, path + ": cannot open: " + reason(err)};
  }
  // Read straight into the string; its size comes from the file's size, and
  // grows only for files that turn out longer (or are no regular files).
  std::string data;
  std::size_t size = 0;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.resize(static_cast<std::size_t>(st.st_size));
  for (;;) {
    char probe[4096];
    const bool full = size == data.size();
    char* dst = full ? probe : data.data() + size;
    const std::size_t room = full ? sizeof probe : data.size() - size;
    const ssize_t n = ::read(fd, dst, room);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return Error{1, path + ": cannot read: " + reason(err)};
    }
    if (full) {
      data.resize(size);
      data.append(probe, static_cast<std::size_t>(n));
      data.resize(data.size() + std::max<std::size_t>(data.size(), 1u << 16));
    }
    size += static_cast<std::size_t>(n);
  }
  data.resize(size);
  ::close(fd);
  return data;
}

Result<FileText> FileText::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{1, path + ": cannot open: " + reason(errno)};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (map != MAP_FAILED) {
      ::madvise(map, size, MADV_SEQUENTIAL);
      FileText text;
      text.map_ = static_cast<const char*>(map);
      text.size_ = size;
      return text;
    }
  } else {
    ::close(fd);
  }
  // Empty files, pipes, devices, or a mapping that failed: read them.
  Result<std::string> data = read_text_file(path);
  if (!data) return data.error();
  FileText text;
  text.copy_ = std::move(*data);
  return text;
}

FileText::FileText(FileText&& other) noexcept
    : map_(std::exchange(other.map_, nullptr)), size_(std::exchange(other.size_, 0)), copy_(std::move(other.copy_)) {}

FileText& FileText::operator=(FileText&& other) noexcept {
  if (this != &other) {
    if (map_ != nullptr) ::munmap(const_cast<char*>(map_), size_);
    map_ = std::exchange(other.map_, nullptr);
    size_ = std::exchange(other.size_, 0);
    copy_ = std::move(other.copy_);
  }
  return *this;
}

FileText::~FileText() {
  if (map_ != nullptr) ::munmap(const_cast<char*>(map_), size_);
}

Status check_text_encoding(std::string_view text, const std::string& display_name) {
  const auto starts = [&](std::string_view bom) { return text.substr(0, bom.size()) == bom; };
  if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
    return Error{-1, error_at(display_name, 1, "the file is UTF-32 text; save it as plain (ANSI or UTF-8) text")};
  }
  if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    return Error{-1, error_at(display_name, 1, "the file is UTF-16 text; save it as plain (ANSI or UTF-8) text")};
  }
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    const long line = 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
    return Error{static_cast<int>(-line), error_at(display_name, line, "the file holds NUL bytes (binary or UTF-16 data), not text")};
  }
  return {};
}

namespace {

// The process umask, read once before main: reading it means setting it,
// which would race with files that other threads create at the same moment.
const mode_t kProcessUmask = [] {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}();

}  // namespace

Status write_file_atomic(const std::string& path, std::string_view data, FileSync sync) {
  std::string dir = ".";
  const std::size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  std::string tmpl = (dir == "/" ? "" : dir) + "/.orvo-save-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return Error{1, path + ": cannot write: " + reason(errno)};
  const std::string tmp(name.data());
  auto fail = [&](int err) -> Status {
    ::close(fd);
    ::unlink(tmp.c_str());
    return Error{1, path + ": cannot write: " + reason(err)};
  };
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // Keep the permissions of a file being replaced; a new file gets the usual
  // mode under the process umask.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    ::fchmod(fd, 0666 & ~kProcessUmask);
  }
  if (sync == FileSync::kDurable && ::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return Error{1, path + ": cannot write: " + reason(err)};
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return Error{1, path + ": cannot write: " + reason(err)};
  }
  return {};
}

std::string bare_name(std::string_view path) {
  std::string_view name = file_part(path);
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace tools
