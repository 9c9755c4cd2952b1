#include "orvo/gui/gl_preview_backend.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "orvo/gui/page_view.h"
#include "orvo/runtime/gl/gl_context.h"
#include "orvo/viewer/gl/gl_preview.h"

namespace orvo::gui {

struct GlPreviewBackend::Gl {
  std::unique_ptr<OffscreenGl> context;
  QOpenGLFunctions_3_3_Core* f = nullptr;
  std::unique_ptr<GlPreview> preview;
  std::unique_ptr<OffscreenFramebuffer> target;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

  ~Gl() {
    if (context != nullptr && context->make_current()) {
      preview.reset();
      target.reset();
      context->done_current();
    }
  }
};

GlPreviewBackend::GlPreviewBackend(tools::SystemLog* system_log) : system_log_(system_log) {}

GlPreviewBackend::~GlPreviewBackend() = default;

bool GlPreviewBackend::loaded() const {
  return gl_ != nullptr && gl_->preview != nullptr && gl_->preview->loaded();
}

bool GlPreviewBackend::load(const std::string& name, int compatibility_level) {
  if (gl_ == nullptr) {
    auto gl = std::make_unique<Gl>();
    gl->context = OffscreenGl::create(&error_);
    if (gl->context == nullptr || !gl->context->make_current()) return false;
    gl->f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&gl->context->context());
    if (gl->f == nullptr) {
      error_ = "the OpenGL context offers no 3.3 core functions";
      return false;
    }
    gl->preview = std::make_unique<GlPreview>(gl->context->context(), system_log_);
    gl->target = std::make_unique<OffscreenFramebuffer>(gl->context->context());
    gl_ = std::move(gl);
  }
  if (!gl_->context->make_current()) return false;
  // The level command's mask is replaced by the preparation's own.
  (void)mask_;
  gl_->preview->set_texture_folder(texture_folder_);
  gl_->preview->set_log_path(log_path_);
  const bool ok = gl_->preview->load(name, compatibility_level, &error_);
  gl_->context->done_current();
  return ok;
}

std::vector<std::string> GlPreviewBackend::texture_failures() const {
  return gl_ != nullptr && gl_->preview != nullptr ? gl_->preview->texture_failures() : std::vector<std::string>{};
}

void GlPreviewBackend::release() {
  if (gl_ == nullptr || !gl_->context->make_current()) return;
  gl_->preview->release();
  gl_->context->done_current();
}

QImage GlPreviewBackend::frame(const Document& doc, QSize size) {
  if (!loaded() || size.width() < 1 || size.height() < 1 || !gl_->context->make_current()) return {};
  if (!gl_->target->resize(size.width(), size.height())) {
    gl_->context->done_current();
    return {};
  }
  const ViewState& v = doc.view();
  const RenderSettings& r = doc.render_settings();
  PreviewView view;
  view.yaw = v.yaw;
  view.pitch = v.pitch;
  view.zoom = v.zoom;
  view.centre = v.centre;
  view.spin_a = static_cast<float>(v.preview_spin_a);
  view.spin_b = static_cast<float>(v.preview_spin_b);
  view.light_yaw = v.light_angle_1 - 1.0f;  // the light's start angles are 1.0
  view.light_pitch = v.light_angle_2 - 1.0f;
  view.mouse_mode = v.mouse_mode;
  view.fly = v.fly_camera;
  auto channel = [](int c) { return static_cast<uint32_t>(std::clamp(c, 0, 255)); };
  view.background = channel(r.background_red) << 16 | channel(r.background_green) << 8 | channel(r.background_blue);
  view.fog = r.fog_enable != 0;
  view.pass_limit = doc.pass_limit;
  view.wireframe = doc.wireframe;
  view.solid_colour = doc.solid_colour_textures;
  view.time_ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gl_->started).count());
  for (int i = 0; i < kNumCtrlRegs; ++i) gl_->preview->registers().set(i, registers_.get(i));
  gl_->preview->draw(view, size.width(), size.height());
  QImage image = gl_->target->read();
  gl_->context->done_current();
  return image;
}

void attach_preview(PageView& page, GlPreviewBackend& backend, const Document& doc) {
  PageView* view = &page;
  // Each painted frame asks for the next one: frames follow the event loop
  // and stop while the window is hidden or minimised.
  page.preview_painter = [&backend, &doc, view](QPainter& p, QSize size) {
    const QImage frame = backend.frame(doc, size);
    if (frame.isNull()) {
      const RenderSettings& r = doc.render_settings();
      p.fillRect(QRect(QPoint(0, 0), size), QColor(r.background_red, r.background_green, r.background_blue));
      return;
    }
    p.drawImage(QPoint(0, 0), frame);
    QTimer::singleShot(0, view, [view] { view->update(); });
  };
}

}  // namespace orvo::gui
