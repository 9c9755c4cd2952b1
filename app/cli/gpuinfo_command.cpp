// orvo-cli gpuinfo: what the preview will find on this machine, without a
// window. An offscreen OpenGL context is made, the hardware layer
// initialises on it and creates its device, and the capability report and
// the lines of the system log are printed.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "orvo/runtime/gl/gl_backend.h"
#include "orvo/runtime/hardware.h"
#include "orvo/runtime/system_info.h"
#include "tools/base/file_io.h"
#include "tools/base/host.h"
#include "tools/base/system_log.h"

namespace orvo {

int run_gpuinfo(const std::string& log_path) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if ((platform == nullptr || *platform == '\0') && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    std::fprintf(stderr,
                 "orvo-cli: gpuinfo: no OpenGL context can be created: there is no display (run it in a desktop "
                 "session, or under xvfb-run)\n");
    return 1;
  }
  int argc = 1;
  char name[] = "orvo-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  // The log goes to a scratch file unless a path is given, so the
  // ghw.txt of the folder stays as the tool left it.
  const bool scratch = log_path.empty();
  const std::string path =
      scratch
          ? (std::filesystem::temp_directory_path() / ("orvo-gpuinfo-" + std::to_string(::getpid()) + ".txt")).string()
          : log_path;
  int status = 0;
  {
    tools::SystemLog log(path, tools::local_time_now, orvo_banner_tail());
    GlBackend backend;
    Hardware hardware(backend, log);
    const int init = hardware.initialise();
    if (init != 0) {
      std::fprintf(stderr, "orvo-cli: gpuinfo: no OpenGL context can be created%s%s (code %d)\n",
                   backend.error().empty() ? "" : ": ", backend.error().c_str(), init);
      status = 1;
    } else if (const int created = hardware.create_device(DeviceRequest{}); created != 0) {
      std::fprintf(stderr, "orvo-cli: gpuinfo: the device cannot be created (code %d)\n", created);
      status = 1;
    } else {
      Capabilities caps;
      hardware.read_capabilities(0, caps);
      const RenderCapabilities& f = caps.flags;
      const int level = !f.hardware_tnl ? 1 : (f.vertex_shaders && f.pixel_shaders ? 3 : 2);
      std::printf("OpenGL:   %s, %s\n", backend.info().renderer.c_str(), backend.info().version.c_str());
      std::printf("          %s, GLSL %s, %s\n", backend.info().vendor.c_str(), backend.info().glsl_version.c_str(),
                  backend.info().software ? "software rasteriser" : "hardware");
      std::printf("Textures: up to %d x %d, %s\n", backend.info().max_texture_size, backend.info().max_texture_size,
                  backend.info().s3tc ? "DXT data uploaded as it is" : "DXT data decoded on the CPU");
      static const char* const kLevels[] = {"", "Non-TnL (TNT2)", "DX7-level TnL (GeForce256, GeForce2)",
                                            "DX8-level TnL (GeForce3, Radeon8500)"};
      std::printf("Preview:  compatibility levels 1 to %d, the highest \"%s\"\n", level, kLevels[level]);
      std::printf("\n");
    }
  }
  if (const tools::Result<std::string> text = tools::read_file(path, 1 << 20)) std::fputs(text->c_str(), stdout);
  if (scratch) std::filesystem::remove(path);
  return status;
}

}  // namespace orvo
