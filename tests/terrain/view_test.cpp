#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "loamer/view/relief.h"
#include "tools/test/scratch_dir.h"

namespace loamer::view {
namespace {

std::vector<uint16_t> map_of(const std::function<double(int, int)>& height) {
  std::vector<uint16_t> h(kHeightValues);
  for (int z = 0; z < kGridSize; ++z)
    for (int x = 0; x < kGridSize; ++x) h[static_cast<size_t>(z) * kGridSize + x] = uint16_t(height(x, z) * 256);
  return h;
}

TEST(Relief, ShowsHeightAndRelief) {
  const QImage low = render_relief(map_of([](int, int) { return 20.0; }));
  const QImage high = render_relief(map_of([](int, int) { return 110.0; }));
  const QImage hills = render_relief(map_of([](int x, int z) { return 60 + 30 * std::sin(x / 40.0 + z / 50.0); }));
  EXPECT_EQ(hills.size(), QSize(1024, 1024));
  EXPECT_TRUE(low != high && low != hills && high != hills);
  EXPECT_TRUE(render_relief(std::vector<uint16_t>(1000)).isNull());
}

TEST(Relief, LightComesFromTheNorthWest) {
  // Planes through the same height at the centre: only their slopes differ.
  const auto centre = [](double ax, double az) {
    return qGray(
        render_relief(map_of([=](int x, int z) { return 64 + ax * (x - 512) + az * (z - 512); })).pixel(512, 512));
  };
  // Rising to the south-east, east or south, a plane faces the light.
  for (const auto& [ax, az] : {std::pair{0.05, 0.05}, {0.05, 0.0}, {0.0, 0.05}})
    EXPECT_GT(centre(ax, az), centre(-ax, -az)) << ax << ", " << az;
}

TEST(BlockGrid, OriginOfTheBlockUnderAPoint) {
  struct Case {
    int sector;
    QPointF point;
    QPoint origin;
  } cases[] = {
      {4, {63.9, 64}, {0, 64}}, {4, {1023.5, 700}, {960, 640}}, {2, {300, 900}, {256, 768}},
      {0, {800, 800}, {0, 0}},  {1, {-5, 2000}, {0, 512}},      {9, {100, 70}, {64, 64}},
  };
  for (const Case& c : cases) EXPECT_EQ(block_origin_at(c.sector, c.point), c.origin) << c.sector;
}

TEST(Wireframe, DrawsTheEdgesOfListsAndStrips) {
  // Vertex 4 lies off the block's square; a strip's degenerate triangles
  // (3, 0, 0) and (0, 0, 1) would draw the other diagonal.
  const std::vector<QLineF> edges = {
      {128, 64, 192, 64}, {128, 64, 128, 128}, {192, 64, 192, 128}, {128, 128, 192, 128}, {192, 64, 128, 128}};
  const std::pair<ListKind, std::vector<uint16_t>> cases[] = {
      {ListKind::kTriangleList, {0, 1, 2, 1, 3, 2, 1, 4, 3}},
      {ListKind::kStrip, {3, 0, 0, 1, 2, 3}},
  };
  for (const auto& [kind, indices] : cases) {
    PackedBlockMesh m;  // sector 4, at (128, 64)
    m.origin_x = 128;
    m.origin_z = 64;
    m.offsets = {{0, 0}, {64, 0}, {0, 64}, {64, 64}, {200, 0}};
    m.lods[2] = LodList{indices, uint32_t(kind == ListKind::kStrip ? indices.size() : indices.size() / 3), 5, kind};
    QImage image(1024, 1024, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF target(image.rect());
    QPainter painter(&image);
    draw_block_wireframe(painter, target, m, 4, 2);
    draw_block_wireframe(painter, target, m, 4, 0);  // an empty slot
    painter.end();
    const auto near_edge = [&](QPointF p) {
      return std::any_of(edges.begin(), edges.end(), [&](const QLineF& e) {
        const QLineF d(target_point(target, e.p1()), target_point(target, e.p2()));
        const double t = QPointF::dotProduct(p - d.p1(), d.p2() - d.p1()) / (d.length() * d.length());
        return QLineF(p, d.pointAt(std::clamp(t, 0.0, 1.0))).length() <= 1.5;
      });
    };
    const auto drawn = [&](int x, int y) { return image.pixel(x, y) != qRgb(255, 255, 255); };
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x) ASSERT_TRUE(!drawn(x, y) || near_edge(QPointF(x, y))) << x << ", " << y;
    for (const QLineF& e : edges) {
      const QPoint c = target_point(target, e.center()).toPoint();
      bool hit = false;
      for (int d = 0; d < 9; ++d) hit |= drawn(c.x() + d % 3 - 1, c.y() + d / 3 - 1);
      EXPECT_TRUE(hit) << int(kind) << ": nothing at " << c.x() << ", " << c.y();
    }
  }
}

TEST(RenderBuild, RefusesWhatItCannotDraw) {
  tools::test::ScratchDir dir("view");
  const std::tuple<int, int, int, std::string> cases[] = {{4, -1, kIoCannotOpen, dir.file("Output.dep")},
                                                          {5, -1, kIoBadArgument, "sector 5"},
                                                          {2, 3, kIoBadArgument, "LOD slot 3"}};
  for (const auto& [sector, lod, code, names] : cases) {
    tools::Result<QImage> image = render_build(dir.prefix(), sector, lod);
    ASSERT_EQ(image.code(), code) << names;
    EXPECT_NE(image.error().message.find(names), std::string::npos) << image.error().message;
  }
}

}  // namespace
}  // namespace loamer::view
