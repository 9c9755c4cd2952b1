// The general information, object information, part animation and light
// dialogs, driven through their controls' ids.
#include "orvo/gui/info_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <memory>

#include "dialog_controls.h"
#include "orvo/app/generator_texts.h"
#include "orvo/app/report.h"
#include "orvo/gui/generator_swatch.h"
#include "orvo/model/metafile.h"
#include "tools/base/file_io.h"
#include "tools/base/host.h"
#include "tools/test/scratch_dir.h"

namespace orvo::gui {
namespace {

void type(QDialog& d, int id, const QString& text) {
  auto* edit = control<QLineEdit>(d, id);
  edit->setText(text);
  emit edit->textEdited(text);
}

// A context whose run_dialog runs `drive` on the dialog, then clicks OK or
// Cancel.
EditorContext driven(std::function<void(QDialog&)> drive, bool ok = true) {
  EditorContext c;
  c.run_dialog = [drive, ok](QDialog& d) {
    drive(d);
    control<QPushButton>(d, ok ? 1 : 2)->click();
    return d.result();
  };
  return c;
}

SubObject part(const char* name, int index, int verts, int faces) {
  SubObject so;
  so.name = name;
  so.verts.resize(static_cast<std::size_t>(verts));
  for (Vertex& v : so.verts) v.subobj = v.subobj2 = index;
  so.faces.resize(static_cast<std::size_t>(faces));
  return so;
}

void fill(Model& m, const char* name) {
  model_reset(m);
  m.name = name;
  m.threshold = 0.5f;
  m.subobjects.push_back(part("01 Hull", 0, 8, 12));
  m.subobjects.push_back(part("02 Turret", 1, 4, 6));
  m.subobjects[1].parent = 0;
}

std::unique_ptr<Model> tank() {
  auto m = std::make_unique<Model>();
  fill(*m, "tankh");
  return m;
}

class GeneralInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fill(doc_.slot(0), "tankh");
    fill(doc_.slot(2), "tankl");
  }
  Document doc_;
};

TEST_F(GeneralInfoTest, EmptySlotsAreDisabledAndTheCollisionChoiceStaysOnCancel) {
  QStringList steps;
  EditorContext c = driven(
      [this](QDialog& d) {
        EXPECT_EQ(control<QLineEdit>(d, 1042)->text(), "tankh");
        EXPECT_EQ(control<QLineEdit>(d, 1043)->text(), "18");
        EXPECT_EQ(control<QLineEdit>(d, 1044)->text(), "12");
        EXPECT_EQ(control<QLineEdit>(d, 3800)->text(), "0.5");
        EXPECT_EQ(control<QComboBox>(d, 3801)->currentText(), "gnrc");
        for (int id : {1042, 3801, 3800, 1048, 3805}) EXPECT_TRUE(control<QWidget>(d, id)->isEnabled()) << id;
        for (int id : {1045, 3803, 3802, 1056, 1051, 3807, 3806, 3813})
          EXPECT_FALSE(control<QWidget>(d, id)->isEnabled()) << id;
        EXPECT_TRUE(control<QLineEdit>(d, 1047)->text().isEmpty());
        EXPECT_EQ(control<QComboBox>(d, 1181)->currentIndex(), 0);
        control<QComboBox>(d, 1181)->setCurrentIndex(3);  // "Tiny Res (t)"
        EXPECT_EQ(doc_.slot(3).polycollision, 1);
      },
      false);
  doc_.slot(0).polycollision = 1;
  c.checkpoint = [&steps](const QString& name) { steps << name; };
  EXPECT_EQ(run_general_info(nullptr, doc_, c), 0);
  EXPECT_EQ(steps, QStringList{"Collision data uses"});
  EXPECT_EQ(doc_.slot(0).polycollision, 0);
  EXPECT_EQ(doc_.slot(3).polycollision, 1);
  EXPECT_EQ(doc_.slot(0).threshold, 0.5f);
}

TEST_F(GeneralInfoTest, OkReadsThresholdFunctionAndFlags) {
  EditorContext c = driven([](QDialog& d) {
    type(d, 3800, QStringLiteral("2.75"));
    auto* function = control<QComboBox>(d, 3801);
    function->setCurrentIndex(function->findText(QStringLiteral("tree")));
    control<QCheckBox>(d, 3810)->setChecked(true);
    control<QCheckBox>(d, 1179)->setChecked(true);
    EXPECT_FALSE(control<QLineEdit>(d, 1055)->isEnabled());
    control<QCheckBox>(d, 1054)->setChecked(true);
    EXPECT_TRUE(control<QLineEdit>(d, 1055)->isEnabled());
    type(d, 1055, QStringLiteral("321"));
  });
  doc_.slot(0).attributes = 1;
  EXPECT_EQ(run_general_info(nullptr, doc_, c), 1);
  const Model& h = doc_.slot(0);
  EXPECT_EQ(h.threshold, 2.75f);
  EXPECT_EQ(h.render_function.view(), "tree");
  EXPECT_EQ(h.attributes, 5);
  EXPECT_EQ(h.fakeskin_z, 1);
  EXPECT_EQ(h.pm_enable, 1);
  EXPECT_EQ(h.pm_polythresh, 321);
  EXPECT_EQ(doc_.slot(1).render_function.view(), "gnrc");  // the empty slot takes nothing
}

TEST(ObjectInfo, ShowsCountsAndSavesTheReport) {
  auto m = tank();
  m->subobjects[1].verts[0].subobj2 = 0;
  m->attach.push_back(AttachPoint{});
  tools::test::ScratchDir dir;
  const std::string path = dir.file("tank.txt");
  EditorContext c = driven([](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Object Information");
    EXPECT_EQ(d.findChild<QLabel*>("object_name")->text(), "Graphic Object Name: tankh");
    EXPECT_EQ(d.findChild<QLabel*>("total_vertices")->text(), "Total Vertices: 12, (1 stretchy)");
    EXPECT_EQ(d.findChild<QLabel*>("total_polys")->text(), "Total Polys: 18");
    EXPECT_EQ(d.findChild<QListWidget*>("objects")->item(1)->text(), "02 Turret     4     6");
    QStringList titles;
    for (auto* g : d.findChildren<QGroupBox*>()) titles << g->title();
    EXPECT_EQ(titles, (QStringList{"Objects (2)", "Materials (0)", "Attachment Points (1)", "Center Points (0)"}));
    control<QPushButton>(d, 4110)->click();
  });
  c.choose_save_file = [&path](QWidget*, const QString& caption, const QString& filter) {
    EXPECT_EQ(caption, "Save Text File");
    EXPECT_EQ(filter, "Text file (*.txt)");
    return std::optional<std::string>(path);
  };
  const std::string before = report_text(*m, tools::local_time_now());
  run_object_info(nullptr, *m, c);
  const std::string after = report_text(*m, tools::local_time_now());
  const auto written = tools::read_file(path, 1 << 20);
  ASSERT_TRUE(written.ok());
  EXPECT_TRUE(written.value() == before || written.value() == after);
}

TEST(PartAnimation, TypesEnableTheirControls) {
  struct Case {
    int radio;
    bool rates, rotation_swatches, all_axis, single_axes;
  };
  const Case cases[] = {{1087, false, false, false, false}, {1088, true, false, false, false},
                        {1089, false, true, false, false},  {1090, false, false, false, false},
                        {1091, false, false, false, false}, {1146, false, false, true, false},
                        {1147, false, false, false, true}};
  for (const Case& k : cases) {
    auto m = tank();
    m->part_anim_enable = 1;
    EditorContext c = driven(
        [&k](QDialog& d) {
          EXPECT_EQ(d.windowTitle(), "Part Animation");
          control<QRadioButton>(d, k.radio)->click();
          for (int id : {1084, 1085, 1086}) EXPECT_EQ(control<QWidget>(d, id)->isEnabled(), k.rates) << k.radio;
          for (int id : {1111, 1112, 1113, 1184})
            EXPECT_EQ(control<QWidget>(d, id)->isEnabled(), k.rotation_swatches) << k.radio;
          EXPECT_EQ(control<QWidget>(d, 1155)->isEnabled(), k.all_axis) << k.radio;
          for (int id : {1149, 1151, 1153}) EXPECT_EQ(control<QWidget>(d, id)->isEnabled(), k.single_axes) << k.radio;
          // Without "Enable Part Animations" nothing of the record can be edited.
          control<QCheckBox>(d, 1081)->setChecked(false);
          for (int id : {1158, 1087, 1084, 1111, 1145, 1155, 1149})
            EXPECT_FALSE(control<QWidget>(d, id)->isEnabled()) << id;
        },
        false);
    run_part_animation(nullptr, *m, c);
  }
}

TEST(PartAnimation, OkWritesTheCopyAndCancelLeavesTheModel) {
  for (bool ok : {true, false}) {
    auto m = tank();
    m->part_anim_enable = 1;
    const auto original = m->part_anims;
    EditorContext c = driven(
        [](QDialog& d) {
          auto* list = control<QListWidget>(d, 1082);
          list->setCurrentRow(1);
          EXPECT_EQ(control<QLineEdit>(d, 1156)->text(), "02 Turret");
          EXPECT_EQ(control<QLineEdit>(d, 1157)->text(), "01 Hull");
          control<QRadioButton>(d, 1088)->click();
          type(d, 1085, QStringLiteral("1.5"));
          control<QComboBox>(d, 1158)->setCurrentIndex(0);
          control<QRadioButton>(d, 1146)->click();
          EXPECT_EQ(list->item(1)->text(), "02 Turret\t[01]\tRFixed\tSAll");
          EXPECT_EQ(list->item(0)->text(), "01 Hull\t[01]\t-\t-");
        },
        ok);
    EXPECT_EQ(run_part_animation(nullptr, *m, c), ok ? 1 : 0);
    if (!ok) {
      EXPECT_EQ(m->part_anims, original);
      continue;
    }
    const PartAnimation& a = m->part_anims[1];
    EXPECT_EQ(a.rotate_type, 1);
    EXPECT_EQ(a.pitch_rate, 1.5f);
    EXPECT_EQ(a.transform_as, 0);
    EXPECT_EQ(a.scale_type, 1);
    EXPECT_EQ(m->part_anims[0], original[0]);
  }
}

TEST(PartAnimation, SwatchesOpenTheScalarEditorInTheirMode) {
  struct Case {
    int radio, swatch;
    const char* start;
  };
  // Rotation in whole numbers, scaling in reals; both offer the set-only list.
  const Case cases[] = {{1089, 1112, "3"}, {1146, 1155, "3.70"}, {1147, 1151, "3.70"}};
  for (const Case& k : cases) {
    auto m = tank();
    m->part_anim_enable = 1;
    for (Generator* g : {&m->part_anims[0].pitch_func, &m->part_anims[0].scale_func, &m->part_anims[0].scaley_func}) {
      g->style = 0x32;
      g->start = 3.7f;
    }
    EditorContext c;
    int opened = 0;
    c.run_dialog = [&](QDialog& d) {
      if (d.windowTitle() == "Part Animation") {
        control<QRadioButton>(d, k.radio)->click();
        control<QPushButton>(d, k.swatch)->click();
        control<QPushButton>(d, 2)->click();
      } else {
        ++opened;
        EXPECT_EQ(control<QLineEdit>(d, 1094)->text(), k.start) << k.swatch;
        EXPECT_EQ(control<QComboBox>(d, 1093)->count(), static_cast<int>(named_entries(kSetOnlyStyleList).size()));
        control<QPushButton>(d, 2)->click();
      }
      return d.result();
    };
    run_part_animation(nullptr, *m, c);
    EXPECT_EQ(opened, 1) << k.swatch;
  }
}

std::unique_ptr<Model> lit_tank(int style, int direct_style) {
  auto m = tank();
  ModelLight l;
  l.name = "lamp";
  l.r = 0.5f;
  l.intensity = 1.25f;
  l.colorgen.style = style;
  l.colorgen.start_red = 200;
  l.colorgen.end_blue = 200;
  m->lights.push_back(l);
  m->ambient.style = 0x18;
  m->direct.style = direct_style;
  return m;
}

QRgb strip_pixel(QWidget* strip, bool right) {
  strip->resize(40, 6);
  const QImage image = strip->grab().toImage();
  return image.pixel(right ? image.width() - 1 : 0, 3) & 0xFFFFFF;
}

TEST(Lights, StripsFollowTheStyle) {
  struct Case {
    int style;
    bool painted;
    QRgb left, right;
  };
  const Case cases[] = {{0, false, 0, 0}, {0x18, true, 0xC80000, 0xC80000}, {0x32, true, 0xC80000, 0x0000C8}};
  for (const Case& k : cases) {
    auto m = lit_tank(k.style, 0);
    EditorContext c = driven([&k](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), "Light Sources");
      EXPECT_EQ(control<QLineEdit>(d, 1061)->text(), "127");
      EXPECT_EQ(control<QLineEdit>(d, 1060)->text(), "1.25");
      auto* strip = control<QWidget>(d, 1206);
      if (k.painted) {
        EXPECT_EQ(strip_pixel(strip, false), k.left) << k.style;
        EXPECT_EQ(strip_pixel(strip, true), k.right) << k.style;
      } else {
        EXPECT_NE(strip_pixel(strip, false), 0xC80000u);
      }
    });
    EXPECT_EQ(run_lights(nullptr, *m, c), 1);
  }
}

TEST(Lights, ModelGeneratorsAreShownDisabledAndSteerYawAndPitch) {
  for (int direct : {0, 0x18}) {
    auto m = lit_tank(0x18, direct);
    EditorContext c = driven(
        [direct, &m](QDialog& d) {
          for (int id : {1204, 1208}) EXPECT_FALSE(control<QWidget>(d, id)->isEnabled());
          EXPECT_TRUE(control<QWidget>(d, 1205)->isEnabled());
          QString ambient = QString::fromStdString(colour_summary(m->ambient));
          ambient.replace("\r\n", "\n");
          EXPECT_EQ(control<QPushButton>(d, 1204)->text(), ambient);
          for (int id : {1070, 1071}) EXPECT_EQ(control<QWidget>(d, id)->isEnabled(), direct != 0) << direct;
        },
        false);
    EXPECT_EQ(run_lights(nullptr, *m, c), 0);
  }
}

TEST(InfoDialogs, EditsSurviveTheMetafile) {
  auto m = tank();
  EditorContext parts = driven([](QDialog& d) {
    control<QCheckBox>(d, 1081)->setChecked(true);
    control<QRadioButton>(d, 1089)->click();
    control<QCheckBox>(d, 1184)->setChecked(true);
    control<QRadioButton>(d, 1147)->click();
  });
  ASSERT_EQ(run_part_animation(nullptr, *m, parts), 1);
  Document doc;
  doc.slot(0) = *m;
  EditorContext general = driven([](QDialog& d) {
    type(d, 3800, QStringLiteral("3.5"));
    control<QComboBox>(d, 1181)->setCurrentIndex(1);
    control<QComboBox>(d, 1181)->setCurrentIndex(0);
  });
  ASSERT_EQ(run_general_info(nullptr, doc, general), 1);

  const Model& edited = doc.slot(0);
  const std::string text = metafile_write(edited, 1.0f, tools::LocalTime{2026, 1, 2, 3, 4, 5}, "tester");
  auto back = std::make_unique<Model>();
  model_reset(*back);
  back->subobjects = edited.subobjects;
  MetafileInfo info;
  ASSERT_TRUE(metafile_parse(text, "tankh.3da", *back, info).ok());
  EXPECT_EQ(back->part_anim_enable, 1);
  EXPECT_EQ(back->part_anims[0], edited.part_anims[0]);
  EXPECT_EQ(back->part_anims[0].rotate_type, 2);
  EXPECT_EQ(back->part_anims[0].reverserotate, 1);
  EXPECT_EQ(back->part_anims[0].scale_type, 2);
  EXPECT_EQ(back->threshold, 3.5f);
  EXPECT_EQ(back->polycollision, 1);
}

}  // namespace
}  // namespace orvo::gui
