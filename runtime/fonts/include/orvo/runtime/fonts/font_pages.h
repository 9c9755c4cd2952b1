#pragma once
// Drawing a preview font's glyph pages with a system font (Qt's font
// rendering; a QGuiApplication must exist). The layout, effects and
// reduction are font.h's; the page textures are made through `make_texture`.

#include <functional>
#include <string>

#include "orvo/runtime/font.h"
#include "tools/base/system_log.h"

namespace orvo {

// Makes one page texture; returns its handle (0: none).
using FontTextureMaker =
    std::function<int32_t(const std::string& key, const FontPage& page, int format, uint32_t flags)>;

// Creates `font` from the system font `face` of `size` with `flags`: the
// font's character height is 2 x size x dpi / 72 pixels, bold 700 or 400,
// italic, antialiased, white on black. Returns 0, or kFontCreationFailed
// (the font then has no pages) when the face gives no usable font. When a
// log is given, one line says which family the system drew `face` with:
// "Font:     'Arial' drawn as 'DejaVu Sans'\n".
int32_t create_font(Font& font, const std::string& face, int size, uint32_t flags, const FontTextureMaker& make_texture,
                    int dpi = 96, tools::SystemLog* log = nullptr);

}  // namespace orvo
