#include "orvo/import/asc.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "orvo/model/base.h"

namespace orvo {

namespace {

// One "Named object:" of the file, as the index pass finds it.
struct Entry {
  Name80 name;
  bool tri_mesh = false;
  long line = 0;           // the "Named object:" line
  long lines = 0;          // lines up to the next entry (the last one runs to the end)
  std::size_t offset = 0;  // byte position of the "Tri-mesh" line
  long mesh_line = 0;      // line of the "Tri-mesh" line
  // Entry lines after the "Tri-mesh" line, within the entry: what the
  // declared counts can be filled from at most.
  std::size_t vertex_lines = 0;  // "Vertex i ..."
  std::size_t face_lines = 0;    // "Face i ..."
};

// Reads a whole number at the start of `text` (an optional sign, then digits;
// whatever follows, such as the colon of "12:", is ignored). False when
// there are no digits.
bool leading_int(std::string_view text, int& out) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  out = parse_int(text);
  return true;
}

// The text of a "label:value" token after its label of `n` characters.
std::string_view after(std::string_view token, std::size_t n) {
  return token.size() > n ? token.substr(n) : std::string_view{};
}

float real_after(std::string_view token, std::size_t n) {
  return static_cast<float>(parse_real(after(token, n)));
}

// The whole number at the start of `text` as written (sign and digits), for
// messages: a count too large for any list is reported as the file gives it.
std::string_view leading_number_text(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  return text.substr(0, i);
}

// Entry lines of the vertex and face lists, as the mesh reader takes them.
bool is_vertex_entry(const LineReader& r) {
  int index = 0;
  return r[0] == "Vertex" && leading_int(r[1], index);
}
bool is_face_entry(const LineReader& r) {
  int index = 0;
  return iequals(r[0], "face") && leading_int(r[1], index);
}

// Pass 1: the objects of the file. An object is a triangle mesh when the
// first line after its name (page headers of the print layout aside) begins
// with "Tri-mesh".
std::vector<Entry> index_entries(std::string_view text) {
  std::vector<Entry> entries;
  LineReader r(text, kMaxLine);
  bool after_name = false;
  long last_line = 0;
  while (r.next()) {
    last_line = r.line_number();
    if (after_name) {
      if (iequals(r[0], "page")) continue;
      after_name = false;
      if (istarts_with(r[0], "Tri-mesh")) {
        Entry& e = entries.back();
        e.tri_mesh = true;
        e.offset = r.offset();
        e.mesh_line = r.line_number();
        continue;
      }
    }
    if (r.size() >= 3 && iequals(r[0], "Named") && iequals(r[1], "Object:")) {
      if (!entries.empty()) entries.back().lines = r.line_number() - entries.back().line;
      Entry e;
      e.name = r[2];
      e.line = r.line_number();
      entries.push_back(e);
      after_name = true;
      continue;
    }
    if (!entries.empty() && entries.back().tri_mesh) {
      if (is_vertex_entry(r)) ++entries.back().vertex_lines;
      else if (is_face_entry(r)) ++entries.back().face_lines;
    }
  }
  if (!entries.empty()) entries.back().lines = last_line - entries.back().line + 1;
  return entries;
}

// Pass 2: one triangle mesh, from its "Tri-mesh" line to the end of its
// entry. The lists grow as their entries arrive, so memory follows what the
// file gives, not what it declares.
class MeshReader {
 public:
  MeshReader(std::string_view text, const std::string& name, const Entry& entry, MaxObject& object)
      : name_(name), entry_(entry), o_(object), reader_(text.substr(entry.offset), kMaxLine) {}

  Status run();

 private:
  enum class List : unsigned char { kNotOpened, kOpen, kDone };

  long line() const { return entry_.mesh_line - 1 + reader_.line_number(); }
  Status fail(const std::string& what) const { return fail_at(line(), what); }
  Status fail_at(long at, const std::string& what) const { return parse_error(name_, at, what); }

  Status read_counts();
  Status vertex_line();
  Status face_line();
  void smoothing_line();
  Status finish();

  const std::string& name_;
  const Entry& entry_;
  MaxObject& o_;
  LineReader reader_;

  // The counts of the "Tri-mesh" line, and as written there.
  std::size_t vertices_declared_ = 0;
  std::size_t faces_declared_ = 0;
  std::string vertices_text_, faces_text_;

  bool mapped_ = false;
  List vertices_ = List::kNotOpened;
  List faces_ = List::kNotOpened;
  bool faces_cut_ = false;  // an out-of-order face number ended the face list
  long last_line_ = 0;      // the last line of the object read
  // The face that "Material:" and "Smoothing:" lines belong to, if any.
  static constexpr std::size_t kNoFace = static_cast<std::size_t>(-1);
  std::size_t current_face_ = kNoFace;
};

Status MeshReader::read_counts() {
  // "Tri-mesh, Vertices: 8     Faces: 12": each count follows its label.
  int vertices = -1, faces = -1;
  bool has_vertices = false, has_faces = false;
  for (std::size_t i = 1; i + 1 < reader_.size(); ++i) {
    if (!has_vertices && iequals(reader_[i], "Vertices:")) {
      has_vertices = leading_int(reader_[i + 1], vertices);
      vertices_text_ = leading_number_text(reader_[i + 1]);
    } else if (!has_faces && iequals(reader_[i], "Faces:")) {
      has_faces = leading_int(reader_[i + 1], faces);
      faces_text_ = leading_number_text(reader_[i + 1]);
    }
  }
  if (!has_vertices) return fail("the Tri-mesh line gives no vertex count (\"Vertices: n\")");
  if (!has_faces) return fail("the Tri-mesh line gives no face count (\"Faces: n\")");
  if (vertices < 0) return fail("negative vertex count " + vertices_text_);
  if (faces < 0) return fail("negative face count " + faces_text_);
  // Faces that are not given stay on vertex 0, which must exist.
  if (faces > 0 && vertices == 0) {
    return fail("object \"" + o_.name.str() + "\" declares " + faces_text_ + " faces but no vertices");
  }
  vertices_declared_ = static_cast<std::size_t>(vertices);
  faces_declared_ = static_cast<std::size_t>(faces);
  // Room for what the entry's lines can give at most.
  o_.verts.reserve(std::min(vertices_declared_, entry_.vertex_lines));
  o_.tverts.reserve(std::min(vertices_declared_, entry_.vertex_lines));
  o_.faces.reserve(std::min(faces_declared_, entry_.face_lines));
  if (vertices == 0) vertices_ = List::kDone;
  if (faces == 0) faces_ = List::kDone;
  return {};
}

Status MeshReader::run() {
  reader_.next();  // the "Tri-mesh" line
  last_line_ = line();
  if (Status s = read_counts(); !s) return s;
  const long end = entry_.line + entry_.lines;
  while (reader_.next() && line() < end) {
    last_line_ = line();
    const std::string_view key = reader_[0];
    Status s;
    if (iequals(key, "mapped")) {
      mapped_ = true;
    } else if (iequals(key, "vertex")) {
      s = vertex_line();
    } else if (iequals(key, "face")) {
      s = face_line();
    } else if (iequals(key, "Smoothing:")) {
      smoothing_line();
    }
    // A "Material:" line names the face's material; the Model takes its
    // materials from the 3DA file, so the name is not kept. Page headers
    // and anything else are skipped.
    if (!s) return s;
  }
  return finish();
}

// At the object's end every declared vertex must have been given, and every
// declared face unless an out-of-order face number ended the list: missing
// vertices would silently sit at the origin and missing faces on vertex 0.
Status MeshReader::finish() {
  const auto missing = [&](std::size_t given, const std::string& declared, const char* what) {
    return fail_at(last_line_, "object \"" + o_.name.str() + "\": only " + std::to_string(given) + " of its " +
                                   declared + " " + what + " are given");
  };
  if (o_.verts.size() < vertices_declared_) return missing(o_.verts.size(), vertices_text_, "vertices");
  if (o_.faces.size() < faces_declared_) {
    if (!faces_cut_) return missing(o_.faces.size(), faces_text_, "faces");
    // The faces after the cut stay cleared; each still needs a face line of
    // its own in the object, so that what is allocated follows the file.
    if (faces_declared_ > entry_.face_lines) {
      return fail_at(last_line_, "object \"" + o_.name.str() + "\" declares " + faces_text_ + " faces but has only " +
                                     std::to_string(entry_.face_lines) + " face lines");
    }
    o_.faces.resize(faces_declared_);
  }
  return {};
}

Status MeshReader::vertex_line() {
  // "Vertex list:" opens the list; the entries are "Vertex i: ..." lines
  // (that word exactly, as the exporter writes it), read in order.
  int index = 0;
  const bool entry = reader_[0] == "Vertex" && leading_int(reader_[1], index);
  if (vertices_ == List::kNotOpened) vertices_ = List::kOpen;
  if (!entry) return {};
  if (index < 0 || static_cast<std::size_t>(index) >= vertices_declared_) {
    return fail("vertex index " + std::string(leading_number_text(reader_[1])) + " is outside the list of " +
                std::to_string(vertices_declared_));
  }
  if (vertices_ != List::kOpen) return {};
  float x, y, z, u = 0, v = 0;
  if (mapped_) {
    // "X:-10.0 Y:-10.0 Z:0.0 U:0.0 V:0.0": values against their labels.
    x = real_after(reader_[2], 2);
    y = real_after(reader_[3], 2);
    z = real_after(reader_[4], 2);
    u = real_after(reader_[5], 2);
    v = real_after(reader_[6], 2);
  } else {
    // "X: 1.0 Y: 2.0 Z: 3.0": values after their labels.
    x = static_cast<float>(parse_real(reader_[3]));
    y = static_cast<float>(parse_real(reader_[5]));
    z = static_cast<float>(parse_real(reader_[7]));
  }
  o_.verts.push_back({-y, x, z});
  o_.tverts.push_back({u, v, 0});
  if (o_.verts.size() == vertices_declared_) vertices_ = List::kDone;
  return {};
}

Status MeshReader::face_line() {
  // "Face list:" opens the list (and ends a vertex list that was cut short;
  // its missing vertices are an error at the object's end).
  int index = 0;
  const bool entry = leading_int(reader_[1], index);
  if (vertices_ == List::kOpen) vertices_ = List::kDone;
  if (faces_ == List::kNotOpened) {
    faces_ = List::kOpen;
    if (!entry) return {};
  }
  // Face lines after the list are not stored, whatever their number.
  if (faces_ != List::kOpen) return {};
  const std::size_t next = o_.faces.size();
  if (!entry || index < 0 || static_cast<std::size_t>(index) != next) {
    // An out-of-order face ends the list; the faces after it stay cleared,
    // and the material and smoothing lines that follow belong to no face.
    faces_ = List::kDone;
    faces_cut_ = true;
    current_face_ = kNoFace;
    return {};
  }
  // "A:0 B:1 C:2 AB:1 BC:1 CA:0": corners after two characters, edge flags
  // after three. Corners refer to the declared vertices, which must all be
  // given by the object's end.
  SceneFace f;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string_view tok = reader_[2 + k];
    int corner = 0;
    if (!leading_int(after(tok, 2), corner)) {
      return fail("face " + std::to_string(index) + ": corner \"" + std::string(tok) + "\" gives no vertex number");
    }
    if (corner < 0 || static_cast<std::size_t>(corner) >= vertices_declared_) {
      return fail("face " + std::to_string(index) + ": corner " + std::string(tok) + " is outside the list of " +
                  std::to_string(vertices_declared_) + " vertices");
    }
    f.v[k] = corner;
    f.edge[k] = static_cast<uint8_t>(parse_int(after(reader_[5 + k], 3)));
  }
  f.v[3] = f.v[0];
  f.edge[3] = f.edge[0];
  f.t = f.v;  // texture vertices correspond one to one to the vertices
  current_face_ = o_.faces.size();
  o_.faces.push_back(f);
  if (o_.faces.size() == faces_declared_) faces_ = List::kDone;
  return {};
}

void MeshReader::smoothing_line() {
  if (current_face_ == kNoFace) return;
  uint32_t mask = 0;
  for (std::size_t i = 1; i < reader_.size(); ++i) {
    int group = 0;
    if (leading_int(reader_[i], group)) mask |= 1u << (static_cast<unsigned>(group) & 31u);
  }
  o_.faces[current_face_].smoothing = mask;
}

}  // namespace

Status asc_parse(std::string_view text, const std::string& display_name, ImportedScene& scene,
                 UserNotifier& /*notifier*/) {
  scene.release();
  if (Status s = check_text_encoding(text, display_name); !s) return s;

  std::vector<Entry> entries = index_entries(text);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return icompare(a.name.view(), b.name.view()) < 0; });
  const auto meshes = static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.tri_mesh; }));
  if (meshes == 0) {
    return data_error(display_name, -1, "the file holds no triangle mesh (\"Tri-mesh\" object)", kAscNoMesh);
  }

  scene.objects.resize(meshes);
  std::size_t next = 0;
  for (const Entry& e : entries) {
    if (!e.tri_mesh) continue;
    MaxObject& o = scene.objects[next++];
    o.name = e.name.view();
    o.line = e.line;
    if (Status s = MeshReader(text, display_name, e, o).run(); !s) {
      scene.release();
      return s;
    }
  }
  // The scene is named after the file; its faces name no scene material
  // (flat material -1), and it is not an ASE scene (origin flag clear).
  scene.name = bare_name(display_name);
  return {};
}

Status asc_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier) {
  Result<FileText> text = FileText::open(path, kMaxSceneBytes);
  if (!text) {
    scene.release();
    Error e = text.error();  // the file's own words and place; the reader's code
    e.code = kAscCannotOpen;
    return e;
  }
  return asc_parse(text->view(), path, scene, notifier);
}

}  // namespace orvo
