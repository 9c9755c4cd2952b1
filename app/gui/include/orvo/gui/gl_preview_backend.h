#pragma once
// The window program's preview: the renderer on its own OpenGL 3.3 core
// context, drawing each frame into a framebuffer the size of the page and
// handing it to the page as a picture. The page asks for a frame whenever
// it paints while a preview runs and asks to be painted again at once, so
// frames come from the event loop as fast as it turns, and stop by
// themselves while the window is hidden or minimised (hidden widgets are not
// painted). The same frame code draws `orvo-cli render`'s pictures and the
// tests' reference frames.

#include <QImage>
#include <QSize>
#include <memory>
#include <string>

#include "orvo/app/preview_commands.h"
#include "orvo/document/document.h"
#include "orvo/model/generators.h"

namespace orvo::gui {

class GlPreviewBackend final : public PreviewBackend {
 public:
  explicit GlPreviewBackend(tools::SystemLog* system_log = nullptr);
  ~GlPreviewBackend() override;

  // Makes the context on first use: false (with `error`) when no OpenGL 3.3
  // context can be had, so the preview cannot start.
  bool load(const std::string& name, int compatibility_level) override;
  void release() override;
  void set_capability_mask(int mask) override { mask_ = mask; }
  void set_texture_folder(const std::string& folder) override { texture_folder_ = folder; }
  void set_register(int index, int32_t value) override { registers_.set(index, value); }

  std::string last_error() const override { return error_; }
  std::vector<std::string> texture_failures() const override;
  // The loader's log "3di_log.txt" goes to `path` (by default the current
  // folder's).
  void set_log_path(const std::string& path) { log_path_ = path; }

  // One frame of the document's view of `size` pixels; a null picture when
  // no preview is loaded.
  QImage frame(const Document& doc, QSize size);
  bool loaded() const;

 private:
  struct Gl;
  std::unique_ptr<Gl> gl_;
  tools::SystemLog* system_log_;
  std::string texture_folder_;
  std::string log_path_ = ExportLog::kDefaultPath;
  std::string error_;
  int mask_ = 0;
  ControlRegisterValues registers_;  // kept across loads, as the game keeps them
};

class PageView;
// Makes `page` paint the backend's frames while a preview runs.
void attach_preview(PageView& page, GlPreviewBackend& backend, const Document& doc);

}  // namespace orvo::gui
