// The assimp reader: assimp reads the file (through a file system that takes
// only regular files within the scene size limit), and the scene it makes is
// walked node by node into an ImportedScene shaped as the ASE reader shapes
// one. See assimp_scene.h for the rules.
#include "orvo/import/assimp_scene.h"

#include <assimp/BaseImporter.h>
#include <assimp/config.h>
#include <assimp/importerdesc.h>
#include <assimp/material.h>
#include <assimp/metadata.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/version.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvo {
namespace {
// The check assimp last found broken on this thread, for the error message.
thread_local std::string failed_assimp_check;
}  // namespace
}  // namespace orvo

// Debian's assimp is built with its internal checks on: a failed check calls
// Assimp::aiAssertViolation(), which prints a line and aborts the program,
// losing the artist's unsaved work over one bad file. The library calls it
// through its symbol table, so this definition takes the place of its own
// and turns the failed check into an exception instead: the importer
// catches it like those it throws itself and returns no scene, and the file
// is reported as one assimp cannot read. (Builds without the checks never
// call it.)
namespace Assimp {
[[noreturn]] void aiAssertViolation(const char* failed_expression, const char* file, int line);
void aiAssertViolation(const char* failed_expression, const char* file, int line) {
  const char* base = std::strrchr(file, '/');
  orvo::failed_assimp_check = std::string("the file breaks assimp's own check \"") + failed_expression + "\" (" +
                              (base != nullptr ? base + 1 : file) + ":" + std::to_string(line) + ")";
  throw std::runtime_error(orvo::failed_assimp_check);
}
}  // namespace Assimp

namespace orvo {

namespace {

// ---------------------------------------------------------------------------
// Files: only regular files, and all of them together within the limit.

class ViewStream final : public Assimp::IOStream {
 public:
  ViewStream(std::shared_ptr<const FileText> file, std::string_view data) : file_(std::move(file)), data_(data) {}

  size_t Read(void* buffer, size_t size, size_t count) override {
    if (size == 0 || count == 0 || pos_ >= data_.size()) return 0;
    const size_t n = std::min(count, (data_.size() - pos_) / size);
    if (n > 0) std::memcpy(buffer, data_.data() + pos_, n * size);
    pos_ += n * size;
    return n;
  }
  size_t Write(const void*, size_t, size_t) override { return 0; }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    size_t to = 0;
    switch (origin) {
      case aiOrigin_SET: to = offset; break;
      case aiOrigin_CUR: to = pos_ + offset; break;
      case aiOrigin_END: to = data_.size() - std::min(offset, data_.size()); break;
      default: return aiReturn_FAILURE;
    }
    if (to > data_.size()) return aiReturn_FAILURE;
    pos_ = to;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return pos_; }
  size_t FileSize() const override { return data_.size(); }
  void Flush() override {}

 private:
  std::shared_ptr<const FileText> file_;  // keeps the mapping alive
  std::string_view data_;
  size_t pos_ = 0;
};

// The files assimp may read: the scene file itself (already in memory, kept
// alive by `owner` when that is given) and, when allowed, the regular files
// it names, all of them within kMaxSceneBytes.
class SceneFiles final : public Assimp::IOSystem {
 public:
  SceneFiles(std::string main_path, std::string_view main, std::shared_ptr<const FileText> owner, bool others)
      : main_path_(std::move(main_path)), main_(main), owner_(std::move(owner)), others_(others), used_(main.size()) {}

  bool Exists(const char* path) const override {
    if (path == nullptr) return false;
    if (main_path_ == path) return true;
    struct stat st {};
    return others_ && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
  }
  char getOsSeparator() const override { return '/'; }

  Assimp::IOStream* Open(const char* path, const char* mode) override {
    if (path == nullptr || mode == nullptr || std::strpbrk(mode, "wa+") != nullptr) return nullptr;
    if (main_path_ == path) return new ViewStream(owner_, main_);
    if (!others_) return nullptr;
    Result<FileText> file = FileText::open(path, kMaxSceneBytes - std::min(used_, kMaxSceneBytes));
    if (!file) {
      struct stat st {};
      // A missing file is assimp's to report (it also probes for files that
      // need not exist); a refused one is ours.
      if (::stat(path, &st) == 0 && !refused_) refused_ = file.error().message;
      return nullptr;
    }
    auto kept = std::make_shared<const FileText>(std::move(*file));
    used_ += kept->view().size();
    return new ViewStream(kept, kept->view());
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

  const std::optional<std::string>& refused() const { return refused_; }

 private:
  std::string main_path_;
  std::string_view main_;
  std::shared_ptr<const FileText> owner_;
  bool others_;
  std::size_t used_;
  std::optional<std::string> refused_;
};

// ---------------------------------------------------------------------------
// Formats.

std::string lower_extension(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

bool is_fbx(std::string_view ext) {
  return ext == "fbx";
}

std::string format_name(std::string_view ext, const aiScene& scene) {
  if (ext == "gltf" || ext == "glb") {
    aiString version;
    if (scene.mMetaData != nullptr && scene.mMetaData->Get("SourceAsset_FormatVersion", version) &&
        version.C_Str()[0] == '1') {
      return "glTF 1.0";
    }
    return "glTF 2.0";
  }
  if (ext == "fbx") return "FBX";
  if (ext == "obj") return "Wavefront OBJ";
  if (ext == "dae") return "COLLADA";
  return std::string(ext);
}

std::optional<double> metadata_value(const aiMetadata* meta, const char* key) {
  if (meta == nullptr) return std::nullopt;
  for (unsigned i = 0; i < meta->mNumProperties; ++i) {
    if (std::strcmp(meta->mKeys[i].C_Str(), key) != 0) continue;
    const aiMetadataEntry& e = meta->mValues[i];
    if (e.mData == nullptr) return std::nullopt;
    switch (e.mType) {
      case AI_INT32: return static_cast<double>(*static_cast<const int32_t*>(e.mData));
      case AI_UINT64: return static_cast<double>(*static_cast<const uint64_t*>(e.mData));
      case AI_FLOAT: return static_cast<double>(*static_cast<const float*>(e.mData));
      case AI_DOUBLE: return *static_cast<const double*>(e.mData);
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

// FBX names its axes and unit (centimetres times UnitScaleFactor) in its
// global settings; the others come Y up in metres (COLLADA's own axes and
// unit are applied by assimp on the root node).
SceneAxes axes_of(std::string_view ext, const aiScene& scene) {
  SceneAxes axes;
  if (!is_fbx(ext)) return axes;
  const aiMetadata* meta = scene.mMetaData;
  const auto axis = [&](const char* key, int fallback) {
    const std::optional<double> v = metadata_value(meta, key);
    return v && *v >= 0 && *v <= 2 ? static_cast<int>(*v) : fallback;
  };
  const auto sign = [&](const char* key) {
    const std::optional<double> v = metadata_value(meta, key);
    return v && *v < 0 ? -1 : 1;
  };
  axes.right_axis = axis("CoordAxis", 0);
  axes.right_sign = sign("CoordAxisSign");
  axes.up_axis = axis("UpAxis", 1);
  axes.up_sign = sign("UpAxisSign");
  axes.front_axis = axis("FrontAxis", 2);
  axes.front_sign = sign("FrontAxisSign");
  // Three different axes, or the file's word is not taken.
  if (axes.right_axis == axes.up_axis || axes.up_axis == axes.front_axis || axes.right_axis == axes.front_axis) {
    axes = SceneAxes{};
  }
  const std::optional<double> unit = metadata_value(meta, "UnitScaleFactor");
  axes.metres_per_unit = unit && std::isfinite(*unit) && *unit > 0 && *unit < 1e6 ? *unit / 100.0 : 0.01;
  return axes;
}

// The whole number a glTF property holds, when it holds one within 2^53.
std::optional<uint64_t> gltf_count(const nlohmann::json& object, const char* key, std::optional<uint64_t> absent) {
  const auto it = object.find(key);
  if (it == object.end()) return absent;
  if (!it->is_number_integer() && !it->is_number_unsigned()) return std::nullopt;
  const auto value = it->get<int64_t>();
  if (value < 0 || value > (int64_t{1} << 53)) return std::nullopt;
  return static_cast<uint64_t>(value);
}

// An accessor whose elements run past its buffer view, or a view past its
// buffer: assimp reads some of them (inverse bind matrices) without looking.
// Properties that are missing or not numbers are left to assimp's checks.
std::optional<std::string> gltf_data_overrun(const nlohmann::json& doc) {
  const auto list = [&](const char* key) -> const nlohmann::json* {
    const auto it = doc.find(key);
    return it != doc.end() && it->is_array() ? &*it : nullptr;
  };
  const nlohmann::json* buffers = list("buffers");
  const nlohmann::json* views = list("bufferViews");
  if (views == nullptr) return std::nullopt;
  std::vector<std::optional<uint64_t>> view_length(views->size());
  for (std::size_t v = 0; v < views->size(); ++v) {
    const nlohmann::json& view = (*views)[v];
    if (!view.is_object()) continue;
    const auto offset = gltf_count(view, "byteOffset", 0), length = gltf_count(view, "byteLength", std::nullopt);
    const auto buffer = gltf_count(view, "buffer", std::nullopt);
    view_length[v] = length;
    if (!offset || !length || !buffer || buffers == nullptr || *buffer >= buffers->size()) continue;
    const nlohmann::json& b = (*buffers)[*buffer];
    const auto held = b.is_object() ? gltf_count(b, "byteLength", std::nullopt) : std::nullopt;
    if (held && *offset + *length > *held) {
      return "buffer view " + std::to_string(v) + " runs to byte " + std::to_string(*offset + *length) + " of buffer " +
             std::to_string(*buffer) + ", which holds " + std::to_string(*held);
    }
  }
  const nlohmann::json* accessors = list("accessors");
  if (accessors == nullptr) return std::nullopt;
  for (std::size_t a = 0; a < accessors->size(); ++a) {
    const nlohmann::json& acc = (*accessors)[a];
    if (!acc.is_object()) continue;
    const auto view = gltf_count(acc, "bufferView", std::nullopt);
    const auto offset = gltf_count(acc, "byteOffset", 0), count = gltf_count(acc, "count", std::nullopt);
    const auto component = gltf_count(acc, "componentType", std::nullopt);
    const auto type = acc.find("type");
    if (!view || *view >= views->size() || !view_length[*view] || !offset || !count || *count == 0 || !component ||
        type == acc.end() || !type->is_string())
      continue;
    const uint64_t bytes = *component == 5120 || *component == 5121   ? 1
                           : *component == 5122 || *component == 5123 ? 2
                           : *component == 5125 || *component == 5126 ? 4
                                                                      : 0;
    const std::string& kind = type->get_ref<const std::string&>();
    const uint64_t values = kind == "SCALAR"                   ? 1
                            : kind == "VEC2"                   ? 2
                            : kind == "VEC3"                   ? 3
                            : kind == "VEC4" || kind == "MAT2" ? 4
                            : kind == "MAT3"                   ? 9
                            : kind == "MAT4"                   ? 16
                                                               : 0;
    if (bytes == 0 || values == 0) continue;
    const nlohmann::json& v = (*views)[*view];
    const auto stride = gltf_count(v, "byteStride", bytes * values);
    if (!stride) continue;
    const uint64_t held = *view_length[*view], step = std::max(*stride, bytes * values);
    // Past the view when the steps alone are (counted without overflow).
    const bool past = *count - 1 > held / step;
    const uint64_t need = past ? 0 : *offset + (*count - 1) * step + bytes * values;
    if (past || need > held) {
      return "accessor " + std::to_string(a) + " needs " +
             (past ? std::string("more than ") + std::to_string(held) : std::to_string(need)) +
             " bytes of buffer view " + std::to_string(*view) + ", which holds " + std::to_string(held);
    }
  }
  return std::nullopt;
}

// Files that assimp 5.2 reads past its own data on (a crash, not an error)
// are refused before it sees them: a glTF skin without inverse bind
// matrices, an image whose media type has no '/' (assimp takes what
// follows the '/' as the picture's extension without looking whether there
// is one), a binary file whose JSON chunk is longer than the file, and data
// that runs past its buffer view or buffer.
// Anything else about the JSON is left to assimp's checks.
std::optional<std::string> gltf_refusal(std::string_view bytes) {
  std::string_view json = bytes;
  if (bytes.size() >= 20 && bytes.substr(0, 4) == "glTF") {  // binary: the first chunk holds the JSON
    uint32_t length = 0, type = 0;
    std::memcpy(&length, bytes.data() + 12, 4);
    std::memcpy(&type, bytes.data() + 16, 4);
    if (type != 0x4E4F534Au) return std::nullopt;
    // assimp reserves the length the chunk declares before reading it.
    if (length > bytes.size() - 20) {
      return "the JSON chunk declares " + std::to_string(length) + " bytes, more than the file holds";
    }
    json = bytes.substr(20, length);
  }
  // assimp takes bytes that are not UTF-8 in its strings; so do these checks,
  // with such bytes read as '?'.
  std::string text(json);
  for (char& c : text)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return std::nullopt;
  const auto skins = doc.find("skins");
  if (skins != doc.end() && skins->is_array()) {
    for (std::size_t i = 0; i < skins->size(); ++i) {
      const nlohmann::json& skin = (*skins)[i];
      if (!skin.is_object() || !skin.contains("inverseBindMatrices")) {
        return "skin " + std::to_string(i) + " has no inverse bind matrices (assimp cannot read such a skin)";
      }
    }
  }
  if (std::optional<std::string> why = gltf_data_overrun(doc)) return why;
  const auto images = doc.find("images");
  if (images != doc.end() && images->is_array()) {
    for (std::size_t i = 0; i < images->size(); ++i) {
      const nlohmann::json& image = (*images)[i];
      if (!image.is_object()) continue;
      const auto type = image.find("mimeType");
      if (type == image.end() || !type->is_string()) continue;
      const std::string& media = type->get_ref<const std::string&>();
      if (media.find('/') == std::string::npos) {
        return "image " + std::to_string(i) + " has the media type \"" + media.substr(0, 64) +
               "\", which has no '/' (assimp cannot read such an image)";
      }
    }
  }
  return std::nullopt;
}

// COLLADA declares the length of its arrays (count="N", stride="S"), and
// assimp reserves what they declare before reading the values: a count can
// never exceed the bytes of the file (every value takes at least one), nor a
// stride a 4 x 4 matrix many times over, and both must be numbers.
std::optional<std::string> collada_refusal(std::string_view bytes) {
  for (const std::string_view attribute : {std::string_view("count=\""), std::string_view("stride=\"")}) {
    const double limit = attribute[0] == 'c' ? static_cast<double>(bytes.size()) : 64.0;
    for (std::size_t at = bytes.find(attribute); at != std::string_view::npos;
         at = bytes.find(attribute, at + attribute.size())) {
      double n = 0;
      std::size_t digits = 0;
      for (std::size_t i = at + attribute.size(); i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        n = n * 10 + (bytes[i] - '0');
        ++digits;
      }
      const std::string_view name = attribute.substr(0, attribute.size() - 2);
      // assimp reads a value that is no number as 0, and an array of 0
      // values that holds some as empty, then reads its first value.
      if (digits == 0) {
        const std::size_t end = bytes.find('"', at + attribute.size());
        const std::string_view value =
            bytes.substr(at + attribute.size(), std::min<std::size_t>(end - at - attribute.size(), 16));
        return "an array declares " + std::string(name) + " \"" + std::string(value) + "\", which is no whole number";
      }
      if (n == 0 && attribute[0] == 'c') {
        const std::size_t open_end = bytes.find('>', at);
        const std::size_t close = open_end == std::string_view::npos ? open_end : bytes.find('<', open_end);
        if (close != std::string_view::npos &&
            bytes.substr(open_end + 1, close - open_end - 1).find_first_not_of(" \t\r\n") != std::string_view::npos) {
          return "an array declares count 0 but holds values";
        }
      }
      if (n > limit) {
        return "an array declares " + std::string(name) + " " +
               std::to_string(static_cast<unsigned long long>(std::min(n, 1e18))) + ", more than the file can hold";
      }
    }
  }
  // An array that holds values but declares no count is read as empty, and
  // its first value then read all the same.
  for (const std::string_view tag :
       {std::string_view("<float_array"), std::string_view("<int_array"), std::string_view("<bool_array"),
        std::string_view("<Name_array"), std::string_view("<IDREF_array"), std::string_view("<SIDREF_array"),
        std::string_view("<token_array")}) {
    for (std::size_t at = bytes.find(tag); at != std::string_view::npos; at = bytes.find(tag, at + tag.size())) {
      const std::size_t open_end = bytes.find('>', at);
      if (open_end == std::string_view::npos || bytes[open_end - 1] == '/') continue;
      if (bytes.substr(at, open_end - at).find("count=\"") != std::string_view::npos) continue;
      const std::size_t close = bytes.find('<', open_end);
      const std::string_view values =
          bytes.substr(open_end + 1, close == std::string_view::npos ? close : close - open_end - 1);
      if (values.find_first_not_of(" \t\r\n") != std::string_view::npos) {
        return "an array (" + std::string(tag.substr(1)) + ") holds values but declares no count";
      }
    }
  }
  // A primitive's index list (<p>) holds whole numbers only. assimp reads
  // it without moving past anything else, appending zeros until the memory
  // is gone; such a file is refused first.
  for (std::size_t at = bytes.find("<p"); at != std::string_view::npos; at = bytes.find("<p", at + 2)) {
    const std::size_t name_end = at + 2;
    if (name_end >= bytes.size() || (bytes[name_end] != '>' && bytes[name_end] != ' ' && bytes[name_end] != '\t' &&
                                     bytes[name_end] != '\n' && bytes[name_end] != '\r'))
      continue;  // another element whose name begins with p
    const std::size_t open_end = bytes.find('>', name_end);
    if (open_end == std::string_view::npos || bytes[open_end - 1] == '/') continue;
    const std::size_t close = bytes.find('<', open_end + 1);
    const std::string_view list =
        bytes.substr(open_end + 1, close == std::string_view::npos ? close : close - open_end - 1);
    for (std::size_t i = 0; i < list.size(); ++i) {
      const char c = list[i];
      if ((c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '-' || c == '+') continue;
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(c));
      return "a primitive's index list (<p>) holds the byte " + std::string(code) + " at byte " +
             std::to_string(open_end + 1 + i) + ", which is no part of a whole number";
    }
  }
  return std::nullopt;
}

// The refusals above by the format's extension.
std::optional<std::string> refusal(std::string_view ext, std::string_view bytes) {
  if (ext == "gltf" || ext == "glb") return gltf_refusal(bytes);
  if (ext == "dae") return collada_refusal(bytes);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Transforms in double precision: a 3x4 affine matrix, stored = m * p.

struct Affine {
  std::array<std::array<double, 4>, 3> m{};

  static Affine identity() {
    Affine a;
    for (std::size_t i = 0; i < 3; ++i) a.m[i][i] = 1;
    return a;
  }
  static Affine of(const aiMatrix4x4& t) {
    Affine a;
    const ai_real* r[3] = {&t.a1, &t.b1, &t.c1};
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 4; ++j) a.m[i][j] = static_cast<double>(r[i][j]);
    }
    return a;
  }
  static Affine of(const Basis3& b) {
    Affine a;
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) a.m[i][j] = b[i][j];
    }
    return a;
  }
  Affine operator*(const Affine& o) const {
    Affine r;
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 4; ++j) {
        double s = j == 3 ? m[i][3] : 0.0;
        for (std::size_t k = 0; k < 3; ++k) s += m[i][k] * o.m[k][j];
        r.m[i][j] = s;
      }
    }
    return r;
  }
  std::array<double, 3> point(double x, double y, double z) const {
    std::array<double, 3> out{};
    for (std::size_t i = 0; i < 3; ++i) out[i] = m[i][0] * x + m[i][1] * y + m[i][2] * z + m[i][3];
    return out;
  }
  double det() const {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  }
  // The cofactor matrix: normals transform with it (the inverse transpose up
  // to a positive factor when the determinant is positive).
  std::array<std::array<double, 3>, 3> cofactors() const {
    std::array<std::array<double, 3>, 3> c{};
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) {
        const std::size_t i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
        c[i][j] = m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1];
      }
    }
    return c;
  }
};

Vec3 to_vec(const std::array<double, 3>& p) {
  return {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
}

// The node rows as the ASE reader stores them: the images of the three unit
// axes and the position, in the stored frame.
NodeRows node_rows(const Affine& world_in_file, const Affine& to_stored, const Affine& from_stored) {
  const Affine t = to_stored * world_in_file * from_stored;
  NodeRows rows{};
  for (std::size_t r = 0; r < 4; ++r)
    rows[r] = {static_cast<float>(t.m[0][r]), static_cast<float>(t.m[1][r]), static_cast<float>(t.m[2][r])};
  return rows;
}

Affine inverse_basis(const Basis3& b) {
  // The basis is a signed permutation times a positive scale.
  Affine a;
  double scale2 = 0;
  for (std::size_t j = 0; j < 3; ++j) scale2 += b[0][j] * b[0][j];
  if (scale2 <= 0) return Affine::identity();
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) a.m[j][i] = b[i][j] / scale2;
  }
  return a;
}

// ---------------------------------------------------------------------------
// Materials.

std::string texture_file_name(const aiScene& scene, const aiString& path) {
  std::string_view p(path.C_Str(), path.length);
  if (!p.empty() && p.front() == '*') {  // an embedded picture: its own name, when it has one
    const aiTexture* t = scene.GetEmbeddedTexture(path.C_Str());
    if (t == nullptr) return {};
    p = std::string_view(t->mFilename.C_Str(), t->mFilename.length);
  }
  const std::size_t cut = p.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? p : p.substr(cut + 1));
}

bool texture_of(const aiScene& scene, const aiMaterial& m, aiTextureType type, unsigned index, std::string& name,
                aiUVTransform* transform) {
  if (m.GetTextureCount(type) <= index) return false;
  aiString path;
  if (m.GetTexture(type, index, &path) != aiReturn_SUCCESS) return false;
  name = texture_file_name(scene, path);
  if (transform != nullptr) {
    aiUVTransform t;
    if (m.Get(AI_MATKEY_UVTRANSFORM(type, index), t) == aiReturn_SUCCESS) *transform = t;
  }
  return !name.empty();
}

SceneMaterial scene_material(const aiScene& scene, const aiMaterial& m) {
  SceneMaterial out;
  aiString name;
  if (m.Get(AI_MATKEY_NAME, name) == aiReturn_SUCCESS) out.name = std::string_view(name.C_Str(), name.length);
  int two_sided = 0;
  if (m.Get(AI_MATKEY_TWOSIDED, two_sided) == aiReturn_SUCCESS && two_sided != 0) {
    out.flags |= kSceneMaterialTwoSided;
  }
  const auto layer = [&](std::size_t l, const std::string& texture, const aiUVTransform& t) {
    out.diffuse[l] = texture;
    out.u_offset[l] = t.mTranslation.x;
    out.v_offset[l] = t.mTranslation.y;
    out.u_tiling[l] = t.mScaling.x;
    out.v_tiling[l] = t.mScaling.y;
  };
  std::string texture;
  aiUVTransform t;
  if (texture_of(scene, m, aiTextureType_DIFFUSE, 0, texture, &t) ||
      texture_of(scene, m, aiTextureType_BASE_COLOR, 0, texture, &t)) {
    layer(0, texture, t);
  }
  if (texture_of(scene, m, aiTextureType_OPACITY, 0, texture, nullptr)) out.opacity[0] = texture;
  // The second layer: a second diffuse texture, else a light or occlusion
  // map, multiplied over the first as a scene export's "RGB Multiply" map.
  aiUVTransform t1;
  if (texture_of(scene, m, aiTextureType_DIFFUSE, 1, texture, &t1) ||
      texture_of(scene, m, aiTextureType_LIGHTMAP, 0, texture, &t1) ||
      texture_of(scene, m, aiTextureType_AMBIENT_OCCLUSION, 0, texture, &t1)) {
    layer(1, texture, t1);
    if (texture_of(scene, m, aiTextureType_OPACITY, 1, texture, nullptr)) out.opacity[1] = texture;
    out.flags |= kSceneMaterialSecondLayer;
  }
  return out;
}

// ---------------------------------------------------------------------------
// The walk.

struct VertexKey {
  std::array<uint32_t, 3> bits;
  bool operator==(const VertexKey&) const = default;
};
struct VertexKeyHash {
  std::size_t operator()(const VertexKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return static_cast<std::size_t>(h);
  }
};

VertexKey key_of(const Vec3& p) {
  VertexKey k{};
  // +0.0 and -0.0 are one position.
  const float c[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
  for (std::size_t i = 0; i < 3; ++i) std::memcpy(&k.bits[i], &c[i], 4);
  return k;
}

int32_t packed_colour(const aiColor4D& c) {
  const auto byte = [](float v) {
    const float t = std::trunc(v * 255.0f);
    return static_cast<int32_t>(std::isfinite(t) ? std::clamp(t, 0.0f, 255.0f) : 0.0f);
  };
  return (byte(c.r) << 16) + (byte(c.g) << 8) + byte(c.b);
}

bool is_triangle(const aiFace& f, unsigned num_vertices) {
  return f.mNumIndices == 3 && f.mIndices != nullptr && f.mIndices[0] < num_vertices && f.mIndices[1] < num_vertices &&
         f.mIndices[2] < num_vertices;
}

struct NodeVisit {
  const aiNode* node;
  const aiNode* parent;  // the parent as an object's parent name: null under the root
  Affine world;          // in the file's frame
  int depth;
};

class SceneBuilder {
 public:
  SceneBuilder(const aiScene& scene, const SceneAxes& axes, const std::string& name, ImportedScene& out)
      : ai_(scene),
        out_(out),
        name_(name),
        basis_(scene_basis(axes)),
        to_stored_(Affine::of(basis_)),
        from_stored_(inverse_basis(basis_)) {}

  Status build();

 private:
  Status walk_nodes();
  Status check_sizes();
  void number_bones();
  void make_materials();
  void add_mesh_object(const NodeVisit& v);
  void add_helper(const NodeVisit& v, int bone);
  void add_light(const NodeVisit& v, const aiLight& light);
  const aiMesh* mesh_at(unsigned i) const {
    return i < ai_.mNumMeshes && ai_.mMeshes != nullptr ? ai_.mMeshes[i] : nullptr;
  }

  const aiScene& ai_;
  ImportedScene& out_;
  const std::string& name_;
  Basis3 basis_;
  Affine to_stored_, from_stored_;
  std::vector<NodeVisit> nodes_;  // in the order of the node tree
  std::unordered_map<std::string, int> bones_;
  std::unordered_map<std::string, const aiLight*> lights_;
  std::unordered_map<std::string, bool> cameras_;
  std::vector<int> flat_of_material_;
};

Status SceneBuilder::walk_nodes() {
  if (ai_.mRootNode == nullptr) return {};
  // Depth first, children in order, without recursion (a file may nest its
  // nodes as deep as it likes).
  std::vector<NodeVisit> stack{{ai_.mRootNode, nullptr, Affine::of(ai_.mRootNode->mTransformation), 0}};
  while (!stack.empty()) {
    const NodeVisit v = stack.back();
    stack.pop_back();
    if (nodes_.size() >= kMaxAssimpNodes) {
      return data_error(name_, -1, "the scene has more than " + std::to_string(kMaxAssimpNodes) + " nodes",
                        kAssimpBadScene);
    }
    nodes_.push_back(v);
    const aiNode* n = v.node;
    if (n->mChildren == nullptr) continue;
    for (unsigned i = n->mNumChildren; i-- > 0;) {
      const aiNode* c = n->mChildren[i];
      if (c == nullptr) continue;
      stack.push_back({c, v.depth == 0 ? nullptr : n, v.world * Affine::of(c->mTransformation), v.depth + 1});
    }
  }
  return {};
}

// Vertices and faces are counted over every node that uses a mesh (a mesh
// used by two nodes counts twice) before anything is built.
Status SceneBuilder::check_sizes() {
  std::size_t vertices = 0, faces = 0;
  for (const NodeVisit& v : nodes_) {
    for (unsigned i = 0; i < v.node->mNumMeshes && v.node->mMeshes != nullptr; ++i) {
      const aiMesh* m = mesh_at(v.node->mMeshes[i]);
      if (m == nullptr) continue;
      vertices += m->mNumVertices;
      faces += m->mNumFaces;
      if (vertices > kMaxAssimpVertices) {
        return data_error(name_, -1, "the scene has more than " + std::to_string(kMaxAssimpVertices) + " vertices",
                          kAssimpBadScene);
      }
      if (faces > kMaxAssimpFaces) {
        return data_error(name_, -1, "the scene has more than " + std::to_string(kMaxAssimpFaces) + " faces",
                          kAssimpBadScene);
      }
    }
  }
  return {};
}

// Bones are the nodes that the meshes' bones name, numbered in node order.
void SceneBuilder::number_bones() {
  std::unordered_map<std::string, bool> named;
  for (unsigned i = 0; i < ai_.mNumMeshes; ++i) {
    const aiMesh* m = mesh_at(i);
    if (m == nullptr || m->mBones == nullptr) continue;
    for (unsigned b = 0; b < m->mNumBones; ++b) {
      if (m->mBones[b] != nullptr) named[m->mBones[b]->mName.C_Str()] = true;
    }
  }
  if (named.empty()) return;
  int next = 0;
  for (const NodeVisit& v : nodes_) {
    const std::string name = v.node->mName.C_Str();
    if (named.count(name) != 0 && bones_.count(name) == 0) bones_[name] = next++;
  }
}

// One flat material per scene material that a triangle uses, in the
// scene's order.
void SceneBuilder::make_materials() {
  std::vector<bool> used(ai_.mNumMaterials, false);
  for (const NodeVisit& v : nodes_) {
    for (unsigned i = 0; i < v.node->mNumMeshes && v.node->mMeshes != nullptr; ++i) {
      const aiMesh* m = mesh_at(v.node->mMeshes[i]);
      if (m != nullptr && m->mMaterialIndex < used.size()) used[m->mMaterialIndex] = true;
    }
  }
  flat_of_material_.assign(ai_.mNumMaterials, -1);
  for (unsigned i = 0; i < ai_.mNumMaterials; ++i) {
    if (!used[i] || ai_.mMaterials == nullptr || ai_.mMaterials[i] == nullptr) continue;
    flat_of_material_[i] = static_cast<int>(out_.materials.size());
    out_.materials.push_back(scene_material(ai_, *ai_.mMaterials[i]));
  }
}

void SceneBuilder::add_helper(const NodeVisit& v, int bone) {
  MaxObject o;
  o.name = v.node->mName.C_Str();
  if (v.parent != nullptr) o.parent = v.parent->mName.C_Str();
  o.bone = bone;
  o.rows = node_rows(v.world, to_stored_, from_stored_);
  out_.objects.push_back(std::move(o));
}

void SceneBuilder::add_light(const NodeVisit& v, const aiLight& light) {
  SceneLight l;
  l.name = v.node->mName.C_Str();
  const Affine a = to_stored_ * v.world;
  const Vec3 p = to_vec(a.point(light.mPosition.x, light.mPosition.y, light.mPosition.z));
  l.x = p.x;
  l.y = p.y;
  l.z = p.z;
  // Colours above 1 carry the light's strength: it becomes the intensity.
  const aiColor3D& c = light.mColorDiffuse;
  const float strongest = std::max({c.r, c.g, c.b});
  const float k = std::isfinite(strongest) && strongest > 1.0f ? strongest : 1.0f;
  l.r = c.r / k;
  l.g = c.g / k;
  l.b = c.b / k;
  l.intensity = k;
  // The distance at which the light falls to 1/256 of its strength, in the
  // scene's units; none for a light that does not fall off.
  const double unit = std::cbrt(std::fabs(a.det()));
  double end = 0;
  if (light.mAttenuationQuadratic > 0) end = std::sqrt(255.0 / light.mAttenuationQuadratic);
  else if (light.mAttenuationLinear > 0) end = 255.0 / light.mAttenuationLinear;
  l.atten_start = 0;
  l.atten_end = std::isfinite(end * unit) ? static_cast<float>(end * unit) : 0.0f;
  out_.lights.push_back(l);
}

void SceneBuilder::add_mesh_object(const NodeVisit& v) {
  MaxObject o;
  o.name = v.node->mName.C_Str();
  if (v.parent != nullptr) o.parent = v.parent->mName.C_Str();
  const auto bone = bones_.find(v.node->mName.C_Str());
  o.bone = bone != bones_.end() ? bone->second : -1;
  o.rows = node_rows(v.world, to_stored_, from_stored_);

  const Affine a = to_stored_ * v.world;
  const auto cof = a.cofactors();
  const bool mirrored = a.det() < 0;  // a mirrored node: faces turn the other way round

  bool skinned = false, coloured = false;
  for (unsigned i = 0; i < v.node->mNumMeshes; ++i) {
    const aiMesh* m = mesh_at(v.node->mMeshes[i]);
    if (m == nullptr) continue;
    skinned = skinned || (m->mNumBones > 0 && m->mBones != nullptr);
    coloured = coloured || m->mColors[0] != nullptr;
  }

  std::unordered_map<VertexKey, int32_t, VertexKeyHash> welded;
  std::vector<std::array<int32_t, 3>> corners;
  std::vector<std::array<Vec3, 3>> normals;
  for (unsigned i = 0; i < v.node->mNumMeshes; ++i) {
    const aiMesh* m = mesh_at(v.node->mMeshes[i]);
    if (m == nullptr || m->mVertices == nullptr) continue;
    const unsigned nv = m->mNumVertices;

    // Positions welded; the first corner of a position gives its weights.
    std::vector<int32_t> index(nv);
    std::vector<bool> fresh(nv, false);
    for (unsigned k = 0; k < nv; ++k) {
      const aiVector3D& p = m->mVertices[k];
      const Vec3 s = to_vec(a.point(p.x, p.y, p.z));
      const auto [it, added] = welded.try_emplace(key_of(s), static_cast<int32_t>(o.verts.size()));
      if (added) {
        o.verts.push_back(s);
        fresh[k] = true;
      }
      index[k] = it->second;
    }
    if (skinned) {
      o.weights.resize(o.verts.size(), SkinWeight{{-1, -1, -1, -1}, {0, 0, 0, 0}});
      std::vector<std::vector<std::pair<float, int32_t>>> influences(m->mBones != nullptr ? nv : 0);
      for (unsigned b = 0; b < m->mNumBones && m->mBones != nullptr; ++b) {
        const aiBone* bone_of = m->mBones[b];
        if (bone_of == nullptr || bone_of->mWeights == nullptr) continue;
        const auto number = bones_.find(bone_of->mName.C_Str());
        if (number == bones_.end()) continue;
        for (unsigned w = 0; w < bone_of->mNumWeights; ++w) {
          const aiVertexWeight& vw = bone_of->mWeights[w];
          if (vw.mVertexId < nv && vw.mWeight > 0) influences[vw.mVertexId].emplace_back(vw.mWeight, number->second);
        }
      }
      for (unsigned k = 0; k < influences.size(); ++k) {
        if (!fresh[k]) continue;
        auto& list = influences[k];
        std::stable_sort(list.begin(), list.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
        SkinWeight& sw = o.weights[static_cast<std::size_t>(index[k])];
        for (std::size_t s = 0; s < 4 && s < list.size(); ++s) {
          sw.bones[s] = list[s].second;
          sw.weights[s] = list[s].first;
        }
      }
    }

    // One texture vertex (and colour) per corner of the mesh.
    const auto tvert_base = static_cast<int32_t>(o.tverts.size());
    const aiVector3D* uv = m->mTextureCoords[0];
    for (unsigned k = 0; k < nv; ++k) {
      o.tverts.push_back(uv != nullptr ? Vec3{uv[k].x, uv[k].y, 0.0f} : Vec3{});
    }
    const auto colour_base = static_cast<int32_t>(o.cverts.size());
    if (coloured) {
      const aiColor4D* col = m->mColors[0];
      for (unsigned k = 0; k < nv; ++k) o.cverts.push_back(col != nullptr ? packed_colour(col[k]) : 0xFFFFFF);
    }

    const int flat = m->mMaterialIndex < flat_of_material_.size() ? flat_of_material_[m->mMaterialIndex] : -1;
    for (unsigned f = 0; f < m->mNumFaces && m->mFaces != nullptr; ++f) {
      const aiFace& face = m->mFaces[f];
      if (!is_triangle(face, nv)) continue;  // points and lines have no surface
      std::array<unsigned, 3> c = {face.mIndices[0], face.mIndices[1], face.mIndices[2]};
      if (mirrored) std::swap(c[1], c[2]);
      SceneFace sf;
      sf.flat_material = flat;
      sf.edge = {1, 1, 1, 1};
      std::array<Vec3, 3> n{};
      for (std::size_t k = 0; k < 3; ++k) {
        sf.v[k] = index[c[k]];
        sf.t[k] = tvert_base + static_cast<int32_t>(c[k]);
        sf.c[k] = coloured ? colour_base + static_cast<int32_t>(c[k]) : 0;
        if (m->mNormals != nullptr) {
          const aiVector3D& fn = m->mNormals[c[k]];
          std::array<double, 3> t{};
          for (std::size_t r = 0; r < 3; ++r) t[r] = cof[r][0] * fn.x + cof[r][1] * fn.y + cof[r][2] * fn.z;
          n[k] = to_vec(t);
        }
      }
      sf.v[3] = sf.v[0];
      sf.t[3] = sf.t[0];
      corners.push_back({sf.v[0], sf.v[1], sf.v[2]});
      normals.push_back(n);
      o.faces.push_back(sf);
    }
  }
  const std::vector<uint32_t> masks = smoothing_groups(corners, normals);
  for (std::size_t f = 0; f < o.faces.size(); ++f) o.faces[f].smoothing = masks[f];
  if (coloured) o.num_cvfaces = static_cast<int32_t>(o.faces.size());
  if (skinned) o.weights.resize(o.verts.size(), SkinWeight{{-1, -1, -1, -1}, {0, 0, 0, 0}});
  o.skinned = skinned;
  out_.objects.push_back(std::move(o));
}

Status SceneBuilder::build() {
  if (Status s = walk_nodes(); !s) return s;
  if (Status s = check_sizes(); !s) return s;
  for (unsigned i = 0; i < ai_.mNumLights && ai_.mLights != nullptr; ++i) {
    if (ai_.mLights[i] != nullptr) lights_.try_emplace(ai_.mLights[i]->mName.C_Str(), ai_.mLights[i]);
  }
  for (unsigned i = 0; i < ai_.mNumCameras && ai_.mCameras != nullptr; ++i) {
    if (ai_.mCameras[i] != nullptr) cameras_[ai_.mCameras[i]->mName.C_Str()] = true;
  }
  number_bones();
  make_materials();
  for (const NodeVisit& v : nodes_) {
    const std::string name = v.node->mName.C_Str();
    const bool meshes = v.node->mNumMeshes > 0 && v.node->mMeshes != nullptr;
    const auto bone = bones_.find(name);
    if (meshes) {
      add_mesh_object(v);
    } else if (const auto light = lights_.find(name); light != lights_.end()) {
      add_light(v, *light->second);
    } else if (bone != bones_.end()) {
      add_helper(v, bone->second);
    } else if (v.depth > 0 && cameras_.count(name) == 0) {
      add_helper(v, -1);  // the file's root node is the file itself, not an object
    }
  }
  if (out_.objects.empty()) {
    return data_error(name_, -1, "the scene holds no geometry or helper object", kAssimpBadScene);
  }
  // The skeleton first, by bone number, then the rest in node order, as a
  // scene export lists a skin's bones before the meshes bound to them. The
  // skinned conversion lets a later object's point record overwrite an
  // earlier one's of the same index, so the order must not depend on where
  // a package happens to put the armature among the nodes.
  std::stable_sort(out_.objects.begin(), out_.objects.end(), [](const MaxObject& a, const MaxObject& b) {
    const bool a_bone = a.bone >= 0, b_bone = b.bone >= 0;
    if (a_bone != b_bone) return a_bone;
    return a_bone && a.bone < b.bone;
  });
  for (const MaxObject& o : out_.objects) out_.skinned = out_.skinned || o.skinned;
  // A scene with materials and node transforms, as a scene export has.
  out_.origin |= kSceneOriginAse;
  return {};
}

unsigned post_processing() {
  return aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_LimitBoneWeights |
         aiProcess_ValidateDataStructure;
}

// Leaves the importer only the readers that claim the extension `ext`.
// Assimp otherwise hands a file to the first of its 48 readers whose
// look at the content takes it, whatever its name says: a ".glb" holding
// OpenGEX text goes to the OpenGEX reader. Those readers are not meant to
// see users' files here, and some of them read past their buffers on
// damaged input.
void keep_only_readers_of(Assimp::Importer& importer, const std::string& ext) {
  for (size_t i = importer.GetImporterCount(); i-- > 0;) {
    const aiImporterDesc* info = importer.GetImporterInfo(i);
    bool claims = false;
    if (info != nullptr && info->mFileExtensions != nullptr) {
      const std::string_view list = info->mFileExtensions;  // "gltf glb", in lower case
      for (size_t at = 0; at < list.size() && !claims;) {
        const size_t end = std::min(list.find(' ', at), list.size());
        claims = list.substr(at, end - at) == ext;
        at = end + 1;
      }
    }
    if (claims) continue;
    // Unregistering hands the reader back to the caller.
    std::unique_ptr<Assimp::BaseImporter> reader(importer.GetImporter(i));
    if (importer.UnregisterLoader(reader.get()) != aiReturn_SUCCESS) (void)reader.release();
  }
}

void configure(Assimp::Importer& importer, const std::string& ext) {
  keep_only_readers_of(importer, ext);
  importer.SetPropertyInteger(AI_CONFIG_PP_LBW_MAX_WEIGHTS, 4);
  importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, 60.0f);
  // Pivots baked into the nodes: no extra helper nodes named "$AssimpFbx$".
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_READ_ANIMATIONS, false);
  // COLLADA nodes under the names the artist gave them.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
}

Status finish(Assimp::Importer& importer, const aiScene* ai, std::string_view ext, const std::string& display_name,
              const SceneFiles& files, ImportedScene& scene, UserNotifier& notifier) {
  // A check that failed on the way leaves no scene worth trusting, even
  // where assimp went on past it.
  if (ai == nullptr || !failed_assimp_check.empty()) {
    std::string why = failed_assimp_check.empty() ? importer.GetErrorString() : failed_assimp_check;
    // Only the readers of the file's own kind are asked (see
    // keep_only_readers_of()), so none taking it means it is not of that kind.
    // A count in a damaged file makes assimp ask for more memory than
    // there is.
    if (why == "std::bad_alloc") why = "the file asks assimp for more memory than there is";
    if (why.empty() || why.starts_with("No suitable reader")) {
      const std::string kind = ext == "gltf" || ext == "glb" ? "glTF"
                               : ext == "fbx"                ? "FBX"
                               : ext == "obj"                ? "Wavefront OBJ"
                               : ext == "dae"                ? "COLLADA"
                                                             : std::string(ext);
      why = "the file is no " + kind + " scene assimp can read";
    }
    if (files.refused()) why += "\n" + *files.refused();
    return Error{kAssimpBadScene, display_name + ": assimp: " + why, {}, ErrorKind::kParse};
  }
  SceneBuilder builder(*ai, axes_of(ext, *ai), display_name, scene);
  if (Status s = builder.build(); !s) {
    scene.release();
    return s;
  }
  char line[160];
  std::snprintf(line, sizeof line, "scene read by assimp %u.%u (%s)", aiGetVersionMajor(), aiGetVersionMinor(),
                format_name(ext, *ai).c_str());
  notifier.log(line);
  return {};
}

// What assimp is given to read: the scene (already in memory) under its
// name, and whether it may open the files the scene names.
struct SceneSource {
  std::string name;
  std::string_view bytes;
  std::shared_ptr<const FileText> owner;  // keeps `bytes` alive, when given
  bool others;
};

const aiScene* assimp_read(Assimp::Importer& importer, const SceneSource& source, const std::string& ext,
                           SceneFiles*& files) {
  configure(importer, ext);
  files = new SceneFiles(source.name, source.bytes, source.owner, source.others);
  importer.SetIOHandler(files);  // the importer owns it
  failed_assimp_check.clear();
  return importer.ReadFile(source.name, post_processing());
}

// Reads the scene in this process.
Status read_here(const SceneSource& source, const std::string& ext, const std::string& display_name,
                 ImportedScene& scene, UserNotifier& notifier) {
  Assimp::Importer importer;
  SceneFiles* files = nullptr;
  const aiScene* ai = assimp_read(importer, source, ext, files);
  return finish(importer, ai, ext, display_name, *files, scene, notifier);
}

// A reader's answer from the child process, as bytes: whether it read the
// scene, then the error or the log lines and the scene. Packet writes the
// fields that Unpacker reads back; the *_fields() functions below list them
// once for both.
class Packet {
 public:
  template <class T>
  void field(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void field(const std::string& text) {
    field(uint64_t{text.size()});
    bytes.append(text);
  }
  template <class T>
  void field(const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>);
    field(uint64_t{values.size()});
    if (!values.empty()) bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
  }
  std::string bytes;
};

// Takes a Packet apart; any shortfall leaves ok() false.
class Unpacker {
 public:
  explicit Unpacker(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  template <class T>
  void field(T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!take(sizeof value)) return;
    std::memcpy(&value, bytes_.data() + at_ - sizeof value, sizeof value);
  }
  void field(std::string& text) {
    uint64_t n = 0;
    field(n);
    if (!ok_ || !take(n)) return;
    text.assign(bytes_.data() + at_ - n, n);
  }
  template <class T>
  void field(std::vector<T>& values) {
    uint64_t n = 0;
    field(n);
    if (!ok_ || n > (bytes_.size() - at_) / sizeof(T)) {
      ok_ = false;
      return;
    }
    values.resize(n);
    if (n > 0 && take(n * sizeof(T))) std::memcpy(values.data(), bytes_.data() + at_ - n * sizeof(T), n * sizeof(T));
  }

 private:
  bool take(uint64_t n) {
    ok_ = ok_ && n <= bytes_.size() - at_;
    if (ok_) at_ += n;
    return ok_;
  }
  std::string_view bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

template <class Stream, class Object>
void object_fields(Stream& io, Object& o) {
  io.field(o.name);
  io.field(o.parent);
  io.field(o.bone);
  io.field(o.material_ref);
  io.field(o.verts);
  io.field(o.weights);
  io.field(o.tverts);
  io.field(o.faces);
  io.field(o.cverts);
  io.field(o.num_cvfaces);
  io.field(o.rows);
  io.field(o.skinned);
  io.field(o.line);
}

// All of a scene but its objects and name.
template <class Stream, class Scene>
void scene_fields(Stream& io, Scene& scene) {
  io.field(scene.lights);
  io.field(scene.materials);
  io.field(scene.skinned);
  io.field(scene.origin);
}

template <class Stream, class E>
void error_fields(Stream& io, E& e) {
  io.field(e.code);
  io.field(e.message);
  io.field(e.where.path);
  io.field(e.where.line);
  io.field(e.where.offset);
  io.field(e.kind);
}

// What the reader tells the user on the way: kept in the child, told again
// by the parent.
class LogLines final : public UserNotifier {
 public:
  void log(std::string_view line) override { lines.emplace_back(line); }
  void message(std::string_view, std::string_view) override {}
  void status(std::string_view) override {}
  std::vector<std::string> lines;
};

// Long enough for the largest scene a file may hold.
constexpr unsigned kChildSeconds = 600;
// The child's first byte: assimp has returned.
constexpr char kAssimpDone = 'A';

[[noreturn]] void read_in_child(int out, const SceneSource& source, const std::string& ext,
                                const std::string& display_name) {
  // What the C library says on its way down is not for the user: the
  // parent reports a crash in its own words.
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) ::dup2(null, STDERR_FILENO);
  ::alarm(kChildSeconds);
  LogLines log;
  ImportedScene scene;
  Assimp::Importer importer;
  SceneFiles* files = nullptr;
  const aiScene* ai = assimp_read(importer, source, ext, files);
  // Assimp is done: a crash from here on is the conversion's, which the
  // parent tells apart.
  while (::write(out, &kAssimpDone, 1) < 0 && errno == EINTR) {
  }
  const Status s = finish(importer, ai, ext, display_name, *files, scene, log);
  Packet p;
  p.field(static_cast<uint8_t>(s ? 1 : 0));
  if (!s) {
    error_fields(p, s.error());
  } else {
    p.field(uint64_t{log.lines.size()});
    for (const std::string& line : log.lines) p.field(line);
    p.field(uint64_t{scene.objects.size()});
    for (const MaxObject& o : scene.objects) object_fields(p, o);
    scene_fields(p, scene);
  }
  bool written = true;
  for (size_t at = 0; at < p.bytes.size() && written;) {
    const ssize_t n = ::write(out, p.bytes.data() + at, p.bytes.size() - at);
    if (n > 0) at += static_cast<size_t>(n);
    else written = n < 0 && errno == EINTR;
  }
  std::_Exit(written ? 0 : 3);  // no exit handlers of the parent's
}

// Assimp's readers still crash on some damaged files (a double free in the
// FBX reader, reads and writes through bad pointers), and a crash would take
// the artist's unsaved work with it; memory they spoil without crashing
// would spoil this process too. So the scene is read in a child process,
// which hands the imported scene back through a pipe; this process never
// runs assimp on the file. Without a child (no pipe or fork refused), the
// scene is read here, as before.
Status read_scene(const SceneSource& source, const std::string& ext, const std::string& display_name,
                  ImportedScene& scene, UserNotifier& notifier) {
  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return read_here(source, ext, display_name, scene, notifier);
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    return read_here(source, ext, display_name, scene, notifier);
  }
  if (child == 0) {
    ::close(pipe_ends[0]);
    read_in_child(pipe_ends[1], source, ext, display_name);
  }
  ::close(pipe_ends[1]);
  std::string answer;
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t n = ::read(pipe_ends[0], buffer.data(), buffer.size());
    if (n > 0) answer.append(buffer.data(), static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  ::close(pipe_ends[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  auto failed = [&](const std::string& why) {
    return Error{kAssimpBadScene, display_name + ": assimp: " + why, {}, ErrorKind::kParse};
  };
  const bool assimp_done = !answer.empty() && answer[0] == kAssimpDone;
  // A child that did not end by itself with status 0 crashed (a sanitizer
  // build ends it with status 1 instead of a signal).
  if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)) {
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
      return failed("the reader took more than " + std::to_string(kChildSeconds / 60) + " minutes over the file");
    }
    const std::string how =
        WIFSIGNALED(status) ? ::strsignal(WTERMSIG(status)) : "exit status " + std::to_string(WEXITSTATUS(status));
    if (assimp_done) return failed("the conversion of the scene assimp read crashed (" + how + ")");
    return failed("the reader crashes on the file (" + how + ")");
  }
  if (!assimp_done) return failed("the reader stopped without an answer");
  Unpacker u(std::string_view(answer).substr(1));
  uint8_t read = 0;
  u.field(read);
  if (read == 0) {
    Error e{kAssimpBadScene, {}, {}, ErrorKind::kParse};
    error_fields(u, e);
    if (u.ok()) return e;
  } else {
    uint64_t count = 0;
    u.field(count);
    std::vector<std::string> log;
    for (uint64_t i = 0; i < count && u.ok(); ++i) u.field(log.emplace_back());
    u.field(count);
    for (uint64_t i = 0; i < count && u.ok(); ++i) object_fields(u, scene.objects.emplace_back());
    scene_fields(u, scene);
    if (u.ok()) {
      for (const std::string& line : log) notifier.log(line);
      return {};
    }
    scene.release();
  }
  return failed("the reader's answer came back cut short");
}

}  // namespace

bool is_assimp_scene_path(std::string_view path) {
  const std::string ext = lower_extension(path);
  return ext == "gltf" || ext == "glb" || ext == "fbx" || ext == "dae" || ext == "obj";
}

Status assimp_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier) {
  scene.release();
  Result<FileText> text = FileText::open(path, kMaxSceneBytes);
  if (!text) {
    Error e = text.error();
    e.code = kAssimpCannotOpen;
    return e;
  }
  auto main = std::make_shared<const FileText>(std::move(*text));
  const std::string ext = lower_extension(path);
  if (const std::optional<std::string> why = refusal(ext, main->view())) {
    return Error{kAssimpBadScene, path + ": " + *why, {}, ErrorKind::kBadData};
  }
  Status s = read_scene({path, main->view(), main, true}, ext, path, scene, notifier);
  if (s) scene.name = bare_name(path);
  return s;
}

Status assimp_parse(std::string_view bytes, std::string_view hint, const std::string& display_name,
                    ImportedScene& scene, UserNotifier& notifier) {
  scene.release();
  if (bytes.size() > kMaxSceneBytes) {
    return data_error(display_name, -1, "larger than a scene may be", kAssimpCannotOpen, ErrorKind::kTooLarge);
  }
  std::string ext(hint);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (const std::optional<std::string> why = refusal(ext, bytes)) {
    return Error{kAssimpBadScene, display_name + ": " + *why, {}, ErrorKind::kBadData};
  }
  // Read under a plain name of its kind, and nothing besides. (Assimp's own
  // reading from memory serves any name that starts like its stand-in name,
  // so the OBJ reader, looking for "<stand-in>.mtl" when the named material
  // library is missing, read the scene again as its material library and
  // wrote through a material it had not made.)
  Status s = read_scene({"scene." + ext, bytes, nullptr, false}, ext, display_name, scene, notifier);
  if (s) scene.name = bare_name(display_name);
  return s;
}

}  // namespace orvo
