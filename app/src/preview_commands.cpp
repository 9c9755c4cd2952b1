#include "orvo/app/preview_commands.h"

#include "orvo/app/export_command.h"
#include "orvo/runtime/memory_pool.h"

namespace orvo {

namespace {

void tell(FileCommandContext& c, const std::string& text) {
  if (c.notifier != nullptr) c.notifier->message(text, "");
}

std::array<Model*, 4> slots_of(Document& doc) {
  return {&doc.slot(0), &doc.slot(1), &doc.slot(2), &doc.slot(3)};
}

// The capability-disable mask of a compatibility level.
int capability_mask_of(int level) {
  return level == 1 ? 7 : level == 2 ? 1 : 0;
}

}  // namespace

LoaderPreview::LoaderPreview(std::string texture_folder) : texture_folder_(std::move(texture_folder)) {}

LoaderPreview::~LoaderPreview() {
  release();
}

bool LoaderPreview::load(const std::string& name, int compatibility_level) {
  release();
  (void)compatibility_level;
  loader_ = std::make_unique<ModelLoader>(files_, main_pool(), &log_);
  model_ = loader_->load_model(name);
  if (model_ == nullptr) {
    last_error_ = loader_->last_error();
    loader_.reset();
    return false;
  }
  textures_ = std::make_unique<RecordingTextureFactory>(texture_folder_);
  loader_->create_textures_and_materials(*textures_);
  return true;
}

void LoaderPreview::release() {
  if (loader_ != nullptr) loader_->release_all();
  loader_.reset();
  textures_.reset();
  model_ = nullptr;
}

bool load_preview(Document& doc, PreviewBackend& backend, PreviewSource source, FileCommandContext& c) {
  if (source != PreviewSource::kReloadOnly) {
    const int view_lod = source == PreviewSource::kCurrentLevel ? doc.current_slot() : -1;
    const std::string folder = texture_folder_for_lookup(doc.folders().texture_folder);
    if (!export_slots(slots_of(doc), kPreviewModelFile, folder, view_lod, 0, c.notifier, nullptr)) {
      tell(c, "Unable to save temprend.3di");
      return false;
    }
  }
  if (c.notifier != nullptr) c.notifier->status("Loading binary model temprend.3di");
  const bool loaded = backend.load(kPreviewModelName, doc.compatibility_level);
  // An empty text closes the status window.
  if (c.notifier != nullptr) c.notifier->status("");
  if (!loaded) tell(c, "Unable to load temprend.3di");
  return loaded;
}

void PreviewControl::set_mode(int mode) {
  doc_.preview_mode = mode;
  doc_.changed(kChangedPreview | kChangedView);
}

void PreviewControl::start(int mode) {
  if (doc_.preview_mode == mode) return;
  if (active()) backend_.release();
  doc_.view().preview_spin_a = 0;
  doc_.view().preview_spin_b = 0;
  const PreviewSource source = mode == kPreviewAll ? PreviewSource::kAllLevels : PreviewSource::kCurrentLevel;
  set_mode(load_preview(doc_, backend_, source, c_) ? mode : kPreviewOff);
}

void PreviewControl::stop() {
  if (!active()) return;
  backend_.release();
  set_mode(kPreviewOff);
}

void PreviewControl::reload() {
  if (!active()) return;
  backend_.release();
  if (!load_preview(doc_, backend_, PreviewSource::kReloadOnly, c_)) set_mode(kPreviewOff);
  else doc_.changed(kChangedPreview);
}

void PreviewControl::refresh() {
  if (!active()) return;
  const int mode = doc_.preview_mode;
  backend_.release();
  const PreviewSource source = mode == kPreviewAll ? PreviewSource::kAllLevels : PreviewSource::kCurrentLevel;
  set_mode(load_preview(doc_, backend_, source, c_) ? mode : kPreviewOff);
}

bool PreviewControl::view_file(const std::string& path) {
  if (active()) return false;
  doc_.view().preview_spin_a = 0;
  doc_.view().preview_spin_b = 0;
  if (!backend_.load(path, doc_.compatibility_level)) {
    tell(c_, "Unable to load 3di");
    return false;
  }
  set_mode(kPreviewCurrent);
  return true;
}

void PreviewControl::set_compatibility_level(int level) {
  backend_.set_capability_mask(capability_mask_of(level));
  const bool changed = doc_.compatibility_level != level;
  doc_.compatibility_level = level;
  doc_.changed(kChangedPreview | kChangedMenus);
  if (changed && active()) reload();
}

bool export_model(Document& doc, const std::string& path, FileCommandContext& c) {
  const std::string folder = texture_folder_for_lookup(doc.folders().texture_folder);
  if (!export_slots(slots_of(doc), path, folder, -1, 0, c.notifier, nullptr)) {
    tell(c, "Unable to export file");
    return false;
  }
  return true;
}

}  // namespace orvo
