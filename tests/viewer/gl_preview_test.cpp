// The preview on a real OpenGL device (Mesa's software rasteriser in CI):
// the sample tank drawn with each shading type, pass limit, wireframe and
// solid colours against reference pictures; a turning part changes the
// picture only where the part is; the compatibility levels take different
// paths; orvo-cli render writes what it is asked for.
//
// Reference pictures live in tests/viewer/data/render/. After a deliberate
// change of the drawing, regenerate them with
//   ORVO_UPDATE_RENDER_REFERENCES=1 tests/run-with-display build/debug/tests/gl_preview_tests
// and look at every picture before committing them.
#include "orvo/viewer/gl/gl_preview.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <cstdlib>
#include <filesystem>

#include "orvo/app/export_command.h"
#include "orvo/import/model_files.h"
#include "orvo/runtime/gl/gl_context.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/part_motion.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

constexpr int kWidth = 160, kHeight = 120;
const std::string kSamples = std::string(ORVO_SOURCE_DIR) + "/samples";
const std::string kReferences = std::string(ORVO_SOURCE_DIR) + "/tests/viewer/data/render/";

class GlPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    gl_ = OffscreenGl::create(&error);
    if (gl_ == nullptr || !gl_->make_current()) GTEST_SKIP() << "no OpenGL 3.3 context: " << error;
    f_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl_->context());
    ASSERT_NE(f_, nullptr);
    ASSERT_TRUE(start_memory_pools());
    target_ = std::make_unique<OffscreenFramebuffer>(gl_->context());
    ASSERT_TRUE(target_->resize(kWidth, kHeight));
  }
  void TearDown() override { target_.reset(); }

  // The sample tank set, changed by `edit`, exported to the scratch folder.
  std::string export_tank(const std::function<void(std::array<Model*, 4>&)>& edit = {}) {
    std::array<std::unique_ptr<Model>, 4> models;
    std::array<Model*, 4> levels{};
    for (std::size_t i = 0; i < 4; ++i) {
      models[i] = std::make_unique<Model>();
      model_reset(*models[i]);
      levels[i] = models[i].get();
    }
    ModelContext context;
    model_read_lod_set(kSamples + "/tank/tankh.3da", levels, context);
    if (edit) edit(levels);
    const std::string out = dir_.file("tank.3di");
    EXPECT_TRUE(export_slots(levels, out, kSamples + "/textures", -1, 1, nullptr, nullptr).ok());
    return out;
  }

  QImage draw(const std::string& model, int level, const PreviewView& view, GlPreview* keep = nullptr) {
    GlPreview own(gl_->context());
    GlPreview& preview = keep != nullptr ? *keep : own;
    preview.set_texture_folder(kSamples + "/textures/");
    std::string error;
    EXPECT_TRUE(preview.load(model, level, &error)) << error;
    target_->bind();
    last_ = preview.draw(view, kWidth, kHeight);
    return target_->read();
  }

  static PreviewView view() {
    PreviewView v;
    v.yaw = 0.6f;
    v.pitch = 0.35f;
    v.zoom = 3.0f;
    v.overlay = false;
    v.background = 0x204060;
    return v;
  }

  // Pixels farther apart than a channel step of 8 (driver rounding).
  static int differing(const QImage& a, const QImage& b, QRect* where = nullptr) {
    int n = 0;
    QRect box;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        if (std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 ||
            std::abs(qBlue(p) - qBlue(q)) > 8) {
          ++n;
          box |= QRect(x, y, 1, 1);
        }
      }
    if (where != nullptr) *where = box;
    return n;
  }

  void expect_reference(const QImage& image, const std::string& name) {
    const std::string path = kReferences + name + ".png";
    if (std::getenv("ORVO_UPDATE_RENDER_REFERENCES") != nullptr) {
      std::filesystem::create_directories(kReferences);
      ASSERT_TRUE(image.convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(path)));
      return;
    }
    const QImage reference(QString::fromStdString(path));
    ASSERT_FALSE(reference.isNull()) << path << " is missing (see the top of this file)";
    // A few pixels on edges may round differently; a changed drawing moves many.
    EXPECT_LE(differing(image, reference.convertToFormat(QImage::Format_RGBA8888)), kWidth * kHeight / 200) << name;
  }

  tools::test::ScratchDir dir_{"gl-preview"};
  std::unique_ptr<OffscreenGl> gl_;
  QOpenGLFunctions_3_3_Core* f_ = nullptr;
  std::unique_ptr<OffscreenFramebuffer> target_;
  PreviewFrameInfo last_;
};

TEST_F(GlPreviewTest, ViewerSwitchesMatchTheirReferencePictures) {
  const std::string tank = export_tank();
  struct Case {
    const char* name;
    int level;
    void (*set)(PreviewView&);
  };
  const Case cases[] = {
      {"tank-level3", 3, [](PreviewView&) {}},
      {"tank-level1", 1, [](PreviewView&) {}},
      {"tank-passes1", 3, [](PreviewView& v) { v.pass_limit = 1; }},
      {"tank-wireframe", 3, [](PreviewView& v) { v.wireframe = true; }},
      {"tank-solid", 3, [](PreviewView& v) { v.solid_colour = true; }},
      {"tank-fog", 3, [](PreviewView& v) { v.fog = true; }},
  };
  for (const Case& c : cases) {
    PreviewView v = view();
    c.set(v);
    const QImage image = draw(tank, c.level, v);
    EXPECT_EQ(last_.level, 0);
    expect_reference(image, c.name);
  }
  // The hull's second texture layer is the second pass.
  PreviewView one = view(), three = view();
  one.pass_limit = 1;
  EXPECT_GT(differing(draw(tank, 3, one), draw(tank, 3, three)), 100);
}

TEST_F(GlPreviewTest, EveryShadingTypeDrawsWithItsShader) {
  for (int type : {1, 2, 4, 5, 6, 8, 11, 12, 14, 20}) {
    const std::string tank = export_tank([type](std::array<Model*, 4>& levels) {
      levels[0]->materials[0].shader_type = type;  // the hull
    });
    const QImage image = draw(tank, 3, view());
    expect_reference(image, "tank-shader" + std::to_string(type));
  }
}

TEST_F(GlPreviewTest, CompatibilityLevelsTakeDifferentPathsAndBothDraw) {
  const std::string tank = export_tank([](std::array<Model*, 4>& levels) { levels[0]->materials[0].shader_type = 1; });
  GlPreview high(gl_->context()), low(gl_->context());
  const QImage at3 = draw(tank, 3, view(), &high);
  const QImage at1 = draw(tank, 1, view(), &low);
  auto hull_path = [](const GlPreview& p) { return p.model()->lods[0]->parts[0].levels[0].class0[0].path; };
  EXPECT_EQ(hull_path(high), render::Path::kTangent);
  EXPECT_EQ(hull_path(low), render::Path::kPlain);
  EXPECT_TRUE(high.capabilities().pixel_shaders);
  EXPECT_FALSE(low.capabilities().hardware_tnl);
  EXPECT_GT(differing(at3, at1), 100);
  const QRgb background = qRgb(0x20, 0x40, 0x60);
  EXPECT_NE(at3.pixel(kWidth / 2, kHeight / 2 - 10) & 0xFFFFFF, background & 0xFFFFFF);
  EXPECT_NE(at1.pixel(kWidth / 2, kHeight / 2 - 10) & 0xFFFFFF, background & 0xFFFFFF);
}

TEST_F(GlPreviewTest, ATurningPartChangesThePictureOnlyWhereItIs) {
  // The gun, the third sub-object and the last of the three moving pieces, turns once a second about the vertical.
  const std::string tank = export_tank([](std::array<Model*, 4>& levels) {
    levels[0]->part_anim_enable = 1;
    levels[0]->part_anims[2].rotate_type = 1;
    levels[0]->part_anims[2].yaw_rate = 1.0f;
  });
  PreviewView at0 = view(), at250 = view();
  at250.time_ms = 250;
  GlPreview keep(gl_->context());
  const QImage a = draw(tank, 3, at0, &keep);
  const QImage b = draw(tank, 3, at250);
  QRect changed;
  ASSERT_GT(differing(a, b, &changed), 20);

  // Where the gun lies on screen at both times.
  const render::Model& m = *keep.model();
  const render::Lod& lod = *m.lods[0];
  const preview::Camera camera = preview::orbit_camera(at0.yaw, at0.pitch, at0.zoom, kWidth, kHeight);
  const preview::Mat4 placement = preview::model_placement(at0.centre, 0.0f, 0.0f);
  const preview::Mat4 vp = preview::multiply(camera.view, camera.projection);
  QRect gun;
  for (uint32_t t : {0u, 250u}) {
    std::vector<render::Matrix4f> base(lod.parts.size(), render::identity_matrix()), out(lod.parts.size());
    ControlRegisterValues regs;
    render::part_transforms(lod, base, &placement, camera.orientation, t, regs, out);
    for (const render::Strip& s : lod.parts[2].levels[0].class0)
      for (uint32_t v = s.base_vertex; v < s.base_vertex + s.vertex_span; ++v) {
        const render::Vec3f w = render::transform_point(m.vertices_m[v].position, out[2]);
        const render::Vec3f c = render::transform_point(w, vp);
        const float cw = w[0] * vp[3] + w[1] * vp[7] + w[2] * vp[11] + vp[15];
        const int x = static_cast<int>((c[0] / cw + 1.0f) * 0.5f * kWidth);
        const int y = static_cast<int>((1.0f - c[1] / cw) * 0.5f * kHeight);
        gun |= QRect(x, y, 1, 1);
      }
  }
  EXPECT_TRUE(gun.adjusted(-2, -2, 2, 2).contains(changed))
      << "changed " << changed.x() << "," << changed.y() << " " << changed.width() << "x" << changed.height();
}

// The overlay's white text has a dark outline, so it reads over a light
// background or floor: around "FPS: 0" (at 32, 120) a light background
// shows dark pixels.
TEST_F(GlPreviewTest, OverlayTextIsOutlinedInBlack) {
  ASSERT_TRUE(target_->resize(640, 480));
  PreviewView v = view();
  v.overlay = true;
  v.background = 0xE0E0E0;
  v.pitch = -0.2f;  // looking up at the model: the floor is not behind the text
  GlPreview preview(gl_->context());
  preview.set_texture_folder(kSamples + "/textures/");
  std::string error;
  ASSERT_TRUE(preview.load(export_tank(), 3, &error)) << error;
  target_->bind();
  preview.draw(v, 640, 480);
  const QImage image = target_->read();
  int dark = 0;
  for (int y = 116; y < 140; ++y)
    for (int x = 28; x < 100; ++x) {
      const QRgb c = image.pixel(x, y);
      if (qGray(c) < 64) ++dark;
    }
  EXPECT_GT(dark, 60);
}

TEST_F(GlPreviewTest, CommandLineRenderWritesThePictureAskedFor) {
  const std::string cli = ORVO_CLI;
  const std::string a = dir_.file("a.png"), b = dir_.file("b.png");
  const std::string base = cli + " render " + kSamples + "/tank/tankh.3da --textures " + kSamples +
                           "/textures --size 200x150 --no-overlay > /dev/null";
  ASSERT_EQ(std::system((base + " -o " + a).c_str()), 0);
  ASSERT_EQ(std::system((base + " --yaw 2.0 -o " + b).c_str()), 0);
  const QImage first(QString::fromStdString(a)), second(QString::fromStdString(b));
  ASSERT_EQ(first.size(), QSize(200, 150));
  EXPECT_NE(first.pixel(100, 70) & 0xFFFFFF, qRgb(0x40, 0x40, 0x40) & 0xFFFFFF);  // the tank, not the sky
  EXPECT_GT(differing(first.convertToFormat(QImage::Format_RGBA8888), second.convertToFormat(QImage::Format_RGBA8888)),
            500);
  EXPECT_NE(std::system((cli + " render " + dir_.file("missing.3di") + " -o " + a + " 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace orvo

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
