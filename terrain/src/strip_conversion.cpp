#include "loamer/strip_conversion.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "loamer/block_file.h"
#include "tools/mesh/stripify.h"

namespace loamer {

namespace {

tools::Status check_input(const PackedBlockMesh& mesh) {
  const size_t vertices = mesh.vertex_count();
  const auto bad = [](int slot, const std::string& what) {
    return tools::Error{kIoBadData, "LOD slot " + std::to_string(slot) + ": " + what};
  };
  if (vertices > 0xFFFF) {
    return tools::Error{kIoBadData, std::to_string(vertices) + " vertices, more than 16-bit indices can number"};
  }
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    const LodList& list = mesh.lods[static_cast<size_t>(slot)];
    uint64_t expected = list.count;
    if (list.kind == ListKind::kTriangleList) {
      expected *= 3;
    } else if (list.kind != ListKind::kStrip) {
      return bad(slot,
                 "kind " + std::to_string(static_cast<int>(list.kind)) + " is neither a triangle list nor a strip");
    }
    if (list.indices.size() != expected) {
      return bad(slot, "count " + std::to_string(list.count) + " needs " + std::to_string(expected) +
                           " indices, the list holds " + std::to_string(list.indices.size()));
    }
    for (uint16_t index : list.indices) {
      if (index >= vertices) {
        return bad(slot,
                   "index " + std::to_string(index) + " is not below the vertex count " + std::to_string(vertices));
      }
    }
  }
  return {};
}

}  // namespace

tools::Status convert_to_strips(PackedBlockMesh& mesh) {
  if (tools::Status checked = check_input(mesh); !checked) return checked;

  for (int slot = 0; slot < kLodSlots; slot += 2) {
    LodList& list = mesh.lods[static_cast<size_t>(slot)];
    if (list.kind == ListKind::kStrip) continue;
    list.indices =
        tools::mesh::stripify(std::span<const uint16_t>(list.indices), tools::mesh::StripifyOptions::terrain());
    list.count = static_cast<uint32_t>(list.indices.size());
    list.kind = ListKind::kStrip;
  }
  for (int slot = 1; slot < kLodSlots; slot += 2) mesh.lods[static_cast<size_t>(slot)] = LodList{};

  // First-use keys, coarsest list first.
  const size_t vertices = mesh.vertex_count();
  std::vector<long> key(vertices, -1);
  for (int slot = kLodSlots - 2; slot >= 0; slot -= 2) {
    const std::vector<uint16_t>& strip = mesh.lods[static_cast<size_t>(slot)].indices;
    for (size_t k = 0; k < strip.size(); ++k) {
      if (key[strip[k]] == -1) key[strip[k]] = static_cast<long>(k);
    }
  }
  // A stable sort: vertices of equal key keep their old relative order, so
  // the result does not depend on the sort's implementation.
  std::vector<uint32_t> order(vertices);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key[a] < key[b]; });

  std::vector<uint16_t> new_number(vertices);
  std::vector<VertexOffset> offsets(vertices);
  for (size_t n = 0; n < vertices; ++n) {
    new_number[order[n]] = static_cast<uint16_t>(n);
    offsets[n] = mesh.offsets[order[n]];
  }
  mesh.offsets = std::move(offsets);

  for (int slot = 0; slot < kLodSlots; slot += 2) {
    LodList& list = mesh.lods[static_cast<size_t>(slot)];
    uint16_t largest = 0;
    for (uint16_t& index : list.indices) {
      index = new_number[index];
      largest = std::max(largest, index);
    }
    list.vertex_count = list.indices.empty() ? 1 : static_cast<uint16_t>(largest + 1);
  }
  return {};
}

}  // namespace loamer
