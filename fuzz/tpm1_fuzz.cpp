// Fuzz target: arbitrary bytes through the block mesh file reader. Besides
// the sanitizers, it checks what the strip conversion and the terrain file
// writer rely on: every index below its list's and the block's vertex count,
// index arrays of the size their counts say, memory in proportion to the
// input, errors that give the byte offset as data, and that whatever the
// reader takes is written back to a file of the same length that reads back
// to the same mesh.
#define FUZZ_TARGET_NAME "tpm1_fuzz"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "loamer/block_file.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace loamer;

void check_mesh(const PackedBlockMesh& m, std::size_t input_size) {
  std::size_t stored = m.offsets.size();
  for (int slot = 0; slot < kLodSlots; ++slot) {
    const LodList& l = m.lods[static_cast<std::size_t>(slot)];
    if (slot % 2 == 1) {
      FUZZ_CHECK(l.indices.empty() && l.count == 0, slot, l.indices.size());
      continue;
    }
    FUZZ_CHECK(l.kind == ListKind::kTriangleList || l.kind == ListKind::kStrip, slot, static_cast<int>(l.kind));
    const uint64_t n = l.kind == ListKind::kTriangleList ? uint64_t{l.count} * 3 : l.count;
    FUZZ_CHECK(l.indices.size() == n, l.indices.size(), n);
    for (uint16_t i : l.indices) FUZZ_CHECK(i < l.vertex_count && i < m.offsets.size(), i, l.vertex_count);
    stored += l.indices.size();
  }
  // Each vertex takes 4 bytes of the file, each index at least 2/3 of one.
  FUZZ_CHECK(stored <= input_size * 3 / 2 + 1, stored, input_size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const tools::Result<PackedBlockMesh> mesh = decode_block_mesh(bytes, "fuzz.tml");
  if (!mesh) {
    const int code = mesh.code();
    FUZZ_CHECK(code == kIoBadMagic || code == kIoTruncated || code == kIoBadData, code, 0);
    FUZZ_CHECK(mesh.error().message.rfind("fuzz.tml: ", 0) == 0, code, 0);
    // The place of the fault is data too: a byte of the file (or its end).
    const tools::FileLocation& where = mesh.error().where;
    FUZZ_CHECK(where.path == "fuzz.tml", code, 0);
    FUZZ_CHECK(where.offset >= 0 && static_cast<uint64_t>(where.offset) <= size, where.offset, size);
    FUZZ_CHECK((code == kIoTruncated) == (mesh.error().kind == tools::ErrorKind::kEndOfFile), code,
               static_cast<int>(mesh.error().kind));
    return 0;
  }
  check_mesh(*mesh, size);

  // Whatever the reader takes, the writer can store, in a file of the same
  // length (only ignored fields and padding may differ), and it reads back
  // to the same mesh.
  const tools::Result<std::string> again = encode_block_mesh(*mesh);
  FUZZ_CHECK(again.ok(), again.code(), 0);
  FUZZ_CHECK(again->size() == size, again->size(), size);
  const tools::Result<PackedBlockMesh> back = decode_block_mesh(*again, "again.tml");
  FUZZ_CHECK(back.ok(), back.code(), 0);
  FUZZ_CHECK(*back == *mesh, back->offsets.size(), mesh->offsets.size());
  return 0;
}
