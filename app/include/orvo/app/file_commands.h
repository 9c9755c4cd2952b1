#pragma once
// The model tool's file commands without their dialogs: the window program
// asks for the file name, then calls these, which read or write through the
// model files, keep the recent-files list, set the unit scale and tell the
// document what changed. Messages go to the notifier in their fixed words
// (message boxes without a caption); a yes/no question goes to `Ask`.

#include <array>
#include <functional>
#include <string>

#include "orvo/document/document.h"
#include "orvo/import/model_files.h"

namespace orvo {

// A yes/no question with its caption; true for Yes.
using Ask = std::function<bool(const std::string& text, const std::string& caption)>;

// What the file commands share: the tool-wide stretch box table, whom to
// tell, the user name and clock for the 3DA writer.
struct FileCommandContext {
  UserNotifier* notifier = nullptr;
  StretchBoxTable stretch_boxes;
  std::string username;
  std::function<tools::LocalTime()> clock = tools::local_time_now;
};

// The message a failed 3DA read shows: "Error parsing file, line %i",
// "Unable to open file", "Unexpeded EOF" or "Error loading 3da file".
std::string read_message(const Status& status);

// "Open": one 3DA file into `slot`; on success the unit scale follows the
// file, the path becomes the newest recent file (one file). False after the
// message.
bool open_model(Document& doc, int slot, const std::string& path, FileCommandContext& c);

// "Open All": the four levels of the set `path` belongs to (any letter),
// each failed level with its message; the H path becomes the newest recent
// file (a level set) when it read. True when any level read.
bool open_level_set(Document& doc, const std::string& path, FileCommandContext& c);

// "Save": the current slot as 3DA; the path becomes the newest recent file.
// A failed write shows "Unable to save file" with the reason.
bool save_model(Document& doc, const std::string& path, FileCommandContext& c);

// "Save All": each slot that holds a sub-object, asked first ("Save %s?" for
// H, "Save: %s?" for the others, caption "Save All", with that level's path)
// and written only on Yes. The recent list is not changed. Returns how many
// levels were written.
// `written`, when given, tells which slots were written.
int save_level_set(Document& doc, const std::string& path, const Ask& ask, FileCommandContext& c,
                   std::array<bool, kSlotCount>* written_slots = nullptr);

// "Import 3DS ASCII": a scene into `slot` ("Unable to open file" or "Error
// parsing file" on failure, the slot keeping what it had); the path becomes
// the newest recent file (an import).
bool import_scene(Document& doc, int slot, const std::string& path, FileCommandContext& c);

// "File 1" .. "File 4": entry `index` of the recent list opened by its kind,
// after the current directory is made the file's folder. False when the entry
// is empty, of an unknown kind, or its command failed.
bool open_recent(Document& doc, int index, FileCommandContext& c);

// "Create Zero Ignore Alpha": the 8-bit PCX `in` with every index but 0 made
// 255 and a grey palette, written to `out`. The messages: "Error: unable to
// open %s!", "Error: out of memory!", "Error: %s is not 8bit!", "Error:
// unknown error!".
bool create_zero_ignore_alpha(const std::string& in, const std::string& out, UserNotifier& notifier);

}  // namespace orvo
