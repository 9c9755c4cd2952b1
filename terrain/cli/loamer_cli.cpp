// loamer-cli: the terrain generator without its dialog.
//
//   loamer-cli build PROJECT.tpj [--jobs N]
//   loamer-cli inspect FILE [--json]      (.tml, .tms, .cpt, Output.dep)
//   loamer-cli render PROJECT.tpj -o PICTURE.png [--sector S] [--lod L]
//       the built terrain as a shaded relief with the block grid of sector S
//       (0 to 4, default 4) and the wireframe of LOD slot L (0, 2, ..., 14)
//       of its blocks; built with Qt only
//
// Exit status: 0 success, 1 input unreadable or output unwritable (standard
// output too), 2 usage error, 130 build stopped by Ctrl+C.
#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "loamer/block_file.h"
#include "loamer/build.h"
#include "loamer/height_file.h"
#include "loamer/project.h"
#include "loamer/system_log.h"
#include "loamer/terrain_file.h"
#include "tools/base/atomic_write.h"
#include "tools/base/file_io.h"
#include "tools/base/version.h"
#include "tools/cli/program.h"

#ifdef LOAMER_WITH_VIEW
#include "loamer/view/relief.h"
#endif

namespace {

using tools::cli::kExitIo;
using tools::cli::kExitOk;
using tools::cli::kExitStopped;

constexpr std::string_view kProgram = "loamer-cli";

const char* const kStageNames[loamer::kBuildStages] = {"Triangulation and LOD", "Export Unoptimized Data",
                                                       "Optimize Data", "Export Optimized Data"};

// Output list lines on stdout; the stage bars on stderr when it is a
// terminal, redrawn in place on one line. Ctrl+C (through StopOnSignal)
// makes cancelled() true.
class ConsoleNotifier : public loamer::BuildNotifier {
 public:
  ConsoleNotifier() : bars_(::isatty(STDERR_FILENO) != 0) {}

  void log(std::string_view line) override {
    std::lock_guard lock(mutex_);
    clear_bar();
    std::cout << line << '\n' << std::flush;
    draw_bar();
  }
  void stage(int stage) override {
    std::lock_guard lock(mutex_);
    stage_ = stage;
    total_ = 0;
    done_ = 0;
    text_.clear();
    draw_bar();
  }
  void progress(long done, long total) override {
    std::lock_guard lock(mutex_);
    done_ = done;
    total_ = total;
    draw_bar();
  }
  void stage_text(std::string_view text) override {
    std::lock_guard lock(mutex_);
    text_ = text;
    draw_bar();
  }
  bool cancelled() const override { return stop_.load(); }

  // Asks the build to stop, as the dialog's Stop Build does.
  void request_stop() {
    stop_.store(true);
    log("Stopping Build....");
  }
  void finish() {
    std::lock_guard lock(mutex_);
    clear_bar();
  }

 private:
  void clear_bar() {
    if (bars_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }
  void draw_bar() {
    if (!bars_ || stage_ < 1 || stage_ > loamer::kBuildStages) return;
    constexpr int kWidth = 30;
    const long total = std::max(total_, 1L);
    const int filled = static_cast<int>(std::clamp(done_, 0L, total) * kWidth / total);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r\033[K%d/4 %-24s [%s] %s", stage_, kStageNames[stage_ - 1], bar.c_str(), text_.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  bool bars_;
  bool drawn_ = false;
  int stage_ = 0;
  long total_ = 0, done_ = 0;
  std::string text_;
};

// Turns Ctrl+C (or SIGTERM) into the build's stop request on a thread of its
// own; a second one ends the program at once.
class StopOnSignal {
 public:
  explicit StopOnSignal(ConsoleNotifier& notifier) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    waiter_ = std::thread([this, &notifier] {
      int requests = 0;
      for (;;) {
        int sig = 0;
        if (sigwait(&set_, &sig) != 0 || sig == SIGUSR2) return;
        if (++requests > 1) {
          // Ends at once: the files being written are left as they were.
          tools::remove_pending_temporaries();
          std::_Exit(kExitStopped);
        }
        notifier.request_stop();
      }
    });
  }
  ~StopOnSignal() {
    pthread_kill(waiter_.native_handle(), SIGUSR2);
    waiter_.join();
  }

 private:
  sigset_t set_{};
  std::thread waiter_;
};

int run_build_command(const std::string& project_file, int jobs) {
  // The log comes first, as at the dialog's start.
  tools::SystemLog system_log;
  loamer::start_loamer_log(system_log);

  loamer::TerrainProject project;
  loamer::QuadrantLocks locks;
  tools::Status read = loamer::read_project(project_file, project, locks);
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(project_file, ec);
  std::cout << "Opening " << (ec ? project_file : full.string()) << '\n' << std::flush;
  if (!read.ok()) {
    tools::cli::print_error(kProgram, read.error().message);
    return kExitIo;
  }
  if (tools::Status complete = loamer::check_complete(project, project_file); !complete) {
    tools::cli::print_error(kProgram, complete.error().message + "; nothing was built");
    return kExitIo;
  }

  loamer::BuildParams params = loamer::build_params(project, locks);
  params.jobs = jobs;
  ConsoleNotifier notifier;
  loamer::BuildControl control;
  tools::Status built;
  {
    StopOnSignal signals(notifier);
    built = loamer::run_build(params, notifier, control);
  }
  notifier.finish();
  if (built.ok()) return kExitOk;
  if (built.error().kind == tools::ErrorKind::kStopped) return kExitStopped;
  // The Output list has said what failed in its own words; this names the
  // file and the reason.
  tools::cli::print_error(kProgram, built.error().message);
  return kExitIo;
}

// ---- inspect ----

std::string kind_name(loamer::ListKind kind) {
  return kind == loamer::ListKind::kStrip ? "strip" : "triangle list";
}

int inspect_block(const std::string& file, bool json) {
  tools::Result<loamer::PackedBlockMesh> mesh = loamer::read_block_mesh(file);
  if (!mesh.ok()) {
    tools::cli::print_error(kProgram, mesh.error().message);
    return kExitIo;
  }
  if (json) {
    nlohmann::json j;
    j["file"] = file;
    j["format"] = "TPM1";
    j["origin_x"] = mesh->origin_x;
    j["origin_z"] = mesh->origin_z;
    j["vertex_count"] = mesh->vertex_count();
    j["lists"] = nlohmann::json::array();
    for (int slot = 0; slot < loamer::kLodSlots; slot += 2) {
      const loamer::LodList& l = mesh->lods[static_cast<size_t>(slot)];
      j["lists"].push_back({{"lod", slot},
                            {"count", l.count},
                            {"vertex_count", l.vertex_count},
                            {"kind", static_cast<int>(l.kind)},
                            {"indices", l.indices.size()}});
    }
    std::cout << j.dump(2) << '\n';
    return kExitOk;
  }
  std::cout << file << ": block mesh (TPM1)\n"
            << "  origin      " << mesh->origin_x << ", " << mesh->origin_z << '\n'
            << "  vertices    " << mesh->vertex_count() << '\n'
            << "  LOD   count      V  kind\n";
  for (int slot = 0; slot < loamer::kLodSlots; slot += 2) {
    const loamer::LodList& l = mesh->lods[static_cast<size_t>(slot)];
    char line[96];
    std::snprintf(line, sizeof line, "  %3d %7u %6u  %d %s%s\n", slot, l.count, static_cast<unsigned>(l.vertex_count),
                  static_cast<int>(l.kind), kind_name(l.kind).c_str(),
                  l.kind == loamer::ListKind::kStrip ? " (indices)" : " (triangles)");
    std::cout << line;
  }
  return kExitOk;
}

int inspect_terrain(const std::string& file, bool json) {
  tools::Result<loamer::TerrainFileSummary> s = loamer::summarize_terrain_file(file);
  if (!s.ok()) {
    tools::cli::print_error(kProgram, s.error().message);
    return kExitIo;
  }
  size_t shared = 0;
  for (const auto& r : s->records) shared += r.shared ? 1 : 0;
  if (json) {
    nlohmann::json j;
    j["file"] = file;
    j["format"] = "CPT1";
    j["file_size"] = s->file_size;
    j["grid_size"] = s->grid_size;
    j["sectors"] = s->sectors;
    j["terrain_name"] = s->terrain_name;
    j["creator"] = s->creator;
    j["user_name"] = s->user_name;
    j["records_per_sector"] = s->records_per_sector;
    j["records"] = s->records.size();
    j["shared_records"] = shared;
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return kExitOk;
  }
  std::cout << file << ": terrain file (CPT1), " << s->file_size << " bytes\n"
            << "  grid size   " << s->grid_size << '\n'
            << "  sectors     " << s->sectors << '\n'
            << "  terrain     " << s->terrain_name << '\n'
            << "  creator     " << s->creator << '\n'
            << "  built by    " << s->user_name << '\n'
            << "  records     " << s->records.size() << " (" << shared << " shared)\n";
  for (size_t sector = 0; sector < s->records_per_sector.size(); ++sector)
    std::cout << "  sector " << sector << "    " << s->records_per_sector[sector] << " records\n";
  return kExitOk;
}

int inspect_heights(const std::string& file, bool json) {
  tools::Result<std::vector<uint16_t>> h = loamer::read_height_file(file);
  if (!h.ok()) {
    tools::cli::print_error(kProgram, h.error().message);
    return kExitIo;
  }
  const auto [lo, hi] = std::minmax_element(h->begin(), h->end());
  double sum = 0;
  for (uint16_t v : *h) sum += v;
  const double mean = sum / static_cast<double>(h->size()) / 256.0;
  if (json) {
    nlohmann::json j{{"file", file},       {"format", "height file"}, {"size", 1024},
                     {"min", *lo / 256.0}, {"max", *hi / 256.0},      {"mean", mean}};
    std::cout << j.dump(2) << '\n';
    return kExitOk;
  }
  std::cout << file << ": height file, 1024 x 1024 heights\n"
            << "  lowest      " << *lo / 256.0 << '\n'
            << "  highest     " << *hi / 256.0 << '\n'
            << "  mean        " << mean << '\n';
  return kExitOk;
}

int run_inspect(const std::string& file, bool json) {
  // Only the kind of file is told here; its own reader then reads it with
  // its own limit. A missing file, a directory or a device is refused with
  // the reason.
  tools::Result<tools::FileText> text = tools::FileText::open(file, loamer::kMaxTerrainFileBytes);
  if (!text) {
    tools::cli::print_error(kProgram, text.error().message);
    return kExitIo;
  }
  const std::string_view bytes = text->view();
  const std::string_view tag = bytes.substr(0, 4);
  if (tag == "TPM1") return inspect_block(file, json);
  if (tag == "CPT1") return inspect_terrain(file, json);
  if (bytes.size() == loamer::kHeightFileBytes || std::filesystem::path(file).filename() == "Output.dep")
    return inspect_heights(file, json);
  tools::cli::print_error(kProgram,
                          file + ": not a block mesh (TPM1), terrain file (CPT1) or height file (2097152 bytes)");
  return kExitIo;
}

#ifdef LOAMER_WITH_VIEW

// ---- render ----

int run_render(const std::string& project_file, const std::string& picture, int sector, int lod) {
  loamer::TerrainProject project;
  loamer::QuadrantLocks locks;
  if (tools::Status read = loamer::read_project(project_file, project, locks); !read) {
    tools::cli::print_error(kProgram, read.error().message);
    return kExitIo;
  }
  tools::Result<QImage> image = loamer::view::render_build(project.path, sector, lod);
  if (!image) {
    tools::cli::print_error(kProgram, image.error().message);
    return kExitIo;
  }
  if (tools::Status saved = loamer::view::save_png(*image, picture); !saved) {
    tools::cli::print_error(kProgram, saved.error().message);
    return kExitIo;
  }
  return kExitOk;
}

#endif

int run(int argc, char** argv) {
  CLI::App app{"Loamer terrain generator: builds a terrain from a 1024 x 1024 depth map"};
  app.set_version_flag("--version", std::string("loamer-cli ") + tools::kPackageVersion);
  app.set_help_all_flag("--help-all", "Print the help of every command and exit");
  app.require_subcommand(1);

  std::string project_file;
  int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  CLI::App* build = app.add_subcommand("build", "Build the terrain of a project (.tpj): block files, Output.dep, .cpt");
  build->add_option("project", project_file, "Terrain project file (.tpj)")->required();
  build->add_option("-j,--jobs", jobs, "Threads for independent blocks (default: the number of cores)")
      ->check(CLI::Range(1, 256));

  std::string file;
  bool json = false;
  CLI::App* inspect = app.add_subcommand("inspect", "Summarise a .tml, .tms, .cpt or Output.dep file");
  inspect->add_option("file", file, "File to summarise")->required();
  inspect->add_flag("--json", json, "Print a machine-readable summary");

#ifdef LOAMER_WITH_VIEW
  std::string picture;
  int sector = 4, lod = -1;
  CLI::App* render = app.add_subcommand("render", "Draw a built terrain: shaded relief, block grid, block wireframes");
  render->add_option("project", project_file, "Terrain project file (.tpj) of the build")->required();
  render->add_option("-o,--output", picture, "PNG file to write")->required();
  render->add_option("--sector", sector, "Sector whose block grid is drawn (0 to 4, default 4)")
      ->check(CLI::Range(0, 4));
  render->add_option("--lod", lod, "LOD slot whose wireframe is drawn for every block (0, 2, ..., 14; default none)")
      ->check(CLI::IsMember({0, 2, 4, 6, 8, 10, 12, 14}));
#endif

  if (std::optional<int> done = tools::cli::parse_command_line(app, kProgram, argc, argv)) return *done;
  if (*build) return run_build_command(project_file, jobs);
#ifdef LOAMER_WITH_VIEW
  if (*render) return run_render(project_file, picture, sector, lod);
#endif
  return run_inspect(file, json);
}

}  // namespace

int main(int argc, char** argv) {
  tools::set_temporary_owner("loamer");
  return tools::cli::run_main(kProgram, argc, argv, [&] { return run(argc, argv); });
}
