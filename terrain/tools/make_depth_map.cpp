// Writes the sample terrain's 1024 x 1024 depth map: fractal value noise over
// two hills and a winding valley. The output depends only on the seed, so the
// sample builds the same terrain everywhere.
//
//   make-depth-map OUT [SEED]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/base/atomic_write.h"
#include "tools/base/version.h"
#include "tools/cli/program.h"

namespace {

constexpr int kSize = 1024;

uint32_t hash(int x, int z, uint32_t seed) {
  uint32_t h = seed ^ (static_cast<uint32_t>(x) * 0x8da6b343u) ^ (static_cast<uint32_t>(z) * 0xd8163841u);
  h ^= h >> 13;
  h *= 0x85ebca6bu;
  h ^= h >> 16;
  return h;
}

// Smoothly interpolated lattice noise in [0, 1], tiling with `period` cells.
double value_noise(double x, double z, int period, uint32_t seed) {
  const int x0 = static_cast<int>(std::floor(x)), z0 = static_cast<int>(std::floor(z));
  const double fx = x - x0, fz = z - z0;
  const auto at = [&](int i, int j) {
    return (hash(((i % period) + period) % period, ((j % period) + period) % period, seed) & 0xffff) / 65535.0;
  };
  const double sx = fx * fx * (3 - 2 * fx), sz = fz * fz * (3 - 2 * fz);
  const double a = at(x0, z0) + (at(x0 + 1, z0) - at(x0, z0)) * sx;
  const double b = at(x0, z0 + 1) + (at(x0 + 1, z0 + 1) - at(x0, z0 + 1)) * sx;
  return a + (b - a) * sz;
}

// The depth map of `seed`, row by row.
std::vector<uint8_t> depth_map(uint32_t seed) {
  std::vector<uint8_t> map(static_cast<size_t>(kSize) * kSize);
  for (int z = 0; z < kSize; ++z) {
    for (int x = 0; x < kSize; ++x) {
      // Rolling ground: six octaves, each tiling the map so its edges meet.
      double h = 0, amplitude = 0.5;
      int cells = 4;
      for (int octave = 0; octave < 6; ++octave) {
        h += amplitude * value_noise(x * cells / double(kSize), z * cells / double(kSize), cells, seed + octave);
        amplitude *= 0.5;
        cells *= 2;
      }
      double height = 40 + 90 * h;
      // Two hills.
      const auto hill = [&](double cx, double cz, double radius, double top) {
        const double d2 = ((x - cx) * (x - cx) + (z - cz) * (z - cz)) / (radius * radius);
        return top * std::exp(-d2);
      };
      height += hill(300, 280, 150, 80) + hill(760, 700, 200, 60);
      // A valley winding from top to bottom.
      const double centre = 512 + 120 * std::sin(z * 2 * M_PI / kSize * 1.5);
      const double across = (x - centre) / 70.0;
      height -= 70 * std::exp(-across * across);
      map[static_cast<size_t>(z) * kSize + x] = static_cast<uint8_t>(std::clamp(height, 0.0, 255.0));
    }
  }
  return map;
}

constexpr const char* kProgram = "make-depth-map";

int run(int argc, char** argv) {
  CLI::App app{
      "Writes the sample terrain's 1024 x 1024 depth map (8-bit raw): fractal value noise over two hills "
      "and a winding valley, the same for the same seed everywhere."};
  app.set_version_flag("--version", std::string(kProgram) + " " + tools::kPackageVersion);
  std::string out;
  uint32_t seed = 1;
  app.add_option("OUT", out, "The depth map file to write (1 048 576 bytes)")->required();
  app.add_option("SEED", seed, "The noise seed (default 1)");
  if (std::optional<int> done = tools::cli::parse_command_line(app, kProgram, argc, argv)) return *done;
  const std::vector<uint8_t> map = depth_map(seed);
  const tools::Status written =
      tools::write_file_atomic(out, std::string_view(reinterpret_cast<const char*>(map.data()), map.size()));
  if (!written) {
    tools::cli::print_error(kProgram, written.error().message);
    return tools::cli::kExitIo;
  }
  return tools::cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  tools::set_temporary_owner("loamer");
  return tools::cli::run_main(kProgram, argc, argv, [&] { return run(argc, argv); });
}
