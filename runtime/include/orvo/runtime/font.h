#pragma once
// The preview's fonts: glyph atlases made once from a system font. Every
// character 32 .. 254 (but 127, 128 and 129) is drawn into 1024 x 1024
// pages in rows of cells; each finished page is reduced to 256 x 256 and
// becomes a texture, and every character keeps its page and its rectangle
// in page coordinates / 1024. Strings are then drawn as one textured quad
// per character.
//
// This header is the window-system-free half: the cell layout, the page
// effects and reduction, and the string layout. Drawing the glyphs with a
// system font is font_pages.h (Qt); making textures is the caller's (the
// graphics layer's) through a callback.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

inline constexpr int kFontPageSide = 1024;
inline constexpr int kFontTextureSide = 256;
inline constexpr int kMaxFontPages = 16;
inline constexpr int kFirstFontCode = 32;
inline constexpr int kLastFontCode = 254;
// The texture key of a page: font identity, page number.
inline constexpr const char* kFontPageKeyFormat = "GFONT%8X:%02ld";
inline constexpr int kFontPageFormat = 0;
inline constexpr uint32_t kFontPageFlags = 0x140001;
// What font creation returns when the system font cannot be made.
inline constexpr int32_t kFontCreationFailed = static_cast<int32_t>(0x80004005u);

enum FontFlags : uint32_t {
  kFontBold = 1u << 0,
  kFontItalic = 1u << 1,
  kFontOutline = 1u << 2,
  kFontGlow = 1u << 3,
  kFontKeepPixels = 1u << 8,  // keep a copy of each page's 256 x 256 pixels
};

// Whether a character code gets a glyph (32 .. 254 without 127 .. 129).
constexpr bool font_has_glyph(int code) {
  return code >= kFirstFontCode && code <= kLastFontCode && (code < 127 || code > 129);
}

// The size value of a font (twice the requested size) and the baseline
// adjustment: 0, 3 less with the glow flag, (size x 4) / 64 less with italic.
constexpr int font_size_value(int size) {
  return 2 * size;
}
int font_baseline(int size, uint32_t flags);

// Where one character lies: its page, its cell's top-left corner (x, y), the
// glyph's width and height (gw, gh) and where the glyph is drawn (draw_x).
struct GlyphPlacement {
  int code = 0;
  int page = 0;
  int x = 0, y = 0;
  int gw = 0, gh = 0;
  int draw_x = 0;
};

// The extent (w, h) of one character as the system font measures it.
struct GlyphExtent {
  int w = 0, h = 0;
};

// Lays out every character with a glyph, in code order, as the cells of the
// atlas: cell width gw + 12, height gh + 8 with gw = (w + 7) rounded down to
// a multiple of 4 and gh = (h - 1) rounded down to a multiple of 4, grown for
// italic, outline and glow; a new row when the cell passes the right edge, a
// new page when it passes the bottom. `size_value` is font_size_value(size).
std::vector<GlyphPlacement> place_glyphs(int size_value, uint32_t flags,
                                         const std::function<GlyphExtent(int code)>& measure);

// A 32-bit page, 0xAARRGGBB, top row first.
struct FontPage {
  int side = 0;
  std::vector<uint32_t> pixels;
};

// The page effects, applied to a drawn page (white glyphs on black) before
// it is reduced. The glyphs' coverage is their grey value. Outline: every
// pixel within 2 pixels of a glyph pixel that is not itself covered becomes
// opaque black (a dark rim around white text). Glow: pixels within 4 pixels
// of a glyph get half the glyph's coverage as alpha, in black, under the
// glyph.
void apply_outline(FontPage& page);
void apply_glow(FontPage& page);

// The 1024 x 1024 page reduced to 256 x 256: each texel the average of its
// 4 x 4 block, as white with the average coverage as alpha (outline and
// glow rims keep their darkness in the colour).
FontPage reduce_page(const FontPage& page);

struct GlyphRect {
  int page = -1;  // -1: no glyph
  float left = 0, top = 0, right = 0, bottom = 0;
};

// A font of the preview: the layout and the page textures.
struct Font {
  std::string face;        // the system font's name as asked for
  std::string substitute;  // the family the system used for it
  int size = 0;
  int size_value = 0;
  uint32_t flags = 0;
  int baseline = 0;
  float scale = 1.0f;
  uint32_t identity = 0;
  int page_count = 0;
  std::array<int32_t, kMaxFontPages> page_textures{};
  std::vector<FontPage> kept_pages;  // with kFontKeepPixels
  std::array<GlyphRect, 256> glyphs{};
};

// One quad of a drawn string, in screen pixels, with its texture rectangle.
struct GlyphQuad {
  int page = 0;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

// The quads of `text` (bytes as character codes) drawn with its top-left
// corner at (x, y). The atlas was drawn at twice the font's size, so a glyph
// is (rectangle x 1024) / 2 x scale pixels on screen; the pen moves right by
// the glyph's width, and the quad's top lies at y plus the baseline
// adjustment x scale. Characters without a glyph advance by a quarter of
// the size and draw nothing.
std::vector<GlyphQuad> layout_string(const Font& font, std::string_view text, float x, float y);
// The width `text` takes on screen, for right-aligned text.
float string_width(const Font& font, std::string_view text);

}  // namespace orvo
