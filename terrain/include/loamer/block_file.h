#pragma once
// Block mesh files (".tml" triangle lists before strip conversion, ".tms"
// strips after it; both "TPM1"): one PackedBlockMesh, little-endian.
//
//   0   "TPM1"
//   4   origin x (u16), origin z (u16)
//   8   vertex count N (u16)
//   10  u16 0 (ignored on reading)
//   12  N vertex offsets (dx u16, dz u16), one scrambled run
//   then the even LOD slots 0, 2, ..., 14, each a 12-byte plain header
//        u32 reserved, u32 count m, u16 vertex count V, u16 kind
//   followed by its indices as one scrambled run: n = 3m (triangle list) or
//   n = m (strip) indices, packed by V:
//     V <= 256:   one byte per index, padded with zeros to a multiple of 3;
//     V <= 1024:  three 10-bit indices per u32 (bits 0-9, 10-19, 21-30);
//     otherwise:  one u16 per index.
//
// The reserved u32 of a list header has no meaning for readers; this writer
// stores 0 there. Scrambling rotates byte i of a run left by (key & 7) bits,
// the key starting at 0x3C96E7D1 at the first byte of every run and rotating
// left by one bit after each byte.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "loamer/packed_block_mesh.h"
#include "tools/base/result.h"

namespace loamer {

// Result codes of the terrain file readers and writers.
enum TerrainIoCode : int {
  kIoCannotOpen = 1,   // the file cannot be opened, read or written
  kIoTruncated = 2,    // the file ends inside a field or run
  kIoBadMagic = 3,     // not a file of the expected kind
  kIoBadData = 4,      // a field contradicts the rest of the file
  kIoDoesNotFit = 5,   // a record holds values the file's fields cannot hold
  kIoBadArgument = 6,  // the caller's request cannot be carried out
};

constexpr uint32_t kScrambleKey = 0x3C96E7D1u;

// The most a block file is read up to. The count of a list is 32 bits, so
// the layout itself sets no limit; the meshes are height fields, though: a
// block has at most 65535 vertices and fewer than twice as many triangles,
// which even as one-triangle strips (five indices each, two bytes an index)
// keep the file under 11 MB.
constexpr size_t kMaxBlockFileBytes = size_t{16} << 20;

// Scrambles (or, with `reverse`, unscrambles) one run in place; the key
// restarts at kScrambleKey at bytes[0].
void scramble_run(std::span<uint8_t> bytes, bool reverse = false);

// Checks that a mesh can be stored: at most 65535 vertices; every even slot
// of kind 1 or 2 with exactly 3 x count (list) or count (strip) indices,
// each below the slot's vertex count V and below the mesh's vertex count.
// Odd slots are not stored and not checked. Error code kIoDoesNotFit.
tools::Status check_block_mesh(const PackedBlockMesh& mesh);

// The file's bytes for `mesh`, or the error of check_block_mesh.
tools::Result<std::string> encode_block_mesh(const PackedBlockMesh& mesh);

// Reads a block mesh file held in memory. Fills the eight even slots and
// leaves the odd ones empty. Refuses a wrong magic (kIoBadMagic), a file
// that ends early (kIoTruncated), and a kind other than 1 or 2, an index not
// below V or N, or bytes after the last list (kIoBadData). Every size is
// checked against the bytes left before anything is allocated. Errors name
// `name_for_errors` and the byte offset, in the message ("name: byte N: ...")
// and as their location.
tools::Result<PackedBlockMesh> decode_block_mesh(std::span<const uint8_t> bytes, const std::string& name_for_errors);
tools::Result<PackedBlockMesh> decode_block_mesh(std::string_view bytes, const std::string& name_for_errors);

// Reads the file at `path`: kIoCannotOpen with the path and the reason when
// it is missing, unreadable, no regular file or larger than
// kMaxBlockFileBytes.
tools::Result<PackedBlockMesh> read_block_mesh(const std::string& path);

// The Output list line of a build that makes the block file `path` again
// because it did not read: "Regenerating <path>: <why>".
std::string regenerating_line(const std::string& path, const tools::Error& why);

// Writes `mesh` to `path` through a temporary file renamed over the target,
// so an interrupted write never leaves a truncated file. Refuses a mesh that
// does not fit the file (check_block_mesh) without touching the file.
tools::Status write_block_mesh(const std::string& path, const PackedBlockMesh& mesh);

}  // namespace loamer
