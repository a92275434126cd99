// Symbolic links met on the way to a name: what the layer reports for them, and that nothing
// reaches what they point to when the caller asks for that.
//
// The links are Unix symbolic links in a folder of the build tree, reached through drive Z:
// (Z: is / in the native suite's prefix and in Wine's). The Windows build runs under Wine,
// which shows a link to a folder as a reparse point but a link to a file as the file and a link
// to nothing as no file at all: cases that need such a link to be seen as one are skipped
// there. The POSIX layer must show every link, so the native build never skips.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "platform/types.h"
#include "support/ScratchDir.h"

namespace {

using namespace platform;

// Which build runs the tests, as the build system says (the Windows build runs under Wine).
constexpr bool kWindowsBuild = ORB_WINDOWS_BUILD != 0;

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
  return buf;
}

// `name` with every separator (whole GBK characters only) replaced by `sep`.
std::string WithSeparators(const std::string& name, char sep) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsGbkLeadByte(c) && i + 1 < name.size()) {
      out.append(name, i, 2);
      ++i;
    } else {
      out += (c == '\\' || c == '/') ? sep : static_cast<char>(c);
    }
  }
  return out;
}

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    char name[32];
    std::snprintf(name, sizeof name, "/links-%08x", static_cast<unsigned>(rd()));
    unix_base_ = std::string(ORB_BINARY_DIR) + name;
    base_ = "Z:" + WithSeparators(unix_base_, '\\');
    ASSERT_EQ(CreateDir(base_), 0u) << base_;
    made_ = true;
    ASSERT_EQ(CreateDir(Win("outside")), 0u);
    ASSERT_EQ(orbtest::WriteWholeFile(Win("outside\\victim.dat"), "original"), 0u);
    ASSERT_EQ(CreateDir(Win("out")), 0u);
  }

  void TearDown() override {
    if (!made_) return;
    // rm does not follow links, and it also removes links to nothing, which the layer does
    // not list.
    ChildProcess rm;
    if (rm.Start("/bin/rm", {"-rf", unix_base_}) == 0) {
      rm.Wait();
    } else {
      orbtest::RemoveTree(base_);
    }
  }

  // A name in the test's folder (relative, GBK, backslashes) as a Windows path.
  std::string Win(const std::string& rel) const { return base_ + "\\" + rel; }
  // Each case's name (below the test's folder) has exactly its attributes.
  template <class Cases>
  void ExpectAttributes(const Cases& cases) const {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      std::uint32_t attributes = 0;
      EXPECT_EQ(GetAttributes(Win(c.name), attributes), 0u);
      EXPECT_EQ(Hex(attributes), Hex(c.attributes));
    }
  }

  // The same name as a Unix path. Wine converts a Unix program's arguments from GBK itself.
  std::string Unix(const std::string& rel) const {
    std::string name = unix_base_ + "/" + WithSeparators(rel, '/');
    return kWindowsBuild ? name : GbkToUtf8(name);
  }

  // Makes the symbolic link `rel` pointing to the test folder's `target_rel`; empty, or why
  // it could not be made.
  std::string Link(const std::string& target_rel, const std::string& rel) const {
    const std::string target = Unix(target_rel);
    const std::string link = Unix(rel);
    // Made by the system's own shell on both builds. Wine starts a Unix program without
    // waiting for it or learning its exit code, and may not show the link it makes at all: a
    // folder made after the link says that it is done.
    const std::string done = "made-" + std::to_string(++links_);
    ChildProcess sh;
    if (sh.Start("/bin/sh", {"-c", "ln -s \"$1\" \"$2\" && mkdir \"$3\"", "sh", target, link,
                             Unix(done)}) != 0) {
      return "no /bin/sh to make a symbolic link with (this is not Wine)";
    }
    sh.Wait();
    for (int i = 0; i < 500; ++i) {
      std::uint32_t attributes = 0;
      if (GetAttributes(Win(done), attributes) == 0) return std::string();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "/bin/sh did not make the link " + link + " within 10 s";
  }

  // Empty when the system shows `win` as a reparse point, else why not.
  static std::string NotShownAsReparsePoint(const std::string& win) {
    std::uint32_t attributes = 0;
    const std::uint32_t e = GetAttributes(win, attributes);
    if (e == 0 && (attributes & kFileAttributeReparsePoint)) return std::string();
    return "this system does not show the symbolic link " + win +
           " as a reparse point (error " + std::to_string(e) + ", attributes " +
           Hex(attributes) + ")";
  }

  std::string Outside() const {
    std::string bytes;
    orbtest::ReadWholeFile(Win("outside\\victim.dat"), bytes);
    return bytes;
  }

  std::string base_;
  std::string unix_base_;
  bool made_ = false;
  mutable int links_ = 0;
};

// Makes a link or ends the test: skipped where no link can be made (Windows without Wine),
// failed on POSIX, where one always can.
#define ASSERT_LINK(target, rel)                \
  do {                                          \
    const std::string why_ = Link(target, rel); \
    if (!why_.empty()) {                        \
      ASSERT_TRUE(kWindowsBuild) << why_;       \
      GTEST_SKIP() << why_;                     \
    }                                           \
  } while (0)

// Ends the test where the system does not show the link `win` as one (Wine, for a link to a
// file or to nothing); on POSIX that is a failure.
#define SKIP_UNLESS_SHOWN_AS_LINK(win)                   \
  do {                                                   \
    const std::string why_ = NotShownAsReparsePoint(win); \
    if (!why_.empty()) {                                 \
      ASSERT_TRUE(kWindowsBuild) << why_;                \
      GTEST_SKIP() << why_;                              \
    }                                                    \
  } while (0)

constexpr std::uint32_t kLinkedFolder = kFileAttributeDirectory | kFileAttributeReparsePoint;
constexpr std::uint32_t kLinkedFile = kFileAttributeArchive | kFileAttributeReparsePoint;

struct AttributeCase {
  const char* name;
  std::uint32_t attributes;
};

TEST_F(Links, ALinkToAFolderIsAFolderReparsePoint) {
  ASSERT_LINK("outside", "out\\to-folder");
  ASSERT_EQ(CreateDir(Win("out\\plain")), 0u);
  const AttributeCase cases[] = {
      {"out\\to-folder", kLinkedFolder},
      {"out\\TO-FOLDER", kLinkedFolder},  // found without regard to case, still the link
      {"out\\plain", kFileAttributeDirectory},
      {"outside\\victim.dat", kFileAttributeArchive},
  };
  ExpectAttributes(cases);
}

TEST_F(Links, ALinkToAFileOrToNothingIsAFileReparsePoint) {
  ASSERT_EQ(orbtest::WriteWholeFile(Win("outside\\ro.dat"), "ro"), 0u);
  ASSERT_EQ(SetAttributes(Win("outside\\ro.dat"), kFileAttributeReadOnly), 0u);
  ASSERT_LINK("outside\\victim.dat", "out\\to-file");
  ASSERT_LINK("outside\\ro.dat", "out\\to-read-only");
  ASSERT_LINK("outside\\absent.dat", "out\\to-nothing");
  ASSERT_LINK("outside\\victim.dat", "out\\.hidden");
  SKIP_UNLESS_SHOWN_AS_LINK(Win("out\\to-file"));
  const AttributeCase cases[] = {
      {"out\\to-file", kLinkedFile},
      // The target's read-only bit is not the link's: a caller clearing it would change the
      // target.
      {"out\\to-read-only", kLinkedFile},
      {"out\\to-nothing", kLinkedFile},  // the name is taken all the same
      {"out\\TO-NOTHING", kLinkedFile},
      {"out\\.hidden", kLinkedFile | kFileAttributeHidden},
  };
  ExpectAttributes(cases);
}

TEST_F(Links, OpenReparsePointNeverReachesWhatALinkPointsTo) {
  ASSERT_LINK("outside\\victim.dat", "out\\victim.dat");
  ASSERT_LINK("outside\\absent.dat", "out\\absent.dat");
  ASSERT_LINK("outside", "out\\folder");
  // Without the flag a link is followed, as before.
  std::string bytes;
  ASSERT_EQ(orbtest::ReadWholeFile(Win("out\\victim.dat"), bytes), 0u);
  EXPECT_EQ(bytes, "original");
  // Wine opens the target.
  SKIP_UNLESS_SHOWN_AS_LINK(Win("out\\victim.dat"));
  constexpr std::uint32_t RW = kGenericRead | kGenericWrite;
  const struct {
    const char* name;
    std::uint32_t access;
    std::uint32_t disposition;
    std::uint32_t error;  // on POSIX, where a link cannot be opened itself
  } cases[] = {
      {"out\\victim.dat", RW, kCreateAlways, kErrorAccessDenied},
      {"out\\victim.dat", RW, kOpenAlways, kErrorAccessDenied},
      {"out\\victim.dat", RW, kOpenExisting, kErrorAccessDenied},
      {"out\\victim.dat", kGenericWrite, kOpenExisting, kErrorAccessDenied},
      {"out\\victim.dat", RW, kTruncateExisting, kErrorAccessDenied},
      {"out\\victim.dat", kGenericRead, kOpenExisting, kErrorAccessDenied},
      {"out\\victim.dat", RW, kCreateNew, kErrorFileExists},
      {"OUT\\VICTIM.DAT", RW, kCreateAlways, kErrorAccessDenied},
      {"out\\absent.dat", RW, kCreateAlways, kErrorAccessDenied},
      {"out\\absent.dat", RW, kOpenAlways, kErrorAccessDenied},
      {"out\\absent.dat", RW, kCreateNew, kErrorFileExists},
      {"out\\folder", RW, kOpenAlways, kErrorAccessDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " disposition " + std::to_string(c.disposition));
    FileHandle h = kNoFile;
    const std::uint32_t e = FileOpen(Win(c.name), c.access, 0, c.disposition,
                                     kFileAttributeNormal | kFileFlagOpenReparsePoint, h);
    ScopedFile f(h);
    if (!kWindowsBuild) {
      EXPECT_EQ(e, c.error);
      EXPECT_EQ(LastError(), c.error);
      EXPECT_FALSE(f);
    }
    if (f && (c.access & kGenericWrite)) {
      std::uint32_t done = 0;
      FileWrite(f.get(), "XX", 2, done);  // whatever the handle is, it must not be the target
    }
    f.reset();
    EXPECT_EQ(Outside(), "original");
    std::uint32_t attributes = 0;
    EXPECT_EQ(GetAttributes(Win("outside\\absent.dat"), attributes), kErrorFileNotFound)
        << "created through a link";
  }
  // Names that are no links open as ever.
  FileHandle h = kNoFile;
  EXPECT_EQ(FileOpen(Win("out\\new.dat"), kGenericWrite, 0, kCreateAlways,
                     kFileAttributeNormal | kFileFlagOpenReparsePoint, h),
            0u);
  ScopedFile f(h);
  std::uint32_t done = 0;
  EXPECT_EQ(FileWrite(f.get(), "new", 3, done), 0u);
  f.reset();
  ASSERT_EQ(orbtest::ReadWholeFile(Win("out\\new.dat"), bytes), 0u);
  EXPECT_EQ(bytes, "new");
  EXPECT_EQ(FileOpen(Win("outside\\victim.dat"), kGenericRead | kGenericWrite, 0, kOpenExisting,
                     kFileFlagOpenReparsePoint, h),
            0u);
  f.reset(h);
}

struct FindCase {
  const char* what;
  std::string folder;
  std::string path;
  std::uint32_t error;
  std::string found;  // empty: none
};

void ExpectFound(const FindCase& c) {
  SCOPED_TRACE(c.what);
  std::string found = "stale";
  EXPECT_EQ(FindReparsePoint(c.folder, c.path, found), c.error);
  EXPECT_EQ(LastError(), c.error);
  EXPECT_EQ(found, c.found);
}

TEST_F(Links, FindReparsePointNamesTheFirstLinkTopDown) {
  ASSERT_EQ(CreateDir(Win("out\\a")), 0u);
  ASSERT_EQ(CreateDir(Win("out\\a\\b")), 0u);
  ASSERT_EQ(orbtest::WriteWholeFile(Win("out\\a\\file.txt"), "f"), 0u);
  ASSERT_LINK("outside", "linked");             // a folder that is itself a link
  ASSERT_LINK("outside", "out\\a\\mid");        // in the middle
  ASSERT_LINK("outside", "out\\a\\b\\deeper");  // a second one, further down
  // GBK names whose last byte is 0x5C: 乗 = 81 5C, 癨 = B0 5C.
  ASSERT_EQ(CreateDir(Win("乗")), 0u);
  ASSERT_LINK("outside", "乗\\癨");
  const std::string none;
  const FindCase cases[] = {
      {"no link at all", Win("out"), Win("out\\a\\b\\new\\x.dat"), 0, none},
      {"the folder alone", Win("out"), Win("out"), 0, none},
      {"the folder with a trailing backslash", Win("out\\"), Win("out\\a\\b"), 0, none},
      {"the folder is a link", Win("linked"), Win("linked\\x\\y.dat"), 0, Win("linked")},
      {"the folder alone is a link", Win("linked"), Win("linked"), 0, Win("linked")},
      {"a link in the middle", Win("out"), Win("out\\a\\mid\\b\\c.dat"), 0, Win("out\\a\\mid")},
      {"the first of two", Win("out"), Win("out\\a\\mid\\b\\deeper\\c.dat"), 0,
       Win("out\\a\\mid")},
      {"a link further down", Win("out"), Win("out\\a\\b\\deeper\\c.dat"), 0,
       Win("out\\a\\b\\deeper")},
      {"the last component", Win("out"), Win("out\\a\\mid"), 0, Win("out\\a\\mid")},
      {"the folder's case differs", Win("OUT"), Win("out\\a\\mid\\x"), 0, Win("OUT\\a\\mid")},
      {"dot components", Win("out"), Win("out\\.\\a\\b\\..\\mid\\x"), 0, Win("out\\a\\mid")},
      {"below a missing folder", Win("out"), Win("out\\nope\\mid\\x.dat"), 0, none},
      {"below a file", Win("out"), Win("out\\a\\file.txt\\x.dat"), 0, none},
      {"a sibling", Win("out"), Win("outside\\victim.dat"), kErrorInvalidParameter, none},
      {"a name that starts like the folder", Win("out"), Win("out2\\x"),
       kErrorInvalidParameter, none},
      {"climbing out", Win("out"), Win("out\\..\\outside\\x"), kErrorInvalidParameter, none},
      {"above the folder", Win("out\\a"), Win("out"), kErrorInvalidParameter, none},
      {"a GBK link below a GBK folder", Win("乗"), Win("乗\\癨\\x.dat"), 0, Win("乗\\癨")},
      {"a GBK folder that is a link", Win("乗\\癨"), Win("乗\\癨\\x.dat"), 0, Win("乗\\癨")},
      {"a GBK link, trailing backslash", Win("乗\\癨\\"), Win("乗\\癨"), 0, Win("乗\\癨")},
      // 81 5C 62 is 乗 and 'b', one name beside 乗: not below it.
      {"a trail byte 0x5C is no separator", Win("乗"), Win("乗b\\x"), kErrorInvalidParameter,
       none},
  };
  for (const FindCase& c : cases) ExpectFound(c);
}

TEST_F(Links, FindReparsePointFindsALinkToAFileAtTheEnd) {
  ASSERT_EQ(CreateDir(Win("out\\a")), 0u);
  ASSERT_LINK("outside\\victim.dat", "out\\a\\last.dat");
  ASSERT_LINK("outside\\absent.dat", "out\\a\\nothing.dat");
  SKIP_UNLESS_SHOWN_AS_LINK(Win("out\\a\\last.dat"));
  const FindCase cases[] = {
      {"a link to a file", Win("out"), Win("out\\a\\last.dat"), 0, Win("out\\a\\last.dat")},
      {"a link to nothing", Win("out"), Win("out\\a\\nothing.dat"), 0,
       Win("out\\a\\nothing.dat")},
      {"a name below a link to a file", Win("out"), Win("out\\a\\last.dat\\x"), 0,
       Win("out\\a\\last.dat")},
  };
  for (const FindCase& c : cases) ExpectFound(c);
}

TEST_F(Links, CreateDirOnALinkToAFolderFails) {
  ASSERT_LINK("outside", "out\\to-folder");
  EXPECT_EQ(CreateDir(Win("out\\to-folder")), kErrorAlreadyExists);
  EXPECT_EQ(CreateDir(Win("out\\TO-FOLDER")), kErrorAlreadyExists);
  EXPECT_EQ(NotShownAsReparsePoint(Win("out\\to-folder")), "") << "the link was replaced";
}

TEST_F(Links, CreateDirOnALinkToAFileOrToNothingMakesNothing) {
  ASSERT_LINK("outside\\victim.dat", "out\\to-file");
  ASSERT_LINK("outside\\absent", "out\\to-nothing");
  SKIP_UNLESS_SHOWN_AS_LINK(Win("out\\to-file"));
  for (const char* name : {"out\\to-file", "out\\to-nothing", "out\\TO-NOTHING"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CreateDir(Win(name)), kErrorAlreadyExists);
    EXPECT_EQ(NotShownAsReparsePoint(Win(name)), "") << "the link was replaced";
    std::uint32_t attributes = 0;
    EXPECT_EQ(GetAttributes(Win("outside\\absent"), attributes), kErrorFileNotFound);
  }
  EXPECT_EQ(Outside(), "original");
}

TEST_F(Links, RemoveFileRemovesALinkNotWhatItPointsTo) {
  ASSERT_LINK("outside\\victim.dat", "out\\to-file");
  ASSERT_LINK("outside\\absent.dat", "out\\to-nothing");
  // Wine deletes the file that a link it does not see as one points to, and keeps the link.
  SKIP_UNLESS_SHOWN_AS_LINK(Win("out\\to-file"));
  for (const char* name : {"out\\to-file", "out\\to-nothing"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RemoveFile(Win(name)), 0u);
    std::uint32_t attributes = 0;
    EXPECT_EQ(GetAttributes(Win(name), attributes), kErrorFileNotFound) << "still there";
    EXPECT_EQ(Outside(), "original");
    EXPECT_EQ(GetAttributes(Win("outside"), attributes), 0u);
    EXPECT_EQ(attributes, kFileAttributeDirectory);
  }
}

TEST_F(Links, RemovingALinkToAFolderLeavesTheFolder) {
  ASSERT_LINK("outside", "out\\to-folder");
  // Windows refuses DeleteFileA on a link to a folder (RemoveDirectoryA removes it); the POSIX
  // layer removes the link.
  const std::uint32_t e = RemoveFile(Win("out\\to-folder"));
  if (!kWindowsBuild) {
    EXPECT_EQ(e, 0u);
  }
  std::uint32_t attributes = 0;
  if (e == 0) {
    EXPECT_EQ(GetAttributes(Win("out\\to-folder"), attributes), kErrorFileNotFound);
  }
  EXPECT_EQ(GetAttributes(Win("outside"), attributes), 0u);
  EXPECT_EQ(attributes, kFileAttributeDirectory);
  EXPECT_EQ(Outside(), "original");
}

}  // namespace
