// Every glTF 2.0, FBX, OBJ and COLLADA file of Debian's assimp-testmodels
// gives a model or a clean error (a message naming the file), never a crash.
// ORVO_ASSIMP_MODELS names another folder; ORVO_ASSIMP_CORPUS_EVERY=N takes
// every Nth file only (for the sanitizer build).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvo/import/assimp_scene.h"
#include "orvo/import/model_files.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

TEST(AssimpCorpus, EveryTestModelGivesAModelOrACleanError) {
  const char* env = std::getenv("ORVO_ASSIMP_MODELS");
  const fs::path root = env != nullptr ? env : "/usr/share/assimp/models";
  if (!fs::is_directory(root)) GTEST_SKIP() << root << " is absent (Debian package assimp-testmodels)";
  const char* every_env = std::getenv("ORVO_ASSIMP_CORPUS_EVERY");
  const long every = every_env != nullptr ? std::max(1L, std::strtol(every_env, nullptr, 10)) : 1;

  struct Count {
    int models = 0, errors = 0;
  };
  std::map<std::string, Count> counts;
  auto model = std::make_unique<Model>();
  long seen = 0;
  for (const char* format : {"glTF2", "FBX", "OBJ", "Collada"}) {
    const fs::path folder = root / format;
    if (!fs::is_directory(folder)) continue;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      if (e.is_regular_file() && is_assimp_scene_path(e.path().string())) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      if (seen++ % every != 0) continue;
      model_reset(*model);
      NullNotifier quiet;
      ModelContext context;
      context.notifier = &quiet;
      const Status s = model_import_scene(f.string(), *model, context);
      if (s) {
        ++counts[format].models;
      } else {
        ++counts[format].errors;
        EXPECT_NE(s.error().message.find(f.string()), std::string::npos) << s.error().message;
        EXPECT_TRUE(s.code() == kAssimpCannotOpen || s.code() == kAssimpBadScene || s.code() == kConvertRefused)
            << f << ": " << s.code();
      }
    }
  }
  for (const auto& [format, c] : counts) {
    std::printf("%-8s %3d models, %3d clean errors\n", format.c_str(), c.models, c.errors);
  }
  EXPECT_FALSE(counts.empty());
}

}  // namespace
}  // namespace orvo
