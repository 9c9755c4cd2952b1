#pragma once
// The model tool's file commands without their dialogs: the window program
// asks for the file name, then calls these, which read or write through the
// model files, keep the recent-files list, set the unit scale and tell the
// document what changed. Messages go to the notifier in their fixed words
// (message boxes without a caption); a yes/no question goes to `Ask`.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "orvo/document/document.h"
#include "orvo/image/image.h"
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

// A failure as the person is told it: the command's fixed text on the first
// line, then the file and what is wrong with it, as far as the reader knows.
std::string failure_message(const std::string& first_line, const std::string& path, const Status& status);

// "Open": one 3DA file into `slot`. The file is read into a scratch model
// that replaces the slot only when the whole read worked: on failure the
// slot, the unit scale and the stretch boxes stay as they were. On success
// the unit scale follows the file, the slot's file is `path`, and the path
// becomes the newest recent file (one file). False after the message.
bool open_model(Document& doc, int slot, const std::string& path, FileCommandContext& c);

// "Open All": the four levels of the set `path` belongs to (any letter),
// each failed level with its message. When any level read, the set replaces
// all four slots: a level that failed leaves its slot empty, so the slots
// never mix two sets; when none read, every slot stays as it was (false).
// The H path becomes the newest recent file (a level set) when it read.
bool open_level_set(Document& doc, const std::string& path, FileCommandContext& c);

// "Save": slot `slot` as 3DA; the path becomes the newest recent file and
// the slot's file. A failed write shows "Unable to save file" with the
// file and the reason.
bool save_model(Document& doc, int slot, const std::string& path, FileCommandContext& c);
inline bool save_model(Document& doc, const std::string& path, FileCommandContext& c) {
  return save_model(doc, doc.current_slot(), path, c);
}

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

// "Create Zero Ignore Alpha", in its two steps so that the picture is read
// and checked before the person is asked where to write it. The first reads
// the 8-bit PCX `in` and makes every index but 0 255 with a grey palette
// (messages "Error: unable to open %s!", "Error: out of memory!", "Error: %s
// is not 8bit!", "Error: unknown error!", each followed by the reason); the
// second writes it to `out` ("Error: unable to open %s!" or "Error: unknown
// error!" with the reason).
std::optional<Image> zero_ignore_alpha_picture(const std::string& in, UserNotifier& notifier);
bool write_zero_ignore_alpha(const Image& picture, const std::string& out, UserNotifier& notifier);
// Both steps at once.
bool create_zero_ignore_alpha(const std::string& in, const std::string& out, UserNotifier& notifier);

}  // namespace orvo
