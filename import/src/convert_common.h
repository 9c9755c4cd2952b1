// Steps the rigid and the skinned conversion share: the conversion log with
// its failed mark, name helpers, the exchange sort of the marker tables,
// sub-object geometry, bounding objects, user points, model lights, source
// materials and the material assignment. Implemented in convert.cpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "orvo/import/scene.h"
#include "orvo/model/model.h"
#include "orvo/model/base.h"

namespace orvo::conv {

// Sub-object numbers index 1000 lists; each list holds a count and up to 999
// MAX object indices, so the highest usable sub-object number is 999.
inline constexpr int kListCapacity = 1000;
inline constexpr int kMaxListedSubObject = kListCapacity - 1;

// The markers are sorted with the exchange procedure of the original tool
// (for each position i and each later j, swap when i's record compares
// greater), which decides the order of records with equal keys. It is
// quadratic; beyond this many records a stable sort gives the same order of
// distinct keys in reasonable time.
inline constexpr std::size_t kExchangeSortLimit = 4096;

template <class T, class Greater>
void exchange_sort(std::vector<T>& v, Greater greater) {
  if (v.size() > kExchangeSortLimit) {
    std::stable_sort(v.begin(), v.end(), [&](const T& a, const T& b) { return greater(b, a); });
    return;
  }
  for (std::size_t i = 0; i < v.size(); ++i) {
    for (std::size_t j = i + 1; j < v.size(); ++j) {
      if (greater(v[i], v[j])) std::swap(v[i], v[j]);
    }
  }
}

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
inline bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Two decimal digits at `pos` of `name`, or -1 when they are not both digits.
inline int two_digits(std::string_view name, std::size_t pos) {
  if (pos + 1 >= name.size() || !is_digit(name[pos]) || !is_digit(name[pos + 1])) return -1;
  return (name[pos] - '0') * 10 + (name[pos + 1] - '0');
}

// The conversion log window and the failed mark: an error line keeps the
// window up until the user closes it.
class ConversionLog {
 public:
  explicit ConversionLog(UserNotifier& notifier) : notifier_(notifier) {}

  void line(std::string_view text) { notifier_.log(text); }
  __attribute__((format(printf, 2, 3))) void logf(const char* format, ...);
  // An error line naming one object; marks the conversion as failed.
  __attribute__((format(printf, 2, 0))) void error(const char* format, const char* name);
  void fail() { failed_ = true; }
  bool failed() const { return failed_; }
  UserNotifier& notifier() { return notifier_; }

 private:
  UserNotifier& notifier_;
  bool failed_ = false;
};

struct Average {
  double x = 0, y = 0, z = 0;
};
// The average of an object's vertices (0 for an object without vertices).
Average average_of(const MaxObject& o);
// The row scaled to unit length; a zero row stays zero.
Row3 normalised(Row3 r);

// Plane of a face through its three corners: unit normal and distance. A face
// whose corners are not all in `verts`, or that has no area, keeps its plane.
void compute_plane(Face& f, const std::vector<Vertex>& verts);
void compute_planes(SubObject& so);

// Copies every flat scene material into the Model's source materials. Faces
// whose object names no existing material share one unnamed source material
// appended at the end; returns its index, or -1 when no face needs it.
int copy_source_materials(Model& model, const ImportedScene& scene);

// Fills sub-object `index` from the MAX objects of `list`, in list order:
// scaled vertices with the index in both sub-object words, texture vertices
// (u, 1 - v), faces with offset indices and their source material, face
// colours (or the no-colour marker) when any object has colour faces; the
// name is that of the last object. Objects flagged in `geometry_dropped`
// (indexed by scene object; empty means none) give only their name. Face
// planes are left to the caller.
void fill_subobject(SubObject& so, int index, const std::vector<int>& list, const ImportedScene& scene, float scale,
                    int unnamed_srcmat, const std::vector<bool>& geometry_dropped);

// A bounding object name: first letter C, B, L, D or O and a second letter,
// not a "Bip" biped node.
bool is_bounding_name(std::string_view name);
// The bounding object of MAX object `oi` (prefix type, "BB" flags, sub-object
// numbers, centre, radius, extents and its own vertex and face copies), or
// nothing after an error line for a bad number.
std::optional<BoundingObject> make_bounding_object(const MaxObject& o, int oi, float scale, int unnamed_srcmat,
                                                   ConversionLog& log);

// The user point of an object named "UP<kind><NN> name", or nothing after an
// error line for a bad number. Rows are copied as stored.
std::optional<UserPoint> make_user_point(const MaxObject& o, float scale, ConversionLog& log);

// For a light name beginning with "LP" (either case): the one or two digits
// after it, or -1 when there is no digit.
int light_number(std::string_view name);
// A model light of sub-object `number - 1` from a scene light.
ModelLight make_light(const SceneLight& l, int number, float scale);

// Assigns every face of every sub-object its Model material (two runs of the
// add-material operation) and resets the materials' working bounds.
void assign_materials(Model& model, UserNotifier& notifier);

// Sums the bounding objects' items and counts, per sub-object, the bounding
// objects that refer to it (occluders excluded).
void count_bounding_objects(Model& model);

}  // namespace orvo::conv
