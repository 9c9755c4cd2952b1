#include "loamer/triangulation.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "loamer/block_file.h"
#include "loamer/naming.h"
#include "tools/base/file_time.h"
#include "tools/base/parallel.h"
#include "tools/mesh/edge_collapse_reducer.h"
#include "tools/mesh/stripify.h"

namespace loamer {
namespace {

using tools::file_time;

constexpr int kMapMask = kGridSize - 1;
constexpr int kHalfMap = kGridSize / 2;
constexpr int kMergeSlot = 14;  // a parent starts from its children's LOD 14

std::string format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

struct BlockNode {
  int sector = 0;
  int origin_x = 0;
  int origin_z = 0;
  int size = 0;
  bool leaf = false;
  std::array<int, 4> children{-1, -1, -1, -1};
  int leaf_number = -1;  // position among the leaves in processing order
  TerrainMesh mesh;
  bool done = false;
};

// Children in the order (x, z), (x + s/2, z), (x, z + s/2), (x + s/2, z + s/2);
// leaves are numbered in the order a one-thread build finishes them.
int add_node(std::vector<BlockNode>& nodes, int sector, int x, int z, int size, int& leaves) {
  const int id = static_cast<int>(nodes.size());
  nodes.push_back({});
  nodes[id].sector = sector;
  nodes[id].origin_x = x;
  nodes[id].origin_z = z;
  nodes[id].size = size;
  if (size <= kSmallestBlockSize) {
    nodes[id].leaf = true;
    nodes[id].leaf_number = leaves++;
    return id;
  }
  const int half = size / 2;
  const int child_origin[4][2] = {{x, z}, {x + half, z}, {x, z + half}, {x + half, z + half}};
  for (int c = 0; c < 4; ++c) {
    const int child = add_node(nodes, sector + 1, child_origin[c][0], child_origin[c][1], half, leaves);
    nodes[id].children[c] = child;
  }
  return id;
}

// Vertices equal in all ten fields have equal bits: every field is finite and
// none is a negative zero (grid coordinates and heights are never negative).
struct VertexHash {
  size_t operator()(const TerrainVertex& v) const {
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u1, v.v1, v.u2, v.v2}) {
      h ^= std::bit_cast<uint32_t>(f);
      h *= 0xff51afd7ed558ccdULL;
      h ^= h >> 29;
    }
    return static_cast<size_t>(h);
  }
};

class Triangulator {
 public:
  Triangulator(const TriangulationJob& job, const TriangulationEvents& events)
      : job_(job), events_(events), templates_(make_grid_templates()) {
    int leaves = 0;
    nodes_.reserve(static_cast<size_t>(total_blocks(kGridSize, kSmallestBlockSize)));
    add_node(nodes_, 0, 0, 0, kGridSize, leaves);
    leaf_lod0_.resize(static_cast<size_t>(leaves));
  }

  TriangulationResult run() {
    if (job_.jobs <= 1) {
      process(0);
    } else {
      // Whole subtrees first, one thread each at a time, then the blocks above
      // them sector by sector; a block only ever waits for its own children.
      int split = 1;
      while (split < 4 && (1 << (2 * split)) < 4 * job_.jobs) ++split;
      for (int sector = split; sector >= 0; --sector) {
        std::vector<int> level;
        for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
          if (nodes_[static_cast<size_t>(i)].sector == sector) level.push_back(i);
        tools::parallel_for(level.size(), job_.jobs, [&](size_t i) { process(level[i]); });
      }
    }
    TriangulationResult result;
    result.height_file.assign(job_.heights.begin(), job_.heights.end());
    // Leaf edges are shared, so the order decides the heights there: always
    // the one-thread order.
    for (const TerrainMesh& leaf : leaf_lod0_) rasterise_lod0(leaf, result.height_file);
    result.blocks_finished = finished_;
    result.blocks_generated = generated_;
    result.blocks_loaded = loaded_;
    result.stopped = job_.stop_requested && job_.stop_requested();
    result.failure = failure_;
    return result;
  }

 private:
  // A block file that could not be written ends the work as a stop does:
  // the build has failed, and later blocks would only be thrown away.
  bool stopped() const { return failed_.load() || (job_.stop_requested && job_.stop_requested()); }

  void process(int id) {
    BlockNode& node = nodes_[static_cast<size_t>(id)];
    if (node.done || stopped()) return;
    if (!node.leaf) {
      for (int child : node.children) process(child);
      if (stopped()) return;
      for (int child : node.children)
        if (!nodes_[static_cast<size_t>(child)].done) return;
    }
    bool generated = false;
    if (!load(node)) {
      if (!generate(node)) return;
      generated = true;
    }
    if (node.leaf) {
      TerrainMesh& keep = leaf_lod0_[static_cast<size_t>(node.leaf_number)];
      keep.vertices = node.mesh.vertices;
      keep.lods[0] = node.mesh.lods[0];
    } else {
      for (int child : node.children) nodes_[static_cast<size_t>(child)].mesh = {};
    }
    node.done = true;
    std::lock_guard lock(events_mutex_);
    ++finished_;
    if (generated) {
      ++generated_;
    } else {
      ++loaded_;
    }
    if ((generated || !node.leaf) && finished_ % 2 == 1 && events_.progress) events_.progress(finished_ - 1);
  }

  void log(const std::string& line) {
    std::lock_guard lock(events_mutex_);
    if (events_.log) events_.log(line);
  }

  void set_vertices(BlockNode& node, int origin_x, int origin_z, std::span<const VertexOffset> offsets) {
    node.mesh.vertices.clear();
    node.mesh.vertices.reserve(offsets.size());
    for (const VertexOffset& o : offsets) {
      const int x = origin_x + o.dx, z = origin_z + o.dz;
      node.mesh.vertices.push_back(
          terrain_vertex(x, layout_height(job_.heights, job_.locks, origin_x, origin_z, x, z), z));
    }
  }

  // Reuses the sector's shared file or the block's own file when it is not
  // older than the depth map and reads completely.
  bool load(BlockNode& node) {
    const std::string names[2] = {sector_file_name(job_.path, node.sector, "tml"),
                                  block_file_name(job_.path, node.sector, static_cast<unsigned>(node.origin_x),
                                                  static_cast<unsigned>(node.origin_z), "tml")};
    for (int which = 0; which < 2; ++which) {
      const int64_t t = file_time(names[which]);
      if (t < 0 || t < job_.depth_map_time) continue;
      tools::Result<PackedBlockMesh> file = read_block_mesh(names[which]);
      if (!file.ok()) {
        // A block's own file that would have been reused but is damaged (a
        // crash can leave one cut short) is made again; a shared file that
        // does not read is passed over, as one that is not there.
        if (which == 1) log(regenerating_line(names[which], file.error()));
        continue;
      }
      // A shared file is placed at this block; a block file where it says.
      const int ox = which == 0 ? node.origin_x : file->origin_x;
      const int oz = which == 0 ? node.origin_z : file->origin_z;
      set_vertices(node, ox, oz, file->offsets);
      for (int slot = 0; slot < kLodSlots; ++slot) {
        TerrainLod& lod = node.mesh.lods[static_cast<size_t>(slot)];
        const LodList& list = file->lods[static_cast<size_t>(slot)];
        lod.vertex_count = list.vertex_count;
        if (list.kind == ListKind::kStrip) {
          lod.triangles = tools::mesh::strip_to_list(std::span<const uint16_t>(list.indices));
        } else {
          lod.triangles = list.indices;
        }
      }
      log(format("Loaded in Sector %ld   %02x,%02x", static_cast<long>(node.sector), ox / 16, oz / 16));
      return true;
    }
    return false;
  }

  // The union of the children's LOD 14: a child's vertex equal to one that
  // an earlier child brought is shared, then the child's triangles follow.
  void merge_children(BlockNode& node) {
    TerrainMesh& mesh = node.mesh;
    mesh = {};
    std::vector<uint16_t>& triangles = mesh.lods[0].triangles;
    std::unordered_map<TerrainVertex, uint16_t, VertexHash> first;
    std::vector<uint16_t> map;
    for (int child : node.children) {
      const TerrainMesh& part = nodes_[static_cast<size_t>(child)].mesh;
      const TerrainLod& lod = part.lods[kMergeSlot];
      const size_t count = std::min<size_t>(lod.vertex_count, part.vertices.size());
      const size_t before = mesh.vertices.size();
      map.assign(count, 0);
      for (size_t v = 0; v < count; ++v) {
        auto it = first.find(part.vertices[v]);
        if (it != first.end() && it->second < before) {
          map[v] = it->second;
        } else {
          map[v] = static_cast<uint16_t>(mesh.vertices.size());
          mesh.vertices.push_back(part.vertices[v]);
        }
      }
      for (size_t v = before; v < mesh.vertices.size(); ++v) first.emplace(mesh.vertices[v], static_cast<uint16_t>(v));
      for (uint16_t index : lod.triangles) triangles.push_back(index < count ? map[index] : 0);
    }
  }

  bool generate(BlockNode& node) {
    std::vector<uint16_t> source;
    if (node.leaf) {
      const GridTemplate& layout = templates_[static_cast<size_t>(grid_template_index(node.origin_x, node.origin_z))];
      set_vertices(node, node.origin_x, node.origin_z, layout.vertices);
      source = layout.triangles;
    } else {
      merge_children(node);
      source = std::move(node.mesh.lods[0].triangles);
    }
    const BlockReduction r = block_reduction(node.size, node.leaf, node.mesh.vertices.size());
    if (stopped()) return false;

    tools::mesh::TerrainLodParams params;
    params.vertex_start = r.vertex_start;
    params.vertex_end = r.vertex_end;
    params.threshold_start = r.threshold_start;
    params.threshold_end = r.threshold_end;
    params.shape_weight = 2.0f;
    tools::mesh::TerrainLods lods =
        tools::mesh::build_terrain_lods(node.mesh.vertices.data(), node.mesh.vertices.size(), sizeof(TerrainVertex),
                                        source.data(), source.size() / 3, params);

    std::vector<TerrainVertex> ordered;
    ordered.reserve(lods.vertex_order.size());
    for (uint32_t v : lods.vertex_order) ordered.push_back(node.mesh.vertices[v]);
    node.mesh.vertices = std::move(ordered);
    for (int slot = 0; slot < kLodSlots; ++slot) {
      auto& from = lods.slots[static_cast<size_t>(slot)];
      TerrainLod& lod = node.mesh.lods[static_cast<size_t>(slot)];
      lod.triangles = std::move(from.indices);
      lod.vertex_count = static_cast<uint16_t>(from.vertex_count);
    }

    // A block whose file cannot be written would be missing from the
    // terrain file: the first such failure fails the stage.
    if (tools::Status written =
            write_block_mesh(block_file_name(job_.path, node.sector, static_cast<unsigned>(node.origin_x),
                                             static_cast<unsigned>(node.origin_z), "tml"),
                             packed(node));
        !written) {
      std::lock_guard lock(events_mutex_);
      if (!failure_) {
        failure_ = written.error();
        if (events_.log) events_.log("Error:  " + written.error().message);
      }
      failed_.store(true);
      return false;
    }
    const long lod0 = node.mesh.lods[0].vertex_count, lod15 = node.mesh.lods[15].vertex_count;
    const long percent = r.vertex_end > 0 ? lod15 * 100 / r.vertex_end : 0;
    log(format("Generating Data %ld   %02x/%02x VRange:%ld-%ld (%ld%%)", static_cast<long>(node.sector),
               node.origin_x / 16, node.origin_z / 16, lod0, lod15, percent));
    return true;
  }

  static PackedBlockMesh packed(const BlockNode& node) {
    PackedBlockMesh out;
    out.origin_x = static_cast<uint16_t>(node.origin_x);
    out.origin_z = static_cast<uint16_t>(node.origin_z);
    out.offsets.reserve(node.mesh.vertices.size());
    for (const TerrainVertex& v : node.mesh.vertices)
      out.offsets.push_back({static_cast<uint16_t>(static_cast<int>(v.x) - node.origin_x),
                             static_cast<uint16_t>(static_cast<int>(v.z) - node.origin_z)});
    for (int slot = 0; slot < kLodSlots; slot += 2) {
      const TerrainLod& lod = node.mesh.lods[static_cast<size_t>(slot)];
      LodList& list = out.lods[static_cast<size_t>(slot)];
      list.indices = lod.triangles;
      list.count = static_cast<uint32_t>(lod.triangles.size() / 3);
      list.vertex_count = lod.vertex_count;
      list.kind = ListKind::kTriangleList;
    }
    return out;
  }

  const TriangulationJob& job_;
  const TriangulationEvents& events_;
  std::array<GridTemplate, 4> templates_;
  std::vector<BlockNode> nodes_;
  std::vector<TerrainMesh> leaf_lod0_;
  std::mutex events_mutex_;
  std::atomic<bool> failed_{false};
  std::optional<tools::Error> failure_;  // the first block file that could not be written
  long finished_ = 0, generated_ = 0, loaded_ = 0;
};

}  // namespace

std::vector<uint16_t> height_grid(std::span<const uint8_t> depth_map) {
  std::vector<uint16_t> h(static_cast<size_t>(kGridSize) * kGridSize);
  if (depth_map.size() < kDepthMapBytes) return h;
  for (int z = 0; z < kGridSize; ++z) {
    const uint8_t* row = depth_map.data() + static_cast<size_t>(z) * kGridSize;
    const uint8_t* below = depth_map.data() + static_cast<size_t>((z + 1) & kMapMask) * kGridSize;
    uint16_t* out = h.data() + static_cast<size_t>(z) * kGridSize;
    for (int x = 0; x < kGridSize; ++x) {
      const int x1 = (x + 1) & kMapMask;
      out[x] = static_cast<uint16_t>((row[x] + row[x1] + below[x] + below[x1]) * 32);
    }
  }
  return h;
}

TerrainVertex terrain_vertex(int x, float y, int z) {
  TerrainVertex v;
  v.x = static_cast<float>(x);
  v.y = y;
  v.z = static_cast<float>(z);
  v.u1 = static_cast<float>(x) / 1024.0f;
  v.v1 = static_cast<float>(z) / 1024.0f;
  v.u2 = static_cast<float>(x) / 4.0f;
  v.v2 = static_cast<float>(z) / 4.0f;
  return v;
}

float layout_height(std::span<const uint16_t> heights, const QuadrantLocks& locks, int origin_x, int origin_z, int x,
                    int z) {
  const QuadrantLock& lock = locks.for_block(origin_x, origin_z);
  const int col = lock.x_lock != 0 ? (x & (kHalfMap - 1)) + (origin_x & kHalfMap) : x & kMapMask;
  const int row = lock.z_lock != 0 ? (z & (kHalfMap - 1)) + (origin_z & kHalfMap) : z & kMapMask;
  return static_cast<float>(heights[static_cast<size_t>(row) * kGridSize + static_cast<size_t>(col)]) / 256.0f;
}

BlockReduction block_reduction(int size, bool leaf, size_t vertex_count) {
  const double h = 2.0 * size;
  const int d0 = size * size / 256 + 5 * size;
  const int f = leaf ? d0 : static_cast<int>(vertex_count);
  const int d = std::min(d0, static_cast<int>(0.8 * f));
  BlockReduction r;
  r.vertex_start = f - (f - d) / 16;
  r.vertex_end = d;
  r.threshold_start = static_cast<float>(0.8 * (0.0005 * h + (leaf ? 0.06 : 0.15)));
  r.threshold_end = static_cast<float>(0.8 * (0.001 * h + 0.3));
  return r;
}

void rasterise_lod0(const TerrainMesh& mesh, std::span<uint16_t> height_file) {
  const auto& tris = mesh.lods[0].triangles;
  const size_t n = mesh.vertices.size();
  for (size_t t = 0; t + 2 < tris.size(); t += 3) {
    if (tris[t] >= n || tris[t + 1] >= n || tris[t + 2] >= n) continue;
    const TerrainVertex* p[3] = {&mesh.vertices[tris[t]], &mesh.vertices[tris[t + 1]], &mesh.vertices[tris[t + 2]]};
    const auto clamp = [](float v) { return std::clamp(static_cast<int>(v), 0, kGridSize - 1); };
    const int x0 = clamp(std::min({p[0]->x, p[1]->x, p[2]->x})), x1 = clamp(std::max({p[0]->x, p[1]->x, p[2]->x}));
    const int z0 = clamp(std::min({p[0]->z, p[1]->z, p[2]->z})), z1 = clamp(std::max({p[0]->z, p[1]->z, p[2]->z}));
    // The plane through the three corners: n . (P - P0) = 0.
    const double ax = p[1]->x - p[0]->x, ay = p[1]->y - p[0]->y, az = p[1]->z - p[0]->z;
    const double bx = p[2]->x - p[0]->x, by = p[2]->y - p[0]->y, bz = p[2]->z - p[0]->z;
    const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    if (ny == 0.0) continue;
    for (int zz = z0; zz <= z1; ++zz) {
      for (int xx = x0; xx <= x1; ++xx) {
        bool inside = true;
        for (int e = 0; e < 3 && inside; ++e) {
          const TerrainVertex& a = *p[e];
          const TerrainVertex& b = *p[(e + 1) % 3];
          const double edge = (double(b.z) - a.z) * (xx - double(a.x)) - (double(b.x) - a.x) * (zz - double(a.z));
          inside = edge >= 0.0;
        }
        if (!inside) continue;
        const double u = p[0]->y - (nx * (xx - double(p[0]->x)) + nz * (zz - double(p[0]->z))) / ny;
        if (u >= 0.0 && u <= 128.0)
          height_file[static_cast<size_t>(zz) * kGridSize + static_cast<size_t>(xx)] = static_cast<uint16_t>(u * 256.0);
      }
    }
  }
}

TriangulationResult triangulate(const TriangulationJob& job, const TriangulationEvents& events) {
  Triangulator t(job, events);
  return t.run();
}

}  // namespace loamer
