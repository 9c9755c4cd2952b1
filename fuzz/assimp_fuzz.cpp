// Fuzz target: arbitrary bytes through the assimp reader (from memory, with
// a format hint) and, when it takes them, through the scene conversion. The
// first byte chooses the format (glTF, binary glTF, FBX, COLLADA, OBJ); the
// rest is the file. Besides the sanitizers, it checks what the conversion
// relies on: face corners, texture and colour indices inside their lists,
// flat materials that exist, one set of skin weights per vertex, result codes
// the commands understand. Assimp and the adapter's reading of its scene run
// in a child process, as for every user: the sanitizers watch there too,
// and a crash after assimp returned fails the run. A child that assimp
// crashes (or runs out of the fuzzer's memory limit) may still leave a
// crash file among the artifacts; the read gave a clean error, and only the
// fuzzer's own exit status counts.
#define FUZZ_TARGET_NAME "assimp_fuzz"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/import/assimp_scene.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"
#include "tools/test/fuzz_check.h"

namespace {

using namespace orvo;

constexpr std::array<std::string_view, 5> kHints = {"gltf", "glb", "fbx", "dae", "obj"};

bool index_ok(int32_t i, std::size_t size) {
  return i >= 0 && static_cast<std::size_t>(i) < size;
}

void check_scene(const ImportedScene& scene) {
  FUZZ_CHECK(!scene.objects.empty(), scene.objects.size(), 0);
  FUZZ_CHECK((scene.origin & kSceneOriginAse) != 0, scene.origin, 0);
  bool skinned = false;
  for (const MaxObject& o : scene.objects) {
    skinned = skinned || o.skinned;
    FUZZ_CHECK(o.weights.empty() || o.weights.size() == o.verts.size(), o.weights.size(), o.verts.size());
    FUZZ_CHECK(o.faces.empty() || !o.verts.empty(), o.faces.size(), o.verts.size());
    for (const SceneFace& f : o.faces) {
      for (std::size_t k = 0; k < 4; ++k) {
        FUZZ_CHECK(index_ok(f.v[k], o.verts.size()), f.v[k], o.verts.size());
        FUZZ_CHECK(index_ok(f.t[k], o.tverts.size()), f.t[k], o.tverts.size());
      }
      if (o.has_colours()) {
        for (std::size_t k = 0; k < 3; ++k) FUZZ_CHECK(index_ok(f.c[k], o.cverts.size()), f.c[k], o.cverts.size());
      }
      FUZZ_CHECK(f.flat_material == -1 || index_ok(f.flat_material, scene.materials.size()), f.flat_material,
                 scene.materials.size());
    }
  }
  FUZZ_CHECK(skinned == scene.skinned, skinned, scene.skinned);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static std::unique_ptr<Model> model = [] {
    auto m = std::make_unique<Model>();
    model_reset(*m);
    return m;
  }();
  if (size < 1) return 0;
  const std::string_view hint = kHints[data[0] % kHints.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  NullNotifier notifier;
  ImportedScene scene;
  const Status read = assimp_parse(bytes, hint, "fuzz." + std::string(hint), scene, notifier);
  if (!read) {
    const int code = read.code();
    FUZZ_CHECK(code == kAssimpCannotOpen || code == kAssimpBadScene, code, 0);
    FUZZ_CHECK(!read.error().message.empty(), code, 0);
    // Assimp reads in a child process, whose crashes are reported; a crash
    // after assimp returned is the adapter's own.
    FUZZ_CHECK(read.error().message.find("conversion of the scene assimp read crashed") == std::string::npos, code, 0);
    FUZZ_CHECK(scene.objects.empty(), scene.objects.size(), code);
    return 0;
  }
  check_scene(scene);

  model_reset(*model);
  StretchBoxTable boxes;
  const Result<ConversionReport> converted = convert_scene(*model, scene, kDefaultScaleFactor, boxes, notifier);
  FUZZ_CHECK(converted.ok() || converted.code() == kConvertRefused, converted.code(), 0);
  return 0;
}

// Assimp 5.2's COLLADA reader leaks parts of a document it gives up on, and
// its FBX reader the inflate state of a compressed array it gives up in the
// middle of (zlib's frames alone are on record there); those leaks are the
// library's, not the adapter's, and are not reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libassimp.so\nleak:inflateInit2_\n";
}
