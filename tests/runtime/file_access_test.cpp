// File access over loose files and PFF archives: look-up by upper-case name
// with trailing blanks dropped and path stripping, the trial orders, reads
// that stop at an entry's end, seeks, sizes, the "pffmgr" message, the file
// log, damaged and overlapping archives refused with the byte, and entries
// streamed in pieces with a shrunk archive reported.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "orvo/runtime/file_access.h"
#include "pff_bytes.h"
#include "tools/test/scratch_dir.h"

namespace {

using namespace orvo;
using orvo::test::pff_bytes;
using orvo::test::RawEntry;

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

TEST(FileAccess, OverlappingEntriesAreRefused) {
  tools::test::ScratchDir dir("pff-overlap");
  const std::string data(32, 'd');  // bytes 16 to 47; the directory follows at 48
  const auto open = [&](const std::vector<RawEntry>& entries) {
    return PffArchive::open(dir.put("a.pff", pff_bytes(entries, data)));
  };
  struct Case {
    std::vector<RawEntry> entries;
    int64_t byte;
    std::string message;
  };
  std::vector<RawEntry> same;  // every entry names the same bytes
  for (int i = 0; i < 200; ++i) same.push_back({"E" + std::to_string(1000 + i), 16, 32});
  for (const Case& c : {
           Case{same, 16, "the data of entry \"E1000\" (bytes 16 to 47) overlap entry \"E1001\" (bytes 16 to 47)"},
           Case{{{"A", 16, 10}, {"B", 40, 8}, {"C", 20, 4}}, 20, "entry \"A\" (bytes 16 to 25) overlap entry \"C\""},
           Case{{{"H", 8, 10}}, 8, "entry \"H\" (bytes 8 to 17) overlap the 16-byte header"},
           Case{{{"D", 40, 9}}, 48, "entry \"D\" (bytes 40 to 48) overlap the directory (bytes 48 to 83)"},
       }) {
    auto a = open(c.entries);
    ASSERT_FALSE(a.ok()) << c.message;
    EXPECT_EQ(a.error().where.offset, c.byte) << a.error().message;
    EXPECT_NE(a.error().message.find(c.message), std::string::npos) << a.error().message;
  }
  // Neighbours that touch, and empty entries anywhere (even in the header),
  // share no byte.
  auto fine = open({{"A", 16, 16}, {"B", 32, 16}, {"C", 20, 0}, {"D", 0, 0}, {"E", 48, 0}});
  ASSERT_TRUE(fine.ok()) << fine.error().message;
  EXPECT_EQ((*fine)->entries().size(), 5u);
}

TEST(FileAccess, EntriesStreamInPiecesAndAShrunkArchiveIsAnError) {
  tools::test::ScratchDir dir("pff-stream");
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  const std::string path = dir.put("a.pff", pff_bytes({{"BIG.TGA", big}, {"SMALL.PCX", "tail"}}));
  auto a = PffArchive::open(path);
  ASSERT_TRUE(a.ok()) << a.error().message;
  std::string copy;
  std::size_t pieces = 0;
  ASSERT_TRUE((*a)->stream(
                      0,
                      [&](std::string_view piece) {
                        EXPECT_LE(piece.size(), 4096u);
                        copy += piece;
                        ++pieces;
                        return tools::Status{};
                      },
                      4096)
                  .ok());
  EXPECT_EQ(copy, big);
  EXPECT_EQ(pieces, (big.size() + 4095) / 4096);

  // The archive is cut inside the big entry while it is registered: the
  // stream stops with the entry, the archive and the byte it ends at.
  ASSERT_EQ(::truncate(path.c_str(), 50000), 0);
  copy.clear();
  const tools::Status cut = (*a)->stream(0, [&](std::string_view piece) {
    copy += piece;
    return tools::Status{};
  });
  ASSERT_FALSE(cut.ok());
  EXPECT_EQ(cut.error().message,
            path + ": entry \"BIG.TGA\": the archive ends at byte 50000, inside the entry's data (bytes 16 to 100015)");
  EXPECT_TRUE(copy.empty()) << "a piece is passed on only when it was read whole";
}

}  // namespace
