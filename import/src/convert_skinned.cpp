// The skinned conversion: bones become the first sub-objects, numbered meshes
// follow them, every vertex takes its four skin slots, and the model is moved
// so that its centre lies at the origin. See convert_skinned_scene.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert_common.h"
#include "orvo/import/convert.h"
#include "orvo/model/base.h"

namespace orvo {

namespace {

using conv::exchange_sort;

// Bone b is sub-object b + 1, and sub-object numbers stop at the last list.
constexpr int kMaxBoneNumber = conv::kMaxListedSubObject - 1;
// Without a "_01 Center" object the model stands on its lowest vertex, but
// never lower than this.
constexpr float kCentreStartZ = 256.0f;

constexpr NodeRows kUnrotated = {Row3{1, 0, 0}, Row3{0, 1, 0}, Row3{0, 0, 1}, Row3{0, 0, 0}};

bool begins_with_digit(std::string_view name) {
  return !name.empty() && conv::is_digit(name[0]);
}

// NN of a mesh named "NN name", read as the rigid conversion reads it.
int mesh_number(std::string_view name) {
  return parse_int(name.substr(0, 2));
}

std::string lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = ascii_lower(c);
  return s;
}

class SkinnedConverter {
 public:
  SkinnedConverter(Model& model, const ImportedScene& scene, float scale, StretchBoxTable& boxes,
                   UserNotifier& notifier)
      : model_(model), scene_(scene), scale_(scale), boxes_(boxes), log_(notifier) {}

  Result<ConversionReport> run();

 private:
  std::optional<Error> refusal();
  void classify_objects();
  void build_subobjects();
  void bind_vertices(SubObject& so, int index, const std::vector<int>& list);
  void find_parents();
  void build_nodes();
  void build_lights();
  void move_to_centre();
  void measure_radii();

  // The refusal names the scene and the line of the object at fault.
  Error refuse(const MaxObject* o, const std::string& what) const {
    const std::string where = scene_.name.empty() ? std::string("scene") : scene_.name;
    return Error{kConvertRefused, error_at(where, o != nullptr ? o->line : 0, what)};
  }

  Model& model_;
  const ImportedScene& scene_;
  float scale_;
  StretchBoxTable& boxes_;
  conv::ConversionLog log_;
  int highest_bone_ = 0;  // B
  int unnamed_srcmat_ = -1;
  conv::SubObjectLists lists_;
  std::vector<bool> bone_;  // per MAX object: a bone, whose geometry is dropped
  std::vector<int> bounding_, users_;
  std::optional<Row3> centre_node_;  // node position of "_01 Center"
};

// Scenes that cannot be converted at all are refused before anything is
// touched: bone or mesh numbers that would land beyond the sub-object lists.
std::optional<Error> SkinnedConverter::refusal() {
  highest_bone_ = 0;
  for (const MaxObject& o : scene_.objects) {
    if (o.bone > kMaxBoneNumber) {
      log_.logf("ERROR!  Bone number %ld of \"%s\" is beyond the last bone %ld: the scene cannot be converted!",
                static_cast<long>(o.bone), o.name.c_str(), static_cast<long>(kMaxBoneNumber));
      return refuse(&o, "bone number " + std::to_string(o.bone) + " of \"" + o.name.str() +
                            "\" is beyond the last bone " + std::to_string(kMaxBoneNumber));
    }
    highest_bone_ = std::max(highest_bone_, o.bone);
  }
  for (const MaxObject& o : scene_.objects) {
    const std::string_view name = o.name.view();
    if (!begins_with_digit(name)) continue;
    const int number = mesh_number(name) + highest_bone_ + 1;
    if (number > conv::kMaxListedSubObject) {
      log_.logf("ERROR!  \"%s\" would be subobject %ld, beyond the last subobject %ld: the scene cannot be converted!",
                o.name.c_str(), static_cast<long>(number), static_cast<long>(conv::kMaxListedSubObject));
      return refuse(&o, "\"" + o.name.str() + "\" would be sub-object " + std::to_string(number) +
                            ", beyond the last sub-object " + std::to_string(conv::kMaxListedSubObject));
    }
  }
  return std::nullopt;
}

void SkinnedConverter::classify_objects() {
  bone_.assign(scene_.objects.size(), false);
  for (std::size_t i = 0; i < scene_.objects.size(); ++i) {
    const MaxObject& o = scene_.objects[i];
    const std::string_view name = o.name.view();
    const bool digit = begins_with_digit(name);
    int number = 0;
    if (digit) {
      const int n = mesh_number(name);
      if (n < 1) {
        // "00 name" would share the last bone's sub-object and have no node.
        log_.error("ERROR!  Bad subobject number: \"%s\"", o.name.c_str());
        continue;
      }
      number = n + highest_bone_ + 1;
    } else if (o.bone >= 0) {
      number = o.bone + 1;
      bone_[i] = true;
    } else {
      if (name.empty()) continue;
      if (conv::is_bounding_name(name) && !istarts_with(name, "BN")) {
        bounding_.push_back(static_cast<int>(i));
      } else if (ascii_upper(name[0]) == 'U') {
        users_.push_back(static_cast<int>(i));
      } else if (iequals(name, "_01 Center")) {
        centre_node_ = o.rows[3];
      }
      continue;
    }
    lists_.add(number, static_cast<int>(i), log_);
  }
}

void SkinnedConverter::build_subobjects() {
  model_.subobjects.assign(static_cast<std::size_t>(lists_.count()), SubObject{});
  for (int n = 1; n <= lists_.count(); ++n) {
    SubObject& so = model_.subobjects[static_cast<std::size_t>(n - 1)];
    const std::vector<int>& list = lists_[n];
    conv::fill_subobject(so, n - 1, list, scene_, scale_, unnamed_srcmat_, bone_);
    bind_vertices(so, n - 1, list);
  }
}

// The four skin slots of every vertex appended from `list`. An empty slot
// (-1) takes the first slot's bone with weight 0, so a vertex never points
// at a bone it does not use; an empty first slot keeps -1 and weight 0.
void SkinnedConverter::bind_vertices(SubObject& so, int index, const std::vector<int>& list) {
  const int count = lists_.count();
  const auto names_bone = [&](int b) { return b == -1 || (b >= 0 && b < count); };
  std::size_t at = 0;
  for (int oi : list) {
    if (bone_[static_cast<std::size_t>(oi)]) continue;
    const MaxObject& o = scene_.objects[static_cast<std::size_t>(oi)];
    std::optional<int> bad_bone;
    for (std::size_t k = 0; k < o.verts.size(); ++k) {
      Vertex& v = so.verts[at + k];
      if (k >= o.weights.size()) {
        // Not skinned: the vertex follows its own sub-object, as a rigid one does.
        v.bones = {index, index, index, index};
        v.weights = {1.0f, 0.0f, 0.0f, 0.0f};
        continue;
      }
      const SkinWeight& w = o.weights[k];
      for (std::size_t s = 0; s < 4; ++s) {
        int bone = w.bones[s];
        float weight = w.weights[s];
        if (!names_bone(bone)) {
          if (!bad_bone) bad_bone = bone;
          bone = -1;
        }
        if (bone == -1) {
          bone = s == 0 ? -1 : v.bones[0];
          weight = 0.0f;
        }
        v.bones[s] = bone;
        v.weights[s] = weight;
      }
    }
    at += o.verts.size();
    if (bad_bone) {
      log_.logf("ERROR!  Skin weights of \"%s\" name bone %ld, which is no subobject!", o.name.c_str(),
                static_cast<long>(*bad_bone));
      log_.fail();
    }
  }
}

// A sub-object's parent is the first sub-object named as the node parent of
// its first MAX object. Names are compared in full (a sub-object keeps only
// 31 characters of its name); an empty name names nothing.
void SkinnedConverter::find_parents() {
  std::unordered_map<std::string, int> first_named;
  for (int n = 1; n <= lists_.count(); ++n) {
    const std::vector<int>& list = lists_[n];
    if (list.empty()) continue;
    first_named.emplace(lower(scene_.objects[static_cast<std::size_t>(list.back())].name.view()), n - 1);
  }
  for (int n = 2; n <= lists_.count(); ++n) {
    const std::vector<int>& list = lists_[n];
    if (list.empty()) continue;
    const std::string_view parent = scene_.objects[static_cast<std::size_t>(list.front())].parent.view();
    if (parent.empty()) continue;
    const auto found = first_named.find(lower(parent));
    if (found != first_named.end()) model_.subobjects[static_cast<std::size_t>(n - 1)].parent = found->second;
  }
}

// Centre and attachment point i: the node of bone i, or of mesh "NN" at
// NN - 1; a later object with the same index overwrites the record.
void SkinnedConverter::build_nodes() {
  const std::size_t count = static_cast<std::size_t>(lists_.count());
  model_.centers.assign(count, CenterPoint{});
  model_.attach.assign(count, AttachPoint{});
  for (const MaxObject& o : scene_.objects) {
    const std::string_view name = o.name.view();
    int index = -1;
    if (begins_with_digit(name)) {
      index = mesh_number(name) - 1;
    } else if (o.bone >= 0) {
      index = o.bone;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= count) continue;
    const conv::Position at = conv::scaled(o.rows[3], scale_);
    CenterPoint c;
    c.name = name;
    conv::place(c, at);
    c.rows = kUnrotated;
    model_.centers[static_cast<std::size_t>(index)] = c;
    AttachPoint a;
    a.name = c.name;
    conv::place(a, at);
    a.rows = kUnrotated;
    model_.attach[static_cast<std::size_t>(index)] = a;
  }
}

// Light "LPn" fills slot n - 1 when the scene has that many lights; slots
// in between stay cleared, and the count ends at the highest slot filled.
void SkinnedConverter::build_lights() {
  constexpr std::size_t kHighestNumber = 99;  // "LP" takes at most two digits
  const std::size_t slots = std::min(scene_.lights.size(), kHighestNumber);
  std::vector<ModelLight> lights(slots);
  std::size_t used = 0;
  for (const SceneLight& l : scene_.lights) {
    if (!istarts_with(l.name.view(), "LP")) continue;
    const int number = conv::light_number(l.name.view());
    if (number < 1 || static_cast<std::size_t>(number) > slots) continue;
    lights[static_cast<std::size_t>(number - 1)] = conv::make_light(l, number, scale_);
    used = std::max(used, static_cast<std::size_t>(number));
  }
  lights.resize(used);
  model_.lights = std::move(lights);
}

void SkinnedConverter::move_to_centre() {
  if (model_.centers.empty()) return;  // no sub-objects: nothing to move
  CenterPoint& centre = model_.centers[0];
  if (centre_node_) {
    conv::place(centre, conv::scaled(*centre_node_, scale_));
  } else {
    centre = CenterPoint{};
    double sx = 0, sy = 0;
    std::size_t n = 0;
    float lowest = kCentreStartZ;
    for (const SubObject& so : model_.subobjects) {
      for (const Vertex& v : so.verts) {
        sx += v.x;
        sy += v.y;
        lowest = std::min(lowest, v.z);
        ++n;
      }
    }
    if (n > 0) {
      centre.x = static_cast<float>(sx / static_cast<double>(n));
      centre.y = static_cast<float>(sy / static_cast<double>(n));
    }
    centre.z = lowest;
  }
  for (std::size_t r = 0; r < 3; ++r) centre.rows[r] = kUnrotated[r];

  const float dx = centre.x, dy = centre.y, dz = centre.z;
  const auto move = [&](auto& p) {
    p.x -= dx;
    p.y -= dy;
    p.z -= dz;
  };
  for (SubObject& so : model_.subobjects) {
    for (Vertex& v : so.verts) move(v);
  }
  for (UserPoint& u : model_.userpts) move(u);
  for (CenterPoint& c : model_.centers) move(c);
  for (AttachPoint& a : model_.attach) move(a);
  // Collision volumes and lights belong to the same model and move with it;
  // left behind they would sit off the model by the centre's offset.
  for (BoundingObject& b : model_.bobj) {
    b.cx -= dx;
    b.cy -= dy;
    b.cz -= dz;
    b.min_x -= dx;
    b.max_x -= dx;
    b.min_y -= dy;
    b.max_y -= dy;
    b.min_z -= dz;
    b.max_z -= dz;
    for (Vertex& v : b.verts) move(v);
    for (Face& f : b.faces) conv::compute_plane(f, b.verts);
  }
  for (ModelLight& l : model_.lights) move(l);
}

void SkinnedConverter::measure_radii() {
  float r2 = 0, h2 = 0;
  for (const SubObject& so : model_.subobjects) {
    for (const Vertex& v : so.verts) {
      const float flat = v.x * v.x + v.y * v.y;
      h2 = std::max(h2, flat);
      r2 = std::max(r2, flat + v.z * v.z);
    }
  }
  model_.bounding_radius = std::sqrt(r2);
  model_.horizontal_radius = std::sqrt(h2);
  model_.height = 0;
}

Result<ConversionReport> SkinnedConverter::run() {
  log_.line("Converting to internal format...");
  if (std::optional<Error> refused = refusal()) return *refused;
  boxes_.boxes.clear();
  classify_objects();
  lists_.log(log_, conv::SubObjectLists::Unanimated::kQuiet,
             "ERROR!  No bone and no numbered MAX object (\"01 name\") in the scene: the model has no sub-objects!");
  unnamed_srcmat_ = conv::copy_source_materials(model_, scene_);
  build_subobjects();
  find_parents();
  build_nodes();
  conv::build_bounding_objects(model_, scene_, bounding_, scale_, unnamed_srcmat_, log_);
  exchange_sort(model_.bobj, [](const BoundingObject& a, const BoundingObject& b) { return a.subobj > b.subobj; });
  conv::build_user_points(model_, scene_, users_, scale_, conv::UserPointRows::kNormalised, log_);
  build_lights();
  move_to_centre();
  measure_radii();
  // The face planes are taken once the model stands at its centre.
  for (SubObject& so : model_.subobjects) conv::compute_planes(so);
  return conv::finish_conversion(model_, scene_, lists_.count(), log_);
}

}  // namespace

Result<ConversionReport> convert_skinned_scene(Model& model, const ImportedScene& scene, float scale,
                                               StretchBoxTable& stretch_boxes, UserNotifier& notifier) {
  SkinnedConverter converter(model, scene, scale, stretch_boxes, notifier);
  return converter.run();
}

}  // namespace orvo
