#pragma once
// The model tool's main window: the menus and pop-up menus built from the
// command table, the accelerator keys, the control panel, the page window and
// its two panes, the keys of the page, and the exit question. Every menu
// item, key, panel button and pop-up item runs one command number through
// the one CommandTable; the window binds the numbers the document does not
// handle itself (files, dialogs, the preview) to its own handlers.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "orvo/app/file_commands.h"
#include "orvo/app/function_presets.h"
#include "orvo/app/preview_commands.h"
#include "orvo/document/commands.h"
#include "orvo/document/document.h"
#include "orvo/document/edit_history.h"
#include "orvo/gui/editor_context.h"

class QMenu;

namespace orvo::gui {

class CentrePane;
class ControlPanel;
class GuiNotifier;
class ItemPane;
class PageView;
class UndoActions;

// The file dialogs of the commands, each with its filters.
enum class FileDialog {
  kOpenModel,     // Open, Open All
  kImportScene,   // Import 3DS ASCII
  kExportModel,   // Export 3DI
  kSaveModel,     // Save
  kSaveLevelSet,  // Save All (no overwrite question)
  kViewModel,     // View 3DI
  kSavePcx,       // Save PCX
  kZeroAlphaIn,   // Create Zero Ignore Alpha, the picture read
  kZeroAlphaOut,  // and the picture written
};

struct FileDialogRequest {
  FileDialog kind;
  QString folder;       // the folder the dialog starts in
  QString preset_name;  // the file name it shows first, or empty
};

// The answer to "these levels have unsaved changes": save them first, go on
// without them, or stop the command.
enum class UnsavedAnswer { kSave, kDiscard, kCancel };

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The window works on `doc`, tells the person through `notifier` (which
  // the file commands' context `files` points to) and previews through
  // `preview`; all three outlive it.
  MainWindow(Document& doc, FileCommandContext& files, GuiNotifier& notifier, PreviewBackend& preview,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  Document& document() { return doc_; }
  CommandTable& commands() { return table_; }
  PreviewControl& preview() { return preview_; }
  // The undo steps of the four slots.
  EditHistory& history() { return history_; }
  // What the editing dialogs share (their hooks run through this window's).
  EditorContext& editor_context() { return editor_; }
  // The function presets, read from the per-user "funcs.pre" when the
  // window is made and written back with the settings.
  FunctionPresetList& presets() { return presets_; }
  // Runs a command as a menu item would, then refreshes the menus.
  bool run_command(int id);
  // The action of a command number (shared by every menu it appears in).
  QAction* action(int id) const;
  QMenu* mouse_menu() const { return mouse_menu_; }
  QMenu* preview_menu() const { return preview_menu_; }
  QMenu* selections_menu() const { return selections_menu_; }
  QMenu* edit_menu() const { return edit_menu_; }
  PageView* page() const { return page_; }

  // Check marks, recent items, the panel's radio buttons and boxes, the
  // grid text, the "Update Textures" button and the title, from the
  // document.
  void refresh_menus();

  // Fills the "Compatibility Mode" list with the levels the hardware
  // supports (1 .. 3) and selects the highest, running its command.
  void set_supported_levels(int highest);

  // Shows the window where it was when it last closed, or maximised on
  // its first run.
  void show_as_last_time();

  // Writes the settings file, the per-user settings and the function
  // presets once (later calls do nothing); done when the window closes.
  void write_settings();

  // Replaceable for tests: the file dialogs (no value: cancelled), the
  // yes/no question of the exit rule and of Save All, and how a modal
  // dialog is run (its exec()).
  std::function<std::optional<QString>(const FileDialogRequest&)> choose_file;
  std::function<bool(const QString& text, const QString& caption)> ask_yes_no;
  // The Save / Discard / Cancel question before unsaved levels would be
  // lost (Save is the default button, Escape cancels).
  std::function<UnsavedAnswer(const QString& text, const QString& caption)> ask_unsaved;
  std::function<int(QDialog&)> run_dialog;

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void install_hooks();
  void build_desk();
  void build_actions();
  void build_menus();
  void bind_commands();
  void layout_desk();
  void on_document_changed(uint32_t changes);
  // The number a panel control sends, run after the focus went back to the
  // window.
  void send(int id);

  // Command handlers (main_window_commands.cpp).
  void open_model_command(bool all);
  void save_model_command(bool all);
  void import_command();
  void export_command();
  void view_3di_command();
  void print_command();
  void save_pcx_command();
  void zero_alpha_command();
  void recent_command(int index);
  void layers_command();
  void render_values_command();
  void options_command();
  void centre_command();
  void memory_stack_command();
  int exec_dialog(QDialog& dialog);
  // Asks before a command discards unsaved changes of any of `slots`: Save
  // saves them first, Discard goes on, Cancel stops. True when the command
  // may go on.
  bool confirm_discard(const std::vector<int>& levels, const QString& caption);
  // Saves `levels`, each to the 3DA file it came from or was last saved to,
  // else where the Save dialog says. False when one was not saved.
  bool save_levels(const std::vector<int>& levels);
  void clear_command(bool all);
  void bind_selection_commands();
  void materials_command();
  void general_info_command();
  void slot_editor_command(const QString& name, const std::function<int()>& run);
  // Opens a modeless register test dialog, or raises the one open.
  void show_test_dialog(QPointer<QDialog>& dialog, const std::function<QDialog*()>& make);
  std::optional<std::string> ask_file(FileDialog kind, const QString& preset_name = {});

  Document& doc_;
  FileCommandContext& files_;
  GuiNotifier& notifier_;
  PreviewBackend& backend_;
  PreviewControl preview_;
  CommandTable table_;
  EditHistory history_;
  std::unique_ptr<UndoActions> undo_actions_;
  RegisterNameList registers_;
  NewMaterialSettings new_materials_;
  FunctionPresetList presets_;
  EditorContext editor_;
  int material_index_ = 0;  // the material "Edit Materials" showed last
  QPointer<QDialog> register_test_;
  QPointer<QDialog> destroy_test_;
  int observer_ = 0;
  bool settings_written_ = false;

  std::map<int, QAction*> actions_;
  QMenu* mouse_menu_ = nullptr;
  QMenu* preview_menu_ = nullptr;
  QMenu* selections_menu_ = nullptr;
  QMenu* edit_menu_ = nullptr;

  QWidget* desk_ = nullptr;
  PageView* page_ = nullptr;
  ItemPane* item_pane_ = nullptr;
  CentrePane* centre_pane_ = nullptr;
  ControlPanel* panel_ = nullptr;
};

}  // namespace orvo::gui
