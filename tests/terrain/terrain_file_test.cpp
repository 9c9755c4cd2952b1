#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/terrain_file.h"
#include "tools/test/scratch_dir.h"

namespace loamer {
namespace {

namespace fs = std::filesystem;

using TempDir = tools::test::ScratchDir;
using tools::test::slurp;

LodList make_list(ListKind kind, std::vector<uint16_t> idx, uint16_t v) {
  LodList l;
  l.kind = kind;
  l.count = static_cast<uint32_t>(kind == ListKind::kStrip ? idx.size() : idx.size() / 3);
  l.indices = std::move(idx);
  l.vertex_count = v;
  return l;
}

PackedBlockMesh small_mesh(uint16_t ox, uint16_t oz, uint16_t span, uint16_t vertices) {
  PackedBlockMesh m;
  m.origin_x = ox;
  m.origin_z = oz;
  for (uint16_t i = 0; i < vertices; ++i) {
    m.offsets.push_back({static_cast<uint16_t>(i * 7 % (span + 1)), static_cast<uint16_t>(i == 1 ? span : i % 5)});
  }
  m.lods[0] = make_list(ListKind::kTriangleList, {0, 1, 2, 2, 1, 3}, vertices);
  m.lods[14] = make_list(ListKind::kStrip, {0, 1, 2}, 3);
  return m;
}

// ---------------------------------------------------------------------------
// An independent reader of the record stream: one bit at a time, least
// significant first, checking that every bit skipped by alignment is zero.

class Bits {
 public:
  Bits(const std::string& bytes, size_t byte) : b_(bytes), pos_(uint64_t{byte} * 8) {}
  uint32_t get(int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i, ++pos_) {
      const auto byte = static_cast<uint8_t>(b_.at(static_cast<size_t>(pos_ / 8)));
      v |= uint32_t{(byte >> (pos_ % 8)) & 1u} << i;
    }
    return v;
  }
  void align(int bytes) {
    while (pos_ % (8u * static_cast<unsigned>(bytes)) != 0) EXPECT_EQ(get(1), 0u) << "padding bit " << pos_;
  }
  size_t byte() const { return static_cast<size_t>(pos_ / 8); }

 private:
  const std::string& b_;
  uint64_t pos_;
};

struct Chunk {
  uint32_t width, base;
};

struct RecordList {
  uint32_t n, v, strip;
  std::vector<uint16_t> indices;
  std::vector<Chunk> chunks;
};

struct Record {
  size_t at;
  uint32_t ox, oz, n, width, lists, shared, chunk;
  std::vector<VertexOffset> offsets;
  std::vector<RecordList> list;
};

Record read_record(Bits& in) {
  Record r{};
  in.align(4);
  r.at = in.byte();
  r.ox = in.get(10);
  r.oz = in.get(10);
  r.n = in.get(16);
  r.width = in.get(4);
  r.lists = in.get(7);
  r.shared = in.get(1);
  r.chunk = in.get(8);
  for (uint32_t i = 0; i < r.n; ++i) {
    const auto dx = static_cast<uint16_t>(in.get(static_cast<int>(r.width)));
    const auto dz = static_cast<uint16_t>(in.get(static_cast<int>(r.width)));
    r.offsets.push_back({dx, dz});
  }
  in.align(4);
  for (uint32_t l = 0; l < r.lists; ++l) {
    in.align(1);
    RecordList list{};
    list.n = in.get(16);
    list.v = in.get(15);
    list.strip = in.get(1);
    for (uint32_t start = 0; start < list.n; start += r.chunk) {
      Chunk c{in.get(4), 0};
      c.base = in.get(12);
      for (uint32_t k = start; k < std::min(list.n, start + r.chunk); ++k) {
        list.indices.push_back(static_cast<uint16_t>(c.base + in.get(static_cast<int>(c.width))));
      }
      list.chunks.push_back(c);
    }
    r.list.push_back(std::move(list));
  }
  return r;
}

void expect_record(const Record& r, const PackedBlockMesh& m, uint32_t width, bool shared) {
  EXPECT_EQ(r.ox, m.origin_x);
  EXPECT_EQ(r.oz, m.origin_z);
  EXPECT_EQ(r.n, m.vertex_count());
  EXPECT_EQ(r.width, width);
  EXPECT_EQ(r.lists, 8u);
  EXPECT_EQ(r.shared, shared ? 1u : 0u);
  EXPECT_EQ(r.chunk, 48u);
  EXPECT_EQ(r.offsets, m.offsets);
  ASSERT_EQ(r.list.size(), 8u);
  for (size_t l = 0; l < 8; ++l) {
    const LodList& src = m.lods[l * 2];
    EXPECT_EQ(r.list[l].n, src.indices.size()) << l;
    EXPECT_EQ(r.list[l].v, src.vertex_count) << l;
    EXPECT_EQ(r.list[l].strip, src.kind == ListKind::kStrip ? 1u : 0u) << l;
    EXPECT_EQ(r.list[l].indices, src.indices) << l;
  }
}

// A project folder with a height file and hand-made strip files.
struct Fixture {
  TempDir dir;
  std::string depth;
  PackedBlockMesh corner, shared1, wide, far_corner;

  Fixture() {
    depth.resize(kHeightFileBytes);
    for (size_t i = 0; i < depth.size(); ++i) depth[i] = static_cast<char>(i * 131 + (i >> 11));
    tools::test::write_bytes(dir.file("Output.dep"), depth);

    corner = small_mesh(0, 0, 64, 6);
    shared1 = small_mesh(0, 0, 512, 9);
    far_corner = small_mesh(960, 960, 64, 4);
    // Indices from 5000 up: the base of their chunks is capped at 4095.
    wide = small_mesh(256, 0, 256, 5100);
    std::vector<uint16_t> high;
    for (uint16_t i = 5000; i <= 5060; ++i) high.push_back(i);
    wide.lods[2] = make_list(ListKind::kStrip, high, 5100);
    wide.lods[4] = make_list(ListKind::kTriangleList, {3, 8, 4, 5, 6, 7}, 9);

    put("S4_00_00.tms", corner);                     // sector 4's first block, and sector 0's record
    put("S0_00_00.tms", small_mesh(0, 0, 1024, 7));  // never looked at
    put("S1.tms", shared1);
    put("S1_20_00.tms", small_mesh(512, 0, 512, 5));  // hidden by the shared file
    put("S2_10_00.tms", wide);
    tools::test::write_bytes(dir.file("S3_00_00.tms"), "TPM0 not a block file");  // unreadable: no record
    put("S4_3c_3c.tms", far_corner);
    put("S4_00_04.tml", small_mesh(0, 64, 64, 5));  // the other extension
  }

  void put(const std::string& name, const PackedBlockMesh& m) const {
    const tools::Status s = write_block_mesh(dir.file(name), m);
    ASSERT_TRUE(s.ok()) << s.error().message;
  }

  TerrainFileJob job() const {
    TerrainFileJob j;
    j.path = dir.prefix();
    j.extension = "tms";
    j.output_file = dir.file("out.cpt");
    j.terrain_name = std::string(70, 'T');
    j.creator = "Brellwick";
    j.user_name = "abcdefghijklmn\xc3\xa9";  // 16 bytes, the last character two of them
    return j;
  }
};

TEST(TerrainFile, RecordsHeaderAndLength) {
  Fixture fx;
  std::vector<std::pair<long, long>> progress;
  const tools::Status s =
      write_terrain_file(fx.job(), [&](long done, long total) { progress.emplace_back(done, total); });
  ASSERT_TRUE(s.ok()) << s.error().message;
  const std::string cpt = slurp(fx.dir.file("out.cpt"));
  ASSERT_GT(cpt.size(), kCptRecordsOffset);

  // The raw part.
  EXPECT_EQ(cpt.substr(0, 4), "CPT1");
  EXPECT_EQ(cpt.substr(4, 8), std::string("\x00\x04\x05\x00\x00\x00\x00\x00", 8));  // 1024, 5, 0
  EXPECT_EQ(cpt.substr(12, 64), std::string(63, 'T') + '\0');
  EXPECT_EQ(cpt.substr(76, 64), "Brellwick" + std::string(55, '\0'));
  EXPECT_EQ(cpt.substr(140, 16), "abcdefghijklmn" + std::string(2, '\0'));  // not cut inside the é
  EXPECT_EQ(cpt.substr(160, 4), "DPTH");
  EXPECT_TRUE(cpt.compare(164, kHeightFileBytes, fx.depth) == 0);
  EXPECT_EQ(cpt.substr(2097316, 4), "POLY");

  Bits in(cpt, kCptRecordsOffset);
  const Record r0 = read_record(in);  // sector 0 takes the last sector's S4_00_00
  const Record r1 = read_record(in);  // sector 1: the shared file, once
  const Record r2 = read_record(in);  // sector 2: one block; sector 3: none
  const Record r3 = read_record(in);  // sector 4, row 0
  const Record r4 = read_record(in);  // sector 4, last row
  EXPECT_EQ(r0.at, kCptRecordsOffset);
  expect_record(r0, fx.corner, 11, false);
  expect_record(r1, fx.shared1, 10, true);
  expect_record(r2, fx.wide, 9, false);
  expect_record(r3, fx.corner, 7, false);
  expect_record(r4, fx.far_corner, 7, false);

  // Chunks of 48; a base above 4095 is capped and the width covers the rest.
  ASSERT_EQ(r2.list[1].chunks.size(), 2u);
  EXPECT_EQ(r2.list[1].chunks[0].base, 4095u);
  EXPECT_EQ(r2.list[1].chunks[0].width, 10u);  // bit length of 5047 - 4095 + 1
  EXPECT_EQ(r2.list[1].chunks[1].base, 4095u);
  EXPECT_EQ(r2.list[1].chunks[1].width, 10u);  // bit length of 5060 - 4095 + 1
  ASSERT_EQ(r2.list[2].chunks.size(), 1u);
  EXPECT_EQ(r2.list[2].chunks[0].base, 3u);
  EXPECT_EQ(r2.list[2].chunks[0].width, 3u);  // bit length of 8 - 3 + 1
  EXPECT_TRUE(r2.list[3].chunks.empty());

  // The file ends five bytes after the byte holding the next bit, all zero.
  const size_t p = in.byte();
  ASSERT_EQ(cpt.size(), p + 5);
  while (in.byte() < cpt.size()) ASSERT_EQ(in.get(1), 0u);

  // The shared record covers its sector's four blocks.
  EXPECT_EQ(progress, (std::vector<std::pair<long, long>>{{0, 341}, {1, 341}, {5, 341}, {6, 341}, {7, 341}, {8, 341}}));

  // The inspection reader sees the same records.
  const tools::Result<TerrainFileSummary> summary = summarize_terrain_file(fx.dir.file("out.cpt"));
  ASSERT_TRUE(summary.ok()) << summary.error().message;
  EXPECT_EQ(summary->grid_size, 1024);
  EXPECT_EQ(summary->sectors, 5);
  EXPECT_EQ(summary->terrain_name, std::string(63, 'T'));
  EXPECT_EQ(summary->creator, "Brellwick");
  EXPECT_EQ(summary->user_name, "abcdefghijklmn");
  EXPECT_EQ(summary->records_per_sector, (std::vector<long>{1, 1, 1, 0, 2}));
  ASSERT_EQ(summary->records.size(), 5u);
  EXPECT_TRUE(summary->records[1].shared);
  EXPECT_EQ(summary->records[2].byte_offset, r2.at);
  EXPECT_EQ(summary->records[4].origin_x, 960);
  EXPECT_EQ(summary->records[2].indices, 61u + 6u + 6u + 3u);
}

TEST(TerrainFile, NoRecordsGivesTheRawPartPlusFive) {
  TempDir dir;
  tools::test::write_bytes(dir.file("Output.dep"), std::string(kHeightFileBytes, '\x11'));
  TerrainFileJob job;
  job.path = dir.prefix();
  job.extension = "tml";
  job.output_file = dir.file("empty.cpt");
  ASSERT_TRUE(write_terrain_file(job).ok());
  const std::string cpt = slurp(job.output_file);
  EXPECT_EQ(cpt.size(), kCptRecordsOffset + 5);
  EXPECT_EQ(cpt.substr(kCptRecordsOffset), std::string(5, '\0'));
  const tools::Result<TerrainFileSummary> summary = summarize_terrain_file(job.output_file);
  ASSERT_TRUE(summary.ok());
  EXPECT_TRUE(summary->records.empty());
}

TEST(TerrainFile, BadHeightFileOrBlockStopsTheExportAndWritesNothing) {
  Fixture fx;
  TerrainFileJob job = fx.job();
  tools::test::write_bytes(job.output_file, "previous export");

  // Short height file.
  tools::test::write_bytes(fx.dir.file("Output.dep"), std::string(1000, '\0'));
  tools::Status s = write_terrain_file(job);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), kIoTruncated);
  EXPECT_NE(s.error().message.find(fx.dir.file("Output.dep")), std::string::npos);
  EXPECT_EQ(slurp(job.output_file), "previous export");

  // Missing height file.
  fs::remove(fx.dir.file("Output.dep"));
  s = write_terrain_file(job);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), kIoCannotOpen);
  EXPECT_NE(s.error().message.find("Output.dep"), std::string::npos);
  EXPECT_EQ(slurp(job.output_file), "previous export");

  // A block whose offsets do not fit its sector's coordinate width.
  tools::test::write_bytes(fx.dir.file("Output.dep"), fx.depth);
  PackedBlockMesh wide = small_mesh(960, 960, 64, 4);
  wide.offsets[2].dx = 128;  // 7 bits for blocks of 64
  fx.put("S4_3c_3c.tms", wide);
  s = write_terrain_file(job);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), kIoDoesNotFit);
  EXPECT_NE(s.error().message.find("S4_3c_3c.tms"), std::string::npos);
  EXPECT_EQ(slurp(job.output_file), "previous export");

  job.grid_size = 512;
  EXPECT_EQ(write_terrain_file(job).code(), kIoBadArgument);
}

TEST(TerrainFile, SummaryOfDamagedFilesIsAnErrorNotACrash) {
  Fixture fx;
  ASSERT_TRUE(write_terrain_file(fx.job()).ok());
  std::string cpt = slurp(fx.dir.file("out.cpt"));
  const auto summarize = [](const std::string& b, size_t size) {
    return summarize_terrain_bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(b.data()), size), "x.cpt");
  };
  ASSERT_TRUE(summarize(cpt, cpt.size()).ok());

  // Cut anywhere inside the records: an error, or (when the cut only drops
  // trailing zeros) fewer or the same records.
  for (size_t size = kCptRecordsOffset; size < cpt.size(); ++size) {
    const tools::Result<TerrainFileSummary> r = summarize(cpt, size);
    if (r.ok()) {
      EXPECT_LE(r->records.size(), 5u);
    } else {
      EXPECT_NE(r.error().message.find("x.cpt"), std::string::npos);
      EXPECT_LE(r.error().where.offset, static_cast<int64_t>(size)) << r.error().message;
    }
  }
  EXPECT_EQ(summarize(cpt, 100).code(), kIoTruncated);
  EXPECT_EQ(summarize(cpt, 100).error().where.offset, 100);
  EXPECT_EQ(summarize(cpt, 100).error().kind, tools::ErrorKind::kEndOfFile);
  std::string bad = cpt;
  bad[2] = 'X';
  EXPECT_EQ(summarize(bad, bad.size()).code(), kIoBadMagic);

  // Random damage to the record stream.
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::pair<size_t, char>> saved;
    for (int k = 0; k < 3; ++k) {
      const size_t at = kCptRecordsOffset + rng() % (cpt.size() - kCptRecordsOffset);
      saved.emplace_back(at, cpt[at]);
      cpt[at] = static_cast<char>(rng());
    }
    (void)summarize(cpt, cpt.size());
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) cpt[it->first] = it->second;
  }
}

}  // namespace
}  // namespace loamer
