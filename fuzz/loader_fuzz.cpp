// Fuzz target: arbitrary bytes as a binary model loaded for the preview.
// Besides the sanitizers, it checks that a refused file leaves nothing in
// the pool and says why, that a loaded model's strips stay inside its
// vertices and tables, that every running index offset is the sum of the
// index counts before it, and that textures, materials and freeing work on
// whatever loaded.
#define FUZZ_TARGET_NAME "loader_fuzz"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "orvo/viewer/model_loader.h"
#include "tools/test/fuzz_check.h"

namespace {

class NullFactory : public orvo::TextureFactory {
 public:
  int32_t create_texture(const Request& r) override { return r.width % 2 == 0 ? 1 : 0; }
  int32_t create_texture_from_pixels(const std::string&, int w, int h, std::span<const uint32_t> px) override {
    FUZZ_CHECK(px.size() == static_cast<std::size_t>(w) * static_cast<std::size_t>(h), px.size(), w);
    FUZZ_CHECK(w <= orvo::kTextureSizeCap && h <= orvo::kTextureSizeCap, w, h);
    return 2;
  }
  int32_t create_material(const orvo::render::Material&, bool) override { return 3; }
  int32_t create_render_target(const orvo::render::Projector&) override { return 4; }
};

void check_strip(const orvo::render::Model& m, const orvo::render::Lod& lod, const orvo::render::Strip& s,
                 uint32_t& addr) {
  FUZZ_CHECK(s.addr == addr, s.addr, addr);
  addr += s.index_count;
  FUZZ_CHECK(s.material >= lod.materials.data() && s.material < lod.materials.data() + lod.materials.size(), 0, 0);
  FUZZ_CHECK(uint64_t{s.base_vertex} + s.vertex_span <= m.vertex_count, s.base_vertex, s.vertex_span);
  for (uint16_t i : s.indices) FUZZ_CHECK(i <= s.vertex_span, i, s.vertex_span);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/loader_fuzz_" + std::to_string(::getpid()) + ".3DI";
  static orvo::MemoryPool pool;
  static const bool ready = pool.initialise(8 << 20, orvo::kPoolMasterId, "_fastmem_fuzz.txt", "/tmp");
  FUZZ_CHECK(ready, 0, 0);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  orvo::FileAccess files;
  orvo::ModelLoader loader(files, pool, nullptr);
  loader.capabilities = orvo::RenderCapabilities::from_mask(size % 16);
  orvo::render::Model* m = loader.load_model(path);
  if (m == nullptr) {
    FUZZ_CHECK(!loader.last_error().empty(), 0, 0);
    FUZZ_CHECK(pool.stats().bytes_used == 0, pool.stats().bytes_used, 0);
    return 0;
  }
  uint32_t addr = 0;
  for (std::size_t l = 0; l < m->lod_count; ++l) {
    const orvo::render::Lod& lod = *m->lods[l];
    for (const orvo::render::Part& p : lod.parts)
      for (const orvo::render::StripGroup& g : p.levels) {
        for (const orvo::render::Strip& s : g.class0) check_strip(*m, lod, s, addr);
        for (const orvo::render::Strip& s : g.class1) check_strip(*m, lod, s, addr);
      }
    for (const orvo::render::Strip& s : lod.skin_group.class0) check_strip(*m, lod, s, addr);
    for (const orvo::render::Strip& s : lod.skin_group.class1) check_strip(*m, lod, s, addr);
    for (const orvo::render::ActionPlane& a : lod.action_planes) check_strip(*m, lod, a.strip, addr);
    for (const orvo::render::Material& mat : lod.materials)
      FUZZ_CHECK(mat.texture == nullptr ||
                     (mat.texture >= m->textures.data() && mat.texture < m->textures.data() + m->textures.size()),
                 0, 0);
  }
  FUZZ_CHECK(addr == m->running_index_count, addr, m->running_index_count);
  FUZZ_CHECK(m->vertex_bytes().size() <= size * 2, m->vertex_bytes().size(), size);
  NullFactory factory;
  loader.create_textures_and_materials(factory);
  FUZZ_CHECK(loader.checksums().size() == 1, loader.checksums().size(), 1);
  loader.free_model(m);
  FUZZ_CHECK(pool.stats().bytes_used == 0, pool.stats().bytes_used, 0);
  return 0;
}
