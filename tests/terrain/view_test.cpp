#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
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
  const QImage hills =
      render_relief(map_of([](int x, int z) { return 60 + 30 * std::sin(x / 40.0) * std::cos(z / 50.0); }));
  for (const QImage* image : {&low, &high, &hills}) EXPECT_EQ(image->size(), QSize(1024, 1024));
  EXPECT_NE(low, high);
  EXPECT_NE(low, hills);
  EXPECT_NE(high, hills);
  EXPECT_TRUE(render_relief(std::vector<uint16_t>(1000)).isNull());
}

TEST(Relief, LightComesFromTheNorthWest) {
  // Planes through the same height at the centre, so only the slope differs.
  const auto centre = [](double ax, double az) {
    const QImage image = render_relief(map_of([=](int x, int z) { return 64 + ax * (x - 512) + az * (z - 512); }));
    return qGray(image.pixel(512, 512));
  };
  struct Case {
    const char* what;
    double lit_x, lit_z, shaded_x, shaded_z;  // slopes of the lit and the shaded plane
  } cases[] = {
      {"north-west over south-east", 0.05, 0.05, -0.05, -0.05},
      {"west over east", 0.05, 0, -0.05, 0},
      {"north over south", 0, 0.05, 0, -0.05},
  };
  for (const Case& c : cases) EXPECT_GT(centre(c.lit_x, c.lit_z), centre(c.shaded_x, c.shaded_z)) << c.what;
}

TEST(BlockGrid, OriginOfTheBlockUnderAPoint) {
  struct Case {
    int sector;
    QPointF point;
    QPoint origin;
  } cases[] = {
      {4, {0, 0}, {0, 0}},     {4, {63.9, 64}, {0, 64}},  {4, {1023.5, 700}, {960, 640}}, {2, {300, 900}, {256, 768}},
      {0, {800, 800}, {0, 0}}, {1, {-5, 2000}, {0, 512}}, {9, {100, 70}, {64, 64}},       {-1, {900, 900}, {0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(block_origin_at(c.sector, c.point), c.origin) << c.sector;
}

// A square block of sector 4 at (128, 64) split along its diagonal from
// (192, 64) to (128, 128); vertex 4 lies outside the block's square.
PackedBlockMesh square_block(ListKind kind, std::vector<uint16_t> indices, uint32_t count) {
  PackedBlockMesh m;
  m.origin_x = 128;
  m.origin_z = 64;
  m.offsets = {{0, 0}, {64, 0}, {0, 64}, {64, 64}, {200, 0}};
  m.lods[2] = LodList{std::move(indices), count, 5, kind};
  return m;
}

double distance_to_segment(QPointF p, QPointF a, QPointF b) {
  const QPointF ab = b - a;
  const double t = std::clamp(QPointF::dotProduct(p - a, ab) / QPointF::dotProduct(ab, ab), 0.0, 1.0);
  const QPointF d = p - (a + t * ab);
  return std::hypot(d.x(), d.y());
}

TEST(Wireframe, DrawsTheEdgesOfListsAndStrips) {
  const std::vector<std::pair<QPointF, QPointF>> edges = {{{128, 64}, {192, 64}},
                                                          {{128, 64}, {128, 128}},
                                                          {{192, 64}, {192, 128}},
                                                          {{128, 128}, {192, 128}},
                                                          {{192, 64}, {128, 128}}};
  struct Case {
    const char* what;
    PackedBlockMesh mesh;
  } cases[] = {
      {"list", square_block(ListKind::kTriangleList, {0, 1, 2, 1, 3, 2}, 2)},
      {"list with a vertex off the block", square_block(ListKind::kTriangleList, {0, 1, 2, 1, 3, 2, 1, 4, 3}, 3)},
      {"strip", square_block(ListKind::kStrip, {0, 1, 2, 3}, 4)},
      {"strip starting with degenerate triangles", square_block(ListKind::kStrip, {3, 0, 0, 1, 2, 3}, 6)},
  };
  for (const Case& c : cases) {
    QImage image(1024, 1024, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF target(image.rect());
    QPainter painter(&image);
    draw_block_wireframe(painter, target, c.mesh, 4, 2);
    draw_block_wireframe(painter, target, c.mesh, 4, 0);  // an empty slot
    painter.end();
    int drawn = 0;
    for (int y = 0; y < 1024; ++y) {
      for (int x = 0; x < 1024; ++x) {
        if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
        ++drawn;
        double nearest = 1e9;
        for (const auto& [a, b] : edges)
          nearest =
              std::min(nearest, distance_to_segment(QPointF(x, y), target_point(target, a), target_point(target, b)));
        ASSERT_LE(nearest, 1.5) << c.what << ": pixel " << x << ", " << y;
      }
    }
    // Every edge is drawn along its whole length.
    for (const auto& [a, b] : edges) {
      for (double t = 0; t <= 1.0; t += 0.125) {
        const QPointF p = target_point(target, a + t * (b - a));
        bool near = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) near |= image.pixel(int(p.x()) + dx, int(p.y()) + dy) != qRgb(255, 255, 255);
        EXPECT_TRUE(near) << c.what << ": nothing near " << p.x() << ", " << p.y();
      }
    }
    EXPECT_GT(drawn, 5 * 60) << c.what;
  }
}

TEST(BlockForView, StripsBeforeTrianglesSharedFileBeforeOwn) {
  // The mesh read is told by its vertex count. Shared files hold origin 0,
  // the block's own files its origin (128, 128).
  constexpr size_t kDamaged = 99;
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, size_t>> files;  // name, vertices
    size_t vertices;                                    // 0: an error naming the block's .tml
  } cases[] = {
      {"triangles only", {{"S3_08_08.tml", 3}}, 3},
      {"strips over triangles", {{"S3_08_08.tml", 3}, {"S3_08_08.tms", 4}}, 4},
      {"empty strips", {{"S3_08_08.tml", 3}, {"S3_08_08.tms", 0}}, 3},
      {"shared strips placed at the block", {{"S3.tms", 5}, {"S3_08_08.tms", 4}}, 5},
      {"own strips over shared triangles", {{"S3.tml", 6}, {"S3_08_08.tms", 4}}, 4},
      {"shared triangles over own triangles", {{"S3.tml", 6}, {"S3_08_08.tml", 3}}, 6},
      {"damaged shared file passed over", {{"S3.tms", kDamaged}, {"S3_08_08.tml", 3}}, 3},
      {"nothing", {}, 0},
  };
  for (const Case& c : cases) {
    tools::test::ScratchDir dir("view");
    for (const auto& [name, vertices] : c.files) {
      PackedBlockMesh m;
      m.origin_x = m.origin_z = name.size() == 6 ? 0 : 128;
      m.offsets.assign(vertices, VertexOffset{});
      ASSERT_TRUE(write_block_mesh(dir.file(name), m).ok());
      if (vertices == kDamaged) tools::test::write_bytes(dir.file(name), "TPM1");
    }
    tools::Result<PackedBlockMesh> mesh = read_block_for_view(dir.prefix(), 3, 128, 128);
    if (c.vertices == 0) {
      ASSERT_FALSE(mesh.ok()) << c.what;
      EXPECT_NE(mesh.error().message.find(dir.file("S3_08_08.tml")), std::string::npos) << mesh.error().message;
      continue;
    }
    ASSERT_TRUE(mesh.ok()) << c.what << ": " << mesh.error().message;
    EXPECT_EQ(mesh->vertex_count(), c.vertices) << c.what;
    EXPECT_EQ(QPoint(mesh->origin_x, mesh->origin_z), QPoint(128, 128)) << c.what;
  }
}

TEST(RenderBuild, RefusesWhatItCannotDraw) {
  tools::test::ScratchDir dir("view");
  struct Case {
    int sector, lod, code;
    std::string names;
  } cases[] = {
      {4, -1, kIoCannotOpen, dir.file("Output.dep")},
      {5, -1, kIoBadArgument, "sector 5"},
      {2, 3, kIoBadArgument, "LOD slot 3"},
      {2, 16, kIoBadArgument, "LOD slot 16"},
  };
  for (const Case& c : cases) {
    tools::Result<QImage> image = render_build(dir.prefix(), c.sector, c.lod);
    ASSERT_FALSE(image.ok()) << c.names;
    EXPECT_EQ(image.code(), c.code) << c.names;
    EXPECT_NE(image.error().message.find(c.names), std::string::npos) << image.error().message;
  }
}

}  // namespace
}  // namespace loamer::view
