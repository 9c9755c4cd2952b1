// The translated pixel shaders on a real OpenGL driver (Mesa's software
// rasteriser in CI): each of the fourteen programs, drawn over a few pixels
// with constant inputs, 2 x 2 nearest-sampled textures and a cube map of six
// colours, gives the CPU evaluator's colour within 2/255 per channel.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <cmath>
#include <cstdlib>

#include "orvo/runtime/gl/gl_context.h"
#include "orvo/viewer/pixel_shaders.h"

namespace orvo {
namespace {

constexpr int kSize = 4;  // the target is kSize x kSize pixels

// A full-screen strip whose varyings are the same everywhere, from uniforms.
constexpr const char* kVertexShader = R"(#version 330 core
uniform vec4 q_tex[4];
uniform vec4 q_diffuse;
uniform vec4 q_specular;
out vec4 v_tex0;
out vec4 v_tex1;
out vec4 v_tex2;
out vec4 v_tex3;
out vec4 v_diffuse;
out vec4 v_specular;
void main() {
  vec2 p = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1)) * 2.0 - 1.0;
  gl_Position = vec4(p, 0.0, 1.0);
  v_tex0 = q_tex[0];
  v_tex1 = q_tex[1];
  v_tex2 = q_tex[2];
  v_tex3 = q_tex[3];
  v_diffuse = q_diffuse;
  v_specular = q_specular;
}
)";

// Texel k (x + 2 y, rows from v = 0 up) of stage s, and the six cube faces
// in GL's order +x -x +y -y +z -z: all distinct.
uint8_t texel_byte(int stage, int k, int channel) {
  return static_cast<uint8_t>((40 + 53 * stage + 97 * k + 71 * channel) % 256);
}
uint8_t face_byte(int face, int channel) {
  return static_cast<uint8_t>((25 + 89 * face + 59 * channel) % 256);
}

Vec4 to_vec(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return {r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f};
}

// Nearest sampling with clamped edges, as the driver does it; a coordinate
// within 0.02 of the texel border would make the comparison depend on
// rounding, so it fails the case instead.
Vec4 sample_nearest(int stage, float u, float v) {
  for (const float x : {u, v}) {
    EXPECT_GT(std::fabs(x - 0.5f), 0.02f) << "stage " << stage << " samples near a border";
  }
  const int i = u < 0.5f ? 0 : 1, j = v < 0.5f ? 0 : 1;
  const int k = i + 2 * j;
  return to_vec(texel_byte(stage, k, 0), texel_byte(stage, k, 1), texel_byte(stage, k, 2), texel_byte(stage, k, 3));
}

Vec4 sample_face(float x, float y, float z) {
  const float d[3] = {x, y, z};
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (std::fabs(d[a]) > std::fabs(d[axis])) axis = a;
  for (int a = 0; a < 3; ++a) {
    if (a != axis) {
      EXPECT_GT(std::fabs(d[axis]) - std::fabs(d[a]), 0.02f * std::fabs(d[axis])) << "cube direction near an edge";
    }
  }
  const int face = 2 * axis + (d[axis] < 0 ? 1 : 0);
  return to_vec(face_byte(face, 0), face_byte(face, 1), face_byte(face, 2), face_byte(face, 3));
}

struct InputSet {
  std::array<Vec4, 4> tc;
  Vec4 v0, v1;
};

// Two sets with different texels and cube faces; colours and constants partly out of
// their ranges so the clamps on reading are exercised too.
const InputSet kSets[] = {
    {{{{0.25f, 0.25f, 0.0f, 0.0f}, {0.3f, 0.2f, 0.6f, 0.7f}, {0.1f, 0.7f, 0.3f, -0.4f}, {0.6f, 0.8f, 0.2f, 0.5f}}},
     {0.8f, 0.3f, 0.55f, 0.9f},
     {0.2f, 0.45f, 1.3f, 0.35f}},
    {{{{0.8f, 0.3f, 0.0f, 0.0f}, {0.7f, 0.9f, -0.35f, 0.2f}, {0.85f, 0.15f, 0.4f, -0.9f}, {0.2f, 0.65f, 0.9f, 0.3f}}},
     {0.15f, 0.95f, 0.4f, 0.6f},
     {0.7f, -0.2f, 0.25f, 0.5f}},
};
const std::array<Vec4, 8> kConstants = {{{0.3f, 0.6f, 0.9f, 0.2f},
                                         {0.5f, -0.5f, 0.25f, 1.0f},
                                         {0.1f, 0.2f, 0.3f, 0.4f},
                                         {0.9f, 0.8f, 0.7f, 0.6f},
                                         {0.8f, 0.65f, 0.4f, 0.9f},
                                         {1.4f, -0.3f, 0.6f, 0.2f},
                                         {0.45f, 0.7f, -0.8f, 0.35f},
                                         {0.0f, 0.0f, 0.0f, 0.0f}}};

class GlPixelShaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    gl_ = OffscreenGl::create(&error);
    ASSERT_NE(gl_, nullptr) << error;
    ASSERT_TRUE(gl_->make_current());
    f_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl_->context());
    ASSERT_NE(f_, nullptr);
    make_textures();
    f_->glGenFramebuffers(1, &fbo_);
    f_->glGenRenderbuffers(1, &colour_);
    f_->glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    f_->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kSize, kSize);
    f_->glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    f_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    ASSERT_EQ(f_->glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    f_->glGenVertexArrays(1, &vao_);
  }

  void TearDown() override {
    if (f_ == nullptr) return;
    f_->glDeleteVertexArrays(1, &vao_);
    f_->glDeleteRenderbuffers(1, &colour_);
    f_->glDeleteFramebuffers(1, &fbo_);
    f_->glDeleteTextures(5, textures_);
  }

  void make_textures() {
    f_->glGenTextures(5, textures_);
    f_->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int s = 0; s < 4; ++s) {
      uint8_t data[16];
      for (int k = 0; k < 4; ++k)
        for (int ch = 0; ch < 4; ++ch) data[4 * k + ch] = texel_byte(s, k, ch);
      f_->glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(s));
      f_->glBindTexture(GL_TEXTURE_2D, textures_[s]);
      f_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
      set_nearest(GL_TEXTURE_2D);
    }
    f_->glActiveTexture(GL_TEXTURE4);
    f_->glBindTexture(GL_TEXTURE_CUBE_MAP, textures_[4]);
    for (int face = 0; face < 6; ++face) {
      uint8_t data[4];
      for (int ch = 0; ch < 4; ++ch) data[ch] = face_byte(face, ch);
      f_->glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face), 0, GL_RGBA8, 1, 1, 0, GL_RGBA,
                       GL_UNSIGNED_BYTE, data);
    }
    set_nearest(GL_TEXTURE_CUBE_MAP);
  }

  void set_nearest(GLenum target) {
    f_->glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    f_->glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    f_->glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f_->glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    f_->glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    f_->glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
  }

  GLuint compile(GLenum kind, const std::string& source, std::string* log) {
    const GLuint shader = f_->glCreateShader(kind);
    const char* text = source.c_str();
    f_->glShaderSource(shader, 1, &text, nullptr);
    f_->glCompileShader(shader);
    GLint ok = 0;
    f_->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char buffer[4096] = {};
    f_->glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
    *log = buffer;
    f_->glDeleteShader(shader);
    return 0;
  }

  // The linked program, or 0 with the driver's log.
  GLuint link(const std::string& fragment, std::string* log) {
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader, log);
    if (vs == 0) return 0;
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment, log);
    if (fs == 0) {
      f_->glDeleteShader(vs);
      return 0;
    }
    GLuint program = f_->glCreateProgram();
    f_->glAttachShader(program, vs);
    f_->glAttachShader(program, fs);
    f_->glLinkProgram(program);
    f_->glDeleteShader(vs);
    f_->glDeleteShader(fs);
    GLint ok = 0;
    f_->glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
      char buffer[4096] = {};
      f_->glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
      *log = buffer;
      f_->glDeleteProgram(program);
      program = 0;
    }
    return program;
  }

  void uniform4(GLuint program, const char* name, const Vec4& v, int count = 1) {
    const GLint at = f_->glGetUniformLocation(program, name);
    if (at >= 0) f_->glUniform4fv(at, count, v.data());
  }

  // Draws with `set` and returns the RGBA bytes of every pixel.
  std::vector<uint8_t> draw(GLuint program, const InputSet& set) {
    f_->glUseProgram(program);
    for (int s = 0; s < 4; ++s) {
      const std::string name = "u_tex" + std::to_string(s);
      const GLint at = f_->glGetUniformLocation(program, name.c_str());
      if (at >= 0) f_->glUniform1i(at, s);
    }
    if (const GLint at = f_->glGetUniformLocation(program, "u_cube3"); at >= 0) f_->glUniform1i(at, 4);
    if (const GLint at = f_->glGetUniformLocation(program, "u_c"); at >= 0)
      f_->glUniform4fv(at, 8, kConstants[0].data());
    if (const GLint at = f_->glGetUniformLocation(program, "q_tex"); at >= 0) f_->glUniform4fv(at, 4, set.tc[0].data());
    uniform4(program, "q_diffuse", set.v0);
    uniform4(program, "q_specular", set.v1);
    f_->glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    f_->glViewport(0, 0, kSize, kSize);
    f_->glDisable(GL_BLEND);
    f_->glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
    f_->glClear(GL_COLOR_BUFFER_BIT);
    f_->glBindVertexArray(vao_);
    f_->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    std::vector<uint8_t> pixels(kSize * kSize * 4);
    f_->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    f_->glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }

  std::unique_ptr<OffscreenGl> gl_;
  QOpenGLFunctions_3_3_Core* f_ = nullptr;
  GLuint textures_[5] = {};
  GLuint fbo_ = 0, colour_ = 0, vao_ = 0;
};

TEST_F(GlPixelShaderTest, EveryProgramDrawsTheEvaluatorsColour) {
  for (int k = 0; k < kPixelShaderCount; ++k) {
    SCOPED_TRACE("program " + std::to_string(k));
    std::string error;
    const auto parsed = parse_pixel_shader(pixel_shader_text(k), &error);
    ASSERT_TRUE(parsed.has_value()) << error;
    const std::string glsl = pixel_shader_glsl(*parsed);
    const GLuint program = link(glsl, &error);
    ASSERT_NE(program, 0u) << error << "\n" << glsl;
    bool printed = false;
    for (std::size_t s = 0; s < std::size(kSets); ++s) {
      PsInputs in;
      in.texcoord = kSets[s].tc;
      in.v0 = kSets[s].v0;
      in.v1 = kSets[s].v1;
      in.c = kConstants;
      in.sample2d = sample_nearest;
      in.sample_cube = sample_face;
      const Vec4 want = evaluate_pixel_shader(*parsed, in);
      const auto pixels = draw(program, kSets[s]);
      ASSERT_EQ(f_->glGetError(), static_cast<GLenum>(GL_NO_ERROR));
      int worst = 0;
      for (std::size_t p = 0; p < pixels.size(); ++p) {
        const int expected = static_cast<int>(std::lround(want[p % 4] * 255.0f));
        worst = std::max(worst, std::abs(static_cast<int>(pixels[p]) - expected));
      }
      EXPECT_LE(worst, 2) << "input set " << s << ": first pixel " << int{pixels[0]} << " " << int{pixels[1]} << " "
                          << int{pixels[2]} << " " << int{pixels[3]} << ", evaluator " << want[0] * 255 << " "
                          << want[1] * 255 << " " << want[2] * 255 << " " << want[3] * 255
                          << (printed ? std::string() : "\n" + glsl);
      if (worst > 2) printed = true;
    }
    f_->glDeleteProgram(program);
  }
}

}  // namespace
}  // namespace orvo

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
