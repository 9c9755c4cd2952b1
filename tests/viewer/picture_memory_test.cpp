// What decoding pictures allocates, watched through this program's own
// operator new: a picture over the decode budget is refused before its
// pixels or its file's bytes are allocated, a probe allocates next to
// nothing, and an allocation that fails anywhere in decoding comes back as
// an error instead of ending the program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <string>

#include "orvo/image/dds.h"
#include "orvo/image/image.h"
#include "tools/test/huge_pictures.h"
#include "tools/test/scratch_dir.h"

namespace {

// Allocations of this many bytes or more throw std::bad_alloc.
std::atomic<std::size_t> g_fail_from{std::numeric_limits<std::size_t>::max()};
// The largest allocation since it was last reset.
std::atomic<std::size_t> g_largest{0};

void* allocate(std::size_t n) {
  if (n >= g_fail_from.load()) throw std::bad_alloc();
  std::size_t seen = g_largest.load();
  while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

void* allocate_or_null(std::size_t n) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t n) {
  return allocate(n);
}
void* operator new[](std::size_t n) {
  return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return allocate_or_null(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return allocate_or_null(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace orvo {
namespace {

constexpr std::size_t kKiB = 1024, kMiB = 1024 * 1024;

// The largest single allocation `run` makes.
std::size_t largest_allocation(const std::function<void()>& run) {
  g_largest = 0;
  run();
  return g_largest.load();
}

// Every allocation of `bytes` or more fails while this lives.
class FailAllocations {
 public:
  explicit FailAllocations(std::size_t bytes) { g_fail_from = bytes; }
  ~FailAllocations() { g_fail_from = std::numeric_limits<std::size_t>::max(); }
  FailAllocations(const FailAllocations&) = delete;
  FailAllocations& operator=(const FailAllocations&) = delete;
};

// One format's entry points, with their errors as text ("" on success).
struct Format {
  const char* ext;
  std::function<std::string(std::string_view, const std::string&)> decode;
  std::function<std::string(const std::string&)> read;
  std::function<tools::Result<PictureInfo>(const std::string&)> probe;
};

template <class T>
std::string error_of(const tools::Result<T>& r) {
  return r.ok() ? std::string() : r.error().message;
}

const Format kTga{"tga", [](std::string_view b, const std::string& n) { return error_of(decode_tga(b, n)); },
                  [](const std::string& p) { return error_of(read_tga(p)); },
                  [](const std::string& p) { return probe_tga(p); }};
const Format kPcx{"pcx", [](std::string_view b, const std::string& n) { return error_of(decode_pcx(b, n)); },
                  [](const std::string& p) { return error_of(read_pcx(p)); },
                  [](const std::string& p) { return probe_pcx(p); }};
const Format kDds{"dds", [](std::string_view b, const std::string& n) { return error_of(decode_dds(b, n)); },
                  [](const std::string& p) { return error_of(read_dds(p)); },
                  [](const std::string& p) { return probe_dds(p); }};

std::string over_budget(const std::string& name, const std::string& size, int mib) {
  return name + ": the picture is " + size + "; decoding it would take " + std::to_string(mib) +
         " MiB, more than the 256 MiB a picture may take";
}

TEST(DecodeBudget, HugePicturesAreRefusedBeforeTheirPixelsOrTheirFileAreAllocated) {
  tools::test::ScratchDir dir("budget");
  const struct Case {
    const char* what;
    const Format& format;
    std::string bytes;
    int width, height, levels;
    std::string size_text;
    int mib;
  } cases[] = {
      {"run-length TGA of 16384 x 16384", kTga, tools::test::long_run_tga(16384, 16384), 16384, 16384, 1,
       "16384 x 16384 pixels", 1024},
      {"run-length TGA one row over", kTga, tools::test::long_run_tga(8192, 8193), 8192, 8193, 1, "8192 x 8193 pixels",
       257},
      {"PCX of 16384 x 16384", kPcx, tools::test::long_run_pcx(16384, 16384), 16384, 16384, 1, "16384 x 16384 pixels",
       1024},
      {"DXT1 of 8192 x 8192 with a second level", kDds, tools::test::dxt1_dds(8192, 8192, 2), 8192, 8192, 2,
       "8192 x 8192 pixels in 2 mip levels", 320},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.put(std::string("huge.") + c.format.ext, c.bytes);
    std::string decoded, read;
    EXPECT_LT(largest_allocation([&] { decoded = c.format.decode(c.bytes, "huge"); }), 4 * kKiB);
    EXPECT_EQ(decoded, over_budget("huge", c.size_text, c.mib));
    // Only the header is read: the file's bytes are never held.
    EXPECT_LT(largest_allocation([&] { read = c.format.read(path); }), 4 * kKiB);
    EXPECT_EQ(read, over_budget(path, c.size_text, c.mib));

    tools::Result<PictureInfo> info = tools::Error{};
    EXPECT_LT(largest_allocation([&] { info = c.format.probe(path); }), 4 * kKiB);
    ASSERT_TRUE(info.ok()) << info.error().message;
    EXPECT_EQ(info->width, c.width);
    EXPECT_EQ(info->height, c.height);
    EXPECT_EQ(info->levels, c.levels);
    EXPECT_GT(info->decoded_bytes, kMaxDecodedPictureBytes);
  }
  const tools::Result<Image> refused = read_pcx(dir.file("huge.pcx"));
  EXPECT_EQ(refused.code(), kImageNoMemory);
  EXPECT_EQ(refused.error().kind, tools::ErrorKind::kTooLarge);
  // Exactly the budget is not more than it.
  EXPECT_TRUE(decode_dds(tools::test::dxt1_dds(8192, 8192, 1), "edge").ok());
}

// An uncompressed 24-bit TGA of width x height black pixels.
std::string raw_tga(int width, int height) {
  std::string b(18, '\0');
  b[2] = 2;
  b[12] = static_cast<char>(width & 0xFF), b[13] = static_cast<char>(width >> 8);
  b[14] = static_cast<char>(height & 0xFF), b[15] = static_cast<char>(height >> 8);
  b[16] = 24;
  b[17] = 0x20;
  b.append(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, '\0');
  return b;
}

// A PCX whose indices alternate, so the file holds a byte for each pixel.
std::string literal_pcx(int width, int height) {
  Image image{.width = width, .height = height};
  image.indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < image.indices.size(); ++i) image.indices[i] = static_cast<uint8_t>(i % 2);
  image.palette.assign(256, argb(255, 1, 2, 3));
  return *encode_pcx(image, "literal.pcx");
}

TEST(OutOfMemory, EveryStepOfDecodingReportsItAsAnError) {
  tools::test::ScratchDir dir("oom");
  const std::string tga_file = dir.put("big.tga", raw_tga(1024, 1024));
  const std::string pcx_file = dir.put("big.pcx", literal_pcx(1024, 1024));
  const std::string dds_file = dir.put("big.dds", tools::test::dxt1_dds(1024, 2048, 1));
  const std::string tga_bytes = raw_tga(512, 512), rle_bytes = tools::test::long_run_tga(512, 512);
  const std::string pcx_bytes = tools::test::long_run_pcx(1024, 1024);
  const std::string dds_bytes = tools::test::dxt1_dds(512, 512, 1);
  tools::Result<Image> paletted = decode_pcx(tools::test::long_run_pcx(512, 512), "p.pcx");
  ASSERT_TRUE(paletted.ok());
  tools::Result<DdsFile> dds = decode_dds(dds_bytes, "d.dds");
  ASSERT_TRUE(dds.ok());

  const struct Case {
    const char* what;
    std::size_t fail_from;
    std::string name;
    std::function<std::string()> run;
  } cases[] = {
      {"a TGA file's bytes", kMiB, tga_file, [&] { return error_of(read_tga(tga_file)); }},
      {"TGA pixels", kMiB, "t.tga", [&] { return error_of(decode_tga(tga_bytes, "t.tga")); }},
      {"unpacked TGA runs", 256 * kKiB, "r.tga", [&] { return error_of(decode_tga(rle_bytes, "r.tga")); }},
      {"a PCX file's bytes", kMiB, pcx_file, [&] { return error_of(read_pcx(pcx_file)); }},
      {"PCX indices", kMiB, "p.pcx", [&] { return error_of(decode_pcx(pcx_bytes, "p.pcx")); }},
      {"PCX pixels from the palette", kMiB, "p.pcx",
       [&] {
         const tools::Status s = expand_palette(*paletted, "p.pcx");
         return s.ok() ? std::string() : s.error().message;
       }},
      {"a DDS file's bytes", kMiB, dds_file, [&] { return error_of(read_dds(dds_file)); }},
      {"DDS pixels", kMiB, "d.dds", [&] { return error_of(dds_to_image(*dds)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    {
      FailAllocations fail(c.fail_from);
      error = c.run();
    }
    EXPECT_EQ(error, c.name + ": out of memory while decoding the picture");
  }
  // With the memory there, the same steps succeed.
  EXPECT_TRUE(read_tga(tga_file).ok());
  EXPECT_TRUE(read_pcx(pcx_file).ok());
  EXPECT_TRUE(read_dds(dds_file).ok());
  EXPECT_TRUE(expand_palette(*paletted, "p.pcx").ok());
}

}  // namespace
}  // namespace orvo
