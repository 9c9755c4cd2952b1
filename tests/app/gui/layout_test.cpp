// Texts that fit the dialogs and the page: generator swatch faces, the Part
// Animation dialog that keeps its layout from one sub-object to the next,
// the texture summary that never widens Edit Materials, the title of
// "Advanced Material Properties", typed colours of the colour generator and
// point labels that do not cover each other.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <functional>

#include "dialog_controls.h"
#include "orvo/app/generator_texts.h"
#include "orvo/gui/generator_dialogs.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/gui/info_dialogs.h"
#include "orvo/gui/material_dialog.h"
#include "orvo/gui/page_drawing.h"
#include "orvo/model/generators.h"

namespace orvo::gui {
namespace {

// A context whose run_dialog shows the dialog, runs `drive` on it and then
// clicks OK.
EditorContext shown(std::function<void(QDialog&)> drive) {
  EditorContext c;
  c.run_dialog = [drive](QDialog& d) {
    d.show();
    QApplication::processEvents();
    drive(d);
    control<QPushButton>(d, 1)->click();
    return d.result();
  };
  return c;
}

// A swatch's text: the summary with its "\r\n" line breaks.
QString face(const Generator& g) {
  return QString::fromStdString(scalar_summary(g, false, false));
}

Generator wave(int style, float start, float end) {
  Generator g;
  g.style = style;
  g.start = start;
  g.end = end;
  g.rate = 12.5f;
  g.phase = 0.25f;
  return g;
}

TEST(GeneratorSwatch, FaceLinesFitAndTheWholeSummaryIsTheTooltip) {
  GeneratorSwatch swatch;
  Generator g = wave(0x34, -1000.0f, 25000.0f);
  swatch.bind(&g);
  swatch.setText(face(g));
  const QSize hint = swatch.sizeHint();
  swatch.resize(120, 52);
  swatch.show();
  swatch.grab();  // paints it
  const QFontMetrics fm(swatch.font());
  const QStringList lines = swatch.face_lines();
  ASSERT_FALSE(lines.isEmpty());
  for (const QString& line : lines) EXPECT_LE(fm.horizontalAdvance(line), swatch.face_width()) << line.toStdString();
  EXPECT_EQ(lines.front(), face(g).split("\r\n").front());
  EXPECT_EQ(swatch.toolTip(), face(g).replace("\r\n", "\n"));

  // Another generator's text leaves the size hint as it was; a face that
  // fits has no tooltip.
  swatch.setText("None");
  EXPECT_EQ(swatch.sizeHint(), hint);
  swatch.grab();
  EXPECT_EQ(swatch.face_lines(), QStringList{"None"});
  EXPECT_TRUE(swatch.toolTip().isEmpty());
}

TEST(PartAnimation, KeepsItsLayoutFromOneSubObjectToTheNext) {
  Model m;
  model_reset(m);
  m.name = "tankh";
  m.part_anim_enable = 1;
  for (const char* name : {"01 Hull", "02 Turret", "03 Gun with a long name"}) {
    SubObject so;
    so.name = name;
    m.subobjects.push_back(so);
  }
  m.part_anims[1].rotate_type = 2;
  m.part_anims[1].yaw_func = wave(0x34, -36000.0f, 36000.0f);
  m.part_anims[2].scale_type = 2;
  m.part_anims[2].scalex_func = wave(0x61, -1234.5f, 98765.25f);
  EditorContext c = shown([](QDialog& d) {
    auto* list = control<QListWidget>(d, 1082);
    const QRect list_at = list->geometry();
    const QRect yaw_at = control<QWidget>(d, 1111)->geometry();
    const QRect x_at = control<QWidget>(d, 1149)->geometry();
    for (int row : {1, 2, 0, 2}) {
      list->setCurrentRow(row);
      QApplication::processEvents();
      EXPECT_EQ(list->geometry(), list_at) << row;
      EXPECT_EQ(control<QWidget>(d, 1111)->geometry(), yaw_at) << row;
      EXPECT_EQ(control<QWidget>(d, 1149)->geometry(), x_at) << row;
      EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << row;
    }
  });
  run_part_animation(nullptr, m, c);
}

TEST(MaterialDialog, TextureSummaryNeverMovesTheRightColumn) {
  Model m;
  model_reset(m);
  m.num_materials = 2;
  m.materials[0].name = "solid";
  m.materials[0].color_type = 1;
  m.materials[1].name = "missing.pcx";
  m.materials[1].color_type = 2;
  m.materials[1].green_texture = "missing.pcx";
  EditorContext c = shown([](QDialog& d) {
    auto* list = control<QListWidget>(d, 2000);
    const QRect u_at = control<QWidget>(d, 1099)->geometry();
    const QRect text_at = control<QWidget>(d, 2006)->geometry();
    list->setCurrentRow(1);
    QApplication::processEvents();
    auto* text = control<QLabel>(d, 2006);
    EXPECT_TRUE(text->toolTip().startsWith("Error: unable to load ")) << text->toolTip().toStdString();
    EXPECT_EQ(control<QWidget>(d, 1099)->geometry(), u_at);
    EXPECT_EQ(text->geometry(), text_at);
  });
  c.texture_folder = "/a/texture/folder/that/is/deep/below/the/artist's/project/tree/and/named/at/length/textures";
  int selected = 0;
  run_material_editor(nullptr, m, selected, c);
}

TEST(MaterialDialog, AdvancedPropertiesIsWideEnoughForItsTitle) {
  EditorContext c;
  AdvancedMaterialDialog d(ModelMaterial{}, false, c);
  d.adjustSize();
  QFont bold = d.font();
  bold.setBold(true);
  EXPECT_EQ(d.windowTitle(), "Advanced Material Properties");
  EXPECT_GE(d.width(), QFontMetrics(bold).horizontalAdvance(d.windowTitle()) + 100);
}

TEST(ColourGeneratorDialog, StartAndEndTakeTypedColours) {
  ColorGenerator g;
  g.style = 0x41;
  EditorContext c;
  c.run_dialog = [](QDialog& d) {
    for (int id : {1103, 1104}) EXPECT_FALSE(control<QLineEdit>(d, id)->isReadOnly()) << id;
    const auto type = [&d](int id, const QString& text) {
      auto* edit = control<QLineEdit>(d, id);
      edit->setText(text);
      emit edit->textEdited(text);
    };
    type(1103, "12,34,56");
    type(1104, "300, 0 7");
    type(1104, "255,0");  // not yet a colour: the last one stays
    EXPECT_EQ(control<ColourSetButton>(d, 1105)->colour(), QColor(12, 34, 56));
    control<QPushButton>(d, 1)->click();
    return d.result();
  };
  ASSERT_TRUE(edit_colour_generator(nullptr, QPoint(), g, c));
  EXPECT_EQ(std::make_tuple(g.start_red, g.start_green, g.start_blue), std::make_tuple(12, 34, 56));
  EXPECT_EQ(std::make_tuple(g.end_red, g.end_green, g.end_blue), std::make_tuple(255, 0, 7));
}

// Attachment points at one place: with Text on, their names stand one
// below the other instead of on top of each other.
TEST(PageDrawing, LabelsOfPointsAtOnePlaceDoNotCoverEachOther) {
  Model m;
  for (const char* name : {"~01 LeftMount", "~02 RightMount", "~03 TopMount"}) {
    AttachPoint a;
    a.name = name;
    m.attach.push_back(a);
  }
  ViewState v;
  v.grid_shown = 0;
  v.display_flags = kShowAttachmentPoints | kShowText;
  QImage image(800, 600, QImage::Format_RGB32);
  {
    QPainter p(&image);
    draw_page(p, m, v, 800, 600, false);
  }
  int top = 600, bottom = -1;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 400; ++x) {
      const QRgb c = image.pixel(x, y);
      if (qRed(c) > 160 && qGreen(c) > 160 && qBlue(c) < 80) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  const int line = QFontMetrics(QApplication::font()).height();
  EXPECT_GE(bottom - top, 2 * line) << top << ".." << bottom;
}

}  // namespace
}  // namespace orvo::gui
