#include "loamer/terrain_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <optional>

#include "io_errors.h"
#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/packed_block_mesh.h"
#include "tools/base/file_io.h"
#include "tools/base/parallel.h"

namespace loamer {

namespace {

constexpr std::string_view kMagic = "CPT1";
constexpr std::string_view kDepthTag = "DPTH";
constexpr std::string_view kPolyTag = "POLY";
constexpr int kListsPerRecord = kLodSlots / 2;
// Bytes after the byte that holds the final bit position.
constexpr size_t kTailBytes = 5;
// Bits of the fixed fields that open a record.
constexpr int kRecordHeaderBits = 10 + 10 + 16 + 4 + 7 + 1 + 8;

static_assert(kCptPolyTagOffset == kCptDepthOffset + kHeightFileBytes);

// Appends fields to a growing byte buffer, least significant bit first.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& bytes) : bytes_(bytes), bit_(uint64_t{bytes.size()} * 8) {}

  // The low `width` bits of `value` (width at most 32). Bits land in bytes
  // that are still zero, so each byte they touch is OR-ed once; the buffer
  // grows ahead in small zeroed steps (the caller reserves its capacity and
  // cuts it to the final length).
  void put(uint32_t value, int width) {
    if (width <= 0) return;
    const size_t byte = static_cast<size_t>(bit_ / 8);
    const int offset = static_cast<int>(bit_ % 8);
    if (bytes_.size() < byte + 8) bytes_.resize(byte + 8 + kGrowStep, 0);
    const uint64_t mask = width >= 32 ? 0xFFFFFFFFull : (uint64_t{1} << width) - 1;
    const uint64_t bits = (value & mask) << offset;
    const int touched = (offset + width + 7) / 8;
    for (int i = 0; i < touched; ++i) bytes_[byte + static_cast<size_t>(i)] |= static_cast<uint8_t>(bits >> (8 * i));
    bit_ += static_cast<uint64_t>(width);
  }

  void align_byte() { bit_ = (bit_ + 7) / 8 * 8; }
  void align4() { bit_ = (bit_ + 31) / 32 * 32; }

  // Byte that holds the next bit.
  size_t byte_position() const { return static_cast<size_t>(bit_ / 8); }

 private:
  static constexpr size_t kGrowStep = 64 * 1024;
  std::vector<uint8_t>& bytes_;
  uint64_t bit_;
};

void put_bytes(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

void put_u16_at(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

// `text` cut to at most `max` bytes without splitting a UTF-8 sequence,
// zero-padded to max + 1 bytes.
void put_name(std::vector<uint8_t>& out, std::string_view text, size_t max) {
  size_t keep = std::min(text.size(), max);
  if (keep < text.size()) {
    while (keep > 0 && (static_cast<uint8_t>(text[keep]) & 0xC0) == 0x80) --keep;
  }
  put_bytes(out, text.substr(0, keep));
  out.insert(out.end(), max + 1 - keep, 0);
}

// Why `mesh` cannot be stored as a record with coordinate width `width`, or
// empty when it can.
std::string record_misfit(const PackedBlockMesh& mesh, int width) {
  if (mesh.origin_x >= 1024 || mesh.origin_z >= 1024) {
    return "origin (" + std::to_string(mesh.origin_x) + ", " + std::to_string(mesh.origin_z) +
           ") does not fit the 10-bit origin of a terrain file record";
  }
  const uint32_t limit = 1u << width;
  for (size_t v = 0; v < mesh.offsets.size(); ++v) {
    const VertexOffset& o = mesh.offsets[v];
    if (o.dx >= limit || o.dz >= limit) {
      return "vertex " + std::to_string(v) + " at offset (" + std::to_string(o.dx) + ", " + std::to_string(o.dz) +
             ") does not fit the " + std::to_string(width) + "-bit coordinates of its sector";
    }
  }
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    if (list.indices.size() > 0xFFFF) {
      return "LOD slot " + std::to_string(slot) + " has " + std::to_string(list.indices.size()) +
             " indices, more than the 65535 of a terrain file record";
    }
    if (list.vertex_count > 0x7FFF) {
      return "LOD slot " + std::to_string(slot) + " has vertex count " + std::to_string(list.vertex_count) +
             ", more than the 32767 of a terrain file record";
    }
  }
  return {};
}

// One block record. The mesh comes from a block file reader, so its lists
// hold 3 x count or count indices, each below the list's vertex count; with
// record_misfit empty every field fits (V < 32768 keeps each chunk width
// within 15).
void put_record(BitWriter& out, const PackedBlockMesh& mesh, int width, bool shared) {
  out.align4();
  out.put(mesh.origin_x, 10);
  out.put(mesh.origin_z, 10);
  out.put(static_cast<uint32_t>(mesh.vertex_count()), 16);
  out.put(static_cast<uint32_t>(width), 4);
  out.put(kListsPerRecord, 7);
  out.put(shared ? 1 : 0, 1);
  out.put(kCptChunkLength, 8);
  for (const VertexOffset& o : mesh.offsets) {
    out.put(o.dx, width);
    out.put(o.dz, width);
  }
  out.align4();
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    const std::vector<uint16_t>& idx = list.indices;
    out.align_byte();
    out.put(static_cast<uint32_t>(idx.size()), 16);
    out.put(list.vertex_count, 15);
    out.put(list.kind == ListKind::kStrip ? 1 : 0, 1);
    for (size_t start = 0; start < idx.size(); start += kCptChunkLength) {
      const auto first = idx.begin() + static_cast<std::ptrdiff_t>(start);
      const auto last = idx.begin() + static_cast<std::ptrdiff_t>(std::min(idx.size(), start + kCptChunkLength));
      const auto [lo, hi] = std::minmax_element(first, last);
      const uint32_t base = std::min<uint32_t>(*lo, kCptMaxBase);
      const int w = bit_length(*hi - base + 1);
      out.put(static_cast<uint32_t>(w), 4);
      out.put(base, 12);
      for (auto it = first; it != last; ++it) out.put(*it - base, w);
    }
  }
}

tools::Status check_job(const TerrainFileJob& job) {
  const auto bad = [&](const std::string& what) { return detail::io_error(job.output_file, -1, what, kIoBadArgument); };
  if (job.grid_size != kGridSize) return bad("the grid size must be 1024, not " + std::to_string(job.grid_size));
  if (sector_count(job.grid_size, job.smallest_block) == 0 || job.smallest_block < 16) {
    return bad("the smallest block size must be a power of two from 16 to 1024, not " +
               std::to_string(job.smallest_block));
  }
  if (job.extension.empty()) return bad("no block file extension given");
  return {};
}

// Bounds-checked reader of the record bit stream.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint64_t bits_left() const { return bit_ >= total() ? 0 : total() - bit_; }
  size_t byte_position() const { return static_cast<size_t>(bit_ / 8); }
  void seek_byte(size_t byte) { bit_ = uint64_t{byte} * 8; }
  void align_byte() { bit_ = (bit_ + 7) / 8 * 8; }
  void align4() { bit_ = (bit_ + 31) / 32 * 32; }
  void skip(uint64_t bits) { bit_ += bits; }

  // The next `width` bits; call only with bits_left() >= width.
  uint32_t get(int width) {
    uint32_t value = 0;
    int done = 0;
    while (done < width) {
      const size_t byte = static_cast<size_t>(bit_ / 8);
      const int offset = static_cast<int>(bit_ % 8);
      const int take = std::min(8 - offset, width - done);
      value |= static_cast<uint32_t>((bytes_[byte] >> offset) & ((1u << take) - 1)) << done;
      done += take;
      bit_ += static_cast<uint64_t>(take);
    }
    return value;
  }

 private:
  uint64_t total() const { return uint64_t{bytes_.size()} * 8; }
  std::span<const uint8_t> bytes_;
  uint64_t bit_ = 0;
};

std::string text_field(std::span<const uint8_t> bytes, size_t at, size_t size) {
  const auto* p = reinterpret_cast<const char*>(bytes.data() + at);
  return std::string(p, strnlen(p, size));
}

}  // namespace

tools::Status write_terrain_file(const TerrainFileJob& job, const TerrainProgress& progress) {
  if (tools::Status checked = check_job(job); !checked) return checked;
  std::vector<uint8_t> bytes;
  {
    const std::string depth_name = height_file_name(job.path);
    tools::Result<std::string> depth = read_height_file_bytes(depth_name);
    if (!depth) {
      tools::Error e = depth.error();
      e.message += "; the terrain file " + job.output_file + " needs it and was not written";
      return e;
    }
    // Room for the records of a detailed map: pages are only touched as the
    // records fill them, and a larger file grows the buffer as usual.
    bytes.reserve(kCptRecordsOffset + (size_t{16} << 20));
    put_bytes(bytes, kMagic);
    bytes.insert(bytes.end(), 8, 0);  // grid size and sector count, filled in at the end; u32 0
    put_name(bytes, job.terrain_name, kCptNameBytes - 1);
    put_name(bytes, job.creator, kCptNameBytes - 1);
    put_name(bytes, job.user_name, kCptUserBytes - 1);
    bytes.insert(bytes.end(), 4, 0);  // 156: unused
    put_bytes(bytes, kDepthTag);
    put_bytes(bytes, *depth);
    put_bytes(bytes, kPolyTag);
    assert(bytes.size() == kCptRecordsOffset);
  }

  BitWriter out(bytes);
  const int sectors = sector_count(job.grid_size, job.smallest_block);
  const long total = total_blocks(job.grid_size, job.smallest_block);
  long done = 0;
  if (progress) progress(done, total);

  for (int sector = 0; sector < sectors; ++sector) {
    const int size = block_size(sector, job.grid_size);
    const int width = bit_length(static_cast<uint32_t>(size));
    // The whole-grid sector takes its files from the names of the last one.
    const int named = sector == 0 ? sectors - 1 : sector;

    const auto add = [&](const PackedBlockMesh& mesh, const std::string& file, bool shared) -> tools::Status {
      if (std::string why = record_misfit(mesh, width); !why.empty()) {
        return detail::io_error(file, -1, why + "; the terrain file " + job.output_file + " was not written",
                                kIoDoesNotFit);
      }
      put_record(out, mesh, width, shared);
      done += shared ? blocks_in_sector(sector) : 1;
      if (progress) progress(done, total);
      return {};
    };

    // The shared file is the same for every block of the sector, so one
    // try settles it.
    const std::string shared_file = sector_file_name(job.path, named, job.extension);
    if (tools::Result<PackedBlockMesh> shared = read_block_mesh(shared_file); shared) {
      if (tools::Status added = add(*shared, shared_file, true); !added) return added;
      continue;
    }
    std::vector<std::string> files;
    for (int z = 0; z < job.grid_size; z += size) {
      for (int x = 0; x < job.grid_size; x += size) {
        files.push_back(
            block_file_name(job.path, named, static_cast<unsigned>(x), static_cast<unsigned>(z), job.extension));
      }
    }
    // Files are read and decoded in batches on the job's threads; records
    // are written in block order.
    constexpr size_t kBatch = 32;
    std::vector<std::optional<PackedBlockMesh>> meshes;
    for (size_t first = 0; first < files.size(); first += kBatch) {
      const size_t count = std::min(kBatch, files.size() - first);
      meshes.assign(count, std::nullopt);
      tools::parallel_for(count, job.jobs, [&](size_t i) {
        tools::Result<PackedBlockMesh> mesh = read_block_mesh(files[first + i]);
        if (mesh) meshes[i] = std::move(*mesh);  // absent or unreadable: the block has no record
      });
      for (size_t i = 0; i < count; ++i) {
        if (!meshes[i]) continue;
        if (tools::Status added = add(*meshes[i], files[first + i], false); !added) return added;
      }
    }
  }

  bytes.resize(out.byte_position() + kTailBytes, 0);
  put_u16_at(bytes, 4, static_cast<uint16_t>(job.grid_size));
  put_u16_at(bytes, 6, static_cast<uint16_t>(sectors));
  return tools::write_file_atomic(job.output_file,
                                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

tools::Result<TerrainFileSummary> summarize_terrain_bytes(std::span<const uint8_t> bytes,
                                                          const std::string& name_for_errors) {
  const auto fail = [&](int code, size_t at, const std::string& what) {
    return detail::io_error(name_for_errors, static_cast<int64_t>(at), what, code);
  };
  const auto tag_at = [&](size_t at, std::string_view tag) {
    return bytes.size() >= at + tag.size() && std::memcmp(bytes.data() + at, tag.data(), tag.size()) == 0;
  };
  if (!tag_at(0, kMagic)) return fail(kIoBadMagic, 0, "not a terrain file (no \"CPT1\" at the start)");
  if (bytes.size() < kCptRecordsOffset) {
    return fail(kIoTruncated, bytes.size(),
                "the file ends inside its fixed part of " + std::to_string(kCptRecordsOffset) + " bytes");
  }
  if (!tag_at(kCptDepthOffset - 4, kDepthTag)) return fail(kIoBadMagic, kCptDepthOffset - 4, "no \"DPTH\" tag");
  if (!tag_at(kCptPolyTagOffset, kPolyTag)) return fail(kIoBadMagic, kCptPolyTagOffset, "no \"POLY\" tag");

  TerrainFileSummary summary;
  summary.file_size = bytes.size();
  summary.grid_size = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
  summary.sectors = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
  summary.terrain_name = text_field(bytes, 12, kCptNameBytes);
  summary.creator = text_field(bytes, 12 + kCptNameBytes, kCptNameBytes);
  summary.user_name = text_field(bytes, 12 + 2 * kCptNameBytes, kCptUserBytes);
  const int grid_bits = bit_length(summary.grid_size);
  if (summary.grid_size == 0 || (summary.grid_size & (summary.grid_size - 1)) != 0) {
    return fail(kIoBadData, 4, "grid size " + std::to_string(summary.grid_size) + " is not a power of two");
  }
  if (summary.sectors > grid_bits) {
    return fail(kIoBadData, 6,
                std::to_string(summary.sectors) + " sectors are more than a grid of " +
                    std::to_string(summary.grid_size) + " can have");
  }
  summary.records_per_sector.assign(summary.sectors, 0);

  // Only zero bytes follow the last record.
  size_t end = bytes.size();
  while (end > kCptRecordsOffset && bytes[end - 1] == 0) --end;

  BitReader in(bytes);
  in.seek_byte(kCptRecordsOffset);
  for (;;) {
    in.align4();
    const size_t at = in.byte_position();
    if (at >= end) break;
    const auto truncated = [&](const std::string& what) {
      // Alignment can carry the position past the end; the fault is where
      // the file ends.
      return fail(kIoTruncated, std::min(in.byte_position(), bytes.size()),
                  "the file ends inside " + what + " of the record at " + std::to_string(at));
    };
    if (in.bits_left() < kRecordHeaderBits) return truncated("the header");
    TerrainRecordSummary record;
    record.byte_offset = at;
    record.origin_x = static_cast<uint16_t>(in.get(10));
    record.origin_z = static_cast<uint16_t>(in.get(10));
    record.vertex_count = in.get(16);
    const int width = static_cast<int>(in.get(4));
    record.lists = in.get(7);
    record.shared = in.get(1) != 0;
    const uint32_t chunk = in.get(8);
    record.sector = grid_bits - width;
    if (width == 0 || record.sector < 0 || record.sector >= summary.sectors) {
      return fail(kIoBadData, at, "coordinate width " + std::to_string(width) + " belongs to no sector");
    }
    if (chunk == 0) return fail(kIoBadData, at, "chunk length 0");
    const uint64_t vertex_bits = uint64_t{record.vertex_count} * 2 * static_cast<uint64_t>(width);
    if (in.bits_left() < vertex_bits) return truncated("the vertices");
    in.skip(vertex_bits);
    in.align4();
    for (uint32_t list = 0; list < record.lists; ++list) {
      in.align_byte();
      if (in.bits_left() < 32) return truncated("a list header");
      const uint32_t n = in.get(16);
      in.get(15);  // vertex count
      in.get(1);   // strip flag
      record.indices += n;
      for (uint32_t start = 0; start < n; start += chunk) {
        if (in.bits_left() < 16) return truncated("a chunk header");
        const uint32_t w = in.get(4);
        in.get(12);  // base
        const uint64_t chunk_bits = uint64_t{std::min(chunk, n - start)} * w;
        if (in.bits_left() < chunk_bits) return truncated("a chunk");
        in.skip(chunk_bits);
      }
    }
    summary.records_per_sector[static_cast<size_t>(record.sector)] += 1;
    summary.records.push_back(record);
  }
  return summary;
}

tools::Result<TerrainFileSummary> summarize_terrain_file(const std::string& path) {
  tools::Result<std::string> data = tools::read_file(path, kMaxTerrainFileBytes);
  if (!data) {
    tools::Error e = data.error();
    e.code = kIoCannotOpen;
    return e;
  }
  return summarize_terrain_bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data->data()), data->size()),
                                 path);
}

}  // namespace loamer
