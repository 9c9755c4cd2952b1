#include "orvo/import/convert.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "convert_common.h"
#include "orvo/model/base.h"

namespace orvo {

namespace conv {

void ConversionLog::logf(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  notifier_.log(text);
}

void ConversionLog::error(const char* format, const char* name) {
  logf(format, name);
  failed_ = true;
}

void SubObjectLists::add(int number, int object, ConversionLog& log) {
  std::vector<int>& list = lists_[static_cast<std::size_t>(number)];
  if (static_cast<int>(list.size()) + 1 >= kListCapacity) {
    log.logf("ERROR!  Exceeded maximum MAX objects for subobject %ld!", static_cast<long>(number));
    log.fail();
    return;
  }
  list.push_back(object);
  count_ = std::max(count_, number);
}

void SubObjectLists::log(ConversionLog& log, Unanimated unanimated, const char* none) const {
  for (int n = 1; n <= count_; ++n) {
    const std::vector<int>& list = (*this)[n];
    if (list.empty()) {
      log.logf("SubObject %02ld:    ERROR!  No MAX object exists!", static_cast<long>(n));
      log.fail();
    } else {
      log.logf("SubObject %02ld:    %ld MAX objects", static_cast<long>(n), static_cast<long>(list.size()));
    }
    if (unanimated == Unanimated::kWarn && n > kMaxPartAnims) {
      log.logf("WARNING!  SubObject %02ld has no part animation record (at most %ld are animated)",
               static_cast<long>(n), static_cast<long>(kMaxPartAnims));
    }
  }
  if (count_ == 0) {
    log.line(none);
    log.fail();
  }
}

Position scaled_average(const MaxObject& o, float scale) {
  double x = 0, y = 0, z = 0;
  if (!o.verts.empty()) {
    for (const Vec3& v : o.verts) {
      x += v.x;
      y += v.y;
      z += v.z;
    }
    const double n = static_cast<double>(o.verts.size());
    x /= n;
    y /= n;
    z /= n;
  }
  return {static_cast<float>(x) * scale, static_cast<float>(y) * scale, static_cast<float>(z) * scale};
}

Row3 normalised(Row3 r) {
  const float len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
  if (len > 0.0f) {
    r.x /= len;
    r.y /= len;
    r.z /= len;
  }
  return r;
}

namespace {

Face face_from(const SceneFace& sf, int vert_offset, int tvert_offset, int srcmat, int max_object) {
  Face f;
  f.srcmat = srcmat;
  f.smoothing = sf.smoothing;
  for (std::size_t k = 0; k < 4; ++k) {
    f.v[k] = sf.v[k] + vert_offset;
    f.t[k] = sf.t[k] + tvert_offset;
    f.edge[k] = sf.edge[k];
  }
  f.max_object = max_object;
  return f;
}

int srcmat_of(const SceneFace& f, int unnamed_srcmat) {
  return f.flat_material >= 0 ? f.flat_material : unnamed_srcmat;
}

int bounding_type(char c0, char c1) {
  switch (c0) {
    case 'B': return c1 == 'B' ? 8 : 0;
    case 'C':
      switch (c1) {
        case 'A': return 6;
        case 'B': return 1;
        case 'C': return 3;
        case 'D': return 9;
        case 'E': return 7;
        case 'L': return 4;
        case 'P': return 19;
        case 'S': return 2;
        case 'T': return 10;
        case 'V': return 5;
        default: return 0;
      }
    case 'D':
      switch (c1) {
        case 'H': return 16;
        case 'M': return 17;
        case 'L': return 18;
        default: return 0;
      }
    case 'L': return c1 == 'P' ? 14 : 0;
    case 'O':
      switch (c1) {
        case 'B': return 20;
        case 'S': return 21;
        case 'P': return 22;
        case 'H': return 23;
        default: return 0;
      }
    default: return 0;
  }
}

}  // namespace

void compute_plane(Face& f, const std::vector<Vertex>& verts) {
  const auto at = [&](int i) -> const Vertex* {
    return i >= 0 && static_cast<std::size_t>(i) < verts.size() ? &verts[static_cast<std::size_t>(i)] : nullptr;
  };
  const Vertex* a = at(f.v[0]);
  const Vertex* b = at(f.v[1]);
  const Vertex* c = at(f.v[2]);
  if (a == nullptr || b == nullptr || c == nullptr) return;
  const double ux = b->x - a->x, uy = b->y - a->y, uz = b->z - a->z;
  const double vx = c->x - a->x, vy = c->y - a->y, vz = c->z - a->z;
  double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (len <= 0.0) return;
  nx /= len;
  ny /= len;
  nz /= len;
  f.nx = static_cast<float>(nx);
  f.ny = static_cast<float>(ny);
  f.nz = static_cast<float>(nz);
  f.d = static_cast<float>(-(nx * a->x + ny * a->y + nz * a->z));
}

void compute_planes(SubObject& so) {
  for (Face& f : so.faces) compute_plane(f, so.verts);
}

int copy_source_materials(Model& model, const ImportedScene& scene) {
  model.srcmat.clear();
  model.srcmat.reserve(scene.materials.size() + 1);
  for (const SceneMaterial& m : scene.materials) {
    SourceMaterial s;
    s.name = m.name.view();
    s.layer_flags = m.flags & kSceneMaterialSecondLayer;
    s.flags = m.flags & kSceneMaterialTwoSided;
    for (std::size_t l = 0; l < 2; ++l) {
      s.colour_texture[l] = m.diffuse[l].view();
      s.opacity_texture[l] = m.opacity[l].view();
      s.u_offset[l] = m.u_offset[l];
      s.v_offset[l] = m.v_offset[l];
      s.u_tiling[l] = m.u_tiling[l];
      s.v_tiling[l] = m.v_tiling[l];
    }
    model.srcmat.push_back(s);
  }
  // Faces whose object names no existing material share one unnamed source
  // material, so every face's source index is valid.
  bool any_unresolved = false;
  for (const MaxObject& o : scene.objects) {
    for (const SceneFace& f : o.faces) any_unresolved = any_unresolved || f.flat_material < 0;
  }
  if (!any_unresolved) return -1;
  model.srcmat.push_back(SourceMaterial{});
  return static_cast<int>(model.srcmat.size()) - 1;
}

void fill_subobject(SubObject& so, int index, const std::vector<int>& list, const ImportedScene& scene, float scale,
                    int unnamed_srcmat, const std::vector<bool>& geometry_dropped) {
  const auto dropped = [&](int oi) {
    return static_cast<std::size_t>(oi) < geometry_dropped.size() && geometry_dropped[static_cast<std::size_t>(oi)];
  };
  std::size_t nv = 0, nt = 0, nf = 0;
  bool colours = false;
  for (int oi : list) {
    if (dropped(oi)) continue;
    const MaxObject& o = scene.objects[static_cast<std::size_t>(oi)];
    nv += o.verts.size();
    nt += o.tverts.size();
    nf += o.faces.size();
    colours = colours || o.num_cvfaces > 0;
  }
  so.verts.reserve(nv);
  so.tverts.reserve(nt);
  so.faces.reserve(nf);
  if (colours) so.facecolors.reserve(nf);
  for (int oi : list) {
    const MaxObject& o = scene.objects[static_cast<std::size_t>(oi)];
    so.name = o.name.view();
    if (dropped(oi)) continue;
    const int vert_offset = static_cast<int>(so.verts.size());
    const int tvert_offset = static_cast<int>(so.tverts.size());
    for (const Vec3& p : o.verts) {
      Vertex v;
      v.x = p.x * scale;
      v.y = p.y * scale;
      v.z = p.z * scale;
      v.subobj = index;
      v.subobj2 = index;
      so.verts.push_back(v);
    }
    for (const Vec3& p : o.tverts) so.tverts.push_back({p.x, 1.0f - p.y});
    const bool has_colours = o.has_colours();
    for (const SceneFace& sf : o.faces) {
      so.faces.push_back(face_from(sf, vert_offset, tvert_offset, srcmat_of(sf, unnamed_srcmat), oi));
      if (!colours) continue;
      FaceColor fc;
      if (has_colours) {
        // Colour indices were checked against the list when read.
        for (std::size_t k = 0; k < 3; ++k) fc.c[k] = o.cverts[static_cast<std::size_t>(sf.c[k])];
      } else {
        fc.c = {kNoFaceColour, 0, 0};
      }
      so.facecolors.push_back(fc);
    }
  }
}

bool is_bounding_name(std::string_view name) {
  if (name.size() < 2) return false;
  const char c0 = ascii_upper(name[0]);
  return (c0 == 'C' || c0 == 'B' || c0 == 'L' || c0 == 'D' || c0 == 'O') && is_letter(name[1]) &&
         !istarts_with(name, "Bip");
}

namespace {

std::optional<BoundingObject> make_bounding_object(const MaxObject& o, int oi, float scale, int unnamed_srcmat,
                                                   ConversionLog& log) {
  const std::string_view name = o.name.view();
  if (name.size() < 2) {
    log.error("ERROR! Bad collision box: %s", o.name.c_str());
    return std::nullopt;
  }
  BoundingObject b;
  b.name = name;
  const char c0 = ascii_upper(name[0]);
  const char c1 = ascii_upper(name[1]);
  b.type = bounding_type(c0, c1);
  std::size_t pos = 2;
  if (c0 == 'B' && c1 == 'B') {
    // Flag letters clear one bit each; the first digit ends them.
    b.flags = 62;
    for (; pos < name.size() && !is_digit(name[pos]); ++pos) {
      switch (ascii_upper(name[pos])) {
        case 'L': b.flags &= ~16; break;
        case 'O': b.flags &= ~32; break;
        case 'S': b.flags &= ~4; break;
        case 'V': b.flags &= ~2; break;
        case 'W': b.flags &= ~8; break;
        default: break;
      }
    }
  }
  const int number = two_digits(name, pos);
  if (number < 1) {
    log.error("ERROR! Bad collision box: %s", o.name.c_str());
    return std::nullopt;
  }
  b.subobj = number - 1;
  if (c0 == 'O' && c1 == 'P' && pos + 2 < name.size() && name[pos + 2] == '-') {
    const int second = two_digits(name, pos + 3);
    if (second < 1) {
      log.error("ERROR! Bad OP box: %s", o.name.c_str());
      return std::nullopt;
    }
    b.subobj2 = second - 1;
  }

  b.verts.reserve(o.verts.size());
  for (const Vec3& p : o.verts) {
    Vertex v;
    v.x = p.x * scale;
    v.y = p.y * scale;
    v.z = p.z * scale;
    v.subobj = v.subobj2 = b.subobj;
    b.verts.push_back(v);
  }
  b.faces.reserve(o.faces.size());
  for (const SceneFace& sf : o.faces) {
    b.faces.push_back(face_from(sf, 0, 0, srcmat_of(sf, unnamed_srcmat), oi));
    compute_plane(b.faces.back(), b.verts);
  }
  if (!b.verts.empty()) {
    double sx = 0, sy = 0, sz = 0;
    b.min_x = b.max_x = b.verts[0].x;
    b.min_y = b.max_y = b.verts[0].y;
    b.min_z = b.max_z = b.verts[0].z;
    for (const Vertex& v : b.verts) {
      sx += v.x;
      sy += v.y;
      sz += v.z;
      b.min_x = std::min(b.min_x, v.x);
      b.min_y = std::min(b.min_y, v.y);
      b.min_z = std::min(b.min_z, v.z);
      b.max_x = std::max(b.max_x, v.x);
      b.max_y = std::max(b.max_y, v.y);
      b.max_z = std::max(b.max_z, v.z);
    }
    const double n = static_cast<double>(b.verts.size());
    b.cx = static_cast<float>(sx / n);
    b.cy = static_cast<float>(sy / n);
    b.cz = static_cast<float>(sz / n);
    float r2 = 0;
    for (const Vertex& v : b.verts) {
      const float dx = v.x - b.cx, dy = v.y - b.cy, dz = v.z - b.cz;
      r2 = std::max(r2, dx * dx + dy * dy + dz * dz);
    }
    b.radius = std::sqrt(r2);
    b.size_x = b.max_x - b.min_x;
    b.size_y = b.max_y - b.min_y;
    b.size_z = b.max_z - b.min_z;
  }
  b.items = 6;  // the six planes of its box
  return b;
}

}  // namespace

void build_bounding_objects(Model& model, const ImportedScene& scene, const std::vector<int>& objects, float scale,
                            int unnamed_srcmat, ConversionLog& log) {
  model.bobj.clear();
  model.bobj.reserve(objects.size());
  for (int oi : objects) {
    std::optional<BoundingObject> b =
        make_bounding_object(scene.objects[static_cast<std::size_t>(oi)], oi, scale, unnamed_srcmat, log);
    if (b) model.bobj.push_back(std::move(*b));
  }
}

namespace {

std::optional<UserPoint> make_user_point(const MaxObject& o, float scale, ConversionLog& log) {
  const std::string_view name = o.name.view();
  const int number = two_digits(name, 3);
  if (name.size() < 3 || number < 1) {
    log.error("ERROR!  Bad user point: \"%s\"", o.name.c_str());
    return std::nullopt;
  }
  UserPoint u;
  const std::size_t blank = name.find(' ');
  u.name = blank == std::string_view::npos ? std::string_view("Noname") : name.substr(blank + 1);
  u.kind = static_cast<unsigned char>(ascii_upper(name[2]));
  u.subobj = number - 1;
  place(u, scaled_average(o, scale));
  u.rows = o.rows;
  return u;
}

}  // namespace

void build_user_points(Model& model, const ImportedScene& scene, const std::vector<int>& objects, float scale,
                       UserPointRows rows, ConversionLog& log) {
  model.userpts.clear();
  model.userpts.reserve(objects.size());
  for (int oi : objects) {
    const MaxObject& o = scene.objects[static_cast<std::size_t>(oi)];
    if (!istarts_with(o.name.view(), "UP")) continue;
    std::optional<UserPoint> u = make_user_point(o, scale, log);
    if (!u) continue;
    if (rows == UserPointRows::kNormalised) {
      for (std::size_t r = 0; r < 3; ++r) u->rows[r] = normalised(u->rows[r]);
    }
    model.userpts.push_back(*u);
  }
  exchange_sort(model.userpts, [](const UserPoint& a, const UserPoint& b) { return a.subobj < b.subobj; });
}

int light_number(std::string_view name) {
  if (name.size() <= 2 || !is_digit(name[2])) return -1;
  int number = name[2] - '0';
  if (name.size() > 3 && is_digit(name[3])) number = number * 10 + (name[3] - '0');
  return number;
}

ModelLight make_light(const SceneLight& l, int number, float scale) {
  ModelLight m;
  m.name = l.name.view();
  m.subobj = number - 1;
  m.x = l.x * scale;
  m.y = l.y * scale;
  m.z = l.z * scale;
  m.r = l.r;
  m.g = l.g;
  m.b = l.b;
  m.intensity = l.intensity;
  m.atten_start = l.atten_start * scale;
  m.atten_end = l.atten_end * scale;
  return m;
}

namespace {

void assign_materials(Model& model, UserNotifier& notifier) {
  for (ModelMaterial& m : model.materials) m.assigned = 0;
  // add-material gives the same answer for every face of one source material
  // within a run (the first call marks the material assigned), so each
  // source material is looked up once per run.
  const std::size_t ns = model.srcmat.size();
  std::vector<int> first_run(ns, -1);
  for (SubObject& so : model.subobjects) {
    for (Face& f : so.faces) {
      int& known = first_run[static_cast<std::size_t>(f.srcmat)];
      if (known >= 0) continue;
      const SourceMaterial& s = model.srcmat[static_cast<std::size_t>(f.srcmat)];
      known = model_AddMaterial(model, s.colour_texture[0].view(), &f, 0, 2, 0, notifier);
    }
  }
  std::vector<int> second_run(ns, -1);
  for (SubObject& so : model.subobjects) {
    for (Face& f : so.faces) {
      int& known = second_run[static_cast<std::size_t>(f.srcmat)];
      if (known < 0) {
        const SourceMaterial& s = model.srcmat[static_cast<std::size_t>(f.srcmat)];
        known = model_AddMaterial(model, s.colour_texture[0].view(), &f, 0, 0, 0, notifier);
      }
      f.material = known;
    }
  }
  for (ModelMaterial& m : model.materials) m.runtime.reset_bounds();
}

void count_bounding_objects(Model& model) {
  model.total_bobj_items = 0;
  const int nsub = model.num_subobjects();
  for (const BoundingObject& b : model.bobj) {
    model.total_bobj_items += b.items;
    if (bounding_type_is_occluder(b.type)) continue;
    if (b.subobj >= 0 && b.subobj < nsub) ++model.subobjects[static_cast<std::size_t>(b.subobj)].num_bobj;
  }
}

}  // namespace

ConversionReport finish_conversion(Model& model, const ImportedScene& scene, int listed_subobjects,
                                   ConversionLog& log) {
  assign_materials(model, log.notifier());
  count_bounding_objects(model);
  model.attributes = (model.attributes & ~kModelFromAse) | ((scene.origin & 1) != 0 ? kModelFromAse : 0);
  log.line("");
  log.line("Done");
  ConversionReport report;
  report.errors = log.failed();
  report.listed_subobjects = listed_subobjects;
  return report;
}

}  // namespace conv

namespace {

using conv::exchange_sort;
using conv::is_digit;
using conv::two_digits;

constexpr int kMaxSubObjectNumber = 99;

enum class Kind { kIgnored, kCentre, kAttach, kStretch, kGeometry, kBounding, kUser };

Kind classify(std::string_view name) {
  if (name.empty()) return Kind::kIgnored;
  const char c0 = ascii_upper(name[0]);
  const char c1 = name.size() > 1 ? ascii_upper(name[1]) : '\0';
  switch (c0) {
    case '_': return Kind::kCentre;
    case '~': return Kind::kAttach;
    case '#': return Kind::kStretch;
    case '!': return Kind::kIgnored;
    default: break;
  }
  if (is_digit(c0)) return Kind::kGeometry;
  if (conv::is_bounding_name(name)) return Kind::kBounding;
  if (c0 == 'U') return c1 == 'P' ? Kind::kUser : Kind::kIgnored;
  return Kind::kIgnored;
}

class Converter {
 public:
  Converter(Model& model, const ImportedScene& scene, float scale, StretchBoxTable& boxes, UserNotifier& notifier)
      : model_(model), scene_(scene), scale_(scale), boxes_(boxes), log_(notifier) {}

  ConversionReport run();

 private:
  void classify_objects();
  void build_subobjects();
  void build_attach_points();
  void build_centre_points();
  void build_stretch_boxes();
  void build_lights();
  void apply_stretch_boxes();
  void find_parents();

  Model& model_;
  const ImportedScene& scene_;
  float scale_;
  StretchBoxTable& boxes_;
  conv::ConversionLog log_;
  int unnamed_srcmat_ = -1;
  conv::SubObjectLists lists_;
  std::vector<int> centres_, attach_, stretch_, bounding_, users_;
};

void Converter::classify_objects() {
  long num_centre = 0, num_attach = 0, num_stretch = 0;
  for (std::size_t i = 0; i < scene_.objects.size(); ++i) {
    const std::string_view name = scene_.objects[i].name.view();
    const int index = static_cast<int>(i);
    switch (classify(name)) {
      case Kind::kCentre:
        centres_.push_back(index);
        ++num_centre;
        break;
      case Kind::kAttach:
        attach_.push_back(index);
        ++num_attach;
        break;
      case Kind::kStretch:
        stretch_.push_back(index);
        ++num_stretch;
        break;
      case Kind::kGeometry: {
        const int n = parse_int(name.substr(0, 2));
        if (n < 1 || n > kMaxSubObjectNumber) {
          log_.error("ERROR!  Bad subobject number: \"%s\"", scene_.objects[i].name.c_str());
          break;
        }
        lists_.add(n, index, log_);
        break;
      }
      case Kind::kBounding: bounding_.push_back(index); break;
      case Kind::kUser: users_.push_back(index); break;
      case Kind::kIgnored: break;
    }
  }
  log_.logf("Num Center Points: %ld", num_centre);
  log_.logf("Num Attach Points: %ld", num_attach);
  log_.logf("Num Stretch Boxes: %ld", num_stretch);
  lists_.log(log_, conv::SubObjectLists::Unanimated::kWarn,
             "ERROR!  No numbered MAX object (\"01 name\") in the scene: the model has no sub-objects!");
}

void Converter::build_subobjects() {
  model_.subobjects.assign(static_cast<std::size_t>(lists_.count()), SubObject{});
  for (int n = 1; n <= lists_.count(); ++n) {
    SubObject& so = model_.subobjects[static_cast<std::size_t>(n - 1)];
    conv::fill_subobject(so, n - 1, lists_[n], scene_, scale_, unnamed_srcmat_, {});
    conv::compute_planes(so);
  }
}

void Converter::build_attach_points() {
  model_.attach = conv::markers_at_averages<AttachPoint>(scene_, attach_, scale_);
  exchange_sort(model_.attach,
                [](const AttachPoint& a, const AttachPoint& b) { return icompare(a.name.view(), b.name.view()) > 0; });
}

void Converter::build_centre_points() {
  model_.centers = conv::markers_at_averages<CenterPoint>(scene_, centres_, scale_);
  for (std::size_t i = 0; i < centres_.size(); ++i) {
    CenterPoint& c = model_.centers[i];
    c.rows = scene_.objects[static_cast<std::size_t>(centres_[i])].rows;
    for (std::size_t r = 0; r < 3; ++r) c.rows[r] = conv::normalised(c.rows[r]);
  }
  exchange_sort(model_.centers, [](const CenterPoint& a, const CenterPoint& b) {
    return bytecompare(a.name.view(), b.name.view()) > 0;
  });
}

void Converter::build_stretch_boxes() {
  boxes_.boxes.clear();
  for (int oi : stretch_) {
    const MaxObject& o = scene_.objects[static_cast<std::size_t>(oi)];
    if (o.verts.empty()) continue;
    const std::string_view name = o.name.view();
    if (static_cast<int>(boxes_.boxes.size()) >= StretchBoxTable::kCapacity) {
      log_.logf("ERROR!  More than %ld stretch boxes: \"%s\" and the ones after it are refused!",
                static_cast<long>(StretchBoxTable::kCapacity), o.name.c_str());
      log_.fail();
      break;
    }
    const int first = two_digits(name, 1);
    if (first < 1) {
      log_.error("ERROR!  Bad stretch box: \"%s\"", o.name.c_str());
      continue;
    }
    StretchBox box;
    box.subobj = first - 1;
    box.subobj2 = box.subobj;
    if (name.size() > 3 && name[3] == '#') {
      const int second = two_digits(name, 4);
      if (second < 1) {
        log_.error("ERROR!  Bad stretch box: \"%s\"", o.name.c_str());
        continue;
      }
      box.subobj2 = second - 1;
      box.two_index = 1;
    }
    box.min_x = box.max_x = o.verts[0].x;
    box.min_y = box.max_y = o.verts[0].y;
    box.min_z = box.max_z = o.verts[0].z;
    for (const Vec3& v : o.verts) {
      box.min_x = std::min(box.min_x, v.x);
      box.min_y = std::min(box.min_y, v.y);
      box.min_z = std::min(box.min_z, v.z);
      box.max_x = std::max(box.max_x, v.x);
      box.max_y = std::max(box.max_y, v.y);
      box.max_z = std::max(box.max_z, v.z);
    }
    box.min_x *= scale_;
    box.min_y *= scale_;
    box.min_z *= scale_;
    box.max_x *= scale_;
    box.max_y *= scale_;
    box.max_z *= scale_;
    if (scale_ < 0) {
      std::swap(box.min_x, box.max_x);
      std::swap(box.min_y, box.max_y);
      std::swap(box.min_z, box.max_z);
    }
    boxes_.boxes.push_back(box);
  }
}

void Converter::build_lights() {
  model_.lights.clear();
  for (const SceneLight& l : scene_.lights) {
    const std::string_view name = l.name.view();
    if (!istarts_with(name, "LP")) continue;
    const int number = conv::light_number(name);
    if (number < 1) {
      log_.error("ERROR!  Bad light: \"%s\"", l.name.c_str());
      continue;
    }
    model_.lights.push_back(conv::make_light(l, number, scale_));
  }
  exchange_sort(model_.lights,
                [](const ModelLight& a, const ModelLight& b) { return bytecompare(a.name.view(), b.name.view()) > 0; });
}

void Converter::apply_stretch_boxes() {
  if (boxes_.boxes.empty()) return;
  bool caught_any = false;
  for (SubObject& so : model_.subobjects) {
    bool caught = false;
    for (Vertex& v : so.verts) {
      for (const StretchBox& b : boxes_.boxes) {
        if (v.x >= b.min_x && v.x <= b.max_x && v.y >= b.min_y && v.y <= b.max_y && v.z >= b.min_z && v.z <= b.max_z) {
          v.subobj = b.subobj;
          v.subobj2 = b.subobj2;
          v.stretch = 1;
          caught = true;
        }
      }
    }
    if (caught) {
      so.flags |= 1;
      caught_any = true;
    }
  }
  if (caught_any) model_.attributes |= kModelStretched;
}

void Converter::find_parents() {
  if (model_.attach.empty()) return;  // without attachment points every parent stays 0
  const int nsub = lists_.count();
  const int ncent = static_cast<int>(model_.centers.size());
  for (int i = 1; i < nsub && i < ncent; ++i) {
    const CenterPoint& c = model_.centers[static_cast<std::size_t>(i)];
    std::size_t nearest = 0;
    float best = 1000.0f;
    for (std::size_t a = 0; a < model_.attach.size(); ++a) {
      const AttachPoint& p = model_.attach[a];
      const float dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
      const float dist = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (dist < best) {
        best = dist;
        nearest = a;
      }
    }
    const AttachPoint& p = model_.attach[nearest];
    const int number = two_digits(p.name.view(), 1);
    if (number < 1 || number > nsub) {
      log_.error("ERROR!  Bad attach point: \"%s\"", p.name.c_str());
      continue;
    }
    model_.subobjects[static_cast<std::size_t>(i)].parent = number - 1;
  }
}

ConversionReport Converter::run() {
  log_.line("Converting to internal format...");
  for (const MaxObject& o : scene_.objects) {
    if (o.name.size() > static_cast<std::size_t>(kMaxMaxObjectNameLength)) {
      log_.logf("ERROR!  Exceeded maximum name length for MAX object!");
      log_.logf("----> \"%s\"", o.name.c_str());
      log_.fail();
    }
  }
  classify_objects();
  unnamed_srcmat_ = conv::copy_source_materials(model_, scene_);
  build_subobjects();
  build_attach_points();
  conv::build_bounding_objects(model_, scene_, bounding_, scale_, unnamed_srcmat_, log_);
  build_centre_points();
  build_stretch_boxes();
  conv::build_user_points(model_, scene_, users_, scale_, conv::UserPointRows::kAsStored, log_);
  build_lights();
  apply_stretch_boxes();
  find_parents();
  return conv::finish_conversion(model_, scene_, lists_.count(), log_);
}

}  // namespace

Result<ConversionReport> convert_scene(Model& model, const ImportedScene& scene, float scale,
                                       StretchBoxTable& stretch_boxes, UserNotifier& notifier) {
  if (scene.skinned) return convert_skinned_scene(model, scene, scale, stretch_boxes, notifier);
  Converter converter(model, scene, scale, stretch_boxes, notifier);
  return converter.run();
}

}  // namespace orvo
