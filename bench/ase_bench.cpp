// Throughput of the ASE import: our reader and scene conversion against
// Assimp's ASE importer on the same large generated scene.
//
//   build/bench/bench/ase_bench [benchmark flags]
//
// The scene (over 100 MB) is written to /tmp/orvo_bench_scene.ase, or to the
// file ORVO_BENCH_ASE names, and reused while its size is right. After the
// benchmarks a summary compares the two readers; the goals are parse +
// convert at 300 MB/s or more and at least 3 times Assimp's speed.
//
// Both imports run in two heap states. fresh_heap:1 gives the allocator's
// free memory back to the system before every import (outside the timing),
// so each import pays for touching new pages as a one-off import in a new
// process does; on virtual machines where a page fault is expensive this
// is a large part of the time. fresh_heap:0 lets an import reuse the pages
// the previous one freed: the computing alone. So that the heap state does
// not depend on glibc's heuristics (large blocks are otherwise mapped and
// unmapped on every allocation, and which benchmark ran before matters),
// the program serves every block from the heap and never trims it by itself.
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <assimp/Importer.hpp>

#include <malloc.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <string>

#include "ase_scene_gen.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_path;
orvo::bench::SceneStats g_stats;
// Bytes per second over all iterations, for the comparison; index: fresh_heap.
std::array<double, 2> g_orvo_rate{};
std::array<double, 2> g_assimp_rate{};

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void finish(benchmark::State& state, double seconds, double* rate_out) {
  const double bytes = static_cast<double>(g_stats.bytes) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["faces"] = static_cast<double>(g_stats.faces);
  state.counters["MB/s"] = seconds > 0 ? bytes / seconds / 1e6 : 0;
  if (rate_out != nullptr && seconds > 0) *rate_out = bytes / seconds;
}

// Hands the allocator's free memory back to the system, outside the timing.
void release_free_memory(benchmark::State& state, bool fresh_heap) {
  if (!fresh_heap) return;
  state.PauseTiming();
  malloc_trim(0);
  state.ResumeTiming();
}

// The import as the tool does it: read the file, parse it, convert the scene
// into a Model that was reset first.
void BM_OrvoLoadConvert(benchmark::State& state) {
  const bool fresh_heap = state.range(0) != 0;
  auto model = std::make_unique<orvo::Model>();
  orvo::NullNotifier notifier;
  std::size_t faces = 0;
  double seconds = 0;
  for (auto _ : state) {
    release_free_memory(state, fresh_heap);
    const auto t0 = Clock::now();
    {
      orvo::ImportedScene scene;
      if (tools::Status s = orvo::ase_load(g_path, scene, notifier); !s) {
        state.SkipWithError(s.error().message.c_str());
        return;
      }
      orvo::model_reset(*model);
      orvo::StretchBoxTable boxes;
      auto converted = orvo::convert_scene(*model, scene, orvo::kDefaultScaleFactor, boxes, notifier);
      if (!converted) {
        state.SkipWithError(converted.error().message.c_str());
        return;
      }
      faces = 0;
      for (const orvo::SubObject& so : model->subobjects) faces += so.faces.size();
      benchmark::DoNotOptimize(faces);
    }
    seconds += seconds_since(t0);
  }
  finish(state, seconds, &g_orvo_rate[fresh_heap]);
  state.counters["model_faces"] = static_cast<double>(faces);
}
BENCHMARK(BM_OrvoLoadConvert)
    ->ArgName("fresh_heap")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

// Assimp's ReadFile on the same file, with no post-processing steps.
void BM_AssimpReadFile(benchmark::State& state) {
  const bool fresh_heap = state.range(0) != 0;
  Assimp::Importer importer;
  std::size_t faces = 0;
  double seconds = 0;
  for (auto _ : state) {
    release_free_memory(state, fresh_heap);
    const auto t0 = Clock::now();
    const aiScene* scene = importer.ReadFile(g_path, 0);
    if (scene == nullptr) {
      state.SkipWithError(importer.GetErrorString());
      return;
    }
    faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) faces += scene->mMeshes[i]->mNumFaces;
    benchmark::DoNotOptimize(faces);
    importer.FreeScene();
    seconds += seconds_since(t0);
  }
  finish(state, seconds, &g_assimp_rate[fresh_heap]);
  state.counters["assimp_faces"] = static_cast<double>(faces);
  if (g_assimp_rate[fresh_heap] > 0 && g_orvo_rate[fresh_heap] > 0) {
    state.counters["orvo_speedup"] = g_orvo_rate[fresh_heap] / g_assimp_rate[fresh_heap];
  }
}
BENCHMARK(BM_AssimpReadFile)
    ->ArgName("fresh_heap")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

// The parts of our import on their own, to see where the time goes (with the
// heap warm: what they compute, less what fresh pages cost).
void BM_OrvoReadFile(benchmark::State& state) {
  const auto t0 = Clock::now();
  for (auto _ : state) {
    auto text = tools::read_file(g_path, SIZE_MAX);
    if (!text) {
      state.SkipWithError(text.error().message.c_str());
      return;
    }
    benchmark::DoNotOptimize(text->data());
  }
  finish(state, seconds_since(t0), nullptr);
}
BENCHMARK(BM_OrvoReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OrvoParse(benchmark::State& state) {
  auto text = tools::read_file(g_path, SIZE_MAX);
  if (!text) {
    state.SkipWithError(text.error().message.c_str());
    return;
  }
  orvo::NullNotifier notifier;
  const auto t0 = Clock::now();
  for (auto _ : state) {
    orvo::ImportedScene scene;
    if (tools::Status s = orvo::ase_parse(*text, g_path, scene, notifier); !s) {
      state.SkipWithError(s.error().message.c_str());
      return;
    }
    benchmark::DoNotOptimize(scene.objects.data());
  }
  finish(state, seconds_since(t0), nullptr);
}
BENCHMARK(BM_OrvoParse)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OrvoConvert(benchmark::State& state) {
  orvo::NullNotifier notifier;
  orvo::ImportedScene scene;
  if (tools::Status s = orvo::ase_load(g_path, scene, notifier); !s) {
    state.SkipWithError(s.error().message.c_str());
    return;
  }
  auto model = std::make_unique<orvo::Model>();
  const auto t0 = Clock::now();
  for (auto _ : state) {
    orvo::model_reset(*model);
    orvo::StretchBoxTable boxes;
    auto converted = orvo::convert_scene(*model, scene, orvo::kDefaultScaleFactor, boxes, notifier);
    benchmark::DoNotOptimize(converted);
  }
  // Bytes of the file the scene came from, so the rates add up with the parse.
  finish(state, seconds_since(t0), nullptr);
}
BENCHMARK(BM_OrvoConvert)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  g_path = orvo::bench::default_scene_path();
  try {
    const auto t0 = Clock::now();
    g_stats = orvo::bench::ensure_scene_file(g_path, orvo::bench::SceneOptions{});
    std::fprintf(stderr, "scene: %s, %.1f MB, %llu faces, %llu vertices, %d objects (ready in %.1f s)\n",
                 g_path.c_str(), static_cast<double>(g_stats.bytes) / 1e6,
                 static_cast<unsigned long long>(g_stats.faces), static_cast<unsigned long long>(g_stats.vertices),
                 g_stats.objects, seconds_since(t0));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ase_bench: %s\n", e.what());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int fresh = 1; fresh >= 0; --fresh) {
    const double orvo = g_orvo_rate[fresh], assimp = g_assimp_rate[fresh];
    if (orvo <= 0 || assimp <= 0) continue;
    std::printf("%s heap: parse+convert %.0f MB/s (goal 300: %s), Assimp %.0f MB/s, %.2fx Assimp (goal 3x: %s)\n",
                fresh ? "fresh" : "warm ", orvo / 1e6, orvo >= 300e6 ? "met" : "MISSED", assimp / 1e6, orvo / assimp,
                orvo / assimp >= 3.0 ? "met" : "MISSED");
  }
  return 0;
}
