// 3DI loader benchmark: the export benchmark's four-level model (about
// 30 000 render vertices and 100 000 strip indices) loaded and freed again
// and again (so the list of loaded models never answers), with and without
// the log, and the cost of one log line on its own (the log opens and closes
// its file for every line). Counters: the pool's high-water mark.
//
//   cmake --preset bench && cmake --build --preset bench --target loader_bench
//   build/bench/bench/loader_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "export_model_gen.h"
#include "orvo/export/exporter.h"
#include "orvo/viewer/model_loader.h"

namespace {

using namespace orvo;

const std::string kFolder = "/tmp/orvo_loader_bench";

std::string model_path(bool detail_levels) {
  return kFolder + (detail_levels ? "/LEVELS.3DI" : "/BENCH.3DI");
}

// Exports the model once per run, with the detail levels of the export
// benchmark (every part's strips once per level: about a million indices)
// or without them (about 100 000).
const file3di::File3di& bench_file(bool detail_levels) {
  static std::array<std::optional<file3di::File3di>, 2> files;
  std::optional<file3di::File3di>& slot = files[detail_levels ? 1 : 0];
  if (!slot)
    slot = [&] {
      const bench::Set set;
      if (!detail_levels)
        for (const auto& level : set.levels) level->pm_enable = 0;
      const std::string kModel = model_path(detail_levels);
      ExportRequest r;
      r.output_path = kModel;
      r.slots = set.slots();
      r.jobs = 2;
      tools::Result<file3di::File3di> f = build_3di(r);
      std::filesystem::create_directories(kFolder);
      tools::Result<std::string> bytes = file3di::encode_3di(*f);
      std::FILE* out = std::fopen(kModel.c_str(), "wb");
      std::fwrite(bytes->data(), 1, bytes->size(), out);
      std::fclose(out);
      return *f;
    }();
  return *slot;
}

void BM_Load(benchmark::State& state) {
  const bool with_log = state.range(0) != 0;
  const bool levels = state.range(1) != 0;
  const file3di::File3di& f = bench_file(levels);
  const std::string kModel = model_path(levels);
  MemoryPool pool;
  pool.initialise(kMainPoolSize, kPoolMasterId, "_fastmem.txt", kFolder);
  FileAccess files;
  ExportLog log(kFolder + "/3di_log.txt");
  ModelLoader loader(files, pool, with_log ? &log : nullptr);
  uint32_t indices = 0;
  for (auto _ : state) {
    render::Model* m = loader.load_model(kModel);
    if (m == nullptr) {
      state.SkipWithError(loader.last_error().c_str());
      break;
    }
    indices = m->running_index_count;
    loader.free_model(m);
  }
  state.counters["vertices"] = double(f.vertex_count());
  state.counters["indices"] = double(indices);
  state.counters["pool_peak_MiB"] = double(pool.stats().peak_used) / double(1 << 20);
}
BENCHMARK(BM_Load)
    ->ArgNames({"log", "levels"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LogLine(benchmark::State& state) {
  ExportLog log(kFolder + "/3di_log_lines.txt");
  std::filesystem::create_directories(kFolder);
  for (auto _ : state) log.line("Loading 'BENCH.3DI'\n");
}
BENCHMARK(BM_LogLine)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
