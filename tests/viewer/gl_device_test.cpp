// Textures and buffers on a real OpenGL device (a virtual X server with
// Mesa's software rasteriser in CI): pixels uploaded and read back
// unchanged, a DXT file through the driver's decoder and through ours giving
// the same picture within the format's tolerance, every texture counted by
// the hardware layer, and buffer data read back as it was written.
#include "orvo/viewer/gl/gl_buffers.h"
#include "orvo/viewer/gl/gl_textures.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

#include "orvo/runtime/gl/gl_backend.h"
#include "orvo/runtime/gl/gl_context.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

// A DXT1 file of 8 x 8 texels: four blocks of two colours each, one of them
// in the three-colour mode with its transparent index.
std::string dxt1_file() {
  std::string f(128, '\0');
  auto put32 = [&f](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  f.replace(0, 4, "DDS ");
  put32(4, 124);
  put32(8, 0x1 | 0x2 | 0x4 | 0x1000);
  put32(12, 8);
  put32(16, 8);
  put32(76, 32);
  put32(80, 0x4);
  f.replace(84, 4, "DXT1");
  put32(108, 0x1000);
  const uint32_t blocks[4][2] = {{0xF800001Fu, 0x1B1B1B1Bu},
                                 {0x07E0F800u, 0xE4E4E4E4u},  // c0 > c1 / c0 < c1
                                 {0xFFFF0000u, 0x55AA55AAu},
                                 {0x001F07E0u, 0x0F0F0F0Fu}};
  for (const auto& b : blocks) {
    std::string block(8, '\0');
    for (int i = 0; i < 4; ++i) block[static_cast<std::size_t>(i)] = static_cast<char>(b[0] >> (8 * i));
    for (int i = 0; i < 4; ++i) block[static_cast<std::size_t>(4 + i)] = static_cast<char>(b[1] >> (8 * i));
    f += block;
  }
  return f;
}

int channel_distance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int s = 0; s < 32; s += 8)
    worst = std::max(worst, std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)));
  return worst;
}

class GlDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    gl_ = OffscreenGl::create(&error);
    ASSERT_NE(gl_, nullptr) << error;
    info_ = gl_->info();
  }
  std::unique_ptr<OffscreenGl> gl_;
  GlInfo info_;
};

TEST_F(GlDeviceTest, PixelsComeBackAsUploadedAndAreCounted) {
  tools::test::ScratchDir dir{"gltex"};
  tools::SystemLog log(dir.file("ghw.txt"));
  GlBackend backend(gl_.get());
  Hardware hardware(backend, log);
  ASSERT_EQ(hardware.initialise(), 0);
  GlTextureDevice device(gl_->context(), info_.s3tc, &hardware);
  TextureLibrary library(device);
  create_builtin_textures(library);
  EXPECT_EQ(hardware.object_count(kObjTexture), 4);
  for (const auto& builtin : builtin_texture_images()) {
    const int32_t handle = library.find(builtin.key);
    ASSERT_GT(handle, 0) << builtin.key;
    EXPECT_TRUE(device.read_back(handle).pixels == builtin.image.pixels) << builtin.key;
  }
  device.release_all();
  EXPECT_EQ(hardware.object_count(kObjTexture), 0);
}

TEST_F(GlDeviceTest, DxtDataAsStoredAndDecodedGiveTheSamePicture) {
  const std::string bytes = dxt1_file();
  const tools::Result<DdsFile> dds = decode_dds(bytes, "t.dds");
  ASSERT_TRUE(dds) << dds.error().message;
  const tools::Result<Image> ours = dds_to_image(*dds);
  ASSERT_TRUE(ours);

  GlTextureDevice decoding(gl_->context(), false);
  const int32_t cpu = decoding.create_from_dds("t.dds:1", *dds, 0);
  ASSERT_GT(cpu, 0);
  EXPECT_FALSE(decoding.compressed(cpu));
  EXPECT_TRUE(decoding.read_back(cpu).pixels == ours->pixels);

  if (!info_.s3tc) GTEST_SKIP() << "this driver takes no DXT data; the decoding path above is the one it uses";
  GlTextureDevice stored(gl_->context(), true);
  const int32_t gpu = stored.create_from_dds("t.dds:1", *dds, 0);
  ASSERT_GT(gpu, 0);
  EXPECT_TRUE(stored.compressed(gpu));
  const Image driver = stored.read_back(gpu);
  ASSERT_EQ(driver.pixels.size(), ours->pixels.size());
  // Drivers round the blended colours their own way: within 8 of 255.
  for (std::size_t i = 0; i < driver.pixels.size(); ++i)
    EXPECT_LE(channel_distance(driver.pixels[i], ours->pixels[i]), 8) << "texel " << i;
}

TEST_F(GlDeviceTest, BuffersHoldWhatWasWritten) {
  GlBufferDevice device(gl_->context());
  std::vector<std::byte> vertices(32 * 5);
  for (std::size_t i = 0; i < vertices.size(); ++i) vertices[i] = static_cast<std::byte>(i * 7);
  const std::vector<uint16_t> indices = {0, 1, 2, 4, 3, 2, 65535};
  for (const bool vid : {true, false}) {
    const int handle = device.create_buffers(BufferKind::kSegmented1, vid, vertices, indices);
    ASSERT_GT(handle, 0);
    EXPECT_NE(device.buffers(handle).vertex_buffer, device.buffers(handle).index_buffer);
    EXPECT_TRUE(device.read_vertices(handle) == vertices);
    EXPECT_EQ(device.read_indices(handle), indices);
    device.release(handle);
    EXPECT_EQ(device.buffers(handle).vertex_buffer, 0u);
  }
}

}  // namespace
}  // namespace orvo

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
