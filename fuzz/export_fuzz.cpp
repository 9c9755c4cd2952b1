// Fuzz target: small random models (one or two levels, a few parts, random
// materials, smoothing, colours, skinning, detail levels, markers and
// volumes) through the whole export. Besides the sanitizers, it checks that
// an export either succeeds with a file the reader takes back and writes
// again byte for byte, or fails with a message; and that every strip index
// lies within its span and the written vertices.
#define FUZZ_TARGET_NAME "export_fuzz"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "orvo/export/exporter.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace orvo;

float coordinate(FuzzedDataProvider& in) {
  return static_cast<float>(in.ConsumeIntegralInRange<int>(-400, 400)) / 8.0f;
}

std::unique_ptr<Model> level(FuzzedDataProvider& in, bool skinned) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->name = in.ConsumeBool() ? "lod" : "";
  m->threshold = coordinate(in);
  m->attributes = skinned ? 5 : 1;
  m->num_materials = in.ConsumeIntegralInRange(1, 4);
  for (int i = 0; i < m->num_materials; ++i) {
    ModelMaterial& mat = m->materials[static_cast<std::size_t>(i)];
    mat.render_attributes = in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() & 0x9f1f21 : 0;
    mat.color_type = in.ConsumeIntegralInRange(0, 2);
    mat.alpha_type = in.ConsumeIntegralInRange(0, 2);
    mat.multitexture_flags = in.ConsumeIntegralInRange(0, 3);
    mat.u_tiling = coordinate(in);
    mat.v_tiling = coordinate(in);
    mat.blending_mode = in.ConsumeIntegralInRange(0, 5);
    mat.shader_type = in.ConsumeIntegralInRange(0, 2);
    mat.actionplane_type = in.ConsumeIntegralInRange(0, 2);
    mat.projector_type = in.ConsumeIntegralInRange(0, 1);
    mat.anim_frames = in.ConsumeIntegralInRange(0, 3);
    mat.anim_sequence = in.ConsumeIntegralInRange(0, 13);
    mat.mapfunc_u.style = in.ConsumeIntegralInRange(0, 0x75);
    mat.mapfunc_u.rate = coordinate(in);
    mat.mapfunc_u.ctrlreg = "REG";
  }
  m->pm_enable = in.ConsumeBool() ? 1 : 0;
  m->pm_polythresh = in.ConsumeIntegralInRange(0, 100);
  m->fakeskin_z = in.ConsumeBool() ? 1 : 0;
  m->polycollision = in.ConsumeBool() ? 1 : 0;
  m->part_anim_enable = in.ConsumeBool() ? 1 : 0;
  const int parts = in.ConsumeIntegralInRange(1, 3);
  for (int p = 0; p < parts; ++p) {
    SubObject part;
    const int verts = in.ConsumeIntegralInRange(3, 24);
    for (int v = 0; v < verts; ++v) {
      Vertex x{coordinate(in), coordinate(in), coordinate(in)};
      for (std::size_t b = 0; b < 4; ++b) {
        x.bones[b] = in.ConsumeIntegralInRange(-1, 40);
        x.weights[b] = static_cast<float>(in.ConsumeIntegralInRange(0, 4)) / 4.0f;
      }
      part.verts.push_back(x);
      part.tverts.push_back({coordinate(in), coordinate(in)});
    }
    const int faces = in.ConsumeIntegralInRange(1, 40);
    const bool colours = in.ConsumeBool();
    for (int f = 0; f < faces; ++f) {
      Face face;
      for (std::size_t k = 0; k < 3; ++k) {
        face.v[k] = in.ConsumeIntegralInRange(0, verts - 1);
        face.t[k] = in.ConsumeIntegralInRange(0, verts - 1);
        face.edge[k] = in.ConsumeBool();
      }
      face.v[3] = face.v[0];
      face.t[3] = face.t[0];
      face.material = in.ConsumeIntegralInRange(0, m->num_materials - 1);
      face.smoothing = in.ConsumeIntegralInRange(0, 3);
      face.nz = in.ConsumeBool() ? 1.0f : -1.0f;
      part.faces.push_back(face);
      if (colours)
        part.facecolors.push_back({{in.ConsumeIntegral<int32_t>(), 0x102030, in.ConsumeBool() ? kNoFaceColour : 7}});
    }
    part.parent = in.ConsumeIntegralInRange(0, p);
    m->subobjects.push_back(part);
    CenterPoint c;
    c.x = coordinate(in);
    c.rows = {Row3{1, 0, 0}, Row3{0, in.ConsumeBool() ? 1.0f : 0.0f, 1}, Row3{0, 0, 1}, Row3{}};
    m->centers.push_back(c);
  }
  if (in.ConsumeBool()) {
    BoundingObject b;
    b.type = in.ConsumeIntegralInRange(0, 24);
    b.subobj = in.ConsumeIntegralInRange(0, 3);
    for (int v = 0; v < 4; ++v) b.verts.push_back({coordinate(in), coordinate(in), coordinate(in)});
    Face f;
    f.v = {0, 1, in.ConsumeIntegralInRange(0, 5), 0};
    b.faces.push_back(f);
    b.max_x = b.max_y = b.max_z = 1;
    m->bobj.push_back(b);
  }
  if (in.ConsumeBool()) {
    UserPoint u;
    u.name = "SX12-34";
    u.kind = in.ConsumeBool() ? 'L' : 'A';
    u.x = coordinate(in);
    m->userpts.push_back(u);
  }
  if (in.ConsumeBool()) m->lights.resize(1);
  return m;
}

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool skinned = in.ConsumeBool();
  std::unique_ptr<Model> lod0 = level(in, skinned);
  std::unique_ptr<Model> lod1 = in.ConsumeBool() ? level(in, skinned && in.ConsumeBool()) : nullptr;
  ExportRequest request;
  request.output_path = "fuzz.3di";
  request.slots = {lod0.get(), lod1.get(), nullptr, nullptr};
  request.jobs = in.ConsumeIntegralInRange(1, 3);
  const tools::Result<file3di::File3di> file = build_3di(request);
  if (!file) {
    FUZZ_CHECK(!file.error().message.empty());
    return 0;
  }
  const std::size_t vertices = file->vertex_count();
  for (const file3di::RModel& lod : file->lods) {
    const auto check = [&](const file3di::Strip& s) {
      for (uint16_t i : s.indices) FUZZ_CHECK(i <= s.vertex_span, i, s.vertex_span);
      if (!s.indices.empty())
        FUZZ_CHECK(s.base_vertex + s.vertex_span < vertices, s.base_vertex + s.vertex_span, vertices);
    };
    for (const file3di::LodPart& p : lod.parts)
      for (const file3di::StripGroup& g : p.levels) {
        for (const file3di::Strip& s : g.class0) check(s);
        for (const file3di::Strip& s : g.class1) check(s);
      }
    for (const file3di::Strip& s : lod.skin_group.class0) check(s);
  }
  const tools::Result<std::string> bytes = file3di::encode_3di(*file);
  if (!bytes) {
    FUZZ_CHECK(!bytes.error().message.empty());
    return 0;
  }
  const tools::Result<file3di::File3di> back = file3di::decode_3di(bytes_of(*bytes), "fuzz.3di");
  FUZZ_CHECK(back.ok(), bytes->size(), 0);
  const tools::Result<std::string> again = file3di::encode_3di(*back);
  FUZZ_CHECK(again.ok() && *again == *bytes, again.ok() ? again->size() : 0, bytes->size());
  return 0;
}
