// File access over loose files and PFF archives: look-up by upper-case name
// with trailing blanks dropped and path stripping, the trial orders, reads
// that stop at an entry's end, seeks, sizes, the "pffmgr" message, the file
// log, and damaged archives refused with the byte.
#include <gtest/gtest.h>

#include <cstring>

#include "orvo/runtime/file_access.h"
#include "tools/test/scratch_dir.h"

namespace {

using namespace orvo;

struct Fixture {
  tools::test::ScratchDir dir{"pff"};
  std::string archive;
  Fixture() {
    const std::string a = dir.put("tank.tga", "TANK-DATA"), b = dir.put("zed.pcx", "ZZ");
    archive = dir.file("main.pff");
    EXPECT_TRUE(pff_pack(archive, {b, a}).ok());
  }
  std::unique_ptr<PffArchive> open(bool report = false) {
    auto r = PffArchive::open(archive, report);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().message);
    return r.ok() ? std::move(*r) : nullptr;
  }
};

std::string read_all(FileAccess& fa, std::size_t chunk = 4) {
  std::string out;
  char buf[64];
  for (std::size_t n; (n = fa.read(buf, chunk)) > 0;) out.append(buf, n);
  return out;
}

TEST(FileAccess, ArchiveLookUpReadsAndSeeks) {
  Fixture fx;
  FileAccess fa;
  fa.strip_path = true;
  fa.set_main_archive(fx.open());
  EXPECT_EQ(fa.open("some/folder/tank.tga  "), 2);  // last component, any case, trailing blanks dropped
  EXPECT_EQ(read_all(fa), "TANK-DATA");             // stops at the entry's end, not in the next one
  EXPECT_EQ(fa.seek(0, 2), 9);                      // origin 2: the entry's size
  EXPECT_EQ(fa.seek(-4, 1), 5);
  EXPECT_EQ(read_all(fa), "DATA");
  EXPECT_EQ(fa.size("ZED.PCX"), 2);
  EXPECT_FALSE(fa.exists("missing.tga"));
  EXPECT_TRUE(fa.error());
  fa.strip_path = false;
  EXPECT_EQ(fa.open("some/folder/tank.tga"), -1);
}

TEST(FileAccess, TrialOrders) {
  Fixture fx;
  const std::string loose = fx.dir.put("ZED.PCX", "loose");
  const auto first_bytes = [](FileAccess& fa, std::string_view name) {
    if (fa.open(name) < 0) return std::string("-");
    return read_all(fa);
  };
  {
    FileAccess fa;  // no archive: the loose file
    EXPECT_EQ(first_bytes(fa, loose), "loose");
  }
  {
    FileAccess fa;  // a main archive: it alone
    fa.strip_path = true;
    fa.set_main_archive(fx.open());
    EXPECT_EQ(first_bytes(fa, loose), "ZZ");
    fa.prefer_loose = true;  // loose first
    EXPECT_EQ(first_bytes(fa, loose), "loose");
  }
  {
    FileAccess fa;  // slots only when asked for
    fa.strip_path = true;
    fa.set_slot(5, fx.open());
    EXPECT_EQ(first_bytes(fa, "zed.pcx"), "-");
    fa.use_slots = true;
    EXPECT_EQ(fa.open("zed.pcx"), 3 + 5);
  }
}

TEST(FileAccess, MessagesAndFileLog) {
  Fixture fx;
  tools::RecordingNotifier notifier;
  FileAccess fa(&notifier);
  fa.set_main_archive(fx.open(true));
  fa.file_log = true;
  fa.file_log_path = fx.dir.put("_filelog.txt", "from an earlier run\n");
  EXPECT_EQ(fa.open("nothing.tga"), -1);
  ASSERT_EQ(notifier.messages.size(), 1u);
  EXPECT_EQ(notifier.messages[0].text, "Error reading nothing.tga in PFF file " + fx.archive + ".");
  EXPECT_EQ(notifier.messages[0].caption, "pffmgr");
  EXPECT_EQ(fa.open("tank.tga"), 2);
  EXPECT_EQ(tools::test::slurp(fa.file_log_path), "PFF LOADED FILE: tank.tga\n");
}

TEST(FileAccess, DamagedArchivesAreRefused) {
  Fixture fx;
  const std::string good = tools::test::slurp(fx.archive);
  struct Case {
    std::size_t at;
    uint32_t value;
    long offset;
  };
  const std::size_t dir = good.size() - 2 * kPffEntryBytes;
  for (const Case& c :
       {Case{0, 0x31464650u ^ 1, 0}, Case{4, 2, 4}, Case{8, 1000000, 8}, Case{dir + 8, 999, long(dir + 4)},
        Case{dir + 16, 0x5A5A5A5A, long(dir + kPffEntryBytes + 16)}}) {
    std::string bytes = good;
    std::memcpy(bytes.data() + c.at, &c.value, 4);
    const std::string path = fx.dir.put("bad.pff", bytes);
    auto a = PffArchive::open(path);
    ASSERT_FALSE(a.ok()) << c.at;
    EXPECT_EQ(a.error().where.offset, c.offset) << a.error().message;
  }
  EXPECT_FALSE(PffArchive::open(fx.dir.file("none.pff")).ok());
  EXPECT_FALSE(pff_pack(fx.dir.file("x.pff"), {fx.dir.put("a_name_that_is_too_long.tga", "x")}).ok());
}

}  // namespace
