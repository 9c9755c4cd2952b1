#include "orvo/app/file_commands.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "orvo/image/image.h"

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

std::string failure_message(const std::string& first_line, const std::string& path, const Status& status) {
  std::string out = first_line + "\n";
  const std::string reason = status ? std::string() : status.error().message;
  // The readers' reasons mostly begin with the file; one that does not is
  // given it.
  if (reason.empty()) return out + path;
  if (path.empty() || reason.find(path) != std::string::npos) return out + reason;
  return out + path + ": " + reason;
}

bool open_model(Document& doc, int slot, const std::string& given, FileCommandContext& c) {
  const std::string path = full_path(given);
  // The read goes into a scratch model: a file that fails part way (a parse
  // error, a missing scene) never empties the slot the person worked on.
  ModelContext m = model_context(doc, c);
  auto read = std::make_unique<Model>();
  model_reset(*read);
  const Status s = model_read_3da(path, *read, m);
  if (!s) {
    tell(c, failure_message(read_message(s), path, s));
    return false;
  }
  take_back(doc, m, c);
  doc.slot(slot) = std::move(*read);
  doc.set_slot_file(slot, path);
  add_recent(doc.recent_files(), kRecentModel, path);
  doc.changed(kChangedModel | kChangedView | kChangedMenus | kChangedSlot);
  return true;
}

bool open_level_set(Document& doc, const std::string& given, FileCommandContext& c) {
  const std::string path = full_path(given);
  std::array<std::unique_ptr<Model>, kSlotCount> read;
  std::array<std::string, kSlotCount> files;
  std::array<bool, kSlotCount> ok{};
  ModelContext m = model_context(doc, c);
  for (std::size_t level = 0; level < kSlotCount; ++level) {
    const char letter = kLodLetters[level];
    files[level] = lod_path(path, letter);
    // A level that fails takes back what its read changed of the scale and
    // the stretch boxes.
    const ModelContext before = m;
    read[level] = std::make_unique<Model>();
    model_reset(*read[level]);
    const Status s = files[level].empty() ? Status(Error{kMetafileCannotOpen, path + ": not a level set file name"})
                                          : model_read_3da(files[level], *read[level], m);
    ok[level] = s.ok();
    if (!s) {
      const bool errors = m.conversion_errors;
      m = before;
      m.conversion_errors = errors;
      tell(c, failure_message(lod_message(letter, s), files[level].empty() ? path : files[level], s));
    }
  }
  if (std::find(ok.begin(), ok.end(), true) == ok.end()) return false;  // the slots stay as they were

  // The set replaces all four slots, a level that failed by an empty slot.
  take_back(doc, m, c);
  for (int level = 0; level < kSlotCount; ++level) {
    const std::size_t i = static_cast<std::size_t>(level);
    if (ok[i]) {
      doc.slot(level) = std::move(*read[i]);
      doc.set_slot_file(level, files[i]);
    } else {
      model_release(doc.slot(level));
      doc.set_slot_file(level, {});
    }
  }
  bool any_collision = false;
  for (int level = 0; level < kSlotCount; ++level) any_collision = any_collision || doc.slot(level).polycollision != 0;
  if (!any_collision) doc.slot(0).polycollision = 1;
  if (ok[0]) add_recent(doc.recent_files(), kRecentLevelSet, files[0]);
  doc.changed(kChangedModel | kChangedView | kChangedMenus | kChangedSlot);
  return true;
}

bool save_model(Document& doc, int slot, const std::string& given, FileCommandContext& c) {
  const std::string path = full_path(given);
  const ModelContext m = model_context(doc, c);
  const Status s = model_write_3da(doc.slot(slot), path, m, c.username, c.clock());
  if (!s) {
    tell(c, failure_message("Unable to save file", path, s));
    return false;
  }
  doc.set_slot_file(slot, path);
  add_recent(doc.recent_files(), kRecentModel, path);
  doc.changed(kChangedMenus | kChangedSlot);
  return true;
}

int save_level_set(Document& doc, const std::string& given, const Ask& ask, FileCommandContext& c,
                   std::array<bool, kSlotCount>* written_slots) {
  const std::string path = full_path(given);
  const ModelContext m = model_context(doc, c);
  int written = 0;
  if (written_slots != nullptr) written_slots->fill(false);
  for (int i = 0; i < kSlotCount; ++i) {
    if (doc.slot(i).subobjects.empty()) continue;
    const char letter = static_cast<char>(kSlotLetters[static_cast<std::size_t>(i)] - 'A' + 'a');
    const std::string level = lod_path(path, letter);
    if (level.empty()) {
      tell(c,
           "Unable to save file\n" + path + ": not a level set file name (the letter before \".3da\" names the level)");
      return written;
    }
    if (!ask((i == 0 ? "Save " : "Save: ") + level + "?", "Save All")) continue;
    const Status s = model_write_3da(doc.slot(i), level, m, c.username, c.clock());
    if (s) {
      ++written;
      doc.set_slot_file(i, level);
      if (written_slots != nullptr) (*written_slots)[static_cast<std::size_t>(i)] = true;
    } else {
      tell(c, failure_message("Unable to save file", level, s));
    }
  }
  if (written > 0) doc.changed(kChangedSlot);
  return written;
}

bool import_scene(Document& doc, int slot, const std::string& given, FileCommandContext& c) {
  const std::string path = full_path(given);
  // Converted into a copy, so a failed import leaves the slot as it was.
  auto scene = std::make_unique<Model>();
  model_reset(*scene);
  ModelContext m = model_context(doc, c);
  const Status s = model_import_scene(path, *scene, m);
  if (!s) {
    tell(c, failure_message(s.code() == 1 ? "Unable to open file" : "Error parsing file", path, s));
    return false;
  }
  c.stretch_boxes = m.stretch_boxes;
  doc.slot(slot) = std::move(*scene);
  doc.set_slot_file(slot, path);
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

std::optional<Image> zero_ignore_alpha_picture(const std::string& in, UserNotifier& notifier) {
  tools::Result<Image> image = read_pcx(in);
  if (!image) {
    std::string first;
    switch (image.error().code) {
      case 1: first = "Error: unable to open " + in + "!"; break;
      case 2: first = "Error: out of memory!"; break;
      case 3: first = "Error: " + in + " is not 8bit!"; break;
      default: first = "Error: unknown error!"; break;
    }
    notifier.message(failure_message(first, in, image.error()), "");
    return std::nullopt;
  }
  for (uint8_t& i : image->indices) i = i != 0 ? 255 : 0;
  image->palette.assign(256, 0);
  for (uint32_t i = 0; i < 256; ++i) image->palette[i] = argb(255, i, i, i);
  return std::move(*image);
}

bool write_zero_ignore_alpha(const Image& picture, const std::string& out, UserNotifier& notifier) {
  const tools::Status w = write_pcx(out, picture);
  if (!w) {
    notifier.message(
        failure_message(w.code() == 1 ? "Error: unable to open " + out + "!" : "Error: unknown error!", out, w), "");
    return false;
  }
  return true;
}

bool create_zero_ignore_alpha(const std::string& in, const std::string& out, UserNotifier& notifier) {
  const std::optional<Image> picture = zero_ignore_alpha_picture(in, notifier);
  return picture && write_zero_ignore_alpha(*picture, out, notifier);
}

}  // namespace orvo
