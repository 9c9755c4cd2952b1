#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/project.h"
#include "loamer/terrain_file.h"
#include "tools/test/scratch_dir.h"

namespace loamer {
namespace {

namespace fs = std::filesystem;

using TempDir = tools::test::ScratchDir;
using tools::test::slurp;

// ---------------------------------------------------------------------------
// An independent reader of the block file layout: every field where the
// format puts it, runs unscrambled with the key worked out byte by byte.

uint8_t unscramble_byte(uint8_t b, uint32_t key) {
  const int r = static_cast<int>(key & 7);
  return static_cast<uint8_t>(((b >> r) | (b << ((8 - r) & 7))) & 0xFF);
}

std::vector<uint8_t> unscramble(const std::string& bytes, size_t from, size_t size) {
  std::vector<uint8_t> out;
  uint32_t key = 0x3C96E7D1u;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(unscramble_byte(static_cast<uint8_t>(bytes.at(from + i)), key));
    key = (key << 1) | (key >> 31);
  }
  return out;
}

uint32_t le(const std::string& b, size_t at, int size) {
  uint32_t v = 0;
  for (int k = 0; k < size; ++k) v |= uint32_t{static_cast<uint8_t>(b.at(at + k))} << (8 * k);
  return v;
}

struct RawList {
  uint32_t reserved, count, v, kind;
  size_t run_at;
  std::vector<uint8_t> run;  // unscrambled
};

struct RawFile {
  uint32_t ox, oz, n, zero;
  std::vector<uint8_t> offsets;
  std::vector<RawList> lists;
  size_t end;
};

RawFile parse_raw(const std::string& b) {
  RawFile f{};
  EXPECT_EQ(b.substr(0, 4), "TPM1");
  f.ox = le(b, 4, 2);
  f.oz = le(b, 6, 2);
  f.n = le(b, 8, 2);
  f.zero = le(b, 10, 2);
  f.offsets = unscramble(b, 12, f.n * 4);
  size_t at = 12 + f.n * 4;
  for (int i = 0; i < 8; ++i) {
    RawList l{le(b, at, 4), le(b, at + 4, 4), le(b, at + 8, 2), le(b, at + 10, 2), at + 12, {}};
    const size_t n = l.kind == 1 ? l.count * 3 : l.count;
    const size_t size = l.v <= 256 ? (n + 2) / 3 * 3 : l.v <= 1024 ? (n + 2) / 3 * 4 : n * 2;
    l.run = unscramble(b, at + 12, size);
    at += 12 + size;
    f.lists.push_back(std::move(l));
  }
  f.end = at;
  return f;
}

LodList strip_list(std::vector<uint16_t> idx, uint16_t v) {
  LodList l;
  l.count = static_cast<uint32_t>(idx.size());
  l.indices = std::move(idx);
  l.vertex_count = v;
  l.kind = ListKind::kStrip;
  return l;
}

LodList triangle_list(std::vector<uint16_t> idx, uint16_t v) {
  LodList l;
  l.count = static_cast<uint32_t>(idx.size() / 3);
  l.indices = std::move(idx);
  l.vertex_count = v;
  l.kind = ListKind::kTriangleList;
  return l;
}

// A mesh whose eight lists cover every packing, both kinds and the padding
// cases; odd slots are filled too, to see them dropped.
PackedBlockMesh sample_mesh() {
  PackedBlockMesh m;
  m.origin_x = 960;
  m.origin_z = 448;
  for (uint16_t i = 0; i < 1100; ++i)
    m.offsets.push_back({static_cast<uint16_t>(i % 65), static_cast<uint16_t>(i / 17)});
  m.lods[0] = strip_list({0, 255, 17, 3}, 256);                  // bytes, padded 4 -> 6
  m.lods[2] = strip_list({256, 1, 2, 100}, 257);                 // 10-bit, last word half empty
  m.lods[4] = triangle_list({1023, 1023, 1023, 5, 6, 7}, 1024);  // 10-bit, full words
  m.lods[6] = strip_list({1024, 7}, 1025);                       // u16
  m.lods[8] = triangle_list({}, 0);                              // empty
  m.lods[10] = triangle_list({9, 8, 7, 7, 8, 6}, 10);            // bytes, exact multiple of 3
  m.lods[12] = strip_list({1099, 0, 512, 3, 1098}, 1100);        // u16
  m.lods[14] = strip_list({9, 8, 7, 7, 8, 6}, 10);               // same run as slot 10
  m.lods[1] = triangle_list({0, 1, 2}, 3);
  m.lods[15] = strip_list({0, 1, 2}, 3);
  return m;
}

TEST(BlockFile, WriteThenReadGivesBackTheEvenSlotsAndEmptyOddOnes) {
  const PackedBlockMesh m = sample_mesh();
  TempDir dir;
  const std::string path = dir.file("S4_3c_1c.tml");
  ASSERT_TRUE(write_block_mesh(path, m).ok());
  EXPECT_EQ(dir.entries(), 1u);  // no temporary file left behind
  tools::Result<PackedBlockMesh> back = read_block_mesh(path);
  ASSERT_TRUE(back.ok()) << back.error().message;
  EXPECT_EQ(back->origin_x, 960);
  EXPECT_EQ(back->origin_z, 448);
  EXPECT_EQ(back->offsets, m.offsets);
  for (int slot = 0; slot < kLodSlots; ++slot) {
    SCOPED_TRACE(slot);
    if (slot % 2 == 0) {
      EXPECT_EQ(back->lods[slot], m.lods[slot]);
    } else {
      EXPECT_TRUE(back->lods[slot].indices.empty());
      EXPECT_EQ(back->lods[slot].count, 0u);
    }
  }
}

TEST(BlockFile, LayoutAndPackingByVertexCount) {
  const PackedBlockMesh m = sample_mesh();
  const tools::Result<std::string> bytes = encode_block_mesh(m);
  ASSERT_TRUE(bytes.ok()) << bytes.error().message;
  const RawFile f = parse_raw(*bytes);
  EXPECT_EQ(f.end, bytes->size());
  EXPECT_EQ(f.ox, 960u);
  EXPECT_EQ(f.oz, 448u);
  EXPECT_EQ(f.n, 1100u);
  EXPECT_EQ(f.zero, 0u);
  // Vertex 17 is (17, 1).
  EXPECT_EQ(f.offsets[17 * 4], 17);
  EXPECT_EQ(f.offsets[17 * 4 + 1], 0);
  EXPECT_EQ(f.offsets[17 * 4 + 2], 1);
  for (const RawList& l : f.lists) EXPECT_EQ(l.reserved, 0u);

  // V = 256: one byte each, padded with zeros to a multiple of 3.
  EXPECT_EQ(f.lists[0].count, 4u);
  EXPECT_EQ(f.lists[0].v, 256u);
  EXPECT_EQ(f.lists[0].kind, 2u);
  EXPECT_EQ(f.lists[0].run, (std::vector<uint8_t>{0, 255, 17, 3, 0, 0}));

  // V = 257: 10-bit fields at bits 0, 10 and 21; the last word's empty
  // fields stay zero.
  ASSERT_EQ(f.lists[1].run.size(), 8u);
  const auto word = [](const std::vector<uint8_t>& r, size_t w) {
    return uint32_t{r[w * 4]} | uint32_t{r[w * 4 + 1]} << 8 | uint32_t{r[w * 4 + 2]} << 16 |
           uint32_t{r[w * 4 + 3]} << 24;
  };
  EXPECT_EQ(word(f.lists[1].run, 0), 256u | 1u << 10 | 2u << 21);
  EXPECT_EQ(word(f.lists[1].run, 1), 100u);

  // V = 1024: still 10-bit; bits 20 and 31 stay clear even for 1023.
  EXPECT_EQ(f.lists[2].count, 2u);
  EXPECT_EQ(f.lists[2].kind, 1u);
  ASSERT_EQ(f.lists[2].run.size(), 8u);
  EXPECT_EQ(word(f.lists[2].run, 0), 0x3FFu | 0x3FFu << 10 | 0x3FFu << 21);
  EXPECT_EQ(word(f.lists[2].run, 0) & (1u << 20 | 1u << 31), 0u);
  EXPECT_EQ(word(f.lists[2].run, 1), 5u | 6u << 10 | 7u << 21);

  // V = 1025: plain u16.
  EXPECT_EQ(f.lists[3].run, (std::vector<uint8_t>{0x00, 0x04, 7, 0}));

  // An empty list has an empty run.
  EXPECT_EQ(f.lists[4].count, 0u);
  EXPECT_TRUE(f.lists[4].run.empty());

  // A multiple of 3 needs no padding.
  EXPECT_EQ(f.lists[5].run, (std::vector<uint8_t>{9, 8, 7, 7, 8, 6}));
  EXPECT_EQ(f.lists[6].run.size(), 10u);
}

TEST(BlockFile, EveryRunRestartsTheScrambleKey) {
  const tools::Result<std::string> bytes = encode_block_mesh(sample_mesh());
  ASSERT_TRUE(bytes.ok());
  const RawFile f = parse_raw(*bytes);
  // Slots 10 and 14 hold the same six index bytes at different places.
  const std::string a = bytes->substr(f.lists[5].run_at, 6);
  const std::string b = bytes->substr(f.lists[7].run_at, 6);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, std::string("\x09\x08\x07\x07\x08\x06", 6));  // and scrambled
  // The first byte of a run turns left by 1 (0x3C96E7D1 & 7), the second by
  // 2 (the key rotated once ends in ...a2), the third by 4.
  EXPECT_EQ(static_cast<uint8_t>(a[0]), 0x12);  // 9 rotated left by 1
  EXPECT_EQ(static_cast<uint8_t>(a[1]), 0x20);  // 8 rotated left by 2
  EXPECT_EQ(static_cast<uint8_t>(a[2]), 0x70);  // 7 rotated left by 4

  std::vector<uint8_t> run(70, 0x81);
  scramble_run(run);
  EXPECT_EQ(std::vector<uint8_t>(run.begin(), run.begin() + 32),
            std::vector<uint8_t>(run.begin() + 32, run.begin() + 64));
  scramble_run(run, true);
  EXPECT_EQ(run, std::vector<uint8_t>(70, 0x81));
}

TEST(BlockFile, EmptyMeshIsAValidFile) {
  PackedBlockMesh empty;  // sector 0's strip file: no vertices, eight empty lists
  const tools::Result<std::string> bytes = encode_block_mesh(empty);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes->size(), 12u + 8 * 12);
  const tools::Result<PackedBlockMesh> back = decode_block_mesh(*bytes, "S0_00_00.tms");
  ASSERT_TRUE(back.ok()) << back.error().message;
  EXPECT_EQ(*back, empty);
}

TEST(BlockFile, ReaderRefusesBrokenFiles) {
  const std::string good = *encode_block_mesh(sample_mesh());
  const auto decode = [](const std::string& b) { return decode_block_mesh(b, "dir/S2_10_20.tml"); };

  std::string bad = good;
  bad[3] = '2';
  tools::Result<PackedBlockMesh> r = decode(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoBadMagic);
  EXPECT_NE(r.error().message.find("dir/S2_10_20.tml"), std::string::npos);

  // Every shorter file fails, and none is taken as a mesh.
  for (size_t size = 0; size < good.size(); ++size) {
    r = decode(good.substr(0, size));
    ASSERT_FALSE(r.ok()) << size;
    EXPECT_EQ(r.code(), size < 4 ? kIoBadMagic : kIoTruncated) << size;
  }
  r = decode(good + '\0');
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoBadData);
  EXPECT_NE(r.error().message.find("byte " + std::to_string(good.size())), std::string::npos);
  EXPECT_EQ(r.error().where.offset, static_cast<int64_t>(good.size()));
  EXPECT_EQ(r.error().where.path, "dir/S2_10_20.tml");

  // A huge count is checked against the bytes left before anything is
  // allocated.
  const size_t first_list = 12 + 1100 * 4;
  bad = good;
  bad.replace(first_list + 4, 4, "\xff\xff\xff\xff", 4);
  r = decode(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoTruncated);

  bad = good;
  bad[first_list + 10] = 3;  // kind
  r = decode(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoBadData);
  EXPECT_NE(r.error().message.find("kind 3"), std::string::npos);

  // Index 255 of slot 0 is no longer below V once V says 200.
  bad = good;
  bad[first_list + 8] = static_cast<char>(200);
  bad[first_list + 9] = 0;
  r = decode(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoBadData);
  EXPECT_NE(r.error().message.find("index 255"), std::string::npos);

  // Nor are indices allowed past the file's vertices, whatever V says.
  PackedBlockMesh few;
  few.offsets.resize(3);
  few.lods[0] = strip_list({0, 1, 2}, 3);
  bad = *encode_block_mesh(few);
  bad[8] = 2;  // N = 2: the offsets run shrinks, so rebuild the rest by hand
  bad.erase(12 + 8, 4);
  r = decode(bad);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoBadData);

  r = read_block_mesh("/nonexistent/S4_00_00.tml");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.code(), kIoCannotOpen);
}

TEST(BlockFile, WriterRefusesMeshesTheFileCannotHold) {
  TempDir dir;
  const std::string path = dir.file("S1_00_00.tml");
  ASSERT_TRUE(write_block_mesh(path, sample_mesh()).ok());
  const std::string before = slurp(path);

  PackedBlockMesh m = sample_mesh();
  m.offsets.resize(65536);
  tools::Status s = write_block_mesh(path, m);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), kIoDoesNotFit);
  EXPECT_NE(s.error().message.find(path), std::string::npos);

  m = sample_mesh();
  m.lods[0].indices[1] = 256;  // V is 256
  EXPECT_EQ(write_block_mesh(path, m).code(), kIoDoesNotFit);

  m = sample_mesh();
  m.lods[12].vertex_count = 2000;
  m.lods[12].indices[0] = 1500;  // below V, not below the 1100 vertices
  EXPECT_EQ(write_block_mesh(path, m).code(), kIoDoesNotFit);

  m = sample_mesh();
  m.lods[4].count = 3;  // six indices are not three triangles
  EXPECT_EQ(write_block_mesh(path, m).code(), kIoDoesNotFit);

  m = sample_mesh();
  m.lods[8].kind = static_cast<ListKind>(0);
  EXPECT_EQ(write_block_mesh(path, m).code(), kIoDoesNotFit);

  // Odd slots are not stored, so they are not checked either.
  m = sample_mesh();
  m.lods[3].indices = {5000};
  EXPECT_TRUE(encode_block_mesh(m).ok());

  EXPECT_EQ(slurp(path), before);
  EXPECT_EQ(dir.entries(), 1u);
}

TEST(HeightFile, RowsOfLittleEndianValuesAndExactSize) {
  TempDir dir;
  const std::string path = dir.file("Output.dep");
  std::vector<uint16_t> heights(kHeightValues);
  for (size_t i = 0; i < heights.size(); ++i) heights[i] = static_cast<uint16_t>(i * 37 + (i >> 10));
  heights[1] = 0x1234;     // x = 1, z = 0
  heights[1024] = 0xABCD;  // x = 0, z = 1
  ASSERT_TRUE(write_height_file(path, heights).ok());

  const std::string raw = slurp(path);
  ASSERT_EQ(raw.size(), 2097152u);
  EXPECT_EQ(le(raw, 2, 2), 0x1234u);
  EXPECT_EQ(le(raw, 2048, 2), 0xABCDu);

  tools::Result<std::vector<uint16_t>> back = read_height_file(path);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back, heights);

  for (size_t size : {size_t{0}, size_t{2097151}, size_t{2097153}}) {
    std::string cut = raw;
    cut.resize(size, '\0');
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(cut.data(), static_cast<std::streamsize>(cut.size()));
    back = read_height_file(path);
    ASSERT_FALSE(back.ok()) << size;
    EXPECT_NE(back.error().message.find(path), std::string::npos);
  }
  EXPECT_EQ(read_height_file(dir.file("missing.dep")).code(), kIoCannotOpen);
  EXPECT_EQ(write_height_file(path, std::span<const uint16_t>(heights).first(1000)).code(), kIoBadArgument);
}

TEST(Naming, FileNamesAndSectorGeometry) {
  EXPECT_EQ(block_file_name("terrain/", 4, 960, 960, "tms"), "terrain/S4_3c_3c.tms");
  EXPECT_EQ(block_file_name("", 4, 0, 0, "tml"), "S4_00_00.tml");
  EXPECT_EQ(block_file_name("p\\", 1, 512, 0, "tml"), "p\\S1_20_00.tml");
  EXPECT_EQ(sector_file_name("terrain/", 2, "tms"), "terrain/S2.tms");
  EXPECT_EQ(height_file_name("terrain/"), "terrain/Output.dep");

  EXPECT_EQ(sector_count(1024, 64), 5);
  EXPECT_EQ(sector_count(1024, 1024), 1);
  EXPECT_EQ(sector_count(1024, 2048), 0);
  EXPECT_EQ(sector_count(1024, 48), 0);
  EXPECT_EQ(total_blocks(1024, 64), 341);
  EXPECT_EQ(block_size(0), 1024);
  EXPECT_EQ(block_size(4), 64);
  EXPECT_EQ(blocks_in_sector(4), 256);
  EXPECT_EQ(bit_length(0), 0);
  EXPECT_EQ(bit_length(1), 1);
  EXPECT_EQ(bit_length(3), 2);
  EXPECT_EQ(bit_length(64), 7);
  EXPECT_EQ(bit_length(1024), 11);
}

// Every reader of a build's files takes only regular files, and no more than
// a valid file of its kind can hold; the error names the file and the reason.
TEST(BoundedReads, NonRegularAndOversizedFilesAreRefusedWithTheReason) {
  TempDir dir;
  fs::create_directory(dir.path() / "folder");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir.path() / "zero");

  using Read = std::function<std::optional<tools::Error>(const std::string&)>;
  const auto error_of = [](const auto& result) -> std::optional<tools::Error> {
    if (result.ok()) return std::nullopt;
    return result.error();
  };
  struct Reader {
    const char* name;
    Read read;
    uint64_t limit;
    const char* too_large;  // what the message says of a file one byte over
  };
  const Reader readers[] = {
      {"block file", [&](const std::string& p) { return error_of(read_block_mesh(p)); }, kMaxBlockFileBytes,
       "more than such a file can hold"},
      {"height file", [&](const std::string& p) { return error_of(read_height_file(p)); }, kHeightFileBytes,
       "a height file is 2097152 bytes long, this one 2097153"},
      {"terrain file", [&](const std::string& p) { return error_of(summarize_terrain_file(p)); }, kMaxTerrainFileBytes,
       "more than such a file can hold"},
      {"project",
       [&](const std::string& p) {
         TerrainProject project;
         QuadrantLocks locks;
         return error_of(read_project(p, project, locks));
       },
       kMaxProjectFileBytes, "more than such a file can hold"},
  };
  struct Input {
    const char* file;
    const char* reason;
  };
  const Input inputs[] = {
      {"missing", "cannot open: No such file or directory"},
      {"folder", "cannot open: Is a directory"},
      {"fifo", "cannot open: not a regular file"},
      {"zero", "cannot open: not a regular file"},
  };
  const std::string over = dir.file("over");
  for (const Reader& reader : readers) {
    SCOPED_TRACE(reader.name);
    for (const Input& input : inputs) {
      const std::string path = dir.file(input.file);
      const std::optional<tools::Error> e = reader.read(path);
      ASSERT_TRUE(e) << input.file;
      EXPECT_EQ(e->message, path + ": " + input.reason);
      EXPECT_EQ(e->code, 1);
      EXPECT_EQ(e->kind, tools::ErrorKind::kCannotOpen);
      EXPECT_EQ(e->where.path, path);
    }
    // One byte more than the limit: refused without being read (the file is
    // sparse, so this costs nothing however large the limit).
    { std::ofstream(over, std::ios::trunc); }
    fs::resize_file(over, reader.limit + 1);
    const std::optional<tools::Error> e = reader.read(over);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message.rfind(over + ": ", 0), 0u) << e->message;
    EXPECT_NE(e->message.find(reader.too_large), std::string::npos) << e->message;
    EXPECT_EQ(e->kind, tools::ErrorKind::kTooLarge);
  }

  // At the limit a file is read, and judged by what it holds.
  fs::resize_file(over, kMaxBlockFileBytes);
  EXPECT_EQ(read_block_mesh(over).code(), kIoBadMagic);
  fs::resize_file(over, kMaxProjectFileBytes);
  TerrainProject project;
  QuadrantLocks locks;
  const tools::Status zeros = read_project(over, project, locks);
  ASSERT_FALSE(zeros.ok());
  EXPECT_EQ(zeros.error().kind, tools::ErrorKind::kParse);
  EXPECT_EQ(zeros.error().where.line, 1);
}

}  // namespace
}  // namespace loamer
