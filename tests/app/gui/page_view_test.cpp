// The page: the 2D drawing's pixels, the off-screen picture, the mouse
// drags and picking, printing and Save PCX.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <filesystem>
#include <set>

#include "orvo/document/projection.h"
#include "orvo/gui/page_drawing.h"
#include "orvo/gui/page_output.h"
#include "orvo/gui/page_view.h"
#include "orvo/image/image.h"
#include "tools/test/scratch_dir.h"

namespace orvo::gui {
namespace {

constexpr int kW = 800, kH = 600;

Rgb pixel(const QImage& image, Point2i at) {
  const QRgb c = image.pixel(at.x, at.y);
  return Rgb{static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qBlue(c))};
}

// One sub-object per triangle, each triangle with its own material and
// smoothing group.
SubObject triangle(Vec3 a, Vec3 b, Vec3 c, int material, uint32_t smoothing) {
  SubObject so;
  for (const Vec3& p : {a, b, c}) so.verts.push_back(Vertex{p.x, p.y, p.z});
  Face f;
  f.material = material;
  f.smoothing = smoothing;
  f.v = {0, 1, 2, 0};
  so.faces.push_back(f);
  return so;
}

QImage draw(const Model& model, const ViewState& view, bool printing = false) {
  QImage image(kW, kH, QImage::Format_RGB32);
  QPainter p(&image);
  draw_page(p, model, view, kW, kH, printing);
  return image;
}

TEST(PageDrawing, PolygonCornersLandWhereTheProjectionPutsThemInTheirGroupColour) {
  const std::vector<Vec3> corners = {{1, 2, 3}, {-2, 1, -1}, {0.5f, -3, 2}};
  struct Case {
    int plane;
    uint32_t smoothing;
    Rgb colour;
  } cases[] = {{kPlaneXY, 0, kPolyColour},
               {kPlaneXZ, 1, kSmoothPolyColour},
               {kPlaneYZ, 4, kSmoothPolyColour},
               {kPlane3D, 0, kPolyColour}};
  for (const Case& c : cases) {
    Model model;
    model.subobjects.push_back(triangle(corners[0], corners[1], corners[2], 0, c.smoothing));
    ViewState view;
    view.plane = c.plane;
    view.grid_shown = 0;
    const QImage image = draw(model, view);
    const Projection projection(view_camera(view), kW, kH);
    for (const Vec3& v : corners) {
      auto at = projection.project(v);
      ASSERT_TRUE(at);
      EXPECT_EQ(pixel(image, *at), c.colour) << "plane " << c.plane << " at " << at->x << "," << at->y;
    }
  }
}

TEST(PageDrawing, HiddenMaterialHidesItsPolygonsInEverySubObjectButNotTheHelpers) {
  Model model;
  model.subobjects.push_back(triangle({1, 1, 0}, {3, 1, 0}, {1, 3, 0}, 0, 0));
  model.subobjects.push_back(triangle({-1, -1, 0}, {-3, -1, 0}, {-1, -3, 0}, 0, 0));
  model.subobjects.push_back(triangle({5, 5, 0}, {7, 5, 0}, {5, 7, 0}, 1, 0));
  AttachPoint a;
  a.x = -5;
  a.y = 5;
  model.attach.push_back(a);
  ViewState view;
  view.grid_shown = 0;
  view.layer_by = kLayerByMaterial;
  view.layer_visible[kLayersPerBank + 0] = 0;
  const QImage image = draw(model, view);
  const Projection projection(view_camera(view), kW, kH);
  EXPECT_EQ(pixel(image, *projection.project({1, 1, 0})), Rgb{});
  EXPECT_EQ(pixel(image, *projection.project({-3, -1, 0})), Rgb{});
  EXPECT_EQ(pixel(image, *projection.project({5, 5, 0})), kPolyColour);
  EXPECT_EQ(pixel(image, *projection.project({-5, 5, 0})), kAttachColour);
}

std::set<uint32_t> colours(const QImage& image) {
  std::set<uint32_t> out;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) out.insert(image.pixel(x, y) & 0xFFFFFFu);
  }
  return out;
}

TEST(PageDrawing, PrintingNeverDrawsTheGrid) {
  Model model;
  ViewState view;  // the grid is shown
  view.grid_step = 1;
  const uint32_t grid = qRgb(kGridColour.r, kGridColour.g, kGridColour.b) & 0xFFFFFFu;
  EXPECT_TRUE(colours(draw(model, view, false)).count(grid));
  EXPECT_EQ(colours(draw(model, view, true)), std::set<uint32_t>{0xFFFFFFu});

  tools::test::ScratchDir dir("print");
  Document doc;
  doc.current_model().subobjects.push_back(triangle({1, 1, 0}, {3, 1, 0}, {1, 3, 0}, 0, 0));
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir.file("page.pdf")));
  EXPECT_TRUE(print_page(doc, printer));
  EXPECT_EQ(printer.docName(), "CAD: Printing");
  EXPECT_EQ(doc.view().printing, 0);
  EXPECT_GT(std::filesystem::file_size(dir.file("page.pdf")), 0u);
}

TEST(PageView, PictureIsTheClientWidthPlusSixteenRoundedDownToSixteen) {
  struct Case {
    int client, width;
  } cases[] = {{800, 816}, {801, 816}, {799, 800}, {815, 816}, {816, 832}, {1, 16}};
  for (const Case& c : cases) EXPECT_EQ(PageView::picture_size(QSize(c.client, 30)), QSize(c.width, 30));
  Document doc;
  PageView view(doc);
  view.resize(700, 500);
  const QImage& picture = view.picture();
  EXPECT_EQ(picture.size(), PageView::picture_size(view.client_size()));
  EXPECT_EQ(picture.format(), QImage::Format_RGB32);
  EXPECT_EQ(picture.dotsPerMeterX(), 1000);
  EXPECT_EQ(picture.dotsPerMeterY(), 1000);
}

// Drives a page of client size 800 x 600 with mouse events in client
// coordinates.
struct Page {
  Document doc;
  PageView view{doc};
  Page() {
    view.resize(800, 600);
    view.resize(QSize(800, 600) * 2 - view.client_size());
  }
  void send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPointF local = at + view.contentsRect().topLeft();
    QMouseEvent e(type, local, view.mapToGlobal(local), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), mods);
    QApplication::sendEvent(&view, &e);
  }
  void move(QPoint at) { send(QEvent::MouseMove, at, Qt::NoButton); }
};

TEST(PageView, ZoomDragScalesByXOverStartXAndKeepsTheLastZoomOutsideItsRange) {
  Page page;
  ASSERT_EQ(page.view.client_size(), QSize(800, 600));
  page.doc.view().zoom = 1.0f;
  page.send(QEvent::MouseButtonPress, {100, 50}, Qt::RightButton, Qt::ShiftModifier);
  ASSERT_EQ(page.view.drag_state(), PageView::kDragZoom);
  struct Step {
    int x;
    float zoom;
  } steps[] = {
      {202, 2.0f},   // 1 · 202 / 101
      {1, 2.0f},     // below 2
      {1030, 2.0f},  // beyond 1024
      {1024, 1024.0f / 101.0f},
      {9, 1024.0f / 101.0f},  // 0.089: below 0.1
      {11, 11.0f / 101.0f},
  };
  for (const Step& s : steps) {
    page.move({s.x, 50});
    EXPECT_FLOAT_EQ(page.doc.view().zoom, s.zoom) << "x " << s.x;
  }
  page.send(QEvent::MouseButtonRelease, {11, 50}, Qt::RightButton);
  EXPECT_EQ(page.view.drag_state(), PageView::kDragNone);
}

TEST(PageView, PanDragMovesTheCentreInThePlaneByTheMovementOverFiveZooms) {
  struct Case {
    int plane;
    std::array<float, 3> centre;
  } cases[] = {{kPlaneXY, {-10 * 0.05f, -5 * 0.05f, 0}},
               {kPlaneXZ, {-10 * 0.05f, 0, -5 * 0.05f}},
               {kPlaneYZ, {0, -10 * 0.05f, -5 * 0.05f}}};
  for (const Case& c : cases) {
    Page page;
    page.doc.view().plane = c.plane;
    page.doc.view().zoom = 4.0f;  // 0.05 units per pixel
    page.send(QEvent::MouseButtonPress, {400, 300}, Qt::LeftButton, Qt::ShiftModifier);
    page.move({404, 297});
    page.move({410, 295});
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(page.doc.view().centre[i], c.centre[i], 1e-5) << c.plane << " " << i;
  }
}

TEST(PageView, MiddleDoubleClickMakesThePickedPointTheCentre) {
  for (int plane : {kPlaneXY, kPlaneYZ, kPlane3D}) {
    Page page;
    page.doc.view().plane = plane;
    page.doc.view().centre = {1, 2, 3};
    const Projection projection(view_camera(page.doc.view()), 800, 600);
    const auto expected = projection.unproject(250, 400);
    ASSERT_TRUE(expected);
    page.send(QEvent::MouseButtonDblClick, {250, 400}, Qt::MiddleButton);
    EXPECT_EQ(page.doc.view().centre, (std::array<float, 3>{expected->x, expected->y, expected->z})) << plane;
  }
}

TEST(PageView, RightButtonAloneAsksForThePopUp) {
  Page page;
  std::vector<QPoint> asked;
  QObject::connect(&page.view, &PageView::popup_requested, [&](QPoint at) { asked.push_back(at); });
  page.send(QEvent::MouseButtonPress, {30, 40}, Qt::RightButton);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], page.view.mapToGlobal(QPoint(30, 40) + page.view.contentsRect().topLeft()));
  EXPECT_EQ(page.view.drag_state(), PageView::kDragNone);
}

TEST(SavePcx, ReadsBackWithTheSamePixelsThroughThePalette) {
  QImage few(50, 20, QImage::Format_RGB32);
  few.fill(Qt::black);
  few.setPixel(3, 4, qRgb(255, 100, 255));
  few.setPixel(49, 19, qRgb(0, 0, 200));
  QImage many(64, 64, QImage::Format_RGB32);  // 4096 colours: the nearest of the cube
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) many.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
  }
  struct Case {
    const QImage* picture;
    int tolerance;
  } cases[] = {{&few, 0}, {&many, 26}};
  tools::test::ScratchDir dir("pcx");
  for (const Case& c : cases) {
    const std::string path = dir.file("page.pcx");
    ASSERT_TRUE(save_page_pcx(*c.picture, path));
    auto image = read_pcx(path);
    ASSERT_TRUE(image);
    ASSERT_TRUE(expand_palette(*image, path));
    ASSERT_EQ(image->width, c.picture->width());
    ASSERT_EQ(image->height, c.picture->height());
    int worst = 0;
    for (int y = 0; y < image->height; ++y) {
      for (int x = 0; x < image->width; ++x) {
        const uint32_t got = image->pixels[static_cast<std::size_t>(y * image->width + x)];
        const QRgb want = c.picture->pixel(x, y);
        worst = std::max({worst, std::abs(static_cast<int>((got >> 16) & 255) - qRed(want)),
                          std::abs(static_cast<int>((got >> 8) & 255) - qGreen(want)),
                          std::abs(static_cast<int>(got & 255) - qBlue(want))});
      }
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
}  // namespace orvo::gui
