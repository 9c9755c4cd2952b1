#include "orvo/mesh/stripify.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

namespace orvo::mesh {
namespace {

constexpr int32_t kNone = -1;

// Neighbour across each triangle edge (edge k joins corners k and k+1) and
// the edge number on the neighbour's side.
struct Adjacency {
  std::vector<int32_t> neighbour;  // 3 per triangle, kNone when open
  std::vector<uint8_t> back_edge;  // 3 per triangle
};

uint64_t edge_key(uint32_t from, uint32_t to) {
  return (uint64_t{from} << 32) | to;
}

uint64_t mix(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

// Open-addressing table from a directed edge to a group number.
class EdgeTable {
 public:
  explicit EdgeTable(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap <<= 1;
    keys_.assign(cap, 0);
    groups_.assign(cap, kNone);
    mask_ = cap - 1;
  }

  // The group of `key`, creating group `next` when the key is new.
  int32_t insert(uint64_t key, int32_t next) {
    for (size_t slot = mix(key) & mask_;; slot = (slot + 1) & mask_) {
      if (groups_[slot] == kNone) {
        keys_[slot] = key;
        groups_[slot] = next;
        return next;
      }
      if (keys_[slot] == key) return groups_[slot];
    }
  }

  int32_t find(uint64_t key) const {
    for (size_t slot = mix(key) & mask_;; slot = (slot + 1) & mask_) {
      if (groups_[slot] == kNone) return kNone;
      if (keys_[slot] == key) return groups_[slot];
    }
  }

 private:
  std::vector<uint64_t> keys_;
  std::vector<int32_t> groups_;
  size_t mask_ = 0;
};

// Links every edge to the first unlinked opposite edge of a later triangle,
// in triangle order then edge order. The corners holding each directed edge
// are grouped in that order; a cursor per group skips corners that are linked
// or no longer later than the triangle being linked, which never become
// eligible again.
Adjacency build_adjacency(std::span<const uint32_t> idx, size_t n) {
  Adjacency adj;
  adj.neighbour.assign(n * 3, kNone);
  adj.back_edge.assign(n * 3, 0);
  EdgeTable table(n * 3);
  std::vector<int32_t> group_of(n * 3);
  int32_t groups = 0;
  for (size_t c = 0; c < n * 3; ++c) {
    size_t t = c / 3, e = c % 3;
    int32_t g = table.insert(edge_key(idx[c], idx[t * 3 + (e + 1) % 3]), groups);
    if (g == groups) ++groups;
    group_of[c] = g;
  }
  std::vector<uint32_t> start(static_cast<size_t>(groups) + 1, 0);
  for (int32_t g : group_of) ++start[static_cast<size_t>(g) + 1];
  for (size_t g = 0; g < static_cast<size_t>(groups); ++g) start[g + 1] += start[g];
  std::vector<uint32_t> members(n * 3);
  std::vector<uint32_t> cursor(start.begin(), start.end() - 1);
  for (size_t c = 0; c < n * 3; ++c) members[cursor[static_cast<size_t>(group_of[c])]++] = static_cast<uint32_t>(c);
  std::copy(start.begin(), start.end() - 1, cursor.begin());

  for (size_t t = 0; t < n; ++t) {
    for (size_t e = 0; e < 3; ++e) {
      size_t c = t * 3 + e;
      if (adj.neighbour[c] != kNone) continue;
      int32_t g = table.find(edge_key(idx[t * 3 + (e + 1) % 3], idx[c]));
      if (g == kNone) continue;
      auto gi = static_cast<size_t>(g);
      uint32_t& cur = cursor[gi];
      while (cur < start[gi + 1] && (members[cur] / 3 <= t || adj.neighbour[members[cur]] != kNone)) ++cur;
      if (cur == start[gi + 1]) continue;
      uint32_t other = members[cur];
      adj.neighbour[c] = static_cast<int32_t>(other / 3);
      adj.back_edge[c] = static_cast<uint8_t>(other % 3);
      adj.neighbour[other] = static_cast<int32_t>(t);
      adj.back_edge[other] = static_cast<uint8_t>(e);
    }
  }
  return adj;
}

struct Strip {
  std::vector<uint32_t> indices;
  bool parity = true;  // the strip's first triangle must sit at an even output position
};

// Unvisited triangles grouped by their free-neighbour count (0 filed as 4),
// one bit set per group so that a group is walked in triangle order.
class CountBuckets {
 public:
  explicit CountBuckets(size_t n) : words_((n + 63) / 64) {
    for (auto& b : bits_) b.assign(words_, 0);
  }
  static int key(int count) { return count == 0 ? 4 : count; }
  void add(size_t t, int count) {
    int k = key(count);
    bits_[k][t >> 6] |= uint64_t{1} << (t & 63);
    ++sizes_[k];
  }
  void remove(size_t t, int count) {
    int k = key(count);
    bits_[k][t >> 6] &= ~(uint64_t{1} << (t & 63));
    --sizes_[k];
  }
  int lowest() const {
    for (int k = 1; k <= 4; ++k)
      if (sizes_[k] != 0) return k;
    return 0;
  }
  const std::vector<uint64_t>& bits(int k) const { return bits_[k]; }

 private:
  size_t words_;
  std::array<std::vector<uint64_t>, 5> bits_;
  std::array<size_t, 5> sizes_{};
};

class StripBuilder {
 public:
  StripBuilder(std::span<const uint32_t> idx, size_t n, const Adjacency& adj, uint32_t max_length)
      : idx_(idx), n_(n), adj_(adj), max_length_(max_length), visited_(n, 0) {}

  std::vector<Strip> run_pass(bool look_ahead) {
    look_ahead_ = look_ahead;
    std::fill(visited_.begin(), visited_.end(), 0);
    std::vector<int> count(n_);
    CountBuckets buckets(n_);
    for (size_t t = 0; t < n_; ++t) {
      count[t] = free_count(t);
      buckets.add(t, count[t]);
    }
    std::vector<Strip> strips;
    bool parity = true;
    size_t remaining = n_;
    std::vector<uint32_t> strip;
    while (remaining > 0) {
      // Lowest count first, then lowest score, then the first found.
      const auto& bits = buckets.bits(buckets.lowest());
      free_left_ = remaining;
      size_t best_t = 0, best_e = 0;
      double best_score = 2.0;
      for (size_t w = 0; w < bits.size() && best_score > 0.0; ++w) {
        for (uint64_t word = bits[w]; word != 0 && best_score > 0.0; word &= word - 1) {
          size_t t = w * 64 + static_cast<size_t>(std::countr_zero(word));
          for (size_t e = 0; e < 3; ++e) {
            uint32_t swaps = grow(t, e, parity, strip, best_score);
            unmark();
            if (gave_up_) continue;
            double score = strip.size() == 3 ? 1.0 : double(swaps) / double(strip.size());
            if (score < best_score) {
              best_score = score;
              best_t = t;
              best_e = e;
            }
          }
        }
      }
      grow(best_t, best_e, parity, strip);
      for (uint32_t t : marked_) {
        buckets.remove(t, count[t]);
        --remaining;
      }
      for (uint32_t t : marked_) {
        for (size_t e = 0; e < 3; ++e) {
          int32_t m = adj_.neighbour[t * 3 + e];
          if (m == kNone || visited_[static_cast<size_t>(m)]) continue;
          auto mi = static_cast<size_t>(m);
          buckets.remove(mi, count[mi]);
          buckets.add(mi, --count[mi]);
        }
      }
      marked_.clear();
      strips.push_back({strip, parity});
      if (strip.size() % 2 == 1) parity = !parity;
    }
    return strips;
  }

 private:
  int free_count(size_t t) const {
    int c = 0;
    for (size_t e = 0; e < 3; ++e) c += is_free(adj_.neighbour[t * 3 + e]) ? 1 : 0;
    return c;
  }
  bool is_free(int32_t t) const { return t != kNone && !visited_[static_cast<size_t>(t)]; }
  void mark(size_t t) {
    visited_[t] = 1;
    marked_.push_back(static_cast<uint32_t>(t));
  }
  void unmark() {
    for (uint32_t t : marked_) visited_[t] = 0;
    marked_.clear();
  }
  int32_t across(size_t t, size_t e) const { return adj_.neighbour[t * 3 + e % 3]; }
  size_t back(size_t t, size_t e) const { return adj_.back_edge[t * 3 + e % 3]; }
  uint32_t corner(size_t t, size_t c) const { return idx_[t * 3 + c % 3]; }

  // Grows a strip from triangle t and start edge e, marking its triangles.
  // Returns the number of swaps.
  //
  // A trial gives up (gave_up_) once its swaps alone rule out a score below
  // `beat`, however long it would grow.
  uint32_t grow(size_t t, size_t e, bool parity, std::vector<uint32_t>& strip, double beat = 2.0) {
    strip.clear();
    gave_up_ = false;
    if (visited_[t]) return 0;
    mark(t);
    size_t exit_edge;
    if (parity) {
      strip.insert(strip.end(), {corner(t, e), corner(t, e + 1), corner(t, e + 2)});
      exit_edge = e + 1;
    } else {
      strip.insert(strip.end(), {corner(t, e + 1), corner(t, e), corner(t, e + 2)});
      exit_edge = e + 2;
    }
    int32_t next = across(t, exit_edge);
    size_t entry = back(t, exit_edge);
    bool side = !parity;
    uint32_t swaps = 0;
    if (max_length_ < 4) return 0;
    while (is_free(next)) {
      auto u = static_cast<size_t>(next);
      size_t k = entry;
      side = !side;
      size_t straight_edge = side ? k + 2 : k + 1;
      size_t turn_edge = side ? k + 1 : k + 2;
      int32_t straight = across(u, straight_edge);
      int32_t turn = across(u, turn_edge);
      bool go_straight;
      if (!is_free(straight)) {
        go_straight = false;
      } else if (!look_ahead_ || !is_free(turn)) {
        go_straight = true;
      } else {
        int cs = free_count(static_cast<size_t>(straight));
        int ct = free_count(static_cast<size_t>(turn));
        if (ct != cs) {
          go_straight = ct > cs;
        } else {
          // Where each way would go straight on next.
          size_t sb = back(u, straight_edge), tb = back(u, turn_edge);
          int32_t straight_on = across(static_cast<size_t>(straight), side ? sb + 1 : sb + 2);
          int32_t turn_on = across(static_cast<size_t>(turn), side ? tb + 2 : tb + 1);
          go_straight = is_free(straight_on) && (!is_free(turn_on) || free_count(static_cast<size_t>(turn_on)) >=
                                                                          free_count(static_cast<size_t>(straight_on)));
        }
      }
      if (go_straight) {
        next = straight;
        entry = back(u, straight_edge);
      } else {
        next = turn;
        entry = back(u, turn_edge);
        if (is_free(turn)) {
          // Repeat the vertex two back so the next triangle takes the other edge.
          strip.push_back(strip[strip.size() - 2]);
          side = !side;
          ++swaps;
          // Every triangle still free adds at most two indices.
          double longest =
              std::min(double(max_length_) + 1.0, double(strip.size()) + 2.0 * double(free_left_ - marked_.size()));
          if (double(swaps) / longest >= beat) {
            gave_up_ = true;
            return swaps;
          }
        }
      }
      strip.push_back(corner(u, k + 2));
      mark(u);
      if (strip.size() >= max_length_) break;
    }
    return swaps;
  }

  std::span<const uint32_t> idx_;
  size_t n_;
  const Adjacency& adj_;
  uint32_t max_length_;
  bool look_ahead_ = true;
  bool gave_up_ = false;
  size_t free_left_ = 0;  // unvisited triangles before the trial
  std::vector<uint8_t> visited_;
  std::vector<uint32_t> marked_;
};

size_t pass_cost(const std::vector<Strip>& strips) {
  size_t cost = 0;
  for (const auto& s : strips) cost += s.indices.size();
  return cost + 2 * (strips.size() - 1);
}

// 16-entry FIFO vertex cache. Each entry remembers who put it there: the
// joined output (kOutput) or the candidate being scored (kCandidate).
class VertexCache {
 public:
  static constexpr uint8_t kEmpty = 0, kOutput = 1, kCandidate = 2;
  static constexpr size_t kSize = 16;

  void add_output(uint32_t v) {
    if (find(v) == kSize) insert(v, kOutput);
  }

  // Runs a candidate's vertices through a copy of the cache and returns the
  // hits on entries the output placed. Once sixteen vertices have come in,
  // nothing of the output is left, so the rest cannot hit.
  template <class It>
  uint32_t score(It first, It last, CacheHitCounting counting) const {
    VertexCache copy = *this;
    uint32_t hits = 0, misses = 0;
    for (; first != last && misses < kSize; ++first) {
      size_t slot = copy.find(*first);
      if (slot == kSize) {
        copy.insert(*first, kCandidate);
        ++misses;
      } else if (copy.tags_[slot] == kOutput) {
        ++hits;
        if (counting == CacheHitCounting::kOncePerEntry) copy.tags_[slot] = kCandidate;
      }
    }
    return hits;
  }

  template <class F>
  void for_each_output_vertex(F&& f) const {
    for (size_t i = 0; i < kSize; ++i)
      if (tags_[i] == kOutput) f(keys_[i]);
  }

 private:
  size_t find(uint32_t v) const {
    for (size_t i = 0; i < kSize; ++i)
      if (tags_[i] != kEmpty && keys_[i] == v) return i;
    return kSize;
  }
  void insert(uint32_t v, uint8_t tag) {
    keys_[next_] = v;
    tags_[next_] = tag;
    next_ = (next_ + 1) % kSize;
  }

  std::array<uint32_t, kSize> keys_{};
  std::array<uint8_t, kSize> tags_{};
  size_t next_ = 0;
};

std::vector<uint32_t> join(std::vector<Strip>& strips, const StripifyOptions& options) {
  std::vector<uint32_t> out;
  if (strips.empty()) return out;
  size_t total = 0;
  for (const auto& s : strips) total += s.indices.size();
  out.reserve(total + 3 * strips.size() + 2);

  VertexCache cache;
  for (uint32_t v : strips[0].indices) {
    out.push_back(v);
    cache.add_output(v);
  }

  // Which strips hold each vertex: only strips holding a cached output
  // vertex can score above zero, and a zero score never beats the first
  // remaining strip, which is always a candidate and comes first.
  const size_t m = strips.size();
  std::vector<std::pair<uint32_t, uint32_t>> holders;  // (vertex, strip)
  for (size_t s = 1; s < m; ++s)
    for (uint32_t v : strips[s].indices) holders.emplace_back(v, static_cast<uint32_t>(s));
  std::sort(holders.begin(), holders.end());
  holders.erase(std::unique(holders.begin(), holders.end()), holders.end());

  std::vector<uint8_t> removed(m, 0);
  std::vector<size_t> seen(m, 0);
  size_t round = 0;
  std::vector<uint32_t> candidates;
  size_t first = 1;
  for (size_t left = m - 1; left > 0; --left) {
    ++round;
    while (removed[first]) ++first;
    const bool ref_parity = strips[first].parity;
    const size_t ref_odd = strips[first].indices.size() % 2;
    candidates.clear();
    candidates.push_back(static_cast<uint32_t>(first));
    seen[first] = round;
    cache.for_each_output_vertex([&](uint32_t v) {
      auto it = std::lower_bound(holders.begin(), holders.end(), std::pair<uint32_t, uint32_t>{v, 0});
      for (; it != holders.end() && it->first == v; ++it) {
        uint32_t s = it->second;
        if (removed[s] || seen[s] == round) continue;
        seen[s] = round;
        if (strips[s].parity == ref_parity && strips[s].indices.size() % 2 == ref_odd) candidates.push_back(s);
      }
    });
    std::sort(candidates.begin() + 1, candidates.end());

    size_t chosen = first;
    bool chosen_reversed = false;
    int64_t best_gain = -1;
    for (uint32_t s : candidates) {
      auto& ind = strips[s].indices;
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
    auto& ind = strips[chosen].indices;
    if (chosen_reversed) std::reverse(ind.begin(), ind.end());

    uint32_t last = out.back(), head = ind.front();
    if (last != head) {
      out.push_back(last);
      out.push_back(head);
    }
    if (strips[chosen].parity != (out.size() % 2 == 0)) out.push_back(head);
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
  Adjacency adj = build_adjacency(triangles, n);
  StripBuilder builder(triangles, n, adj, options.max_strip_length);
  std::vector<Strip> strips = builder.run_pass(true);
  std::vector<Strip> plain = builder.run_pass(false);
  if (pass_cost(plain) < pass_cost(strips)) strips = std::move(plain);
  return join(strips, options);
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

}  // namespace orvo::mesh
