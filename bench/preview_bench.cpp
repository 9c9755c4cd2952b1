// One preview frame of the sample tank at 1280 x 720 on the OpenGL device
// (Mesa's llvmpipe under xvfb-run on a headless machine):
//
//   xvfb-run -a env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 build/bench/bench/preview_bench
//
// Counters: our_ms, the CPU time of our own code per frame (part motion,
// generators, pass planning and the GL submission); raster_ms, the time the
// driver then needs to finish the frame (llvmpipe's rasterisation, apart
// from ours); draw_calls per frame.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <chrono>
#include <filesystem>

#include "orvo/app/export_command.h"
#include "orvo/import/model_files.h"
#include "orvo/runtime/gl/gl_context.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/gl/gl_preview.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

std::string export_sample() {
  std::array<std::unique_ptr<orvo::Model>, 4> models;
  std::array<orvo::Model*, 4> levels{};
  for (std::size_t i = 0; i < 4; ++i) {
    models[i] = std::make_unique<orvo::Model>();
    orvo::model_reset(*models[i]);
    levels[i] = models[i].get();
  }
  orvo::ModelContext context;
  const std::string samples = std::string(ORVO_SOURCE_DIR) + "/samples";
  orvo::model_read_lod_set(samples + "/tank/tankh.3da", levels, context);
  const std::string out = (std::filesystem::temp_directory_path() / "orvo-preview-bench.3di").string();
  if (!orvo::export_slots(levels, out, samples + "/textures", -1, 1, nullptr, nullptr)) return {};
  return out;
}

void BM_PreviewFrame(benchmark::State& state) {
  std::string error;
  std::unique_ptr<orvo::OffscreenGl> gl = orvo::OffscreenGl::create(&error);
  if (gl == nullptr || !gl->make_current()) {
    state.SkipWithError(("no OpenGL 3.3 context: " + error).c_str());
    return;
  }
  auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl->context());
  orvo::start_memory_pools();
  orvo::OffscreenFramebuffer target(gl->context());
  target.resize(kWidth, kHeight);

  const std::string model = export_sample();
  orvo::GlPreview preview(gl->context());
  preview.set_texture_folder(std::string(ORVO_SOURCE_DIR) + "/samples/textures/");
  if (model.empty() || !preview.load(model, 3, &error)) {
    state.SkipWithError(("the sample cannot be loaded: " + error).c_str());
    return;
  }
  orvo::PreviewView view;
  view.zoom = 3.0f;
  double ours = 0, raster = 0;
  int calls = 0;
  uint64_t t = 0;
  for (auto _ : state) {
    view.time_ms = t;
    t += 16;
    const orvo::PreviewFrameInfo info = preview.draw(view, kWidth, kHeight);
    const auto before = std::chrono::steady_clock::now();
    f->glFinish();
    raster += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
    ours += info.cpu_ms;
    calls = info.draw_calls;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["our_ms"] = ours / n;
  state.counters["raster_ms"] = raster / n;
  state.counters["draw_calls"] = calls;
  preview.release();
  std::filesystem::remove(model);
}
BENCHMARK(BM_PreviewFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
