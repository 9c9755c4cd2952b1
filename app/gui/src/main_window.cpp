#include "orvo/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QSessionManager>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>

#include "orvo/gui/center_dialog.h"
#include "orvo/gui/control_panel.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/layer_dialog.h"
#include "orvo/gui/material_dialog.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/options_dialog.h"
#include "orvo/gui/page_output.h"
#include "orvo/gui/page_view.h"
#include "orvo/gui/panes.h"
#include "orvo/gui/preset_dialogs.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/register_test_dialogs.h"
#include "orvo/gui/render_values_dialog.h"
#include "orvo/gui/settings_store.h"
#include "orvo/gui/undo_actions.h"
#include "orvo/runtime/memory_pool.h"
#include "tools/base/text.h"

namespace orvo::gui {

namespace {

// Menu items a separator goes before.
constexpr int kSeparatorsBefore[] = {
    cmd::kClear,       cmd::kImport, cmd::kPrint,   cmd::kRecent1,     cmd::kExit,         cmd::kGrid,
    cmd::kByObject,    cmd::kPolys,  cmd::kLayers,  cmd::kViewPresets, cmd::kPassLimit1,   cmd::kWireframe,
    cmd::kTestDestroy, cmd::kJungle, cmd::kSavePcx, cmd::kFlyCamera,   cmd::kCopySelection};

bool separator_before(int id) {
  for (int s : kSeparatorsBefore)
    if (s == id) return true;
  return false;
}

// The filters of each file dialog: (text, suffix).
struct Filter {
  const char* text;
  const char* suffix;
};
struct DialogSetup {
  bool save;
  bool confirm_overwrite;
  std::vector<Filter> filters;
};
DialogSetup dialog_setup(FileDialog kind) {
  switch (kind) {
    case FileDialog::kOpenModel: return {false, false, {{"3DI ASCII file (*.3da)", "3da"}}};
    case FileDialog::kImportScene:
      // Every scene the import reads first, then one filter per kind.
      return {false,
              false,
              {{"Scenes (*.ase *.asc *.gltf *.glb *.fbx *.obj *.dae)", "ase"},
               {"Max 2 ASCII files (*.ase)", "ase"},
               {"3DS ASCII files (*.asc)", "asc"},
               {"glTF 2.0 scenes (*.gltf *.glb)", "gltf"},
               {"FBX scenes (*.fbx)", "fbx"},
               {"Wavefront OBJ scenes (*.obj)", "obj"},
               {"COLLADA scenes (*.dae)", "dae"}}};
    case FileDialog::kExportModel: return {true, true, {{"binary 3DI object file (*.3di)", "3di"}}};
    case FileDialog::kSaveModel: return {true, true, {{"3DI ASCII file (*.3da)", "3da"}}};
    case FileDialog::kSaveLevelSet: return {true, false, {{"3DI ASCII file (*.3da)", "3da"}}};
    case FileDialog::kViewModel: return {false, false, {{"3DI Binary file (*.3di)", "3di"}}};
    case FileDialog::kSavePcx: return {true, true, {{"8 bit PCX file (*.pcx)", "pcx"}}};
    case FileDialog::kZeroAlphaIn: return {false, false, {{"8 bit pcx file (*.pcx)", "pcx"}}};
    case FileDialog::kZeroAlphaOut: return {true, true, {{"8 bit pcx file (*.pcx)", "pcx"}}};
  }
  return {false, false, {}};
}

// The file dialog of a command. The suffix of the chosen filter is added to
// a name typed without one, as people expect of these dialogs.
std::optional<QString> run_file_dialog(QWidget* parent, const FileDialogRequest& r) {
  const DialogSetup setup = dialog_setup(r.kind);
  QFileDialog dialog(parent);
  dialog.setAcceptMode(setup.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(setup.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!setup.confirm_overwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  QStringList filters;
  for (const Filter& f : setup.filters) filters << QString::fromLatin1(f.text);
  dialog.setNameFilters(filters);
  if (!setup.filters.empty()) dialog.setDefaultSuffix(QString::fromLatin1(setup.filters.front().suffix));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, setup](const QString& text) {
    for (const Filter& f : setup.filters)
      if (text == QLatin1String(f.text)) dialog.setDefaultSuffix(QString::fromLatin1(f.suffix));
  });
  dialog.setDirectory(r.folder.isEmpty() ? QDir::currentPath() : r.folder);
  if (!r.preset_name.isEmpty()) dialog.selectFile(r.preset_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

// The desk: the main window's client area, which places the panes and the
// panel whenever it changes size.
class Desk : public QWidget {
 public:
  explicit Desk(QWidget* parent) : QWidget(parent) {}
  std::function<void()> on_resize;

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (on_resize) on_resize();
  }
};

// Runs the wait cursor for as long as a file command reads.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

MainWindow::MainWindow(Document& doc, FileCommandContext& files, GuiNotifier& notifier, PreviewBackend& preview,
                       QWidget* parent)
    : QMainWindow(parent),
      doc_(doc),
      files_(files),
      notifier_(notifier),
      backend_(preview),
      preview_(doc, preview, files),
      history_(doc) {
  setObjectName("Vivuzerivov");
  setWindowIcon(QIcon(":/orvo/orvo.png"));
  choose_file = [this](const FileDialogRequest& r) { return run_file_dialog(this, r); };
  ask_yes_no = [this](const QString& text, const QString& caption) {
    // Enter answers Yes, as it does in every such box of the tool.
    return QMessageBox::question(this, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
  };
  ask_unsaved = [this](const QString& text, const QString& caption) {
    const QMessageBox::StandardButton b = QMessageBox::warning(
        this, caption, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return b == QMessageBox::Save      ? UnsavedAnswer::kSave
           : b == QMessageBox::Discard ? UnsavedAnswer::kDiscard
                                       : UnsavedAnswer::kCancel;
  };
  run_dialog = [](QDialog& dialog) { return dialog.exec(); };
  editor_.registers = &registers_;
  editor_.new_materials = &new_materials_;
  editor_.run_dialog = [this](QDialog& dialog) { return run_dialog(dialog); };
  editor_.ask_yes_no = [this](QWidget*, const QString& text, const QString& caption) {
    return ask_yes_no(text, caption);
  };
  editor_.zero_ignore_alpha = [this] { zero_alpha_command(); };
  editor_.checkpoint = [this](const QString& name) { history_.checkpoint(ss(name)); };
  editor_.use_standard_dialogs();
  // A swatch's right button opens this window's "SelectionsMenu", whose
  // commands act on that swatch and the selected ones of its dialog.
  // The menu is made inside the swatch's dialog, which is modal, with this
  // window's actions.
  SwatchRegistry::popup_runner() = [this](GeneratorSwatch* swatch, QPoint at) {
    if (SwatchRegistry* r = SwatchRegistry::active()) r->set_popup_target(swatch);
    refresh_menus();
    QMenu menu(swatch);
    menu.setObjectName("SelectionsMenu");
    menu.addActions(selections_menu_->actions());
    menu.exec(at);
  };
  // A preset file that cannot be read is never replaced by an empty list.
  if (std::string problem; !load_presets(doc_.paths.preset_path, presets_, &problem) && !problem.empty())
    notifier_.message(set_aside_own_file(doc_.paths.preset_path, problem, doc_.paths.write_presets), "Orvo");
  history_.on_changed = [this] { refresh_menus(); };
  history_.on_restored = [this](int) {
    if (preview_.active()) preview_.refresh();
    refresh_menus();
  };

  bind_document_commands(table_, doc_);
  bind_commands();
  build_actions();
  build_menus();

  desk_ = new Desk(this);
  desk_->setObjectName("desk");
  desk_->setFocusPolicy(Qt::StrongFocus);
  setCentralWidget(desk_);
  // Made now, not at the first export, so the desk keeps its size.
  statusBar()->setObjectName("status_bar");
  panel_ = new ControlPanel(desk_, this);
  connect(panel_, &ControlPanel::command, this, &MainWindow::send);
  connect(panel_, &ControlPanel::unit_scale_clicked, this, [this](bool metric) {
    doc_.unit_scale = metric ? 1.0f : kUnitScaleDefault;
    desk_->setFocus();
    doc_.changed(kChangedView);
    refresh_menus();
  });
  page_ = new PageView(doc_, desk_);
  // While a register test dialog is open the preview keeps animating, also
  // when that dialog has the focus.
  page_->window_active = [this] { return isActiveWindow() || register_test_ || destroy_test_; };
  connect(page_, &PageView::popup_requested, this,
          [this](QPoint at) { (doc_.preview_mode != kPreviewOff ? preview_menu_ : mouse_menu_)->popup(at); });
  item_pane_ = new ItemPane(doc_, desk_);
  centre_pane_ = new CentrePane(doc_, desk_);
  connect(centre_pane_, &CentrePane::clicked, this, [this] { run_command(cmd::kCentreDialog); });
  static_cast<Desk*>(desk_)->on_resize = [this] { layout_desk(); };

  // The panel's start: display flags of its "Show:" boxes and grid step 1.
  doc_.view().display_flags = kPanelDisplayFlags;
  doc_.view().grid_step = 1;
  observer_ = doc_.observe([this](uint32_t changes) { on_document_changed(changes); });
  preview.set_texture_folder(texture_folder_for_lookup(doc_.folders().texture_folder));

  // A system shut-down or log-off asks as closing does.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
    if (doc_.any_subobject() && manager.allowsInteraction() && !ask_yes_no("Are you sure you wish to exit?", "Exit"))
      manager.cancel();
  });
  refresh_menus();
  desk_->setFocus();
}

MainWindow::~MainWindow() {
  SwatchRegistry::popup_runner() = nullptr;
  doc_.unobserve(observer_);
}

QAction* MainWindow::action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

bool MainWindow::run_command(int id) {
  const bool ran = table_.run(id);
  refresh_menus();
  return ran;
}

void MainWindow::send(int id) {
  desk_->setFocus();
  run_command(id);
}

// ---- Menus -----------------------------------------------------------------

void MainWindow::build_actions() {
  for (const CommandInfo& info : command_infos()) {
    if (info.places == kOnPanel) continue;
    auto* a = new QAction(qs(info.text), this);
    a->setObjectName(QStringLiteral("cmd%1").arg(info.id));
    if (!info.key.empty()) {
      a->setShortcut(QKeySequence(qs(info.key)));
      a->setShortcutContext(Qt::WindowShortcut);
    }
    const int id = info.id;
    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    // Accelerators work whichever menu holds the item, also one that is
    // not open.
    addAction(a);
    actions_[id] = a;
  }
}

void MainWindow::build_menus() {
  auto fill = [this](QMenu* menu, unsigned place) {
    for (const CommandInfo& info : command_infos()) {
      if ((info.places & place) == 0) continue;
      if (separator_before(info.id) && !menu->isEmpty()) menu->addSeparator();
      menu->addAction(actions_.at(info.id));
    }
  };
  QMenuBar* bar = menuBar();
  fill(bar->addMenu("&File"), kInFileMenu);
  fill(bar->addMenu("&View"), kInViewMenu);
  edit_menu_ = bar->addMenu("&Edit");
  undo_actions_ = std::make_unique<UndoActions>(history_, doc_, this);
  for (QAction* a : {undo_actions_->undo(), undo_actions_->redo()}) {
    addAction(a);
    edit_menu_->addAction(a);
  }
  edit_menu_->addSeparator();
  fill(edit_menu_, kInEditMenu);
  QMenu* tools = bar->addMenu("&Tools");
  for (const CommandInfo& info : command_infos()) {
    if ((info.places & kInToolsMenu) == 0) continue;
    if (info.id == cmd::kViewPresets) fill(tools->addMenu("Compatibility Mode"), kInCompatibilityMenu);
    if (separator_before(info.id)) tools->addSeparator();
    tools->addAction(actions_.at(info.id));
  }
  fill(bar->addMenu("&LOD"), kInLodMenu);
  mouse_menu_ = new QMenu(this);
  mouse_menu_->setObjectName("MouseMenu");
  fill(mouse_menu_, kInMouseMenu);
  preview_menu_ = new QMenu(this);
  preview_menu_->setObjectName("RMenu");
  fill(preview_menu_, kInPreviewMenu);
  selections_menu_ = new QMenu(this);
  selections_menu_->setObjectName("SelectionsMenu");
  fill(selections_menu_, kInSelectionsMenu);
  for (auto& [id, a] : actions_) a->setCheckable(table_.checked(id).has_value());

  // Help › About Orvo: the version and where the tool keeps its scratch
  // files and logs, so a person can find them.
  QAction* about = bar->addMenu("&Help")->addAction("About Orvo");
  about->setObjectName("about");
  connect(about, &QAction::triggered, this, [this] {
    const QString folder = preview_.scratch_folder().empty() ? QDir::currentPath() : qs(preview_.scratch_folder());
    QMessageBox box(QMessageBox::Information, "About Orvo",
                    qs(window_title("")) + "\nThe model tool of the Brellwick content tools.", QMessageBox::Ok, this);
    box.setObjectName("about_box");
    box.setInformativeText("Scratch files and logs (temprend.3di, 3di_log.txt, ghw.txt, _fastmem.txt):\n" + folder +
                           "\n\nSettings: TanuOrvo.cfg in the folder Orvo was started in, and the per-user settings "
                           "(Tools › Options…).");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    exec_dialog(box);
  });
}

void MainWindow::refresh_menus() {
  if (undo_actions_) undo_actions_->refresh();
  for (auto& [id, a] : actions_) {
    a->setEnabled(table_.enabled(id));
    if (const std::optional<bool> on = table_.checked(id)) a->setChecked(*on);
  }
  for (int i = 0; i < 4; ++i) {
    const RecentFile& entry = doc_.recent_files()[static_cast<std::size_t>(i)];
    QAction* a = actions_.at(cmd::kRecent1 + i);
    a->setText(qs(recent_menu_text(entry, i)));
    a->setEnabled(!entry.path.empty());
  }
  if (panel_ == nullptr) return;
  panel_->refresh(doc_);
  // Slots with unsaved changes are named after the title.
  QString title = qs(doc_.title());
  QStringList unsaved;
  for (int slot : history_.modified_slots()) unsaved << QString(QChar(kSlotLetters[static_cast<std::size_t>(slot)]));
  if (!unsaved.isEmpty()) title += QStringLiteral("  (unsaved: %1)").arg(unsaved.join(", "));
  setWindowTitle(title);
}

void MainWindow::set_supported_levels(int highest) {
  panel_->set_levels(highest);
  layout_desk();  // the list is as wide as its longest item
  if (const int command = panel_->select_last_level()) run_command(command);
}

// Panes and panel in units of the GUI font's average character width and
// line height, as the tool has always placed them: the page from 21 widths
// in and two and a half lines down, the item pane from line 22 in the left
// column, the centre pane at widths 32 to 40. This toolkit's controls are
// taller and wider than those units were made for, so the left column, the
// item pane's top and the centre pane grow where the controls or the
// coordinates would not fit; the item pane is as wide as its lines (up to a
// third of the window) or as wide as it was dragged, and the page starts
// right of it and below the centre pane, so the pane never covers the
// hover readout in the page's top-left corner.
void MainWindow::layout_desk() {
  connect(item_pane_, &ItemPane::width_wanted, this, &MainWindow::layout_desk, Qt::UniqueConnection);
  const QFontMetrics fm(font());
  const int cw = fm.averageCharWidth();
  const int lh = fm.height() + fm.leading();
  const int w = desk_->width();
  const int h = desk_->height();

  // Left column: the plane buttons over the three groups.
  const ControlPanel::Column left = panel_->place_column(fm, cw, lh);
  const int column = left.width;
  const int button_h = left.button_height;
  const int gap = lh / 4;
  const int y = left.bottom;

  const int item_w =
      std::min(item_pane_->chosen_width(std::max(column, item_pane_->content_width())), std::max(column, w / 3));
  const int item_top = std::max(22 * lh, y + gap);
  item_pane_->setGeometry(QRect(QPoint(cw, item_top), QPoint(cw + item_w - 1, h - lh / 2 - 1)));

  const int frame = 2 * centre_pane_->frameWidth();
  const int centre_left = std::max(21 * cw, column + 2 * cw) + 11 * cw;
  const int centre_w = std::max(8 * cw, fm.horizontalAdvance("X:-0000.0000") + frame + cw);
  const int centre_h = std::max(3 * lh + lh / 3, 3 * fm.lineSpacing() + frame + lh / 2);
  centre_pane_->setGeometry(centre_left, 0, centre_w, centre_h);

  const int page_left = std::max({21 * cw, column + 2 * cw, cw + item_w + cw});
  const int page_top = std::max({2 * lh + lh / 2, lh / 4 + button_h + gap, centre_h + gap});
  page_->setGeometry(QRect(QPoint(page_left, page_top), QPoint(w - cw - 1, h - lh / 2 - 1)));

  // The top row right of the centre pane.
  panel_->place_top_row(fm, cw, lh, centre_left + centre_w + cw, button_h);
}

// ---- Document changes ------------------------------------------------------

void MainWindow::on_document_changed(uint32_t changes) {
  // The last export's line speaks of the levels as they were written.
  if (changes & kChangedModel) statusBar()->clearMessage();
  if (changes & (kChangedMenus | kChangedSlot | kChangedPreview | kChangedGrid | kChangedModel)) refresh_menus();
}

// ---- Keys ------------------------------------------------------------------

bool MainWindow::event(QEvent* e) {
  // Keypad digits and signs are the page's keys, never the accelerators of
  // the digits 1 .. 3 of the preview menu.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    if ((k->modifiers() & Qt::KeypadModifier) != 0 &&
        ((k->key() >= Qt::Key_0 && k->key() <= Qt::Key_9) || k->key() == Qt::Key_Plus || k->key() == Qt::Key_Minus)) {
      e->accept();
      return true;
    }
  }
  return QMainWindow::event(e);
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  ViewState& v = doc_.view();
  const bool keypad = (e->modifiers() & Qt::KeypadModifier) != 0;
  const int key = e->key();
  auto redraw = [this] { doc_.changed(kChangedView); };
  auto moved = [this] { doc_.changed(kChangedView | kChangedCentre); };
  if (key == Qt::Key_Space) {
    redraw();
  } else if (key == Qt::Key_PageUp || (keypad && (key == Qt::Key_9 || key == Qt::Key_Plus))) {
    if (zoom_in(v)) redraw();
  } else if (key == Qt::Key_PageDown || (keypad && (key == Qt::Key_3 || key == Qt::Key_Minus))) {
    if (zoom_out(v)) redraw();
  } else if (key == Qt::Key_Left || key == Qt::Key_Right) {
    pan_sideways(v, key == Qt::Key_Left ? -1 : 1);
    moved();
  } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
    pan_up_down(v, key == Qt::Key_Up ? 1 : -1);
    moved();
  } else if (keypad && (key == Qt::Key_4 || key == Qt::Key_6)) {
    v.yaw += key == Qt::Key_4 ? -0.1f : 0.1f;
    redraw();
  } else if (keypad && (key == Qt::Key_2 || key == Qt::Key_8)) {
    v.pitch += key == Qt::Key_2 ? 0.1f : -0.1f;
    redraw();
  } else {
    QMainWindow::keyPressEvent(e);
    return;
  }
  e->accept();
}

// ---- Exit ------------------------------------------------------------------

static QString slot_list(const std::vector<int>& levels) {
  QStringList letters;
  for (int slot : levels) letters << QString(QChar(kSlotLetters[static_cast<std::size_t>(slot)]));
  return letters.join(", ");
}

static QString unsaved_text(const std::vector<int>& unsaved, const QString& question) {
  return (unsaved.size() == 1 ? QStringLiteral("Level %1 has unsaved changes.\n%2")
                              : QStringLiteral("Levels %1 have unsaved changes.\n%2"))
      .arg(slot_list(unsaved), question);
}

bool MainWindow::confirm_discard(const std::vector<int>& levels, const QString& caption) {
  std::vector<int> unsaved;
  for (int slot : levels)
    if (history_.modified(slot)) unsaved.push_back(slot);
  if (unsaved.empty()) return true;
  switch (ask_unsaved(unsaved_text(unsaved, "Save them first?"), caption)) {
    case UnsavedAnswer::kSave: return save_levels(unsaved);
    case UnsavedAnswer::kDiscard: return true;
    case UnsavedAnswer::kCancel: return false;
  }
  return false;
}

bool MainWindow::save_levels(const std::vector<int>& levels) {
  for (int slot : levels) {
    // A level read from a 3DA file goes back to it; an imported scene, or
    // a level never saved, goes where the Save dialog says.
    std::string path = doc_.slot_file(slot);
    if (path.size() < 4 || !tools::iequals(std::string_view(path).substr(path.size() - 4), ".3da")) {
      const std::optional<std::string> chosen =
          ask_file(FileDialog::kSaveModel, qs(std::string(doc_.slot(slot).name.view()) + ".3da"));
      if (!chosen) return false;
      path = *chosen;
    }
    const WaitCursor wait;
    if (!save_model(doc_, slot, path, files_)) return false;
    history_.mark_saved(slot);
  }
  return true;
}

void MainWindow::closeEvent(QCloseEvent* e) {
  // Unsaved changes are named in the one question exiting asks; saving
  // them can fail or be cancelled, and then the window stays.
  const std::vector<int> unsaved = history_.modified_slots();
  bool go = true;
  if (!unsaved.empty()) {
    switch (ask_unsaved(unsaved_text(unsaved, "Save them before exiting?"), "Exit")) {
      case UnsavedAnswer::kSave: go = save_levels(unsaved); break;
      case UnsavedAnswer::kDiscard: go = true; break;
      case UnsavedAnswer::kCancel: go = false; break;
    }
  } else if (doc_.any_subobject()) {
    go = ask_yes_no("Are you sure you wish to exit?", "Exit");
  }
  if (!go) {
    e->ignore();
    refresh_menus();
    return;
  }
  write_settings();
  e->accept();
}

void MainWindow::write_settings() {
  if (settings_written_) return;
  settings_written_ = true;
  gui::write_settings(doc_);
  // A preset file that cannot be written is left as it was, and so is one
  // that could not be read nor moved aside.
  if (doc_.paths.write_presets) (void)save_presets(doc_.paths.preset_path, presets_, files_.username);
  // The window's place is kept beside the tool's own values, never in
  // their group.
  QSettings store("Brellwick", "ORVO");
  store.setValue("Window/Geometry", saveGeometry());
}

void MainWindow::show_as_last_time() {
  const QSettings store("Brellwick", "ORVO");
  if (restoreGeometry(store.value("Window/Geometry").toByteArray())) show();
  else showMaximized();
}

// ---- Commands --------------------------------------------------------------

void MainWindow::bind_commands() {
  table_.out_of_memory = [this](int id) {
    const CommandInfo* info = find_command(id);
    QString name = info != nullptr ? QString::fromUtf8(info->text.data(), static_cast<int>(info->text.size())) : "";
    name.remove('&');
    notifier_.message("Out of memory while running \"" + name.toStdString() + "\"; the command was stopped.", "Orvo");
  };
  table_.bind(cmd::kClearAll, {[this] { clear_command(true); }});
  table_.bind(cmd::kClear, {[this] { clear_command(false); }});
  table_.bind(cmd::kOpenAll, {[this] { open_model_command(true); }});
  table_.bind(cmd::kOpen, {[this] { open_model_command(false); }});
  table_.bind(cmd::kSaveAll, {[this] { save_model_command(true); }});
  table_.bind(cmd::kSave, {[this] { save_model_command(false); }});
  table_.bind(cmd::kImport, {[this] { import_command(); }});
  table_.bind(cmd::kExport3di, {[this] { export_command(); }});
  table_.bind(cmd::kView3di, {[this] { view_3di_command(); }, [this] { return !preview_.active(); }});
  table_.bind(cmd::kPrint, {[this] { print_command(); }});
  for (int i = 0; i < 4; ++i) table_.bind(cmd::kRecent1 + i, {[this, i] { recent_command(i); }});
  table_.bind(cmd::kExit, {[this] { close(); }});
  table_.bind(cmd::kLayers, {[this] { layers_command(); }});
  table_.bind(cmd::kRenderValues, {[this] { render_values_command(); }});
  table_.bind(cmd::kOptions, {[this] { options_command(); }});
  table_.bind(cmd::kCentreDialog, {[this] { centre_command(); }});
  table_.bind(cmd::kFrameAll, {[this] {
                const QSize page = page_->client_size();
                if (frame_model(doc_.view(), doc_.current_model(), page.width(), page.height()))
                  doc_.changed(kChangedView | kChangedCentre);
              }});
  table_.bind(cmd::kMemoryStack, {[this] { memory_stack_command(); }});
  table_.bind(cmd::kZeroIgnoreAlpha, {[this] { zero_alpha_command(); }});
  table_.bind(cmd::kSavePcx, {[this] { save_pcx_command(); }});
  for (int level = 1; level <= 3; ++level)
    table_.bind(compatibility_command(level), {[this, level] { preview_.set_compatibility_level(level); },
                                               {},
                                               [this, level] { return doc_.compatibility_level == level; }});
  // The preview's export warnings and the textures it cannot make fill a
  // fresh log window.
  table_.bind(cmd::kRender, {[this] {
                if (doc_.preview_mode != kPreviewCurrent) notifier_.begin_log();
                preview_.start(kPreviewCurrent);
              }});
  table_.bind(cmd::kRenderAll, {[this] {
                if (doc_.preview_mode != kPreviewAll) notifier_.begin_log();
                preview_.start(kPreviewAll);
              }});
  table_.bind(cmd::kWire, {[this] { preview_.stop(); }});
  table_.bind(cmd::kUpdateTextures, {[this] {
                notifier_.begin_log();
                preview_.reload();
              }});
  table_.bind(cmd::kMaterials, {[this] { materials_command(); }});
  table_.bind(cmd::kViewPresets, {[this] { run_preset_list(this, presets_, files_.username, editor_); }});
  bind_selection_commands();
  const RegisterWriter write_register = [this](int index, int32_t value) { backend_.set_register(index, value); };
  table_.bind(cmd::kTestRegisters, {[this, write_register] {
                show_test_dialog(register_test_, [this, write_register] {
                  return new RegisterTestDialog(registers_, write_register, this);
                });
              }});
  table_.bind(cmd::kTestDestroy, {[this, write_register] {
                show_test_dialog(destroy_test_,
                                 [this, write_register] { return new DestroyTestDialog(write_register, this); });
              }});
  table_.bind(cmd::kGeneralInfo, {[this] { general_info_command(); }});
  table_.bind(cmd::kLights, {[this] {
                slot_editor_command("Light Sources",
                                    [this] { return run_lights(this, doc_.current_model(), editor_); });
              }});
  table_.bind(cmd::kPartAnimation, {[this] {
                slot_editor_command("Part Animation",
                                    [this] { return run_part_animation(this, doc_.current_model(), editor_); });
              }});
  table_.bind(cmd::kItemInformation, {[this] { run_object_info(this, doc_.current_model(), editor_); }});
}

// The "SelectionsMenu" commands of the generator swatches: on the swatch
// the pop-up was opened on, and on the selected swatches of the dialog on
// show.
void MainWindow::bind_selection_commands() {
  auto target = [] {
    SwatchRegistry* r = SwatchRegistry::active();
    return r != nullptr ? r->popup_target() : nullptr;
  };
  auto any_selected = [] {
    SwatchRegistry* r = SwatchRegistry::active();
    return r != nullptr && r->any_selected();
  };
  table_.bind(cmd::kCopyIndividual, {[target] {
                                       if (GeneratorSwatch* s = target()) SwatchRegistry::active()->copy_individual(s);
                                     },
                                     [target] { return target() != nullptr; }});
  table_.bind(cmd::kPasteIndividual, {[target] {
                                        if (GeneratorSwatch* s = target())
                                          SwatchRegistry::active()->paste_individual(s);
                                      },
                                      [target] {
                                        GeneratorSwatch* s = target();
                                        return s != nullptr && SwatchRegistry::active()->can_paste_individual(s);
                                      }});
  table_.bind(cmd::kCopySelection, {[any_selected] {
                                      if (any_selected()) SwatchRegistry::active()->copy_selection();
                                    },
                                    any_selected});
  table_.bind(cmd::kPasteSelection, {[any_selected] {
                                       if (any_selected()) SwatchRegistry::active()->paste_selection();
                                     },
                                     any_selected});
}

void MainWindow::show_test_dialog(QPointer<QDialog>& dialog, const std::function<QDialog*()>& make) {
  if (dialog == nullptr) {
    dialog = make();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // OK and Cancel close it for good.
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

// "Edit Materials" edits the slot in place; each Apply, New, Delete and
// generator change inside it is an undo step, and closing it one more for
// what is left. It always reports a change, so a running preview loads the
// slots again.
void MainWindow::materials_command() {
  const int slot = doc_.current_slot();
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin(slot);
  run_material_editor(this, doc_.current_model(), material_index_, editor_);
  history_.end("Edit Materials");
  doc_.changed(kChangedModel | kChangedView);
  preview_.refresh();
}

// "General Information" edits all four levels: a change of the collision
// source is a step at once, OK one more on each level it changed.
void MainWindow::general_info_command() {
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin_all();
  const int changed = run_general_info(this, doc_, editor_);
  history_.end("General Information");
  doc_.changed(kChangedModel | kChangedView);
  if (changed != 0) preview_.refresh();
}

// A dialog that edits the current slot on a copy: OK is one step, and a
// running preview loads the slots again.
void MainWindow::slot_editor_command(const QString& name, const std::function<int()>& run) {
  editor_.texture_folder = doc_.folders().texture_folder;
  history_.begin(doc_.current_slot());
  const int changed = run();
  history_.end(ss(name));
  doc_.changed(kChangedModel | kChangedView);
  if (changed != 0) preview_.refresh();
}

void MainWindow::clear_command(bool all) {
  const std::vector<int> levels = all ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{doc_.current_slot()};
  if (!confirm_discard(levels, all ? "Clear All" : "Clear")) return;
  for (int slot : levels) {
    model_release(doc_.slot(slot));
    doc_.set_slot_file(slot, {});
    history_.reset(slot);
  }
  doc_.changed(kChangedModel | kChangedView | kChangedSlot);
}

int MainWindow::exec_dialog(QDialog& dialog) {
  return run_dialog(dialog);
}

std::optional<std::string> MainWindow::ask_file(FileDialog kind, const QString& preset_name) {
  FileDialogRequest r{kind, QDir::currentPath(), preset_name};
  if (kind == FileDialog::kExportModel && !doc_.folders().export_folder.empty())
    r.folder = qs(doc_.folders().export_folder);
  const std::optional<QString> path = choose_file(r);
  if (!path || path->isEmpty()) return std::nullopt;
  return native_path(*path);
}

void MainWindow::open_model_command(bool all) {
  const std::optional<std::string> path = ask_file(FileDialog::kOpenModel);
  if (!path) return;
  const int slot = doc_.current_slot();
  if (!confirm_discard(all ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{slot}, all ? "Open All" : "Open")) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    // A failed read leaves the slots, their steps and unsaved marks as they
    // were; the slots a read replaced start a new history.
    const bool read = all ? open_level_set(doc_, *path, files_) : open_model(doc_, slot, *path, files_);
    if (read)
      for (int i = 0; i < kSlotCount; ++i)
        if (all || i == slot) history_.reset(i);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::save_model_command(bool all) {
  const Model& preset = all ? doc_.slot(0) : doc_.current_model();
  const std::optional<std::string> path =
      ask_file(all ? FileDialog::kSaveLevelSet : FileDialog::kSaveModel, qs(std::string(preset.name.view()) + ".3da"));
  if (!path) return;
  const WaitCursor wait;
  if (all) {
    std::array<bool, kSlotCount> written{};
    save_level_set(
        doc_, *path,
        [this](const std::string& text, const std::string& caption) { return ask_yes_no(qs(text), qs(caption)); },
        files_, &written);
    for (int i = 0; i < kSlotCount; ++i)
      if (written[static_cast<std::size_t>(i)]) history_.mark_saved(i);
  } else if (save_model(doc_, *path, files_)) {
    history_.mark_saved(doc_.current_slot());
  }
}

void MainWindow::import_command() {
  // The slot is replaced only by a scene that was read: cancelling the
  // dialog or a file that cannot be read keeps what the slot holds.
  const std::optional<std::string> path = ask_file(FileDialog::kImportScene);
  if (!path) return;
  const int slot = doc_.current_slot();
  if (!confirm_discard({slot}, "Import 3DS ASCII")) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    if (import_scene(doc_, slot, *path, files_)) history_.reset(slot);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::export_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kExportModel);
  if (!path) return;
  // The export's warnings (pictures it could not read, clamped collision
  // vertices) fill a fresh log window, which stays until it is closed.
  notifier_.begin_log();
  std::string written;
  {
    const WaitCursor wait;
    export_model(doc_, *path, files_, &written);
  }
  // A failed export leaves no earlier success line standing.
  if (written.empty()) statusBar()->clearMessage();
  else statusBar()->showMessage(qs(written));
}

void MainWindow::view_3di_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kViewModel);
  if (!path) return;
  notifier_.begin_log();
  const WaitCursor wait;
  preview_.view_file(*path);
}

void MainWindow::print_command() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (exec_dialog(dialog) != QDialog::Accepted) return;
  print_page(doc_, printer);
  doc_.changed(kChangedView);
}

void MainWindow::save_pcx_command() {
  const std::optional<std::string> path = ask_file(FileDialog::kSavePcx);
  if (!path) return;
  if (const Status s = save_page_pcx(page_->picture(), *path); !s) notifier_.message(s.error().message, "");
  doc_.changed(kChangedView);
}

void MainWindow::zero_alpha_command() {
  // The picture is read and checked before the person is asked where to
  // write it.
  const std::optional<std::string> in = ask_file(FileDialog::kZeroAlphaIn);
  if (!in) return;
  std::optional<Image> picture;
  {
    const WaitCursor wait;
    picture = zero_ignore_alpha_picture(*in, notifier_);
  }
  if (!picture) return;
  const std::optional<std::string> out = ask_file(FileDialog::kZeroAlphaOut);
  if (!out) return;
  write_zero_ignore_alpha(*picture, *out, notifier_);
  doc_.changed(kChangedView);
}

void MainWindow::recent_command(int index) {
  const RecentFile entry = doc_.recent_files()[static_cast<std::size_t>(index)];
  if (entry.path.empty()) return;
  const int slot = doc_.current_slot();
  const std::vector<int> levels = entry.kind == kRecentLevelSet ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{slot};
  if (!confirm_discard(levels, qs(recent_menu_text(entry, index)).remove('&'))) return;
  notifier_.begin_log();
  {
    const WaitCursor wait;
    // A failed read or import leaves the slots as they were.
    if (open_recent(doc_, index, files_))
      for (int i : levels) history_.reset(i);
  }
  notifier_.end_log(static_cast<int>(doc_.current_model().subobjects.size()));
}

void MainWindow::layers_command() {
  LayerDialog dialog(doc_, this);
  exec_dialog(dialog);
  doc_.changed(kChangedView);
}

void MainWindow::render_values_command() {
  RenderValuesDialog dialog(doc_.render_settings(), this);
  exec_dialog(dialog);
  doc_.changed(kChangedSettings | kChangedView);
}

void MainWindow::options_command() {
  OptionsDialog dialog(doc_.folders(), this);
  dialog.warn = [this](const QString& text) { notifier_.message(ss(text), "ORVO Options"); };
  if (exec_dialog(dialog) == QDialog::Accepted) {
    // The preview looks textures up in the new folder from its next start,
    // or at once with "Update Textures".
    backend_.set_texture_folder(texture_folder_for_lookup(doc_.folders().texture_folder));
    doc_.changed(kChangedSettings);
  }
}

void MainWindow::centre_command() {
  CenterDialog dialog(doc_.view().centre, this);
  exec_dialog(dialog);
  doc_.changed(kChangedCentre | kChangedView);
}

void MainWindow::memory_stack_command() {
  QDialog dialog(this);
  dialog.setWindowTitle("Memory Stack");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(&dialog);
  text->setObjectName("memory_text");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  std::string report;
  for (const MemoryPool* pool : {&main_pool(), &second_pool()}) {
    const PoolStats s = pool->stats();
    report += pool->name() + ": " + std::to_string(s.bytes_total) + " bytes, " + std::to_string(s.bytes_used) +
              " used in " + std::to_string(s.chunks_used) + " blocks, " + std::to_string(s.bytes_free) +
              " free (largest " + std::to_string(s.largest_free) + "), peak " + std::to_string(s.peak_used) + "\n";
    report += pool->dump("  ") + "\n";
  }
  text->setPlainText(qs(report));
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.resize(80 * fontMetrics().averageCharWidth(), 30 * fontMetrics().height());
  exec_dialog(dialog);
}

}  // namespace orvo::gui
