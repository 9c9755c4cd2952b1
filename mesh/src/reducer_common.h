#pragma once
// Working mesh, cheapest-vertex heap and reducer core shared by the two
// edge-collapse reducers (the model exporter's progressive reducer and the
// terrain generator's EdgeCollapseReducer).
//
// Both reducers are defined exactly, down to the order of every float
// operation, the order of every list and the choice among equal costs, and
// their results must not change by a bit. What is fast here therefore changes
// only how the work is laid out, never what is computed:
//
// - The vertex list and the face list are kept in creation order and only
//   ever lose entries, so a vertex's position in the list orders the same way
//   as its id. They are arrays indexed by id with a live mark, and "the
//   cheapest vertex, the later one among equals" is an indexed heap ordered
//   by (cost ascending, id descending).
// - Each vertex's neighbour and face lists keep their order exactly (it
//   decides ties and the order of float sums). They live in one pool of
//   indices, each list in a slot of a power-of-two size, moved to a slot
//   twice as large when it fills up; slots given up are used again. Removal
//   shifts the later entries down.
// - A vertex's cost is worked out for several candidate targets at once with
//   SIMD (reducer_lanes.h). Every lane runs the same IEEE single-precision
//   operations in the same order as a scalar evaluation (no fused
//   multiply-add, no reciprocal estimates), so each lane's result is
//   bit-identical to the scalar one whatever the lane count.
// - Where a decision follows no pattern (which corner of a face is the
//   vertex, where an entry sits in a list, which faces are gone), the code
//   avoids branching on it: a guessed-wrong branch costs more than the few
//   extra instructions.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// TOOLS_MESH_NO_SIMD builds the plain-loop fallback on x86 too.
#if defined(__SSE2__) && !defined(TOOLS_MESH_NO_SIMD)
#include <immintrin.h>
#define TOOLS_MESH_SSE 1
#endif

// Eight-lane AVX2 code is built beside the four-lane SSE code and chosen at
// run time (GCC on x86-64; other compilers use four lanes).
#if defined(TOOLS_MESH_SSE) && defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TOOLS_MESH_WIDE_LANES 1
#endif

// For the few small functions of the inner loops that the compiler might
// otherwise leave as calls.
#if defined(__GNUC__)
#define TOOLS_MESH_ALWAYS_INLINE __attribute__((always_inline))
#else
#define TOOLS_MESH_ALWAYS_INLINE
#endif

namespace tools::mesh::detail {

constexpr uint32_t kNone = 0xffffffffu;

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

inline Vec3 operator-(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline float length(const Vec3& a) {
  return std::sqrt(dot(a, a));
}

// What normalising does with a vector whose length is 0.
enum class ZeroLength {
  kDivideByTenth,  // model exporter: divide by 0.1 instead
  kKeep,           // terrain: leave the vector as it is
};

// A vertex's choice: its cost, its secondary cost (the terrain reducer's
// threshold measure) and its collapse target.
struct Choice {
  float cost;
  float secondary;
  uint32_t target;
};

// Whether the eight-lane code runs: the processor has AVX2 and it has not
// been turned off with use_wide_lanes(false) (the tests compare both).
bool wide_lanes();
void use_wide_lanes(bool on);

// Makes v hold at least n entries. The choosers' scratch arrays only grow:
// shrinking and growing them again from vertex to vertex would fill the
// new entries with zeros each time, and every entry read is written first.
template <class T>
inline void room_for(std::vector<T>& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

// ---------------------------------------------------------------------------
// Allocation of the large arrays of a big mesh. A reduction reads them in
// cost order, all over: on Linux, arrays of 1 MiB and more are placed on
// 2 MiB boundaries and the kernel is asked to back them with huge pages,
// which spares most address-translation misses, and makes first use of the
// memory one page fault per 2 MiB rather than one per 4 KiB (a fresh
// reducer's arrays are new memory each time, and faults are slow).
template <class T>
struct BigArrays {
  using value_type = T;
  static constexpr size_t kHuge = size_t{2} << 20;
  static constexpr size_t kBig = size_t{1} << 20;  // from this size on

  BigArrays() = default;
  template <class U>
  BigArrays(const BigArrays<U>&) {}

  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kBig) {
      const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
      void* p = std::aligned_alloc(kHuge, rounded);
      if (!p) throw std::bad_alloc();
      madvise(p, rounded, MADV_HUGEPAGE);
      return static_cast<T*>(p);
    }
#endif
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (n * sizeof(T) >= kBig) {
      std::free(p);
      return;
    }
#endif
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const BigArrays<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const BigArrays<U>&) const {
    return false;
  }
};

template <class T>
using BigVector = std::vector<T, BigArrays<T>>;

// ---------------------------------------------------------------------------
// Ordered lists of vertex or face ids in one pool.

struct ListSlot {
  uint32_t offset = 0, size = 0, capacity = 0;
};

class ListPool {
 public:
  // Lists of up to kShort entries are searched and shifted without loops
  // whose length depends on the data: every slot holds a multiple of kShort
  // entries and the pool keeps kShort spare entries past the last slot, so
  // the first kShort entries of any slot, and the one after them, can always
  // be read.
  static constexpr uint32_t kShort = 8;

  void clear() {
    pool_.clear();
    free_.clear();
    used_ = 0;
  }
  // Room for slots of `total` entries in all (and `spare` more for lists
  // that grow), allocated at once; only what is used is touched.
  void reserve(size_t total, size_t spare) {
    pool_.reserve(used_ + total + spare + kShort);
    if (pool_.size() < used_ + total + kShort) pool_.resize(used_ + total + kShort);
  }

  // The entries of a slot for at least `capacity` entries: a power of two,
  // at least kShort.
  static uint32_t slot_size(uint32_t capacity) { return capacity <= kShort ? kShort : std::bit_ceil(capacity); }
  // 0 for slots of kShort entries, 1 for twice as many, ...
  static int size_class_of(uint32_t size) { return std::countr_zero(size) - std::countr_zero(kShort); }

  // A slot for at least `capacity` entries. Slots given back are used again
  // before the pool grows, so the pool stays about the size of the mesh's
  // lists however long the reduction runs.
  ListSlot make(uint32_t capacity) {
    const uint32_t size = slot_size(capacity);
    const int size_class = size_class_of(size);
    if (static_cast<size_t>(size_class) >= free_.size()) free_.resize(static_cast<size_t>(size_class) + 1);
    std::vector<uint32_t>& spare = free_[static_cast<size_t>(size_class)];
    if (!spare.empty()) {
      const uint32_t offset = spare.back();
      spare.pop_back();
      return {offset, 0, size};
    }
    if (used_ + size + kShort > pool_.size()) {
      if (used_ + size + kShort > pool_.capacity()) pool_.reserve(2 * (used_ + size + kShort));
      pool_.resize(used_ + size + kShort);
    }
    ListSlot s{static_cast<uint32_t>(used_), 0, size};
    used_ += size;
    return s;
  }

  // Gives the slot back; the list is empty from then on.
  void release(ListSlot& s) {
    if (s.capacity == 0) return;
    free_[static_cast<size_t>(size_class_of(s.capacity))].push_back(s.offset);
    s = {};
  }

  uint32_t* begin(const ListSlot& s) { return pool_.data() + s.offset; }
  const uint32_t* begin(const ListSlot& s) const { return pool_.data() + s.offset; }

  // Position of the first `a` in the list, or kNone.
  uint32_t find(const ListSlot& s, uint32_t a) const {
    const uint32_t* p = begin(s);
#if TOOLS_MESH_SSE
    if (s.size <= kShort) {
      const __m128i key = _mm_set1_epi32(static_cast<int>(a));
      const __m128i lo = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), key);
      const __m128i hi = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4)), key);
      const auto bits =
          static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(lo)) | _mm_movemask_ps(_mm_castsi128_ps(hi)) << 4) &
          ((1u << s.size) - 1);
      const auto first = static_cast<uint32_t>(__builtin_ctz(bits | 0x100u));  // 8 when none
      return first < kShort ? first : kNone;
    }
#endif
    for (uint32_t i = 0; i < s.size; ++i)
      if (p[i] == a) return i;
    return kNone;
  }

  bool contains(const ListSlot& s, uint32_t a) const {
    return find(s, a) != kNone;
  }

  void push(ListSlot& s, uint32_t a) {
    if (s.size == s.capacity) grow(s);
    pool_[s.offset + s.size++] = a;
  }

  // Removes the first `a`, keeping the order of the rest.
  void remove(ListSlot& s, uint32_t a) {
    const uint32_t at = find(s, a);
    if (at == kNone) return;
    uint32_t* p = begin(s);
#if TOOLS_MESH_SSE
    if (s.size <= kShort) {
      // Entries from `at` on take their successor's value; entries past the
      // end of the list are shifted too, and never read as entries.
      const __m128i from = _mm_set1_epi32(static_cast<int>(at) - 1);
      const __m128i lo_lanes = _mm_setr_epi32(0, 1, 2, 3), hi_lanes = _mm_setr_epi32(4, 5, 6, 7);
      auto* q = reinterpret_cast<__m128i*>(p);
      const __m128i lo = _mm_loadu_si128(q), hi = _mm_loadu_si128(q + 1);
      const __m128i lo_next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
      const __m128i hi_next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 5));
      const __m128i lo_moves = _mm_cmpgt_epi32(lo_lanes, from), hi_moves = _mm_cmpgt_epi32(hi_lanes, from);
      _mm_storeu_si128(q, _mm_or_si128(_mm_and_si128(lo_moves, lo_next), _mm_andnot_si128(lo_moves, lo)));
      _mm_storeu_si128(q + 1, _mm_or_si128(_mm_and_si128(hi_moves, hi_next), _mm_andnot_si128(hi_moves, hi)));
    } else
#endif
    {
      for (uint32_t k = at + 1; k < s.size; ++k) p[k - 1] = p[k];
    }
    --s.size;
  }

 private:
  // Moves the list to a slot twice as large.
  void grow(ListSlot& s) {
    ListSlot bigger = make(2 * s.capacity);
    for (uint32_t i = 0; i < s.size; ++i) pool_[bigger.offset + i] = pool_[s.offset + i];
    bigger.size = s.size;
    release(s);
    s = bigger;
  }

  BigVector<uint32_t> pool_;
  std::vector<std::vector<uint32_t>> free_;  // offsets of unused slots, by size class
  size_t used_ = 0;
};

// ---------------------------------------------------------------------------

// A face; its first corner is kNone once it is deleted.
struct CollapseFace {
  uint32_t v[3];
  Vec3 n;           // unit normal
  float shape = 0;  // the reducer's shape measure of the face
  bool has(uint32_t a) const { return (v[0] == a) | (v[1] == a) | (v[2] == a); }
};

// What the reducers keep of a vertex besides its position and its list
// entries, together: a reduction visits vertices in cost order, all over the
// mesh. (Positions stay in an array of their own, where neighbours with
// nearby numbers share cache lines.)
struct VertexRecord {
  ListSlot neighbours;
  ListSlot faces;
  float cost = 0;
  float secondary = 0;  // the terrain reducer's
  uint32_t target = kNone;
  uint32_t alive = 1;
};

// The working mesh. Faces are kept with their unit normal and the reducer's
// shape value, which `measure` (set by the reducer) recomputes whenever a
// face changes.
class CollapseMesh {
 public:
  using Measure = void (*)(CollapseMesh& mesh, const uint32_t* face_ids, size_t count);
  explicit CollapseMesh(Measure measure) : measure_(measure) {}
  void set_measure(Measure measure) { measure_ = measure; }

  // Builds the vertices (first three floats of each record) and the faces in
  // input order. Faces naming a vertex beyond the vertex count are skipped.
  // Records shorter than three floats cannot be read (the last one would
  // reach past the array), and vertex ids must fit 32 bits: such input gives
  // an empty mesh.
  template <class Index>
  void load(const void* records, size_t vertex_count, size_t stride_bytes, const Index* triangles,
            size_t triangle_count) {
    if (stride_bytes < 3 * sizeof(float) || vertex_count >= kNone) vertex_count = triangle_count = 0;
    verts.assign(vertex_count, VertexRecord{});
    pos.resize(vertex_count);
    faces.clear();
    pool.clear();
    const auto* bytes = static_cast<const unsigned char*>(records);
    for (size_t i = 0; i < vertex_count; ++i) {
      float xyz[3];
      std::memcpy(xyz, bytes + i * stride_bytes, sizeof xyz);
      pos[i] = {xyz[0], xyz[1], xyz[2]};
    }

    // Size every vertex's lists for its initial faces (two spare entries take
    // the first collapses onto it), so that loading allocates once and a
    // vertex's lists sit side by side. Around an inner vertex of a closed
    // surface there are as many neighbours as faces.
    std::vector<uint32_t> uses(vertex_count, 0);
    size_t valid = 0;
    for (size_t t = 0; t < triangle_count; ++t) {
      const Index* c = triangles + 3 * t;
      if (c[0] >= vertex_count || c[1] >= vertex_count || c[2] >= vertex_count) continue;
      ++valid;
      ++uses[c[0]];
      if (c[1] != c[0]) ++uses[c[1]];
      if (c[2] != c[0] && c[2] != c[1]) ++uses[c[2]];
    }
    // Exactly the slots' room is filled in; the reserve beyond it is only
    // address space until lists outgrow their slots.
    size_t total = 0;
    for (uint32_t n : uses) total += 2 * static_cast<size_t>(ListPool::slot_size(n + 2));
    pool.reserve(total, total);
    for (size_t i = 0; i < vertex_count; ++i) {
      verts[i].faces = pool.make(uses[i] + 2);
      verts[i].neighbours = pool.make(uses[i] + 2);
    }

    // Faces are kept in input order, which is the face list's order; a
    // deleted face's first corner is set to kNone.
    faces.reserve(valid);
    for (size_t t = 0; t < triangle_count; ++t) {
      const Index* c = triangles + 3 * t;
      // The corners' records, and then their lists, are asked for a few
      // triangles ahead: the input's triangles may come in any order.
      if (t + 2 * kLoadAhead < triangle_count) prefetch_records(triangles + 3 * (t + 2 * kLoadAhead), vertex_count);
      if (t + kLoadAhead < triangle_count) prefetch_lists(triangles + 3 * (t + kLoadAhead), vertex_count);
      if (c[0] >= vertex_count || c[1] >= vertex_count || c[2] >= vertex_count) continue;
      const auto id = static_cast<uint32_t>(faces.size());
      faces.push_back({{static_cast<uint32_t>(c[0]), static_cast<uint32_t>(c[1]), static_cast<uint32_t>(c[2])}, {}, 0});
      const CollapseFace& f = faces.back();
      // Each face enters the face list of each of its corners once.
      pool.push(verts[f.v[0]].faces, id);
      if (f.v[1] != f.v[0]) pool.push(verts[f.v[1]].faces, id);
      if (f.v[2] != f.v[0] && f.v[2] != f.v[1]) pool.push(verts[f.v[2]].faces, id);
      link_corners(id);
    }
    uint32_t ids[256];
    for (size_t first = 0; first < faces.size(); first += 256) {
      const size_t count = std::min<size_t>(256, faces.size() - first);
      for (size_t i = 0; i < count; ++i) ids[i] = static_cast<uint32_t>(first + i);
      refresh(ids, count);
    }
    live_vertices = vertex_count;
    live_faces = faces.size();
  }

  void clear() {
    verts = {};
    pos = {};
    faces = {};
    pool.clear();
    live_vertices = 0;
    live_faces = 0;
  }

  const uint32_t* neighbours(uint32_t u) const { return pool.begin(verts[u].neighbours); }
  uint32_t neighbour_count(uint32_t u) const { return verts[u].neighbours.size; }
  const uint32_t* faces_of(uint32_t u) const { return pool.begin(verts[u].faces); }
  uint32_t face_count(uint32_t u) const { return verts[u].faces.size; }

  // How many triangles ahead loading asks for the lists of their corners
  // (and twice as far for the corners' records).
  static constexpr size_t kLoadAhead = 4;
  template <class Index>
  void prefetch_records(const Index* c, size_t vertex_count) const {
#if defined(__GNUC__)
    for (int k = 0; k < 3; ++k)
      if (c[k] < vertex_count) __builtin_prefetch(&verts[c[k]]);
#else
    (void)c;
    (void)vertex_count;
#endif
  }
  template <class Index>
  void prefetch_lists(const Index* c, size_t vertex_count) const {
#if defined(__GNUC__)
    for (int k = 0; k < 3; ++k)
      if (c[k] < vertex_count) {
        __builtin_prefetch(pool.begin(verts[c[k]].faces), 1);
        __builtin_prefetch(pool.begin(verts[c[k]].neighbours), 1);
      }
#else
    (void)c;
    (void)vertex_count;
#endif
  }

  // Asks for the faces of a collapsing vertex and the lists of its
  // neighbours, scattered over memory, all at once.
  void prefetch_collapse(uint32_t collapsing, const std::vector<uint32_t>& vertices) const {
#if defined(__GNUC__)
    for (uint32_t w : vertices) __builtin_prefetch(&verts[w]);
    for (uint32_t w : vertices) {
      __builtin_prefetch(pool.begin(verts[w].faces));
      __builtin_prefetch(pool.begin(verts[w].neighbours));
    }
    const uint32_t* f = faces_of(collapsing);
    for (uint32_t i = 0; i < face_count(collapsing); ++i) __builtin_prefetch(&faces[f[i]]);
#else
    (void)collapsing;
    (void)vertices;
#endif
  }

  static constexpr size_t kUpdatesAhead = 2;

  // Asks for what recomputing the cost of vertex w reads (its faces and its
  // neighbours' positions), scattered over memory, ahead of time.
  void prefetch_neighbourhood(uint32_t w) const {
#if defined(__GNUC__)
    const uint32_t* f = faces_of(w);
    for (uint32_t i = 0; i < face_count(w); ++i) __builtin_prefetch(&faces[f[i]]);
    const uint32_t* nb = neighbours(w);
    for (uint32_t i = 0; i < neighbour_count(w); ++i) __builtin_prefetch(&pos[nb[i]]);
#else
    (void)w;
#endif
  }

  // Asks for what collapsing vertex t reads, in stages, each following the
  // lists the stage before asked for: its record and position (0), its
  // lists (1), its faces and its neighbours' records and positions (2), the
  // neighbours' lists (3), and the neighbours' faces (4). The reducers guess
  // the next vertex to collapse (the cheapest one before the costs around
  // the last collapse are redone) and run one stage between two of those
  // updates: the next collapse's data, anywhere in memory, then arrives
  // while the updates compute instead of one miss after another. A wrong
  // guess costs a few reads; nothing computed depends on it.
  static constexpr uint32_t kAheadStages = 5;
  void prefetch_ahead(uint32_t t, uint32_t stage) const {
#if defined(__GNUC__)
    // Long lists are followed only so far: they are rare, and the prefetches
    // in flight are few.
    constexpr uint32_t kFollow = 12;
    // Stage 0 only asks for t's record; the later ones read it.
    const VertexRecord& r = verts[t];
    if (stage == 0) {
      __builtin_prefetch(&r);
      __builtin_prefetch(&pos[t]);
      return;
    }
    if (stage == 1) {
      __builtin_prefetch(pool.begin(r.faces));
      __builtin_prefetch(pool.begin(r.neighbours));
      return;
    }
    const uint32_t nc = std::min(r.neighbours.size, kFollow);
    const uint32_t* nb = pool.begin(r.neighbours);
    if (stage == 2) {
      const uint32_t* f = pool.begin(r.faces);
      for (uint32_t i = 0, n = std::min(r.faces.size, kFollow); i < n; ++i) __builtin_prefetch(&faces[f[i]]);
      for (uint32_t i = 0; i < nc; ++i) {
        __builtin_prefetch(&verts[nb[i]]);
        __builtin_prefetch(&pos[nb[i]]);
      }
    } else if (stage == 3) {
      for (uint32_t i = 0; i < nc; ++i) {
        __builtin_prefetch(pool.begin(verts[nb[i]].faces));
        __builtin_prefetch(pool.begin(verts[nb[i]].neighbours));
      }
    } else if (stage == 4) {
      for (uint32_t i = 0; i < nc; ++i) {
        const ListSlot& wf = verts[nb[i]].faces;
        const uint32_t* f = pool.begin(wf);
        for (uint32_t k = 0, n = std::min(wf.size, kFollow); k < n; ++k) __builtin_prefetch(&faces[f[k]]);
      }
    }
#else
    (void)t;
    (void)stage;
#endif
  }

  // Recomputes the normal and shape of the given faces.
  void refresh(const uint32_t* ids, size_t count) {
    measure_(*this, ids, count);
  }

  // Collapses u onto v. Appends u's former neighbours, in list order, to
  // `former`.
  void collapse(uint32_t u, uint32_t v, std::vector<uint32_t>& former) {
    former.assign(neighbours(u), neighbours(u) + neighbour_count(u));
    prefetch_collapse(u, former);
    ListSlot& uf = verts[u].faces;
    for (uint32_t i = uf.size; i-- > 0;) {
      const uint32_t f = pool.begin(uf)[i];
      if (faces[f].has(v)) delete_face(f);
    }
    // The lists asked for above have come in by now: the faces and
    // neighbours' positions that the costs of the first two former
    // neighbours are worked out from are asked for while the faces move (the
    // reducers ask for each later one two updates ahead).
    for (size_t k = 0; k < former.size() && k < kUpdatesAhead; ++k) prefetch_neighbourhood(former[k]);
    // The remaining faces move to v, from the last to the first; each is
    // the last of u's list when its turn comes. Their corners stay
    // neighbours of u until u is removed, which takes u out of every list it
    // is still in: a list only ever loses u and keeps the order of the rest,
    // so when u goes makes no difference.
    moved_.clear();
    while (uf.size > 0) {
      const uint32_t fid = pool.begin(uf)[uf.size - 1];
      CollapseFace& f = faces[fid];
      for (uint32_t& c : f.v)
        if (c == u) c = v;
      --uf.size;
      // A vertex's face list holds exactly the faces it is a corner of, and
      // the faces holding v are gone: the face is not yet in v's list.
      pool.push(verts[v].faces, fid);
      link_corners(fid);
      moved_.push_back(fid);
    }
    refresh(moved_.data(), moved_.size());
    remove_vertex(u);
  }

  // Removes u from its neighbours' lists and from the mesh.
  void remove_vertex(uint32_t u) {
    ListSlot& nb = verts[u].neighbours;
    for (uint32_t i = 0; i < nb.size; ++i) pool.remove(verts[pool.begin(nb)[i]].neighbours, u);
    nb.size = 0;
    pool.release(verts[u].neighbours);
    pool.release(verts[u].faces);
    verts[u].alive = 0;
    --live_vertices;
  }

  void delete_face(uint32_t fid) {
    CollapseFace& f = faces[fid];
    --live_faces;
    for (uint32_t c : f.v) pool.remove(verts[c].faces, fid);
    for (int e = 0; e < 3; ++e) unlink_if_apart(f.v[e], f.v[(e + 1) % 3]);
    f.v[0] = kNone;
  }

  // Whether some face holds both a and b (every such face is in both
  // vertices' face lists; the shorter list is searched).
  bool share_a_face(uint32_t a, uint32_t b) const {
    if (verts[b].faces.size < verts[a].faces.size) {
      const uint32_t t = a;
      a = b;
      b = t;
    }
    // All of the list is looked at: where a shared face sits follows no
    // pattern.
    const ListSlot& fl = verts[a].faces;
    const uint32_t* p = pool.begin(fl);
    bool shared = false;
    if (fl.size > 0 && fl.size <= ListPool::kShort) {
      // A loop of fixed length; entries past the end read the first again.
      for (uint32_t i = 0; i < ListPool::kShort; ++i) {
        const uint32_t f = p[i & (0u - static_cast<uint32_t>(i < fl.size))];
        shared |= faces[f].has(b);
      }
      return shared;
    }
    for (uint32_t i = 0; i < fl.size; ++i) shared |= faces[p[i]].has(b);
    return shared;
  }

  // The live faces in order, three vertex ids each.
  template <class Index>
  std::vector<Index> live_triangles() const {
    // Every face is written and the write position moves on past the live
    // ones only.
    std::vector<Index> out(live_faces * 3 + 3);
    size_t at = 0;
    for (const CollapseFace& f : faces) {
      for (size_t k = 0; k < 3; ++k) out[at + k] = static_cast<Index>(f.v[k]);
      const uint32_t gone = f.v[0] + 1;        // 0 when the face is gone
      at += 3 * ((gone | (0u - gone)) >> 31);  // no branch: which faces are gone follows no pattern
    }
    out.resize(at);
    return out;
  }

  BigVector<Vec3> pos;
  BigVector<VertexRecord> verts;
  BigVector<CollapseFace> faces;
  ListPool pool;
  size_t live_vertices = 0;
  size_t live_faces = 0;

 private:
  void link_corners(uint32_t fid) {
    const CollapseFace& f = faces[fid];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        const uint32_t a = f.v[i], b = f.v[j];
        if (a != b && !pool.contains(verts[a].neighbours, b)) pool.push(verts[a].neighbours, b);
      }
  }

  void unlink_if_apart(uint32_t a, uint32_t b) {
    if (a == b || share_a_face(a, b)) return;
    pool.remove(verts[a].neighbours, b);
    pool.remove(verts[b].neighbours, a);
  }

  Measure measure_;
  std::vector<uint32_t> moved_;
};

// ---------------------------------------------------------------------------

// The live vertices ordered by (cost ascending, id descending): the top is
// the cheapest vertex, the later one in the vertex list among equal costs.
// -0 and +0 are one cost; a NaN cost sorts after every number.
class CheapestHeap {
 public:
  void reset(size_t vertex_count) {
    heap_.clear();
    heap_.reserve(vertex_count);
    where_.assign(vertex_count, kNone);
  }

  bool empty() const { return heap_.empty(); }
  uint32_t top() const { return heap_.empty() ? kNone : id_of(heap_[0]); }

  // Inserts vertex `id` or changes its cost.
  void set(uint32_t id, float cost) {
    const uint64_t k = key(cost, id);
    uint32_t at = where_[id];
    if (at == kNone) {
      at = static_cast<uint32_t>(heap_.size());
      heap_.push_back(k);
      sift_up(at);
    } else if (k < heap_[at]) {
      heap_[at] = k;
      sift_up(at);
    } else {
      heap_[at] = k;
      sift_down(at);
    }
  }

  void erase(uint32_t id) {
    const uint32_t at = where_[id];
    if (at == kNone) return;
    where_[id] = kNone;
    const uint64_t last = heap_.back();
    heap_.pop_back();
    if (at == heap_.size()) return;
    heap_[at] = last;
    where_[id_of(last)] = at;
    if (at > 0 && last < heap_[(at - 1) / kWays]) {
      sift_up(at);
    } else {
      sift_down(at);
    }
  }

 private:
  static uint64_t key(float cost, uint32_t id) {
    const float c = cost + 0.0f;  // -0 becomes +0
    uint32_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    uint32_t order;
    if (c != c) {
      order = 0xffffffffu;
    } else {
      order = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
    }
    return (static_cast<uint64_t>(order) << 32) | (0xffffffffu - id);
  }
  static uint32_t id_of(uint64_t k) { return 0xffffffffu - static_cast<uint32_t>(k); }

  // A four-way heap: half the levels of a binary one, and the four children
  // of an entry share a cache line.
  static constexpr uint32_t kWays = 4;

  void sift_up(uint32_t at) {
    const uint64_t k = heap_[at];
    while (at > 0) {
      const uint32_t parent = (at - 1) / kWays;
      if (heap_[parent] <= k) break;
      heap_[at] = heap_[parent];
      where_[id_of(heap_[at])] = at;
      at = parent;
    }
    heap_[at] = k;
    where_[id_of(k)] = at;
  }

  void sift_down(uint32_t at) {
    const uint64_t k = heap_[at];
    const auto n = static_cast<uint32_t>(heap_.size());
    for (;;) {
      const uint32_t first = kWays * at + 1;
      if (first >= n) break;
      // The smallest child, picked without branches.
      uint32_t child = first;
      const uint32_t last = first + kWays <= n ? first + kWays : n;
      for (uint32_t c = first + 1; c < last; ++c) child = heap_[c] < heap_[child] ? c : child;
      if (k <= heap_[child]) break;
      heap_[at] = heap_[child];
      where_[id_of(heap_[at])] = at;
      at = child;
    }
    heap_[at] = k;
    where_[id_of(k)] = at;
  }

  BigVector<uint64_t> heap_;
  BigVector<uint32_t> where_;
};

}  // namespace tools::mesh::detail

// The lane-parallel parts, four lanes (SSE2) and, where built, eight (AVX2).
namespace tools::mesh::detail::lanes4 {
#define TOOLS_MESH_LANES 4
#include "reducer_lanes.h"
#undef TOOLS_MESH_LANES
}  // namespace tools::mesh::detail::lanes4

#if TOOLS_MESH_WIDE_LANES
#pragma GCC push_options
#pragma GCC target("avx2")
namespace tools::mesh::detail::lanes8 {
#define TOOLS_MESH_LANES 8
#include "reducer_lanes.h"
#undef TOOLS_MESH_LANES
}  // namespace tools::mesh::detail::lanes8
#pragma GCC pop_options
#endif

namespace tools::mesh::detail {

// What both reducers are built of: the working mesh, the heap that finds the
// cheapest vertex, and the choice of every vertex's collapse, worked out in
// four lanes or (where the processor has AVX2) eight. `Narrow` and `Wide` are
// the two builds of one chooser; `Wide` is void where there is no eight-lane
// build. The reducers differ only in their chooser and in the rules of their
// reduction loops.
template <class Narrow, class Wide = void>
class Reducer {
 public:
  // The chooser is made from `args`.
  template <class... Args>
  explicit Reducer(const Args&... args) : mesh(Narrow::kMeasure) {
    if constexpr (kHasWide) {
      if (wide_lanes()) {
        wide_ = std::make_unique<WideChooser>(args...);
        mesh.set_measure(WideChooser::kMeasure);
        return;
      }
    }
    narrow_ = std::make_unique<Narrow>(args...);
  }

  // Builds the working mesh and works out every vertex's choice. Returns the
  // number of vertices.
  template <class Index>
  size_t load(const void* vertices, size_t vertex_count, size_t stride_bytes, const Index* triangles,
              size_t triangle_count) {
    mesh.load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
    const size_t n = mesh.verts.size();
    heap.reset(n);
    // The faces of each vertex lie anywhere: they are asked for a few
    // vertices ahead.
    for (size_t i = 0; i < n; ++i) {
      if (i + 2 < n) mesh.prefetch_neighbourhood(static_cast<uint32_t>(i + 2));
      recost(static_cast<uint32_t>(i));
    }
    return n;
  }

  // The cheapest live vertex, the later one among equal costs (kNone when
  // none is left).
  uint32_t cheapest() const { return heap.top(); }

  // Collapses u onto its target, takes it out of the heap and redoes the
  // choices of its former neighbours, in list order. Each neighbour's data is
  // asked for two updates ahead (the collapse asked for the first two), and
  // the data of the likely next collapse, stage by stage, meanwhile.
  void collapse(uint32_t u) {
    mesh.collapse(u, mesh.verts[u].target, former_);
    heap.erase(u);
    mesh.verts[u].target = kNone;
    const uint32_t next = heap.top();
    constexpr size_t kAhead = CollapseMesh::kUpdatesAhead;
    for (size_t k = 0; k < former_.size(); ++k) {
      if (next != kNone && k < CollapseMesh::kAheadStages) mesh.prefetch_ahead(next, static_cast<uint32_t>(k));
      if (k + kAhead < former_.size()) mesh.prefetch_neighbourhood(former_[k + kAhead]);
      recost(former_[k]);
    }
  }

  // Removes a vertex without neighbours. Only faces whose corners are all
  // that vertex can still use it; they go with it.
  void remove_lone(uint32_t u) {
    while (mesh.face_count(u) > 0) mesh.delete_face(mesh.faces_of(u)[mesh.face_count(u) - 1]);
    mesh.remove_vertex(u);
    heap.erase(u);
  }

  size_t vertex_count() const { return mesh.live_vertices; }
  size_t triangle_count() const { return mesh.live_faces; }
  bool is_live(size_t index) const { return index < mesh.verts.size() && mesh.verts[index].alive; }
  // The live triangles in order, three input indices each.
  template <class Index>
  std::vector<Index> read_triangles() const {
    return mesh.live_triangles<Index>();
  }

  CollapseMesh mesh;
  CheapestHeap heap;

 private:
  static constexpr bool kHasWide = !std::is_void_v<Wide>;
  using WideChooser = std::conditional_t<kHasWide, Wide, Narrow>;

  // Works out u's choice (the strictly cheapest collapse onto one of its
  // neighbours, tried in list order) and files its cost in the heap.
  void recost(uint32_t u) {
    const Choice c = choose(u);
    VertexRecord& vx = mesh.verts[u];
    vx.cost = c.cost;
    vx.secondary = c.secondary;
    vx.target = c.target;
    heap.set(u, c.cost);
  }

  Choice choose(uint32_t u) {
    if constexpr (kHasWide) {
      if (wide_) return wide_->choose(mesh, u);
    }
    return narrow_->choose(mesh, u);
  }

  std::vector<uint32_t> former_;  // the former neighbours of the last collapsed vertex
  std::unique_ptr<Narrow> narrow_;
  std::unique_ptr<WideChooser> wide_;
};

#if TOOLS_MESH_WIDE_LANES
using ModelReducer = Reducer<lanes4::ModelChooser, lanes8::ModelChooser>;
using TerrainReducer = Reducer<lanes4::TerrainChooser, lanes8::TerrainChooser>;
#else
using ModelReducer = Reducer<lanes4::ModelChooser>;
using TerrainReducer = Reducer<lanes4::TerrainChooser>;
#endif

}  // namespace tools::mesh::detail
