// A deterministic generator of a large 3ds Max ASCII scene for the reader
// benchmarks: a vehicle of numbered sub-objects ("01 Hull", "02 Turret", ...),
// each a dense ring mesh with node rows, texture and colour vertices, on a
// material list of multi-materials with bitmaps, plus centre points,
// attachment points and lamps. The same options always give the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::bench {

struct SceneOptions {
  int subobjects = 40;  // numbered geometry objects
  int segments = 64;    // vertices around each ring
  int rings_min = 84;   // rings per object vary between these two
  int rings_max = 150;
  int materials = 20;    // top-level multi-materials
  int submaterials = 3;  // sub-materials of each
};

// The small variant, for profilers that run the program many times slower.
SceneOptions small_scene_options();

struct SceneStats {
  std::uint64_t bytes = 0;
  std::uint64_t vertices = 0;
  std::uint64_t faces = 0;
  int objects = 0;
};

// Counts what the scene holds without writing it.
SceneStats measure_scene(const SceneOptions& options);

// Makes sure `path` holds the scene: a file of exactly the scene's size is
// taken as it is, anything else is written anew (through a temporary file
// that is renamed over it). Returns the scene's figures; throws
// std::runtime_error when the file cannot be written.
SceneStats ensure_scene_file(const std::string& path, const SceneOptions& options);

// Where the benchmarks keep their scenes unless told otherwise
// (ORVO_BENCH_ASE names another file for the large one).
std::string default_scene_path();
std::string default_small_scene_path();

}  // namespace orvo::bench
