// Fuzz target: arbitrary bytes through the ASC reader and, when the reader
// takes them, through the scene conversion. Besides the sanitizers, it checks
// what the conversion and every later stage rely on: indices that stay inside
// their arrays, one texture vertex per vertex, result codes the commands
// understand, memory in proportion to the input, and a conversion that gives
// every face the one shared unnamed source material.
#define FUZZ_TARGET_NAME "asc_fuzz"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "orvo/import/asc.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace orvo;

bool index_ok(int32_t i, std::size_t size) {
  return i >= 0 && static_cast<std::size_t>(i) < size;
}

void check_scene(const ImportedScene& scene, std::size_t input_size) {
  FUZZ_CHECK(!scene.objects.empty(), scene.objects.size(), 0);
  FUZZ_CHECK(scene.origin == 0 && !scene.skinned, scene.origin, scene.skinned);
  FUZZ_CHECK(scene.lights.empty() && scene.materials.empty(), scene.lights.size(), scene.materials.size());
  // Every vertex and face needs an entry line of its own ("Vertex i",
  // "Face i"), of six bytes at least.
  std::size_t entries = 0;
  for (const MaxObject& o : scene.objects) {
    FUZZ_CHECK(o.tverts.size() == o.verts.size(), o.tverts.size(), o.verts.size());
    FUZZ_CHECK(o.faces.empty() || !o.verts.empty(), o.faces.size(), o.verts.size());
    FUZZ_CHECK(o.weights.empty() && o.cverts.empty() && !o.skinned, o.weights.size(), o.cverts.size());
    entries += o.verts.size() + o.faces.size();
    for (const SceneFace& f : o.faces) {
      for (std::size_t k = 0; k < 4; ++k) {
        FUZZ_CHECK(index_ok(f.v[k], o.verts.size()), f.v[k], o.verts.size());
        FUZZ_CHECK(index_ok(f.t[k], o.tverts.size()), f.t[k], o.tverts.size());
      }
      FUZZ_CHECK(f.v[3] == f.v[0] && f.t == f.v, f.v[3], f.v[0]);
      FUZZ_CHECK(f.flat_material == -1, f.flat_material, 0);
    }
  }
  FUZZ_CHECK(6 * entries <= input_size, entries, input_size);
}

void check_model(const Model& model, const ImportedScene& scene, const ConversionReport& report) {
  FUZZ_CHECK(model.num_subobjects() == report.listed_subobjects, model.num_subobjects(), report.listed_subobjects);
  FUZZ_CHECK((model.attributes & 1) == 0, model.attributes, 0);
  FUZZ_CHECK(model.srcmat.size() <= 1, model.srcmat.size(), 0);
  const int material_slots = model.num_materials > 0 ? model.num_materials : 1;
  for (const SubObject& so : model.subobjects) {
    FUZZ_CHECK(so.facecolors.empty(), so.facecolors.size(), 0);
    FUZZ_CHECK(index_ok(so.parent, model.subobjects.size()), so.parent, model.subobjects.size());
    for (const Face& f : so.faces) {
      for (std::size_t k = 0; k < 4; ++k) {
        FUZZ_CHECK(index_ok(f.v[k], so.verts.size()), f.v[k], so.verts.size());
        FUZZ_CHECK(index_ok(f.t[k], so.tverts.size()), f.t[k], so.tverts.size());
      }
      FUZZ_CHECK(f.srcmat == 0 && model.srcmat.size() == 1, f.srcmat, model.srcmat.size());
      FUZZ_CHECK(index_ok(f.material, static_cast<std::size_t>(material_slots)), f.material, model.num_materials);
      FUZZ_CHECK(index_ok(f.max_object, scene.objects.size()), f.max_object, scene.objects.size());
    }
  }
  for (const BoundingObject& b : model.bobj) {
    for (const Face& f : b.faces) {
      for (std::size_t k = 0; k < 4; ++k) FUZZ_CHECK(index_ok(f.v[k], b.verts.size()), f.v[k], b.verts.size());
    }
  }
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
  NullNotifier notifier;
  ImportedScene scene;
  const Status parsed = asc_parse(text, "fuzz.asc", scene, notifier);
  if (!parsed) {
    // A parse error names its line (negative code); the only other refusal
    // is a file without a triangle mesh. Nothing half-read is left.
    const int code = parsed.code();
    FUZZ_CHECK(code < 0 || code == kAscNoMesh, code, 0);
    FUZZ_CHECK(!parsed.error().message.empty(), code, 0);
    FUZZ_CHECK(scene.objects.empty(), scene.objects.size(), code);
    return 0;
  }
  check_scene(scene, size);

  model_reset(*model);
  StretchBoxTable boxes;
  const Result<ConversionReport> converted = convert_scene(*model, scene, kDefaultScaleFactor, boxes, notifier);
  FUZZ_CHECK(converted.ok(), converted.code(), 0);
  check_model(*model, scene, *converted);
  return 0;
}
