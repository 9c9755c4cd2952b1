// The OpenGL context of the hardware layer on a real display (a virtual X
// server with Mesa's software rasteriser in CI): a 3.3 core context, the
// driver's strings, and the PCI ids read from a hand-made /sys tree.
#include "orvo/runtime/gl/gl_context.h"

#include "orvo/runtime/gl/gl_backend.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <filesystem>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

TEST(GlContext, OffersCoreProfileAndDescribesTheDriver) {
  std::string error;
  const std::unique_ptr<OffscreenGl> gl = OffscreenGl::create(&error);
  ASSERT_NE(gl, nullptr) << error;
  const GlInfo info = gl->info();
  EXPECT_FALSE(info.renderer.empty());
  EXPECT_FALSE(info.version.empty());
  EXPECT_TRUE(info.major > 3 || (info.major == 3 && info.minor >= 3));
  EXPECT_GE(info.max_texture_size, 1024);
  EXPECT_EQ(info.s3tc, info.has_extension("GL_EXT_texture_compression_s3tc"));
}

TEST(GlContext, TheHardwareLayerLogsEveryStepOfARealStart) {
  tools::test::ScratchDir dir{"ghw"};
  tools::SystemLog log(dir.file("ghw.txt"));
  GlBackend backend;
  Hardware hardware(backend, log);
  ASSERT_EQ(hardware.initialise(), 0) << backend.error();
  EXPECT_EQ(hardware.initialise(), -32768);
  ASSERT_EQ(hardware.create_device(DeviceRequest{}), 0);
  Capabilities caps;
  ASSERT_EQ(hardware.read_capabilities(0, caps), 0);
  EXPECT_TRUE(caps.flags.hardware_tnl && caps.flags.vertex_shaders && caps.flags.pixel_shaders);
  const std::string text = tools::test::slurp(dir.file("ghw.txt"));
  for (const std::string& line : std::vector<std::string>{
           "GLVersion: OpenGL " + backend.info().version + " detected\n",
           std::string("Error: Tessa has already been initted\n"), "Device 0:  " + backend.info().renderer + "\n",
           std::string("CreateDevice:  device:0   640x480  Windowed"),
           std::string("Testing display format:   D3DFMT_X8R8G8B8  D3DFMT_X8R8G8B8  D3DFMT_D24S8\n"),
           std::string("Found valid display combination\n"), std::string("Approx Tex Mem: "),
           std::string("Driver:   non-WHQL certified\n"), std::string("Driver:   DX8 level\n"),
           std::string("Supports: T&L:YES  HWVS:YES  HWPS:YES  PALSKIN:YES\n")})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(GlContext, ReadsTheFirstCardsPciIds) {
  tools::test::ScratchDir dir{"drm"};
  for (const char* d : {"card0-HDMI-A-1/device", "card1/device"}) std::filesystem::create_directories(dir.path() / d);
  dir.put("card0-HDMI-A-1/device/vendor", "0x1234\n");
  dir.put("card1/device/vendor", "0x10de\n");
  dir.put("card1/device/device", "0x0101\n");
  dir.put("card1/device/subsystem_device", "0x0001\n");
  const std::optional<PciIds> ids = read_drm_ids(dir.prefix());
  ASSERT_TRUE(ids.has_value());
  EXPECT_EQ(ids->vendor, 0x10DE);
  EXPECT_EQ(ids->device, 0x0101);
  EXPECT_EQ(ids->subsystem, 0x0001);
  EXPECT_FALSE(read_drm_ids(dir.file("none")).has_value());
}

}  // namespace
}  // namespace orvo

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
