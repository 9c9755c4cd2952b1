#pragma once
// Triangle stripifier shared by the model exporter and the terrain generator.
//
// The triangles are linked across shared edges (a directed edge a→b meets the
// first later triangle holding b→a), grown into strips twice (with and without
// the look-ahead that prefers neighbours with fewer free neighbours), the
// cheaper set of strips is kept, and the strips are joined into one strip with
// degenerate bridges, choosing the next strip by its hits in a 16-entry FIFO
// vertex cache. The result is fixed exactly by these rules; two rules of the
// joiner differ between the exporter and the terrain generator and are options.

#include <cstdint>
#include <span>
#include <vector>

namespace tools::mesh {

// How a candidate strip's hits on the vertex cache are counted while the
// joiner scores it. A hit only ever counts on an entry the joined output
// placed, never on one the candidate itself brought in.
enum class CacheHitCounting : uint8_t {
  // A hit takes the entry over for the candidate, so each output entry
  // counts at most once (terrain generator).
  kOncePerEntry,
  // An entry keeps the mark of whoever placed it, so every repeat of an
  // output vertex counts again (model exporter).
  kEveryHit,
};

// Which strips of even length are left reversed after scoring.
enum class EvenStripReversal : uint8_t {
  // Only the chosen strip, when it scores strictly more reversed (terrain
  // generator).
  kChosenOnly,
  // Every scored candidate that scores strictly more reversed, chosen or not;
  // it stays reversed for later rounds (model exporter).
  kEveryCandidate,
};

struct StripifyOptions {
  // Longest strip one growth may build. A turn near the end adds the swap
  // vertex and the triangle's vertex together, so a strip can end one index
  // past this length.
  uint32_t max_strip_length = 1024;
  CacheHitCounting hit_counting = CacheHitCounting::kOncePerEntry;
  EvenStripReversal even_reversal = EvenStripReversal::kChosenOnly;

  // The exporter's and the terrain generator's rules.
  static StripifyOptions model_export() {
    return {1024, CacheHitCounting::kEveryHit, EvenStripReversal::kEveryCandidate};
  }
  static StripifyOptions terrain() { return {}; }
};

// Turns a triangle list (three indices per triangle; trailing indices that do
// not make a whole triangle are ignored) into one strip. Triangle i of the
// strip is (s[i], s[i+1], s[i+2]) when i is even and (s[i], s[i+2], s[i+1])
// when i is odd; triangles with two equal indices are degenerate. An empty
// list gives an empty strip; more than 2^28 triangles throw
// std::length_error.
std::vector<uint32_t> stripify(std::span<const uint32_t> triangles, const StripifyOptions& options = {});
std::vector<uint16_t> stripify(std::span<const uint16_t> triangles, const StripifyOptions& options = {});

// The strip's triangles as a list in strip order with their winding, the
// degenerate ones left out (what the exporter writes when a strip is longer
// than the list it replaces).
std::vector<uint32_t> strip_to_list(std::span<const uint32_t> strip);
std::vector<uint16_t> strip_to_list(std::span<const uint16_t> strip);

}  // namespace tools::mesh
