#include "orvo/gui/page_output.h"

#include <QPainter>
#include <QPrinter>
#include <unordered_map>

#include "orvo/gui/page_drawing.h"
#include "orvo/image/image.h"

namespace orvo::gui {
namespace {

constexpr std::size_t kPaletteSize = 256;

// Levels of the fixed colour cube: 6 of red, 7 of green, 6 of blue (252
// colours; the eye tells green apart best).
constexpr int kCubeRed = 6, kCubeGreen = 7, kCubeBlue = 6;

int cube_level(int value, int levels) {
  return (value * (levels - 1) + 127) / 255;
}
int cube_value(int level, int levels) {
  return level * 255 / (levels - 1);
}

// The picture's own colours when there are at most 256 of them (always so
// for the 2D drawing), in the order they first appear.
bool exact_palette(const QImage& picture, Image& out) {
  std::unordered_map<uint32_t, uint8_t> index_of;
  std::size_t at = 0;
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const uint32_t rgb = row[x] & 0xFFFFFFu;
      auto it = index_of.find(rgb);
      if (it == index_of.end()) {
        if (index_of.size() == kPaletteSize) return false;
        const auto index = static_cast<uint8_t>(index_of.size());
        it = index_of.emplace(rgb, index).first;
        out.palette[index] = 0xFF000000u | rgb;
      }
      out.indices[at++] = it->second;
    }
  }
  return true;
}

// Any other picture: each pixel takes the nearest colour of the fixed cube,
// which for an evenly spaced cube is the nearest level of each channel.
void cube_palette(const QImage& picture, Image& out) {
  std::fill(out.palette.begin(), out.palette.end(), argb(255, 0, 0, 0));
  for (int r = 0; r < kCubeRed; ++r) {
    for (int g = 0; g < kCubeGreen; ++g) {
      for (int b = 0; b < kCubeBlue; ++b) {
        out.palette[static_cast<std::size_t>((r * kCubeGreen + g) * kCubeBlue + b)] =
            argb(255, static_cast<uint32_t>(cube_value(r, kCubeRed)), static_cast<uint32_t>(cube_value(g, kCubeGreen)),
                 static_cast<uint32_t>(cube_value(b, kCubeBlue)));
      }
    }
  }
  std::size_t at = 0;
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const int r = cube_level(qRed(row[x]), kCubeRed), g = cube_level(qGreen(row[x]), kCubeGreen),
                b = cube_level(qBlue(row[x]), kCubeBlue);
      out.indices[at++] = static_cast<uint8_t>((r * kCubeGreen + g) * kCubeBlue + b);
    }
  }
}

}  // namespace

bool print_page(Document& doc, QPrinter& printer) {
  printer.setDocName("CAD: Printing");
  QPainter p;
  if (!p.begin(&printer)) return false;
  const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
  ViewState& view = doc.view();
  view.printing = 1;
  draw_page(p, doc.current_model(), view, page.width(), page.height(), true);
  view.printing = 0;
  return p.end();
}

tools::Status save_page_pcx(const QImage& source, const std::string& path) {
  const QImage picture = source.convertToFormat(QImage::Format_RGB32);
  Image image;
  image.width = picture.width();
  image.height = picture.height();
  image.indices.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  image.palette.assign(kPaletteSize, argb(255, 0, 0, 0));
  if (!exact_palette(picture, image)) cube_palette(picture, image);
  return write_pcx(path, image);
}

}  // namespace orvo::gui
