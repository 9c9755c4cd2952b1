#include "loamer/view/relief.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QLineF>
#include <QList>
#include <QPen>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/height_file.h"
#include "loamer/naming.h"
#include "tools/base/file_io.h"

namespace loamer::view {

namespace {

// Heights are in grid units (a height of 1 rises as far as one grid step),
// but the maps are gentle: 0 to 128 over 1024 points, so the sample's hills
// slope by a tenth to a third and a plain Lambert term would change by a few
// per cent only. Four times steeper gives those slopes a clear light and
// shadow side. More would turn the smallest step of a height (1/8, from the
// depth map's box filter) into visible terraces on the flattest ground.
constexpr float kExaggeration = 4.0f;

// Light that does not depend on the slope, so faces turned away from the
// light keep their height colour.
constexpr float kAmbient = 0.3f;

// Towards the light: from the north-west (negative x and z), 45 degrees up.
constexpr float kLightX = -0.5f;
constexpr float kLightY = 0.70710678f;
constexpr float kLightZ = -0.5f;

// Colours from low ground to the highest heights (128), evenly spaced:
// greens in the lowlands, browns on the slopes, light grey at the top.
constexpr std::array<std::array<float, 3>, 5> kRamp = {{
    {52, 92, 58},
    {104, 140, 72},
    {168, 150, 96},
    {150, 118, 92},
    {238, 236, 230},
}};

// Steps of the colour table: one per half height unit (value >> 7).
constexpr int kRampSteps = 512;
constexpr int kRampTop = 256;  // height 128

constexpr QRgb kGridColour = 0xfff2dc50;
constexpr QRgb kWireColour = 0xff202020;

using ColourTable = std::array<std::array<float, 3>, kRampSteps>;

ColourTable make_colour_table() {
  ColourTable table{};
  for (int i = 0; i < kRampSteps; ++i) {
    const float t = static_cast<float>(std::min(i, kRampTop)) / kRampTop * (kRamp.size() - 1);
    const size_t lo = std::min(static_cast<size_t>(t), kRamp.size() - 2);
    const float f = t - static_cast<float>(lo);
    for (int c = 0; c < 3; ++c) table[i][c] = kRamp[lo][c] + (kRamp[lo + 1][c] - kRamp[lo][c]) * f;
  }
  return table;
}

bool valid_sector(int sector) {
  return sector >= 0 && sector < sector_count(kGridSize, kSmallestBlockSize);
}

bool valid_lod(int lod) {
  return lod >= 0 && lod < kLodSlots && lod % 2 == 0;
}

double scale_of(double extent) {
  return std::max(0.0, extent - 1.0) / kGridSize;
}

tools::Error bad_argument(const std::string& text) {
  return tools::Error{kIoBadArgument, text, {}, tools::ErrorKind::kBadArgument};
}

bool exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

QImage render_relief(std::span<const uint16_t> heights) {
  if (heights.size() != kHeightValues) return {};
  static const ColourTable colours = make_colour_table();
  QImage image(kGridSize, kGridSize, QImage::Format_RGB32);
  // A height value is height * 256; the central difference spans two steps.
  constexpr float kSlope = kExaggeration / (2.0f * 256.0f);
  for (int z = 0; z < kGridSize; ++z) {
    const uint16_t* row = heights.data() + static_cast<size_t>(z) * kGridSize;
    const uint16_t* north = heights.data() + static_cast<size_t>(std::max(z - 1, 0)) * kGridSize;
    const uint16_t* south = heights.data() + static_cast<size_t>(std::min(z + 1, kGridSize - 1)) * kGridSize;
    // One-sided differences at the edges count a single step.
    const float z_slope = (z == 0 || z == kGridSize - 1) ? 2 * kSlope : kSlope;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(z));
    for (int x = 0; x < kGridSize; ++x) {
      const int west = std::max(x - 1, 0), east = std::min(x + 1, kGridSize - 1);
      const float x_slope = (x == 0 || x == kGridSize - 1) ? 2 * kSlope : kSlope;
      const float dx = static_cast<float>(row[east] - row[west]) * x_slope;
      const float dz = static_cast<float>(south[x] - north[x]) * z_slope;
      // The surface normal (-dx, 1, -dz), normalised, against the light.
      const float lambert = (-dx * kLightX + kLightY - dz * kLightZ) / std::sqrt(dx * dx + 1.0f + dz * dz);
      const float shade = kAmbient + (1.0f - kAmbient) * std::max(lambert, 0.0f);
      const std::array<float, 3>& c = colours[row[x] >> 7];
      out[x] = qRgb(static_cast<int>(c[0] * shade), static_cast<int>(c[1] * shade), static_cast<int>(c[2] * shade));
    }
  }
  return image;
}

QPointF target_point(const QRectF& target, QPointF grid) {
  return {target.left() + grid.x() * scale_of(target.width()), target.top() + grid.y() * scale_of(target.height())};
}

QPointF grid_point(const QRectF& target, QPointF device) {
  const double sx = scale_of(target.width()), sy = scale_of(target.height());
  return {sx > 0 ? (device.x() - target.left()) / sx : 0.0, sy > 0 ? (device.y() - target.top()) / sy : 0.0};
}

void draw_block_grid(QPainter& painter, const QRectF& target, int sector) {
  if (!valid_sector(sector)) return;
  const int size = block_size(sector);
  QList<QLineF> lines;
  for (int b = 0; b <= kGridSize; b += size) {
    lines.append(QLineF(target_point(target, QPointF(b, 0)), target_point(target, QPointF(b, kGridSize))));
    lines.append(QLineF(target_point(target, QPointF(0, b)), target_point(target, QPointF(kGridSize, b))));
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor::fromRgb(kGridColour), 0));
  painter.drawLines(lines);
  painter.restore();
}

QPoint block_origin_at(int sector, QPointF grid_point) {
  const int size = block_size(std::clamp(sector, 0, sector_count(kGridSize, kSmallestBlockSize) - 1));
  const auto origin = [size](double v) {
    if (!(v > 0)) return 0;  // also a point that is not a number
    const int cell = static_cast<int>(std::floor(std::min(v, double{kGridSize - 1})));
    return cell / size * size;
  };
  return {origin(grid_point.x()), origin(grid_point.y())};
}

void draw_block_wireframe(QPainter& painter, const QRectF& target, const PackedBlockMesh& mesh, int sector, int lod) {
  if (!valid_sector(sector) || lod < 0 || lod >= kLodSlots) return;
  const LodList& list = mesh.lods[static_cast<size_t>(lod)];
  const std::vector<uint16_t>& s = list.indices;
  const size_t vertices = mesh.vertex_count();
  const int size = block_size(sector);

  // Edges as (lower index, higher index) in one word, sorted so that an edge
  // two triangles share is drawn once.
  std::vector<uint32_t> edges;
  const auto add = [&](uint16_t a, uint16_t b, uint16_t c) {
    if (a == b || b == c || a == c || a >= vertices || b >= vertices || c >= vertices) return;
    const auto edge = [](uint16_t p, uint16_t q) { return std::min(p, q) << 16 | std::max(p, q); };
    edges.push_back(edge(a, b));
    edges.push_back(edge(b, c));
    edges.push_back(edge(c, a));
  };
  if (list.kind == ListKind::kStrip) {
    const size_t n = std::min<size_t>(list.count, s.size());
    for (size_t i = 0; i + 2 < n; ++i) add(s[i], s[i + 1], s[i + 2]);
  } else {
    const size_t n = std::min<size_t>(list.count, s.size() / 3);
    for (size_t t = 0; t < n; ++t) add(s[3 * t], s[3 * t + 1], s[3 * t + 2]);
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  const auto inside = [size](const VertexOffset& o) { return o.dx <= size && o.dz <= size; };
  const auto at = [&](const VertexOffset& o) {
    return target_point(target, QPointF(mesh.origin_x + o.dx, mesh.origin_z + o.dz));
  };
  QList<QLineF> lines;
  lines.reserve(static_cast<qsizetype>(edges.size()));
  for (uint32_t e : edges) {
    const VertexOffset& p = mesh.offsets[e >> 16];
    const VertexOffset& q = mesh.offsets[e & 0xffff];
    if (inside(p) && inside(q)) lines.append(QLineF(at(p), at(q)));
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor::fromRgb(kWireColour), 0));
  painter.drawLines(lines);
  painter.restore();
}

tools::Result<PackedBlockMesh> read_block_for_view(const std::string& path, int sector, int origin_x, int origin_z) {
  if (!valid_sector(sector)) return bad_argument("there is no sector " + std::to_string(sector));
  const int size = block_size(sector);
  if (origin_x < 0 || origin_z < 0 || origin_x >= kGridSize || origin_z >= kGridSize || origin_x % size != 0 ||
      origin_z % size != 0) {
    return bad_argument("no block of sector " + std::to_string(sector) + " starts at " + std::to_string(origin_x) +
                        ", " + std::to_string(origin_z));
  }
  const auto ox = static_cast<unsigned>(origin_x), oz = static_cast<unsigned>(origin_z);
  // The shared file, placed at this block, or else the block's own file.
  const auto read = [&](std::string_view ext) -> tools::Result<PackedBlockMesh> {
    if (const std::string shared = sector_file_name(path, sector, ext); exists(shared)) {
      tools::Result<PackedBlockMesh> mesh = read_block_mesh(shared);
      if (mesh && mesh->vertex_count() > 0) {
        mesh->origin_x = static_cast<uint16_t>(origin_x);
        mesh->origin_z = static_cast<uint16_t>(origin_z);
        return mesh;
      }
    }
    return read_block_mesh(block_file_name(path, sector, ox, oz, ext));
  };
  if (tools::Result<PackedBlockMesh> strips = read("tms"); strips && strips->vertex_count() > 0) return strips;
  return read("tml");
}

tools::Result<QImage> render_build(const std::string& path, int sector, int lod) {
  if (!valid_sector(sector)) return bad_argument("there is no sector " + std::to_string(sector) + " (0 to 4)");
  if (lod >= 0 && !valid_lod(lod)) {
    return bad_argument("there is no LOD slot " + std::to_string(lod) + " in a block file (0, 2, ..., 14)");
  }
  tools::Result<std::vector<uint16_t>> heights = read_height_file(height_file_name(path));
  if (!heights) return heights.error();
  QImage image = render_relief(*heights);
  const QRectF target(image.rect());
  QPainter painter(&image);
  if (lod >= 0) {
    const int size = block_size(sector);
    for (int z = 0; z < kGridSize; z += size) {
      for (int x = 0; x < kGridSize; x += size) {
        tools::Result<PackedBlockMesh> mesh = read_block_for_view(path, sector, x, z);
        if (!mesh) return mesh.error();
        draw_block_wireframe(painter, target, *mesh, sector, lod);
      }
    }
  }
  draw_block_grid(painter, target, sector);
  painter.end();
  return image;
}

tools::Status save_png(const QImage& image, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
    return tools::Error{kIoCannotOpen, path + ": cannot write: the picture cannot be made into a PNG",
                        tools::FileLocation{path}, tools::ErrorKind::kCannotWrite};
  }
  return tools::write_file_atomic(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace loamer::view
