#include "orvo/app/preview_commands.h"

#include "orvo/app/export_command.h"
#include "orvo/runtime/memory_pool.h"

namespace orvo {

namespace {

void tell(FileCommandContext& c, const std::string& text) {
  if (c.notifier != nullptr) c.notifier->message(text, "");
}

// Closes the status window: a failure's message never stands beside a
// stale stage text.
void close_status(FileCommandContext& c) {
  if (c.notifier != nullptr) c.notifier->status("");
}

std::array<Model*, 4> slots_of(Document& doc) {
  return {&doc.slot(0), &doc.slot(1), &doc.slot(2), &doc.slot(3)};
}

// The capability-disable mask of a compatibility level.
int capability_mask_of(int level) {
  return level == 1 ? 7 : level == 2 ? 1 : 0;
}

// The loader's reason without the "Error:" its log lines begin with.
std::string load_reason(const PreviewBackend& backend) {
  std::string why = backend.last_error();
  if (why.starts_with("Error:")) why.erase(0, why.find_first_not_of(' ', 6));
  return why;
}

// The textures the preview could not make: one log line each.
void report_textures(FileCommandContext& c, const PreviewBackend& backend) {
  if (c.notifier == nullptr) return;
  for (const std::string& why : backend.texture_failures()) c.notifier->log(why + "; a checkerboard stands in");
}

// The name the preview's model is loaded under: the file without its
// extension, as the loader is given "temprend".
std::string model_name_of(const std::string& path) {
  return path.ends_with(".3di") ? path.substr(0, path.size() - 4) : path;
}

}  // namespace

// The recording factory, keeping why each texture could not be made.
class LoaderPreview::Factory final : public RecordingTextureFactory {
 public:
  using RecordingTextureFactory::RecordingTextureFactory;
  int32_t create_texture(const Request& request) override {
    const int32_t handle = RecordingTextureFactory::create_texture(request);
    if (handle == 0) failures.push_back(last_error());
    return handle;
  }
  std::vector<std::string> failures;
};

LoaderPreview::LoaderPreview(std::string texture_folder)
    : log_(std::make_unique<ExportLog>()), texture_folder_(std::move(texture_folder)) {}

LoaderPreview::~LoaderPreview() {
  release();
}

void LoaderPreview::set_log_path(const std::string& path) {
  log_ = std::make_unique<ExportLog>(path);
}

bool LoaderPreview::load(const std::string& name, int compatibility_level) {
  release();
  (void)compatibility_level;
  loader_ = std::make_unique<ModelLoader>(files_, main_pool(), log_.get());
  model_ = loader_->load_model(name);
  if (model_ == nullptr) {
    last_error_ = loader_->last_error();
    loader_.reset();
    return false;
  }
  textures_ = std::make_unique<Factory>(texture_folder_);
  loader_->create_textures_and_materials(*textures_);
  return true;
}

void LoaderPreview::release() {
  if (loader_ != nullptr) loader_->release_all();
  loader_.reset();
  textures_.reset();
  model_ = nullptr;
}

const RecordingTextureFactory* LoaderPreview::textures() const {
  return textures_.get();
}

std::vector<std::string> LoaderPreview::texture_failures() const {
  return textures_ != nullptr ? textures_->failures : std::vector<std::string>{};
}

bool load_preview(Document& doc, PreviewBackend& backend, PreviewSource source, FileCommandContext& c,
                  const std::string& model_path) {
  if (source != PreviewSource::kReloadOnly) {
    const int view_lod = source == PreviewSource::kCurrentLevel ? doc.current_slot() : -1;
    const std::string folder = texture_folder_for_lookup(doc.folders().texture_folder);
    const tools::Result<ExportStats> stats =
        export_slots(slots_of(doc), model_path, folder, view_lod, 0, c.notifier, nullptr);
    if (!stats) {
      close_status(c);
      tell(c, failure_message("Unable to save temprend.3di", model_path, stats.error().message));
      return false;
    }
  }
  if (c.notifier != nullptr) c.notifier->status("Loading binary model temprend.3di");
  const bool loaded = backend.load(model_name_of(model_path), doc.compatibility_level);
  // An empty text closes the status window.
  close_status(c);
  if (!loaded) {
    tell(c, failure_message("Unable to load temprend.3di", model_path, load_reason(backend)));
    return false;
  }
  report_textures(c, backend);
  return true;
}

std::string PreviewControl::preview_model_path() const {
  if (scratch_folder_.empty()) return kPreviewModelFile;
  return scratch_folder_ + (scratch_folder_.ends_with('/') ? "" : "/") + kPreviewModelFile;
}

void PreviewControl::set_mode(int mode) {
  doc_.preview_mode = mode;
  doc_.changed(kChangedPreview | kChangedView);
}

bool PreviewControl::start_slots(int mode) {
  const PreviewSource source = mode == kPreviewAll ? PreviewSource::kAllLevels : PreviewSource::kCurrentLevel;
  viewing_file_ = false;
  shown_file_ = preview_model_path();
  return load_preview(doc_, backend_, source, c_, shown_file_);
}

void PreviewControl::start(int mode) {
  if (doc_.preview_mode == mode) return;
  if (active()) backend_.release();
  doc_.view().preview_spin_a = 0;
  doc_.view().preview_spin_b = 0;
  set_mode(start_slots(mode) ? mode : kPreviewOff);
}

void PreviewControl::stop() {
  if (!active()) return;
  backend_.release();
  set_mode(kPreviewOff);
}

bool PreviewControl::load_again() {
  if (!viewing_file_) return load_preview(doc_, backend_, PreviewSource::kReloadOnly, c_, shown_file_);
  if (!backend_.load(shown_file_, doc_.compatibility_level)) {
    tell(c_, failure_message("Unable to load 3di", shown_file_, load_reason(backend_)));
    return false;
  }
  report_textures(c_, backend_);
  return true;
}

void PreviewControl::reload() {
  if (!active()) return;
  backend_.release();
  const bool loaded = viewing_file_ ? load_again() : start_slots(doc_.preview_mode);
  if (!loaded) set_mode(kPreviewOff);
  else doc_.changed(kChangedPreview);
}

void PreviewControl::refresh() {
  if (!active()) return;
  const int mode = doc_.preview_mode;
  backend_.release();
  set_mode(start_slots(mode) ? mode : kPreviewOff);
}

bool PreviewControl::view_file(const std::string& path) {
  if (active()) return false;
  doc_.view().preview_spin_a = 0;
  doc_.view().preview_spin_b = 0;
  viewing_file_ = true;
  shown_file_ = path;
  if (!load_again()) return false;
  set_mode(kPreviewCurrent);
  return true;
}

void PreviewControl::set_compatibility_level(int level) {
  backend_.set_capability_mask(capability_mask_of(level));
  const bool changed = doc_.compatibility_level != level;
  doc_.compatibility_level = level;
  doc_.changed(kChangedPreview | kChangedMenus);
  if (!changed || !active()) return;
  backend_.release();
  if (!load_again()) set_mode(kPreviewOff);
  else doc_.changed(kChangedPreview);
}

bool export_model(Document& doc, const std::string& path, FileCommandContext& c, std::string* written) {
  const std::string folder = texture_folder_for_lookup(doc.folders().texture_folder);
  const tools::Result<ExportStats> stats = export_slots(slots_of(doc), path, folder, -1, 0, c.notifier, nullptr);
  close_status(c);
  if (!stats) {
    tell(c, failure_message("Unable to export file", path, stats.error().message));
    return false;
  }
  if (written != nullptr) *written = export_summary_line(*stats, path);
  return true;
}

}  // namespace orvo
