#include "orvo/app/file_commands.h"

#include <filesystem>
#include <system_error>

#include "orvo/viewer/image.h"

namespace orvo {

namespace {

void tell(FileCommandContext& c, const std::string& text) {
  if (c.notifier != nullptr) c.notifier->message(text, "");
}

ModelContext model_context(const Document& doc, FileCommandContext& c) {
  ModelContext m;
  m.scale = doc.unit_scale;
  m.stretch_boxes = c.stretch_boxes;
  m.notifier = c.notifier;
  return m;
}

// The reader may change the scale and the stretch boxes.
void take_back(Document& doc, const ModelContext& m, FileCommandContext& c) {
  doc.unit_scale = m.scale;
  c.stretch_boxes = m.stretch_boxes;
}

}  // namespace

std::string read_message(const Status& status) {
  if (status.code() < 0) return "Error parsing file, line " + std::to_string(-status.code());
  if (status.code() == kMetafileCannotOpen) return "Unable to open file";
  if (status.code() == kMetafileEndInBlock) return "Unexpeded EOF";
  return "Error loading 3da file";
}

bool open_model(Document& doc, int slot, const std::string& path, FileCommandContext& c) {
  ModelContext m = model_context(doc, c);
  const Status s = model_read_3da(path, doc.slot(slot), m);
  take_back(doc, m, c);
  doc.changed(kChangedModel | kChangedView | kChangedMenus | kChangedSlot);
  if (!s) {
    tell(c, read_message(s));
    return false;
  }
  add_recent(doc.recent_files(), kRecentModel, path);
  doc.changed(kChangedMenus);
  return true;
}

bool open_level_set(Document& doc, const std::string& path, FileCommandContext& c) {
  ModelContext m = model_context(doc, c);
  std::array<Model*, 4> slots{&doc.slot(0), &doc.slot(1), &doc.slot(2), &doc.slot(3)};
  const std::array<Status, 4> results = model_read_lod_set(path, slots, m);
  take_back(doc, m, c);
  if (results[0].ok()) add_recent(doc.recent_files(), kRecentLevelSet, lod_path(path, 'h'));
  doc.changed(kChangedModel | kChangedView | kChangedMenus | kChangedSlot);
  for (const Status& s : results)
    if (s.ok()) return true;
  return false;
}

bool save_model(Document& doc, const std::string& path, FileCommandContext& c) {
  const ModelContext m = model_context(doc, c);
  const Status s = model_write_3da(doc.current_model(), path, m, c.username, c.clock());
  if (!s) {
    tell(c, "Unable to save file\n" + s.error().message);
    return false;
  }
  add_recent(doc.recent_files(), kRecentModel, path);
  doc.changed(kChangedMenus);
  return true;
}

int save_level_set(Document& doc, const std::string& path, const Ask& ask, FileCommandContext& c,
                   std::array<bool, kSlotCount>* written_slots) {
  const ModelContext m = model_context(doc, c);
  int written = 0;
  if (written_slots != nullptr) written_slots->fill(false);
  for (int i = 0; i < kSlotCount; ++i) {
    if (doc.slot(i).subobjects.empty()) continue;
    const char letter = static_cast<char>(kSlotLetters[static_cast<std::size_t>(i)] - 'A' + 'a');
    const std::string level = lod_path(path, letter);
    if (level.empty()) {
      tell(c, "Unable to save file\n" + path + ": not a level set file name");
      return written;
    }
    if (!ask((i == 0 ? "Save " : "Save: ") + level + "?", "Save All")) continue;
    const Status s = model_write_3da(doc.slot(i), level, m, c.username, c.clock());
    if (s) {
      ++written;
      if (written_slots != nullptr) (*written_slots)[static_cast<std::size_t>(i)] = true;
    } else {
      tell(c, "Unable to save file\n" + s.error().message);
    }
  }
  return written;
}

bool import_scene(Document& doc, int slot, const std::string& path, FileCommandContext& c) {
  // Converted into a copy, so a failed import leaves the slot as it was.
  Model scene;
  model_reset(scene);
  ModelContext m = model_context(doc, c);
  const Status s = model_import_scene(path, scene, m);
  if (!s) {
    tell(c, s.code() == 1 ? "Unable to open file" : "Error parsing file");
    return false;
  }
  c.stretch_boxes = m.stretch_boxes;
  doc.slot(slot) = std::move(scene);
  add_recent(doc.recent_files(), kRecentImport, path);
  doc.changed(kChangedModel | kChangedView | kChangedMenus | kChangedSlot);
  return true;
}

bool open_recent(Document& doc, int index, FileCommandContext& c) {
  if (index < 0 || index >= static_cast<int>(doc.recent_files().size())) return false;
  RecentFile entry = doc.recent_files()[static_cast<std::size_t>(index)];
  if (entry.path.empty()) return false;
  // A path relative to the folder the list was written in (a settings file
  // made by hand) is taken from the current folder before that changes.
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(entry.path, ec);
  if (!ec) entry.path = absolute.lexically_normal().string();
  const std::filesystem::path folder = std::filesystem::path(entry.path).parent_path();
  if (!folder.empty()) std::filesystem::current_path(folder, ec);
  switch (entry.kind) {
    case kRecentModel: return open_model(doc, doc.current_slot(), entry.path, c);
    case kRecentLevelSet: return open_level_set(doc, entry.path, c);
    case kRecentImport: return import_scene(doc, doc.current_slot(), entry.path, c);
    default: return false;
  }
}

bool create_zero_ignore_alpha(const std::string& in, const std::string& out, UserNotifier& notifier) {
  tools::Result<Image> image = read_pcx(in);
  if (!image) {
    switch (image.error().code) {
      case 1: notifier.message("Error: unable to open " + in + "!", ""); break;
      case 2: notifier.message("Error: out of memory!", ""); break;
      case 3: notifier.message("Error: " + in + " is not 8bit!", ""); break;
      default: notifier.message("Error: unknown error!", ""); break;
    }
    return false;
  }
  for (uint8_t& i : image->indices) i = i != 0 ? 255 : 0;
  image->palette.assign(256, 0);
  for (uint32_t i = 0; i < 256; ++i) image->palette[i] = argb(255, i, i, i);
  const tools::Status w = write_pcx(out, *image);
  if (!w) {
    notifier.message(w.code() == 1 ? "Error: unable to open " + out + "!" : "Error: unknown error!", "");
    return false;
  }
  return true;
}

}  // namespace orvo
