// The parts of the two edge-collapse reducers that work on several lanes of
// floats at once, written once for any lane count. This file is included
// once per lane count, inside its own namespace, with TOOLS_MESH_LANES set to
// 4 (SSE2, or plain loops without SSE) or 8 (AVX2, inside a region compiled
// for AVX2); reducer_common.h and the system headers come first.
//
// Every lane operation is the correctly rounded single-precision operation of
// IEEE 754, exactly what the scalar operation gives, and every formula is
// evaluated in the same order as its scalar form, so results do not depend
// on the lane count.

// ---------------------------------------------------------------------------
// Lanes.

#if TOOLS_MESH_LANES == 8
constexpr uint32_t kW = 8;
// Aligned explicitly: the vector type's own alignment may follow the
// instruction set the file is compiled for, and containers must see 32.
struct alignas(32) F {
  __m256 v;
};
struct alignas(32) M {  // lane mask
  __m256 v;
};
inline F splat(float a) {
  return {_mm256_set1_ps(a)};
}
inline F load(const float* p) {
  return {_mm256_loadu_ps(p)};
}
inline void store(float* p, F a) {
  _mm256_storeu_ps(p, a.v);
}
inline F operator+(F a, F b) {
  return {_mm256_add_ps(a.v, b.v)};
}
inline F operator-(F a, F b) {
  return {_mm256_sub_ps(a.v, b.v)};
}
inline F operator*(F a, F b) {
  return {_mm256_mul_ps(a.v, b.v)};
}
inline F operator/(F a, F b) {
  return {_mm256_div_ps(a.v, b.v)};
}
inline F operator-(F a) {
  return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))};
}
inline F sqrt(F a) {
  return {_mm256_sqrt_ps(a.v)};
}
inline F abs(F a) {
  return {_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v)};
}
// a > b ? a : b, lane by lane (so b when either is NaN, as `if (a > b) b = a`).
inline F larger(F a, F b) {
  return {_mm256_max_ps(a.v, b.v)};
}
// a < b ? a : b, lane by lane (so b when either is NaN, as `if (a < b) b = a`).
inline F smaller(F a, F b) {
  return {_mm256_min_ps(a.v, b.v)};
}
inline M is_zero(F a) {
  return {_mm256_cmp_ps(a.v, _mm256_setzero_ps(), _CMP_EQ_OQ)};
}
inline M greater(F a, F b) {
  return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)};
}
inline M less(F a, F b) {
  return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)};
}
inline M at_least(F a, F b) {
  return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)};
}
inline M equal(F a, F b) {
  return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)};
}
inline M operator&(M a, M b) {
  return {_mm256_and_ps(a.v, b.v)};
}
// 0, 1, 2, ... in the lanes.
inline F lane_numbers() {
  return {_mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7)};
}
inline M no_lanes() {
  return {_mm256_setzero_ps()};
}
inline M operator|(M a, M b) {
  return {_mm256_or_ps(a.v, b.v)};
}
// a and not b.
inline M but_not(M a, M b) {
  return {_mm256_andnot_ps(b.v, a.v)};
}
inline F select(M m, F a, F b) {
  return {_mm256_blendv_ps(b.v, a.v, m.v)};
}
inline uint32_t lane_bits(M m) {
  return static_cast<uint32_t>(_mm256_movemask_ps(m.v));
}
// Bit i set when ids[i] == id, for the kW ids from `ids`.
inline uint32_t equal_ids(const uint32_t* ids, uint32_t id) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids));
  return static_cast<uint32_t>(
      _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a, _mm256_set1_epi32(static_cast<int>(id))))));
}
// The largest lane, of lanes that hold no NaN (the order of comparison then
// does not matter).
inline float max_of_lanes(F a) {
  __m128 m = _mm_max_ps(_mm256_castps256_ps128(a.v), _mm256_extractf128_ps(a.v, 1));
  m = _mm_max_ps(m, _mm_movehl_ps(m, m));
  m = _mm_max_ss(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}
// The smallest lane, of lanes that hold no NaN.
inline float min_of_lanes(F a) {
  __m128 m = _mm_min_ps(_mm256_castps256_ps128(a.v), _mm256_extractf128_ps(a.v, 1));
  m = _mm_min_ps(m, _mm_movehl_ps(m, m));
  m = _mm_min_ss(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}
// The mask whose lane i is set when bit i of `bits` is.
inline M mask_from_bits(uint32_t bits) {
  const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  const __m256i b = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), lane);
  return {_mm256_castsi256_ps(_mm256_cmpeq_epi32(b, lane))};
}
#elif TOOLS_MESH_LANES == 4 && TOOLS_MESH_SSE
constexpr uint32_t kW = 4;
struct alignas(16) F {
  __m128 v;
};
struct alignas(16) M {  // lane mask
  __m128 v;
};
inline F splat(float a) {
  return {_mm_set1_ps(a)};
}
inline F load(const float* p) {
  return {_mm_loadu_ps(p)};
}
inline void store(float* p, F a) {
  _mm_storeu_ps(p, a.v);
}
inline F operator+(F a, F b) {
  return {_mm_add_ps(a.v, b.v)};
}
inline F operator-(F a, F b) {
  return {_mm_sub_ps(a.v, b.v)};
}
inline F operator*(F a, F b) {
  return {_mm_mul_ps(a.v, b.v)};
}
inline F operator/(F a, F b) {
  return {_mm_div_ps(a.v, b.v)};
}
inline F operator-(F a) {
  return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))};
}
inline F sqrt(F a) {
  return {_mm_sqrt_ps(a.v)};
}
inline F abs(F a) {
  return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)};
}
// a > b ? a : b, lane by lane (so b when either is NaN, as `if (a > b) b = a`).
inline F larger(F a, F b) {
  return {_mm_max_ps(a.v, b.v)};
}
// a < b ? a : b, lane by lane (so b when either is NaN, as `if (a < b) b = a`).
inline F smaller(F a, F b) {
  return {_mm_min_ps(a.v, b.v)};
}
inline M is_zero(F a) {
  return {_mm_cmpeq_ps(a.v, _mm_setzero_ps())};
}
inline M greater(F a, F b) {
  return {_mm_cmpgt_ps(a.v, b.v)};
}
inline M less(F a, F b) {
  return {_mm_cmplt_ps(a.v, b.v)};
}
inline M at_least(F a, F b) {
  return {_mm_cmpge_ps(a.v, b.v)};
}
inline M equal(F a, F b) {
  return {_mm_cmpeq_ps(a.v, b.v)};
}
inline M operator&(M a, M b) {
  return {_mm_and_ps(a.v, b.v)};
}
// 0, 1, 2, ... in the lanes.
inline F lane_numbers() {
  return {_mm_setr_ps(0, 1, 2, 3)};
}
inline M no_lanes() {
  return {_mm_setzero_ps()};
}
inline M operator|(M a, M b) {
  return {_mm_or_ps(a.v, b.v)};
}
// a and not b.
inline M but_not(M a, M b) {
  return {_mm_andnot_ps(b.v, a.v)};
}
inline F select(M m, F a, F b) {
  return {_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))};
}
inline uint32_t lane_bits(M m) {
  return static_cast<uint32_t>(_mm_movemask_ps(m.v));
}
// Bit i set when ids[i] == id, for the kW ids from `ids`.
inline uint32_t equal_ids(const uint32_t* ids, uint32_t id) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ids));
  return static_cast<uint32_t>(
      _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, _mm_set1_epi32(static_cast<int>(id))))));
}
// The largest lane, of lanes that hold no NaN (the order of comparison then
// does not matter).
inline float max_of_lanes(F a) {
  __m128 m = _mm_max_ps(a.v, _mm_movehl_ps(a.v, a.v));
  m = _mm_max_ss(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}
// The smallest lane, of lanes that hold no NaN.
inline float min_of_lanes(F a) {
  __m128 m = _mm_min_ps(a.v, _mm_movehl_ps(a.v, a.v));
  m = _mm_min_ss(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}
// The mask whose lane i is set when bit i of `bits` is.
inline M mask_from_bits(uint32_t bits) {
  const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
  const __m128i b = _mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), lane);
  return {_mm_castsi128_ps(_mm_cmpeq_epi32(b, lane))};
}
#elif TOOLS_MESH_LANES == 4
constexpr uint32_t kW = 4;
struct F {
  float v[4];
};
struct M {
  bool v[4];
};
template <class Op>
inline F each(F a, F b, Op op) {
  F r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <class Op>
inline M each_mask(F a, F b, Op op) {
  M r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
inline F splat(float a) {
  return {{a, a, a, a}};
}
inline F load(const float* p) {
  return {{p[0], p[1], p[2], p[3]}};
}
inline void store(float* p, F a) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline F operator+(F a, F b) {
  return each(a, b, [](float x, float y) { return x + y; });
}
inline F operator-(F a, F b) {
  return each(a, b, [](float x, float y) { return x - y; });
}
inline F operator*(F a, F b) {
  return each(a, b, [](float x, float y) { return x * y; });
}
inline F operator/(F a, F b) {
  return each(a, b, [](float x, float y) { return x / y; });
}
inline F operator-(F a) {
  return each(a, a, [](float x, float) { return -x; });
}
inline F sqrt(F a) {
  return each(a, a, [](float x, float) { return std::sqrt(x); });
}
inline F abs(F a) {
  return each(a, a, [](float x, float) { return std::fabs(x); });
}
inline F larger(F a, F b) {
  return each(a, b, [](float x, float y) { return x > y ? x : y; });
}
inline F smaller(F a, F b) {
  return each(a, b, [](float x, float y) { return x < y ? x : y; });
}
inline M is_zero(F a) {
  return each_mask(a, a, [](float x, float) { return x == 0.0f; });
}
inline M greater(F a, F b) {
  return each_mask(a, b, [](float x, float y) { return x > y; });
}
inline M less(F a, F b) {
  return each_mask(a, b, [](float x, float y) { return x < y; });
}
inline M at_least(F a, F b) {
  return each_mask(a, b, [](float x, float y) { return x >= y; });
}
inline M equal(F a, F b) {
  return each_mask(a, b, [](float x, float y) { return x == y; });
}
inline M operator&(M a, M b) {
  return {{a.v[0] && b.v[0], a.v[1] && b.v[1], a.v[2] && b.v[2], a.v[3] && b.v[3]}};
}
inline F lane_numbers() {
  return {{0, 1, 2, 3}};
}
inline M no_lanes() {
  return {{false, false, false, false}};
}
inline M operator|(M a, M b) {
  return {{a.v[0] || b.v[0], a.v[1] || b.v[1], a.v[2] || b.v[2], a.v[3] || b.v[3]}};
}
inline M but_not(M a, M b) {
  return {{a.v[0] && !b.v[0], a.v[1] && !b.v[1], a.v[2] && !b.v[2], a.v[3] && !b.v[3]}};
}
inline F select(M m, F a, F b) {
  F r;
  for (int i = 0; i < 4; ++i) r.v[i] = m.v[i] ? a.v[i] : b.v[i];
  return r;
}
inline uint32_t lane_bits(M m) {
  return (m.v[0] ? 1u : 0u) | (m.v[1] ? 2u : 0u) | (m.v[2] ? 4u : 0u) | (m.v[3] ? 8u : 0u);
}
inline M mask_from_bits(uint32_t bits) {
  return {{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0}};
}
inline uint32_t equal_ids(const uint32_t* ids, uint32_t id) {
  return (ids[0] == id ? 1u : 0u) | (ids[1] == id ? 2u : 0u) | (ids[2] == id ? 4u : 0u) | (ids[3] == id ? 8u : 0u);
}
inline float max_of_lanes(F a) {
  float best = a.v[0];
  for (int i = 1; i < 4; ++i)
    if (a.v[i] > best) best = a.v[i];
  return best;
}
inline float min_of_lanes(F a) {
  float best = a.v[0];
  for (int i = 1; i < 4; ++i)
    if (a.v[i] < best) best = a.v[i];
  return best;
}
#else
#error "TOOLS_MESH_LANES must be 4 or 8"
#endif

constexpr uint32_t kAllLanes = (1u << kW) - 1;

// ---------------------------------------------------------------------------
// Geometry, one point or vector per lane.

struct V {
  F x, y, z;
};
inline V broadcast(const Vec3& a) {
  return {splat(a.x), splat(a.y), splat(a.z)};
}
inline V operator-(const V& a, const V& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline F dot(const V& a, const V& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V cross(const V& a, const V& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline V negate(const V& a) {
  return {-a.x, -a.y, -a.z};
}

template <ZeroLength rule>
inline V normalise(const V& a) {
  const F len = sqrt(dot(a, a));
  const M zero = is_zero(len);
  if constexpr (rule == ZeroLength::kKeep) {
    // The division's result is discarded in the zero lanes.
    return {select(zero, a.x, a.x / len), select(zero, a.y, a.y / len), select(zero, a.z, a.z / len)};
  } else {
    const F divisor = select(zero, splat(0.1f), len);
    return {a.x / divisor, a.y / divisor, a.z / divisor};
  }
}

// Largest cosine of a triangle's three corner angles from its unit edge
// directions e0 = p0->p1, e1 = p1->p2, e2 = p2->p0 and their reverses r0, r1,
// r2: corner i lies between the edge leaving it and the reverse of the edge
// arriving at it. The reverse of a normalised edge is exactly the normalised
// reverse edge, so each edge is normalised once.
inline F largest_corner_cosine(const V& e0, const V& e1, const V& e2, const V& r0, const V& r1, const V& r2) {
  F best = dot(e0, r2);
  best = larger(dot(e1, r0), best);
  return larger(dot(e2, r1), best);
}

template <ZeroLength rule>
inline F largest_corner_cosine_of(const V& p0, const V& p1, const V& p2) {
  const V e0 = normalise<rule>(p1 - p0), e1 = normalise<rule>(p2 - p1), e2 = normalise<rule>(p0 - p2);
  return largest_corner_cosine(e0, e1, e2, negate(e0), negate(e1), negate(e2));
}

// Unit normal normalise((p1 - p0) x (p2 - p1)).
template <ZeroLength rule>
inline V face_normal(const V& p0, const V& p1, const V& p2) {
  return normalise<rule>(cross(p1 - p0, p2 - p1));
}

// ---------------------------------------------------------------------------
// The two reducers' face measures: the unit normal, and a shape value that
// the collapse cost compares before and after a move, a function of the
// largest corner cosine of the triangle in "shape space".

// Model exporter: the largest corner cosine itself; zero vectors are divided
// by 0.1.
struct ModelMeasures {
  static constexpr ZeroLength kRule = ZeroLength::kDivideByTenth;
  static V shape_space(const V& p) { return p; }
  static F shape_of(F largest_cosine) { return largest_cosine; }
};

// Terrain: the cube of the largest corner cosine with heights counting a
// quarter; zero-length vectors are left as they are.
struct TerrainMeasures {
  static constexpr ZeroLength kRule = ZeroLength::kKeep;
  static V shape_space(const V& p) { return {p.x, p.y * splat(0.25f), p.z}; }
  static F shape_of(F k) { return k * k * k; }
};

template <class Measures>
inline F face_shape(const V& p0, const V& p1, const V& p2) {
  return Measures::shape_of(largest_corner_cosine_of<Measures::kRule>(
      Measures::shape_space(p0), Measures::shape_space(p1), Measures::shape_space(p2)));
}

// Recomputes the normal and shape of the given faces, kW at a time.
template <class Measures>
void measure_faces(CollapseMesh& m, const uint32_t* ids, size_t count) {
  for (size_t at = 0; at < count; at += kW) {
    float c[9][kW];
    for (size_t k = 0; k < kW; ++k) {
      const CollapseFace& f = m.faces[ids[at + k < count ? at + k : at]];
      for (int corner = 0; corner < 3; ++corner) {
        const Vec3& p = m.pos[f.v[corner]];
        c[3 * corner][k] = p.x;
        c[3 * corner + 1][k] = p.y;
        c[3 * corner + 2][k] = p.z;
      }
    }
    const V p0{load(c[0]), load(c[1]), load(c[2])}, p1{load(c[3]), load(c[4]), load(c[5])},
        p2{load(c[6]), load(c[7]), load(c[8])};
    const V n = face_normal<Measures::kRule>(p0, p1, p2);
    float nx[kW], ny[kW], nz[kW], shape[kW];
    store(nx, n.x);
    store(ny, n.y);
    store(nz, n.z);
    store(shape, face_shape<Measures>(p0, p1, p2));
    for (size_t k = 0; k < kW && at + k < count; ++k) {
      CollapseFace& f = m.faces[ids[at + k]];
      f.n = {nx[k], ny[k], nz[k]};
      f.shape = shape[k];
    }
  }
}

// ---------------------------------------------------------------------------

// The candidate the reducers' choice rule takes: trying the candidates in
// list order, each one whose cost is strictly below the best so far (which
// starts at `start`) replaces it. That is the lowest cost below `start`, the
// first in list order among equal costs. `lower[j]` is a bound that candidate
// j's exact cost cannot undercut (or NaN, bounding nothing); `exact(j)`
// computes its cost, only for candidates whose bound leaves them a chance.
// Returns kNone when no cost is below `start`.
template <class Exact>
TOOLS_MESH_ALWAYS_INLINE inline uint32_t cheapest_candidate(const float* lower, uint32_t count, float start,
                                                            Exact&& exact, float& best_cost) {
  uint32_t best = kNone;
  const auto consider = [&](uint32_t j) {
    const float c = exact(j);
    if (c < start && (best == kNone || c < best_cost || (c == best_cost && j < best))) {
      best = j;
      best_cost = c;
    }
  };
  // The candidate with the lowest bound below `start` first (the first among
  // equal bounds): usually the cheapest, so that the others' bounds rule
  // them out. The lanes are compared all at once; which candidates go
  // follows no pattern.
  const uint32_t groups = (count + kW - 1) / kW;
  const F limit = splat(start), infinite = splat(std::numeric_limits<float>::infinity());
  F lowest = infinite;
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t left = count - kW * g;
    const M here = mask_from_bits(left >= kW ? kAllLanes : (1u << left) - 1);
    const F b = load(lower + kW * g);
    lowest = smaller(select(here & less(b, limit), b, infinite), lowest);
  }
  const float least = min_of_lanes(lowest);
  uint32_t first = kNone;
  if (least < start) {
    for (uint32_t g = 0; g < groups && first == kNone; ++g) {
      const uint32_t left = count - kW * g;
      const uint32_t here = left >= kW ? kAllLanes : (1u << left) - 1;
      if (const uint32_t bits = lane_bits(equal(load(lower + kW * g), splat(least))) & here)
        first = kW * g + static_cast<uint32_t>(__builtin_ctz(bits));
    }
    consider(first);
  }
  // Then every candidate whose bound leaves it a chance against the best so
  // far: below `start` or NaN, and below the best cost, or equal to it and
  // earlier in the list.
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t left = count - kW * g;
    uint32_t open = (left >= kW ? kAllLanes : (1u << left) - 1) & ~lane_bits(at_least(load(lower + kW * g), limit));
    if (best != kNone) {
      const F b = load(lower + kW * g), index = splat(static_cast<float>(kW * g)) + lane_numbers();
      open &= ~lane_bits(greater(b, splat(best_cost)) |
                         (equal(b, splat(best_cost)) & greater(index, splat(static_cast<float>(best)))));
    }
    if (first != kNone && first / kW == g) open &= ~(1u << (first % kW));
    for (; open; open &= open - 1) consider(kW * g + static_cast<uint32_t>(__builtin_ctz(open)));
  }
  return best;
}

// What recomputing one vertex's choice works from. The candidate targets (the
// vertex's neighbours, in list order) are laid out kW to a group, so that
// every measure of a collapse is computed for kW candidates at once, one per
// lane; lanes past the last neighbour hold the vertex itself and are never
// read.
//
// The corner angles of a moved face need the unit directions between its
// corners. Every corner of u's faces other than u is a neighbour of u, so
// these directions are all between u's neighbours: they are computed once per
// vertex, as a table from each candidate to each neighbour, instead of three
// times per moved face.
template <class Measures>
class Neighbourhood {
 public:
  // Gathers the faces and neighbours of u, where each face's corners sit in
  // the neighbour list, and which faces hold each neighbour. Returns whether
  // u lies on an open border (it shares exactly one face with some
  // neighbour).
  bool gather(const CollapseMesh& m, uint32_t u) {
    u_ = u;
    face_count = m.face_count(u);
    neighbour_count = m.neighbour_count(u);
    groups = (neighbour_count + kW - 1) / kW;
    lanes_ = groups * kW;
    face_lanes_ = (face_count + kW - 1) / kW * kW;
    face_ids = m.faces_of(u);
    neighbour_ids = m.neighbours(u);
    reserve();

    float* xs = xyz_[0].data();
    float* ys = xyz_[1].data();
    float* zs = xyz_[2].data();
    uint32_t* ids = ids_.data();
    uint32_t* side_count = side_count_.data();
    // All lanes of the groups in one loop of a length that rarely changes
    // (lanes past the last neighbour hold u, and no vertex id).
    for (uint32_t j = 0; j < lanes_; ++j) {
      // Reading past the last neighbour stays inside the list's slot, which
      // holds a multiple of kW entries.
      const bool real = j < neighbour_count;
      const uint32_t listed = neighbour_ids[j];
      const uint32_t v = listed ^ ((listed ^ u) & (0u - static_cast<uint32_t>(!real)));
      const Vec3& p = m.pos[v];
      xs[j] = p.x;
      ys[j] = p.y;
      zs[j] = p.z;
      ids[j] = v | (0u - static_cast<uint32_t>(!real));  // kNone past the last
      side_count[j] = 0;
    }

    // For each face: u's corner, where the other corners sit in the
    // neighbour list, its normal, and the candidates that are one of its
    // corners (the face is a side of that collapse and is deleted by it
    // rather than moved), one bit each. For each candidate: its first two
    // sides, in face-list order, and how many it has.
    uint64_t* holds = holds_.data();
    FacePlan* plans = plans_.data();
    float* nx = normals_[0].data();
    float* ny = normals_[1].data();
    float* nz = normals_[2].data();
    const uint32_t words = words_;
    kind_count_[0] = kind_count_[1] = kind_count_[2] = kind_count_[3] = 0;
    for (uint32_t i = 0; i < face_count; ++i) {
      const CollapseFace& f = m.faces[face_ids[i]];
      nx[i] = f.n.x;
      ny[i] = f.n.y;
      nz[i] = f.n.z;
      // The common face: u at one corner, its other corners two neighbours.
      // Which corner is u follows no pattern: it is worked out, and the face
      // filed by it, without branches.
      const uint32_t c0 = f.v[0], c1 = f.v[1], c2 = f.v[2];
      const uint32_t at_u = (c0 == u) + (c1 == u) + (c2 == u);
      const int k = (c1 == u) + 2 * (c2 == u);  // when u is at exactly one corner
      // k is 3 when u is at corners 1 and 2; such a face is planned from its
      // corners, and the entries for 3 only keep the reads in the face.
      static constexpr int kNext[4] = {1, 2, 0, 0}, kAfter[4] = {2, 0, 1, 0};
      const uint32_t a = f.v[kNext[k]], b = f.v[kAfter[k]];
      const uint32_t ja = place(a), jb = place(b);
      uint32_t kind = 3;  // measured from its corners
      if (words == 1 && at_u == 1 && ja != kNone && jb != kNone) {
        FacePlan& plan = plans[i];
        plan.corner[k] = kAtU;
        plan.corner[kNext[k]] = static_cast<int32_t>(ja);
        plan.corner[kAfter[k]] = static_cast<int32_t>(jb);
        holds[i] = uint64_t{1} << ja | uint64_t{1} << jb;
        add_side(ja, i);
        if (b != a) add_side(jb, i);
        kind = static_cast<uint32_t>(k);
      } else {
        plan_face(f, i);
      }
      kind_faces_[kind * kind_stride_ + kind_count_[kind]++] = i;
    }
    const F nan = splat(std::numeric_limits<float>::quiet_NaN());  // faces past the last (see curvature)
    store(nx + face_count, nan);
    store(ny + face_count, nan);
    store(nz + face_count, nan);
    const uint32_t real = face_count % kW;
    last_start_ = select(mask_from_bits(real == 0 ? kAllLanes : (1u << real) - 1), splat(1.0f), splat(-1.0f));
    uint32_t border = 0;  // some neighbour in exactly one face (lanes past the last hold 0)
    for (uint32_t j = 0; j < lanes_; ++j) border |= side_count[j] == 1;
    have_side_lists_ = false;
    have_directions_ = false;
    return border != 0;
  }

  // Bits of the lanes of group g that hold a neighbour.
  uint32_t valid(uint32_t g) const {
    const uint32_t left = neighbour_count - kW * g;
    return left >= kW ? kAllLanes : (1u << left) - 1;
  }

  // The candidates' positions.
  V targets(uint32_t g) const { return {load(&xyz_[0][kW * g]), load(&xyz_[1][kW * g]), load(&xyz_[2][kW * g])}; }

  // Edge lengths |v - u|.
  F lengths(const CollapseMesh& m, uint32_t g) const {
    const Vec3& pu = m.pos[u_];
    const V d = targets(g) - V{splat(pu.x), splat(pu.y), splat(pu.z)};
    return sqrt(dot(d, d));
  }

  // What one face of u looks like once u has moved onto each candidate of a
  // group: its corners, its shape value and its unit normal, beside its
  // current shape value and normal.
  struct MovedFace {
    V p[3];
    F shape;
    V n;
    F shape_before;
    V n_before;
  };

  // Calls measure(i, moved face) for every face i of u, with u moved onto
  // each candidate of group g. Faces come grouped by which corner u holds
  // (which follows no pattern, so that branching on it face by face would
  // mostly guess wrong); results that depend on face order are to be
  // stored by face and gathered in face order afterwards.
  template <class Measure>
  TOOLS_MESH_ALWAYS_INLINE void measure_moved_faces(const CollapseMesh& m, uint32_t g, Measure&& measure) {
    if (!have_directions_) directions();
    const V to = targets(g);
    const uint32_t* kind = kind_faces_.data();
    const uint32_t stride = kind_stride_;
    for (uint32_t n = 0; n < kind_count_[0]; ++n) measure(kind[n], moved<0>(m, kind[n], g, to));
    for (uint32_t n = 0; n < kind_count_[1]; ++n) measure(kind[stride + n], moved<1>(m, kind[stride + n], g, to));
    for (uint32_t n = 0; n < kind_count_[2]; ++n)
      measure(kind[2 * stride + n], moved<2>(m, kind[2 * stride + n], g, to));
    for (uint32_t n = 0; n < kind_count_[3]; ++n)
      measure(kind[3 * stride + n], moved_direct(m, kind[3 * stride + n], to));
  }

  // The lanes of group g whose candidate is a corner of face i (the face is
  // deleted by that collapse, not moved).
  M sides(uint32_t i, uint32_t g) const {
    return mask_from_bits(side_bits(&holds_[static_cast<size_t>(i) * words_], g));
  }

  // Curvature of collapsing u onto neighbour j: the largest, over u's faces
  // F, of the smallest (1 - nF.nS) / 2 over the faces S of u that hold the
  // neighbour. Worked kW faces F at a time; a NaN term is skipped either
  // way, as it is in a scalar loop, and the largest of the lanes does not
  // depend on their order.
  float curvature(uint32_t j, float start) {
    const uint32_t count = side_count_[j];
    const uint32_t* sides = &first_sides_[3 * j];
    if (count > 2) {
      if (!have_side_lists_) side_lists();
      sides = &sides_[side_begin_[j]];
    }
    const float* nx = normals_[0].data();
    const float* ny = normals_[1].data();
    const float* nz = normals_[2].data();
    // Lanes past the last face start below any curvature, and their terms
    // (from NaN normals) are NaN, which `smaller` skips; `larger` skips a NaN
    // term too, so no lane of c is NaN. Halving is exact, so multiplying by
    // 0.5 gives what dividing by 2 does.
    const F one = splat(1.0f), half = splat(0.5f);
    F c = splat(start);
    for (uint32_t f = 0; f < face_lanes_; f += kW) {
      const V nf{load(nx + f), load(ny + f), load(nz + f)};
      F t = f + kW <= face_count ? one : last_start_;
      for (uint32_t k = 0; k < count; ++k) {
        const uint32_t side = sides[k];
        const V ns{splat(nx[side]), splat(ny[side]), splat(nz[side])};
        t = smaller((one - dot(nf, ns)) * half, t);
      }
      c = larger(t, c);
    }
    return max_of_lanes(c);
  }

  uint32_t face_count = 0, neighbour_count = 0, groups = 0;
  const uint32_t* face_ids = nullptr;
  const uint32_t* neighbour_ids = nullptr;

 private:
  static constexpr int32_t kAtU = -1;       // the corner is u itself
  static constexpr int32_t kUnlisted = -2;  // the corner is not among u's neighbours

  struct FacePlan {
    int32_t corner[3];  // place in the neighbour list, kAtU or kUnlisted
  };

  // Where vertex c sits in the neighbour list, or kNone.
  uint32_t place(uint32_t c) const {
    for (uint32_t g = 0; g < groups; ++g)
      if (const uint32_t bits = equal_ids(&ids_[kW * g], c)) return kW * g + static_cast<uint32_t>(__builtin_ctz(bits));
    return kNone;
  }

  // Face i holds neighbour j (each face once per neighbour).
  void add_side(uint32_t j, uint32_t i) {
    const uint32_t before = side_count_[j];
    first_sides_[3 * j + (before < 2 ? before : 2u)] = i;  // entry 2 takes the rest
    side_count_[j] = before + 1;
  }

  // Any face (here those measured from their corners: u at two corners, or
  // a corner that is not a neighbour): where its corners sit and which
  // neighbours it holds.
  void plan_face(const CollapseFace& f, uint32_t i) {
    FacePlan& plan = plans_[i];
    uint64_t* h = &holds_[static_cast<size_t>(i) * words_];
    for (uint32_t w = 0; w < words_; ++w) h[w] = 0;
    for (int k = 0; k < 3; ++k) {
      const uint32_t c = f.v[k];
      int32_t local = kAtU;
      if (c != u_) {
        const uint32_t j = place(c);
        if (j != kNone) {
          local = static_cast<int32_t>(j);
          const uint64_t bit = uint64_t{1} << (j % 64);
          if (!(h[j / 64] & bit)) {
            h[j / 64] |= bit;
            add_side(j, i);
          }
        } else {
          local = kUnlisted;
        }
      }
      plan.corner[k] = local;
    }
  }

  void reserve() {
    if (xyz_[0].size() < lanes_) {
      for (auto& c : xyz_) c.resize(lanes_);
      ids_.resize(lanes_);
    }
    if (plans_.size() < face_lanes_) {
      kind_stride_ = face_lanes_;
      kind_faces_.resize(4 * static_cast<size_t>(kind_stride_));
      plans_.resize(face_lanes_);
      for (auto& c : normals_) c.resize(face_lanes_ + kW);
    }
    words_ = neighbour_count > 64 ? (neighbour_count + 63) / 64 : 1;
    const size_t holds = static_cast<size_t>(face_count) * words_;
    if (holds_.size() < holds) holds_.resize(holds);
    if (side_count_.size() < lanes_ + 1) {
      side_count_.resize(lanes_ + 1);
      side_begin_.resize(lanes_ + 1);
      side_fill_.resize(lanes_ + 1);
      first_sides_.resize(3 * static_cast<size_t>(lanes_) + 3);
    }
  }

  // The lanes of group g whose candidate is a corner of a face, from the
  // face's bits (one per candidate, 64 to a word).
  static uint32_t side_bits(const uint64_t* holds, uint32_t g) {
    constexpr uint32_t groups_per_word = 64 / kW;
    return static_cast<uint32_t>(holds[g / groups_per_word] >> (kW * (g % groups_per_word))) & kAllLanes;
  }

  // Face i with u at corner k and two other corners that are neighbours:
  // the edge directions come from the table (the edge leaving u's corner
  // goes to a neighbour, the one arriving comes from a neighbour, the third
  // joins two neighbours and does not change).
  template <int k>
  TOOLS_MESH_ALWAYS_INLINE MovedFace moved(const CollapseMesh& m, uint32_t i, uint32_t g, const V& to) const {
    constexpr int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
    const CollapseFace& f = m.faces[face_ids[i]];
    const FacePlan& plan = plans_[i];
    const auto a = static_cast<size_t>(plan.corner[k1]), b = static_cast<size_t>(plan.corner[k2]);
    const float* const dx = dir_[0].data();
    const float* const dy = dir_[1].data();
    const float* const dz = dir_[2].data();
    const float* const rx = rev_[0].data();
    const float* const ry = rev_[1].data();
    const float* const rz = rev_[2].data();
    const size_t ab = b * lanes_ + a;  // a -> b, the same in every lane
    const size_t ga = a * lanes_ + kW * g, gb = b * lanes_ + kW * g;
    MovedFace mf;
    mf.p[k] = to;
    mf.p[k1] = broadcast(m.pos[f.v[k1]]);
    mf.p[k2] = broadcast(m.pos[f.v[k2]]);
    V e[3], r[3];
    e[k] = {load(dx + ga), load(dy + ga), load(dz + ga)};  // u's corner -> a
    r[k] = {load(rx + ga), load(ry + ga), load(rz + ga)};
    e[k1] = {splat(dx[ab]), splat(dy[ab]), splat(dz[ab])};
    r[k1] = {splat(rx[ab]), splat(ry[ab]), splat(rz[ab])};
    e[k2] = {load(rx + gb), load(ry + gb), load(rz + gb)};  // b -> u's corner
    r[k2] = {load(dx + gb), load(dy + gb), load(dz + gb)};
    mf.shape = Measures::shape_of(largest_corner_cosine(e[0], e[1], e[2], r[0], r[1], r[2]));
    mf.n = face_normal<Measures::kRule>(mf.p[0], mf.p[1], mf.p[2]);
    mf.shape_before = splat(f.shape);
    mf.n_before = broadcast(f.n);
    return mf;
  }

  // Any other face (u at two corners, or a corner that is not a neighbour):
  // measured from its corners.
  MovedFace moved_direct(const CollapseMesh& m, uint32_t i, const V& to) const {
    const CollapseFace& f = m.faces[face_ids[i]];
    MovedFace mf;
    for (int k = 0; k < 3; ++k) mf.p[k] = f.v[k] == u_ ? to : broadcast(m.pos[f.v[k]]);
    mf.shape = face_shape<Measures>(mf.p[0], mf.p[1], mf.p[2]);
    mf.n = face_normal<Measures::kRule>(mf.p[0], mf.p[1], mf.p[2]);
    mf.shape_before = splat(f.shape);
    mf.n_before = broadcast(f.n);
    return mf;
  }

  // Side lists of every candidate, in face-list order (for candidates with
  // more than two sides).
  void side_lists() {
    uint32_t total = 0;
    for (uint32_t j = 0; j < neighbour_count; ++j) {
      side_begin_[j] = total;
      total += side_count_[j];
    }
    side_begin_[neighbour_count] = total;
    if (sides_.size() < total) sides_.resize(total);
    uint32_t* next = side_fill_.data();
    for (uint32_t j = 0; j < neighbour_count; ++j) next[j] = side_begin_[j];
    for (uint32_t i = 0; i < face_count; ++i)
      for (uint32_t w = 0; w < words_; ++w)
        for (uint64_t bits = holds_[static_cast<size_t>(i) * words_ + w]; bits; bits &= bits - 1) {
          const uint32_t j = 64 * w + static_cast<uint32_t>(__builtin_ctzll(bits));
          sides_[next[j]++] = i;
        }
    have_side_lists_ = true;
  }

  // dir_[a]: the unit direction, in shape space, from each candidate to
  // neighbour a; rev_[a] its reverse, from neighbour a to each candidate.
  void directions() {
    const size_t rows = static_cast<size_t>(neighbour_count) * lanes_;
    if (dir_[0].size() < rows)
      for (int c = 0; c < 3; ++c) {
        dir_[c].resize(rows);
        rev_[c].resize(rows);
      }
    float* const dx = dir_[0].data();
    float* const dy = dir_[1].data();
    float* const dz = dir_[2].data();
    float* const rx = rev_[0].data();
    float* const ry = rev_[1].data();
    float* const rz = rev_[2].data();
    const float* const xs = xyz_[0].data();
    const float* const ys = xyz_[1].data();
    const float* const zs = xyz_[2].data();
    for (uint32_t a = 0; a < neighbour_count; ++a) {
      const V to = Measures::shape_space({splat(xs[a]), splat(ys[a]), splat(zs[a])});
      for (uint32_t g = 0; g < groups; ++g) {
        const V from = Measures::shape_space({load(xs + kW * g), load(ys + kW * g), load(zs + kW * g)});
        const V d = normalise<Measures::kRule>(to - from);
        const size_t at = static_cast<size_t>(a) * lanes_ + kW * g;
        store(dx + at, d.x);
        store(dy + at, d.y);
        store(dz + at, d.z);
        store(rx + at, -d.x);
        store(ry + at, -d.y);
        store(rz + at, -d.z);
      }
    }
    have_directions_ = true;
  }

  uint32_t u_ = kNone;
  uint32_t lanes_ = 0, face_lanes_ = 0, words_ = 1;
  std::vector<uint32_t> ids_;  // the candidates' vertex ids, kW to a group (kNone past the last)
  std::vector<float> xyz_[3];
  std::vector<FacePlan> plans_;
  std::vector<uint32_t> kind_faces_;  // faces by u's corner (0, 1, 2) or measured from corners (3)
  uint32_t kind_stride_ = 0, kind_count_[4] = {};
  std::vector<float> normals_[3];  // of u's faces
  std::vector<uint64_t> holds_;    // per face, one bit per candidate
  std::vector<uint32_t> side_count_;
  std::vector<uint32_t> first_sides_;  // per candidate: its first two sides (and a spare entry)
  std::vector<uint32_t> side_begin_, side_fill_, sides_;
  std::vector<float> dir_[3], rev_[3];
  F last_start_ = splat(1.0f);  // where the curvature of the last group of faces starts, lane by lane
  bool have_side_lists_ = false;
  bool have_directions_ = false;
};

// ---------------------------------------------------------------------------
// The model exporter's cost of a vertex: for each neighbour v, with L = |v -
// u|, c = the curvature (at least 0.01) times the shape factor A (the largest
// 1 + 0.01 (q(f') - q(f)) over the faces that move, 0 when none does), or 1
// when a moved face would turn by 60 degrees or more (n_f' . n_f below 0.5);
// the cost is c L, 999999 on an open border.
class ModelChooser {
 public:
  static constexpr float kBorderCost = 999999.0f;
  static constexpr float kStartCost = 1000000.0f;
  static constexpr float kStartCurvature = 0.01f;
  static constexpr CollapseMesh::Measure kMeasure = measure_faces<ModelMeasures>;

  // The strictly cheapest collapse of u onto one of its neighbours, tried in
  // list order (none without neighbours: cost -0.01). There is no secondary
  // cost here: it stays 0.
  Choice choose(const CollapseMesh& mesh, uint32_t u) {
    if (mesh.neighbour_count(u) == 0) return {-0.01f, 0.0f, kNone};
    // On an open border every collapse costs the same, so the first
    // neighbour is the target.
    if (hood_.gather(mesh, u)) return {kBorderCost, 0.0f, hood_.neighbour_ids[0]};
    const uint32_t groups = hood_.groups;
    const size_t lanes = static_cast<size_t>(groups) * kW;
    room_for(bounds_, lanes);
    room_for(flips_, lanes);
    room_for(shapes_, lanes);
    room_for(lengths_, lanes);
    const F one = splat(1.0f), hundredth = splat(0.01f);
    for (uint32_t g = 0; g < groups; ++g) {
      // Shape factor A: the largest 1 + 0.01 (q(f') - q(f)) over the faces
      // that move (0 when none does); flip value B: the smallest n_f' . n_f.
      const uint32_t faces = hood_.face_count;
      room_for(term_, faces);
      room_for(agree_, faces);
      hood_.measure_moved_faces(mesh, g, [&](uint32_t i, const Hood::MovedFace& f) TOOLS_MESH_ALWAYS_INLINE {
        term_[i] = one + hundredth * (f.shape - f.shape_before);
        agree_[i] = dot(f.n, f.n_before);
      });
      F shape = splat(0.0f), flip = one;
      for (uint32_t i = 0; i < faces; ++i) {
        const M side = hood_.sides(i, g);
        shape = select(side, shape, larger(term_[i], shape));
        flip = select(side, flip, smaller(agree_[i], flip));
      }
      // With the curvature at least 0.01, 0.01 A L bounds the cost from
      // below and spares working out the curvature of most candidates.
      const F len = hood_.lengths(mesh, g);
      store(&bounds_[kW * g], select(less(flip, splat(0.5f)), len, (hundredth * shape) * len));
      store(&flips_[kW * g], flip);
      store(&shapes_[kW * g], shape);
      store(&lengths_[kW * g], len);
    }
    float best = 0;
    const uint32_t j = cheapest_candidate(
        bounds_.data(), hood_.neighbour_count, kStartCost,
        [&](uint32_t k) {
          const float c = flips_[k] < 0.5f ? 1.0f : hood_.curvature(k, kStartCurvature) * shapes_[k];
          return c * lengths_[k];
        },
        best);
    if (j == kNone) return {kStartCost, 0.0f, kNone};
    return {best, 0.0f, hood_.neighbour_ids[j]};
  }

 private:
  using Hood = Neighbourhood<ModelMeasures>;
  Hood hood_;
  std::vector<F> term_, agree_;                           // per face, for one group of candidates
  std::vector<float> bounds_, flips_, shapes_, lengths_;  // per candidate
};

// ---------------------------------------------------------------------------
// The terrain generator's cost of a vertex: for each neighbour v, with len =
// |v - u|, the secondary cost is curvature x len (the curvature at least
// 0.005) and the cost factor x len, where factor = shape x curvature (shape
// the mean of (w q + 1)^3 over the moved faces, q the change of their shape
// value), or 1 when a moved face would turn by 60 degrees or more, or 1e10 on
// an open border. A moved face spanning more than 32 units in x, y or z rules
// the collapse out.
class TerrainChooser {
 public:
  static constexpr float kStartCost = 1000000.0f;
  static constexpr float kStartCurvature = 0.005f;
  static constexpr float kMaxExtent = 32.0f;
  static constexpr float kBorderFactor = 1e10f;
  static constexpr CollapseMesh::Measure kMeasure = measure_faces<TerrainMeasures>;

  // `shape_weight` scales the shape change of the moved faces.
  explicit TerrainChooser(float shape_weight) : shape_weight_(shape_weight) {}

  // The strictly cheapest collapse of u onto one of its neighbours, tried in
  // list order (none without neighbours: cost -0.01, secondary 0).
  Choice choose(const CollapseMesh& mesh, uint32_t u) {
    if (mesh.neighbour_count(u) == 0) return {-0.01f, 0.0f, kNone};
    const bool border = hood_.gather(mesh, u);
    const uint32_t groups = hood_.groups;
    const F zero = splat(0.0f), one = splat(1.0f), start = splat(kStartCost);
    const size_t lanes = static_cast<size_t>(groups) * kW;
    room_for(bounds_, lanes);
    room_for(shapes_, lanes);
    room_for(agrees_, lanes);
    room_for(lens_, lanes);
    room_for(curvatures_, lanes);
    const F w = splat(shape_weight_), limit = splat(kMaxExtent), half = splat(0.5f), least = splat(kStartCurvature);
    const F infinity = splat(std::numeric_limits<float>::infinity());
    bool any = false;
    for (uint32_t g = 0; g < groups; ++g) {
      const F len = hood_.lengths(mesh, g);
      store(&lens_[kW * g], len);
      // A border vertex's collapse costs 1e10 x len (or 1e10 past the
      // extent), which never undercuts the starting cost of 1,000,000
      // unless the edge has almost no length; only such edges need
      // measuring.
      const uint32_t open =
          border ? lane_bits(less(splat(kBorderFactor) * len, start)) & hood_.valid(g) : hood_.valid(g);
      if (!open) {
        store(&bounds_[kW * g], infinity);
        continue;
      }
      any = true;
      // Over the faces that move: the sum of (w q + 1)^3 for the shape
      // change q, their count, the smallest agreement of the normals, and
      // whether any spans more than 32 units in x, y or z.
      const uint32_t faces = hood_.face_count;
      room_for(term_, faces);
      room_for(agree_, faces);
      room_for(wide_, faces);
      hood_.measure_moved_faces(mesh, g, [&](uint32_t i, const Hood::MovedFace& f) TOOLS_MESH_ALWAYS_INLINE {
        const F t = w * (f.shape - f.shape_before) + one;
        term_[i] = t * t * t;
        agree_[i] = dot(f.n, f.n_before);
        // The largest coordinate difference between two corners (a NaN
        // difference is passed over, as `if (d > e) e = d` does).
        const V e0 = f.p[1] - f.p[0], e1 = f.p[2] - f.p[1], e2 = f.p[0] - f.p[2];
        F extent = larger(abs(e0.x), zero);
        extent = larger(abs(e0.y), extent);
        extent = larger(abs(e0.z), extent);
        extent = larger(abs(e1.x), extent);
        extent = larger(abs(e1.y), extent);
        extent = larger(abs(e1.z), extent);
        extent = larger(abs(e2.x), extent);
        extent = larger(abs(e2.y), extent);
        extent = larger(abs(e2.z), extent);
        wide_[i] = greater(extent, limit);
      });
      F sum = zero, count = zero, agreement = one;
      M wide = no_lanes();
      for (uint32_t i = 0; i < faces; ++i) {
        const M side = hood_.sides(i, g);
        sum = select(side, sum, sum + term_[i]);
        count = select(side, count, count + one);
        agreement = select(side, agreement, smaller(agree_[i], agreement));
        wide = wide | but_not(wide_[i], side);
      }
      // Unless the factor is fixed (1 for a turning face, 1e10 on a border)
      // it is shape x curvature with the curvature between 0.005 and 1, so
      // shape x 0.005 (shape when it is negative) bounds it from below and
      // spares working out the curvature of most candidates. A moved face
      // wider than 32 units costs 1e10, and so does a long border edge:
      // never taken.
      const F shape = select(is_zero(count), one, sum / count);
      F factor = select(at_least(agreement, half), select(less(shape, zero), shape, shape * least), one);
      if (border) factor = splat(kBorderFactor);
      const M closed = mask_from_bits(~open & kAllLanes) | wide;
      store(&bounds_[kW * g], select(closed, infinity, factor * len));
      store(&shapes_[kW * g], shape);
      store(&agrees_[kW * g], agreement);
    }
    if (!any) return {kStartCost, kStartCost, kNone};
    float best = 0;
    const uint32_t j = cheapest_candidate(
        bounds_.data(), hood_.neighbour_count, kStartCost,
        [&](uint32_t k) {
          const float curvature = hood_.curvature(k, kStartCurvature);
          curvatures_[k] = curvature;
          float factor = agrees_[k] >= 0.5f ? shapes_[k] * curvature : 1.0f;
          if (border) factor = kBorderFactor;
          return factor * lens_[k];
        },
        best);
    if (j == kNone) return {kStartCost, kStartCost, kNone};
    return {best, curvatures_[j] * lens_[j], hood_.neighbour_ids[j]};
  }

 private:
  using Hood = Neighbourhood<TerrainMeasures>;
  float shape_weight_;
  Hood hood_;
  std::vector<F> term_, agree_;  // per face, for one group of candidates
  std::vector<M> wide_;
  std::vector<float> bounds_, shapes_, agrees_, lens_, curvatures_;  // per candidate
};
