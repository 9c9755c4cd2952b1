// ZSoft PCX reader and writer, 8 bits per pixel in one plane.
#include <new>

#include "image_io.h"
#include "orvo/image/image.h"
#include "tools/base/file_io.h"

namespace orvo {
namespace {

using detail::bad_data;
using detail::byte_at;
using detail::cut_short;
using detail::u16_at;

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kPaletteBytes = 768;
constexpr uint8_t kManufacturer = 0x0A;
constexpr uint8_t kPaletteMarker = 0x0C;
constexpr uint8_t kRunFlags = 0xC0;  // both top bits: a repeat count in the low 6 bits
constexpr std::size_t kLongestRun = 63;
constexpr int kLargestSide = 65536;  // a 16-bit window

// What the header declares.
struct Layout {
  int width = 0, height = 0;
  std::size_t line = 0;   // bytes of a stored row
  std::size_t total = 0;  // bytes of all rows

  PictureInfo info() const {
    return PictureInfo{PictureKind::kPcx,
                       width,
                       height,
                       8,
                       true,
                       true,
                       1,
                       decoded_picture_bytes(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))};
  }
};

// The header's fields checked against what this reader decodes; `b` holds
// at least the file's first 128 bytes, or the whole file when it is shorter.
tools::Result<Layout> read_header(std::string_view b, const std::string& name) {
  if (b.size() < kHeaderBytes) return cut_short(name, b.size(), "the 128-byte header");
  if (byte_at(b, 0) != kManufacturer) {
    return bad_data(name, 0, "not a PCX file (the first byte is " + std::to_string(byte_at(b, 0)) + ", not 10)");
  }
  if (byte_at(b, 2) != 1) {
    return bad_data(name, 2, "encoding " + std::to_string(byte_at(b, 2)) + " is not read (only 1, run-length)");
  }
  const int bits = byte_at(b, 3), planes = byte_at(b, 65);
  if (bits != 8 || planes != 1) {
    return bad_data(
        name, bits != 8 ? 3 : 65,
        "only 8 bits per pixel in one plane are read, not " + std::to_string(bits) + " in " + std::to_string(planes));
  }
  const int xmin = u16_at(b, 4), ymin = u16_at(b, 6), xmax = u16_at(b, 8), ymax = u16_at(b, 10);
  if (xmax < xmin || ymax < ymin) {
    return bad_data(name, 4,
                    "the window ends before it begins (x " + std::to_string(xmin) + " to " + std::to_string(xmax) +
                        ", y " + std::to_string(ymin) + " to " + std::to_string(ymax) + ")");
  }
  Layout l;
  l.width = xmax - xmin + 1;
  l.height = ymax - ymin + 1;
  if (l.width > kMaxImageSide || l.height > kMaxImageSide) return detail::too_large(name, 4, l.width, l.height);
  l.line = u16_at(b, 66);
  if (l.line < static_cast<std::size_t>(l.width)) {
    return bad_data(name, 66,
                    "rows of " + std::to_string(l.line) + " bytes cannot hold " + std::to_string(l.width) + " pixels");
  }
  l.total = l.line * static_cast<std::size_t>(l.height);
  return l;
}

// The file's length and its palette marker (the byte before the last 768;
// read only when the file is long enough to hold one) against the header,
// before anything is allocated.
tools::Status check_extent(const Layout& l, std::uint64_t file_size, uint8_t marker, const std::string& name) {
  const auto size = static_cast<std::size_t>(file_size);
  if (size < kHeaderBytes + 1 + kPaletteBytes) return cut_short(name, size, "the 256-colour palette");
  const std::size_t end = size - kPaletteBytes - 1;
  if (marker != kPaletteMarker) {
    return bad_data(name, end,
                    "no 256-colour palette (the byte before the last 768 is " + std::to_string(marker) + ", not 12)");
  }
  // Two bytes give at most 63.
  if (l.total > kLongestRun * ((end - kHeaderBytes + 1) / 2)) return cut_short(name, kHeaderBytes, "the rows");
  return {};
}

// The palette marker of a whole file in memory (0 when it is too short to
// have one; check_extent says so).
uint8_t marker_of(std::string_view b) {
  return b.size() >= kHeaderBytes + 1 + kPaletteBytes ? byte_at(b, b.size() - kPaletteBytes - 1) : 0;
}

}  // namespace

tools::Result<PictureInfo> probe_pcx(std::string_view b, const std::string& name) {
  const tools::Result<Layout> layout = read_header(b, name);
  if (!layout) return layout.error();
  if (tools::Status s = check_extent(*layout, b.size(), marker_of(b), name); !s) return s.error();
  return layout->info();
}

tools::Result<PictureInfo> probe_pcx(const std::string& path) {
  const tools::Result<tools::FileEnds> ends = detail::read_image_ends(path, kHeaderBytes, kPaletteBytes + 1);
  if (!ends) return ends.error();
  const tools::Result<Layout> layout = read_header(ends->head, path);
  if (!layout) return layout.error();
  const uint8_t marker = ends->size >= kHeaderBytes + 1 + kPaletteBytes ? byte_at(ends->tail, 0) : 0;
  if (tools::Status s = check_extent(*layout, ends->size, marker, path); !s) return s.error();
  return layout->info();
}

tools::Result<Image> decode_pcx(std::string_view b, const std::string& name) {
  const tools::Result<Layout> layout = read_header(b, name);
  if (!layout) return layout.error();
  if (tools::Status s = check_extent(*layout, b.size(), marker_of(b), name); !s) return s.error();
  if (tools::Status s = detail::check_decode_budget(layout->info(), name); !s) return s.error();
  const int width = layout->width, height = layout->height;
  const std::size_t line = layout->line, total = layout->total, end = b.size() - kPaletteBytes - 1;

  Image image;
  image.width = width;
  image.height = height;
  try {
    image.indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    image.palette.resize(256);
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(name);
  }

  // The rows are one stream of `total` bytes: a run may go on into the next
  // row, never past the last one.
  std::size_t at = kHeaderBytes, done = 0, col = 0;
  uint8_t* out = image.indices.data();
  while (done < total) {
    if (at >= end) return cut_short(name, at, "the rows");
    const std::size_t start = at;
    uint8_t value = byte_at(b, at++);
    std::size_t n = 1;
    if ((value & kRunFlags) == kRunFlags) {
      n = value & 0x3Fu;
      if (at >= end) return cut_short(name, start, "a run");
      value = byte_at(b, at++);
    }
    if (n > total - done) {
      return bad_data(name, start, "a run of " + std::to_string(n) + " bytes goes past the end of the image");
    }
    for (std::size_t k = 0; k < n; ++k) {
      if (col < static_cast<std::size_t>(width)) *out++ = value;
      if (++col == line) col = 0;
    }
    done += n;
  }
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t p = end + 1 + 3 * i;
    image.palette[i] = argb(255, byte_at(b, p), byte_at(b, p + 1), byte_at(b, p + 2));
  }
  return image;
}

tools::Result<Image> read_pcx(const std::string& path) {
  // The header first: a file the header rules out, or a picture over the
  // budget, is refused before the file is read.
  const tools::Result<PictureInfo> info = probe_pcx(path);
  if (!info) return info.error();
  if (tools::Status s = detail::check_decode_budget(*info, path); !s) return s.error();
  tools::Result<std::string> data = detail::read_image_file(path);
  if (!data) return data.error();
  return decode_pcx(*data, path);
}

namespace {

void put_u16(std::string& out, std::size_t at, unsigned v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

tools::Result<std::string> encode_pcx(const Image& image, const std::string& name) {
  const std::size_t w = image.width > 0 ? static_cast<std::size_t>(image.width) : 0;
  const std::size_t h = image.height > 0 ? static_cast<std::size_t>(image.height) : 0;
  if (w == 0 || h == 0 || image.width > kLargestSide || image.height > kLargestSide || image.palette.size() != 256 ||
      image.indices.size() != w * h) {
    return tools::data_error(name, -1,
                             "a PCX picture needs 1 to 65536 rows and columns of palette indices and 256 colours",
                             kImageBadFile, tools::ErrorKind::kBadArgument);
  }
  // Rows are an even number of bytes long, as readers expect.
  const std::size_t line = w + (w & 1);
  std::string out(kHeaderBytes, '\0');
  out[0] = static_cast<char>(kManufacturer);
  out[1] = 5;  // version 5: a 256-colour palette at the end
  out[2] = 1;  // run-length encoded
  out[3] = 8;
  put_u16(out, 8, static_cast<unsigned>(w - 1));
  put_u16(out, 10, static_cast<unsigned>(h - 1));
  put_u16(out, 12, 72);
  put_u16(out, 14, 72);
  out[65] = 1;
  put_u16(out, 66, static_cast<unsigned>(line));
  put_u16(out, 68, 1);  // a colour palette

  std::string row(line, '\0');
  for (std::size_t y = 0; y < h; ++y) {
    for (std::size_t x = 0; x < w; ++x) row[x] = static_cast<char>(image.indices[y * w + x]);
    // Runs end at the row end; a lone byte with both top bits set is
    // written as a run of one, since it would read as a repeat count.
    for (std::size_t i = 0; i < line;) {
      const char v = row[i];
      std::size_t n = 1;
      while (i + n < line && n < kLongestRun && row[i + n] == v) ++n;
      if (n > 1 || (static_cast<uint8_t>(v) & kRunFlags) == kRunFlags) out += static_cast<char>(kRunFlags | n);
      out += v;
      i += n;
    }
  }
  out += static_cast<char>(kPaletteMarker);
  for (const uint32_t c : image.palette) {
    out += static_cast<char>((c >> 16) & 0xFF);
    out += static_cast<char>((c >> 8) & 0xFF);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

tools::Status write_pcx(const std::string& path, const Image& image) {
  tools::Result<std::string> bytes = encode_pcx(image, path);
  if (!bytes) return bytes.error();
  return tools::write_file_atomic(path, *bytes);
}

}  // namespace orvo
