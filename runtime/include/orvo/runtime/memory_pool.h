// Fixed memory pools for long-lived model and graphics memory.
//
// A pool is one block of memory taken from the system when it is set up and
// carved into chunks. Every chunk starts with a 32-byte header inside the
// block, followed by its payload. Allocations are first fit over the free
// list, rounded up to multiples of 64 bytes, and carry a name tag ("GPM
// CModel", "model, vert", ...) and a numeric id so that a dump of the pool
// shows who holds what. When an allocation fails, the pool appends such a
// dump to its dump file ("_fastmem.txt") and the caller gets null.
//
// Threads: a pool has no lock. Only one thread at a time may call a pool
// (the model tool calls its pools from its one user-interface thread);
// callers that share a pool between threads must serialise the calls.
// The only process-wide state is the set of dump files already cleared in
// this run, which is guarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvo {

// Pool sizes of the model tool; a size of 0 given to start_memory_pools
// means kDefaultPoolSize.
inline constexpr std::int64_t kMainPoolSize = 26'214'400;
inline constexpr std::int64_t kSecondPoolSize = 5'242'880;
inline constexpr std::int64_t kDefaultPoolSize = 15'728'640;
inline constexpr std::uint32_t kPoolMasterId = 0x1000000;
inline constexpr std::string_view kPoolDumpName = "_fastmem.txt";

inline constexpr std::int64_t kChunkHeaderSize = 32;
inline constexpr std::int64_t kAllocationGranule = 64;
// Every payload is aligned to this many bytes (callers ask for 16 or 32).
inline constexpr std::size_t kPayloadAlignment = 32;
// The largest pool; chunk positions are kept as 32-bit offsets.
inline constexpr std::int64_t kMaxPoolSize = 0x7FFF'FFE0;
// The line prefix of the dump written on an allocation failure.
inline constexpr std::string_view kFailureDumpPrefix = "    ";

// Figures for the memory statistics dialog.
struct PoolStats {
  std::int64_t chunks_total = 0;
  std::int64_t chunks_used = 0;
  std::int64_t chunks_free = 0;
  std::int64_t bytes_total = 0;  // the buffer size
  std::int64_t bytes_used = 0;   // payloads of used chunks
  std::int64_t bytes_free = 0;   // payloads of free chunks
  std::int64_t largest_free = 0;
  std::int64_t peak_used = 0;  // the most bytes_used has been since set-up
  std::int64_t allocations = 0;
  std::int64_t failures = 0;
};

// One chunk as the statistics and dumps see it.
struct ChunkInfo {
  const void* header = nullptr;
  const void* payload = nullptr;
  std::int64_t size = 0;  // payload bytes
  bool used = false;
  std::string_view tag;  // empty for free chunks
  std::uint32_t id = 0;
};

class MemoryPool {
 public:
  MemoryPool();
  ~MemoryPool();
  MemoryPool(const MemoryPool&) = delete;
  MemoryPool& operator=(const MemoryPool&) = delete;

  // Sets the pool up afresh, dropping any earlier buffer (and with it every
  // allocation). The first set-up of a run with a given dump file deletes
  // that file. A negative size counts as 0, a master id of 0 as 1; the name
  // (the dump file's name) keeps at most 31 characters. Size 0 leaves the
  // pool empty: every allocation fails. Otherwise the buffer is taken from
  // the system, and false is returned (the pool stays empty) when that
  // fails or the size is above kMaxPoolSize. The dump file lies in
  // `dump_folder` (empty: the current directory).
  bool initialise(std::int64_t size, std::uint32_t master_id, std::string_view name,
                  const std::filesystem::path& dump_folder = {});

  // First-fit allocation of `size` bytes (below 1 counts as 1) rounded up to
  // a multiple of 64, with `tag` and `id` (none: the master id). A free chunk
  // that is larger by at least 33 bytes is split; a smaller surplus stays in
  // the allocation. Null when no free chunk is large enough.
  void* try_allocate(std::int64_t size, std::string_view tag = {}, std::optional<std::uint32_t> id = std::nullopt);

  // As try_allocate, but a failure appends a dump of the pool to the dump
  // file first. `alignment` (16 or 32 at the call sites) is always met; a
  // larger one fails.
  void* allocate(std::int64_t size, std::size_t alignment, std::string_view tag = {},
                 std::optional<std::uint32_t> id = std::nullopt);

  // Returns a chunk to the free list at its address position and merges it
  // with free neighbours. Null, chunks already free and pointers that are no
  // payload of this pool are ignored.
  void release(void* payload);

  // Whether the pool has a buffer with at least one chunk.
  bool is_set_up() const { return first_chunk_ != kNone; }
  std::int64_t size() const { return size_; }
  std::uint32_t master_id() const { return master_id_; }
  const std::string& name() const { return name_; }
  std::filesystem::path dump_path() const { return dump_folder_ / name_; }

  PoolStats stats() const;
  // Every chunk in address order.
  std::vector<ChunkInfo> chunks() const;

  // The full map of the pool as text, each line after `prefix`.
  std::string dump(std::string_view prefix = {}) const;
  // Appends dump(prefix) to the dump file; false when it cannot be written.
  bool append_dump(std::string_view prefix = kFailureDumpPrefix) const;

 private:
  static constexpr std::uint32_t kNone = 0xFFFF'FFFF;
  struct Header;
  struct List {
    std::uint32_t first = kNone;
    std::uint32_t last = kNone;
    std::int64_t count = 0;
    std::int64_t bytes = 0;
  };
  enum class Which { kFree, kUsed };

  void reset();
  Header& at(std::uint32_t offset) const;
  std::uint32_t offset_of(const Header& h) const;
  std::uint32_t make_chunk(std::uint32_t offset, std::int64_t payload, std::uint32_t prev_addr);
  std::uint32_t tag_index(std::string_view tag);
  std::string_view tag_text(const Header& h) const;
  List& list(Which w) { return w == Which::kFree ? free_ : used_; }
  void unlink(Which w, std::uint32_t c);
  void link_after(Which w, std::uint32_t after, std::uint32_t c);
  void absorb_next(std::uint32_t c);
  std::optional<std::uint32_t> chunk_of(const void* payload) const;

  std::byte* buffer_ = nullptr;
  std::int64_t size_ = 0;
  std::uint32_t master_id_ = 1;
  std::uint32_t serial_ = 0;  // marks the headers that belong to this pool
  std::string name_;
  std::filesystem::path dump_folder_;
  std::uint32_t first_chunk_ = kNone;
  std::uint32_t last_chunk_ = kNone;
  std::int64_t chunk_count_ = 0;
  List used_;
  List free_;
  std::int64_t allocations_ = 0;
  std::int64_t failures_ = 0;
  std::int64_t peak_used_ = 0;
  std::vector<std::string> tags_;
  std::unordered_map<std::string, std::uint32_t> tag_ids_;
};

// The model tool's two pools, one instance each for the whole process.
MemoryPool& main_pool();
MemoryPool& second_pool();

// Sets both up with master id kPoolMasterId and the dump file kPoolDumpName;
// a size of 0 means kDefaultPoolSize. False when either could not take its
// memory.
bool start_memory_pools(std::int64_t main_size = kMainPoolSize, std::int64_t second_size = kSecondPoolSize,
                        const std::filesystem::path& dump_folder = {});

// Allocation from the second pool when it is set up, else from the main pool.
void* allocate_second(std::int64_t size, std::size_t alignment, std::string_view tag = {});

}  // namespace orvo
