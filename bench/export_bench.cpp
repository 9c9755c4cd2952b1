// 3DI export benchmark: a generated four-level model of about 30 000 faces
// in level 0 (six closed parts, three materials of which one has a second
// texture layer, smoothing groups, detail levels on), exported whole and
// stage by stage; for comparison, the vertex table built with the
// first-to-last search instead of the hash look-up; the export against a
// meshoptimizer pipeline doing the same work on the same meshes; and the
// refusal of a plain model too large for the file.
//
//   cmake --preset bench && cmake --build --preset bench --target export_bench
//   build/bench/bench/export_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
//
// gltfpack (Debian's, meshoptimizer's packer) on the same four-level model
// as glTF, for scale: it welds, simplifies once, orders for the vertex cache
// and fetch, and quantises, merging the meshes (no 16-level chain, no strips):
//   build/bench/bench/export_model_write /tmp/m
//   build/bench/app/orvo-cli dump /tmp/m/set-1job.3di --gltf /tmp/m/set.glb
//   time gltfpack -i /tmp/m/set.glb -o /tmp/m/packed.glb -si 0.1
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "export_model_gen.h"
#include "orvo/export/exporter.h"
#include "orvo/export/part_strips.h"
#include "orvo/export/vertex_table.h"

namespace {

using namespace orvo;
using bench::Set;

void BM_Export(benchmark::State& state) {
  const Set set;
  ExportRequest r;
  r.output_path = "/tmp/orvo_export_bench.3di";
  r.slots = set.slots();
  r.jobs = static_cast<int>(state.range(0));
  ExportStats stats;
  std::array<double, 5> stages{};
  for (auto _ : state) {
    tools::Result<file3di::File3di> f = build_3di(r, &stats);
    if (!f) state.SkipWithError(f.error().message.c_str());
    tools::Result<std::string> bytes = file3di::encode_3di(*f);
    benchmark::DoNotOptimize(bytes);
    for (std::size_t i = 0; i < stages.size(); ++i) stages[i] += stats.stage_seconds[i];
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["faces_lod0"] = 0;
  for (const SubObject& s : set.levels[0]->subobjects) state.counters["faces_lod0"] += double(s.faces.size());
  state.counters["vertices_ms"] = 1e3 * stages[0] / n;
  state.counters["collision_ms"] = 1e3 * stages[1] / n;
  state.counters["sorting_ms"] = 1e3 * stages[2] / n;
  state.counters["strips_ms"] = 1e3 * stages[3] / n;
}
BENCHMARK(BM_Export)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The vertex table of level 0 built by the first-to-last search of every
// corner, as the hash look-up replaces it.
void BM_VertexTableLinearSearch(benchmark::State& state) {
  const Set set;
  CornerContext c;
  c.model = set.levels[0].get();
  std::vector<ExportVertex> corners;
  for (int p = 0; p < c.model->num_subobjects(); ++p) {
    const auto frames = corner_frames(c.model->subobjects[size_t(p)]);
    for (std::size_t f = 0; f < c.model->subobjects[size_t(p)].faces.size(); ++f)
      for (int k = 0; k < 3; ++k) corners.push_back(build_corner(c, p, int(f), frames, k));
  }
  for (auto _ : state) {
    std::vector<ExportVertex> table;
    if (state.range(0) == 0) {
      for (const ExportVertex& v : corners) {
        std::size_t i = 0;
        while (i < table.size() && !same_vertex(table[i], v)) ++i;
        if (i == table.size()) table.push_back(v);
      }
    } else {
      VertexTable t;
      for (const ExportVertex& v : corners) t.add(v);
      benchmark::DoNotOptimize(t.size());
    }
    benchmark::DoNotOptimize(table.size());
  }
  state.counters["corners"] = double(corners.size());
}
BENCHMARK(BM_VertexTableLinearSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The meshoptimizer pipeline of the same work as the export of `slots`:
// every corner's record built as the export builds it (frames, 120 bytes),
// welded by meshopt_generateVertexRemap over the whole record; per part and
// material of each level, the corners made local, a chain of 16 detail
// levels each simplified from the one before (meshopt_simplify, the same
// reduction fraction), every level stripified (meshopt_stripify); the welded
// vertices ordered by the lowest level's use first (meshopt_optimizeVertexFetch
// over the full lists of levels 3 to 0). Returns the index count written,
// so that nothing is left out as unused.
std::size_t meshopt_pipeline(const std::array<const Model*, 4>& slots) {
  struct Run {
    int lod;
    std::size_t first, count;  // corners
    int levels;
    float fraction;
  };
  std::vector<ExportVertex> corners;
  std::vector<Run> runs;
  for (int lod = 0; lod < 4 && slots[std::size_t(lod)] != nullptr; ++lod) {
    const Model& m = *slots[std::size_t(lod)];
    CornerContext c;
    c.model = &m;
    level_box(m, c.box_min, c.box_max);
    long faces = 0;
    for (const SubObject& s : m.subobjects) faces += long(s.faces.size());
    const float fraction = faces > 0 ? float(m.pm_polythresh) / float(faces) : 0.0f;
    for (int p = 0; p < m.num_subobjects(); ++p) {
      const SubObject& part = m.subobjects[std::size_t(p)];
      const auto frames = corner_frames(part);
      for (int mat = 0; mat < m.num_materials; ++mat) {
        if ((m.materials[std::size_t(mat)].render_attributes & kRenderDontDraw) != 0) continue;
        const std::size_t first = corners.size();
        for (std::size_t f = 0; f < part.faces.size(); ++f)
          if (part.faces[f].material == mat)
            for (int k = 0; k < 3; ++k) corners.push_back(build_corner(c, p, int(f), frames, k));
        if (corners.size() > first)
          runs.push_back({lod, first, corners.size() - first, m.pm_enable != 0 ? kDetailLevels : 1, fraction});
      }
    }
  }

  std::vector<unsigned> remap(corners.size());
  const std::size_t unique = meshopt_generateVertexRemap(remap.data(), nullptr, corners.size(), corners.data(),
                                                         corners.size(), sizeof(ExportVertex));
  std::vector<ExportVertex> vertices(unique);
  meshopt_remapVertexBuffer(vertices.data(), corners.data(), corners.size(), sizeof(ExportVertex), remap.data());

  std::size_t written = 0;
  std::array<std::vector<unsigned>, 4> full_lists;  // per level, welded indices
  std::vector<unsigned> local_of(unique, ~0u);
  for (const Run& r : runs) {
    // The run's vertices, numbered locally in order of first use.
    std::vector<unsigned> global, indices(r.count);
    std::vector<float> positions;
    for (std::size_t i = 0; i < r.count; ++i) {
      unsigned& l = local_of[remap[r.first + i]];
      if (l == ~0u) {
        l = unsigned(global.size());
        global.push_back(remap[r.first + i]);
        const Vec3& p = vertices[remap[r.first + i]].position;
        positions.insert(positions.end(), {p.x, p.y, p.z});
      }
      indices[i] = l;
    }
    for (unsigned g : global) local_of[g] = ~0u;
    for (unsigned i : indices) full_lists[std::size_t(r.lod)].push_back(global[i]);

    std::vector<unsigned> level = indices, next(indices.size());
    std::vector<unsigned> strip;
    const std::size_t triangles = indices.size() / 3;
    for (int g = 0; g < r.levels; ++g) {
      if (g > 0) {
        const double keep = 1.0 - double(g) * (1.0 - double(r.fraction)) / double(r.levels);
        const std::size_t target = std::size_t(double(triangles) * keep) * 3;
        next.resize(level.size());
        next.resize(meshopt_simplify(next.data(), level.data(), level.size(), positions.data(), global.size(),
                                     3 * sizeof(float), target, 1.0f, 0, nullptr));
        level.swap(next);
      }
      strip.resize(meshopt_stripifyBound(level.size()));
      strip.resize(meshopt_stripify(strip.data(), level.data(), level.size(), global.size(), 0));
      written += strip.size();
    }
  }

  std::vector<unsigned> order;
  for (int lod = 3; lod >= 0; --lod)
    order.insert(order.end(), full_lists[std::size_t(lod)].begin(), full_lists[std::size_t(lod)].end());
  std::vector<ExportVertex> ordered(unique);
  meshopt_optimizeVertexFetch(ordered.data(), order.data(), order.size(), vertices.data(), unique,
                              sizeof(ExportVertex));
  benchmark::DoNotOptimize(ordered.data());
  return written;
}

// Our export (one strip thread, the file's bytes made) and the
// meshoptimizer pipeline of the same work, each once per iteration on the
// same meshes: the counters give each one's milliseconds and the ratio
// ours / meshopt. Arg 0: 0 a four-level model, 1 a single part; arg 1: the
// faces of level 0.
void BM_ExportAgainstMeshopt(benchmark::State& state) {
  const int faces = int(state.range(1));
  std::array<std::unique_ptr<Model>, 4> owned;
  std::array<const Model*, 4> slots{};
  if (state.range(0) == 0) {
    bench::SizedSet set(faces);
    owned = std::move(set.levels);
    for (std::size_t i = 0; i < 4; ++i) slots[i] = owned[i].get();
  } else {
    owned[0] = bench::level_of(faces, 1);
    slots[0] = owned[0].get();
  }
  ExportRequest r;
  r.output_path = "/tmp/orvo_export_bench.3di";
  r.slots = slots;
  r.jobs = 1;
  using Clock = std::chrono::steady_clock;
  double ours = 0, meshopt = 0;
  std::array<double, 5> stages{};
  std::size_t vertices = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    ExportStats stats;
    tools::Result<file3di::File3di> f = build_3di(r, &stats);
    if (!f) {
      state.SkipWithError(f.error().message.c_str());
      break;
    }
    tools::Result<std::string> bytes = file3di::encode_3di(*f);
    benchmark::DoNotOptimize(bytes);
    const Clock::time_point t1 = Clock::now();
    benchmark::DoNotOptimize(meshopt_pipeline(slots));
    const Clock::time_point t2 = Clock::now();
    ours += std::chrono::duration<double>(t1 - t0).count();
    meshopt += std::chrono::duration<double>(t2 - t1).count();
    vertices = stats.vertex_count;
    for (std::size_t i = 0; i < stages.size(); ++i) stages[i] += stats.stage_seconds[i];
  }
  const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["ours_ms"] = 1e3 * ours / n;
  state.counters["meshopt_ms"] = 1e3 * meshopt / n;
  state.counters["ratio"] = meshopt > 0 ? ours / meshopt : 0;
  state.counters["vertices"] = double(vertices);
  state.counters["strips_ms"] = 1e3 * (stages[2] + stages[3]) / n;
}
BENCHMARK(BM_ExportAgainstMeshopt)
    ->ArgNames({"single_part", "faces"})
    ->Args({0, 10000})
    ->Args({0, 30000})
    ->Args({0, 50000})
    ->Args({1, 5000})
    ->Args({1, 20000})
    ->Args({1, 50000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A plain model of 100 000 faces in one level (about 50 000 positions),
// refused for more render vertices than the file holds.
void BM_RefuseTooManyVertices(benchmark::State& state) {
  const std::unique_ptr<Model> big = bench::level_of(100000);
  ExportRequest r;
  r.output_path = "/tmp/orvo_export_bench.3di";
  r.slots = {big.get(), nullptr, nullptr, nullptr};
  for (auto _ : state) {
    tools::Result<file3di::File3di> f = build_3di(r, nullptr);
    if (f) {
      state.SkipWithError("the model was not refused");
      break;
    }
    benchmark::DoNotOptimize(f.error().message);
  }
}
BENCHMARK(BM_RefuseTooManyVertices)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
