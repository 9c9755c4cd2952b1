// 3DA metafile benchmarks: reading and writing a full material table (1000
// materials with every generator set), 64 part animations, both light
// generators and 64 light blocks.
//
//   cmake --preset bench && cmake --build --preset bench --target metafile_bench
//   build/bench/bench/metafile_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "orvo/model/metafile.h"

namespace {

using namespace orvo;

std::unique_ptr<Model> large_model() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  std::mt19937 rng(11);
  const auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
  const auto integer = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const auto generator = [&](float end) {
    Generator g;
    g.style = integer(0, 0x74);
    g.rate = real(0, 8);
    g.phase = real(0, 1);
    g.start = real(-4, 4);
    g.end = real(0, end);
    g.ctrlreg = integer(0, 1) ? "DOOR_03" : "";
    return g;
  };
  m->attributes = 1;
  m->threshold = 0.25f;
  m->num_materials = kMaxMaterials;
  for (int i = 0; i < kMaxMaterials; ++i) {
    ModelMaterial& mat = m->materials[static_cast<std::size_t>(i)];
    mat.name = "texture" + std::to_string(i) + ".tga";
    mat.description = "material number " + std::to_string(i);
    mat.render_attributes = integer(0, 3) * 65536;
    mat.multitexture_flags = integer(1, 2);
    mat.physical_attributes = integer(0, 8);
    mat.color_type = integer(0, 2);
    mat.alpha_type = integer(0, 2);
    mat.blending_mode = integer(1, 5);
    mat.use_alpha_pcx = integer(0, 1);
    mat.green_texture = "g" + std::to_string(i) + ".tga";
    mat.alpha_texture = "a" + std::to_string(i) + ".tga";
    mat.color_green = {static_cast<uint8_t>(integer(0, 255)), 4, 9};
    mat.color_alpha = {static_cast<uint8_t>(integer(0, 255)), 0, 0};
    mat.luminosity = integer(0, 100);
    mat.specular_intensity = integer(0, 100);
    mat.alpha_test = static_cast<uint8_t>(integer(0, 255));
    mat.u_offset = real(-1, 1);
    mat.v_offset = real(-1, 1);
    mat.u_tiling = real(0, 16);
    mat.v_tiling = real(0, 16);
    mat.mapfunc_u = generator(1);
    mat.mapfunc_v = generator(1);
    mat.rgbgen = ColorGenerator::defaults();
    mat.rgbgen.style = integer(0, 0x72);
    mat.rgbgen.ctrlreg = "AUDIO_BEAT";
    mat.alphagen = generator(255);
    mat.reflect_r = mat.reflect_g = mat.reflect_b = 255;
    mat.reflect_type = 258;
    mat.shader_type = integer(0, 20);
  }
  m->subobjects.resize(kMaxPartAnims);
  for (int i = 0; i < kMaxPartAnims; ++i) {
    PartAnimation& p = m->part_anims[static_cast<std::size_t>(i)];
    p.rotate_type = integer(0, 4);
    p.yaw_rate = real(-3, 3);
    p.yaw_func = generator(2);
    p.pitch_func = generator(2);
    p.scale_func = generator(2);
  }
  m->ambient = ColorGenerator::defaults();
  m->ambient.style = 0x18;
  m->direct = ColorGenerator::defaults();
  m->direct.style = 0x18;
  m->lights.resize(kMaxLightBlocks);
  for (int i = 0; i < kMaxLightBlocks; ++i) {
    ModelLight& l = m->lights[static_cast<std::size_t>(i)];
    l.name = "LP" + std::to_string(i) + " Lamp";
    l.colorgen = ColorGenerator::defaults();
    l.colorgen.ctrlreg = "FLICKER";
  }
  return m;
}

const tools::LocalTime kWhen{2026, 3, 7, 9, 5, 0};

void BM_MetafileRead(benchmark::State& state) {
  const std::string text = metafile_write(*large_model(), 0.3084f, kWhen, "artist");
  auto model = std::make_unique<Model>();
  MetafileInfo info;
  for (auto _ : state) {
    const Status s = metafile_parse(text, "large.3da", *model, info);
    if (!s) state.SkipWithError(s.error().message.c_str());
    benchmark::DoNotOptimize(model->num_materials);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_MetafileRead)->Unit(benchmark::kMillisecond);

void BM_MetafileWrite(benchmark::State& state) {
  const auto model = large_model();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = metafile_write(*model, 0.3084f, kWhen, "artist");
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MetafileWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
