#include "orvo/app/report.h"

#include <gtest/gtest.h>

#include <memory>

namespace orvo {
namespace {

tools::LocalTime local_time(int year, int month, int day, int hour, int minute) {
  return tools::LocalTime{year, month, day, hour, minute, 0};
}

SubObject subobject(const char* name, int verts, int faces) {
  SubObject so;
  so.name = name;
  so.verts.resize(static_cast<std::size_t>(verts));
  so.faces.resize(static_cast<std::size_t>(faces));
  return so;
}

// The Model holds its 1000 materials inline: keep it off the stack.
std::unique_ptr<Model> tank() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->name = "tankh";
  m->subobjects.push_back(subobject("01 Hull", 28, 44));
  m->subobjects.push_back(subobject("02 Turret", 12, 20));
  m->subobjects.push_back(subobject("03 Gun", 123456, 7));
  AttachPoint a;
  a.name = "~01 TurretMount";
  m->attach.push_back(a);
  a.name = "~02 GunMount";
  m->attach.push_back(a);
  m->materials[0].name = "hull_base.tga";
  m->materials[1].name = "turret.tga";
  m->materials[2].name = "left over";  // beyond num_materials: not listed
  m->num_materials = 2;
  return m;
}

TEST(AppReport, WholeTextOfAModel) {
  const auto m = tank();
  EXPECT_EQ(report_text(*m, local_time(2024, 3, 7, 9, 5)),
            "Graphic Object: tankh, 3/7/2024, 9: 5\n"
            "\n"
            "Objects: 3\n"
            "  01 Hull    28    44\n"
            "  02 Turret    12    20\n"
            "  03 Gun 123456     7\n"
            "  Total Vert: 123496\n"
            "  Total Poly: 71\n"
            "\n"
            "Attachment Points: 2\n"
            "  ~01 TurretMount\n"
            "  ~02 GunMount\n"
            "\n"
            "Materials: 2\n"
            "  hull_base.tga\n"
            "  turret.tga\n"
            "\n");
}

TEST(AppReport, HeaderDate) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->name = "crate";
  const auto header = [&](const tools::LocalTime& t) {
    const std::string text = report_text(*m, t);
    return text.substr(0, text.find('\n'));
  };
  // Month 1-based, year in full, minute padded with a blank and never a zero.
  EXPECT_EQ(header(local_time(1999, 12, 31, 23, 59)), "Graphic Object: crate, 12/31/1999, 23:59");
  EXPECT_EQ(header(local_time(2000, 1, 1, 0, 0)), "Graphic Object: crate, 1/1/2000, 0: 0");
  EXPECT_EQ(header(local_time(2031, 6, 15, 12, 10)), "Graphic Object: crate, 6/15/2031, 12:10");
}

TEST(AppReport, EmptyModelStillListsEverySection) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  EXPECT_EQ(report_text(*m, local_time(2024, 3, 7, 9, 5)),
            "Graphic Object: , 3/7/2024, 9: 5\n\n"
            "Objects: 0\n  Total Vert: 0\n  Total Poly: 0\n\n"
            "Attachment Points: 0\n\n"
            "Materials: 0\n\n");
}

}  // namespace
}  // namespace orvo
