// "Edit Materials" driven through its controls' ids: Cancel keeps what is
// still only in the controls, the check boxes' bits, the alpha test value,
// two-stage materials, New and Delete, and edits surviving the 3DA files.
#include "orvo/gui/material_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <map>

#include "dialog_controls.h"
#include "orvo/gui/named_value_combo.h"
#include "orvo/model/metafile.h"

namespace orvo::gui {
namespace {

void type(QDialog& d, int id, const QString& text) {
  control<QLineEdit>(d, id)->setText(text);
}
void click(QDialog& d, int id) {
  control<QPushButton>(d, id)->click();
}

// Materials a, b + c (a two-stage material), each face on one of them.
std::unique_ptr<Model> three_materials() {
  auto m = std::make_unique<Model>();
  const char* names[] = {"a.pcx", "b.pcx", "c.pcx"};
  for (int i = 0; i < 3; ++i) {
    ModelMaterial& r = m->materials[static_cast<std::size_t>(i)];
    r.name = names[i];
    r.description = names[i];
    r.green_texture = names[i];
    r.color_type = 1;
    r.blending_mode = 1;
  }
  m->materials[1].multitexture_flags = kMultiTextureOrdinary;
  m->materials[2].multitexture_flags = kMultiTextureSecondLayer;
  m->num_materials = 3;
  m->subobjects.resize(1);
  for (int i = 0; i < 3; ++i) m->subobjects[0].faces.push_back(Face{.material = i});
  return m;
}

// Runs the editor on `model`: `drive` works "Edit Materials", `nested`
// any dialog it opens; then OK (or Cancel).
struct EditorRun {
  RegisterNameList registers;
  NewMaterialSettings settings;
  std::vector<QString> checkpoints;
  std::vector<QString> questions;
  bool answer = true;
  EditorContext context;

  int operator()(Model& model, int selected, std::function<void(QDialog&)> drive,
                 std::function<void(QDialog&)> nested = {}, bool ok = true) {
    context.registers = &registers;
    context.new_materials = &settings;
    context.checkpoint = [this](const QString& name) { checkpoints.push_back(name); };
    context.ask_yes_no = [this](QWidget*, const QString& text, const QString& caption) {
      questions.push_back(caption + ": " + text);
      return answer;
    };
    context.run_dialog = [drive, nested, ok](QDialog& d) {
      if (d.windowTitle() != QStringLiteral("Edit Materials")) {
        if (nested) nested(d);
        return d.result();
      }
      drive(d);
      control<QPushButton>(d, ok ? 1 : 2)->click();
      return d.result();
    };
    return run_material_editor(nullptr, model, selected, context);
  }
};

TEST(MaterialDialog, CancelKeepsWhatIsOnlyInTheControls) {
  auto model = three_materials();
  EditorRun run;
  EXPECT_EQ(run(
                *model, 0,
                [](QDialog& d) {
                  type(d, 2007, "77");
                  type(d, 2046, "5");
                  type(d, 2002, "a_very_long_texture_name.pcx");
                },
                {}, false),
            1);
  EXPECT_EQ(model->materials[0].color_green[0], 77);
  EXPECT_EQ(model->materials[0].anim_frames, 5);
  EXPECT_EQ(model->materials[0].green_texture.str(), "a_very_long_tex");
  EXPECT_EQ(run.checkpoints.back(), "Edit Materials");
}

TEST(MaterialDialog, ApplyWritesTheBitOfEachCheckBox) {
  struct Case {
    int id;
    bool physical;
    int bit;
    bool set_when_unchecked;
  };
  const Case cases[] = {
      {2011, false, 0x1, false},      {2024, false, 0x20, false},     {2016, false, 0x400, false},
      {1004, false, 0x800, false},    {2061, false, 0x10000, true},   {1168, false, 0x100000, false},
      {1171, false, 0x400000, false}, {1170, false, 0x800000, false}, {2055, true, 0x100, false},
      {2056, true, 0x2000, false},    {2062, true, 0x1000, false},
  };
  for (const Case& c : cases) {
    for (bool on : {true, false}) {
      SCOPED_TRACE(testing::Message() << "id" << c.id << (on ? " on" : " off"));
      auto model = three_materials();
      int32_t applied = 0;
      EditorRun run;
      run(*model, 0, [&](QDialog& d) {
        control<QCheckBox>(d, c.id)->setChecked(on);
        click(d, 2048);
        const ModelMaterial& m = model->materials[0];
        applied = c.physical ? m.physical_attributes : m.render_attributes;
      });
      EXPECT_EQ((applied & c.bit) != 0, on != c.set_when_unchecked);
      EXPECT_EQ(run.checkpoints.front(), "Apply");
    }
  }
}

TEST(MaterialDialog, AlphaTestValueShowsOnlyWhileCheckedAndIsCutTo255) {
  auto model = three_materials();
  model->materials[0].alpha_test = 40;
  EditorRun run;
  run(*model, 0, [&](QDialog& d) {
    auto* value = control<QLineEdit>(d, 2023);
    EXPECT_TRUE(value->text().isEmpty());
    EXPECT_FALSE(value->isEnabled());
    EXPECT_FALSE(control<QWidget>(d, 1020)->isEnabled());
    control<QCheckBox>(d, 2016)->setChecked(true);
    EXPECT_TRUE(value->isEnabled());
    EXPECT_EQ(value->text(), "40");
    type(d, 2023, "300");
    control<QCheckBox>(d, 1020)->setChecked(true);
  });
  EXPECT_EQ(model->materials[0].alpha_test, 255);
  EXPECT_EQ(model->materials[0].render_attributes & 0x1400, 0x1400);
}

TEST(MaterialDialog, StageTwoControlsEditTheNextRecordOfTwoStageMaterials) {
  auto model = three_materials();
  EditorRun run;
  run(*model, 2, [&](QDialog& d) {
    // The second stage's line shows its first stage.
    EXPECT_EQ(control<QLineEdit>(d, 2002)->text(), "b.pcx");
    EXPECT_EQ(control<QLineEdit>(d, 2010)->text(), "c.pcx");
    EXPECT_TRUE(control<QWidget>(d, 2010)->isEnabled());
    EXPECT_FALSE(control<QWidget>(d, 2007)->isEnabled());  // solids: first stage only
    EXPECT_FALSE(control<QWidget>(d, 1106)->isEnabled());
    type(d, 2010, "detail.pcx");
    control<QCheckBox>(d, 1005)->setChecked(true);
    control<QListWidget>(d, 2000)->setCurrentRow(0);
    EXPECT_FALSE(control<QWidget>(d, 2010)->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(d, 2010)->text().isEmpty());
    EXPECT_TRUE(control<QWidget>(d, 2007)->isEnabled());
  });
  EXPECT_EQ(model->materials[2].green_texture.str(), "detail.pcx");
  EXPECT_NE(model->materials[2].render_attributes & 0x800, 0);
  EXPECT_EQ(model->materials[1].render_attributes & 0x800, 0);
}

TEST(MaterialDialog, NewAppendsTheSeriesFromTheShownMaterial) {
  auto model = three_materials();
  EditorRun run;
  run(
      *model, 0,
      [&](QDialog& d) {
        type(d, 2046, "6");  // read into the template first, cleared on the copies
        type(d, 2007, "12");
        click(d, 2044);
        EXPECT_EQ(control<QListWidget>(d, 2000)->count(), 6);
      },
      [](QDialog& n) {
        type(n, 4000, "wall");
        type(n, 4001, "3");
        control<QRadioButton>(n, 4003)->setChecked(true);
        type(n, 4006, "c");
        click(n, 1);
      });
  ASSERT_EQ(model->num_materials, 6);
  EXPECT_EQ(model->materials[3].name.str(), "wallC.pcx");
  EXPECT_EQ(model->materials[5].name.str(), "wallE.pcx");
  EXPECT_EQ(model->materials[4].color_green[0], 12);
  EXPECT_EQ(model->materials[4].anim_frames, 0);
  EXPECT_EQ(model->materials[0].anim_frames, 6);
  EXPECT_EQ(run.settings.start, 2);
  EXPECT_EQ(run.checkpoints.front(), "New Material(s)");
}

TEST(MaterialDialog, DeleteAsksAndRemovesOnYesOnly) {
  for (bool yes : {true, false}) {
    auto model = three_materials();
    EditorRun run;
    run.answer = yes;
    run(*model, 2, [&](QDialog& d) { click(d, 2045); });
    EXPECT_EQ(run.questions, std::vector<QString>{"Delete: Whoa!?  You sure you want to delete this material?"});
    EXPECT_EQ(model->num_materials, yes ? 1 : 3);
    EXPECT_EQ(model->subobjects[0].faces[2].material, yes ? 0 : 2);
    if (yes) {
      EXPECT_EQ(run.checkpoints.front(), "Delete Material");
    }
  }
}

TEST(MaterialDialog, EditsSurviveThe3daWriterAndReader) {
  auto model = three_materials();
  EditorRun run;
  run(
      *model, 0,
      [&](QDialog& d) {
        select_by_value(control<QComboBox>(d, 1002), 2);
        select_by_value(control<QComboBox>(d, 1003), 1);
        select_by_value(control<QComboBox>(d, 1007), 4);
        select_by_value(control<QComboBox>(d, 1021), 0x800);
        type(d, 2008, "200");
        type(d, 2058, "90");
        type(d, 2043, "3");
        type(d, 2047, "250");
        type(d, 2002, "rock.tga");
        control<QCheckBox>(d, 2024)->setChecked(true);
        control<QCheckBox>(d, 2055)->setChecked(true);
        control<QCheckBox>(d, 1169)->setChecked(true);
      },
      [](QDialog& advanced) {
        select_by_value(control<QComboBox>(advanced, 1193), 5);
        click(advanced, 1);
      });
  const std::string text = metafile_write(*model, 1.0f, tools::LocalTime{2026, 1, 2, 3, 4, 5}, "me");
  auto back = std::make_unique<Model>();
  MetafileInfo info;
  ASSERT_TRUE(metafile_parse(text, "edited.3da", *back, info).ok());
  ASSERT_EQ(back->num_materials, 3);
  const ModelMaterial& m = back->materials[0];
  EXPECT_EQ(m.color_type, 2);
  EXPECT_EQ(m.alpha_type, 1);
  EXPECT_EQ(m.blending_mode, 4);
  EXPECT_EQ(m.physical_attributes, 0x800 | 0x100);
  EXPECT_EQ(m.color_green[1], 200);
  EXPECT_EQ(m.transparency, 90);
  EXPECT_EQ(m.anim_sequence, 3);
  EXPECT_EQ(m.anim_time, 250);
  EXPECT_EQ(m.green_texture.str(), "rock.tga");
  EXPECT_EQ(m.render_attributes, model->materials[0].render_attributes);
  EXPECT_NE(m.render_attributes & 0x20, 0);
  EXPECT_EQ(m.projector_no_receive, 1);
}

}  // namespace
}  // namespace orvo::gui
