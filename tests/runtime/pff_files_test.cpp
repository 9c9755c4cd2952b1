// Packing and unpacking PFF archives: the packer stores only names the
// reader takes back and copies files in pieces within a memory limit;
// unpacking never writes outside its folder, writes nothing when an entry is
// refused, and leaves no partial entry when the archive cannot be read.
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

// Every file under `root`, as paths relative to it ("SUB/A.TGA").
std::vector<std::string> tree(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    out.push_back(fs::relative(e.path(), root).string() + (e.is_directory() && !e.is_symlink() ? "/" : ""));
  std::sort(out.begin(), out.end());
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

struct Extraction {
  tools::test::ScratchDir dir{"pff-extract"};
  fs::path out = dir.path() / "out";
  Extraction() { fs::create_directory(out); }
  // Unpacks an archive of `files`; the written paths go to `written`.
  tools::Status run(const std::vector<std::pair<std::string, std::string>>& files, std::size_t chunk = kPffChunkBytes) {
    archive = dir.put("in.pff", pff_bytes(files));
    auto a = PffArchive::open(archive);
    EXPECT_TRUE(a.ok()) << a.error().message;
    if (!a.ok()) return a.error();
    written.clear();
    return pff_extract(
        **a, out.string(), [&](const std::string& p) { written.push_back(p); }, chunk);
  }
  std::string archive;
  std::vector<std::string> written;
};

TEST(PffExtract, RefusesNamesThatLeadOutsideAndWritesNothing) {
  struct Case {
    std::string name, reason;
  };
  for (const Case& c :
       {Case{"../X", "the name leads outside the folder"}, Case{"SUB\\..\\..\\X", "the name leads outside the folder"},
        Case{"/TMP/Z", "the name is an absolute path"}, Case{"C:\\Z", "the name is an absolute path"},
        Case{"SUB/./A", "the name has a \".\" component"}, Case{"SUB//A", "the name has an empty component"}}) {
    Extraction x;
    // A good entry sorted before the bad one: it is not written either.
    const tools::Status s = x.run({{"+GOOD.TGA", "good"}, {c.name, "bad"}});
    ASSERT_FALSE(s.ok()) << c.name;
    EXPECT_EQ(s.error().message, x.archive + ": entry \"" + c.name + "\": " + c.reason + "; nothing was extracted");
    EXPECT_TRUE(tree(x.out).empty()) << c.name;
    EXPECT_TRUE(x.written.empty());
    EXPECT_EQ(x.dir.names(), (std::vector<std::string>{"in.pff", "out"})) << c.name;
  }
}

TEST(PffExtract, WritesSubfoldersInPiecesAndReplacesLinks) {
  Extraction x;
  const fs::path outside = x.dir.path() / "outside.txt";
  tools::test::write_bytes(outside.string(), "outside");
  fs::create_symlink(outside, x.out / "TOP");  // replaced, not written through
  const std::string big(5000, 'b');
  const tools::Status s = x.run({{"SUB/A.TGA", big}, {"SUB/DEEP/C", ""}, {"SUB\\B.PCX", "bb"}, {"TOP", "top"}}, 3);
  ASSERT_TRUE(s.ok()) << s.error().message;
  EXPECT_EQ(tree(x.out),
            (std::vector<std::string>{"SUB/", "SUB/A.TGA", "SUB/B.PCX", "SUB/DEEP/", "SUB/DEEP/C", "TOP"}));
  EXPECT_EQ(tools::test::slurp((x.out / "SUB/A.TGA").string()), big);
  EXPECT_EQ(tools::test::slurp((x.out / "SUB/B.PCX").string()), "bb");
  EXPECT_FALSE(fs::is_symlink(x.out / "TOP"));
  EXPECT_EQ(tools::test::slurp((x.out / "TOP").string()), "top");
  EXPECT_EQ(tools::test::slurp(outside.string()), "outside");
  EXPECT_EQ(x.written.size(), 4u);
  EXPECT_EQ(x.written[2], x.out.string() + "/SUB/B.PCX");
}

TEST(PffExtract, RefusesWhatStandsInTheWay) {
  struct Case {
    std::string what;
    std::function<void(const fs::path& out, const fs::path& outside)> prepare;
    std::vector<std::pair<std::string, std::string>> files;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"a link to a folder outside on the way",
       [](const fs::path& out, const fs::path& outside) { fs::create_directory_symlink(outside, out / "SUB"); },
       {{"SUB/A.TGA", "a"}},
       "/SUB is a symbolic link, which is never followed"},
      {"a file on the way",
       [](const fs::path& out, const fs::path&) { tools::test::write_bytes((out / "SUB").string(), "f"); },
       {{"SUB/A.TGA", "a"}},
       "/SUB is in the way: it is not a folder"},
      {"two entries of one path",
       [](const fs::path&, const fs::path&) {},
       {{"SUB/A", "1"}, {"SUB\\A", "2"}},
       "entry \"SUB\\A\": it would be written over entry \"SUB/A\""},
      {"a file where a folder is needed",
       [](const fs::path&, const fs::path&) {},
       {{"SUB", "1"}, {"SUB/A", "2"}},
       "entry \"SUB/A\": entry \"SUB\" is a file where it needs a folder"},
  };
  for (const Case& c : cases) {
    Extraction x;
    const fs::path outside = x.dir.path() / "outside";
    fs::create_directory(outside);
    c.prepare(x.out, outside);
    const std::vector<std::string> before = tree(x.out);
    const tools::Status s = x.run(c.files);
    ASSERT_FALSE(s.ok()) << c.what;
    EXPECT_NE(s.error().message.find(c.reason), std::string::npos) << c.what << ": " << s.error().message;
    EXPECT_NE(s.error().message.find("; nothing was extracted"), std::string::npos) << s.error().message;
    EXPECT_EQ(tree(x.out), before) << c.what;
    EXPECT_TRUE(fs::is_empty(outside)) << c.what;
  }
}

TEST(PffExtract, AnEntryCutShortLeavesNothingUnderItsName) {
  Extraction x;
  const std::string big(200000, 'x');
  x.archive = x.dir.put("in.pff", pff_bytes({{"A.TGA", "first"}, {"B.TGA", big}, {"C.TGA", "last"}}));
  auto a = PffArchive::open(x.archive);
  ASSERT_TRUE(a.ok()) << a.error().message;
  tools::test::write_bytes((x.out / "B.TGA").string(), "B as it was");
  ASSERT_EQ(::truncate(x.archive.c_str(), 100000), 0);
  const tools::Status s = pff_extract(**a, x.out.string(), {}, 4096);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().message, x.archive +
                                   ": entry \"B.TGA\": the archive ends at byte 100000, inside the entry's data "
                                   "(bytes 21 to 200020)");
  // The entry before it is whole; the cut one stays as it was, without a
  // temporary beside it.
  EXPECT_EQ(tree(x.out), (std::vector<std::string>{"A.TGA", "B.TGA"}));
  EXPECT_EQ(tools::test::slurp((x.out / "A.TGA").string()), "first");
  EXPECT_EQ(tools::test::slurp((x.out / "B.TGA").string()), "B as it was");
}

}  // namespace
