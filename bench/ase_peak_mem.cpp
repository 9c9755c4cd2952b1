// Imports one ASE scene once (read, parse, convert) and reports the time and
// the process's peak resident memory against the file's size, so that the
// peak can be checked alone or under `/usr/bin/time -v`.
//
//   ase_peak_mem [--small] [--assimp] [--generate-only] [PATH]
//
// Without PATH it uses the benchmark scene (generated when missing, as
// ase_bench does); --small uses the small scene instead (for profilers such
// as callgrind); --assimp imports with Assimp instead of our reader;
// --generate-only writes the scene and stops. The goal for our reader is a
// peak below 3 times the file size.
#include <sys/resource.h>
#include <sys/stat.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "ase_scene_gen.h"
#include "orvo/import/ase.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"

namespace {

double peak_rss_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

int usage() {
  std::fprintf(stderr, "usage: ase_peak_mem [--small] [--assimp] [--generate-only] [PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool small = false, assimp = false, generate_only = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--small") {
      small = true;
    } else if (arg == "--assimp") {
      assimp = true;
    } else if (arg == "--generate-only") {
      generate_only = true;
    } else if (arg == "-h" || arg == "--help") {
      usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage();
    } else if (path.empty()) {
      path = arg;
    } else {
      return usage();
    }
  }

  const bool generated_scene = path.empty() || generate_only;
  if (path.empty()) path = small ? orvo::bench::default_small_scene_path() : orvo::bench::default_scene_path();
  if (generated_scene) {
    try {
      const auto options = small ? orvo::bench::small_scene_options() : orvo::bench::SceneOptions{};
      const auto stats = orvo::bench::ensure_scene_file(path, options);
      std::printf("scene: %s, %llu bytes, %llu faces\n", path.c_str(), static_cast<unsigned long long>(stats.bytes),
                  static_cast<unsigned long long>(stats.faces));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ase_peak_mem: %s\n", e.what());
      return 1;
    }
    if (generate_only) return 0;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    std::fprintf(stderr, "ase_peak_mem: %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  const double file_mb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);
  const double before_mb = peak_rss_mb();

  const auto t0 = std::chrono::steady_clock::now();
  std::size_t faces = 0;
  if (assimp) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene == nullptr) {
      std::fprintf(stderr, "ase_peak_mem: %s: %s\n", path.c_str(), importer.GetErrorString());
      return 1;
    }
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) faces += scene->mMeshes[i]->mNumFaces;
  } else {
    orvo::NullNotifier notifier;
    auto model = std::make_unique<orvo::Model>();
    orvo::model_reset(*model);
    orvo::ImportedScene scene;
    if (tools::Status s = orvo::ase_load(path, scene, notifier); !s) {
      std::fprintf(stderr, "ase_peak_mem: %s\n", s.error().message.c_str());
      return 1;
    }
    orvo::StretchBoxTable boxes;
    auto converted = orvo::convert_scene(*model, scene, orvo::kDefaultScaleFactor, boxes, notifier);
    if (!converted) {
      std::fprintf(stderr, "ase_peak_mem: %s\n", converted.error().message.c_str());
      return 1;
    }
    for (const orvo::SubObject& so : model->subobjects) faces += so.faces.size();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double peak_mb = peak_rss_mb();
  std::printf("%s: %.1f MiB, %zu faces in %.3f s (%.0f MB/s)\n", assimp ? "assimp" : "orvo", file_mb, faces, seconds,
              static_cast<double>(st.st_size) / seconds / 1e6);
  std::printf("peak RSS %.1f MiB (%.1f MiB before the import) = %.2f x the file size\n", peak_mb, before_mb,
              peak_mb / file_mb);
  return 0;
}
