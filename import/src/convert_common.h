// Steps the rigid and the skinned conversion share: the conversion log with
// its failed mark, the sub-object lists and their log lines, name helpers,
// the exchange sort of the marker tables, marker positions, sub-object
// geometry, bounding objects, user points, model lights, source materials
// and the end of a conversion. Implemented in convert.cpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "orvo/import/convert.h"
#include "orvo/import/scene.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"

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

// The MAX objects of each sub-object, by sub-object number, and the number of
// sub-objects: the highest number that took an object.
class SubObjectLists {
 public:
  SubObjectLists() : lists_(kListCapacity) {}

  // Appends MAX object `object` to the list of sub-object `number` (1 to
  // kMaxListedSubObject); a full list logs an error and takes nothing.
  void add(int number, int object, ConversionLog& log);
  const std::vector<int>& operator[](int number) const { return lists_[static_cast<std::size_t>(number)]; }
  int count() const { return count_; }

  // Whether the log warns of sub-objects beyond the part animation records.
  enum class Unanimated { kWarn, kQuiet };
  // One line per sub-object: its number of MAX objects, or an error for an
  // empty list; `none` is logged as an error when there is no sub-object.
  void log(ConversionLog& log, Unanimated unanimated, const char* none) const;

 private:
  std::vector<std::vector<int>> lists_;
  int count_ = 0;
};

// A marker's position: scene coordinates times the scale factor.
struct Position {
  float x = 0, y = 0, z = 0;
};
// The average of an object's vertices, times the scale factor (the origin
// for an object without vertices).
Position scaled_average(const MaxObject& o, float scale);
// A node position (row 3 of a node transform) times the scale factor.
inline Position scaled(const Row3& r, float scale) {
  return {r.x * scale, r.y * scale, r.z * scale};
}
template <class Point>
void place(Point& p, const Position& at) {
  p.x = at.x;
  p.y = at.y;
  p.z = at.z;
}
// One marker per MAX object of `objects`, in that order: the object's full
// name at the average of its vertices times the scale factor.
template <class Point>
std::vector<Point> markers_at_averages(const ImportedScene& scene, const std::vector<int>& objects, float scale) {
  std::vector<Point> markers;
  markers.reserve(objects.size());
  for (int oi : objects) {
    const MaxObject& o = scene.objects[static_cast<std::size_t>(oi)];
    Point& p = markers.emplace_back();
    p.name = o.name.view();
    place(p, scaled_average(o, scale));
  }
  return markers;
}
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
// The Model's bounding objects from the MAX objects `objects`, in that order:
// prefix type, "BB" flags, sub-object numbers, centre, radius, extents and
// their own vertex and face copies. An object with a bad number is left out
// after an error line.
void build_bounding_objects(Model& model, const ImportedScene& scene, const std::vector<int>& objects, float scale,
                            int unnamed_srcmat, ConversionLog& log);

// The Model's user points from those MAX objects of `objects` whose names
// begin with "UP" (either case), named "UP<kind><NN> name": the name after the
// first blank ("Noname" without one), the kind letter, sub-object NN - 1, the
// average of the vertices times the scale factor and the node transform rows,
// rows 0 to 2 normalised when asked; an object with a bad number is left out
// after an error line. Sorted by sub-object, descending.
enum class UserPointRows { kAsStored, kNormalised };
void build_user_points(Model& model, const ImportedScene& scene, const std::vector<int>& objects, float scale,
                       UserPointRows rows, ConversionLog& log);

// For a light name beginning with "LP" (either case): the one or two digits
// after it, or -1 when there is no digit.
int light_number(std::string_view name);
// A model light of sub-object `number - 1` from a scene light.
ModelLight make_light(const SceneLight& l, int number, float scale);

// The end of both conversions: assigns every face of every sub-object its
// Model material (two runs of the add-material operation) and resets the
// materials' working bounds, sums the bounding objects' items and counts per
// sub-object the bounding objects that refer to it (occluders excluded), sets
// bit 0 of the attributes from the scene's origin, and closes the log.
ConversionReport finish_conversion(Model& model, const ImportedScene& scene, int listed_subobjects, ConversionLog& log);

}  // namespace orvo::conv
