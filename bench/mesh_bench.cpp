// Mesh algorithm benchmarks: our stripifier and reducers beside
// meshoptimizer's (a peer for comparison only; nothing of the product links
// it), on the same meshes in the same process. Strip quality is reported as
// indices per triangle and as the average cache miss ratio (ACMR) under the
// 16-entry FIFO cache our strip joining models.
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../tests/mesh/reducer_reference.h"
#include "tools/mesh/edge_collapse_reducer.h"
#include "tools/mesh/progressive_reducer.h"
#include "tools/mesh/stripify.h"

namespace {

struct Mesh {
  std::vector<float> positions;  // x y z per vertex
  std::vector<uint32_t> indices;
  size_t vertex_count() const { return positions.size() / 3; }
  size_t triangle_count() const { return indices.size() / 3; }
  std::vector<uint16_t> indices16() const { return {indices.begin(), indices.end()}; }
};

// A torus with bumps, `ring` × `ring / 2` quads with random diagonals, its
// triangles in shuffled order (the worst case for a cache-aware order). With
// `seams`, the vertices of the first ring and of the first circle are given
// twice, as texture seams do: the same positions, distinct vertices, so the
// surface is open along both seams.
Mesh bumpy_torus(int ring, bool seams, uint32_t seed) {
  Mesh m;
  const int side = ring / 2;
  const int rows = seams ? ring + 1 : ring, cols = seams ? side + 1 : side;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> bump(-0.03f, 0.03f);
  std::vector<float> radius(static_cast<size_t>(ring * side));
  for (float& r : radius) r = 0.4f + bump(rng);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) {
      const int wi = i % ring, wj = j % side;
      const float a = 6.2831853f * static_cast<float>(wi) / static_cast<float>(ring);
      const float b = 6.2831853f * static_cast<float>(wj) / static_cast<float>(side);
      const float r = radius[static_cast<size_t>(wi * side + wj)];
      m.positions.insert(m.positions.end(), {(1.0f + r * std::cos(b)) * std::cos(a),
                                             (1.0f + r * std::cos(b)) * std::sin(a), r * std::sin(b)});
    }
  }
  const auto at = [&](int i, int j) {
    return seams ? static_cast<uint32_t>(i * cols + j) : static_cast<uint32_t>((i % ring) * side + j % side);
  };
  for (int i = 0; i < ring; ++i) {
    for (int j = 0; j < side; ++j) {
      if (rng() & 1) {
        m.indices.insert(m.indices.end(),
                         {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
      } else {
        m.indices.insert(m.indices.end(),
                         {at(i, j), at(i + 1, j), at(i, j + 1), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      }
    }
  }
  std::vector<size_t> order(m.triangle_count());
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<uint32_t> out;
  out.reserve(m.indices.size());
  for (size_t t : order) out.insert(out.end(), m.indices.begin() + 3 * t, m.indices.begin() + 3 * t + 3);
  m.indices = std::move(out);
  return m;
}

// A terrain block as the terrain generator reduces it: 65 × 65 grid points
// one unit apart (a stand-in for a leaf's 3 940-point template), with the
// template's alternating diagonals and ten-float vertex records. Heights come
// from a smooth byte depth map as the generator makes them: 32 × (sum of four
// bytes) / 256, so 0 to 127.5 units.
struct TerrainBlock {
  std::vector<float> records;  // x y z, normal, two texture pairs
  std::vector<uint16_t> indices;
  size_t vertex_count() const { return records.size() / 10; }
  size_t triangle_count() const { return indices.size() / 3; }
};

// The triangles of a grid of `side` × `side` quads over (side + 1)² vertices
// in row order, with alternating diagonals, as the terrain generator's
// blocks have them.
template <class Index>
void grid_triangles(int side, std::vector<Index>& out) {
  const int n = side + 1;
  for (int j = 0; j < side; ++j) {
    for (int i = 0; i < side; ++i) {
      const auto p = [&](int di, int dj) { return static_cast<Index>((j + dj) * n + i + di); };
      const Index tl = p(0, 0), tr = p(1, 0), bl = p(0, 1), br = p(1, 1);
      if ((i ^ j) & 1) {
        out.insert(out.end(), {tr, bl, br, tr, tl, bl});
      } else {
        out.insert(out.end(), {tl, br, tr, tl, bl, br});
      }
    }
  }
}

TerrainBlock terrain_block() {
  constexpr int n = 65;
  constexpr int ox = 384, oz = 448;  // block origin on the 1024 × 1024 map
  const auto depth = [](int x, int z) {
    float h = 0;
    for (int o = 0; o < 5; ++o) {
      const float f = static_cast<float>(1 << o) * 0.021f;
      h += std::sin(static_cast<float>(x) * f + 1.3f * static_cast<float>(o)) *
           std::cos(static_cast<float>(z) * f * 1.17f - 0.7f * static_cast<float>(o)) / static_cast<float>(1 << o);
    }
    return std::clamp(static_cast<int>(128.0f + 70.0f * h), 0, 255);
  };
  TerrainBlock b;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const int x = ox + i, z = oz + j;
      const int sum = depth(x, z) + depth(x + 1, z) + depth(x, z + 1) + depth(x + 1, z + 1);
      const float y = static_cast<float>(32 * sum) / 256.0f;
      const float fx = static_cast<float>(x), fz = static_cast<float>(z);
      b.records.insert(b.records.end(), {fx, y, fz, 0.0f, 0.5f, 0.0f, fx / 1024, fz / 1024, fx / 4, fz / 4});
    }
  }
  grid_triangles(n - 1, b.indices);
  return b;
}

// A leaf block's reduction parameters (block size 64): vertex targets 332 to
// 268, thresholds 0.8 (0.0005 h + 0.06) to 0.8 (0.001 h + 0.3) with h = 128.
tools::mesh::TerrainLodParams leaf_params() {
  tools::mesh::TerrainLodParams p;
  p.vertex_start = 332;
  p.vertex_end = 268;
  p.threshold_start = 0.8f * (0.0005f * 128.0f + 0.06f);
  p.threshold_end = 0.8f * (0.001f * 128.0f + 0.3f);
  p.shape_weight = 2.0f;
  return p;
}

// Average cache miss ratio of a strip decoded to triangles, 16-entry FIFO.
template <class T>
double acmr_of_strip(const std::vector<T>& strip, size_t triangles) {
  std::array<int64_t, 16> fifo;
  fifo.fill(-1);
  size_t head = 0, misses = 0;
  for (T index : strip) {
    if (std::find(fifo.begin(), fifo.end(), static_cast<int64_t>(index)) == fifo.end()) {
      fifo[head] = index;
      head = (head + 1) % fifo.size();
      ++misses;
    }
  }
  return triangles ? static_cast<double>(misses) / static_cast<double>(triangles) : 0.0;
}

// The benchmark argument is the triangle count asked for; the meshes come
// close to it (the "tris" counter gives the exact count). The 5 000-triangle
// mesh always has seams; the larger ones are closed unless `seams` asks for
// the same torus opened along two seams.
const Mesh& mesh_for(int64_t triangles, bool seams = false) {
  static const Mesh small = bumpy_torus(71, true, 1);  // 4 970 triangles, two seams
  if (triangles <= 5000) return small;
  if (triangles <= 20000) {
    static const Mesh medium = bumpy_torus(142, false, 2);  // 20 164 triangles, closed
    static const Mesh medium_seamed = bumpy_torus(142, true, 2);
    return seams ? medium_seamed : medium;
  }
  static const Mesh large = bumpy_torus(448, false, 3);  // 200 704 triangles, closed
  static const Mesh large_seamed = bumpy_torus(448, true, 3);
  return seams ? large_seamed : large;
}

void count_triangles(benchmark::State& state, const Mesh& m) {
  state.counters["tris"] = static_cast<double>(m.triangle_count());
}

// The vertex targets of the sixteen levels: level 0 is the mesh itself, the
// last keeps about a tenth of the vertices.
size_t level_target(size_t n, size_t g) {
  return n - g * (n * 9 / 10) / 16 + 1;
}

// Stripifier arguments: the triangle count, and 1 for the torus with seams.
void BM_OrvoStripify(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0), state.range(1) != 0);
  std::vector<uint32_t> strip;
  for (auto _ : state) {
    strip = tools::mesh::stripify(std::span<const uint32_t>(m.indices), tools::mesh::StripifyOptions::model_export());
    benchmark::DoNotOptimize(strip.data());
  }
  state.counters["indices_per_tri"] = static_cast<double>(strip.size()) / static_cast<double>(m.triangle_count());
  state.counters["acmr16"] = acmr_of_strip(strip, m.triangle_count());
  count_triangles(state, m);
}

// meshoptimizer's strips of a mesh, as its documentation advises: the
// triangles ordered for its strip cache first. Returns the strip's length;
// `strip` keeps room for the longest.
size_t meshopt_strip(const Mesh& m, std::vector<uint32_t>& strip) {
  thread_local std::vector<uint32_t> ordered;
  ordered.resize(m.indices.size());
  strip.resize(meshopt_stripifyBound(m.indices.size()));
  meshopt_optimizeVertexCacheStrip(ordered.data(), m.indices.data(), m.indices.size(), m.vertex_count());
  const size_t length = meshopt_stripify(strip.data(), ordered.data(), ordered.size(), m.vertex_count(), 0u);
  benchmark::DoNotOptimize(strip.data());
  return length;
}

void BM_MeshoptStripify(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0), state.range(1) != 0);
  std::vector<uint32_t> strip;
  size_t length = 0;
  for (auto _ : state) length = meshopt_strip(m, strip);
  strip.resize(length);
  state.counters["indices_per_tri"] = static_cast<double>(length) / static_cast<double>(m.triangle_count());
  state.counters["acmr16"] = acmr_of_strip(strip, m.triangle_count());
  count_triangles(state, m);
}

// Sixteen successive levels on one mesh, as the exporter's detail levels.
void BM_OrvoProgressive16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  const bool narrow = m.vertex_count() <= 65536;
  const std::vector<uint16_t> tri16 = narrow ? m.indices16() : std::vector<uint16_t>{};
  for (auto _ : state) {
    tools::mesh::ProgressiveReducer reducer;
    const size_t n = narrow
                         ? reducer.load(m.positions.data(), m.vertex_count(), 12, tri16.data(), m.triangle_count())
                         : reducer.load(m.positions.data(), m.vertex_count(), 12, m.indices.data(), m.triangle_count());
    for (size_t g = 1; g < 16; ++g) {
      reducer.reduce_to(level_target(n, g));
      benchmark::DoNotOptimize(reducer.read_triangles32());
    }
  }
  count_triangles(state, m);
}

// The same levels through the terrain generator's reducer.
void BM_OrvoEdgeCollapse16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  const bool narrow = m.vertex_count() <= 65536;
  const std::vector<uint16_t> tri16 = narrow ? m.indices16() : std::vector<uint16_t>{};
  for (auto _ : state) {
    auto reducer = narrow ? tools::mesh::EdgeCollapseReducer(m.positions.data(), m.vertex_count(), 12, tri16.data(),
                                                             m.triangle_count())
                          : tools::mesh::EdgeCollapseReducer(m.positions.data(), m.vertex_count(), 12, m.indices.data(),
                                                             m.triangle_count());
    for (size_t g = 1; g < 16; ++g) {
      reducer.reduce_to(level_target(m.vertex_count(), g));
      benchmark::DoNotOptimize(reducer.read_triangles32());
    }
  }
  count_triangles(state, m);
}

// The straightforward reducers the tests check ours against (full scans for
// the cheapest vertex, plain lists), for the speed-up.
void BM_ReferenceProgressive16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  for (auto _ : state) {
    tools::mesh::reference::ProgressiveReducer reducer;
    reducer.load(m.positions.data(), m.vertex_count(), 3, m.indices.data(), m.triangle_count());
    for (size_t g = 1; g < 16; ++g) {
      reducer.reduce_to(level_target(m.vertex_count(), g));
      benchmark::DoNotOptimize(reducer.triangles());
    }
  }
  count_triangles(state, m);
}

void BM_ReferenceEdgeCollapse16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  for (auto _ : state) {
    tools::mesh::reference::EdgeCollapseReducer reducer(m.positions.data(), m.vertex_count(), 3, m.indices.data(),
                                                        m.triangle_count(), 2.0f);
    for (size_t g = 1; g < 16; ++g) {
      reducer.reduce_to(level_target(m.vertex_count(), g));
      benchmark::DoNotOptimize(reducer.triangles());
    }
  }
  count_triangles(state, m);
}

void BM_MeshoptSimplify16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  std::vector<uint32_t> current, next(m.indices.size());
  for (auto _ : state) {
    current = m.indices;
    for (size_t g = 1; g < 16; ++g) {
      const size_t target = m.indices.size() - g * (m.indices.size() * 9 / 10) / 16;
      const size_t count = meshopt_simplify(next.data(), current.data(), current.size(), m.positions.data(),
                                            m.vertex_count(), 12, target / 3 * 3, 1e-2f, 0, nullptr);
      current.assign(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(count));
      benchmark::DoNotOptimize(current.data());
    }
  }
  count_triangles(state, m);
}

// A terrain block through its 16 slots, then the eight even slots stripified.
void BM_OrvoTerrainBlock(benchmark::State& state) {
  static const TerrainBlock block = terrain_block();
  const tools::mesh::TerrainLodParams params = leaf_params();
  for (auto _ : state) {
    const tools::mesh::TerrainLods lods = tools::mesh::build_terrain_lods(
        block.records.data(), block.vertex_count(), 40, block.indices.data(), block.triangle_count(), params);
    for (size_t slot = 0; slot < lods.slots.size(); slot += 2) {
      const auto strip = tools::mesh::stripify(std::span<const uint16_t>(lods.slots[slot].indices),
                                               tools::mesh::StripifyOptions::terrain());
      benchmark::DoNotOptimize(strip.data());
    }
  }
}

// The 16 slots of the same block alone.
void BM_OrvoTerrainLodsOnly(benchmark::State& state) {
  static const TerrainBlock block = terrain_block();
  const tools::mesh::TerrainLodParams params = leaf_params();
  size_t finest = 0, coarsest = 0;
  for (auto _ : state) {
    const tools::mesh::TerrainLods lods = tools::mesh::build_terrain_lods(
        block.records.data(), block.vertex_count(), 40, block.indices.data(), block.triangle_count(), params);
    finest = lods.slots[0].vertex_count;
    coarsest = lods.slots[15].vertex_count;
    benchmark::DoNotOptimize(lods.vertex_order.data());
  }
  state.counters["lod0_verts"] = static_cast<double>(finest);
  state.counters["lod15_verts"] = static_cast<double>(coarsest);
}

// The stripifier runs on the seamed 5 000-triangle torus and on both the
// closed and the seamed 20 000-triangle tori; its growth with size is
// measured by the scaling benchmarks below.
void stripify_sizes(benchmark::internal::Benchmark* b) {
  b->Args({5000, 1})->Args({20000, 0})->Args({20000, 1});
}

// Meshes of the stripifier's scaling benchmarks, by kind.
enum ScalingMesh : int64_t { kClosedTorus, kSeamedTorus, kTerrainGrid, kSeamPatches };

// A height-field grid of `side` × `side` quads in row order with alternating
// diagonals, as the terrain generator hands its blocks over (2 side² triangles).
Mesh terrain_grid(int side) {
  Mesh m;
  const int n = side + 1;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      m.positions.insert(m.positions.end(), {static_cast<float>(i), 0.1f * static_cast<float>((i * 7 + j * 13) % 11),
                                             static_cast<float>(j)});
  grid_triangles(side, m.indices);
  return m;
}

// The exporter's lists: the terrain grid with every 3 × 3 quads given vertices
// of their own, as texture and smoothing seams cut a model's surface into
// small patches (18 triangles each), in face order.
Mesh seam_patches(int side) {
  const Mesh grid = terrain_grid(side);
  Mesh m;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> copy;  // (patch, grid vertex) -> vertex
  const auto s = static_cast<size_t>(side);
  for (size_t t = 0; t < grid.triangle_count(); ++t) {
    const size_t quad = t / 2;
    const auto patch = static_cast<uint32_t>(quad / s / 3 * s + quad % s / 3);
    for (size_t c = 0; c < 3; ++c) {
      const uint32_t v = grid.indices[3 * t + c];
      const auto [it, added] = copy.try_emplace({patch, v}, static_cast<uint32_t>(m.vertex_count()));
      if (added)
        m.positions.insert(m.positions.end(), grid.positions.begin() + 3 * v, grid.positions.begin() + 3 * v + 3);
      m.indices.push_back(it->second);
    }
  }
  return m;
}

// The scaling mesh of about `triangles` triangles (5 000 to 80 000): the
// bumpy torus, shuffled, closed or seamed (ring² triangles), or the terrain
// grid (2 side² triangles), whole or cut into seam patches.
const Mesh& scaling_mesh(int64_t triangles, int64_t kind) {
  static std::map<std::pair<int64_t, int64_t>, Mesh> meshes;
  auto [it, added] = meshes.try_emplace({triangles, kind});
  if (added) {
    const double size = static_cast<double>(triangles);
    const int side = static_cast<int>(std::lround(std::sqrt(size / 2)));
    it->second = kind == kTerrainGrid   ? terrain_grid(side)
                 : kind == kSeamPatches ? seam_patches(side)
                                        : bumpy_torus(static_cast<int>(std::lround(std::sqrt(size))),
                                                      kind == kSeamedTorus, static_cast<uint32_t>(triangles));
  }
  return it->second;
}

// Scaling arguments: the triangle count and the mesh kind.
void scaling_sizes(benchmark::internal::Benchmark* b) {
  for (int64_t kind : {kClosedTorus, kSeamedTorus, kTerrainGrid, kSeamPatches})
    for (int64_t size : {5000, 10000, 20000, 40000, 80000}) b->Args({size, kind});
}

void BM_StripifyScalingOrvo(benchmark::State& state) {
  const Mesh& m = scaling_mesh(state.range(0), state.range(1));
  std::vector<uint32_t> strip;
  for (auto _ : state) {
    strip = tools::mesh::stripify(std::span<const uint32_t>(m.indices), tools::mesh::StripifyOptions::model_export());
    benchmark::DoNotOptimize(strip.data());
  }
  state.counters["indices_per_tri"] = static_cast<double>(strip.size()) / static_cast<double>(m.triangle_count());
  count_triangles(state, m);
}

void BM_StripifyScalingMeshopt(benchmark::State& state) {
  const Mesh& m = scaling_mesh(state.range(0), state.range(1));
  std::vector<uint32_t> strip;
  size_t length = 0;
  for (auto _ : state) length = meshopt_strip(m, strip);
  state.counters["indices_per_tri"] = static_cast<double>(length) / static_cast<double>(m.triangle_count());
  count_triangles(state, m);
}

// Timings on a shared machine are noisy: every benchmark also reports the
// fastest of its repetitions ("_min").
double fastest(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

}  // namespace

#define TOOLS_MESH_BENCH(fn)              \
  BENCHMARK(fn)                           \
      ->Unit(benchmark::kMillisecond)     \
      ->Repetitions(5)                    \
      ->ComputeStatistics("min", fastest) \
      ->ReportAggregatesOnly()

TOOLS_MESH_BENCH(BM_OrvoStripify)->Apply(stripify_sizes);
TOOLS_MESH_BENCH(BM_MeshoptStripify)->Apply(stripify_sizes);
TOOLS_MESH_BENCH(BM_OrvoProgressive16)->Arg(5000)->Arg(20000)->Arg(200000);
TOOLS_MESH_BENCH(BM_OrvoEdgeCollapse16)->Arg(5000)->Arg(20000)->Arg(200000);
TOOLS_MESH_BENCH(BM_MeshoptSimplify16)->Arg(5000)->Arg(20000)->Arg(200000);
TOOLS_MESH_BENCH(BM_ReferenceProgressive16)->Arg(5000);
TOOLS_MESH_BENCH(BM_ReferenceEdgeCollapse16)->Arg(5000);
TOOLS_MESH_BENCH(BM_OrvoTerrainBlock);
TOOLS_MESH_BENCH(BM_OrvoTerrainLodsOnly);

TOOLS_MESH_BENCH(BM_StripifyScalingOrvo)->Apply(scaling_sizes);
TOOLS_MESH_BENCH(BM_StripifyScalingMeshopt)->Apply(scaling_sizes);

namespace {

// Prints the usual console report and keeps the median time of every
// scaling run, for the summary after the runs.
class ScalingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      if (name.rfind("BM_StripifyScaling", 0) != 0) continue;
      // Runs without repetitions report single iterations, not aggregates.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      median_[name.substr(0, name.find("_median"))] = run.GetAdjustedRealTime();
    }
  }

  // Per mesh kind: ours ÷ meshoptimizer at every size, and the time for
  // 80 000 triangles ÷ the time for 10 000 and for 20 000, for both.
  void print_summary() const {
    static const char* const kKinds[] = {"closed torus", "seamed torus", "terrain grid", "seam-cut patches"};
    for (int kind = 0; kind < 4; ++kind) {
      std::string line;
      auto time = [&](const char* who, int size) {
        const auto it = median_.find(std::string("BM_StripifyScaling") + who + "/" + std::to_string(size) + "/" +
                                     std::to_string(kind) + "/repeats:5");
        if (it != median_.end()) return it->second;
        const auto single = median_.find(std::string("BM_StripifyScaling") + who + "/" + std::to_string(size) + "/" +
                                         std::to_string(kind));
        return single != median_.end() ? single->second : 0.0;
      };
      std::printf("stripify scaling, %s:", kKinds[kind]);
      for (int size : {5000, 10000, 20000, 40000, 80000}) {
        const double ours = time("Orvo", size), peer = time("Meshopt", size);
        if (ours > 0 && peer > 0) std::printf("  %dk %.1f ms = %.1fx meshopt", size / 1000, ours, ours / peer);
      }
      // The growth over 8 times the triangles, and over the last 4 times:
      // the strips of the smaller meshes can differ in kind from the larger
      // ones' (the 10k seamed torus's strips are a third longer than from
      // 20k on), which the second ratio leaves out.
      for (int from : {10000, 20000}) {
        const double ours_from = time("Orvo", from), ours80 = time("Orvo", 80000);
        const double peer_from = time("Meshopt", from), peer80 = time("Meshopt", 80000);
        if (ours_from > 0 && ours80 > 0)
          std::printf("%s80k/%dk: ours %.1fx", from == 10000 ? "\n  " : ", ", from / 1000, ours80 / ours_from);
        if (peer_from > 0 && peer80 > 0) std::printf(", meshopt %.1fx", peer80 / peer_from);
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, double> median_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ScalingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_summary();
  benchmark::Shutdown();
  return 0;
}
