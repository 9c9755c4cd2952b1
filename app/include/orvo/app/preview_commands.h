#pragma once
// The preview's commands without their windows: starting, stopping and
// reloading the preview of the loaded slots through a temporary binary model
// ("temprend.3di" in the current folder), and loading a binary model chosen
// by the person ("View 3DI"). What draws the preview sits behind
// PreviewBackend; the loader-only backend here reads the model and makes its
// texture records without a graphics device, which is what the tests and
// the headless tools use.

#include <memory>
#include <string>

#include "orvo/app/file_commands.h"
#include "orvo/runtime/file_access.h"
#include "orvo/viewer/export_log.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/recording_factory.h"

namespace orvo {

inline constexpr const char* kPreviewModelFile = "temprend.3di";
inline constexpr const char* kPreviewModelName = "temprend";

class PreviewBackend {
 public:
  virtual ~PreviewBackend() = default;
  // Prepares the renderer for `compatibility_level` (1 .. 3), loads the
  // binary model `name` (the loader's name rule applies) and builds the
  // preview scene. False when the model cannot be loaded; nothing is then
  // kept.
  virtual bool load(const std::string& name, int compatibility_level) = 0;
  // Releases the scene, the render model and its textures.
  virtual void release() = 0;
  // The graphics layer's capability-disable mask (7, 1 or 0).
  virtual void set_capability_mask(int mask) { (void)mask; }
  // The folder textures are looked up in, as texture_folder_for_lookup
  // gives it.
  virtual void set_texture_folder(const std::string& folder) { (void)folder; }
  // A control register value (16.16) the preview's generators and moving
  // parts read from the next frame on: what the register test dialogs write.
  virtual void set_register(int index, int32_t value) {
    (void)index;
    (void)value;
  }
};

// The loader and the recording texture factory, without a device.
class LoaderPreview final : public PreviewBackend {
 public:
  // Textures are looked up in `texture_folder` (as the lookup takes it).
  explicit LoaderPreview(std::string texture_folder = {});
  ~LoaderPreview() override;

  bool load(const std::string& name, int compatibility_level) override;
  void release() override;
  void set_capability_mask(int mask) override { capability_mask_ = mask; }

  void set_texture_folder(const std::string& folder) override { texture_folder_ = folder; }
  const render::Model* model() const { return model_; }
  int capability_mask() const { return capability_mask_; }
  const std::string& last_error() const { return last_error_; }

 private:
  FileAccess files_;
  ExportLog log_;
  std::unique_ptr<ModelLoader> loader_;
  std::unique_ptr<RecordingTextureFactory> textures_;
  render::Model* model_ = nullptr;
  std::string texture_folder_;
  std::string last_error_;
  int capability_mask_ = 0;
};

// How a preview start gets its model.
enum class PreviewSource { kAllLevels, kCurrentLevel, kReloadOnly };

// The preview loading steps: export the slots to temprend.3di (all levels in
// the order H, M, L, T; or the current slot first with its threshold written
// as 0; or no export), the status window "Loading binary model
// temprend.3di", then the backend's load. Messages: "Unable to save
// temprend.3di", "Unable to load temprend.3di".
bool load_preview(Document& doc, PreviewBackend& backend, PreviewSource source, FileCommandContext& c);

// The preview buttons' logic. The document's preview_mode is the selected
// one of the three buttons "Wire" (0), "Render" (1) and "Render All" (2);
// observers hear kChangedPreview whenever it or the loaded model changes.
class PreviewControl {
 public:
  PreviewControl(Document& doc, PreviewBackend& backend, FileCommandContext& c) : doc_(doc), backend_(backend), c_(c) {}

  // "Render" (1) and "Render All" (2): nothing when that mode runs already;
  // otherwise the running preview stops, the spins are reset and the model
  // loaded; on failure the mode is 0.
  void start(int mode);
  // "Wire": releases the preview when one runs; mode 0.
  void stop();
  // "Update Textures": loads temprend.3di again without writing it; the
  // mode stays (0 when the load fails).
  void reload();
  // After an editing dialog reported a change: starts again the way the
  // selected button says; on failure mode 0.
  void refresh();
  // "View 3DI" with the chosen file, only while no preview runs: spins
  // reset, the file loaded ("Unable to load 3di"); on success mode 1.
  bool view_file(const std::string& path);
  // Commands 40083 .. 40085: the capability-disable mask 7, 1 or 0 and the
  // level 1 .. 3; a running preview is reloaded when the level changed.
  void set_compatibility_level(int level);

  bool active() const { return doc_.preview_mode != kPreviewOff; }

 private:
  void set_mode(int mode);

  Document& doc_;
  PreviewBackend& backend_;
  FileCommandContext& c_;
};

// "Export 3DI": the four slots in the order H, M, L, T to `path`; "Unable to
// export file" when the export fails.
bool export_model(Document& doc, const std::string& path, FileCommandContext& c);

}  // namespace orvo
