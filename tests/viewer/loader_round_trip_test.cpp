// Exported models load back as exported: the sample set, the sample scenes
// and every corpus scene that converts, exported, written, loaded through
// the file access and compared with the file the exporter built: counts,
// strips in order with their running offsets, materials, and the checksum
// against a byte sum taken here from the file's own vertex records.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "orvo/export/exporter.h"
#include "orvo/import/model_files.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/recording_factory.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

namespace f3 = orvo::file3di;

template <class T>
uint32_t byte_sum(const T& value) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &value, sizeof b);
  uint32_t s = 0;
  for (uint8_t x : b) s += x;
  return s;
}

// The runtime vertex layout's byte sum: every field but the colour word.
uint32_t vertex_sum(const f3::File3di& f) {
  uint32_t s = 0;
  for (const f3::PlainVertex& v : f.plain_vertices)
    s += byte_sum(v.position) + byte_sum(v.normal) + byte_sum(v.uv1) + byte_sum(v.uv2);
  for (const f3::SkinnedVertex& v : f.skinned_vertices)
    s += byte_sum(v.position) + byte_sum(v.weights) + byte_sum(v.bones) + byte_sum(v.normal) + byte_sum(v.uv1) +
         byte_sum(v.uv2);
  return s;
}

struct Source {
  std::string name;
  std::array<std::unique_ptr<Model>, 4> slots;
  std::string folder;
};

std::vector<Source> sources() {
  std::vector<Source> out;
  auto fresh = [] {
    auto m = std::make_unique<Model>();
    model_reset(*m);
    return m;
  };
  ModelContext context;
  {
    Source s{"tank set", {fresh(), fresh(), fresh(), fresh()}, ORVO_SOURCE_DIR "/samples/tank"};
    model_read_lod_set(s.folder + "/tankh.3da",
                       {s.slots[0].get(), s.slots[1].get(), s.slots[2].get(), s.slots[3].get()}, context);
    out.push_back(std::move(s));
  }
  std::vector<std::string> scenes = {ORVO_SOURCE_DIR "/samples/soldier.ase", ORVO_SOURCE_DIR "/samples/vehicle.ase",
                                     ORVO_SOURCE_DIR "/samples/crate.asc"};
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(ORVO_CORPUS_DIR "/ase", ec)) scenes.push_back(e.path());
  for (const std::string& path : scenes) {
    Source s{path, {fresh()}, std::filesystem::path(path).parent_path()};
    if (!model_import_scene(path, *s.slots[0], context).ok() || s.slots[0]->subobjects.empty()) continue;
    if (path.ends_with("soldier.ase")) s.slots[0]->attributes |= kModelSkinned;
    out.push_back(std::move(s));
  }
  return out;
}

TEST(LoaderRoundTrip, ExportedModelsLoadBackAsExported) {
  tools::test::ScratchDir dir;
  MemoryPool pool;
  ASSERT_TRUE(pool.initialise(kMainPoolSize, kPoolMasterId, "_fastmem.txt", dir.path()));
  FileAccess files;
  ExportLog log(dir.file("3di_log.txt"));
  std::size_t loaded = 0, skinned = 0;
  for (Source& src : sources()) {
    SCOPED_TRACE(src.name);
    ExportRequest r;
    r.output_path = dir.file("model.3di");
    for (std::size_t i = 0; i < 4; ++i) r.slots[i] = src.slots[i].get();
    tools::Result<f3::File3di> f = build_3di(r);
    if (!f) continue;  // what the exporter refuses is the export tests' business
    tools::test::write_bytes(r.output_path, *f3::encode_3di(*f));

    ModelLoader loader(files, pool, &log);
    render::Model* m = loader.load_model(r.output_path);
    ASSERT_NE(m, nullptr) << loader.last_error();
    ++loaded;
    skinned += m->skinned ? 1 : 0;
    EXPECT_EQ(m->vertex_count, f->vertex_count());
    EXPECT_EQ(m->textures.size(), f->textures.size());
    EXPECT_EQ(m->collision->parts.size(), f->collision.parts.size());
    ASSERT_EQ(m->lod_count, f->lods.size());

    uint32_t addr = 0, passes = 0;
    for (std::size_t l = 0; l < f->lods.size(); ++l) {
      const f3::RModel& want = f->lods[l];
      const render::Lod& got = *m->lods[l];
      ASSERT_EQ(got.parts.size(), want.parts.size());
      ASSERT_EQ(got.materials.size(), want.materials.size());
      for (std::size_t i = 0; i < want.materials.size(); ++i) {
        EXPECT_EQ(got.materials[i].record.name, want.materials[i].name);
        EXPECT_EQ(got.materials[i].record.flags, want.materials[i].flags);
        passes += want.materials[i].second_layer != 0 ? 2 : 1;
      }
      std::size_t strips = 0;
      auto same = [&](const std::vector<f3::Strip>& a, std::span<render::Strip> b) {
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i, ++strips) {
          EXPECT_EQ(b[i].addr, addr);
          addr += static_cast<uint32_t>(a[i].indices.size());
          EXPECT_EQ(b[i].material - got.materials.data(), a[i].material);
          EXPECT_EQ(b[i].base_vertex, a[i].base_vertex);
          EXPECT_EQ(b[i].vertex_span, a[i].vertex_span);
          EXPECT_EQ(b[i].primitive, a[i].primitive);
          EXPECT_TRUE(std::equal(a[i].indices.begin(), a[i].indices.end(), b[i].indices.begin(), b[i].indices.end()));
        }
      };
      for (std::size_t p = 0; p < want.parts.size(); ++p) {
        ASSERT_EQ(got.parts[p].levels.size(), want.parts[p].levels.size());
        for (std::size_t k = 0; k < want.parts[p].levels.size(); ++k) {
          same(want.parts[p].levels[k].class0, got.parts[p].levels[k].class0);
          same(want.parts[p].levels[k].class1, got.parts[p].levels[k].class1);
        }
      }
      same(want.skin_group.class0, got.skin_group.class0);
      same(want.skin_group.class1, got.skin_group.class1);
      EXPECT_EQ(got.strips.size(), strips);
      for (std::size_t i = 0; i < want.action_planes.size(); ++i) {
        EXPECT_EQ(got.action_planes[i].strip.addr, addr);
        addr += static_cast<uint32_t>(want.action_planes[i].strip.indices.size());
      }
    }
    EXPECT_EQ(m->running_index_count, addr);

    RecordingTextureFactory textures(src.folder);
    loader.create_textures_and_materials(textures);
    EXPECT_EQ(m->material_passes, passes);
    ASSERT_EQ(loader.checksums().size(), 1u);
    EXPECT_EQ(loader.checksums()[0], vertex_sum(*f) + passes);
    loader.release_all();
    EXPECT_EQ(pool.stats().bytes_used, 0);
  }
  EXPECT_GE(loaded, 4u);
  EXPECT_GE(skinned, 1u);
}

}  // namespace
}  // namespace orvo
