#include "orvo/viewer/preview_floor.h"

#include <algorithm>
#include <cstdlib>

#include "orvo/model/generators.h"

namespace orvo::render {

std::vector<uint32_t> floor_checker_texels() {
  std::vector<uint32_t> texels(kFloorTextureSize * kFloorTextureSize);
  for (int y = 0; y < kFloorTextureSize; ++y)
    for (int x = 0; x < kFloorTextureSize; ++x)
      texels[y * kFloorTextureSize + x] = ((x ^ y) & 8) != 0 ? 0x08908078u : 0x80485060u;
  return texels;
}

namespace {

constexpr int kField = 512;  // the noise field is kField × kField, wrapping
constexpr int kMask = kField - 1;
constexpr int kSmoothingPasses = 9;

// One pass of the wrapping 3 × 3 filter: weight 3 on the diagonals, 4 on the
// centre and the edge neighbours (32 in all), the sum divided by 32.
void smooth(const std::vector<int32_t>& src, std::vector<int32_t>& dst) {
  for (int y = 0; y < kField; ++y) {
    const int32_t* up = &src[((y - 1) & kMask) * kField];
    const int32_t* row = &src[y * kField];
    const int32_t* down = &src[((y + 1) & kMask) * kField];
    int32_t* o = &dst[y * kField];
    for (int x = 0; x < kField; ++x) {
      const int l = (x - 1) & kMask, r = (x + 1) & kMask;
      const int32_t corners = up[l] + up[r] + down[l] + down[r];
      const int32_t cross = row[x] + up[x] + down[x] + row[l] + row[r];
      o[x] = (3 * corners + 4 * cross) >> 5;
    }
  }
}

}  // namespace

std::vector<uint32_t> floor_noise_texels() {
  std::vector<int32_t> a(kField * kField), b(kField * kField);
  uint32_t state = 1;
  for (int32_t& v : a) v = static_cast<int32_t>(portable_rand(state) & 1023);
  // Alternate between the two buffers; an odd count leaves the result in b.
  for (int pass = 0; pass < kSmoothingPasses; ++pass) {
    if (pass % 2 == 0) smooth(a, b);
    else smooth(b, a);
  }
  const std::vector<int32_t>& field = kSmoothingPasses % 2 ? b : a;
  auto at = [&](int x, int y) { return std::abs(field[(y & kMask) * kField + (x & kMask)] - 512); };

  std::vector<uint32_t> texels(kFloorTextureSize * kFloorTextureSize);
  for (int y = 0; y < kFloorTextureSize; ++y) {
    for (int x = 0; x < kFloorTextureSize; ++x) {
      // Five scales, each half the weight of the one before.
      const int sum = at(x / 2, y / 2) + (at(x, y) >> 1) + (at(2 * x, 2 * y) >> 2) + (at(4 * x, 4 * y) >> 3) +
                      (at(8 * x, 8 * y) >> 4);
      const int v = std::clamp(320 - 3 * sum, 96, 240);
      const uint32_t alpha = static_cast<uint32_t>(255 - v);
      texels[y * kFloorTextureSize + x] = ((alpha >> 5) + 248) * 0x010101u + (alpha << 24);
    }
  }
  return texels;
}

}  // namespace orvo::render
