// The zip component end to end on archives built in the test: the two walks, selection,
// output paths, overwrite decisions, passwords, CRC verdicts and the order of events.
#include "archive/arxPaths.h"
#include "archive/arxUnZIP.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/UnZipFixture.h"
#include "support/ZipBuilder.h"
#include "platform/fs.h"

namespace {

using orb::TUnZIP;
using orbtest::Exists;
using orbtest::IsDir;
using orbtest::Read;
using orbtest::Recorder;
using orbtest::UnZipTest;
using orbtest::ZipBuilder;
using orbtest::ZipItem;

// A package like the installer's: a task folder with subfolders (one of them empty), GBK
// names, stored and deflated files.
ZipBuilder PackageArchive() {
  ZipBuilder b;
  b.Add({.name = "Task.tsk/", .folder = true});
  b.Add({.name = "Task.tsk/TASKSIGN.TSK", .data = "[General]\r\nFlag=QM04\r\n"});
  b.Add({.name = "Task.tsk/表格/", .folder = true});
  b.Add({.name = "Task.tsk/表格/参数.dbf", .data = std::string(70000, 'x'), .method = 8});
  b.Add({.name = "Task.tsk/空/", .folder = true});
  b.Add({.name = "Task.tsk/报表.ini", .data = "[A]\r\nB=1\r\n", .method = 8});
  return b;
}

TEST_F(UnZipTest, LocalWalkWithTrailingBytesExtractsEveryEntryAndCreatesEveryFolder) {
  ZipBuilder b = PackageArchive();
  b.trailing = std::string(2, '\0');  // a resource padded to a multiple of four
  std::string archive = Write("pkg.zip", b.Build());
  // An existing file is replaced without asking.
  ASSERT_EQ(platform::CreateDir(out_), 0u);
  ASSERT_EQ(platform::CreateDir(out_ + "\\Task.tsk"), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(out_ + "\\Task.tsk\\TASKSIGN.TSK", "old"), 0u);

  TUnZIP z(nullptr);
  Prepare(z, archive);
  EXPECT_EQ(z.ArcType(), orb::TArcType::atZip);
  EXPECT_EQ(z.HeaderFlag(), 0x10);
  EXPECT_EQ(z.StartOffset(), 0);
  Recorder r;
  r.Attach(z);
  EXPECT_EQ(z.Extract(), 6);
  EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
  for (const std::string& line : r.log)
    EXPECT_EQ(line.find(" bad"), std::string::npos) << line;
  EXPECT_TRUE(IsDir(out_ + "\\Task.tsk\\空"));
  EXPECT_TRUE(IsDir(out_ + "\\Task.tsk\\表格"));
  EXPECT_EQ(Read(out_ + "\\Task.tsk\\TASKSIGN.TSK"), "[General]\r\nFlag=QM04\r\n");
  EXPECT_EQ(Read(out_ + "\\Task.tsk\\表格\\参数.dbf"), std::string(70000, 'x'));
  EXPECT_EQ(Read(out_ + "\\Task.tsk\\报表.ini"), "[A]\r\nB=1\r\n");
}

TEST_F(UnZipTest, CentralWalkExtractsFilesOnlyAndSkipsEmptyFolders) {
  std::string archive = Write("pkg.zip", PackageArchive().Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  EXPECT_EQ(z.HeaderFlag(), 0x19);
  Recorder r;
  r.Attach(z);
  EXPECT_EQ(z.Extract(), 3);
  EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
  EXPECT_FALSE(Exists(out_ + "\\Task.tsk\\空"));
  EXPECT_EQ(Read(out_ + "\\Task.tsk\\表格\\参数.dbf"), std::string(70000, 'x'));
  // The end record is invalidated after a run; the other detection results stay.
  EXPECT_EQ(z.EndRecord().Signature, 0u);
  EXPECT_EQ(z.ArcType(), orb::TArcType::atZip);
}

TEST_F(UnZipTest, EventsComeInOrder) {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "alpha"});
  b.Add({.name = "b.txt", .data = "beta", .crc_override = 0x12345678});
  b.Add({.name = "c.txt", .data = "gamma", .method = 7});
  int begun = 0;
  Recorder r = ExtractRecording("e.zip", b.Build(), nullptr, &begun);
  EXPECT_EQ(begun, 3);
  std::vector<std::string> want = {
      "activate", "begin 1 a.txt", "end a.txt ok", "begin 2 b.txt", "end b.txt bad",
      "begin 3 c.txt", "error 25326 " + out_ + "\\c.txt", "end c.txt bad", "deactivate"};
  EXPECT_EQ(r.log, want);
}

TEST_F(UnZipTest, CorruptDeflateDataIsReportedAndLeavesThePartialOutput) {
  // A stored block of 40,000 bytes, then a stored block whose NLEN is not ~LEN: the first
  // window (32,768 bytes) has been written when the second header fails.
  std::string good = orbtest::DeflateStored(std::string(40000, 'k'));
  good[0] = 0;  // not the last block
  std::string bad = std::string("\x01\x05\x00\x00\x00", 5) + "12345";
  ZipBuilder b;
  b.Add({.name = "broken.bin", .data = std::string(40005, 'k'), .method = 8,
         .payload = good + bad});
  b.Add({.name = "next.txt", .data = "next"});
  int begun = 0;
  Recorder r = ExtractRecording("bad.zip", b.Build(), nullptr, &begun);
  EXPECT_EQ(begun, 2);
  EXPECT_EQ(r.log, (std::vector<std::string>{
                       "activate", "begin 1 broken.bin", "error 25109 " + out_ + "\\broken.bin",
                       "end broken.bin bad", "begin 2 next.txt", "end next.txt ok", "deactivate"}));
  EXPECT_EQ(Read(out_ + "\\broken.bin"), std::string(32768, 'k'));
}

TEST_F(UnZipTest, CancelFromAnEventEndsTheRun) {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "A"});
  b.Add({.name = "b.txt", .data = "B"});
  b.Add({.name = "c.txt", .data = "C"});
  std::string archive = Write("cancel.zip", b.Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  z.OnBegin = [&](orb::TObject*, const std::string& fn, int, bool&) {
    if (orb::ExtractFileNamePart(fn) == "b.txt") z.SetCancel(true);
  };
  EXPECT_EQ(z.Extract(), 2);
  EXPECT_TRUE(Exists(out_ + "\\a.txt"));
  EXPECT_FALSE(Exists(out_ + "\\b.txt"));
  EXPECT_FALSE(Exists(out_ + "\\c.txt"));
  // The next run starts uncancelled.
  z.OnBegin = nullptr;
  EXPECT_EQ(z.Extract(), 3);
}

TEST_F(UnZipTest, CrcMismatchWithoutOnEndIsReportedAsError) {
  ZipBuilder b;
  b.Add({.name = "dir/b.txt", .data = "beta", .crc_override = 1});
  std::string archive = Write("e.zip", b.Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  std::vector<std::string> got;
  z.OnError = [&](orb::TObject*, const std::string& fn, const std::string&, const std::string&,
                  int code) { got.push_back(std::to_string(code) + " " + fn); };
  z.Extract();
  EXPECT_EQ(got, std::vector<std::string>{"25151 dir/b.txt"});
}

TEST_F(UnZipTest, ProgressCountsExactWindowPieces) {
  // 65,536 bytes of output are written as two 32 KiB pieces and no remainder.
  ZipBuilder b;
  b.Add({.name = "big.bin", .data = std::string(65536, 'q'), .method = 8});
  std::string archive = Write("p.zip", b.Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  std::vector<int> by_file, by_archive;
  z.OnProgress = [&](orb::TObject*, std::uint8_t f, std::uint8_t a) {
    by_file.push_back(f);
    by_archive.push_back(a);
  };
  z.Extract();
  // The begin step's report (0, 0), then one per written piece.
  EXPECT_EQ(by_file, (std::vector<int>{0, 50, 100}));
  EXPECT_EQ(by_archive, (std::vector<int>{0, 50, 100}));
}

TEST_F(UnZipTest, FileSpecSelection) {
  struct Case {
    const char* what;
    std::vector<std::string> patterns;
    int begun;
  };
  const Case cases[] = {
      {"an empty pattern list selects nothing", {}, 0},
      {"pattern without '*' stops after the first match", {"r?.txt"}, 1},
      {"pattern with '*' takes all matches", {"r*.txt"}, 2},
      {"a pattern is reduced to its name part", {"sub\\r1.txt"}, 1},
      {"a pattern is compared with the whole stored path", {"r1.txt", "other.dat"}, 1},
      {"an asterisk spans folders", {"*.dat"}, 1},
  };
  ZipBuilder b;
  b.Add({.name = "r1.txt", .data = "1"});
  b.Add({.name = "r2.txt", .data = "2"});
  b.Add({.name = "sub/other.dat", .data = "3"});
  std::string archive = Write("s.zip", b.Build());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TUnZIP z(nullptr);
    Prepare(z, archive);
    z.SetFileSpec(c.patterns);
    EXPECT_EQ(z.Extract(), c.begun);
  }
}

TEST_F(UnZipTest, OverwriteDecisions) {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "new a"});
  b.Add({.name = "b.txt", .data = "new b"});
  b.Add({.name = "c.txt", .data = "new c"});
  std::string archive = Write("o.zip", b.Build());
  ASSERT_EQ(platform::CreateDir(out_), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(out_ + "\\a.txt", "old a"), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(out_ + "\\c.txt", "old c"), 0u);
  {
    // Confirmation without a handler: every existing target is kept from then on.
    TUnZIP z(nullptr);
    Prepare(z, archive);
    z.SetConfirmOverwrites(true);
    EXPECT_EQ(z.Extract(), 1);
    EXPECT_EQ(z.OverwriteMode(), orb::TOverwriteMode::omSkip);
    EXPECT_EQ(Read(out_ + "\\a.txt"), "old a");
    EXPECT_EQ(Read(out_ + "\\b.txt"), "new b");
    EXPECT_EQ(Read(out_ + "\\c.txt"), "old c");
  }
  {
    // The handler's choice stays in force; a read-only target is still replaced.
    ASSERT_EQ(platform::SetAttributes(out_ + "\\c.txt", platform::kFileAttributeReadOnly), 0u);
    TUnZIP z(nullptr);
    Prepare(z, archive);
    z.SetConfirmOverwrites(true);
    std::vector<std::string> asked;
    z.OnFileExists = [&](orb::TObject*, const std::string& fn, orb::TDateTime date,
                         orb::TOverwriteMode& mode) {
      asked.push_back(orb::ExtractFileNamePart(fn));
      EXPECT_NEAR(date, 45759.559, 0.001);  // 2025-04-12 13:25:02
      mode = orb::TOverwriteMode::omOverwrite;
    };
    EXPECT_EQ(z.Extract(), 3);
    EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(Read(out_ + "\\c.txt"), "new c");
  }
}

TEST_F(UnZipTest, RenameAndVetoInOnBegin) {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "A"});
  b.Add({.name = "b.txt", .data = "B"});
  std::string archive = Write("r.zip", b.Build());
  TUnZIP z(nullptr);
  Prepare(z, archive);
  z.OnBegin = [](orb::TObject*, const std::string& fn, int, bool& extract) {
    if (orb::ExtractFileNamePart(fn) == "b.txt") extract = false;
  };
  z.OnRenameCompressedFile = [&](orb::TObject*, std::string& fn) { fn = out_ + "\\renamed.txt"; };
  EXPECT_EQ(z.Extract(), 2);
  EXPECT_EQ(Read(out_ + "\\renamed.txt"), "A");
  // Clearing Extract keeps the unrenamed path; the entry is still written.
  EXPECT_EQ(Read(out_ + "\\b.txt"), "B");
}

TEST_F(UnZipTest, PathsThatWouldLeaveExtractDirAreRefused) {
  ZipBuilder b;
  b.Add({.name = "../escape.txt", .data = "x"});
  b.Add({.name = "sub/../../escape2.txt", .data = "x"});
  b.Add({.name = "//server/share/x.txt", .data = "x"});
  b.Add({.name = "C:/inside/ok.txt", .data = "drive prefix stripped"});
  b.Add({.name = "/rooted.txt", .data = "leading slash stripped"});
  b.Add({.name = "after.txt", .data = "after"});
  int begun = 0;
  Recorder r = ExtractRecording("slip.zip", b.Build(), nullptr, &begun);
  EXPECT_EQ(begun, 3);
  EXPECT_EQ(r.errors, (std::vector<int>{25243, 25243, 25243}));
  EXPECT_NE(std::find(r.log.begin(), r.log.end(), "error 25243 ../escape.txt ../escape.txt"),
            r.log.end())
      << ::testing::PrintToString(r.log);
  EXPECT_FALSE(Exists(dir_.Join("escape.txt")));
  EXPECT_FALSE(Exists(dir_.path() + "\\..\\escape2.txt"));
  EXPECT_EQ(Read(out_ + "\\inside\\ok.txt"), "drive prefix stripped");
  EXPECT_EQ(Read(out_ + "\\rooted.txt"), "leading slash stripped");
  EXPECT_EQ(Read(out_ + "\\after.txt"), "after");
}

TEST_F(UnZipTest, GbkTrailByteIsNoSeparator) {
  // 乗 is 81 5C in GBK: its second byte is a backslash's value but no separator.
  ZipBuilder b;
  b.Add({.name = "\x81\x5C.txt", .data = "one component"});
  b.Add({.name = "\x81\x5C/\x81\x5C.txt", .data = "in a folder"});
  int begun = 0;
  Recorder r = ExtractRecording("gbk.zip", b.Build(), nullptr, &begun);
  EXPECT_EQ(begun, 2);
  EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
  EXPECT_EQ(Read(out_ + "\\\x81\x5C.txt"), "one component");
  EXPECT_EQ(Read(out_ + "\\\x81\x5C\\\x81\x5C.txt"), "in a folder");
}

TEST_F(UnZipTest, LongNamesKeepTheWalkInStep) {
  // 300-byte stored path: the full 16-bit length is read in both walks.
  std::string longdir = std::string(140, 'd') + "/" + std::string(140, 'e') + "/";
  std::string name = longdir + std::string(18, 'f') + ".txt";
  ASSERT_EQ(name.size(), 304u);
  for (bool trailing : {false, true}) {
    SCOPED_TRACE(trailing ? "local walk" : "central walk");
    ZipBuilder b;
    b.Add({.name = name, .data = "long"});
    b.Add({.name = "next.txt", .data = "next"});
    b.trailing = trailing ? std::string(2, '\0') : std::string();
    std::string archive = Write("long.zip", b.Build());
    orbtest::RemoveTree(out_);
    TUnZIP z(nullptr);
    Prepare(z, archive);
    EXPECT_EQ(z.Extract(), 2);
    EXPECT_EQ(Read(out_ + "\\next.txt"), "next");
  }
}

TEST_F(UnZipTest, Passwords) {
  ZipBuilder b;
  b.Add({.name = "s1.txt", .data = "secret stored", .password = "pw1"});
  b.Add({.name = "d1.txt", .data = std::string(40000, 'z'), .method = 8, .password = "pw1"});
  b.Add({.name = "t.txt", .data = "time check", .password = "pw1", .extra_flags = 8});
  b.Add({.name = "plain.txt", .data = "plain"});
  std::string archive = Write("enc.zip", b.Build());

  {
    SCOPED_TRACE("password from the list; check byte from the time with flag bit 3");
    TUnZIP z(nullptr);
    Prepare(z, archive);
    z.SetPasswords({"wrong", "pw1"});
    Recorder r;
    r.Attach(z);
    EXPECT_EQ(z.Extract(), 4);
    EXPECT_TRUE(r.errors.empty()) << ::testing::PrintToString(r.log);
    EXPECT_EQ(Read(out_ + "\\s1.txt"), "secret stored");
    EXPECT_EQ(Read(out_ + "\\d1.txt"), std::string(40000, 'z'));
    EXPECT_EQ(Read(out_ + "\\t.txt"), "time check");
  }
  orbtest::RemoveTree(out_);
  {
    SCOPED_TRACE("no password and no prompt: 25270, the entry is not written, others are");
    TUnZIP z(nullptr);
    Prepare(z, archive);
    std::vector<std::string> errs;
    z.OnError = [&](orb::TObject*, const std::string&, const std::string& ex,
                    const std::string&, int code) {
      errs.push_back(std::to_string(code) + " " + ex);
    };
    z.Extract();
    EXPECT_EQ(errs, (std::vector<std::string>{"25270 OnGetPassword", "25270 OnGetPassword",
                                              "25270 OnGetPassword"}));
    EXPECT_FALSE(Exists(out_ + "\\s1.txt"));
    EXPECT_EQ(Read(out_ + "\\plain.txt"), "plain");
  }
  orbtest::RemoveTree(out_);
  {
    SCOPED_TRACE("prompts: wrong answers, then the right one is remembered for later entries");
    TUnZIP z(nullptr);
    Prepare(z, archive);
    std::vector<std::string> answers = {"no", "nope", "pw1"};
    int asked = 0;
    z.OnGetPassword = [&](orb::TObject*, const std::string&, std::string& pw, bool&) {
      pw = answers[static_cast<std::size_t>(asked++)];
    };
    Recorder r;
    r.Attach(z);
    z.OnGetPassword = [&](orb::TObject*, const std::string&, std::string& pw, bool&) {
      pw = answers[static_cast<std::size_t>(asked++)];
    };
    EXPECT_EQ(z.Extract(), 4);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(r.errors, (std::vector<int>{26517, 26517}));
    EXPECT_EQ(z.Passwords().front(), "pw1");
    EXPECT_EQ(Read(out_ + "\\d1.txt"), std::string(40000, 'z'));
  }
  orbtest::RemoveTree(out_);
  {
    SCOPED_TRACE("a refused prompt fails its entry with 26522; the plain entry is written");
    TUnZIP z(nullptr);
    Prepare(z, archive);
    Recorder r;
    r.Attach(z);
    z.OnGetPassword = [](orb::TObject*, const std::string&, std::string&, bool& again) {
      again = false;
    };
    EXPECT_EQ(z.Extract(), 4);
    EXPECT_EQ(r.errors, (std::vector<int>{26522, 26522, 26522}));
    EXPECT_FALSE(Exists(out_ + "\\s1.txt"));
    EXPECT_EQ(Read(out_ + "\\plain.txt"), "plain");
  }
}

TEST_F(UnZipTest, CorruptHeaderEventCanStopTheRun) {
  ZipBuilder b;
  b.Add({.name = "a.txt", .data = "A"});
  b.trailing = std::string(2, '\0');
  std::string archive = Write("c.zip", b.Build());
  for (bool cancel : {true, false}) {
    TUnZIP z(nullptr);
    Prepare(z, archive);
    int flag = -1;
    z.OnCorruptZipHeader = [&](orb::TObject*, std::uint8_t f, bool& c) {
      flag = f;
      if (!cancel) c = false;
    };
    EXPECT_EQ(z.Extract(), cancel ? 0 : 1);
    EXPECT_EQ(flag, 0x10);
  }
}

TEST_F(UnZipTest, ExtractRefusesWhatIsNotAZip) {
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {"no archive", "", 25172},
      {"a 19-byte file", std::string(19, 'a'), 25242},
      {"unknown bytes", std::string(100, 'a'), 25242},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TUnZIP z(nullptr);
    if (!c.bytes.empty()) z.SetArchiveFile(Write("x.bin", c.bytes));
    int seen = 0;
    z.OnError = [&](orb::TObject*, const std::string&, const std::string&, const std::string&,
                    int code) { seen = code; };
    try {
      z.Extract();
      ADD_FAILURE() << "no exception";
    } catch (const orb::E_RAISE& e) {
      EXPECT_EQ(e.Code(), c.code);
      EXPECT_EQ(seen, c.code);
    }
  }
}

TEST_F(UnZipTest, DefaultsOfANewComponent) {
  TUnZIP z(nullptr);
  EXPECT_EQ(z.ZipCmntBufSize(), 0);
  EXPECT_EQ(z.PasswordAttempts(), 3);
  EXPECT_TRUE(z.UseStoredDirs());
  EXPECT_TRUE(z.ConfirmOverwrites());
  EXPECT_TRUE(z.RestoreFileAttr());
  EXPECT_EQ(z.OverwriteMode(), orb::TOverwriteMode::omOverwrite);
  EXPECT_EQ(z.DateAttribute(), orb::TDateAttribute::daFileDate);
  EXPECT_EQ(z.ArcType(), orb::TArcType::atNA);
  z.SetZipCmntBufSize(100);
  EXPECT_EQ(z.ZipCmntBufSize(), 2000);
  z.SetZipCmntBufSize(100000);
  EXPECT_EQ(z.ZipCmntBufSize(), 32767);
}

TEST_F(UnZipTest, StoredAttributesAndDatesAreRestored) {
  ZipBuilder b;
  b.Add({.name = "ro.txt", .data = "read only", .attr = 0x21});
  std::string archive = Write("a.zip", b.Build());
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    TUnZIP z(nullptr);
    Prepare(z, archive);
    EXPECT_EQ(z.Extract(), 1);  // the second run replaces the read-only file
    std::uint32_t a = 0;
    ASSERT_EQ(platform::GetAttributes(out_ + "\\ro.txt", a), 0u);
    EXPECT_TRUE(a & platform::kFileAttributeReadOnly);
  }
}

}  // namespace
