// Fuzz target: arbitrary bytes through the block mesh file reader. Besides
// the sanitizers, it checks what the strip conversion and the terrain file
// writer rely on: every index below its list's and the block's vertex count,
// index arrays of the size their counts say, memory in proportion to the
// input, and that whatever the reader takes is written back to a file of the
// same length that reads back to the same mesh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "loamer/block_file.h"

namespace {

using namespace loamer;

[[noreturn]] void broken(const char* what, long a, long b) {
  std::fprintf(stderr, "tpm1_fuzz: broken invariant: %s (%ld, %ld)\n", what, a, b);
  std::abort();
}

#define EXPECT(cond, a, b)                            \
  do {                                                \
    if (!(cond)) broken(#cond, (long)(a), (long)(b)); \
  } while (0)

void check_mesh(const PackedBlockMesh& m, std::size_t input_size) {
  std::size_t stored = m.offsets.size();
  for (int slot = 0; slot < kLodSlots; ++slot) {
    const LodList& l = m.lods[static_cast<std::size_t>(slot)];
    if (slot % 2 == 1) {
      EXPECT(l.indices.empty() && l.count == 0, slot, l.indices.size());
      continue;
    }
    EXPECT(l.kind == ListKind::kTriangleList || l.kind == ListKind::kStrip, slot, static_cast<int>(l.kind));
    const uint64_t n = l.kind == ListKind::kTriangleList ? uint64_t{l.count} * 3 : l.count;
    EXPECT(l.indices.size() == n, l.indices.size(), n);
    for (uint16_t i : l.indices) EXPECT(i < l.vertex_count && i < m.offsets.size(), i, l.vertex_count);
    stored += l.indices.size();
  }
  // Each vertex takes 4 bytes of the file, each index at least 2/3 of one.
  EXPECT(stored <= input_size * 3 / 2 + 1, stored, input_size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const tools::Result<PackedBlockMesh> mesh = decode_block_mesh(bytes, "fuzz.tml");
  if (!mesh) {
    const int code = mesh.code();
    EXPECT(code == kIoBadMagic || code == kIoTruncated || code == kIoBadData, code, 0);
    EXPECT(mesh.error().message.rfind("fuzz.tml: ", 0) == 0, code, 0);
    return 0;
  }
  check_mesh(*mesh, size);

  // Whatever the reader takes, the writer can store, in a file of the same
  // length (only ignored fields and padding may differ), and it reads back
  // to the same mesh.
  const tools::Result<std::string> again = encode_block_mesh(*mesh);
  EXPECT(again.ok(), again.code(), 0);
  EXPECT(again->size() == size, again->size(), size);
  const tools::Result<PackedBlockMesh> back = decode_block_mesh(*again, "again.tml");
  EXPECT(back.ok(), back.code(), 0);
  EXPECT(*back == *mesh, back->offsets.size(), mesh->offsets.size());
  return 0;
}
