#include "orvo/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSessionManager>
#include <QSettings>
#include <QStatusBar>

#include "orvo/gui/control_panel.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/page_view.h"
#include "orvo/gui/panes.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/settings_store.h"
#include "orvo/gui/undo_actions.h"
#include "tools/base/text.h"
#include "tools/base/version.h"
#include "wait_cursor.h"

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
  install_hooks();
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
  build_desk();

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

// The replaceable questions, file dialogs and dialog runner, and the
// editing dialogs' hooks, each running through this window.
void MainWindow::install_hooks() {
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
}

// The desk with the control panel, the page and its two panes, and the
// status bar below.
void MainWindow::build_desk() {
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
                    qs(window_title("")) + "\nThe model tool of the Brellwick content tools.\nPackage: " +
                        tools::kPackageName + " " + tools::kPackageVersion,
                    QMessageBox::Ok, this);
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

}  // namespace orvo::gui
