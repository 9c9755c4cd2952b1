#pragma once
// Helpers shared by every test suite: a scratch folder per test and whole
// file reads.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tools::test {

// A scratch folder for one test under the system's temporary folder, unique
// to the process and the object, removed with everything in it at the end.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view tag = "test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string root() const { return path_.string(); }
  // The folder as a path prefix, with its trailing separator.
  std::string prefix() const { return path_.string() + "/"; }
  // The path of `name` inside the folder.
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  // Writes `bytes` to `name` inside the folder and returns its path.
  std::string put(std::string_view name, std::string_view bytes) const;
  // How many entries the folder holds, and their names in sorted order.
  std::size_t entries() const;
  std::vector<std::string> names() const;

 private:
  std::filesystem::path path_;
};

// The whole file as bytes; "" when it cannot be read.
std::string slurp(const std::string& path);

// Writes `bytes` to `path`, replacing what was there.
void write_bytes(const std::string& path, std::string_view bytes);

}  // namespace tools::test
