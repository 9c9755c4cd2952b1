#include "orvo/runtime/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/base/atomic_write.h"
#include "tools/base/file_io.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

constexpr char kMagic[4] = {'P', 'F', 'F', '1'};
constexpr uint32_t kVersion = 1;

uint32_t u32_at(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Reads up to `count` bytes at `at`, going on after interrupted and partial
// reads: fewer than `count` only at the end of the file, -1 on an error.
ssize_t read_at(int fd, void* buffer, std::size_t count, uint64_t at) {
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + got, count - got, static_cast<off_t>(at + got));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

std::string quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

// "bytes A to B" of a span of data (B the last byte).
std::string bytes_text(uint64_t begin, uint64_t end) {
  return "bytes " + std::to_string(begin) + " to " + std::to_string(end - 1);
}

// Refuses data that two entries share, or that lie in the header or the
// directory: otherwise a small archive could unpack to any size, one span of
// bytes counted once per entry that names it. Sorting the spans by their
// start finds every overlap between neighbours in O(n log n).
tools::Status check_no_overlap(const std::string& path, const std::vector<PffEntry>& entries, uint64_t dir) {
  struct Span {
    uint64_t begin, end;
    int who;  // an entry's index, or kHeader, kDirectory
  };
  constexpr int kHeader = -1, kDirectory = -2;
  std::vector<Span> spans;
  spans.reserve(entries.size() + 2);
  spans.push_back({0, kPffHeaderBytes, kHeader});
  if (!entries.empty()) spans.push_back({dir, dir + entries.size() * kPffEntryBytes, kDirectory});
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PffEntry& e = entries[i];
    if (e.size > 0) spans.push_back({e.offset, uint64_t{e.offset} + e.size, static_cast<int>(i)});
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    if (a.begin != b.begin) return a.begin < b.begin;
    return a.end != b.end ? a.end > b.end : a.who < b.who;
  });
  const auto describe = [&](const Span& s) -> std::string {
    if (s.who == kHeader) return "the 16-byte header";
    if (s.who == kDirectory) return "the directory (" + bytes_text(s.begin, s.end) + ")";
    return "entry " + quoted(entries[static_cast<std::size_t>(s.who)].name) + " (" + bytes_text(s.begin, s.end) + ")";
  };
  // The span reaching furthest so far: any later span starting before its
  // end shares bytes with it.
  const Span* reach = &spans.front();
  for (std::size_t i = 1; i < spans.size(); ++i) {
    const Span& s = spans[i];
    if (s.begin < reach->end) {
      // Entries come first in the message: they are what is wrong.
      const bool swap = reach->who < 0 && s.who >= 0;
      const Span& a = swap ? s : *reach;
      const Span& b = swap ? *reach : s;
      return tools::data_error(path, static_cast<int64_t>(s.begin),
                               "the data of " + describe(a) + " overlap " + describe(b), 3);
    }
    if (s.end > reach->end) reach = &s;
  }
  return {};
}

}  // namespace

std::string pff_lookup_name(std::string_view name, bool strip_path) {
  if (strip_path) {
    const std::size_t cut = name.find_last_of("/\\:");
    if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  }
  std::string out = tools::ascii_upper(name);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string pff_name_problem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() >= kPffNameBytes) return "the name is longer than 19 bytes";
  if (name.find('\0') != std::string_view::npos) return "the name holds a NUL byte";
  if (tools::ascii_upper(name) != name) return "the name is not upper case";
  // The look-up drops trailing blanks from the name it is asked for, so it
  // could never find such an entry.
  if (name.back() == ' ') return "the name ends in a blank";
  return {};
}

tools::Result<std::unique_ptr<PffArchive>> PffArchive::open(const std::string& path, bool report_errors) {
  // The header and directory are read whole (a directory is 36 bytes an
  // entry: the cap leaves room for far more files than an archive holds).
  constexpr std::size_t kMaxDirectoryBytes = std::size_t{64} << 20;
  // O_NONBLOCK: a FIFO at the name is refused below instead of waiting for
  // a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return tools::open_error(path, errno);
  std::unique_ptr<PffArchive> a(new PffArchive);
  a->path_ = path;
  a->report_errors_ = report_errors;
  a->fd_ = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return tools::open_error(path, errno);
  if (!S_ISREG(st.st_mode)) return tools::open_error(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  const auto bad = [&](long offset, const std::string& what) { return tools::data_error(path, offset, what, 3); };
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);
  unsigned char header[kPffHeaderBytes];
  if (file_size < kPffHeaderBytes || read_at(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    return bad(0, "not a PFF archive: no 16-byte header");
  }
  if (std::memcmp(header, kMagic, 4) != 0) return bad(0, "not a PFF archive (no \"PFF1\")");
  if (u32_at(header + 4) != kVersion)
    return bad(4, "archive version " + std::to_string(u32_at(header + 4)) + " is not 1");
  const uint64_t count = u32_at(header + 8), dir = u32_at(header + 12);
  if (count * kPffEntryBytes > kMaxDirectoryBytes || dir + count * kPffEntryBytes > file_size) {
    return bad(8, std::to_string(count) + " entries at byte " + std::to_string(dir) + " do not fit the archive");
  }
  std::vector<unsigned char> bytes(count * kPffEntryBytes);
  const ssize_t got = read_at(fd, bytes.data(), bytes.size(), dir);
  if (got < 0) return tools::read_error(path, errno);
  if (static_cast<std::size_t>(got) != bytes.size()) return bad(static_cast<long>(dir), "the directory is cut short");
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* e = bytes.data() + i * kPffEntryBytes;
    const long at = static_cast<long>(dir + i * kPffEntryBytes);
    PffEntry entry;
    entry.offset = u32_at(e + 4);
    entry.size = u32_at(e + 8);
    const char* name = reinterpret_cast<const char*>(e + 16);
    const std::size_t len = strnlen(name, kPffNameBytes);
    if (len == kPffNameBytes) return bad(at + 16, "entry " + std::to_string(i) + ": its name has no end");
    entry.name.assign(name, len);
    // A name the look-up could never produce would be an entry no one can
    // open.
    if (const std::string problem = pff_name_problem(entry.name); !problem.empty())
      return bad(at + 16, "entry " + std::to_string(i) + ": " + quoted(entry.name) + ": " + problem);
    if (uint64_t{entry.offset} + entry.size > file_size)
      return bad(at + 4, "entry " + entry.name + ": its data lie past the end of the archive");
    if (!a->entries_.empty() && !(a->entries_.back().name < entry.name))
      return bad(at + 16, "entry " + entry.name + ": the directory is not sorted by name");
    a->entries_.push_back(std::move(entry));
  }
  if (tools::Status s = check_no_overlap(path, a->entries_, dir); !s) return s.error();
  return a;
}

PffArchive::~PffArchive() {
  if (fd_ >= 0) ::close(fd_);
}

int PffArchive::find(std::string_view name) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                                   [](const PffEntry& e, std::string_view n) { return e.name < n; });
  return it != entries_.end() && it->name == name ? static_cast<int>(it - entries_.begin()) : -1;
}

tools::Status PffArchive::stream(int entry, const std::function<tools::Status(std::string_view)>& sink,
                                 std::size_t chunk) const {
  const PffEntry& e = entries_.at(static_cast<std::size_t>(entry));
  const std::string what = path_ + ": entry " + quoted(e.name);
  std::string buffer(std::min<std::size_t>(std::max<std::size_t>(chunk, 1), e.size), '\0');
  for (uint64_t done = 0; done < e.size;) {
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), e.size - done));
    const ssize_t got = read_at(fd_, buffer.data(), want, e.offset + done);
    if (got < 0) {
      return tools::Error{1, what + ": cannot read: " + std::strerror(errno), tools::FileLocation{path_},
                          tools::ErrorKind::kCannotRead};
    }
    if (static_cast<std::size_t>(got) < want) {
      const uint64_t end = e.offset + done + static_cast<uint64_t>(got);
      return tools::Error{1,
                          what + ": the archive ends at byte " + std::to_string(end) + ", inside the entry's data (" +
                              bytes_text(e.offset, uint64_t{e.offset} + e.size) + ")",
                          tools::FileLocation{path_, 0, static_cast<int64_t>(end)}, tools::ErrorKind::kEndOfFile};
    }
    if (tools::Status s = sink(std::string_view(buffer.data(), want)); !s) return s;
    done += want;
  }
  return {};
}

void PffArchive::select(int entry) {
  current_ = entry;
  position_ = 0;
}

std::size_t PffArchive::read(void* buffer, std::size_t count) {
  if (current_ < 0) return 0;
  const PffEntry& e = entries_[static_cast<std::size_t>(current_)];
  if (position_ < 0 || position_ >= static_cast<long>(e.size)) return 0;
  count = std::min<std::size_t>(count, e.size - static_cast<std::size_t>(position_));
  const ssize_t got = read_at(fd_, buffer, count, uint64_t{e.offset} + static_cast<uint64_t>(position_));
  if (got <= 0) return 0;
  position_ += static_cast<long>(got);
  return static_cast<std::size_t>(got);
}

long PffArchive::seek(long offset, int origin) {
  if (current_ < 0) return -1;
  const PffEntry& e = entries_[static_cast<std::size_t>(current_)];
  const long base = origin == 0 ? 0 : origin == 1 ? position_ : static_cast<long>(e.size);
  if (origin < 0 || origin > 2 || base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

FileAccess::FileAccess(tools::UserNotifier* notifier) : notifier_(notifier) {}

FileAccess::~FileAccess() {
  close();
}

void FileAccess::set_main_archive(std::unique_ptr<PffArchive> archive) {
  main_ = std::move(archive);
}

void FileAccess::set_slot(int slot, std::unique_ptr<PffArchive> archive) {
  if (slot >= 0 && slot < kPffSlots) slots_[static_cast<std::size_t>(slot)] = std::move(archive);
}

void FileAccess::log_open(const char* what, std::string_view name) {
  if (!file_log) return;
  // The log is begun afresh at its first use in a run, never through a link
  // planted under its name.
  const bool start = !file_log_started_;
  file_log_started_ = true;
  tools::write_log_text(file_log_path, std::string(what) + std::string(name) + "\n", start);
}

bool FileAccess::open_loose(std::string_view name) {
  // Names in game data were made where case does not count.
  const std::optional<std::string> path = tools::find_file_any_case(name);
  std::FILE* f = path ? std::fopen(path->c_str(), "rb") : nullptr;
  if (f == nullptr) return false;
  loose_ = f;
  archive_ = nullptr;
  log_open("LOADED FILE: ", name);
  return true;
}

bool FileAccess::open_in(PffArchive* archive, std::string_view name) {
  if (archive == nullptr) return false;
  const int entry = archive->find(pff_lookup_name(name, strip_path));
  if (entry < 0) {
    if (archive->report_errors() && notifier_ != nullptr) {
      notifier_->message("Error reading " + std::string(name) + " in PFF file " + archive->path() + ".", "pffmgr");
    }
    return false;
  }
  archive->select(entry);
  archive_ = archive;
  log_open("PFF LOADED FILE: ", name);
  return true;
}

int FileAccess::open(std::string_view name) {
  close();
  const auto try_slots = [&]() -> int {
    if (!use_slots) return -1;
    for (int s = 0; s < kPffSlots; ++s)
      if (open_in(slots_[static_cast<std::size_t>(s)].get(), name)) return 3 + s;
    return -1;
  };
  int handle = -1;
  if (prefer_loose) {
    if (open_loose(name)) {
      handle = 1;
    } else if (open_in(main_.get(), name)) {
      handle = 2;
    } else {
      handle = try_slots();
    }
  } else if (main_ != nullptr) {
    handle = open_in(main_.get(), name) ? 2 : try_slots();
  } else if (use_slots) {
    handle = try_slots();
  } else {
    handle = open_loose(name) ? 1 : -1;
  }
  error_ = handle < 0;
  return handle;
}

std::size_t FileAccess::read(void* buffer, std::size_t count) {
  if (archive_ != nullptr) return archive_->read(buffer, count);
  return loose_ != nullptr ? std::fread(buffer, 1, count, loose_) : 0;
}

long FileAccess::seek(long offset, int origin) {
  if (archive_ != nullptr) return archive_->seek(offset, origin);
  if (loose_ == nullptr || origin < 0 || origin > 2) return -1;
  const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  if (std::fseek(loose_, offset, whence) != 0) return -1;
  return std::ftell(loose_);
}

long FileAccess::size(std::string_view name) {
  if (open(name) < 0) return -1;
  const long end = seek(0, 2);
  close();
  return end;
}

bool FileAccess::exists(std::string_view name) {
  const bool found = open(name) >= 0;
  close();
  return found;
}

void FileAccess::close() {
  if (loose_ != nullptr) std::fclose(loose_);
  loose_ = nullptr;
  archive_ = nullptr;
}

}  // namespace orvo
