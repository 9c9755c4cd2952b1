#pragma once
// The preview's commands without their windows: starting, stopping and
// reloading the preview of the loaded slots through a temporary binary model
// ("temprend.3di" in the scratch folder: the current folder unless the
// program names its per-user state folder), and loading a binary model
// chosen by the person ("View 3DI"). What draws the preview sits behind
// PreviewBackend; the loader-only backend here reads the model and makes its
// texture records without a graphics device, which is what the tests and
// the headless tools use.
//
// Every failure message keeps its fixed first line ("Unable to save
// temprend.3di", "Unable to load temprend.3di", "Unable to load 3di",
// "Unable to export file") and names the file and the reason below it.
// Textures that cannot be made are logged one line each on the notifier
// (a checkerboard stands in for each), as are the pictures an export could
// not read.

#include <memory>
#include <string>
#include <vector>

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
  // Why the last load failed, in the loader's words.
  virtual std::string last_error() const { return {}; }
  // Why each texture of the loaded model that could not be made failed, in
  // the order they were asked for.
  virtual std::vector<std::string> texture_failures() const { return {}; }
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
  // The loader's log "3di_log.txt" goes to `path` from the next load on.
  void set_log_path(const std::string& path);
  const render::Model* model() const { return model_; }
  int capability_mask() const { return capability_mask_; }
  std::string last_error() const override { return last_error_; }
  std::vector<std::string> texture_failures() const override;
  // The texture records made for the loaded model.
  const RecordingTextureFactory* textures() const;

 private:
  class Factory;

  FileAccess files_;
  std::unique_ptr<ExportLog> log_;
  std::unique_ptr<ModelLoader> loader_;
  std::unique_ptr<Factory> textures_;
  render::Model* model_ = nullptr;
  std::string texture_folder_;
  std::string last_error_;
  int capability_mask_ = 0;
};

// How a preview start gets its model.
enum class PreviewSource { kAllLevels, kCurrentLevel, kReloadOnly };

// The preview loading steps: export the slots to `model_path` (all levels
// in the order H, M, L, T; or the current slot first with its threshold
// written as 0; or no export), the status window "Loading binary model
// temprend.3di", then the backend's load. Messages: "Unable to save
// temprend.3di", "Unable to load temprend.3di", each closing the status
// window first.
bool load_preview(Document& doc, PreviewBackend& backend, PreviewSource source, FileCommandContext& c,
                  const std::string& model_path = kPreviewModelFile);

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
  // "Update Textures": the preview's textures made again from the texture
  // folder as it is now. A viewed file is loaded again; the slots are
  // written to temprend.3di again the way the running mode says, since the
  // file's texture table holds only the pictures the folder had when it
  // was written. The mode stays (0 when the load fails).
  void reload();
  // After an editing dialog reported a change: starts again the way the
  // selected button says; on failure mode 0.
  void refresh();
  // "View 3DI" with the chosen file, only while no preview runs: spins
  // reset, the file loaded ("Unable to load 3di"); on success mode 1.
  bool view_file(const std::string& path);
  // Commands 40083 .. 40085: the capability-disable mask 7, 1 or 0 and the
  // level 1 .. 3; a running preview loads the same file again when the
  // level changed.
  void set_compatibility_level(int level);

  bool active() const { return doc_.preview_mode != kPreviewOff; }
  // The file a running preview shows: the viewed file, or temprend.3di.
  const std::string& shown_file() const { return shown_file_; }

  // Where temprend.3di is written (empty: the current folder).
  void set_scratch_folder(const std::string& folder) { scratch_folder_ = folder; }
  const std::string& scratch_folder() const { return scratch_folder_; }
  std::string preview_model_path() const;

 private:
  void set_mode(int mode);
  // Loads the file shown again, without writing it; false after the message.
  bool load_again();
  bool start_slots(int mode);

  Document& doc_;
  PreviewBackend& backend_;
  FileCommandContext& c_;
  std::string scratch_folder_;
  std::string shown_file_;
  bool viewing_file_ = false;  // the shown file was chosen with View 3DI
};

// "Export 3DI": the four slots in the order H, M, L, T to `path`; "Unable to
// export file" with the file and the reason when the export fails. The
// status window is closed either way; `written`, when given, receives what
// a successful export wrote (export_summary_line).
bool export_model(Document& doc, const std::string& path, FileCommandContext& c, std::string* written = nullptr);

}  // namespace orvo
