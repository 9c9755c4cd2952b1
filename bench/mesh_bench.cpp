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
#include <numeric>
#include <random>
#include <vector>

#include "orvo/mesh/edge_collapse_reducer.h"
#include "orvo/mesh/progressive_reducer.h"
#include "orvo/mesh/stripify.h"

namespace {

struct Mesh {
  std::vector<float> positions;  // x y z per vertex
  std::vector<uint32_t> indices;
  size_t vertex_count() const { return positions.size() / 3; }
  size_t triangle_count() const { return indices.size() / 3; }
  std::vector<uint16_t> indices16() const { return {indices.begin(), indices.end()}; }
};

// A closed torus with bumps, `ring` × `ring / 2` quads, its triangles in
// shuffled order (the worst case for a cache-aware order).
Mesh bumpy_torus(int ring, bool shuffled, uint32_t seed) {
  Mesh m;
  const int side = ring / 2;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> bump(-0.03f, 0.03f);
  for (int i = 0; i < ring; ++i) {
    for (int j = 0; j < side; ++j) {
      const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(ring);
      const float b = 6.2831853f * static_cast<float>(j) / static_cast<float>(side);
      const float r = 0.4f + bump(rng);
      m.positions.insert(m.positions.end(),
                         {(1.0f + r * std::cos(b)) * std::cos(a), (1.0f + r * std::cos(b)) * std::sin(a), r * std::sin(b)});
    }
  }
  const auto at = [&](int i, int j) { return static_cast<uint32_t>(((i + ring) % ring) * side + (j + side) % side); };
  for (int i = 0; i < ring; ++i) {
    for (int j = 0; j < side; ++j) {
      // Random diagonals make the surface irregular.
      if (rng() & 1) {
        m.indices.insert(m.indices.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
      } else {
        m.indices.insert(m.indices.end(), {at(i, j), at(i + 1, j), at(i, j + 1), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
      }
    }
  }
  if (shuffled) {
    std::vector<size_t> order(m.triangle_count());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<uint32_t> out;
    out.reserve(m.indices.size());
    for (size_t t : order) out.insert(out.end(), m.indices.begin() + 3 * t, m.indices.begin() + 3 * t + 3);
    m.indices = std::move(out);
  }
  return m;
}

// A terrain block: 65 × 65 points over fractal heights, 4 units apart.
Mesh terrain_block() {
  Mesh m;
  constexpr int n = 65;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float h = 0;
      for (int o = 0; o < 5; ++o) {
        const float f = static_cast<float>(1 << o) * 0.05f;
        h += std::sin(static_cast<float>(x) * f + static_cast<float>(o)) * std::cos(static_cast<float>(y) * f * 1.3f) *
             (40.0f / static_cast<float>(1 << o));
      }
      m.positions.insert(m.positions.end(), {static_cast<float>(x) * 4.0f, static_cast<float>(y) * 4.0f, h});
    }
  }
  for (int y = 0; y + 1 < n; ++y) {
    for (int x = 0; x + 1 < n; ++x) {
      const auto v = [&](int dx, int dy) { return static_cast<uint32_t>((y + dy) * n + x + dx); };
      m.indices.insert(m.indices.end(), {v(0, 0), v(1, 0), v(1, 1), v(0, 0), v(1, 1), v(0, 1)});
    }
  }
  return m;
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

const Mesh& mesh_for(int64_t triangles) {
  static const Mesh small = bumpy_torus(100, true, 1);   // 5 000 triangles
  static const Mesh medium = bumpy_torus(200, true, 2);  // 20 000 triangles
  return triangles <= 5000 ? small : medium;
}

void BM_OrvoStripify(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  std::vector<uint32_t> strip;
  for (auto _ : state) {
    strip = orvo::mesh::stripify(std::span<const uint32_t>(m.indices), orvo::mesh::StripifyOptions::model_export());
    benchmark::DoNotOptimize(strip.data());
  }
  state.counters["indices_per_tri"] = static_cast<double>(strip.size()) / static_cast<double>(m.triangle_count());
  state.counters["acmr16"] = acmr_of_strip(strip, m.triangle_count());
}

void BM_MeshoptStripify(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  std::vector<uint32_t> ordered(m.indices.size());
  std::vector<uint32_t> strip(meshopt_stripifyBound(m.indices.size()));
  size_t length = 0;
  for (auto _ : state) {
    meshopt_optimizeVertexCacheStrip(ordered.data(), m.indices.data(), m.indices.size(), m.vertex_count());
    length = meshopt_stripify(strip.data(), ordered.data(), ordered.size(), m.vertex_count(), 0u);
    benchmark::DoNotOptimize(strip.data());
  }
  strip.resize(length);
  state.counters["indices_per_tri"] = static_cast<double>(length) / static_cast<double>(m.triangle_count());
  state.counters["acmr16"] = acmr_of_strip(strip, m.triangle_count());
}

// Sixteen successive levels on one mesh, as the exporter's detail levels.
void BM_OrvoProgressive16(benchmark::State& state) {
  const Mesh& m = mesh_for(state.range(0));
  const std::vector<uint16_t> tri16 = m.indices16();
  for (auto _ : state) {
    orvo::mesh::ProgressiveReducer reducer;
    const size_t n = reducer.load(m.positions.data(), m.vertex_count(), 12, tri16.data(), m.triangle_count());
    for (size_t g = 1; g < 16; ++g) {
      reducer.reduce_to(n - g * (n * 9 / 10) / 16 + 1);
      benchmark::DoNotOptimize(reducer.read_triangles());
    }
  }
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
}

// A terrain block through its 16 slots, then the eight even slots stripified.
void BM_OrvoTerrainBlock(benchmark::State& state) {
  static const Mesh block = terrain_block();
  const std::vector<uint16_t> tri16 = block.indices16();
  orvo::mesh::TerrainLodParams params;
  params.vertex_start = static_cast<int>(block.vertex_count());
  params.vertex_end = static_cast<int>(block.vertex_count() / 20);
  params.threshold_start = 0.1f;
  params.threshold_end = 0.35f;
  for (auto _ : state) {
    const orvo::mesh::TerrainLods lods = orvo::mesh::build_terrain_lods(block.positions.data(), block.vertex_count(), 12,
                                                                        tri16.data(), block.triangle_count(), params);
    for (size_t slot = 0; slot < lods.slots.size(); slot += 2) {
      const auto strip = orvo::mesh::stripify(std::span<const uint16_t>(lods.slots[slot].indices),
                                              orvo::mesh::StripifyOptions::terrain());
      benchmark::DoNotOptimize(strip.data());
    }
  }
}

}  // namespace

BENCHMARK(BM_OrvoStripify)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_MeshoptStripify)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_OrvoProgressive16)->Arg(20000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_MeshoptSimplify16)->Arg(20000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_OrvoTerrainBlock)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

BENCHMARK_MAIN();
