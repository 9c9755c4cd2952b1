#pragma once
// The two floor textures the preview draws under the model, as 32-bit
// texels 0xAARRGGBB, row by row (texel (x, y) at y × width + x).

#include <cstdint>
#include <vector>

namespace orvo::render {

inline constexpr int kFloorTextureSize = 256;  // both textures are 256 × 256

// A checkerboard of 8-texel squares: 0x08908078 where ((x xor y) and 8) is
// non-zero, else 0x80485060.
std::vector<uint32_t> floor_checker_texels();

// A light grey speckle whose alpha carries the pattern: a 512 × 512 field of
// random values 0..1023 (the portable random generator seeded 1, filled row
// by row) smoothed nine times with a wrapping 3 × 3 filter, then sampled at
// five scales per texel. Alpha b lies in 15..159 and every colour channel is
// (b >> 5) + 248. The same texels on every machine and every run.
std::vector<uint32_t> floor_noise_texels();

}  // namespace orvo::render
