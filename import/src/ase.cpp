#include "orvo/import/ase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvo/model/base.h"
#include "tools/base/parallel.h"

namespace orvo {

namespace {

constexpr int kMaxTopMaterials = 512;
constexpr int kMaxSubMaterials = 64;

constexpr std::string_view kParsingLine = "Parsing MAX file";
constexpr std::string_view kTooManySubmaterials = "Too many submaterials!";
constexpr std::string_view kTooManySubmaterialsCaption = "model3ds";
constexpr std::string_view kParentlessVert = "Found parentless vert in physiqued ASE!!! Fix dat sheeeeet!!!";
constexpr std::string_view kParentlessVertCaption = "WOOT!!";

// One top-level "*MATERIAL" with its sub-materials.
struct MaterialBlock {
  bool defined = false;
  SceneMaterial top;
  std::array<SceneMaterial, kMaxSubMaterials> subs;
};

// What the lines of a block mean, decided by the keyword that opened it and
// the blocks around it.
enum class Ctx : unsigned char {
  kRoot,
  kSkip,           // content not read
  kObject,         // *GEOMOBJECT / *HELPEROBJECT
  kObjectTm,       // *NODE_TM of an object
  kMesh,           // *MESH and its lists
  kMaterialList,   // *MATERIAL_LIST
  kMaterial,       // *MATERIAL or *SUBMATERIAL
  kMap,            // *MAP_DIFFUSE / *MAP_OPACITY and the maps nested in them
  kLight,          // *LIGHTOBJECT
  kLightTm,        // *NODE_TM of a light
  kLightSettings,  // *LIGHT_SETTINGS
};

enum class MapKind : unsigned char { kDiffuse, kOpacity };

struct Frame {
  Ctx ctx = Ctx::kRoot;
  int sub = -1;  // material frames and maps: -1 the top-level material, else the sub-material
  MapKind map = MapKind::kDiffuse;
  bool composite = false;  // inside an "RGB Multiply" map
  int layer = 0;           // layer selected by "*MAP_SUBNO" in a composite map
};

// A depth-0 line where the reading may be split between threads: nothing
// read before it matters for what follows except the object and light counts.
struct Cut {
  std::size_t offset = 0;
  long line = 1;
  std::size_t objects_before = 0;
  std::size_t lights_before = 0;
};

// A "*MATERIAL_LIST" block, up to the next line at depth 0.
struct MaterialSegment {
  std::size_t begin = 0, end = 0;
  long line = 1;
  std::size_t objects_before = 0;
  std::size_t lights_before = 0;
};

// The list entry lines one object holds, by keyword.
struct EntryLines {
  std::size_t vertices = 0;  // "*MESH_VERTEX"
  std::size_t faces = 0;     // "*MESH_FACE"
  std::size_t tverts = 0;    // "*MESH_TVERT"
  std::size_t cverts = 0;    // "*MESH_VERTCOL"
};

// How a line's first token compares with a keyword: it is the keyword, it is
// not, or a quote in it leaves only a real split to tell.
enum class KeyMatch { kNo, kYes, kSplit };

bool is_separator_char(char c) {
  return c == ' ' || c == '\t' || c == ',';
}

// Compares the characters after the first eight of the token at `p` (of
// `left` characters to the line's end) with `tail`, then the terminator.
KeyMatch match_tail(const char* p, std::size_t left, std::string_view tail) {
  std::size_t k = 8;
  for (const char want : tail) {
    if (k == left) return KeyMatch::kNo;
    const char c = p[k++];
    if (c == '"') return KeyMatch::kSplit;
    if ((c | 0x20) != want) return KeyMatch::kNo;
  }
  if (k == left || is_separator_char(p[k])) return KeyMatch::kYes;
  return p[k] == '"' ? KeyMatch::kSplit : KeyMatch::kNo;
}

uint64_t load8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Counts a line of an object's block in `lines` when its first token is the
// keyword of a list entry. Most lines of a scene are list entries, so the
// first pass compares the first eight characters of the token at once and
// splits the line as the reader does only when a quote may change the token.
void count_entry_line(std::string_view raw, LineTokenizer& t, EntryLines& lines) {
  std::size_t i = 0;
  while (i < raw.size() && is_separator_char(raw[i])) ++i;
  const char* p = raw.data() + i;
  const std::size_t left = raw.size() - i;
  // The shortest keyword has 10 characters; quotes only make a token longer.
  if (left < 10 || (p[0] != '*' && p[0] != '"')) return;
  KeyMatch m = KeyMatch::kSplit;
  std::size_t EntryLines::*kind = nullptr;
  const uint64_t head = load8(p);
  const uint64_t quotes = head ^ 0x2222222222222222ull;  // a zero byte where a quote is
  if (((quotes - 0x0101010101010101ull) & ~quotes & 0x8080808080808080ull) == 0) {
    // Letters to lower case (bit 5); the '*' and the '_' as they are.
    static constexpr char kFold[8] = {0, 0x20, 0x20, 0x20, 0x20, 0, 0x20, 0x20};
    const uint64_t folded = head | load8(kFold);
    m = KeyMatch::kNo;
    if (folded == load8("*mesh_fa")) {
      m = match_tail(p, left, "ce");
      kind = &EntryLines::faces;
    } else if (folded == load8("*mesh_tv")) {
      m = match_tail(p, left, "ert");
      kind = &EntryLines::tverts;
    } else if (folded == load8("*mesh_ve")) {
      m = match_tail(p, left, "rtex");
      kind = &EntryLines::vertices;
      if (m == KeyMatch::kNo) {
        m = match_tail(p, left, "rtcol");
        kind = &EntryLines::cverts;
      }
    }
  }
  if (m == KeyMatch::kYes) {
    ++(lines.*kind);
    return;
  }
  if (m == KeyMatch::kNo) return;
  // Quotes may join or hide characters: split the line as the reader does.
  if (t.split(raw) == 0) return;
  const std::string_view key = t[0];
  if (iequals(key, "*MESH_FACE")) ++lines.faces;
  else if (iequals(key, "*MESH_TVERT")) ++lines.tverts;
  else if (iequals(key, "*MESH_VERTEX")) ++lines.vertices;
  else if (iequals(key, "*MESH_VERTCOL")) ++lines.cverts;
}

// The entry lines of `text` (whole lines, split as the reader splits them).
EntryLines count_entry_lines(std::string_view text) {
  EntryLines lines;
  LineReader r(text, kMaxLine);
  LineTokenizer t;
  std::string_view raw;
  while (r.next_raw(raw)) count_entry_line(raw, t, lines);
  return lines;
}

// What the first pass learns: the object and light counts, and where the
// second pass may start reading.
struct Outline {
  std::size_t objects = 0;
  std::size_t lights = 0;
  long long lines_total = 0;
  std::vector<Cut> cuts;
  std::vector<MaterialSegment> materials;
  // Per object: the byte offset just after the line that closes its block
  // (the end of the text for a block left open). The entry lines a count
  // can be filled from lie before it.
  std::vector<std::size_t> object_end;
};

enum class Role {
  kObjects,    // objects and lights of a range of the file
  kMaterials,  // one material list
};

// Reads one range of the file (starting at a depth-0 line) into the scene.
// Several readers may fill different objects of one scene at once; each
// keeps its findings (the first error, the declared counts, the line of the
// first parentless vertex) for the caller to merge in file order.
class AseParser {
 public:
  AseParser(std::string_view text, std::size_t text_base, const std::string& name, ImportedScene& scene,
            std::vector<MaterialBlock>* blocks, Role role, long line_base, std::size_t objects_before,
            std::size_t lights_before, const Outline& outline)
      : text_(text),
        text_base_(text_base),
        name_(name),
        scene_(scene),
        blocks_(blocks),
        role_(role),
        reader_(text, kMaxLine),
        line_base_(line_base - 1),
        objects_started_(objects_before),
        lights_started_(lights_before),
        outline_(outline) {}

  // Reads the range; false when it ended at an error (see `error`).
  bool run();

  std::optional<Error> error;
  long error_line = 0;
  long parentless_line = 0;  // first vertex without a bone, 0 when none
  long stop_line = 0;        // the "*SUBMATERIAL" line that ended the reading, 0 when none

 private:
  long line() const { return line_base_ + reader_.line_number(); }

  Status fail(const std::string& what) const { return parse_error(name_, line(), what); }

  Status read_line(Frame& child);
  Status read_object(std::string_view key, Frame& child);
  Status read_mesh(std::string_view key, Frame& child);
  Status read_material(std::string_view key, Frame& child, bool& stop);
  Status read_map(std::string_view key, Frame& child);
  void read_light(std::string_view key, Frame& child);
  Result<std::size_t> declare(bool& declared, std::size_t EntryLines::*lines, std::size_t entry_bytes,
                              const char* what);
  Status finish_object();

  Status mesh_vertex();
  Status mesh_face();
  Status mesh_tvert();
  Status mesh_tface_cface(bool colour);
  Status mesh_vertcol();
  Status mesh_weights_vertex();

  MaxObject* object() {
    return current_object_ < 0 ? nullptr : &scene_.objects[static_cast<std::size_t>(current_object_)];
  }
  SceneMaterial& material_of(const Frame& f) {
    MaterialBlock& block = (*blocks_)[static_cast<std::size_t>(current_material_)];
    return f.sub < 0 ? block.top : block.subs[static_cast<std::size_t>(f.sub)];
  }

  std::string_view text_;  // the range read, from byte `text_base_` of the file
  std::size_t text_base_;
  const std::string& name_;
  ImportedScene& scene_;
  std::vector<MaterialBlock>* blocks_;
  Role role_;
  LineReader reader_;
  long line_base_;

  std::vector<Frame> stack_;
  int current_material_ = -1;
  int current_object_ = -1;
  int current_light_ = -1;
  std::size_t objects_started_;
  std::size_t lights_started_;
  const Outline& outline_;
  // Per object: which counts were declared already (a count may be given once).
  bool declared_verts_ = false, declared_tverts_ = false, declared_faces_ = false, declared_cverts_ = false;
  // Per object: the memory its lists take and the bytes of its block after
  // its first count, and the entry lines once they were counted.
  std::size_t list_bytes_ = 0, list_budget_ = 0;
  EntryLines entry_lines_;
  bool entry_lines_counted_ = false;
  // Which vertices and faces of the current object were given, and how many.
  std::vector<bool> verts_given_, faces_given_;
  std::size_t verts_given_count_ = 0, faces_given_count_ = 0;
};

// Pass 1: objects and lights at the outer level, the material lists, and
// cuts near every `chunk` bytes. Only the first token of a line at depth 0
// and the brace tokens matter here, so lines inside blocks are split only
// when they hold a brace character at all.
Outline outline_of(std::string_view text, std::size_t chunk) {
  Outline out;
  out.lines_total = static_cast<long long>(std::count(text.begin(), text.end(), '\n')) + 1;
  out.cuts.push_back(Cut{});
  std::size_t next_cut = chunk;
  LineReader pass1(text, kMaxLine);
  LineTokenizer t;
  long depth = 0;
  bool open_list = false;
  std::size_t open_object = 0;  // index + 1 of the object whose block is open
  std::string_view raw;
  while (pass1.next_raw(raw)) {
    if (depth > 0 && std::memchr(raw.data(), '{', raw.size()) == nullptr &&
        std::memchr(raw.data(), '}', raw.size()) == nullptr) {
      continue;
    }
    if (t.split(raw) == 0 || t[0].front() == '/') continue;
    if (depth == 0) {
      const std::size_t offset = pass1.offset();
      if (open_list) {
        out.materials.back().end = offset;
        open_list = false;
      }
      if (offset >= next_cut) {
        out.cuts.push_back(Cut{offset, pass1.line_number(), out.objects, out.lights});
        next_cut = offset + chunk;
      }
      const std::string_view key = t[0];
      if (iequals(key, "*GEOMOBJECT") || iequals(key, "*HELPEROBJECT")) {
        out.object_end.push_back(text.size());
        open_object = ++out.objects;
      } else if (iequals(key, "*LIGHTOBJECT")) {
        ++out.lights;
      } else if (iequals(key, "*MATERIAL_LIST")) {
        out.materials.push_back(MaterialSegment{offset, text.size(), pass1.line_number(), out.objects, out.lights});
        open_list = true;
      }
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
      const std::string_view tok = t[i];
      if (tok.size() != 1) continue;
      if (tok[0] == '{') ++depth;
      else if (tok[0] == '}' && depth > 0) --depth;
    }
    if (depth == 0 && open_object != 0) {
      out.object_end[open_object - 1] = text.size() - pass1.remaining_bytes();
      open_object = 0;
    }
  }
  return out;
}

Result<std::size_t> AseParser::declare(bool& declared, std::size_t EntryLines::*lines, std::size_t entry_bytes,
                                       const char* what) {
  if (declared) return fail(std::string(what) + " given twice for one object").error();
  const std::string_view token = reader_[1];
  const int count = parse_int(token);
  if (count < 0) return fail(std::string("negative ") + what).error();
  const auto n = static_cast<std::size_t>(count);
  // Each entry needs a line of its own with its keyword, after the count and
  // within the object's block. Lists that take no more memory than the rest
  // of the block has bytes are taken on trust (an entry that does not come
  // is an error at the object's end); beyond that, the entry lines are
  // counted, once per object, and a count they cannot fill is refused before
  // anything is allocated. The count is reported as written (a huge one is
  // not cut down).
  const std::size_t here = text_.size() - reader_.remaining_bytes();
  const std::size_t end = std::max(outline_.object_end[static_cast<std::size_t>(current_object_)] - text_base_, here);
  if (!entry_lines_counted_) {
    if (list_bytes_ == 0) list_budget_ = end - here;
    if (n * entry_bytes <= list_budget_ - list_bytes_) {
      list_bytes_ += n * entry_bytes;
      declared = true;
      return n;
    }
    entry_lines_ = count_entry_lines(text_.substr(here, end - here));
    entry_lines_counted_ = true;
  }
  if (n > entry_lines_.*lines) {
    return fail(std::string(what) + " " + std::string(token) + " is more than the object's block can hold").error();
  }
  declared = true;
  return n;
}

bool AseParser::run() {
  stack_.push_back(Frame{});
  while (reader_.next()) {
    Frame child = stack_.back();
    child.ctx = Ctx::kSkip;
    bool stop = false;
    Status s;
    if (stack_.back().ctx == Ctx::kMaterial || stack_.back().ctx == Ctx::kMaterialList) {
      // Material keywords may end the reading ("Too many submaterials!").
      s = read_material(reader_[0], child, stop);
      if (stop) {
        stop_line = line();
        return true;
      }
    } else {
      s = read_line(child);
    }
    if (!s) {
      error = s.error();
      error_line = line();
      return false;
    }
    // Braces take effect after the line has been read.
    const LineTokenizer& t = reader_.tokens();
    if (!t.has_brace()) continue;
    bool opened = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
      const std::string_view tok = t[i];
      if (tok.size() != 1) continue;
      if (tok[0] == '{') {
        Frame f = opened ? stack_.back() : child;
        if (opened) f.ctx = Ctx::kSkip;
        opened = true;
        stack_.push_back(f);
      } else if (tok[0] == '}') {
        // An unbalanced closing brace at the outer level is not an error.
        if (stack_.size() > 1) {
          const bool object_closed = stack_.size() == 2 && stack_.back().ctx == Ctx::kObject;
          stack_.pop_back();
          if (object_closed) s = finish_object();
        }
      }
    }
    if (!s) {
      error = s.error();
      error_line = line();
      return false;
    }
  }
  // An object left open by the end of the file ends there.
  if (stack_.size() > 1 && stack_[1].ctx == Ctx::kObject) {
    if (Status s = finish_object(); !s) {
      error = s.error();
      error_line = line();
      return false;
    }
  }
  return true;
}

// Every vertex and face an object declares must be given: a missing one
// would silently become a vertex at the origin or a face on vertex 0.
Status AseParser::finish_object() {
  const MaxObject* o = object();
  if (o == nullptr) return {};
  const auto missing = [&](std::size_t given, std::size_t declared, const char* what) {
    return fail("object \"" + o->name.str() + "\": only " + std::to_string(given) + " of its " +
                std::to_string(declared) + " " + what + " are given");
  };
  if (verts_given_count_ < o->verts.size()) return missing(verts_given_count_, o->verts.size(), "vertices");
  if (faces_given_count_ < o->faces.size()) return missing(faces_given_count_, o->faces.size(), "faces");
  if (!o->faces.empty() && o->verts.empty()) {
    return fail("object \"" + o->name.str() + "\" has faces but no vertices");
  }
  return {};
}

Status AseParser::read_line(Frame& child) {
  const std::string_view key = reader_[0];
  Frame& f = stack_.back();
  switch (f.ctx) {
    case Ctx::kRoot:
      if (role_ == Role::kMaterials) {
        if (iequals(key, "*MATERIAL_LIST")) child.ctx = Ctx::kMaterialList;
        return {};
      }
      if (iequals(key, "*GEOMOBJECT") || iequals(key, "*HELPEROBJECT")) {
        if (objects_started_ >= scene_.objects.size()) return {};
        current_object_ = static_cast<int>(objects_started_++);
        MaxObject& o = *object();
        o = MaxObject{};
        o.line = line();
        declared_verts_ = declared_tverts_ = declared_faces_ = declared_cverts_ = false;
        entry_lines_counted_ = false;
        list_bytes_ = list_budget_ = 0;
        verts_given_.clear();
        faces_given_.clear();
        verts_given_count_ = faces_given_count_ = 0;
        child.ctx = Ctx::kObject;
      } else if (iequals(key, "*LIGHTOBJECT")) {
        if (lights_started_ >= scene_.lights.size()) return {};
        current_light_ = static_cast<int>(lights_started_++);
        child.ctx = Ctx::kLight;
      }
      return {};
    case Ctx::kObject:
    case Ctx::kObjectTm: return read_object(key, child);
    case Ctx::kMesh: return read_mesh(key, child);
    case Ctx::kMap: return read_map(key, child);
    case Ctx::kLight:
    case Ctx::kLightTm:
    case Ctx::kLightSettings: read_light(key, child); return {};
    case Ctx::kSkip:
    case Ctx::kMaterialList:
    case Ctx::kMaterial: return {};
  }
  return {};
}

void read_rows_turned(const LineReader& r, Row3& out, bool second_form) {
  const float x = static_cast<float>(parse_real(r[1]));
  const float y = static_cast<float>(parse_real(r[2]));
  const float z = static_cast<float>(parse_real(r[3]));
  if (second_form) {
    out = {y, -x, -z};
  } else {
    out = {-y, x, z};
  }
}

Status AseParser::read_object(std::string_view key, Frame& child) {
  MaxObject* o = object();
  if (o == nullptr) return {};
  if (stack_.back().ctx == Ctx::kObjectTm) {
    // "*TM_ROW0" gives the second stored row, "*TM_ROW1" the first (turned
    // the other way), rows 2 and 3 keep their places.
    if (iequals(key, "*TM_ROW0")) read_rows_turned(reader_, o->rows[1], false);
    else if (iequals(key, "*TM_ROW1")) read_rows_turned(reader_, o->rows[0], true);
    else if (iequals(key, "*TM_ROW2")) read_rows_turned(reader_, o->rows[2], false);
    else if (iequals(key, "*TM_ROW3")) read_rows_turned(reader_, o->rows[3], false);
    return {};
  }
  if (iequals(key, "*NODE_NAME")) o->name = reader_[1];
  else if (iequals(key, "*NODE_PARENT")) o->parent = reader_[1];
  else if (iequals(key, "*NODE_BONENUMBER")) o->bone = parse_int(reader_[1]);
  else if (iequals(key, "*MATERIAL_REF")) o->material_ref = parse_int(reader_[1]);
  else if (iequals(key, "*MESH")) child.ctx = Ctx::kMesh;
  else if (iequals(key, "*NODE_TM")) child.ctx = Ctx::kObjectTm;
  return {};
}

Status AseParser::read_mesh(std::string_view key, Frame& child) {
  MaxObject* o = object();
  if (o == nullptr) return {};
  // The list entries first: they are nearly every line of a large file.
  if (key.size() >= 10 && (key[1] == 'M' || key[1] == 'm')) {
    if (iequals(key, "*MESH_VERTEX")) return mesh_vertex();
    if (iequals(key, "*MESH_FACE")) return mesh_face();
    if (iequals(key, "*MESH_TVERT")) return mesh_tvert();
    if (iequals(key, "*MESH_TFACE")) return mesh_tface_cface(false);
    if (iequals(key, "*MESH_CFACE")) return mesh_tface_cface(true);
    if (iequals(key, "*MESH_VERTCOL")) return mesh_vertcol();
    if (iequals(key, "*MESH_WEIGHTSVERTEX")) return mesh_weights_vertex();
  }
  if (iequals(key, "*MESH_NUMVERTEX")) {
    const Result<std::size_t> n = declare(declared_verts_, &EntryLines::vertices, sizeof(Vec3), "*MESH_NUMVERTEX");
    if (!n) return n.error();
    o->verts.assign(*n, Vec3{});
    verts_given_.assign(*n, false);
    o->weights.clear();
  } else if (iequals(key, "*MESH_NUMTVERTEX")) {
    const Result<std::size_t> n = declare(declared_tverts_, &EntryLines::tverts, sizeof(Vec3), "*MESH_NUMTVERTEX");
    if (!n) return n.error();
    o->tverts.assign(*n, Vec3{});
  } else if (iequals(key, "*MESH_NUMFACES")) {
    const Result<std::size_t> n = declare(declared_faces_, &EntryLines::faces, sizeof(SceneFace), "*MESH_NUMFACES");
    if (!n) return n.error();
    o->faces.assign(*n, SceneFace{});
    faces_given_.assign(*n, false);
  } else if (iequals(key, "*MESH_NUMCVERTEX")) {
    const Result<std::size_t> n = declare(declared_cverts_, &EntryLines::cverts, sizeof(int32_t), "*MESH_NUMCVERTEX");
    if (!n) return n.error();
    o->cverts.assign(*n, 0);
  } else if (iequals(key, "*MESH_NUMCVFACES")) {
    o->num_cvfaces = parse_int(reader_[1]);
  } else if (iequals(key, "*MESH_VERTEX_LIST") || iequals(key, "*MESH_FACE_LIST") || iequals(key, "*MESH_TVERTLIST") ||
             iequals(key, "*MESH_TFACELIST") || iequals(key, "*MESH_CVERTLIST") || iequals(key, "*MESH_CFACELIST")) {
    child.ctx = Ctx::kMesh;
  } else if (iequals(key, "*MESH_WEIGHTS")) {
    o->skinned = true;
    child.ctx = Ctx::kMesh;
  }
  return {};
}

// Index of a list entry, checked against the list's declared size.
bool entry_index(std::string_view token, std::size_t size, std::size_t& out) {
  const int i = parse_int(token);
  if (i < 0 || static_cast<std::size_t>(i) >= size) return false;
  out = static_cast<std::size_t>(i);
  return true;
}

std::string out_of_range(const char* what, std::string_view token, std::size_t size) {
  return std::string(what) + " " + std::string(token) + " is outside the list of " + std::to_string(size);
}

Status AseParser::mesh_vertex() {
  MaxObject& o = *object();
  std::size_t i;
  if (!entry_index(reader_[1], o.verts.size(), i))
    return fail(out_of_range("vertex index", reader_[1], o.verts.size()));
  const float x = static_cast<float>(parse_real(reader_[2]));
  const float y = static_cast<float>(parse_real(reader_[3]));
  const float z = static_cast<float>(parse_real(reader_[4]));
  o.verts[i] = {-y, x, z};
  if (!verts_given_[i]) {
    verts_given_[i] = true;
    ++verts_given_count_;
  }
  return {};
}

Status AseParser::mesh_face() {
  // Read by position: 1 index, 3/5/7 corners, 9/11/13 edge flags, 15 up to
  // the third-last token the smoothing groups, the last the sub-material id.
  MaxObject& o = *object();
  const LineTokenizer& t = reader_.tokens();
  if (t.size() < 8) return fail("face line with too few values");
  std::size_t i;
  if (!entry_index(t[1], o.faces.size(), i)) return fail(out_of_range("face index", t[1], o.faces.size()));
  SceneFace& f = o.faces[i];
  if (!faces_given_[i]) {
    faces_given_[i] = true;
    ++faces_given_count_;
  }
  for (int k = 0; k < 3; ++k) {
    const int v = parse_int(t[static_cast<std::size_t>(3 + 2 * k)]);
    if (v < 0 || static_cast<std::size_t>(v) >= o.verts.size()) {
      return fail(out_of_range("face corner", t[static_cast<std::size_t>(3 + 2 * k)], o.verts.size()));
    }
    f.v[static_cast<std::size_t>(k)] = v;
    f.edge[static_cast<std::size_t>(k)] = static_cast<uint8_t>(parse_int(t[static_cast<std::size_t>(9 + 2 * k)]));
  }
  f.v[3] = f.v[0];
  f.edge[3] = f.edge[0];
  uint32_t mask = 0;
  for (std::size_t k = 15; k + 2 < t.size(); ++k) {
    mask |= 1u << (static_cast<unsigned>(parse_int(t[k])) & 31u);
  }
  f.smoothing = mask;
  f.submat_id = parse_int(t.back());
  return {};
}

Status AseParser::mesh_tvert() {
  MaxObject& o = *object();
  std::size_t i;
  if (!entry_index(reader_[1], o.tverts.size(), i)) {
    return fail(out_of_range("texture vertex index", reader_[1], o.tverts.size()));
  }
  o.tverts[i] = {static_cast<float>(parse_real(reader_[2])), static_cast<float>(parse_real(reader_[3])),
                 static_cast<float>(parse_real(reader_[4]))};
  return {};
}

Status AseParser::mesh_tface_cface(bool colour) {
  MaxObject& o = *object();
  std::size_t i;
  if (!entry_index(reader_[1], o.faces.size(), i)) return fail(out_of_range("face index", reader_[1], o.faces.size()));
  const std::size_t size = colour ? o.cverts.size() : o.tverts.size();
  std::array<int32_t, 3> idx{};
  for (int k = 0; k < 3; ++k) {
    const std::string_view tok = reader_[static_cast<std::size_t>(2 + k)];
    const int v = parse_int(tok);
    if (v < 0 || static_cast<std::size_t>(v) >= size) {
      return fail(out_of_range(colour ? "colour vertex index" : "texture vertex index", tok, size));
    }
    idx[static_cast<std::size_t>(k)] = v;
  }
  SceneFace& f = o.faces[i];
  if (colour) {
    f.c = idx;
  } else {
    f.t = {idx[0], idx[1], idx[2], idx[0]};
  }
  return {};
}

int colour_byte(double channel) {
  // trunc(channel x 255), kept within a byte so that a value outside 0..1
  // cannot spill into the neighbouring channel.
  const double v = std::trunc(channel * 255.0);
  return static_cast<int>(std::clamp(v, 0.0, 255.0));
}

Status AseParser::mesh_vertcol() {
  MaxObject& o = *object();
  std::size_t i;
  if (!entry_index(reader_[1], o.cverts.size(), i)) {
    return fail(out_of_range("colour vertex index", reader_[1], o.cverts.size()));
  }
  o.cverts[i] = (colour_byte(parse_real(reader_[2])) << 16) + (colour_byte(parse_real(reader_[3])) << 8) +
                colour_byte(parse_real(reader_[4]));
  return {};
}

Status AseParser::mesh_weights_vertex() {
  MaxObject& o = *object();
  std::size_t i;
  if (!entry_index(reader_[1], o.verts.size(), i)) {
    return fail(out_of_range("weighted vertex index", reader_[1], o.verts.size()));
  }
  if (o.weights.size() != o.verts.size()) o.weights.assign(o.verts.size(), SkinWeight{});
  SkinWeight& w = o.weights[i];
  bool parentless = true;
  for (std::size_t k = 0; k < 4; ++k) {
    w.bones[k] = static_cast<int8_t>(static_cast<uint8_t>(parse_int(reader_[2 + k]) & 0xff));
    w.weights[k] = static_cast<float>(parse_real(reader_[6 + k]));
    parentless = parentless && w.bones[k] == -1;
  }
  if (parentless && parentless_line == 0) parentless_line = line();
  return {};
}

Status AseParser::read_material(std::string_view key, Frame& child, bool& stop) {
  Frame& f = stack_.back();
  if (f.ctx == Ctx::kMaterialList) {
    if (iequals(key, "*MATERIAL")) {
      const int n = parse_int(reader_[1]);
      if (n < 0 || n >= kMaxTopMaterials) {
        return fail("material number " + std::string(reader_[1]) + " is outside 0 to 511");
      }
      if (static_cast<std::size_t>(n) >= blocks_->size()) blocks_->resize(static_cast<std::size_t>(n) + 1);
      (*blocks_)[static_cast<std::size_t>(n)].defined = true;
      current_material_ = n;
      child.ctx = Ctx::kMaterial;
      child.sub = -1;
    }
    return {};
  }
  // Inside a material or a sub-material.
  if (current_material_ < 0) return {};
  SceneMaterial& m = material_of(f);
  if (iequals(key, "*MATERIAL_NAME")) {
    m.name = reader_[1];
  } else if (iequals(key, "*SUBMATERIAL")) {
    const int k = parse_int(reader_[1]);
    if (k < 0 || k >= kMaxSubMaterials) {
      stop = true;  // "Too many submaterials!"
      return {};
    }
    child.ctx = Ctx::kMaterial;
    child.sub = k;
  } else if (iequals(key, "*MATERIAL_TWOSIDED")) {
    m.flags |= kSceneMaterialTwoSided;
  } else if (iequals(key, "*MAP_DIFFUSE")) {
    child.ctx = Ctx::kMap;
    child.map = MapKind::kDiffuse;
    child.composite = false;
    child.layer = 0;
  } else if (iequals(key, "*MAP_OPACITY")) {
    child.ctx = Ctx::kMap;
    child.map = MapKind::kOpacity;
    child.composite = false;
    child.layer = 0;
  }
  return {};
}

Status AseParser::read_map(std::string_view key, Frame& child) {
  Frame& f = stack_.back();
  if (current_material_ < 0) return {};
  SceneMaterial& m = material_of(f);
  const std::size_t layer = f.composite ? static_cast<std::size_t>(f.layer) : 0;
  auto& textures = f.map == MapKind::kDiffuse ? m.diffuse : m.opacity;
  if (iequals(key, "*MAP_CLASS")) {
    if (iequals(reader_[1], "RGB Multiply")) f.composite = true;
  } else if (iequals(key, "*MAP_SUBNO")) {
    if (f.composite) {
      const int n = parse_int(reader_[1]);
      if (n == 0 || n == 1) f.layer = n;
    }
  } else if (iequals(key, "*BITMAP")) {
    textures[layer] = file_part(reader_[1]);
    if (f.composite) m.flags |= kSceneMaterialSecondLayer;
  } else if (iequals(key, "*UVW_U_OFFSET")) {
    m.u_offset[layer] = static_cast<float>(parse_real(reader_[1]));
  } else if (iequals(key, "*UVW_V_OFFSET")) {
    m.v_offset[layer] = static_cast<float>(parse_real(reader_[1]));
  } else if (iequals(key, "*UVW_U_TILING")) {
    m.u_tiling[layer] = static_cast<float>(parse_real(reader_[1]));
  } else if (iequals(key, "*UVW_V_TILING")) {
    m.v_tiling[layer] = static_cast<float>(parse_real(reader_[1]));
  }
  // Maps nested in a map (the layers of a composite) are read as part of it.
  child = f;
  child.ctx = Ctx::kMap;
  return {};
}

void AseParser::read_light(std::string_view key, Frame& child) {
  if (current_light_ < 0) return;
  SceneLight& l = scene_.lights[static_cast<std::size_t>(current_light_)];
  switch (stack_.back().ctx) {
    case Ctx::kLight:
      if (iequals(key, "*NODE_NAME")) l.name = reader_[1];
      else if (iequals(key, "*LIGHT_SETTINGS")) child.ctx = Ctx::kLightSettings;
      else if (iequals(key, "*NODE_TM")) child.ctx = Ctx::kLightTm;
      break;
    case Ctx::kLightTm:
      if (iequals(key, "*TM_POS")) {
        const float x = static_cast<float>(parse_real(reader_[1]));
        const float y = static_cast<float>(parse_real(reader_[2]));
        l.x = -y;
        l.y = x;
        l.z = static_cast<float>(parse_real(reader_[3]));
      }
      break;
    case Ctx::kLightSettings:
      if (iequals(key, "*LIGHT_COLOR")) {
        l.r = static_cast<float>(parse_real(reader_[1]));
        l.g = static_cast<float>(parse_real(reader_[2]));
        l.b = static_cast<float>(parse_real(reader_[3]));
      } else if (iequals(key, "*LIGHT_INTENS")) {
        l.intensity = static_cast<float>(parse_real(reader_[1]));
      } else if (iequals(key, "*LIGHT_ATTNSTART")) {
        l.atten_start = static_cast<float>(parse_real(reader_[1]));
      } else if (iequals(key, "*LIGHT_ATTNEND")) {
        l.atten_end = static_cast<float>(parse_real(reader_[1]));
      }
      break;
    default: break;
  }
}

void finish_materials(ImportedScene& scene, std::vector<MaterialBlock>& blocks, UserNotifier& notifier) {
  // Every face marks the material it uses: the sub-material with the face's
  // id when that one has a name, else the top-level material.
  constexpr int kTop = -1;
  auto resolve = [&](const MaxObject& o, const SceneFace& f, int& block, int& sub) {
    block = o.material_ref;
    sub = kTop;
    if (block < 0 || static_cast<std::size_t>(block) >= blocks.size() ||
        !blocks[static_cast<std::size_t>(block)].defined) {
      block = -1;
      return;
    }
    if (f.submat_id >= 0 && f.submat_id < kMaxSubMaterials &&
        !blocks[static_cast<std::size_t>(block)].subs[static_cast<std::size_t>(f.submat_id)].name.empty()) {
      sub = f.submat_id;
    }
  };
  for (const MaxObject& o : scene.objects) {
    for (const SceneFace& f : o.faces) {
      int block, sub;
      resolve(o, f, block, sub);
      if (block < 0) continue;
      MaterialBlock& b = blocks[static_cast<std::size_t>(block)];
      (sub == kTop ? b.top : b.subs[static_cast<std::size_t>(sub)]).used = true;
    }
  }

  // Flatten: used sub-materials in order, else the used top-level material.
  std::vector<int> top_flat(blocks.size(), -1);
  std::vector<std::array<int, kMaxSubMaterials>> sub_flat(blocks.size());
  char line[160];
  for (std::size_t n = 0; n < blocks.size(); ++n) {
    MaterialBlock& b = blocks[n];
    sub_flat[n].fill(-1);
    long taken = 0;
    for (std::size_t k = 0; k < kMaxSubMaterials; ++k) {
      if (!b.subs[k].used) continue;
      sub_flat[n][k] = static_cast<int>(scene.materials.size());
      scene.materials.push_back(b.subs[k]);
      ++taken;
    }
    if (taken > 0) {
      std::snprintf(line, sizeof line, "Material: \"%s\"  %ld submaterials", b.top.name.c_str(), taken);
      notifier.log(line);
    }
    if (b.top.used) {
      // A face may use the top-level material of a block whose sub-materials
      // were taken too (its id names no sub-material); it still needs a flat
      // material of its own.
      top_flat[n] = static_cast<int>(scene.materials.size());
      scene.materials.push_back(b.top);
      if (taken == 0) {
        std::snprintf(line, sizeof line, "Material: \"%s\"", b.top.name.c_str());
        notifier.log(line);
      }
    }
  }
  for (MaxObject& o : scene.objects) {
    for (SceneFace& f : o.faces) {
      int block, sub;
      resolve(o, f, block, sub);
      if (block < 0) {
        f.flat_material = -1;
      } else {
        f.flat_material = sub == kTop ? top_flat[static_cast<std::size_t>(block)]
                                      : sub_flat[static_cast<std::size_t>(block)][static_cast<std::size_t>(sub)];
      }
    }
  }
}

}  // namespace

Status ase_parse(std::string_view text, const std::string& display_name, ImportedScene& scene, UserNotifier& notifier,
                 const AseParseOptions& options) {
  notifier.log(kParsingLine);
  scene.release();
  if (Status s = check_text_encoding(text, display_name); !s) return s;

  // Large files are read by several threads, each from a cut at the outer
  // level; the result is the same as reading from the first line to the last.
  std::size_t threads = options.threads;
  if (threads == 0) threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
  const std::size_t per_thread = std::max<std::size_t>(options.min_bytes_per_thread, 1);
  threads = std::clamp<std::size_t>(std::min(threads, text.size() / per_thread), 1, 64);
  const Outline outline = outline_of(text, threads > 1 ? text.size() / threads : text.size() + 1);
  scene.objects.resize(outline.objects);
  scene.lights.resize(outline.lights);

  // The material lists first, in order: a list may end the reading.
  std::vector<MaterialBlock> blocks;
  std::vector<AseParser> readers;
  readers.reserve(outline.cuts.size() + outline.materials.size());
  const MaterialSegment* stopped_in = nullptr;
  for (const MaterialSegment& m : outline.materials) {
    readers.emplace_back(text.substr(m.begin, m.end - m.begin), m.begin, display_name, scene, &blocks, Role::kMaterials,
                         m.line, m.objects_before, m.lights_before, outline);
    if (!readers.back().run()) break;
    if (readers.back().stop_line != 0) {
      stopped_in = &m;
      break;
    }
  }
  const std::size_t material_readers = readers.size();

  // Then the objects and lights, one range of the file per thread.
  for (std::size_t c = 0; c < outline.cuts.size(); ++c) {
    const Cut& cut = outline.cuts[c];
    const std::size_t end = c + 1 < outline.cuts.size() ? outline.cuts[c + 1].offset : text.size();
    readers.emplace_back(text.substr(cut.offset, end - cut.offset), cut.offset, display_name, scene, &blocks,
                         Role::kObjects, cut.line, cut.objects_before, cut.lights_before, outline);
  }
  tools::parallel_for(readers.size() - material_readers, static_cast<int>(threads),
                      [&](std::size_t r) { readers[material_readers + r].run(); });

  // Merge in file order: the earliest error wins, a stop drops what
  // follows it.
  long error_line = std::numeric_limits<long>::max();
  std::optional<Error> error;
  for (const AseParser& r : readers) {
    if (r.error && r.error_line < error_line) {
      error_line = r.error_line;
      error = r.error;
    }
  }
  const long stop_line = stopped_in != nullptr ? readers[material_readers - 1].stop_line : 0;
  const bool stopped = stop_line != 0 && stop_line < error_line;
  long parentless = 0;
  for (std::size_t r = material_readers; r < readers.size(); ++r) {
    if (readers[r].parentless_line != 0) {
      parentless = readers[r].parentless_line;
      break;
    }
  }
  const long limit = stopped ? stop_line : error_line;
  if (parentless != 0 && parentless < limit) notifier.message(kParentlessVert, kParentlessVertCaption);
  if (stopped) {
    notifier.message(kTooManySubmaterials, kTooManySubmaterialsCaption);
    // What follows the stop is never read: those objects stay empty.
    for (std::size_t i = stopped_in->objects_before; i < scene.objects.size(); ++i) scene.objects[i] = MaxObject{};
    for (std::size_t i = stopped_in->lights_before; i < scene.lights.size(); ++i) scene.lights[i] = SceneLight{};
  } else if (error) {
    return *error;
  }

  if (scene.objects.empty()) {
    return data_error(display_name, -1, "the scene holds no geometry or helper object", kAseNoObjects);
  }
  for (const MaxObject& o : scene.objects) {
    scene.skinned = scene.skinned || o.skinned;
  }
  finish_materials(scene, blocks, notifier);
  scene.origin |= kSceneOriginAse;
  return {};
}

Status ase_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier, const AseParseOptions& options) {
  Result<FileText> text = FileText::open(path, kMaxSceneBytes);
  if (!text) {
    scene.release();
    Error e = text.error();  // the file's own words and place; the reader's code
    e.code = kAseCannotOpen;
    return e;
  }
  return ase_parse(text->view(), path, scene, notifier, options);
}

}  // namespace orvo
