#include "orvo/image/image.h"

#include <limits>
#include <new>

#include "image_io.h"
#include "tools/base/file_io.h"

namespace orvo {

tools::Status expand_palette(Image& image, const std::string& name) {
  if (!image.has_palette()) return {};
  try {
    image.pixels.resize(image.indices.size());
  } catch (const std::bad_alloc&) {
    return detail::out_of_memory(name);
  }
  for (std::size_t i = 0; i < image.indices.size(); ++i) image.pixels[i] = image.palette[image.indices[i]];
  return {};
}

std::uint64_t decoded_picture_bytes(std::uint64_t width, std::uint64_t height) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  if (width == 0 || height == 0) return 0;
  if (height > kMost / 4 / width) return kMost;
  return width * height * 4;
}

namespace detail {

namespace {

// A file too large to be an image is damage (code 3), not a failed open.
template <class T>
tools::Result<T> too_large_is_bad_file(tools::Result<T> read) {
  if (!read && read.error().kind == tools::ErrorKind::kTooLarge) {
    tools::Error e = read.error();
    e.code = kImageBadFile;
    return e;
  }
  return read;
}

}  // namespace

tools::Result<std::string> read_image_file(const std::string& path) {
  try {
    return too_large_is_bad_file(tools::read_file(path, kMaxImageFileBytes));
  } catch (const std::bad_alloc&) {
    return out_of_memory(path);
  }
}

tools::Result<tools::FileEnds> read_image_ends(const std::string& path, std::size_t head, std::size_t tail) {
  try {
    return too_large_is_bad_file(tools::read_file_ends(path, head, tail, kMaxImageFileBytes));
  } catch (const std::bad_alloc&) {
    return out_of_memory(path);
  }
}

tools::Error bad_data(const std::string& name, std::size_t offset, const std::string& text, tools::ErrorKind kind) {
  return tools::data_error(name, static_cast<int64_t>(offset), text, kImageBadFile, kind);
}

tools::Error cut_short(const std::string& name, std::size_t offset, const std::string& what) {
  return bad_data(name, offset, "the file ends inside " + what, tools::ErrorKind::kEndOfFile);
}

tools::Error too_large(const std::string& name, std::size_t offset, int width, int height) {
  return bad_data(name, offset,
                  std::to_string(width) + " x " + std::to_string(height) + " pixels is more than a texture can have (" +
                      std::to_string(kMaxImageSide) + " x " + std::to_string(kMaxImageSide) + ")",
                  tools::ErrorKind::kTooLarge);
}

tools::Error out_of_memory(const std::string& name) {
  return tools::data_error(name, -1, "out of memory while decoding the picture", kImageNoMemory,
                           tools::ErrorKind::kTooLarge);
}

tools::Status check_decode_budget(const PictureInfo& info, const std::string& name) {
  if (info.decoded_bytes <= kMaxDecodedPictureBytes) return {};
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  const std::uint64_t mib = info.decoded_bytes / kMiB + (info.decoded_bytes % kMiB != 0 ? 1 : 0);
  std::string size = std::to_string(info.width) + " x " + std::to_string(info.height) + " pixels";
  if (info.levels > 1) size += " in " + std::to_string(info.levels) + " mip levels";
  return tools::data_error(name, -1,
                           "the picture is " + size + "; decoding it would take " + std::to_string(mib) +
                               " MiB, more than the " + std::to_string(kMaxDecodedPictureBytes / kMiB) +
                               " MiB a picture may take",
                           kImageNoMemory, tools::ErrorKind::kTooLarge);
}

}  // namespace detail
}  // namespace orvo
