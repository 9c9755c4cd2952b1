// Truevision TGA reader.
#include <array>
#include <cstring>
#include <new>

#include "image_io.h"
#include "orvo/viewer/image.h"

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

}  // namespace

tools::Result<Image> decode_tga(std::string_view b, const std::string& name) {
  if (b.size() < kHeaderBytes) return cut_short(name, b.size(), "the 18-byte header");
  const Header h = parse_header(b);
  const bool rle = h.image_type >= 9;
  Kind kind = Kind::kMapped;
  switch (h.image_type) {
    case 1:
    case 9: kind = Kind::kMapped; break;
    case 2:
    case 10: kind = Kind::kTrueColour; break;
    case 3:
    case 11: kind = Kind::kGrey; break;
    default:
      return bad_data(name, 2, "image type " + std::to_string(h.image_type) + " is not read (only 1, 2, 3, 9, 10, 11)");
  }
  std::size_t field = 0;
  if (std::string problem = check_header(h, kind, field); !problem.empty()) {
    return bad_data(name, field, problem);
  }
  if (h.width > kMaxImageSide || h.height > kMaxImageSide) return detail::too_large(name, 12, h.width, h.height);

  std::size_t at = kHeaderBytes + static_cast<std::size_t>(h.id_length);
  if (at > b.size()) return cut_short(name, kHeaderBytes, "the image identification field");
  const std::size_t map_at = at;
  const std::size_t entry_size = (static_cast<std::size_t>(h.map_bits) + 7) / 8;
  if (h.map_type == 1) {
    const std::size_t map_size = static_cast<std::size_t>(h.map_length) * entry_size;
    if (b.size() - at < map_size) return cut_short(name, at, "the colour map");
    at += map_size;
  }

  const std::size_t size = (static_cast<std::size_t>(h.depth) + 7) / 8;
  const std::size_t count = static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height);
  const std::size_t left = b.size() - at;
  // Checked before anything is allocated: raw pixels must all be there, and
  // a packet of 1 + size bytes gives at most 128 pixels.
  if (!rle && left / size < count) {
    return cut_short(name, at, "the pixels (" + std::to_string(count * size) + " bytes needed)");
  }
  if (rle && left / (1 + size) * 128 < count) return cut_short(name, at, "the run-length packets");

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
    return detail::no_memory(name, h.width, h.height);
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
  tools::Result<std::string> data = detail::read_image_file(path);
  if (!data) return data.error();
  return decode_tga(*data, path);
}

}  // namespace orvo
