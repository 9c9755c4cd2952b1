#include "tools/mesh/stripify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tools::mesh {
namespace {

using Tris = std::vector<uint32_t>;

// ---------------------------------------------------------------------------
// Reference stripifier: the rules written out with plain linear scans, to
// check the fast one against.

struct RefStrip {
  std::vector<uint32_t> idx;
  int winding;
};

class RefStripifier {
 public:
  RefStripifier(const Tris& tris, const StripifyOptions& options) : t_(tris), opt_(options) {
    n_ = static_cast<int>(tris.size() / 3);
    nb_.assign(static_cast<size_t>(n_) * 3, -1);
    nbe_.assign(static_cast<size_t>(n_) * 3, 0);
    used_.assign(static_cast<size_t>(n_), 0);
  }

  std::vector<uint32_t> run() {
    if (n_ == 0) return {};
    return join(strips());
  }

  // The strips grown once, joined under each rule set's joining rules.
  std::vector<std::vector<uint32_t>> run_joined(std::span<const StripifyOptions> rule_sets) {
    std::vector<std::vector<uint32_t>> out;
    const std::vector<RefStrip> list = n_ == 0 ? std::vector<RefStrip>{} : strips();
    for (const StripifyOptions& o : rule_sets) {
      opt_.hit_counting = o.hit_counting;
      opt_.even_reversal = o.even_reversal;
      out.push_back(list.empty() ? std::vector<uint32_t>{} : join(list));
    }
    return out;
  }

 private:
  uint32_t v(int t, int slot) const { return t_[static_cast<size_t>(t * 3 + slot % 3)]; }
  int& nb(int t, int k) { return nb_[static_cast<size_t>(t * 3 + k % 3)]; }
  int& nbe(int t, int k) { return nbe_[static_cast<size_t>(t * 3 + k % 3)]; }

  std::vector<RefStrip> strips() {
    link();
    auto a = pass(true);
    auto b = pass(false);
    if (cost(b) < cost(a)) a = b;
    return a;
  }

  void link() {
    for (int t = 0; t < n_; ++t) {
      for (int k = 0; k < 3; ++k) {
        if (nb(t, k) != -1) continue;
        bool found = false;
        for (int j = t + 1; j < n_ && !found; ++j) {
          for (int e = 0; e < 3 && !found; ++e) {
            if (nb(j, e) != -1) continue;
            if (v(j, e) == v(t, k + 1) && v(j, e + 1) == v(t, k)) {
              nb(t, k) = j;
              nbe(t, k) = e;
              nb(j, e) = t;
              nbe(j, e) = k;
              found = true;
            }
          }
        }
      }
    }
  }

  bool free_tri(int t) const { return t >= 0 && !used_[static_cast<size_t>(t)]; }
  int free_count(int t) {
    int c = 0;
    for (int k = 0; k < 3; ++k) c += free_tri(nb(t, k)) ? 1 : 0;
    return c;
  }

  // Returns length; fills positions and swaps; clears its marks unless `keep`.
  int grow(int a, int b, bool look_ahead, int w, std::vector<uint32_t>& out, int& swaps, bool keep) {
    out.clear();
    swaps = 0;
    if (used_[static_cast<size_t>(a)]) return 0;
    std::vector<int> in_strip{a};
    used_[static_cast<size_t>(a)] = 1;
    if (w == 1) {
      out = {v(a, b), v(a, b + 1), v(a, b + 2)};
    } else {
      out = {v(a, b + 1), v(a, b), v(a, b + 2)};
    }
    int exit = w == 1 ? b + 1 : b + 2;
    int g = nb(a, exit), f = nbe(a, exit);
    int s = w == 1 ? 0 : 1;
    const int max_len = static_cast<int>(opt_.max_strip_length);
    while (static_cast<int>(out.size()) < max_len && free_tri(g)) {
      int le = (f + (1 - s) + 1) % 3, ve = (f + s + 1) % 3;
      int l = nb(g, le), el = nbe(g, le);
      int vt = nb(g, ve), ev = nbe(g, ve);
      bool natural = free_tri(l);
      if (natural && look_ahead && free_tri(vt)) {
        int cv = free_count(vt), cl = free_count(l);
        if (cv > cl) {
          natural = true;
        } else if (cv < cl) {
          natural = false;
        } else {
          int bb = nb(l, el + s + 1);
          int uu = nb(vt, ev + (1 - s) + 1);
          if (free_tri(bb)) {
            natural = !free_tri(uu) || free_count(uu) >= free_count(bb);
          } else {
            natural = false;
          }
        }
      }
      if (natural) {
        out.push_back(v(g, f + 2));
        used_[static_cast<size_t>(g)] = 1;
        in_strip.push_back(g);
        g = l;
        f = el;
        s = 1 - s;
      } else if (!free_tri(vt)) {
        out.push_back(v(g, f + 2));
        used_[static_cast<size_t>(g)] = 1;
        in_strip.push_back(g);
        break;
      } else {
        out.push_back(out[out.size() - 2]);
        ++swaps;
        out.push_back(v(g, f + 2));
        used_[static_cast<size_t>(g)] = 1;
        in_strip.push_back(g);
        g = vt;
        f = ev;
      }
    }
    if (!keep)
      for (int t : in_strip) used_[static_cast<size_t>(t)] = 0;
    return static_cast<int>(out.size());
  }

  std::vector<RefStrip> pass(bool look_ahead) {
    std::fill(used_.begin(), used_.end(), 0);
    std::vector<RefStrip> list;
    int w = 1;
    std::vector<uint32_t> trial;
    for (;;) {
      int best_n = 5, best_t = -1, best_b = 0;
      double best_r = 2.0;
      for (int t = 0; t < n_; ++t) {
        if (used_[static_cast<size_t>(t)]) continue;
        int n = free_count(t);
        if (n == 0) n = 4;
        if (n > best_n) continue;
        for (int b = 0; b < 3; ++b) {
          int swaps = 0;
          int len = grow(t, b, look_ahead, w, trial, swaps, false);
          double r = len == 3 ? 1.0 : double(swaps) / double(len);
          if (n < best_n || (n == best_n && r < best_r)) {
            best_n = n;
            best_r = r;
            best_t = t;
            best_b = b;
          }
        }
      }
      if (best_t < 0) break;
      int swaps = 0;
      int len = grow(best_t, best_b, look_ahead, w, trial, swaps, true);
      list.push_back({trial, w});
      if (len % 2 == 1) w = 1 - w;
    }
    return list;
  }

  static size_t cost(const std::vector<RefStrip>& l) {
    size_t c = 0;
    for (const auto& s : l) c += s.idx.size();
    return c + 2 * (l.size() - 1);
  }

  struct Cache {
    std::array<uint32_t, 16> key{};
    std::array<int, 16> tag{};  // 0 empty
    int next = 0;
    int hits = 0;
    void look_up(uint32_t k, int tg, bool retag) {
      for (int i = 0; i < 16; ++i) {
        if (tag[static_cast<size_t>(i)] != 0 && key[static_cast<size_t>(i)] == k) {
          if (tag[static_cast<size_t>(i)] != tg) {
            // Only entries the output placed (tag 1) can be hit by a candidate.
            ++hits;
            if (retag) tag[static_cast<size_t>(i)] = tg;
          }
          return;
        }
      }
      key[static_cast<size_t>(next)] = k;
      tag[static_cast<size_t>(next)] = tg;
      next = (next + 1) % 16;
    }
  };

  std::vector<uint32_t> join(std::vector<RefStrip> list) {
    const bool retag = opt_.hit_counting == CacheHitCounting::kOncePerEntry;
    const bool reverse_all = opt_.even_reversal == EvenStripReversal::kEveryCandidate;
    std::vector<uint32_t> out;
    Cache cache;
    for (uint32_t x : list[0].idx) {
      out.push_back(x);
      cache.look_up(x, 1, retag);
    }
    list.erase(list.begin());
    while (!list.empty()) {
      const RefStrip& ref = list[0];
      int ref_w = ref.winding;
      size_t ref_par = ref.idx.size() % 2;
      int best_gain = -1;
      size_t best = 0;
      bool best_rev = false;
      for (size_t c = 0; c < list.size(); ++c) {
        auto& cand = list[c];
        if (cand.winding != ref_w || cand.idx.size() % 2 != ref_par) continue;
        Cache copy = cache;
        for (uint32_t x : cand.idx) copy.look_up(x, 2, retag);
        int gain = copy.hits - cache.hits;
        bool rev = false;
        if (cand.idx.size() % 2 == 0) {
          Cache copy2 = cache;
          for (size_t i = cand.idx.size(); i-- > 0;) copy2.look_up(cand.idx[i], 2, retag);
          int g2 = copy2.hits - cache.hits;
          if (g2 > gain) {
            gain = g2;
            rev = true;
            if (reverse_all) std::reverse(cand.idx.begin(), cand.idx.end());
          }
        }
        if (gain > best_gain) {
          best_gain = gain;
          best = c;
          best_rev = rev && !reverse_all;
        }
      }
      if (best_rev) std::reverse(list[best].idx.begin(), list[best].idx.end());
      std::rotate(list.begin(), list.begin() + static_cast<long>(best), list.begin() + static_cast<long>(best) + 1);
      const RefStrip& s = list[0];
      uint32_t p = out.back(), q = s.idx[0];
      if (p != q) {
        out.push_back(p);
        out.push_back(q);
      }
      if (s.winding != (out.size() % 2 == 0 ? 1 : 0)) out.push_back(q);
      for (uint32_t x : s.idx) {
        out.push_back(x);
        cache.look_up(x, 1, retag);
      }
      list.erase(list.begin());
    }
    return out;
  }

  const Tris& t_;
  StripifyOptions opt_;
  int n_;
  std::vector<int> nb_, nbe_;
  std::vector<uint8_t> used_;
};

std::vector<uint32_t> reference_stripify(const Tris& tris, const StripifyOptions& options = {}) {
  return RefStripifier(tris, options).run();
}

// ---------------------------------------------------------------------------
// Test meshes and checks.

// Triangles of a strip with their winding, degenerate ones dropped, written
// independently of strip_to_list.
Tris decode(const std::vector<uint32_t>& s) {
  Tris out;
  for (size_t i = 0; i + 2 < s.size(); ++i) {
    std::array<uint32_t, 3> t = {s[i], s[i + 1], s[i + 2]};
    if (i % 2 == 1) std::swap(t[0], t[1]);
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
    out.insert(out.end(), t.begin(), t.end());
  }
  return out;
}

// Each triangle rotated to start at its smallest index (winding kept), sorted.
std::vector<std::array<uint32_t, 3>> canonical(const Tris& tris) {
  std::vector<std::array<uint32_t, 3>> out;
  for (size_t i = 0; i + 2 < tris.size(); i += 3) {
    std::array<uint32_t, 3> t = {tris[i], tris[i + 1], tris[i + 2]};
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    out.push_back(t);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A w × h grid of quads split along random diagonals (or all the same way).
Tris grid(uint32_t w, uint32_t h, std::mt19937* rng = nullptr) {
  Tris t;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
      if (rng != nullptr && ((*rng)() & 1)) {
        t.insert(t.end(), {a, b, c, b, d, c});
      } else {
        t.insert(t.end(), {a, b, d, a, d, c});
      }
    }
  }
  return t;
}

// A torus of w × h quads with random diagonals whose quads in the last
// column, in the rows below `seam_rows`, use copies of the first column's
// vertices, as a texture seam gives them: the same corners, other indices,
// so the surface is open there. All rows: an open tube; fewer: a slit.
Tris seamed_torus(uint32_t w, uint32_t h, uint32_t seam_rows, std::mt19937& rng) {
  Tris t;
  for (uint32_t y = 0; y < h; ++y) {
    const bool seam = y < seam_rows;
    auto id = [&](uint32_t x, uint32_t row) { return seam && x == w ? w * h + row % h : (row % h) * w + x % w; };
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t a = id(x, y), b = id(x + 1, y), c = id(x, y + 1), d = id(x + 1, y + 1);
      if (rng() & 1) {
        t.insert(t.end(), {a, b, c, b, d, c});
      } else {
        t.insert(t.end(), {a, b, d, a, d, c});
      }
    }
  }
  return t;
}

// A closed torus of w × h quads with random diagonals.
Tris torus(uint32_t w, uint32_t h, std::mt19937& rng) {
  return seamed_torus(w, h, 0, rng);
}

Tris fan(uint32_t spokes, bool closed) {
  Tris t;
  uint32_t end = closed ? spokes : spokes - 1;
  for (uint32_t i = 0; i < end; ++i) t.insert(t.end(), {0, 1 + i, 1 + (i + 1) % spokes});
  return t;
}

Tris shuffled(Tris t, std::mt19937& rng) {
  std::vector<size_t> order(t.size() / 3);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  Tris out;
  for (size_t i : order)
    out.insert(out.end(), t.begin() + static_cast<long>(i * 3), t.begin() + static_cast<long>(i * 3 + 3));
  return out;
}

Tris drop_some(const Tris& t, std::mt19937& rng, unsigned percent) {
  Tris out;
  for (size_t i = 0; i < t.size(); i += 3)
    if (rng() % 100 >= percent)
      out.insert(out.end(), t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(i + 3));
  return out;
}

Tris flip_some(Tris t, std::mt19937& rng, unsigned percent) {
  for (size_t i = 0; i < t.size(); i += 3)
    if (rng() % 100 < percent) std::swap(t[i + 1], t[i + 2]);
  return t;
}

Tris rotate_corners(Tris t, std::mt19937& rng) {
  for (size_t i = 0; i < t.size(); i += 3)
    std::rotate(t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(i + rng() % 3),
                t.begin() + static_cast<long>(i + 3));
  return t;
}

Tris with_duplicates(Tris t, std::mt19937& rng, unsigned count) {
  size_t n = t.size() / 3;
  for (unsigned k = 0; k < count && n > 0; ++k) {
    size_t i = rng() % n;
    Tris copy(t.begin() + static_cast<long>(i * 3), t.begin() + static_cast<long>(i * 3 + 3));
    if (rng() & 1) std::swap(copy[1], copy[2]);
    t.insert(t.begin() + static_cast<long>((rng() % (n + 1)) * 3), copy.begin(), copy.end());
    ++n;
  }
  return t;
}

// Random triangles over few vertices: many shared and non-manifold edges.
Tris soup(size_t n, uint32_t vertices, std::mt19937& rng) {
  Tris t;
  while (t.size() < n * 3) {
    uint32_t a = rng() % vertices, b = rng() % vertices, c = rng() % vertices;
    if (a != b && b != c && a != c) t.insert(t.end(), {a, b, c});
  }
  return t;
}

// The parts side by side, each with vertices of its own, triangles mixed.
Tris side_by_side(const std::vector<Tris>& parts, std::mt19937& rng) {
  Tris all;
  uint32_t base = 0;
  for (const Tris& part : parts) {
    uint32_t top = 0;
    for (uint32_t v : part) {
      all.push_back(base + v);
      top = std::max(top, v);
    }
    base += top + 1;
  }
  return shuffled(all, rng);
}

// Each triangle followed by its mirror image: every edge has a partner on
// both sides.
Tris double_sided(const Tris& t) {
  Tris out;
  for (size_t i = 0; i < t.size(); i += 3) out.insert(out.end(), {t[i], t[i + 1], t[i + 2], t[i], t[i + 2], t[i + 1]});
  return out;
}

void expect_same_triangles(const Tris& input, const std::vector<uint32_t>& strip) {
  EXPECT_EQ(canonical(decode(strip)), canonical(input));
}

const StripifyOptions kRuleSets[] = {StripifyOptions::terrain(), StripifyOptions::model_export()};

// ---------------------------------------------------------------------------

TEST(StripifyCases, EmptyAndPartialInputGiveNothing) {
  EXPECT_TRUE(stripify(std::span<const uint32_t>{}).empty());
  Tris two_indices = {0, 1};
  EXPECT_TRUE(stripify(two_indices).empty());
  EXPECT_TRUE(strip_to_list(std::span<const uint32_t>{}).empty());
}

TEST(StripifyCases, IsolatedTriangleIsItsOwnCornersInOrder) {
  Tris t = {7, 3, 9};
  EXPECT_EQ(stripify(t), (std::vector<uint32_t>{7, 3, 9}));
  // Three strip indices for one triangle: written as a three-index list.
  EXPECT_EQ(strip_to_list(std::vector<uint32_t>{7, 3, 9}), t);
}

TEST(StripifyCases, TwoTrianglesSharingAnEdgeMakeFourIndices) {
  Tris t = {0, 1, 2, 2, 1, 3};
  auto s = stripify(t);
  ASSERT_EQ(s.size(), 4u);
  expect_same_triangles(t, s);
  EXPECT_EQ(s, reference_stripify(t));
}

TEST(StripifyCases, OppositeWindingIsNotAdjacent) {
  // Shared edge 1-2 runs the same way in both: two strips of three. The
  // second starts with the first's last index, so there is no bridge pair;
  // its odd position needs no parity copy either.
  Tris t = {0, 1, 2, 1, 2, 3};
  auto s = stripify(t);
  EXPECT_EQ(s, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
  expect_same_triangles(t, s);
}

TEST(StripifyCases, SeparateStripsAreBridgedWithDegenerates) {
  Tris t = {0, 1, 2, 3, 4, 5};
  auto s = stripify(t);
  // 0 1 2 | 2 4 (bridge) | 4 3 5: the second strip was started at an odd
  // position and the bridge keeps it there.
  EXPECT_EQ(s, (std::vector<uint32_t>{0, 1, 2, 2, 4, 4, 3, 5}));
  expect_same_triangles(t, s);
}

TEST(StripifyCases, SharedEndNeedsNoBridge) {
  // A quad strip 0 1 2 3 then a lone triangle starting at its last index.
  Tris t = {0, 1, 2, 2, 1, 3, 3, 8, 9};
  auto s = stripify(t);
  EXPECT_EQ(s, (std::vector<uint32_t>{0, 1, 2, 3, 3, 8, 9}));
  expect_same_triangles(t, s);
}

TEST(StripifyCases, SixteenBitIndicesMatchWideOnes) {
  std::mt19937 rng(5);
  Tris t = grid(12, 9, &rng);
  std::vector<uint16_t> narrow(t.begin(), t.end());
  auto wide = stripify(t);
  auto s16 = stripify(std::span<const uint16_t>(narrow));
  EXPECT_EQ(std::vector<uint32_t>(s16.begin(), s16.end()), wide);
  auto l16 = strip_to_list(std::span<const uint16_t>(s16));
  EXPECT_EQ(std::vector<uint32_t>(l16.begin(), l16.end()), strip_to_list(wide));
}

TEST(StripifyCases, HighestSixteenBitIndexNeverHitsAnEmptyCacheEntry) {
  // An empty cache entry holds no vertex: index 0xFFFF is an ordinary vertex.
  Tris t = {0xFFFF, 1, 2, 3, 4, 0xFFFF, 5, 6, 7};
  for (const auto& o : kRuleSets) {
    auto s = stripify(t, o);
    EXPECT_EQ(s, reference_stripify(t, o));
    expect_same_triangles(t, s);
  }
}

TEST(StripToList, WalksTheStripWithAlternatingWinding) {
  std::vector<uint32_t> s = {0, 1, 2, 3, 4};
  EXPECT_EQ(strip_to_list(s), (Tris{0, 1, 2, 1, 3, 2, 2, 3, 4}));
}

TEST(StripToList, SkipsDegenerateTrianglesButKeepsTheirPositionParity) {
  // Positions 2..5 are degenerate; position 6 is even again.
  std::vector<uint32_t> s = {0, 1, 2, 2, 5, 5, 5, 6, 7};
  EXPECT_EQ(strip_to_list(s), (Tris{0, 1, 2, 5, 6, 7}));
}

TEST(StripToList, RoundTripsAStripifiedGrid) {
  Tris t = grid(20, 20);
  auto list = strip_to_list(stripify(t));
  EXPECT_EQ(list.size(), t.size());
  EXPECT_EQ(canonical(list), canonical(t));
}

// ---------------------------------------------------------------------------
// The fast stripifier against the reference, with the decoding property.

struct Named {
  const char* name;
  Tris tris;
};

std::vector<Named> structured_meshes() {
  std::mt19937 rng(1234);
  std::vector<Named> m;
  m.push_back({"regular grid", grid(16, 11)});
  m.push_back({"random diagonals", grid(23, 17, &rng)});
  m.push_back({"shuffled grid", shuffled(grid(18, 14, &rng), rng)});
  m.push_back({"torus", torus(14, 9, rng)});
  m.push_back({"shuffled torus", shuffled(rotate_corners(torus(20, 12, rng), rng), rng)});
  m.push_back({"open fan", fan(9, false)});
  m.push_back({"closed fan", fan(12, true)});
  m.push_back({"grid with holes", drop_some(grid(24, 16, &rng), rng, 20)});
  m.push_back({"torus with holes", shuffled(drop_some(torus(18, 10, rng), rng, 10), rng)});
  m.push_back({"mixed windings", flip_some(grid(15, 15, &rng), rng, 25)});
  m.push_back({"duplicate triangles", with_duplicates(grid(10, 10, &rng), rng, 30)});
  m.push_back({"soup", soup(300, 40, rng)});
  return m;
}

TEST(StripifyExactness, StructuredMeshesMatchTheReference) {
  for (const auto& mesh : structured_meshes()) {
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(mesh.name);
      EXPECT_EQ(stripify(mesh.tris, o), reference_stripify(mesh.tris, o));
    }
  }
}

TEST(StripifyExactness, RandomMeshesMatchTheReference) {
  std::mt19937 rng(99);
  for (int round = 0; round < 60; ++round) {
    Tris t;
    switch (round % 5) {
      case 0: t = shuffled(grid(2 + rng() % 14, 2 + rng() % 14, &rng), rng); break;
      case 1: t = shuffled(drop_some(torus(3 + rng() % 12, 3 + rng() % 12, rng), rng, rng() % 30), rng); break;
      case 2: t = with_duplicates(flip_some(grid(3 + rng() % 10, 3 + rng() % 10, &rng), rng, 15), rng, 8); break;
      case 3: t = soup(1 + rng() % 150, 5 + rng() % 60, rng); break;
      default: t = rotate_corners(fan(3 + rng() % 20, rng() & 1), rng); break;
    }
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(round);
      EXPECT_EQ(stripify(t, o), reference_stripify(t, o));
    }
  }
}

TEST(StripifyExactness, ShortStripCapsMatchTheReference) {
  std::mt19937 rng(7);
  Tris t = shuffled(torus(12, 10, rng), rng);
  for (uint32_t cap : {3u, 4u, 5u, 8u, 33u}) {
    StripifyOptions o;
    o.max_strip_length = cap;
    SCOPED_TRACE(cap);
    auto s = stripify(t, o);
    EXPECT_EQ(s, reference_stripify(t, o));
    expect_same_triangles(t, s);
  }
}

TEST(StripifyExactness, ShortCapsOnOpenMeshesMatchTheReference) {
  // Short strips score alike, often 0: ties between starts remembered from
  // earlier rounds and starts still to be grown must go to the earlier one.
  std::mt19937 rng(306);
  const Tris meshes[] = {with_duplicates(flip_some(grid(9, 9, &rng), rng, 15), rng, 8),
                         shuffled(drop_some(grid(16, 12, &rng), rng, 10), rng)};
  for (const Tris& t : meshes) {
    for (uint32_t cap : {5u, 6u, 9u}) {
      StripifyOptions o;
      o.max_strip_length = cap;
      SCOPED_TRACE(cap);
      EXPECT_EQ(stripify(t, o), reference_stripify(t, o));
    }
  }
}

TEST(StripifyExactness, CapsAboveTheUsualMatchTheReference) {
  // With no cap in reach, trials run to their natural end and a trial's
  // bound comes from the triangles still free rather than from the cap.
  std::mt19937 rng(12);
  const Tris meshes[] = {shuffled(torus(16, 11, rng), rng), grid(24, 20, &rng)};
  for (const Tris& t : meshes) {
    StripifyOptions o = StripifyOptions::model_export();
    o.max_strip_length = 5000;
    auto s = stripify(t, o);
    EXPECT_EQ(s, reference_stripify(t, o));
    expect_same_triangles(t, s);
  }
}

TEST(StripifyExactness, SeveralPartsMatchTheReference) {
  // Closed parts are only started once nothing with a free edge is left, and
  // then all of them compete at once; the first strip in a part changes what
  // every other start in that part would grow.
  std::mt19937 rng(77);
  for (int round = 0; round < 4; ++round) {
    std::vector<Tris> parts;
    for (int k = 0; k < 3; ++k) parts.push_back(torus(3 + rng() % 5, 3 + rng() % 4, rng));
    if (round % 2 == 0) parts.push_back(drop_some(grid(6, 5, &rng), rng, 15));
    for (int k = 0; k < 4; ++k) parts.push_back({0, 1, 2});
    parts.push_back(fan(7, true));
    Tris t = side_by_side(parts, rng);
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(round);
      EXPECT_EQ(stripify(t, o), reference_stripify(t, o));
    }
  }
}

TEST(StripifyExactness, EdgesWithManyPartnersMatchTheReference) {
  std::mt19937 rng(31);
  std::vector<Named> meshes;
  meshes.push_back({"double-sided torus", shuffled(double_sided(torus(7, 5, rng)), rng)});
  meshes.push_back({"double-sided grid", double_sided(grid(6, 6, &rng))});
  Tris degenerate = shuffled(torus(8, 6, rng), rng);
  for (uint32_t k = 0; k < 12; ++k) {
    Tris bad = k % 2 == 0 ? Tris{k, k, k + 1} : Tris{k, k + 1, k};
    degenerate.insert(degenerate.begin() + static_cast<long>(3 * (rng() % (degenerate.size() / 3))), bad.begin(),
                      bad.end());
  }
  meshes.push_back({"degenerate triangles", degenerate});
  std::vector<Tris> crumbs;
  for (int k = 0; k < 60; ++k) crumbs.push_back(k % 3 == 0 ? Tris{0, 1, 2} : Tris{0, 1, 2, 2, 1, 3});
  meshes.push_back({"many tiny parts", side_by_side(crumbs, rng)});
  for (const auto& mesh : meshes) {
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(mesh.name);
      EXPECT_EQ(stripify(mesh.tris, o), reference_stripify(mesh.tris, o));
    }
  }
}

TEST(StripifyExactness, ManySmallPatchesAndNarrowBandsMatchTheReference) {
  // Lists as the exporter hands them over: many small patches cut apart by
  // seams, each stripped whole, and bands one quad wide and open fans, where
  // no walk ever finds two free ways on and the pass without look-ahead is
  // not grown again. Later rounds add one part where the look-ahead decides,
  // and spread the indices as rebased ones can be.
  std::mt19937 rng(515);
  for (int round = 0; round < 4; ++round) {
    std::vector<Tris> parts;
    for (int k = 0; k < 30; ++k) {
      const unsigned kind = round == 0 ? rng() % 2 : rng() % 4;
      if (kind == 0) {
        parts.push_back(grid(1 + rng() % 12, 1, &rng));
      } else if (kind == 1) {
        parts.push_back(fan(2 + rng() % 6, false));
      } else if (kind == 2) {
        parts.push_back(grid(2 + rng() % 4, 2 + rng() % 4, &rng));
      } else {
        parts.push_back(drop_some(grid(5 + rng() % 4, 4 + rng() % 4, &rng), rng, 20));
      }
    }
    if (round >= 2) parts.push_back(grid(12, 9, &rng));
    Tris t = side_by_side(parts, rng);
    if (round % 2 == 1)
      for (uint32_t& v : t) v = v * 37 + 5;
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(round);
      EXPECT_EQ(stripify(t, o), reference_stripify(t, o));
    }
  }
}

TEST(StripifyExactness, LargeRandomMeshesOfEveryKindMatchTheReference) {
  // Thousands of triangles in shuffled order: many rounds in which trial
  // outcomes are remembered, reused, and dropped when a strip takes a
  // triangle they looked at, while strips that only pass close by (through
  // the same tiles of nearby triangles) leave them standing.
  std::mt19937 rng(4711);
  for (int round = 0; round < 6; ++round) {
    const uint32_t w = 22 + rng() % 12, h = 18 + rng() % 10;
    Tris t;
    std::string kind;
    switch (round % 6) {
      case 0: kind = "closed torus", t = torus(w, h, rng); break;
      case 1: kind = "open grid with holes", t = drop_some(grid(w, h, &rng), rng, 3); break;
      case 2: kind = "tube (seam along a whole ring)", t = seamed_torus(w, h, h, rng); break;
      case 3: kind = "slit (seam along half a ring)", t = seamed_torus(w, h, h / 2, rng); break;
      case 4: kind = "duplicates of both windings", t = with_duplicates(torus(w, h, rng), rng, w * h / 8); break;
      default:
        kind = "closed and open parts";
        t = side_by_side({torus(w / 2, h / 2, rng), seamed_torus(w / 2, h / 2, h / 2, rng),
                          flip_some(grid(w / 2, h / 3, &rng), rng, 10)},
                         rng);
        break;
    }
    t = shuffled(rotate_corners(t, rng), rng);
    // Both rule sets grow the same strips: the reference grows them once.
    const auto expected = RefStripifier(t, kRuleSets[0]).run_joined(kRuleSets);
    for (size_t k = 0; k < std::size(kRuleSets); ++k) {
      SCOPED_TRACE(kind + ", " + std::to_string(t.size() / 3) + " triangles");
      EXPECT_EQ(stripify(t, kRuleSets[k]), expected[k]);
    }
  }
}

TEST(StripifyExactness, LargerMeshesMatchTheReference) {
  // Enough rounds for outcomes found early to be reused, and dropped, many
  // times over.
  std::mt19937 rng(2024);
  const Tris meshes[] = {shuffled(drop_some(torus(26, 18, rng), rng, 4), rng),
                         shuffled(drop_some(grid(30, 22, &rng), rng, 8), rng)};
  for (const Tris& t : meshes) {
    for (const auto& o : kRuleSets) EXPECT_EQ(stripify(t, o), reference_stripify(t, o));
  }
}

TEST(StripifyExactness, TheTwoRuleSetsAreBothExercised) {
  // On a large enough mesh the joiner's two rule sets choose differently;
  // otherwise the comparisons above would not test the options.
  std::mt19937 rng(1);
  Tris t = shuffled(torus(12, 12, rng), rng);
  auto terrain = stripify(t, StripifyOptions::terrain());
  auto exporter = stripify(t, StripifyOptions::model_export());
  EXPECT_NE(terrain, exporter);
  EXPECT_EQ(terrain, reference_stripify(t, StripifyOptions::terrain()));
  EXPECT_EQ(exporter, reference_stripify(t, StripifyOptions::model_export()));
  expect_same_triangles(t, terrain);
  expect_same_triangles(t, exporter);
}

TEST(StripifyProperties, EachThreadKeepsItsOwnWorkingMemory) {
  // Lists of very different sizes stripped in turn on two threads at once
  // give what each gives alone.
  std::mt19937 rng(3);
  const std::vector<Tris> lists = {torus(30, 20, rng), Tris{0, 1, 2}, grid(3, 2, &rng),
                                   shuffled(grid(40, 25, &rng), rng), fan(5, true)};
  std::vector<std::vector<uint32_t>> alone;
  for (const Tris& t : lists) alone.push_back(stripify(t, StripifyOptions::model_export()));
  std::array<std::vector<std::vector<uint32_t>>, 2> got;
  auto strip_all = [&](size_t who) {
    for (int pass = 0; pass < 3; ++pass)
      for (size_t k = 0; k < lists.size(); ++k) {
        const size_t at = who == 0 ? k : lists.size() - 1 - k;
        got[who].push_back(stripify(lists[at], StripifyOptions::model_export()));
      }
  };
  std::thread other(strip_all, 1);
  strip_all(0);
  other.join();
  for (size_t who = 0; who < 2; ++who) {
    ASSERT_EQ(got[who].size(), 3 * lists.size());
    for (size_t i = 0; i < got[who].size(); ++i) {
      const size_t k = i % lists.size();
      EXPECT_EQ(got[who][i], alone[who == 0 ? k : lists.size() - 1 - k]);
    }
  }
}

TEST(StripifyProperties, RenumberingTheVerticesRenumbersTheStrip) {
  // Only the equality of indices matters, however far apart they are:
  // indices spread over the whole 32-bit range give the same strip, mapped.
  std::mt19937 rng(8);
  Tris t = side_by_side({torus(9, 7, rng), grid(5, 4, &rng), fan(6, false)}, rng);
  auto spread = [](uint32_t v) { return static_cast<uint32_t>((uint64_t{v} * 2654435761u + 977) % 4294967291u); };
  Tris mapped = t;
  for (uint32_t& v : mapped) v = spread(v);
  for (const auto& o : kRuleSets) {
    std::vector<uint32_t> expected = stripify(t, o);
    for (uint32_t& v : expected) v = spread(v);
    EXPECT_EQ(stripify(mapped, o), expected);
  }
}

TEST(StripifyProperties, StripsDecodeToTheInputTriangles) {
  std::mt19937 rng(42);
  for (const auto& mesh : structured_meshes()) {
    if (std::string(mesh.name) == "duplicate triangles" || std::string(mesh.name) == "soup") continue;
    for (const auto& o : kRuleSets) {
      SCOPED_TRACE(mesh.name);
      expect_same_triangles(mesh.tris, stripify(mesh.tris, o));
    }
  }
  // A larger closed mesh, where strips reach the length cap.
  Tris big = shuffled(rotate_corners(torus(80, 50, rng), rng), rng);
  auto s = stripify(big);
  expect_same_triangles(big, s);
  EXPECT_LT(s.size(), big.size());  // fewer indices than the list
}

}  // namespace
}  // namespace tools::mesh
