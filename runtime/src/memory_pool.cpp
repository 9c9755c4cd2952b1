#include "orvo/runtime/memory_pool.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <new>
#include <set>
#include <system_error>

#include "tools/base/atomic_write.h"

namespace orvo {

// The chunk header as it lies in the buffer: the owning pool, the neighbours
// in address order and in the chunk's list (as offsets from the buffer
// start), the payload size, the tag (kNone for a free chunk) and the id.
struct MemoryPool::Header {
  std::uint32_t pool;
  std::uint32_t prev_addr;
  std::uint32_t next_addr;
  std::uint32_t prev_list;
  std::uint32_t next_list;
  std::int32_t size;
  std::uint32_t tag;
  std::uint32_t id;
};

namespace {

constexpr std::size_t kBufferAlignment = 4096;
constexpr std::size_t kMaxNameLength = 31;
constexpr std::int64_t kMinSplitSurplus = kChunkHeaderSize + 1;

std::atomic<std::uint32_t> next_serial{0x600D'0000};

// Deletes the dump file the first time a pool with that file is set up in
// this run, so that the file only ever shows this run's failures.
void clear_dump_once(const std::filesystem::path& path) {
  static std::mutex mutex;
  static std::set<std::string> cleared;
  std::lock_guard lock(mutex);
  std::error_code ec;
  if (!cleared.insert(std::filesystem::absolute(path, ec).lexically_normal().string()).second) return;
  std::filesystem::remove(path, ec);
}

void add_line(std::string& out, const char* format, auto... args) {
  char line[512];
  int n = std::snprintf(line, sizeof line, format, args...);
  if (n > 0) out.append(line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
}

unsigned long address(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

MemoryPool::MemoryPool() : serial_(next_serial.fetch_add(1)) {
  static_assert(sizeof(Header) == kChunkHeaderSize);
}

MemoryPool::~MemoryPool() {
  reset();
}

void MemoryPool::reset() {
  if (buffer_ != nullptr) ::operator delete[](buffer_, std::align_val_t{kBufferAlignment});
  buffer_ = nullptr;
  size_ = 0;
  first_chunk_ = last_chunk_ = kNone;
  chunk_count_ = 0;
  used_ = free_ = List{};
  allocations_ = failures_ = peak_used_ = 0;
  tags_.clear();
  tag_ids_.clear();
}

bool MemoryPool::initialise(std::int64_t size, std::uint32_t master_id, std::string_view name,
                            const std::filesystem::path& dump_folder) {
  reset();
  master_id_ = master_id == 0 ? 1 : master_id;
  name_ = std::string(name.substr(0, kMaxNameLength));
  dump_folder_ = dump_folder;
  clear_dump_once(dump_path());
  if (size <= 0) return true;
  if (size > kMaxPoolSize) return false;
  buffer_ = static_cast<std::byte*>(
      ::operator new[](static_cast<std::size_t>(size), std::align_val_t{kBufferAlignment}, std::nothrow));
  if (buffer_ == nullptr) return false;
  size_ = size;
  if (size >= kChunkHeaderSize) {
    std::uint32_t c = make_chunk(0, size - kChunkHeaderSize, kNone);
    link_after(Which::kFree, kNone, c);
  }
  return true;
}

MemoryPool::Header& MemoryPool::at(std::uint32_t offset) const {
  return *std::launder(reinterpret_cast<Header*>(buffer_ + offset));
}

std::uint32_t MemoryPool::offset_of(const Header& h) const {
  return static_cast<std::uint32_t>(reinterpret_cast<const std::byte*>(&h) - buffer_);
}

// Writes a free chunk header at `offset` and puts it after `prev_addr` in
// address order.
std::uint32_t MemoryPool::make_chunk(std::uint32_t offset, std::int64_t payload, std::uint32_t prev_addr) {
  std::uint32_t next = prev_addr == kNone ? first_chunk_ : at(prev_addr).next_addr;
  new (buffer_ + offset) Header{serial_, prev_addr, next, kNone, kNone, static_cast<std::int32_t>(payload), kNone, 0};
  if (prev_addr == kNone) first_chunk_ = offset;
  else at(prev_addr).next_addr = offset;
  if (next == kNone) last_chunk_ = offset;
  else at(next).prev_addr = offset;
  ++chunk_count_;
  return offset;
}

void MemoryPool::unlink(Which w, std::uint32_t c) {
  List& l = list(w);
  Header& h = at(c);
  if (h.prev_list == kNone) l.first = h.next_list;
  else at(h.prev_list).next_list = h.next_list;
  if (h.next_list == kNone) l.last = h.prev_list;
  else at(h.next_list).prev_list = h.prev_list;
  h.prev_list = h.next_list = kNone;
  --l.count;
  l.bytes -= h.size;
}

// Links chunk `c` after `after` in list `w` (kNone: at the head).
void MemoryPool::link_after(Which w, std::uint32_t after, std::uint32_t c) {
  List& l = list(w);
  Header& h = at(c);
  h.prev_list = after;
  h.next_list = after == kNone ? l.first : at(after).next_list;
  if (after == kNone) l.first = c;
  else at(after).next_list = c;
  if (h.next_list == kNone) l.last = c;
  else at(h.next_list).prev_list = c;
  ++l.count;
  l.bytes += h.size;
}

std::uint32_t MemoryPool::tag_index(std::string_view tag) {
  auto found = tag_ids_.find(std::string(tag));
  if (found != tag_ids_.end()) return found->second;
  auto index = static_cast<std::uint32_t>(tags_.size());
  tags_.emplace_back(tag);
  tag_ids_.emplace(tags_.back(), index);
  return index;
}

std::string_view MemoryPool::tag_text(const Header& h) const {
  return h.tag < tags_.size() ? std::string_view(tags_[h.tag]) : std::string_view();
}

void* MemoryPool::try_allocate(std::int64_t size, std::string_view tag, std::optional<std::uint32_t> id) {
  size = std::max<std::int64_t>(size, 1);
  if (size > size_) return nullptr;
  const std::int64_t rounded = (size + kAllocationGranule - 1) / kAllocationGranule * kAllocationGranule;
  std::uint32_t c = free_.first;
  while (c != kNone && at(c).size < rounded) c = at(c).next_list;
  if (c == kNone) return nullptr;

  if (at(c).size - rounded >= kMinSplitSurplus) {
    const std::int64_t rest = at(c).size - rounded - kChunkHeaderSize;
    free_.bytes -= at(c).size - rounded;
    at(c).size = static_cast<std::int32_t>(rounded);
    auto offset = static_cast<std::uint32_t>(c + kChunkHeaderSize + rounded);
    std::uint32_t split = make_chunk(offset, rest, c);
    link_after(Which::kFree, c, split);
  }
  unlink(Which::kFree, c);
  link_after(Which::kUsed, used_.last, c);
  Header& h = at(c);
  h.tag = tag_index(tag);
  h.id = id.value_or(master_id_);
  ++allocations_;
  peak_used_ = std::max(peak_used_, used_.bytes);
  return buffer_ + c + kChunkHeaderSize;
}

void* MemoryPool::allocate(std::int64_t size, std::size_t alignment, std::string_view tag,
                           std::optional<std::uint32_t> id) {
  void* p = alignment <= kPayloadAlignment ? try_allocate(size, tag, id) : nullptr;
  if (p == nullptr) {
    ++failures_;
    append_dump(kFailureDumpPrefix);
  }
  return p;
}

std::optional<std::uint32_t> MemoryPool::chunk_of(const void* payload) const {
  auto p = static_cast<const std::byte*>(payload);
  if (buffer_ == nullptr || p < buffer_ + kChunkHeaderSize || p >= buffer_ + size_) return std::nullopt;
  auto offset = static_cast<std::uint64_t>(p - buffer_ - kChunkHeaderSize);
  if (offset % kPayloadAlignment != 0) return std::nullopt;
  auto c = static_cast<std::uint32_t>(offset);
  if (at(c).pool != serial_) return std::nullopt;
  return c;
}

// Merges the chunk that follows `c` in the free list into `c`.
void MemoryPool::absorb_next(std::uint32_t c) {
  std::uint32_t next = at(c).next_list;
  const std::int64_t absorbed = at(next).size;
  unlink(Which::kFree, next);
  Header& h = at(c);
  h.size = static_cast<std::int32_t>(h.size + absorbed + kChunkHeaderSize);
  free_.bytes += absorbed + kChunkHeaderSize;
  h.next_addr = at(next).next_addr;
  if (h.next_addr == kNone) last_chunk_ = c;
  else at(h.next_addr).prev_addr = c;
  at(next).pool = 0;
  --chunk_count_;
}

void MemoryPool::release(void* payload) {
  if (payload == nullptr) return;
  std::optional<std::uint32_t> found = chunk_of(payload);
  if (!found || at(*found).tag == kNone) return;
  std::uint32_t c = *found;
  unlink(Which::kUsed, c);
  at(c).tag = kNone;
  at(c).id = 0;
  std::uint32_t before = at(c).prev_addr;
  while (before != kNone && at(before).tag != kNone) before = at(before).prev_addr;
  link_after(Which::kFree, before, c);

  auto end_of = [this](std::uint32_t x) { return x + kChunkHeaderSize + at(x).size; };
  if (before != kNone && end_of(before) == c) {
    c = before;
    absorb_next(c);
  }
  std::uint32_t next = at(c).next_list;
  if (next != kNone && end_of(c) == next) absorb_next(c);
}

PoolStats MemoryPool::stats() const {
  PoolStats s;
  s.chunks_total = chunk_count_;
  s.chunks_used = used_.count;
  s.chunks_free = free_.count;
  s.bytes_total = size_;
  s.bytes_used = used_.bytes;
  s.bytes_free = free_.bytes;
  for (std::uint32_t c = free_.first; c != kNone; c = at(c).next_list)
    s.largest_free = std::max<std::int64_t>(s.largest_free, at(c).size);
  s.peak_used = peak_used_;
  s.allocations = allocations_;
  s.failures = failures_;
  return s;
}

std::vector<ChunkInfo> MemoryPool::chunks() const {
  std::vector<ChunkInfo> out;
  for (std::uint32_t c = first_chunk_; c != kNone; c = at(c).next_addr) {
    const Header& h = at(c);
    out.push_back({&h, buffer_ + c + kChunkHeaderSize, h.size, h.tag != kNone, tag_text(h), h.id});
  }
  return out;
}

std::string MemoryPool::dump(std::string_view prefix_text) const {
  const std::string prefix_string(prefix_text);
  const char* p = prefix_string.c_str();
  const std::string hashes(68, '#');
  std::string out = "\n";
  add_line(out, "%s%s\n", p, hashes.c_str());
  add_line(out, "%s# \n", p);
  add_line(out, "%s# fastmemmanager :  $%8.8lx\n", p, address(this));
  add_line(out, "%s# Buffer:        :  $%8.8lx\n", p, address(buffer_));
  add_line(out, "%s# Master ID      :  %ld\n", p, static_cast<long>(master_id_));
  add_line(out, "%s# chunks (total) :  %ld\n", p, static_cast<long>(chunk_count_));
  add_line(out, "%s# chunks (used)  :  %ld\n", p, static_cast<long>(used_.count));
  add_line(out, "%s# chunks (free)  :  %ld\n", p, static_cast<long>(free_.count));
  add_line(out, "%s# bytes (total)  :  %ld\n", p, static_cast<long>(size_));
  add_line(out, "%s# bytes (used)   :  %ld\n", p, static_cast<long>(used_.bytes));
  add_line(out, "%s# bytes (free)   :  %ld\n", p, static_cast<long>(free_.bytes));
  add_line(out, "%s#\n", p);
  add_line(out, "%s#\n", p);

  auto box = [&](const char* title) {
    add_line(out, "%s# +-----------+\n", p);
    add_line(out, "%s# | %-9s |\n", p, title);
    add_line(out, "%s# +-----------+\n", p);
  };
  // One chunk's line; false for a corrupt size, which ends the list.
  auto chunk_line = [&](std::uint32_t c) {
    const Header& h = at(c);
    if (h.size < 0) {
      add_line(out, "%sERROR!\n", p);
      return false;
    }
    const std::byte* payload = buffer_ + c + kChunkHeaderSize;
    const unsigned long first = address(&h), last = address(payload + h.size - 1), data = address(payload);
    if (h.tag == kNone) {
      add_line(out, "%s# FREE $%8.8lx-$%8.8lx : $%8.8lx : 32+%ld bytes\n", p, first, last, data,
               static_cast<long>(h.size));
    } else {
      const std::string tag(tag_text(h));
      add_line(out, "%s# USED $%8.8lx-$%8.8lx : $%8.8lx : 32+%ld bytes : id=$%8.8lx, \"%s\"\n", p, first, last, data,
               static_cast<long>(h.size), static_cast<unsigned long>(h.id), tag.c_str());
    }
    return true;
  };

  box("FREE");
  for (std::uint32_t c = free_.first; c != kNone && chunk_line(c); c = at(c).next_list) {
  }
  add_line(out, "%s#\n", p);
  box("USED");
  for (std::uint32_t c = used_.first; c != kNone && chunk_line(c); c = at(c).next_list) {
  }
  add_line(out, "%s#\n", p);
  box("TOTAL");
  for (std::uint32_t c = first_chunk_; c != kNone && chunk_line(c); c = at(c).next_addr) {
  }
  add_line(out, "%s#\n", p);
  add_line(out, "%s%s\n", p, hashes.c_str());
  out += "\n";
  return out;
}

bool MemoryPool::append_dump(std::string_view prefix) const {
  // Appended, never through a link planted under the dump's name.
  return tools::write_log_text(dump_path().string(), dump(prefix), false);
}

MemoryPool& main_pool() {
  static MemoryPool pool;
  return pool;
}

MemoryPool& second_pool() {
  static MemoryPool pool;
  return pool;
}

bool start_memory_pools(std::int64_t main_size, std::int64_t second_size, const std::filesystem::path& dump_folder) {
  auto or_default = [](std::int64_t s) { return s == 0 ? kDefaultPoolSize : s; };
  bool main_ok = main_pool().initialise(or_default(main_size), kPoolMasterId, kPoolDumpName, dump_folder);
  bool second_ok = second_pool().initialise(or_default(second_size), kPoolMasterId, kPoolDumpName, dump_folder);
  return main_ok && second_ok;
}

void* allocate_second(std::int64_t size, std::size_t alignment, std::string_view tag) {
  MemoryPool& pool = second_pool().is_set_up() ? second_pool() : main_pool();
  return pool.allocate(size, alignment, tag);
}

}  // namespace orvo
