#include "orvo/runtime/memory_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

using tools::test::ScratchDir;

// A pool of `size` bytes whose dump file lies in a scratch folder.
struct TestPool {
  explicit TestPool(std::int64_t size) { EXPECT_TRUE(pool.initialise(size, 0x1000000, "_fastmem.txt", dir.path())); }
  ScratchDir dir{"pool"};
  MemoryPool pool;
};

TEST(MemoryPool, RoundsRequestsToMultiplesOf64) {
  const struct { std::int64_t request, taken; } cases[] = {{-5, 64}, {0, 64}, {1, 64}, {64, 64}, {65, 128}, {200, 256}};
  for (const auto& c : cases) {
    TestPool t(4096);
    ASSERT_NE(t.pool.try_allocate(c.request, "x"), nullptr);
    EXPECT_EQ(t.pool.chunks().front().size, c.taken) << c.request;
  }
}

TEST(MemoryPool, SplitsOnlyWithASurplusOf33Bytes) {
  const struct {
    std::int64_t payload, used, free_chunks, free_payload;
  } cases[] = {{96, 96, 0, 0}, {97, 64, 1, 1}, {64, 64, 0, 0}};
  for (const auto& c : cases) {
    TestPool t(kChunkHeaderSize + c.payload);
    ASSERT_NE(t.pool.try_allocate(64, "x"), nullptr);
    const PoolStats s = t.pool.stats();
    EXPECT_EQ(s.bytes_used, c.used) << c.payload;
    EXPECT_EQ(s.chunks_free, c.free_chunks) << c.payload;
    EXPECT_EQ(s.bytes_free, c.free_payload) << c.payload;
  }
}

TEST(MemoryPool, FreeingThreeNeighboursInAnyOrderLeavesOneChunk) {
  std::array<int, 3> order{0, 1, 2};
  do {
    TestPool t(4 * kChunkHeaderSize + 64 + 128 + 64 + 64);
    void* p[3] = {t.pool.try_allocate(64), t.pool.try_allocate(100), t.pool.try_allocate(64)};
    ASSERT_NE(t.pool.try_allocate(64, "fence"), nullptr);
    for (int i : order) t.pool.release(p[i]);
    const std::vector<ChunkInfo> chunks = t.pool.chunks();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_FALSE(chunks[0].used);
    EXPECT_EQ(chunks[0].size, 64 + 128 + 64 + 64);
    EXPECT_EQ(t.pool.stats().chunks_free, 1);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(MemoryPool, IgnoresReleasesOfNullForeignAndFreeChunks) {
  TestPool t(1024);
  void* a = t.pool.try_allocate(64);
  int local = 0;
  const std::vector<void*> ignored = {nullptr, &local, static_cast<char*>(a) + 16};
  for (void* p : ignored) t.pool.release(p);
  EXPECT_EQ(t.pool.stats().chunks_used, 1);
  t.pool.release(a);
  t.pool.release(a);
  EXPECT_EQ(t.pool.stats().chunks_total, 1);
  EXPECT_EQ(t.pool.stats().bytes_free, 1024 - kChunkHeaderSize);
}

// The lines of each box of a dump, without the prefix.
std::vector<std::vector<std::string>> boxes(const std::string& dump) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("# | ")) out.emplace_back();
    else if (!out.empty() && (line.starts_with("# FREE $") || line.starts_with("# USED $"))) out.back().push_back(line);
  }
  return out;
}

TEST(MemoryPool, DumpShowsTagsIdsAndTheSameChunksInEveryView) {
  TestPool t(2048);
  void* a = t.pool.try_allocate(10, "GPM CModel", 7);
  ASSERT_NE(t.pool.try_allocate(300, "GPM VStream"), nullptr);
  ASSERT_NE(t.pool.try_allocate(1), nullptr);
  t.pool.release(a);
  const std::string dump = t.pool.dump();
  EXPECT_TRUE(dump.starts_with("\n" + std::string(68, '#') + "\n# \n# fastmemmanager :  $")) << dump;
  EXPECT_NE(dump.find("\n# Master ID      :  16777216\n# chunks (total) :  4\n# chunks (used)  :  2\n"),
            std::string::npos);
  EXPECT_NE(dump.find("\n# bytes (total)  :  2048\n"), std::string::npos);
  EXPECT_NE(dump.find(" : 32+320 bytes : id=$01000000, \"GPM VStream\"\n"), std::string::npos);
  EXPECT_NE(dump.find(" : 32+64 bytes : id=$01000000, \"\"\n"), std::string::npos);
  EXPECT_TRUE(dump.ends_with("#\n" + std::string(68, '#') + "\n\n"));

  const auto b = boxes(dump);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0].size(), 2u);
  EXPECT_EQ(b[1].size(), 2u);
  const std::set<std::string> both(b[0].begin(), b[0].end()), total(b[2].begin(), b[2].end());
  std::set<std::string> joined = both;
  joined.insert(b[1].begin(), b[1].end());
  EXPECT_EQ(joined, total);

  void* c = t.pool.try_allocate(10, "GPM RVerts", 0xABCDEF);
  EXPECT_EQ(c, a);
  EXPECT_NE(t.pool.dump("    ").find("    # USED $"), std::string::npos);
  EXPECT_NE(t.pool.dump().find(" : 32+64 bytes : id=$00abcdef, \"GPM RVerts\"\n"), std::string::npos);
}

TEST(MemoryPool, FailureAppendsTheDumpToTheFileClearedAtFirstSetUp) {
  ScratchDir dir("pool");
  const std::string path = dir.put("_fastmem.txt", "stale");
  MemoryPool pool;
  ASSERT_TRUE(pool.initialise(1024, 0, "_fastmem.txt", dir.path()));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(pool.master_id(), 1u);
  EXPECT_EQ(pool.try_allocate(2000), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(pool.allocate(2000, 16, "big"), nullptr);
  EXPECT_EQ(pool.allocate(2000, 16, "big"), nullptr);
  const std::string text = tools::test::slurp(path);
  EXPECT_TRUE(text.starts_with("\n    ####")) << text;
  EXPECT_EQ(text, pool.dump("    ") + pool.dump("    "));
  EXPECT_EQ(pool.stats().failures, 2);

  MemoryPool again;  // a later set-up in the same run keeps the file
  ASSERT_TRUE(again.initialise(0, 5, "_fastmem.txt", dir.path()));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(again.allocate(1, 16), nullptr);
}

TEST(MemoryPool, KeepsStatisticsAndTheHighWaterMark) {
  TestPool t(8192);
  void* a = t.pool.try_allocate(1000);
  void* b = t.pool.try_allocate(100);
  t.pool.release(a);
  ASSERT_NE(t.pool.try_allocate(64), nullptr);
  const PoolStats s = t.pool.stats();
  EXPECT_EQ(s.allocations, 3);
  EXPECT_EQ(s.chunks_used, 2);
  EXPECT_EQ(s.bytes_used, 128 + 64);
  EXPECT_EQ(s.peak_used, 1024 + 128);
  EXPECT_EQ(s.largest_free, 8192 - 3 * kChunkHeaderSize - 1024 - 128);
  EXPECT_EQ(s.bytes_free + s.bytes_used + kChunkHeaderSize * s.chunks_total, s.bytes_total);
  t.pool.release(b);
  EXPECT_EQ(t.pool.stats().peak_used, 1024 + 128);
}

TEST(MemoryPool, AlignsPayloadsFor16ByteCallers) {
  TestPool t(65536);
  for (std::int64_t size : {1, 17, 64, 65, 1000}) {
    auto p = reinterpret_cast<std::uintptr_t>(t.pool.allocate(size, 16, "a"));
    ASSERT_NE(p, 0u);
    EXPECT_EQ(p % kPayloadAlignment, 0u) << size;
  }
}

TEST(MemoryPool, StartsTheProgramPoolsWithDefaultSizes) {
  ScratchDir dir("pool");
  ASSERT_TRUE(start_memory_pools(0, kSecondPoolSize, dir.path()));
  EXPECT_EQ(main_pool().size(), kDefaultPoolSize);
  EXPECT_EQ(second_pool().master_id(), kPoolMasterId);
  void* p = allocate_second(10, 16, "GPM RModel");
  EXPECT_EQ(second_pool().chunks().front().payload, p);
  second_pool().release(p);
}

}  // namespace
}  // namespace orvo
