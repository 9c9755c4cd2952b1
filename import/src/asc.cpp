#include "orvo/import/asc.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "orvo/model/base.h"

namespace orvo {

namespace {

// One "Named object:" of the file, as the index pass finds it.
struct Entry {
  Name80 name;
  bool tri_mesh = false;
  long line = 0;             // the "Named object:" line
  long lines = 0;            // lines up to the next entry (the last one runs to the end)
  std::size_t offset = 0;    // byte position of the "Tri-mesh" line
  long mesh_line = 0;        // line of the "Tri-mesh" line
  long long body_lines = 0;  // lines with tokens after the "Tri-mesh" line, within the entry
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
    if (!entries.empty() && entries.back().tri_mesh) ++entries.back().body_lines;
  }
  if (!entries.empty()) entries.back().lines = last_line - entries.back().line + 1;
  return entries;
}

// Pass 2: one triangle mesh, from its "Tri-mesh" line to the end of its
// entry.
class MeshReader {
 public:
  MeshReader(std::string_view text, const std::string& name, const Entry& entry, MaxObject& object)
      : name_(name), entry_(entry), o_(object), reader_(text.substr(entry.offset), kMaxLine) {}

  Status run();

 private:
  enum class List : unsigned char { NotOpened, Open, Done };

  long line() const { return entry_.mesh_line - 1 + reader_.line_number(); }
  Status fail(const std::string& what) const {
    const long at = line();
    return Error{static_cast<int>(-std::min<long>(at, std::numeric_limits<int>::max())), error_at(name_, at, what)};
  }

  Status read_counts();
  Status vertex_line();
  Status face_line();
  void smoothing_line();

  const std::string& name_;
  const Entry& entry_;
  MaxObject& o_;
  LineReader reader_;

  bool mapped_ = false;
  List vertices_ = List::NotOpened;
  List faces_ = List::NotOpened;
  std::size_t next_vertex_ = 0;
  std::size_t next_face_ = 0;
  SceneFace* current_face_ = nullptr;  // the face that "Material:" and "Smoothing:" lines belong to
};

Status MeshReader::read_counts() {
  // "Tri-mesh, Vertices: 8     Faces: 12": each count follows its label.
  int vertices = -1, faces = -1;
  bool has_vertices = false, has_faces = false;
  for (std::size_t i = 1; i + 1 < reader_.size(); ++i) {
    if (!has_vertices && iequals(reader_[i], "Vertices:")) {
      has_vertices = leading_int(reader_[i + 1], vertices);
    } else if (!has_faces && iequals(reader_[i], "Faces:")) {
      has_faces = leading_int(reader_[i + 1], faces);
    }
  }
  if (!has_vertices) return fail("the Tri-mesh line gives no vertex count (\"Vertices: n\")");
  if (!has_faces) return fail("the Tri-mesh line gives no face count (\"Faces: n\")");
  if (vertices < 0) return fail("negative vertex count " + std::to_string(vertices));
  if (faces < 0) return fail("negative face count " + std::to_string(faces));
  // Every vertex and every face needs a line of its own in the object.
  if (static_cast<long long>(vertices) + faces > entry_.body_lines) {
    return fail("object \"" + o_.name.str() + "\" declares " + std::to_string(vertices) + " vertices and " +
                std::to_string(faces) + " faces but has only " + std::to_string(entry_.body_lines) +
                " lines left for them");
  }
  // Faces that are not given stay on vertex 0, which must exist.
  if (faces > 0 && vertices == 0) {
    return fail("object \"" + o_.name.str() + "\" declares " + std::to_string(faces) + " faces but no vertices");
  }
  o_.verts.assign(static_cast<std::size_t>(vertices), Vec3{});
  o_.tverts.assign(static_cast<std::size_t>(vertices), Vec3{});
  o_.faces.assign(static_cast<std::size_t>(faces), SceneFace{});
  if (vertices == 0) vertices_ = List::Done;
  if (faces == 0) faces_ = List::Done;
  return {};
}

Status MeshReader::run() {
  reader_.next();  // the "Tri-mesh" line
  if (Status s = read_counts(); !s) return s;
  const long end = entry_.line + entry_.lines;
  while (reader_.next() && line() < end) {
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
  return {};
}

Status MeshReader::vertex_line() {
  // "Vertex list:" opens the list; the entries are "Vertex i: ..." lines
  // (that word exactly, as the exporter writes it), read in order.
  int index = 0;
  const bool entry = reader_[0] == "Vertex" && leading_int(reader_[1], index);
  if (vertices_ == List::NotOpened) vertices_ = List::Open;
  if (!entry) return {};
  if (index < 0 || static_cast<std::size_t>(index) >= o_.verts.size()) {
    return fail("vertex index " + std::to_string(index) + " is outside the list of " + std::to_string(o_.verts.size()));
  }
  if (vertices_ != List::Open) return {};
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
  o_.verts[next_vertex_] = {-y, x, z};
  o_.tverts[next_vertex_] = {u, v, 0};
  if (++next_vertex_ == o_.verts.size()) vertices_ = List::Done;
  return {};
}

Status MeshReader::face_line() {
  // "Face list:" opens the list (and ends a vertex list that was cut short:
  // its missing vertices stay at the origin).
  int index = 0;
  const bool entry = leading_int(reader_[1], index);
  if (vertices_ == List::Open) vertices_ = List::Done;
  if (faces_ == List::NotOpened) {
    faces_ = List::Open;
    if (!entry) return {};
  }
  if (entry && (index < 0 || static_cast<std::size_t>(index) >= o_.faces.size())) {
    return fail("face index " + std::to_string(index) + " is outside the list of " + std::to_string(o_.faces.size()));
  }
  if (faces_ != List::Open) return {};
  if (!entry || static_cast<std::size_t>(index) != next_face_) {
    // An out-of-order face ends the list; the faces after it stay cleared,
    // and the material and smoothing lines that follow belong to no face.
    faces_ = List::Done;
    current_face_ = nullptr;
    return {};
  }
  // "A:0 B:1 C:2 AB:1 BC:1 CA:0": corners after two characters, edge flags
  // after three.
  SceneFace& f = o_.faces[next_face_];
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string_view tok = reader_[2 + k];
    int corner = 0;
    if (!leading_int(after(tok, 2), corner)) {
      return fail("face " + std::to_string(index) + ": corner \"" + std::string(tok) + "\" gives no vertex number");
    }
    if (corner < 0 || static_cast<std::size_t>(corner) >= o_.verts.size()) {
      return fail("face " + std::to_string(index) + ": corner " + std::string(tok) + " is outside the list of " +
                  std::to_string(o_.verts.size()) + " vertices");
    }
    f.v[k] = corner;
    f.edge[k] = static_cast<uint8_t>(parse_int(after(reader_[5 + k], 3)));
  }
  f.v[3] = f.v[0];
  f.edge[3] = f.edge[0];
  f.t = f.v;  // texture vertices correspond one to one to the vertices
  current_face_ = &f;
  if (++next_face_ == o_.faces.size()) faces_ = List::Done;
  return {};
}

void MeshReader::smoothing_line() {
  if (current_face_ == nullptr) return;
  uint32_t mask = 0;
  for (std::size_t i = 1; i < reader_.size(); ++i) {
    int group = 0;
    if (leading_int(reader_[i], group)) mask |= 1u << (static_cast<unsigned>(group) & 31u);
  }
  current_face_->smoothing = mask;
}

}  // namespace

Status asc_Parse(std::string_view text, const std::string& display_name, ImportedScene& scene,
                 UserNotifier& /*notifier*/) {
  scene.release();
  if (Status s = check_text_encoding(text, display_name); !s) return s;

  std::vector<Entry> entries = index_entries(text);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return icompare(a.name.view(), b.name.view()) < 0; });
  const auto meshes = static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.tri_mesh; }));
  if (meshes == 0) {
    return Error{kAscNoMesh, error_at(display_name, 0, "the file holds no triangle mesh (\"Tri-mesh\" object)")};
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

Status asc_Load(const std::string& path, ImportedScene& scene, UserNotifier& notifier) {
  Result<FileText> text = FileText::open(path, kMaxSceneBytes);
  if (!text) {
    scene.release();
    return Error{kAscCannotOpen, text.error().message};
  }
  return asc_Parse(text->view(), path, scene, notifier);
}

}  // namespace orvo
