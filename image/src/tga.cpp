// Truevision TGA reader.
#include <array>
#include <cstring>
#include <new>

#include "image_io.h"
#include "orvo/image/image.h"

namespace orvo {
namespace {

using detail::bad_data;
using detail::byte_at;
using detail::cut_short;
using detail::u16_at;

constexpr std::size_t kHeaderBytes = 18;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopDown = 0x20;

enum class Kind { kMapped, kTrueColour, kGrey };

struct Header {
  int id_length, map_type, image_type, map_first, map_length, map_bits, width, height, depth, descriptor;
};

Header parse_header(std::string_view b) {
  return Header{byte_at(b, 0), byte_at(b, 1), byte_at(b, 2), u16_at(b, 3),   u16_at(b, 5),
                byte_at(b, 7), u16_at(b, 12), u16_at(b, 14), byte_at(b, 16), byte_at(b, 17)};
}

// A colour stored in 15, 16 (5 bits each of red, green, blue; the top bit
// is not taken as alpha), 24 (blue, green, red) or 32 bits (blue, green,
// red, alpha).
uint32_t stored_colour(const uint8_t* p, int bits) {
  if (bits == 15 || bits == 16) {
    const uint32_t v = p[0] | (p[1] << 8);
    const auto widen = [](uint32_t five) { return (five << 3) | (five >> 2); };
    return argb(255, widen((v >> 10) & 31), widen((v >> 5) & 31), widen(v & 31));
  }
  if (bits == 24) return argb(255, p[2], p[1], p[0]);
  return argb(p[3], p[2], p[1], p[0]);
}

bool is_colour_depth(int bits) {
  return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Checks the header against what this reader decodes; an empty message when
// it is fine, else the offset of the field at fault goes to `at`.
std::string check_header(const Header& h, Kind kind, std::size_t& at) {
  const std::string depth = std::to_string(h.depth);
  if (h.map_type > 1) {
    at = 1;
    return "colour map type " + std::to_string(h.map_type) + " is unknown";
  }
  switch (kind) {
    case Kind::kMapped:
      at = h.map_type != 1 ? 1 : (h.depth != 8 ? 16 : 7);
      if (h.map_type != 1) return "the colour-mapped image has no colour map";
      if (h.depth != 8) return "colour-mapped images with " + depth + "-bit indices are not read";
      if (!is_colour_depth(h.map_bits))
        return "colour map entries of " + std::to_string(h.map_bits) + " bits are not read";
      break;
    case Kind::kTrueColour:
      at = 16;
      if (!is_colour_depth(h.depth)) return "true-colour images of " + depth + " bits per pixel are not read";
      break;
    case Kind::kGrey:
      at = 16;
      if (h.depth != 8 && h.depth != 16) return "grey images of " + depth + " bits per pixel are not read";
      break;
  }
  at = 12;
  if (h.width == 0 || h.height == 0) return "the image has no pixels";
  return {};
}

// Expands run-length packets from `at` into `count` stored pixels of
// `size` bytes each. A packet's first byte holds the pixel count less one
// in its low 7 bits; with the top bit set one stored pixel follows that is
// repeated, otherwise that many stored pixels follow.
tools::Status unpack_runs(std::string_view b, std::size_t at, std::size_t count, std::size_t size, std::string& out,
                          const std::string& name) {
  std::size_t filled = 0;
  while (filled < count) {
    if (at >= b.size()) return cut_short(name, at, "the run-length packets");
    const uint8_t head = byte_at(b, at);
    const std::size_t n = (head & 0x7Fu) + 1;
    if (n > count - filled) {
      return bad_data(name, at,
                      "a packet of " + std::to_string(n) + " pixels runs past the end of the image (pixel " +
                          std::to_string(filled) + " of " + std::to_string(count) + ")");
    }
    ++at;
    const std::size_t take = (head & 0x80) != 0 ? size : n * size;
    if (b.size() - at < take) return cut_short(name, at, "a run-length packet");
    char* dest = out.data() + filled * size;
    if ((head & 0x80) != 0) {
      for (std::size_t k = 0; k < n; ++k) std::memcpy(dest + k * size, b.data() + at, size);
    } else {
      std::memcpy(dest, b.data() + at, take);
    }
    at += take;
    filled += n;
  }
  return {};
}

// What the header declares, and where the parts of the file lie.
struct Layout {
  Header h;
  Kind kind = Kind::kMapped;
  bool rle = false;
  std::size_t map_at = 0;      // the colour map (after the identification field)
  std::size_t entry_size = 0;  // bytes of a colour map entry
  std::size_t pixels_at = 0;   // the pixels or their run-length packets
  std::size_t size = 0;        // bytes of a stored pixel
  std::size_t count = 0;       // pixels

  PictureInfo info() const {
    return PictureInfo{
        PictureKind::kTga,
        h.width,
        h.height,
        h.depth,
        kind == Kind::kMapped,
        rle,
        1,
        decoded_picture_bytes(static_cast<std::uint64_t>(h.width), static_cast<std::uint64_t>(h.height))};
  }
};

// The header's fields checked against what this reader decodes; `b` holds
// at least the file's first 18 bytes, or the whole file when it is shorter.
tools::Result<Layout> read_header(std::string_view b, const std::string& name) {
  if (b.size() < kHeaderBytes) return cut_short(name, b.size(), "the 18-byte header");
  Layout l;
  l.h = parse_header(b);
  const Header& h = l.h;
  l.rle = h.image_type >= 9;
  switch (h.image_type) {
    case 1:
    case 9: l.kind = Kind::kMapped; break;
    case 2:
    case 10: l.kind = Kind::kTrueColour; break;
    case 3:
    case 11: l.kind = Kind::kGrey; break;
    default:
      return bad_data(name, 2, "image type " + std::to_string(h.image_type) + " is not read (only 1, 2, 3, 9, 10, 11)");
  }
  std::size_t field = 0;
  if (std::string problem = check_header(h, l.kind, field); !problem.empty()) {
    return bad_data(name, field, problem);
  }
  if (h.width > kMaxImageSide || h.height > kMaxImageSide) return detail::too_large(name, 12, h.width, h.height);
  l.map_at = kHeaderBytes + static_cast<std::size_t>(h.id_length);
  l.entry_size = (static_cast<std::size_t>(h.map_bits) + 7) / 8;
  l.pixels_at = l.map_at + (h.map_type == 1 ? static_cast<std::size_t>(h.map_length) * l.entry_size : 0);
  l.size = (static_cast<std::size_t>(h.depth) + 7) / 8;
  l.count = static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height);
  return l;
}

// The file's length against what the header declares, before anything is
// allocated: the identification field and the colour map must be there,
// raw pixels must all be there, and a packet of 1 + size bytes gives at
// most 128 pixels.
tools::Status check_extent(const Layout& l, std::uint64_t file_size, const std::string& name) {
  const auto length = static_cast<std::size_t>(file_size);
  if (l.map_at > length) return cut_short(name, kHeaderBytes, "the image identification field");
  if (l.pixels_at > length) return cut_short(name, l.map_at, "the colour map");
  const std::size_t left = length - l.pixels_at;
  if (!l.rle && left / l.size < l.count) {
    return cut_short(name, l.pixels_at, "the pixels (" + std::to_string(l.count * l.size) + " bytes needed)");
  }
  if (l.rle && left / (1 + l.size) * 128 < l.count) return cut_short(name, l.pixels_at, "the run-length packets");
  return {};
}

}  // namespace

tools::Result<PictureInfo> probe_tga(std::string_view b, const std::string& name) {
  const tools::Result<Layout> layout = read_header(b, name);
  if (!layout) return layout.error();
  if (tools::Status s = check_extent(*layout, b.size(), name); !s) return s.error();
  return layout->info();
}

tools::Result<PictureInfo> probe_tga(const std::string& path) {
  const tools::Result<tools::FileEnds> ends = detail::read_image_ends(path, kHeaderBytes, 0);
  if (!ends) return ends.error();
  const tools::Result<Layout> layout = read_header(ends->head, path);
  if (!layout) return layout.error();
  if (tools::Status s = check_extent(*layout, ends->size, path); !s) return s.error();
  return layout->info();
}

tools::Result<Image> decode_tga(std::string_view b, const std::string& name) {
  const tools::Result<Layout> layout = read_header(b, name);
  if (!layout) return layout.error();
  const Layout& l = *layout;
  const Header& h = l.h;
  if (tools::Status s = check_extent(l, b.size(), name); !s) return s.error();
  if (tools::Status s = detail::check_decode_budget(l.info(), name); !s) return s.error();
  const Kind kind = l.kind;
  const bool rle = l.rle;
  const std::size_t map_at = l.map_at, entry_size = l.entry_size, at = l.pixels_at, size = l.size, count = l.count;

  Image image;
  image.width = h.width;
  image.height = h.height;
  std::string unpacked;
  std::string_view stored = b.substr(at);
  try {
    if (rle) {
      unpacked.resize(count * size);
      if (tools::Status s = unpack_runs(b, at, count, size, unpacked, name); !s) return s.error();
      stored = unpacked;
    }
    image.pixels.resize(count);
    if (kind == Kind::kMapped) {
      image.indices.resize(count);
      image.palette.assign(256, argb(255, 0, 0, 0));
    }
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(name);
  }

  std::array<bool, 256> defined{};
  if (kind == Kind::kMapped) {
    const auto* map = reinterpret_cast<const uint8_t*>(b.data() + map_at);
    for (int v = h.map_first; v < 256 && v - h.map_first < h.map_length; ++v) {
      image.palette[v] = stored_colour(map + static_cast<std::size_t>(v - h.map_first) * entry_size, h.map_bits);
      defined[v] = true;
    }
  }

  const auto* src = reinterpret_cast<const uint8_t*>(stored.data());
  const std::size_t w = static_cast<std::size_t>(h.width);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t row = k / w, col = k % w;
    const std::size_t y = (h.descriptor & kTopDown) != 0 ? row : h.height - 1 - row;
    const std::size_t x = (h.descriptor & kRightToLeft) != 0 ? w - 1 - col : col;
    const std::size_t dest = y * w + x;
    const uint8_t* p = src + k * size;
    switch (kind) {
      case Kind::kMapped:
        if (!defined[p[0]]) {
          return bad_data(name, rle ? at : at + k,
                          "pixel " + std::to_string(k) + " has the index " + std::to_string(p[0]) +
                              ", which the colour map does not hold");
        }
        image.indices[dest] = p[0];
        image.pixels[dest] = image.palette[p[0]];
        break;
      case Kind::kTrueColour: image.pixels[dest] = stored_colour(p, h.depth); break;
      case Kind::kGrey: image.pixels[dest] = argb(size == 2 ? p[1] : 255, p[0], p[0], p[0]); break;
    }
  }
  return image;
}

tools::Result<Image> read_tga(const std::string& path) {
  // The header first: a file the header rules out, or a picture over the
  // budget, is refused before the file is read.
  const tools::Result<PictureInfo> info = probe_tga(path);
  if (!info) return info.error();
  if (tools::Status s = detail::check_decode_budget(*info, path); !s) return s.error();
  tools::Result<std::string> data = detail::read_image_file(path);
  if (!data) return data.error();
  return decode_tga(*data, path);
}

}  // namespace orvo
