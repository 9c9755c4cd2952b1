// DirectDraw Surface reader.
#include "orvo/image/dds.h"

#include <array>
#include <new>

#include "image_io.h"

namespace orvo {
namespace {

using detail::bad_data;
using detail::byte_at;
using detail::cut_short;

constexpr std::size_t kMagicBytes = 4;
constexpr std::size_t kHeaderBytes = 124;
constexpr std::size_t kDataStart = kMagicBytes + kHeaderBytes;
constexpr std::size_t kPixelFormat = 76;  // offsets from the start of the file

constexpr uint32_t kHeaderDepth = 0x800000;
constexpr uint32_t kCaps2Cubemap = 0x200;
constexpr uint32_t kCaps2Volume = 0x200000;
constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfFourCc = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;

uint32_t u32_at(std::string_view b, std::size_t at) {
  return byte_at(b, at) | (byte_at(b, at + 1) << 8) | (byte_at(b, at + 2) << 16) |
         (static_cast<uint32_t>(byte_at(b, at + 3)) << 24);
}

constexpr uint32_t four_cc(const char (&s)[5]) {
  return static_cast<uint8_t>(s[0]) | (static_cast<uint8_t>(s[1]) << 8) | (static_cast<uint8_t>(s[2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

std::string four_cc_text(uint32_t code) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    out += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return out;
}

// The byte of a pixel that `mask` selects, or -1 when the mask is not one
// whole byte inside `bytes_per_pixel`.
int mask_byte(uint32_t mask, int bytes_per_pixel) {
  for (int i = 0; i < bytes_per_pixel; ++i)
    if (mask == (0xFFu << (8 * i))) return i;
  return -1;
}

// Reads the uncompressed layout from the pixel format; an empty message when
// it is one this reader decodes.
std::string uncompressed_layout(std::string_view b, DdsFile& dds) {
  const uint32_t flags = u32_at(b, kPixelFormat + 4), bits = u32_at(b, kPixelFormat + 12);
  const uint32_t rmask = u32_at(b, kPixelFormat + 16), gmask = u32_at(b, kPixelFormat + 20),
                 bmask = u32_at(b, kPixelFormat + 24), amask = u32_at(b, kPixelFormat + 28);
  if ((flags & kPfLuminance) != 0 && (flags & kPfAlphaPixels) == 0 && bits == 8) {
    dds.format = DdsFormat::kLuminance8;
    return {};
  }
  if ((flags & kPfRgb) == 0) return "the pixel format is neither compressed nor RGB nor 8-bit luminance";
  if (bits != 24 && bits != 32) return std::to_string(bits) + "-bit colour is not supported (only 24 and 32 bits)";
  const int bpp = static_cast<int>(bits / 8);
  dds.format = bpp == 4 ? DdsFormat::kRgb32 : DdsFormat::kRgb24;
  dds.red_byte = mask_byte(rmask, bpp);
  dds.green_byte = mask_byte(gmask, bpp);
  dds.blue_byte = mask_byte(bmask, bpp);
  dds.alpha_byte = (flags & kPfAlphaPixels) != 0 && bpp == 4 ? mask_byte(amask, bpp) : -1;
  const bool distinct = dds.red_byte != dds.green_byte && dds.green_byte != dds.blue_byte &&
                        dds.red_byte != dds.blue_byte && dds.alpha_byte != dds.red_byte &&
                        dds.alpha_byte != dds.green_byte && dds.alpha_byte != dds.blue_byte;
  if (dds.red_byte < 0 || dds.green_byte < 0 || dds.blue_byte < 0 || !distinct ||
      ((flags & kPfAlphaPixels) != 0 && bpp == 4 && dds.alpha_byte < 0))
    return "colour masks that are not one whole byte each are not supported";
  return {};
}

// 5:6:5 colour widened to 8 bits a channel, opaque.
uint32_t colour565(uint32_t v) {
  const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
  return argb(255, (r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
}

uint32_t channel(uint32_t c, int shift) {
  return (c >> shift) & 0xFF;
}

uint32_t mix(uint32_t c0, uint32_t c1, uint32_t w0, uint32_t w1, uint32_t d) {
  const auto m = [&](int s) { return (channel(c0, s) * w0 + channel(c1, s) * w1) / d; };
  return argb(255, m(16), m(8), m(0));
}

// The 16 colours of a colour block, row by row. `three_colour_mode` allows
// DXT1's mode with transparent black at index 3.
std::array<uint32_t, 16> colour_block(const uint8_t* p, bool allow_three_colours) {
  const uint32_t v0 = p[0] | (p[1] << 8), v1 = p[2] | (p[3] << 8);
  const uint32_t c0 = colour565(v0), c1 = colour565(v1);
  std::array<uint32_t, 4> c{c0, c1, 0, 0};
  if (v0 > v1 || !allow_three_colours) {
    c[2] = mix(c0, c1, 2, 1, 3);
    c[3] = mix(c0, c1, 1, 2, 3);
  } else {
    c[2] = mix(c0, c1, 1, 1, 2);
    c[3] = 0;  // transparent black
  }
  const uint32_t bits = p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<uint32_t>(p[7]) << 24);
  std::array<uint32_t, 16> out{};
  for (int i = 0; i < 16; ++i) out[i] = c[(bits >> (2 * i)) & 3];
  return out;
}

std::array<uint32_t, 16> explicit_alpha(const uint8_t* p) {
  std::array<uint32_t, 16> out{};
  for (int i = 0; i < 16; ++i) out[i] = ((p[i / 2] >> (4 * (i % 2))) & 0xF) * 17;
  return out;
}

std::array<uint32_t, 16> interpolated_alpha(const uint8_t* p) {
  const uint32_t a0 = p[0], a1 = p[1];
  std::array<uint32_t, 8> a{a0, a1};
  if (a0 > a1) {
    for (uint32_t i = 1; i <= 6; ++i) a[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (uint32_t i = 1; i <= 4; ++i) a[i + 1] = ((5 - i) * a0 + i * a1) / 5;
    a[6] = 0;
    a[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(p[2 + i]) << (8 * i);
  std::array<uint32_t, 16> out{};
  for (int i = 0; i < 16; ++i) out[i] = a[(bits >> (3 * i)) & 7];
  return out;
}

void decode_blocks(const DdsFile& dds, const uint8_t* data, int w, int h, std::vector<uint32_t>& px) {
  const std::size_t block_bytes = dds.format == DdsFormat::kDxt1 ? 8 : 16;
  const int bw = (w + 3) / 4, bh = (h + 3) / 4;
  for (int by = 0; by < bh; ++by) {
    for (int bx = 0; bx < bw; ++bx) {
      const uint8_t* p = data + (static_cast<std::size_t>(by) * bw + bx) * block_bytes;
      std::array<uint32_t, 16> colours;
      if (dds.format == DdsFormat::kDxt1) {
        colours = colour_block(p, true);
      } else {
        const auto alpha = dds.format == DdsFormat::kDxt3 ? explicit_alpha(p) : interpolated_alpha(p);
        colours = colour_block(p + 8, false);
        for (int i = 0; i < 16; ++i) colours[i] = (colours[i] & 0xFFFFFF) | (alpha[i] << 24);
      }
      for (int y = 0; y < 4 && by * 4 + y < h; ++y)
        for (int x = 0; x < 4 && bx * 4 + x < w; ++x)
          px[static_cast<std::size_t>(by * 4 + y) * w + bx * 4 + x] = colours[y * 4 + x];
    }
  }
}

}  // namespace

std::size_t dds_level_size(DdsFormat format, int width, int height) {
  const auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  switch (format) {
    case DdsFormat::kDxt1: return ((w + 3) / 4) * ((h + 3) / 4) * 8;
    case DdsFormat::kDxt3:
    case DdsFormat::kDxt5: return ((w + 3) / 4) * ((h + 3) / 4) * 16;
    case DdsFormat::kRgb32: return w * h * 4;
    case DdsFormat::kRgb24: return w * h * 3;
    case DdsFormat::kLuminance8: return w * h;
  }
  return 0;
}

namespace {

// The header's fields checked against what this reader decodes: the format,
// the size and the level count, no levels yet. `b` holds at least the
// file's first 128 bytes, or the whole file when it is shorter.
tools::Result<DdsFile> read_header(std::string_view b, const std::string& name, uint32_t& count) {
  if (b.size() < kDataStart) return cut_short(name, b.size(), "the DDS header");
  if (b.substr(0, 4) != "DDS ") return bad_data(name, 0, "not a DDS file (no \"DDS \" at the start)");
  if (u32_at(b, 4) != kHeaderBytes)
    return bad_data(name, 4, "header size " + std::to_string(u32_at(b, 4)) + " is not 124");
  if (u32_at(b, kPixelFormat) != 32)
    return bad_data(name, kPixelFormat, "pixel format size " + std::to_string(u32_at(b, kPixelFormat)) + " is not 32");

  DdsFile dds;
  const uint32_t height = u32_at(b, 12), width = u32_at(b, 16);
  if (width == 0 || height == 0) return bad_data(name, width == 0 ? 16 : 12, "the image has no pixels");
  if (width > static_cast<uint32_t>(kMaxImageSide) || height > static_cast<uint32_t>(kMaxImageSide))
    return detail::too_large(name, width > static_cast<uint32_t>(kMaxImageSide) ? 16 : 12,
                             static_cast<int>(std::min<uint32_t>(width, 0x7FFFFFFF)),
                             static_cast<int>(std::min<uint32_t>(height, 0x7FFFFFFF)));
  dds.width = static_cast<int>(width);
  dds.height = static_cast<int>(height);

  if ((u32_at(b, 112) & kCaps2Cubemap) != 0) return bad_data(name, 112, "cube maps are not supported");
  if ((u32_at(b, 112) & kCaps2Volume) != 0 || (u32_at(b, 8) & kHeaderDepth) != 0)
    return bad_data(name, (u32_at(b, 112) & kCaps2Volume) != 0 ? 112 : 8, "volume textures are not supported");

  const uint32_t pf_flags = u32_at(b, kPixelFormat + 4);
  if ((pf_flags & kPfFourCc) != 0) {
    const uint32_t code = u32_at(b, kPixelFormat + 8);
    if (code == four_cc("DXT1")) {
      dds.format = DdsFormat::kDxt1;
    } else if (code == four_cc("DXT3")) {
      dds.format = DdsFormat::kDxt3;
    } else if (code == four_cc("DXT5")) {
      dds.format = DdsFormat::kDxt5;
    } else {
      return bad_data(name, kPixelFormat + 8, "compression \"" + four_cc_text(code) + "\" is not supported");
    }
  } else if (std::string why = uncompressed_layout(b, dds); !why.empty()) {
    return bad_data(name, kPixelFormat + 4, why);
  }

  // A chain ends at 1 x 1: no more levels than the larger side halves into.
  int most_levels = 1;
  for (uint32_t side = std::max(width, height); side > 1; side /= 2) ++most_levels;
  count = std::max<uint32_t>(u32_at(b, 28), 1);
  if (count > static_cast<uint32_t>(most_levels))
    return bad_data(name, 28,
                    std::to_string(count) + " mip levels are more than " + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels can have (" + std::to_string(most_levels) + ")");
  return dds;
}

// The levels of `count`, each checked against the file's length before any
// pixel memory exists. Sides are at most kMaxImageSide, so no level size
// and no sum of at most 15 of them overflows.
tools::Status lay_out_levels(DdsFile& dds, uint32_t count, std::uint64_t file_size, const std::string& name) {
  const auto length = static_cast<std::size_t>(file_size);
  std::size_t at = kDataStart;
  int w = dds.width, h = dds.height;
  try {
    dds.levels.reserve(count);
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(name);
  }
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t size = dds_level_size(dds.format, w, h);
    if (size > length - at) return cut_short(name, length, "mip level " + std::to_string(i));
    dds.levels.push_back({at, size, w, h});
    at += size;
    w = std::max(w / 2, 1);
    h = std::max(h / 2, 1);
  }
  return {};
}

// Bits a pixel takes in the file (a DXT block holds 16 pixels).
int stored_bits(DdsFormat format) {
  switch (format) {
    case DdsFormat::kDxt1: return 4;
    case DdsFormat::kDxt3:
    case DdsFormat::kDxt5: return 8;
    case DdsFormat::kRgb32: return 32;
    case DdsFormat::kRgb24: return 24;
    case DdsFormat::kLuminance8: return 8;
  }
  return 0;
}

// What the header declares, with the decoded size of all `count` levels.
PictureInfo info_of(const DdsFile& dds, uint32_t count) {
  PictureInfo info{PictureKind::kDds,       dds.width, dds.height, stored_bits(dds.format), false, false,
                   static_cast<int>(count), 0};
  uint64_t w = static_cast<uint64_t>(dds.width), h = static_cast<uint64_t>(dds.height);
  for (uint32_t i = 0; i < count; ++i) {
    info.decoded_bytes += decoded_picture_bytes(w, h);
    w = std::max<uint64_t>(w / 2, 1);
    h = std::max<uint64_t>(h / 2, 1);
  }
  return info;
}

}  // namespace

tools::Result<PictureInfo> probe_dds(std::string_view b, const std::string& name) {
  uint32_t count = 0;
  tools::Result<DdsFile> dds = read_header(b, name, count);
  if (!dds) return dds.error();
  if (tools::Status s = lay_out_levels(*dds, count, b.size(), name); !s) return s.error();
  return info_of(*dds, count);
}

tools::Result<PictureInfo> probe_dds(const std::string& path) {
  const tools::Result<tools::FileEnds> ends = detail::read_image_ends(path, kDataStart, 0);
  if (!ends) return ends.error();
  uint32_t count = 0;
  tools::Result<DdsFile> dds = read_header(ends->head, path, count);
  if (!dds) return dds.error();
  if (tools::Status s = lay_out_levels(*dds, count, ends->size, path); !s) return s.error();
  return info_of(*dds, count);
}

tools::Result<DdsFile> decode_dds(std::string_view b, const std::string& name) {
  uint32_t count = 0;
  tools::Result<DdsFile> dds = read_header(b, name, count);
  if (!dds) return dds.error();
  if (tools::Status s = lay_out_levels(*dds, count, b.size(), name); !s) return s.error();
  // The device may decode every level to pixels.
  if (tools::Status s = detail::check_decode_budget(info_of(*dds, count), name); !s) return s.error();
  dds->bytes = b;
  try {
    dds->name = name;
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(name);
  }
  return dds;
}

tools::Result<DdsFile> read_dds(const std::string& path) {
  // The header first: a file the header rules out, or levels over the
  // budget, are refused before the file is read.
  const tools::Result<PictureInfo> info = probe_dds(path);
  if (!info) return info.error();
  if (tools::Status s = detail::check_decode_budget(*info, path); !s) return s.error();
  tools::Result<std::string> data = detail::read_image_file(path);
  if (!data) return data.error();
  std::shared_ptr<const std::string> storage;
  try {
    storage = std::make_shared<const std::string>(std::move(*data));
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(path);
  }
  tools::Result<DdsFile> dds = decode_dds(*storage, path);
  if (dds) dds->storage = std::move(storage);
  return dds;
}

tools::Result<Image> dds_to_image(const DdsFile& dds, int level) {
  if (level < 0 || static_cast<std::size_t>(level) >= dds.levels.size())
    return tools::Error{
        kImageBadFile, "the DDS file has no mip level " + std::to_string(level), {}, tools::ErrorKind::kBadArgument};
  const DdsLevel& lv = dds.levels[static_cast<std::size_t>(level)];
  Image image;
  image.width = lv.width;
  image.height = lv.height;
  try {
    image.pixels.resize(static_cast<std::size_t>(lv.width) * static_cast<std::size_t>(lv.height));
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(dds.name);
  }
  const auto* data = reinterpret_cast<const uint8_t*>(dds.level_bytes(static_cast<std::size_t>(level)).data());
  if (dds.compressed()) {
    decode_blocks(dds, data, lv.width, lv.height, image.pixels);
    return image;
  }
  const std::size_t bpp = dds.format == DdsFormat::kRgb32 ? 4 : (dds.format == DdsFormat::kRgb24 ? 3 : std::size_t{1});
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const uint8_t* p = data + i * bpp;
    if (dds.format == DdsFormat::kLuminance8) {
      image.pixels[i] = argb(255, p[0], p[0], p[0]);
    } else {
      const uint32_t a = dds.alpha_byte >= 0 ? p[dds.alpha_byte] : 255;
      image.pixels[i] = argb(a, p[dds.red_byte], p[dds.green_byte], p[dds.blue_byte]);
    }
  }
  return image;
}

}  // namespace orvo
