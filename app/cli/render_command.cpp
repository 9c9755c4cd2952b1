// orvo-cli render: one preview frame of a binary model drawn offscreen and
// saved as a picture, for thumbnails in pipelines, reviews and tests. The
// frame is the preview's own (camera, light, floor, model, overlay); only the
// window is missing.
#include "render_command.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "orvo/runtime/gl/gl_context.h"
#include "orvo/runtime/memory_pool.h"
#include "orvo/viewer/gl/gl_preview.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/preview_frame.h"
#include "tools/base/atomic_write.h"

namespace orvo {

namespace {

// The picture as PNG through the one write path (a link is followed, a
// device written through, a regular file replaced whole).
tools::Status save_png(const QImage& image, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
    return tools::Error{1, path + ": the picture cannot be encoded as PNG", {}, tools::ErrorKind::kCannotWrite};
  }
  return tools::write_file_atomic(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The share of the picture's shorter side a framed model's bounding sphere
// takes.
constexpr double kFrameFill = 0.85;

// Centre and zoom that frame the loaded model: centred on the middle of its
// vertices' box, the camera as near as lets the bounding sphere about that
// middle take kFrameFill of the picture, whatever the direction. False for a
// model without vertices.
bool frame_model(const render::Model& model, int width, int height, PreviewView& view) {
  std::vector<preview::Vec3> points;  // in the model's axes
  const auto add = [&points](const float* file) { points.push_back({file[2], -file[0], file[1]}); };
  for (const render::VertexM& v : model.vertices_m) add(v.position.data());
  for (const render::VertexP& v : model.vertices_p) add(v.position.data());
  for (const render::VertexS& v : model.vertices_s) {
    float file[3];
    std::memcpy(file, v.bytes.data(), sizeof file);
    add(file);
  }
  if (points.empty()) return false;
  preview::Vec3 low = points.front(), high = points.front();
  for (const preview::Vec3& p : points)
    for (int i = 0; i < 3; ++i) {
      low[i] = std::min(low[i], p[i]);
      high[i] = std::max(high[i], p[i]);
    }
  preview::Vec3 centre{};
  for (int i = 0; i < 3; ++i) centre[i] = (low[i] + high[i]) / 2.0f;
  double r = 0.0;
  for (const preview::Vec3& p : points) {
    const double dx = p[0] - centre[0], dy = p[1] - centre[1], dz = p[2] - centre[2];
    r = std::max(r, std::sqrt(dx * dx + dy * dy + dz * dz));
  }
  // The lens: a focal length of kFocalPerWidth of the width; the shorter
  // side limits. A sphere of radius r at distance d spans the half angle
  // asin(r / d).
  const double focal = 2.0 * preview::kFocalPerWidth * std::max(1.0, double(width) / double(height));
  const double tan_a = kFrameFill / focal;
  const double distance = std::max(r * std::sqrt(1.0 + tan_a * tan_a) / tan_a, 2.0 * preview::kNearPlane);
  view.centre = centre;
  view.zoom = static_cast<float>(std::clamp(100.0 / std::max(distance - 0.1, 0.1), 0.01, 1000.0));
  return true;
}

void fail(const std::string& text) {
  std::fprintf(stderr, "orvo-cli: render: %s\n", text.c_str());
}

void warn(const std::string& text) {
  std::fprintf(stderr, "orvo-cli: render: warning: %s\n", text.c_str());
}

}  // namespace

bool has_display() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return (platform != nullptr && *platform != '\0') || std::getenv("DISPLAY") != nullptr ||
         std::getenv("WAYLAND_DISPLAY") != nullptr;
}

int run_render(const RenderOptions& o) {
  if (!has_display()) {
    fail("no OpenGL context can be created: there is no display (run it in a desktop session, or under xvfb-run)");
    return 1;
  }
  if (o.width < 16 || o.height < 16 || o.width > 8192 || o.height > 8192) {
    fail("--size must lie between 16x16 and 8192x8192");
    return 2;
  }
  int argc = 1;
  char name[] = "orvo-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  std::string error;
  std::unique_ptr<OffscreenGl> gl = OffscreenGl::create(&error);
  if (gl == nullptr || !gl->make_current()) {
    fail("no OpenGL 3.3 context can be created" + (error.empty() ? std::string() : ": " + error));
    return 1;
  }
  auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl->context());
  if (f == nullptr) {
    fail("the OpenGL context offers no 3.3 core functions");
    return 1;
  }

  FileAccess files;
  const long file_size = files.size(normalise_model_name(o.model));
  const std::int64_t main_size = std::min(
      kMaxPoolSize, std::max<std::int64_t>(kMainPoolSize, 3 * std::int64_t{std::max(file_size, 0L)} + (1 << 20)));
  if (!start_memory_pools(main_size, kSecondPoolSize)) {
    fail("the memory pools cannot take " + std::to_string(main_size) + " bytes");
    return 1;
  }

  int status = 0;
  {
    OffscreenFramebuffer target(gl->context());
    if (!target.resize(o.width, o.height)) {
      fail("the offscreen framebuffer cannot be made at " + std::to_string(o.width) + "x" + std::to_string(o.height));
      return 1;
    }
    GlPreview preview(gl->context());
    preview.set_texture_folder(o.textures.empty() ? std::string() : o.textures + "/");
    preview.set_log_path(o.log);
    if (!preview.load(o.model, o.level, &error)) {
      fail(o.model + ": " + (error.empty() ? "the model cannot be loaded" : error));
      return 1;
    }
    // A texture that cannot be made is drawn as a checkerboard; the picture
    // is still written.
    for (const std::string& why : preview.texture_failures()) warn(why + "; a checkerboard stands in");
    PreviewView view;
    view.yaw = o.yaw;
    view.pitch = o.pitch;
    view.zoom = o.zoom;
    if (o.zoom <= 0.0f && !frame_model(*preview.model(), o.width, o.height, view)) view.zoom = 3.0f;
    view.time_ms = o.time_ms;
    view.wireframe = o.wireframe;
    view.solid_colour = o.solid_colour;
    view.pass_limit = o.pass_limit;
    view.background = o.background;
    view.overlay = o.overlay;
    view.forced_level = o.lod;
    const PreviewFrameInfo info = preview.draw(view, o.width, o.height);
    const QImage image = target.read().convertToFormat(QImage::Format_RGB32);
    if (info.level < 0) {
      fail(o.model + ": the model has no level to draw");
      status = 1;
    } else if (const tools::Status written = save_png(image, o.output); !written) {
      fail(written.error().message);
      status = 1;
    } else {
      std::printf("%s: level %d, %d draw calls, %d strips, %d polys, %.2f ms\n", o.output.c_str(), info.level,
                  info.draw_calls, info.stats.strips, info.stats.polys, info.cpu_ms);
    }
    preview.release();
  }
  gl->done_current();
  return status;
}

}  // namespace orvo
