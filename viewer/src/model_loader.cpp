#include "orvo/viewer/model_loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>

#include "orvo/model/generators.h"
#include "tools/base/text.h"

namespace orvo {

using namespace file3di;

namespace {

// Hands out the records of one pool block: first without a block, to learn
// the size, then over the block. Records are value-initialised (zeroed
// padding, so byte sums and dumps are stable).
class Carver {
 public:
  explicit Carver(std::byte* base = nullptr) : base_(base) {}

  template <class T>
  T* take(std::size_t n) {
    static_assert(std::is_trivially_destructible_v<T>);
    offset_ = (offset_ + alignof(T) - 1) / alignof(T) * alignof(T);
    T* p = nullptr;
    if (base_ != nullptr) {
      p = reinterpret_cast<T*>(base_ + offset_);
      std::uninitialized_value_construct_n(p, n);
    }
    offset_ += n * sizeof(T);
    return p;
  }
  std::size_t size() const { return offset_; }

 private:
  std::byte* base_;
  std::size_t offset_ = 0;
};

template <class T>
std::span<T> view(T* p, std::size_t n) {
  return n == 0 ? std::span<T>() : std::span<T>(p, n);
}

uint32_t pack_rgb(const std::array<uint8_t, 12>& colours, int set) {
  const std::size_t at = static_cast<std::size_t>(set) * 3;
  return 0xFF000000u | uint32_t{colours[at]} << 16 | uint32_t{colours[at + 1]} << 8 | colours[at + 2];
}

float distance(const Vec3f& a, const Vec3f& b, int skip_axis) {
  double sum = 0;
  for (int k = 0; k < 3; ++k) {
    if (k == skip_axis) continue;
    const double d = double{a[static_cast<std::size_t>(k)]} - b[static_cast<std::size_t>(k)];
    sum += d * d;
  }
  return static_cast<float>(std::sqrt(sum));
}

std::string printf_line(const char* format, std::string_view a) {
  char line[256];
  const int n = std::snprintf(line, sizeof line, format, static_cast<int>(a.size()), a.data());
  return std::string(line, n > 0 ? std::min(static_cast<std::size_t>(n), sizeof line - 1) : 0);
}

// Builds the pool sections of one model from its decoded file.
class Builder {
 public:
  Builder(render::Model& m, const File3di& f, MemoryPool& pool, const RenderCapabilities& caps, int texture_set)
      : m_(m), f_(f), pool_(pool), caps_(caps), set_(texture_set) {}

  // Empty on success, else the log line's text.
  std::string run() {
    textures();
    if (!collision() || !vertices()) return error_;
    for (std::size_t i = 0; i < f_.lods.size(); ++i) {
      if (!lod(f_.lods[i], i)) return error_;
    }
    if (!ctrl_regs() || !matrices() || !lightinfo() || !vstream() || !occluders()) return error_;
    resolve_registers();
    choose_variants();
    return {};
  }

 private:
  std::byte* block(std::size_t size, const char* tag, const char* section) {
    void* p = pool_.allocate(static_cast<std::int64_t>(size), 16, tag);
    if (p == nullptr) {
      error_ = std::string("the memory pool cannot take ") + section + " (" + std::to_string(size) + " bytes)";
      return nullptr;
    }
    m_.blocks.push_back(p);
    return static_cast<std::byte*>(p);
  }

  template <class Carve>
  bool section(const char* tag, const char* name, Carve&& carve) {
    Carver measure;
    carve(measure);
    std::byte* b = block(measure.size(), tag, name);
    if (b == nullptr) return false;
    Carver real(b);
    carve(real);
    return true;
  }

  void textures() {
    m_.textures.resize(f_.textures.size());
    for (std::size_t i = 0; i < f_.textures.size(); ++i) {
      m_.textures[i].record = f_.textures[i];
      m_.textures[i].index = static_cast<uint16_t>(i);
    }
    m_.user_points = f_.user_points;
  }

  bool collision() {
    const CModel& c = f_.collision;
    std::size_t n[7] = {0, 0, 0, c.parts.size(), c.points.size(), 0, 0};  // A..G
    for (const CollisionPart& p : c.parts) {
      n[0] += p.vertices.size();
      n[1] += p.normals.size();
      n[2] += p.faces.size();
      n[6] += p.volumes.size();
      for (const CollisionVolume& v : p.volumes) n[5] += v.planes.size();
    }
    render::CModel* cm = nullptr;
    CollisionVertex* verts = nullptr;
    CollisionNormal* normals = nullptr;
    CollisionFace* faces = nullptr;
    render::CollisionPart* parts = nullptr;
    Vec3i* points = nullptr;
    VolumePlane* planes = nullptr;
    render::CollisionVolume* volumes = nullptr;
    const bool ok = section("GPM CModel", "the collision model", [&](Carver& k) {
      cm = k.take<render::CModel>(1);
      verts = k.take<CollisionVertex>(n[0]);
      normals = k.take<CollisionNormal>(n[1]);
      faces = k.take<CollisionFace>(n[2]);
      parts = k.take<render::CollisionPart>(n[3]);
      points = k.take<Vec3i>(n[4]);
      planes = k.take<VolumePlane>(n[5]);
      volumes = k.take<render::CollisionVolume>(n[6]);
    });
    if (!ok) return false;

    cm->skinned = c.skinned;
    cm->radius = c.radius;
    cm->horizontal_radius = c.horizontal_radius;
    cm->height = c.height;
    cm->box = c.box;
    std::copy(c.points.begin(), c.points.end(), points);
    // Each part's arrays follow the previous part's (running sums of the
    // per-part counts), and so do each volume's planes.
    std::size_t next[4] = {}, next_plane = 0;
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      const CollisionPart& src = c.parts[i];
      render::CollisionPart& p = parts[i];
      p.flags = src.flags;
      p.parent = src.parent;
      p.pivot = src.pivot;
      p.box = src.box;
      p.centre = src.centre;
      p.radius = src.radius;
      p.horizontal_radius = src.horizontal_radius;
      p.height = src.height;
      std::copy(src.vertices.begin(), src.vertices.end(), verts + next[0]);
      std::copy(src.normals.begin(), src.normals.end(), normals + next[1]);
      std::copy(src.faces.begin(), src.faces.end(), faces + next[2]);
      p.vertices = view(verts + next[0], src.vertices.size());
      p.normals = view(normals + next[1], src.normals.size());
      p.faces = view(faces + next[2], src.faces.size());
      for (std::size_t k = 0; k < src.volumes.size(); ++k) {
        const CollisionVolume& sv = src.volumes[k];
        render::CollisionVolume& v = volumes[next[3] + k];
        v.type = sv.type;
        v.flags = sv.flags;
        v.centre = sv.centre;
        v.radius = sv.radius;
        v.horizontal_radius = sv.horizontal_radius;
        v.height = sv.height;
        v.half_size = sv.half_size;
        v.box = sv.box;
        std::copy(sv.planes.begin(), sv.planes.end(), planes + next_plane);
        v.planes = view(planes + next_plane, sv.planes.size());
        next_plane += sv.planes.size();
        // The part's box covers its volumes.
        for (std::size_t a = 0; a < 6; a += 2) {
          p.box[a] = std::min(p.box[a], v.box[a]);
          p.box[a + 1] = std::max(p.box[a + 1], v.box[a + 1]);
        }
      }
      p.volumes = view(volumes + next[3], src.volumes.size());
      next[0] += src.vertices.size();
      next[1] += src.normals.size();
      next[2] += src.faces.size();
      next[3] += src.volumes.size();
    }
    cm->vertices = view(verts, n[0]);
    cm->normals = view(normals, n[1]);
    cm->faces = view(faces, n[2]);
    cm->parts = view(parts, n[3]);
    cm->points = view(points, n[4]);
    cm->planes = view(planes, n[5]);
    cm->volumes = view(volumes, n[6]);
    m_.collision = cm;
    return true;
  }

  bool vertices() {
    const std::size_t n = f_.vertex_count();
    m_.vertex_count = static_cast<uint32_t>(n);
    if (f_.header.kind == 'M') {
      render::VertexM* v = nullptr;
      if (!section("GPM RVerts", "the render vertices", [&](Carver& k) { v = k.take<render::VertexM>(n); }))
        return false;
      for (std::size_t i = 0; i < n; ++i) {
        const PlainVertex& s = f_.plain_vertices[i];
        v[i] = {s.position, s.normal, s.uv1, s.uv2};
      }
      m_.vertices_m = view(v, n);
    } else if (f_.header.kind == 'S') {
      render::VertexS* v = nullptr;
      if (!section("GPM RPSVerts", "the render vertices", [&](Carver& k) { v = k.take<render::VertexS>(n); }))
        return false;
      for (std::size_t i = 0; i < n; ++i) {
        const OldSkinnedVertex& s = f_.old_skinned_vertices[i];
        std::memcpy(v[i].bytes.data(), s.data(), 0x1C);
        std::memcpy(v[i].bytes.data() + 0x1C, s.data() + 0x20, kOldSkinnedVertexBytes - 0x20);
      }
      m_.vertices_s = view(v, n);
    } else {
      render::VertexP* v = nullptr;
      if (!section("GPM RPSVerts", "the render vertices", [&](Carver& k) { v = k.take<render::VertexP>(n); }))
        return false;
      for (std::size_t i = 0; i < n; ++i) {
        const SkinnedVertex& s = f_.skinned_vertices[i];
        v[i] = {s.position, s.weights, s.bones, s.normal, s.uv1, s.uv2};
      }
      m_.vertices_p = view(v, n);
    }
    uint32_t sum = 0;
    for (const uint8_t b : m_.vertex_bytes()) sum += b;
    m_.vertex_byte_sum = sum;
    return true;
  }

  const render::Texture* texture_at(uint8_t index, std::size_t lod, std::size_t material) {
    if (index == kNoTexture) return nullptr;
    if (index >= m_.textures.size()) {
      error_ = "LOD " + std::to_string(lod) + " material " + std::to_string(material) + ": texture " +
               std::to_string(index) + " is not in the texture table of " + std::to_string(m_.textures.size());
      return nullptr;
    }
    return &m_.textures[index];
  }

  bool materials(const RModel& src, render::Material* out, std::size_t lod_index) {
    for (std::size_t i = 0; i < src.materials.size(); ++i) {
      const Material& r = src.materials[i];
      render::Material& m = out[i];
      m.record = r;
      if (r.flags & kMaterialTextureAnimation)
        m.record.anim_time = static_cast<int16_t>(std::trunc(r.anim_time / 100.0 * 62.0));
      m.active_colour = pack_rgb(r.colours, set_);
      const uint8_t slot = r.color_type == 2   ? r.colour_textures[static_cast<std::size_t>(set_)]
                           : r.alpha_type == 2 ? r.alpha_texture
                                               : kNoTexture;
      m.texture = texture_at(slot, lod_index, i);
      if (!error_.empty()) return false;
      if (r.second_layer != 0) m_.second_layer = true;
    }
    return true;
  }

  // Copies one strip, resolving its material and its offset among the
  // model's indices.
  bool strip(const Strip& s, render::Strip& out, uint16_t*& indices, const render::Material* materials,
             std::size_t lod_index, bool old_skinned) {
    out.material = materials + s.material;
    out.addr = m_.running_index_count;
    out.index_count = static_cast<uint32_t>(s.indices.size());
    out.primitive = s.primitive;
    out.base_vertex = s.base_vertex;
    out.vertex_span = s.vertex_span;
    out.palette = s.palette;
    out.palette_size = s.palette_size;
    if (old_skinned) {
      // The older skinned layout blends two bones: the palette's second
      // entry is the one its fifth held.
      out.palette[1] = out.palette[4];
      out.palette_size = 2;
      out.vertex_span += 1;
      if (uint64_t{out.base_vertex} + out.vertex_span > m_.vertex_count) {
        error_ = "LOD " + std::to_string(lod_index) + ": a strip's vertices " + std::to_string(out.base_vertex) +
                 " + " + std::to_string(out.vertex_span) + " reach past the " + std::to_string(m_.vertex_count) +
                 " render vertices";
        return false;
      }
    }
    std::copy(s.indices.begin(), s.indices.end(), indices);
    out.indices = view(indices, s.indices.size());
    indices += s.indices.size();
    m_.running_index_count += out.index_count;
    m_.largest_span = std::max(m_.largest_span, out.vertex_span);
    m_.largest_index_count = std::max(m_.largest_index_count, out.index_count);
    return true;
  }

  bool lod(const RModel& src, std::size_t index) {
    std::size_t groups = 0, strips = 0, indices = 0;
    auto count_group = [&](const StripGroup& g) {
      ++groups;
      strips += g.class0.size() + g.class1.size();
      for (const Strip& s : g.class0) indices += s.indices.size();
      for (const Strip& s : g.class1) indices += s.indices.size();
    };
    if (src.skinned) {
      count_group(src.skin_group);
      groups = 0;  // the skin group lives in the LOD record itself
    } else {
      for (const LodPart& p : src.parts)
        for (const StripGroup& g : p.levels) count_group(g);
    }
    for (const ActionPlane& a : src.action_planes) indices += a.strip.indices.size();

    render::Lod* lod = nullptr;
    Vec3f* points = nullptr;
    render::Part* parts = nullptr;
    render::StripGroup* group_array = nullptr;
    render::Strip* strip_array = nullptr;
    uint16_t* index_array = nullptr;
    render::Material* materials = nullptr;
    PartMotion* motions = nullptr;
    render::ActionPlane* planes = nullptr;
    render::Projector* projectors = nullptr;
    const bool ok = section("GPM RModel", "a LOD", [&](Carver& k) {
      lod = k.take<render::Lod>(1);
      points = k.take<Vec3f>(src.points.size());
      parts = k.take<render::Part>(src.parts.size());
      group_array = k.take<render::StripGroup>(groups);
      strip_array = k.take<render::Strip>(strips);
      index_array = k.take<uint16_t>(indices);
      materials = k.take<render::Material>(src.materials.size());
      motions = k.take<PartMotion>(src.motions.size());
      planes = k.take<render::ActionPlane>(src.action_planes.size());
      projectors = k.take<render::Projector>(src.projectors.size());
    });
    if (!ok) return false;
    lods_[index] = lod;
    m_.lods[index] = lod;
    m_.lod_count = static_cast<uint32_t>(index + 1);

    lod->anim_frames = src.anim_frames;
    lod->anim_times = src.anim_times;
    lod->skinned = src.skinned;
    lod->part_motion = src.part_motion;
    if (!this->materials(src, materials, index)) return false;

    std::copy(src.points.begin(), src.points.end(), points);
    const bool old_skinned = f_.header.kind == 'S';
    render::Strip* next_strip = strip_array;
    uint16_t* next_index = index_array;
    auto copy_strips = [&](const std::vector<Strip>& list, std::span<render::Strip>& out) {
      render::Strip* first = next_strip;
      for (const Strip& s : list) {
        if (!strip(s, *next_strip++, next_index, materials, index, old_skinned && src.skinned)) return false;
      }
      out = view(first, list.size());
      return true;
    };
    render::StripGroup* next_group = group_array;
    for (std::size_t i = 0; i < src.parts.size(); ++i) {
      const LodPart& sp = src.parts[i];
      render::Part& p = parts[i];
      p.parent = sp.parent;
      p.relative_pivot = sp.relative_pivot;
      p.pivot = sp.pivot;
      p.centre = sp.centre;
      p.radius = sp.radius;
      render::StripGroup* first = next_group;
      for (const StripGroup& g : sp.levels) {
        if (!copy_strips(g.class0, next_group->class0) || !copy_strips(g.class1, next_group->class1)) return false;
        ++next_group;
      }
      p.levels = view(first, sp.levels.size());
    }
    if (src.skinned) {
      if (!copy_strips(src.skin_group.class0, lod->skin_group.class0) ||
          !copy_strips(src.skin_group.class1, lod->skin_group.class1))
        return false;
    }
    for (std::size_t i = 0; i < src.action_planes.size(); ++i) {
      const ActionPlane& sa = src.action_planes[i];
      render::ActionPlane& a = planes[i];
      a.type = sa.type;
      a.point = sa.point;
      a.normal = sa.normal;
      if (!strip(sa.strip, a.strip, next_index, materials, index, false)) return false;
    }
    for (std::size_t i = 0; i < src.projectors.size(); ++i) {
      projectors[i].matrix = src.projectors[i].matrix;
      projectors[i].inverse = src.projectors[i].inverse;
      projectors[i].material = materials + src.projectors[i].material;
    }
    std::copy(src.motions.begin(), src.motions.end(), motions);

    lod->points = view(points, src.points.size());
    lod->parts = view(parts, src.parts.size());
    lod->strips = view(strip_array, strips);
    lod->materials = view(materials, src.materials.size());
    lod->motions = view(motions, src.motions.size());
    lod->action_planes = view(planes, src.action_planes.size());
    lod->projectors = view(projectors, src.projectors.size());
    choose_paths(*lod, parts);
    return true;
  }

  // Which path draws each part on this device.
  void choose_paths(render::Lod& lod, render::Part* parts) {
    const bool cap1 = caps_.hardware_tnl, cap2 = caps_.vertex_shaders, cap4 = caps_.palette_skinning;
    auto shaded = [](const render::Strip& s) { return s.material->record.shader_type != 0; };
    if (!lod.skinned) {
      for (std::size_t i = 0; i < lod.parts.size(); ++i) {
        render::Part& p = parts[i];
        p.needs_plain = !cap2;
        if (p.levels.empty()) continue;
        for (auto list : {p.levels[0].class0, p.levels[0].class1}) {
          for (render::Strip& s : list) {
            if (!shaded(s)) continue;
            auto& path = s.path;
            if (cap1) {
              path = render::Path::kTangent;
              p.needs_tangent = true;
              m_.tangent_path = true;
            } else {
              path = render::Path::kPlain;
              p.needs_plain = true;
            }
          }
        }
      }
      return;
    }
    if (f_.header.kind != 'P') {
      // The older skinned layout has only the fixed-function path.
      for (std::size_t i = 0; i < lod.parts.size(); ++i) parts[i].needs_plain = true;
      return;
    }
    const bool any_shaded = std::any_of(lod.skin_group.class0.begin(), lod.skin_group.class0.end(), shaded) ||
                            std::any_of(lod.skin_group.class1.begin(), lod.skin_group.class1.end(), shaded);
    for (std::size_t i = 0; i < lod.parts.size(); ++i) {
      render::Part& p = parts[i];
      if (cap2) {
        p.needs_tangent = true;
        m_.tangent_path = true;
      } else {
        if (any_shaded) {
          p.needs_tangent = true;
          m_.tangent_path = true;
        }
        p.needs_plain = true;
      }
    }
    lod.skinning = m_.tangent_path || cap2 ? render::Skinning::kVertexShader
                   : cap4                  ? render::Skinning::kSoftware
                   : cap1                  ? render::Skinning::kTnl
                                           : render::Skinning::kSoftware;
  }

  void choose_variants() {
    const bool cap1 = caps_.hardware_tnl, cap2 = caps_.vertex_shaders, cap4 = caps_.palette_skinning;
    if (f_.header.kind == 'P') {
      m_.variants = cap2 ? std::array<uint8_t, 2>{2, 2} : std::array<uint8_t, 2>{uint8_t(cap4 ? 2 : 1), 1};
    } else if (!cap1) {
      m_.variants = {1, 1};
    } else if (cap2) {
      m_.variants = {2, 2};
    } else {
      m_.variants = {2, uint8_t(m_.tangent_path ? 1 : 0)};
    }
  }

  bool ctrl_regs() {
    const std::size_t n = f_.ctrl_regs.size();
    if (n == 0) return true;
    render::CtrlReg* regs = nullptr;
    if (!section("GPM CtrlReg", "the control registers", [&](Carver& k) { regs = k.take<render::CtrlReg>(n); }))
      return false;
    for (std::size_t i = 0; i < n; ++i) {
      regs[i].name = f_.ctrl_regs[i];
      regs[i].register_index = static_cast<uint32_t>(ctrlreg_lookup(f_.ctrl_regs[i].view()));
    }
    m_.ctrl_regs = view(regs, n);
    return true;
  }

  bool matrices() {
    const std::size_t n = f_.matrices.size();
    if (n == 0) return true;
    Matrix4f* mats = nullptr;
    if (!section("GPM RMatrix", "the orientation matrices", [&](Carver& k) { mats = k.take<Matrix4f>(n); }))
      return false;
    std::copy(f_.matrices.begin(), f_.matrices.end(), mats);
    m_.matrices = view(mats, n);
    return true;
  }

  bool lightinfo() {
    // A section older than version 256 is passed over.
    if (!f_.lightinfo || f_.lightinfo->version < kLightinfoVersion) return true;
    const Lightinfo& src = *f_.lightinfo;
    render::Lightinfo* li = nullptr;
    LightRecord* lights = nullptr;
    if (!section("GPM Lightinfo", "the lights", [&](Carver& k) {
          li = k.take<render::Lightinfo>(1);
          lights = k.take<LightRecord>(src.lights.size());
        }))
      return false;
    li->version = src.version;
    li->ambient = src.ambient;
    li->direct = src.direct;
    std::copy(src.lights.begin(), src.lights.end(), lights);
    li->lights = view(lights, src.lights.size());
    m_.lightinfo = li;
    return true;
  }

  bool vstream() {
    if (!f_.vstream) return true;
    const std::size_t n = f_.vstream->size();
    Tangent* t = nullptr;
    if (!section("GPM VStream", "the tangent stream", [&](Carver& k) { t = k.take<Tangent>(n); })) return false;
    std::copy(f_.vstream->begin(), f_.vstream->end(), t);
    m_.vstream = view(t, n);
    return true;
  }

  bool occluders() {
    if (!f_.occluders) return true;
    const auto& src = *f_.occluders;
    std::size_t nv = 0, np = 0, nf = 0;
    for (const Occluder& o : src) {
      nv += o.vertices.size();
      np += o.planes.size();
      nf += o.faces.size();
    }
    render::Occluder* occ = nullptr;
    Vec3f* verts = nullptr;
    std::array<float, 4>* planes = nullptr;
    OccluderFace* faces = nullptr;
    if (!section("GPM OccData", "the occluders", [&](Carver& k) {
          occ = k.take<render::Occluder>(src.size());
          verts = k.take<Vec3f>(nv);
          planes = k.take<std::array<float, 4>>(np);
          faces = k.take<OccluderFace>(nf);
        }))
      return false;
    for (std::size_t i = 0; i < src.size(); ++i) {
      const Occluder& s = src[i];
      render::Occluder& o = occ[i];
      o.kind = s.kind;
      o.first_number = s.first_number;
      o.second_number = s.second_number;
      std::copy(s.vertices.begin(), s.vertices.end(), verts);
      std::copy(s.planes.begin(), s.planes.end(), planes);
      std::copy(s.faces.begin(), s.faces.end(), faces);
      o.vertices = view(verts, s.vertices.size());
      o.planes = view(planes, s.planes.size());
      o.faces = view(faces, s.faces.size());
      verts += s.vertices.size();
      planes += s.planes.size();
      faces += s.faces.size();
      // Centre and radii from the vertices themselves.
      Vec3f c{};
      if (!s.vertices.empty()) {
        double sum[3] = {};
        for (const Vec3f& v : s.vertices)
          for (std::size_t k = 0; k < 3; ++k) sum[k] += v[k];
        for (std::size_t k = 0; k < 3; ++k) c[k] = static_cast<float>(sum[k] / static_cast<double>(s.vertices.size()));
      }
      o.centre = c;
      for (const Vec3f& v : s.vertices) {
        o.radius = std::max(o.radius, distance(v, c, -1));
        o.radius_xy = std::max(o.radius_xy, distance(v, c, 2));
        o.radius_yz = std::max(o.radius_yz, distance(v, c, 0));
        o.radius_xz = std::max(o.radius_xz, distance(v, c, 1));
      }
    }
    m_.occluders = view(occ, src.size());
    return true;
  }

  // The run-time register of a `CtrlReg` table index (0 beyond the table).
  uint8_t resolved(uint8_t table_index) const {
    return table_index < m_.ctrl_regs.size() ? static_cast<uint8_t>(m_.ctrl_regs[table_index].register_index) : 0;
  }
  void resolve(uint8_t style, uint8_t& index) const {
    if (style_uses_ctrlreg(style)) index = resolved(index);
  }
  void resolve(GeneratorField& g) const { resolve(g.style, g.index_or_phase); }

  void resolve_registers() {
    for (std::size_t l = 0; l < m_.lod_count; ++l) {
      render::Lod& lod = *lods_[l];
      for (render::Material& cm : lod.materials) {
        Material& r = cm.record;
        resolve(r.mapfunc_u);
        resolve(r.mapfunc_v);
        resolve(r.rgbgen_style, r.rgbgen_phase);
        resolve(r.alphagen_style, r.alphagen_phase);
      }
      for (PartMotion& p : lod.motions) {
        if (p.flags & kMotionRotateFuncs)
          for (GeneratorField& g : p.rotate_funcs) resolve(g);
        if (p.flags & kMotionScaleThree) {
          for (GeneratorField& g : p.scale_funcs) resolve(g);
        } else if (p.flags & kMotionScaleOne) {
          resolve(p.scale_funcs[0]);
        }
      }
      lod.matrices = m_.matrices;
    }
    if (m_.lightinfo != nullptr) {
      for (LightRecord& l : m_.lightinfo->lights) {
        resolve(l.style, l.phase);
      }
    }
  }

  render::Model& m_;
  const File3di& f_;
  MemoryPool& pool_;
  const RenderCapabilities& caps_;
  const int set_;
  std::array<render::Lod*, kMaxLods> lods_{};
  std::string error_;
};

}  // namespace

std::string normalise_model_name(std::string_view name) {
  const std::string upper = tools::ascii_upper(name);
  const std::size_t at = upper.find(".3DI");
  std::string out(name.substr(0, at == std::string::npos ? name.size() : at));
  return out + ".3DI";
}

std::vector<uint32_t> placeholder_pixels(int width, int height) {
  const int w = std::max(width, 0), h = std::max(height, 0);
  std::vector<uint32_t> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool light = ((x / 4) + (y / 4)) % 2 != 0;
      px[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          light ? 0xFF505050u : 0xFF303030u;
    }
  }
  return px;
}

std::span<const uint8_t> render::Model::vertex_bytes() const {
  if (!vertices_m.empty()) return {reinterpret_cast<const uint8_t*>(vertices_m.data()), vertices_m.size_bytes()};
  if (!vertices_s.empty()) return {reinterpret_cast<const uint8_t*>(vertices_s.data()), vertices_s.size_bytes()};
  if (!vertices_p.empty()) return {reinterpret_cast<const uint8_t*>(vertices_p.data()), vertices_p.size_bytes()};
  return {};
}

ModelLoader::ModelLoader(FileAccess& files, MemoryPool& pool, ExportLog* log) : files_(files), pool_(pool), log_(log) {}

ModelLoader::~ModelLoader() {
  while (!models_.empty()) free_model(models_.front().get());
}

void ModelLoader::log(std::string_view text) {
  if (log_ != nullptr) log_->line(text);
}

render::Model* ModelLoader::load_model(std::string_view name, bool* created) {
  if (created != nullptr) *created = false;
  const std::string file_name = normalise_model_name(name);
  for (const auto& m : models_)
    if (m->file_name == file_name) return m.get();

  models_.push_front(std::make_unique<render::Model>());
  render::Model& model = *models_.front();
  model.file_name = file_name;
  if (!read_model(model)) {
    free_model(&model);
    return nullptr;
  }
  last_error_.clear();
  texture_size_cap_ = true;
  if (created != nullptr) *created = true;
  return &model;
}

bool ModelLoader::read_model(render::Model& model) {
  log(printf_line("Loading '%.*s'\n", model.file_name));
  auto fail = [&](const std::string& line) {
    files_.close();
    log(line);
    last_error_ = line.substr(0, line.size() - 1);
    return false;
  };
  if (files_.open(model.file_name) < 0) return fail("Error:  file does not exist\n");
  const long size = files_.seek(0, 2);
  if (size < 0 || files_.seek(0, 0) != 0) return fail("Error:  " + model.file_name + ": cannot be read\n");
  if (static_cast<unsigned long>(size) > kMaxModelFileBytes) {
    return fail("Error:  " + model.file_name + ": the file is larger than " + std::to_string(kMaxModelFileBytes) +
                " bytes, more than a model can hold\n");
  }
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  const std::size_t got = files_.read(bytes.data(), bytes.size());
  files_.close();
  if (got != bytes.size()) return fail("Error:  " + model.file_name + ": cannot be read to its end\n");

  auto file = decode_3di(bytes, model.file_name);
  if (!file) {
    switch (file.error().code) {
      case k3diBadVersion: return fail("Error:  incorrect version number\n");
      case k3diBadRevision: return fail("Error:  revision number newer than exe - update game GET\n");
      case k3diBadKind: return fail("Error:  unknown mesh type\n");
      case k3diBadBone: return fail("Error:  bad bone index in skinned mesh\n");
      default: return fail("Error:  " + file.error().message + "\n");
    }
  }
  std::copy_n(bytes.begin(), kFileHeaderBytes, model.header_bytes.begin());
  model.header = file->header;
  model.kind = file->header.kind == 'M'   ? render::MeshKind::kPlain
               : file->header.kind == 'S' ? render::MeshKind::kOldSkinned
                                          : render::MeshKind::kSkinned;
  model.skinned = model.kind != render::MeshKind::kPlain;

  const int set = std::clamp(texture_set, 0, 2);
  const std::string why = Builder(model, *file, pool_, capabilities, set).run();
  if (!why.empty()) return fail("Error:  " + model.file_name + ": " + why + "\n");
  return true;
}

void ModelLoader::free_model(render::Model* model) {
  if (model == nullptr) return;
  for (auto it = models_.begin(); it != models_.end(); ++it) {
    if (it->get() != model) continue;
    for (void* b : model->blocks) pool_.release(b);
    models_.erase(it);
    return;
  }
}

void ModelLoader::release_all() {
  std::vector<ExportLog::ModelVolumes> stats;
  for (const auto& m : models_) {
    uint32_t ladders = 0;
    for (const render::CollisionVolume& v : m->collision->volumes) ladders += v.type == 4 ? 1 : 0;
    stats.push_back({m->file_name, static_cast<uint32_t>(m->collision->volumes.size()),
                     static_cast<uint32_t>(m->collision->parts.size()), ladders});
  }
  if (log_ != nullptr) log_->write_final_stats(stats);
  checksums_.clear();
  while (!models_.empty()) free_model(models_.front().get());
}

void ModelLoader::create_textures(render::Model& model, TextureFactory& factory) {
  for (render::Texture& t : model.textures) {
    const TextureRecord& r = t.record;
    TextureFactory::Request req;
    std::string line;
    if ((r.flags & file3di::kTextureFromSecondName) != 0 || r.first_name.empty()) {
      req.colour_name = std::string(r.second_name.view());
      line = "'" + req.colour_name + "'\n";
    } else if ((r.flags & file3di::kTextureCombined) != 0) {
      req.colour_name = std::string(r.first_name.view());
      req.alpha_name = std::string(r.second_name.view());
      line = "'" + req.colour_name + "' + '" + req.alpha_name + "'\n";
    } else {
      req.colour_name = std::string(r.first_name.view());
      line = "'" + req.colour_name + "'\n";
    }
    log(line);
    req.width = r.width;
    req.height = r.height;
    if (texture_size_cap_) {
      req.width = std::min(req.width, kTextureSizeCap);
      req.height = std::min(req.height, kTextureSizeCap);
    }
    req.flags = r.flags;
    t.handle = factory.create_texture(req);
    t.created_name = req.alpha_name.empty() ? req.colour_name : req.colour_name + " + " + req.alpha_name;
    if (t.handle != 0) continue;
    char text[160];
    std::snprintf(text, sizeof text, "Error: Could not load texture %.100s   (%ld)\n", req.colour_name.c_str(),
                  static_cast<long>(t.index));
    log(text);
    char name[64];
    std::snprintf(name, sizeof name, "S%ldW%ldH%ld", static_cast<long>(t.index), static_cast<long>(req.width),
                  static_cast<long>(req.height));
    t.placeholder = true;
    t.created_name = name;
    t.handle =
        factory.create_texture_from_pixels(name, req.width, req.height, placeholder_pixels(req.width, req.height));
  }
}

void ModelLoader::create_textures_and_materials(TextureFactory& factory) {
  log("\nCreating Textures and Materials\n");
  for (const auto& mp : models_) {
    render::Model& model = *mp;
    if (model.textures_created) continue;
    create_textures(model, factory);
    model.material_passes = 0;
    for (std::size_t l = 0; l < model.lod_count; ++l) {
      render::Lod& lod = *model.lods[l];
      for (render::Material& m : lod.materials) {
        m.device_material = factory.create_material(m, lod.skinned);
        m.passes = m.record.second_layer != 0 ? 2 : 1;
        model.material_passes += m.passes;
      }
      for (render::Projector& p : lod.projectors) p.render_target = factory.create_render_target(p);
    }
    model.textures_created = true;
  }
  std::vector<ExportLog::ModelSum> sums;
  for (const auto& m : models_) sums.push_back({m->file_name, m->vertex_byte_sum, m->material_passes});
  checksums_ = log_ != nullptr ? log_->write_checksums(sums) : std::vector<uint32_t>{};
  if (log_ == nullptr)
    for (const auto& s : sums) checksums_.push_back(s.vertex_byte_sum + s.material_passes);
}

}  // namespace orvo
