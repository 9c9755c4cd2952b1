// The hardware layer over a scripted backend: adapter lines, display-format
// fallbacks, vendor workarounds, capability defaults and masks, object
// counts and material checks, each read back from the system log.
#include "orvo/runtime/hardware.h"

#include <gtest/gtest.h>

#include <set>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

struct FakeBackend : GraphicsBackend {
  std::optional<std::string> version = "3.3 (Core Profile) Mesa 22.3.6";
  bool opens = true;
  std::vector<AdapterIdentifier> adapters{AdapterIdentifier{}};
  std::set<std::pair<SurfaceFormat, SurfaceFormat>> valid;  // (back buffer, depth stencil)
  DeviceCaps caps;
  std::vector<std::pair<int, uint32_t>> released;

  std::optional<std::string> api_version() override { return version; }
  bool open() override { return opens; }
  int adapter_count() override { return static_cast<int>(adapters.size()); }
  std::optional<AdapterIdentifier> adapter_identifier(int n) override { return adapters.at(n); }
  SurfaceFormat desktop_format(int) override { return SurfaceFormat::kR5G6B5; }
  bool row_valid(int, const FormatRow& row, bool) override { return valid.count({row.back_buffer, row.depth_stencil}); }
  DeviceCaps device_caps(int) override { return caps; }
  DeviceCreation create_device(const DeviceRequest&, const FormatRow&) override { return {0, true}; }
  void release_device() override {}
  uint64_t available_texture_memory() override { return 30u << 20; }
  bool supports_dxt3() override { return true; }
  void release_object(int kind, uint32_t handle) override { released.push_back({kind, handle}); }
};

class HardwareTest : public ::testing::Test {
 protected:
  // The log without its three banner lines.
  std::string logged() {
    const std::string text = tools::test::slurp(log_.path());
    std::size_t at = 0;
    for (int i = 0; i < 3 && at != std::string::npos; ++i) at = text.find('\n', at) + 1;
    return text.substr(at);
  }

  tools::test::ScratchDir dir_;
  tools::SystemLog log_{dir_.file("ghw.txt"), [] { return tools::LocalTime{2002, 5, 6, 7, 8, 9}; }};
  FakeBackend backend_;
  Hardware hw_{backend_, log_};
};

const std::string kDashes(tools::SystemLog::kDashes);

TEST_F(HardwareTest, InitialiseLogsEveryAdapter) {
  AdapterIdentifier& a = backend_.adapters[0];
  a.description = "Mesa llvmpipe";
  a.driver = "libGL.so.1";
  a.driver_version = 0x0006000E000A0BB8ull;
  a.vendor_id = 0x10DE;
  a.device_id = 0x20;
  a.subsystem_id = 0x1234;
  a.guid = {0xD7B71E3E, 0x4340, 0x11CF, {0xA5, 0x3B, 0, 0, 0x12, 0x34, 0x56, 0x78}};
  EXPECT_EQ(hw_.initialise(), 0);
  EXPECT_EQ(hw_.initialise(), -32768);
  EXPECT_EQ(logged(),
            "GLVersion: OpenGL 3.3 (Core Profile) Mesa 22.3.6 detected\n"
            "Device 0:  Mesa llvmpipe\n"
            "           libGL.so.1\n"
            "           6.14.10.3000\n"
            "           10DE 0020 1234\n"
            "           D7B71E3E-4340-11CF-A5-3B-00-00-12-34-56-78\n" +
                kDashes + "Error: Tessa has already been initted\n");
}

TEST_F(HardwareTest, InitialiseWithoutTheApiFails) {
  struct Case {
    bool has_version, opens;
    int result;
    std::string line;
  };
  for (const Case& c : {Case{false, true, -32766, "Error: OpenGL not detected\n"},
                        Case{true, false, -32765, "Error: Could not create OpenGL context\n"}}) {
    tools::test::ScratchDir dir;
    tools::SystemLog log(dir.file("ghw.txt"));
    FakeBackend backend;
    if (!c.has_version) backend.version.reset();
    backend.opens = c.opens;
    Hardware hw(backend, log);
    EXPECT_EQ(hw.initialise(), c.result);
    EXPECT_FALSE(hw.initialised());
    EXPECT_TRUE(tools::test::slurp(log.path()).ends_with(c.line));
  }
}

TEST(CompatibilityMask, ClearsTheFlagsOfItsBits) {
  const RenderCapabilities all = RenderCapabilities::from_mask(15);
  struct Case {
    uint32_t mask, left;
  };
  for (const Case& c : {Case{kCompatibilityMaskLevel1, 8}, Case{kCompatibilityMaskLevel2, 14},
                        Case{kCompatibilityMaskLevel3, 15}, Case{15, 0}})
    EXPECT_EQ(apply_compatibility_mask(all, c.mask).mask(), c.left) << c.mask;
}

TEST_F(HardwareTest, CapabilityDefaultsAndShaderRule) {
  struct Case {
    uint32_t vendor;
    DeviceCaps caps;
    Capabilities want;
  };
  DeviceCaps none;
  Capabilities defaults;
  defaults.max_texture_width = defaults.max_texture_height = 256;
  defaults.max_texture_aspect = 8;
  defaults.max_simultaneous_textures = 1;
  DeviceCaps big;
  big.max_texture_width = big.max_texture_height = 4096;
  big.max_texture_aspect = 2;
  big.max_simultaneous_textures = 4;
  big.vertex_shader_version = 0x101;
  big.vertex_shader_constants = 96;  // but no pixel shaders: no vertex shaders either
  big.max_vertex_streams = 16;
  Capabilities big_want = defaults;
  big_want.max_texture_width = big_want.max_texture_height = 4096;
  big_want.max_texture_aspect = 2;
  big_want.max_simultaneous_textures = 4;
  big_want.dx8 = true;
  Capabilities capped = big_want;  // 3dfx: at most 256
  capped.max_texture_width = capped.max_texture_height = 256;
  DeviceCaps shaders = big;
  shaders.pixel_shader_version = 0x101;
  Capabilities shaders_want = big_want;
  shaders_want.flags.vertex_shaders = shaders_want.flags.pixel_shaders = true;

  for (const Case& c :
       {Case{0, none, defaults}, Case{0, big, big_want}, Case{0x121A, big, capped}, Case{0, shaders, shaders_want}}) {
    FakeBackend backend;
    backend.adapters[0].vendor_id = c.vendor;
    backend.caps = c.caps;
    backend.valid = {{SurfaceFormat::kR5G6B5, SurfaceFormat::kD16}};
    Hardware hw(backend, log_);
    ASSERT_EQ(hw.initialise(), 0);
    ASSERT_EQ(hw.create_device({.combination_code = 16}), 0);
    Capabilities got;
    ASSERT_EQ(hw.read_capabilities(0, got), 0);
    EXPECT_EQ(got.max_texture_width, c.want.max_texture_width);
    EXPECT_EQ(got.max_texture_height, c.want.max_texture_height);
    EXPECT_EQ(got.max_texture_aspect, c.want.max_texture_aspect);
    EXPECT_EQ(got.max_simultaneous_textures, c.want.max_simultaneous_textures);
    EXPECT_EQ(got.dx8, c.want.dx8);
    EXPECT_EQ(got.flags, c.want.flags);
    EXPECT_EQ(hw.read_capabilities(1, got), -65280);
  }
}

TEST_F(HardwareTest, DisplayFormatsFallBackInOrder) {
  using S = SurfaceFormat;
  ASSERT_EQ(hw_.initialise(), 0);
  // Full screen, 32-bit colour asked for: no c32_d32 row is valid, the
  // third c16_d32 row is.
  backend_.valid = {{S::kR5G6B5, S::kD32}};
  backend_.caps.hardware_tnl = true;
  backend_.caps.draw_primitive2 = true;
  backend_.caps.indexed_vertex_blending = true;
  ASSERT_EQ(hw_.create_device({.width = 1280, .height = 1024, .windowed = false, .combination_code = 3}), 0);
  EXPECT_EQ(hw_.display_formats(), (FormatRow{S::kR5G6B5, S::kR5G6B5, S::kD32, 0, true}));
  std::string want = "CreateDevice:  device:0   1280x1024  Fullscreen  c32  d32  aa0\n";
  for (const FormatRow& row : combination_rows(Combination::kC32D32))
    want += "Testing display format:   D3DFMT_X8R8G8B8  " + std::string(format_name(row.back_buffer)) + "  " +
            std::string(format_name(row.depth_stencil)) + "\n";
  want +=
      "Testing display format:   D3DFMT_R5G6B5  D3DFMT_R5G6B5  D3DFMT_D24S8\n"
      "Testing display format:   D3DFMT_R5G6B5  D3DFMT_R5G6B5  D3DFMT_D24X4S4\n"
      "Testing display format:   D3DFMT_R5G6B5  D3DFMT_R5G6B5  D3DFMT_D32\n"
      "Found valid display combination\n"
      "Approx Tex Mem:  30.0Mb\n"
      "Driver:   non-WHQL certified\n"
      "Driver:   DX6 level\n"
      "Supports: T&L:YES  HWVS:NO  HWPS:NO  PALSKIN:YES\n" +
      kDashes;
  EXPECT_EQ(logged().substr(logged().find("CreateDevice")), want);
  EXPECT_EQ(hw_.create_device({}), -32768);
}

TEST_F(HardwareTest, DisplayFormatFailures) {
  ASSERT_EQ(hw_.initialise(), 0);
  // A window skips the rows a window cannot use: c16_d16 tries six.
  EXPECT_EQ(hw_.create_device({.windowed = true, .combination_code = 1}), -1);
  const std::string text = logged();
  std::size_t tried = 0;
  for (std::size_t at = 0; (at = text.find("Testing display format", at)) != std::string::npos; ++at) ++tried;
  EXPECT_EQ(tried, 6u);
  EXPECT_TRUE(text.ends_with("Unable to find any valid display combinations\n"));
  EXPECT_EQ(combination_rows(Combination::kC16D32).size(), 20u);
  // Wide full screen without T&L is refused before any row is tried.
  EXPECT_EQ(hw_.create_device({.width = 1280, .windowed = false}), -1);
  EXPECT_FALSE(logged().ends_with("combinations\n"));
  EXPECT_EQ(hw_.create_device({.adapter = 1}), -65280);
}

TEST_F(HardwareTest, VendorLinesAndWorkarounds) {
  struct Case {
    uint32_t vendor, device, build;
    std::string lines;
    Workarounds want;
  };
  Workarounds multilight;
  multilight.multilight = true;
  Workarounds tristrip;
  tristrip.tristrip = true;
  tristrip.formats = FormatTable::kPT;
  Workarounds geforce3;  // a late driver: no workaround, only the chip flag
  geforce3.chip[6] = true;
  Workarounds voodoo3;
  voodoo3.max_texture_size = 256;
  voodoo3.chip[0] = voodoo3.chip[1] = voodoo3.chip[2] = voodoo3.chip[4] = voodoo3.chip[8] = true;
  voodoo3.formats = FormatTable::kP5;
  for (const Case& c : {Case{0x10DE, 0x20, 600, "VENDOR_NVIDIA\nMultilight workaround enabled\n", multilight},
                        Case{0x1002, 19522, 0, "VENDOR_ATI\nTristrip workaround enabled\n", tristrip},
                        Case{0x10DE, 0x300, 4400, "VENDOR_NVIDIA\n", geforce3},
                        Case{0x121A, 5, 0, "VENDOR_3DFX\nVOODOO3\n", voodoo3}, Case{0x12D2, 5, 0, "", Workarounds{}}}) {
    tools::test::ScratchDir dir;
    tools::SystemLog log(dir.file("ghw.txt"));
    FakeBackend backend;
    backend.adapters[0].vendor_id = c.vendor;
    backend.adapters[0].device_id = c.device;
    backend.adapters[0].driver_version = c.build;
    backend.valid = {{SurfaceFormat::kR5G6B5, SurfaceFormat::kD16}};
    Hardware hw(backend, log);
    ASSERT_EQ(hw.initialise(), 0);
    ASSERT_EQ(hw.create_device({.combination_code = 16}), 0);
    const std::string text = tools::test::slurp(log.path());
    EXPECT_NE(text.find("Approx Tex Mem:  30.0Mb\n" + c.lines + "Driver:   non-WHQL"), std::string::npos) << text;
    EXPECT_EQ(hw.workarounds(), c.want) << c.vendor << " " << c.device;
  }
}

TEST_F(HardwareTest, DestroyAllListsWhatIsLeft) {
  const ImageInfo image{64, 32, 16, "floor"};
  hw_.register_object(kObjTexture);
  const uint32_t material = hw_.register_object(kObjMaterial);
  hw_.unregister_object(material);
  const uint32_t img = hw_.register_object(kObjImage, &image);
  hw_.register_object(kObjTexture);
  hw_.register_object(9);
  EXPECT_EQ(hw_.object_count(kObjTexture), 2);
  hw_.destroy_all_objects();
  hw_.destroy_all_objects();
  char image_line[64];
  std::snprintf(image_line, sizeof image_line, "GImage:  %08x   64x32  16  floor\n", img);
  EXPECT_EQ(logged(), std::string("Call to: Ghw.DestroyAllObjects\n"
                                  "2 GTexture objects remaining\n"
                                  "1 GImage objects remaining\n"
                                  "1 <Unknown> objects remaining\n") +
                          image_line + "Call to: Ghw.DestroyAllObjects\nAll objects have been deallocated\n");
  EXPECT_EQ(backend_.released.size(), 4u);
  EXPECT_EQ(hw_.object_count(kObjTexture), 0);
}

TEST_F(HardwareTest, SelectMaterialRefusesWhatIsNoLiveMaterial) {
  const uint32_t material = hw_.register_object(kObjMaterial);
  const uint32_t texture = hw_.register_object(kObjTexture);
  int dummy = 0;
  hw_.set_object_address(material, &dummy);
  EXPECT_EQ(hw_.select_material(material), 0);
  EXPECT_EQ(hw_.select_material(&dummy), 0);
  EXPECT_EQ(hw_.select_material(0u), -65279);  // null: no line
  EXPECT_EQ(hw_.select_material(texture), -65279);
  EXPECT_EQ(hw_.select_material(static_cast<const void*>(&texture)), -65279);
  const std::string text = logged();
  char want[80];
  std::snprintf(want, sizeof want, "Invalid GHMAT 0x%08x submitted to SelectMaterial!  Called by code at 0x", texture);
  EXPECT_EQ(text.find(want), 0u) << text;
  EXPECT_NE(text.find("Invalid GMaterial* 0x"), std::string::npos);
}

}  // namespace
}  // namespace orvo
