#pragma once
// The model tool's document: four model slots, one per level of detail in
// the order H, M, L, T, of which one is current; the view state; the render
// and folder settings; the recent files; the preview switches. Everything
// the program's windows show is read from here, and every change goes
// through here and is announced to the observers with what changed, so the
// windows redraw what they must. No widgets: the command-line tool and the
// tests drive it as the program does.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvo/document/commands.h"
#include "orvo/document/settings.h"
#include "orvo/document/view_state.h"
#include "orvo/model/model.h"

namespace orvo {

inline constexpr int kSlotCount = 4;
inline constexpr std::array<char, kSlotCount> kSlotLetters = {'H', 'M', 'L', 'T'};

// What an observer is told has changed (a bit set).
enum DocumentChange : uint32_t {
  kChangedModel = 1u << 0,     // a slot's contents (the page and the item pane)
  kChangedSlot = 1u << 1,      // which slot is current (and the title)
  kChangedView = 1u << 2,      // the view state: the page
  kChangedCentre = 1u << 3,    // the centre the views look at: the centre pane
  kChangedMenus = 1u << 4,     // check marks and recent items
  kChangedPreview = 1u << 5,   // preview mode and switches
  kChangedSettings = 1u << 6,  // render values, folders
  kChangedGrid = 1u << 7,      // grid step text
};

// Preview modes.
enum PreviewMode : int { kPreviewOff = 0, kPreviewCurrent = 1, kPreviewAll = 2 };

// Where the tool keeps its files, fixed at start-up.
struct DocumentPaths {
  std::string startup_folder;  // the current folder when the tool started
  std::string data_folder;     // the per-user folder .../Brellwick/ORVO
  std::string config_path;     // startup folder + "TanuOrvo.cfg"
  std::string preset_path;     // data folder + "funcs.pre"
  // False when that file could not be read nor moved aside: it is then
  // never written this run.
  bool write_config = true;
  bool write_presets = true;
};

// The paths for a start in `startup_folder` with the per-user data root
// `user_data_root`; creates the "Brellwick" and "ORVO" folders below it when
// missing (a folder that cannot be made is left to the file commands to
// report).
DocumentPaths make_document_paths(const std::string& startup_folder, const std::string& user_data_root);

class Document {
 public:
  Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  Model& slot(int index) { return *slots_[static_cast<std::size_t>(index)]; }
  const Model& slot(int index) const { return *slots_[static_cast<std::size_t>(index)]; }
  int current_slot() const { return view_.current_slot; }
  Model& current_model() { return slot(current_slot()); }
  const Model& current_model() const { return slot(current_slot()); }

  // Makes slot `index` (0..3) current. False, and nothing changes (not even
  // the title), when it already is or the index is out of range.
  bool select_slot(int index);

  ViewState& view() { return view_; }
  const ViewState& view() const { return view_; }
  RenderSettings& render_settings() { return render_; }
  const RenderSettings& render_settings() const { return render_; }
  FolderSettings& folders() { return folders_; }
  const FolderSettings& folders() const { return folders_; }
  RecentFiles& recent_files() { return recent_; }
  const RecentFiles& recent_files() const { return recent_; }
  DocumentPaths paths;

  // The scale handed to the importers and the 3DA reader and writer:
  // 1.0 with "1unit = 1m", else kUnitScaleDefault.
  float unit_scale = kUnitScaleDefault;
  bool metric_units() const { return unit_scale == 1.0f; }

  // Preview switches.
  int preview_mode = kPreviewOff;
  int compatibility_level = 3;  // 1 "Non-TnL", 2 "DX7-level TnL", 3 "DX8-level TnL"
  int pass_limit = 3;
  bool wireframe = false;
  bool solid_colour_textures = false;

  // Whether any slot holds a sub-object: only then does exiting ask first.
  bool any_subobject() const;
  // The file each slot was read or imported from or last saved to, full
  // path; empty for a slot that holds nothing read from a file.
  const std::string& slot_file(int index) const { return slot_files_[static_cast<std::size_t>(index)]; }
  void set_slot_file(int index, std::string path) { slot_files_[static_cast<std::size_t>(index)] = std::move(path); }

  // The main window's title for the current slot's model, naming the slot's
  // file when it has one.
  std::string title() const;

  using Observer = std::function<void(uint32_t changes)>;
  // Observers are told of every change, in the order they were added.
  int observe(Observer observer);
  void unobserve(int handle);
  void changed(uint32_t changes);

 private:
  std::array<std::unique_ptr<Model>, kSlotCount> slots_;
  std::array<std::string, kSlotCount> slot_files_;
  ViewState view_;
  RenderSettings render_;
  FolderSettings folders_;
  RecentFiles recent_{};
  std::vector<std::pair<int, Observer>> observers_;
  int next_observer_ = 1;
};

// Binds the commands that change only the document (planes, grid, layers,
// display flags, slots, mouse modes, preview switches, grid step) to
// `table`. The program binds the rest (files, dialogs, the preview) to its
// own handlers.
void bind_document_commands(CommandTable& table, Document& doc);

// The display flag a View menu command toggles, or 0.
uint32_t display_flag_of(int command);

}  // namespace orvo
