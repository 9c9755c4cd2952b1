#pragma once
// The terrain file (".cpt", "CPT1"): the heights of Output.dep and the meshes
// of every block, bit-packed, in one file the game loads.
//
//   0        "CPT1"
//   4        grid size (u16), number of sectors written (u16), u32 0
//   12       terrain name (64), creator (64), user name (16), zero-padded
//   156      4 zero bytes
//   160      "DPTH", then the 2,097,152 bytes of Output.dep
//   2097316  "POLY", then the block records as one bit stream
//
// The bit stream stores each field least significant bit first from the
// current bit position on. A block record is, in order: align to 4 bytes;
// origin x (10 bits), origin z (10), vertex count N (16), coordinate width W
// (4, the bit length of the sector's block size), number of lists (7, always
// 8), shared flag (1), chunk length (8, always 48); N times dx and dz in W
// bits each; align to 4 bytes; then for each of the eight even LOD slots:
// align to a byte, index count n (16), vertex count V (15), strip flag (1),
// and the n indices in chunks of 48: width w (4), base b (12, the chunk's
// smallest index capped at 4095), each index minus b in w bits, where w is
// the bit length of (largest - b + 1). The file ends 5 bytes after the byte
// that holds the next bit position; every bit without a field is zero.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "loamer/naming.h"
#include "tools/base/result.h"

namespace loamer {

constexpr size_t kCptNameBytes = 64;
constexpr size_t kCptUserBytes = 16;
constexpr size_t kCptDepthOffset = 164;                      // after "DPTH"
constexpr size_t kCptPolyTagOffset = 2097316;                // "POLY"
constexpr size_t kCptRecordsOffset = kCptPolyTagOffset + 4;  // first block record
constexpr int kCptChunkLength = 48;
constexpr uint32_t kCptMaxBase = 4095;

// The longest terrain file of the standard sizes: the raw part, then one
// record for each of the 341 blocks with the most its fields can say (65535
// vertices of 11-bit coordinates; eight lists of 65535 indices, each chunk
// of 48 with its 16-bit header and indices of at most 15 bits), every
// alignment at its widest, and the 5 closing bytes. About 390 MB; the
// readers take no more.
namespace detail {
constexpr uint64_t kCptMaxListBits = 7 + 32 + (65535 + kCptChunkLength - 1) / kCptChunkLength * 16 + 65535ull * 15;
constexpr uint64_t kCptMaxRecordBits = 31 + 59 + 65535ull * 2 * 11 + 31 + 8 * kCptMaxListBits;
}  // namespace detail
constexpr uint64_t kMaxTerrainFileBytes = kCptRecordsOffset + (341 * detail::kCptMaxRecordBits + 7) / 8 + 5;

struct TerrainFileJob {
  std::string path;         // folder prefix of the block files and of Output.dep
  std::string extension;    // "tml" (first export) or "tms" (after strip conversion)
  std::string output_file;  // the .cpt written (replaced as a whole)
  int grid_size = kGridSize;
  int smallest_block = kSmallestBlockSize;
  std::string terrain_name;  // kept to 63 bytes
  std::string creator;       // kept to 63 bytes
  std::string user_name;     // kept to 15 bytes
  int jobs = 1;              // threads that read the block files
};

// Called with (blocks covered so far, total blocks) once before the first
// record and after every record written.
using TerrainProgress = std::function<void(long done, long total)>;

// Writes the terrain file of `job`. The heights are Output.dep of the job's
// folder as it is on disk; when it cannot be read or is not exactly
// 2,097,152 bytes long nothing is written and the error names it.
//
// Blocks are visited sector by sector (0 to the last), row by row within a
// sector. For each block the shared sector file is tried first, then the
// block's own file; sector 0 looks both up under the number of the last
// sector (so the whole-grid record repeats the mesh of the last sector's
// first block, as the game expects). A block with neither file readable has
// no record. A record from a shared file has the shared flag set, covers the
// whole sector and ends it. A block file whose mesh cannot be stored in a
// record (an origin of 1024 or more, an offset wider than W bits, more than
// 65535 indices or a vertex count above 32767 in a list) stops the export
// with kIoDoesNotFit naming the file, and nothing is written.
//
// The file is written through a temporary file renamed over the target.
tools::Status write_terrain_file(const TerrainFileJob& job, const TerrainProgress& progress = {});

// What a terrain file holds, for inspection tools.
struct TerrainRecordSummary {
  size_t byte_offset = 0;  // of the record's first byte
  int sector = 0;          // from the coordinate width
  uint16_t origin_x = 0;
  uint16_t origin_z = 0;
  uint32_t vertex_count = 0;
  bool shared = false;
  uint32_t lists = 0;
  uint64_t indices = 0;  // over all lists
};

struct TerrainFileSummary {
  uint64_t file_size = 0;
  uint16_t grid_size = 0;
  uint16_t sectors = 0;
  std::string terrain_name;
  std::string creator;
  std::string user_name;
  std::vector<long> records_per_sector;  // one entry per sector
  std::vector<TerrainRecordSummary> records;
};

// Reads a terrain file's header and walks its block records with every field
// bounds-checked. The records end where only zero bytes are left. Refuses a
// wrong magic or tag (kIoBadMagic), a file that ends inside a record
// (kIoTruncated), and a header or record field that cannot be (kIoBadData);
// errors name the file and the byte offset ("name: byte N: ...", and as
// their location). The file is read only when it is a regular file of at
// most kMaxTerrainFileBytes (kIoCannotOpen with the reason otherwise).
tools::Result<TerrainFileSummary> summarize_terrain_file(const std::string& path);
tools::Result<TerrainFileSummary> summarize_terrain_bytes(std::span<const uint8_t> bytes,
                                                          const std::string& name_for_errors);

}  // namespace loamer
