#include "orvo/runtime/font.h"

#include <algorithm>

namespace orvo {

namespace {

int down4(int v) {
  return v >= 0 ? v & ~3 : -((-v + 3) & ~3);
}

uint32_t coverage(uint32_t pixel) {
  // White glyphs on black: the green channel is the coverage.
  return (pixel >> 8) & 0xFF;
}

}  // namespace

int font_baseline(int size, uint32_t flags) {
  int baseline = 0;
  if (flags & kFontGlow) baseline -= 3;
  if (flags & kFontItalic) baseline -= (size * 4) / 64;
  return baseline;
}

std::vector<GlyphPlacement> place_glyphs(int size_value, uint32_t flags,
                                         const std::function<GlyphExtent(int code)>& measure) {
  std::vector<GlyphPlacement> out;
  int page = 0, x = 0, y = 0;
  for (int code = kFirstFontCode; code <= kLastFontCode; ++code) {
    if (!font_has_glyph(code)) continue;
    const GlyphExtent e = measure(code);
    int gw = down4(e.w + 7);
    int gh = down4(e.h - 1);
    int cell_w = gw + 12;
    int cell_h = gh + 8;
    int offset = 4;
    if (flags & kFontItalic) {
      cell_w += down4(size_value / 4);
      gw += down4(size_value / 8);
    }
    if (flags & kFontOutline) {
      cell_w += 8;
      cell_h += 8;
      gw += 4;
      gh += 4;
    }
    if (flags & kFontGlow) {
      cell_w += 16;
      cell_h += 8;
      gw += 12;
      gh += 8;
      offset = 12;
    }
    if (x + cell_w > kFontPageSide) {
      y += cell_h;
      x = 0;
    }
    if (y + cell_h > kFontPageSide) {
      ++page;
      x = 0;
      y = 0;
    }
    out.push_back({code, page, x, y, gw, gh, x + offset});
    x += cell_w;
  }
  return out;
}

namespace {

// Coverage of every pixel, and the largest coverage within `radius` of it.
std::vector<uint8_t> spread(const std::vector<uint8_t>& cover, int side, int radius) {
  // Separable maximum: rows, then columns.
  std::vector<uint8_t> rows(cover.size()), out(cover.size());
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      uint8_t m = 0;
      for (int dx = std::max(0, x - radius); dx <= std::min(side - 1, x + radius); ++dx)
        m = std::max(m, cover[static_cast<size_t>(y * side + dx)]);
      rows[static_cast<size_t>(y * side + x)] = m;
    }
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      uint8_t m = 0;
      for (int dy = std::max(0, y - radius); dy <= std::min(side - 1, y + radius); ++dy)
        m = std::max(m, rows[static_cast<size_t>(dy * side + x)]);
      out[static_cast<size_t>(y * side + x)] = m;
    }
  return out;
}

std::vector<uint8_t> coverage_of(const FontPage& page) {
  std::vector<uint8_t> c(page.pixels.size());
  for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<uint8_t>(coverage(page.pixels[i]));
  return c;
}

// A pixel of a drawn page: grey value g (the glyph) over a black rim of
// alpha a. Kept as 0xAARRGGBB with the rim in alpha and the glyph in the
// colour, so the reduction can tell them apart.
uint32_t rim_pixel(uint32_t grey, uint32_t rim) {
  const uint32_t alpha = std::max(grey, rim);
  return (alpha << 24) | (grey << 16) | (grey << 8) | grey;
}

void apply_rim(FontPage& page, int radius, bool half) {
  const std::vector<uint8_t> cover = coverage_of(page);
  const std::vector<uint8_t> near = spread(cover, page.side, radius);
  for (size_t i = 0; i < page.pixels.size(); ++i) {
    const uint32_t rim = half ? near[i] / 2u : (near[i] != 0 ? 255u : 0u);
    page.pixels[i] = rim_pixel(cover[i], std::max<uint32_t>(rim, page.pixels[i] >> 24));
  }
}

}  // namespace

void apply_outline(FontPage& page) {
  apply_rim(page, 2, false);
}

void apply_glow(FontPage& page) {
  apply_rim(page, 4, true);
}

FontPage reduce_page(const FontPage& page) {
  FontPage out;
  const int factor = page.side / kFontTextureSide;
  out.side = kFontTextureSide;
  out.pixels.assign(static_cast<size_t>(out.side) * static_cast<size_t>(out.side), 0);
  if (factor <= 0) return out;
  const uint32_t n = static_cast<uint32_t>(factor * factor);
  for (int ty = 0; ty < out.side; ++ty)
    for (int tx = 0; tx < out.side; ++tx) {
      uint32_t grey = 0, alpha = 0;
      for (int y = ty * factor; y < (ty + 1) * factor; ++y)
        for (int x = tx * factor; x < (tx + 1) * factor; ++x) {
          const uint32_t p = page.pixels[static_cast<size_t>(y * page.side + x)];
          const uint32_t g = coverage(p);
          grey += g;
          // Pages without effects carry no alpha: the glyph is its own.
          alpha += std::max(p >> 24, g);
        }
      grey /= n;
      alpha /= n;
      // Colour: white where the glyph covers, black in the rim.
      const uint32_t c = alpha == 0 ? 255u : std::min(255u, grey * 255u / alpha);
      out.pixels[static_cast<size_t>(ty * out.side + tx)] = (alpha << 24) | (c << 16) | (c << 8) | c;
    }
  return out;
}

namespace {

float glyph_advance(const Font& font, const GlyphRect& g) {
  return (g.right - g.left) * kFontPageSide / 2.0f * font.scale;
}

}  // namespace

std::vector<GlyphQuad> layout_string(const Font& font, std::string_view text, float x, float y) {
  std::vector<GlyphQuad> quads;
  quads.reserve(text.size());
  const float top = y + static_cast<float>(font.baseline) * font.scale;
  for (const char ch : text) {
    const GlyphRect& g = font.glyphs[static_cast<unsigned char>(ch)];
    if (g.page < 0) {
      x += static_cast<float>(font.size) / 4.0f * font.scale;
      continue;
    }
    const float w = glyph_advance(font, g);
    const float h = (g.bottom - g.top) * kFontPageSide / 2.0f * font.scale;
    quads.push_back({g.page, x, top, x + w, top + h, g.left, g.top, g.right, g.bottom});
    x += w;
  }
  return quads;
}

float string_width(const Font& font, std::string_view text) {
  float w = 0;
  for (const char ch : text) {
    const GlyphRect& g = font.glyphs[static_cast<unsigned char>(ch)];
    w += g.page < 0 ? static_cast<float>(font.size) / 4.0f * font.scale : glyph_advance(font, g);
  }
  return w;
}

}  // namespace orvo
