// The main window under Qt's offscreen platform, driven by its controls'
// object names and its actions: the panel's start states, menus and
// accelerators from the command table, the panel dispatching through the
// table, the page keys, the exit question, the settings written on close,
// the file commands through the dialog hook and the preview buttons.
#include "orvo/gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <set>

#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/page_view.h"
#include "orvo/gui/panes.h"
#include "orvo/gui/qt_text.h"
#include "orvo/gui/settings_store.h"
#include "orvo/model/metafile.h"
#include "orvo/runtime/memory_pool.h"
#include "sample_folder.h"
#include "tools/test/scratch_dir.h"

namespace orvo::gui {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = enter_sample_folder(dir_);
    doc_.paths = make_document_paths(dir_.path().string() + "/", dir_.file("data"));
    notifier_.show_message = [this](const QString& text, const QString&) { messages_.push_back(ss(text)); };
    files_.notifier = &notifier_;
    window_ = std::make_unique<MainWindow>(doc_, files_, notifier_, preview_);
    real_ask_yes_no_ = window_->ask_yes_no;
    real_choose_file_ = window_->choose_file;
    real_ask_unsaved_ = window_->ask_unsaved;
    window_->ask_unsaved = [this](const QString& text, const QString&) {
      questions_.push_back(ss(text));
      return unsaved_answer_;
    };
    window_->ask_yes_no = [this](const QString& text, const QString&) {
      questions_.push_back(ss(text));
      return answer_;
    };
    window_->choose_file = [this](const FileDialogRequest&) -> std::optional<QString> {
      if (chosen_.empty()) return std::nullopt;
      return qs(chosen_);
    };
    window_->resize(1200, 800);
    window_->show();
    window_->set_supported_levels(3);
  }
  void TearDown() override {
    window_.reset();
    std::filesystem::current_path(old_);
  }

  template <class T>
  T* control(int id) const {
    return window_->findChild<T*>(QStringLiteral("id%1").arg(id));
  }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, k, m);
    QApplication::sendEvent(window_.get(), &press);
  }

  std::filesystem::path old_;
  tools::test::ScratchDir dir_{"orvo-gui"};
  Document doc_;
  GuiNotifier notifier_;
  FileCommandContext files_;
  LoaderPreview preview_;
  std::unique_ptr<MainWindow> window_;
  std::vector<std::string> messages_, questions_;
  std::string chosen_;
  bool answer_ = true;
  UnsavedAnswer unsaved_answer_ = UnsavedAnswer::kDiscard;
  std::function<bool(const QString&, const QString&)> real_ask_yes_no_;
  std::function<std::optional<QString>(const FileDialogRequest&)> real_choose_file_;
  std::function<UnsavedAnswer(const QString&, const QString&)> real_ask_unsaved_;
};

TEST_F(MainWindowTest, StartsWithThePanelAndMenusOfTheCommandTable) {
  EXPECT_EQ(window_->windowTitle(), "TanuORVO v1.05.02e");
  EXPECT_TRUE(control<QPushButton>(1001)->isChecked());
  EXPECT_TRUE(control<QPushButton>(1034)->isChecked());
  EXPECT_TRUE(control<QPushButton>(1040)->isChecked());
  EXPECT_TRUE(control<QRadioButton>(1006)->isChecked());
  EXPECT_FALSE(control<QPushButton>(1047)->isVisible());
  EXPECT_EQ(control<QLabel>(1012)->text(), "1");
  EXPECT_EQ(doc_.view().display_flags, kPanelDisplayFlags);
  for (int id : {1017, 1018, 1019, 1020, 1022}) EXPECT_TRUE(control<QCheckBox>(id)->isChecked()) << id;
  for (int id : {1045, 1021, 1023, 1024}) EXPECT_FALSE(control<QCheckBox>(id)->isChecked()) << id;
  EXPECT_EQ(control<QComboBox>(1500)->count(), 3);
  EXPECT_EQ(control<QComboBox>(1500)->currentText(), "DX8 - GeForce3, Radeon8500");
  EXPECT_EQ(doc_.compatibility_level, 3);

  for (const CommandInfo& info : command_infos()) {
    if (info.places == kOnPanel) continue;
    QAction* a = window_->action(info.id);
    ASSERT_NE(a, nullptr) << info.id;
    EXPECT_EQ(a->shortcut(), QKeySequence(qs(info.key))) << info.id;
  }
  EXPECT_EQ(window_->action(cmd::kOpenAll)->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_TRUE(window_->preview_menu()->actions().contains(window_->action(cmd::kWireframe)));
  EXPECT_TRUE(window_->mouse_menu()->actions().contains(window_->action(cmd::kByMaterial)));
  EXPECT_FALSE(window_->action(cmd::kRecent1)->isEnabled());  // no recent file yet
}

TEST_F(MainWindowTest, PanelAndMenuRunTheSameCommands) {
  control<QPushButton>(1003)->click();
  EXPECT_EQ(doc_.view().plane, kPlaneYZ);
  EXPECT_TRUE(window_->action(cmd::kPlaneYZ)->isChecked());
  window_->action(cmd::kView3D)->trigger();
  EXPECT_TRUE(control<QPushButton>(1004)->isChecked());

  control<QCheckBox>(1021)->click();
  EXPECT_TRUE(doc_.view().display_flags & kShowBoundingObjects);
  EXPECT_TRUE(window_->action(cmd::kBoundingObjects)->isChecked());
  window_->action(cmd::kByMaterial)->trigger();
  EXPECT_TRUE(control<QRadioButton>(1007)->isChecked());

  for (int i = 0; i < 12; ++i) control<QPushButton>(1014)->click();
  EXPECT_EQ(doc_.view().grid_step, 1024);
  EXPECT_EQ(control<QLabel>(1012)->text(), "1024");
  for (int i = 0; i < 12; ++i) control<QPushButton>(1013)->click();
  EXPECT_EQ(control<QLabel>(1012)->text(), "1");

  control<QCheckBox>(1046)->click();
  EXPECT_EQ(doc_.unit_scale, 1.0f);
  control<QComboBox>(1500)->setCurrentIndex(0);
  EXPECT_EQ(doc_.compatibility_level, 1);
  EXPECT_TRUE(window_->action(cmd::kNonTnl)->isChecked());
}

TEST_F(MainWindowTest, PageKeysZoomPanAndTurn) {
  doc_.view().zoom = 950;
  key(Qt::Key_PageUp);
  EXPECT_EQ(doc_.view().zoom, 1000.0f);
  doc_.view().zoom = 0.0105f;
  key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(doc_.view().zoom, 0.01f);
  doc_.view().zoom = 6;
  doc_.view().grid_step = 32;
  key(Qt::Key_Left);
  EXPECT_EQ(doc_.view().centre[0], 2.0f);
  const float pitch = doc_.view().pitch;
  key(Qt::Key_2, Qt::KeypadModifier);  // pitch, not the pass limit
  EXPECT_FLOAT_EQ(doc_.view().pitch, pitch + 0.1f);
  EXPECT_EQ(doc_.pass_limit, 3);
}

// View > Frame All (Home) brings a slot that is out of sight, or a speck,
// into the page: its polygons span most of the page in each plane and the
// 3D view.
TEST_F(MainWindowTest, FrameAllFitsTheSlotIntoThePage) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpenAll);
  QAction* frame = window_->action(cmd::kFrameAll);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->shortcut(), QKeySequence(Qt::Key_Home));
  bool in_view_menu = false;
  for (QAction* menu : window_->menuBar()->actions())
    if (menu->text() == "&View") in_view_menu = menu->menu()->actions().contains(frame);
  EXPECT_TRUE(in_view_menu);
  auto* page = window_->findChild<PageView*>("PageWindow");
  ASSERT_NE(page, nullptr);
  for (const int plane : {cmd::kPlaneXY, cmd::kPlaneXZ, cmd::kPlaneYZ, cmd::kView3D}) {
    window_->run_command(plane);
    doc_.view().display_flags = kShowPolys;
    doc_.view().grid_shown = 0;
    doc_.view().zoom = 0.02f;
    doc_.view().centre = {500, -300, 20};
    frame->trigger();
    const QImage& picture = page->picture();
    QRect drawn;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < page->client_size().width(); ++x)
        if ((picture.pixel(x, y) & 0xFFFFFF) != 0) drawn |= QRect(x, y, 1, 1);
    const QSize client = page->client_size();
    EXPECT_TRUE(drawn.width() >= client.width() * 0.6 || drawn.height() >= client.height() * 0.6)
        << plane << ": " << drawn.width() << "x" << drawn.height() << " of " << client.width() << "x"
        << client.height();
    EXPECT_TRUE(QRect(QPoint(0, 0), client).contains(drawn)) << plane;
  }
}

// The item pane shows its lines whole, with the counts in right-aligned
// columns, and its right edge can be dragged; the centre pane stays clear
// of the page, where the hover readout is written.
TEST_F(MainWindowTest, PanesShowTheirTextsWholeAndTheItemPaneCanBeWidened) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpenAll);
  auto* items = window_->findChild<ItemPane*>("ItemInfoWindow");
  auto* page = window_->findChild<PageView*>("PageWindow");
  auto* centre = window_->findChild<QWidget*>("CenterInfoWindow");
  ASSERT_TRUE(items && page && centre);
  QApplication::processEvents();
  EXPECT_GE(items->width(), items->content_width());
  const ItemPane::Columns c = items->columns();
  const QFontMetrics fm(items->font());
  for (const SubObject& so : doc_.current_model().subobjects)
    EXPECT_LE(c.name + fm.horizontalAdvance(qs(so.name.view())), c.vertices_end - fm.horizontalAdvance("0000"));
  EXPECT_LE(c.polys_end, items->contentsRect().right());
  EXPECT_GE(page->geometry().left(), items->geometry().right());

  // The hover readout's line, in the main window's coordinates, is clear
  // of the centre pane.
  const QRect readout(page->mapTo(window_.get(), page->contentsRect().topLeft() + QPoint(10, 10)),
                      QSize(page->fontMetrics().horizontalAdvance("(-1000.0000, -1000.0000, -1000.0000)   "),
                            page->fontMetrics().height()));
  EXPECT_FALSE(QRect(centre->mapTo(window_.get(), QPoint(0, 0)), centre->size()).intersects(readout));

  // Dragging the right edge 120 pixels to the right widens the pane and
  // moves the page along.
  const int width = items->width(), page_left = page->geometry().left();
  const QPointF edge(items->width() - 2, 40);
  QMouseEvent press(QEvent::MouseButtonPress, edge, items->mapToGlobal(edge), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(items, &press);
  const QPointF to = edge + QPointF(120, 0);
  QMouseEvent move(QEvent::MouseMove, to, items->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(items, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, to, items->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(items, &release);
  EXPECT_NEAR(items->width(), width + 120, 2);
  EXPECT_NEAR(page->geometry().left(), page_left + 120, 2);
}

TEST_F(MainWindowTest, OpensThroughTheDialogAndRendersTheSet) {
  chosen_ = dir_.file("tankm.3da");
  window_->action(cmd::kOpenAll)->trigger();
  EXPECT_EQ(doc_.slot(1).name.view(), "tankm");
  // The title and the level buttons name each level's file.
  EXPECT_EQ(window_->windowTitle(), qs("TanuORVO v1.05.02e - tankh (" + dir_.file("tankh.3da") + ")"));
  EXPECT_TRUE(window_->action(cmd::kRecent1)->text().endsWith("  (all)"));
  window_->action(cmd::kSlotM)->trigger();
  EXPECT_EQ(window_->windowTitle(), qs("TanuORVO v1.05.02e - tankm (" + dir_.file("tankm.3da") + ")"));
  EXPECT_EQ(control<QPushButton>(1037)->toolTip(), qs("T: " + dir_.file("tankt.3da")));

  control<QPushButton>(1041)->click();
  ASSERT_EQ(doc_.preview_mode, kPreviewCurrent) << (messages_.empty() ? "" : messages_.back());
  EXPECT_TRUE(control<QPushButton>(1047)->isVisible());
  EXPECT_FALSE(window_->action(cmd::kView3di)->isEnabled());
  control<QPushButton>(1040)->click();
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
  EXPECT_FALSE(control<QPushButton>(1047)->isVisible());

  chosen_.clear();  // a cancelled dialog changes nothing
  window_->action(cmd::kImport)->trigger();
  EXPECT_EQ(doc_.slot(1).name.view(), "tankm");
}

TEST_F(MainWindowTest, AsksBeforeExitOnlyWithASubObjectAndWritesTheSettings) {
  EXPECT_TRUE(window_->close());
  EXPECT_TRUE(questions_.empty());
  const std::string config = tools::test::slurp(doc_.paths.config_path);
  EXPECT_NE(config.find("PREVFILE  0 \"*\" 0\n"), std::string::npos);
  QSettings store("Brellwick", "ORVO");
  EXPECT_EQ(store.value("Settings/MyValue").toInt(), 45);

  window_->show();
  chosen_ = dir_.file("tankt.3da");
  window_->action(cmd::kOpen)->trigger();
  answer_ = false;
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(questions_, std::vector<std::string>{"Are you sure you wish to exit?"});
  answer_ = true;
  EXPECT_TRUE(window_->close());
}

// The 3DA text of a slot, as the undo steps must give it back.
std::string slot_text(const Model& m) {
  return metafile_write(m, 1.0f, tools::LocalTime{2026, 1, 2, 3, 4, 5}, "test");
}

TEST_F(MainWindowTest, UndoAndRedoGiveBackEachStepOfTheSlotByteForByte) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  Model& m = doc_.current_model();
  ASSERT_GE(m.num_materials, 2);
  EditHistory& h = window_->history();
  QAction* undo = window_->findChild<QAction*>("undo");
  QAction* redo = window_->findChild<QAction*>("redo");
  ASSERT_TRUE(undo && redo);
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(undo->shortcut(), QKeySequence("Ctrl+Z"));
  EXPECT_EQ(redo->shortcut(), QKeySequence("Ctrl+Shift+Z"));

  // A dialog's session: three steps, one of them changing nothing.
  std::vector<std::string> texts{slot_text(m)};
  h.begin(0);
  m.materials[0].render_attributes ^= 0x20;
  m.materials[1].mapfunc_u.style = 0x34;
  h.checkpoint("Apply");
  texts.push_back(slot_text(m));
  h.checkpoint("Apply");  // nothing new: no step
  m.part_anims[0].rotate_type = 2;
  m.ambient.start_red = 99;
  m.num_materials -= 1;
  h.end("Edit Materials");
  texts.push_back(slot_text(m));
  h.record(0, "General Information", [&] { m.threshold = 12.5f; });
  texts.push_back(slot_text(m));
  EXPECT_EQ(h.stack(0).count(), 3);
  EXPECT_EQ(undo->text(), "&Undo General Information");

  for (int i = 3; i > 0; --i) {
    undo->trigger();
    EXPECT_EQ(slot_text(m), texts[static_cast<std::size_t>(i - 1)]) << "undo to step " << i - 1;
  }
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(h.modified(0));  // back where it was read
  for (int i = 1; i <= 3; ++i) {
    redo->trigger();
    EXPECT_EQ(slot_text(m), texts[static_cast<std::size_t>(i)]) << "redo to step " << i;
  }
  // Each slot has its own stack: the M slot has nothing to undo.
  window_->run_command(cmd::kSlotM);
  EXPECT_FALSE(undo->isEnabled());
  window_->run_command(cmd::kSlotH);
  EXPECT_TRUE(undo->isEnabled());
}

TEST_F(MainWindowTest, UnsavedChangesAreMarkedAndAskedAboutBeforeTheyAreDiscarded) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  const std::string read = window_->windowTitle().toStdString();
  window_->history().record(0, "Edit Materials", [&] { doc_.slot(0).materials[0].transparency = 7; });
  EXPECT_EQ(window_->windowTitle().toStdString(), read + "  (unsaved: H)");

  // Open and Clear ask first; Cancel keeps the edit and its step.
  unsaved_answer_ = UnsavedAnswer::kCancel;
  questions_.clear();
  window_->run_command(cmd::kOpen);
  window_->run_command(cmd::kClear);
  ASSERT_EQ(questions_.size(), 2u);
  EXPECT_EQ(questions_[0], "Level H has unsaved changes.\nSave them first?");
  EXPECT_EQ(doc_.slot(0).materials[0].transparency, 7);
  EXPECT_TRUE(window_->history().modified(0));

  // Exit names the level in its one question; Cancel keeps the window.
  questions_.clear();
  EXPECT_FALSE(window_->close());
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0], "Level H has unsaved changes.\nSave them before exiting?");

  // Saving marks the level clean; reading it again drops its steps.
  chosen_ = dir_.file("saved.3da");
  window_->run_command(cmd::kSave);
  EXPECT_FALSE(window_->history().modified(0));
  EXPECT_EQ(window_->windowTitle(), qs("TanuORVO v1.05.02e - tankh (" + dir_.file("saved.3da") + ")"));
  questions_.clear();
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(window_->history().stack(0).count(), 0);
}

TEST_F(MainWindowTest, SaveInTheQuestionWritesTheLevelToItsFileFirst) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  window_->history().record(0, "Edit Materials", [&] { doc_.slot(0).materials[0].transparency = 77; });
  unsaved_answer_ = UnsavedAnswer::kSave;
  window_->run_command(cmd::kClear);
  EXPECT_TRUE(doc_.slot(0).subobjects.empty());
  Document check;
  ASSERT_TRUE(open_model(check, 0, dir_.file("tankh.3da"), files_));
  EXPECT_EQ(check.slot(0).materials[0].transparency, 77);

  // An imported scene is saved where the Save dialog says; cancelling that
  // dialog stops the command.
  chosen_ = dir_.file("tankh.ase");
  window_->run_command(cmd::kImport);
  window_->history().record(0, "Edit Materials", [&] { doc_.slot(0).materials[0].transparency = 5; });
  chosen_.clear();
  window_->run_command(cmd::kClear);
  EXPECT_FALSE(doc_.slot(0).subobjects.empty());
  chosen_ = dir_.file("imported.3da");
  window_->close();
  EXPECT_TRUE(std::filesystem::exists(dir_.file("imported.3da")));
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, AFailedOpenKeepsTheLevelItsStepsAndItsUnsavedMark) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  const std::size_t parts = doc_.slot(0).subobjects.size();
  window_->history().record(0, "Edit Materials", [&] { doc_.slot(0).materials[0].transparency = 7; });
  const QString title = window_->windowTitle();
  {
    std::ofstream cut(dir_.file("cuth.3da"));
    cut << "material\n  name \"wall\"\n";
  }
  for (int command : {cmd::kOpen, cmd::kOpenAll}) {
    messages_.clear();
    chosen_ = dir_.file("cuth.3da");
    window_->run_command(command);  // Discard: the read is tried, and fails
    ASSERT_FALSE(messages_.empty());
    EXPECT_NE(messages_.front().find(dir_.file("cuth.3da")), std::string::npos) << messages_.front();
    EXPECT_EQ(doc_.slot(0).subobjects.size(), parts);
    EXPECT_EQ(doc_.slot(0).materials[0].transparency, 7);
    EXPECT_TRUE(window_->history().modified(0));
    EXPECT_EQ(window_->history().stack(0).count(), 1);
    EXPECT_EQ(window_->windowTitle(), title);
  }
}

TEST_F(MainWindowTest, PresetAndSettingsFilesThatCannotBeReadAreNeverReplaced) {
  window_.reset();
  const std::string presets = doc_.paths.preset_path;
  const std::string utf16("\xFF\xFE;\0 \0f\0u\0n\0c\0", 14);
  std::ofstream(presets, std::ios::binary) << utf16;
  std::ofstream(doc_.paths.config_path, std::ios::binary) << std::string("SKY_RED\0 10\n", 12);
  const std::vector<std::string> problems = read_settings(doc_);
  window_ = std::make_unique<MainWindow>(doc_, files_, notifier_, preview_);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].starts_with("TanuOrvo.cfg cannot be read\n" + doc_.paths.config_path + ": ")) << problems[0];
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].starts_with("funcs.pre cannot be read\n" + presets + ": ")) << messages_[0];
  EXPECT_NE(messages_[0].find(presets + ".bad"), std::string::npos);

  // Both were moved aside whole; closing writes new ones beside them.
  window_->write_settings();
  EXPECT_EQ(tools::test::slurp(presets + ".bad"), utf16);
  EXPECT_EQ(tools::test::slurp(doc_.paths.config_path + ".bad"), std::string("SKY_RED\0 10\n", 12));
  EXPECT_TRUE(tools::test::slurp(presets).starts_with("; funcs.pre"));
  EXPECT_NE(tools::test::slurp(doc_.paths.config_path).find("PREVFILE"), std::string::npos);
}

TEST_F(MainWindowTest, ZeroIgnoreAlphaChecksItsPictureBeforeAskingWhereToWriteIt) {
  std::vector<FileDialog> asked;
  window_->choose_file = [&](const FileDialogRequest& r) -> std::optional<QString> {
    asked.push_back(r.kind);
    return qs(r.kind == FileDialog::kZeroAlphaIn ? dir_.file("tankh.3da") : dir_.file("mask.pcx"));
  };
  window_->run_command(cmd::kZeroIgnoreAlpha);  // a text file is no 8-bit PCX
  EXPECT_EQ(asked, std::vector<FileDialog>{FileDialog::kZeroAlphaIn});
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].starts_with("Error: unknown error!\n" + dir_.file("tankh.3da") + ": ") ||
              messages_[0].starts_with("Error: " + dir_.file("tankh.3da") + " is not 8bit!\n"))
      << messages_[0];
  EXPECT_FALSE(std::filesystem::exists(dir_.file("mask.pcx")));
}

TEST_F(MainWindowTest, TheImportDialogOffersEverySceneKindFirst) {
  QStringList filters;
  QTimer::singleShot(0, [&filters] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    dialog->reject();
  });
  EXPECT_FALSE(real_choose_file_(FileDialogRequest{FileDialog::kImportScene, qs(dir_.path().string()), {}}));
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_EQ(filters.front(), "Scenes (*.ase *.asc *.gltf *.glb *.fbx *.obj *.dae)");
  EXPECT_TRUE(filters.contains("Max 2 ASCII files (*.ase)"));
  EXPECT_TRUE(filters.contains("glTF 2.0 scenes (*.gltf *.glb)"));
  EXPECT_TRUE(filters.contains("FBX scenes (*.fbx)"));
}

TEST_F(MainWindowTest, EnterAnswersYesAndSaveInTheQuestionBoxes) {
  // The real boxes, answered by the key a person presses.
  std::vector<QString> defaults;
  auto press = [&](int key) {
    QTimer::singleShot(0, [&defaults, key] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      defaults.push_back(box->defaultButton() != nullptr ? box->defaultButton()->text() : QString());
      QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(box, &down);
    });
  };
  press(Qt::Key_Return);
  EXPECT_TRUE(real_ask_yes_no_("Save /m/tankh.3da?", "Save All"));
  press(Qt::Key_Return);
  EXPECT_EQ(real_ask_unsaved_("Level H has unsaved changes.\nSave them first?", "Open"), UnsavedAnswer::kSave);
  press(Qt::Key_Escape);
  EXPECT_EQ(real_ask_unsaved_("Level H has unsaved changes.\nSave them first?", "Open"), UnsavedAnswer::kCancel);
  ASSERT_EQ(defaults.size(), 3u);
  EXPECT_EQ(defaults[0].remove('&'), "Yes");
  EXPECT_EQ(defaults[1].remove('&'), "Save");
}

TEST_F(MainWindowTest, EachStepOfTheMaterialEditorUndoesToTheBytesBeforeIt) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpen);
  Model& m = doc_.current_model();
  const int materials = m.num_materials;
  std::vector<std::string> texts{slot_text(m)};
  auto click = [](QDialog& d, int id) { d.findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id))->click(); };
  auto type = [](QDialog& d, int id, const char* text) {
    d.findChild<QLineEdit*>(QStringLiteral("id%1").arg(id))->setText(text);
  };
  window_->run_dialog = [&](QDialog& d) {
    if (d.windowTitle() == "New Material(s)") {
      type(d, 4000, "wall");
      type(d, 4001, "2");
      click(d, 1);
    } else if (d.windowTitle() == "Edit Materials") {
      click(d, 2044);  // New: two materials
      texts.push_back(slot_text(m));
      type(d, 2007, "99");
      click(d, 2048);  // Apply
      texts.push_back(slot_text(m));
      click(d, 2045);  // Delete (the question answers Yes)
      texts.push_back(slot_text(m));
      type(d, 2007, "12");
      click(d, 1);  // the rest at closing
      texts.push_back(slot_text(m));
    }
    return d.result();
  };
  window_->run_command(cmd::kMaterials);
  EXPECT_EQ(m.num_materials, materials);  // two new, and the hull's two stages deleted
  const SlotHistory& stack = window_->history().stack(0);
  ASSERT_EQ(stack.count(), 4);
  const char* names[] = {"New Material(s)", "Apply", "Delete Material", "Edit Materials"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(stack.name(i), names[i]);
  for (int i = 4; i > 0; --i) {
    window_->history().undo(0);
    EXPECT_EQ(slot_text(m), texts[static_cast<std::size_t>(i - 1)]) << "undo of " << names[i - 1];
  }
  for (int i = 1; i <= 4; ++i) {
    window_->history().redo(0);
    EXPECT_EQ(slot_text(m), texts[static_cast<std::size_t>(i)]) << "redo of " << names[i - 1];
  }
}

// With the sample set loaded every command of the table is bound and on
// offer, and runs: no menu item, key or panel button is left without its
// action. Dialogs are closed as they open; file dialogs and questions are
// declined.
TEST_F(MainWindowTest, EveryCommandOfTheTableIsWiredAndRuns) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpenAll);
  chosen_.clear();
  answer_ = false;
  int dialogs = 0;
  window_->run_dialog = [&](QDialog&) {
    ++dialogs;
    return int(QDialog::Rejected);
  };
  // The swatch commands act on a swatch of the dialog on show.
  SwatchRegistry registry;
  GeneratorSwatch swatch;
  swatch.bind(&doc_.slot(0).materials[0].mapfunc_u);
  swatch.set_selected(true);
  registry.add(&swatch);
  registry.activate();
  registry.set_popup_target(&swatch);
  registry.copy_individual(&swatch);

  for (const CommandInfo& info : command_infos()) {
    if (info.id == cmd::kExit) continue;  // closes the window; its question is tested above
    registry.activate();                  // the editors the loop opens had their own
    ASSERT_TRUE(window_->commands().has(info.id)) << info.id;
    const bool recent = info.id >= cmd::kRecent1 && info.id <= cmd::kRecent1 + 3;
    if (!recent) {
      EXPECT_TRUE(window_->commands().enabled(info.id)) << info.id << " " << info.text;
    }
    window_->run_command(info.id);
    if (window_->preview().active()) window_->run_command(cmd::kWire);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d != nullptr && d->isVisible()) d->close();
  }
  EXPECT_GE(dialogs, 8);
}

// Every editor can be worked from the keyboard: each enabled control that
// takes the focus is on the dialog's tab chain, and each captioned button
// has a mnemonic.
TEST_F(MainWindowTest, EveryEditorCanBeWorkedFromTheKeyboard) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpenAll);
  std::vector<std::string> seen;
  window_->run_dialog = [&](QDialog& d) {
    seen.push_back(d.windowTitle().toStdString());
    d.show();
    QWidget* w = &d;
    std::set<QWidget*> chain;
    do {
      chain.insert(w);
      w = w->nextInFocusChain();
    } while (w != &d && chain.size() < 1000);
    for (QWidget* c : d.findChildren<QWidget*>()) {
      if (!c->isVisible() || !c->isEnabled() || (c->focusPolicy() & Qt::TabFocus) == 0) continue;
      if (c->focusProxy() != nullptr) continue;
      EXPECT_TRUE(chain.count(c)) << seen.back() << ": " << c->objectName().toStdString() << " off the tab chain";
      // OK and Cancel are Enter and Escape; a swatch's face is its summary.
      auto* b = qobject_cast<QAbstractButton*>(c);
      if (b != nullptr && qobject_cast<GeneratorSwatch*>(b) == nullptr && !b->text().isEmpty() &&
          qobject_cast<QDialogButtonBox*>(b->parentWidget()) == nullptr) {
        EXPECT_TRUE(b->text().contains('&'))
            << seen.back() << ": \"" << b->text().toStdString() << "\" has no mnemonic";
      }
    }
    // The material editor's own dialogs too.
    if (seen.back() == "Edit Materials")
      for (const char* id : {"id1099", "id1106", "id1108", "id2044"})
        if (auto* b = d.findChild<QAbstractButton*>(id)) b->click();
    return int(QDialog::Rejected);
  };
  for (int id : {cmd::kMaterials, cmd::kGeneralInfo, cmd::kLights, cmd::kPartAnimation, cmd::kItemInformation,
                 cmd::kViewPresets})
    window_->run_command(id);
  EXPECT_EQ(seen.size(), 10u);
}

// The general information (all four levels, the collision source at once)
// and the part animation are undone to the bytes of each level before them.
TEST_F(MainWindowTest, InformationAndPartAnimationEditsUndoPerLevel) {
  chosen_ = dir_.file("tankh.3da");
  window_->run_command(cmd::kOpenAll);
  std::array<std::string, kSlotCount> before;
  for (int i = 0; i < kSlotCount; ++i) before[static_cast<std::size_t>(i)] = slot_text(doc_.slot(i));
  window_->run_dialog = [&](QDialog& d) {
    auto find = [&d](int id) { return d.findChild<QWidget*>(QStringLiteral("id%1").arg(id)); };
    if (d.windowTitle() == "General Information") {
      qobject_cast<QComboBox*>(find(1181))->setCurrentIndex(3);  // "Tiny Res (t)", at once
      qobject_cast<QLineEdit*>(find(3800))->setText("12.5");
      qobject_cast<QAbstractButton*>(find(1))->click();
    } else if (d.windowTitle() == "Part Animation") {
      qobject_cast<QAbstractButton*>(find(1081))->setChecked(true);
      qobject_cast<QAbstractButton*>(find(1090))->click();  // "Rotate Part - Face Camera"
      qobject_cast<QAbstractButton*>(find(1))->click();
    }
    return d.result();
  };
  window_->run_command(cmd::kGeneralInfo);
  EXPECT_EQ(doc_.slot(0).threshold, 12.5f);
  EXPECT_EQ(doc_.slot(3).polycollision, 1);
  window_->run_command(cmd::kPartAnimation);
  EXPECT_EQ(doc_.slot(0).part_anims[0].rotate_type, 3);

  // H: the collision source, the threshold, the part animation; T: the
  // collision source.
  const SlotHistory& h = window_->history().stack(0);
  ASSERT_EQ(h.count(), 3);
  EXPECT_EQ(h.name(0), "Collision data uses");
  EXPECT_EQ(h.name(2), "Part Animation");
  ASSERT_EQ(window_->history().stack(3).count(), 1);
  EXPECT_EQ(window_->history().modified_slots(), (std::vector<int>{0, 3}));
  while (h.can_undo()) window_->history().undo(0);
  window_->history().undo(3);
  for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(slot_text(doc_.slot(i)), before[static_cast<std::size_t>(i)]) << i;
}

}  // namespace
}  // namespace orvo::gui
