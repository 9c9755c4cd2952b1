#include "ase_scene_gen.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::bench {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Buffered text output with the number formats of the exporter; without a
// file it only counts.
class Out {
 public:
  explicit Out(std::FILE* file) : file_(file), buf_(kSize) {}
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;
  ~Out() { flush(); }

  Out& put(std::string_view s) {
    room(s.size());
    std::memcpy(buf_.data() + used_, s.data(), s.size());
    used_ += s.size();
    return *this;
  }
  Out& put(char c) {
    room(1);
    buf_[used_++] = c;
    return *this;
  }
  // A decimal integer right-aligned in `width` characters ("%5d").
  Out& num(long long v, int width = 0) {
    char tmp[24];
    int n = 0;
    const bool negative = v < 0;
    unsigned long long u = negative ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
      tmp[n++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u != 0);
    if (negative) tmp[n++] = '-';
    room(static_cast<std::size_t>(std::max(n, width)));
    for (int i = n; i < width; ++i) buf_[used_++] = ' ';
    while (n > 0) buf_[used_++] = tmp[--n];
    return *this;
  }
  // "%.4f".
  Out& real(double v) {
    long long q = std::llround(v * 10000.0);
    if (q < 0) {
      put('-');
      q = -q;
    }
    num(q / 10000);
    put('.');
    const long long frac = q % 10000;
    room(4);
    buf_[used_++] = static_cast<char>('0' + frac / 1000);
    buf_[used_++] = static_cast<char>('0' + frac / 100 % 10);
    buf_[used_++] = static_cast<char>('0' + frac / 10 % 10);
    buf_[used_++] = static_cast<char>('0' + frac % 10);
    return *this;
  }
  Out& tab() { return put('\t'); }
  Out& nl() { return put('\n'); }
  Out& indent(int depth) {
    for (int i = 0; i < depth; ++i) put('\t');
    return *this;
  }
  Out& reals(double a, double b, double c) { return real(a).tab().real(b).tab().real(c); }

  std::uint64_t total() const { return total_ + used_; }

  void flush() {
    if (used_ == 0) return;
    if (file_ != nullptr && std::fwrite(buf_.data(), 1, used_, file_) != used_) failed_ = true;
    total_ += used_;
    used_ = 0;
  }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kSize = 1 << 20;
  void room(std::size_t n) {
    if (used_ + n > buf_.size()) flush();
  }

  std::FILE* file_;
  std::vector<char> buf_;
  std::size_t used_ = 0;
  std::uint64_t total_ = 0;
  bool failed_ = false;
};

constexpr std::array<const char*, 20> kPartNames = {
    "Hull",     "Turret",      "Barrel",   "Mantlet", "Hatch",          "Cupola",       "Antenna",
    "Wheel",    "Track",       "Fender",   "Exhaust", "Skirt",          "Lamp Housing", "Periscope",
    "Tow Hook", "Spare Wheel", "Jerrycan", "Toolbox", "Smoke Launcher", "Machine Gun"};

std::string two_digits(int n) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", n);
  return b;
}

std::string part_name(int n) {  // n from 1
  std::string name = two_digits(n) + " " + kPartNames[static_cast<std::size_t>((n - 1) % 20)];
  if (n > 20) name += " Rear";
  return name;
}

void header(Out& o) {
  o.put("*3DSMAX_ASCIIEXPORT\t200\n");
  o.put("*COMMENT \"AsciiExport-Version  2,00 - orvo reader benchmark scene\"\n");
  o.put("*SCENE {\n");
  o.put("\t*SCENE_FILENAME \"bench_vehicle.max\"\n");
  o.put("\t*SCENE_FIRSTFRAME 0\n\t*SCENE_LASTFRAME 100\n\t*SCENE_FRAMESPEED 30\n\t*SCENE_TICKSPERFRAME 160\n");
  o.put("\t*SCENE_BACKGROUND_STATIC 0.0000\t0.0000\t0.0000\n\t*SCENE_AMBIENT_STATIC 0.0000\t0.0000\t0.0000\n");
  o.put("}\n");
}

void colours(Out& o, int depth, int seed) {
  const double a = 0.1 + 0.05 * (seed % 7), d = 0.3 + 0.04 * (seed % 13), s = 0.9 - 0.03 * (seed % 11);
  o.indent(depth).put("*MATERIAL_AMBIENT ").reals(a, a * 0.9, a * 0.8).nl();
  o.indent(depth).put("*MATERIAL_DIFFUSE ").reals(d, d * 0.8, d * 0.6).nl();
  o.indent(depth).put("*MATERIAL_SPECULAR ").reals(s, s, s).nl();
  o.indent(depth).put("*MATERIAL_SHINE 0.1000\n");
  o.indent(depth).put("*MATERIAL_SHINESTRENGTH 0.0000\n");
  o.indent(depth).put("*MATERIAL_TRANSPARENCY 0.0000\n");
  o.indent(depth).put("*MATERIAL_WIRESIZE 1.0000\n");
  o.indent(depth).put("*MATERIAL_SHADING Blinn\n");
  o.indent(depth).put("*MATERIAL_XP_FALLOFF 0.0000\n");
  o.indent(depth).put("*MATERIAL_SELFILLUM 0.0000\n");
  o.indent(depth).put("*MATERIAL_FALLOFF In\n");
  o.indent(depth).put("*MATERIAL_XP_TYPE Filter\n");
}

void bitmap_map(Out& o, int depth, int map_number, const std::string& bitmap) {
  o.indent(depth).put("*MAP_DIFFUSE {\n");
  ++depth;
  o.indent(depth).put("*MAP_NAME \"Map #").num(map_number).put("\"\n");
  o.indent(depth).put("*MAP_CLASS \"Bitmap\"\n");
  o.indent(depth).put("*MAP_SUBNO 1\n");
  o.indent(depth).put("*MAP_AMOUNT 1.0000\n");
  o.indent(depth).put("*BITMAP \"C:\\3dsmax\\maps\\vehicle\\").put(bitmap).put("\"\n");
  o.indent(depth).put("*MAP_TYPE Screen\n");
  o.indent(depth).put("*UVW_U_OFFSET 0.0000\n");
  o.indent(depth).put("*UVW_V_OFFSET 0.0000\n");
  o.indent(depth).put("*UVW_U_TILING 1.0000\n");
  o.indent(depth).put("*UVW_V_TILING 1.0000\n");
  o.indent(depth).put("*UVW_ANGLE 0.0000\n");
  o.indent(depth).put("*UVW_BLUR 1.0000\n");
  o.indent(depth).put("*UVW_BLUR_OFFSET 0.0000\n");
  o.indent(depth).put("*UVW_NOUSE_AMT 1.0000\n");
  o.indent(depth).put("*UVW_NOISE_SIZE 1.0000\n");
  o.indent(depth).put("*UVW_NOISE_LEVEL 1\n");
  o.indent(depth).put("*UVW_NOISE_PHASE 0.0000\n");
  o.indent(depth).put("*BITMAP_FILTER Pyramidal\n");
  --depth;
  o.indent(depth).put("}\n");
}

void material_list(Out& o, const SceneOptions& opt) {
  o.put("*MATERIAL_LIST {\n");
  o.put("\t*MATERIAL_COUNT ").num(opt.materials).nl();
  int map_number = 1;
  for (int m = 0; m < opt.materials; ++m) {
    const std::string mm = two_digits(m);
    o.put("\t*MATERIAL ").num(m).put(" {\n");
    o.put("\t\t*MATERIAL_NAME \"Vehicle Multi ").put(mm).put("\"\n");
    o.put("\t\t*MATERIAL_CLASS \"Multi/Sub-Object\"\n");
    colours(o, 2, m);
    o.put("\t\t*NUMSUBMTLS ").num(opt.submaterials).nl();
    for (int s = 0; s < opt.submaterials; ++s) {
      o.put("\t\t*SUBMATERIAL ").num(s).put(" {\n");
      o.put("\t\t\t*MATERIAL_NAME \"Paint ").put(mm).put("-").num(s).put("\"\n");
      o.put("\t\t\t*MATERIAL_CLASS \"Standard\"\n");
      colours(o, 3, m * 7 + s);
      bitmap_map(o, 3, map_number++, "paint" + mm + "_" + std::to_string(s) + ".tga");
      o.put("\t\t}\n");
    }
    o.put("\t}\n");
  }
  o.put("}\n");
}

void node_tm(Out& o, const std::string& name, double x, double y, double z) {
  o.put("\t*NODE_TM {\n");
  o.put("\t\t*NODE_NAME \"").put(name).put("\"\n");
  o.put("\t\t*INHERIT_POS 0 0 0\n\t\t*INHERIT_ROT 0 0 0\n\t\t*INHERIT_SCL 0 0 0\n");
  o.put("\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n");
  o.put("\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n");
  o.put("\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n");
  o.put("\t\t*TM_ROW3 ").reals(x, y, z).nl();
  o.put("\t\t*TM_POS ").reals(x, y, z).nl();
  o.put("\t\t*TM_ROTAXIS 0.0000\t0.0000\t0.0000\n\t\t*TM_ROTANGLE 0.0000\n");
  o.put(
      "\t\t*TM_SCALE 1.0000\t1.0000\t1.0000\n\t\t*TM_SCALEAXIS 0.0000\t0.0000\t0.0000\n\t\t*TM_SCALEAXISANG 0.0000\n");
  o.put("\t}\n");
}

void face_line(Out& o, long long index, long long a, long long b, long long c, int ab, int bc, int ca, int smoothing,
               int mtlid) {
  // "%4d" after a blank, as the exporter writes: "*MESH_FACE    0:    A:    0 B: ..." and
  // "*MESH_FACE 10000:    A: 12345 B: ..." once the numbers grow.
  o.put("\t\t\t*MESH_FACE ").num(index, 4).put(":    A: ").num(a, 4).put(" B: ").num(b, 4).put(" C: ").num(c, 4);
  o.put(" AB: ").num(ab, 4).put(" BC: ").num(bc, 4).put(" CA: ").num(ca, 4);
  o.put("\t *MESH_SMOOTHING ").num(smoothing).put(" \t*MESH_MTLID ").num(mtlid).nl();
}

void object_tail(Out& o, int material_ref) {
  o.put("\t*PROP_MOTIONBLUR 0\n\t*PROP_CASTSHADOW 1\n\t*PROP_RECVSHADOW 1\n");
  if (material_ref >= 0) o.put("\t*MATERIAL_REF ").num(material_ref).nl();
  o.put("}\n");
}

// One numbered sub-object: a closed ring mesh (rings x segments quads, two
// triangles each) with a texture grid that has seams and a colour per vertex.
void ring_object(Out& o, const SceneOptions& opt, int n, SceneStats& stats) {
  const int i = n - 1;
  const int rings = opt.rings_min + (i * 37) % (opt.rings_max - opt.rings_min + 1);
  const int segs = opt.segments;
  const long long nv = static_cast<long long>(rings) * segs;
  const long long nf = 2 * nv;
  const long long nt = static_cast<long long>(rings + 1) * (segs + 1);
  const double cx = (i % 8) * 90.0, cy = (i / 8) * 90.0, cz = 20.0 + (i % 3) * 5.0;
  const double major = 30.0 + 5.0 * (i % 4), minor = 8.0 + 2.0 * (i % 3);
  const std::string name = part_name(n);

  o.put("*GEOMOBJECT {\n");
  o.put("\t*NODE_NAME \"").put(name).put("\"\n");
  node_tm(o, name, cx, cy, cz);
  o.put("\t*MESH {\n\t\t*TIMEVALUE 0\n");
  o.put("\t\t*MESH_NUMVERTEX ").num(nv).nl();
  o.put("\t\t*MESH_NUMFACES ").num(nf).nl();
  o.put("\t\t*MESH_VERTEX_LIST {\n");
  for (int r = 0; r < rings; ++r) {
    const double theta = 2.0 * kPi * r / rings;
    for (int s = 0; s < segs; ++s) {
      const double phi = 2.0 * kPi * s / segs;
      const double w = major + minor * std::cos(phi);
      o.put("\t\t\t*MESH_VERTEX ").num(static_cast<long long>(r) * segs + s, 4).tab();
      o.reals(cx + w * std::cos(theta), cy + w * std::sin(theta), cz + minor * std::sin(phi)).nl();
    }
  }
  o.put("\t\t}\n");
  const auto vi = [&](int r, int s) { return static_cast<long long>(r % rings) * segs + s % segs; };
  const auto ti = [&](int r, int s) { return static_cast<long long>(r) * (segs + 1) + s; };
  o.put("\t\t*MESH_FACE_LIST {\n");
  long long f = 0;
  for (int r = 0; r < rings; ++r) {
    const int smoothing = 1 + r * 4 / rings;
    for (int s = 0; s < segs; ++s) {
      const int mtlid = s * opt.submaterials / segs;
      face_line(o, f++, vi(r, s), vi(r, s + 1), vi(r + 1, s + 1), 1, 1, 0, smoothing, mtlid);
      face_line(o, f++, vi(r + 1, s + 1), vi(r + 1, s), vi(r, s), 1, 1, 0, smoothing, mtlid);
    }
  }
  o.put("\t\t}\n");
  o.put("\t\t*MESH_NUMTVERTEX ").num(nt).nl();
  o.put("\t\t*MESH_TVERTLIST {\n");
  for (int r = 0; r <= rings; ++r) {
    for (int s = 0; s <= segs; ++s) {
      o.put("\t\t\t*MESH_TVERT ").num(ti(r, s)).tab();
      o.reals(static_cast<double>(s) / segs, static_cast<double>(r) / rings, 0.0).nl();
    }
  }
  o.put("\t\t}\n");
  o.put("\t\t*MESH_NUMTVFACES ").num(nf).nl();
  o.put("\t\t*MESH_TFACELIST {\n");
  f = 0;
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segs; ++s) {
      o.put("\t\t\t*MESH_TFACE ").num(f++).tab().num(ti(r, s)).tab().num(ti(r, s + 1)).tab().num(ti(r + 1, s + 1)).nl();
      o.put("\t\t\t*MESH_TFACE ").num(f++).tab().num(ti(r + 1, s + 1)).tab().num(ti(r + 1, s)).tab().num(ti(r, s)).nl();
    }
  }
  o.put("\t\t}\n");
  o.put("\t\t*MESH_NUMCVERTEX ").num(nv).nl();
  o.put("\t\t*MESH_CVERTLIST {\n");
  for (long long v = 0; v < nv; ++v) {
    o.put("\t\t\t*MESH_VERTCOL ").num(v).tab();
    o.reals((v % 17) / 16.0, (v % 29) / 28.0, (v % 5) / 4.0).nl();
  }
  o.put("\t\t}\n");
  o.put("\t\t*MESH_NUMCVFACES ").num(nf).nl();
  o.put("\t\t*MESH_CFACELIST {\n");
  f = 0;
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segs; ++s) {
      o.put("\t\t\t*MESH_CFACE ").num(f++).tab().num(vi(r, s)).tab().num(vi(r, s + 1)).tab().num(vi(r + 1, s + 1)).nl();
      o.put("\t\t\t*MESH_CFACE ").num(f++).tab().num(vi(r + 1, s + 1)).tab().num(vi(r + 1, s)).tab().num(vi(r, s)).nl();
    }
  }
  o.put("\t\t}\n");
  o.put("\t}\n");
  object_tail(o, i % opt.materials);
  stats.vertices += static_cast<std::uint64_t>(nv);
  stats.faces += static_cast<std::uint64_t>(nf);
  ++stats.objects;
}

// A small box marker (centre point, attachment point, bounding box, user
// point) of half size h around (x, y, z).
void box_object(Out& o, const std::string& name, double x, double y, double z, double h, SceneStats& stats) {
  static constexpr int kFaces[12][3] = {{0, 2, 3}, {3, 1, 0}, {4, 5, 7}, {7, 6, 4}, {0, 1, 5}, {5, 4, 0},
                                        {1, 3, 7}, {7, 5, 1}, {3, 2, 6}, {6, 7, 3}, {2, 0, 4}, {4, 6, 2}};
  o.put("*GEOMOBJECT {\n");
  o.put("\t*NODE_NAME \"").put(name).put("\"\n");
  node_tm(o, name, x, y, z);
  o.put("\t*MESH {\n\t\t*TIMEVALUE 0\n\t\t*MESH_NUMVERTEX 8\n\t\t*MESH_NUMFACES 12\n");
  o.put("\t\t*MESH_VERTEX_LIST {\n");
  for (int v = 0; v < 8; ++v) {
    o.put("\t\t\t*MESH_VERTEX ").num(v, 4).tab();
    o.reals(x + ((v & 1) ? h : -h), y + ((v & 2) ? h : -h), z + ((v & 4) ? h : -h)).nl();
  }
  o.put("\t\t}\n\t\t*MESH_FACE_LIST {\n");
  for (int f = 0; f < 12; ++f) face_line(o, f, kFaces[f][0], kFaces[f][1], kFaces[f][2], 1, 1, 0, f / 2 + 2, f / 2);
  o.put("\t\t}\n\t\t*MESH_NUMTVERTEX 0\n\t}\n");
  object_tail(o, -1);
  stats.vertices += 8;
  stats.faces += 12;
  ++stats.objects;
}

void lamp(Out& o, const std::string& name, double x, double y, double z) {
  o.put("*LIGHTOBJECT {\n");
  o.put("\t*NODE_NAME \"").put(name).put("\"\n");
  o.put("\t*LIGHT_TYPE Omni\n");
  node_tm(o, name, x, y, z);
  o.put("\t*LIGHT_SHADOWS Off\n\t*LIGHT_USELIGHT 1\n\t*LIGHT_SPOTSHAPE Circle\n\t*LIGHT_USEGLOBAL 0\n");
  o.put("\t*LIGHT_ABSMAPBIAS 0\n\t*LIGHT_OVERSHOOT 0\n");
  o.put("\t*LIGHT_SETTINGS {\n\t\t*TIMEVALUE 0\n\t\t*LIGHT_COLOR 1.0000\t0.9000\t0.7000\n");
  o.put("\t\t*LIGHT_INTENS 1.0000\n\t\t*LIGHT_ASPECT -1.0000\n\t\t*LIGHT_TDIST -1.0000\n");
  o.put("\t\t*LIGHT_MAPBIAS 1.0000\n\t\t*LIGHT_MAPRANGE 4.0000\n\t\t*LIGHT_MAPSIZE 512\n\t\t*LIGHT_RAYBIAS 0.0000\n");
  o.put("\t\t*LIGHT_ATTNSTART 20.0000\n\t\t*LIGHT_ATTNEND 150.0000\n\t}\n");
  o.put("}\n");
}

SceneStats write_scene(Out& o, const SceneOptions& opt) {
  SceneStats stats;
  header(o);
  material_list(o, opt);
  for (int n = 1; n <= opt.subobjects; ++n) ring_object(o, opt, n, stats);
  for (int n = 1; n <= opt.subobjects; ++n) {
    const int i = n - 1;
    const double x = (i % 8) * 90.0, y = (i / 8) * 90.0, z = 20.0 + (i % 3) * 5.0;
    box_object(o, "_" + two_digits(n) + " Center", x, y, z, 0.5, stats);
    if (n > 1 && n % 4 == 0) box_object(o, "~" + two_digits(n) + " Mount", x, y, z + 2.0, 0.5, stats);
  }
  box_object(o, "CB01", 0, 0, 20, 50, stats);
  box_object(o, "BBLW02", 90, 0, 25, 45, stats);
  if (opt.subobjects >= 3) box_object(o, "UPA03 Muzzle", 180, 0, 30, 0.25, stats);
  lamp(o, "LP1 Lamp", 0, 0, 60);
  if (opt.subobjects >= 2) lamp(o, "LP2 Lamp", 90, 0, 60);
  o.flush();
  stats.bytes = o.total();
  return stats;
}

}  // namespace

SceneOptions small_scene_options() {
  SceneOptions o;
  o.subobjects = 8;
  o.segments = 32;
  o.rings_min = 40;
  o.rings_max = 60;
  o.materials = 4;
  return o;
}

SceneStats measure_scene(const SceneOptions& options) {
  Out counter(nullptr);
  return write_scene(counter, options);
}

SceneStats ensure_scene_file(const std::string& path, const SceneOptions& options) {
  const SceneStats expected = measure_scene(options);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) == expected.bytes) {
    return expected;
  }
  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error(tmp + ": cannot write: " + std::strerror(errno));
  SceneStats written;
  bool failed;
  {
    Out out(f);
    written = write_scene(out, options);
    failed = out.failed();
  }
  failed = std::fclose(f) != 0 || failed;
  if (failed || written.bytes != expected.bytes || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    throw std::runtime_error(path + ": cannot write the benchmark scene");
  }
  return written;
}

std::string default_scene_path() {
  const char* env = std::getenv("ORVO_BENCH_ASE");
  return env != nullptr && *env != '\0' ? env : "/tmp/orvo_bench_scene.ase";
}

std::string default_small_scene_path() {
  return "/tmp/orvo_bench_scene_small.ase";
}

}  // namespace orvo::bench
