#include "loamer/block_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "io_errors.h"
#include "tools/base/file_io.h"

namespace loamer {

namespace {

constexpr std::string_view kMagic = "TPM1";
constexpr size_t kFileHeaderBytes = 12;
constexpr size_t kListHeaderBytes = 12;
constexpr uint32_t kMaxVertices = 0xFFFF;

// The scramble key repeats every 32 bytes, so the rotation of byte i is
// kRotation[i % 32].
constexpr std::array<uint8_t, 32> make_rotations() {
  std::array<uint8_t, 32> r{};
  uint32_t key = kScrambleKey;
  for (auto& v : r) {
    v = static_cast<uint8_t>(key & 7);
    key = std::rotl(key, 1);
  }
  return r;
}
constexpr std::array<uint8_t, 32> kRotation = make_rotations();

uint64_t indices_of(uint32_t count, ListKind kind) {
  return kind == ListKind::kTriangleList ? uint64_t{count} * 3 : uint64_t{count};
}

// Bytes of the index run of n indices packed for vertex count v.
uint64_t run_bytes(uint64_t n, uint16_t v) {
  if (v <= 256) return (n + 2) / 3 * 3;
  if (v <= 1024) return (n + 2) / 3 * 4;
  return n * 2;
}

void put_u16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void put_u32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// Scrambles out[from, end) as one run.
void scramble_tail(std::string& out, size_t from) {
  auto* p = reinterpret_cast<uint8_t*>(out.data()) + from;
  scramble_run(std::span<uint8_t>(p, out.size() - from));
}

std::string slot_name(int slot) {
  return "LOD slot " + std::to_string(slot);
}

// Whether `index` can be in a list of vertex count `v` of a mesh of
// `vertices` vertices. Checked for every index of every block, so the message
// is built only when it cannot.
bool index_fits(uint16_t index, uint16_t v, size_t vertices) {
  return index < v && index < vertices;
}

// Why `index` cannot be in such a list (`index_fits` said no).
std::string bad_index(uint16_t index, uint16_t v, size_t vertices) {
  if (index >= v)
    return "index " + std::to_string(index) + " is not below the list's vertex count " + std::to_string(v);
  if (index >= vertices) {
    return "index " + std::to_string(index) + " is not below the block's vertex count " + std::to_string(vertices);
  }
  return {};
}

// Bounds-checked cursor over the file's bytes.
class Cursor {
 public:
  Cursor(std::span<const uint8_t> bytes, const std::string& name) : bytes_(bytes), name_(name) {}

  size_t offset() const { return pos_; }
  size_t left() const { return bytes_.size() - pos_; }

  tools::Error error(int code, size_t at, const std::string& what) const {
    return detail::io_error(name_, static_cast<int64_t>(at), what, code);
  }

  // Error when fewer than `count` bytes are left for `what`.
  std::optional<tools::Error> need(uint64_t count, const std::string& what) const {
    if (count <= left()) return std::nullopt;
    return error(kIoTruncated, pos_,
                 "the file ends inside " + what + " (" + std::to_string(count) + " bytes needed, " +
                     std::to_string(left()) + " left)");
  }

  uint16_t u16() {
    const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t{bytes_[pos_ + k]} << (8 * k);
    pos_ += 4;
    return v;
  }
  // The next `count` bytes, unscrambled as one run.
  std::vector<uint8_t> run(size_t count) {
    std::vector<uint8_t> out(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                             bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + count));
    scramble_run(out, true);
    pos_ += count;
    return out;
  }

 private:
  std::span<const uint8_t> bytes_;
  const std::string& name_;
  size_t pos_ = 0;
};

}  // namespace

void scramble_run(std::span<uint8_t> bytes, bool reverse) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int r = kRotation[i % 32];
    bytes[i] = reverse ? std::rotr(bytes[i], r) : std::rotl(bytes[i], r);
  }
}

tools::Status check_block_mesh(const PackedBlockMesh& mesh) {
  const size_t vertices = mesh.vertex_count();
  if (vertices > kMaxVertices) {
    return detail::io_error(std::to_string(vertices) + " vertices, more than the 65535 a block file holds",
                            kIoDoesNotFit);
  }
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    if (list.kind != ListKind::kTriangleList && list.kind != ListKind::kStrip) {
      return detail::io_error(slot_name(slot) + ": kind " + std::to_string(static_cast<int>(list.kind)) +
                                  " is neither 1 (triangle list) nor 2 (strip)",
                              kIoDoesNotFit);
    }
    const uint64_t n = indices_of(list.count, list.kind);
    if (list.indices.size() != n) {
      return detail::io_error(slot_name(slot) + ": count " + std::to_string(list.count) + " needs " +
                                  std::to_string(n) + " indices, the list holds " + std::to_string(list.indices.size()),
                              kIoDoesNotFit);
    }
    for (size_t k = 0; k < list.indices.size(); ++k) {
      if (!index_fits(list.indices[k], list.vertex_count, vertices)) {
        return detail::io_error(slot_name(slot) + ", position " + std::to_string(k) + ": " +
                                    bad_index(list.indices[k], list.vertex_count, vertices),
                                kIoDoesNotFit);
      }
    }
  }
  return {};
}

tools::Result<std::string> encode_block_mesh(const PackedBlockMesh& mesh) {
  if (tools::Status checked = check_block_mesh(mesh); !checked) return checked.error();

  std::string out;
  size_t size = kFileHeaderBytes + mesh.vertex_count() * 4;
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    size += kListHeaderBytes + run_bytes(list.indices.size(), list.vertex_count);
  }
  out.reserve(size);

  out.append(kMagic);
  put_u16(out, mesh.origin_x);
  put_u16(out, mesh.origin_z);
  put_u16(out, static_cast<uint16_t>(mesh.vertex_count()));
  put_u16(out, 0);
  const size_t offsets_at = out.size();
  for (const VertexOffset& o : mesh.offsets) {
    put_u16(out, o.dx);
    put_u16(out, o.dz);
  }
  scramble_tail(out, offsets_at);

  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    put_u32(out, 0);  // reserved; readers ignore it
    put_u32(out, list.count);
    put_u16(out, list.vertex_count);
    put_u16(out, static_cast<uint16_t>(list.kind));
    const size_t run_at = out.size();
    const std::vector<uint16_t>& idx = list.indices;
    const size_t n = idx.size();
    if (list.vertex_count <= 256) {
      for (uint16_t i : idx) out.push_back(static_cast<char>(i & 0xFF));
      out.append((3 - n % 3) % 3, '\0');
    } else if (list.vertex_count <= 1024) {
      for (size_t k = 0; k < n; k += 3) {
        uint32_t word = idx[k] & 0x3FFu;
        if (k + 1 < n) word |= uint32_t{idx[k + 1] & 0x3FFu} << 10;
        if (k + 2 < n) word |= uint32_t{idx[k + 2] & 0x3FFu} << 21;
        put_u32(out, word);
      }
    } else {
      for (uint16_t i : idx) put_u16(out, i);
    }
    scramble_tail(out, run_at);
  }
  return out;
}

tools::Result<PackedBlockMesh> decode_block_mesh(std::span<const uint8_t> bytes, const std::string& name_for_errors) {
  Cursor in(bytes, name_for_errors);
  if (bytes.size() < kMagic.size() || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0) {
    return in.error(kIoBadMagic, 0, "not a block mesh file (no \"TPM1\" at the start)");
  }
  if (auto e = in.need(kFileHeaderBytes, "the file header")) return *e;
  in.u32();
  PackedBlockMesh mesh;
  mesh.origin_x = in.u16();
  mesh.origin_z = in.u16();
  const uint16_t vertices = in.u16();
  in.u16();

  if (auto e = in.need(uint64_t{vertices} * 4, "the vertex offsets of " + std::to_string(vertices) + " vertices")) {
    return *e;
  }
  {
    const std::vector<uint8_t> run = in.run(size_t{vertices} * 4);
    mesh.offsets.resize(vertices);
    for (size_t v = 0; v < vertices; ++v) {
      const uint8_t* p = run.data() + v * 4;
      mesh.offsets[v].dx = static_cast<uint16_t>(p[0] | (p[1] << 8));
      mesh.offsets[v].dz = static_cast<uint16_t>(p[2] | (p[3] << 8));
    }
  }

  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const size_t header_at = in.offset();
    if (auto e = in.need(kListHeaderBytes, "the header of " + slot_name(slot))) return *e;
    LodList& list = mesh.lods[static_cast<size_t>(slot)];
    in.u32();  // reserved
    list.count = in.u32();
    list.vertex_count = in.u16();
    const uint16_t kind = in.u16();
    if (kind != 1 && kind != 2) {
      return in.error(
          kIoBadData, header_at + 10,
          slot_name(slot) + ": kind " + std::to_string(kind) + " is neither 1 (triangle list) nor 2 (strip)");
    }
    list.kind = static_cast<ListKind>(kind);
    const uint64_t n = indices_of(list.count, list.kind);
    const uint64_t size = run_bytes(n, list.vertex_count);
    if (auto e = in.need(size, "the indices of " + slot_name(slot) + " (" + std::to_string(n) + " indices)")) return *e;

    const size_t run_at = in.offset();
    const std::vector<uint8_t> run = in.run(static_cast<size_t>(size));
    list.indices.resize(static_cast<size_t>(n));
    for (size_t k = 0; k < n; ++k) {
      uint16_t index = 0;
      size_t at = 0;  // byte of the run holding the index, for messages
      if (list.vertex_count <= 256) {
        at = k;
        index = run[k];
      } else if (list.vertex_count <= 1024) {
        at = k / 3 * 4;
        const uint8_t* p = run.data() + at;
        const uint32_t word = p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
        static constexpr int kShift[3] = {0, 10, 21};
        index = static_cast<uint16_t>((word >> kShift[k % 3]) & 0x3FF);
      } else {
        at = k * 2;
        index = static_cast<uint16_t>(run[at] | (run[at + 1] << 8));
      }
      if (!index_fits(index, list.vertex_count, vertices)) {
        return in.error(kIoBadData, run_at + at,
                        slot_name(slot) + ": " + bad_index(index, list.vertex_count, vertices));
      }
      list.indices[k] = index;
    }
  }
  if (in.left() != 0) {
    return in.error(kIoBadData, in.offset(),
                    std::to_string(in.left()) + " bytes after the last list; the file is not one block mesh");
  }
  return mesh;
}

tools::Result<PackedBlockMesh> decode_block_mesh(std::string_view bytes, const std::string& name_for_errors) {
  return decode_block_mesh(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                           name_for_errors);
}

tools::Result<PackedBlockMesh> read_block_mesh(const std::string& path) {
  tools::Result<std::string> data = tools::read_file(path, kMaxBlockFileBytes);
  if (!data) {
    tools::Error e = data.error();
    e.code = kIoCannotOpen;
    return e;
  }
  return decode_block_mesh(std::string_view(*data), path);
}

std::string regenerating_line(const std::string& path, const tools::Error& why) {
  std::string_view reason = why.message;
  if (reason.starts_with(path) && reason.substr(path.size()).starts_with(": ")) reason.remove_prefix(path.size() + 2);
  return "Regenerating " + path + ": " + std::string(reason);
}

tools::Status write_block_mesh(const std::string& path, const PackedBlockMesh& mesh) {
  tools::Result<std::string> bytes = encode_block_mesh(mesh);
  if (!bytes) {
    tools::Error e = bytes.error();
    e.message = path + ": " + e.message;
    e.where.path = path;
    return e;
  }
  // Block files are a cache of the build: the reader refuses an incomplete
  // one and the build then regenerates it, so no flush to the disk is waited for.
  return tools::write_file_atomic(path, *bytes, tools::FileSync::kCache);
}

}  // namespace loamer
