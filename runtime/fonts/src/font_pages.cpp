#include "orvo/runtime/fonts/font_pages.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <atomic>
#include <cstdio>

namespace orvo {

namespace {

// The characters 128 .. 159 of the code page the tool's texts are written
// in; the others are Latin-1.
constexpr char16_t kHighCodes[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar character(int code) {
  if (code >= 128 && code < 160) return QChar(kHighCodes[code - 128]);
  return QChar(static_cast<char16_t>(code));
}

std::atomic<uint32_t> next_identity{0x1000};

FontPage page_of(const QImage& image) {
  FontPage page;
  page.side = image.width();
  page.pixels.resize(static_cast<size_t>(page.side) * static_cast<size_t>(page.side));
  for (int y = 0; y < page.side; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    for (int x = 0; x < page.side; ++x) page.pixels[static_cast<size_t>(y * page.side + x)] = row[x] & 0x00FFFFFFu;
  }
  return page;
}

}  // namespace

int32_t create_font(Font& font, const std::string& face, int size, uint32_t flags, const FontTextureMaker& make_texture,
                    int dpi, tools::SystemLog* log) {
  font = Font{};
  font.face = face;
  font.size = size;
  font.size_value = font_size_value(size);
  font.flags = flags;
  font.baseline = font_baseline(size, flags);
  font.identity = next_identity++;
  for (GlyphRect& g : font.glyphs) g = GlyphRect{};

  const int pixels = font.size_value * dpi / 72;
  if (face.empty() || pixels <= 0 || pixels > kFontPageSide / 2) return kFontCreationFailed;
  QFont qfont(QString::fromStdString(face));
  qfont.setPixelSize(pixels);
  qfont.setWeight((flags & kFontBold) ? QFont::Bold : QFont::Normal);
  qfont.setItalic((flags & kFontItalic) != 0);
  qfont.setStyleStrategy(QFont::PreferAntialias);
  const QFontInfo info(qfont);
  font.substitute = info.family().toStdString();
  if (log != nullptr) {
    char line[300];
    std::snprintf(line, sizeof line, "Font:     '%s' drawn as '%s'\n", face.c_str(), font.substitute.c_str());
    log->write(line);
  }
  const QFontMetrics metrics(qfont);

  const std::vector<GlyphPlacement> placed = place_glyphs(font.size_value, flags, [&](int code) {
    return GlyphExtent{metrics.horizontalAdvance(character(code)), metrics.height()};
  });

  QImage image(kFontPageSide, kFontPageSide, QImage::Format_RGB32);
  int page = 0;
  auto finish_page = [&] {
    FontPage drawn = page_of(image);
    if (flags & kFontOutline) apply_outline(drawn);
    if (flags & kFontGlow) apply_glow(drawn);
    FontPage reduced = reduce_page(drawn);
    char key[48];
    std::snprintf(key, sizeof key, kFontPageKeyFormat, font.identity, static_cast<long>(page));
    if (page < kMaxFontPages)
      font.page_textures[static_cast<size_t>(page)] =
          make_texture ? make_texture(key, reduced, kFontPageFormat, kFontPageFlags) : 0;
    if (flags & kFontKeepPixels) font.kept_pages.push_back(std::move(reduced));
    ++font.page_count;
  };
  auto clear = [&] { image.fill(Qt::black); };
  clear();
  {
    auto painter = std::make_unique<QPainter>(&image);
    auto set_up = [&] {
      painter->setFont(qfont);
      painter->setPen(Qt::white);
      painter->setRenderHint(QPainter::TextAntialiasing, true);
    };
    set_up();
    for (const GlyphPlacement& g : placed) {
      if (g.page != page) {
        painter.reset();
        finish_page();
        clear();
        page = g.page;
        painter = std::make_unique<QPainter>(&image);
        set_up();
      }
      painter->drawText(QPoint(g.draw_x, g.y + metrics.ascent()), QString(character(g.code)));
      // Pages past the last one the font can hold keep their layout but
      // get no texture.
      GlyphRect& r = font.glyphs[static_cast<size_t>(g.code)];
      r.page = g.page;
      r.left = static_cast<float>(g.x) / kFontPageSide;
      r.top = static_cast<float>(g.y) / kFontPageSide;
      r.right = static_cast<float>(g.x + g.gw) / kFontPageSide;
      r.bottom = static_cast<float>(g.y + g.gh) / kFontPageSide;
    }
  }
  finish_page();
  return 0;
}

}  // namespace orvo
