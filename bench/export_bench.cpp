// 3DI export benchmark: a generated four-level model of about 30 000 faces
// in level 0 (six closed parts, three materials of which one has a second
// texture layer, smoothing groups, detail levels on), exported whole and
// stage by stage; and, for comparison, the vertex table built with the
// first-to-last search instead of the hash look-up.
//
//   cmake --preset bench && cmake --build --preset bench --target export_bench
//   build/bench/bench/export_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <thread>

#include "export_model_gen.h"
#include "orvo/export/exporter.h"
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

}  // namespace

BENCHMARK_MAIN();
