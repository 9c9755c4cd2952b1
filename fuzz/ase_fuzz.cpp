// Fuzz target: arbitrary bytes through the ASE reader and, when the reader
// takes them, through the scene conversion. Besides the sanitizers, it checks
// what every later stage (export, preview, collision) relies on: indices that
// stay inside their arrays, result codes the commands understand, memory in
// proportion to the input, and a conversion that refuses nothing but skinned
// scenes with impossible bone numbers. Each input is also read a second time
// split between several threads (which the reader does only for large files
// on its own), and that reading must give exactly the one-thread result:
// scene, status and messages.
#define FUZZ_TARGET_NAME "ase_fuzz"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace orvo;

bool index_ok(int32_t i, std::size_t size) {
  return i >= 0 && static_cast<std::size_t>(i) < size;
}

// An index list that was never given stays 0; one that was given points into
// its list.
bool optional_index_ok(int32_t i, std::size_t size) {
  return size == 0 ? i == 0 : index_ok(i, size);
}

void check_scene(const ImportedScene& scene, std::size_t input_size) {
  FUZZ_CHECK(!scene.objects.empty(), scene.objects.size(), 0);
  // Memory in proportion to the input: every vertex, face, texture vertex
  // and colour vertex has an entry line of its own, its keyword at least ten
  // bytes long.
  std::size_t entries = 0;
  for (const MaxObject& o : scene.objects) {
    entries += o.verts.size() + o.faces.size() + o.tverts.size() + o.cverts.size();
  }
  FUZZ_CHECK(10 * entries <= input_size, entries, input_size);
  FUZZ_CHECK((scene.origin & kSceneOriginAse) != 0, scene.origin, 0);
  bool skinned = false;
  for (const MaxObject& o : scene.objects) {
    skinned = skinned || o.skinned;
    FUZZ_CHECK(o.weights.empty() || o.weights.size() == o.verts.size(), o.weights.size(), o.verts.size());
    for (const SceneFace& f : o.faces) {
      for (std::size_t k = 0; k < 3; ++k) {
        FUZZ_CHECK(index_ok(f.v[k], o.verts.size()), f.v[k], o.verts.size());
        FUZZ_CHECK(optional_index_ok(f.t[k], o.tverts.size()), f.t[k], o.tverts.size());
        FUZZ_CHECK(optional_index_ok(f.c[k], o.cverts.size()), f.c[k], o.cverts.size());
      }
      FUZZ_CHECK(f.v[3] == f.v[0], f.v[3], f.v[0]);
      FUZZ_CHECK(f.flat_material >= -1 && f.flat_material < static_cast<int32_t>(scene.materials.size()),
                 f.flat_material, scene.materials.size());
    }
  }
  FUZZ_CHECK(skinned == scene.skinned, skinned, scene.skinned);
  for (const SceneMaterial& m : scene.materials) FUZZ_CHECK(m.used, 0, 0);
}

// A skinned model: sub-objects numbered by bone (up to 999), every skin slot
// naming a sub-object (or -1 for an unweighted first slot), faces inside
// their arrays.
void check_skinned_model(const Model& model, const ImportedScene& scene) {
  const std::size_t nsub = model.subobjects.size();
  FUZZ_CHECK(nsub <= 999, nsub, 0);
  for (const SubObject& so : model.subobjects) {
    FUZZ_CHECK(index_ok(so.parent, nsub), so.parent, nsub);
    for (const Vertex& v : so.verts) {
      for (std::size_t k = 0; k < 4; ++k) FUZZ_CHECK(v.bones[k] == -1 || index_ok(v.bones[k], nsub), v.bones[k], nsub);
    }
    for (const Face& f : so.faces) {
      for (std::size_t k = 0; k < 4; ++k) FUZZ_CHECK(index_ok(f.v[k], so.verts.size()), f.v[k], so.verts.size());
      FUZZ_CHECK(index_ok(f.srcmat, model.srcmat.size()), f.srcmat, model.srcmat.size());
      FUZZ_CHECK(index_ok(f.max_object, scene.objects.size()), f.max_object, scene.objects.size());
    }
  }
  FUZZ_CHECK(model.attach.size() == nsub && model.centers.size() == nsub, model.attach.size(), model.centers.size());
}

void check_model(const Model& model, const ImportedScene& scene, const ConversionReport& report,
                 const StretchBoxTable& boxes) {
  FUZZ_CHECK(model.num_materials >= 0 && model.num_materials <= kMaxMaterials, model.num_materials, 0);
  FUZZ_CHECK(model.num_subobjects() == report.listed_subobjects, model.num_subobjects(), report.listed_subobjects);
  FUZZ_CHECK(model.num_subobjects() <= 99, model.num_subobjects(), 0);
  FUZZ_CHECK(static_cast<int>(boxes.boxes.size()) <= StretchBoxTable::kCapacity, boxes.boxes.size(), 0);
  FUZZ_CHECK((model.attributes & 1) == 1, model.attributes, 0);

  std::size_t scene_faces = 0;
  for (const MaxObject& o : scene.objects) scene_faces += o.faces.size();
  std::size_t model_faces = 0;
  const int material_slots = model.num_materials > 0 ? model.num_materials : 1;
  for (const SubObject& so : model.subobjects) {
    model_faces += so.faces.size();
    FUZZ_CHECK(so.facecolors.empty() || so.facecolors.size() == so.faces.size(), so.facecolors.size(), so.faces.size());
    FUZZ_CHECK(index_ok(so.parent, model.subobjects.size()), so.parent, model.subobjects.size());
    FUZZ_CHECK(so.num_bobj >= 0 && static_cast<std::size_t>(so.num_bobj) <= model.bobj.size(), so.num_bobj,
               model.bobj.size());
    for (const Vertex& v : so.verts) {
      FUZZ_CHECK(index_ok(v.subobj, 99) && index_ok(v.subobj2, 99), v.subobj, v.subobj2);
      FUZZ_CHECK(v.stretch == 0 || v.stretch == 1, v.stretch, 0);
    }
    for (const Face& f : so.faces) {
      for (std::size_t k = 0; k < 4; ++k) FUZZ_CHECK(index_ok(f.v[k], so.verts.size()), f.v[k], so.verts.size());
      FUZZ_CHECK(f.v[3] == f.v[0] && f.t[3] == f.t[0], f.v[3], f.t[3]);
      FUZZ_CHECK(index_ok(f.material, static_cast<std::size_t>(material_slots)), f.material, model.num_materials);
      FUZZ_CHECK(index_ok(f.srcmat, model.srcmat.size()), f.srcmat, model.srcmat.size());
      FUZZ_CHECK(index_ok(f.max_object, scene.objects.size()), f.max_object, scene.objects.size());
    }
  }
  FUZZ_CHECK(model_faces <= scene_faces, model_faces, scene_faces);

  for (const BoundingObject& b : model.bobj) {
    FUZZ_CHECK(b.subobj >= 0 && b.subobj2 >= 0, b.subobj, b.subobj2);
    FUZZ_CHECK(b.radius >= 0 || b.radius != b.radius, 0, 0);  // NaN from infinite input is tolerated
    for (const Face& f : b.faces) {
      for (std::size_t k = 0; k < 4; ++k) FUZZ_CHECK(index_ok(f.v[k], b.verts.size()), f.v[k], b.verts.size());
    }
  }
  FUZZ_CHECK(model.total_bobj_items == 6 * static_cast<int32_t>(model.bobj.size()), model.total_bobj_items,
             model.bobj.size());
  for (const UserPoint& u : model.userpts) FUZZ_CHECK(u.subobj >= 0, u.subobj, 0);
  for (const ModelLight& l : model.lights) FUZZ_CHECK(l.subobj >= 0 && l.subobj < 99, l.subobj, 0);
  for (const StretchBox& b : boxes.boxes) FUZZ_CHECK(b.subobj >= 0 && b.subobj2 >= 0, b.subobj, b.subobj2);
}

// Bit-exact equality of what two readings produced.
bool same(int32_t a, int32_t b) {
  return a == b;
}
bool same(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}
bool same(const Vec3& a, const Vec3& b) {
  return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}
bool same(const Row3& a, const Row3& b) {
  return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}
bool same(const SceneFace& a, const SceneFace& b) {
  return a.submat_id == b.submat_id && a.flat_material == b.flat_material && a.smoothing == b.smoothing && a.v == b.v &&
         a.edge == b.edge && a.t == b.t && a.c == b.c;
}
bool same(const SkinWeight& a, const SkinWeight& b) {
  for (std::size_t k = 0; k < 4; ++k) {
    if (!same(a.weights[k], b.weights[k])) return false;
  }
  return a.bones == b.bones;
}
bool same(const MaxObject& a, const MaxObject& b);
bool same(const SceneLight& a, const SceneLight& b);
bool same(const SceneMaterial& a, const SceneMaterial& b);
template <class T>
bool same(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!same(a[i], b[i])) return false;
  }
  return true;
}
bool same(const MaxObject& a, const MaxObject& b) {
  for (std::size_t r = 0; r < 4; ++r) {
    if (!same(a.rows[r], b.rows[r])) return false;
  }
  return a.name == b.name && a.parent == b.parent && a.bone == b.bone && a.material_ref == b.material_ref &&
         same(a.verts, b.verts) && same(a.weights, b.weights) && same(a.tverts, b.tverts) && same(a.faces, b.faces) &&
         same(a.cverts, b.cverts) && a.num_cvfaces == b.num_cvfaces && a.skinned == b.skinned && a.line == b.line;
}
bool same(const SceneLight& a, const SceneLight& b) {
  return a.name == b.name && same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z) && same(a.r, b.r) && same(a.g, b.g) &&
         same(a.b, b.b) && same(a.intensity, b.intensity) && same(a.atten_start, b.atten_start) &&
         same(a.atten_end, b.atten_end);
}
bool same(const SceneMaterial& a, const SceneMaterial& b) {
  for (std::size_t l = 0; l < 2; ++l) {
    if (!(a.diffuse[l] == b.diffuse[l]) || !(a.opacity[l] == b.opacity[l]) || !same(a.u_offset[l], b.u_offset[l]) ||
        !same(a.v_offset[l], b.v_offset[l]) || !same(a.u_tiling[l], b.u_tiling[l]) ||
        !same(a.v_tiling[l], b.v_tiling[l])) {
      return false;
    }
  }
  return a.name == b.name && a.flags == b.flags && a.used == b.used;
}

void check_same_reading(const Status& s1, const ImportedScene& a, const RecordingNotifier& n1, const Status& s2,
                        const ImportedScene& b, const RecordingNotifier& n2) {
  FUZZ_CHECK(s1.code() == s2.code(), s1.code(), s2.code());
  if (!s1.ok()) FUZZ_CHECK(s1.error().message == s2.error().message, s1.code(), 0);
  FUZZ_CHECK(n1.lines == n2.lines, n1.lines.size(), n2.lines.size());
  FUZZ_CHECK(n1.statuses == n2.statuses, n1.statuses.size(), n2.statuses.size());
  FUZZ_CHECK(n1.messages.size() == n2.messages.size(), n1.messages.size(), n2.messages.size());
  for (std::size_t i = 0; i < n1.messages.size(); ++i) {
    FUZZ_CHECK(n1.messages[i].text == n2.messages[i].text && n1.messages[i].caption == n2.messages[i].caption, i, 0);
  }
  if (!s1.ok()) return;
  FUZZ_CHECK(a.name == b.name && a.skinned == b.skinned && a.origin == b.origin, a.skinned, b.skinned);
  FUZZ_CHECK(same(a.objects, b.objects), a.objects.size(), b.objects.size());
  FUZZ_CHECK(same(a.lights, b.lights), a.lights.size(), b.lights.size());
  FUZZ_CHECK(same(a.materials, b.materials), a.materials.size(), b.materials.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // A Model holds its material table inline (about a megabyte): one for the
  // whole run, reset before every conversion as the tool does.
  static std::unique_ptr<Model> model = [] {
    auto m = std::make_unique<Model>();
    model_reset(*m);
    return m;
  }();

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  AseParseOptions one_thread;
  one_thread.threads = 1;
  RecordingNotifier told;
  ImportedScene scene;
  const Status parsed = ase_parse(text, "fuzz.ase", scene, told, one_thread);
  {
    // The same text cut between 2 to 4 threads, however small it is.
    AseParseOptions split;
    split.threads = 2 + size % 3;
    split.min_bytes_per_thread = 1;
    RecordingNotifier told_split;
    ImportedScene scene_split;
    const Status parsed_split = ase_parse(text, "fuzz.ase", scene_split, told_split, split);
    check_same_reading(parsed, scene, told, parsed_split, scene_split, told_split);
  }
  NullNotifier notifier;
  if (!parsed) {
    // A parse error names its line (negative code); the only other refusal
    // is a scene without objects.
    const int code = parsed.code();
    FUZZ_CHECK(code < 0 || code == kAseNoObjects, code, 0);
    FUZZ_CHECK(!parsed.error().message.empty(), code, 0);
    FUZZ_CHECK(scene.objects.empty() || code < 0, scene.objects.size(), code);
    return 0;
  }
  check_scene(scene, size);

  model_reset(*model);
  StretchBoxTable boxes;
  const Result<ConversionReport> converted = convert_scene(*model, scene, kDefaultScaleFactor, boxes, notifier);
  if (scene.skinned) {
    // Refused only for bone numbers beyond the sub-object lists.
    if (!converted) {
      FUZZ_CHECK(converted.code() == kConvertRefused, converted.code(), 0);
      return 0;
    }
    check_skinned_model(*model, scene);
    return 0;
  }
  FUZZ_CHECK(converted.ok(), converted.code(), 0);
  check_model(*model, scene, *converted, boxes);
  return 0;
}
