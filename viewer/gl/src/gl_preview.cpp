#include "orvo/viewer/gl/gl_preview.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <unordered_map>

#include "orvo/runtime/file_access.h"
#include "orvo/runtime/fonts/font_pages.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/export_log.h"
#include "orvo/viewer/gl/gl_buffers.h"
#include "orvo/viewer/gl/gl_textures.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/part_motion.h"
#include "orvo/viewer/pixel_shaders.h"
#include "orvo/viewer/preview_floor.h"
#include "orvo/viewer/texture_library.h"
#include "orvo/viewer/vertex_buffers.h"
#include "tools/base/text.h"

namespace orvo {

namespace {

using preview::Mat4;

// ---- Programs ------------------------------------------------------------------

// One vertex program serves every pass: it places the vertex (rigid, four
// palette bones, or the older two-bone form), lights it for the plain
// program and fills each texture stage's coordinates as the pass asks:
//   0 the first set through the texture matrix, 1 the second set,
//   2 the light vector in tangent space, 3 the half vector in tangent space,
//   4 a row of the tangent-to-world matrix with the eye vector's component
//     in w (the 3 x 3 environment forms; row = stage - 1),
//   5 the reflection vector in world space.
// The diffuse colour is the lit colour (mode 0), the light vector in tangent
// space packed into 0..1 (mode 1) or the light's colour (mode 2); the
// specular colour the ambient light (mode 0) or the material's reflection
// colour (mode 1). Alpha is the material's.
constexpr const char* kVertexProgram = R"(#version 330 core
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_normal;
layout(location = 2) in vec2 a_uv1;
layout(location = 3) in vec2 a_uv2;
layout(location = 4) in vec3 a_tangent;
layout(location = 5) in vec3 a_binormal;
layout(location = 6) in vec3 a_weights;
layout(location = 7) in vec4 a_bones;
uniform int u_skin;
uniform mat4 u_bones[16];
uniform mat4 u_world;
uniform mat4 u_view;
uniform mat4 u_proj;
uniform vec3 u_tex_u;
uniform vec3 u_tex_v;
uniform vec3 u_light_dir;
uniform vec3 u_light_colour;
uniform vec3 u_ambient;
uniform vec4 u_material;
uniform vec3 u_reflect_colour;
uniform vec3 u_eye;
uniform int u_has_tangent;
uniform int u_stage_mode[4];
uniform int u_v0_mode;
uniform int u_v1_mode;
out vec4 v_tex0;
out vec4 v_tex1;
out vec4 v_tex2;
out vec4 v_tex3;
out vec4 v_diffuse;
out vec4 v_specular;
out float v_fog_depth;

vec4 stage(int mode, int row, vec3 l, vec3 h, vec3 e, mat3 tbn, vec3 n) {
  if (mode == 0) {
    vec3 uv = vec3(a_uv1, 1.0);
    return vec4(dot(uv, u_tex_u), dot(uv, u_tex_v), 0.0, 1.0);
  }
  if (mode == 1) return vec4(a_uv2, 0.0, 1.0);
  if (mode == 2) return vec4(l, 1.0);
  if (mode == 3) return vec4(h, 1.0);
  if (mode == 4) return vec4(tbn[0][row], tbn[1][row], tbn[2][row], e[row]);
  if (mode == 5) return vec4(reflect(-e, n), 1.0);
  return vec4(0.0);
}

void main() {
  mat4 world = u_world;
  if (u_skin == 1) {
    float w3 = 1.0 - a_weights.x - a_weights.y - a_weights.z;
    world = u_bones[int(a_bones.x)] * a_weights.x + u_bones[int(a_bones.y)] * a_weights.y +
            u_bones[int(a_bones.z)] * a_weights.z + u_bones[int(a_bones.w)] * w3;
  } else if (u_skin == 2) {
    world = u_bones[0] * a_weights.x + u_bones[1] * (1.0 - a_weights.x);
  }
  vec4 p = world * vec4(a_position, 1.0);
  mat3 turn = mat3(world);
  vec3 n = normalize(turn * a_normal);
  vec3 t;
  vec3 b;
  if (u_has_tangent != 0 && dot(a_tangent, a_tangent) > 0.0) {
    t = normalize(turn * a_tangent);
    b = normalize(turn * a_binormal);
  } else {
    vec3 side = abs(n.z) < 0.9 ? vec3(0.0, 0.0, 1.0) : vec3(1.0, 0.0, 0.0);
    t = normalize(cross(side, n));
    b = cross(n, t);
  }
  mat3 tbn = mat3(t, b, n);  // tangent space to world
  vec3 to_light = -normalize(u_light_dir);
  vec3 e = u_eye - p.xyz;
  vec3 l = to_light * tbn;  // world to tangent space
  vec3 h = normalize(to_light + normalize(e)) * tbn;
  v_tex0 = stage(u_stage_mode[0], 0, l, h, e, tbn, n);
  v_tex1 = stage(u_stage_mode[1], 0, l, h, e, tbn, n);
  v_tex2 = stage(u_stage_mode[2], 1, l, h, e, tbn, n);
  v_tex3 = stage(u_stage_mode[3], 2, l, h, e, tbn, n);
  if (u_v0_mode == 1) {
    v_diffuse = vec4(normalize(l) * 0.5 + 0.5, u_material.a);
  } else if (u_v0_mode == 2) {
    v_diffuse = vec4(u_light_colour * u_material.rgb, u_material.a);
  } else {
    float lit = max(dot(n, to_light), 0.0);
    v_diffuse = vec4(clamp(u_material.rgb * (u_ambient + u_light_colour * lit), 0.0, 1.0), u_material.a);
  }
  v_specular = u_v1_mode == 1 ? vec4(u_reflect_colour, 0.0) : vec4(u_ambient * u_material.rgb, 0.0);
  vec4 eye_space = u_view * p;
  v_fog_depth = -eye_space.z;
  gl_Position = u_proj * eye_space;
}
)";

// The finishing step every fragment program shares: alpha test, then fog.
constexpr const char* kFragmentMain = R"(
uniform int u_alpha_test;
uniform float u_alpha_ref;
uniform vec3 u_fog_colour;
uniform vec2 u_fog;
in float v_fog_depth;
out vec4 frag_colour;
void main() {
  vec4 c = clamp(shade_pixel(), 0.0, 1.0);
  if (u_alpha_test != 0 && c.a < u_alpha_ref) discard;
  float f = clamp((u_fog.y - v_fog_depth) / (u_fog.y - u_fog.x), 0.0, 1.0);
  frag_colour = vec4(mix(u_fog_colour, c.rgb, f), c.a);
}
)";

// The plain program: the first stage's texture (or the environment) times
// the lit colour.
constexpr const char* kPlainFragment = R"(#version 330 core
in vec4 v_tex0;
in vec4 v_diffuse;
uniform sampler2D u_tex0;
uniform samplerCube u_cube3;
uniform int u_env;
vec4 shade_pixel() {
  vec4 t = u_env != 0 ? texture(u_cube3, v_tex0.xyz) : texture(u_tex0, v_tex0.xy);
  return t * v_diffuse;
}
)";

// The bump program of devices with transform and lighting but no pixel
// shaders: the dot product of the normal map with the packed light vector,
// as a texture stage's dot-product operation computes it.
constexpr const char* kBumpFragment = R"(#version 330 core
in vec4 v_tex0;
in vec4 v_diffuse;
in vec4 v_specular;
uniform sampler2D u_tex0;
uniform sampler2D u_tex1;
uniform vec4 u_c[8];
vec4 shade_pixel() {
  vec3 n = texture(u_tex0, v_tex0.xy).rgb * 2.0 - 1.0;
  vec3 l = v_diffuse.rgb * 2.0 - 1.0;
  vec4 base = texture(u_tex1, v_tex0.xy);
  float d = clamp(dot(n, l), 0.0, 1.0);
  return vec4(clamp(d * u_c[4].rgb + v_specular.rgb, 0.0, 1.0) * base.rgb * 2.0, base.a * v_diffuse.a);
}
)";

// The overlay's glyphs and the floor: a textured quad in clip space or in
// the world.
constexpr const char* kQuadVertex = R"(#version 330 core
layout(location = 0) in vec3 a_position;
layout(location = 2) in vec2 a_uv1;
uniform mat4 u_transform;
out vec2 v_uv;
out float v_fog_depth;
uniform mat4 u_view;
void main() {
  v_uv = a_uv1;
  v_fog_depth = -(u_view * vec4(a_position, 1.0)).z;
  gl_Position = u_transform * vec4(a_position, 1.0);
}
)";
constexpr const char* kQuadFragment = R"(#version 330 core
in vec2 v_uv;
in float v_fog_depth;
uniform sampler2D u_tex0;
uniform vec4 u_colour;
uniform int u_red_is_alpha;
uniform vec3 u_fog_colour;
uniform vec2 u_fog;
out vec4 frag_colour;
void main() {
  vec4 t = texture(u_tex0, v_uv);
  if (u_red_is_alpha != 0) t = vec4(1.0, 1.0, 1.0, t.r);
  vec4 c = t * u_colour;
  float f = clamp((u_fog.y - v_fog_depth) / (u_fog.y - u_fog.x), 0.0, 1.0);
  frag_colour = vec4(mix(u_fog_colour, c.rgb, f), c.a);
}
)";

enum ProgramIndex : int { kProgPlain = 0, kProgBump = 1, kProgShader0 = 2, kProgQuad = 16, kProgCount = 17 };

struct GlProgram {
  GLuint id = 0;
  std::unordered_map<std::string, GLint> uniforms;
};

PackedGenerator packed(const file3di::GeneratorField& f) {
  return PackedGenerator{f.style, f.index_or_phase, f.rate, f.start, f.end};
}

std::array<uint8_t, 3> colour_bytes(uint32_t packed_rgb) {
  return {static_cast<uint8_t>(packed_rgb >> 16), static_cast<uint8_t>(packed_rgb >> 8),
          static_cast<uint8_t>(packed_rgb)};
}

preview::Vec3 rgb_of(uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f, static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
          static_cast<float>(rgb & 0xFF) / 255.0f};
}

// The attribute offsets of a buffer kind's vertex layout; -1 for none.
struct Layout {
  int stride, position, normal, uv1, uv2, tangent, binormal, weights, weight_count, bones;
};

Layout layout_of(BufferKind kind) {
  switch (kind) {
    case BufferKind::kSegmented1: return {32, 0, 12, 24, -1, -1, -1, -1, 0, -1};
    case BufferKind::kSegmented2: return {40, 0, 12, 24, 32, -1, -1, -1, 0, -1};
    case BufferKind::kSegTangent: return {64, 0, 12, 24, 32, 40, 52, -1, 0, -1};
    case BufferKind::kSkinned: return {56, 0, 28, 40, 48, -1, -1, 12, 3, 24};
    case BufferKind::kSkinnedTangent: return {80, 0, 28, 40, 48, 56, 68, 12, 3, 24};
    case BufferKind::kSkinnedOld: return {44, 0, 16, 28, 36, -1, -1, 12, 1, -1};
  }
  return {32, 0, 12, 24, -1, -1, -1, -1, 0, -1};
}

// The environment: a grey sky, lighter above the horizon, for the
// reflective types when no cube map is given.
uint32_t sky_texel(const preview::Vec3& d) {
  const float z = d[2] / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  const float g = z > 0 ? 0.55f + 0.45f * z : 0.45f + 0.25f * z;
  const auto c = static_cast<uint32_t>(std::clamp(g, 0.0f, 1.0f) * 255.0f);
  const uint32_t b = std::min<uint32_t>(255, c + 16);
  return 0xFF000000u | c << 16 | c << 8 | b;
}

// The normalising cube map: each texel holds its own direction packed into
// 0..1.
uint32_t normaliser_texel(const preview::Vec3& d) {
  const float l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  auto pack = [l](float c) { return static_cast<uint32_t>(std::clamp((c / l) * 127.5f + 128.0f, 0.0f, 255.0f)); };
  return 0xFF000000u | pack(d[0]) << 16 | pack(d[1]) << 8 | pack(d[2]);
}

// What every step of one frame reads.
struct FrameSetup {
  const PreviewView& view;
  int width, height;
  preview::Camera camera;
  preview::Vec3 background;
  float fog_start, fog_end;
  preview::Vec3 light;  // towards the light, this frame
  Mat4 placement;       // the model's turn and place in the world
  const RenderCapabilities& caps;
  const ControlRegisterValues& registers;
  preview::Vec3 light_colour{1.0f, 1.0f, 1.0f};
  preview::Vec3 ambient{0.3f, 0.3f, 0.3f};
};

// What every strip of the level shares: where its vertices are, their kind
// and the generators' clock.
struct StripSetup {
  const BufferPlacement* where = nullptr;
  bool tangents = false;
  int skin = 0;  // 1: the skinned kinds, 2: the old skinned kind
  uint32_t gen_time = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------

struct GlPreview::Impl {
  explicit Impl(QOpenGLContext& c)
      : context(c), gl(QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&c)) {}

  QOpenGLContext& context;
  QOpenGLFunctions_3_3_Core* gl;
  std::array<GlProgram, kProgCount> programs{};
  bool programs_ready = false;

  std::unique_ptr<ExportLog> log;
  FileAccess files;
  std::unique_ptr<ModelLoader> loader;
  std::unique_ptr<GlTextureDevice> texture_device;
  std::unique_ptr<TextureLibrary> library;
  std::unique_ptr<LibraryTextureFactory> factory;
  std::unique_ptr<GlBufferDevice> buffer_device;
  std::unique_ptr<VertexBuffers> buffers;
  render::Model* model = nullptr;

  std::unordered_map<int, GLuint> vaos;  // by buffer table index
  std::unordered_map<const render::Material*, GLuint> normal_maps;
  std::unordered_map<const render::Material*, const render::Material*> second_layers;
  GLuint white = 0, flat_normal = 0, sky = 0, normaliser = 0;
  GLuint floor_checker = 0, floor_noise = 0;
  GLuint quad_vao = 0, quad_vbo = 0;
  std::vector<GLuint> font_pages;
  float floor_z = 0.0f;
  int texture_kb = 0;

  std::vector<render::Matrix4f> base, finals;

  bool build_programs(const RenderCapabilities& caps, std::string* error);
  GLuint compile(GLenum kind, const std::string& source, std::string* error);
  bool link(GlProgram& p, const std::string& vertex, const std::string& fragment, std::string* error);
  GLint uniform(GlProgram& p, const char* name);
  void release_scene();
  void release_programs();
  GLuint texture_2d(int w, int h, const uint32_t* argb, bool repeat);
  GLuint cube(int side, uint32_t (*texel)(const preview::Vec3&));
  GLuint id_of(const render::Texture* t) const;
  // A texture's mean colour (0xRRGGBB): its smallest mip level averaged.
  uint32_t mean_colour(GLuint id);
  std::unordered_map<GLuint, uint32_t> mean_colours;
  void build_scene(const std::string& texture_folder);
  GLuint vao_for(int buffer_index);

  void draw_floor(const FrameSetup& f, PreviewFrameInfo& info);
  void draw_model(const FrameSetup& f, const render::Lod& lod, PreviewFrameInfo& info);
  void draw_strip(const FrameSetup& f, const StripSetup& strips, const render::Strip& strip, const Mat4& world,
                  PreviewFrameInfo& info);
  void set_transforms(GlProgram& p, const FrameSetup& f, const StripSetup& strips, const render::Strip& strip,
                      const Mat4& world);
  preview::Vec3 set_material(GlProgram& p, const FrameSetup& f, const StripSetup& strips, const preview::Pass& pass,
                             const render::Material& source);
  void bind_stages(GlProgram& p, const FrameSetup& f, const preview::Pass& pass, const render::Material& m,
                   const render::Material& source, const render::Material* second, const preview::Vec3& reflect);
  void set_blending(GlProgram& p, const FrameSetup& f, const preview::Pass& pass, bool layered,
                    const render::Material& m, const render::Material& source);
  void draw_overlay(const FrameSetup& f, const Font& font, PreviewFrameInfo& info);
};

GLuint GlPreview::Impl::compile(GLenum kind, const std::string& source, std::string* error) {
  const GLuint s = gl->glCreateShader(kind);
  const char* text = source.c_str();
  gl->glShaderSource(s, 1, &text, nullptr);
  gl->glCompileShader(s);
  GLint ok = 0;
  gl->glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (ok == 0) {
    char log_text[2048] = {};
    gl->glGetShaderInfoLog(s, sizeof log_text, nullptr, log_text);
    if (error != nullptr) *error = std::string("a shader program does not compile: ") + log_text;
    gl->glDeleteShader(s);
    return 0;
  }
  return s;
}

bool GlPreview::Impl::link(GlProgram& p, const std::string& vertex, const std::string& fragment, std::string* error) {
  const GLuint vs = compile(GL_VERTEX_SHADER, vertex, error);
  if (vs == 0) return false;
  const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment, error);
  if (fs == 0) {
    gl->glDeleteShader(vs);
    return false;
  }
  p.id = gl->glCreateProgram();
  gl->glAttachShader(p.id, vs);
  gl->glAttachShader(p.id, fs);
  gl->glLinkProgram(p.id);
  gl->glDeleteShader(vs);
  gl->glDeleteShader(fs);
  GLint ok = 0;
  gl->glGetProgramiv(p.id, GL_LINK_STATUS, &ok);
  if (ok == 0) {
    char log_text[2048] = {};
    gl->glGetProgramInfoLog(p.id, sizeof log_text, nullptr, log_text);
    if (error != nullptr) *error = std::string("a shader program does not link: ") + log_text;
    gl->glDeleteProgram(p.id);
    p.id = 0;
    return false;
  }
  // Samplers keep their units for the program's life: the four stages on
  // units 0..3 and the cube maps of stages 0..3 on units 4..7.
  gl->glUseProgram(p.id);
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    if (const GLint at = gl->glGetUniformLocation(p.id, ("u_tex" + n).c_str()); at >= 0) gl->glUniform1i(at, i);
    if (const GLint at = gl->glGetUniformLocation(p.id, ("u_cube" + n).c_str()); at >= 0) gl->glUniform1i(at, 4 + i);
  }
  return true;
}

GLint GlPreview::Impl::uniform(GlProgram& p, const char* name) {
  auto it = p.uniforms.find(name);
  if (it != p.uniforms.end()) return it->second;
  const GLint at = gl->glGetUniformLocation(p.id, name);
  p.uniforms.emplace(name, at);
  return at;
}

bool GlPreview::Impl::build_programs(const RenderCapabilities& caps, std::string* error) {
  release_programs();
  const std::string main_text = kFragmentMain;
  if (!link(programs[kProgPlain], kVertexProgram, kPlainFragment + main_text, error)) return false;
  if (!link(programs[kProgBump], kVertexProgram, kBumpFragment + main_text, error)) return false;
  if (!link(programs[kProgQuad], kQuadVertex, kQuadFragment, error)) return false;
  // The pixel shaders are assembled only for a device that runs them. Each
  // samples its stages as the passes bind them (cube maps where a pass
  // binds one).
  if (caps.pixel_shaders) {
    for (int k = 0; k < kPixelShaderCount; ++k) {
      std::string why;
      const std::optional<PsProgram> ps = parse_pixel_shader(pixel_shader_text(k), &why);
      if (!ps) {
        if (error != nullptr) *error = "pixel shader " + std::to_string(k) + ": " + why;
        return false;
      }
      std::string fragment = pixel_shader_glsl(*ps, false, preview::shader_cube_stages(k));
      if (!link(programs[static_cast<std::size_t>(kProgShader0 + k)], kVertexProgram, fragment + main_text, error))
        return false;
    }
  }
  programs_ready = true;
  return true;
}

void GlPreview::Impl::release_programs() {
  for (GlProgram& p : programs) {
    if (p.id != 0) gl->glDeleteProgram(p.id);
    p = GlProgram{};
  }
  programs_ready = false;
}

GLuint GlPreview::Impl::texture_2d(int w, int h, const uint32_t* argb, bool repeat) {
  GLuint id = 0;
  gl->glGenTextures(1, &id);
  gl->glBindTexture(GL_TEXTURE_2D, id);
  gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb);
  gl->glGenerateMipmap(GL_TEXTURE_2D);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  const GLint wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  return id;
}

GLuint GlPreview::Impl::cube(int side, uint32_t (*texel)(const preview::Vec3&)) {
  GLuint id = 0;
  gl->glGenTextures(1, &id);
  gl->glBindTexture(GL_TEXTURE_CUBE_MAP, id);
  std::vector<uint32_t> face(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  for (int f = 0; f < 6; ++f) {
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        // The face's texel centre in -1..1 (s to the right, t downwards).
        const float s = (static_cast<float>(x) + 0.5f) / static_cast<float>(side) * 2.0f - 1.0f;
        const float t = (static_cast<float>(y) + 0.5f) / static_cast<float>(side) * 2.0f - 1.0f;
        preview::Vec3 d{};
        switch (f) {
          case 0: d = {1, -t, -s}; break;
          case 1: d = {-1, -t, s}; break;
          case 2: d = {s, 1, t}; break;
          case 3: d = {s, -1, -t}; break;
          case 4: d = {s, -t, 1}; break;
          default: d = {-s, -t, -1}; break;
        }
        face[static_cast<std::size_t>(y * side + x)] = texel(d);
      }
    gl->glTexImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f), 0, GL_RGBA8, side, side, 0, GL_BGRA,
                     GL_UNSIGNED_INT_8_8_8_8_REV, face.data());
  }
  gl->glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gl->glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl->glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  return id;
}

GLuint GlPreview::Impl::id_of(const render::Texture* t) const {
  if (t == nullptr || t->handle <= 0 || texture_device == nullptr) return 0;
  return texture_device->texture_id(t->handle);
}

uint32_t GlPreview::Impl::mean_colour(GLuint id) {
  if (auto it = mean_colours.find(id); it != mean_colours.end()) return it->second;
  gl->glBindTexture(GL_TEXTURE_2D, id);
  GLint level = 0, w = 0, h = 0;
  for (;;) {
    GLint nw = 0, nh = 0;
    gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, level + 1, GL_TEXTURE_WIDTH, &nw);
    gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, level + 1, GL_TEXTURE_HEIGHT, &nh);
    if (nw <= 0 || nh <= 0 || level >= 15) break;
    ++level;
  }
  gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  uint32_t mean = 0xFFFFFF;
  if (w > 0 && h > 0 && static_cast<int64_t>(w) * h <= (1 << 22)) {
    std::vector<uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    uint64_t r = 0, g = 0, b = 0;
    for (uint32_t p : pixels) {
      r += (p >> 16) & 0xFF;
      g += (p >> 8) & 0xFF;
      b += p & 0xFF;
    }
    const uint64_t n = pixels.size();
    mean = static_cast<uint32_t>((r / n) << 16 | (g / n) << 8 | (b / n));
  }
  mean_colours.emplace(id, mean);
  return mean;
}

GLuint GlPreview::Impl::vao_for(int buffer_index) {
  if (auto it = vaos.find(buffer_index); it != vaos.end()) return it->second;
  const BufferEntry& entry = buffers->buffers()[static_cast<std::size_t>(buffer_index)];
  const GlBufferDevice::Pair pair = buffer_device->buffers(entry.handle);
  const Layout l = layout_of(entry.kind);
  GLuint vao = 0;
  gl->glGenVertexArrays(1, &vao);
  gl->glBindVertexArray(vao);
  gl->glBindBuffer(GL_ARRAY_BUFFER, pair.vertex_buffer);
  gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, pair.index_buffer);
  auto attribute = [&](GLuint at, int offset, int size) {
    if (offset < 0) {
      gl->glDisableVertexAttribArray(at);
      return;
    }
    gl->glEnableVertexAttribArray(at);
    gl->glVertexAttribPointer(at, size, GL_FLOAT, GL_FALSE, l.stride,
                              reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)));
  };
  attribute(0, l.position, 3);
  attribute(1, l.normal, 3);
  attribute(2, l.uv1, 2);
  attribute(3, l.uv2 >= 0 ? l.uv2 : l.uv1, 2);
  attribute(4, l.tangent, 3);
  attribute(5, l.binormal, 3);
  attribute(6, l.weights, std::max(l.weight_count, 1));
  if (l.bones >= 0) {
    gl->glEnableVertexAttribArray(7);
    gl->glVertexAttribPointer(7, 4, GL_UNSIGNED_BYTE, GL_FALSE, l.stride,
                              reinterpret_cast<const void*>(static_cast<std::uintptr_t>(l.bones)));
  } else {
    gl->glDisableVertexAttribArray(7);
  }
  gl->glBindVertexArray(0);
  vaos.emplace(buffer_index, vao);
  return vao;
}

void GlPreview::Impl::build_scene(const std::string& texture_folder) {
  const uint32_t white_texel = 0xFFFFFFFFu, flat_texel = 0xFF8080FFu;
  white = texture_2d(1, 1, &white_texel, true);
  flat_normal = texture_2d(1, 1, &flat_texel, true);
  sky = cube(32, sky_texel);
  normaliser = cube(32, normaliser_texel);
  const std::vector<uint32_t> checker = render::floor_checker_texels();
  const std::vector<uint32_t> noise = render::floor_noise_texels();
  floor_checker = texture_2d(256, 256, checker.data(), true);
  floor_noise = texture_2d(256, 256, noise.data(), true);
  // Texture memory: the floor's two textures and the model's, at 4 bytes a texel.
  int64_t texture_bytes = 2 * 256 * 256 * 4;
  for (const render::Texture& t : model->textures)
    if (t.handle > 0) texture_bytes += int64_t{t.record.width} * t.record.height * 4;
  texture_kb = static_cast<int>(std::min<int64_t>(texture_bytes / 1024, 1 << 30));

  // Second layers: a material marked as layered is followed by its layer.
  // Normal maps: the material's bump map, or for the MDT types the MDT file
  // of the first stage's name.
  for (uint32_t l = 0; l < model->lod_count; ++l) {
    render::Lod* lod = model->lods[l];
    if (lod == nullptr) continue;
    for (std::size_t i = 0; i < lod->materials.size(); ++i) {
      const render::Material& m = lod->materials[i];
      if (m.record.second_layer != 0 && i + 1 < lod->materials.size()) {
        second_layers[&m] = &lod->materials[i + 1];
        ++i;
      }
    }
    for (const render::Material& m : lod->materials) {
      if (m.record.shader_type == 0) continue;
      const render::Texture* t = m.texture;
      const std::string name = t != nullptr ? t->created_name : std::string();
      int32_t handle = 0;
      const uint8_t type = m.record.shader_type;
      const bool mdt = type == 8 || type == 10 || type == 11 || type == 12;
      std::string wanted = name;
      if (mdt && !name.empty()) {
        const std::size_t dot = name.find_last_of('.');
        wanted = name.substr(0, dot == std::string::npos ? name.size() : dot) + ".MDT";
        handle = library->plain(wanted, 0, 0);
      } else if (!name.empty()) {
        handle = library->bump(name, 0, 0, 1.0f / 64.0f);
      }
      if (handle <= 0) {
        if (log != nullptr)
          log->line(
              tools::format_text("Error: Could not load texture %.200s\n", wanted.empty() ? "(none)" : wanted.c_str()));
        normal_maps[&m] = flat_normal;
      } else {
        normal_maps[&m] = texture_device->texture_id(handle);
      }
    }
  }
  (void)texture_folder;

  // The floor lies under the model's lowest vertex.
  float lowest = 0.0f;
  bool any = false;
  auto low = [&](const render::Vec3f& p) {
    if (!any || p[1] < lowest) lowest = p[1];
    any = true;
  };
  for (const render::VertexM& v : model->vertices_m) low(v.position);
  for (const render::VertexP& v : model->vertices_p) low(v.position);
  floor_z = lowest;

  gl->glGenVertexArrays(1, &quad_vao);
  gl->glGenBuffers(1, &quad_vbo);
  gl->glBindVertexArray(quad_vao);
  gl->glBindBuffer(GL_ARRAY_BUFFER, quad_vbo);
  gl->glEnableVertexAttribArray(0);
  gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
  gl->glEnableVertexAttribArray(2);
  gl->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<const void*>(std::uintptr_t{12}));
  gl->glBindVertexArray(0);
}

void GlPreview::Impl::release_scene() {
  for (auto& [index, vao] : vaos) gl->glDeleteVertexArrays(1, &vao);
  vaos.clear();
  normal_maps.clear();
  second_layers.clear();
  mean_colours.clear();
  for (GLuint* t : {&white, &flat_normal, &sky, &normaliser, &floor_checker, &floor_noise}) {
    if (*t != 0) gl->glDeleteTextures(1, t);
    *t = 0;
  }
  if (quad_vao != 0) gl->glDeleteVertexArrays(1, &quad_vao);
  if (quad_vbo != 0) gl->glDeleteBuffers(1, &quad_vbo);
  quad_vao = quad_vbo = 0;
  if (buffers != nullptr) buffers->release_all();
  if (loader != nullptr) loader->release_all();
  buffers.reset();
  buffer_device.reset();
  factory.reset();
  library.reset();
  if (texture_device != nullptr) texture_device->release_all();
  texture_device.reset();
  loader.reset();
  log.reset();
  model = nullptr;
}

// ---------------------------------------------------------------------------------

GlPreview::GlPreview(QOpenGLContext& context, tools::SystemLog* system_log)
    : impl_(std::make_unique<Impl>(context)), system_log_(system_log) {}

GlPreview::~GlPreview() {
  release();
  impl_->release_programs();
}

uint32_t GlPreview::preparation_mask(int compatibility_level) {
  return compatibility_level == 1 ? 15u : compatibility_level == 2 ? 14u : 0u;
}

bool GlPreview::loaded() const {
  return impl_->model != nullptr;
}

const render::Model* GlPreview::model() const {
  return impl_->model;
}

std::vector<std::string> GlPreview::texture_failures() const {
  return impl_->factory != nullptr ? impl_->factory->failures() : std::vector<std::string>{};
}

bool GlPreview::load(const std::string& name, int compatibility_level, std::string* error) {
  release();
  Impl& s = *impl_;
  if (s.gl == nullptr) {
    if (error != nullptr) *error = "the preview needs an OpenGL 3.3 core context";
    return false;
  }
  // An OpenGL 3.3 core device has all four capabilities (the hardware
  // layer's OpenGL backend reports the same); the level's mask takes away
  // what the artist asked to do without.
  caps_ = apply_compatibility_mask(RenderCapabilities{true, true, true, true}, preparation_mask(compatibility_level));
  if (!s.build_programs(caps_, error)) return false;

  if (!log_path_.empty()) s.log = std::make_unique<ExportLog>(log_path_);
  s.loader = std::make_unique<ModelLoader>(s.files, main_pool(), s.log.get());
  s.loader->capabilities = caps_;
  s.model = s.loader->load_model(name);
  if (s.model == nullptr) {
    if (error != nullptr) *error = s.loader->last_error();
    s.release_scene();
    return false;
  }
  s.texture_device = std::make_unique<GlTextureDevice>(s.context, false);
  s.library = std::make_unique<TextureLibrary>(*s.texture_device, texture_folder_);
  create_builtin_textures(*s.library);
  s.factory = std::make_unique<LibraryTextureFactory>(*s.library);
  s.loader->create_textures_and_materials(*s.factory);
  s.buffer_device = std::make_unique<GlBufferDevice>(s.context);
  s.buffers = std::make_unique<VertexBuffers>(*s.buffer_device, s.log.get());
  render::Model* const models[] = {s.model};
  s.buffers->create_vertex_buffers(models, caps_);
  s.build_scene(texture_folder_);

  // The overlay font's pages become textures of their own.
  font_ = Font{};
  create_font(
      font_, "Arial", 16, 0,
      [&s](const std::string&, const FontPage& page, int, uint32_t) -> int32_t {
        s.font_pages.push_back(s.texture_2d(page.side, page.side, page.pixels.data(), false));
        return static_cast<int32_t>(s.font_pages.size());
      },
      96, system_log_);
  // The pages are drawn at the screen's 96 dots per inch, where a size of
  // 16 makes glyphs a third taller than the overlay's 16-pixel line step;
  // the overlay shows them at 16 pixels.
  font_.scale *= 0.75f;
  return true;
}

void GlPreview::release() {
  Impl& s = *impl_;
  for (GLuint t : s.font_pages) s.gl->glDeleteTextures(1, &t);
  s.font_pages.clear();
  font_ = Font{};
  s.release_scene();
}

// The frame's steps, in drawing order: the floor, the model's strips (each
// material in its passes), the overlay text.

void GlPreview::Impl::draw_floor(const FrameSetup& f, PreviewFrameInfo& info) {
  // The noise, then the checkerboard, blended over the background.
  QOpenGLFunctions_3_3_Core& g = *gl;
  GlProgram& p = programs[kProgQuad];
  g.glUseProgram(p.id);
  const float z = floor_z;
  // The floor's corners in file axes; the placement turns them with the model.
  const float e = 64.0f;
  Mat4 floor_world = preview::model_placement(f.view.centre, 0.0f, 0.0f);
  const Mat4 vp = preview::multiply(f.camera.view, f.camera.projection);
  const Mat4 t = preview::multiply(floor_world, vp);
  g.glUniformMatrix4fv(uniform(p, "u_transform"), 1, GL_FALSE, t.data());
  const Mat4 floor_view = preview::multiply(floor_world, f.camera.view);
  g.glUniformMatrix4fv(uniform(p, "u_view"), 1, GL_FALSE, floor_view.data());
  g.glUniform1i(uniform(p, "u_red_is_alpha"), 0);
  g.glUniform3f(uniform(p, "u_fog_colour"), f.background[0], f.background[1], f.background[2]);
  g.glUniform2f(uniform(p, "u_fog"), f.fog_start, f.fog_end);
  g.glEnable(GL_BLEND);
  g.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  g.glDepthMask(GL_FALSE);
  g.glDisable(GL_CULL_FACE);
  g.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  g.glBindVertexArray(quad_vao);
  g.glBindBuffer(GL_ARRAY_BUFFER, quad_vbo);
  for (int layer = 0; layer < 2; ++layer) {
    const float repeat = layer == 0 ? 4.0f : 16.0f;
    const float q[] = {-e, z, -e, 0, 0, e, z, -e, repeat, 0, -e, z, e, 0, repeat, e, z, e, repeat, repeat};
    g.glBufferData(GL_ARRAY_BUFFER, sizeof q, q, GL_STREAM_DRAW);
    g.glActiveTexture(GL_TEXTURE0);
    g.glBindTexture(GL_TEXTURE_2D, layer == 0 ? floor_noise : floor_checker);
    g.glUniform4f(uniform(p, "u_colour"), 1, 1, 1, 1);
    g.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++info.draw_calls;
  }
  g.glDepthMask(GL_TRUE);
}

void GlPreview::Impl::draw_model(const FrameSetup& f, const render::Lod& lod, PreviewFrameInfo& info) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  const std::size_t parts = lod.parts.size();
  base.assign(parts, render::identity_matrix());
  finals.assign(parts, render::identity_matrix());
  // The camera's turn as the parts see it: in the file axes the placement
  // starts from.
  Mat4 placement_turn = f.placement;
  placement_turn[12] = placement_turn[13] = placement_turn[14] = 0.0f;
  Mat4 inverse_turn = render::identity_matrix();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inverse_turn[i * 4 + j] = placement_turn[j * 4 + i];
  const Mat4 camera_in_file = preview::multiply(f.camera.orientation, inverse_turn);
  const uint32_t t_ms = static_cast<uint32_t>(f.view.time_ms);
  render::part_transforms(lod, base, &f.placement, camera_in_file, t_ms, f.registers, finals);

  const uint8_t variant = model->variants[1] != 0 ? model->variants[1] : model->variants[0];
  const BufferPlacement* where = buffers->placement(model, variant);
  if (where == nullptr) where = buffers->placement(model, kVariantVid);
  if (where == nullptr) where = buffers->placement(model, kVariantSys);
  if (where == nullptr || where->buffer < 0) return;
  g.glBindVertexArray(vao_for(where->buffer));
  const BufferKind kind = buffers->buffers()[static_cast<std::size_t>(where->buffer)].kind;
  StripSetup strips;
  strips.where = where;
  strips.tangents = kind == BufferKind::kSegTangent || kind == BufferKind::kSkinnedTangent;
  strips.skin = kind == BufferKind::kSkinned || kind == BufferKind::kSkinnedTangent ? 1
                : kind == BufferKind::kSkinnedOld                                   ? 2
                                                                                    : 0;
  strips.gen_time = generator_time(f.view.time_ms);
  g.glPolygonMode(GL_FRONT_AND_BACK, f.view.wireframe ? GL_LINE : GL_FILL);

  // Opaque strips (class 0) of every visible part first, then the blended
  // ones (class 1).
  for (int cls = 0; cls < 2; ++cls) {
    if (lod.skinned) {
      for (const render::Strip& strip : cls == 0 ? lod.skin_group.class0 : lod.skin_group.class1)
        draw_strip(f, strips, strip, f.placement, info);
      continue;
    }
    for (std::size_t i = 0; i < parts; ++i) {
      const render::Part& part = lod.parts[i];
      if (part.levels.empty() || finals[i][15] == 0.0f) continue;
      Mat4 world = finals[i];
      world[15] = 1.0f;
      for (const render::Strip& strip : cls == 0 ? part.levels[0].class0 : part.levels[0].class1)
        draw_strip(f, strips, strip, world, info);
    }
  }
  g.glBindVertexArray(0);
  g.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void GlPreview::Impl::draw_strip(const FrameSetup& f, const StripSetup& strips, const render::Strip& strip,
                                 const Mat4& world, PreviewFrameInfo& info) {
  if (strip.material == nullptr || strip.index_count == 0) return;
  QOpenGLFunctions_3_3_Core& g = *gl;
  const render::Material& m = *strip.material;
  const auto layer_it = second_layers.find(&m);
  const render::Material* second = layer_it != second_layers.end() ? layer_it->second : nullptr;
  const std::vector<preview::Pass> passes = preview::material_passes(m, second, strip.path, f.caps, f.view.pass_limit);
  for (std::size_t pass_index = 0; pass_index < passes.size(); ++pass_index) {
    const preview::Pass& pass = passes[pass_index];
    const render::Material& source = pass.second_layer && second != nullptr ? *second : m;
    const int program = pass.program == preview::Program::kPixelShader    ? kProgShader0 + pass.pixel_shader
                        : pass.program == preview::Program::kBumpFallback ? kProgBump
                                                                          : kProgPlain;
    GlProgram& p = programs[static_cast<std::size_t>(program)];
    if (p.id == 0) continue;
    g.glUseProgram(p.id);
    set_transforms(p, f, strips, strip, world);
    const preview::Vec3 reflect = set_material(p, f, strips, pass, source);
    bind_stages(p, f, pass, m, source, second, reflect);
    set_blending(p, f, pass, pass_index > 0, m, source);
    const GLenum mode = strip.primitive == 1 ? GL_TRIANGLE_STRIP : GL_TRIANGLES;
    const std::uintptr_t first = (std::uintptr_t{strips.where->first_index} + strip.addr) * sizeof(uint16_t);
    g.glDrawElementsBaseVertex(mode, static_cast<GLsizei>(strip.index_count), GL_UNSIGNED_SHORT,
                               reinterpret_cast<const void*>(first),
                               static_cast<GLint>(strips.where->base_vertex + strip.base_vertex));
    ++info.draw_calls;
  }
}

// The part's (or the skin's bones') transforms, the camera and the light.
void GlPreview::Impl::set_transforms(GlProgram& p, const FrameSetup& f, const StripSetup& strips,
                                     const render::Strip& strip, const Mat4& world) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  g.glUniform1i(uniform(p, "u_skin"), strips.skin);
  g.glUniformMatrix4fv(uniform(p, "u_world"), 1, GL_FALSE, world.data());
  if (strips.skin != 0) {
    std::array<Mat4, 16> bones{};
    for (std::size_t b = 0; b < 16; ++b) {
      const std::size_t part = strip.palette[b];
      bones[b] = part < finals.size() ? finals[part] : f.placement;
    }
    g.glUniformMatrix4fv(uniform(p, "u_bones"), 16, GL_FALSE, bones[0].data());
  }
  g.glUniformMatrix4fv(uniform(p, "u_view"), 1, GL_FALSE, f.camera.view.data());
  g.glUniformMatrix4fv(uniform(p, "u_proj"), 1, GL_FALSE, f.camera.projection.data());
  g.glUniform3f(uniform(p, "u_eye"), f.camera.eye[0], f.camera.eye[1], f.camera.eye[2]);
  g.glUniform3f(uniform(p, "u_light_dir"), f.light[0], f.light[1], f.light[2]);
  g.glUniform3f(uniform(p, "u_light_colour"), f.light_colour[0], f.light_colour[1], f.light_colour[2]);
  g.glUniform3f(uniform(p, "u_ambient"), f.ambient[0], f.ambient[1], f.ambient[2]);
  g.glUniform1i(uniform(p, "u_has_tangent"), strips.tangents ? 1 : 0);
}

// The generators (texture matrix, colour, alpha) at this frame's time, the
// material's colour and the shader constants; returns the reflection colour.
preview::Vec3 GlPreview::Impl::set_material(GlProgram& p, const FrameSetup& f, const StripSetup& strips,
                                            const preview::Pass& pass, const render::Material& source) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  const TextureMatrix tm =
      texture_matrix(packed(source.record.mapfunc_u), packed(source.record.mapfunc_v), strips.gen_time, f.registers);
  g.glUniform3f(uniform(p, "u_tex_u"), tm[0][0], tm[1][0], tm[2][0]);
  g.glUniform3f(uniform(p, "u_tex_v"), tm[0][1], tm[1][1], tm[2][1]);
  PackedColourGenerator cg;
  cg.style = source.record.rgbgen_style;
  cg.phase = source.record.rgbgen_phase;
  cg.rate = source.record.rgbgen_rate;
  cg.start = colour_bytes(source.record.rgbgen_start);
  cg.end = colour_bytes(source.record.rgbgen_end);
  const GeneratorColour colour = colour_output(cg, strips.gen_time, f.registers);
  PackedGenerator ag{source.record.alphagen_style, source.record.alphagen_phase, source.record.alphagen_rate,
                     source.record.alphagen_start, source.record.alphagen_end};
  float alpha = alpha_output(ag, strips.gen_time, f.registers);
  if (source.record.alpha_type == 1) alpha *= 1.0f - static_cast<float>(source.record.transparency) / 255.0f;
  preview::Vec3 base_colour = {1.0f, 1.0f, 1.0f};
  // A texture that is missing draws white (the lit shape), not the solid
  // colour, which a textured material seldom sets. The solid colour switch
  // shows each texture as its mean colour.
  if (source.record.color_type == 1) {
    base_colour = rgb_of(source.active_colour);
  } else if (f.view.solid_colour) {
    const GLuint id = id_of(source.texture);
    base_colour = rgb_of(id != 0 ? mean_colour(id) : source.active_colour);
  }
  g.glUniform4f(uniform(p, "u_material"), base_colour[0] * colour.r, base_colour[1] * colour.g,
                base_colour[2] * colour.b, alpha);
  const preview::Vec3 reflect = rgb_of(source.record.reflect_colour);
  g.glUniform3f(uniform(p, "u_reflect_colour"), reflect[0], reflect[1], reflect[2]);

  // Constants: c[4] the light's colour (or, for the environment passes, the
  // reflection colour), c[5] the ambient light, c[6] the light's colour
  // again.
  std::array<float, 32> c{};
  const preview::Vec3 c4 = pass.reflection ? reflect : f.light_colour;
  for (int i = 0; i < 3; ++i) {
    c[16 + i] = c4[static_cast<std::size_t>(i)] * 0.5f;
    c[20 + i] = f.ambient[static_cast<std::size_t>(i)] * 0.5f;
    c[24 + i] = f.light_colour[static_cast<std::size_t>(i)] * 0.5f;
  }
  c[19] = c[23] = c[27] = 1.0f;
  g.glUniform4fv(uniform(p, "u_c"), 8, c.data());
  return reflect;
}

// The pass's four texture stages: what each samples and how the shader reads
// it.
void GlPreview::Impl::bind_stages(GlProgram& p, const FrameSetup& f, const preview::Pass& pass,
                                  const render::Material& m, const render::Material& source,
                                  const render::Material* second, const preview::Vec3& reflect) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  const bool solid = f.view.solid_colour || source.record.color_type == 1;
  std::array<int, 4> modes{};
  const bool plain = pass.program != preview::Program::kPixelShader;
  int v0_mode = 0;
  if (pass.program == preview::Program::kBumpFallback) v0_mode = 1;
  if (!plain) {
    const int ps = pass.pixel_shader;
    v0_mode = (ps == 0 || ps == 1) ? 1 : 2;
  }
  for (int stage = 0; stage < 4; ++stage) {
    GLuint tex2d = white;
    GLuint texcube = 0;
    int mode = 0;
    switch (pass.stages[static_cast<std::size_t>(stage)]) {
      case preview::Source::kNone: break;
      case preview::Source::kBase: {
        const GLuint id = id_of(source.texture);
        tex2d = solid || id == 0 ? white : id;
        break;
      }
      case preview::Source::kSecondLayer: {
        const GLuint id = second != nullptr ? id_of(second->texture) : 0;
        tex2d = id != 0 && !solid ? id : white;
        mode = pass.second_layer ? 1 : 0;
        break;
      }
      case preview::Source::kNormalMap: {
        const auto it = normal_maps.find(&m);
        tex2d = it != normal_maps.end() ? it->second : flat_normal;
        break;
      }
      case preview::Source::kLightVector:
        texcube = normaliser;
        mode = 2;
        break;
      case preview::Source::kHalfVector:
        texcube = normaliser;
        mode = 3;
        break;
      case preview::Source::kPhongRamp: {
        const int32_t h = library->find(texture_key("gsys_phong", 0));
        tex2d = h > 0 ? texture_device->texture_id(h) : white;
        break;
      }
      case preview::Source::kEnvironment:
        texcube = sky;
        mode = plain ? 5 : 4;
        break;
      case preview::Source::kGrey: {
        const int32_t h = library->find(texture_key("GSysGray", 0));
        tex2d = h > 0 ? texture_device->texture_id(h) : white;
        break;
      }
    }
    // The 3 x 2 and 3 x 3 forms read the rows of stages 1..3.
    if (!plain) {
      const int ps = pass.pixel_shader;
      const bool m3x2 = ps == 3 || ps == 11 || ps == 12;
      const bool m3x3 = ps == 4 || ps == 5 || ps == 6;
      if (m3x2 && stage == 1) mode = 2;
      if (m3x2 && stage == 2) mode = 3;
      if (m3x3 && stage >= 1) mode = 4;
    }
    modes[static_cast<std::size_t>(stage)] = mode;
    g.glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + stage));
    g.glBindTexture(GL_TEXTURE_2D, tex2d);
    g.glActiveTexture(static_cast<GLenum>(GL_TEXTURE4 + stage));
    g.glBindTexture(GL_TEXTURE_CUBE_MAP, texcube != 0 ? texcube : sky);
  }
  g.glUniform1iv(uniform(p, "u_stage_mode"), 4, modes.data());
  g.glUniform1i(uniform(p, "u_v0_mode"), v0_mode);
  g.glUniform1i(uniform(p, "u_v1_mode"), !plain && pass.pixel_shader == 10 ? 1 : 0);
  g.glUniform1i(uniform(p, "u_env"), plain && pass.stages[0] == preview::Source::kEnvironment ? 1 : 0);
  if (plain && pass.stages[0] == preview::Source::kEnvironment) {
    g.glActiveTexture(GL_TEXTURE7);
    g.glBindTexture(GL_TEXTURE_CUBE_MAP, sky);
    g.glUniform1i(uniform(p, "u_cube3"), 7);
    g.glUniform4f(uniform(p, "u_material"), reflect[0], reflect[1], reflect[2], 1.0f);
  }
}

// Blending, depth writes, the alpha test, fog and culling of one pass; the
// passes after the first never write depth.
void GlPreview::Impl::set_blending(GlProgram& p, const FrameSetup& f, const preview::Pass& pass, bool layered,
                                   const render::Material& m, const render::Material& source) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  switch (pass.blend) {
    case preview::Blend::kOpaque: g.glDisable(GL_BLEND); break;
    case preview::Blend::kAlpha:
      g.glEnable(GL_BLEND);
      g.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case preview::Blend::kPremultiplied:
      g.glEnable(GL_BLEND);
      g.glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case preview::Blend::kAdditive:
      g.glEnable(GL_BLEND);
      g.glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
    case preview::Blend::kMultiplicative:
      g.glEnable(GL_BLEND);
      g.glBlendFunc(GL_DST_COLOR, GL_ZERO);
      break;
  }
  g.glDepthMask(layered || pass.blend != preview::Blend::kOpaque ? GL_FALSE : GL_TRUE);
  g.glUniform1i(uniform(p, "u_alpha_test"), source.record.alpha_test != 0 ? 1 : 0);
  g.glUniform1f(uniform(p, "u_alpha_ref"), static_cast<float>(source.record.alpha_test) / 255.0f);
  const bool darkening = pass.blend == preview::Blend::kAdditive;
  g.glUniform3f(uniform(p, "u_fog_colour"), darkening ? 0.0f : f.background[0], darkening ? 0.0f : f.background[1],
                darkening ? 0.0f : f.background[2]);
  g.glUniform2f(uniform(p, "u_fog"), f.fog_start, f.fog_end);
  if ((m.record.flags & file3di::kMaterialTwoSided) != 0) {
    g.glDisable(GL_CULL_FACE);
  } else {
    g.glEnable(GL_CULL_FACE);
    g.glCullFace(GL_BACK);
    g.glFrontFace(GL_CW);
  }
}

// The statistics lines in white, each glyph outlined in black so the text
// stays readable over a light floor or background.
void GlPreview::Impl::draw_overlay(const FrameSetup& f, const Font& font, PreviewFrameInfo& info) {
  QOpenGLFunctions_3_3_Core& g = *gl;
  GlProgram& p = programs[kProgQuad];
  g.glUseProgram(p.id);
  g.glDisable(GL_DEPTH_TEST);
  g.glDisable(GL_CULL_FACE);
  g.glEnable(GL_BLEND);
  g.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  // Pixels (y down) to clip space.
  Mat4 ortho = render::identity_matrix();
  ortho[0] = 2.0f / static_cast<float>(f.width);
  ortho[5] = -2.0f / static_cast<float>(f.height);
  ortho[12] = -1.0f;
  ortho[13] = 1.0f;
  g.glUniformMatrix4fv(uniform(p, "u_transform"), 1, GL_FALSE, ortho.data());
  const Mat4 none = render::identity_matrix();
  g.glUniformMatrix4fv(uniform(p, "u_view"), 1, GL_FALSE, none.data());
  g.glUniform1i(uniform(p, "u_red_is_alpha"), 0);
  g.glUniform2f(uniform(p, "u_fog"), 1023.0f, 1024.0f);
  g.glUniform4f(uniform(p, "u_colour"), 1.0f, 1.0f, 1.0f, 1.0f);
  g.glBindVertexArray(quad_vao);
  g.glBindBuffer(GL_ARRAY_BUFFER, quad_vbo);
  g.glActiveTexture(GL_TEXTURE0);
  const std::vector<preview::OverlayLine> lines =
      preview::overlay_lines(info.stats, &f.caps, f.width, f.height, f.view.show_stats);
  // The outline: each glyph drawn in black one pixel off in the eight
  // directions, before the white one.
  constexpr float kOutline[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
  std::vector<float> verts;
  for (int page = 0; page < static_cast<int>(font_pages.size()); ++page) {
    for (const bool outline : {true, false}) {
      verts.clear();
      for (const preview::OverlayLine& line : lines) {
        const float x = line.right_aligned ? static_cast<float>(line.x) - string_width(font, line.text)
                                           : static_cast<float>(line.x);
        for (const GlyphQuad& q : layout_string(font, line.text, x, static_cast<float>(line.y))) {
          if (q.page != page) continue;
          for (int k = 0; k < (outline ? 8 : 1); ++k) {
            const float dx = outline ? kOutline[k][0] : 0.0f, dy = outline ? kOutline[k][1] : 0.0f;
            const float x0 = q.x0 + dx, x1 = q.x1 + dx, y0 = q.y0 + dy, y1 = q.y1 + dy;
            const float quad[6][5] = {{x0, y0, 0, q.u0, q.v0}, {x1, y0, 0, q.u1, q.v0}, {x1, y1, 0, q.u1, q.v1},
                                      {x0, y0, 0, q.u0, q.v0}, {x1, y1, 0, q.u1, q.v1}, {x0, y1, 0, q.u0, q.v1}};
            for (const auto& v : quad) verts.insert(verts.end(), v, v + 5);
          }
        }
      }
      if (verts.empty()) continue;
      const float shade = outline ? 0.0f : 1.0f;
      g.glUniform4f(uniform(p, "u_colour"), shade, shade, shade, 1.0f);
      g.glBindTexture(GL_TEXTURE_2D, font_pages[static_cast<std::size_t>(page)]);
      g.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(verts.size() * sizeof(float)), verts.data(),
                     GL_STREAM_DRAW);
      g.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(verts.size() / 5));
      ++info.draw_calls;
    }
  }
  g.glBindVertexArray(0);
  g.glEnable(GL_DEPTH_TEST);
  g.glDisable(GL_BLEND);
}

PreviewFrameInfo GlPreview::draw(const PreviewView& view, int width, int height) {
  using clock = std::chrono::steady_clock;
  const auto started = clock::now();
  PreviewFrameInfo info;
  Impl& s = *impl_;
  QOpenGLFunctions_3_3_Core& gl = *s.gl;
  const uint64_t now_ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(clock::now().time_since_epoch()).count());
  const int fps = frame_rate_.frame(now_ms);
  light_angle_ += preview::kLightStepPerFrame;

  width = std::max(width, 1);
  height = std::max(height, 1);
  const preview::Camera camera = view.mouse_mode == 3
                                     ? preview::fly_camera(view.fly, width, height)
                                     : preview::orbit_camera(view.yaw, view.pitch, view.zoom, width, height);
  gl.glViewport(0, 0, width, height);
  const preview::Vec3 background = rgb_of(view.background);
  gl.glClearColor(background[0], background[1], background[2], 1.0f);
  gl.glClearDepth(1.0);
  gl.glDepthMask(GL_TRUE);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (s.model == nullptr || !s.programs_ready) return info;

  int level = preview::choose_level(*s.model, camera.distance);
  if (view.forced_level >= 0)
    level = view.forced_level < static_cast<int>(s.model->lod_count) &&
                    s.model->lods[static_cast<std::size_t>(view.forced_level)] != nullptr
                ? view.forced_level
                : -1;
  info.level = level;
  if (level < 0) return info;
  const render::Lod& lod = *s.model->lods[static_cast<std::size_t>(level)];
  const FrameSetup frame{view,
                         width,
                         height,
                         camera,
                         background,
                         view.fog ? 0.2f : 1023.0f,
                         view.fog ? 500.0f : 1024.0f,
                         preview::light_direction(light_angle_, view.light_yaw, view.light_pitch),
                         preview::model_placement(view.centre, view.spin_a, view.spin_b),
                         caps_,
                         registers_};

  gl.glEnable(GL_DEPTH_TEST);
  gl.glDepthFunc(GL_LEQUAL);
  s.draw_floor(frame, info);
  s.draw_model(frame, lod, info);
  info.stats = preview::level_stats(lod);
  info.stats.size = s.texture_kb;
  info.stats.fps = fps;
  if (view.overlay) s.draw_overlay(frame, font_, info);
  info.cpu_ms = std::chrono::duration<double, std::milli>(clock::now() - started).count();
  return info;
}

}  // namespace orvo
