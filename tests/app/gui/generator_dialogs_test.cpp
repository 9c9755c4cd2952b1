// The generator dialogs and swatches, driven through their controls' ids.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>

#include "dialog_controls.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/preset_dialogs.h"

namespace orvo::gui {
namespace {

void choose_style(QDialog& d, int id, int style) {
  auto* box = control<QComboBox>(d, id);
  box->setCurrentIndex(box->findData(style));
}

// Types `text` into the edit as the user would (the filling is not read).
void type(QDialog& d, int id, const QString& text) {
  auto* edit = control<QLineEdit>(d, id);
  edit->setText(text);
  emit edit->textEdited(text);
}

// A context whose run_dialog runs `drive` on the dialog and then clicks
// OK (`ok`) or Cancel.
EditorContext driven(RegisterNameList& regs, std::function<void(QDialog&)> drive, bool ok = true) {
  EditorContext c;
  c.registers = &regs;
  c.run_dialog = [drive, ok](QDialog& d) {
    drive(d);
    control<QPushButton>(d, ok ? 1 : 2)->click();
    return d.result();
  };
  return c;
}

TEST(ScalarGeneratorDialog, EnablingFollowsTheStyle) {
  struct Case {
    int style;
    bool start, end, rate, reg;
  };
  const Case cases[] = {{0, false, false, false, false},
                        {0x18, true, false, false, false},
                        {0x32, true, true, true, false},
                        {0x71, true, true, false, true}};
  for (const Case& c : cases) {
    RegisterNameList regs;
    ScalarGeneratorDialog d(nullptr, Generator{}, kSetOnlyStyleList, false, &regs);
    choose_style(d, 1093, c.style);
    EXPECT_EQ(control<QLineEdit>(d, 1094)->isEnabled(), c.start) << c.style;
    EXPECT_EQ(control<QLineEdit>(d, 1095)->isEnabled(), c.end) << c.style;
    EXPECT_EQ(control<QLineEdit>(d, 1096)->isEnabled(), c.rate) << c.style;
    EXPECT_EQ(control<QLineEdit>(d, 1097)->isEnabled(), c.rate) << c.style;
    EXPECT_EQ(control<QComboBox>(d, 1098)->isEnabled(), c.reg) << c.style;
    EXPECT_EQ(d.findChild<WaveGraph*>(QStringLiteral("id1110"))->style(), c.style);
  }
}

TEST(ScalarGeneratorDialog, OkWritesTheEditsBackAndCancelDoesNot) {
  for (bool ok : {true, false}) {
    RegisterNameList regs;
    Generator g = Generator::defaults();
    g.start = 3.7f;
    EditorContext c = driven(
        regs,
        [](QDialog& d) {
          EXPECT_EQ(control<QLineEdit>(d, 1094)->text(), "3");  // integer mode
          choose_style(d, 1093, 0x34);
          type(d, 1095, "12.5");
          type(d, 1096, "0.25");
        },
        ok);
    const bool accepted = edit_scalar_generator(nullptr, QPoint(10, 20), g, {true, false}, c);
    EXPECT_EQ(accepted, ok);
    EXPECT_EQ(g.style, ok ? 0x34 : 0);
    EXPECT_FLOAT_EQ(g.end, ok ? 12.5f : 1.0f);
    EXPECT_FLOAT_EQ(g.rate, ok ? 0.25f : 1.0f);
    EXPECT_FLOAT_EQ(g.start, 3.7f);  // untouched, so not read back as 3
  }
}

TEST(ScalarGeneratorDialog, RegisterNames) {
  RegisterNameList regs;
  regs.add("FLICKER");
  regs.add("SWING");
  // A register the list lacks is added at the end and selected.
  Generator g;
  g.style = 0x71;
  g.ctrlreg.assign("MY_REG");
  EditorContext c = driven(regs, [](QDialog& d) {
    auto* box = control<QComboBox>(d, 1098);
    EXPECT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentIndex(), 2);
    EXPECT_EQ(box->currentText(), "MY_REG");
    box->setEditText(QString(70, 'x'));
  });
  ASSERT_TRUE(edit_scalar_generator(nullptr, {}, g, {}, c));
  EXPECT_EQ(g.ctrlreg.str(), std::string(63, 'x'));  // typed, cut to 63
  EXPECT_EQ(regs.size(), 3u);
  EXPECT_EQ(regs.names()[2], std::string(63, 'x'));
}

TEST(ColourGeneratorDialog, SetButtonsTakeTheChosenColour) {
  RegisterNameList regs;
  ColorGenerator g = ColorGenerator::defaults();
  g.style = 0x41;
  EditorContext c = driven(regs, [](QDialog& d) {
    EXPECT_TRUE(control<QPushButton>(d, 1106)->isEnabled());
    control<QPushButton>(d, 1105)->click();
    EXPECT_EQ(control<QLineEdit>(d, 1103)->text(), "1,2,3");
    choose_style(d, 1101, 0x18);
    EXPECT_FALSE(control<QPushButton>(d, 1106)->isEnabled());
  });
  c.choose_colour = [](QWidget*, QColor) -> std::optional<QColor> { return QColor(1, 2, 3); };
  ASSERT_TRUE(edit_colour_generator(nullptr, {}, g, c));
  EXPECT_EQ(g.style, 0x18);
  EXPECT_EQ(g.start_red * 10000 + g.start_green * 100 + g.start_blue, 10203);
  EXPECT_EQ(g.end_red, 255);
}

// A press and release of `button` at the middle of `w`.
void click(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, mods);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton, mods);
  QApplication::sendEvent(w, &release);
}

TEST(GeneratorSwatch, CtrlClickTogglesSelectionWithoutClicking) {
  GeneratorSwatch s;
  s.resize(80, 30);
  int clicks = 0;
  QObject::connect(&s, &QPushButton::clicked, [&clicks] { ++clicks; });
  click(&s, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_TRUE(s.selected());
  click(&s, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_FALSE(s.selected());
  EXPECT_EQ(clicks, 0);
  click(&s, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST(SwatchRegistry, IndividualPasteOnlyBetweenLikeGenerators) {
  Generator a, b;
  ColorGenerator colour;
  a.style = 0x33;
  GeneratorSwatch sa, sb, sc;
  sa.bind(&a);
  sb.bind(&b);
  sc.bind(&colour);
  SwatchRegistry reg;
  reg.add(&sa), reg.add(&sb), reg.add(&sc);
  int pasted = 0;
  QObject::connect(&reg, &SwatchRegistry::pasted, [&pasted] { ++pasted; });
  reg.copy_individual(&sa);
  EXPECT_FALSE(reg.can_paste_individual(&sc));
  reg.paste_individual(&sc);
  EXPECT_EQ(colour.style, 0);
  std::unique_ptr<QMenu> menu(reg.make_menu(&sb, nullptr));
  EXPECT_EQ(menu->objectName(), "SelectionsMenu");
  const auto actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_TRUE(actions[1]->isEnabled());   // Paste Individual
  EXPECT_FALSE(actions[2]->isEnabled());  // nothing selected
  actions[1]->trigger();
  EXPECT_EQ(b.style, 0x33);
  EXPECT_EQ(pasted, 1);
}

TEST(SwatchRegistry, SelectionCarriesGeneratorsToAnotherItem) {
  Generator first[2], second[2];
  first[0].style = 0x31, first[1].style = 0x32;
  GeneratorSwatch s0, s1;
  SwatchRegistry reg;
  reg.add(&s0), reg.add(&s1);
  s0.bind(&first[0]), s1.bind(&first[1]);
  s1.set_selected(true);
  reg.copy_selection();
  s0.bind(&second[0]), s1.bind(&second[1]);  // the dialog shows the next item
  reg.paste_selection();
  EXPECT_EQ(second[0].style, 0);
  EXPECT_EQ(second[1].style, 0x32);
}

}  // namespace
}  // namespace orvo::gui

namespace orvo::gui {
namespace {

FunctionPresetList two_presets() {
  FunctionPresetList list;
  FunctionPreset a;
  a.name = "Pulse";
  a.usage = kPresetUsageAlpha;
  a.start = 3.7f;
  a.style = 0x32;
  list.add(a);
  FunctionPreset b;
  b.name = "Glow";
  list.add(b);
  return list;
}

TEST(PresetEditDialog, AlphaUsageShowsIntegersAndKeepsUntouchedValues) {
  FunctionPresetList list = two_presets();
  RegisterNameList regs;
  EditorContext c;
  c.registers = &regs;
  PresetEditDialog d(nullptr, list, 0, c);
  EXPECT_EQ(control<QLineEdit>(d, 1094)->text(), "3");
  EXPECT_EQ(control<QLineEdit>(d, 1202)->text(), "Pulse");
  control<QPushButton>(d, 1)->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_FLOAT_EQ(list[0].start, 3.7f);
}

TEST(PresetEditDialog, ANameAnotherPresetHasIsRefused) {
  FunctionPresetList list = two_presets();
  RegisterNameList regs;
  EditorContext c;
  c.registers = &regs;
  QString error, caption;
  c.show_error = [&](QWidget*, const QString& text, const QString& cap) { error = text, caption = cap; };
  PresetEditDialog d(nullptr, list, 1, c);
  d.show();
  control<QLineEdit>(d, 1202)->setText("PULSE");
  control<QPushButton>(d, 1)->click();
  EXPECT_TRUE(d.isVisible());  // stays open
  EXPECT_EQ(error, "The name you have picked already exists!\r\nPlease choose a unique name");
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(list[1].name, "Glow");
}

TEST(PresetListDialog, NewThenCancelKeepsThePresetAndDeleteAsksFirst) {
  FunctionPresetList list = two_presets();
  RegisterNameList regs;
  int asked = 0;
  EditorContext c;
  c.registers = &regs;
  c.ask_yes_no_cancel = [&](QWidget*, const QString&, const QString& caption) {
    EXPECT_EQ(caption, "Are you crazy?");
    return ++asked == 1 ? int(QMessageBox::No) : int(QMessageBox::Yes);
  };
  c.run_dialog = [](QDialog& d) {
    auto* lines = control<QListWidget>(d, 1199);
    EXPECT_EQ(lines->item(0)->text(), "Pulse\t[]\t");
    EXPECT_FALSE(control<QPushButton>(d, 1201)->isEnabled());
    control<QPushButton>(d, 1200)->click();
    lines->setCurrentRow(0);
    EXPECT_TRUE(control<QPushButton>(d, 1201)->isEnabled());
    control<QPushButton>(d, 1201)->click();  // No
    lines->setCurrentRow(0);
    control<QPushButton>(d, 1201)->click();  // Yes
    control<QPushButton>(d, 2)->click();
    return d.result();
  };
  run_preset_list(nullptr, list, "anna", c);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "Glow");
  EXPECT_EQ(list[1].name, "<Unnamed>");
  EXPECT_EQ(list[1].creator, "anna");
  EXPECT_EQ(list[1].comment, "Put your description here");
}

}  // namespace
}  // namespace orvo::gui
