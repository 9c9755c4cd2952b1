#include "tools/mesh/stripify.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tools::mesh {
namespace {

constexpr int32_t kNone = -1;

// Neighbour across each triangle edge (edge k joins corners k and k+1) and
// the edge number on the neighbour's side.
struct Adjacency {
  std::vector<int32_t> neighbour;  // 3 per triangle, kNone when open
  std::vector<uint8_t> back_edge;  // 3 per triangle
};

// Working memory of build_adjacency(), kept between calls.
struct AdjacencyScratch {
  std::vector<uint32_t> from, to, first, sorted, sort_cursor, run_end, cursor;
  std::vector<uint64_t> keys;
};

// Dense numbers for the vertex indices of a triangle list: the indices
// themselves unless they are too sparse to index tables with, else their
// ranks among the distinct indices.
class VertexNumbers {
 public:
  explicit VertexNumbers(std::span<const uint32_t> indices) {
    uint32_t top = 0;
    for (uint32_t v : indices) top = std::max(top, v);
    count_ = size_t{top} + 1;
    if (count_ <= indices.size() * 4 + 1024) return;
    ranks_.assign(indices.begin(), indices.end());
    std::sort(ranks_.begin(), ranks_.end());
    ranks_.erase(std::unique(ranks_.begin(), ranks_.end()), ranks_.end());
    count_ = ranks_.size();
  }
  size_t count() const { return count_; }
  uint32_t operator()(uint32_t v) const {
    if (ranks_.empty()) return v;
    return static_cast<uint32_t>(std::lower_bound(ranks_.begin(), ranks_.end(), v) - ranks_.begin());
  }

 private:
  std::vector<uint32_t> ranks_;
  size_t count_ = 0;
};

// Links every edge to the first unlinked opposite edge of a later triangle,
// in triangle order then edge order.
//
// The corners are sorted by the directed edge they start (start vertex, then
// end vertex), keeping corner order within each edge, so the edges opposite
// a→b form one run of b's corners. A cursor per run skips corners that are
// linked or no longer later than the triangle being linked; neither ever
// becomes eligible again, so each run is walked once.
void build_adjacency(std::span<const uint32_t> idx, size_t n, const VertexNumbers& number, AdjacencyScratch& scratch,
                     Adjacency& adj) {
  const size_t corners = n * 3;
  const size_t vertices = number.count();
  // Start and end vertex of each corner's edge.
  std::vector<uint32_t>&from = scratch.from, &to = scratch.to;
  from.resize(corners);
  to.resize(corners);
  for (size_t c = 0; c < corners; ++c) from[c] = number(idx[c]);
  for (size_t t = 0; t < corners; t += 3) {
    to[t] = from[t + 1];
    to[t + 1] = from[t + 2];
    to[t + 2] = from[t];
  }

  // A stable counting sort by start vertex, then each start vertex's corners
  // by end vertex, in corner order among equal ends.
  std::vector<uint32_t>& first = scratch.first;
  std::vector<uint32_t>& sorted = scratch.sorted;
  first.assign(vertices + 1, 0);
  sorted.resize(corners);
  for (size_t c = 0; c < corners; ++c) ++first[from[c] + 1];
  for (size_t v = 0; v < vertices; ++v) first[v + 1] += first[v];
  {
    std::vector<uint32_t>& cursor = scratch.sort_cursor;
    cursor.assign(first.begin(), first.end() - 1);
    for (size_t c = 0; c < corners; ++c) sorted[cursor[from[c]]++] = static_cast<uint32_t>(c);
  }
  std::vector<uint64_t>& keys = scratch.keys;
  for (size_t v = 0; v < vertices; ++v) {
    const uint32_t begin = first[v], end = first[v + 1];
    if (end - begin < 2) continue;
    keys.clear();
    for (uint32_t k = begin; k < end; ++k) keys.push_back((uint64_t{to[sorted[k]]} << 32) | sorted[k]);
    if (std::is_sorted(keys.begin(), keys.end())) continue;
    std::sort(keys.begin(), keys.end());
    for (uint32_t k = begin; k < end; ++k) sorted[k] = static_cast<uint32_t>(keys[k - begin]);
  }

  // End of the run starting at each run head; the cursor of each run.
  std::vector<uint32_t>&run_end = scratch.run_end, &cursor = scratch.cursor;
  run_end.resize(corners);
  cursor.resize(corners);
  for (size_t k = 0; k < corners;) {
    size_t end = k + 1;
    const uint32_t a = from[sorted[k]], b = to[sorted[k]];
    while (end < corners && from[sorted[end]] == a && to[sorted[end]] == b) ++end;
    run_end[k] = static_cast<uint32_t>(end);
    cursor[k] = static_cast<uint32_t>(k);
    k = end;
  }

  adj.neighbour.assign(corners, kNone);
  adj.back_edge.assign(corners, 0);
  for (size_t c = 0; c < corners; ++c) {
    if (adj.neighbour[c] != kNone) continue;
    const size_t t = c / 3;
    const uint32_t a = from[c], b = to[c];
    // The run of b's corners whose edge ends at a.
    auto head = std::partition_point(sorted.begin() + first[b], sorted.begin() + first[b + 1],
                                     [&](uint32_t k) { return to[k] < a; });
    if (head == sorted.begin() + first[b + 1] || to[*head] != a) continue;
    const auto run = static_cast<size_t>(head - sorted.begin());
    uint32_t& cur = cursor[run];
    while (cur < run_end[run] && (sorted[cur] / 3 <= t || adj.neighbour[sorted[cur]] != kNone)) ++cur;
    if (cur == run_end[run]) continue;
    const uint32_t other = sorted[cur];
    adj.neighbour[c] = static_cast<int32_t>(other / 3);
    adj.back_edge[c] = static_cast<uint8_t>(other % 3);
    adj.neighbour[other] = static_cast<int32_t>(t);
    adj.back_edge[other] = static_cast<uint8_t>(c % 3);
  }
}

// The strips of a growth pass, their indices one after another.
class Strips {
 public:
  void add(const std::vector<uint32_t>& indices, bool parity) {
    entries_.push_back({static_cast<uint32_t>(pool_.size()), static_cast<uint32_t>(indices.size()), parity});
    pool_.insert(pool_.end(), indices.begin(), indices.end());
  }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::span<uint32_t> indices(size_t s) { return {pool_.data() + entries_[s].first, entries_[s].size}; }
  size_t length(size_t s) const { return entries_[s].size; }
  size_t total_length() const { return pool_.size(); }
  void clear() {
    pool_.clear();
    entries_.clear();
  }
  // The strip's first triangle must sit at an even output position.
  bool parity(size_t s) const { return entries_[s].parity; }

 private:
  struct Entry {
    uint32_t first, size;
    bool parity;
  };
  std::vector<uint32_t> pool_;
  std::vector<Entry> entries_;
};

// A set of triangle numbers walked in increasing order. A summary bit per
// 64-number word lets sparse sets be walked without visiting empty words.
class OrderedSet {
 public:
  explicit OrderedSet(size_t n) : words_((n + 63) / 64, 0), summary_((words_.size() + 63) / 64, 0) {}

  void insert(size_t t) {
    words_[t >> 6] |= bit(t);
    summary_[t >> 12] |= bit(t >> 6);
    ++size_;
  }
  void erase(size_t t) {
    uint64_t& word = words_[t >> 6];
    word &= ~bit(t);
    if (word == 0) summary_[t >> 12] &= ~bit(t >> 6);
    --size_;
  }
  size_t size() const { return size_; }

  // Calls f(t) on the members in increasing order until f returns false.
  template <class F>
  void for_each(F&& f) const {
    for (size_t s = 0; s < summary_.size(); ++s) {
      for (uint64_t sw = summary_[s]; sw != 0; sw &= sw - 1) {
        const size_t w = s * 64 + static_cast<size_t>(std::countr_zero(sw));
        for (uint64_t word = words_[w]; word != 0; word &= word - 1)
          if (!f(w * 64 + static_cast<size_t>(std::countr_zero(word)))) return;
      }
    }
  }

 private:
  static uint64_t bit(size_t i) { return uint64_t{1} << (i & 63); }
  std::vector<uint64_t> words_;
  std::vector<uint64_t> summary_;
  size_t size_ = 0;
};

// The least of a key per position, and the leftmost position holding it.
// Nodes have eight children, which share a cache line.
class MinTree {
 public:
  static constexpr uint64_t kNoKey = UINT64_MAX;

  // Room for n positions, every key kNoKey.
  void reset(size_t n) {
    sizes_.assign(1, n);
    while (sizes_.back() > 1) sizes_.push_back((sizes_.back() + 7) / 8);
    // Each layer below the top holds eight children for every node above.
    layers_.resize(sizes_.size());
    for (size_t layer = 0; layer < sizes_.size(); ++layer)
      layers_[layer].assign(layer + 1 < sizes_.size() ? sizes_[layer + 1] * 8 : 1, kNoKey);
  }
  void set(size_t i, uint64_t key) {
    uint64_t old = layers_[0][i];
    if (old == key) return;
    layers_[0][i] = key;
    for (size_t layer = 1; layer < layers_.size(); ++layer) {
      const uint64_t* const child = &layers_[layer - 1][i & ~size_t{7}];
      i /= 8;
      uint64_t& parent = layers_[layer][i];
      uint64_t least;
      if (key < parent) {
        least = key;
      } else if (old != parent) {
        break;  // the child that changed held neither the least before nor now
      } else {
        least = child[0];
        for (size_t k = 1; k < 8; ++k) least = std::min(least, child[k]);
      }
      if (least == parent) break;
      old = parent;
      parent = least;
      key = least;
    }
  }
  // Sets every key at once.
  template <class F>
  void assign(size_t n, F&& key_of) {
    for (size_t i = 0; i < layers_[0].size(); ++i) layers_[0][i] = i < n ? key_of(i) : kNoKey;
    for (size_t layer = 1; layer < layers_.size(); ++layer) {
      for (size_t i = 0; i < layers_[layer - 1].size() / 8; ++i) {
        const uint64_t* const child = &layers_[layer - 1][i * 8];
        uint64_t least = child[0];
        for (size_t k = 1; k < 8; ++k) least = std::min(least, child[k]);
        layers_[layer][i] = least;
      }
    }
  }
  uint64_t least() const { return layers_.back()[0]; }
  size_t leftmost_least() const {
    const uint64_t key = least();
    size_t i = 0;
    for (size_t layer = layers_.size() - 1; layer-- > 0;) {
      i *= 8;
      while (layers_[layer][i] != key) ++i;
    }
    return i;
  }

 private:
  std::vector<std::vector<uint64_t>> layers_;  // leaves first
  std::vector<size_t> sizes_;
};

// Edge (or corner) numbers one and two further round a triangle.
constexpr uint32_t kPlus1[3] = {1, 2, 0};
constexpr uint32_t kPlus2[3] = {2, 0, 1};

// Grows the strips of one growth pass at a time.
//
// Each round of a pass keeps the best start among the unvisited triangles of
// the lowest free-neighbour count: the lowest trial score (swaps per index,
// 1.0 for a lone triangle), ties going to the first (triangle, edge) in the
// caller's order. Finding it naively means growing three trial strips from
// every such triangle in every round. Instead:
//
// - A trial depends only on the visited state of the triangles it looked at,
//   so its outcome is remembered per (parity, triangle, edge) and dropped
//   when a kept strip may have taken one of those triangles. Rather than
//   every look, a trial notes the triangles it passes and how far it looked
//   from each (one, two or three triangles out), per tile of 32 triangles
//   with a bit for each; a kept strip drops the outcomes of the trials that
//   passed within that reach of it, so one that only passes farther off
//   leaves the outcome standing.
// - A trial stops as soon as its swaps alone rule it out against the best
//   start found so far, leaving a lower bound on its score that stays valid
//   on the same terms.
// - Two trees per parity hold, for each unvisited triangle, its count with
//   the least remembered exact score and with the least lower bound of its
//   other starts (0 when nothing is known). A round takes the best exact
//   score as its first champion, then settles the triangles lowest bound
//   first until no bound left is below the champion's score (or equal to it
//   earlier in order). Rounds thus only touch the starts that could still
//   win, not every candidate.
// - When the lowest count is 3, every candidate lies in a connected part no
//   strip has touched, and each outcome holds until the first strip in its
//   part; those trials skip the noting, and their outcomes are all dropped
//   when the part is first touched. Trials in small parts (a few tiles) are
//   not noted either: all outcomes of such a part go with its next strip.
//   When most candidates of a round are new since the last round at the same
//   count, remembering would not pay, and the round's trials are neither
//   noted nor remembered.
//
// Triangles are renumbered internally so that a walk touches nearby memory:
// breadth-first over each connected part, packed into tiles of small compact
// clusters.
class StripBuilder {
 public:
  // A link packs an internal triangle number and an edge into 32 bits, and
  // the renumbering may leave up to half the numbers unused.
  static constexpr size_t kMaxTriangles = size_t{1} << 28;

  // Takes on a triangle list and its adjacency. The builder's memory is
  // kept from one list to the next.
  void prepare(std::span<const uint32_t> idx, size_t n, const Adjacency& adj, uint32_t max_length) {
    idx_ = idx;
    n_ = static_cast<uint32_t>(n);
    max_length_ = max_length;
    number_triangles(adj);
    for (bool parity : {false, true}) {
      exact_[parity].reset(n);
      open_[parity].reset(n);
    }
  }

  // One growth pass into `strips`. It is given up, leaving no strips and
  // returning false, once its cost (the sum of the strip lengths plus 2 per
  // strip after the first) cannot stay below `beat`.
  bool run_pass(bool look_ahead, Strips& strips, size_t beat = SIZE_MAX) {
    strips.clear();
    const bool done = look_ahead ? run<true>(strips, beat) : run<false>(strips, beat);
    if (!done) strips.clear();
    return done;
  }

 private:
  static constexpr uint32_t kTileShift = 5;  // 32 internal numbers per tile
  static constexpr uint32_t kTile = 1u << kTileShift;
  using TileMask = uint32_t;  // one bit per internal number of a tile
  static constexpr uint32_t kNil = UINT32_MAX;
  // State of a triangle in a kept strip, and of the stand-in triangle that
  // open edges link to, which is never free.
  static constexpr uint32_t kTaken = UINT32_MAX;

  struct Outcome {
    double value;
    bool exact;
  };
  // A remembered trial outcome in one double: nothing (NaN), an exact score
  // (not negative), or a lower bound on the score, stored negated; a bound
  // only comes from a trial with swaps, so it is above 0.
  class Memo {
   public:
    bool exact() const { return value_ >= 0.0; }
    bool bound() const { return value_ < 0.0; }
    double value() const { return std::fabs(value_); }
    void forget() { value_ = std::numeric_limits<double>::quiet_NaN(); }
    void keep(const Outcome& o) { value_ = o.exact ? o.value : -o.value; }

   private:
    double value_ = std::numeric_limits<double>::quiet_NaN();
  };
  // A noted trial's steps through one tile (bit i: the tile's i-th internal
  // number). At every triangle it passes, a trial looks at the neighbours;
  // where both ways are free it compares their counts, looking two
  // triangles out; where those tie it looks three out. Every look lies
  // within that reach of a passed triangle through triangles free at the
  // time, so a kept strip that comes no nearer leaves the trial standing.
  struct Steps {
    TileMask passed = 0;    // looked one triangle out
    TileMask compared = 0;  // two out
    TileMask tied = 0;      // three out
  };
  // "The trial behind memo `memo`, at `version`, took these steps in this
  // tile."
  struct Reader {
    uint32_t memo;
    uint32_t version;
    Steps steps;
  };
  // What rules a trial out: a lower bound on its score at or above `ge`, or
  // above `gt`.
  struct Bar {
    double ge;
    double gt;
    size_t free_left;  // unvisited triangles before the trial
  };
  // An internal triangle: what a walk reads of it, in one 16-byte piece.
  struct alignas(16) Node {
    // Per edge: (neighbour << 2) | the neighbour's edge back.
    uint32_t link[3];
    // kTaken once in a kept strip, the running walk's stamp once it passed
    // there, anything lower while free.
    uint32_t state;
  };
  enum class Walk { kTrial, kNotedTrial, kKeep };
  // How long a round's trial outcomes are remembered: until a kept strip
  // comes within reach of the trial's steps (noted per tile), until the first
  // strip in the trial's connected part, or only for the round.
  enum class Keep { kNoted, kUntilTouched, kThisRound };
  // Parts of at most this many internal numbers keep their trials' outcomes
  // until their next strip, without noting steps.
  static constexpr uint32_t kSmallPart = 64;

  void number_triangles(const Adjacency& adj) {
    auto neighbour_of = [&](uint32_t t, uint32_t e) { return adj.neighbour[size_t{t} * 3 + e]; };
    // Breadth-first order, seeded in the caller's order, so that each
    // connected part is one run.
    std::vector<uint32_t>& bfs = bfs_;
    std::vector<uint32_t>& part_of = part_of_;
    std::vector<uint32_t>& part_end = part_end_;  // in bfs
    bfs.clear();
    part_end.clear();
    part_of.assign(n_, kNil);
    uint32_t parts = 0;
    for (uint32_t seed = 0; seed < n_; ++seed) {
      if (part_of[seed] != kNil) continue;
      if (parts > 0) part_end.push_back(static_cast<uint32_t>(bfs.size()));
      const uint32_t part = parts++;
      part_of[seed] = part;
      bfs.push_back(seed);
      for (size_t head = bfs.size() - 1; head < bfs.size(); ++head) {
        for (uint32_t e = 0; e < 3; ++e) {
          const int32_t m = neighbour_of(bfs[head], e);
          if (m != kNone && part_of[static_cast<size_t>(m)] == kNil) {
            part_of[static_cast<size_t>(m)] = part;
            bfs.push_back(static_cast<uint32_t>(m));
          }
        }
      }
    }
    part_end.push_back(static_cast<uint32_t>(bfs.size()));
    // Internal numbers go tile by tile. A tile holds one small breadth-first
    // cluster grown from the next unnumbered triangle of that order, or
    // several clusters too small to fill one; a cluster that does not fit in
    // what is left of a tile starts the next, so at most half the numbers
    // are left unused. A part that fits in a tile is one cluster, in the
    // order of the breadth-first walk over it, packed right after the numbers
    // before it: its trials note no steps, so it needs no tile of its own.
    inner_.assign(n_, kNil);
    order_.assign(size_t{n_} * 2, kNil);
    std::vector<uint32_t>& cluster = cluster_;
    std::vector<uint32_t>& in_cluster = in_cluster_;  // the seed of the cluster holding each triangle
    in_cluster.assign(n_, kNil);
    part_start_.clear();
    uint32_t next = 0;
    auto place = [&](std::span<const uint32_t> triangles, bool packed) {
      if (!packed && triangles.size() > kTile - (next & (kTile - 1))) next = (next + kTile - 1) & ~(kTile - 1);
      for (uint32_t t : triangles) {
        inner_[t] = next;
        order_[next++] = t;
      }
    };
    for (uint32_t p = 0, begin = 0; p < parts; begin = part_end[p++]) {
      const std::span<const uint32_t> part(bfs.data() + begin, part_end[p] - begin);
      if (part.size() <= kTile) {
        place(part, true);
        part_start_.push_back(inner_[part.front()]);
        continue;
      }
      part_start_.push_back(kNil);
      for (uint32_t seed : part) {
        if (inner_[seed] != kNil) continue;
        cluster.assign(1, seed);
        in_cluster[seed] = seed;
        for (size_t head = 0; head < cluster.size() && cluster.size() < kTile; ++head) {
          for (uint32_t e = 0; e < 3 && cluster.size() < kTile; ++e) {
            const int32_t m = neighbour_of(cluster[head], e);
            if (m != kNone && inner_[static_cast<size_t>(m)] == kNil && in_cluster[static_cast<size_t>(m)] != seed) {
              in_cluster[static_cast<size_t>(m)] = seed;
              cluster.push_back(static_cast<uint32_t>(m));
            }
          }
        }
        place(cluster, false);
        if (part_start_.back() == kNil) part_start_.back() = inner_[seed];
      }
    }
    part_start_.push_back(next);
    order_.resize(next);
    part_.assign(next, 0);
    part_size_.resize(parts);
    for (uint32_t p = 0, begin = 0; p < parts; begin = part_end[p++]) part_size_[p] = part_end[p] - begin;
    for (uint32_t p = 0; p + 1 < part_start_.size(); ++p)
      std::fill(part_.begin() + part_start_[p], part_.begin() + part_start_[p + 1], p);

    // The stand-in for open edges gets a tile of its own after the last.
    none_ = ((next >> kTileShift) + 1) << kTileShift;
    node_.assign(size_t{none_} + 1, Node{{none_ << 2, none_ << 2, none_ << 2}, 0});
    for (uint32_t i = 0; i < next; ++i) {
      if (order_[i] == kNil) continue;
      for (uint32_t e = 0; e < 3; ++e) {
        const size_t c = size_t{order_[i]} * 3 + e;
        const int32_t m = adj.neighbour[c];
        if (m != kNone) node_[i].link[e] = (inner_[static_cast<size_t>(m)] << 2) | adj.back_edge[c];
      }
    }
    const size_t tiles = (none_ >> kTileShift) + 1;
    readers_.resize(tiles);
    steps_.assign(tiles, Steps{});
    near_.assign(tiles, Steps{});
    near_mark_.assign(size_t{none_} + 1, 0);
    near_stamp_ = 0;
  }

  uint32_t corner(uint32_t i, uint32_t c) const { return idx_[size_t{order_[i]} * 3 + c]; }
  uint32_t neighbour(uint32_t i, uint32_t e) const { return node_[i].link[e] >> 2; }

  // A stamp no triangle holds yet.
  uint32_t new_stamp() {
    if (stamp_ == kTaken - 1) {
      for (Node& node : node_)
        if (node.state != kTaken) node.state = 0;
      stamp_ = 0;
    }
    return ++stamp_;
  }

  template <bool kLookAhead>
  bool run(Strips& strips, size_t beat) {
    for (Node& node : node_) node.state = 0;
    node_[none_].state = kTaken;
    for (auto& readers : readers_) readers.clear();
    memo_.assign(memo_half() * 2, Memo{});
    version_.assign(memo_half() * 2, 0);
    // Outcomes found while a whole part is free are not noted.
    part_unnoted_.assign(part_start_.size() - 1, 1);
    part_noted_.assign(part_start_.size() - 1, 0);
    part_free_ = part_size_;

    // Unvisited triangles by free-neighbour count (0 filed as 4), in the
    // caller's numbering.
    count_.assign(n_, 0);
    is_stale_.assign(n_, 0);
    std::array<OrderedSet, 5> buckets{OrderedSet(n_), OrderedSet(n_), OrderedSet(n_), OrderedSet(n_), OrderedSet(n_)};
    auto bucket = [](int c) { return c == 0 ? 4 : c; };
    for (uint32_t i = 0; i < order_.size(); ++i) {
      if (order_[i] == kNil) continue;
      int c = 0;
      for (uint32_t e = 0; e < 3; ++e) c += neighbour(i, e) != none_ ? 1 : 0;
      count_[order_[i]] = static_cast<uint8_t>(c);
      buckets[bucket(c)].insert(order_[i]);
    }
    // Starts that joined each count since its last round.
    std::array<size_t, 5> joined{};
    for (int c = 1; c < 5; ++c) joined[c] = buckets[c].size();
    for (bool parity : {false, true}) {
      exact_[parity].assign(n_, [](size_t) { return MinTree::kNoKey; });
      open_[parity].assign(n_, [&](size_t t) { return count_[t] == 0 ? MinTree::kNoKey : tree_key(count_[t], 0.0); });
    }

    bool parity = true;
    size_t remaining = n_;
    size_t cost = 0;  // of the strips so far, with 2 for the step to each next one
    while (remaining > 0) {
      int level = 1;
      while (buckets[level].size() == 0) ++level;
      uint32_t best_t = 0, best_e = 0;
      if (level == 4 || max_length_ < 4) {
        // Every trial is the lone triangle, scoring 1.0: the first start wins.
        buckets[level].for_each([&](size_t t) {
          best_t = static_cast<uint32_t>(t);
          return false;
        });
      } else {
        // Remembering a trial only pays when its start is still a candidate
        // in later rounds; when most candidates are new since the last
        // round at this count, the strips sweep across the mesh and the
        // trials are kept for this round only.
        const Keep keep = level == 3                                  ? Keep::kUntilTouched
                          : joined[level] * 2 > buckets[level].size() ? Keep::kThisRound
                                                                      : Keep::kNoted;
        choose<kLookAhead>(level, parity, remaining, keep, best_t, best_e);
        joined[level] = 0;
      }

      walk<kLookAhead, Walk::kKeep>(inner_[best_t], best_e, parity, Bar{});
      // Outcomes that were not noted (see the class comment) do not
      // outlive the part's next strip.
      const uint32_t part = part_[kept_.front()];
      // A strip that takes what is left of its part leaves no outcome there
      // to drop.
      part_free_[part] -= static_cast<uint32_t>(kept_.size());
      if (part_unnoted_[part] && part_free_[part] > 0) {
        part_unnoted_[part] = 0;
        for (uint32_t i = part_start_[part]; i < part_start_[part + 1]; ++i)
          if (order_[i] != kNil) drop_memos(i);
      }
      for (uint32_t i : kept_) {
        node_[i].state = kTaken;
        buckets[bucket(count_[order_[i]])].erase(order_[i]);
        mark_stale(order_[i]);
        --remaining;
      }
      forget_readers_of_kept();
      for (uint32_t i : kept_) {
        for (uint32_t e = 0; e < 3; ++e) {
          const uint32_t m = neighbour(i, e);
          if (node_[m].state == kTaken) continue;
          uint8_t& c = count_[order_[m]];
          buckets[bucket(c)].erase(order_[m]);
          buckets[bucket(--c)].insert(order_[m]);
          ++joined[bucket(c)];
          mark_stale(order_[m]);
        }
      }
      for (uint32_t t : stale_) {
        if (is_stale_[t] & 1) refresh(false, t);
        if (is_stale_[t] & 2) refresh(true, t);
        is_stale_[t] = 0;
      }
      stale_.clear();
      strips.add(kept_strip_, parity);
      if (kept_strip_.size() % 2 == 1) parity = !parity;
      // Each strip still to come has at least two indices more than
      // triangles, and at least one more strip is needed.
      cost += kept_strip_.size() + 2;
      if (remaining > 0 && cost + remaining + 2 >= beat) return false;
    }
    return true;
  }

  void drop_memo(size_t key) {
    memo_[key].forget();
    ++version_[key];
    mark_stale(order_[key % memo_half() / 3], key < memo_half() ? 1 : 2);
  }
  // Leaves the caller's triangle t for refresh() once the kept strip is in,
  // for the parities in `parities` (bit 0: parity 0, bit 1: parity 1).
  void mark_stale(uint32_t t, uint8_t parities = 3) {
    if (is_stale_[t] == 0) stale_.push_back(t);
    is_stale_[t] |= parities;
  }
  // Drops every memo of internal triangle i.
  void drop_memos(uint32_t i) {
    for (bool parity : {false, true}) {
      const size_t first = memo_key(parity, i, 0);
      for (size_t key = first; key < first + 3; ++key) {
        memo_[key].forget();
        ++version_[key];
      }
    }
    mark_stale(order_[i]);
  }
  // Memos go by internal number, so that the trials of one round, which lie
  // close together, find theirs close together: first every start of parity
  // 0, then of parity 1.
  size_t memo_half() const { return size_t{none_} * 3; }
  size_t memo_key(bool parity, uint32_t i, uint32_t e) const { return (parity ? memo_half() : 0) + size_t{i} * 3 + e; }

  // Keys of the memo trees: the triangle's level (its free-neighbour count;
  // a round only asks for the lowest) above the bits of a score, which order
  // like the scores themselves from 0 up to 2.
  static uint64_t tree_key(int level, double score) { return (uint64_t(level) << 62) | std::bit_cast<uint64_t>(score); }
  static int key_level(uint64_t key) { return static_cast<int>(key >> 62); }
  static double key_score(uint64_t key) { return std::bit_cast<double>(key & ((uint64_t{1} << 62) - 1)); }

  // Brings the tree keys of the caller's triangle t for `parity` up to date:
  // the least exact score among its starts, and the least lower bound among
  // the others (0 when nothing is known).
  void refresh(bool parity, uint32_t t) {
    uint64_t exact = MinTree::kNoKey, open = MinTree::kNoKey;
    const int level = count_[t];
    if (level != 0 && node_[inner_[t]].state != kTaken) {
      const Memo* const memo = &memo_[memo_key(parity, inner_[t], 0)];
      for (size_t e = 0; e < 3; ++e) {
        if (memo[e].exact()) {
          exact = std::min(exact, tree_key(level, memo[e].value()));
        } else {
          open = std::min(open, tree_key(level, memo[e].bound() ? memo[e].value() : 0.0));
        }
      }
    }
    exact_[parity].set(t, exact);
    open_[parity].set(t, open);
  }
  // Drops the memos of the trials that may have looked at a triangle of the
  // kept strip: those that passed within one triangle of it, compared
  // within two or broke a tie within three, counting through triangles
  // still free. The other readers of those tiles stay, less those of memos
  // dropped or replaced since.
  void forget_readers_of_kept() {
    if (!part_noted_[part_[kept_.front()]]) return;
    if (near_stamp_ == UINT32_MAX) {
      std::fill(near_mark_.begin(), near_mark_.end(), 0);
      near_stamp_ = 0;
    }
    const uint32_t mark = ++near_stamp_;
    std::vector<uint32_t>& ring = near_ring_;
    ring.clear();
    auto add = [&](uint32_t i, uint32_t reach) {
      near_mark_[i] = mark;
      ring.push_back(i);
      const uint32_t tile = i >> kTileShift;
      Steps& near = near_[tile];
      if (near.tied == 0) touched_tiles_.push_back(tile);
      const auto bit = static_cast<TileMask>(1u << (i & (kTile - 1)));
      near.tied |= bit;
      if (reach <= 2) near.compared |= bit;
      if (reach <= 1) near.passed |= bit;
    };
    for (uint32_t i : kept_) add(i, 0);
    for (uint32_t reach = 1, begin = 0; reach <= 3; ++reach) {
      const auto end = static_cast<uint32_t>(ring.size());
      for (uint32_t r = begin; r < end; ++r) {
        for (uint32_t e = 0; e < 3; ++e) {
          const uint32_t m = neighbour(ring[r], e);
          if (node_[m].state != kTaken && near_mark_[m] != mark) add(m, reach);
        }
      }
      begin = end;
    }
    for (uint32_t tile : touched_tiles_) {
      std::vector<Reader>& readers = readers_[tile];
      const Steps near = near_[tile];
      size_t kept = 0;
      for (const Reader& r : readers) {
        if (version_[r.memo] != r.version) continue;
        if (((r.steps.passed & near.passed) | (r.steps.compared & near.compared) | (r.steps.tied & near.tied)) != 0) {
          drop_memo(r.memo);
        } else {
          readers[kept++] = r;
        }
      }
      readers.resize(kept);
      near_[tile] = Steps{};
    }
    touched_tiles_.clear();
  }
  // Files the steps of the noted trial just ended under memo `memo`.
  void file_steps(uint32_t memo) {
    for (uint32_t tile : stepped_tiles_) {
      readers_[tile].push_back({memo, version_[memo], steps_[tile]});
      steps_[tile] = Steps{};
    }
    stepped_tiles_.clear();
  }

  // The best start at `level` for `parity` (caller's numbering). Starts are
  // settled lowest bound first, each triangle once, until none left could
  // beat the best found; `keep` says how long the trials' outcomes count.
  template <bool kLookAhead>
  void choose(int level, bool parity, size_t remaining, Keep keep, uint32_t& best_t, uint32_t& best_e) {
    constexpr double kAbove = 4.0;  // above every score
    MinTree& exact = exact_[parity];
    MinTree& open = open_[parity];
    // The best remembered score: the first start holding the least.
    double best = kAbove;
    size_t best_at = SIZE_MAX;
    if (key_level(exact.least()) == level && exact.least() != MinTree::kNoKey) {
      const size_t t = exact.leftmost_least();
      best = key_score(exact.least());
      size_t e = 0;
      const Memo* const memo = &memo_[memo_key(parity, inner_[t], 0)];
      while (!memo[e].exact() || memo[e].value() != best) ++e;
      best_at = t * 3 + e;
    }
    settled_.clear();
    while (key_level(open.least()) == level && open.least() != MinTree::kNoKey) {
      const double lowest = key_score(open.least());
      const size_t t = open.leftmost_least();
      // A start wins with a lower score, or an equal one earlier in order.
      if (lowest > best || (lowest == best && t * 3 > best_at)) break;
      for (size_t e = 0; e < 3; ++e) {
        const size_t at = t * 3 + e;
        const uint32_t i = inner_[t];
        const auto edge = static_cast<uint32_t>(e);
        const auto key = static_cast<uint32_t>(memo_key(parity, i, edge));
        Memo& memo = memo_[key];
        if (memo.exact()) continue;  // no better than the best remembered
        const Bar bar{at > best_at ? best : kAbove, best, remaining};
        if (memo.bound() && (memo.value() >= bar.ge || memo.value() > bar.gt)) continue;
        const uint32_t part = part_[i];
        // Noting steps in a small part costs more than walking its trials
        // again after its next strip.
        const bool small = part_start_[part + 1] - part_start_[part] <= kSmallPart;
        Outcome o;
        if (keep == Keep::kNoted && !small) {
          o = walk<kLookAhead, Walk::kNotedTrial>(i, edge, parity, bar);
          file_steps(key);
          part_noted_[part] = 1;
          memo.keep(o);
        } else {
          o = walk<kLookAhead, Walk::kTrial>(i, edge, parity, bar);
          if (small) {
            memo.keep(o);
            part_unnoted_[part] = 1;
          } else if (keep == Keep::kUntilTouched) {
            memo.keep(o);
          }
        }
        if (o.exact && (o.value < best || (o.value == best && at < best_at))) {
          best = o.value;
          best_at = at;
        }
      }
      settled_.push_back(static_cast<uint32_t>(t));
      open.set(t, MinTree::kNoKey);  // settled for this round
    }
    for (uint32_t t : settled_) refresh(parity, t);
    best_t = static_cast<uint32_t>(best_at / 3);
    best_e = static_cast<uint32_t>(best_at % 3);
  }

  // Grows a strip from internal triangle t, start edge e and parity. A trial
  // returns its score, or a lower bound on it as soon as its swaps alone
  // meet `bar`; a noted trial also gathers its steps, which file_steps()
  // then ties to the trial's memo. The kept growth leaves its
  // indices in kept_strip_ and its triangles in kept_.
  template <bool kLookAhead, Walk kMode>
  Outcome walk(uint32_t t, uint32_t e, bool parity, const Bar& bar) {
    constexpr bool kKeep = kMode == Walk::kKeep;
    const uint32_t stamp = new_stamp();
    Node* const node = node_.data();
    auto is_free = [&](uint32_t x) __attribute__((always_inline)) {
      return node[x].state < stamp;
    };
    // Notes a step at x that looked `reach` triangles out.
    auto note = [&](uint32_t x, uint32_t reach) __attribute__((always_inline)) {
      if constexpr (kMode == Walk::kNotedTrial) {
        const uint32_t tile = x >> kTileShift;
        Steps& steps = steps_[tile];
        if (steps.passed == 0) stepped_tiles_.push_back(tile);
        const auto bit = static_cast<TileMask>(1u << (x & (kTile - 1)));
        steps.passed |= bit;
        if (reach >= 2) steps.compared |= bit;
        if (reach >= 3) steps.tied |= bit;
      }
    };

    node[t].state = stamp;
    note(t, 1);
    if constexpr (kKeep) {
      kept_.assign(1, t);
      if (parity) {
        kept_strip_.assign({corner(t, e), corner(t, kPlus1[e]), corner(t, kPlus2[e])});
      } else {
        kept_strip_.assign({corner(t, kPlus1[e]), corner(t, e), corner(t, kPlus2[e])});
      }
    }
    if (max_length_ < 4) return {1.0, true};
    const uint32_t start = node[t].link[parity ? kPlus1[e] : kPlus2[e]];
    uint32_t next = start >> 2, entry = start & 3;
    bool side = !parity;
    uint32_t length = 3, swaps = 0;
    size_t marked = 1;
    while (is_free(next)) {
      const uint32_t u = next, k = entry;
      side = !side;
      const uint32_t straight_link = node[u].link[side ? kPlus2[k] : kPlus1[k]];
      const uint32_t turn_link = node[u].link[side ? kPlus1[k] : kPlus2[k]];
      const uint32_t straight = straight_link >> 2, turn = turn_link >> 2;
      bool go_straight;
      uint32_t reach = 1;
      if (!is_free(straight)) {
        go_straight = false;
      } else if (!kLookAhead || !is_free(turn)) {
        go_straight = true;
      } else {
        reach = 2;
        // Compare the free-neighbour counts of both ways. Each way links
        // back to u, which is still free; its other two neighbours include
        // where it would go straight on next.
        const uint32_t* const sl = node[straight].link;
        const uint32_t* const tl = node[turn].link;
        const uint32_t sb = straight_link & 3, tb = turn_link & 3;
        const uint32_t s1 = sl[kPlus1[sb]], s2 = sl[kPlus2[sb]];
        const uint32_t t1 = tl[kPlus1[tb]], t2 = tl[kPlus2[tb]];
        const bool s1_free = is_free(s1 >> 2), s2_free = is_free(s2 >> 2);
        const bool t1_free = is_free(t1 >> 2), t2_free = is_free(t2 >> 2);
        const int straight_count = int(s1_free) + int(s2_free), turn_count = int(t1_free) + int(t2_free);
        if (turn_count != straight_count) {
          go_straight = turn_count > straight_count;
        } else if (!(side ? s1_free : s2_free)) {
          go_straight = false;  // the straight way cannot go on straight
        } else if (!(side ? t2_free : t1_free)) {
          go_straight = true;
        } else {
          // Both go on to a free triangle, which links back to a free way:
          // compare their other two neighbours.
          reach = 3;
          auto others_free = [&](uint32_t l) __attribute__((always_inline)) {
            const uint32_t* const ol = node[l >> 2].link;
            return int(is_free(ol[kPlus1[l & 3]] >> 2)) + int(is_free(ol[kPlus2[l & 3]] >> 2));
          };
          go_straight = others_free(side ? t2 : t1) >= others_free(side ? s1 : s2);
        }
      }
      note(u, reach);
      if (go_straight) {
        next = straight;
        entry = straight_link & 3;
      } else {
        next = turn;
        entry = turn_link & 3;
        if (is_free(turn)) {
          // Repeat the vertex two back so the next triangle takes the other edge.
          ++length;
          ++swaps;
          side = !side;
          if constexpr (kKeep) {
            kept_strip_.push_back(kept_strip_[kept_strip_.size() - 2]);
          } else {
            // Every triangle still free adds at most two indices, and the
            // last step at most two past the cap.
            const double longest =
                std::min(double(max_length_) + 1.0, double(length) + 2.0 * double(bar.free_left - marked));
            const double bound = double(swaps) / longest;
            if (bound >= bar.ge || bound > bar.gt) return {bound, false};
          }
        }
      }
      ++length;
      node[u].state = stamp;
      ++marked;
      if constexpr (kKeep) {
        kept_strip_.push_back(corner(u, kPlus2[k]));
        kept_.push_back(u);
      }
      if (length >= max_length_) break;
    }
    return {length == 3 ? 1.0 : double(swaps) / double(length), true};
  }

  std::span<const uint32_t> idx_;
  uint32_t n_ = 0;
  uint32_t max_length_ = 0;
  uint32_t none_ = 0;                  // the stand-in triangle
  std::vector<uint32_t> order_;        // internal number -> caller's number (kNil: unused)
  std::vector<uint32_t> inner_;        // caller's number -> internal number
  std::vector<uint32_t> part_;         // connected part of each internal number
  std::vector<uint32_t> part_start_;   // first internal number of each part, and the end
  std::vector<uint8_t> part_unnoted_;  // per part: holds outcomes whose steps were not noted
  std::vector<uint8_t> part_noted_;    // per part: holds noted outcomes
  std::vector<uint32_t> part_size_;    // triangles of each part
  std::vector<uint32_t> part_free_;    // of those, not in a kept strip
  std::vector<Node> node_;
  uint32_t stamp_ = 0;
  std::vector<Memo> memo_;
  std::vector<uint32_t> version_;             // per memo: bumped when dropped
  std::vector<std::vector<Reader>> readers_;  // per tile
  // The running noted trial's steps: the tiles it stepped into, and its
  // steps per tile (none for a tile it has not stepped into yet).
  std::vector<uint32_t> stepped_tiles_;
  std::vector<Steps> steps_;
  // What lies near the kept strip, per tile (see forget_readers_of_kept()),
  // the tiles that holds, and a mark per triangle for gathering it.
  std::vector<Steps> near_;
  std::vector<uint32_t> touched_tiles_;
  std::vector<uint32_t> near_ring_;
  std::vector<uint32_t> near_mark_;
  uint32_t near_stamp_ = 0;
  // Free-neighbour count of each unvisited triangle against kept strips,
  // in the caller's numbering.
  std::vector<uint8_t> count_;
  // Per parity, over the caller's numbering: see refresh().
  std::array<MinTree, 2> exact_;
  std::array<MinTree, 2> open_;
  std::vector<uint32_t> bfs_, part_end_, part_of_, cluster_, in_cluster_;  // number_triangles()' working memory
  std::vector<uint32_t> settled_;
  std::vector<uint32_t> stale_;    // caller's triangles waiting for refresh()
  std::vector<uint8_t> is_stale_;  // per caller's triangle: the parities to refresh
  std::vector<uint32_t> kept_strip_;
  std::vector<uint32_t> kept_;
};

size_t pass_cost(const Strips& strips) {
  return strips.total_length() + 2 * (strips.size() - 1);
}

// 16-entry FIFO vertex cache. Each entry remembers who put it there: the
// joined output, or the candidate being scored.
class VertexCache {
 public:
  static constexpr size_t kSize = 16;

  void add_output(uint32_t v) {
    if (matches(v) == 0) insert(v, true);
  }

  // Runs a candidate's vertices through a copy of the cache and returns the
  // hits on entries the output placed. Once sixteen vertices have come in,
  // nothing of the output is left, so the rest cannot hit.
  template <class It>
  uint32_t score(It first, It last, CacheHitCounting counting) const {
    VertexCache copy = *this;
    uint32_t hits = 0, misses = 0;
    for (; first != last && misses < kSize; ++first) {
      const uint32_t slot = copy.matches(*first);
      if (slot == 0) {
        copy.insert(*first, false);
        ++misses;
      } else if ((copy.output_ & slot) != 0) {
        ++hits;
        if (counting == CacheHitCounting::kOncePerEntry) copy.output_ &= ~slot;
      }
    }
    return hits;
  }

  template <class F>
  void for_each_output_vertex(F&& f) const {
    for (size_t i = 0; i < kSize; ++i)
      if ((output_ >> i) & 1) f(keys_[i]);
  }

 private:
  // The bit of the entry holding v, or 0. An entry holds each vertex at
  // most once.
  uint32_t matches(uint32_t v) const {
    uint32_t m = 0;
#if defined(__SSE2__)
    const __m128i key = _mm_set1_epi32(static_cast<int>(v));
    for (int q = 0; q < 4; ++q) {
      const __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(keys_.data()) + q);
      m |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(k, key)))) << (4 * q);
    }
#else
    for (size_t i = 0; i < kSize; ++i) m |= static_cast<uint32_t>(keys_[i] == v) << i;
#endif
    return m & filled_;
  }
  // Replaces the oldest entry; `output` says the joined output placed it
  // (else the candidate being scored did).
  void insert(uint32_t v, bool output) {
    const uint32_t bit = 1u << next_;
    keys_[next_] = v;
    filled_ |= bit;
    output_ = output ? output_ | bit : output_ & ~bit;
    next_ = (next_ + 1) % kSize;
  }

  alignas(16) std::array<uint32_t, kSize> keys_{};
  uint32_t filled_ = 0;  // a bit per entry holding a vertex
  uint32_t output_ = 0;  // a bit per entry the output placed
  uint32_t next_ = 0;
};

// Working memory of join(), kept between calls.
struct JoinScratch {
  std::vector<uint32_t> first_holder, last_holder, holders, cursor, candidates;
  std::vector<uint8_t> removed;
  std::vector<size_t> seen;
};

std::vector<uint32_t> join(Strips& strips, const StripifyOptions& options, const VertexNumbers& number,
                           JoinScratch& scratch) {
  std::vector<uint32_t> out;
  if (strips.empty()) return out;
  out.reserve(strips.total_length() + 3 * strips.size() + 2);

  VertexCache cache;
  for (uint32_t v : strips.indices(0)) {
    out.push_back(v);
    cache.add_output(v);
  }

  // Which strips hold each vertex: only strips holding a cached output
  // vertex can score above zero, and a zero score never beats the first
  // remaining strip, which is always a candidate and comes first.
  const size_t m = strips.size();
  std::vector<uint32_t>&first_holder = scratch.first_holder, &last_holder = scratch.last_holder;
  first_holder.assign(number.count() + 1, 0);
  last_holder.assign(number.count(), 0);
  for (size_t s = 1; s < m; ++s) {
    for (uint32_t v : strips.indices(s)) {
      uint32_t d = number(v);
      if (last_holder[d] != s) {
        last_holder[d] = static_cast<uint32_t>(s);
        ++first_holder[size_t{d} + 1];
      }
    }
  }
  for (size_t d = 0; d < number.count(); ++d) first_holder[d + 1] += first_holder[d];
  std::vector<uint32_t>& holders = scratch.holders;  // strips holding each vertex, in strip order
  holders.resize(first_holder.back());
  {
    std::vector<uint32_t>& cursor = scratch.cursor;
    cursor.assign(first_holder.begin(), first_holder.end() - 1);
    std::fill(last_holder.begin(), last_holder.end(), 0);
    for (size_t s = 1; s < m; ++s) {
      for (uint32_t v : strips.indices(s)) {
        uint32_t d = number(v);
        if (last_holder[d] != s) {
          last_holder[d] = static_cast<uint32_t>(s);
          holders[cursor[d]++] = static_cast<uint32_t>(s);
        }
      }
    }
  }

  std::vector<uint8_t>& removed = scratch.removed;
  std::vector<size_t>& seen = scratch.seen;
  removed.assign(m, 0);
  seen.assign(m, 0);
  size_t round = 0;
  std::vector<uint32_t>& candidates = scratch.candidates;
  size_t first = 1;
  for (size_t left = m - 1; left > 0; --left) {
    ++round;
    while (removed[first]) ++first;
    const bool ref_parity = strips.parity(first);
    const size_t ref_odd = strips.length(first) % 2;
    candidates.clear();
    cache.for_each_output_vertex([&](uint32_t v) {
      const uint32_t d = number(v);
      for (uint32_t h = first_holder[d]; h < first_holder[size_t{d} + 1]; ++h) {
        uint32_t s = holders[h];
        if (removed[s] || seen[s] == round) continue;
        seen[s] = round;
        if (strips.parity(s) == ref_parity && strips.length(s) % 2 == ref_odd) candidates.push_back(s);
      }
    });
    // The first remaining strip always competes; when it holds no vertex the
    // output left in the cache it scores nothing either way round.
    const bool first_scores = seen[first] == round;
    if (!first_scores) candidates.push_back(static_cast<uint32_t>(first));
    std::sort(candidates.begin(), candidates.end());

    size_t chosen = first;
    bool chosen_reversed = false;
    int64_t best_gain = -1;
    for (uint32_t s : candidates) {
      if (s == first && !first_scores) {
        best_gain = 0;
        continue;
      }
      const std::span<uint32_t> ind = strips.indices(s);
      int64_t gain = cache.score(ind.begin(), ind.end(), options.hit_counting);
      bool reversed = false;
      if (ind.size() % 2 == 0) {
        int64_t gain_reversed = cache.score(ind.rbegin(), ind.rend(), options.hit_counting);
        if (gain_reversed > gain) {
          gain = gain_reversed;
          reversed = true;
          if (options.even_reversal == EvenStripReversal::kEveryCandidate) std::reverse(ind.begin(), ind.end());
        }
      }
      if (gain > best_gain) {
        best_gain = gain;
        chosen = s;
        chosen_reversed = reversed && options.even_reversal == EvenStripReversal::kChosenOnly;
      }
    }
    const std::span<uint32_t> ind = strips.indices(chosen);
    if (chosen_reversed) std::reverse(ind.begin(), ind.end());

    uint32_t last = out.back(), head = ind.front();
    if (last != head) {
      out.push_back(last);
      out.push_back(head);
    }
    if (strips.parity(chosen) != (out.size() % 2 == 0)) out.push_back(head);
    for (uint32_t v : ind) {
      out.push_back(v);
      cache.add_output(v);
    }
    removed[chosen] = 1;
  }
  return out;
}

std::vector<uint32_t> stripify_impl(std::span<const uint32_t> triangles, const StripifyOptions& options) {
  const size_t n = triangles.size() / 3;
  if (n == 0) return {};
  if (n > StripBuilder::kMaxTriangles) throw std::length_error("stripify: too many triangles");
  const std::span<const uint32_t> corners = triangles.first(n * 3);
  // Each thread keeps its working memory from one list to the next: the
  // exporter strips many small lists in a row, and fresh memory costs more
  // than the work on them. What a very large list needed is given back.
  struct Workspace {
    AdjacencyScratch adjacency_scratch;
    Adjacency adjacency;
    StripBuilder builder;
    std::array<Strips, 2> passes;
    JoinScratch join_scratch;
  };
  thread_local Workspace ws;
  struct GiveBack {
    Workspace& ws;
    bool large;
    ~GiveBack() {
      if (large) ws = Workspace{};
    }
  } give_back{ws, n > (size_t{1} << 18)};

  const VertexNumbers number(corners);
  build_adjacency(corners, n, number, ws.adjacency_scratch, ws.adjacency);
  ws.builder.prepare(triangles, n, ws.adjacency, options.max_strip_length);
  Strips& strips = ws.passes[0];
  Strips& plain = ws.passes[1];
  ws.builder.run_pass(true, strips);
  // Without the look-ahead a pass differs only where a walk finds both ways
  // on free, which takes a triangle with three neighbours. Without one the
  // second pass would repeat the first step for step, and an equal cost
  // keeps the first.
  bool branches = false;
  for (size_t c = 0; c < n * 3 && !branches; c += 3) {
    const int32_t* const nb = &ws.adjacency.neighbour[c];
    branches = nb[0] != kNone && nb[1] != kNone && nb[2] != kNone;
  }
  const bool plain_done = branches && ws.builder.run_pass(false, plain, pass_cost(strips));
  return join(plain_done && pass_cost(plain) < pass_cost(strips) ? plain : strips, options, number, ws.join_scratch);
}

template <class T>
std::vector<T> strip_to_list_impl(std::span<const T> s) {
  std::vector<T> out;
  if (s.size() < 3) return out;
  out.reserve((s.size() - 2) * 3);
  for (size_t i = 0; i + 2 < s.size(); ++i) {
    T a = s[i], b = s[i + 1], c = s[i + 2];
    if (a == b || b == c || a == c) continue;
    if (i % 2 == 0) {
      out.insert(out.end(), {a, b, c});
    } else {
      out.insert(out.end(), {a, c, b});
    }
  }
  return out;
}

}  // namespace

std::vector<uint32_t> stripify(std::span<const uint32_t> triangles, const StripifyOptions& options) {
  return stripify_impl(triangles, options);
}

std::vector<uint16_t> stripify(std::span<const uint16_t> triangles, const StripifyOptions& options) {
  std::vector<uint32_t> wide(triangles.begin(), triangles.end());
  std::vector<uint32_t> strip = stripify_impl(wide, options);
  return std::vector<uint16_t>(strip.begin(), strip.end());
}

std::vector<uint32_t> strip_to_list(std::span<const uint32_t> strip) {
  return strip_to_list_impl(strip);
}
std::vector<uint16_t> strip_to_list(std::span<const uint16_t> strip) {
  return strip_to_list_impl(strip);
}

}  // namespace tools::mesh
