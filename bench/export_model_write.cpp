// Writes the 3DI files of the export benchmark's generated models into a
// folder, so that two builds can be compared byte for byte (see
// scripts/output-digest): the four-level set with one and with two strip
// threads, and a single level of about 10 000 faces.
//
//   build/bench/bench/export_model_write OUT_DIR
#include <cstdio>
#include <filesystem>
#include <string>

#include "export_model_gen.h"
#include "orvo/export/exporter.h"
#include "tools/base/atomic_write.h"

namespace {

using namespace orvo;

bool write(const std::string& path, std::array<const Model*, 4> slots, int jobs) {
  ExportRequest r;
  r.output_path = path;
  r.slots = slots;
  r.jobs = jobs;
  tools::Result<file3di::File3di> f = build_3di(r, nullptr);
  if (!f) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), f.error().message.c_str());
    return false;
  }
  tools::Result<std::string> bytes = file3di::encode_3di(*f);
  if (!bytes) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), bytes.error().message.c_str());
    return false;
  }
  if (tools::Status s = tools::write_file_atomic(path, *bytes); !s) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), s.error().message.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  const bench::Set set;
  const std::unique_ptr<Model> small = bench::level(29, 29);
  bool ok = write(dir + "/set-1job.3di", set.slots(), 1);
  ok = write(dir + "/set-2jobs.3di", set.slots(), 2) && ok;
  ok = write(dir + "/small.3di", {small.get(), nullptr, nullptr, nullptr}, 1) && ok;
  return ok ? 0 : 1;
}
