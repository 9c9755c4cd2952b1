#include "orvo/runtime/file_access.h"

#include <sys/stat.h>

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

void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

bool is_regular(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

tools::Result<std::unique_ptr<PffArchive>> PffArchive::open(const std::string& path, bool report_errors) {
  // The header and directory are read whole (a directory is 36 bytes an
  // entry: the cap leaves room for far more files than an archive holds).
  constexpr std::size_t kMaxDirectoryBytes = std::size_t{64} << 20;
  std::FILE* f = is_regular(path) ? std::fopen(path.c_str(), "rb") : nullptr;
  if (f == nullptr) return tools::open_error(path, errno != 0 ? errno : EINVAL);
  std::unique_ptr<PffArchive> a(new PffArchive);
  a->path_ = path;
  a->report_errors_ = report_errors;
  a->file_ = f;
  const auto bad = [&](long offset, const std::string& what) { return tools::data_error(path, offset, what, 3); };
  if (std::fseek(f, 0, SEEK_END) != 0) return tools::read_error(path, errno);
  const long file_size = std::ftell(f);
  unsigned char header[kPffHeaderBytes];
  if (file_size < static_cast<long>(kPffHeaderBytes) || std::fseek(f, 0, SEEK_SET) != 0 ||
      std::fread(header, 1, sizeof header, f) != sizeof header) {
    return bad(0, "not a PFF archive: no 16-byte header");
  }
  if (std::memcmp(header, kMagic, 4) != 0) return bad(0, "not a PFF archive (no \"PFF1\")");
  if (u32_at(header + 4) != kVersion)
    return bad(4, "archive version " + std::to_string(u32_at(header + 4)) + " is not 1");
  const uint64_t count = u32_at(header + 8), dir = u32_at(header + 12);
  if (count * kPffEntryBytes > kMaxDirectoryBytes || dir + count * kPffEntryBytes > static_cast<uint64_t>(file_size)) {
    return bad(8, std::to_string(count) + " entries at byte " + std::to_string(dir) + " do not fit the archive");
  }
  std::vector<unsigned char> bytes(count * kPffEntryBytes);
  if (std::fseek(f, static_cast<long>(dir), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    return tools::read_error(path, errno);
  }
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
    // A name the look-up could never produce (empty, lower case, ending in
    // a blank) would be an entry no one can open.
    if (entry.name.empty() || pff_lookup_name(entry.name, false) != entry.name)
      return bad(at + 16,
                 "entry " + std::to_string(i) + ": the name \"" + entry.name + "\" is not an upper-case file name");
    if (uint64_t{entry.offset} + entry.size > static_cast<uint64_t>(file_size))
      return bad(at + 4, "entry " + entry.name + ": its data lie past the end of the archive");
    if (!a->entries_.empty() && !(a->entries_.back().name < entry.name))
      return bad(at + 16, "entry " + entry.name + ": the directory is not sorted by name");
    a->entries_.push_back(std::move(entry));
  }
  return a;
}

PffArchive::~PffArchive() {
  if (file_ != nullptr) std::fclose(file_);
}

int PffArchive::find(std::string_view name) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                                   [](const PffEntry& e, std::string_view n) { return e.name < n; });
  return it != entries_.end() && it->name == name ? static_cast<int>(it - entries_.begin()) : -1;
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
  if (std::fseek(file_, static_cast<long>(e.offset) + position_, SEEK_SET) != 0) return 0;
  const std::size_t got = std::fread(buffer, 1, count, file_);
  position_ += static_cast<long>(got);
  return got;
}

long PffArchive::seek(long offset, int origin) {
  if (current_ < 0) return -1;
  const PffEntry& e = entries_[static_cast<std::size_t>(current_)];
  const long base = origin == 0 ? 0 : origin == 1 ? position_ : static_cast<long>(e.size);
  if (origin < 0 || origin > 2 || base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

tools::Status pff_pack(const std::string& path, const std::vector<std::string>& files) {
  struct Item {
    std::string name;
    std::string data;
  };
  std::vector<Item> items;
  for (const std::string& file : files) {
    tools::Result<std::string> data = tools::read_file(file, std::size_t{1} << 31);
    if (!data) return data.error();
    const std::size_t slash = file.find_last_of('/');
    std::string name = tools::ascii_upper(slash == std::string::npos ? file : file.substr(slash + 1));
    if (name.empty() || name.size() >= kPffNameBytes) {
      return tools::Error{1,
                          file + ": the name \"" + name + "\" does not fit an archive entry (1 to 19 characters)",
                          {},
                          tools::ErrorKind::kBadArgument};
    }
    items.push_back({std::move(name), std::move(*data)});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
  for (std::size_t i = 1; i < items.size(); ++i)
    if (items[i].name == items[i - 1].name)
      return tools::Error{1, path + ": two files are named " + items[i].name, {}, tools::ErrorKind::kBadArgument};
  std::string out(kMagic, 4);
  put_u32(out, kVersion);
  put_u32(out, static_cast<uint32_t>(items.size()));
  put_u32(out, 0);  // the directory offset, set below
  std::vector<uint32_t> offsets;
  for (const Item& it : items) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    out += it.data;
    if (out.size() > 0xFFFFFFFFull)
      return tools::Error{1, path + ": the archive would exceed 4 GiB", {}, tools::ErrorKind::kTooLarge};
  }
  const uint32_t dir = static_cast<uint32_t>(out.size());
  for (int i = 0; i < 4; ++i) out[12 + static_cast<std::size_t>(i)] = static_cast<char>(dir >> (8 * i) & 0xFF);
  for (std::size_t i = 0; i < items.size(); ++i) {
    put_u32(out, 0);
    put_u32(out, offsets[i]);
    put_u32(out, static_cast<uint32_t>(items[i].data.size()));
    put_u32(out, 0);
    std::string name = items[i].name;
    name.resize(kPffNameBytes, '\0');
    out += name;
  }
  return tools::write_file_atomic(path, out);
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
