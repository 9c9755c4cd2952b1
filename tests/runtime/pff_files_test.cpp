// Packing PFF archives: the packer stores only names the reader takes back
// and copies files in pieces within a memory limit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "orvo/runtime/file_access.h"
#include "pff_bytes.h"
#include "tools/base/text.h"
#include "tools/test/scratch_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define ORVO_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVO_TEST_ASAN 1
#endif
#endif

namespace {

using namespace orvo;
using orvo::test::pff_bytes;
namespace fs = std::filesystem;

std::string entry_data(const PffArchive& a, int entry) {
  std::string out;
  const tools::Status s = a.stream(entry, [&](std::string_view piece) {
    out += piece;
    return tools::Status{};
  });
  EXPECT_TRUE(s.ok()) << s.error().message;
  return out;
}

// Whatever the packer accepts, the reader takes back under the upper-cased
// name with the same bytes; and the packer refuses only names the reader
// would refuse.
TEST(PffPack, WhatItAcceptsTheReaderReadsBack) {
  tools::test::ScratchDir dir("pff-names");
  std::vector<std::string> names = {"x.tga\t",  "lower.tga",          "\xc3\xa9t\xc3\xa9.tga",
                                    "\xff\xfe", std::string(19, 'q'), std::string(20, 'q')};
  std::mt19937 random(20240611);
  const std::string pool = "aZ9 ._-~\\\t\x01\x7f\x80\xe9:*?\"<>|";
  for (int i = 0; i < 200; ++i) {
    std::string name(1 + random() % 22, ' ');
    for (char& c : name) c = pool[random() % pool.size()];
    if (name == "." || name == "..") continue;
    names.push_back(name);
  }
  // Each name alone decides acceptance (into /dev/null: nothing to keep);
  // then every accepted one is packed into one archive and read back.
  std::vector<std::string> files;
  std::set<std::string> stored;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const fs::path folder = dir.path() / std::to_string(i);
    fs::create_directory(folder);
    const std::string file = (folder / names[i]).string();
    tools::test::write_bytes(file, "data of " + names[i]);
    const std::string name = tools::ascii_upper(names[i]);
    const tools::Status packed = pff_pack("/dev/null", {file});
    EXPECT_EQ(packed.ok(), pff_name_problem(name).empty()) << '"' << names[i] << '"';
    if (packed.ok() && stored.insert(name).second) files.push_back(file);
  }
  const std::string archive = dir.file("all.pff");
  const tools::Status packed = pff_pack(archive, files);
  ASSERT_TRUE(packed.ok()) << packed.error().message;
  auto a = PffArchive::open(archive);
  ASSERT_TRUE(a.ok()) << a.error().message;
  ASSERT_EQ((*a)->entries().size(), files.size());
  for (const std::string& file : files) {
    const std::string name = file.substr(file.find_last_of('/') + 1);
    const int entry = (*a)->find(pff_lookup_name(name, false));
    ASSERT_GE(entry, 0) << '"' << name << '"';
    EXPECT_EQ((*a)->entries()[static_cast<std::size_t>(entry)].name, tools::ascii_upper(name));
    EXPECT_EQ(entry_data(**a, entry), "data of " + name);
  }
  EXPECT_GT(files.size(), 50u);  // the odd names are not all refused
}

TEST(PffPack, CopiesInPiecesAndRefusesAFileThatChangesSize) {
  tools::test::ScratchDir dir("pff-pieces");
  std::string big(10000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 253);
  const std::vector<std::string> files = {dir.put("b.tga", big), dir.put("a.pcx", "abc"), dir.put("empty", ""),
                                          dir.put("c.3di", "c")};
  const std::string archive = dir.file("p.pff");
  std::vector<std::string> order;
  ASSERT_TRUE(pff_pack(archive, files, 7, [&](const PffEntry& e) { order.push_back(e.name); }).ok());
  EXPECT_EQ(order, (std::vector<std::string>{"A.PCX", "B.TGA", "C.3DI", "EMPTY"}));
  auto a = PffArchive::open(archive);
  ASSERT_TRUE(a.ok()) << a.error().message;
  EXPECT_EQ(entry_data(**a, 1), big);
  EXPECT_EQ(entry_data(**a, 3), "");
  const std::string before = tools::test::slurp(archive);

  // A file cut after its size was taken: the old archive stays, and no
  // temporary is left.
  const tools::Status s = pff_pack(archive, files, 7, [&](const PffEntry& e) {
    if (e.name == "A.PCX") {
      ASSERT_EQ(::truncate(files[0].c_str(), 5000), 0);
    }
  });
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(
      s.error().message,
      files[0] +
          ": the file changed size while it was packed (10000 bytes, now 5000 bytes); the archive was not written");
  EXPECT_EQ(tools::test::slurp(archive), before);
  EXPECT_EQ(dir.entries(), 5u);
}

// A file far larger than the memory the process may take is packed in
// pieces. It is sparse and the archive goes to /dev/null, so the test costs
// no disk and little time.
TEST(PffPack, ALargeFileStaysWithinAMemoryLimit) {
#ifdef ORVO_TEST_ASAN
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
  tools::test::ScratchDir dir("pff-large");
  const std::string input = dir.put("big.tga", "");
  ASSERT_EQ(::truncate(input.c_str(), off_t{160} << 20), 0);
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit lim{limit, limit};
    int code = ::setrlimit(RLIMIT_AS, &lim) == 0 ? 0 : 10;
    try {
      if (code == 0 && !pff_pack("/dev/null", {input}).ok()) code = 11;
    } catch (...) {
      code = 12;  // out of memory
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "10 no limit, 11 refused, 12 out of memory";
#endif
}

}  // namespace
