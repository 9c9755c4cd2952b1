#include "tools/base/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/base/text.h"

namespace tools {

namespace {

// Opens `path` for reading and checks that it is a regular file of at most
// `max_bytes`. O_NONBLOCK keeps the open of a FIFO from waiting for a writer;
// it changes nothing for regular files.
Result<int> open_regular(const std::string& path, std::size_t max_bytes, std::size_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return open_error(path, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return open_error(path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) return open_error(path, EISDIR);
    return Error{kCodeCannotOpen, path + ": cannot open: not a regular file", FileLocation{path},
                 ErrorKind::kCannotOpen};
  }
  if (static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
    ::close(fd);
    return Error{
        kCodeCannotOpen,
        path + ": the file is larger than " + std::to_string(max_bytes) + " bytes, more than such a file can hold",
        FileLocation{path}, ErrorKind::kTooLarge};
  }
  size = static_cast<std::size_t>(st.st_size);
  return fd;
}

}  // namespace

Result<std::string> read_file(const std::string& path, std::size_t max_bytes) {
  std::size_t size = 0;
  Result<int> opened = open_regular(path, max_bytes, size);
  if (!opened) return opened.error();
  const int fd = *opened;
  // Read straight into the string, sized from the file. A file that grows
  // while it is read is cut at its size then, plus one byte to tell.
  std::string data(size, '\0');
  std::size_t got = 0;
  for (;;) {
    char probe[1];
    const bool full = got == data.size();
    const ssize_t n = full ? ::read(fd, probe, 1) : ::read(fd, data.data() + got, data.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return read_error(path, err);
    }
    if (full) {
      ::close(fd);
      return Error{kCodeCannotOpen, path + ": cannot read: the file grew while it was read", FileLocation{path},
                   ErrorKind::kCannotRead};
    }
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  ::close(fd);
  return data;
}

namespace {

// Reads up to `count` bytes at `offset`; fewer only at the end of the file.
Result<std::string> read_at(int fd, const std::string& path, std::uint64_t offset, std::size_t count) {
  std::string out(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, out.data() + got, count - got, static_cast<off_t>(offset + got));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return read_error(path, errno);
    }
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

}  // namespace

Result<FileEnds> read_file_ends(const std::string& path, std::size_t head_bytes, std::size_t tail_bytes,
                                std::size_t max_bytes) {
  std::size_t size = 0;
  Result<int> opened = open_regular(path, max_bytes, size);
  if (!opened) return opened.error();
  const int fd = *opened;
  FileEnds ends;
  ends.size = size;
  Result<std::string> head = read_at(fd, path, 0, std::min(head_bytes, size));
  Result<std::string> tail =
      head ? read_at(fd, path, size - std::min(tail_bytes, size), std::min(tail_bytes, size)) : head;
  ::close(fd);
  if (!head) return head.error();
  if (!tail) return tail.error();
  ends.head = std::move(*head);
  ends.tail = std::move(*tail);
  return ends;
}

Result<FileText> FileText::open(const std::string& path, std::size_t max_bytes) {
  std::size_t size = 0;
  Result<int> opened = open_regular(path, max_bytes, size);
  if (!opened) return opened.error();
  const int fd = *opened;
  if (size > 0) {
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (map != MAP_FAILED) {
      ::close(fd);
      ::madvise(map, size, MADV_SEQUENTIAL);
      FileText text;
      text.map_ = static_cast<const char*>(map);
      text.size_ = size;
      return text;
    }
  }
  ::close(fd);
  // Empty files, or a mapping that failed: read them.
  Result<std::string> data = read_file(path, max_bytes);
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
    return parse_error(display_name, 1, "the file is UTF-32 text; save it as plain (ANSI or UTF-8) text");
  }
  if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    return parse_error(display_name, 1, "the file is UTF-16 text; save it as plain (ANSI or UTF-8) text");
  }
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    const long line =
        1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
    return parse_error(display_name, line, "the file holds NUL bytes (binary or UTF-16 data), not text");
  }
  return {};
}

void ignore_file_size_signal() {
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string bare_name(std::string_view path) {
  std::string_view name = file_part(path);
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::optional<std::string> find_file_any_case(std::string_view path_text) {
  namespace fs = std::filesystem;
  std::string path(path_text);
  std::replace(path.begin(), path.end(), '\\', '/');
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return path;

  const std::size_t cut = path.rfind('/');
  const std::string prefix = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string leaf = path.substr(prefix.size());
  if (leaf.empty()) return std::nullopt;
  fs::directory_iterator it(prefix.empty() ? fs::path(".") : fs::path(prefix), ec);
  std::optional<std::string> best;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (!iequals(entry, leaf) || (best && entry >= *best)) continue;
    std::error_code file_ec;
    if (fs::is_regular_file(prefix + entry, file_ec)) best = entry;
  }
  if (!best) return std::nullopt;
  return prefix + *best;
}

}  // namespace tools
