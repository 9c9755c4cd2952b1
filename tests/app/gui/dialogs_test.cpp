// The model tool's small dialogs and notifier windows, driven through their
// controls' object names.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <clocale>
#include <map>
#include <string>
#include <vector>

#include "dialog_controls.h"
#include "orvo/gui/centre_dialog.h"
#include "orvo/gui/layer_dialog.h"
#include "orvo/gui/notifier_windows.h"
#include "orvo/gui/options_dialog.h"
#include "orvo/gui/register_test_dialogs.h"
#include "orvo/gui/render_values_dialog.h"
#include "orvo/model/generators.h"

namespace orvo::gui {
namespace {

QString text_of(QWidget& dialog, int id) {
  return control<QLineEdit>(dialog, id)->text();
}
void type(QWidget& dialog, int id, const QString& text) {
  control<QLineEdit>(dialog, id)->setText(text);
}

// Runs the event loop until `done` holds or `ms` have passed.
template <typename F>
bool wait_for(F done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(RenderValuesDialog, FillsEditsAndReadsThemAsAtoiOnOk) {
  RenderSettings s;
  s.sky_green = 77;
  s.d2_enable = 1;
  s.environment_map = "cube.dds";
  RenderValuesDialog dialog(s);
  EXPECT_EQ(dialog.windowTitle(), "Render Values");
  EXPECT_EQ(text_of(dialog, 3904), "77");
  EXPECT_EQ(text_of(dialog, 3906), "255");
  EXPECT_EQ(text_of(dialog, 1197), "cube.dds");
  EXPECT_FALSE(control<QCheckBox>(dialog, 1041)->isChecked());
  EXPECT_TRUE(control<QCheckBox>(dialog, 1042)->isChecked());
  EXPECT_EQ(control<QCheckBox>(dialog, 1042)->text(), "Directional RGB 1");

  const struct {
    int id;
    const char* text;
    int RenderSettings::*field;
    int expected;
  } cases[] = {
      {3900, "12abc", &RenderSettings::background_red, 12},
      {3901, "x", &RenderSettings::background_green, 0},
      {3902, "  -7", &RenderSettings::background_blue, -7},
      {3905, "300", &RenderSettings::sky_blue, 300},
      {3914, "123456789012345678", &RenderSettings::ground_blue, 2147483647},
      {3911, "", &RenderSettings::d2_blue, 0},
  };
  for (const auto& c : cases) type(dialog, c.id, c.text);
  control<QCheckBox>(dialog, 1041)->setChecked(true);
  control<QCheckBox>(dialog, 1042)->setChecked(false);
  control<QCheckBox>(dialog, 1172)->setChecked(true);
  type(dialog, 1197, "maps/sky.dds");
  control<QPushButton>(dialog, 1)->click();

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  for (const auto& c : cases) EXPECT_EQ(s.*c.field, c.expected) << c.text;
  EXPECT_EQ(s.sky_green, 77);
  EXPECT_EQ(s.d1_enable, 1);
  EXPECT_EQ(s.d2_enable, 0);
  EXPECT_EQ(s.fog_enable, 1);
  EXPECT_EQ(s.environment_map, "maps/sky.dds");
}

TEST(RenderValuesDialog, CancelReadsNothingButKeepsSwatchColours) {
  const struct {
    int swatch;
    std::array<int, 3> edits;
    std::array<int RenderSettings::*, 3> fields;
  } groups[] = {
      {1181,
       {3900, 3901, 3902},
       {&RenderSettings::background_red, &RenderSettings::background_green, &RenderSettings::background_blue}},
      {1092, {3903, 3904, 3905}, {&RenderSettings::sky_red, &RenderSettings::sky_green, &RenderSettings::sky_blue}},
      {1095,
       {3912, 3913, 3914},
       {&RenderSettings::ground_red, &RenderSettings::ground_green, &RenderSettings::ground_blue}},
      {1093, {3906, 3907, 3908}, {&RenderSettings::d1_red, &RenderSettings::d1_green, &RenderSettings::d1_blue}},
      {1094, {3909, 3910, 3911}, {&RenderSettings::d2_red, &RenderSettings::d2_green, &RenderSettings::d2_blue}},
  };
  for (const auto& g : groups) {
    RenderSettings s;
    s.*g.fields[0] = 400;  // shown clamped to the chooser
    RenderSettings expected = s;
    const QColor start(255, s.*g.fields[1], s.*g.fields[2]);
    RenderValuesDialog dialog(s);
    QColor started;
    dialog.choose_colour = [&](QColor from) -> std::optional<QColor> {
      started = from;
      return QColor(1, 2, 3);
    };
    type(dialog, 3913, "99");  // an edit typed but never read
    control<QAbstractButton>(dialog, g.swatch)->click();
    EXPECT_EQ(started, start) << g.swatch;
    for (int c = 0; c < 3; ++c) {
      expected.*g.fields[c] = c + 1;
      EXPECT_EQ(text_of(dialog, g.edits[c]), QString::number(c + 1));
    }
    EXPECT_EQ(s, expected) << "stored at once, swatch " << g.swatch;
    dialog.choose_colour = [](QColor) { return std::optional<QColor>(); };
    control<QAbstractButton>(dialog, g.swatch)->click();  // chooser cancelled
    control<QPushButton>(dialog, 2)->click();
    EXPECT_EQ(s, expected) << g.swatch;
  }
}

TEST(RenderValuesDialog, BrowseButtonPutsTheChosenFileIntoTheEdit) {
  RenderSettings s;
  RenderValuesDialog dialog(s);
  dialog.choose_file = [] { return std::optional<QString>("/maps/env.dds"); };
  control<QPushButton>(dialog, 1198)->click();
  EXPECT_EQ(text_of(dialog, 1197), "/maps/env.dds");
  dialog.choose_file = [] { return std::optional<QString>(); };
  control<QPushButton>(dialog, 1198)->click();
  EXPECT_EQ(text_of(dialog, 1197), "/maps/env.dds");
}

TEST(OptionsDialog, OkStoresBothFoldersAndCancelNothing) {
  for (const bool ok : {true, false}) {
    FolderSettings f{"exp", "tex"};
    OptionsDialog dialog(f);
    EXPECT_EQ(dialog.windowTitle(), "ORVO Options");
    EXPECT_EQ(text_of(dialog, 1195), "tex");
    EXPECT_EQ(text_of(dialog, 1197), "exp");
    std::optional<QString> answer = "/chosen";
    dialog.choose_folder = [&](const QString&) { return answer; };
    QStringList warnings;
    dialog.warn = [&](const QString& text) { warnings << text; };
    control<QPushButton>(dialog, 1196)->click();
    answer.reset();
    control<QPushButton>(dialog, 1198)->click();  // a cancelled browser
    EXPECT_EQ(text_of(dialog, 1195), "/chosen");
    EXPECT_EQ(text_of(dialog, 1197), "exp");
    type(dialog, 1197, "/out");
    control<QPushButton>(dialog, ok ? 1 : 2)->click();
    const FolderSettings expected = ok ? FolderSettings{"/out", "/chosen"} : FolderSettings{"exp", "tex"};
    EXPECT_EQ(f, expected);
    // Neither is a folder here: one warning names both (none on Cancel).
    ASSERT_EQ(warnings.size(), ok ? 1 : 0);
    if (ok) {
      EXPECT_TRUE(warnings[0].startsWith("The texture folder /chosen does not exist")) << warnings[0].toStdString();
      EXPECT_TRUE(warnings[0].contains("\nThe export folder /out ")) << warnings[0].toStdString();
    }
  }
}

TEST(CentreDialog, WritesAndReadsPointNumbersWhateverTheLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale";
  QLocale::setDefault(QLocale(QLocale::German));
  std::array<float, 3> centre{1.5f, -2.25f, 0.0f};
  {
    CentreDialog dialog(centre);
    EXPECT_EQ(dialog.windowTitle(), "Center");
    EXPECT_EQ(text_of(dialog, 2900), "1.500000");
    EXPECT_EQ(text_of(dialog, 2901), "-2.250000");
    EXPECT_EQ(text_of(dialog, 2902), "0.000000");
    type(dialog, 2900, "3.75xyz");
    type(dialog, 2901, "abc");
    type(dialog, 2902, "1e2");
    control<QPushButton>(dialog, 2)->click();
    EXPECT_EQ(centre, (std::array<float, 3>{1.5f, -2.25f, 0.0f}));
    control<QPushButton>(dialog, 1)->click();
  }
  QLocale::setDefault(QLocale::c());
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(centre, (std::array<float, 3>{3.75f, 0.0f, 100.0f}));
}

TEST(LayerDialog, ShowsTheFirstEightyItemsAndSetsFlagsAtOnce) {
  Document doc;
  Model& model = doc.current_model();
  model.subobjects.resize(95);
  for (int i = 0; i < 95; ++i) model.subobjects[static_cast<std::size_t>(i)].name = "part" + std::to_string(i);
  doc.view().layer_visible[3] = 0;
  doc.view().layer_visible[90] = 0;
  int notified = 0;
  doc.observe([&](uint32_t changes) { notified += (changes & kChangedView) != 0; });

  LayerDialog dialog(doc);
  EXPECT_EQ(dialog.windowTitle(), "Layer Visibility");
  for (int i = 0; i < kLayerBoxes; ++i) {
    QCheckBox* box = control<QCheckBox>(dialog, 2100 + i);
    EXPECT_EQ(box->text(), QString("part%1").arg(i));
    EXPECT_EQ(box->isChecked(), i != 3) << i;
  }
  control<QCheckBox>(dialog, 2105)->click();
  EXPECT_EQ(doc.view().layer_visible[5], 0);
  EXPECT_EQ(notified, 1);
  dialog.findChild<QPushButton*>("hide_all")->click();
  EXPECT_EQ(notified, 2);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(doc.view().layer_visible[static_cast<std::size_t>(i)], 0) << i;
  EXPECT_EQ(doc.view().layer_visible[100], 1) << "other banks stay";
  dialog.findChild<QPushButton*>("show_all")->click();
  control<QCheckBox>(dialog, 2110)->setChecked(false);  // not read until OK
  EXPECT_EQ(doc.view().layer_visible[10], 1);
  control<QPushButton>(dialog, 1)->click();
  EXPECT_EQ(doc.view().layer_visible[10], 0);
  EXPECT_EQ(doc.view().layer_visible[90], 1);
}

TEST(LayerDialog, LabelsBoundingObjectsAndDisablesBoxesBeyondTheBank) {
  Document doc;
  doc.view().layer_by = kLayerByBounding;
  doc.current_model().bobj.resize(2);
  doc.current_model().bobj[0].name = "CB01";
  doc.current_model().bobj[1].name = "BS02";
  doc.current_model().bobj[1].flags = 1;
  doc.view().layer_visible[200 + 5] = 1;
  LayerDialog dialog(doc);
  const struct {
    int index;
    const char* label;
    bool enabled;
  } cases[] = {{0, "CB01", true}, {1, "!BS02", true}, {2, "2", false}, {5, "5", false}, {79, "79", false}};
  for (const auto& c : cases) {
    QCheckBox* box = control<QCheckBox>(dialog, 2100 + c.index);
    EXPECT_EQ(box->text(), c.label);
    EXPECT_EQ(box->isEnabled(), c.enabled);
    if (!c.enabled) {
      EXPECT_FALSE(box->isChecked()) << c.index;
    }
  }
}

TEST(LogWindow, ClosesAfterTheDelayUnlessAnErrorWasMarked) {
  for (const bool error : {false, true}) {
    LogWindow window;
    window.show();
    for (int i = 0; i < 3; ++i) window.append_line(QString("line %1").arg(i));
    QListWidget* list = window.findChild<QListWidget*>("log_list");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 3);
    QElapsedTimer clock;
    clock.start();
    window.finish(error);
    const bool closed = wait_for([&] { return !window.isVisible(); }, 800);
    EXPECT_EQ(closed, !error);
    if (!error) {
      EXPECT_GE(clock.elapsed(), 200 + 3 * 10 - 5);
    }
  }
}

TEST(GuiNotifier, RoutesMessagesStatusAndLogLines) {
  GuiNotifier notifier;
  std::vector<std::pair<QString, QString>> shown;
  notifier.show_message = [&](const QString& text, const QString& caption) { shown.emplace_back(text, caption); };
  notifier.message("Unable to open file", "");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], std::make_pair(QString("Unable to open file"), QString()));

  notifier.status("Loading binary model temprend.3di");
  EXPECT_TRUE(notifier.status_window()->isVisible());
  EXPECT_EQ(notifier.status_window()->windowTitle(), "Status");
  EXPECT_EQ(notifier.status_window()->findChild<QLabel*>("id3700")->text(), "Loading binary model temprend.3di");
  notifier.close_status();
  EXPECT_FALSE(notifier.status_window()->isVisible());

  const struct {
    std::vector<std::string> lines;
    bool error;
  } runs[] = {{{"Parsing MAX file", "Done"}, false},
              {{"Converting to internal format...", "ERROR! Bad collision box: CBxx", "Done"}, true},
              {{"error: lower case is not an error line"}, false}};
  for (const auto& run : runs) {
    notifier.begin_log();
    for (const std::string& line : run.lines) notifier.log(line);
    EXPECT_TRUE(notifier.log_window()->isVisible());
    EXPECT_EQ(notifier.log_window()->line_count(), static_cast<int>(run.lines.size()));
    EXPECT_EQ(notifier.end_log(), run.error);
  }
}

TEST(RegisterTestDialogs, SlidersWriteTheirRowsRegistersAndTheDestroyTimerItsStages) {
  std::map<int, int32_t> written;
  const RegisterWriter write = [&](int index, int32_t value) { written[index] = value; };
  RegisterNameList names;
  names.add("MY_DOOR");
  RegisterTestDialog registers(names, write);
  auto* row = control<QComboBox>(registers, 1193);
  EXPECT_EQ(row->count(), 60);  // the typed name, then the standard names
  row->setCurrentIndex(row->findText("DOOR_03"));
  control<QSlider>(registers, 1194)->setValue(256);
  EXPECT_EQ(written,
            (std::map<int, int32_t>{{ctrlreg_lookup("DOOR_03"), 65536}}));  // rows without a name write nothing
  control<QSlider>(registers, 1194)->setValue(64);
  EXPECT_EQ(written[ctrlreg_lookup("DOOR_03")], 16384);

  written.clear();
  DestroyTestDialog destroy(write);
  auto* play = control<QPushButton>(destroy, 1190);
  EXPECT_EQ(play->text(), "&Play");
  EXPECT_EQ(text_of(destroy, 1189), "3.50");
  play->click();
  EXPECT_EQ(play->text(), "&Pause");
  for (int i = 0; i < 25; ++i) destroy.tick();  // 1.25 s
  EXPECT_EQ(text_of(destroy, 1188), "1.25");
  EXPECT_EQ(written[ctrlreg_lookup("OBJECT_DESTROY02")], 49152);
  EXPECT_EQ(written[ctrlreg_lookup("OBJECT_DESTROY")], 27306);
  type(destroy, 1186, "1");  // spacing 1 s: a 6 s cycle
  control<QLineEdit>(destroy, 1186)->textEdited("1");
  EXPECT_EQ(text_of(destroy, 1189), "6.00");
  EXPECT_EQ(control<QSlider>(destroy, 1187)->maximum(), 600);
}

}  // namespace
}  // namespace orvo::gui
